// `vrml convert` as a user runs it: formats by extension, compressed input,
// units, batches into a folder and their failures.

#include "WorldTestSupport.h"
#include "cli/ConvertCommand.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <set>

using namespace vrml;
using namespace vrml::cli;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteGzip(const fs::path& path, const std::string& text) {
    gzFile file = gzopen(path.string().c_str(), "wb9");
    gzwrite(file, text.data(), static_cast<unsigned>(text.size()));
    gzclose(file);
}

// One sample through every format: each writer is reached through
// ConvertFile, and the compressed copy gives the same bytes.
TEST(Convert, CompressedCopyConvertsToTheSameBytes) {
    const fs::path dir = FreshDir();
    const std::string plain = SourcePath("examples/house.wrl");
    const fs::path packed = dir / "house.wrz";
    WriteGzip(packed, ReadFile(plain));
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b"); // the same names: an OBJ names its MTL
    for (const char* extension : {".glb", ".gltf", ".obj", ".stl", ".ply"}) {
        SCOPED_TRACE(extension);
        ExportFormat format;
        ASSERT_TRUE(ParseExportFormat(extension, format));
        const fs::path a = dir / "a" / (std::string("house") + extension), b = dir / "b" / a.filename();
        ConvertSummary summary;
        ASSERT_EQ(ConvertFile(plain, a.string(), format, ConvertSettings(), summary), "");
        ASSERT_EQ(ConvertFile(packed.string(), b.string(), format, ConvertSettings(), summary), "");
        EXPECT_GT(summary.triangles, 0u);
        EXPECT_EQ(ReadFile(a), ReadFile(b));
    }
}

// The robot arm is 5.4 units tall, so the loader scales it by 100: OBJ, STL
// and PLY keep that on request, glTF never does.
TEST(Convert, UnitsAreTheFilesUnlessLoadedOnesAreAsked) {
    const fs::path dir = FreshDir();
    const std::string input = SourcePath("examples/robot_arm.wrl");
    const auto objTop = [&](bool loadedUnits) {
        ConvertSettings settings = ConvertSettings();
        settings.loadedUnits = loadedUnits;
        ConvertSummary summary;
        const fs::path out = dir / (loadedUnits ? "loaded.obj" : "file.obj");
        EXPECT_EQ(ConvertFile(input, out.string(), ExportFormat::Obj, settings, summary), "");
        float top = -1e30f, x, y, z;
        for (const std::string& line : Lines(ReadFile(out)))
            if (std::sscanf(line.c_str(), "v %f %f %f", &x, &y, &z) == 3)
                top = std::max(top, y);
        return top;
    };
    const float fileTop = objTop(false);
    const float loadedTop = objTop(true);
    EXPECT_NEAR(fileTop, 5.38419f, 1e-3f);
    EXPECT_NEAR(loadedTop, 100.0f * fileTop, 1e-2f);

    std::ostringstream out, err;
    ConvertRequest request;
    request.files = {input, (dir / "robot.glb").string()};
    request.settings = ConvertSettings();
    request.settings.loadedUnits = true;
    EXPECT_EQ(RunConvert(request, out, err), 2);
    EXPECT_THAT(err.str(), testing::HasSubstr("glTF is always in metres"));
}

// The box of every "v" line of an OBJ file.
trelBBox ObjBounds(const fs::path& path) {
    trelBBox box;
    float x, y, z;
    for (const std::string& line : Lines(ReadFile(path)))
        if (std::sscanf(line.c_str(), "v %f %f %f", &x, &y, &z) == 3)
            box.AddPoint({x, y, z});
    return box;
}

// A KiCad part is drawn in 0.1 inch with Z up: 10 x 20 x 30 of them become
// 0.0254 x 0.0762 x 0.0508 metres, the height along Y.
TEST(Convert, KicadUnitsAndZUpGiveMetresWithYUp) {
    const fs::path dir = FreshDir();
    WriteFile(dir / "part.wrl", std::string(V2) + "Shape { geometry Box { size 10 20 30 } }\n");
    ConvertSettings settings;
    settings.frame.scale = KicadUnitInMetres;
    settings.frame.zUp = true;
    ConvertSummary summary;
    ASSERT_EQ(
        ConvertFile((dir / "part.wrl").string(), (dir / "part.obj").string(), ExportFormat::Obj, settings, summary),
        "");
    const trelBBox box = ObjBounds(dir / "part.obj");
    EXPECT_NEAR(box.GetMin().x, -0.0127, 1e-6);
    EXPECT_NEAR(box.GetMin().y, -0.0381, 1e-6);
    EXPECT_NEAR(box.GetMin().z, -0.0254, 1e-6);
    EXPECT_NEAR(box.GetMax().y, 0.0381, 1e-6);
}

// Joined by material, the house keeps every triangle in fewer objects; the
// budget still refuses before anything is written.
TEST(Convert, MergedByMaterialKeepsEveryTriangleInOneObjectPerLook) {
    const fs::path dir = FreshDir();
    const std::string input = SourcePath("examples/house.wrl");
    ConvertSettings settings;
    ConvertSummary whole, merged;
    ASSERT_EQ(ConvertFile(input, (dir / "whole.obj").string(), ExportFormat::Obj, settings, whole), "");
    settings.mergeByMaterial = true;
    ASSERT_EQ(ConvertFile(input, (dir / "merged.obj").string(), ExportFormat::Obj, settings, merged), "");
    EXPECT_EQ(merged.triangles, whole.triangles);
    EXPECT_LT(merged.objects, whole.objects);
    size_t objects = 0;
    for (const std::string& line : Lines(ReadFile(dir / "merged.obj")))
        objects += line.rfind("o ", 0) == 0 ? 1 : 0;
    EXPECT_EQ(objects, merged.objects);
    const trelBBox a = ObjBounds(dir / "whole.obj"), b = ObjBounds(dir / "merged.obj");
    EXPECT_THAT(b.GetMin(), NearPoint(a.GetMin().x, a.GetMin().y, a.GetMin().z));
    EXPECT_THAT(b.GetMax(), NearPoint(a.GetMax().x, a.GetMax().y, a.GetMax().z));

    settings.maxTriangles = whole.triangles - 1;
    ConvertSummary refused;
    EXPECT_THAT(ConvertFile(input, (dir / "over.glb").string(), ExportFormat::Glb, settings, refused),
                testing::HasSubstr("triangles"));
    EXPECT_TRUE(refused.overBudget);
    EXPECT_FALSE(fs::exists(dir / "over.glb"));
}

TEST(Convert, BatchWritesEachInputAndNamesEveryFailure) {
    const fs::path dir = FreshDir();
    const fs::path inputs = dir / "in";
    fs::create_directories(inputs / "other");
    WriteGzip(inputs / "house.wrz", ReadFile(SourcePath("examples/house.wrl")));
    fs::copy_file(SourcePath("examples/robot_arm.wrl"), inputs / "robot_arm.WRL");
    WriteFile(inputs / "notes.wrl", "just some text\n");
    std::string broken = ReadFile(inputs / "house.wrz");
    broken[broken.size() / 2] = static_cast<char>(broken[broken.size() / 2] ^ 0x40);
    WriteFile(inputs / "broken.wrl.gz", broken);
    fs::copy_file(SourcePath("examples/house.wrl"), inputs / "other" / "house.wrl");

    ConvertRequest request;
    request.files = {(inputs / "house.wrz").string(),     (inputs / "robot_arm.WRL").string(),
                     (inputs / "missing.wrl").string(),   (inputs / "notes.wrl").string(),
                     (inputs / "broken.wrl.gz").string(), (inputs / "other" / "house.wrl").string()};
    request.outputDir = (dir / "out" / "nested").string(); // made when missing
    request.format = "OBJ";
    request.settings = ConvertSettings();
    std::ostringstream out, err;
    EXPECT_EQ(RunConvert(request, out, err), 1);

    std::set<std::string> written;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "out" / "nested"))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"house.obj", "house.mtl", "robot_arm.obj", "robot_arm.mtl"}));

    const std::vector<std::string> failures = Lines(err.str());
    ASSERT_EQ(failures.size(), 4u) << err.str();
    EXPECT_THAT(failures[0], testing::AllOf(testing::HasSubstr("missing.wrl"), testing::HasSubstr("no such file")));
    EXPECT_THAT(failures[1], testing::AllOf(testing::HasSubstr("notes.wrl"), testing::HasSubstr("not a VRML")));
    EXPECT_THAT(failures[2],
                testing::AllOf(testing::HasSubstr("broken.wrl.gz"), testing::HasSubstr("corrupt gzip stream")));
    EXPECT_THAT(failures[3], testing::AllOf(testing::HasSubstr("other"), testing::HasSubstr("already written")));
    // Successes are one line each on the other stream.
    const std::string done = out.str();
    EXPECT_EQ(std::count(done.begin(), done.end(), '\n'), 2) << done;

    request.quiet = true;
    request.files = {(inputs / "robot_arm.WRL").string()};
    std::ostringstream quietOut, quietErr;
    EXPECT_EQ(RunConvert(request, quietOut, quietErr), 0);
    EXPECT_EQ(quietOut.str(), "");
    EXPECT_EQ(quietErr.str(), "");
}

TEST(Convert, AFilePastTheTriangleBudgetFailsAloneAndLeavesNothing) {
    const fs::path dir = FreshDir();
    // 2 + 12 x 2 + 11 x 24 = 290 cubes of 12 triangles, from a few lines.
    const fs::path heavy = dir / "heavy.wrl";
    WriteFile(heavy, std::string(V1) + "Separator { DEF A Separator { Cube { } Cube { } } "
                                       "DEF B Separator { USE A USE A USE A USE A USE A USE A USE A USE A USE A "
                                       "USE A USE A USE A } USE B USE B USE B USE B USE B USE B USE B USE B USE B "
                                       "USE B USE B }\n");
    ConvertRequest request;
    request.files = {heavy.string(), SourcePath("examples/robot_arm.wrl")};
    request.outputDir = (dir / "out").string();
    request.format = "stl";
    request.settings = ConvertSettings();
    request.settings.maxTriangles = 3000;
    request.settings.budgetHint = "--max-triangles";
    std::ostringstream out, err;
    EXPECT_EQ(RunConvert(request, out, err), 1);
    EXPECT_THAT(err.str(), testing::HasSubstr("heavy.wrl: 3,480 triangles, more than the budget of 3,000 "
                                              "(--max-triangles)\n"));
    EXPECT_FALSE(fs::exists(dir / "out" / "heavy.stl"));
    EXPECT_TRUE(fs::exists(dir / "out" / "robot_arm.stl"));

    request.settings.maxTriangles = 3480;
    std::ostringstream admittedOut, admittedErr;
    EXPECT_EQ(RunConvert(request, admittedOut, admittedErr), 0) << admittedErr.str();
    EXPECT_TRUE(fs::exists(dir / "out" / "heavy.stl"));
}

TEST(Convert, RequestsThatCannotBeCarriedOutAreUsageErrors) {
    const fs::path dir = FreshDir();
    const std::string house = SourcePath("examples/house.wrl");
    struct Case {
        std::vector<std::string> files;
        std::string outputDir, format;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{house}, "", "", "give IN OUT"},
        {{house, (dir / "x.dae").string()}, "", "", "unknown output format"},
        {{house, (dir / "x").string()}, "", "", "unknown output format"},
        {{house, (dir / "x.glb").string()}, "", "obj", "--format goes with -o DIR"},
        {{house}, dir.string(), "fbx", "unknown format 'fbx'"},
        {{}, dir.string(), "", "no input files"},
    };
    for (const Case& c : cases) {
        ConvertRequest request;
        request.files = c.files;
        request.outputDir = c.outputDir;
        request.format = c.format;
        request.settings = ConvertSettings();
        std::ostringstream out, err;
        EXPECT_EQ(RunConvert(request, out, err), 2) << c.message;
        EXPECT_THAT(err.str(), testing::HasSubstr(c.message));
    }
}

TEST(Convert, OutputNamesDropTheVrmlEndings) {
    const std::vector<std::tuple<std::string, ExportFormat, std::string>> cases = {
        {"a/b/scene.wrl", ExportFormat::Glb, "scene.glb"},
        {"scene.WRZ", ExportFormat::Obj, "scene.obj"},
        {"cones.wrl.gz", ExportFormat::Stl, "cones.stl"},
        {"model.vrml", ExportFormat::Ply, "model.ply"},
        {"archive.gz", ExportFormat::Gltf, "archive.gltf"},
        {"odd.name.txt", ExportFormat::Glb, "odd.name.txt.glb"},
        {".wrl", ExportFormat::Glb, ".wrl.glb"},
    };
    for (const auto& [input, format, expected] : cases)
        EXPECT_EQ(OutputNameFor(input, format), expected) << input;
    ExportFormat format;
    EXPECT_TRUE(ParseExportFormat(".GLTF", format));
    EXPECT_EQ(format, ExportFormat::Gltf);
}

} // namespace

TEST(Convert, StandardInputAndAnIncludeRoot) {
    const fs::path dir = FreshDir();
    fs::create_directories(dir / "root");
    WriteFile(dir / "outside.wrl", "#VRML V2.0 utf8\nShape { geometry Box { } }\n");
    WriteFile(dir / "root" / "scene.wrl",
              "#VRML V2.0 utf8\nInline { url \"../outside.wrl\" }\nShape { geometry Sphere { } }\n");
    ConvertSettings settings = ConvertSettings();
    for (const bool rooted : {false, true}) {
        settings.load.includeRoot = rooted ? (dir / "root").string() : std::string();
        ConvertSummary summary;
        EXPECT_EQ(ConvertFile((dir / "root" / "scene.wrl").string(), (dir / "out.glb").string(), ExportFormat::Glb,
                              settings, summary),
                  "");
        EXPECT_EQ(summary.objects, rooted ? 1u : 2u) << "rooted " << rooted;
    }
    // "-" reads standard input; it has no name to write under in a batch.
    ASSERT_NE(std::freopen((dir / "root" / "scene.wrl").string().c_str(), "rb", stdin), nullptr);
    ConvertSummary summary;
    EXPECT_EQ(ConvertFile("-", (dir / "stdin.glb").string(), ExportFormat::Glb, ConvertSettings(), summary), "");
    EXPECT_EQ(summary.objects, 1u); // its references resolve from the current folder
    ConvertRequest batch;
    batch.files = {"-"};
    batch.outputDir = (dir / "out").string();
    std::ostringstream out, err;
    EXPECT_EQ(RunConvert(batch, out, err), 2);
    EXPECT_THAT(err.str(), testing::HasSubstr("standard input"));
}
