// Native rasters: creation by type and format, destruction, locks of levels and palettes, and the device
// entry points that the engine's raster and texture modules call.

#include "graphics/d3d9/nativeraster.h"

#include <cstring>
#include <initializer_list>

#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/formatfit.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/nativetextureio.h"
#include "graphics/d3d9/pixelformat.h"
#include "graphics/d3d9/rasterconvert.h"

namespace {

constexpr uint32_t kMipBitsBoth = kRasterFormatMipmap | kRasterFormatAutoMipmap;

bool Fail(uint32_t code)
{
    ErrorRaise(0, code);
    return false;
}

bool FailDevice(const char* message)
{
    ErrorRaise(0, ErrorCode(kErrorCoreDeviceFailed, message));
    return false;
}

IDirect3DDevice9* Device()
{
    return D3D9NativeDeviceGet().device;
}

bool IsPalettised(uint32_t word)
{
    return (word & (kRasterFormatPal8 | kRasterFormatPal4)) != 0;
}

/// Picks the colour format of a normal or texture raster: the word with its
/// format nibble and the raster's depth, or false (0x8000000D).
bool ChooseTextureFormat(Raster* raster, uint32_t* word)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const bool alphaPalette = (device.caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE) != 0;
    uint32_t colour = *word & kRasterFormatPixelMask;
    if (*word & kRasterFormatPal4) {
        return Fail(kErrorRasterFormat);
    }
    if (*word & kRasterFormatPal8) {
        if (colour == 0) {
            colour = alphaPalette ? kRasterFormat8888 : kRasterFormat888;
        }
        if (!D3D9CheckTextureFormat(D3DFMT_P8) ||
            !(colour == kRasterFormat888 || (colour == kRasterFormat8888 && alphaPalette))) {
            return Fail(kErrorRasterFormat);
        }
        raster->depth = 8;
    } else if (colour) {
        const D3D9EngineFormat engine = D3D9EngineFormatDescribe(colour);
        const bool accepted = D3D9FormatIsDepth(engine.d3dFormat)
                                  ? D3D9CheckDepthTextureFormat(engine.d3dFormat)
                                  : D3D9CheckTextureFormat(engine.d3dFormat);
        if (engine.d3dFormat == D3DFMT_UNKNOWN || !accepted) {
            return Fail(kErrorRasterFormat);
        }
        raster->depth = engine.depth;
    } else if (device.modeDepth > 16 && D3D9CheckTextureFormat(D3DFMT_A8R8G8B8)) {
        colour = kRasterFormat8888;
        raster->depth = 32;
    } else {
        colour = D3D9CheckTextureFormat(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555;
        raster->depth = 16;
    }
    *word = (*word & ~kRasterFormatPixelMask) | colour;
    return true;
}

bool ChooseCameraTextureFormat(Raster* raster, uint32_t* word)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    uint32_t colour = *word & kRasterFormatPixelMask;
    if (colour) {
        const D3D9EngineFormat engine = D3D9EngineFormatDescribe(colour);
        if (engine.d3dFormat == D3DFMT_UNKNOWN || !D3D9CheckRenderTargetFormat(engine.d3dFormat)) {
            return Fail(kErrorRasterFormat);
        }
        raster->depth = engine.depth;
    } else if (device.modeDepth != 16 && D3D9CheckRenderTargetFormat(D3DFMT_X8R8G8B8)) {
        colour = kRasterFormat888;
        raster->depth = 32;
    } else {
        colour = kRasterFormat565;
        raster->depth = 16;
    }
    *word = (*word & ~kRasterFormatPixelMask) | colour;
    return true;
}

D3DFORMAT ChooseDepthStencilFormat()
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    if (device.zBufferDepth == 16) {
        return D3D9CheckDepthSurfaceFormat(D3DFMT_D15S1) ? D3DFMT_D15S1 : D3DFMT_D16;
    }
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D32}) {
        if (D3D9CheckDepthSurfaceFormat(format)) {
            return format;
        }
    }
    return D3DFMT_D24X8;
}

uint32_t LevelsFor(uint32_t word)
{
    return (word & kRasterFormatMipmap) ? 0 : 1;
}

bool CreateTextureObject(Raster* raster, D3D9RasterExtension* body, uint32_t word)
{
    IDirect3DDevice9* device = Device();
    D3DFORMAT format;
    if (IsPalettised(word)) {
        const uint32_t colour = word & kRasterFormatPixelMask;
        if (colour != kRasterFormat888 && colour != kRasterFormat8888) {
            return FailDevice("Palletized texture can only be olRASTERFORMAT888 or olRASTERFORMAT8888.");
        }
        if (!D3D9PaletteAcquire(body)) {
            return Fail(kErrorOutOfMemory);
        }
        format = D3DFMT_P8;
    } else {
        format = D3DFORMAT(D3D9EngineFormatDescribe(word).d3dFormat);
    }
    body->hasAlpha = D3D9EngineFormatDescribe(word).hasAlpha;
    int32_t width = raster->width;
    int32_t height = raster->height;
    D3D9FitRasterSize(&width, &height, word);
    raster->width = width;
    raster->height = height;
    const UINT levels = LevelsFor(word);
    const DWORD usage = (body->mipFlags & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    HRESULT result = D3DERR_NOTAVAILABLE;
    if (device && (body->cube & 0x0F)) {
        IDirect3DCubeTexture9* cube = nullptr;
        result =
            device->CreateCubeTexture(UINT(width), levels, usage, format, D3DPOOL_MANAGED, &cube, nullptr);
        body->object = cube;
    } else if (device && D3D9FormatIsDepth(format)) {
        IDirect3DTexture9* texture = nullptr;
        result = device->CreateTexture(UINT(width), UINT(height), 1, D3DUSAGE_DEPTHSTENCIL, format,
                                       D3DPOOL_DEFAULT, &texture, nullptr);
        body->object = texture;
        if (SUCCEEDED(result)) {
            D3D9RasterListAdd(raster);
        }
    } else if (device) {
        IDirect3DTexture9* texture = nullptr;
        result = device->CreateTexture(UINT(width), UINT(height), levels, usage, format, D3DPOOL_MANAGED,
                                       &texture, nullptr);
        body->object = texture;
    }
    if (FAILED(result)) {
        body->object = nullptr;
        D3D9PaletteRelease(body);
        return FailDevice("Failed to create texture.");
    }
    body->format = format;
    if (format == D3DFMT_P8) {
        D3D9RasterListAdd(raster);
    }
    return true;
}

HRESULT MakeCameraTexture(Raster* raster, D3D9RasterExtension* body, D3DFORMAT format, DWORD usage)
{
    IDirect3DDevice9* device = Device();
    if (!device) {
        return D3DERR_NOTAVAILABLE;
    }
    const UINT levels = LevelsFor(uint32_t(raster->format) << 8);
    HRESULT result;
    if (body->cube & 0x0F) {
        IDirect3DCubeTexture9* cube = nullptr;
        result = device->CreateCubeTexture(UINT(raster->width), levels, usage, format, D3DPOOL_DEFAULT, &cube,
                                           nullptr);
        body->object = cube;
    } else {
        IDirect3DTexture9* texture = nullptr;
        result = device->CreateTexture(UINT(raster->width), UINT(raster->height), levels, usage, format,
                                       D3DPOOL_DEFAULT, &texture, nullptr);
        body->object = texture;
    }
    if (FAILED(result)) {
        body->object = nullptr;
    }
    return result;
}

} // namespace

bool D3D9CameraTextureCreateObject(Raster* raster, D3D9RasterExtension* body)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const uint32_t word = uint32_t(raster->format) << 8;
    if (IsPalettised(word)) {
        return FailDevice("olRASTERTYPECAMERATEXTURE can not be palletized.");
    }
    D3DFORMAT format = D3DFORMAT(D3D9EngineFormatDescribe(word).d3dFormat);
    body->hasAlpha = D3D9EngineFormatDescribe(word).hasAlpha;
    int32_t width = raster->width;
    int32_t height = raster->height;
    D3D9FitRasterSize(&width, &height, word | kRasterTypeCameraTexture);
    raster->width = width;
    raster->height = height;
    if (device.device) {
        device.device->EvictManagedResources();
    }
    const DWORD autoMip = (body->mipFlags & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    HRESULT result = MakeCameraTexture(raster, body, format, D3DUSAGE_RENDERTARGET | autoMip);
    if (result == D3DERR_OUTOFVIDEOMEMORY) {
        return FailDevice("Out of video memory. Failed to create raster.");
    }
    if (FAILED(result)) {
        // The fallback stays a render target: a camera texture is drawn into.
        format = device.backBufferFormat;
        result = MakeCameraTexture(raster, body, format, D3DUSAGE_RENDERTARGET | autoMip);
        if (FAILED(result)) {
            return FailDevice("Failed to create raster.");
        }
        const D3D9FormatDescription described = D3D9FormatDescribe(format);
        raster->format = uint8_t((raster->format & 0xF0) | (described.engineFormat >> 8));
        raster->depth = int32_t(device.modeDepth);
        body->hasAlpha = described.hasAlpha;
    }
    body->format = format;
    return true;
}

bool D3D9ZBufferCreateObject(Raster* raster, D3D9RasterExtension* body)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const D3DFORMAT format = ChooseDepthStencilFormat();
    body->hasAlpha = 0;
    body->format = format;
    if (uint32_t(raster->width) == device.clientWidth && uint32_t(raster->height) == device.clientHeight &&
        device.autoDepthStencil) {
        body->object = device.autoDepthStencil;
        body->mipFlags = kZBufferUsesAutoSurface;
        return true;
    }
    body->mipFlags = 0;
    if (!device.device) {
        return FailDevice("Failed to create raster.");
    }
    device.device->EvictManagedResources();
    IDirect3DSurface9* surface = nullptr;
    const HRESULT result = device.device->CreateDepthStencilSurface(
        UINT(raster->width > 0 ? raster->width : 1), UINT(raster->height > 0 ? raster->height : 1), format,
        device.multiSampleType, device.multiSampleQuality, 0, &surface, nullptr);
    if (FAILED(result)) {
        return FailDevice(result == D3DERR_OUTOFVIDEOMEMORY ? "Out of video memory. Failed to create raster."
                                                            : "Failed to create raster.");
    }
    body->object = surface;
    return true;
}

int32_t D3D9RasterCreate(void*, void* object, int32_t wordArgument)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    uint32_t word = uint32_t(wordArgument);
    const uint32_t type = word & kRasterTypeMask;
    raster->type = uint8_t(type);
    raster->flags = uint8_t(word & 0xF8);
    raster->pixels = nullptr;
    raster->palette = nullptr;
    body->object = nullptr;
    body->palette = nullptr;
    body->hasAlpha = 0;
    body->cube = 0;
    body->mipFlags = 0;
    body->lockedLevel = 255;
    body->lockedSurface = nullptr;
    body->format = 0;
    if (type > kRasterTypeCameraTexture || type == 3) {
        return Fail(kErrorRasterFormat);
    }
    const uint32_t colour = word & kRasterFormatPixelMask;
    switch (type) {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (!ChooseTextureFormat(raster, &word)) {
            return 0;
        }
        if (!IsPalettised(word) && (word & kMipBitsBoth) == kMipBitsBoth &&
            D3D9CheckAutoMipmapTexture(D3D9EngineFormatDescribe(word).d3dFormat)) {
            body->mipFlags |= 1;
        }
        break;
    case kRasterTypeZBuffer: {
        const uint32_t wanted = device.zBufferDepth == 16 ? kRasterFormat16 : kRasterFormat32;
        if (colour && colour != wanted) {
            return Fail(kErrorRasterFormat);
        }
        word = (word & ~kRasterFormatPixelMask) | wanted;
        raster->depth = D3D9EngineFormatDescribe(wanted).depth;
        break;
    }
    case kRasterTypeCamera: {
        const uint32_t wanted = D3D9FormatDescribe(device.backBufferFormat).engineFormat;
        if (colour && colour != wanted) {
            return Fail(kErrorRasterFormat);
        }
        word = (word & ~kRasterFormatPixelMask) | wanted;
        raster->depth = int32_t(device.modeDepth);
        break;
    }
    default: // camera texture
        if (!ChooseCameraTextureFormat(raster, &word)) {
            return 0;
        }
        if ((word & kMipBitsBoth) == kMipBitsBoth &&
            D3D9CheckAutoMipmapRenderTarget(D3D9EngineFormatDescribe(word).d3dFormat)) {
            body->mipFlags |= 1;
        }
        break;
    }
    raster->format = uint8_t(word >> 8);
    const bool noPixels = (raster->flags & kRasterFlagNoPixels) != 0;
    if (raster->width == 0 || raster->height == 0) {
        if (raster->depth == 0) {
            raster->depth = 16;
        }
        raster->flags = kRasterFlagNoPixels;
        raster->stride = 0;
        if (type == kRasterTypeCamera) {
            D3D9RasterListAdd(raster);
        }
        return 1;
    }
    switch (type) {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        return noPixels || CreateTextureObject(raster, body, word) ? 1 : 0;
    case kRasterTypeZBuffer:
        if (noPixels) {
            return 1;
        }
        if (!D3D9ZBufferCreateObject(raster, body)) {
            return 0;
        }
        D3D9RasterListAdd(raster);
        return 1;
    case kRasterTypeCamera:
        if (!noPixels && (uint32_t(raster->width) > device.clientWidth ||
                          uint32_t(raster->height) > device.clientHeight)) {
            return FailDevice("Camera raster is too big.");
        }
        raster->depth = int32_t(D3D9FormatColourDepth(device.backBufferFormat));
        raster->stride = 0;
        raster->pixels = nullptr;
        raster->flags = kRasterFlagNoPixels;
        raster->originalWidth = raster->width;
        raster->originalHeight = raster->height;
        body->format = device.backBufferFormat;
        body->hasAlpha = D3D9FormatDescribe(device.backBufferFormat).hasAlpha;
        D3D9RasterListAdd(raster);
        return 1;
    default:
        if (noPixels) {
            return 1;
        }
        if (!D3D9CameraTextureCreateObject(raster, body)) {
            return 0;
        }
        D3D9RasterListAdd(raster);
        return 1;
    }
}

int32_t D3D9RasterDestroy(void*, void* object, int32_t)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    // A raster being destroyed must not stay bound to a texture stage.
    for (uint32_t stage = 0; stage < 8; ++stage) {
        if (D3D9GetTexture(stage) == raster) {
            D3D9SetStageRaster(nullptr, stage);
        }
    }
    if (raster->parent != raster) {
        if (raster->type == kRasterTypeCamera) {
            D3D9RasterListRemove(raster);
        }
        return 1;
    }
    const bool noPixels = (raster->flags & kRasterFlagNoPixels) != 0;
    switch (raster->type) {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (noPixels && !body->object) {
            return 1;
        }
        if (body->palette || D3D9FormatIsDepth(body->format)) {
            D3D9RasterListRemove(raster);
        }
        D3D9PaletteRelease(body);
        break;
    case kRasterTypeZBuffer:
        if (noPixels && !body->object) {
            return 1;
        }
        D3D9RasterListRemove(raster);
        if (body->mipFlags & kZBufferUsesAutoSurface) {
            body->object = nullptr; // the device's own surface
        }
        break;
    case kRasterTypeCamera:
        D3D9RasterListRemove(raster);
        body->object = nullptr; // a swap chain's back buffer is held without a reference
        return 1;
    case kRasterTypeCameraTexture:
        if (noPixels && !body->object) {
            return 1;
        }
        D3D9RasterListRemove(raster);
        break;
    default:
        return Fail(kErrorRasterFormat);
    }
    if (body->object) {
        body->object->Release();
        body->object = nullptr;
    }
    return 1;
}

int32_t D3D9RasterLockPalette(void* out, void* object, int32_t mode)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    const bool typeOk = raster->type == kRasterTypeNormal || raster->type == kRasterTypeTexture ||
                        raster->type == kRasterTypeCameraTexture;
    if (!typeOk || !body->palette) {
        return Fail(kErrorRasterLock);
    }
    raster->palette = static_cast<uint8_t*>(body->palette);
    raster->privateFlags |= kRasterPrivatePaletteLocked;
    if (mode & kRasterLockWrite) {
        raster->privateFlags |= kRasterPrivatePaletteLockedWrite;
    }
    *static_cast<uint8_t**>(out) = raster->palette;
    return 1;
}

int32_t D3D9RasterUnlockPalette(void*, void* object, int32_t)
{
    auto* raster = static_cast<Raster*>(object);
    D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    const bool typeOk = raster->type == kRasterTypeNormal || raster->type == kRasterTypeTexture ||
                        raster->type == kRasterTypeCameraTexture;
    if (!typeOk || !(raster->privateFlags & kRasterPrivatePaletteLocked)) {
        return Fail(kErrorRasterNotLocked);
    }
    if ((raster->privateFlags & kRasterPrivatePaletteLockedWrite) && body->palette) {
        D3D9PaletteSend(body);
    }
    raster->palette = nullptr;
    raster->privateFlags &= uint8_t(~(kRasterPrivatePaletteLocked | kRasterPrivatePaletteLockedWrite));
    return 1;
}

int32_t D3D9RasterGetMipLevels(void* out, void* object, int32_t)
{
    Raster* top = D3D9RasterGetTop(static_cast<Raster*>(object));
    D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    int32_t levels = 1;
    if (top->type == kRasterTypeNormal || top->type == kRasterTypeTexture ||
        top->type == kRasterTypeCameraTexture) {
        if (body->object) {
            levels = int32_t(static_cast<IDirect3DBaseTexture9*>(body->object)->GetLevelCount());
        } else {
            const int32_t largest = top->width > top->height ? top->width : top->height;
            levels = Log2Floor(uint32_t(largest > 0 ? largest : 0)) + 1;
        }
    }
    *static_cast<int32_t*>(out) = levels;
    return 1;
}

int32_t D3D9RasterSubRaster(void* subObject, void* parentObject, int32_t)
{
    auto* sub = static_cast<Raster*>(subObject);
    const auto* parent = static_cast<const Raster*>(parentObject);
    sub->stride = parent->stride;
    sub->depth = parent->depth;
    sub->type = parent->type;
    sub->format = parent->format;
    return 1;
}

Raster* D3D9RasterCreateFromFormat(int32_t width, int32_t height, uint32_t d3dFormat, uint32_t word)
{
    const uint32_t type = word & kRasterTypeMask;
    if (type == kRasterTypeNormal || type == kRasterTypeZBuffer) {
        word &= ~kMipBitsBoth;
    }
    // The device object is made here, in the explicit format.
    Raster* raster = RasterCreate(width, height, 0, (word & ~kRasterFormatPixelMask) | kRasterFlagNoPixels);
    if (!raster) {
        return nullptr;
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    if ((word & kMipBitsBoth) == kMipBitsBoth && D3D9CheckAutoMipmapTexture(d3dFormat)) {
        body->mipFlags |= 1;
    }
    DWORD usage = (body->mipFlags & 0x0F) ? D3DUSAGE_AUTOGENMIPMAP : 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    bool accepted;
    if (type == kRasterTypeCameraTexture) {
        accepted = D3D9CheckRenderTargetFormat(d3dFormat);
        usage |= D3DUSAGE_RENDERTARGET;
        pool = D3DPOOL_DEFAULT;
    } else if (D3D9FormatIsDepth(d3dFormat)) {
        accepted = D3D9CheckDepthTextureFormat(d3dFormat);
        usage |= D3DUSAGE_DEPTHSTENCIL;
        pool = D3DPOOL_DEFAULT;
    } else {
        accepted = D3D9CheckTextureFormat(d3dFormat);
    }
    IDirect3DTexture9* texture = nullptr;
    if (!accepted || !device.device || width <= 0 || height <= 0 ||
        FAILED(device.device->CreateTexture(UINT(width), UINT(height), LevelsFor(word), usage,
                                            D3DFORMAT(d3dFormat), pool, &texture, nullptr))) {
        RasterDestroy(raster);
        return nullptr;
    }
    body->object = texture;
    body->format = d3dFormat;
    raster->width = width;
    raster->height = height;
    raster->flags &= uint8_t(~kRasterFlagNoPixels);
    raster->format &= 0xF0;
    if (pool == D3DPOOL_DEFAULT) {
        D3D9RasterListAdd(raster);
    }
    if (DxtIsFormat(d3dFormat)) {
        body->mipFlags = uint8_t((body->mipFlags & 0x0F) | 0x10);
        raster->depth = 16;
        body->hasAlpha = d3dFormat == D3DFMT_DXT1 ? 0 : 1;
        raster->format |= d3dFormat == D3DFMT_DXT1 ? 0x02 : 0x03;
        return raster;
    }
    const D3D9FormatDescription described = D3D9FormatDescribe(d3dFormat);
    body->hasAlpha = described.hasAlpha;
    raster->depth = described.depth;
    raster->format |= uint8_t((described.engineFormat >> 8) & 0x0F);
    body->mipFlags &= 0x0F;
    if (d3dFormat == D3DFMT_P8) {
        raster->format |= uint8_t(kRasterFormatPal8 >> 8);
        if (!D3D9PaletteAcquire(body)) {
            RasterDestroy(raster);
            return nullptr;
        }
        D3D9RasterListAdd(raster);
    }
    return raster;
}

bool D3D9RasterConvertViaImage(Raster* raster)
{
    return D3D9RasterRecreateFromImage(raster);
}

Raster* D3D9RasterCreateExplicit(const D3D9ExplicitRequest* request)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    Raster* raster =
        RasterCreate(request->width, request->height, request->depth, request->word | kRasterFlagNoPixels);
    if (!raster) {
        return nullptr;
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    const D3DFORMAT format = D3DFORMAT(request->d3dFormat);
    const DWORD usage = request->autoMipmaps ? D3DUSAGE_AUTOGENMIPMAP : 0;
    HRESULT result = D3DERR_NOTAVAILABLE;
    if (device.device && request->cube) {
        IDirect3DCubeTexture9* cube = nullptr;
        result = device.device->CreateCubeTexture(UINT(request->width), request->levels, usage, format,
                                                  D3DPOOL_MANAGED, &cube, nullptr);
        body->object = cube;
    } else if (device.device) {
        IDirect3DTexture9* texture = nullptr;
        result = device.device->CreateTexture(UINT(request->width), UINT(request->height), request->levels,
                                              usage, format, D3DPOOL_MANAGED, &texture, nullptr);
        body->object = texture;
    }
    if (FAILED(result) || (format == D3DFMT_P8 && !D3D9PaletteAcquire(body))) {
        if (FAILED(result)) {
            body->object = nullptr;
        }
        RasterDestroy(raster);
        return nullptr;
    }
    if (format == D3DFMT_P8) {
        D3D9RasterListAdd(raster);
    }
    raster->width = request->width;
    raster->height = request->height;
    raster->flags &= uint8_t(~kRasterFlagNoPixels);
    body->format = format;
    body->cube = request->cube ? 1 : 0;
    body->mipFlags = uint8_t((request->autoMipmaps ? 1 : 0) | (DxtIsFormat(format) ? 0x10 : 0));
    return raster;
}
