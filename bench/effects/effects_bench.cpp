// The material effects' per-frame work: the bump vertices of a 50k-vertex
// mesh (EffectsBumpMapFillVertices, tangents given by the instancing or
// derived from the triangles) in vertices per second, and the single-pass
// dual-textured grid through the software device in pixels per second
// (bench_effects_osmesa races it against OSMesa).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/effects/effects_grid.h"
#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectsbumpmap.h"
#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/scenelibrary.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_engine.h"

namespace {

/// Vertices per side of the bump grid: 224 x 224 = 50176.
constexpr int kSide = 224;

/// The engine on the software device in a headless window, with the
/// effects plug-in; a bump-mapped material lit by a point light, and a
/// grid mesh of kSide x kSide vertices (an indexed triangle list) laid out
/// as the instancing lays it out, with or without tangents.
class BumpScene
{
  public:
    explicit BumpScene(bool tangents) : m_bytes(InstancedDataSize(1))
    {
        if (!std::getenv("DISPLAY")) {
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        }
        m_window = Win32WindowCreate("bench_effects", 64, 48);
        EngineSetDeviceDriver(D3D9DriverGet());
        D3D9SceneRendererInstall();
        static EngineOpenParams params;
        params.displayId = m_window;
        if (!m_window || !EngineInit(nullptr, 0, 0x400000) || !WorldLibraryAttach() ||
            !EffectsPluginAttach() || !EngineOpen(&params) || !EngineStart()) {
            return;
        }
        m_ok = Material() && Mesh(tangents);
    }

    ~BumpScene()
    {
        if (m_indices) {
            m_indices->Release();
        }
        if (m_vertices) {
            m_vertices->Release();
        }
        D3D9VertexDeclarationRelease(m_declaration);
        if (m_material) {
            MaterialRelease(m_material);
        }
        if (m_light) {
            LightDestroy(m_light);
        }
        if (m_frame) {
            FrameDestroy(m_frame);
        }
        ToolEngineShutdown();
        if (m_window) {
            Win32WindowDestroy(m_window);
        }
    }
    BumpScene(const BumpScene&) = delete;
    BumpScene& operator=(const BumpScene&) = delete;

    bool Ok() const { return m_ok; }
    uint32_t Vertices() const { return uint32_t(kSide * kSide); }

    int32_t Fill(EffectsBumpVertex* out)
    {
        return EffectsBumpMapFillVertices(Data(), InstancedDataMeshes(Data())[0], out);
    }

  private:
    InstancedData* Data() { return reinterpret_cast<InstancedData*>(m_bytes.data()); }

    bool Material()
    {
        m_frame = FrameCreate();
        m_light = LightCreate(kLightPoint);
        m_material = MaterialCreate();
        Raster* raster = RasterCreate(64, 64, 32, kRasterTypeTexture | kRasterFormat8888);
        Texture* bump = raster ? TextureCreate(raster) : nullptr;
        if (!m_frame || !m_light || !m_material || !bump) {
            return false;
        }
        const V3d above = {0.5f, 0.5f, -2.0f};
        FrameTranslate(m_frame, &above, kCombineReplace);
        ObjectHasFrameSetFrame(&m_light->object, m_frame);
        const bool ok = MaterialEffectsSetType(m_material, EffectTypeBumpMap) &&
                        MaterialEffectsSetupBumpMap(m_material, bump, m_frame, 0.5f);
        TextureDestroy(bump);
        D3DMATRIX identity = {};
        identity.m[0][0] = identity.m[1][1] = identity.m[2][2] = identity.m[3][3] = 1.0f;
        D3D9SetTransform(D3DTS_WORLD, &identity);
        return ok;
    }

    bool Mesh(bool tangents)
    {
        std::vector<D3DVERTEXELEMENT9> elements = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                                   {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                                   {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0}};
        uint32_t stride = 32;
        if (tangents) {
            elements.push_back({0, 32, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0});
            stride = 44;
        }
        elements.push_back(D3DDECL_END());
        std::vector<float> floats;
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const float u = float(x) / float(kSide - 1);
                const float v = float(y) / float(kSide - 1);
                floats.insert(floats.end(), {u, v, 0.1f * u * v, 0.0f, 0.0f, -1.0f, u, v});
                if (tangents) {
                    floats.insert(floats.end(), {1.0f, 0.0f, 0.0f});
                }
            }
        }
        std::vector<uint16_t> indices;
        // Every vertex index fits 16 bits: 50176 vertices.
        for (int y = 0; y + 1 < kSide; ++y) {
            for (int x = 0; x + 1 < kSide; ++x) {
                const uint32_t a = uint32_t(y * kSide + x);
                for (uint32_t i : {a, a + kSide, a + 1, a + 1, a + kSide, a + kSide + 1}) {
                    indices.push_back(uint16_t(i));
                }
            }
        }
        IDirect3DDevice9* device = D3D9GetDevice();
        void* to = nullptr;
        if (!D3D9VertexDeclarationCreate(elements.data(), &m_declaration) ||
            FAILED(device->CreateVertexBuffer(UINT(floats.size() * 4), 0, 0, D3DPOOL_MANAGED, &m_vertices,
                                              nullptr)) ||
            FAILED(m_vertices->Lock(0, 0, &to, 0))) {
            return false;
        }
        std::memcpy(to, floats.data(), floats.size() * 4);
        m_vertices->Unlock();
        if (FAILED(device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                             &m_indices, nullptr)) ||
            FAILED(m_indices->Lock(0, 0, &to, 0))) {
            return false;
        }
        std::memcpy(to, indices.data(), indices.size() * 2);
        m_indices->Unlock();
        InstancedData* data = Data();
        data->numMeshes = 1;
        data->indexBuffer = m_indices;
        data->primType = D3DPT_TRIANGLELIST;
        data->streams[0] = {m_vertices, 0, stride, 0, 1, 1};
        data->declaration = m_declaration;
        data->totalIndices = uint32_t(indices.size());
        data->numVertices = Vertices();
        InstancedMesh& mesh = InstancedDataMeshes(data)[0];
        mesh.material = m_material;
        mesh.numIndices = uint32_t(indices.size());
        mesh.numVertices = Vertices();
        mesh.numPrimitives = mesh.numIndices / 3;
        return true;
    }

    std::vector<uint8_t> m_bytes;
    HWND m_window = nullptr;
    Frame* m_frame = nullptr;
    Light* m_light = nullptr;
    ::Material* m_material = nullptr;
    IDirect3DVertexDeclaration9* m_declaration = nullptr;
    IDirect3DVertexBuffer9* m_vertices = nullptr;
    IDirect3DIndexBuffer9* m_indices = nullptr;
    bool m_ok = false;
};

void BM_BumpFillVertices(benchmark::State& state)
{
    BumpScene scene(state.range(0) != 0);
    if (!scene.Ok()) {
        state.SkipWithError("the engine or the mesh could not be made");
        return;
    }
    std::vector<EffectsBumpVertex> out(scene.Vertices());
    for (auto _ : state) {
        benchmark::DoNotOptimize(scene.Fill(out.data()));
        benchmark::ClobberMemory();
    }
    state.counters["vertices/s"] =
        benchmark::Counter(double(scene.Vertices()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BumpFillVertices)->ArgName("givenTangents")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_DualTexturedGrid(benchmark::State& state)
{
    D3D9SetDeviceThreads(1, false);
    fxbench::DeviceGrid grid;
    if (!grid.Ok()) {
        state.SkipWithError("the device could not be created");
        return;
    }
    for (auto _ : state) {
        grid.DrawFrame();
    }
    state.counters["Mpix/s"] =
        benchmark::Counter(fxbench::kGridPixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DualTexturedGrid)->Unit(benchmark::kMillisecond);

} // namespace
