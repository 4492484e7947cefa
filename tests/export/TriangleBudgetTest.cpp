// The triangle budget: a scene is counted before anything is written, a
// scene over the budget leaves no file, and instanced glTF counts what it
// stores.

#include "WorldTestSupport.h"
#include "export/Convert.h"

#include <gtest/gtest.h>

using namespace vrml;
using namespace test_worlds;
namespace fs = std::filesystem;

namespace {

// One box of 12 triangles, used three times, and a sphere of its own.
const std::string SharedBoxes = std::string(V2) + "DEF B Shape { geometry Box { } }\n"
                                                  "Transform { translation 3 0 0 children USE B }\n"
                                                  "Transform { translation 6 0 0 children USE B }\n"
                                                  "Shape { geometry Sphere { } }\n";

struct Outcome {
    std::string failure;
    ConvertSummary summary;
    bool written = false;
};

// Converts into a folder of its own; `written` tells whether anything was left in it.
Outcome Convert(const C3DWorld& world, ExportFormat format, size_t budget) {
    static int calls = 0;
    const fs::path dir = TestTempDir() / std::to_string(++calls);
    fs::create_directories(dir);
    ConvertSettings settings;
    settings.maxTriangles = budget;
    settings.budgetHint = "--max-triangles";
    Outcome outcome;
    outcome.failure = WriteWorldAs(world, 4, "scene", (dir / ("scene" + FormatExtension(format))).string(), format,
                                   settings, outcome.summary);
    outcome.written = !fs::is_empty(dir);
    return outcome;
}

const trelBaseObject* FirstOfType(const C3DWorld& world, trelObjectTypes type) {
    for (const FoundObject& found : AllObjects(world))
        if (found.object->GetObjectType() == type)
            return found.object;
    return nullptr;
}

TEST(TriangleBudget, AScenePastTheBudgetWritesNothingAndSaysBothCounts) {
    LoadedText loaded = LoadText(SharedBoxes);
    ASSERT_EQ(loaded.result, 0);
    trelTessellationOptions counting;
    size_t total = 0;
    for (const auto& found : AllObjects(*loaded.world))
        total += found.object->CountTessellation(counting).triangles;
    ASSERT_GT(total, 36u);

    for (ExportFormat format : {ExportFormat::Obj, ExportFormat::Stl, ExportFormat::Ply}) {
        // Without instancing every use is stored: exactly the total is allowed, one less is not.
        const Outcome admitted = Convert(*loaded.world, format, total);
        EXPECT_EQ(admitted.failure, "") << FormatExtension(format);
        EXPECT_EQ(admitted.summary.triangles, total);
        EXPECT_TRUE(admitted.written);

        const Outcome refused = Convert(*loaded.world, format, total - 1);
        EXPECT_EQ(refused.failure, OverBudget(total, total - 1) + " (--max-triangles)") << FormatExtension(format);
        EXPECT_TRUE(refused.summary.overBudget);
        EXPECT_FALSE(refused.written) << FormatExtension(format);

        // No budget at all.
        EXPECT_EQ(Convert(*loaded.world, format, 0).failure, "");
    }
}

TEST(TriangleBudget, InstancedGltfCountsTheSharedShapeOnce) {
    LoadedText loaded = LoadText(SharedBoxes);
    trelTessellationOptions counting;
    ASSERT_EQ(AllObjects(*loaded.world).size(), 4u);
    const size_t box = FirstOfType(*loaded.world, TREL_BOX)->CountTessellation(counting).triangles;
    const size_t sphere = FirstOfType(*loaded.world, TREL_SPHERE)->CountTessellation(counting).triangles;
    ASSERT_EQ(box, 12u);
    for (ExportFormat format : {ExportFormat::Glb, ExportFormat::Gltf}) {
        const Outcome stored = Convert(*loaded.world, format, box + sphere);
        EXPECT_EQ(stored.failure, "") << FormatExtension(format);
        // What a viewer draws is still every use.
        EXPECT_EQ(stored.summary.triangles, 3 * box + sphere);
        const Outcome refused = Convert(*loaded.world, format, box + sphere - 1);
        EXPECT_NE(refused.failure.find(OverBudget(box + sphere, box + sphere - 1)), std::string::npos)
            << refused.failure;
        EXPECT_FALSE(refused.written);
    }
}

TEST(TriangleBudget, NumbersAreGroupedByThousands) {
    EXPECT_EQ(OverBudget(729536544, 100000000), "729,536,544 triangles, more than the budget of 100,000,000");
    EXPECT_EQ(WithThousands(0), "0");
    EXPECT_EQ(WithThousands(999), "999");
    EXPECT_EQ(WithThousands(1000), "1,000");
}

} // namespace
