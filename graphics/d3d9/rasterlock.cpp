// Locking raster levels. Texture rasters lock their level surface directly;
// camera and camera-texture rasters lock a system-memory copy that is read
// back from the render target on a read lock and copied to it on unlock.

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/nativerasterlist.h"

namespace {

bool Fail(uint32_t code)
{
    ErrorRaise(0, code);
    return false;
}

bool IsLockable(uint8_t type)
{
    return type == kRasterTypeNormal || type == kRasterTypeTexture || type == kRasterTypeCamera ||
           type == kRasterTypeCameraTexture;
}

bool IsCameraType(uint8_t type)
{
    return type == kRasterTypeCamera || type == kRasterTypeCameraTexture;
}

/// The surface a camera or camera-texture raster shows, with a reference.
IDirect3DSurface9* RenderSurface(Raster* top, uint32_t level)
{
    if (top->type == kRasterTypeCameraTexture) {
        return D3D9RasterLevelSurface(top, level);
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    IDirect3DSurface9* surface = nullptr;
    if (body->swapChain) {
        return SUCCEEDED(body->swapChain->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &surface)) ? surface
                                                                                               : nullptr;
    }
    IDirect3DDevice9* device = D3D9NativeDeviceGet().device;
    return device && SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface)) ? surface
                                                                                               : nullptr;
}

RECT SubRect(const Raster* raster)
{
    return {raster->xOffset, raster->yOffset, raster->xOffset + raster->width,
            raster->yOffset + raster->height};
}

} // namespace

int32_t D3D9RasterLock(void* out, void* object, int32_t word)
{
    auto* raster = static_cast<Raster*>(object);
    Raster* top = D3D9RasterGetTop(raster);
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    if (raster->pixels || !IsLockable(raster->type) || body->lockedSurface) {
        return Fail(kErrorRasterLock);
    }
    const uint32_t mode = uint32_t(word) & 0xFF;
    const uint32_t level = (uint32_t(word) >> 8) & 0xFF;
    const DWORD flags = (mode & kRasterLockWrite)
                            ? D3DLOCK_NOSYSLOCK
                            : D3DLOCK_NOSYSLOCK | D3DLOCK_NO_DIRTY_UPDATE | D3DLOCK_READONLY;
    const RECT rect = SubRect(raster);
    const RECT* area = raster != top ? &rect : nullptr;
    D3DLOCKED_RECT locked{};
    IDirect3DSurface9* surface = nullptr;
    if (!IsCameraType(raster->type)) {
        surface = D3D9RasterLevelSurface(top, level);
        if (!surface || FAILED(surface->LockRect(&locked, area, flags))) {
            if (surface) {
                surface->Release();
            }
            return 0;
        }
    } else {
        IDirect3DDevice9* device = D3D9NativeDeviceGet().device;
        IDirect3DSurface9* source = RenderSurface(top, level);
        D3DSURFACE_DESC desc{};
        bool ok = device && source && SUCCEEDED(source->GetDesc(&desc)) &&
                  SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                                D3DPOOL_SYSTEMMEM, &surface, nullptr));
        if (ok && (mode & kRasterLockRead)) {
            ok = SUCCEEDED(device->GetRenderTargetData(source, surface));
        }
        ok = ok && SUCCEEDED(surface->LockRect(&locked, area, flags));
        if (source) {
            source->Release();
        }
        if (!ok) {
            if (surface) {
                surface->Release();
            }
            return 0;
        }
    }
    body->lockedSurface = surface;
    body->lockedRect = locked;
    body->lockedLevel = uint8_t(level);
    raster->privateFlags |= uint8_t(((mode & kRasterLockRead) ? kRasterPrivateLockedRead : 0) |
                                    ((mode & kRasterLockWrite) ? kRasterPrivateLockedWrite : 0));
    raster->pixels = static_cast<uint8_t*>(locked.pBits);
    raster->stride = locked.Pitch;
    raster->originalWidth = raster->width;
    raster->originalHeight = raster->height;
    raster->width = raster->width >> level ? raster->width >> level : 1;
    raster->height = raster->height >> level ? raster->height >> level : 1;
    *static_cast<uint8_t**>(out) = raster->pixels;
    return 1;
}

int32_t D3D9RasterUnlock(void*, void* object, int32_t)
{
    auto* raster = static_cast<Raster*>(object);
    Raster* top = D3D9RasterGetTop(raster);
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    if (!raster->pixels || !IsLockable(raster->type) || !body->lockedSurface) {
        return Fail(kErrorRasterNotLocked);
    }
    IDirect3DSurface9* surface = body->lockedSurface;
    const uint32_t level = body->lockedLevel;
    const bool wrote = (raster->privateFlags & kRasterPrivateLockedWrite) != 0;
    raster->width = raster->originalWidth;
    raster->height = raster->originalHeight;
    raster->stride = 0;
    raster->pixels = nullptr;
    surface->UnlockRect();
    bool ok = true;
    if (IsCameraType(raster->type) && wrote) {
        IDirect3DDevice9* device = D3D9NativeDeviceGet().device;
        IDirect3DSurface9* destination = RenderSurface(top, level);
        const RECT rect = SubRect(raster);
        const POINT point = {raster->xOffset, raster->yOffset};
        ok = device && destination &&
             SUCCEEDED(device->UpdateSurface(surface, raster != top ? &rect : nullptr, destination,
                                             raster != top ? &point : nullptr));
        if (destination) {
            destination->Release();
        }
    }
    surface->Release();
    body->lockedSurface = nullptr;
    body->lockedLevel = 255;
    raster->privateFlags &= uint8_t(~(kRasterPrivateLockedRead | kRasterPrivateLockedWrite));
    // Level 0 written: levels the device does not generate are rebuilt from it.
    const bool autoMipmaps = (top->format & (kRasterFormatAutoMipmap >> 8)) != 0;
    const bool deviceMakesLevels = (D3D9RasterGetExtension(top)->mipFlags & 0x0F) != 0;
    if (wrote && level == 0 && autoMipmaps && !deviceMakesLevels && raster->type != kRasterTypeCamera) {
        TextureGenerateMipmaps(top, nullptr);
    }
    return ok ? 1 : 0;
}
