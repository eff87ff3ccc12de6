// Raster <-> image conversion.

#include "graphics/d3d9/rasterconvert.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/palquant.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/formatfit.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/pixelformat.h"
#include "platform/d3d9/d3d9types.h"

namespace {

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

bool IsPalettised(uint32_t engineFormat)
{
    return (engineFormat & (kRasterFormatPal8 | kRasterFormatPal4)) != 0;
}

/// Packs a colour into an 8-bit luminance-class format.
uint8_t PackByte(uint32_t d3dFormat, const uint8_t* rgba)
{
    uint8_t out = 0;
    if (!D3D9EncodePixels(d3dFormat, rgba, &out, 1)) {
        D3D9EncodePixels(D3DFMT_L8, rgba, &out, 1);
    }
    return out;
}

/// The RGBA colour of pixel (x, y) of a 4-, 8- or 32-bit image.
const uint8_t* ImageColour(const Image* image, int32_t x, int32_t y)
{
    const uint8_t* row = image->pixels + size_t(y) * image->stride;
    return image->depth == 32 ? row + x * 4 : ImagePaletteColour(image, row[x]);
}

/// Writes a palettised image's indices and palette into a palettised raster.
void WriteIndices(D3D9RasterPixels* d, const Image* image, uint8_t* palette)
{
    for (int32_t y = 0; y < d->height; ++y) {
        std::memcpy(d->pixels + size_t(y) * d->stride, image->pixels + size_t(y) * image->stride,
                    size_t(d->width));
    }
    if (palette) {
        const int32_t entries = 1 << image->depth;
        std::memset(palette, 0, 1024);
        std::memcpy(palette, image->palette, size_t(entries) * 4);
    }
}

} // namespace

bool D3D9RasterPixelsToImage(const D3D9RasterPixels* s, Image* image)
{
    if (s->depth < 4 || s->depth > 32) {
        return Fail(kErrorConvertDepth);
    }
    const bool indexed = s->depth <= 8 && (s->palette || IsPalettised(s->engineFormat));
    const bool decodable = D3D9FormatCanDecode(s->d3dFormat) && s->d3dFormat != D3DFMT_L8;
    if (!indexed && !decodable && s->depth != 8 && s->depth != 4) {
        return Fail(kErrorRasterFormat);
    }
    for (int32_t y = 0; y < s->height; ++y) {
        const uint8_t* in = s->pixels + size_t(y) * s->stride;
        uint8_t* out = image->pixels + size_t(y) * image->stride;
        if (indexed) {
            for (int32_t x = 0; x < s->width; ++x) {
                if (s->palette) {
                    std::memcpy(out + x * 4, s->palette + size_t(in[x]) * 4, 4);
                } else {
                    const uint8_t grey[4] = {in[x], in[x], in[x], 255};
                    std::memcpy(out + x * 4, grey, 4);
                }
            }
        } else if (decodable) {
            D3D9DecodePixels(s->d3dFormat, in, out, uint32_t(s->width));
        } else {
            for (int32_t x = 0; x < s->width; ++x) {
                const uint8_t grey[4] = {in[x], in[x], in[x], 255};
                std::memcpy(out + x * 4, grey, 4);
            }
        }
    }
    return true;
}

bool D3D9RasterPixelsFromImage(D3D9RasterPixels* d, const Image* image)
{
    if (d->depth == 4 || d->depth == 8) {
        if (IsPalettised(d->engineFormat)) {
            if (image->depth != 4 && image->depth != 8) {
                return Fail(kErrorConvertDepth);
            }
            WriteIndices(d, image, const_cast<uint8_t*>(d->palette));
            return true;
        }
        if (image->depth != 32) {
            // The rule applies once to each palette entry; pixels take their entry's value.
            uint8_t packed[256];
            const int32_t entries = 1 << image->depth;
            for (int32_t i = 0; i < entries; ++i) {
                packed[i] = PackByte(d->d3dFormat, image->palette + i * 4);
            }
            for (int32_t y = 0; y < d->height; ++y) {
                const uint8_t* in = image->pixels + size_t(y) * image->stride;
                uint8_t* out = d->pixels + size_t(y) * d->stride;
                for (int32_t x = 0; x < d->width; ++x) {
                    out[x] = packed[in[x] & (entries - 1)];
                }
            }
            return true;
        }
        for (int32_t y = 0; y < d->height; ++y) {
            const uint8_t* in = image->pixels + size_t(y) * image->stride;
            uint8_t* out = d->pixels + size_t(y) * d->stride;
            for (int32_t x = 0; x < d->width; ++x) {
                out[x] = PackByte(d->d3dFormat, in + x * 4);
            }
        }
        return true;
    }
    if (d->depth != 16 && d->depth != 24 && d->depth != 32) {
        return Fail(kErrorConvertDepth);
    }
    if (!D3D9FormatCanEncode(d->d3dFormat)) {
        return Fail(kErrorRasterFormat);
    }
    const uint32_t bytes = D3D9FormatPixelBytes(d->d3dFormat);
    for (int32_t y = 0; y < d->height; ++y) {
        uint8_t* out = d->pixels + size_t(y) * d->stride;
        if (image->depth == 32) {
            D3D9EncodePixels(d->d3dFormat, image->pixels + size_t(y) * image->stride, out,
                             uint32_t(d->width));
            continue;
        }
        for (int32_t x = 0; x < d->width; ++x) {
            D3D9EncodePixels(d->d3dFormat, ImageColour(image, x, y), out + size_t(x) * bytes, 1);
        }
    }
    return true;
}

namespace {

D3D9RasterPixels Describe(Raster* raster)
{
    Raster* top = raster->parent ? raster->parent : raster;
    while (top->parent && top->parent != top) {
        top = top->parent;
    }
    const D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    return {raster->pixels, raster->stride, raster->width,
            raster->height, raster->depth,  uint32_t(raster->format) << 8,
            body->format,   raster->palette};
}

/// Locks level 0 and the palette as a conversion needs them; unlocks what it locked.
struct ConversionLock
{
    Raster* raster;
    bool level = false;
    bool palette = false;

    bool Take(uint32_t mode, uint8_t heldFlag)
    {
        if (!(raster->privateFlags & heldFlag) || !raster->pixels) {
            if (!RasterLock(raster, 0, mode)) {
                return false;
            }
            level = true;
        }
        if (IsPalettised(uint32_t(raster->format) << 8) &&
            !(raster->privateFlags & kRasterPrivatePaletteLocked)) {
            if (!RasterLockPalette(raster, mode)) {
                return false;
            }
            palette = true;
        }
        return true;
    }

    ~ConversionLock()
    {
        if (palette) {
            RasterUnlockPalette(raster);
        }
        if (level) {
            RasterUnlock(raster);
        }
    }
};

/// Quantises a 32-bit image into a palettised one of `depth` bits (one byte a pixel).
Image* Quantise(const Image* image, int32_t depth)
{
    Image* indexed = ImageCreate(image->width, image->height, depth);
    if (!indexed || !ImageAllocatePixels(indexed)) {
        if (indexed) {
            ImageDestroy(indexed);
        }
        return nullptr;
    }
    PalQuant quantiser;
    if (!PalQuantInit(&quantiser)) {
        ImageDestroy(indexed);
        return nullptr;
    }
    bool ok = PalQuantAddImage(&quantiser, image, 1.0f) &&
              PalQuantResolvePalette(indexed->palette, 1 << depth, &quantiser) &&
              PalQuantMatchImage(indexed->pixels, indexed->stride, depth, 0, &quantiser, image);
    PalQuantTerm(&quantiser);
    if (!ok) {
        ImageDestroy(indexed);
        return nullptr;
    }
    return indexed;
}

} // namespace

int32_t D3D9ImageSetFromRaster(void* imageArgument, void* rasterArgument, int32_t)
{
    auto* image = static_cast<Image*>(imageArgument);
    auto* raster = static_cast<Raster*>(rasterArgument);
    Raster* top = raster;
    while (top->parent && top->parent != top) {
        top = top->parent;
    }
    if (D3D9RasterHasNativeFormat(top)) {
        return FailDevice("Conversion from compressed rasters is not supported.");
    }
    if (image->depth != 32 && image->depth != 8) {
        return FailDevice("Conversion from rasters to 4bit images is not supported");
    }
    if (image->depth == 8 && (raster->depth != 8 || !(raster->format & 0x0F))) {
        return FailDevice("Conversion from non palettised rasters to 8bit images is not supported");
    }
    ConversionLock lock{raster};
    if (!lock.Take(kRasterLockRead, kRasterPrivateLockedRead)) {
        return 0;
    }
    const D3D9RasterPixels source = Describe(raster);
    if (image->width != source.width || image->height != source.height || !image->pixels) {
        return Fail(kErrorImageFormat);
    }
    if (image->depth == 32) {
        return D3D9RasterPixelsToImage(&source, image) ? 1 : 0;
    }
    for (int32_t y = 0; y < source.height; ++y) {
        std::memcpy(image->pixels + size_t(y) * image->stride, source.pixels + size_t(y) * source.stride,
                    size_t(source.width));
    }
    for (int32_t i = 0; i < 256; ++i) {
        uint8_t* entry = image->palette + i * 4;
        if (source.palette) {
            std::memcpy(entry, source.palette + i * 4, 4);
        } else {
            entry[0] = entry[1] = entry[2] = uint8_t(i);
            entry[3] = 255;
        }
    }
    return 1;
}

int32_t D3D9RasterSetFromImage(void* rasterArgument, void* imageArgument, int32_t)
{
    auto* raster = static_cast<Raster*>(rasterArgument);
    auto* image = static_cast<Image*>(imageArgument);
    Raster* top = raster;
    while (top->parent && top->parent != top) {
        top = top->parent;
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    if (D3D9RasterHasNativeFormat(top)) {
        return FailDevice("Conversion to compressed rasters is not supported.");
    }
    uint8_t alpha;
    if (raster->type == kRasterTypeNormal) {
        alpha = D3D9EngineFormatDescribe(D3D9ImageGetRasterFormat(image)).hasAlpha;
    } else if (body->format == D3DFMT_P8) {
        alpha = (raster->format & 0x0F) == (kRasterFormat8888 >> 8);
    } else {
        alpha = D3D9FormatDescribe(body->format).hasAlpha;
    }
    D3D9RasterGetExtension(raster)->hasAlpha = alpha;
    if (alpha && raster != top) {
        body->hasAlpha = 1;
    }
    // The level to write may be a mip level: its size is known once locked.
    ConversionLock lock{raster};
    if (!lock.Take(kRasterLockWrite, kRasterPrivateLockedWrite)) {
        return 0;
    }
    D3D9RasterPixels destination = Describe(raster);
    Image* scaled = nullptr;
    const Image* source = image;
    if (image->width != destination.width || image->height != destination.height) {
        scaled = ImageScale(image, destination.width, destination.height);
        if (!scaled) {
            return 0;
        }
        source = scaled;
    }
    Image* quantised = nullptr;
    if (IsPalettised(destination.engineFormat) && source->depth == 32) {
        quantised = Quantise(source, destination.depth == 4 ? 4 : 8);
        if (!quantised) {
            if (scaled) {
                ImageDestroy(scaled);
            }
            return 0;
        }
        if (body->hasAlpha && D3D9ImageGetRasterFormat(quantised) == (kRasterFormatPal8 | kRasterFormat888)) {
            top->format = uint8_t((top->format & 0xF0) | (kRasterFormat888 >> 8));
            body->hasAlpha = 0;
        }
        source = quantised;
    }
    const bool ok = D3D9RasterPixelsFromImage(&destination, source);
    if (quantised) {
        ImageDestroy(quantised);
    }
    if (scaled) {
        ImageDestroy(scaled);
    }
    return ok ? 1 : 0;
}

bool D3D9RasterRecreateFromImage(Raster* raster)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    Image* image = ImageCreate(raster->width, raster->height, 32);
    if (!image || !ImageAllocatePixels(image) || !D3D9ImageSetFromRaster(image, raster, 0)) {
        if (image) {
            ImageDestroy(image);
        }
        return false;
    }
    const bool cameraTexture = raster->type == kRasterTypeCameraTexture;
    const bool cube = D3D9RasterIsCubeTexture(raster) != 0;
    auto passes = [&](uint32_t format) {
        if (cameraTexture) {
            return cube ? D3D9CheckCubeRenderTargetFormat(format) : D3D9CheckRenderTargetFormat(format);
        }
        return cube ? D3D9CheckCubeTextureFormat(format) : D3D9CheckTextureFormat(format);
    };
    uint32_t format;
    if (!D3D9RasterHasAlpha(raster)) {
        format = device.modeDepth > 16 && passes(D3DFMT_X8R8G8B8) ? kRasterFormat888 : kRasterFormat565;
    } else if (device.modeDepth > 16 && passes(D3DFMT_A8R8G8B8)) {
        format = kRasterFormat8888;
    } else {
        format = passes(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555;
    }
    D3D9RasterDestroy(nullptr, raster, 0);
    const uint32_t word = raster->type | format | kRasterFormatMipmap | kRasterFormatAutoMipmap;
    bool ok = D3D9RasterCreate(nullptr, raster, int32_t(word)) && D3D9RasterSetFromImage(raster, image, 0);
    ImageDestroy(image);
    return ok;
}
