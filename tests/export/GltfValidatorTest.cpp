// The Khronos glTF validator, run with the machine's Node.js, finds no error
// and no warning in what the exporter writes for the sample scenes and
// hand-built worlds.
// Skips when Node.js or the npm package gltf-validator is missing.

#include "WorldTestSupport.h"
#include "export/Convert.h"
#include "export/ExportScene.h"
#include "export/SceneWriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char* const NullDevice = "NUL";
#else
const char* const NullDevice = "/dev/null";
#endif

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

TEST(GltfValidator, SampleScenesAndHandBuiltWorldsHaveNoErrorsOrWarnings) {
    if (std::system(("node --version >" + std::string(NullDevice) + " 2>&1").c_str()) != 0)
        GTEST_SKIP() << "Node.js is not installed";
    std::error_code error;
    if (!fs::is_directory(VRML_GLTF_VALIDATOR_DIR, error))
        GTEST_SKIP() << "gltf-validator is not installed at " << VRML_GLTF_VALIDATOR_DIR;

    const fs::path dir = FreshDir();
    ConvertSettings settings;
    for (const fs::directory_entry& entry : fs::directory_iterator(SourcePath("examples"))) {
        if (entry.path().extension() != ".wrl")
            continue;
        for (ExportFormat format : {ExportFormat::Glb, ExportFormat::Gltf}) {
            ConvertSummary summary;
            const fs::path out = dir / OutputNameFor(entry.path().string(), format);
            ASSERT_EQ(ConvertFile(entry.path().string(), out.string(), format, settings, summary), "") << out;
        }
    }
    auto world = HandBuiltWorld();
    const ExportScene scene = BuildExportScene(*world, ExportOptions());
    ASSERT_EQ(WriteGltf(scene, (dir / "hand-built.glb").string(), true), "");
    ASSERT_EQ(WriteGltf(scene, (dir / "hand-built.gltf").string(), false), "");
    // Vertex colours, texture coordinates and an embedded picture.
    auto attributes = AttributeWorld();
    const ExportScene attributed = BuildExportScene(*attributes, ExportOptions());
    ASSERT_EQ(WriteGltf(attributed, (dir / "attributes.glb").string(), true), "");
    ASSERT_EQ(WriteGltf(attributed, (dir / "attributes.gltf").string(), false), "");

    // One object drawn as several line strips (faces without area are
    // traced): its strips share one view of positions.
    C3DWorld traced;
    trelFloatPointArray points;
    for (float x : {0.0f, 1.0f, 2.0f})
        for (float y : {0.0f, 5.0f})
            points.Append(trelFloatPoint(x, y, 0.0f));
    trelIntArray faces;
    for (int value : {3, 0, 2, 4, 3, 1, 3, 5})
        faces.Append(value);
    auto* face = new C3DPolyface;
    face->SetPoints(points, faces);
    traced.AddObject(face, trelMatProps(), true);
    ASSERT_EQ(WriteGltf(BuildExportScene(traced, ExportOptions()), (dir / "traced.glb").string(), true), "");
    // Instances: boxes of one size and colour drawn by one node
    // (EXT_mesh_gpu_instancing), and boxes of other sizes placed by nodes.
    std::ostringstream instances;
    instances << "#VRML V2.0 utf8\n";
    for (int i = 0; i < 12; ++i)
        instances << "Transform { translation " << i << " 0 0 rotation 0 1 0 " << i
                  << " children Shape { geometry Box { size " << (i < 9 ? 1 : i) << " 1 1 } } }\n";
    // And a part the file repeats, each use a group of the part's name.
    instances << "DEF Part Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }"
              << " coordIndex [0 1 2] } }\n";
    for (int i = 0; i < 9; ++i)
        instances << "Transform { translation 0 " << i << " 0 children USE Part }\n";
    std::ofstream(dir / "instances.wrl") << instances.str();
    ConvertSummary summary;
    ASSERT_EQ(ConvertFile((dir / "instances.wrl").string(), (dir / "instances.glb").string(), ExportFormat::Glb,
                          settings, summary),
              "");
    fs::remove(dir / "instances.wrl");
    const auto written = std::distance(fs::directory_iterator(dir), fs::directory_iterator());

    const fs::path report = dir / "report.txt";
    const std::string command = "node " + Quoted(SourcePath("scripts/validate_gltf.js")) + " " + Quoted(dir.string()) +
                                " > " + Quoted(report.string()) + " 2>&1";
#ifndef _WIN32
    setenv("GLTF_VALIDATOR_DIR", VRML_GLTF_VALIDATOR_DIR, 1);
#endif
    const int status = std::system(command.c_str());
    const std::string text = ReadFile(report);
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("validated " + std::to_string(written) + " files: 0 with errors (0 errors, 0 warnings"),
              std::string::npos)
        << text;
}

} // namespace
