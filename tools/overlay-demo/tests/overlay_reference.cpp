// overlay-demo unattended: its last frame matches the reference picture
// (the text at once and buffered in the debug glyphs, the logo at place 9).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/png.h"
#include "platform/d3d9/testing/referenceimage.h"

namespace {

class OverlayDemoTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
        root = std::filesystem::path(OLAI_TEST_OUTPUT_DIR);
        std::filesystem::create_directories(root);
        ASSERT_TRUE(FileSystemManagerOpen(0));
        FileSystem* files = Win32FileSystemCreate(8, (root.string() + "/").c_str(), "demo");
        ASSERT_NE(files, nullptr);
        ASSERT_TRUE(FileSystemManagerRegister(files));
        FileSystemManagerSetDefault(files);
    }
    void TearDown() override
    {
        FileSystemManagerClose();
        EngineFixture::TearDown();
    }

    std::filesystem::path root;
};

TEST_F(OverlayDemoTest, LastFrameMatchesTheReference)
{
    const std::filesystem::path shot = root / "overlay.png";
    std::filesystem::remove(shot);
    const std::string command = "SDL_VIDEODRIVER=offscreen OLAI_EXIT_AFTER_FRAMES=2 OLAI_SCREENSHOT='" +
                                shot.string() +
                                "' '" OLAI_OVERLAY_DEMO "' 'Hello, world' --logo 9 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Image* image = PngRead("overlay.png");
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->depth, 32);
    std::vector<uint32_t> pixels;
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            const uint8_t* p = image->pixels + y * image->stride + x * 4;
            pixels.push_back(0xFF000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    }
    const std::string mismatch =
        d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR, "overlay",
                                         pixels, uint32_t(image->width), uint32_t(image->height));
    EXPECT_EQ(mismatch, "");
    ImageDestroy(image);
}

} // namespace
