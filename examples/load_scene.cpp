// How a host loads a scene: the README shows this file, and the tests build and run it.
#include "parser/VRMLParser.h"

#include <cstdio>

static void ShowProgress(int percent) { std::fprintf(stderr, "\rloading %d%%", percent); }

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    C3DWorld world; // the host owns the world and everything the loader puts in it
    CVRMLParser parser;
    parser.SetLoaderPtr(&ShowProgress);
    int result = parser.Parse(&world, argv[1]); // 0 loaded, 1 failed, 2 unreadable
    std::printf("\nresult %d: %d objects, %d top-level groups, units %d, %s\n", result, world.GetTotalObjectCount(),
                world.GetNumGroups(), parser.GetImageUnits(),
                parser.GetVersion() == VRML_VERSION_2 ? "VRML 2.0" : "VRML 1.0");
    return result;
}
