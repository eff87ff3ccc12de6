// The effects pipelines on the software device: an atomic switched to them
// draws what the default pipeline draws for meshes without effects, black
// mode, and the texture-coordinate transform of type 5.
#include <gtest/gtest.h>

#include "graphics/animation/effects/tests/effectsdrawtesting.h"

namespace {

struct PlainCase
{
    const char* name;
    uint32_t format;
    RGBA colour;
    bool textured;
};

TEST_F(EffectsDrawing, MeshesWithoutEffectsDrawAsTheDefaultPipelineDraws)
{
    const PlainCase cases[] = {
        {"textured", kPreLitTextured, {255, 255, 255, 255}, true},
        {"translucent material", kPreLitTextured, {255, 255, 255, 128}, true},
        {"texture coordinates without a texture", kPreLitTextured, {255, 255, 255, 255}, false},
        {"no texture coordinates", kGeometryPreLit, {255, 255, 255, 255}, true},
    };
    for (const PlainCase& c : cases) {
        SCOPED_TRACE(c.name);
        Texture* texture =
            c.textured ? TextureOf(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF}) : nullptr;
        Atomic* atomic =
            Place(FacingQuad(c.format, MaterialOf(c.colour, texture), {200, 150, 100, 255}), 0, 0, 2);
        const std::vector<uint32_t> before = Draw(atomic);
        ASSERT_EQ(AtomicEnableEffects(atomic), atomic);
        ASSERT_EQ(atomic->pipeline, EffectsGetPipeline(kEffectsPipelineAtomic));
        const std::vector<uint32_t> after = Draw(atomic);
        EXPECT_NEAR(double(after.size() - CountColour(after, 0x404040)), kQuadPixels, 90.0);
        EXPECT_TRUE(before == after);
    }
}

TEST_F(EffectsDrawing, UnlitWithoutPreLitColoursIsBlackWhateverTheEffect)
{
    Material* material = MaterialOf({255, 255, 255, 255}, TextureOf(1, 1, {0xFFFF0000}));
    ASSERT_NE(MaterialEffectsSetType(material, EffectTypeDual), nullptr);
    Texture* second = TextureOf(1, 1, {0xFF00FF00});
    ASSERT_NE(MaterialEffectsSetupDualTexture(material, second, 9, 1), nullptr);
    TextureDestroy(second);
    Atomic* atomic = Place(FacingQuad(kGeometryTextured | kGeometryNormals, material), 0, 0, 2);
    AtomicEnableEffects(atomic);
    const std::vector<uint32_t> frame = Draw(atomic);
    EXPECT_NEAR(double(CountColour(frame, 0x000000)), kQuadPixels, 90.0);
    EXPECT_EQ(CountColour(frame, 0x000000) + CountColour(frame, 0x404040), frame.size());
}

TEST_F(EffectsDrawing, UvTransformShiftsTheTextureAndIsSwitchedOffAfterwards)
{
    Material* material = MaterialOf({255, 255, 255, 255}, TextureOf(2, 1, {0xFFFF0000, 0xFF00FF00}));
    ASSERT_NE(MaterialEffectsSetType(material, EffectTypeUvTransform), nullptr);
    Atomic* atomic = Place(FacingQuad(kPreLitTextured, material), 0, 0, 2);
    AtomicEnableEffects(atomic);

    Matrix identity = Translation(0.0f, 0.0f);
    identity.flags |= kMatrixFlagIdentity;
    MaterialEffectsSetUvTransformMatrices(material, &identity, nullptr);
    std::vector<uint32_t> frame = Draw(atomic);
    EXPECT_NEAR(double(CountColour(frame, kRed)), kQuadPixels / 2, 60.0);
    EXPECT_NEAR(double(CountColour(frame, kGreen)), kQuadPixels / 2, 60.0);

    // Half a texture to the right: the clamped right texel everywhere.
    Matrix shift = Translation(0.5f, 0.0f);
    MaterialEffectsSetUvTransformMatrices(material, &shift, nullptr);
    frame = Draw(atomic);
    EXPECT_EQ(CountColour(frame, kRed), 0u);
    EXPECT_NEAR(double(CountColour(frame, kGreen)), kQuadPixels, 90.0);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceStage(0, D3DTSS_TEXTURETRANSFORMFLAGS), DWORD(D3DTTFF_DISABLE));
}

} // namespace
