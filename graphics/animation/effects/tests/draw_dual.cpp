// The dual-texture effect on devices of 1, 2, 3 and 8 blend stages: how many
// passes each blend takes, that one and two passes give the same picture,
// and that the states a second pass changes are put back.
#include <gtest/gtest.h>

#include <cstdlib>

#include "graphics/animation/effects/tests/effectsdrawtesting.h"

namespace {

struct Device
{
    const char* profile;
    uint32_t blendStages;
};

struct PassCase
{
    uint32_t source, destination;
    bool base;
    UINT passes[4]; ///< on 1, 2, 3 and 8 blend stages
};

class DualTexture : public EffectsDrawing, public testing::WithParamInterface<Device>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam().profile;
        blendStages_ = GetParam().blendStages;
        EffectsDrawing::SetUp();
    }

    /// Index of the device in PassCase::passes.
    static int DeviceIndex()
    {
        switch (GetParam().blendStages) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 3:
            return 2;
        default:
            return 3;
        }
    }

    /// A pre-lit white quad at distance 2 with base (or none) and second
    /// textures of one texel each, blended by (source, destination).
    Atomic* DualQuad(uint32_t base, uint32_t second, uint32_t source, uint32_t destination,
                     bool hasBase = true)
    {
        Material* material = MaterialOf({255, 255, 255, 255}, hasBase ? TextureOf(1, 1, {base}) : nullptr);
        EXPECT_NE(MaterialEffectsSetType(material, EffectTypeDual), nullptr);
        Texture* texture = TextureOf(1, 1, {second});
        EXPECT_NE(MaterialEffectsSetupDualTexture(material, texture, source, destination), nullptr);
        TextureDestroy(texture);
        Atomic* atomic = Place(FacingQuad(kPreLitTextured, material), 0, 0, 2);
        AtomicEnableEffects(atomic);
        return atomic;
    }

    /// The pixel at the quad's centre.
    static uint32_t Centre(const std::vector<uint32_t>& frame)
    {
        return frame[size_t(kHeight / 2 * kWidth + kWidth / 2)] & 0xFFFFFF;
    }

    static void ExpectColour(uint32_t actual, uint32_t expected)
    {
        for (int shift = 0; shift < 24; shift += 8) {
            EXPECT_NEAR(int(actual >> shift & 0xFF), int(expected >> shift & 0xFF), 2)
                << std::hex << actual << " for " << expected;
        }
    }
};

TEST_P(DualTexture, PassesFollowTheBlendAndTheStages)
{
    const PassCase cases[] = {
        {9, 1, true, {2, 1, 1, 1}},  {1, 3, true, {2, 1, 1, 1}}, {5, 6, true, {2, 2, 1, 1}},
        {5, 6, false, {2, 1, 1, 1}}, {9, 3, true, {2, 1, 1, 1}}, {2, 2, true, {2, 1, 1, 1}},
        {1, 5, true, {2, 1, 1, 1}},  {7, 8, true, {2, 2, 2, 2}}, {7, 8, false, {2, 2, 2, 2}},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.source << ", " << c.destination << ")"
                                        << (c.base ? " over a base" : " alone"));
        UINT draws = 0;
        Draw(DualQuad(0xFF808080, 0xFF808080, c.source, c.destination, c.base), &draws);
        EXPECT_EQ(draws, c.passes[DeviceIndex()]);
    }
}

TEST_P(DualTexture, OneAndTwoPassesGiveTheBlendedColour)
{
    struct ColourCase
    {
        uint32_t source, destination;
        uint32_t base, second, expected;
    };
    const ColourCase cases[] = {
        {9, 1, 0xFFFF8000, 0xFF808080, 0x804000}, // multiply
        {2, 2, 0xFF400000, 0xFF004080, 0x404080}, // add
        {5, 6, 0xFFFF0000, 0x800000FF, 0x7F0080}, // alpha blend
        {1, 5, 0xFFFF8000, 0x80FFFFFF, 0x804000}, // multiply by the second's alpha
    };
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.source << ", " << c.destination << ")");
        ExpectColour(Centre(Draw(DualQuad(c.base, c.second, c.source, c.destination))), c.expected);
    }
}

TEST_P(DualTexture, StatesAreRestoredAfterEitherPath)
{
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 1);
    D3D9RenderStateSet(kRenderStateSrcBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_SRCALPHA)));
    D3D9RenderStateSet(kRenderStateDestBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_INVSRCALPHA)));
    D3D9RenderStateFlush();
    const DWORD alphaTest = DeviceRenderState(D3DRS_ALPHATESTENABLE);
    for (uint32_t source : {9u, 7u}) {
        SCOPED_TRACE(source);
        Draw(DualQuad(0xFF808080, 0xFF808080, source, source == 9 ? 1 : 8));
        D3D9RenderStateFlush();
        EXPECT_EQ(DeviceStage(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
        EXPECT_EQ(DeviceStage(2, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
        EXPECT_EQ(DeviceStage(1, D3DTSS_TEXCOORDINDEX), 1u);
        EXPECT_EQ(DeviceRenderState(D3DRS_ZWRITEENABLE), 1u);
        EXPECT_EQ(DeviceRenderState(D3DRS_ALPHATESTENABLE), alphaTest);
        uint32_t blend = 0;
        D3D9RenderStateGet(kRenderStateSrcBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_SRCALPHA));
        D3D9RenderStateGet(kRenderStateDestBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_INVSRCALPHA));
    }
}

TEST_P(DualTexture, WithoutASecondRasterTheBaseIsDrawnAlone)
{
    Atomic* atomic = DualQuad(0xFFFF0000, 0xFF00FF00, 9, 1);
    Texture* second = MaterialEffectsGetDualTexture(materials_.back());
    RasterDestroy(second->raster);
    second->raster = nullptr;
    UINT draws = 0;
    const std::vector<uint32_t> frame = Draw(atomic, &draws);
    EXPECT_EQ(draws, 1u);
    EXPECT_NEAR(double(CountColour(frame, kRed)), kQuadPixels, 90.0);
}

INSTANTIATE_TEST_SUITE_P(Devices, DualTexture,
                         testing::Values(Device{"full", 1}, Device{"minimal", 0}, Device{"ff3", 0},
                                         Device{"full", 0}),
                         [](const testing::TestParamInfo<Device>& info) {
                             return std::string(info.param.profile) + std::to_string(info.param.blendStages);
                         });

} // namespace
