#pragma once
// The effects drawing tests' fixture: the drawing fixture with the effects
// plug-in attached on an adapter of a chosen caps profile, and helpers that
// draw an atomic (counting the device's draws) and build texture matrices.

#include <gtest/gtest.h>

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/renderer/tests/drawtesting.h"
#include "graphics/scene/geometry.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/testing/capsprofiles.h"

constexpr uint32_t kPreLitTextured = kGeometryPreLit | kGeometryTextured;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;
/// The facing quad at distance 2 covers 40 x 30 pixels.
constexpr double kQuadPixels = 1200.0;
/// DualQuad's base colour for a material without texture.
constexpr uint32_t kNoBase = 0;

class EffectsDrawing : public DrawFixture
{
  protected:
    /// An adapter of caps profile `profile_` (with `blendStages_` texture
    /// stages when not 0, without the op caps `withoutOps_`), then the effects
    /// plug-in.
    bool AttachPlugins() override
    {
        D3D9AdapterConfig adapter = {};
        if (!D3D9CapsProfile(profile_, &adapter)) {
            return false;
        }
        if (blendStages_ != 0) {
            adapter.caps.MaxTextureBlendStages = blendStages_;
        }
        adapter.caps.TextureOpCaps &= ~withoutOps_;
        D3D9SetAdapters(&adapter, 1);
        return EffectsPluginAttach();
    }

    void TearDown() override
    {
        DrawFixture::TearDown();
        D3D9ResetAdapters();
    }

    std::vector<uint32_t> Draw(Atomic* atomic)
    {
        EXPECT_NE(CameraClear(camera_, kBackground, 3), nullptr);
        EXPECT_NE(AtomicDefaultRender(atomic), nullptr);
        return Pixels();
    }

    /// Draws the atomic over the background, counting the device's draws.
    std::vector<uint32_t> Draw(Atomic* atomic, UINT* draws)
    {
        D3D9CallLogStart(Device());
        std::vector<uint32_t> frame = Draw(atomic);
        *draws = D3D9CallCount(Device(), D3D9Call::DrawIndexedPrimitive) +
                 D3D9CallCount(Device(), D3D9Call::DrawPrimitive);
        D3D9CallLogStop(Device());
        return frame;
    }

    /// A pre-lit white quad at distance 2 as an effects atomic, with base (kNoBase: none) and
    /// second textures of one texel each, blended by (source, destination).
    /// The textures have the raster formats given (opaque base, second with
    /// alpha by default).
    Atomic* DualQuad(uint32_t base, uint32_t second, uint32_t source, uint32_t destination,
                     uint32_t baseFormat = kRasterFormat888, uint32_t secondFormat = kRasterFormat8888)
    {
        Texture* baseTexture = base == kNoBase ? nullptr : TextureOf(1, 1, {base}, baseFormat);
        Material* material = MaterialOf({255, 255, 255, 255}, baseTexture);
        EXPECT_NE(MaterialEffectsSetType(material, EffectTypeDual), nullptr);
        Texture* texture = TextureOf(1, 1, {second}, secondFormat);
        EXPECT_NE(MaterialEffectsSetupDualTexture(material, texture, source, destination), nullptr);
        TextureDestroy(texture);
        Atomic* atomic = Place(FacingQuad(kPreLitTextured, material), 0, 0, 2);
        AtomicEnableEffects(atomic);
        return atomic;
    }

    /// The pixel at the quad's centre, without alpha.
    static uint32_t Centre(const std::vector<uint32_t>& frame)
    {
        return frame[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF;
    }

    /// Each colour channel within 2 of the expected one.
    static void ExpectColour(uint32_t actual, uint32_t expected)
    {
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(int(actual >> shift & 0xFF), int(expected >> shift & 0xFF), 2)
                << std::hex << actual << " for " << expected;
        }
    }

    static Matrix Translation(float u, float v)
    {
        Matrix m = {};
        m.right.x = m.up.y = m.at.z = 1.0f;
        m.pos = {u, v, 0.0f};
        m.flags = kMatrixFlagsOrthonormal;
        return m;
    }

    const char* profile_ = "full";
    uint32_t blendStages_ = 0;
    uint32_t withoutOps_ = 0; ///< TextureOpCaps bits the adapter lacks
};
