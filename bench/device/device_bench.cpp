// Fill and transform rates of the software device, headless at 640 x 480 on
// one thread: full-screen quads (Gouraud, bilinear-textured, mostly
// depth-rejected) in Mpix/s and a lit sphere in Mtri/s.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "platform/d3d9/d3d9control.h"

namespace {

constexpr UINT kWidth = 640, kHeight = 480;
constexpr int kQuads = 10;

struct Bench
{
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    Bench()
    {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferWidth = kWidth;
        p.BackBufferHeight = kHeight;
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = 1;
        p.EnableAutoDepthStencil = 1;
        p.AutoDepthStencilFormat = D3DFMT_D24S8;
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device);
    }
    ~Bench()
    {
        if (device)
            device->Release();
        d3d->Release();
    }
};

struct QuadVertex
{
    float x, y, z, rhw;
    D3DCOLOR colour;
    float u, v;
};

// Ten full-screen quads; depth from 0.9 down to 0.0 (back to front) or the
// other way round (front to back: nine of ten fail LESSEQUAL).
void DrawQuads(IDirect3DDevice9* d, bool frontToBack)
{
    for (int q = 0; q < kQuads; ++q) {
        int order = frontToBack ? q : kQuads - 1 - q;
        float z = float(order) / float(kQuads);
        D3DCOLOR a = 0xFF000000u | uint32_t(q * 25) << 16 | 0x4080;
        D3DCOLOR b = 0xFF00FF00u | uint32_t(255 - q * 25);
        QuadVertex v[4] = {{-0.5f, -0.5f, z, 1, a, 0, 0},
                           {kWidth - 0.5f, -0.5f, z, 1, b, 4, 0},
                           {-0.5f, kHeight - 0.5f, z, 1, b, 0, 4},
                           {kWidth - 0.5f, kHeight - 0.5f, z, 1, a, 4, 4}};
        d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(QuadVertex));
    }
}

void RunFill(benchmark::State& state, bool textured, bool frontToBack)
{
    Bench b;
    IDirect3DDevice9* d = b.device;
    IDirect3DTexture9* texture = nullptr;
    if (textured) {
        d->CreateTexture(256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        D3DLOCKED_RECT lr;
        texture->LockRect(0, &lr, nullptr, 0);
        auto* texels = static_cast<uint32_t*>(lr.pBits);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                texels[y * 256 + x] =
                    0xFF000000u | uint32_t(x) << 16 | uint32_t(y) << 8 | uint32_t((x ^ y) & 255);
        texture->UnlockRect(0);
        d->SetTexture(0, texture);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    } else {
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    }
    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    d->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    for (auto _ : state) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        d->BeginScene();
        DrawQuads(d, frontToBack);
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
    }
    if (texture)
        texture->Release();
    const double pixels = double(kWidth) * kHeight * kQuads * double(state.iterations());
    state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_FlatGouraudBackToFront(benchmark::State& state)
{
    RunFill(state, false, false);
}
void BM_BilinearBackToFront(benchmark::State& state)
{
    RunFill(state, true, false);
}
void BM_FlatGouraudFrontToBack(benchmark::State& state)
{
    RunFill(state, false, true);
}

struct SphereVertex
{
    float x, y, z, nx, ny, nz;
};

void BM_LitSphere(benchmark::State& state)
{
    // rings x segments x 2 triangles.
    const int segments = int(state.range(0));
    const int rings = segments / 2;
    std::vector<SphereVertex> vertices;
    std::vector<uint32_t> indices;
    for (int r = 0; r <= rings; ++r) {
        float phi = 3.14159265f * float(r) / float(rings);
        for (int s = 0; s <= segments; ++s) {
            float theta = 2 * 3.14159265f * float(s) / float(segments);
            float x = std::sin(phi) * std::cos(theta), y = std::cos(phi), z = std::sin(phi) * std::sin(theta);
            vertices.push_back({x, y, z, x, y, z});
        }
    }
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            uint32_t a = uint32_t(r * (segments + 1) + s), b = a + uint32_t(segments) + 1;
            indices.insert(indices.end(), {a, a + 1, b, a + 1, b + 1, b});
        }
    Bench bench;
    IDirect3DDevice9* d = bench.device;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    d->CreateVertexBuffer(UINT(vertices.size() * sizeof(SphereVertex)), D3DUSAGE_WRITEONLY, 0,
                          D3DPOOL_MANAGED, &vb, nullptr);
    d->CreateIndexBuffer(UINT(indices.size() * 4), D3DUSAGE_WRITEONLY, D3DFMT_INDEX32, D3DPOOL_MANAGED, &ib,
                         nullptr);
    void* data;
    vb->Lock(0, 0, &data, 0);
    std::copy(vertices.begin(), vertices.end(), static_cast<SphereVertex*>(data));
    vb->Unlock();
    ib->Lock(0, 0, &data, 0);
    std::copy(indices.begin(), indices.end(), static_cast<uint32_t*>(data));
    ib->Unlock();
    D3DMATRIX world{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    D3DMATRIX view = world;
    view.m[3][2] = 3.0f;
    D3DMATRIX proj{};
    proj.m[0][0] = 1.8f * 0.75f;
    proj.m[1][1] = 1.8f;
    proj.m[2][2] = 20.0f / 19.5f;
    proj.m[2][3] = 1;
    proj.m[3][2] = -0.5f * 20.0f / 19.5f;
    d->SetTransform(D3DTS_WORLD, &world);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATERIAL9 material{};
    material.Diffuse = {1, 0.8f, 0.6f, 1};
    material.Ambient = {1, 1, 1, 1};
    d->SetMaterial(&material);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {1, -1, 1};
    d->SetLight(0, &light);
    d->LightEnable(0, 1);
    d->SetRenderState(D3DRS_AMBIENT, 0xFF202020);
    d->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    d->SetStreamSource(0, vb, 0, sizeof(SphereVertex));
    d->SetIndices(ib);
    const UINT triangles = UINT(indices.size() / 3);
    for (auto _ : state) {
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        d->BeginScene();
        d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, UINT(vertices.size()), 0, triangles);
        d->EndScene();
        d->Present(nullptr, nullptr, nullptr, nullptr);
    }
    d->SetStreamSource(0, nullptr, 0, 0);
    d->SetIndices(nullptr);
    vb->Release();
    ib->Release();
    state.counters["Mtri/s"] =
        benchmark::Counter(double(triangles) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["triangles"] = triangles;
}

} // namespace

BENCHMARK(BM_FlatGouraudBackToFront)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BilinearBackToFront)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatGouraudFrontToBack)->Unit(benchmark::kMillisecond);
// 100 x 50 x 2 = 10,000 ... 142 x 71 x 2 = 20,164 and 448 x 224 x 2 = 200,704 triangles.
BENCHMARK(BM_LitSphere)->Arg(142)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LitSphere)->Arg(448)->Unit(benchmark::kMillisecond);
