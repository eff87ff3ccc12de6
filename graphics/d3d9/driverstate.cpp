// The driver's state block and the accessors and options that read and
// write it, apart from the request handler that drives it.

#include <cstring>
#include <initializer_list>

#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/driverstate.h"

namespace {

D3D9DriverState gState;

void ResetOptionDefaults(D3D9DriverState& s)
{
    s.deviceType = D3DDEVTYPE_HAL;
    s.maxMultiSamples = s.requestedMultiSamples = s.nonMaskableCount = s.nonMaskableQuality = 1;
    s.refreshCap = 0xFFFFFFFF;
    s.staticBufferSize = 0x20000;
}

struct StateInitialiser
{
    StateInitialiser() { ResetOptionDefaults(gState); }
} gStateInitialiser;

} // namespace

D3D9DriverState& D3D9State()
{
    return gState;
}

void D3D9DriverStateClear()
{
    std::memset(&gState, 0, sizeof(gState));
    ResetOptionDefaults(gState);
}

IDirect3DDevice9* D3D9GetDevice()
{
    return gState.device;
}

IDirect3D9* D3D9GetDirect3D()
{
    return gState.d3d;
}

const D3DCAPS9* D3D9GetCaps()
{
    return &gState.caps;
}

const D3DPRESENT_PARAMETERS* D3D9GetPresentParameters()
{
    return &gState.present;
}

uint32_t D3D9GetHasStencil()
{
    return gState.hasStencil;
}

uint32_t D3D9EngineSetMultiThreadSafe(uint32_t flag)
{
    gState.multiThreadSafe = flag;
    return 1;
}

uint32_t D3D9EngineSetSoftwareVertexProcessing(uint32_t flag)
{
    gState.softwareVertexProcessing = flag;
    return 1;
}

uint32_t D3D9EngineSetDialogBoxMode(uint32_t flag)
{
    D3D9DriverState& s = gState;
    if (s.dialogBoxMode == flag) {
        return flag;
    }
    s.dialogBoxMode = flag;
    if (s.started) {
        return SUCCEEDED(s.device->SetDialogBoxMode(flag)) ? 1 : 0;
    }
    s.maxMultiSamples = s.requestedMultiSamples = s.nonMaskableCount = s.nonMaskableQuality = 1;
    return 1;
}

bool D3D9DeviceSupportsDXTTexture()
{
    D3D9DriverState& s = gState;
    if (!s.d3d) {
        return false;
    }
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        if (SUCCEEDED(s.d3d->CheckDeviceFormat(s.adapter, s.deviceType, s.mode.format, 0, D3DRTYPE_TEXTURE,
                                               format))) {
            return true;
        }
    }
    return false;
}

void D3D9SetStencilClear(uint32_t value)
{
    gState.stencilClear = value;
}

uint32_t D3D9GetStencilClear()
{
    return gState.stencilClear;
}

void D3D9SetDeviceReleaseCallback(D3D9DeviceCallback callback)
{
    gState.releaseCallback = callback;
}

D3D9DeviceCallback D3D9GetDeviceReleaseCallback()
{
    return gState.releaseCallback;
}

void D3D9SetDeviceEventCallback(D3D9DeviceCallback callback)
{
    gState.restoreCallback = callback;
}

D3D9DeviceCallback D3D9GetDeviceEventCallback()
{
    return gState.restoreCallback;
}
