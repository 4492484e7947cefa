// `vrml render` as a user runs it: what is written, and what is refused.

#include "cli/RenderCommand.h"
#include "TestScene.h"

#include <gtest/gtest.h>
#include <stb_image.h>

#include <filesystem>
#include <sstream>

using namespace vrml::cli;

namespace {

const std::string Cube = std::string(V2) + "Shape { appearance Appearance { material Material { diffuseColor 0.2 0.4 "
                                           "0.6 } } geometry Box { size 1 1 1 } }\n";

struct CommandRun {
    int status;
    std::string message;
};

CommandRun RunCommand(RenderRequest request) {
    std::ostringstream err;
    const int status = RunRender(request, err);
    return {status, err.str()};
}

TEST(RenderCommand, EmptySceneWritesTheBackgroundAndFails) {
    RenderRequest request;
    request.input = WriteTempFile("empty.wrl", std::string(V2) + "Group { children [] }\n");
    request.output = (TestTempDir() / "empty.png").string();
    request.size = "40x30";
    request.background = "#102030";
    const CommandRun run = RunCommand(request);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.message.find("nothing to draw"), std::string::npos) << run.message;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(request.output.c_str(), &width, &height, &channels, 4);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width * 1000 + height, 40 * 1000 + 30);
    int other = 0;
    for (int i = 0; i < width * height; ++i)
        other +=
            pixels[i * 4] != 0x10 || pixels[i * 4 + 1] != 0x20 || pixels[i * 4 + 2] != 0x30 || pixels[i * 4 + 3] != 255;
    stbi_image_free(pixels);
    EXPECT_EQ(other, 0);
}

TEST(RenderCommand, RefusedRequestsWriteNothing) {
    RenderRequest request;
    request.input = WriteTempFile("cube.wrl", Cube);
    request.output = (TestTempDir() / "refused.png").string();
    std::filesystem::remove(request.output);
    const struct {
        const char* size;
        int thumbnail;
        const char* view;
        const char* reason;
    } rows[] = {{"9000x9000", 0, "iso", "at most 8192x8192"},
                {"800x600", 9000, "iso", "at most 8192x8192"},
                {"800x600", 0, "sideways", "view \"sideways\""}};
    for (const auto& row : rows) {
        request.size = row.size;
        request.thumbnail = row.thumbnail;
        request.view = row.view;
        const CommandRun run = RunCommand(request);
        EXPECT_EQ(run.status, 2) << row.reason;
        EXPECT_NE(run.message.find(row.reason), std::string::npos) << run.message;
        EXPECT_FALSE(std::filesystem::exists(request.output));
    }
}

} // namespace
