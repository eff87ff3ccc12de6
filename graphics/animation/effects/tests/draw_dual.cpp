// The dual-texture effect on devices of 1, 2, 3 and 8 blend stages, and of 8
// without the multiply-add and modulate-2x ops: how many passes each blend
// takes, that one and two passes give the same picture, and that the states
// a second pass changes are put back.
#include <gtest/gtest.h>

#include "graphics/animation/effects/tests/effectsdrawtesting.h"

namespace {

constexpr uint32_t kWithoutOps = D3DTEXOPCAPS_MULTIPLYADD | D3DTEXOPCAPS_MODULATE2X;

struct Device
{
    const char* name;
    const char* profile;
    uint32_t blendStages; ///< 0: the profile's
    uint32_t withoutOps;
    int column; ///< in PassCase::passes
};

struct PassCase
{
    uint32_t source, destination;
    bool base;
    UINT passes[5]; ///< on 1, 2, 3 and 8 blend stages, and 8 without the ops
};

class DualTexture : public EffectsDrawing, public testing::WithParamInterface<Device>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam().profile;
        blendStages_ = GetParam().blendStages;
        withoutOps_ = GetParam().withoutOps;
        EffectsDrawing::SetUp();
    }
};

TEST_P(DualTexture, PassesFollowTheBlendTheStagesAndTheOps)
{
    const PassCase cases[] = {
        {9, 1, true, {2, 1, 1, 1, 1}},  {1, 3, true, {2, 1, 1, 1, 1}},  {9, 1, false, {2, 1, 1, 1, 1}},
        {5, 6, true, {2, 2, 1, 1, 1}},  {5, 6, false, {2, 1, 1, 1, 1}}, {9, 3, true, {2, 1, 1, 1, 2}},
        {9, 3, false, {2, 1, 1, 1, 2}}, {2, 2, true, {2, 1, 1, 1, 2}},  {2, 2, false, {2, 1, 1, 1, 1}},
        {1, 5, true, {2, 1, 1, 1, 1}},  {1, 5, false, {2, 1, 1, 1, 1}}, {7, 8, true, {2, 2, 2, 2, 2}},
        {7, 8, false, {2, 2, 2, 2, 2}},
    };
    for (const PassCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.source << ", " << c.destination << ")"
                                        << (c.base ? " over a base" : " alone"));
        UINT draws = 0;
        Draw(DualQuad(c.base ? 0x808080 : kNoBase, 0xFF808080, c.source, c.destination), &draws);
        EXPECT_EQ(draws, c.passes[GetParam().column]);
    }
}

TEST_P(DualTexture, OneAndTwoPassesGiveTheBlendedColour)
{
    struct ColourCase
    {
        const char* name;
        uint32_t source, destination;
        uint32_t base, second, expected;
    };
    // Opaque bases leave frame-buffer blending off in one pass, so that the
    // picture is the combination alone in both paths.
    const ColourCase cases[] = {
        {"multiply", 9, 1, 0xFF8000, 0xFF808080, 0x804000},
        {"multiply", 1, 3, 0xFF8000, 0xFF808080, 0x804000},
        {"multiply alone", 9, 1, kNoBase, 0xFF808080, 0x808080},
        {"multiply twice", 9, 3, 0x804020, 0xFF606060, 0x603018},
        {"add", 2, 2, 0x400000, 0xFF004080, 0x404080},
        {"alpha blend", 5, 6, 0xFF0000, 0x800000FF, 0x7F0080},
        {"alpha blend alone", 5, 6, kNoBase, 0x800000FF, 0x7F7FFF},
        {"multiply by the second's alpha", 1, 5, 0xFF8000, 0x80FFFFFF, 0x804000},
    };
    for (const ColourCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " (" << c.source << ", " << c.destination << ")");
        ExpectColour(Centre(Draw(DualQuad(c.base, c.second, c.source, c.destination))), c.expected);
    }
}

TEST_P(DualTexture, StatesAreRestoredAfterEitherPath)
{
    struct RestoreCase
    {
        const char* name;
        uint32_t source, destination;
        uint32_t textureFormat;
        DWORD alphaTest; ///< as the engine's rule gives it after the draw
    };
    // Textures with alpha keep blending, and so alpha testing, on; without
    // alpha both are off once vertex alpha is back off.
    const RestoreCase cases[] = {
        {"multiply, textures with alpha", 9, 1, kRasterFormat8888, 1},
        {"multiply, opaque textures", 9, 1, kRasterFormat888, 0},
        {"multiply twice, textures with alpha", 9, 3, kRasterFormat8888, 1},
        {"destination alpha, textures with alpha", 7, 8, kRasterFormat8888, 1},
        {"destination alpha, opaque textures", 7, 8, kRasterFormat888, 0},
    };
    D3D9RenderStateSet(kRenderStateSrcBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_SRCALPHA)));
    D3D9RenderStateSet(kRenderStateDestBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_INVSRCALPHA)));
    D3D9RenderStateSet(kRenderStateFogEnable, reinterpret_cast<void*>(uintptr_t(1)));
    D3D9RenderStateSet(kRenderStateFogColour, reinterpret_cast<void*>(uintptr_t(0xFF123456)));
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 1);
    for (const RestoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        Draw(DualQuad(0x808080, 0xFF808080, c.source, c.destination, c.textureFormat, c.textureFormat));
        D3D9RenderStateFlush();
        EXPECT_EQ(DeviceStage(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
        EXPECT_EQ(DeviceStage(2, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
        EXPECT_EQ(DeviceStage(0, D3DTSS_TEXCOORDINDEX), 0u);
        EXPECT_EQ(DeviceStage(1, D3DTSS_TEXCOORDINDEX), 1u);
        EXPECT_EQ(DeviceRenderState(D3DRS_ZWRITEENABLE), 1u);
        EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 0xFF123456u);
        EXPECT_EQ(DeviceRenderState(D3DRS_ALPHATESTENABLE), c.alphaTest);
        EXPECT_EQ(DeviceRenderState(D3DRS_ALPHABLENDENABLE), c.alphaTest);
        uint32_t blend = 0;
        D3D9RenderStateGet(kRenderStateSrcBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_SRCALPHA));
        EXPECT_EQ(DeviceRenderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
        D3D9RenderStateGet(kRenderStateDestBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(DeviceRenderState(D3DRS_DESTBLEND), DWORD(D3DBLEND_INVSRCALPHA));
    }
}

TEST_P(DualTexture, WithoutASecondRasterTheBaseIsDrawnAlone)
{
    Atomic* atomic = DualQuad(0xFF0000, 0xFF00FF00, 9, 1);
    Texture* second = MaterialEffectsGetDualTexture(materials_.back());
    RasterDestroy(second->raster);
    second->raster = nullptr;
    UINT draws = 0;
    const std::vector<uint32_t> frame = Draw(atomic, &draws);
    EXPECT_EQ(draws, 1u);
    EXPECT_NEAR(double(CountColour(frame, kRed)), kQuadPixels, 90.0);
}

TEST_P(DualTexture, UvTransformMovesTheSecondTextureInEitherPath)
{
    // Multiply (one pass where two textures are possible) and destination
    // alpha (always two): white base, second texture red | green shifted by
    // half its width.
    for (uint32_t source : {9u, 7u}) {
        SCOPED_TRACE(source);
        Material* material = MaterialOf({255, 255, 255, 255}, TextureOf(1, 1, {0xFFFFFF}, kRasterFormat888));
        ASSERT_NE(MaterialEffectsSetType(material, EffectTypeDualUvTransform), nullptr);
        Texture* second = TextureOf(2, 1, {0xFFFF0000, 0xFF00FF00}, kRasterFormat888);
        ASSERT_NE(MaterialEffectsSetupDualTexture(material, second, source, source == 9 ? 1 : 8), nullptr);
        TextureDestroy(second);
        Atomic* atomic = Place(FacingQuad(kPreLitTextured, material), 0, 0, 2);
        AtomicEnableEffects(atomic);
        Matrix base = Translation(0.5f, 0.0f);
        Matrix shift = Translation(0.5f, 0.0f);
        MaterialEffectsSetUvTransformMatrices(material, &base, &shift);
        const std::vector<uint32_t> frame = Draw(atomic);
        // Under the opaque frame buffer's alpha, (7, 8) puts the second texture in place of the base.
        EXPECT_EQ(CountColour(frame, kRed), 0u);
        EXPECT_NEAR(double(CountColour(frame, kGreen)), kQuadPixels, 90.0);
        D3D9RenderStateFlush();
        EXPECT_EQ(DeviceStage(0, D3DTSS_TEXTURETRANSFORMFLAGS), DWORD(D3DTTFF_DISABLE));
        EXPECT_EQ(DeviceStage(1, D3DTSS_TEXTURETRANSFORMFLAGS), DWORD(D3DTTFF_DISABLE));
    }
}

// The modulate-2x set-up is validated once per run (each test runs in a
// process of its own under CTest).
class Modulate2xValidation : public EffectsDrawing
{
  protected:
    void SetUp() override
    {
        profile_ = "ff3";
        withoutOps_ = withoutSelect_ ? D3DTEXOPCAPS_SELECTARG1 : 0;
        EffectsDrawing::SetUp();
        if (!HasFatalFailure() && !EffectsGetDeviceCaps()->modulate2xCheck) {
            GTEST_SKIP() << "validated earlier in this process";
        }
    }

    bool withoutSelect_ = false;
};

TEST_F(Modulate2xValidation, PassingKeepsOnePass)
{
    for (int draw = 0; draw < 2; ++draw) {
        UINT draws = 0;
        Draw(DualQuad(0x808080, 0xFF808080, 9, 3), &draws);
        EXPECT_EQ(draws, 1u);
        EXPECT_EQ(EffectsGetDeviceCaps()->modulate2x, D3DTEXOPCAPS_MODULATE2X);
        EXPECT_EQ(EffectsGetDeviceCaps()->modulate2xCheck, 0u);
    }
}

class Modulate2xValidationFailing : public Modulate2xValidation
{
  protected:
    void SetUp() override
    {
        // The three-stage layout selects the base on stage 0, which this
        // device cannot do.
        withoutSelect_ = true;
        Modulate2xValidation::SetUp();
    }
};

TEST_F(Modulate2xValidationFailing, FailingTurnsModulate2xOffForGood)
{
    for (int draw = 0; draw < 2; ++draw) {
        UINT draws = 0;
        Draw(DualQuad(0x808080, 0xFF808080, 9, 3), &draws);
        EXPECT_EQ(draws, 2u);
        EXPECT_EQ(EffectsGetDeviceCaps()->modulate2x, 0u);
        EXPECT_EQ(EffectsGetDeviceCaps()->modulate2xCheck, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, DualTexture,
    testing::Values(Device{"OneStage", "full", 1, 0, 0}, Device{"Minimal", "minimal", 0, 0, 1},
                    Device{"ThreeStages", "ff3", 0, 0, 2}, Device{"Full", "full", 0, 0, 3},
                    Device{"FullWithoutOps", "full", 0, kWithoutOps, 4}),
    [](const testing::TestParamInfo<Device>& info) { return std::string(info.param.name); });

} // namespace
