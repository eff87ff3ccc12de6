// Texture-stage operations, arguments and modifiers, checked against values
// worked out by hand: texture T = (a 128, r 200, g 100, b 50), diffuse
// D = (255, 100, 50, 200), texture factor F = (64, 20, 40, 60).
#include <gtest/gtest.h>

#include <cstring>

#include "testdevice.h"

using namespace d3d9test;

namespace {

constexpr D3DCOLOR kTexel = 0x80C86432, kDiffuse = 0xFF6432C8, kFactor = 0x4014283C;

struct StageCase
{
    const char* name;
    DWORD op, arg1, arg2, arg0;
    int r, g, b;
};

const StageCase kCases[] = {
    {"selectarg1", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 200, 100, 50},
    {"selectarg2", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 100, 50, 200},
    {"modulate", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 78, 20, 39},
    {"modulate2x", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 157, 39, 78},
    {"modulate4x", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 255, 78, 157},
    {"add", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 255, 150, 250},
    {"addsigned", D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 172, 22, 122},
    {"subtract", D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 100, 50, 0},
    {"blendtexturealpha", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 150, 75, 125},
    {"blenddiffusealpha", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 200, 100, 50},
    {"blendfactoralpha", D3DTOP_BLENDFACTORALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 125, 63, 162},
    {"blendcurrentalpha", D3DTOP_BLENDCURRENTALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 200, 100, 50},
    {"dotproduct3", D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 0, 0, 0},
    {"multiplyadd", D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 98, 60, 99},
    {"lerp", D3DTOP_LERP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, 108, 58, 165},
    {"complement", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0, 55, 155, 205},
    {"alphareplicate", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, 0, 128, 128,
     128},
    {"tfactor", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR, 0, 20, 40, 60},
};

class StageOps : public ::testing::TestWithParam<StageCase>
{
};

} // namespace

TEST_P(StageOps, SingleStageResult)
{
    const StageCase& c = GetParam();
    TestDevice t(4, 4);
    IDirect3DDevice9* d = t.device;
    IDirect3DTexture9* tex = MakeTexture(d, 1, 1, {kTexel});
    d->SetTexture(0, tex);
    tex->Release();
    d->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
    d->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, c.arg2);
    d->SetTextureStageState(0, D3DTSS_COLORARG0, c.arg0);
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    DrawRect(d, 0, 0, 4, 4, 0.5f, kDiffuse);
    uint32_t p = t.Pixel(1, 1);
    EXPECT_NEAR(Red(p), c.r, 2);
    EXPECT_NEAR(Green(p), c.g, 2);
    EXPECT_NEAR(Blue(p), c.b, 2);
}

INSTANTIATE_TEST_SUITE_P(Ops, StageOps, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StageCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(StageOps, AlphaFollowsTheSameFormulas)
{
    // Alphas: texture 128, diffuse 255, factor 64; the colour ops set to
    // SELECTARG2 of the diffuse colour so that only alpha varies.
    struct AlphaCase
    {
        const char* name;
        DWORD op, arg1, arg2, arg0;
        int alpha;
    };
    const AlphaCase cases[] = {
        {"multiplyadd: arg0 + arg1 x arg2", D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR,
         192},
        {"modulate2x: 2 x arg1 x arg2", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_TFACTOR, 0, 64},
        {"modulate2x saturates", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, 255},
        {"blendtexturealpha: arg1 x At + arg2 x (1 - At)", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE,
         D3DTA_TFACTOR, 0, 96},
        {"alphareplicate leaves alpha", D3DTOP_SELECTARG1, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE,
         D3DTA_DIFFUSE, 0, 64},
    };
    for (const AlphaCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestDevice t(4, 4, D3DFMT_A8R8G8B8);
        IDirect3DDevice9* d = t.device;
        IDirect3DTexture9* tex = MakeTexture(d, 1, 1, {kTexel});
        d->SetTexture(0, tex);
        tex->Release();
        d->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, c.op);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, c.arg1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG2, c.arg2);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG0, c.arg0);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        DrawRect(d, 0, 0, 4, 4, 0.5f, kDiffuse);
        EXPECT_NEAR(int(t.Pixel(1, 1) >> 24), c.alpha, 2);
    }
}

TEST(StageOps, SecondStageCombinesWithCurrent)
{
    // Stage 0 passes the diffuse colour D as CURRENT; stage 1 combines the
    // texture T with it the way two-texture effects do.
    struct CurrentCase
    {
        const char* name;
        DWORD op, arg1, arg2, arg0;
        int r, g, b;
    };
    const CurrentCase cases[] = {
        {"multiplyadd: current + T x D", D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_CURRENT, 178,
         70, 239},
        {"modulate2x: 2 x T x current", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_CURRENT, 0, 157, 39, 78},
        {"blendtexturealpha: T x At + current x (1 - At)", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE,
         D3DTA_CURRENT, 0, 150, 75, 125},
        {"modulate by the replicated alpha", D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE,
         D3DTA_CURRENT, 0, 50, 25, 100},
    };
    for (const CurrentCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestDevice t(4, 4);
        IDirect3DDevice9* d = t.device;
        IDirect3DTexture9* tex = MakeTexture(d, 1, 1, {kTexel});
        d->SetTexture(1, tex);
        tex->Release();
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        d->SetTextureStageState(1, D3DTSS_COLOROP, c.op);
        d->SetTextureStageState(1, D3DTSS_COLORARG1, c.arg1);
        d->SetTextureStageState(1, D3DTSS_COLORARG2, c.arg2);
        d->SetTextureStageState(1, D3DTSS_COLORARG0, c.arg0);
        d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        d->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        DrawRect(d, 0, 0, 4, 4, 0.5f, kDiffuse);
        const uint32_t p = t.Pixel(1, 1);
        EXPECT_NEAR(Red(p), c.r, 2);
        EXPECT_NEAR(Green(p), c.g, 2);
        EXPECT_NEAR(Blue(p), c.b, 2);
    }
}

TEST(StageOps, TempRegisterAndSecondStage)
{
    TestDevice t(4, 4);
    IDirect3DDevice9* d = t.device;
    d->SetRenderState(D3DRS_TEXTUREFACTOR, kFactor);
    // Stage 0 puts the factor into TEMP and leaves CURRENT as the diffuse
    // colour; stage 1 adds the two.
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    d->SetTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEMP);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    DrawRect(d, 0, 0, 4, 4, 0.5f, kDiffuse);
    uint32_t p = t.Pixel(1, 1);
    EXPECT_EQ(Red(p), 120);
    EXPECT_EQ(Green(p), 90);
    EXPECT_EQ(Blue(p), 255);
}

TEST(StageOps, BumpEnvironmentMapShiftsTheNextLookup)
{
    TestDevice t(4, 4);
    IDirect3DDevice9* d = t.device;
    IDirect3DTexture9* bump = nullptr;
    ASSERT_EQ(d->CreateTexture(1, 1, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED, &bump, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    bump->LockRect(0, &lr, nullptr, 0);
    static_cast<int8_t*>(lr.pBits)[0] = 64; // du = 0.5
    static_cast<int8_t*>(lr.pBits)[1] = 0;
    bump->UnlockRect(0);
    d->SetTexture(0, bump);
    bump->Release();
    IDirect3DTexture9* env = MakeTexture(d, 2, 1, {0xFFFF0000, 0xFF00FF00});
    d->SetTexture(1, env);
    env->Release();
    const float one = 1.0f, zero = 0.0f;
    DWORD oneBits, zeroBits;
    std::memcpy(&oneBits, &one, 4);
    std::memcpy(&zeroBits, &zero, 4);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP);
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, oneBits);
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT11, oneBits);
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT01, zeroBits);
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT10, zeroBits);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    DrawRect(d, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(t.Pixel(0, 1), 0xFF00FF00u) << "u = 0.125 + 0.5 samples the right texel";
    d->SetTextureStageState(0, D3DTSS_BUMPENVMAT00, zeroBits);
    DrawRect(d, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(t.Pixel(0, 1), 0xFFFF0000u) << "a zero matrix leaves the lookup alone";
}

TEST(StageOps, PalettedAndCompressedTexturesSample)
{
    TestDevice t(4, 4);
    IDirect3DDevice9* d = t.device;
    IDirect3DTexture9* p8 = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &p8, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    p8->LockRect(0, &lr, nullptr, 0);
    std::memset(lr.pBits, 7, 16);
    p8->UnlockRect(0);
    PALETTEENTRY palette[256] = {};
    palette[7] = {10, 20, 30, 255};
    d->SetPaletteEntries(2, palette);
    d->SetCurrentTexturePalette(2);
    d->SetTexture(0, p8);
    p8->Release();
    DrawRect(d, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(t.Pixel(2, 2), 0xFF0A141Eu);
    // A DXT1 block of one colour: both end points pure blue (565: 0x001F).
    IDirect3DTexture9* dxt = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    dxt->LockRect(0, &lr, nullptr, 0);
    const uint8_t block[8] = {0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    std::memcpy(lr.pBits, block, 8);
    dxt->UnlockRect(0);
    d->SetTexture(0, dxt);
    dxt->Release();
    DrawRect(d, 0, 0, 4, 4, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(t.Pixel(2, 2), 0xFF0000FFu);
}
