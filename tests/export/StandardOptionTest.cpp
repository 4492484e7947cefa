// --standard as the commands pass it on: the loader follows the standards'
// semantics for loading, converting and explaining a refused file.

#include "WorldTestSupport.h"
#include "export/Convert.h"
#include "inspect/LoadReport.h"

#include <gtest/gtest.h>

using namespace vrml;

using namespace test_worlds;
namespace fs = std::filesystem;

namespace {
const std::string SwitchScene = "#VRML V2.0 utf8\n"
                                "Switch { whichChoice 1 choice [ Shape { geometry Box { } } "
                                "Shape { geometry Sphere { } } Shape { geometry Cone { } } ] }\n";
}

TEST(StandardOption, ConvertBuildsOnlyTheChosenChild) {
    const fs::path dir = FreshDir();
    const fs::path input = dir / "switch.wrl";
    std::ofstream(input, std::ios::binary) << SwitchScene;
    for (bool standard : {false, true}) {
        ConvertSettings settings;
        settings.load.standard = standard;
        ConvertSummary summary;
        const fs::path output = dir / (standard ? "standard.obj" : "default.obj");
        ASSERT_EQ(ConvertFile(input.string(), output.string(), ExportFormat::Obj, settings, summary), "");
        // Box, sphere, cone and its base disk; or the sphere alone.
        EXPECT_EQ(summary.objects, standard ? 1u : 4u);
    }
}

TEST(StandardOption, ByteOrderMarkIsExplainedOnlyWhereItIsRefused) {
    const fs::path dir = FreshDir();
    const fs::path input = dir / "marked.wrl";
    std::ofstream(input, std::ios::binary) << "\xEF\xBB\xBF" << SwitchScene;
    LoadedScene byDefault = LoadScene(input.string());
    EXPECT_NE(byDefault.failure.find("not a VRML 1.0 or 2.0 file"), std::string::npos);
    LoadSettings standardSettings;
    standardSettings.standard = true;
    LoadedScene standard = LoadScene(input.string(), standardSettings);
    EXPECT_EQ(standard.failure, "");
    EXPECT_EQ(standard.result, 0);
    EXPECT_EQ(standard.world->GetNumObjects(), 1);
}
