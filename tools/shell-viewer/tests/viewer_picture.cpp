// shell-viewer run headless with its menu script: the last frame, with the
// menu open, is compared with a reference picture (99.5 % of the pixels
// within 3 levels per channel).
#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/d3d9/testing/referenceimage.h"

namespace {

bool ReadPng(const std::string& path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_BGRA; // 0xAARRGGBB words on a little-endian machine
    pixels->resize(size_t(image.width) * image.height);
    const bool ok = png_image_finish_read(&image, nullptr, pixels->data(), 0, nullptr) != 0;
    *width = image.width;
    *height = image.height;
    return ok;
}

TEST(ShellViewer, MenuPictureMatchesTheReference)
{
    const std::string shot = std::string(OLAI_TEST_OUTPUT_DIR) + "/viewer.png";
    std::remove(shot.c_str());
    const std::string command = "cd " OLAI_VIEWER_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=20 "
                                "OLAI_EXIT_AFTER_FRAMES=30 OLAI_SCREENSHOT=" +
                                shot + " OLAI_INPUT_SCRIPT=menu.txt " OLAI_VIEWER_PROGRAM;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ReadPng(shot, &pixels, &width, &height));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    const std::string failure = d3d9test::CompareWithReferenceIn(
        OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "viewer_menu", pixels, width, height);
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
