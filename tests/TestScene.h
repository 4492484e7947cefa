#pragma once
// Loading a few lines of VRML from a string, for tests.

#include "parser/VRMLParser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

// The folder of the running test's own files: CTest runs tests in parallel processes.
inline std::filesystem::path TestTempPath() {
    std::string test = "global";
    if (const auto* info = ::testing::UnitTest::GetInstance()->current_test_info())
        test = std::string(info->test_suite_name()) + "." + info->name();
    return std::filesystem::temp_directory_path() / ("vrml_test." + test);
}

inline std::filesystem::path TestTempDir() {
    auto dir = TestTempPath();
    std::filesystem::create_directories(dir);
    return dir;
}

// Each test's folder goes when the test ends, so that runs leave nothing in
// the temporary folder. (No shared parent folder: one process removing it
// would race with another making its folder inside.) Set
// VRML_KEEP_TEST_FILES to keep them for a look.
class TestTempDirRemover : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        if (std::getenv("VRML_KEEP_TEST_FILES"))
            return;
        std::error_code ignored;
        std::filesystem::remove_all(TestTempPath(), ignored);
    }
};
inline const bool testTempDirsRemoved = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestTempDirRemover);
    return true;
}();

inline std::string WriteTempFile(const std::string& name, const std::string& text) {
    auto path = TestTempDir() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

struct LoadedText {
    std::unique_ptr<C3DWorld> world = std::make_unique<C3DWorld>();
    std::unique_ptr<CVRMLParser> parser = std::make_unique<CVRMLParser>();
    int result = -1;
};

constexpr const char* V1 = "#VRML V1.0 ascii\n";
constexpr const char* V2 = "#VRML V2.0 utf8\n";

// Parses `text` (header included) written to a temporary file.
inline LoadedText LoadText(const std::string& text, const std::string& name = "scene.wrl") {
    LoadedText loaded;
    loaded.result = loaded.parser->Parse(loaded.world.get(), WriteTempFile(name, text));
    return loaded;
}

// A parser positioned on the first token after the header of `text`, with
// its root level open over its own world, as the node readers find it.
struct PositionedParser {
    C3DWorld world;
    CVRMLParser parser;
    explicit PositionedParser(const std::string& text, const char* header = "#VRML V2.0 utf8\n") {
        parser.GetIOManager()->SetFilename(WriteTempFile("positioned.wrl", header + text));
        EXPECT_EQ(parser.GetIOManager()->OpenFile(), VRML_LOAD_SUCCESS);
        parser.SetWorld(&world);
        parser.DefineSeparator();
    }
    std::string Current() const { return parser.GetCurrentTokenString(); }
};

struct FoundObject {
    const trelBaseObject* object;
    const trelMatProps* props;
    std::string_view groupName; // lives as long as the world
};

// Every object of the world, depth first in insertion order, with its group's name.
inline std::vector<FoundObject> AllObjects(const trelBaseGroup& root) {
    std::vector<FoundObject> found;
    std::vector<const trelBaseGroup*> pending{&root};
    while (!pending.empty()) {
        const trelBaseGroup* group = pending.back();
        pending.pop_back();
        for (int i = 0; i < group->GetNumObjects(); ++i)
            found.push_back({group->GetObject(i), &group->GetObjectMatProps(i), group->GetGroupName().GetString()});
        for (int i = group->GetNumGroups() - 1; i >= 0; --i)
            pending.push_back(group->GetGroup(i));
    }
    return found;
}

// The types of the objects, in their order.
inline std::vector<trelObjectTypes> TypesOf(const std::vector<FoundObject>& objects) {
    std::vector<trelObjectTypes> types;
    for (const FoundObject& found : objects)
        types.push_back(found.object->GetObjectType());
    return types;
}

// The types of every object of a loaded world, in the order of AllObjects.
inline std::vector<trelObjectTypes> TypesOf(const LoadedText& loaded) { return TypesOf(AllObjects(*loaded.world)); }

inline trelFloatPoint BoxCentre(const trelBaseObject* object) {
    const auto* box = static_cast<const trelBox*>(object);
    trelFloatPoint sum;
    for (int i = 0; i < 8; ++i) {
        sum.x += box->GetCorner(i).x / 8;
        sum.y += box->GetCorner(i).y / 8;
        sum.z += box->GetCorner(i).z / 8;
    }
    return sum;
}

MATCHER_P3(NearPoint, x, y, z, "") {
    return std::fabs(arg.x - x) < 1e-4 && std::fabs(arg.y - y) < 1e-4 && std::fabs(arg.z - z) < 1e-4;
}

// A sphere far from the origin keeps a test world larger than 25 units, so
// that no unit scaling happens and expectations read in file units.
inline std::string FarAnchor(const char* header) {
    return header == std::string(V1) ? "Separator { Translation { translation 0 0 -100 } Sphere { } }\n"
                                     : "Transform { translation 0 0 -100 children Sphere { } }\n";
}

// The objects built by `nodes` under a far anchor (which keeps the world
// unscaled), the anchor's own object left out.
inline std::vector<FoundObject> Build(LoadedText& loaded, const char* header, const std::string& nodes) {
    loaded = LoadText(std::string(header) + FarAnchor(header) + nodes);
    auto objects = AllObjects(*loaded.world);
    objects.erase(objects.begin());
    return objects;
}

// As LoadText, by the standards' semantics when `standard` is 1.
inline LoadedText LoadTextInMode(const std::string& text, int standard, const std::string& name = "scene.wrl") {
    LoadedText loaded;
    loaded.parser->SetStandardSemantics(standard);
    loaded.result = loaded.parser->Parse(loaded.world.get(), WriteTempFile(name, text));
    return loaded;
}
