// The particle picture under the "minimal" and "full" caps profiles,
// compared with its reference images, plus probes that follow from it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/animation/particle.h"
#include "graphics/d3d9/d3d9device.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/referenceimage.h"
#include "tools/particles-demo/particlescene.h"

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;

/// Pixels brighter than the background in columns [x0, x1).
int LitIn(const std::vector<uint32_t>& pixels, int x0, int x1)
{
    int lit = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = pixels[size_t(y) * kWidth + size_t(x)];
            lit += ((p >> 16) & 255) > 0x30 || ((p >> 8) & 255) > 0x40;
        }
    }
    return lit;
}

class ParticleDemo : public ::testing::TestWithParam<const char*>
{
};

} // namespace

TEST_P(ParticleDemo, RendersTheReferencePicture)
{
    if (!std::getenv("DISPLAY")) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
    }
    const std::string caps = GetParam();
    HWND window = Win32WindowCreate("particles", kWidth, kHeight);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ParticleEngineStart(window, caps.c_str()));
    ParticleScene scene;
    ASSERT_TRUE(ParticleSceneCreate(&scene, kWidth, kHeight));
    EXPECT_EQ(ParticleAtomicGetEmitter(scene.emitters[1])->pointSprites, caps == "full")
        << "sprites where the device draws points larger than one pixel";
    ParticleSceneUpdate(&scene, 0.5f);
    ASSERT_TRUE(ParticleSceneRender(&scene));
    const std::vector<uint32_t> pixels = d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight);
    ASSERT_EQ(pixels.size(), size_t(kWidth * kHeight));
    // Each emitter lights its own third of the view; the corners stay clear.
    for (int third = 0; third < 3; ++third) {
        EXPECT_GT(LitIn(pixels, third * kWidth / 3, (third + 1) * kWidth / 3), 200) << "emitter " << third;
    }
    EXPECT_EQ(pixels[0] & 0xFFFFFF, kParticleSceneBackground & 0xFFFFFF);
    EXPECT_EQ(d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                               "particles_" + caps, pixels, kWidth, kHeight),
              "");
    ParticleSceneDestroy(&scene);
    ParticleEngineStop();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Caps, ParticleDemo, ::testing::Values("minimal", "full"));
