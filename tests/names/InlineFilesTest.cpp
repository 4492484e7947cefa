// Multi-file scenes: each test writes its files into its own temporary
// folder, in subfolders where the scene says so, and loads the main file.

#include "TestScene.h"

#include "names/Prototypes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

namespace fs = std::filesystem;
using Files = std::vector<std::pair<std::string, std::string>>; // relative path (may name subfolders), text

// Writes `text` to `relative` under `root`.
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

// Writes `files` under `root`, each after `header` unless it has its own, and
// loads the first, which gets a far anchor to keep the world unscaled. Files
// left in `root` by an earlier run (of other cases) are removed first.
LoadedText LoadFiles(const fs::path& root, const char* header, const Files& files) {
    fs::remove_all(root);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& text = files[i].second;
        WriteScene(root, files[i].first,
                   (text.rfind("#VRML", 0) == 0 ? "" : header) + (i == 0 ? FarAnchor(header) : "") + text);
    }
    return LoadFile((root / files[0].first).string());
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
std::string Inline(const std::string& name) { return "WWWInline { name \"" + name + "\" }\n"; }

} // namespace

TEST(InlineFiles, ReferencesAreFoundBelowOrBesideTheIncludingFile) {
    struct Case {
        std::vector<std::pair<std::string, int>> files; // relative path, width of its cube
        std::string reference;                          // as written in the file, quotes included
        std::vector<int> widths;                        // the boxes loaded
    };
    const std::vector<Case> cases = {
        {{{"parts/wheel.wrl", 2}}, "\"parts\\wheel.wrl\"", {2}},
        {{{"parts/wheel.wrl", 2}}, "parts/wheel.wrl", {2}}, // unquoted
        {{{"parts/wheel.wrl", 2}}, "\"./parts/wheel.wrl#Hub\"", {2}},
        // \\ is one backslash in a VRML string; written on a system that ignores case.
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
        Files files = {{"main.wrl", "WWWInline { name " + c.reference + " }\n"}};
        for (const auto& file : c.files)
            files.emplace_back(file.first, Cube(file.second));
        EXPECT_EQ(BoxWidths(*LoadFiles(TestTempDir() / std::to_string(index++), V1, files).world), c.widths);
    }
}

TEST(InlineFiles, IncludedGeometryTakesThePlaceAndStateOfTheInline) {
    LoadedText loaded = LoadFiles(
        TestTempDir(), V1,
        {{"main.wrl", "DEF Car Separator { Material { diffuseColor 1 0 0 } Translation { translation 50 0 0 }\n"
                      "  WWWInline { bboxSize 1 1 1 name \"parts/wheel.wrl\" bboxCenter 0 0 0 } }\n" +
                          Cube(6)},
         {"parts/wheel.wrl", Cube(2)}});
    EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
    ASSERT_EQ(loaded.world->GetNumGroups(), 1); // the anchor's separator has no name
    const C3DGroup* car = loaded.world->GetGroup(0);
    EXPECT_EQ(car->GetGroupName().GetString(), "Car");
    ASSERT_EQ(car->GetNumObjects(), 1);
    EXPECT_THAT(BoxCentre(car->GetObject(0)), NearPoint(50, 0, 0));
    EXPECT_EQ(car->GetObjectMatProps(0).front.GetDiffuse(), trelChroma(1, 0, 0));
    // Reading went on in the including file after the inline.
    EXPECT_EQ(BoxWidths(*loaded.world), (std::vector<int>{6, 2}));
    EXPECT_EQ(loaded.parser->GetIOManager()->GetFilename(), (TestTempDir() / "main.wrl").string());
}

TEST(InlineFiles, EachFileIsBuiltWhereItIsIncludedAndCyclesEnd) {
    struct Case {
        const char* header;
        Files files; // the first is the main file
        std::vector<int> widths;
    };
    const Case cases[] = {
        // Names defined in an included file are usable after the inline.
        {V1, {{"main.wrl", Inline("sub.wrl") + "USE Wheel\n"}, {"sub.wrl", "DEF Wheel Cube { width 4 }\n"}}, {4, 4}},
        {V2,
         {{"main.wrl", "Inline { url \"sub.wrl\" }\nUSE Wheel\n"}, {"sub.wrl", "DEF Wheel Box { size 4 4 4 }\n"}},
         {4, 4}},
        // Nested includes are looked for beside the file that names them, not
        // beside the main file.
        {V1,
         {{"main.wrl", Inline("sub/a.wrl")},
          {"sub/a.wrl", Cube(1) + Inline("b.wrl")},
          {"sub/b.wrl", Cube(2)},
          {"b.wrl", Cube(9)}},
         {1, 2}},
        // The same file twice in a row is not a cycle.
        {V1, {{"main.wrl", Inline("part.wrl") + Inline("part.wrl")}, {"part.wrl", Cube(7)}}, {7, 7}},
        // A file already being read is not included again: itself, directly
        // and by another spelling of its path; through a ring of three files;
        // through a prototype declared in another file.
        {V1, {{"self.wrl", Cube(1) + Inline("self.wrl") + Inline("./x/../SELF.WRL") + Cube(2)}}, {1, 2}},
        {V1,
         {{"a.wrl", Cube(3) + Inline("b.wrl")},
          {"b.wrl", Cube(4) + Inline("sub/c.wrl")},
          {"sub/c.wrl", Cube(5) + Inline("../a.wrl")}},
         {3, 4, 5}},
        {V2,
         {{"main.wrl", "Box { size 1 1 1 }\nEXTERNPROTO Back [ ] \"lib/loop.wrl\" Back { }\n"},
          {"lib/loop.wrl", "PROTO Back [ ] { Inline { url \"../main.wrl\" } }\n"}},
         {1}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files[0].second);
        LoadedText loaded = LoadFiles(TestTempDir() / std::to_string(index++), c.header, c.files);
        EXPECT_EQ(BoxWidths(*loaded.world), c.widths);
        EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
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
    for (const char* node :
         {"Inline { url [ ] }", "Inline { bboxSize 2 2 2 }", "Inline { url \"\" }", "Inline { url \"#Viewpoint\" }"}) {
        SCOPED_TRACE(node);
        PositionedParser positioned(std::string(node) + " Box { }\n");
        EXPECT_EQ(positioned.parser.ParseBlock(), 1);
        EXPECT_EQ(positioned.Current(), "Box");
        EXPECT_EQ(positioned.world.GetNumObjects(), 0);
    }
}

TEST(InlineFiles, InlineDepthIsLimited) {
    Files files;
    for (int i = 0; i < 6; ++i)
        files.emplace_back("f" + std::to_string(i) + ".wrl",
                           Cube(i + 1) + Inline("f" + std::to_string(i + 1) + ".wrl"));
    EXPECT_EQ(BoxWidths(*LoadFiles(TestTempDir(), V1, files).world), (std::vector<int>{1, 2, 3, 4, 5, 6}));
    C3DWorld world;
    CVRMLParser parser;
    parser.SetMaxInlineDepth(2);
    parser.Parse(&world, (TestTempDir() / "f0.wrl").string());
    EXPECT_EQ(BoxWidths(world), (std::vector<int>{1, 2, 3}));
}

// Each of twelve files includes the next twice: 4,094 reads unless counted.
TEST(InlineFiles, FileReadsPerParseAreLimited) {
    Files files;
    for (int i = 0; i < 12; ++i) {
        const std::string next = Inline("g" + std::to_string(i + 1) + ".wrl");
        files.emplace_back("g" + std::to_string(i) + ".wrl", Cube(1) + next + next);
    }
    const fs::path root = TestTempDir() / "doubling";
    EXPECT_EQ(BoxWidths(*LoadFiles(root, V1, files).world).size(), 4095u);
    for (long long limit : {0, 10}) {
        C3DWorld world;
        CVRMLParser parser;
        parser.SetMaxInlineCount(limit);
        parser.Parse(&world, (root / "g0.wrl").string());
        // The main file's cube, then one for each file read before the limit.
        EXPECT_EQ(BoxWidths(world).size(), static_cast<size_t>(1 + limit));
        // The limit counts anew in each Parse.
        C3DWorld again;
        parser.Parse(&again, (root / "g0.wrl").string());
        EXPECT_EQ(BoxWidths(again).size(), static_cast<size_t>(1 + limit));
    }
}

TEST(InlineFiles, BrokenIncludedFileCannotUnbalanceTheIncludingFile) {
    // A stray brace, and a separator left open with a green material in it.
    LoadedText loaded = LoadFiles(
        TestTempDir(), V1,
        {{"main.wrl", "DEF Holder Separator { " + Inline("stray.wrl") + Inline("open.wrl") + Cube(4) + "}\n" + Cube(5)},
         {"stray.wrl", Cube(1) + "}\n" + Cube(2)},
         {"open.wrl", "Separator { Material { diffuseColor 0 1 0 } " + Cube(3)}});
    EXPECT_TRUE(loaded.parser->GetSeparatorStack()->empty());
    ASSERT_EQ(loaded.world->GetNumGroups(), 1); // Holder: the anchor's separator has no name
    const C3DGroup* holder = loaded.world->GetGroup(0);
    EXPECT_EQ(holder->GetGroupName().GetString(), "Holder");
    EXPECT_EQ(BoxWidths(*holder), (std::vector<int>{1, 2, 3, 4}));
    // The material of the separator left open stayed inside it.
    EXPECT_EQ(holder->GetObjectMatProps(3).front.GetDiffuse(), trelChroma(1, 1, 1));
    EXPECT_EQ(BoxWidths(*loaded.world).front(), 5); // after Holder, at the root
}

TEST(InlineFiles, IncludedFileIsReadInItsOwnDialect) {
    LoadedText loaded =
        LoadFiles(TestTempDir(), V2,
                  {{"main.wrl", "Inline { url \"old.wrl\" } Group { }\n"},
                   {"old.wrl", V1 + std::string("Separator { Translation { translation 30 0 0 } Cube { } }\n")}});
    auto boxes = ObjectsOfType(*loaded.world, TREL_BOX);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(BoxCentre(boxes[0]), NearPoint(30, 0, 0));
    EXPECT_EQ(loaded.parser->GetVersion(), VRML_VERSION_2);
}

TEST(InlineFiles, ExternProtoReadsItsLibraryOnceAndDeclaresItsPrototypes) {
    fs::path root = TestTempDir();
    LoadedText loaded =
        LoadFiles(root, V2,
                  {{"main.wrl", "EXTERNPROTO Ball [ field SFFloat radius ] \"lib/shapes.wrl#Ball\"\n"
                                "EXTERNPROTO Wheel [ ] [ \"Lib/Shapes.wrl#Wheel\" \"http://x.org/s.wrl\" ]\n"
                                "Ball { radius 2 } Wheel { }\n"},
                   {"lib/shapes.wrl", "PROTO Ball [ field SFFloat radius 1 ] { Sphere { radius IS radius } }\n"
                                      "PROTO Wheel [ ] { Inline { url \"wheel_geometry.wrl\" } }\n"
                                      "Box { size 8 8 8 }\n"},
                   {"lib/wheel_geometry.wrl", "Box { size 2 2 2 }\n"}});
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
        std::string including, reference;
        int result;
        std::string path;
    };
    // None of these files exist: the path is the first place looked at (the
    // search itself is checked above).
    const std::string longDirectory = "/" + std::string(300, 'd') + "/", longName = std::string(280, 'n') + ".wrl";
    const Case cases[] = {
        {"D:\\a\\main.wrl", "\"sub.wrl\"", 1, "D:\\a\\sub.wrl"},
        {"\"D:\\a\\main.wrl\"", "sub.wrl", 1, "D:\\a\\sub.wrl"},
        {"D:\\a\\main.wrl", "\"x/y.wrl\"", 1, "D:\\a\\x/y.wrl"},
        {"/m/n/main.wrl", "\"C:\\\\other\\\\y.wrl#Part\"", 1, "/m/n/y.wrl"},
        {"main.wrl", "\"y.wrl\"", 1, "y.wrl"},
        {"/m/n/main.wrl", "\"\"", 0, "\"\""},
        {longDirectory + "main.wrl", "\"" + longName + "\"", 1,
         longDirectory + longName}, // any length, every character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.including + " + " + c.reference);
        CVRMLParser parser;
        parser.GetIOManager()->SetFilename(c.including);
        std::string name = c.reference;
        EXPECT_EQ(parser.CreateSubfilePath(name), c.result);
        EXPECT_EQ(name, c.path);
    }
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

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {
// A FIFO that no one writes to: opening it for reading would block for ever.
bool MakeFifo(const fs::path& path) {
#ifdef _WIN32
    (void)path;
    return false;
#else
    fs::create_directories(path.parent_path());
    return mkfifo(path.c_str(), 0600) == 0;
#endif
}
} // namespace

TEST(InlineFiles, OnlyRegularFilesAreReadAndTheLoadGoesOn) {
    const fs::path root = TestTempDir();
    std::vector<std::string> references = {"\"folder\""}; // a directory
    fs::remove_all(root);
    fs::create_directories(root / "folder");
    if (MakeFifo(root / "pipe.wrl"))
        references.push_back("\"pipe.wrl\"");
    if (fs::exists("/dev/zero"))
        references.push_back("\"../../../../../../../../../../dev/zero\"");
    for (const std::string& reference : references) {
        SCOPED_TRACE(reference);
        const std::string main = WriteScene(root, "main.wrl",
                                            std::string(V1) + FarAnchor(V1) + Cube(1) +
                                                Inline(reference.substr(1, reference.size() - 2)) + Cube(2));
        LoadedText loaded = LoadFile(main);
        EXPECT_EQ(loaded.result, VRML_LOAD_SUCCESS);
        EXPECT_EQ(BoxWidths(*loaded.world), (std::vector<int>{1, 2}));
    }
    // The file given to Parse fails to open, with the reason.
    for (const std::string& top :
         {(root / "folder").string(), (root / "pipe.wrl").string(), std::string("/dev/zero")}) {
        if (!fs::exists(top))
            continue;
        SCOPED_TRACE(top);
        LoadedText loaded = LoadFile(top);
        EXPECT_EQ(loaded.result, VRML_LOAD_UNREADABLE);
        EXPECT_EQ(loaded.parser->GetReadError(), "not a regular file");
    }
}

TEST(InlineFiles, AnIncludeRootKeepsReferencesInsideIt) {
    struct Case {
        std::string reference; // relative to root/scene/, where main.wrl is
        std::vector<int> withoutRoot, withRoot;
    };
    const fs::path base = TestTempDir();
    fs::remove_all(base);
    const fs::path root = base / "root";
    WriteScene(base, "secret.wrl", std::string(V1) + Cube(9));
    WriteScene(root, "shared/part.wrl", std::string(V1) + Cube(3));
    WriteScene(root, "scene/lib.wrl", std::string(V2) + "PROTO P [] { Box { size 4 4 4 } }\n");
    WriteScene(base, "lib.wrl", std::string(V2) + "PROTO P [] { Box { size 8 8 8 } }\n");
    std::error_code error;
    fs::create_directory_symlink(fs::path("..") / "..", root / "scene" / "up", error);
    fs::create_symlink(fs::path("..") / "shared" / "part.wrl", root / "scene" / "near.wrl", error);
    const bool links = !error;
    std::vector<Case> cases = {
        {"../shared/part.wrl", {3}, {3}}, // up and down again, still inside
        {"../../secret.wrl", {9}, {}},    // out by ".."
        // An absolute path is only looked for by its bare name beside the file.
        {(base / "secret.wrl").generic_string(), {}, {}},
    };
    if (links) {
        cases.push_back({"up/secret.wrl", {9}, {}}); // out through a link
        cases.push_back({"near.wrl", {3}, {3}});     // a link that stays inside
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference);
        const std::string main =
            WriteScene(root, "scene/main.wrl", std::string(V1) + FarAnchor(V1) + Inline(c.reference));
        for (bool withRoot : {false, true}) {
            LoadedText loaded;
            if (withRoot)
                loaded.parser->SetIncludeRoot(root.string());
            loaded.result = loaded.parser->Parse(loaded.world.get(), main);
            EXPECT_EQ(BoxWidths(*loaded.world), withRoot ? c.withRoot : c.withoutRoot) << "root " << withRoot;
        }
    }
    // EXTERNPROTO files obey the root too; the file given to Parse may lie anywhere.
    for (const char* library : {"lib.wrl", "../../lib.wrl"}) {
        SCOPED_TRACE(library);
        const std::string main = WriteScene(
            root, "scene/proto.wrl", std::string(V2) + FarAnchor(V2) + "EXTERNPROTO P [] \"" + library + "\"\nP { }\n");
        LoadedText loaded;
        loaded.parser->SetIncludeRoot((root / "scene").string());
        loaded.result = loaded.parser->Parse(loaded.world.get(), main);
        EXPECT_EQ(BoxWidths(*loaded.world),
                  std::string(library) == "lib.wrl" ? std::vector<int>{4} : std::vector<int>{});
    }
}

TEST(InlineFiles, TheReadBudgetCoversEveryFileOfTheScene) {
    const fs::path root = TestTempDir();
    fs::remove_all(root);
    const std::string part = std::string(V1) + Cube(2) + "# " + std::string(1000, 'x') + "\n";
    WriteScene(root, "part.wrl", part);
    const std::string mainText = std::string(V1) + FarAnchor(V1) + Cube(1) + Inline("part.wrl") + Cube(3);
    const std::string main = WriteScene(root, "main.wrl", mainText);
    struct Case {
        uint64_t budget;
        int result;
        std::vector<int> widths;
    };
    const Case cases[] = {
        {CVRMLParser::DefaultMaxReadBytes, VRML_LOAD_SUCCESS, {1, 2, 3}},
        {mainText.size() + part.size(), VRML_LOAD_SUCCESS, {1, 2, 3}},
        {mainText.size() + part.size() - 1, VRML_LOAD_SUCCESS, {1, 3}}, // the inline node fails
        {mainText.size() - 1, VRML_LOAD_UNREADABLE, {}},                // the top file is over it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.budget);
        LoadedText loaded;
        loaded.parser->SetMaxReadBytes(c.budget);
        loaded.result = loaded.parser->Parse(loaded.world.get(), main);
        EXPECT_EQ(loaded.result, c.result);
        EXPECT_EQ(BoxWidths(*loaded.world), c.widths);
        EXPECT_LE(loaded.parser->GetReadBytes(), c.budget);
    }
}
