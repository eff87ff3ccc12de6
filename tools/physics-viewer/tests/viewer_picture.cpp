// physics-viewer run headless on the sample data with the menu, the volume
// edges, the contacts and the iteration counts shown: the last frame is
// compared with a reference picture (99.5 % of the pixels within 3 levels
// per channel); the simulation and the drawing are deterministic.
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

TEST(PhysicsViewer, PictureMatchesTheReference)
{
    const std::string shot = std::string(OLAI_TEST_OUTPUT_DIR) + "/physics-viewer.png";
    std::remove(shot.c_str());
    const std::string command = "cd " OLAI_VIEWER_DATA_DIR " && SDL_VIDEODRIVER=offscreen OLAI_FRAME_MS=20 "
                                "OLAI_EXIT_AFTER_FRAMES=60 OLAI_SCREENSHOT=" +
                                shot + " OLAI_INPUT_SCRIPT=" OLAI_VIEWER_SCRIPT " " OLAI_VIEWER_PROGRAM;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<uint32_t> pixels;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(ReadPng(shot, &pixels, &width, &height));
    EXPECT_EQ(width, 640u);
    EXPECT_EQ(height, 480u);
    const std::string failure = d3d9test::CompareWithReferenceIn(
        OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "physics_viewer", pixels, width, height);
    EXPECT_TRUE(failure.empty()) << failure;
}

} // namespace
