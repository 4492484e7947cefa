// Converting on several threads writes the same bytes as on one: objects
// tessellated at once, and files of a batch converted at once.

#include "WorldTestSupport.h"
#include "cli/ConvertCommand.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace vrml;
using namespace vrml::cli;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> FolderContents(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        contents[entry.path().filename().string()] = ReadFile(entry.path());
    return contents;
}

// Many small objects of every kind, with colours and a texture on some, so
// that threads finish them out of order.
std::string ManyObjects() {
    std::ostringstream text;
    text << "#VRML V2.0 utf8\n";
    for (int i = 0; i < 150; ++i) { // more objects than one streamed batch
        text << "Transform { translation " << i << " " << i % 7 << " 0 children [\n"
             << "  Shape { appearance Appearance { material Material { diffuseColor 0." << i % 10 << " 0.5 0.5 } }\n"
             << "    geometry "
             << (i % 3 == 0   ? "Sphere { radius 0.5 }"
                 : i % 3 == 1 ? "Cone {}"
                              : "Box {}")
             << " }\n"
             << "  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 1 1 0, 0 1 " << i
             << "] }\n    coordIndex [0 1 2 3 -1] color Color { color [1 0 0, 0 1 0] } colorIndex [" << i % 2
             << "] colorPerVertex FALSE } }\n"
             << "  Shape { geometry IndexedLineSet { coord Coordinate { point [0 0 0, 1 2 3] } coordIndex [0 1] } }\n"
             << "] }\n";
    }
    return text.str();
}

TEST(ParallelConvert, ObjectsOnSeveralThreadsWriteTheSameBytes) {
    const fs::path dir = FreshDir();
    const std::string many = (dir / "many.wrl").string();
    std::ofstream(many) << ManyObjects();
    const std::vector<std::string> scenes = {many, SourcePath("examples/gallery.wrl"),
                                             SourcePath("examples/robot_arm.wrl"), SourcePath("examples/terrain.wrl")};
    for (const std::string& scene : scenes) {
        for (ExportFormat format :
             {ExportFormat::Glb, ExportFormat::Gltf, ExportFormat::Obj, ExportFormat::Stl, ExportFormat::Ply}) {
            std::map<std::string, std::string> outputs[2];
            for (int run = 0; run < 2; ++run) {
                const fs::path folder = dir / (run == 0 ? "one" : "several");
                fs::remove_all(folder);
                fs::create_directories(folder);
                ConvertSettings settings;
                settings.threads = run == 0 ? 1 : 4;
                ConvertSummary summary;
                ASSERT_EQ(
                    ConvertFile(scene, (folder / "out").string() + FormatExtension(format), format, settings, summary),
                    "")
                    << scene;
                outputs[run] = FolderContents(folder);
            }
            EXPECT_FALSE(outputs[0].empty());
            EXPECT_TRUE(outputs[0] == outputs[1]) << scene << " as " << FormatExtension(format);
        }
    }
}

TEST(ParallelConvert, BatchOnSeveralThreadsWritesAndReportsAsOnOne) {
    const fs::path dir = FreshDir();
    std::ofstream(dir / "many.wrl") << ManyObjects();
    std::ofstream(dir / "notes.wrl") << "not a scene\n";
    ConvertRequest request;
    request.files = {(dir / "many.wrl").string(),    SourcePath("examples/gallery.wrl"),
                     (dir / "notes.wrl").string(),   SourcePath("examples/house.wrl"),
                     (dir / "missing.wrl").string(), SourcePath("examples/robot_arm.wrl")};
    request.format = "obj";
    std::string said[2][2];
    std::map<std::string, std::string> outputs[2];
    for (int run = 0; run < 2; ++run) {
        const fs::path folder = dir / (run == 0 ? "one" : "several");
        request.outputDir = folder.string();
        request.settings.threads = run == 0 ? 1 : 3;
        std::ostringstream out, err;
        EXPECT_EQ(RunConvert(request, out, err), 1);
        said[run][0] = out.str();
        said[run][1] = err.str();
        outputs[run] = FolderContents(folder);
    }
    EXPECT_GE(outputs[0].size(), 8u); // four scenes, each an OBJ and its MTL (and pictures)
    EXPECT_TRUE(outputs[0] == outputs[1]);
    // The same lines in the order of the inputs, but for the folder named.
    for (int stream = 0; stream < 2; ++stream) {
        std::string several = said[1][stream];
        for (size_t at; (at = several.find("several")) != std::string::npos;)
            several.replace(at, 7, "one");
        EXPECT_EQ(several, said[0][stream]);
    }
}

} // namespace
