// The driver's front: its device record and the numbered device requests
// (open, close, start, stop, modes, subsystems, entry points). The state they
// work on and its accessors are in driverstate.cpp.

#include <cassert>
#include <cstring>

#include "graphics/core/cpu.h"
#include "graphics/core/engine.h"
#include "graphics/core/freelist.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/devicereset.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/d3d9/presentparams.h"
#include "graphics/d3d9/quirks.h"
#include "graphics/d3d9/rasterext.h"

namespace {

int32_t Im2DLine(Im2DVertex* vertices, int32_t count, int32_t a, int32_t b)
{
    return D3D9Im2DRenderLine(vertices, count, a, b);
}

const DeviceBlock kDeviceRecord = {
    1.0f,
    D3D9SystemHandler,
    0.0f,
    1.0f,
    D3D9RenderStateSet,
    D3D9RenderStateGet,
    Im2DLine,
    D3D9Im2DRenderTriangle,
    D3D9Im2DRenderPrimitive,
    D3D9Im2DRenderIndexedPrimitive,
    {nullptr, nullptr, nullptr, nullptr},
};

bool AttachDriver()
{
    return D3D9RasterExtensionOpen() >= 0 && Im3DModuleAttach() >= 0;
}

const DeviceDriver kDriver = {D3D9DriverGetDevice, AttachDriver};

int32_t Open(void* in)
{
    D3D9DriverState& s = D3D9State();
    s.window = in ? static_cast<HWND>(static_cast<EngineOpenParams*>(in)->displayId) : nullptr;
    s.d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!s.d3d) {
        return 0;
    }
    s.deviceType = D3DDEVTYPE_HAL;
    const UINT adapters = s.d3d->GetAdapterCount();
    bool found = false;
    for (UINT adapter = 0; adapter < adapters; ++adapter) {
        if (SUCCEEDED(s.d3d->GetDeviceCaps(adapter, s.deviceType, &s.caps))) {
            s.adapter = adapter;
            found = true;
            break;
        }
    }
    if (!found) {
        s.d3d->Release();
        s.d3d = nullptr;
        return 0;
    }
    s.totalModeCount = D3D9CountAdapterModes();
    D3DDISPLAYMODE mode{};
    s.d3d->GetAdapterDisplayMode(s.adapter, &mode);
    s.mode = {mode.Width, mode.Height, mode.RefreshRate, mode.Format, D3D9FormatColourDepth(mode.Format), 0};
    s.desktop = mode;
    s.currentModeIndex = 0;
    D3D9QueryMultiSampling();
    CpuDetectFeatures(&s.cpu);
    return 1;
}

int32_t Close()
{
    D3D9DriverState& s = D3D9State();
    D3D9FreeModeTable();
    if (s.d3d) {
        s.d3d->Release();
        s.d3d = nullptr;
    }
    // Options belong to one open: the next open starts from the defaults.
    D3D9DriverStateClear();
    return 1;
}

int32_t Stop();

int32_t Start()
{
    D3D9DriverState& s = D3D9State();
    if (!s.d3d) {
        return 0;
    }
    D3DDISPLAYMODE desktop{};
    s.d3d->GetAdapterDisplayMode(s.adapter, &desktop);
    std::memset(&s.present, 0, sizeof(s.present));
    D3D9BuildPresentParameters(&s.present, s.mode, desktop.Format);
    s.present.hDeviceWindow = s.window;
    s.present.Flags = s.dialogBoxMode ? D3DPRESENTFLAG_LOCKABLE_BACKBUFFER : 0;

    s.d3d->GetDeviceCaps(s.adapter, s.deviceType, &s.caps);
    D3DADAPTER_IDENTIFIER9 identifier{};
    if (SUCCEEDED(s.d3d->GetAdapterIdentifier(s.adapter, 0, &identifier))) {
        D3D9ApplyAdapterQuirks(&s.caps, &identifier);
    }

    DWORD behaviour = s.multiThreadSafe ? D3DCREATE_MULTITHREADED : 0;
    if (s.softwareVertexProcessing) {
        behaviour |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        s.caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
        s.caps.DeclTypes = 0;
    } else if (s.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
        behaviour |= D3DCREATE_HARDWARE_VERTEXPROCESSING;
        if (s.caps.DevCaps & D3DDEVCAPS_PUREDEVICE) {
            behaviour |= D3DCREATE_PUREDEVICE;
        }
    } else {
        behaviour |= D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }

    if (FAILED(s.d3d->CreateDevice(s.adapter, s.deviceType, s.window, behaviour, &s.present, &s.device))) {
        s.device = nullptr;
        s.started = 0;
        return 0;
    }
    if (s.dialogBoxMode) {
        s.device->SetDialogBoxMode(1);
    }
    if (s.window) {
        RECT client{};
        if (GetClientRect(s.window, &client)) {
            s.mode.width = uint32_t(client.right);
            s.mode.height = uint32_t(client.bottom);
        }
    }
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

    D3D9TargetsForget();
    D3D9BindingsForget();
    D3D9TransformCacheReset();
    D3D9LightCacheFree();
    s.inScene = 0;
    bool ok = D3D9RasterListCreate() && D3D9Im2DCreateBuffers();
    if (ok) {
        D3D9RenderStateInit();
        ok = D3D9BuffersOpen();
    }
    if (!ok) {
        // The engine does not stop a device that failed to start.
        Stop();
        return 0;
    }
    s.started = 1;
    return 1;
}

int32_t Stop()
{
    D3D9DriverState& s = D3D9State();
    s.started = 0;
    D3D9FreeModeTable();
    CpuRestoreControlState();
    D3D9TransformCacheDestroy();
    D3D9LightCacheFree();
    if (s.device) {
        D3D9DeviceUnbindAll();
    }
    D3D9BindingsForget();
    D3D9TargetsForget();
    // The immediate modes give their declarations back before the
    // declaration cache releases whatever is left.
    D3D9Im2DReleaseBuffers();
    Im3DD3D9ReleaseBuffers();
    D3D9VertexDeclarationsClose();
    D3D9RasterListDestroy();
    D3D9BuffersClose();
    for (D3D9StageRecord& stage : s.engine.stages) {
        stage.raster = nullptr;
    }
    if (s.device) {
        s.device->Release();
        s.device = nullptr;
    }
    s.defaultRenderTarget = s.defaultDepthStencil = nullptr;
    s.inScene = 0;
    s.currentCamera = nullptr;
    return 1;
}

int32_t SelectVideoMode(int32_t index)
{
    D3D9DriverState& s = D3D9State();
    if (s.started || !D3D9EnsureModeTable() || index < 0 || index >= s.modeCount) {
        return 0;
    }
    const D3D9VideoModeEntry& entry = s.modes[index];
    s.currentModeIndex = index;
    s.mode = {entry.width,
              entry.height,
              entry.refreshRate,
              D3DFORMAT(entry.format),
              D3D9FormatColourDepth(D3DFORMAT(entry.format)),
              entry.flags};
    D3D9QueryMultiSampling();
    return 1;
}

int32_t SelectSubsystem(int32_t index)
{
    D3D9DriverState& s = D3D9State();
    // An adapter the Direct3D object does not list cannot be used.
    if (index < 0 || uint32_t(index) >= s.d3d->GetAdapterCount()) {
        return 0;
    }
    s.adapter = uint32_t(index);
    s.totalModeCount = D3D9CountAdapterModes();
    D3DDISPLAYMODE mode{};
    s.d3d->GetAdapterDisplayMode(s.adapter, &mode);
    s.mode.width = mode.Width;
    s.mode.height = mode.Height;
    s.mode.refreshRate = mode.RefreshRate;
    s.mode.format = mode.Format;
    s.mode.depth = D3D9FormatColourDepth(mode.Format);
    if (!D3D9BuildModeTable()) {
        return 0;
    }
    D3D9QueryMultiSampling();
    return 1;
}

int32_t SubsystemInfo(void* out, int32_t index)
{
    D3D9DriverState& s = D3D9State();
    if (index < 0 || uint32_t(index) >= s.d3d->GetAdapterCount()) {
        return 0;
    }
    D3DADAPTER_IDENTIFIER9 identifier{};
    s.d3d->GetAdapterIdentifier(uint32_t(index), 0, &identifier);
    // The engine's record holds kSubSystemNameSize bytes: longer descriptions are cut.
    char* name = static_cast<SubSystemInfo*>(out)->name;
    size_t length = strnlen(identifier.Description, sizeof(identifier.Description));
    if (length > kSubSystemNameSize - 1) {
        length = kSubSystemNameSize - 1;
    }
    std::memcpy(name, identifier.Description, length);
    name[length] = '\0';
    return 1;
}

int32_t Focus(int32_t restore)
{
    D3D9DriverState& s = D3D9State();
    if (!s.device) {
        return 0;
    }
    if (s.mode.flags & 1) {
        ShowWindow(s.window, restore ? SW_RESTORE : SW_HIDE);
    }
    return 1;
}

int32_t VideoModeInfo(void* out, int32_t index)
{
    D3D9DriverState& s = D3D9State();
    if (!D3D9EnsureModeTable() || index < 0 || index >= s.modeCount) {
        return 0;
    }
    const D3D9VideoModeEntry& entry = s.modes[index];
    int32_t engineFormat = 0;
    switch (entry.format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A2R10G10B10:
        engineFormat = 0x0500;
        break;
    case D3DFMT_X8R8G8B8:
        engineFormat = 0x0600;
        break;
    case D3DFMT_R5G6B5:
        engineFormat = 0x0200;
        break;
    case D3DFMT_X1R5G5B5:
        engineFormat = 0x0A00;
        break;
    case D3DFMT_A1R5G5B5:
        engineFormat = 0x0100;
        break;
    default:
        break;
    }
    *static_cast<VideoMode*>(out) = {int32_t(entry.width),
                                     int32_t(entry.height),
                                     int32_t(D3D9FormatColourDepth(D3DFORMAT(entry.format))),
                                     entry.flags & 1,
                                     int32_t(entry.refreshRate),
                                     engineFormat};
    return 1;
}

} // namespace

const DeviceDriver* D3D9DriverGet()
{
    return &kDriver;
}

const DeviceBlock* D3D9DriverGetDevice()
{
    return &kDeviceRecord;
}

int32_t D3D9SystemHandler(int32_t request, void* out, void* inOut, int32_t number)
{
    D3D9DriverState& s = D3D9State();
    const bool open = s.d3d != nullptr;
    switch (request) {
    case kDeviceRequestOpen:
        return Open(inOut);
    case kDeviceRequestClose:
        return Close();
    case kDeviceRequestStart:
        return Start();
    case kDeviceRequestStop:
        return Stop();
    case kDeviceRequestRegister:
        *static_cast<DeviceBlock*>(out) = kDeviceRecord;
        return 1;
    case kDeviceRequestNumVideoModes:
        if (!open || !D3D9EnsureModeTable()) {
            return 0;
        }
        *static_cast<int32_t*>(out) = s.modeCount;
        return 1;
    case kDeviceRequestVideoModeInfo:
        return open ? VideoModeInfo(out, number) : 0;
    case kDeviceRequestUseVideoMode:
        return open ? SelectVideoMode(number) : 0;
    case kDeviceRequestFocus:
        return Focus(number);
    case kDeviceRequestCurrentVideoMode:
        *static_cast<int32_t*>(out) = s.currentModeIndex;
        return 1;
    case kDeviceRequestEntryPoints:
        return D3D9GetStandardFunctions(out, nullptr, number);
    case kDeviceRequestTextureMemorySize:
        if (!s.device) {
            return 0;
        }
        *static_cast<int32_t*>(out) = int32_t(s.device->GetAvailableTextureMem());
        return 1;
    case kDeviceRequestNumSubSystems:
        if (!open) {
            return 0;
        }
        *static_cast<int32_t*>(out) = int32_t(s.d3d->GetAdapterCount());
        return 1;
    case kDeviceRequestSubSystemInfo:
        return open ? SubsystemInfo(out, number) : 0;
    case kDeviceRequestCurrentSubSystem:
        *static_cast<int32_t*>(out) = int32_t(s.adapter);
        return 1;
    case kDeviceRequestSetSubSystem:
        return open ? SelectSubsystem(number) : 0;
    case kDeviceRequestAfterStart:
        CpuInstallRoutines(&s.cpu);
        return 1;
    case kDeviceRequestMaxTextureSize:
        *static_cast<int32_t*>(out) =
            int32_t(s.caps.MaxTextureWidth > s.caps.MaxTextureHeight ? s.caps.MaxTextureWidth
                                                                     : s.caps.MaxTextureHeight);
        return 1;
    case kDeviceRequestDeviceId:
        *static_cast<uint16_t*>(out) = 2;
        return 1;
    default:
        return 0;
    }
}
