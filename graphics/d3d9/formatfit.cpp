// Size and format fitting.

#include "graphics/d3d9/formatfit.h"

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

constexpr uint32_t kColourMask = kRasterFormatPixelMask;
constexpr uint32_t kMipBits = kRasterFormatMipmap | kRasterFormatAutoMipmap;

uint32_t AlphaFallback()
{
    return D3D9CheckTextureFormat(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555;
}

/// Normal and texture rasters.
uint32_t FitTextureFormat(uint32_t word)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const bool alphaPalette = (device.caps.TextureCaps & D3DPTEXTURECAPS_ALPHAPALETTE) != 0;
    uint32_t flags = word & 0xF000;
    uint32_t colour = word & kColourMask;
    const uint32_t low = word & 0xFF;
    if (flags & kRasterFormatPal4) {
        flags = (flags & ~kRasterFormatPal4) | kRasterFormatPal8;
    }
    bool droppedPalette = false;
    if (flags & kRasterFormatPal8) {
        const bool p8 = D3D9CheckTextureFormat(D3DFMT_P8);
        if (p8 && colour == 0) {
            return low | flags | (alphaPalette ? kRasterFormat8888 : kRasterFormat888);
        }
        if (p8 && colour != 0 && (colour != kRasterFormat8888 || alphaPalette)) {
            return low | flags | colour;
        }
        flags &= ~kRasterFormatPal8;
        droppedPalette = true;
    }
    const bool deepMode = !droppedPalette || device.modeDepth > 16;
    switch (colour) {
    case kRasterFormat8888:
        colour = D3D9CheckTextureFormat(D3DFMT_A8R8G8B8) && deepMode ? kRasterFormat8888 : AlphaFallback();
        break;
    case kRasterFormat888:
        colour = D3D9CheckTextureFormat(D3DFMT_X8R8G8B8) && deepMode ? kRasterFormat888 : kRasterFormat565;
        break;
    case kRasterFormat4444:
        colour = AlphaFallback();
        break;
    case kRasterFormatLum8:
        if (!D3D9CheckTextureFormat(D3DFMT_L8)) {
            colour = D3D9CheckTextureFormat(D3DFMT_X8R8G8B8) ? kRasterFormat888 : kRasterFormat565;
        }
        break;
    case kRasterFormatDefault:
        colour = D3D9CheckTextureFormat(D3DFMT_A8R8G8B8) ? kRasterFormat8888 : AlphaFallback();
        break;
    default:
        break;
    }
    return low | flags | colour;
}

uint32_t FitCameraTextureFormat(uint32_t word)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    uint32_t colour = word & kColourMask;
    const uint32_t keep = (word & 0xFF) | (word & kMipBits);
    if (colour == 0) {
        const bool x8 = device.zBufferDepth != 16 && D3D9CheckRenderTargetFormat(D3DFMT_X8R8G8B8);
        return keep | (x8 ? kRasterFormat888 : kRasterFormat565);
    }
    if (device.zBufferDepth != 16) {
        if (colour == kRasterFormat4444 || colour == kRasterFormat1555) {
            colour = kRasterFormat8888;
        } else if (colour != kRasterFormat8888 && colour != kRasterFormat888) {
            colour = kRasterFormat888;
        }
        if (colour == kRasterFormat8888 && !D3D9CheckRenderTargetFormat(D3DFMT_A8R8G8B8)) {
            colour = kRasterFormat888;
        }
        return keep | colour;
    }
    if (colour == kRasterFormat8888) {
        colour = kRasterFormat4444;
    } else if (colour != kRasterFormat4444 && colour != kRasterFormat1555 && colour != kRasterFormat565 &&
               colour != kRasterFormat555) {
        colour = kRasterFormat565;
    }
    if (colour == kRasterFormat4444 && !D3D9CheckRenderTargetFormat(D3DFMT_A4R4G4B4)) {
        colour = kRasterFormat1555;
    }
    if (colour == kRasterFormat1555 && !D3D9CheckRenderTargetFormat(D3DFMT_A1R5G5B5)) {
        colour = kRasterFormat565;
    }
    return keep | colour;
}

bool Refuse()
{
    ErrorRaise(0, kErrorRasterFormat);
    return false;
}

uint32_t TranslucentFormat()
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    if (device.modeDepth > 16 && D3D9CheckTextureFormat(D3DFMT_A8R8G8B8)) {
        return kRasterFormat8888;
    }
    return AlphaFallback();
}

/// 0x2000/0x4000 with 0x0500 when a pixel uses a translucent palette entry, else 0x0600.
uint32_t PalettisedFormat(const Image* image)
{
    const uint32_t entries = 1u << image->depth;
    const uint32_t palette = image->depth == 4 ? kRasterFormatPal4 : kRasterFormatPal8;
    bool translucentEntry[256] = {};
    bool anyTranslucent = false;
    for (uint32_t i = 0; i < entries; ++i) {
        translucentEntry[i] = image->palette[i * 4 + 3] != 255;
        anyTranslucent |= translucentEntry[i];
    }
    if (anyTranslucent) {
        for (int32_t y = 0; y < image->height; ++y) {
            const uint8_t* row = image->pixels + size_t(y) * image->stride;
            for (int32_t x = 0; x < image->width; ++x) {
                if (row[x] < entries && translucentEntry[row[x]]) {
                    return palette | kRasterFormat8888;
                }
            }
        }
    }
    return palette | kRasterFormat888;
}

} // namespace

void D3D9FitRasterSize(int32_t* width, int32_t* height, uint32_t word)
{
    const D3DCAPS9& caps = D3D9NativeDeviceGet().caps;
    int32_t w = *width;
    int32_t h = *height;
    if (caps.MaxTextureWidth && w > int32_t(caps.MaxTextureWidth)) {
        w = int32_t(caps.MaxTextureWidth);
    }
    if (caps.MaxTextureHeight && h > int32_t(caps.MaxTextureHeight)) {
        h = int32_t(caps.MaxTextureHeight);
    }
    const bool pow2 = (caps.TextureCaps & D3DPTEXTURECAPS_POW2) != 0;
    const bool conditional = (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0;
    const bool normalOrNoMips =
        (word & kRasterTypeMask) == kRasterTypeNormal || !(word & kRasterFormatMipmap);
    if (normalOrNoMips ? pow2 && !conditional : pow2) {
        w = w > 0 ? 1 << Log2Floor(uint32_t(w)) : w;
        h = h > 0 ? 1 << Log2Floor(uint32_t(h)) : h;
    }
    if (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        w = h = w < h ? w : h;
    }
    *width = w;
    *height = h;
}

bool D3D9FitRasterFormat(uint32_t type, uint32_t word, uint32_t* fitted)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const uint32_t colour = word & kColourMask;
    switch (type) {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        *fitted = FitTextureFormat(word);
        return true;
    case kRasterTypeZBuffer:
        if (colour) {
            return Refuse();
        }
        *fitted = (word & 0xF0FF) | (device.zBufferDepth == 16 ? kRasterFormat16 : kRasterFormat32);
        return true;
    case kRasterTypeCamera:
        if (colour) {
            return Refuse();
        }
        *fitted = (word & 0xF0FF) | D3D9FormatDescribe(device.backBufferFormat).engineFormat;
        return true;
    case kRasterTypeCameraTexture:
        *fitted = FitCameraTextureFormat(word);
        return true;
    default:
        return Refuse();
    }
}

void D3D9RasterSetFormat(Raster* raster, uint32_t word)
{
    raster->type = uint8_t(word & kRasterTypeMask);
    raster->flags = uint8_t(word & 0xF8);
    raster->format = uint8_t(word >> 8);
    if (word & kRasterFormatPal8) {
        raster->depth = 8;
    } else if (word & kRasterFormatPal4) {
        raster->depth = 4;
    } else {
        raster->depth = D3D9EngineFormatDescribe(word).depth;
    }
}

uint32_t D3D9ImageGetRasterFormat(const Image* image)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    if ((image->depth == 4 || image->depth == 8) && image->palette && image->pixels) {
        return PalettisedFormat(image);
    }
    bool lowAlpha = false;
    if (image->pixels) {
        for (int32_t y = 0; y < image->height; ++y) {
            const uint8_t* row = image->pixels + size_t(y) * image->stride;
            for (int32_t x = 0; x < image->width; ++x) {
                const uint8_t alpha = row[x * 4 + 3];
                if (alpha > 15 && alpha < 255) {
                    return TranslucentFormat();
                }
                lowAlpha |= alpha < 255;
            }
        }
    }
    if (lowAlpha) {
        if (device.modeDepth <= 16) {
            return kRasterFormat1555;
        }
        return D3D9CheckTextureFormat(D3DFMT_A8R8G8B8) ? kRasterFormat8888 : kRasterFormat1555;
    }
    if (device.modeDepth <= 16) {
        return kRasterFormat565;
    }
    return D3D9CheckTextureFormat(D3DFMT_X8R8G8B8) ? kRasterFormat888 : kRasterFormat565;
}

int32_t D3D9ImageFindRasterFormat(void* description, void* imageArgument, int32_t wordArgument)
{
    auto* raster = static_cast<Raster*>(description);
    const auto* image = static_cast<const Image*>(imageArgument);
    const uint32_t word = uint32_t(wordArgument);
    const uint32_t type = word & kRasterTypeMask;
    int32_t width = image->width;
    int32_t height = image->height;
    uint32_t request = word;
    switch (type) {
    case kRasterTypeNormal:
        D3D9FitRasterSize(&width, &height, word);
        request = (word & 0xFF) | ((word & 0xF000) & ~(kRasterFormatMipmap | kRasterFormatAutoMipmap)) |
                  D3D9ImageGetRasterFormat(image);
        break;
    case kRasterTypeTexture:
    case kRasterTypeCameraTexture:
        D3D9FitRasterSize(&width, &height, word);
        request = (word & 0xFF) | (word & kMipBits) | D3D9ImageGetRasterFormat(image);
        break;
    case kRasterTypeZBuffer:
    case kRasterTypeCamera:
        break;
    default:
        Refuse();
        return 0;
    }
    uint32_t fitted = 0;
    if (!D3D9FitRasterFormat(type, request, &fitted)) {
        return 0;
    }
    raster->width = width;
    raster->height = height;
    D3D9RasterSetFormat(raster, fitted);
    return 1;
}
