#pragma once
// The scene of the scene-render benchmarks: the sample world with 500 copies
// of its five models, lit by the viewer's lights, headless; one of its frames
// recorded from the device's call log, replayed straight to the device (the
// plain loop) or translated for GL (the comparison).
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9control.h"
#include "platform/win32/win32.h"
#include "tools/scene-view/sceneview.h"

namespace scenebench {

/// The device state a draw depends on, from the device (before the frame)
/// and then from each call of the log.
struct DeviceDrawState
{
    D3DMATRIX world{}, view{}, projection{};
    D3DMATERIAL9 material{};
    std::vector<D3DLIGHT9> lights; ///< every light set so far, by index
    std::vector<bool> lightSet, lightOn;
    DWORD renderStates[256] = {};
    DWORD stageStates[2][33] = {};
    DWORD samplerStates[14] = {};
    uint64_t texture = 0; ///< stage 0's texture
    uint64_t declaration = 0, indices = 0;
    uint64_t streamBuffer[2] = {}, streamOffset[2] = {}, streamStride[2] = {};
};

/// The state of the device now: everything a later call of the log may leave as it is.
DeviceDrawState DeviceDrawStateCapture(IDirect3DDevice9* device);

/// One engine frame as the device saw it: its state before and every call.
struct RecordedFrame
{
    DeviceDrawState start;
    std::vector<D3D9CallRecord> calls;
};

struct SceneViewer
{
    HWND window = nullptr;
    SceneView view;
    bool ok = false;

    SceneViewer(int32_t width, int32_t height);
    ~SceneViewer();
    SceneViewer(const SceneViewer&) = delete;
    SceneViewer& operator=(const SceneViewer&) = delete;

    /// One frame through the engine (WorldRender), shown.
    void Render();
    /// The next engine frame, recorded.
    RecordedFrame Record();
    /// The recorded calls sent straight to the device between the camera's
    /// clear and show, bypassing the engine and the driver's caches.
    void Replay(const RecordedFrame& frame);
    /// The back buffer, XRGB words, top row first.
    std::vector<uint32_t> Pixels() const;
    /// Takes the spot lights out of the scene.
    void RemoveSpotLights();
};

} // namespace scenebench
