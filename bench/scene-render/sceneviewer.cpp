#include "bench/scene-render/sceneviewer.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/scene/light.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

namespace scenebench {

DeviceDrawState DeviceDrawStateCapture(IDirect3DDevice9* device)
{
    DeviceDrawState state;
    device->GetTransform(D3DTS_WORLD, &state.world);
    device->GetTransform(D3DTS_VIEW, &state.view);
    device->GetTransform(D3DTS_PROJECTION, &state.projection);
    device->GetMaterial(&state.material);
    for (DWORD i = 0; i < 256; ++i)
        device->GetRenderState(D3DRENDERSTATETYPE(i), &state.renderStates[i]);
    for (DWORD stage = 0; stage < 2; ++stage)
        for (DWORD type = 0; type < 33; ++type)
            device->GetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type),
                                         &state.stageStates[stage][type]);
    for (DWORD type = 0; type < 14; ++type)
        device->GetSamplerState(0, D3DSAMPLERSTATETYPE(type), &state.samplerStates[type]);
    for (DWORD index = 0; index < 64; ++index) {
        D3DLIGHT9 light{};
        BOOL on = 0;
        if (SUCCEEDED(device->GetLight(index, &light))) {
            state.lights.resize(index + 1);
            state.lightSet.resize(index + 1);
            state.lightOn.resize(index + 1);
            state.lights[index] = light;
            state.lightSet[index] = true;
            state.lightOn[index] = SUCCEEDED(device->GetLightEnable(index, &on)) && on;
        }
    }
    IDirect3DBaseTexture9* texture = nullptr;
    if (SUCCEEDED(device->GetTexture(0, &texture)) && texture) {
        state.texture = reinterpret_cast<uintptr_t>(texture);
        texture->Release();
    }
    IDirect3DVertexDeclaration9* declaration = nullptr;
    if (SUCCEEDED(device->GetVertexDeclaration(&declaration)) && declaration) {
        state.declaration = reinterpret_cast<uintptr_t>(declaration);
        declaration->Release();
    }
    IDirect3DIndexBuffer9* indices = nullptr;
    if (SUCCEEDED(device->GetIndices(&indices)) && indices) {
        state.indices = reinterpret_cast<uintptr_t>(indices);
        indices->Release();
    }
    for (UINT s = 0; s < 2; ++s) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        UINT offset = 0, stride = 0;
        if (SUCCEEDED(device->GetStreamSource(s, &buffer, &offset, &stride)) && buffer) {
            state.streamBuffer[s] = reinterpret_cast<uintptr_t>(buffer);
            state.streamOffset[s] = offset;
            state.streamStride[s] = stride;
            buffer->Release();
        }
    }
    return state;
}

SceneViewer::SceneViewer(int32_t width, int32_t height)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    window = Win32WindowCreate("scene-render", width, height);
    if (!window || !SceneViewEngineStart(window))
        return;
    const std::string data = OLAI_SAMPLE_DATA;
    SceneViewOptions options;
    options.world = data + "/level.bsp";
    for (const char* name : {"button", "crate", "lift", "morph", "soldier"})
        options.models.push_back(data + "/" + name + ".dff");
    options.instances = 500;
    options.width = width;
    options.height = height;
    std::string error;
    ok = SceneViewCreate(&view, options, &error);
}

SceneViewer::~SceneViewer()
{
    if (ok)
        SceneViewDestroy(&view);
    if (window) {
        SceneViewEngineStop();
        Win32WindowDestroy(window);
    }
}

void SceneViewer::Render()
{
    SceneViewRender(&view);
}

RecordedFrame SceneViewer::Record()
{
    IDirect3DDevice9* device = D3D9GetDevice();
    RecordedFrame frame;
    frame.start = DeviceDrawStateCapture(device);
    D3D9CallLogStart(device);
    SceneViewRender(&view);
    D3D9CallLogStop(device);
    frame.calls = D3D9CallLog(device);
    return frame;
}

void SceneViewer::Replay(const RecordedFrame& frame)
{
    const uint8_t sky[4] = {96, 128, 160, 255};
    CameraClear(view.camera, sky, 3);
    CameraBeginUpdate(view.camera);
    IDirect3DDevice9* device = D3D9ResetDeviceCache();
    for (const D3D9CallRecord& call : frame.calls)
        D3D9CallReplay(device, call);
    D3D9ResetDeviceCache();
    CameraEndUpdate(view.camera);
    RasterShowRaster(view.camera->frameBuffer, nullptr, 0);
}

std::vector<uint32_t> SceneViewer::Pixels() const
{
    std::vector<uint32_t> pixels;
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(D3D9GetDevice()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)))
        return pixels;
    D3DSURFACE_DESC desc{};
    D3DLOCKED_RECT locked{};
    if (SUCCEEDED(surface->GetDesc(&desc)) &&
        SUCCEEDED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        for (UINT y = 0; y < desc.Height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.pBits) +
                                                                y * locked.Pitch);
            pixels.insert(pixels.end(), row, row + desc.Width);
        }
        surface->UnlockRect();
    }
    surface->Release();
    return pixels;
}

void SceneViewer::RemoveSpotLights()
{
    std::vector<Light*> kept;
    for (Light* light : view.lights) {
        if (LightGetType(light) != kLightSpot) {
            kept.push_back(light);
            continue;
        }
        WorldRemoveLight(view.world, light);
        Frame* frame = LightGetFrame(light);
        ObjectHasFrameSetFrame(&light->object, nullptr);
        LightDestroy(light);
        FrameDestroy(frame);
    }
    view.lights = kept;
}

} // namespace scenebench
