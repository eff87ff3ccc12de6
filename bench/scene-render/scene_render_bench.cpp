// Frames of the sample world through the scene renderer, headless: the world
// with 500 copies of the five sample models spread over its floor, textured,
// lit by the viewer's ambient, directional, point and spot lights, drawn by
// WorldRender into a 640 x 480 and a 64 x 48 frame; frames per second.
// Beside it, the plain loop: the same buffers, declarations, world matrices
// and textures, recorded once from an engine frame, sent straight to the
// device (lights and material as the engine left them). The ratio of the two
// is the engine's overhead.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/rasterext.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/material.h"
#include "tools/scene-view/sceneview.h"

namespace {

// One object drawn by the engine: its instanced data and world matrix.
struct RecordedDraw
{
    ResourcesEntry* entry;
    D3DMATRIX world;
};
std::vector<RecordedDraw> gRecorded;
bool gRecording = false;

void RecordingRender(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags)
{
    if (gRecording) {
        RecordedDraw draw = {entry, {}};
        D3D9GetTransform(D3DTS_WORLD, &draw.world);
        gRecorded.push_back(draw);
    }
    DefaultRender(entry, object, objectType, flags);
}

void RecordNextFrame()
{
    for (PipelineObjectKind kind : {kPipelineKindAtomic, kPipelineKindWorldSector}) {
        AllInOneNodeSetRenderCallBack(PipelineGetNode(PipelineGetDefaultSlots()->current[kind], 0),
                                      RecordingRender);
    }
    gRecorded.clear();
    gRecording = true;
}

IDirect3DBaseTexture9* DeviceTexture(const Material* material)
{
    if (!material || !material->texture || !material->texture->raster) {
        return nullptr;
    }
    return static_cast<IDirect3DBaseTexture9*>(D3D9RasterGetExtension(material->texture->raster)->object);
}

// The recorded objects sent straight to the device, bypassing the caches.
void PlainFrame(SceneView* view)
{
    const uint8_t sky[4] = {96, 128, 160, 255};
    CameraClear(view->camera, sky, 3);
    CameraBeginUpdate(view->camera);
    IDirect3DDevice9* device = D3D9ResetDeviceCache();
    for (const RecordedDraw& draw : gRecorded) {
        InstancedData* data = InstancedDataFromEntry(draw.entry);
        device->SetTransform(D3DTS_WORLD, &draw.world);
        device->SetVertexDeclaration(data->declaration);
        for (UINT s = 0; s < 2; ++s) {
            const InstancedStream& stream = data->streams[s];
            device->SetStreamSource(s, stream.buffer, data->useOffsets ? stream.offset : 0, stream.stride);
        }
        device->SetIndices(data->indexBuffer);
        const InstancedMesh* meshes = InstancedDataMeshes(data);
        for (uint32_t m = 0; m < data->numMeshes; ++m) {
            device->SetTexture(0, DeviceTexture(meshes[m].material));
            device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(data->primType), INT(meshes[m].baseVertexIndex), 0,
                                         meshes[m].numVertices, meshes[m].startIndex,
                                         meshes[m].numPrimitives);
        }
    }
    D3D9ResetDeviceCache();
    CameraEndUpdate(view->camera);
    RasterShowRaster(view->camera->frameBuffer, nullptr, 0);
}

struct Viewer
{
    HWND window = nullptr;
    SceneView view;
    bool ok = false;

    Viewer(int32_t width, int32_t height)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window = Win32WindowCreate("scene-render", width, height);
        if (!window || !SceneViewEngineStart(window)) {
            return;
        }
        const std::string data = OLAI_SAMPLE_DATA;
        SceneViewOptions options;
        options.world = data + "/level.bsp";
        for (const char* name : {"button", "crate", "lift", "morph", "soldier"}) {
            options.models.push_back(data + "/" + name + ".dff");
        }
        options.instances = 500;
        options.width = width;
        options.height = height;
        std::string error;
        ok = SceneViewCreate(&view, options, &error);
    }
    ~Viewer()
    {
        if (ok) {
            SceneViewDestroy(&view);
        }
        if (window) {
            SceneViewEngineStop();
            Win32WindowDestroy(window);
        }
    }
};

void WorldFrame(benchmark::State& state)
{
    Viewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    SceneViewRender(&viewer.view); // first instancing outside the timing
    for (auto _ : state) {
        SceneViewRender(&viewer.view);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(WorldFrame)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

void PlainLoop(benchmark::State& state)
{
    Viewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    RecordNextFrame();
    SceneViewRender(&viewer.view);
    gRecording = false;
    for (auto _ : state) {
        PlainFrame(&viewer.view);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["objects"] = double(gRecorded.size());
}
BENCHMARK(PlainLoop)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

} // namespace
