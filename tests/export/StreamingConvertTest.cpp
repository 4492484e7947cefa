// Conversion streams the world object by object: what it writes is what the
// whole scene, built first, writes; and formats without instancing expand
// each instance in place.

#include "WorldTestSupport.h"
#include "export/Convert.h"
#include "export/ExportScene.h"
#include "export/SceneWriter.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// More objects than one streamed batch, with instances, textures given per
// object and objects of no geometry between them.
std::string ManyParts() {
    std::ostringstream text;
    text << V2;
    for (int i = 0; i < 300; ++i) {
        text << "Transform { translation " << i << " 0 " << i % 5 << " rotation 0 0 1 " << i * 0.1 << " children [\n"
             << "  Shape { geometry Box { size 1 " << 1 + i % 3 << " 1 } }\n"
             << "  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 1 1 " << i
             << "] } coordIndex [0 1 2] texCoord TextureCoordinate { point [0 0, 1 0, 1 1] } } }\n";
        if (i % 7 == 0)
            text << "  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0] } coordIndex [] } }\n";
        text << "] }\n";
    }
    return text.str();
}

TEST(StreamingConvert, StreamedOutputIsTheWholeScenesOutput) {
    const fs::path dir = FreshDir();
    const std::string input = (dir / "parts.wrl").string();
    std::ofstream(input) << ManyParts();
    LoadedScene loaded = LoadScene(input);
    ASSERT_EQ(loaded.result, 0);
    for (ExportFormat format :
         {ExportFormat::Glb, ExportFormat::Gltf, ExportFormat::Obj, ExportFormat::Stl, ExportFormat::Ply}) {
        ConvertSettings settings;
        settings.threads = 2;
        const std::string extension = FormatExtension(format);
        fs::create_directories(dir / "streamed");
        fs::create_directories(dir / "whole");
        const fs::path streamed = dir / "streamed" / ("parts" + extension),
                       whole = dir / "whole" / ("parts" + extension);
        ConvertSummary fromStream, fromWhole;
        ASSERT_EQ(
            WriteWorldAs(*loaded.world, loaded.imageUnits, "parts", streamed.string(), format, settings, fromStream),
            "");
        ExportScene scene = BuildSceneFor(*loaded.world, loaded.imageUnits, format, settings);
        scene.name = "parts";
        ASSERT_EQ(WriteSceneAs(scene, whole.string(), format, fromWhole), "");
        EXPECT_EQ(ReadFile(streamed), ReadFile(whole)) << extension;
        EXPECT_EQ(fromStream.objects, fromWhole.objects);
        EXPECT_EQ(fromStream.triangles, fromWhole.triangles);
        EXPECT_GT(fromStream.triangles, 0u);
    }
}

std::vector<float> StlFloats(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    std::vector<float> values;
    for (size_t at = 84; at + 50 <= bytes.size(); at += 50)
        for (size_t k = 0; k < 12; ++k) {
            float value;
            std::memcpy(&value, bytes.data() + at + 4 * k, sizeof value);
            values.push_back(value);
        }
    return values;
}

TEST(StreamingConvert, FormatsWithoutInstancingExpandEachInstance) {
    LoadedText loaded = LoadText(ManyParts());
    ASSERT_EQ(loaded.result, 0);
    ExportOptions options;
    const ExportScene own = BuildExportScene(*loaded.world, options);
    options.instancing = true;
    const ExportScene instanced = BuildExportScene(*loaded.world, options);
    ASSERT_FALSE(instanced.shapes.empty());
    const fs::path dir = FreshDir();
    ASSERT_EQ(WriteStl(own, (dir / "own.stl").string()), "");
    ASSERT_EQ(WriteStl(instanced, (dir / "instanced.stl").string()), "");
    const std::vector<float> expected = StlFloats(dir / "own.stl"), placed = StlFloats(dir / "instanced.stl");
    ASSERT_EQ(placed.size(), expected.size());
    ASSERT_FALSE(placed.empty());
    for (size_t i = 0; i < placed.size(); ++i)
        ASSERT_NEAR(placed[i], expected[i], 1e-4) << "value " << i;
}

// A front-end that reports the load's result beside the conversion's (the
// web module) finds it in the summary, also when nothing was written.
TEST(StreamingConvert, SummaryCarriesTheLoadResult) {
    const fs::path dir = FreshDir();
    struct Case {
        const char* name;
        std::string text; // empty: the file is not made
        int loadResult;
        bool written;
    };
    const Case cases[] = {
        {"good.wrl", std::string(V2) + "Shape { geometry Box {} }\n", 0, true},
        {"empty.wrl", std::string(V2), 1, false},
        {"other.wrl", "solid cube\nendsolid\n", 1, false},
        {"missing.wrl", "", 2, false},
    };
    for (const Case& c : cases) {
        const fs::path input = dir / c.name, output = dir / (std::string(c.name) + ".glb");
        if (!c.text.empty())
            std::ofstream(input) << c.text;
        ConvertSummary summary;
        const std::string failure = ConvertFile(input.string(), output.string(), ExportFormat::Glb, {}, summary);
        EXPECT_EQ(summary.loadResult, c.loadResult) << c.name;
        EXPECT_EQ(failure.empty(), c.written) << c.name << ": " << failure;
        EXPECT_EQ(fs::exists(output), c.written) << c.name;
    }
}

} // namespace
