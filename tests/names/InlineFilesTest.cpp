// Multi-file scenes: each test writes its files into its own temporary
// folder, in subfolders where the scene says so, and loads the main file.

#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

namespace fs = std::filesystem;

// Writes `text` to `relative` (which may name subfolders) under `root`.
std::string WriteScene(const fs::path& root, const std::string& relative, const std::string& text) {
    fs::path path = root / fs::path(relative);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

LoadedText LoadFile(const std::string& path) {
    LoadedText loaded;
    loaded.result = loaded.parser->Parse(loaded.world.get(), path);
    return loaded;
}

std::vector<const trelBaseObject*> ObjectsOfType(const trelBaseGroup& root, trelObjectTypes type) {
    std::vector<const trelBaseObject*> found;
    for (const FoundObject& object : AllObjects(root))
        if (object.object->GetObjectType() == type)
            found.push_back(object.object);
    return found;
}

// The widths of the world's boxes: each test file builds a box of its own width.
std::vector<int> BoxWidths(const trelBaseGroup& root) {
    std::vector<int> widths;
    for (const trelBaseObject* object : ObjectsOfType(root, TREL_BOX)) {
        const auto* box = static_cast<const trelBox*>(object);
        widths.push_back(static_cast<int>(std::lround(box->GetCorner(1).x - box->GetCorner(0).x)));
    }
    return widths;
}

std::string Cube(int width) { return "Cube { width " + std::to_string(width) + " }\n"; }

} // namespace

TEST(InlineFiles, ReferencesAreFoundBelowOrBesideTheIncludingFile) {
    struct Case {
        std::vector<std::pair<std::string, int>> files; // relative path, width of its cube
        std::string reference;                           // as written in the file, quotes included
        std::vector<int> widths;                         // the boxes loaded
    };
    const std::vector<Case> cases = {
        {{{"parts/wheel.wrl", 2}}, "\"parts/wheel.wrl\"", {2}},
        {{{"parts/wheel.wrl", 2}}, "\"parts\\\\wheel.wrl\"", {2}}, // \\ is one backslash in a VRML string
        {{{"parts/wheel.wrl", 2}}, "\"parts\\wheel.wrl\"", {2}},
        {{{"parts/wheel.wrl", 2}}, "parts/wheel.wrl", {2}},      // unquoted
        {{{"parts/wheel.wrl", 2}}, "\"PARTS/Wheel.WRL\"", {2}},  // written on a system that ignores case
        {{{"parts/wheel.wrl", 2}}, "\"./parts/wheel.wrl#Hub\"", {2}},
        {{{"Parts/Sub/WHEEL.wrl", 2}}, "\"parts\\\\sub/wheel.WRL\"", {2}},
        // The subfolder the reference names comes first, the bare name beside
        // the including file second.
        {{{"parts/wheel.wrl", 2}, {"wheel.wrl", 3}}, "\"parts/wheel.wrl\"", {2}},
        {{{"wheel.wrl", 3}}, "\"parts/wheel.wrl\"", {3}},
        {{{"wheel.wrl", 3}}, "\"/somewhere/else/wheel.wrl\"", {3}},
        {{{"wheel.wrl", 3}}, "\"C:\\\\models\\\\wheel.wrl\"", {3}},
        // Not fetched, not found, or no file at all.
        {{{"wheel.wrl", 3}}, "\"http://example.com/wheel.wrl\"", {}},
        {{{"wheel.wrl", 3}}, "\"spare.wrl\"", {}},
        {{{"parts/wheel.wrl", 2}}, "\"parts/\"", {}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        fs::path root = TestTempDir() / ("case" + std::to_string(index++));
        for (const auto& file : c.files)
            WriteScene(root, file.first, V1 + Cube(file.second));
        std::string main = WriteScene(root, "main.wrl",
                                      std::string(V1) + FarAnchor(V1) + "WWWInline { name " + c.reference + " }\n");
        LoadedText loaded = LoadFile(main);
        EXPECT_EQ(BoxWidths(*loaded.world), c.widths);
    }
}

TEST(InlineFiles, IncludedGeometryTakesThePlaceAndStateOfTheInline) {
    fs::path root = TestTempDir();
    WriteScene(root, "parts/wheel.wrl", std::string(V1) + Cube(2));
    std::string main = WriteScene(root, "main.wrl",
                                  std::string(V1) +
                                      "DEF Car Separator {\n"
                                      "  Material { diffuseColor 1 0 0 }\n"
                                      "  Translation { translation 50 0 0 }\n"
                                      "  WWWInline { bboxSize 1 1 1 name \"parts/wheel.wrl\" bboxCenter 0 0 0 }\n"
                                      "}\n" +
                                      Cube(6));
    LoadedText loaded = LoadFile(main);
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    ASSERT_EQ(loaded.world->GetNumGroups(), 1);
    const C3DGroup* car = loaded.world->GetGroup(0);
    EXPECT_EQ(car->GetGroupName().GetString(), "Car");
    ASSERT_EQ(car->GetNumObjects(), 1);
    EXPECT_THAT(BoxCentre(car->GetObject(0)), NearPoint(50, 0, 0));
    EXPECT_EQ(car->GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 0, 0));
    // Reading went on in the including file after the inline.
    EXPECT_EQ(BoxWidths(*loaded.world), (std::vector<int>{6, 2}));
    EXPECT_EQ(loaded.parser->GetIOManager()->GetFilename(), main);
}

TEST(InlineFiles, NamesDefinedInAnIncludedFileAreUsableAfterTheInline) {
    for (const char* header : {V1, V2}) {
        SCOPED_TRACE(header);
        fs::path root = TestTempDir() / (header == V1 ? "v1" : "v2");
        WriteScene(root, "sub.wrl",
                   std::string(header) + (header == V1 ? "DEF Wheel Cube { width 4 }\n" : "DEF Wheel Box { size 4 4 4 }\n"));
        std::string inlineNode = header == V1 ? "WWWInline { name \"sub.wrl\" }\n" : "Inline { url \"sub.wrl\" }\n";
        std::string main = WriteScene(root, "main.wrl", std::string(header) + FarAnchor(header) + inlineNode + "USE Wheel\n");
        LoadedText loaded = LoadFile(main);
        EXPECT_EQ(BoxWidths(*loaded.world), (std::vector<int>{4, 4}));
    }
}

TEST(InlineFiles, MissingFileFailsTheInlineAndEndsTheEnclosingBlock) {
    PositionedParser positioned("Separator { WWWInline { name \"missing.wrl\" } Cube { } }\n", V1);
    EXPECT_EQ(positioned.parser.ParseBlock(), 0);
    EXPECT_EQ(positioned.Current(), "Cube"); // the rest of the separator is the caller's to read
    EXPECT_EQ(positioned.parser.GetSeparatorStack()->size(), 2u);

    LoadedText alone = LoadText(std::string(V2) + "Inline { url \"missing.wrl\" }\n");
    EXPECT_EQ(alone.result, VRML_LOAD_FAILURE);
}

TEST(InlineFiles, EmptyOrAbsentUrlReadsNothingAndSucceeds) {
    for (const char* node : {"Inline { url [ ] }", "Inline { bboxSize 2 2 2 }", "Inline { url \"\" }",
                             "Inline { url \"#Viewpoint\" }"}) {
        SCOPED_TRACE(node);
        PositionedParser positioned(std::string(node) + " Box { }\n");
        EXPECT_EQ(positioned.parser.ParseBlock(), 1);
        EXPECT_EQ(positioned.Current(), "Box");
        EXPECT_EQ(positioned.world.GetNumObjects(), 0);
    }
}

TEST(InlineFiles, FilesAlreadyBeingReadAreNotIncludedAgain) {
    fs::path root = TestTempDir();
    // Itself, directly and by another spelling of its path.
    std::string self = WriteScene(root, "self.wrl",
                                  std::string(V1) + FarAnchor(V1) + Cube(1) + "WWWInline { name \"self.wrl\" }\n" +
                                      "WWWInline { name \"./x/../SELF.WRL\" }\n" + Cube(2));
    LoadedText selfLoaded = LoadFile(self);
    EXPECT_EQ(BoxWidths(*selfLoaded.world), (std::vector<int>{1, 2}));

    // Through a ring of three files.
    WriteScene(root, "ring/a.wrl", std::string(V1) + FarAnchor(V1) + Cube(3) + "WWWInline { name \"b.wrl\" }\n");
    WriteScene(root, "ring/b.wrl", std::string(V1) + Cube(4) + "WWWInline { name \"sub/c.wrl\" }\n");
    WriteScene(root, "ring/sub/c.wrl", std::string(V1) + Cube(5) + "WWWInline { name \"../a.wrl\" }\n");
    LoadedText ring = LoadFile((root / "ring/a.wrl").string());
    EXPECT_EQ(BoxWidths(*ring.world), (std::vector<int>{3, 4, 5}));
    EXPECT_TRUE(ring.parser->GetSeparatorStack()->empty());

    // The same file twice in a row is not a cycle.
    WriteScene(root, "twice/part.wrl", std::string(V1) + Cube(7));
    std::string twice = WriteScene(root, "twice/main.wrl",
                                   std::string(V1) + FarAnchor(V1) + "WWWInline { name \"part.wrl\" } WWWInline { name \"part.wrl\" }\n");
    EXPECT_EQ(BoxWidths(*LoadFile(twice).world), (std::vector<int>{7, 7}));
}

TEST(InlineFiles, PrototypeFromAnotherFileCannotIncludeTheMainFileAgain) {
    fs::path root = TestTempDir();
    WriteScene(root, "lib/loop.wrl", std::string(V2) + "PROTO Back [ ] { Inline { url \"../main.wrl\" } }\n");
    std::string main = WriteScene(root, "main.wrl",
                                  std::string(V2) + FarAnchor(V2) + "Box { size 1 1 1 }\n"
                                                                    "EXTERNPROTO Back [ ] \"lib/loop.wrl\" Back { }\n");
    EXPECT_EQ(BoxWidths(*LoadFile(main).world), (std::vector<int>{1}));
}

TEST(InlineFiles, InlineDepthIsLimited) {
    fs::path root = TestTempDir();
    for (int i = 0; i < 6; ++i)
        WriteScene(root, "f" + std::to_string(i) + ".wrl",
                   std::string(V1) + (i == 0 ? FarAnchor(V1) : "") + Cube(i + 1) + "WWWInline { name \"f" + std::to_string(i + 1) + ".wrl\" }\n");
    C3DWorld world;
    CVRMLParser parser;
    parser.SetMaxInlineDepth(2);
    parser.Parse(&world, (root / "f0.wrl").string());
    EXPECT_EQ(BoxWidths(world), (std::vector<int>{1, 2, 3}));
}

TEST(InlineFiles, NestedIncludesAreLookedForBesideTheFileThatNamesThem) {
    fs::path root = TestTempDir();
    WriteScene(root, "sub/a.wrl", std::string(V1) + Cube(1) + "WWWInline { name \"b.wrl\" }\n");
    WriteScene(root, "sub/b.wrl", std::string(V1) + Cube(2));
    WriteScene(root, "b.wrl", std::string(V1) + Cube(9)); // beside the main file: not the one meant
    std::string main = WriteScene(root, "main.wrl", std::string(V1) + FarAnchor(V1) + "WWWInline { name \"sub/a.wrl\" }\n");
    EXPECT_EQ(BoxWidths(*LoadFile(main).world), (std::vector<int>{1, 2}));
}

TEST(InlineFiles, BrokenIncludedFileCannotUnbalanceTheIncludingFile) {
    fs::path root = TestTempDir();
    // A stray brace, and a separator left open with a green material in it.
    WriteScene(root, "stray.wrl", std::string(V1) + Cube(1) + "}\n" + Cube(2));
    WriteScene(root, "open.wrl", std::string(V1) + "Separator { Material { diffuseColor 0 1 0 } " + Cube(3));
    std::string main = WriteScene(root, "main.wrl",
                                  std::string(V1) + FarAnchor(V1) +
                                      "DEF Holder Separator { WWWInline { name \"stray.wrl\" } "
                                      "WWWInline { name \"open.wrl\" } Cube { width 4 } }\n" +
                                      Cube(5));
    LoadedText loaded = LoadFile(main);
    EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
    ASSERT_EQ(loaded.world->GetNumGroups(), 1); // Holder: the anchor's separator has no name
    const C3DGroup* holder = nullptr;
    for (int i = 0; i < loaded.world->GetNumGroups(); ++i)
        if (loaded.world->GetGroup(i)->GetGroupName().GetString() == "Holder")
            holder = loaded.world->GetGroup(i);
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(BoxWidths(*holder), (std::vector<int>{1, 2, 3, 4}));
    // The material of the separator left open stayed inside it.
    EXPECT_EQ(holder->GetObjectMatProps(3).front.GetDiffuse(), trelChroma(1, 1, 1));
    EXPECT_EQ(BoxWidths(*loaded.world).front(), 5); // after Holder, at the root
}

TEST(InlineFiles, IncludedFileIsReadInItsOwnDialect) {
    fs::path root = TestTempDir();
    WriteScene(root, "old.wrl", std::string(V1) + "Separator { Translation { translation 30 0 0 } Cube { } }\n");
    std::string main =
        WriteScene(root, "main.wrl", std::string(V2) + FarAnchor(V2) + "Inline { url \"old.wrl\" } Group { }\n");
    LoadedText loaded = LoadFile(main);
    auto boxes = ObjectsOfType(*loaded.world, TREL_BOX);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(BoxCentre(boxes[0]), NearPoint(30, 0, 0));
    EXPECT_EQ(loaded.parser->GetVersion(), VRML_VERSION_2);
}

TEST(InlineFiles, ExternProtoReadsItsLibraryOnceAndDeclaresItsPrototypes) {
    fs::path root = TestTempDir();
    WriteScene(root, "lib/shapes.wrl",
               std::string(V2) +
                   "PROTO Ball [ field SFFloat radius 1 ] { Sphere { radius IS radius } }\n"
                   "PROTO Wheel [ ] { Inline { url \"wheel_geometry.wrl\" } }\n"
                   "Box { size 8 8 8 }\n");
    WriteScene(root, "lib/wheel_geometry.wrl", std::string(V2) + "Box { size 2 2 2 }\n");
    std::string main = WriteScene(root, "main.wrl",
                                  std::string(V2) + FarAnchor(V2) +
                                      "EXTERNPROTO Ball [ field SFFloat radius ] \"lib/shapes.wrl#Ball\"\n"
                                      "EXTERNPROTO Wheel [ ] [ \"Lib/Shapes.wrl#Wheel\" \"http://x.org/s.wrl\" ]\n"
                                      "Ball { radius 2 } Wheel { }\n");
    LoadedText loaded = LoadFile(main);
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    ASSERT_NE(loaded.parser->FindPrototype("Ball"), nullptr);
    EXPECT_EQ(loaded.parser->FindPrototype("Ball")->GetSourceFile(), (root / "lib/shapes.wrl").string());
    // The library's own box once, and the wheel's geometry found beside the
    // library that declares it, not beside the main file.
    EXPECT_EQ(BoxWidths(*loaded.world), (std::vector<int>{8, 2}));
    auto spheres = ObjectsOfType(*loaded.world, TREL_SPHERE);
    ASSERT_EQ(spheres.size(), 2u); // the anchor's and the ball
    EXPECT_EQ(static_cast<const trelSphere*>(spheres[1])->GetRadius(), 2.0);

    // A library that cannot be found fails the declaration.
    PositionedParser missing("EXTERNPROTO X [ ] \"nowhere.wrl#X\" Box { }\n");
    EXPECT_EQ(missing.parser.ParseBlock(), 0);
}

TEST(InlineFiles, SubfilePathsAreBuiltFromTheIncludingFilesDirectory) {
    struct Case {
        const char* including;
        const char* reference;
        int result;
        const char* path;
    };
    // None of these files exist: the path is the first place looked at.
    const std::string longDirectory = "/" + std::string(300, 'd') + "/";
    const Case cases[] = {
        {"D:\\a\\main.wrl", "\"sub.wrl\"", 1, "D:\\a\\sub.wrl"},
        {"\"D:\\a\\main.wrl\"", "sub.wrl", 1, "D:\\a\\sub.wrl"},
        {"D:\\a\\main.wrl", "\"x/y.wrl\"", 1, "D:\\a\\x/y.wrl"},
        {"/m/n/main.wrl", "\"C:\\\\other\\\\y.wrl#Part\"", 1, "/m/n/y.wrl"},
        {"/m/n/main.wrl", "\"/abs/y.wrl\"", 1, "/m/n/y.wrl"},
        {"main.wrl", "\"y.wrl\"", 1, "y.wrl"},
        {"/m/n/main.wrl", "\"\"", 0, "\"\""},
        {"/m/n/main.wrl", "\"ftp://host/y.wrl\"", 0, "\"ftp://host/y.wrl\""},
        {"/m/n/main.wrl", "\"dir/\"", 0, "\"dir/\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.including) + " + " + c.reference);
        CVRMLParser parser;
        parser.GetIOManager()->SetFilename(c.including);
        std::string name = c.reference;
        EXPECT_EQ(parser.CreateSubfilePath(name), c.result);
        EXPECT_EQ(name, c.path);
    }
    // Paths of any length keep every character.
    CVRMLParser parser;
    parser.GetIOManager()->SetFilename(longDirectory + "main.wrl");
    std::string name = "\"" + std::string(280, 'n') + ".wrl\"";
    EXPECT_EQ(parser.CreateSubfilePath(name), 1);
    EXPECT_EQ(name, longDirectory + std::string(280, 'n') + ".wrl");
}

namespace {
// Each percentage reported, with the number of objects loaded by then.
std::vector<std::pair<int, int>> reported;
const C3DWorld* progressWorld = nullptr;
void Record(int percentage) { reported.emplace_back(percentage, progressWorld->GetTotalObjectCount()); }
} // namespace

TEST(InlineFiles, ProgressFollowsTheMainFileOnly) {
    fs::path root = TestTempDir();
    std::string cubes;
    for (int i = 0; i < 2000; ++i)
        cubes += "Cube { width 100 }\n";
    WriteScene(root, "big.wrl", std::string(V1) + cubes);
    std::string main =
        WriteScene(root, "main.wrl", std::string(V1) + cubes + "WWWInline { name \"big.wrl\" }\n" + cubes);
    reported.clear();
    C3DWorld world;
    progressWorld = &world;
    CVRMLParser parser;
    parser.SetLoaderPtr(&Record);
    parser.Parse(&world, main);
    EXPECT_EQ(world.GetTotalObjectCount(), 6000);
    // The included file, read halfway through the main file, does not drive
    // the percentage: 60 % is reached in the second half of the main file.
    auto sixty = std::find_if(reported.begin(), reported.end(), [](auto& r) { return r.first >= 60; });
    ASSERT_NE(sixty, reported.end());
    EXPECT_GT(sixty->second, 4000);
}

TEST(InlineFiles, SampleScenesLoadTheirPartsAndPrototypes) {
    struct Case {
        const char* file;
        int cylinders;
        int spheres;
        int boxes;
    };
    // The cart: four wheels of two cylinders from one file, the handle and its
    // reuse; the prototypes: two posts and three lamps, one of them a USE.
    const Case cases[] = {{"examples/inline_parts/cart.wrl", 10, 0, 1}, {"examples/prototypes.wrl", 5, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        LoadedText loaded = LoadFile(std::string(VRML_SOURCE_DIR) + "/" + c.file);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(ObjectsOfType(*loaded.world, TREL_CYLINDER).size(), static_cast<size_t>(c.cylinders));
        EXPECT_EQ(ObjectsOfType(*loaded.world, TREL_SPHERE).size(), static_cast<size_t>(c.spheres));
        EXPECT_EQ(ObjectsOfType(*loaded.world, TREL_BOX).size(), static_cast<size_t>(c.boxes));
    }
}
