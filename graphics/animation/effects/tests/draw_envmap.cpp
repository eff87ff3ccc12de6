// The environment-map effect on the software device: the reflection's
// strength, one pass or two by the device and the surface, sphere and cube
// coordinates, and the states the passes change put back.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/animation/effects/effectsenvmap.h"
#include "graphics/animation/effects/tests/effectsdrawtesting.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/rasterext.h"

namespace {

constexpr uint32_t kPreLitLitTextured = kPreLitTextured | kGeometryNormals;
constexpr uint32_t kOpaqueRed = 0xFFFF0000;
constexpr uint32_t kOpaqueBlue = 0xFF0000FF;

struct Setup
{
    const char* profile;
    uint32_t blendStages; ///< 0: the profile's
};

class EnvMap : public EffectsDrawing, public testing::WithParamInterface<Setup>
{
  protected:
    void SetUp() override
    {
        profile_ = GetParam().profile;
        blendStages_ = GetParam().blendStages;
        EffectsDrawing::SetUp();
    }

    /// A texture of w x h texels (0x..RRGGBB) whose raster has no alpha.
    static Texture* OpaqueTextureOf(int32_t w, int32_t h, const std::vector<uint32_t>& texels)
    {
        Raster* raster = RasterCreate(w, h, 32, kRasterTypeTexture | kRasterFormat888);
        EXPECT_NE(raster, nullptr);
        auto* pixels = reinterpret_cast<uint32_t*>(RasterLock(raster, 0, kRasterLockWrite));
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                pixels[y * (raster->stride / 4) + x] = texels[size_t(y * w + x)] | 0xFF000000;
            }
        }
        RasterUnlock(raster);
        Texture* texture = TextureCreate(raster);
        texture->filterAddressing = kTextureFilterNearest | 0x3300;
        return texture;
    }

    /// A cube texture of edge 2, each face one colour (+x, -x, +y, -y, +z, -z).
    static Texture* CubeOf(const uint32_t (&faces)[6])
    {
        D3D9ExplicitRequest request = {};
        request.width = request.height = 2;
        request.depth = 32;
        request.word = kRasterTypeTexture | kRasterFormat888;
        request.d3dFormat = D3DFMT_X8R8G8B8;
        request.levels = 1;
        request.cube = true;
        Raster* raster = D3D9RasterCreateExplicit(&request);
        EXPECT_NE(raster, nullptr);
        for (uint32_t face = 0; face < 6; ++face) {
            D3D9RasterSetCubeFace(raster, face);
            auto* pixels = reinterpret_cast<uint32_t*>(RasterLock(raster, 0, kRasterLockWrite));
            EXPECT_NE(pixels, nullptr);
            for (int32_t y = 0; y < 2; ++y) {
                for (int32_t x = 0; x < 2; ++x) {
                    pixels[y * (raster->stride / 4) + x] = faces[face];
                }
            }
            RasterUnlock(raster);
        }
        D3D9RasterSetCubeFace(raster, 0);
        Texture* texture = TextureCreate(raster);
        texture->filterAddressing = kTextureFilterNearest | 0x3300;
        return texture;
    }

    /// A pre-lit quad with normals at distance 2, `base` (may be null) under
    /// the environment `env` of `coefficient`.
    Atomic* EnvQuad(Texture* base, Texture* env, float coefficient, RGBA colour = {255, 255, 255, 255},
                    Frame* frame = nullptr, uint32_t frameBufferAlpha = 0, RGBA preLit = {255, 255, 255, 255})
    {
        Material* material = MaterialOf(colour, base);
        EXPECT_NE(MaterialEffectsSetType(material, EffectTypeEnvMap), nullptr);
        EXPECT_NE(MaterialEffectsSetupEnvMap(material, env, frame, frameBufferAlpha, coefficient), nullptr);
        TextureDestroy(env);
        Atomic* atomic = Place(FacingQuad(kPreLitLitTextured, material, preLit), 0, 0, 2);
        AtomicEnableEffects(atomic);
        return atomic;
    }

    bool FactorSent(uint32_t factor)
    {
        for (const D3D9CallRecord& record : D3D9CallLog(Device())) {
            if (record.call == D3D9Call::SetRenderState && record.a == D3DRS_TEXTUREFACTOR &&
                record.b == factor) {
                return true;
            }
        }
        return false;
    }
};

using EnvMapFull = EnvMap;

TEST(EnvMapAmount, RoundsTheCoefficientAndSaturatesOutsideZeroToOne)
{
    const struct
    {
        float coefficient;
        uint32_t amount;
    } cases[] = {{1.0f, 255}, {0.25f, 64},    {0.0f, 0},          {0.5f, 128}, {1.5f, 255},
                 {-0.2f, 0},  {1000.0f, 255}, {std::nanf(""), 0}, {0.002f, 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(EffectsEnvMapAmount(c.coefficient), c.amount) << c.coefficient;
    }
}

TEST_P(EnvMapFull, AmountScalesTheReflectionAddedToTheBase)
{
    const struct
    {
        float coefficient;
        uint32_t colour; ///< red base plus blue x amount
        uint32_t factor; ///< texture factor sent, 0: none
    } cases[] = {
        {0.25f, 0xFF0040, 0x40404040}, {1.0f, 0xFF00FF, 0},  {0.0f, 0xFF0000, 0},
        {1.5f, 0xFF00FF, 0},           {-0.2f, 0xFF0000, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.coefficient);
        Atomic* atomic =
            EnvQuad(OpaqueTextureOf(1, 1, {kOpaqueRed}), OpaqueTextureOf(1, 1, {kOpaqueBlue}), c.coefficient);
        UINT draws = 0;
        D3D9CallLogStart(Device());
        const std::vector<uint32_t> frame = Draw(atomic);
        draws = D3D9CallCount(Device(), D3D9Call::DrawIndexedPrimitive) +
                D3D9CallCount(Device(), D3D9Call::DrawPrimitive);
        if (c.factor) {
            EXPECT_TRUE(FactorSent(c.factor));
        }
        D3D9CallLogStop(Device());
        EXPECT_EQ(draws, 1u);
        ExpectColour(Centre(frame), c.colour);
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, EnvMapFull, testing::Values(Setup{"full", 0}, Setup{"minimal", 0}));

struct PassCase
{
    const char* name;
    bool base;
    bool envAlpha;
    RGBA colour;
    uint32_t frameBufferAlpha;
    float coefficient;
    UINT passes[3]; ///< 8 stages with multiply-add; 1 stage; no pixel shaders (ff3)
};

TEST_P(EnvMap, OneOrTwoPassesByTheSurfaceAndTheDevice)
{
    const PassCase cases[] = {
        {"opaque, half strength", true, false, {255, 255, 255, 255}, 0, 0.5f, {1, 2, 1}},
        {"opaque, full strength, no base", false, false, {255, 255, 255, 255}, 0, 1.0f, {1, 1, 1}},
        {"translucent material", true, false, {255, 255, 255, 128}, 0, 0.5f, {2, 2, 2}},
        {"translucent, frame-buffer alpha", true, false, {255, 255, 255, 128}, 1, 0.5f, {1, 2, 1}},
        {"environment with alpha, through a shader", true, true, {255, 255, 255, 255}, 0, 0.5f, {1, 2, 2}},
        {"environment with alpha, no base", false, true, {255, 255, 255, 255}, 0, 0.5f, {1, 2, 2}},
    };
    const int device = GetParam().blendStages == 1 ? 1 : std::string(GetParam().profile) == "ff3" ? 2 : 0;
    for (const PassCase& c : cases) {
        SCOPED_TRACE(c.name);
        Texture* env = c.envAlpha ? TextureOf(1, 1, {0x800000FF}) : OpaqueTextureOf(1, 1, {kOpaqueBlue});
        Atomic* atomic = EnvQuad(c.base ? OpaqueTextureOf(1, 1, {kOpaqueRed}) : nullptr, env, c.coefficient,
                                 c.colour, nullptr, c.frameBufferAlpha);
        UINT draws = 0;
        const std::vector<uint32_t> frame = Draw(atomic, &draws);
        EXPECT_EQ(draws, c.passes[device]);
        if (c.colour.alpha == 255) {
            // One pass or two, through stages or a shader, the same picture:
            // the environment weighted by the amount and its own alpha.
            const uint32_t blue = c.envAlpha ? 0x40 : c.coefficient >= 1.0f ? 0xFF : 0x80;
            ExpectColour(Centre(frame), (c.base ? 0xFF0000 : 0xFFFFFF) | blue);
        }
    }
}

TEST_P(EnvMap, PassesPutBackTheStatesTheyChange)
{
    D3D9SetRenderState(D3DRS_FOGENABLE, 1);
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0xFF123456);
    D3D9RenderStateSet(kRenderStateSrcBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_SRCALPHA)));
    D3D9RenderStateSet(kRenderStateDestBlend, reinterpret_cast<void*>(uintptr_t(D3DBLEND_INVSRCALPHA)));
    for (RGBA colour : {RGBA{255, 255, 255, 255}, RGBA{255, 255, 255, 128}}) {
        Atomic* atomic =
            EnvQuad(OpaqueTextureOf(1, 1, {kOpaqueRed}), OpaqueTextureOf(1, 1, {kOpaqueBlue}), 0.5f, colour);
        Draw(atomic);
        D3D9RenderStateFlush();
        DWORD value = 0;
        for (DWORD stage : {1u, 2u}) {
            EXPECT_EQ(DeviceStage(stage, D3DTSS_COLOROP), DWORD(D3DTOP_DISABLE));
            EXPECT_EQ(DeviceStage(stage, D3DTSS_ALPHAOP), DWORD(D3DTOP_DISABLE));
        }
        EXPECT_EQ(DeviceStage(0, D3DTSS_TEXTURETRANSFORMFLAGS), DWORD(D3DTTFF_DISABLE));
        EXPECT_EQ(DeviceStage(0, D3DTSS_TEXCOORDINDEX), 0u);
        EXPECT_EQ(DeviceStage(1, D3DTSS_TEXCOORDINDEX), 1u);
        Device()->GetRenderState(D3DRS_ZWRITEENABLE, &value);
        EXPECT_EQ(value, 1u);
        Device()->GetRenderState(D3DRS_FOGCOLOR, &value);
        EXPECT_EQ(value, 0xFF123456u);
        // Alpha testing follows blending, which the mesh's translucency sets.
        const DWORD translucent = colour.alpha != 255;
        Device()->GetRenderState(D3DRS_ALPHABLENDENABLE, &value);
        EXPECT_EQ(value, translucent);
        Device()->GetRenderState(D3DRS_ALPHATESTENABLE, &value);
        EXPECT_EQ(value, translucent);
        Device()->GetRenderState(D3DRS_LIGHTING, &value);
        EXPECT_EQ(value, 0u);
        uint32_t blend = 0;
        D3D9RenderStateGet(kRenderStateSrcBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_SRCALPHA));
        D3D9RenderStateGet(kRenderStateDestBlend, &blend);
        EXPECT_EQ(blend, uint32_t(D3DBLEND_INVSRCALPHA));
    }
}

TEST_P(EnvMap, SphereCoordinatesFollowTheEnvironmentFrame)
{
    // Seen from a frame turned one way or the other, the facing normal
    // leans to either half of a red | green sphere map.
    uint32_t colours[2] = {};
    for (int side = 0; side < 2; ++side) {
        Frame* frame = FrameCreate();
        frames_.push_back(frame);
        const V3d yAxis = {0.0f, 1.0f, 0.0f};
        FrameRotate(frame, &yAxis, side ? 30.0f : -30.0f, kCombineReplace);
        Atomic* atomic = EnvQuad(nullptr, OpaqueTextureOf(2, 1, {0xFF0000, 0x00FF00}), 1.0f,
                                 {255, 255, 255, 255}, frame, 0, {128, 128, 128, 255});
        colours[side] = Centre(Draw(atomic));
    }
    // The environment added whole to the grey diffuse colour.
    const bool redFirst = (colours[0] >> 16) > (colours[1] >> 16);
    ExpectColour(colours[redFirst ? 0 : 1], 0xFF8080);
    ExpectColour(colours[redFirst ? 1 : 0], 0x80FF80);
}

TEST_P(EnvMap, CubeMapsAreAddressedByTheReflectedViewInTheWorld)
{
    // A facing quad reflects the view back: the face opposite the camera's
    // direction in the world, ahead along +z and turned towards +x or -x.
    const uint32_t faces[6] = {0x000010, 0x000020, 0x000030, 0x000040, 0x000050, 0x0000F0};
    const V3d yAxis = {0.0f, 1.0f, 0.0f};
    for (float turn : {0.0f, 90.0f, -90.0f}) {
        SCOPED_TRACE(turn);
        CameraEndUpdate(camera_);
        FrameRotate(cameraFrame_, &yAxis, turn, kCombineReplace);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        const V3d at = FrameGetLTM(cameraFrame_)->at;
        Atomic* atomic = EnvQuad(OpaqueTextureOf(1, 1, {0x400000}), CubeOf(faces), 1.0f);
        FrameRotate(AtomicGetFrame(atomic), &yAxis, turn, kCombineReplace);
        const V3d ahead = {2.0f * at.x, 2.0f * at.y, 2.0f * at.z};
        FrameTranslate(AtomicGetFrame(atomic), &ahead, kCombinePostConcat);
        D3D9CallLogStart(Device());
        const std::vector<uint32_t> frame = Draw(atomic);
        bool count3 = false;
        bool reflection = false;
        for (const D3D9CallRecord& record : D3D9CallLog(Device())) {
            if (record.call == D3D9Call::SetTextureStageState && record.b == D3DTSS_TEXTURETRANSFORMFLAGS) {
                count3 |= record.c == D3DTTFF_COUNT3;
            }
            if (record.call == D3D9Call::SetTextureStageState && record.b == D3DTSS_TEXCOORDINDEX) {
                reflection |= record.c == D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
            }
        }
        D3D9CallLogStop(Device());
        if (turn == 0.0f) {
            // Later turns find the states cached.
            EXPECT_TRUE(count3);
            EXPECT_TRUE(reflection);
        }
        const int face = turn == 0.0f ? 5 : at.x > 0.0f ? 1 : 0;
        ExpectColour(Centre(frame), 0x400000 | faces[face]);
        AtomicDestroy(atomic);
        atomics_.pop_back();
    }
}

INSTANTIATE_TEST_SUITE_P(Devices, EnvMap,
                         testing::Values(Setup{"full", 0}, Setup{"minimal", 1}, Setup{"ff3", 0}));

} // namespace
