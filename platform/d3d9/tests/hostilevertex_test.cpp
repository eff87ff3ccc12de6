// Vertices no sane program sends: NaN, infinities, numbers far beyond the
// screen and positions on the guard band's edges, in each kind of primitive,
// pre-transformed and transformed, on one thread and split into bands. The
// device must draw them without undefined behaviour or a hang, drop every
// primitive that has a vertex that is not a number, and clip far ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "testdevice.h"

using namespace d3d9test;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr DWORD kClipSpaceFvf = D3DFVF_XYZW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr int kSize = 16;

DWORD F(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

/// The thread settings every case runs under: the calling thread alone, and
/// four threads with every draw cut into bands.
struct Threads
{
    int threads;
    bool everyDraw;
};
constexpr Threads kThreadSettings[] = {{1, false}, {4, true}};

struct ThreadScope
{
    explicit ThreadScope(const Threads& t) { D3D9SetDeviceThreads(t.threads, t.everyDraw); }
    ~ThreadScope() { D3D9SetDeviceThreads(0, false); }
};

/// Clip space equals object space (w as given): x, y in [-w, w] fill the viewport.
void IdentityTransforms(IDirect3DDevice9* d)
{
    const D3DMATRIX id = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    d->SetTransform(D3DTS_WORLD, &id);
    d->SetTransform(D3DTS_VIEW, &id);
    d->SetTransform(D3DTS_PROJECTION, &id);
    d->SetRenderState(D3DRS_LIGHTING, 0);
}

/// A primitive kind: the draw of all three vertices, and the draw of what
/// must remain when vertex 0 is dropped (from vertex 1 on; no primitive: 0).
struct Kind
{
    const char* name;
    D3DPRIMITIVETYPE type;
    UINT count;
    D3DPRIMITIVETYPE restType;
    UINT restCount;
    DWORD fill;
    bool sprite;
};
constexpr Kind kKinds[] = {
    {"solid triangle", D3DPT_TRIANGLELIST, 1, D3DPT_TRIANGLELIST, 0, D3DFILL_SOLID, false},
    {"triangle strip", D3DPT_TRIANGLESTRIP, 1, D3DPT_TRIANGLELIST, 0, D3DFILL_SOLID, false},
    {"wireframe triangle", D3DPT_TRIANGLEFAN, 1, D3DPT_TRIANGLELIST, 0, D3DFILL_WIREFRAME, false},
    {"point-filled triangle", D3DPT_TRIANGLELIST, 1, D3DPT_TRIANGLELIST, 0, D3DFILL_POINT, false},
    {"line list", D3DPT_LINELIST, 1, D3DPT_LINELIST, 0, D3DFILL_SOLID, false},
    {"line strip", D3DPT_LINESTRIP, 2, D3DPT_LINESTRIP, 1, D3DFILL_SOLID, false},
    {"points", D3DPT_POINTLIST, 3, D3DPT_POINTLIST, 2, D3DFILL_SOLID, false},
    {"point sprites", D3DPT_POINTLIST, 3, D3DPT_POINTLIST, 2, D3DFILL_SOLID, true},
};

/// Draws `count` primitives of `kind` from `v` on a black frame, Gouraud
/// shaded or with a bilinear texture of 2 x 2 texels.
std::vector<uint32_t> Render(const Kind& kind, bool pretransformed, bool textured, const TVertex* v,
                             D3DPRIMITIVETYPE type, UINT count)
{
    TestDevice t(kSize, kSize);
    IDirect3DDevice9* d = t.device;
    IdentityTransforms(d);
    IDirect3DTexture9* texture =
        textured ? MakeTexture(d, 2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF}) : nullptr;
    d->SetTexture(0, texture);
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_FILLMODE, kind.fill);
    d->SetRenderState(D3DRS_POINTSPRITEENABLE, kind.sprite ? 1 : 0);
    d->SetRenderState(D3DRS_POINTSIZE, F(kind.sprite ? 4.0f : 1.0f));
    d->SetFVF(pretransformed ? kTVertexFvf : kClipSpaceFvf);
    if (count > 0) {
        EXPECT_EQ(d->DrawPrimitiveUP(type, count, v, sizeof(TVertex)), D3D_OK);
    }
    d->SetTexture(0, nullptr);
    if (texture)
        texture->Release();
    return t.Pixels();
}

int Lit(const std::vector<uint32_t>& pixels)
{
    int lit = 0;
    for (uint32_t p : pixels)
        lit += (p & 0xFFFFFF) != 0;
    return lit;
}

// The three vertices every case starts from, well inside the 16 x 16 frame:
// in pixels (pre-transformed) or in clip space with w = 1.
void BaseVertices(bool pretransformed, TVertex* v)
{
    const float px[3][2] = {{2.5f, 2.5f}, {13.5f, 4.5f}, {4.5f, 13.5f}};
    for (int i = 0; i < 3; ++i) {
        const float x = pretransformed ? px[i][0] : px[i][0] / 8.0f - 1.0f;
        const float y = pretransformed ? px[i][1] : 1.0f - px[i][1] / 8.0f;
        v[i] = {x, y, 0.5f, 1.0f, 0xFFFFFFFF, 0.25f, 0.75f};
    }
}

struct Hostile
{
    const char* name;
    float value;
};
constexpr Hostile kNotNumbers[] = {{"NaN", kNaN}, {"+inf", kInf}, {"-inf", -kInf}};
constexpr Hostile kFarAway[] = {{"1e30", 1e30f},         {"-1e30", -1e30f},
                                {"largest", 3.4e38f},    {"-largest", -3.4e38f},
                                {"denormal", 1e-40f},    {"zero", 0.0f},
                                {"guard edge", 1024.0f}, {"pre-transformed guard edge", 16383.0f}};

float& Component(TVertex& v, int k)
{
    return k == 0 ? v.x : k == 1 ? v.y : k == 2 ? v.z : v.rhw;
}

} // namespace

TEST(HostileVertices, AVertexThatIsNotANumberDropsItsPrimitivesWhole)
{
    for (const Kind& kind : kKinds)
        for (bool pretransformed : {true, false})
            for (int k = 0; k < 4; ++k)
                for (const Hostile& h : kNotNumbers)
                    for (const Threads& threads : kThreadSettings) {
                        SCOPED_TRACE(std::string(kind.name) + (pretransformed ? ", pre-transformed" : "") +
                                     ", component " + std::to_string(k) + " = " + h.name + ", threads " +
                                     std::to_string(threads.threads));
                        ThreadScope scope(threads);
                        TVertex v[3];
                        BaseVertices(pretransformed, v);
                        const std::vector<uint32_t> rest =
                            Render(kind, pretransformed, false, v + 1, kind.restType, kind.restCount);
                        Component(v[0], k) = h.value;
                        EXPECT_EQ(Render(kind, pretransformed, false, v, kind.type, kind.count), rest);
                    }
}

TEST(HostileVertices, FarAwayVerticesDrawTheSameOnEveryThreadCount)
{
    for (const Kind& kind : kKinds)
        for (bool pretransformed : {true, false})
            for (bool textured : {false, true})
                for (int k = 0; k < 4; ++k)
                    for (const Hostile& h : kFarAway) {
                        SCOPED_TRACE(std::string(kind.name) + (pretransformed ? ", pre-transformed" : "") +
                                     (textured ? ", textured" : "") + ", component " + std::to_string(k) +
                                     " = " + h.name);
                        TVertex v[3];
                        BaseVertices(pretransformed, v);
                        Component(v[0], k) = h.value;
                        std::vector<uint32_t> first;
                        for (const Threads& threads : kThreadSettings) {
                            ThreadScope scope(threads);
                            const std::vector<uint32_t> pixels =
                                Render(kind, pretransformed, textured, v, kind.type, kind.count);
                            if (first.empty())
                                first = pixels;
                            EXPECT_EQ(pixels, first) << "threads " << threads.threads;
                        }
                    }
}

// Triangles far larger than the frame: kept whole inside the guard band,
// clipped to it beyond (transformed), dropped beyond it (pre-transformed,
// as nothing can clip them), and dropped where w is next to 0. (Vertices
// near 1e30 are clipped too, but single precision cannot place the cut
// within the guard band's width of them: they need only draw safely.)
TEST(HostileVertices, GuardBandEdgesAndFarVerticesFillOrDropAsAWhole)
{
    struct Case
    {
        const char* name;
        bool pretransformed;
        float x0, x1, y2, w; // vertices (x0, base), (x1, base), (0, y2), all with this w
        bool fills;          // every pixel lit; else none
    };
    // The frame is 16 pixels: the transformed guard band reaches 1024 half
    // viewports either way, the pre-transformed one 16384 pixels.
    const Case cases[] = {
        {"on the guard band", false, -1024.0f, 1024.0f, 1024.0f, 1.0f, true},
        {"just beyond it", false, -1025.0f, 1025.0f, 1025.0f, 1.0f, true},
        {"far beyond it", false, -1e6f, 1e6f, 1e6f, 1.0f, true},
        {"w next to 0", false, 0.0f, 1e-40f, 1e-40f, 1e-40f, false},
        {"pre-transformed inside", true, -16383.0f, 16383.0f, 16383.0f, 1.0f, true},
        {"pre-transformed beyond", true, -16384.0f, 16384.0f, 16384.0f, 1.0f, false},
        {"pre-transformed far beyond", true, -1e30f, 1e30f, 1e30f, 1.0f, false},
    };
    for (const Case& c : cases)
        for (const Threads& threads : kThreadSettings) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads.threads));
            ThreadScope scope(threads);
            // Pre-transformed: a base just above the frame, the apex far below;
            // clip space: the base as far below as the apex is above.
            const float base = c.pretransformed ? -1.0f : -c.y2;
            const TVertex v[3] = {{c.x0, base, 0.5f, c.w, 0xFFFFFFFF, 0, 0},
                                  {c.x1, base, 0.5f, c.w, 0xFFFFFFFF, 0, 0},
                                  {0.0f, c.y2, 0.5f, c.w, 0xFFFFFFFF, 0, 0}};
            const std::vector<uint32_t> pixels =
                Render(kKinds[0], c.pretransformed, false, v, D3DPT_TRIANGLELIST, 1);
            EXPECT_EQ(Lit(pixels), c.fills ? kSize * kSize : 0);
        }
}
