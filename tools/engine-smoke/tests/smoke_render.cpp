// The smoke scene rendered headless and compared with its reference image
// (every channel within 3 levels on at least 99.5 % of the pixels), plus
// pixel checks that follow from the scene's geometry.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/d3d9/d3d9device.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/referenceimage.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

uint32_t At(const std::vector<uint32_t>& pixels, int x, int y)
{
    return pixels[size_t(y) * kWidth + x] & 0xFFFFFF;
}

} // namespace

TEST(SmokeScene, RendersTheReferencePicture)
{
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("smoke test", kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SmokeEngineStart(window));
    SmokeScene scene;
    ASSERT_TRUE(SmokeSceneCreate(&scene, kWidth, kHeight));
    // Two frames: the second one draws on buffers the first has rotated.
    ASSERT_TRUE(SmokeSceneRender(&scene));
    ASSERT_TRUE(SmokeSceneRender(&scene));
    // Draw once more without presenting, to read what the frame holds.
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);

    EXPECT_EQ(At(pixels, kWidth - 2, kHeight - 2), kSmokeBackground & 0xFFFFFF) << "cleared background";
    EXPECT_EQ(At(pixels, 9, 9), 0xE08020u) << "first checker texel of the 2-D quad";
    EXPECT_EQ(At(pixels, 8 + 36, 9), 0xFFFFFFu) << "second checker texel";
    EXPECT_EQ(At(pixels, 60, 9), kSmokeBackground & 0xFFFFFF) << "right of the quad";
    // The strip fills [-1, 1]^2 at distance 3 with a view window of half height 0.5:
    // the screen's middle is inside it, a blend of all four corner colours.
    const uint32_t middle = At(pixels, kWidth / 2, kHeight / 2);
    EXPECT_GT((middle >> 16) & 255, 64u);
    EXPECT_GT((middle >> 8) & 255, 64u);
    // The white frame at y = +-1.2 crosses the middle column 1.2 / 1.5 of the half height away.
    bool white = false;
    for (int y = 22; y <= 26; ++y) {
        white = white || At(pixels, kWidth / 2, y) == 0xFFFFFF;
    }
    EXPECT_TRUE(white) << "the top edge of the line frame";
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(std::string(OLAI_TEST_SOURCE_DIR) + "/reference",
                                               OLAI_TEST_OUTPUT_DIR, "smoke", pixels, kWidth, kHeight),
              "");

    SmokeSceneDestroy(&scene);
    SmokeEngineStop();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}
