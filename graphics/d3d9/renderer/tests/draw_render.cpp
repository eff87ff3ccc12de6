// The default render callback on the software device: the texture-stage
// modes and texture factor per material, clipping per object, and what the
// pixels show for unlit, pre-lit and colour-modulated objects.
#include <gtest/gtest.h>

#include "graphics/d3d9/renderer/tests/drawtesting.h"
#include "graphics/scene/geometry.h"
#include "platform/d3d9/d3d9control.h"

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

TEST_F(Drawing, EachMeshIsDrawnWithItsModesStagesAndStatesAreNotSentAgain)
{
    // Three quads side by side of three modes: textured, plain, coloured
    // through the texture factor.
    Texture* texture = TextureOf(1, 1, {0xFFFFFFFF});
    Material* materials[3] = {MaterialOf({255, 255, 255, 255}, texture), MaterialOf({255, 255, 255, 255}),
                              MaterialOf({255, 0, 0, 255})};
    Geometry* geometry = GeometryCreate(12, 6, kPreLit | kGeometryTextured | kGeometryModulateMaterialColor);
    ASSERT_NE(geometry, nullptr);
    const float corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int v = 0; v < 12; ++v) {
        geometry->morphTargets[0].vertices[v] = {corner[v % 4][0] + float(v / 4) * 1.2f - 1.8f,
                                                 corner[v % 4][1], 0};
        geometry->morphTargets[0].normals[v] = {0, 0, -1};
        geometry->texCoords[0][v] = {corner[v % 4][0], corner[v % 4][1]};
        geometry->preLitColours[v] = {255, 255, 255, 255};
    }
    for (int quad = 0; quad < 3; ++quad) {
        const uint16_t b = uint16_t(quad * 4);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[quad * 2], b + 2, b + 1, b);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[quad * 2 + 1], b + 3, b + 2, b);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[quad * 2], materials[quad]);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[quad * 2 + 1], materials[quad]);
    }
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
    ASSERT_NE(GeometryUnlock(geometry), nullptr);
    Atomic* atomic = Place(geometry, 0, 0, 3);
    struct Stage
    {
        uint64_t op, arg1, arg2, texture;
    };
    Stage stage = {DeviceStage(0, D3DTSS_COLOROP), DeviceStage(0, D3DTSS_COLORARG1),
                   DeviceStage(0, D3DTSS_COLORARG2), 0};

    D3D9CallLogStart(Device());
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    D3D9CallLogStop(Device());
    InstancedData* data = InstancedDataFromEntry(geometry->instanced);
    ASSERT_EQ(data->numMeshes, 3u);
    std::vector<Stage> atDraw, expected;
    for (const D3D9CallRecord& call : D3D9CallLog(Device())) {
        if (call.call == D3D9Call::SetTextureStageState && call.a == 0 && call.b <= D3DTSS_COLORARG2) {
            (call.b == D3DTSS_COLOROP     ? stage.op
             : call.b == D3DTSS_COLORARG1 ? stage.arg1
                                          : stage.arg2) = call.c;
        } else if (call.call == D3D9Call::SetTexture && call.a == 0) {
            stage.texture = call.b;
        } else if (call.call == D3D9Call::DrawIndexedPrimitive) {
            atDraw.push_back(stage);
        }
    }
    for (uint32_t i = 0; i < 3; ++i) {
        const Material* material = InstancedDataMeshes(data)[i].material;
        Stage want = {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 1};
        if (!material->texture) {
            want = material->colour.green == 0 ? Stage{D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0}
                                               : Stage{D3DTOP_SELECTARG2, 0, D3DTA_DIFFUSE, 0};
        }
        expected.push_back(want);
    }
    ASSERT_EQ(atDraw.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(atDraw[i].op, expected[i].op);
        EXPECT_EQ(atDraw[i].arg2, expected[i].arg2);
        if (expected[i].op == D3DTOP_MODULATE) {
            EXPECT_EQ(atDraw[i].arg1, expected[i].arg1);
        }
        EXPECT_EQ(atDraw[i].texture != 0, expected[i].texture != 0);
    }

    // Drawn once more, the object sends no binding and only the states its
    // first mesh changes from its last.
    D3D9CallLogStart(Device());
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    D3D9CallLogStop(Device());
    EXPECT_EQ(D3D9CallCount(Device(), D3D9Call::SetIndices), 0u);
    EXPECT_EQ(D3D9CallCount(Device(), D3D9Call::SetVertexDeclaration), 0u);
    EXPECT_EQ(D3D9CallCount(Device(), D3D9Call::SetStreamSource), 0u);
    EXPECT_EQ(D3D9CallCount(Device(), D3D9Call::DrawIndexedPrimitive), 3u);
}

} // namespace
