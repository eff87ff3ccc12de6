// Small scenes rendered headless and compared with reference PNGs (every
// channel of 99.5 % of the pixels within 3 levels, see testdevice.h); each
// scene also checks a few pixels against values worked out by hand, so a
// wrong reference cannot hide a fault.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "testdevice.h"

using namespace d3d9test;

namespace {

struct Scene
{
    const char* name;
    UINT width, height;
    std::function<void(IDirect3DDevice9*)> draw;
    std::function<void(TestDevice&)> check;
};

DWORD F(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

D3DMATRIX Identity()
{
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
}

// Left-handed perspective projection (row vectors): z in [0, 1] from near to far.
D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf)
{
    float ys = 1.0f / std::tan(fovY / 2), xs = ys / aspect;
    D3DMATRIX m{};
    m.m[0][0] = xs;
    m.m[1][1] = ys;
    m.m[2][2] = zf / (zf - zn);
    m.m[2][3] = 1;
    m.m[3][2] = -zn * zf / (zf - zn);
    return m;
}

D3DMATRIX Translation(float x, float y, float z)
{
    D3DMATRIX m = Identity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

struct LitVertex
{
    float x, y, z, nx, ny, nz;
};

// A unit sphere of `rings` x `segments` quads, drawn as an indexed list.
void DrawSphere(IDirect3DDevice9* d, int rings, int segments)
{
    std::vector<LitVertex> v;
    std::vector<uint16_t> idx;
    for (int r = 0; r <= rings; ++r) {
        float phi = 3.14159265f * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            float theta = 2 * 3.14159265f * float(s) / float(segments);
            float x = std::sin(phi) * std::cos(theta), y = std::cos(phi), z = std::sin(phi) * std::sin(theta);
            v.push_back({x, y, z, x, y, z});
        }
    }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            uint16_t a = uint16_t(r * (segments + 1) + s), b = uint16_t(a + segments + 1);
            // Clockwise seen from outside: front faces survive the default culling.
            idx.insert(idx.end(), {a, uint16_t(a + 1), b, uint16_t(a + 1), uint16_t(b + 1), b});
        }
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(v.size()), UINT(idx.size() / 3), idx.data(),
                              D3DFMT_INDEX16, v.data(), sizeof(LitVertex));
}

// An identity world seen through `view` and a perspective of the field of
// view given, near 0.5, far 20.
void Camera(IDirect3DDevice9* d, const D3DMATRIX& view, float fovY, float aspect = 1.0f)
{
    const D3DMATRIX world = Identity(), proj = Perspective(fovY, aspect, 0.5f, 20.0f);
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &proj);
}

void CameraLooking(IDirect3DDevice9* d, float distance, float aspect = 1.0f)
{
    Camera(d, Translation(0, 0, distance), 0.9f, aspect);
}

void WhiteMaterial(IDirect3DDevice9* d)
{
    D3DMATERIAL9 m{};
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = {1, 1, 1, 1};
    d->SetMaterial(&m);
}

// 4 x 4 texture: each texel its own colour (row y, column x).
std::vector<uint32_t> Quadrants()
{
    std::vector<uint32_t> t(16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            t[y * 4 + x] = 0xFF000000u | uint32_t(x * 80) << 16 | uint32_t(y * 80) << 8 | 0x40;
    return t;
}

void BindTexture(IDirect3DDevice9* d, DWORD stage, IDirect3DTexture9* t)
{
    d->SetTexture(stage, t);
    t->Release(); // the device keeps its own reference
}

// A 4 x 4 cube map on stage 0, one colour per face: +X red, -X green, +Y
// blue, -Y yellow, +Z cyan, -Z magenta.
void BindFaceColours(IDirect3DDevice9* d)
{
    IDirect3DCubeTexture9* cube = nullptr;
    d->CreateCubeTexture(4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr);
    const uint32_t faces[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
    for (int f = 0; f < 6; ++f) {
        D3DLOCKED_RECT lr;
        cube->LockRect(D3DCUBEMAP_FACES(f), 0, &lr, nullptr, 0);
        for (int i = 0; i < 16; ++i)
            static_cast<uint32_t*>(lr.pBits)[i] = faces[f];
        cube->UnlockRect(D3DCUBEMAP_FACES(f), 0);
    }
    d->SetTexture(0, cube);
    cube->Release();
}

// Strip of one depth function: z runs from 0 at the top edge to 1 at the
// bottom edge of a 32-pixel-high target.
void DepthStrip(IDirect3DDevice9* d, float x0, DWORD func)
{
    d->SetRenderState(D3DRS_ZFUNC, func);
    TVertex v[4] = {{x0 - 0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                    {x0 + 3.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
                    {x0 - 0.5f, 31.5f, 1, 1, 0xFFFFFFFF, 0, 0},
                    {x0 + 3.5f, 31.5f, 1, 1, 0xFFFFFFFF, 0, 0}};
    d->SetFVF(kTVertexFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TVertex));
}

struct BlendCell
{
    DWORD src, dst, op;
};
const BlendCell kBlendCells[16] = {{D3DBLEND_ONE, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLENDOP_ADD},
                                   {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLENDOP_ADD},
                                   {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_ADD},
                                   {D3DBLEND_SRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_INVSRCCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_ZERO, D3DBLEND_INVDESTCOLOR, D3DBLENDOP_ADD},
                                   {D3DBLEND_DESTALPHA, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_INVDESTALPHA, D3DBLEND_ONE, D3DBLENDOP_ADD},
                                   {D3DBLEND_SRCALPHASAT, D3DBLEND_ONE, D3DBLENDOP_ADD},
                                   {D3DBLEND_BLENDFACTOR, D3DBLEND_ZERO, D3DBLENDOP_ADD},
                                   {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_SUBTRACT},
                                   {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_REVSUBTRACT},
                                   {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MIN},
                                   {D3DBLEND_ONE, D3DBLEND_ONE, D3DBLENDOP_MAX}};
constexpr D3DCOLOR kBlendSource = 0x80FF4000, kBlendDest = 0xFF4080C0;

void TexturedQuad(IDirect3DDevice9* d, DWORD address, DWORD filter)
{
    BindTexture(d, 0, MakeTexture(d, 4, 4, Quadrants()));
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, address);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, address);
    d->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFFFF00FF);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
    DrawRect(d, 0, 0, 48, 48, 0.5f, 0xFFFFFFFF, -1, -1, 2, 2);
}

// The pixel at the centre of texel (tx, ty) of the middle copy: 48 pixels
// cover u from -1 to 2, so one texel is 4 pixels.
uint32_t QuadrantTexel(int tx, int ty)
{
    return Quadrants()[ty * 4 + tx];
}

// A 4 x 4 texture whose texels all differ in every channel.
std::vector<uint32_t> Varied()
{
    std::vector<uint32_t> texels;
    for (uint32_t i = 0; i < 16; ++i)
        texels.push_back((0x40 + i * 12) << 24 | (i * 17) << 16 | (255 - i * 13) << 8 | ((i * 29 + 7) & 255));
    return texels;
}

// The bilinear fast paths on spans long enough for their widest registers:
// rows 0-15 texture x diffuse in colour and alpha, wrapped, in perspective;
// rows 16-31 the texture alone, clamped and blended by its alpha; rows
// 32-47 a second texture multiplied over the first, alpha from the diffuse
// colour.
void BilinearFastPaths(IDirect3DDevice9* d)
{
    BindTexture(d, 0, MakeTexture(d, 4, 4, Varied()));
    BindTexture(d, 1, MakeTexture(d, 2, 2, {0xFF20FF80, 0xFFFFFFFF, 0xFF8040FF, 0xFFFF8000}));
    for (DWORD stage : {0u, 1u}) {
        d->SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    }
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    const TVertex wrapped[4] = {{-0.5f, -0.5f, 0.5f, 1.0f, 0xFFFF8040, -0.3f, -0.6f},
                                {47.5f, -0.5f, 0.5f, 0.5f, 0x80FFFFFF, 2.2f, -0.6f},
                                {-0.5f, 15.5f, 0.5f, 1.0f, 0xC020FF80, -0.3f, 1.4f},
                                {47.5f, 15.5f, 0.5f, 0.5f, 0xFF808080, 2.2f, 1.4f}};
    d->SetFVF(kTVertexFvf);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, wrapped, sizeof(TVertex));

    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    for (DWORD stage : {0u, 1u}) {
        d->SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        d->SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    }
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    DrawRect(d, 0, 16, 48, 32, 0.5f, 0xFFFFFFFF, -0.2f, -0.3f, 1.3f, 1.2f);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);

    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    const TVertex dual[4] = {{-0.5f, 31.5f, 0.5f, 1.0f, 0xFF40FF80, -0.1f, 0.0f},
                             {47.5f, 31.5f, 0.5f, 1.0f, 0x80FF8040, 1.1f, 0.1f},
                             {-0.5f, 47.5f, 0.5f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f},
                             {47.5f, 47.5f, 0.5f, 1.0f, 0x40C0C0C0, 1.0f, 1.2f}};
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, dual, sizeof(TVertex));
}

void FogFloor(IDirect3DDevice9* d, DWORD tableMode, DWORD vertexMode)
{
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_FOGENABLE, 1);
    d->SetRenderState(D3DRS_FOGCOLOR, 0xFFFF0000);
    d->SetRenderState(D3DRS_FOGTABLEMODE, tableMode);
    d->SetRenderState(D3DRS_FOGVERTEXMODE, vertexMode);
    d->SetRenderState(D3DRS_FOGSTART, F(1.0f));
    d->SetRenderState(D3DRS_FOGEND, F(12.0f));
    d->SetRenderState(D3DRS_FOGDENSITY, F(0.25f));
    Camera(d, Identity(), 1.2f);
    struct V
    {
        float x, y, z;
        D3DCOLOR c;
    } v[4] = {
        {-3, -1, 1, 0xFFFFFFFF}, {-3, -1, 12, 0xFFFFFFFF}, {3, -1, 1, 0xFFFFFFFF}, {3, -1, 12, 0xFFFFFFFF}};
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(V));
}

void CheckFogFloor(TestDevice& t)
{
    // Near rows (bottom) keep more white than far rows (towards the horizon).
    uint32_t nearPixel = t.Pixel(16, 31), farPixel = t.Pixel(16, 19);
    EXPECT_EQ(Red(nearPixel), 255);
    EXPECT_GT(Green(nearPixel), Green(farPixel));
    EXPECT_EQ(Red(farPixel), 255);
    EXPECT_EQ(t.Pixel(16, 2), 0xFF000000u) << "above the horizon nothing is drawn";
}

void LitSphere(IDirect3DDevice9* d, const D3DLIGHT9& light)
{
    CameraLooking(d, 3.0f);
    WhiteMaterial(d);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF101010);
    d->SetLight(0, &light);
    d->LightEnable(0, 1);
    DrawSphere(d, 12, 16);
}

D3DLIGHT9 Light(D3DLIGHTTYPE type)
{
    D3DLIGHT9 l{};
    l.Type = type;
    l.Diffuse = {1, 1, 1, 1};
    l.Position = {-2, 2, -2};
    l.Direction = type == D3DLIGHT_SPOT ? D3DVECTOR{0.667f, -0.667f, 0.667f} : D3DVECTOR{1, -1, 1};
    l.Range = 100;
    l.Attenuation0 = 1;
    l.Falloff = 1;
    l.Theta = 0.2f;
    l.Phi = 0.5f;
    return l;
}

void CheckLitSphere(TestDevice& t, bool spot)
{
    // The brightest pixel of the quarter facing the light, against the
    // opposite quarter.
    uint32_t lit = 0;
    for (int y = 4; y < 16; ++y)
        for (int x = 4; x < 16; ++x)
            if (Red(t.Pixel(x, y)) > Red(lit))
                lit = t.Pixel(x, y);
    uint32_t dark = t.Pixel(20, 20);
    EXPECT_GT(Red(lit), 100) << "the side facing the light is lit";
    EXPECT_LT(Red(dark), Red(lit));
    EXPECT_EQ(t.Pixel(0, 0), 0xFF000000u) << "outside the sphere";
    if (spot) {
        EXPECT_EQ(Red(t.Pixel(21, 21)), 16) << "outside the cone only the ambient 0x10 remains";
    }
}

// Many small triangles, drawn in painter's order without depth: a red floor
// running under the camera (clipped at the near plane), a blue wedge with
// one vertex far beyond the guard band, a 12 x 12 grid of 4-pixel cells with
// jittered corners and flat colours where every third cell or so is wound
// the other way round (culled), a triangle beyond the pre-transformed guard
// band (dropped), a blended strip and a blended fan that wraps around twice,
// so that later triangles cover earlier ones, and a triangle drawn as edges
// and one as corners.
constexpr int kGridCells = 12;

D3DCOLOR GridColour(int i, int j)
{
    return 0xFF000000u | ((uint32_t(i * 13 + j * 29 + 1) * 2654435761u) >> 8);
}

bool GridCellCulled(int i, int j)
{
    return (i * 7 + j * 3) % 4 == 0;
}

void SmallTriangles(IDirect3DDevice9* d)
{
    d->SetRenderState(D3DRS_ZENABLE, 0);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    Camera(d, Identity(), 1.5707963f);
    struct V
    {
        float x, y, z;
        D3DCOLOR c;
    } clipped[6] = {{-2, -0.5f, 4, 0xFFFF0000}, {2, -0.5f, 4, 0xFFFF0000}, {0, -0.5f, -2, 0xFFFF0000},
                    {0, 0.25f, 1, 0xFF0000FF},  {0, 1, 1, 0xFF0000FF},     {600, 0.5f, 0.51f, 0xFF0000FF}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, clipped, sizeof(V));

    std::vector<TVertex> grid;
    uint32_t seed = 7;
    auto jitter = [&]() {
        seed = seed * 1103515245u + 12345u;
        return float(int((seed >> 16) % 9) - 4) * 0.125f;
    };
    for (int j = 0; j <= kGridCells; ++j)
        for (int i = 0; i <= kGridCells; ++i)
            grid.push_back({8.0f + 4.0f * float(i) + jitter(), 8.0f + 4.0f * float(j) + jitter(), 0.5f, 1,
                            GridColour(i, j), 0, 0});
    grid.push_back({20000.0f, 30.0f, 0.5f, 1, 0xFFFFFFFF, 0, 0});
    std::vector<uint16_t> idx;
    for (int j = 0; j < kGridCells; ++j)
        for (int i = 0; i < kGridCells; ++i) {
            const uint16_t a = uint16_t(j * (kGridCells + 1) + i), b = uint16_t(a + 1),
                           c = uint16_t(a + kGridCells + 1), e = uint16_t(c + 1);
            if (GridCellCulled(i, j))
                idx.insert(idx.end(), {a, c, b, b, c, e});
            else
                idx.insert(idx.end(), {a, b, c, b, e, c});
        }
    idx.insert(idx.end(), {0, uint16_t(grid.size() - 1), uint16_t(kGridCells + 1)});
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    d->SetFVF(kTVertexFvf);
    d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, UINT(grid.size()), UINT(idx.size() / 3), idx.data(),
                              D3DFMT_INDEX16, grid.data(), sizeof(TVertex));

    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    std::vector<TVertex> strip;
    for (int k = 0; k < 31; ++k)
        strip.push_back(
            {2.0f + 2.0f * float(k), k % 2 ? 57.0f : 63.0f, 0.5f, 1, 0x8000FF00u | uint32_t(k * 8), 0, 0});
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, UINT(strip.size() - 2), strip.data(), sizeof(TVertex));
    std::vector<TVertex> fan = {{32, 30, 0.5f, 1, 0x80FFFFFF, 0, 0}};
    for (int k = 0; k <= 32; ++k) {
        const float angle = 3.14159265f * float(k) / 8.0f;
        fan.push_back({32.0f + 11.0f * std::cos(angle), 30.0f + 11.0f * std::sin(angle), 0.5f, 1,
                       0x80000000u | uint32_t(k * 7) << 16 | uint32_t(255 - k * 7), 0, 0});
    }
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, UINT(fan.size() - 2), fan.data(), sizeof(TVertex));
    // The edges and the corners of a triangle each, across several bands.
    const TVertex edges[3] = {{4, 40, 0.5f, 1, 0xFFFFFF00, 0, 0},
                              {20, 44, 0.5f, 1, 0xFFFFFF00, 0, 0},
                              {6, 58, 0.5f, 1, 0xFFFFFF00, 0, 0}};
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, edges, sizeof(TVertex));
    const TVertex corners[3] = {{60.2f, 30.7f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {58.6f, 40.4f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                {62.9f, 50.1f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    d->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, corners, sizeof(TVertex));
}

const Scene kScenes[] = {
    {"many_small_triangles", 64, 64, SmallTriangles,
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(4, 50), 0xFFFF0000u) << "the floor clipped at the near plane";
         EXPECT_EQ(t.Pixel(60, 12), 0xFF0000FFu) << "the wedge clipped at the guard band";
         EXPECT_EQ(t.Pixel(2, 2), 0xFF000000u);
         ASSERT_TRUE(GridCellCulled(0, 0));
         EXPECT_EQ(t.Pixel(10, 10), 0xFF000000u)
             << "a cell wound the other way round is culled, the triangle beyond the guard band dropped";
         ASSERT_FALSE(GridCellCulled(1, 0));
         EXPECT_EQ(t.Pixel(13, 9), GridColour(1, 0)) << "flat: the colour of the first vertex";
         EXPECT_EQ(t.Pixel(15, 11), GridColour(2, 0)) << "the second triangle of the cell";
         EXPECT_GT(Green(t.Pixel(30, 61)), 100) << "the strip blended over the floor";
         EXPECT_EQ(t.Pixel(4, 40), 0xFFFFFF00u) << "the first pixel of a wireframe edge";
         EXPECT_EQ(t.Pixel(60, 31), 0xFFFFFFFFu) << "a corner in point fill mode, at the nearest pixel";
     }},
    {"depth_funcs", 32, 32,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 0.5f, 0);
         d->SetRenderState(D3DRS_ZWRITEENABLE, 0);
         for (DWORD f = D3DCMP_NEVER; f <= D3DCMP_ALWAYS; ++f)
             DepthStrip(d, float(f - 1) * 4, f);
     },
     [](TestDevice& t) {
         auto on = [&](DWORD f, int y) { return t.Pixel(int(f - 1) * 4 + 1, y) == 0xFFFFFFFFu; };
         EXPECT_FALSE(on(D3DCMP_NEVER, 0));
         EXPECT_TRUE(on(D3DCMP_LESS, 15)); // z = 15.5 / 32 < 0.5
         EXPECT_FALSE(on(D3DCMP_LESS, 16));
         EXPECT_FALSE(on(D3DCMP_EQUAL, 15));
         EXPECT_TRUE(on(D3DCMP_LESSEQUAL, 0));
         EXPECT_TRUE(on(D3DCMP_GREATER, 16));
         EXPECT_FALSE(on(D3DCMP_GREATER, 15));
         EXPECT_TRUE(on(D3DCMP_NOTEQUAL, 3));
         EXPECT_TRUE(on(D3DCMP_GREATEREQUAL, 31));
         EXPECT_TRUE(on(D3DCMP_ALWAYS, 0) && on(D3DCMP_ALWAYS, 31));
     }},
    {"blend_factors", 32, 32,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlendDest, 1.0f, 0);
         d->SetRenderState(D3DRS_ZENABLE, 0);
         d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
         d->SetRenderState(D3DRS_BLENDFACTOR, 0xFF808080);
         d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
         d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
         for (int i = 0; i < 16; ++i) {
             d->SetRenderState(D3DRS_SRCBLEND, kBlendCells[i].src);
             d->SetRenderState(D3DRS_DESTBLEND, kBlendCells[i].dst);
             d->SetRenderState(D3DRS_BLENDOP, kBlendCells[i].op);
             float x = float(i % 4) * 8, y = float(i / 4) * 8;
             DrawRect(d, x, y, x + 8, y + 8, 0.5f, kBlendSource);
         }
     },
     [](TestDevice& t) {
         auto cell = [&](int i) { return t.Pixel((i % 4) * 8 + 4, (i / 4) * 8 + 4); };
         EXPECT_EQ(cell(0), 0xFFFF4000u) << "ONE, ZERO";
         EXPECT_EQ(cell(1), kBlendDest) << "ZERO, ONE";
         EXPECT_NEAR(Red(cell(2)), (255 * 128 + 64 * 127) / 255, 1) << "SRCALPHA, INVSRCALPHA";
         EXPECT_NEAR(Blue(cell(2)), (0 * 128 + 192 * 127) / 255, 1);
         EXPECT_EQ(Red(cell(3)), 255) << "ONE, ONE saturates";
         EXPECT_EQ(Green(cell(3)), 0x40 + 0x80);
         EXPECT_EQ(Blue(cell(12)), 0) << "SUBTRACT: src - dest clamps at 0";
         EXPECT_EQ(Blue(cell(13)), 192) << "REVSUBTRACT: dest - src";
         EXPECT_EQ(Red(cell(13)), 0);
         EXPECT_EQ(Red(cell(12)), 255 - 64);
         EXPECT_EQ(Red(cell(14)), 64) << "MIN";
         EXPECT_EQ(Red(cell(15)), 255) << "MAX";
         EXPECT_EQ(Blue(cell(15)), 192);
     }},
    {"alpha_test", 32, 32,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
         d->SetRenderState(D3DRS_ALPHATESTENABLE, 1);
         d->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
         d->SetRenderState(D3DRS_ALPHAREF, 128);
         d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
         d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
         // Alpha 0 at the left edge to 255 at the right edge.
         TVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0x0000FF00, 0, 0},
                         {31.5f, -0.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                         {-0.5f, 31.5f, 0.5f, 1, 0x0000FF00, 0, 0},
                         {31.5f, 31.5f, 0.5f, 1, 0xFF00FF00, 0, 0}};
         d->SetFVF(kTVertexFvf);
         d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TVertex));
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(15, 5), 0xFF000000u) << "alpha (15.5/32)*255 = 123 fails GREATER 128";
         EXPECT_EQ(t.Pixel(16, 5), 0xFF00FF00u) << "alpha 131 passes";
     }},
    {"cull_none", 32, 16,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
         d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
         TVertex v[6] = {{2, 2, 0.5f, 1, 0xFFFF0000, 0, 0},   {14, 2, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {2, 14, 0.5f, 1, 0xFFFF0000, 0, 0},  {18, 2, 0.5f, 1, 0xFF0000FF, 0, 0},
                         {18, 14, 0.5f, 1, 0xFF0000FF, 0, 0}, {30, 2, 0.5f, 1, 0xFF0000FF, 0, 0}};
         d->SetFVF(kTVertexFvf);
         d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(TVertex));
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(5, 5), 0xFFFF0000u);
         EXPECT_EQ(t.Pixel(21, 5), 0xFF0000FFu);
     }},
    {"cull_cw", 32, 16,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
         d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
         TVertex v[6] = {{2, 2, 0.5f, 1, 0xFFFF0000, 0, 0},   {14, 2, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {2, 14, 0.5f, 1, 0xFFFF0000, 0, 0},  {18, 2, 0.5f, 1, 0xFF0000FF, 0, 0},
                         {18, 14, 0.5f, 1, 0xFF0000FF, 0, 0}, {30, 2, 0.5f, 1, 0xFF0000FF, 0, 0}};
         d->SetFVF(kTVertexFvf);
         d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(TVertex));
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(5, 5), 0xFF000000u) << "the clockwise triangle is culled";
         EXPECT_EQ(t.Pixel(21, 5), 0xFF0000FFu);
     }},
    {"cull_ccw", 32, 16,
     [](IDirect3DDevice9* d) {
         d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
         TVertex v[6] = {{2, 2, 0.5f, 1, 0xFFFF0000, 0, 0},   {14, 2, 0.5f, 1, 0xFFFF0000, 0, 0},
                         {2, 14, 0.5f, 1, 0xFFFF0000, 0, 0},  {18, 2, 0.5f, 1, 0xFF0000FF, 0, 0},
                         {18, 14, 0.5f, 1, 0xFF0000FF, 0, 0}, {30, 2, 0.5f, 1, 0xFF0000FF, 0, 0}};
         d->SetFVF(kTVertexFvf);
         d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(TVertex));
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(5, 5), 0xFFFF0000u);
         EXPECT_EQ(t.Pixel(21, 5), 0xFF000000u) << "the counter-clockwise triangle is culled by default";
     }},
    {"address_wrap", 48, 48, [](IDirect3DDevice9* d) { TexturedQuad(d, D3DTADDRESS_WRAP, D3DTEXF_POINT); },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(1, 1), QuadrantTexel(0, 0));
         EXPECT_EQ(t.Pixel(14, 1), QuadrantTexel(3, 0)) << "left copy repeats the texture";
         EXPECT_EQ(t.Pixel(17, 17), QuadrantTexel(0, 0));
     }},
    {"address_mirror", 48, 48,
     [](IDirect3DDevice9* d) { TexturedQuad(d, D3DTADDRESS_MIRROR, D3DTEXF_POINT); },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(1, 17), QuadrantTexel(3, 0)) << "u in [-1, 0) runs backwards";
         EXPECT_EQ(t.Pixel(14, 17), QuadrantTexel(0, 0));
         EXPECT_EQ(t.Pixel(17, 17), QuadrantTexel(0, 0));
     }},
    {"address_clamp", 48, 48, [](IDirect3DDevice9* d) { TexturedQuad(d, D3DTADDRESS_CLAMP, D3DTEXF_POINT); },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(1, 1), QuadrantTexel(0, 0));
         EXPECT_EQ(t.Pixel(46, 46), QuadrantTexel(3, 3));
         EXPECT_EQ(t.Pixel(46, 17), QuadrantTexel(3, 0));
     }},
    {"address_border", 48, 48,
     [](IDirect3DDevice9* d) { TexturedQuad(d, D3DTADDRESS_BORDER, D3DTEXF_POINT); },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(1, 1), 0xFFFF00FFu);
         EXPECT_EQ(t.Pixel(46, 17), 0xFFFF00FFu);
         EXPECT_EQ(t.Pixel(29, 29), QuadrantTexel(3, 3));
     }},
    {"filter_point", 32, 32,
     [](IDirect3DDevice9* d) {
         BindTexture(d, 0, MakeTexture(d, 2, 2, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}));
         DrawRect(d, 0, 0, 32, 32, 0.5f, 0xFFFFFFFF);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(15, 0), 0xFF000000u);
         EXPECT_EQ(t.Pixel(16, 0), 0xFFFFFFFFu);
     }},
    {"filter_linear", 32, 32,
     [](IDirect3DDevice9* d) {
         BindTexture(d, 0, MakeTexture(d, 2, 2, {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}));
         d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
         d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
         d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
         DrawRect(d, 0, 0, 32, 32, 0.5f, 0xFFFFFFFF);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(0, 0), 0xFF000000u) << "clamped corner";
         EXPECT_NEAR(Red(t.Pixel(15, 0)), 120, 2) << "(15.5/16 - 0.5) = 0.47 of the way";
         EXPECT_NEAR(Red(t.Pixel(16, 16)), 127, 2) << "centre: all four texels";
     }},
    {"mip_selection", 64, 32,
     [](IDirect3DDevice9* d) {
         IDirect3DTexture9* tex = nullptr;
         d->CreateTexture(32, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
         const uint32_t colours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
         for (UINT l = 0; l < tex->GetLevelCount(); ++l) {
             D3DSURFACE_DESC desc;
             tex->GetLevelDesc(l, &desc);
             D3DLOCKED_RECT lr;
             tex->LockRect(l, &lr, nullptr, 0);
             for (UINT i = 0; i < desc.Width * desc.Height; ++i)
                 static_cast<uint32_t*>(lr.pBits)[i] = colours[l];
             tex->UnlockRect(l);
         }
         BindTexture(d, 0, tex);
         d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
         DrawRect(d, 0, 0, 32, 32, 0.5f, 0xFFFFFFFF);
         DrawRect(d, 32, 0, 48, 16, 0.5f, 0xFFFFFFFF);
         DrawRect(d, 48, 0, 56, 8, 0.5f, 0xFFFFFFFF);
         DrawRect(d, 56, 0, 60, 4, 0.5f, 0xFFFFFFFF);
         d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
         DrawRect(d, 32, 16, 44, 28, 0.5f, 0xFFFFFFFF); // 32 texels on 12 pixels: between levels 1 and 2
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(10, 10), 0xFFFF0000u) << "level 0";
         EXPECT_EQ(t.Pixel(40, 8), 0xFF00FF00u) << "level 1";
         EXPECT_EQ(t.Pixel(52, 4), 0xFF0000FFu) << "level 2";
         EXPECT_EQ(t.Pixel(58, 2), 0xFFFFFF00u) << "level 3";
         uint32_t mixed = t.Pixel(38, 22);
         EXPECT_GT(Green(mixed), 40);
         EXPECT_GT(Blue(mixed), 40);
     }},
    {"fog_linear_vertex", 32, 32, [](IDirect3DDevice9* d) { FogFloor(d, D3DFOG_NONE, D3DFOG_LINEAR); },
     CheckFogFloor},
    {"fog_exp_vertex", 32, 32, [](IDirect3DDevice9* d) { FogFloor(d, D3DFOG_NONE, D3DFOG_EXP); },
     CheckFogFloor},
    {"fog_exp2_vertex", 32, 32, [](IDirect3DDevice9* d) { FogFloor(d, D3DFOG_NONE, D3DFOG_EXP2); },
     CheckFogFloor},
    {"fog_linear_table", 32, 32, [](IDirect3DDevice9* d) { FogFloor(d, D3DFOG_LINEAR, D3DFOG_NONE); },
     CheckFogFloor},
    {"fog_exp2_table", 32, 32, [](IDirect3DDevice9* d) { FogFloor(d, D3DFOG_EXP2, D3DFOG_NONE); },
     CheckFogFloor},
    {"light_directional", 32, 32, [](IDirect3DDevice9* d) { LitSphere(d, Light(D3DLIGHT_DIRECTIONAL)); },
     [](TestDevice& t) { CheckLitSphere(t, false); }},
    {"light_point", 32, 32, [](IDirect3DDevice9* d) { LitSphere(d, Light(D3DLIGHT_POINT)); },
     [](TestDevice& t) { CheckLitSphere(t, false); }},
    {"light_spot", 32, 32, [](IDirect3DDevice9* d) { LitSphere(d, Light(D3DLIGHT_SPOT)); },
     [](TestDevice& t) { CheckLitSphere(t, true); }},
    {"bilinear_fast_paths", 48, 48, BilinearFastPaths,
     [](TestDevice& t) {
         // Clamped corners sample one texel; blended over black by its alpha
         // (0x40, then 0xF4): channel x (alpha + alpha / 128) / 256.
         const uint32_t first = t.Pixel(0, 16), last = t.Pixel(47, 31);
         EXPECT_EQ(Red(first), 0);
         EXPECT_EQ(Green(first), 255 * 64 / 256);
         EXPECT_EQ(Blue(first), 7 * 64 / 256);
         EXPECT_EQ(Red(last), 255 * 245 / 256);
         EXPECT_EQ(Green(last), 60 * 245 / 256);
         EXPECT_EQ(Blue(last), 186 * 245 / 256);
     }},
    {"two_stage_blend", 32, 32,
     [](IDirect3DDevice9* d) {
         BindTexture(d, 0, MakeTexture(d, 2, 1, {0xFF800000, 0xFF008000}));
         BindTexture(d, 1, MakeTexture(d, 1, 2, {0xFF000040, 0xFF000080}));
         d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
         d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
         d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
         d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
         d->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
         DrawRect(d, 0, 0, 32, 32, 0.5f, 0xFFFFFF80);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(4, 4), 0xFF800040u) << "red texel x white + blue 0x40";
         EXPECT_EQ(t.Pixel(20, 20), 0xFF008080u)
             << "green texel + blue 0x80 (diffuse blue 0x80 x texel 0 = 0)";
     }},
    {"cube_map", 32, 32,
     [](IDirect3DDevice9* d) {
         BindFaceColours(d);
         d->SetRenderState(D3DRS_LIGHTING, 0);
         d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
         CameraLooking(d, 3.0f);
         DrawSphere(d, 12, 16);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(16, 16), 0xFFFF00FFu) << "normal towards the camera: -Z face";
         EXPECT_EQ(t.Pixel(5, 16), 0xFF00FF00u) << "left rim: -X face";
         EXPECT_EQ(t.Pixel(16, 5), 0xFF0000FFu) << "top rim: +Y face";
     }},
    // Camera-space normals through a COUNT2 transform: u = nx / 2 + 0.6,
    // v = -ny / 2 + 0.6 (the fourth row translates the (n, 1) input).
    {"texgen_normal_count2", 32, 32,
     [](IDirect3DDevice9* d) {
         BindTexture(d, 0, MakeTexture(d, 4, 4, Quadrants()));
         d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
         d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
         d->SetRenderState(D3DRS_LIGHTING, 0);
         d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
         d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
         D3DMATRIX m{};
         m.m[0][0] = 0.5f;
         m.m[1][1] = -0.5f;
         m.m[3][0] = m.m[3][1] = 0.6f;
         d->SetTransform(D3DTS_TEXTURE0, &m);
         CameraLooking(d, 3.0f);
         DrawSphere(d, 12, 16);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(16, 16), QuadrantTexel(2, 2)) << "n = (0, 0, -1): u = v = 0.6";
         EXPECT_EQ(t.Pixel(5, 16), QuadrantTexel(0, 2)) << "left rim, nx near -0.8: u near 0.2";
         EXPECT_EQ(t.Pixel(27, 16), QuadrantTexel(3, 2)) << "right rim: u beyond 1, clamped";
         EXPECT_EQ(t.Pixel(16, 5), QuadrantTexel(2, 0)) << "top rim, ny near 0.8: v near 0.2";
     }},
    // Camera-space reflection vectors (distant viewer) through a COUNT3
    // rotation into the cube map: (x, y, z) becomes (-z, y, x).
    {"texgen_reflection_count3", 32, 32,
     [](IDirect3DDevice9* d) {
         BindFaceColours(d);
         d->SetRenderState(D3DRS_LIGHTING, 0);
         d->SetRenderState(D3DRS_LOCALVIEWER, 0);
         d->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
         d->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
         D3DMATRIX m{};
         m.m[0][2] = 1;
         m.m[1][1] = 1;
         m.m[2][0] = -1;
         m.m[3][3] = 1;
         d->SetTransform(D3DTS_TEXTURE0, &m);
         CameraLooking(d, 3.0f);
         DrawSphere(d, 12, 16);
     },
     [](TestDevice& t) {
         EXPECT_EQ(t.Pixel(16, 16), 0xFFFF0000u) << "r = (0, 0, -1) turned to +X";
         EXPECT_EQ(t.Pixel(5, 16), 0xFFFF00FFu) << "left rim: r near (-0.96, 0, 0.26) turned to -Z";
         EXPECT_EQ(t.Pixel(24, 16), 0xFF00FFFFu) << "right of centre: r near (0.89, 0, -0.46) turned to +Z";
         EXPECT_EQ(t.Pixel(16, 7), 0xFF0000FFu) << "above centre: r near (0, 0.96, -0.29) stays +Y";
     }},
};

class Scenes : public ::testing::TestWithParam<Scene>
{
};

} // namespace

TEST_P(Scenes, MatchReference)
{
    const Scene& s = GetParam();
    {
        TestDevice t(s.width, s.height);
        ASSERT_NE(t.device, nullptr);
        t.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(t.device->BeginScene(), D3D_OK);
        s.draw(t.device);
        ASSERT_EQ(t.device->EndScene(), D3D_OK);
        std::vector<uint32_t> pixels = t.Pixels();
        EXPECT_EQ(CompareWithReference(s.name, pixels, s.width, s.height), "");
        s.check(t);
    }
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

TEST_P(Scenes, SameOnEveryThreadCountAndInstructionSet)
{
    // Every draw cut into bands of rows (and its vertices into ranges), and
    // the AVX2 and AVX-512 span routines where the processor has them, must
    // give the picture of one thread on SSE2, byte for byte.
    const Scene& s = GetParam();
    auto render = [&](int threads, int vectorBits) {
        D3D9SetDeviceThreads(threads, true);
        D3D9SetVectorBits(vectorBits);
        TestDevice t(s.width, s.height);
        EXPECT_NE(t.device, nullptr);
        if (!t.device)
            return std::vector<uint32_t>();
        t.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        t.device->BeginScene();
        s.draw(t.device);
        t.device->EndScene();
        return t.Pixels();
    };
    const std::vector<uint32_t> one = render(1, 128);
    struct Way
    {
        int threads, vectorBits;
    };
    for (const Way way : {Way{4, 128}, Way{1, 256}, Way{4, 256}, Way{1, 512}, Way{4, 512}}) {
        const std::vector<uint32_t> other = render(way.threads, way.vectorBits);
        ASSERT_EQ(one.size(), other.size());
        size_t differing = 0;
        for (size_t i = 0; i < one.size(); ++i)
            differing += one[i] != other[i];
        EXPECT_EQ(differing, 0u) << way.threads << " threads, " << way.vectorBits << "-bit vectors";
    }
    D3D9SetDeviceThreads(0, false);
    D3D9SetVectorBits(0);
}

INSTANTIATE_TEST_SUITE_P(Table, Scenes, ::testing::ValuesIn(kScenes),
                         [](const ::testing::TestParamInfo<Scene>& info) {
                             return std::string(info.param.name);
                         });

TEST(FillRule, SharedEdgesTouchEveryPixelOnce)
{
    // A jittered grid of triangles blended additively: every covered pixel
    // must receive exactly one increment.
    TestDevice t(40, 40);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    d->SetRenderState(D3DRS_ZENABLE, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const int n = 6;
    float px[n + 1][n + 1], py[n + 1][n + 1];
    uint32_t seed = 12345;
    auto jitter = [&]() {
        seed = seed * 1103515245u + 12345u;
        return float((seed >> 16) % 1000) / 1000.0f * 3.0f - 1.5f;
    };
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            bool border = i == 0 || j == 0 || i == n || j == n;
            px[j][i] = 2.0f + float(i) * 6.0f + (border ? 0.0f : jitter());
            py[j][i] = 2.0f + float(j) * 6.0f + (border ? 0.0f : jitter());
        }
    std::vector<TVertex> v;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            TVertex a{px[j][i], py[j][i], 0.5f, 1, 0xFF010101, 0, 0},
                b{px[j][i + 1], py[j][i + 1], 0.5f, 1, 0xFF010101, 0, 0},
                c{px[j + 1][i], py[j + 1][i], 0.5f, 1, 0xFF010101, 0, 0},
                e{px[j + 1][i + 1], py[j + 1][i + 1], 0.5f, 1, 0xFF010101, 0, 0};
            v.insert(v.end(), {a, b, e, a, e, c});
        }
    d->SetFVF(kTVertexFvf);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(v.size() / 3), v.data(), sizeof(TVertex)), D3D_OK);
    std::vector<uint32_t> pixels = t.Pixels();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            // Pixel centres inside the outer square [2, 38] (right and bottom edges excluded).
            bool inside = x >= 2 && x < 38 && y >= 2 && y < 38;
            ASSERT_EQ(Red(pixels[size_t(y) * 40 + x]), inside ? 1 : 0) << "pixel " << x << ", " << y;
        }
}
