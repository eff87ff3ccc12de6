// The Direct3D 9 body of rasters: registration with the raster registry and
// the create, destroy, lock and unlock entry points for camera, z-buffer and
// 16/32-bit texture rasters.

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/rasterext.h"

namespace {

int32_t gOffset = -1;

struct FormatEntry
{
    D3DFORMAT format;
    int32_t depth;
    uint8_t alpha;
};

/// Engine format nibble -> Direct3D format (entries 0 and 11-15 empty).
constexpr FormatEntry kFormats[16] = {
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_A1R5G5B5, 16, 1}, {D3DFMT_R5G6B5, 16, 0},   {D3DFMT_A4R4G4B4, 16, 1},
    {D3DFMT_L8, 8, 0},      {D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_X8R8G8B8, 32, 0}, {D3DFMT_D16, 16, 0},
    {D3DFMT_D24X8, 32, 0},  {D3DFMT_D32, 32, 0},      {D3DFMT_X1R5G5B5, 16, 0}, {D3DFMT_UNKNOWN, 0, 0},
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_UNKNOWN, 0, 0},   {D3DFMT_UNKNOWN, 0, 0},   {D3DFMT_UNKNOWN, 0, 0},
};

void* Construct(void* object, int32_t offset, int32_t)
{
    auto* body = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
    std::memset(body, 0, sizeof(*body));
    body->lockedLevel = 255;
    return object;
}

void* Destruct(void* object, int32_t offset, int32_t)
{
    auto* body = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
    if (body->swapChain) {
        body->swapChain->Release();
        body->swapChain = nullptr;
    }
    return object;
}

int32_t Refuse()
{
    ErrorRaise(0, kErrorRasterFormat);
    return 0;
}

} // namespace

int32_t D3D9RasterExtensionOffset()
{
    return gOffset;
}

int32_t D3D9RasterExtensionOpen()
{
    gOffset =
        RasterRegisterPlugin(sizeof(D3D9RasterExtension), kPluginIdD3D9Raster, Construct, Destruct, nullptr);
    return gOffset;
}

Raster* D3D9RasterGetTop(Raster* raster)
{
    while (raster->parent && raster->parent != raster) {
        raster = raster->parent;
    }
    return raster;
}

IDirect3DSurface9* D3D9RasterGetSurface(Raster* raster)
{
    D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    auto* texture = dynamic_cast<IDirect3DTexture9*>(body->object);
    IDirect3DSurface9* surface = nullptr;
    if (texture && SUCCEEDED(texture->GetSurfaceLevel(0, &surface))) {
        return surface;
    }
    return nullptr;
}

int32_t D3D9RasterCreate(void*, void* object, int32_t flags)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9DriverState& s = D3D9State();
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    const uint32_t type = uint32_t(flags) & kRasterTypeMask;
    raster->originalWidth = raster->width;
    raster->originalHeight = raster->height;
    switch (type) {
    case kRasterTypeCamera:
        // Renders into the device's back buffer (or a swap chain attached later).
        body->format = s.present.BackBufferFormat;
        raster->depth = int32_t(D3D9FormatColourDepth(D3DFORMAT(body->format)));
        body->hasAlpha = body->format == D3DFMT_A8R8G8B8;
        return 1;
    case kRasterTypeZBuffer:
        body->format = s.present.AutoDepthStencilFormat;
        raster->depth = s.backBufferDepth ? int32_t(s.backBufferDepth) : 16;
        return 1;
    case kRasterTypeNormal:
    case kRasterTypeTexture: {
        uint32_t nibble = (uint32_t(flags) & kRasterFormatPixelMask) >> 8;
        if (nibble == 0) {
            nibble = raster->depth == 16 ? 2 : 5;
        }
        const FormatEntry& entry = kFormats[nibble];
        if (entry.format == D3DFMT_UNKNOWN || entry.format == D3DFMT_D16 || entry.format == D3DFMT_D24X8 ||
            entry.format == D3DFMT_D32 ||
            (uint32_t(flags) &
             (kRasterFormatPal8 | kRasterFormatPal4 | kRasterFormatMipmap | kRasterFormatAutoMipmap))) {
            return Refuse();
        }
        if (raster->flags & kRasterFlagNoPixels) {
            return 1;
        }
        IDirect3DTexture9* texture = nullptr;
        if (!s.device ||
            FAILED(s.device->CreateTexture(uint32_t(raster->width), uint32_t(raster->height), 1, 0,
                                           entry.format, D3DPOOL_MANAGED, &texture, nullptr))) {
            return Refuse();
        }
        body->object = texture;
        body->format = entry.format;
        body->hasAlpha = entry.alpha;
        raster->depth = entry.depth;
        raster->format = uint8_t(nibble);
        raster->privateFlags = uint8_t((raster->privateFlags & ~1u) | entry.alpha);
        return 1;
    }
    default:
        return Refuse();
    }
}

int32_t D3D9TextureSetRaster(void* texture, void* raster, int32_t)
{
    static_cast<Texture*>(texture)->raster = static_cast<Raster*>(raster);
    return 1;
}

int32_t D3D9RasterDestroy(void*, void* object, int32_t)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    if (raster->parent == raster && body->object && raster->type != kRasterTypeCamera) {
        body->object->Release();
    }
    body->object = nullptr;
    return 1;
}

int32_t D3D9RasterLock(void* out, void* object, int32_t flags)
{
    auto* raster = static_cast<Raster*>(object);
    Raster* top = D3D9RasterGetTop(raster);
    D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    auto* texture = dynamic_cast<IDirect3DTexture9*>(body->object);
    const uint32_t level = (uint32_t(flags) >> 8) & 0xFF;
    if (!texture || level != 0 || body->lockedLevel != 255) {
        ErrorRaise(0, kErrorRasterLock);
        return 0;
    }
    const DWORD lockFlags = (flags & kRasterLockWrite) ? 0 : D3DLOCK_READONLY;
    if (FAILED(texture->LockRect(0, &body->lockedRect, nullptr, lockFlags))) {
        ErrorRaise(0, kErrorRasterLock);
        return 0;
    }
    body->lockedLevel = 0;
    const int32_t bytes = raster->depth / 8;
    raster->stride = body->lockedRect.Pitch;
    raster->pixels = static_cast<uint8_t*>(body->lockedRect.pBits) + raster->yOffset * raster->stride +
                     raster->xOffset * bytes;
    raster->privateFlags |= (flags & kRasterLockRead ? kRasterPrivateLockedRead : 0) |
                            (flags & kRasterLockWrite ? kRasterPrivateLockedWrite : 0);
    *static_cast<uint8_t**>(out) = raster->pixels;
    return 1;
}

int32_t D3D9RasterUnlock(void*, void* object, int32_t)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    auto* texture = dynamic_cast<IDirect3DTexture9*>(body->object);
    if (!texture || body->lockedLevel == 255) {
        ErrorRaise(0, kErrorRasterNotLocked);
        return 0;
    }
    texture->UnlockRect(0);
    body->lockedLevel = 255;
    raster->pixels = nullptr;
    raster->privateFlags &= uint8_t(~(kRasterPrivateLockedRead | kRasterPrivateLockedWrite));
    return 1;
}

bool D3D9RasterListCreate()
{
    return true;
}

void D3D9RasterListDestroy()
{
}

void D3D9RasterReleaseDefaultPool()
{
}

bool D3D9RasterRestoreDefaultPool()
{
    return true;
}
