// Stencil, colour write mask, flat shading, lines, points, 16-bit targets,
// near-plane clipping, texture transforms, and the pixels a triangle covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "platform/d3d9/pipeline.h"
#include "testdevice.h"

using namespace d3d9test;

namespace {

std::vector<int> g_covered; // per pixel of the clip rectangle: spans that drew it

constexpr int kCoverWidth = 96, kCoverHeight = 64;

void CountSpan(const d3d9sw::PixelState&, const d3d9sw::SpanPlanes&, int y, int x0, int x1)
{
    for (int x = x0; x < x1; ++x)
        ++g_covered[size_t(y) * kCoverWidth + size_t(x)];
}

// Whether the pixel centre (px, py) lies inside the triangle of vertices on
// the 1/16 grid (X, Y in sixteenths, any winding): every edge function
// non-negative, zero only on top and left edges.
bool CentreCovered(const int64_t* X, const int64_t* Y, int px, int py)
{
    const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0)
        return false;
    const int order[2][3] = {{0, 1, 2}, {0, 2, 1}};
    const int* o = order[area < 0 ? 1 : 0];
    for (int k = 0; k < 3; ++k) {
        const int i = o[k], j = o[(k + 1) % 3];
        const int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
        const int64_t e = dx * (int64_t(py) * 16 - Y[i]) - dy * (int64_t(px) * 16 - X[i]);
        const bool topLeft = dy < 0 || (dy == 0 && dx > 0);
        if (e < 0 || (e == 0 && !topLeft))
            return false;
    }
    return true;
}

} // namespace

TEST(Raster, StencilMarksAndMasks)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000, 1.0f, 0);
    d->SetRenderState(D3DRS_STENCILENABLE, 1);
    d->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    d->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_REPLACE);
    d->SetRenderState(D3DRS_STENCILREF, 1);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    DrawRect(d, 0, 0, 4, 8, 0.5f, 0xFFFFFFFF); // marks the left half, draws nothing
    EXPECT_EQ(t.Pixel(1, 1), 0xFF000000u);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    d->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    d->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    DrawRect(d, 0, 0, 8, 8, 0.4f, 0xFF00FF00);
    EXPECT_EQ(t.Pixel(1, 1), 0xFF00FF00u);
    EXPECT_EQ(t.Pixel(6, 1), 0xFF000000u) << "stencil 0 fails EQUAL 1";
    d->SetRenderState(D3DRS_STENCILENABLE, 0);
    d->SetRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
    DrawRect(d, 0, 0, 8, 8, 0.3f, 0xFFFF00FF);
    EXPECT_EQ(t.Pixel(1, 1), 0xFFFFFF00u) << "only red written over green";
}

TEST(Raster, FlatShadingTakesTheFirstVertex)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    TVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFF0000, 0, 0},
                    {16, 0, 0.5f, 1, 0xFF00FF00, 0, 0},
                    {0, 16, 0.5f, 1, 0xFF0000FF, 0, 0}};
    d->SetFVF(kTVertexFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(TVertex));
    EXPECT_EQ(t.Pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(t.Pixel(10, 3), 0xFFFF0000u);
    EXPECT_EQ(t.Pixel(3, 10), 0xFFFF0000u);
}

TEST(Raster, LinesAndPoints)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    TVertex line[2] = {{2, 5, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {12, 5, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    d->SetFVF(kTVertexFvf);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(TVertex)), D3D_OK);
    EXPECT_EQ(t.Pixel(2, 5), 0xFFFFFFFFu);
    EXPECT_EQ(t.Pixel(11, 5), 0xFFFFFFFFu);
    EXPECT_EQ(t.Pixel(12, 5), 0xFF000000u) << "the last pixel is left out";
    EXPECT_EQ(t.Pixel(6, 4), 0xFF000000u);
    TVertex point{9, 12, 0.5f, 1, 0xFFFF0000, 0, 0};
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(TVertex)), D3D_OK);
    EXPECT_EQ(t.Pixel(9, 12), 0xFFFF0000u);
    EXPECT_EQ(t.Pixel(10, 12), 0xFF000000u);
}

TEST(Raster, SixteenBitTargetDrawsAndBlends)
{
    TestDevice t(8, 8, D3DFMT_R5G6B5);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    DrawRect(d, 0, 0, 8, 8, 0.5f, 0xFFFF0000);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    DrawRect(d, 0, 0, 4, 8, 0.5f, 0xFF0000FF);
    EXPECT_EQ(t.Pixel(1, 1), 0xFFFF00FFu);
    EXPECT_EQ(t.Pixel(6, 1), 0xFFFF0000u);
}

TEST(Raster, NearPlaneClipsWhatCrossesIt)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    D3DMATRIX id{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &id); // clip space = object space, w = 1
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    struct V
    {
        float x, y, z;
        D3DCOLOR c;
    } v[4] = {
        {-1, 1, -1, 0xFFFFFFFF}, {1, 1, -1, 0xFFFFFFFF}, {-1, -1, 1, 0xFFFFFFFF}, {1, -1, 1, 0xFFFFFFFF}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    // z runs from -1 at the top to 1 at the bottom: only the lower half has z >= 0.
    EXPECT_EQ(t.Pixel(8, 3), 0xFF000000u);
    EXPECT_EQ(t.Pixel(8, 12), 0xFFFFFFFFu);
}

TEST(Raster, TextureTransformMovesCoordinates)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    IDirect3DTexture9* tex = MakeTexture(d, 2, 1, {0xFFFF0000, 0xFF00FF00});
    d->SetTexture(0, tex);
    tex->Release();
    D3DMATRIX shift{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0.5f, 0, 1, 0}, {0, 0, 0, 1}}}; // 2-D: translation in row 3
    d->SetTransform(D3DTS_TEXTURE0, &shift);
    DrawRect(d, 0, 0, 8, 8, 0.5f, 0xFFFFFFFF);
    EXPECT_EQ(t.Pixel(1, 1), 0xFFFF0000u) << "pre-transformed vertices ignore texture transforms";
    // Transformed vertices use it.
    D3DMATRIX id{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &id);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    struct V
    {
        float x, y, z, u, v;
    } v[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
    EXPECT_EQ(t.Pixel(1, 1), 0xFF00FF00u) << "u + 0.5 lands on the second texel";
}

TEST(Raster, HostileInputFailsOrDrawsNothingHarmful)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    TVertex bad[6] = {{nan, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},    {1e30f, 5, 0.5f, 1, 0xFFFFFFFF, nan, inf},
                      {3, -1e30f, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {1, 1, 0.5f, 0, 0xFFFFFFFF, 0, 0},
                      {9, 1, 0.5f, inf, 0xFFFFFFFF, 0, 0},    {1, 9, 0.5f, 1, 0xFFFFFFFF, inf, nan}};
    d->SetFVF(kTVertexFvf);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, bad, sizeof(TVertex)), D3D_OK);
    // Indices outside the declared vertex range are skipped, not read.
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 60000};
    TVertex good[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    EXPECT_EQ(d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 2, indices, D3DFMT_INDEX16, good,
                                        sizeof(TVertex)),
              D3D_OK);
    EXPECT_EQ(t.Pixel(2, 2), 0xFFFFFFFFu);
    // A vertex buffer too small for the requested range, and no stream at all.
    IDirect3DVertexBuffer9* vb = nullptr;
    d->CreateVertexBuffer(3 * sizeof(TVertex), 0, 0, D3DPOOL_MANAGED, &vb, nullptr);
    d->SetStreamSource(0, vb, 0, sizeof(TVertex));
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    d->SetStreamSource(0, nullptr, 0, 0);
    vb->Release();
    EXPECT_EQ(d->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->DrawPrimitive(D3DPRIMITIVETYPE(9), 0, 1), D3DERR_INVALIDCALL);
}

namespace {

// How far the fast paths (8-bit fixed point) may part from the general
// pipeline (floats) in a channel: over high-contrast texels the two may
// part by a few levels.
constexpr int kFastPathTolerance = 6;

// Pixels of two frames that part by more than that in any channel.
int PixelsApart(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    int apart = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        int worst = 0;
        for (int shift = 0; shift < 32; shift += 8)
            worst = std::max(worst, std::abs(int((a[i] >> shift) & 255) - int((b[i] >> shift) & 255)));
        apart += worst > kFastPathTolerance ? 1 : 0;
    }
    return apart;
}

// Stage 1 multiplies the texture of its own over the colour so far and
// passes the alpha, on stage 0's coordinates: the dual-texture fast path.
void ModulateBySecondStage(IDirect3DDevice9* d)
{
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
}

} // namespace

TEST(Raster, FastPathsMatchTheGeneralPipeline)
{
    // The same draws twice: plain (specialised span routines, one texture
    // and two) and with fog enabled at factor 1 (general pipeline, same
    // colours).
    auto render = [](bool general) {
        TestDevice t(32, 32);
        IDirect3DDevice9* d = t.device;
        std::vector<uint32_t> texels(16 * 16);
        for (int i = 0; i < 256; ++i)
            texels[size_t(i)] = uint32_t(i * 0x01000000u) | uint32_t(i * 37 % 256) << 16 |
                                uint32_t(i * 11 % 256) << 8 | uint32_t(255 - i);
        IDirect3DTexture9* tex = MakeTexture(d, 16, 16, texels);
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF405060, 1.0f, 0);
        d->SetRenderState(D3DRS_FOGENABLE, general ? 1 : 0);
        d->SetRenderState(D3DRS_FOGCOLOR, 0xFFFF0000);
        // Gouraud, then bilinear-textured and modulated, then blended on top.
        TVertex v[3] = {{0, 0, 0.5f, 1, 0xFF00FF00, 0, 0},
                        {32, 0, 0.5f, 1, 0xFF0000FF, 2, 0},
                        {0, 32, 0.5f, 1, 0xFFFF0000, 0, 2}};
        d->SetFVF(kTVertexFvf);
        d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(TVertex));
        d->SetTexture(0, tex);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        DrawRect(d, 4, 4, 28, 28, 0.4f, 0xC0FFC080, -0.3f, -0.2f, 1.7f, 1.1f);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        DrawRect(d, 8, 2, 30, 20, 0.3f, 0xFFFFFFFF, 0.1f, 0.1f, 0.9f, 0.6f);
        // A second texture multiplied over the first, wrapped, then clamped.
        std::reverse(texels.begin(), texels.end());
        IDirect3DTexture9* second = MakeTexture(d, 16, 16, texels);
        d->SetTexture(1, second);
        d->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        ModulateBySecondStage(d);
        DrawRect(d, 2, 10, 26, 30, 0.2f, 0xE0E0F0FF, -0.5f, 0.2f, 1.4f, 1.9f);
        for (DWORD stage : {0u, 1u}) {
            d->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
            d->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        }
        DrawRect(d, 12, 12, 31, 31, 0.1f, 0xFFFFFFFF, -0.2f, -0.1f, 1.2f, 1.3f);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        d->SetTexture(1, nullptr);
        second->Release();
        d->SetTexture(0, nullptr);
        tex->Release();
        return t.Pixels();
    };
    EXPECT_EQ(PixelsApart(render(false), render(true)), 0);
}

// Mip-mapped textures with pattern and tint changing from level to level
// (so that a wrong level shows), on a floor receding from magnified near
// the viewer to minified past the last level far away, and on a minified
// flat rectangle: point and linear mip filters, wrapped and clamped, one
// texture and two, a first level above 0 and a bias. The fast paths pick
// each pixel's levels as the general pipeline does (forced by fog at
// factor 1, as above).
namespace {

struct MipCase
{
    const char* name;
    DWORD mipFilter, address;
    bool dual;
    DWORD maxLevel;
    float bias;
    DWORD alphaRef; ///< above 0: the alpha test passes alphas above it
};

void PrintTo(const MipCase& c, std::ostream* os)
{
    *os << c.name;
}

class MipFastPath : public ::testing::TestWithParam<MipCase>
{
};

IDirect3DTexture9* MakeMipTexture(IDirect3DDevice9* d, UINT size, int seed)
{
    IDirect3DTexture9* texture = nullptr;
    if (FAILED(d->CreateTexture(size, size, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr)))
        return nullptr;
    const uint32_t tints[] = {0xFFFF4020, 0xC020FF40, 0xFF2040FF, 0x80FFFF20,
                              0xFF20FFFF, 0xE0FF20FF, 0xFFFFFFFF};
    for (DWORD l = 0; l < texture->GetLevelCount(); ++l) {
        D3DLOCKED_RECT lr;
        texture->LockRect(l, &lr, nullptr, 0);
        const UINT side = std::max(1u, size >> l);
        for (UINT y = 0; y < side; ++y)
            for (UINT x = 0; x < side; ++x) {
                const uint32_t tint = tints[(l + UINT(seed)) % 7];
                const bool dark = ((x >> (l % 2)) + y + UINT(seed)) % 3 == 0;
                static_cast<uint32_t*>(lr.pBits)[size_t(y) * lr.Pitch / 4 + x] =
                    dark ? 0x40000000u | ((tint >> 2) & 0x003F3F3Fu) : tint;
            }
        texture->UnlockRect(l);
    }
    return texture;
}

} // namespace

TEST_P(MipFastPath, MatchesTheGeneralPipeline)
{
    const MipCase& c = GetParam();
    auto render = [&c](bool general) {
        TestDevice t(64, 64);
        IDirect3DDevice9* d = t.device;
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF405060, 1.0f, 0);
        d->SetRenderState(D3DRS_FOGENABLE, general ? 1 : 0);
        d->SetRenderState(D3DRS_FOGCOLOR, 0xFFFF0000);
        IDirect3DTexture9* textures[2] = {MakeMipTexture(d, 32, 0), MakeMipTexture(d, 16, 3)};
        const DWORD stages = c.dual ? 2 : 1;
        for (DWORD s = 0; s < stages; ++s) {
            d->SetTexture(s, textures[s]);
            d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MIPFILTER, c.mipFilter);
            d->SetSamplerState(s, D3DSAMP_ADDRESSU, c.address);
            d->SetSamplerState(s, D3DSAMP_ADDRESSV, c.address);
            d->SetSamplerState(s, D3DSAMP_MAXMIPLEVEL, c.maxLevel);
            DWORD bias;
            std::memcpy(&bias, &c.bias, sizeof(bias));
            d->SetSamplerState(s, D3DSAMP_MIPMAPLODBIAS, bias);
        }
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetRenderState(D3DRS_ALPHATESTENABLE, c.alphaRef > 0);
        d->SetRenderState(D3DRS_ALPHAREF, c.alphaRef);
        d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        if (c.dual) {
            ModulateBySecondStage(d);
        }
        // The floor: its far edge twenty times as deep as its near one.
        const bool wrap = c.address == D3DTADDRESS_WRAP;
        const float u0 = wrap ? -0.7f : -0.1f, u1 = wrap ? 1.3f : 1.1f, v1 = wrap ? 5.0f : 1.2f;
        TVertex floor[4] = {{22, 1.5f, 0.9f, 0.05f, 0xFFE0F0FF, u0, v1},
                            {42, 1.5f, 0.9f, 0.05f, 0xFFE0F0FF, u1, v1},
                            {-0.5f, 63.5f, 0.1f, 1.0f, 0xC0FFE0C0, u0, -0.1f},
                            {63.5f, 63.5f, 0.1f, 1.0f, 0xC0FFE0C0, u1, -0.1f}};
        d->SetFVF(kTVertexFvf);
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, floor, sizeof(TVertex));
        // Flat and minified, blended over the floor; behind it where the
        // floor is alpha-tested, showing where its pixels failed the test
        // (and so wrote no depth).
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        DrawRect(d, 20, 16, 44, 34, c.alphaRef > 0 ? 0.95f : 0.05f, 0xFFFFFFFF, 0.05f, 0.1f,
                 wrap ? 4.4f : 0.95f, wrap ? 3.6f : 0.9f);
        for (DWORD s = 0; s < 2; ++s) {
            d->SetTexture(s, nullptr);
            textures[s]->Release();
        }
        return t.Pixels();
    };
    // Where an alpha lies within a level or two of the reference, the fixed
    // point and the floats may come down on either side of it: along the
    // edges of the cut-out texels a few pixels (here below 1 %) differ.
    EXPECT_LE(PixelsApart(render(false), render(true)), c.alphaRef > 0 ? 64 * 64 / 100 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Raster, MipFastPath,
    ::testing::Values(
        MipCase{"LinearWrap", D3DTEXF_LINEAR, D3DTADDRESS_WRAP, false, 0, 0.0f, 0},
        MipCase{"LinearClamp", D3DTEXF_LINEAR, D3DTADDRESS_CLAMP, false, 0, 0.0f, 0},
        MipCase{"PointWrap", D3DTEXF_POINT, D3DTADDRESS_WRAP, false, 0, 0.0f, 0},
        MipCase{"PointClamp", D3DTEXF_POINT, D3DTADDRESS_CLAMP, false, 0, 0.0f, 0},
        MipCase{"LinearFirstLevelAndBias", D3DTEXF_LINEAR, D3DTADDRESS_WRAP, false, 1, 0.6f, 0},
        MipCase{"DualLinearWrap", D3DTEXF_LINEAR, D3DTADDRESS_WRAP, true, 0, 0.0f, 0},
        MipCase{"DualPointClamp", D3DTEXF_POINT, D3DTADDRESS_CLAMP, true, 0, -0.4f, 0},
        MipCase{"LinearWrapAlphaTested", D3DTEXF_LINEAR, D3DTADDRESS_WRAP, false, 0, 0.0f, 0x90},
        MipCase{"NoMipClampAlphaTested", D3DTEXF_NONE, D3DTADDRESS_CLAMP, false, 0, 0.0f, 0xA0},
        MipCase{"DualPointWrapAlphaTested", D3DTEXF_POINT, D3DTADDRESS_WRAP, true, 0, 0.0f, 0x70}),
    [](const ::testing::TestParamInfo<MipCase>& info) { return std::string(info.param.name); });

TEST(Raster, ReflectionVectorLooksUpTheFaceBehindTheViewer)
{
    // A quad facing the camera reflects the view ray straight back: the
    // cube map's -Z face (towards the viewer) shows in its middle.
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(d->CreateCubeTexture(2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    const uint32_t faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT lr;
        cube->LockRect(D3DCUBEMAP_FACES(f), 0, &lr, nullptr, 0);
        for (int i = 0; i < 4; ++i)
            static_cast<uint32_t*>(lr.pBits)[i] = faces[f];
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    d->SetTexture(0, cube);
    cube->Release();
    D3DMATRIX world{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 2, 1}}};
    D3DMATRIX id{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    D3DMATRIX proj{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 1}, {0, 0, -0.5f, 0}}};
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &proj);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    struct V
    {
        float x, y, z, nx, ny, nz;
    } v[4] = {{-1, 1, 0, 0, 0, -1}, {1, 1, 0, 0, 0, -1}, {-1, -1, 0, 0, 0, -1}, {1, -1, 0, 0, 0, -1}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V)), D3D_OK);
    EXPECT_EQ(t.Pixel(8, 8), 0xFFFF00FFu);
}

TEST(Raster, TrianglesCoverExactlyThePixelCentresInside)
{
    // Random triangles from below a pixel to wider than the clip rectangle,
    // slivers and edges through pixel centres, partly outside the clip
    // rectangle (which starts at 0, 0), in both windings: each row's span
    // must be exactly the centres the edge tests accept, drawn once.
    d3d9sw::PixelState ps;
    ps.clipX0 = 3;
    ps.clipY0 = 2;
    ps.clipX1 = kCoverWidth - 5;
    ps.clipY1 = kCoverHeight - 1;
    ps.span = CountSpan;
    std::mt19937 rng(24);
    const int sizes[] = {1, 4, 16, 40, 160, 400, 2400}; // sixteenths of a pixel
    for (int n = 0; n < 4000; ++n) {
        const int size = sizes[n % 7];
        std::uniform_int_distribution<int> centre(-32, kCoverWidth * 16 + 32), offset(-size, size);
        const int64_t cx = centre(rng), cy = centre(rng) * kCoverHeight / kCoverWidth;
        int64_t X[3], Y[3];
        for (int i = 0; i < 3; ++i) {
            X[i] = cx + offset(rng);
            Y[i] = cy + offset(rng);
            if (n % 5 == 0) // edges through pixel centres
                X[i] &= ~int64_t(15);
            if (n % 3 == 0)
                Y[i] = i == 2 ? Y[0] + (n % 2 ? 160 : 3) : Y[0]; // horizontal edge, and slivers
        }
        d3d9sw::ScreenVertex v[3];
        for (int i = 0; i < 3; ++i)
            v[i] = {float(X[i]) / 16.0f, float(Y[i]) / 16.0f, 0.5f, 1.0f, nullptr};
        g_covered.assign(size_t(kCoverWidth) * kCoverHeight, 0);
        d3d9sw::RasterTriangle(ps, v[0], v[1], v[2], nullptr);
        for (int y = 0; y < kCoverHeight; ++y)
            for (int x = 0; x < kCoverWidth; ++x) {
                const bool clipped = x >= ps.clipX0 && x < ps.clipX1 && y >= ps.clipY0 && y < ps.clipY1;
                const int expected = clipped && CentreCovered(X, Y, x, y) ? 1 : 0;
                ASSERT_EQ(g_covered[size_t(y) * kCoverWidth + size_t(x)], expected)
                    << "triangle " << n << " pixel " << x << ", " << y;
            }
    }
}
