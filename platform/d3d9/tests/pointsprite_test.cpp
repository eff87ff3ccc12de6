// Point sizes and point sprites: the size from each vertex, its clamping,
// its scaling with the eye distance, and the sprite's texture coordinates.
#include <gtest/gtest.h>

#include <cstring>

#include "testdevice.h"

using namespace d3d9test;

namespace {

DWORD F(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

/// Pre-transformed point with a size of its own.
struct SizedPoint
{
    float x, y, z, rhw, size;
    D3DCOLOR diffuse;
};
constexpr DWORD kSizedPointFvf = D3DFVF_XYZRHW | D3DFVF_PSIZE | D3DFVF_DIFFUSE;

/// Untransformed point.
struct Point3
{
    float x, y, z;
    D3DCOLOR diffuse;
};
constexpr DWORD kPoint3Fvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

int LitPixels(TestDevice& t)
{
    int lit = 0;
    for (uint32_t p : t.Pixels())
        lit += (p & 0xFFFFFF) != 0;
    return lit;
}

void Clear(IDirect3DDevice9* d)
{
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
}

/// Clip space equals object space (w = 1): x, y in [-1, 1] fill the viewport.
void IdentityTransforms(IDirect3DDevice9* d)
{
    const D3DMATRIX id = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &id);
    d->SetRenderState(D3DRS_LIGHTING, 0);
}

} // namespace

TEST(PointSprites, EachVertexCarriesItsSizeWithinTheClamps)
{
    TestDevice t(128, 128);
    IDirect3DDevice9* d = t.device;
    d->SetFVF(kSizedPointFvf);
    const struct
    {
        float size, minimum, maximum;
        int side;
    } cases[] = {
        {4, 1, 64, 4},   {8, 1, 64, 8}, {100, 1, 64, 64}, // the device's largest
        {30, 1, 10, 10}, {2, 6, 64, 6},
    };
    for (const auto& c : cases) {
        Clear(d);
        d->SetRenderState(D3DRS_POINTSIZE_MIN, F(c.minimum));
        d->SetRenderState(D3DRS_POINTSIZE_MAX, F(c.maximum));
        SizedPoint point = {64, 64, 0.5f, 1, c.size, 0xFFFFFFFF};
        ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(point)), D3D_OK);
        EXPECT_EQ(LitPixels(t), c.side * c.side)
            << c.size << " in [" << c.minimum << ", " << c.maximum << "]";
    }
}

TEST(PointSprites, ScaledPointsShrinkWithTheEyeDistance)
{
    TestDevice t(64, 64);
    IDirect3DDevice9* d = t.device;
    // Projection dividing by z: clip w = z, so points stay in view at any depth.
    const D3DMATRIX id = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    const D3DMATRIX project = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0.5f, 1}, {0, 0, 0, 0}}};
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &project);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetFVF(kPoint3Fvf);
    d->SetRenderState(D3DRS_POINTSCALEENABLE, 1);
    d->SetRenderState(D3DRS_POINTSIZE, F(1.0f));
    d->SetRenderState(D3DRS_POINTSCALE_A, F(0.0f));
    d->SetRenderState(D3DRS_POINTSCALE_C, F(1.0f));
    // Viewport height 64 x size 1 / distance: 8 pixels at 8, 4 at 16.
    for (const auto& [distance, side] : {std::pair{8.0f, 8}, std::pair{16.0f, 4}}) {
        Clear(d);
        Point3 point = {0, 0, distance, 0xFFFFFFFF};
        ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(point)), D3D_OK);
        EXPECT_EQ(LitPixels(t), side * side) << distance;
    }
    d->SetRenderState(D3DRS_POINTSCALEENABLE, 0);
    Clear(d);
    Point3 point = {0, 0, 8, 0xFFFFFFFF};
    d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(point));
    EXPECT_EQ(LitPixels(t), 1) << "unscaled: the size in pixels";
}

TEST(PointSprites, SpritesSpanTheTextureAndDropClippedCentres)
{
    TestDevice t(64, 64);
    IDirect3DDevice9* d = t.device;
    IdentityTransforms(d);
    // Red, green over blue, white.
    IDirect3DTexture9* texture = MakeTexture(d, 2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    ASSERT_NE(texture, nullptr);
    d->SetTexture(0, texture);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
    d->SetRenderState(D3DRS_POINTSIZE, F(16.0f));
    d->SetFVF(kPoint3Fvf);
    Clear(d);
    Point3 centre = {0, 0, 0.5f, 0xFFFFFFFF};
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &centre, sizeof(centre)), D3D_OK);
    // The sprite covers pixels 24 to 39 both ways.
    EXPECT_EQ(t.Pixel(26, 26) & 0xFFFFFF, 0xFF0000u) << "top left (0, 0)";
    EXPECT_EQ(t.Pixel(37, 26) & 0xFFFFFF, 0x00FF00u) << "top right";
    EXPECT_EQ(t.Pixel(26, 37) & 0xFFFFFF, 0x0000FFu) << "bottom left";
    EXPECT_EQ(t.Pixel(37, 37) & 0xFFFFFF, 0xFFFFFFu) << "bottom right (1, 1)";
    EXPECT_EQ(LitPixels(t), 16 * 16);

    // A centre just beyond the right edge: the whole sprite is dropped.
    Clear(d);
    Point3 outside = {1.05f, 0, 0.5f, 0xFFFFFFFF};
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &outside, sizeof(outside)), D3D_OK);
    EXPECT_EQ(LitPixels(t), 0);
    d->SetTexture(0, nullptr);
    texture->Release();
}
