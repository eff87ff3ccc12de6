// The default render callback on the software device: the texture-stage
// modes and texture factor per material, clipping per object, and what the
// pixels show for unlit, pre-lit and colour-modulated objects.
#include <gtest/gtest.h>

#include "graphics/d3d9/renderer/tests/drawtesting.h"
#include "graphics/scene/geometry.h"

namespace {

using Drawing = DrawFixture;

constexpr uint32_t kUnlitTextured = kGeometryTextured | kGeometryNormals;
constexpr uint32_t kPreLit = kGeometryPreLit | kGeometryNormals;

struct StageCase
{
    const char* name;
    uint32_t format;
    RGBA colour;
    DWORD colourOp, colourArg1, colourArg2, factor;
};

TEST_F(Drawing, StageModeAndTextureFactorFollowTheMaterial)
{
    const StageCase cases[] = {
        {"pre-lit white",
         kPreLit | kGeometryModulateMaterialColor,
         {255, 255, 255, 255},
         D3DTOP_SELECTARG2,
         D3DTA_TEXTURE,
         D3DTA_DIFFUSE,
         0},
        {"pre-lit 0x80FF0000 modulated",
         kPreLit | kGeometryModulateMaterialColor,
         {255, 0, 0, 128},
         D3DTOP_MODULATE,
         D3DTA_DIFFUSE,
         D3DTA_TFACTOR,
         0x80FF0000},
        {"pre-lit red, not modulated",
         kPreLit,
         {255, 0, 0, 255},
         D3DTOP_SELECTARG2,
         D3DTA_TEXTURE,
         D3DTA_DIFFUSE,
         0},
        {"unlit without pre-lit colours",
         kGeometryNormals,
         {255, 0, 0, 255},
         D3DTOP_SELECTARG2,
         D3DTA_TEXTURE,
         D3DTA_TFACTOR,
         0xFF000000},
    };
    for (const StageCase& c : cases) {
        SCOPED_TRACE(c.name);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0);
        ASSERT_NE(AtomicDefaultRender(Place(FacingQuad(c.format, MaterialOf(c.colour)), 0, 0, 2)), nullptr);
        EXPECT_EQ(DeviceStage(0, D3DTSS_COLOROP), c.colourOp);
        EXPECT_EQ(DeviceStage(0, D3DTSS_COLORARG1), c.colourArg1);
        EXPECT_EQ(DeviceStage(0, D3DTSS_COLORARG2), c.colourArg2);
        EXPECT_EQ(DeviceRenderState(D3DRS_TEXTUREFACTOR), c.factor);
    }
}

TEST_F(Drawing, UnlitObjectWithoutPreLitColoursIsBlackWithAlphaTexelsCutOut)
{
    // Left half of the texture opaque, right half transparent.
    Texture* texture = TextureOf(2, 1, {0xFFFFFFFF, 0x00FFFFFF});
    uint32_t shadeMode = 0;
    D3D9GetRenderState(D3DRS_SHADEMODE, &shadeMode);
    ASSERT_NE(AtomicDefaultRender(
                  Place(FacingQuad(kUnlitTextured, MaterialOf({0, 255, 0, 255}, texture)), 0, 0, 2)),
              nullptr);
    const std::vector<uint32_t> frame = Pixels();
    const size_t black = CountColour(frame, 0x000000);
    const size_t background = CountColour(frame, 0x404040);
    // The quad covers 40 x 30 pixels at distance 2; half of it is cut out.
    EXPECT_NEAR(double(black), 600.0, 50.0);
    EXPECT_EQ(black + background, frame.size());
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_SHADEMODE), shadeMode) << "shade mode restored";
}

TEST_F(Drawing, PreLitColoursAppearUnlit)
{
    ASSERT_NE(AtomicDefaultRender(Place(FacingQuad(kPreLit, nullptr, {200, 100, 50, 255}), 0, 0, 2)),
              nullptr);
    const std::vector<uint32_t> frame = Pixels();
    EXPECT_NEAR(double(CountColour(frame, 0xC86432)), 1200.0, 90.0);
    EXPECT_EQ(CountColour(frame, 0xC86432) + CountColour(frame, 0x404040), frame.size());
}

TEST_F(Drawing, TexturedMaterialColourGoesThroughStageOneThenStageOneIsDisabled)
{
    Texture* texture = TextureOf(1, 1, {0xFFFFFFFF});
    Material* red = MaterialOf({255, 0, 0, 255}, texture);
    ASSERT_NE(
        AtomicDefaultRender(Place(FacingQuad(kPreLit | kGeometryTextured | kGeometryModulateMaterialColor,
                                             red, {255, 255, 255, 255}),
                                  0, 0, 2)),
        nullptr);
    EXPECT_NEAR(double(CountColour(Pixels(), 0xFF0000)), 1200.0, 90.0) << "white texel x white x red factor";
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceStage(0, D3DTSS_COLOROP), DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(DeviceStage(0, D3DTSS_COLORARG1), DWORD(D3DTA_TEXTURE));
    EXPECT_EQ(DeviceStage(1, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(DeviceStage(1, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
}

TEST_F(Drawing, ClippingIsOffInsideTheFrustumAndOnAcrossAPlane)
{
    ASSERT_NE(AtomicDefaultRender(Place(FacingQuad(kPreLit, nullptr), 0, 0, 2)), nullptr);
    EXPECT_EQ(DeviceRenderState(D3DRS_CLIPPING), 0u);
    ASSERT_NE(AtomicDefaultRender(Place(FacingQuad(kPreLit, nullptr), 1.9f, 0, 2)), nullptr);
    EXPECT_EQ(DeviceRenderState(D3DRS_CLIPPING), 1u);
}

} // namespace
