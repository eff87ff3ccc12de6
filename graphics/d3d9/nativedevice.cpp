// The device values of native rasters and the adapter's format checks.

#include "graphics/d3d9/nativedevice.h"

#include "graphics/d3d9/driverstate.h"
#include "platform/win32/win32.h"

namespace {

HRESULT Check(const D3D9DriverState& s, DWORD usage, D3DRESOURCETYPE type, uint32_t format)
{
    if (!s.d3d) {
        return D3DERR_NOTAVAILABLE;
    }
    return s.d3d->CheckDeviceFormat(s.adapter, s.deviceType, s.mode.format, usage, type, D3DFORMAT(format));
}

bool Matches(const D3D9DriverState& s, D3DFORMAT renderTarget, uint32_t depthStencil)
{
    return SUCCEEDED(s.d3d->CheckDepthStencilMatch(s.adapter, s.deviceType, s.mode.format, renderTarget,
                                                   D3DFORMAT(depthStencil)));
}

bool RenderTarget(D3DRESOURCETYPE type, uint32_t format)
{
    const D3D9DriverState& s = D3D9State();
    return SUCCEEDED(Check(s, D3DUSAGE_RENDERTARGET, type, format)) &&
           Matches(s, D3DFORMAT(format), s.present.AutoDepthStencilFormat);
}

bool Depth(D3DRESOURCETYPE type, uint32_t format)
{
    const D3D9DriverState& s = D3D9State();
    return SUCCEEDED(Check(s, D3DUSAGE_DEPTHSTENCIL, type, format)) && Matches(s, s.mode.format, format);
}

bool AutoMipmap(DWORD usage, D3DRESOURCETYPE type, uint32_t format)
{
    const D3D9DriverState& s = D3D9State();
    return (s.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) && Check(s, usage, type, format) == D3D_OK;
}

} // namespace

D3D9NativeDevice D3D9NativeDeviceGet()
{
    const D3D9DriverState& s = D3D9State();
    D3D9NativeDevice d{};
    d.d3d = s.d3d;
    d.adapter = s.adapter;
    d.deviceType = s.deviceType;
    d.device = s.device;
    d.caps = s.caps;
    d.modeFormat = s.mode.format;
    d.modeDepth = s.mode.depth;
    d.modeWidth = s.mode.width;
    d.modeHeight = s.mode.height;
    d.backBufferFormat = s.present.BackBufferFormat;
    d.zBufferDepth = s.backBufferDepth;
    d.depthStencilFormat = s.present.AutoDepthStencilFormat;
    d.autoDepthStencil = s.defaultDepthStencil;
    RECT client{};
    if (s.window && GetClientRect(s.window, &client)) {
        d.clientWidth = uint32_t(client.right - client.left);
        d.clientHeight = uint32_t(client.bottom - client.top);
    } else {
        d.clientWidth = s.present.BackBufferWidth;
        d.clientHeight = s.present.BackBufferHeight;
    }
    d.multiSampleType = s.present.MultiSampleType;
    d.multiSampleQuality = s.present.MultiSampleQuality;
    return d;
}

bool D3D9CheckTextureFormat(uint32_t format)
{
    return SUCCEEDED(Check(D3D9State(), 0, D3DRTYPE_TEXTURE, format));
}

bool D3D9CheckCubeTextureFormat(uint32_t format)
{
    return SUCCEEDED(Check(D3D9State(), 0, D3DRTYPE_CUBETEXTURE, format));
}

bool D3D9CheckRenderTargetFormat(uint32_t format)
{
    return RenderTarget(D3DRTYPE_TEXTURE, format);
}

bool D3D9CheckCubeRenderTargetFormat(uint32_t format)
{
    return RenderTarget(D3DRTYPE_CUBETEXTURE, format);
}

bool D3D9CheckDepthTextureFormat(uint32_t format)
{
    return Depth(D3DRTYPE_TEXTURE, format);
}

bool D3D9CheckDepthSurfaceFormat(uint32_t format)
{
    return Depth(D3DRTYPE_SURFACE, format);
}

bool D3D9CheckAutoMipmapTexture(uint32_t format)
{
    return AutoMipmap(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, format);
}

bool D3D9CheckAutoMipmapRenderTarget(uint32_t format)
{
    return AutoMipmap(D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format);
}

bool D3D9CheckAutoMipmapCubeTexture(uint32_t format)
{
    return AutoMipmap(D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_CUBETEXTURE, format);
}

bool D3D9CheckAutoMipmapCubeRenderTarget(uint32_t format)
{
    return AutoMipmap(D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, format);
}
