// Atomic instancing on the software device, headless at 640 x 480: the first
// instancing of a 50k-vertex geometry (normals, two texture sets, pre-lit
// colours) and the per-frame reinstancing of a 10k-vertex two-target morphing
// atomic, beside drawing that atomic's buffers on the device; all in vertices
// per second. Reinstancing should cost at most a tenth of drawing.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/scenelibrary.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A grid of columns x rows vertices over [-0.9, 0.9]^2 at depth 0.5, each
// target lifted by 0.1 more; normals, two texture sets, pre-lit colours.
Geometry* Grid(int32_t columns, int32_t rows, int32_t targets)
{
    const int32_t triangles = 2 * (columns - 1) * (rows - 1);
    Geometry* geometry = GeometryCreate(
        columns * rows, triangles, kGeometryNormals | kGeometryPreLit | kGeometryTextured2 | kGeometryLight);
    if (!geometry || (targets > 1 && GeometryAddMorphTargets(geometry, targets - 1) < 0)) {
        return nullptr;
    }
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            const int32_t v = r * columns + c;
            const float x = -0.9f + 1.8f * float(c) / float(columns - 1);
            const float y = -0.9f + 1.8f * float(r) / float(rows - 1);
            for (int32_t t = 0; t < targets; ++t) {
                geometry->morphTargets[t].vertices[v] = {x, y + 0.1f * float(t), 0.5f};
                geometry->morphTargets[t].normals[v] = {0.0f, 0.0f, -1.0f};
            }
            for (int32_t set = 0; set < 2; ++set) {
                geometry->texCoords[set][v] = {float(c) / float(columns - 1), float(r) / float(rows - 1)};
            }
            geometry->preLitColours[v] = {uint8_t(c), uint8_t(r), 128, 255};
        }
    }
    int32_t t = 0;
    for (int32_t r = 0; r + 1 < rows; ++r) {
        for (int32_t c = 0; c + 1 < columns; ++c) {
            const auto v = uint16_t(r * columns + c);
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t++], v, uint16_t(v + columns),
                                             uint16_t(v + 1));
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t++], uint16_t(v + 1),
                                             uint16_t(v + columns), uint16_t(v + columns + 1));
        }
    }
    return GeometryUnlock(geometry);
}

// The engine on the software device in a headless window, the renderer's
// default pipelines open (no render callback: the pipeline only instances).
struct Engine
{
    HWND window = nullptr;
    EngineOpenParams params{};
    Frame* frame = nullptr;
    bool ok = false;

    Engine()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window = Win32WindowCreate("scene-instance", kWidth, kHeight);
        EngineSetDeviceDriver(D3D9DriverGet());
        params.displayId = window;
        D3D9SceneRendererInstall();
        ok = window && EngineInit(nullptr, 0, 0x4000000) && WorldLibraryAttach() && EngineOpen(&params) &&
             EngineStart();
        frame = ok ? FrameCreate() : nullptr;
    }
    ~Engine()
    {
        if (frame) {
            FrameDestroy(frame);
        }
        ToolEngineShutdown();
        if (window) {
            Win32WindowDestroy(window);
        }
    }
    Atomic* AtomicOf(Geometry* geometry) const
    {
        Atomic* atomic = AtomicCreate();
        AtomicSetGeometry(atomic, geometry, 0);
        AtomicSetFrame(atomic, frame);
        GeometryRelease(geometry);
        return atomic;
    }
};

void FirstInstancing(benchmark::State& state)
{
    Engine engine;
    Geometry* geometry = engine.ok ? Grid(250, 200, 1) : nullptr;
    if (!geometry) {
        state.SkipWithError("no engine or geometry");
        return;
    }
    Atomic* atomic = engine.AtomicOf(geometry);
    for (auto _ : state) {
        if (geometry->instanced) {
            ResourcesFreeEntry(geometry->instanced);
        }
        benchmark::DoNotOptimize(AtomicDefaultRender(atomic));
    }
    state.SetItemsProcessed(state.iterations() * geometry->numVertices);
    AtomicDestroy(atomic);
}
BENCHMARK(FirstInstancing)->Unit(benchmark::kMillisecond);

void MorphReinstancing(benchmark::State& state)
{
    Engine engine;
    Geometry* geometry = engine.ok ? Grid(100, 100, 2) : nullptr;
    if (!geometry) {
        state.SkipWithError("no engine or geometry");
        return;
    }
    Atomic* atomic = engine.AtomicOf(geometry);
    atomic->interpolator = {1, 0, 1, 1.0f, 1.0f, 0.0f};
    float position = 0.0f;
    for (auto _ : state) {
        position = position > 0.9f ? 0.05f : position + 0.05f;
        atomic->interpolator.position = position;
        atomic->interpolator.flags |= 1;
        benchmark::DoNotOptimize(AtomicDefaultRender(atomic));
        D3D9DynamicBuffersNewFrame();
    }
    state.SetItemsProcessed(state.iterations() * geometry->numVertices);
    AtomicDestroy(atomic);
}
BENCHMARK(MorphReinstancing)->Unit(benchmark::kMillisecond);

// The same atomic's buffers drawn by the device: declaration, streams and
// indices bound, one indexed draw per mesh, unlit (pre-lit colours).
void MorphDrawing(benchmark::State& state)
{
    Engine engine;
    Geometry* geometry = engine.ok ? Grid(100, 100, 2) : nullptr;
    if (!geometry) {
        state.SkipWithError("no engine or geometry");
        return;
    }
    Atomic* atomic = engine.AtomicOf(geometry);
    atomic->interpolator = {1, 0, 1, 1.0f, 1.0f, 0.5f};
    AtomicDefaultRender(atomic);
    InstancedData* data = InstancedDataFromEntry(atomic->instanced);
    IDirect3DDevice9* device = D3D9GetDevice();
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    D3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (auto _ : state) {
        device->BeginScene();
        D3D9SetVertexDeclaration(data->declaration);
        for (uint32_t s = 0; s < 2; ++s) {
            const InstancedStream& stream = data->streams[s];
            D3D9SetStreamSource(s, stream.buffer, data->useOffsets ? stream.offset : 0, stream.stride);
        }
        D3D9SetIndices(data->indexBuffer);
        const InstancedMesh* meshes = InstancedDataMeshes(data);
        for (uint32_t m = 0; m < data->numMeshes; ++m) {
            D3D9DrawIndexedPrimitive(D3DPRIMITIVETYPE(data->primType), int32_t(meshes[m].baseVertexIndex), 0,
                                     meshes[m].numVertices, meshes[m].startIndex, meshes[m].numPrimitives);
        }
        device->EndScene();
    }
    state.SetItemsProcessed(state.iterations() * geometry->numVertices);
    AtomicDestroy(atomic);
}
BENCHMARK(MorphDrawing)->Unit(benchmark::kMillisecond);

} // namespace
