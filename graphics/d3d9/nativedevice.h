#pragma once
// The device values that native rasters, format fitting and pixel conversion
// read, taken from the driver's state: the Direct3D object and device, the
// caps, the current video mode, the back-buffer and depth-stencil formats
// and the device window's client area. Format checks pass the current
// mode's format as the adapter format, as Direct3D 9 expects.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

struct D3D9NativeDevice
{
    IDirect3D9* d3d; ///< no reference held
    UINT adapter;
    D3DDEVTYPE deviceType;
    IDirect3DDevice9* device; ///< no reference held; null outside a started device
    D3DCAPS9 caps;
    D3DFORMAT modeFormat; ///< the current video mode's format
    uint32_t modeDepth;   ///< its colour depth in bits
    uint32_t modeWidth;   ///< its size
    uint32_t modeHeight;
    D3DFORMAT backBufferFormat;
    uint32_t zBufferDepth; ///< 16 or 32: picks the depth-stencil formats
    D3DFORMAT depthStencilFormat;
    IDirect3DSurface9* autoDepthStencil; ///< no reference held
    uint32_t clientWidth;                ///< the device window's client area
    uint32_t clientHeight;
    D3DMULTISAMPLE_TYPE multiSampleType;
    DWORD multiSampleQuality;
};

/// A snapshot of the driver's values (all zero before the driver opens).
D3D9NativeDevice D3D9NativeDeviceGet();

/// Format checks against the current adapter, device type and mode format;
/// each true when the device accepts the format. Render-target and depth
/// checks include the depth-stencil match.
bool D3D9CheckTextureFormat(uint32_t format);
bool D3D9CheckCubeTextureFormat(uint32_t format);
bool D3D9CheckRenderTargetFormat(uint32_t format);
bool D3D9CheckCubeRenderTargetFormat(uint32_t format);
bool D3D9CheckDepthTextureFormat(uint32_t format);
bool D3D9CheckDepthSurfaceFormat(uint32_t format);
/// Automatic mip levels: the caps must report D3DCAPS2_CANAUTOGENMIPMAP and
/// the check must answer exactly D3D_OK (another success code counts as no).
bool D3D9CheckAutoMipmapTexture(uint32_t format);
bool D3D9CheckAutoMipmapRenderTarget(uint32_t format);
bool D3D9CheckAutoMipmapCubeTexture(uint32_t format);
bool D3D9CheckAutoMipmapCubeRenderTarget(uint32_t format);
