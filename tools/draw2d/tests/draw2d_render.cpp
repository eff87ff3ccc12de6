// The 2-D toolkit's picture rendered headless and compared with its
// reference image, plus probes that follow from its geometry.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/toolkit2d/font.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/referenceimage.h"
#include "tools/draw2d/draw2dscene.h"
#include "tools/draw2d/draw2dshapes.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

/// The pixel at 2-D point (x, y): one unit is the raster's height, y up.
uint32_t At(const std::vector<uint32_t>& pixels, float x, float y)
{
    const int px = int(x * kHeight);
    const int py = int(float(kHeight) - y * kHeight);
    return pixels[size_t(py) * kWidth + px] & 0xFFFFFF;
}

} // namespace

TEST(Draw2D, RendersTheReferencePicture)
{
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("draw2d test", kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SmokeEngineStart(window));
    Draw2DScene scene;
    ASSERT_TRUE(Draw2DSceneCreate(&scene, kWidth, kHeight));
    ASSERT_TRUE(Draw2DSceneRender(&scene));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);

    const uint32_t background = kDraw2DBackground & 0xFFFFFF;
    EXPECT_EQ(At(pixels, 0.31f, 0.65f), background) << "the oval's empty centre";
    // The ring starts at the bottom and runs counter-clockwise from red to yellow.
    const uint32_t right = At(pixels, 0.54f, 0.65f);
    EXPECT_GT((right >> 16) & 255, 150u) << "a quarter along, on the right, the band is red";
    EXPECT_LT((right >> 8) & 255, 120u);
    const uint32_t left = At(pixels, 0.08f, 0.65f);
    EXPECT_GT((left >> 8) & 255, 120u) << "three quarters along, on the left, it is yellow";
    EXPECT_EQ(At(pixels, 1.02f, 0.66f), 0x30B060u) << "the star's filled centre";
    EXPECT_EQ(At(pixels, 0.73f, 0.25f), 0xD08030u) << "the L's upright";
    EXPECT_EQ(At(pixels, 0.82f, 0.25f), background) << "beside it, the notch";
    EXPECT_EQ(scene.counts.filledOutlines, 2);
    EXPECT_EQ(scene.counts.fillTriangles, 8 + 4) << "ten star corners and six L corners";
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(std::string(OLAI_TEST_SOURCE_DIR) + "/reference",
                                               OLAI_TEST_OUTPUT_DIR, "draw2d", pixels, kWidth, kHeight),
              "");

    Draw2DSceneDestroy(&scene);
    SmokeEngineStop();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

TEST(Draw2D, RendersTextInTheSampleFont)
{
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("draw2d text test", kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(SmokeEngineStart(window));
    Draw2DScene scene;
    ASSERT_TRUE(Draw2DSceneCreate(&scene, kWidth, kHeight));
    Font* font = Draw2DReadSampleFont(OLAI_SAMPLE_DATA_DIR, "did16");
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(Draw2DSceneRenderText(&scene, font, "Score 42", false));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);

    // Where the words lie: advances at one texel per pixel from the start.
    const float native = FontGetNativeSize(font);
    const int start = int(kDraw2DTextX * kHeight);
    const int score = int(FontGetStringWidth(font, "Score", native) * kHeight);
    const int space = int(FontGetStringWidth(font, " ", native) * kHeight);
    const int baseline = int(float(kHeight) - kDraw2DTextY * kHeight);
    auto brightest = [&](int x0, int x1, int y0, int y1) {
        uint32_t best = 0;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                best = std::max(best, pixels[size_t(y) * kWidth + x] & 0xFF);
            }
        }
        return best;
    };
    const uint32_t background = kDraw2DBackground & 0xFF;
    EXPECT_GT(brightest(start, start + score, baseline - 5, baseline - 3), 200u) << "strokes of \"Score\"";
    EXPECT_GT(brightest(start + score + space, start + score + 2 * space + 16, baseline - 5, baseline - 3),
              200u)
        << "strokes of \"42\"";
    EXPECT_EQ(brightest(start + score + 2, start + score + space - 2, baseline - 14, baseline + 4),
              background)
        << "nothing between the words";
    EXPECT_EQ(brightest(start, kWidth - 1, 0, baseline - 20), background) << "nothing above the line";
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(std::string(OLAI_TEST_SOURCE_DIR) + "/reference",
                                               OLAI_TEST_OUTPUT_DIR, "draw2d_text", pixels, kWidth, kHeight),
              "");

    Draw2DSceneDestroy(&scene);
    FileSystemManagerClose();
    SmokeEngineStop();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

// The shapes drawn immediate on the left and built into atomics on the
// right: each probe reads the same on both sides.
TEST(Draw2D, ShapesDrawTheSameImmediateAndBuilt)
{
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    HWND window = Win32WindowCreate("draw2d shapes test", kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Draw2DShapesEngineStart(window));
    Draw2DScene scene;
    ASSERT_TRUE(Draw2DSceneCreate(&scene, kWidth, kHeight));
    ASSERT_TRUE(Draw2DSceneRenderShapes(&scene));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    ASSERT_EQ(pixels.size(), size_t(kWidth) * kHeight);

    const auto near = [](uint32_t a, uint32_t b) {
        for (int shift = 0; shift < 24; shift += 8) {
            const int d = int((a >> shift) & 255) - int((b >> shift) & 255);
            if (d < -4 || d > 4) {
                return false;
            }
        }
        return true;
    };
    const struct
    {
        const char* what;
        float x, y;
        uint32_t expected;
    } probes[] = {
        {"the square's fill", 0.16f, 0.65f, 0xE68C28},
        {"its white outline", 0.06f, 0.65f, 0xFFFFFF},
        {"the tinted triangle at half white", 0.34f, 0.12f, 0x808080},
        {"the wave's crest", 0.195f, 0.435f, 0x3CC85A},
        {"the background between", 0.34f, 0.5f, kDraw2DBackground & 0xFFFFFF},
    };
    for (const auto& p : probes) {
        const uint32_t left = At(pixels, p.x, p.y), right = At(pixels, p.x + kDraw2DShapesOffset, p.y);
        EXPECT_TRUE(near(left, p.expected)) << p.what << ": " << std::hex << left;
        EXPECT_TRUE(near(right, left)) << p.what << " built: " << std::hex << right << " against " << left;
    }
    // The hexagon's gradient: red at the bottom, blue at the top, on both sides.
    for (float dx : {0.0f, kDraw2DShapesOffset}) {
        const uint32_t bottom = At(pixels, 0.47f + dx, 0.54f), top = At(pixels, 0.47f + dx, 0.76f);
        EXPECT_GT((bottom >> 16) & 255, (bottom & 255)) << dx;
        EXPECT_GT(top & 255, (top >> 16) & 255) << dx;
    }
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(std::string(OLAI_TEST_SOURCE_DIR) + "/reference",
                                               OLAI_TEST_OUTPUT_DIR, "draw2d_shapes", pixels, kWidth,
                                               kHeight),
              "");

    Draw2DSceneDestroy(&scene);
    SmokeEngineStop();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}
