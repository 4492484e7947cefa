// Fuzz target: the input is loaded as a VRML 1.0 file and as a VRML 2.0 file,
// each by default and by the standards' semantics (there behind a byte-order
// mark), and the world is walked as `vrml dump` and `vrml info` walk it;
// every object's count must then be what its tessellation holds.
//
// Inline files and prototypes: the input may hold several files separated by
// a line "~~~". The first is the scene; the others are written beside it as
// a.wrl, b.wrl, c.wrl and d.wrl, where the scene's Inline and EXTERNPROTO
// references can find them, and a sixth as the picture e.png, as it stands.
// Nothing is written outside one temporary folder. That folder also holds a
// picture that decodes (tex.png) and files no scene may hang on: a FIFO no
// one writes to (fifo.wrl) and a link to an endless device (zero.wrl).
//
// The VRML 2.0 world loaded by default is also exported to glTF, with its
// colours, normals, texture coordinates and textures. The standards' loads
// keep only the names the files use, as the front-ends do; a scene of one
// file must give the same VRML 2.0 world as with every name kept.

#include "export/SceneWriter.h"
#include "inspect/JsonDump.h"
#include "inspect/WorldInfo.h"
#include "inspect/WorldWalk.h"
#include "parser/VRMLParser.h"

#include <stb_image_write.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <sys/stat.h>

using namespace vrml;

namespace {

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

const std::filesystem::path& WorkFolder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / "vrml_fuzz";
        std::filesystem::create_directories(path);
        std::error_code ignored;
        if (!std::filesystem::exists(path / "fifo.wrl", ignored))
            mkfifo((path / "fifo.wrl").c_str(), 0600);
        std::filesystem::create_symlink("/dev/zero", path / "zero.wrl", ignored);
        const unsigned char pixels[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 255, 255, 255, 255, 0};
        stbi_write_png((path / "tex.png").string().c_str(), 2, 2, 4, pixels, 2 * 4);
        return path;
    }();
    return folder;
}

std::vector<std::string> SplitFiles(const std::string& input) {
    const std::string separator = "\n~~~\n";
    std::vector<std::string> files;
    size_t start = 0;
    while (files.size() < 5) {
        size_t end = input.find(separator, start);
        if (end == std::string::npos)
            break;
        files.push_back(input.substr(start, end - start));
        start = end + separator.size();
    }
    files.push_back(input.substr(start));
    return files;
}

// Returns the world's JSON dump.
std::string LoadAndWalk(const std::vector<std::string>& files, const char* header, int standard, bool exported,
                        int keepUnusedNames = 1) {
    static const char* const names[] = {"scene.wrl", "a.wrl", "b.wrl", "c.wrl", "d.wrl", "e.png"};
    constexpr size_t Picture = 5;
    for (size_t i = 0; i < files.size(); ++i)
        std::ofstream(WorkFolder() / names[i], std::ios::binary) << (i == Picture ? "" : header) << files[i];
    for (size_t i = files.size(); i <= Picture; ++i)
        std::filesystem::remove(WorkFolder() / names[i]);

    C3DWorld world;
    CVRMLParser parser;
    parser.SetStandardSemantics(standard);
    parser.SetKeepUnusedNames(keepUnusedNames);
    // Nested prototypes, USEs and inline files multiply the work of a few
    // bytes, up to the parser's limits (their defaults are tested on their
    // own). Smaller limits here keep every input quick, so that a time-out
    // means a loop that does not end, not a long but bounded build.
    parser.SetMaxInstanceCount(2000);
    parser.SetMaxReplayCount(2000);
    parser.SetMaxInlineCount(200);
    int result = parser.Parse(&world, (WorkFolder() / names[0]).string());

    std::ostringstream dump;
    WriteJsonDump(dump, DumpHeader{"scene.wrl", result, parser.GetVersion(), parser.GetImageUnits()}, world);
    NullBuffer discard;
    std::ostream sink(&discard);
    trelTessellationOptions options;
    options.segments = 8;
    const WorldSummary summary = SummarizeWorld(world, options);
    WriteSummary(sink, summary);
    // The world's box taken from the groups is the sum of the objects' to the bit.
    const trelBBox fromGroups = SummarizeWorld(world, options, 1, GroupBoxes::Current).bbox;
    const auto sameBits = [](const trelFloatPoint& p, const trelFloatPoint& q) {
        return std::memcmp(&p, &q, sizeof p) == 0;
    };
    if (fromGroups.IsEmpty() != summary.bbox.IsEmpty() ||
        (!summary.bbox.IsEmpty() && !(sameBits(fromGroups.GetMin(), summary.bbox.GetMin()) &&
                                      sameBits(fromGroups.GetMax(), summary.bbox.GetMax()))))
        std::abort();
    // A count is exactly what tessellating writes, however it was reached
    // (a use may take its part's count): a difference is a fault.
    WalkGroups(world, [&](const trelBaseGroup& group, int) {
        for (int i = 0; i < group.GetNumObjects(); ++i) {
            trelTessellation drawn;
            group.GetObject(i)->Tessellate(drawn, options);
            if (!(group.GetObject(i)->CountTessellation(options) == drawn.GetCounts()))
                std::abort();
        }
    });
    if (exported) {
        ExportOptions exportOptions;
        exportOptions.tessellation = options;
        exportOptions.instancing = true; // repeated parts and primitives written once, placed per use
        WriteGltf(BuildExportScene(world, exportOptions), (WorkFolder() / "scene.glb").string(), true);
    }
    return dump.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> files = SplitFiles(input);
    LoadAndWalk(files, "#VRML V1.0 ascii\n", 0, false);
    LoadAndWalk(files, "#VRML V2.0 utf8\n", 0, true);
    // By the standards as the front-ends read, keeping only the names used:
    // in a world read from one file that changes nothing.
    LoadAndWalk(files, "\xEF\xBB\xBF#VRML V1.0 ascii\n", 1, false, 0);
    const std::string lean = LoadAndWalk(files, "\xEF\xBB\xBF#VRML V2.0 utf8\n", 1, false, 0);
    if (files.size() == 1 && lean != LoadAndWalk(files, "\xEF\xBB\xBF#VRML V2.0 utf8\n", 1, false))
        std::abort();
    return 0;
}
