// shell-viewer run headless with its menu script: the last frame, with the
// menu open, is compared with a reference picture (99.5 % of the pixels
// within 3 levels per channel).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/d3d9/testing/referenceimage.h"

namespace {

TEST(ShellViewer, MenuPictureMatchesTheReference)
{
    const std::string shot = OLAI_TEST_OUTPUT_DIR "/viewer.png";
    const std::string command = "cd " OLAI_VIEWER_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=20 "
                                "OLAI_EXIT_AFTER_FRAMES=30 OLAI_SCREENSHOT=" +
                                shot + " OLAI_INPUT_SCRIPT=menu.txt " OLAI_VIEWER_PROGRAM;
    const std::string failure = d3d9test::CompareProgramFrameWithReference(
        command, shot, OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "viewer_menu");
    EXPECT_TRUE(failure.empty()) << failure;
}

TEST(ShellViewer, ListsTheDevices)
{
    const std::string out = std::string(OLAI_TEST_OUTPUT_DIR) + "/devices.txt";
    const std::string command = "SDL_VIDEODRIVER=offscreen " OLAI_VIEWER_PROGRAM " -list-devices > " + out;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_EQ(std::string(line).rfind("device 0: ", 0), 0u) << line;
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_NE(std::string(line).find(" x "), std::string::npos) << line;
    std::fclose(f);
}

} // namespace
