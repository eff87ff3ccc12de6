// Device loss and reset: everything in the default pool is released before
// the device is reset and re-created after it, the caches are forgotten and
// the engine's states sent again. The same sequence serves a lost device,
// window size changes and run-time mode or multisampling changes.

#include <cstdio>
#include <cstring>

#include "graphics/core/freelist.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/devicereset.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/d3d9/presentparams.h"
#include "graphics/d3d9/rasterext.h"

namespace {

void FetchDefaultSurfaces()
{
    D3D9DriverState& s = D3D9State();
    IDirect3DSurface9* surface = nullptr;
    s.defaultRenderTarget = SUCCEEDED(s.device->GetRenderTarget(0, &surface)) ? surface : nullptr;
    if (surface) {
        surface->Release();
    }
    surface = nullptr;
    s.defaultDepthStencil = SUCCEEDED(s.device->GetDepthStencilSurface(&surface)) ? surface : nullptr;
    if (surface) {
        surface->Release();
    }
}

} // namespace

void D3D9DeviceUnbindAll()
{
    IDirect3DDevice9* device = D3D9State().device;
    for (DWORD stage = 0; stage < kD3D9Stages; ++stage) {
        device->SetTexture(stage, nullptr);
    }
    device->SetIndices(nullptr);
    for (UINT stream = 0; stream < 4; ++stream) {
        device->SetStreamSource(stream, nullptr, 0, 0);
    }
    device->SetPixelShader(nullptr);
    device->SetVertexDeclaration(nullptr);
    device->SetVertexShader(nullptr);
}

void D3D9ReleaseForReset()
{
    D3D9DriverState& s = D3D9State();
    D3D9BindingsForget();
    D3D9TransformCacheReset();
    D3D9DeviceUnbindAll();
    D3D9SetRenderTarget(0, s.defaultRenderTarget);
    for (uint32_t target = 1; target < 4; ++target) {
        D3D9SetRenderTarget(target, nullptr);
    }
    D3D9SetDepthStencilSurface(s.defaultDepthStencil);
    D3D9Im2DReleaseBuffers();
    Im3DD3D9ReleaseBuffers();
    D3D9DynamicBuffersRelease();
    D3D9RasterReleaseDefaultPool();
    FreeListPurgeAll();
    if (s.releaseCallback) {
        s.releaseCallback();
    }
}

bool D3D9RecreateAfterReset()
{
    D3D9DriverState& s = D3D9State();
    FetchDefaultSurfaces();
    // The device's targets are its new defaults: nothing cached about them holds.
    D3D9TargetsForget();
    s.inScene = 0;
    bool ok = D3D9RasterRestoreDefaultPool() && D3D9DynamicBuffersRestore();
    if (ok) {
        D3D9RenderStateRestore();
        ok = D3D9LightCacheResend();
    }
    ok = ok && D3D9Im2DCreateBuffers() && Im3DD3D9CreateBuffers();
    if (!ok) {
        // The device is usable with what could be re-created; the restore
        // callback still runs so that its owner rebuilds its own resources.
        std::fprintf(stderr, "d3d9: re-creating the device resources after a reset failed\n");
    }
    if (s.restoreCallback) {
        s.restoreCallback();
    }
    return ok;
}

HRESULT D3D9ResetWithParameters(bool windowedRetry)
{
    D3D9DriverState& s = D3D9State();
    D3D9ReleaseForReset();
    HRESULT result = s.device->Reset(&s.present);
    if (result == D3DERR_INVALIDCALL && windowedRetry && s.present.Windowed) {
        D3DDISPLAYMODE mode{};
        s.d3d->GetAdapterDisplayMode(s.adapter, &mode);
        s.mode.format = mode.Format;
        s.present.BackBufferFormat = mode.Format;
        s.mode.depth = D3D9FormatColourDepth(mode.Format);
        result = s.device->Reset(&s.present);
    }
    if (SUCCEEDED(result)) {
        D3D9RecreateAfterReset();
    }
    return result;
}

int32_t D3D9TestDevice()
{
    D3D9DriverState& s = D3D9State();
    const HRESULT level = s.device->TestCooperativeLevel();
    if (SUCCEEDED(level)) {
        return 1;
    }
    if (level == D3DERR_DEVICENOTRESET && SUCCEEDED(D3D9ResetWithParameters(true))) {
        return 1;
    }
    s.inScene = 0;
    return 0;
}

int32_t D3D9OpenScene()
{
    D3D9DriverState& s = D3D9State();
    if (s.inScene) {
        return 1;
    }
    if (FAILED(s.device->BeginScene())) {
        return 0;
    }
    s.inScene = 1;
    return 1;
}

int32_t D3D9TestDeviceAndBeginScene()
{
    if (!D3D9State().device || !D3D9TestDevice()) {
        return 0;
    }
    return D3D9OpenScene();
}

bool D3D9RestoreLostDevice()
{
    D3D9DriverState& s = D3D9State();
    if (!s.device) {
        return false;
    }
    HRESULT result = s.device->TestCooperativeLevel();
    if (result == D3DERR_DEVICENOTRESET) {
        result = D3D9ResetWithParameters(true);
    }
    return SUCCEEDED(result);
}

bool D3D9ResizeWindowClient(uint32_t width, uint32_t height)
{
    D3D9DriverState& s = D3D9State();
    const LONG style = GetWindowLongA(s.window, GWL_STYLE) & LONG(~WS_MAXIMIZE);
    SetWindowLongA(s.window, GWL_STYLE, style);
    RECT rect = {0, 0, LONG(width), LONG(height)};
    AdjustWindowRectEx(&rect, DWORD(style), GetMenu(s.window) != nullptr,
                       DWORD(GetWindowLongA(s.window, GWL_EXSTYLE)));
    return SetWindowPos(s.window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                        SWP_NOMOVE | SWP_NOZORDER) != 0;
}

namespace {

/// Resets the device with `params`; on failure the saved parameters come back.
int32_t ResetForChange(const D3DPRESENT_PARAMETERS& params)
{
    D3D9DriverState& s = D3D9State();
    const D3DPRESENT_PARAMETERS saved = s.present;
    D3D9ReleaseForReset();
    s.device->TestCooperativeLevel();
    s.present = params;
    if (SUCCEEDED(s.device->Reset(&s.present)) && D3D9RecreateAfterReset()) {
        return 1;
    }
    D3D9ReleaseForReset();
    s.present = saved;
    if (FAILED(s.device->Reset(&s.present))) {
        return 0;
    }
    D3D9RecreateAfterReset();
    return -1;
}

} // namespace

int32_t D3D9ChangeVideoMode(int32_t index)
{
    D3D9DriverState& s = D3D9State();
    if (!s.started || !D3D9EnsureModeTable() || index < 0 || index >= s.modeCount ||
        index == s.currentModeIndex) {
        return 1;
    }
    const D3D9VideoModeEntry& entry = s.modes[index];
    const D3D9CurrentMode mode = {entry.width,
                                  entry.height,
                                  entry.refreshRate,
                                  D3DFORMAT(entry.format),
                                  D3D9FormatColourDepth(D3DFORMAT(entry.format)),
                                  entry.flags};
    D3DPRESENT_PARAMETERS params = s.present;
    D3D9BuildPresentParameters(&params, mode, s.desktop.Format);
    const int32_t result = ResetForChange(params);
    if (result <= 0) {
        return result == 0 ? 0 : 1;
    }
    s.currentModeIndex = index;
    s.mode = mode;
    if (mode.flags & 1) {
        D3D9ResizeWindowClient(mode.width, mode.height);
    } else if (s.window) {
        SetWindowLongA(s.window, GWL_STYLE, LONG(WS_OVERLAPPEDWINDOW | WS_VISIBLE));
        D3D9ResizeWindowClient(s.present.BackBufferWidth, s.present.BackBufferHeight);
        RECT client{};
        GetClientRect(s.window, &client);
        s.mode.width = uint32_t(client.right);
        s.mode.height = uint32_t(client.bottom);
    }
    return 1;
}

int32_t D3D9ChangeMultiSamplingLevels(uint32_t levels)
{
    D3D9DriverState& s = D3D9State();
    if (!s.started || levels == s.requestedMultiSamples) {
        return 1;
    }
    const uint32_t oldRequested = s.requestedMultiSamples;
    const uint32_t oldQuality = s.nonMaskableQuality;
    s.nonMaskableQuality = D3D9ComputeMultiSampling(levels, &s.requestedMultiSamples);
    D3DPRESENT_PARAMETERS params = s.present;
    D3D9BuildPresentParameters(&params, s.mode, s.desktop.Format);
    const int32_t result = ResetForChange(params);
    if (result <= 0) {
        s.requestedMultiSamples = oldRequested;
        s.nonMaskableQuality = oldQuality;
    }
    return result == 0 ? 0 : 1;
}
