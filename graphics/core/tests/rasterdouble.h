#pragma once
// A raster device double for the raster, image and texture tests: entry
// points that keep every raster's pixels (all mip levels) in memory, lock
// levels and sub-rasters, fit image sizes like a device with a largest
// texture side and power-of-two sizes, convert between images and rasters,
// keep the rendering context, regenerate mip levels after level 0 was
// written (as a device that cannot make them itself), and write and read
// native texture bodies for texture dictionaries. Pixels of 32-bit rasters are stored as RGBA
// bytes; 8-bit palettised rasters hold indices and a 256-entry palette.
// RasterDoubleStart() brings the engine up on the spine's device double and
// installs these entry points over its recording ones.

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/core/texture.h"

struct RasterDoubleBody
{
    std::vector<std::vector<uint8_t>> levels; ///< level pixels, rows of (level width x bytes per pixel)
    uint8_t palette[256 * 4] = {};
    int32_t lockedLevel = -1;
    bool lockedForWrite = false;
};

struct RasterDoubleState
{
    int32_t maxSide = 256;     ///< largest texture side
    bool powerOfTwo = true;    ///< sizes rounded down to powers of two
    bool palettes = false;     ///< 4- and 8-bit images become 8-bit palettised textures
    bool refuseFormat = false; ///< the image-to-raster-format entry point fails
    int32_t forcedWidth = 0;   ///< non-zero: the size the format query answers
    int32_t forcedHeight = 0;
    uint16_t deviceId = 2;         ///< answer to device request 22
    int32_t generatedMipmaps = 0;  ///< times unlocking level 0 regenerated the levels
    Raster* context = nullptr;     ///< the device's current context
    std::vector<Raster*> contexts; ///< every context set, in order
    std::map<const Raster*, RasterDoubleBody> bodies;
    DeviceSystemHandler spineHandler = nullptr;
};

inline RasterDoubleState& RasterDoubleGet()
{
    static RasterDoubleState state;
    return state;
}

namespace rasterdouble_detail {

inline int32_t BytesPerPixel(const Raster* raster)
{
    return raster->depth == 32 ? 4 : 1;
}

inline int32_t LevelCount(int32_t width, int32_t height)
{
    int32_t side = std::max(width, height);
    int32_t count = 0;
    while (side > 0) {
        ++count;
        side >>= 1;
    }
    return std::max(count, 1);
}

inline Raster* Top(Raster* raster)
{
    while (raster->parent != raster) {
        raster = raster->parent;
    }
    return raster;
}

inline int32_t Create(void*, void* inOut, int32_t word)
{
    auto* raster = static_cast<Raster*>(inOut);
    raster->type = static_cast<uint8_t>(word & kRasterTypeMask);
    raster->flags = static_cast<uint8_t>(word & 0xF8);
    uint32_t format = static_cast<uint32_t>(word) & 0xFF00;
    if (format & (kRasterFormatPal4 | kRasterFormatPal8)) {
        // Palettes are 8-bit; the colour format defaults to 888.
        format = (format & ~uint32_t{kRasterFormatPal4}) | kRasterFormatPal8;
        if (!(format & kRasterFormatPixelMask)) {
            format |= kRasterFormat888;
        }
        raster->depth = 8;
    } else {
        if (!(format & kRasterFormatPixelMask)) {
            format |= kRasterFormat8888;
        }
        raster->depth = 32;
    }
    raster->format = static_cast<uint8_t>(format >> 8);
    if (raster->width <= 0 || raster->height <= 0 || (raster->flags & kRasterFlagNoPixels)) {
        raster->flags |= kRasterFlagNoPixels;
        return 1;
    }
    RasterDoubleBody& body = RasterDoubleGet().bodies[raster];
    const int32_t count = (format & kRasterFormatMipmap) ? LevelCount(raster->width, raster->height) : 1;
    for (int32_t level = 0; level < count; ++level) {
        const int32_t width = std::max(1, raster->width >> level);
        const int32_t height = std::max(1, raster->height >> level);
        body.levels.emplace_back(static_cast<size_t>(width) * height * BytesPerPixel(raster), uint8_t{0});
    }
    return 1;
}

inline int32_t Destroy(void*, void* inOut, int32_t)
{
    RasterDoubleGet().bodies.erase(static_cast<Raster*>(inOut));
    return 1;
}

inline int32_t MipLevels(void* out, void* inOut, int32_t)
{
    const auto& bodies = RasterDoubleGet().bodies;
    const auto found = bodies.find(Top(static_cast<Raster*>(inOut)));
    *static_cast<int32_t*>(out) =
        found == bodies.end() ? 1 : static_cast<int32_t>(found->second.levels.size());
    return 1;
}

inline int32_t Lock(void* out, void* inOut, int32_t word)
{
    auto* raster = static_cast<Raster*>(inOut);
    Raster* top = Top(raster);
    auto found = RasterDoubleGet().bodies.find(top);
    const int32_t level = (word >> 8) & 0xFF;
    if (raster->pixels || found == RasterDoubleGet().bodies.end() ||
        level >= static_cast<int32_t>(found->second.levels.size())) {
        ErrorRaise(0, kErrorRasterLock);
        return 0;
    }
    RasterDoubleBody& body = found->second;
    const int32_t levelWidth = std::max(1, top->width >> level);
    raster->stride = levelWidth * BytesPerPixel(top);
    raster->pixels = body.levels[level].data() + static_cast<size_t>(raster->yOffset) * raster->stride +
                     static_cast<size_t>(raster->xOffset) * BytesPerPixel(top);
    raster->originalWidth = raster->width;
    raster->originalHeight = raster->height;
    raster->width = std::max(1, raster->width >> level);
    raster->height = std::max(1, raster->height >> level);
    raster->privateFlags |= (word & kRasterLockWrite) ? kRasterPrivateLockedWrite : 0;
    raster->privateFlags |= (word & kRasterLockRead) ? kRasterPrivateLockedRead : 0;
    body.lockedLevel = level;
    body.lockedForWrite = (word & kRasterLockWrite) != 0;
    *static_cast<uint8_t**>(out) = raster->pixels;
    return 1;
}

inline int32_t Unlock(void*, void* inOut, int32_t)
{
    auto* raster = static_cast<Raster*>(inOut);
    if (!raster->pixels) {
        ErrorRaise(0, kErrorRasterNotLocked);
        return 0;
    }
    RasterDoubleBody& body = RasterDoubleGet().bodies[Top(raster)];
    raster->pixels = nullptr;
    raster->stride = 0;
    raster->width = raster->originalWidth;
    raster->height = raster->originalHeight;
    raster->privateFlags &= static_cast<uint8_t>(~(kRasterPrivateLockedRead | kRasterPrivateLockedWrite));
    const bool regenerate = body.lockedLevel == 0 && body.lockedForWrite &&
                            (raster->format & (kRasterFormatAutoMipmap >> 8)) && body.levels.size() > 1;
    body.lockedLevel = -1;
    if (regenerate) {
        // Like a device that cannot make the levels itself.
        ++RasterDoubleGet().generatedMipmaps;
        return TextureGenerateMipmaps(Top(raster), nullptr);
    }
    return 1;
}

inline int32_t LockPalette(void* out, void* inOut, int32_t mode)
{
    auto* raster = static_cast<Raster*>(inOut);
    auto found = RasterDoubleGet().bodies.find(Top(raster));
    if (raster->depth != 8 || found == RasterDoubleGet().bodies.end()) {
        return 0;
    }
    raster->palette = found->second.palette;
    raster->privateFlags |=
        kRasterPrivatePaletteLocked | ((mode & kRasterLockWrite) ? kRasterPrivatePaletteLockedWrite : 0);
    *static_cast<uint8_t**>(out) = raster->palette;
    return 1;
}

inline int32_t UnlockPalette(void*, void* inOut, int32_t)
{
    static_cast<Raster*>(inOut)->palette = nullptr;
    return 1;
}

inline int32_t SubRaster(void* out, void* inOut, int32_t)
{
    auto* raster = static_cast<Raster*>(out);
    const auto* parent = static_cast<const Raster*>(inOut);
    raster->stride = parent->stride;
    raster->depth = parent->depth;
    raster->type = parent->type;
    raster->format = parent->format;
    return 1;
}

inline int32_t TextureSetRaster(void* out, void* inOut, int32_t)
{
    // The texture's first field is its raster.
    *static_cast<Raster**>(out) = static_cast<Raster*>(inOut);
    return 1;
}

inline int32_t SetContext(void*, void* inOut, int32_t)
{
    RasterDoubleGet().context = static_cast<Raster*>(inOut);
    RasterDoubleGet().contexts.push_back(static_cast<Raster*>(inOut));
    return 1;
}

// Fills a rectangle of the 32-bit context with a pixel value (RGBA bytes of it).
inline int32_t FillContext(const RasterRect& rect, uint32_t value)
{
    Raster* context = RasterDoubleGet().context;
    if (!context || context->depth != 32) {
        return 0;
    }
    uint8_t* pixels = RasterLock(context, 0, kRasterLockWrite);
    if (!pixels) {
        return 0;
    }
    for (int32_t y = std::max(0, rect.y); y < std::min(context->height, rect.y + rect.height); ++y) {
        for (int32_t x = std::max(0, rect.x); x < std::min(context->width, rect.x + rect.width); ++x) {
            std::memcpy(pixels + y * context->stride + x * 4, &value, 4);
        }
    }
    RasterUnlock(context);
    return 1;
}

inline int32_t Clear(void*, void*, int32_t value)
{
    Raster* context = RasterDoubleGet().context;
    return context
               ? FillContext(RasterRect{0, 0, context->width, context->height}, static_cast<uint32_t>(value))
               : 0;
}

inline int32_t ClearRect(void*, void* inOut, int32_t value)
{
    return FillContext(*static_cast<const RasterRect*>(inOut), static_cast<uint32_t>(value));
}

inline int32_t RGBAToPixel(void* out, void* inOut, int32_t)
{
    std::memcpy(out, inOut, 4);
    return 1;
}

inline int32_t PixelToRGBA(void* out, void* inOut, int32_t)
{
    std::memcpy(out, inOut, 4);
    return 1;
}

inline int32_t FitSide(int32_t side)
{
    const RasterDoubleState& d = RasterDoubleGet();
    side = std::min(side, d.maxSide);
    if (d.powerOfTwo) {
        int32_t power = 1;
        while (power * 2 <= side) {
            power *= 2;
        }
        side = power;
    }
    return side;
}

inline int32_t ImageRasterFormat(void* out, void* inOut, int32_t word)
{
    const RasterDoubleState& d = RasterDoubleGet();
    auto* raster = static_cast<Raster*>(out);
    const auto* image = static_cast<const Image*>(inOut);
    if (d.refuseFormat) {
        return 0;
    }
    raster->width = d.forcedWidth ? d.forcedWidth : FitSide(image->width);
    raster->height = d.forcedHeight ? d.forcedHeight : FitSide(image->height);
    raster->type = static_cast<uint8_t>(word & kRasterTypeMask);
    const uint32_t mipBits = static_cast<uint32_t>(word) & (kRasterFormatMipmap | kRasterFormatAutoMipmap);
    const bool palettised = d.palettes && image->depth <= 8;
    const uint32_t format = (palettised ? kRasterFormatPal8 | kRasterFormat888 : kRasterFormat8888) | mipBits;
    raster->format = static_cast<uint8_t>(format >> 8);
    raster->depth = palettised ? 8 : 32;
    return 1;
}

// Writes a same-size image into the locked pixels.
inline bool WritePixels(Raster* raster, const Image* image)
{
    RasterDoubleBody& body = RasterDoubleGet().bodies[Top(raster)];
    for (int32_t y = 0; y < raster->height; ++y) {
        uint8_t* out = raster->pixels + static_cast<size_t>(y) * raster->stride;
        const uint8_t* in = image->pixels + static_cast<size_t>(y) * image->stride;
        if (raster->depth == 32) {
            for (int32_t x = 0; x < raster->width; ++x) {
                std::memcpy(out + x * 4, image->depth == 32 ? in + x * 4 : ImagePaletteColour(image, in[x]),
                            4);
            }
        } else if (image->depth <= 8) {
            std::memcpy(out, in, static_cast<size_t>(raster->width));
        } else {
            return false; // the double does not quantise
        }
    }
    if (raster->depth == 8) {
        std::memcpy(body.palette, image->palette, static_cast<size_t>(4) << image->depth);
    }
    return true;
}

inline int32_t RasterFromImage(void* out, void* inOut, int32_t)
{
    auto* raster = static_cast<Raster*>(out);
    auto* image = static_cast<Image*>(inOut);
    const bool lock = raster->pixels == nullptr;
    if (lock && !RasterLock(raster, 0, kRasterLockWrite)) {
        return 0;
    }
    Image* scaled = nullptr;
    const Image* source = image;
    if (image->width != raster->width || image->height != raster->height) {
        scaled = ImageScale(image, raster->width, raster->height);
        source = scaled;
    }
    const bool ok = source && WritePixels(raster, source);
    if (scaled) {
        ImageDestroy(scaled);
    }
    if (lock) {
        RasterUnlock(raster);
    }
    return ok ? 1 : 0;
}

inline int32_t ImageFromRaster(void* out, void* inOut, int32_t)
{
    auto* image = static_cast<Image*>(out);
    auto* raster = static_cast<Raster*>(inOut);
    if (image->depth != 32 || image->width != raster->width || image->height != raster->height) {
        return 0;
    }
    const bool lock = raster->pixels == nullptr;
    if (lock && !RasterLock(raster, 0, kRasterLockRead)) {
        return 0;
    }
    const RasterDoubleBody& body = RasterDoubleGet().bodies[Top(raster)];
    for (int32_t y = 0; y < raster->height; ++y) {
        const uint8_t* in = raster->pixels + static_cast<size_t>(y) * raster->stride;
        uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
        for (int32_t x = 0; x < raster->width; ++x) {
            std::memcpy(row + x * 4, raster->depth == 32 ? in + x * 4 : body.palette + in[x] * 4, 4);
        }
    }
    if (lock) {
        RasterUnlock(raster);
    }
    return 1;
}

// Native texture bodies of the double: a struct chunk {width, height, level
// count, sampling word, name[32], mask[32]} followed by every level's RGBA
// bytes, for 32-bit textures only.
inline uint32_t NativeBodySize(const Raster* raster)
{
    uint32_t size = kChunkHeaderSize + 16 + 64;
    for (const auto& level : RasterDoubleGet().bodies[raster].levels) {
        size += static_cast<uint32_t>(level.size());
    }
    return size;
}

inline int32_t NativeSize(void* out, void* inOut, int32_t)
{
    const auto* texture = static_cast<const Texture*>(inOut);
    if (!texture->raster || texture->raster->depth != 32) {
        return 0;
    }
    *static_cast<int32_t*>(out) = static_cast<int32_t>(NativeBodySize(texture->raster));
    return 1;
}

inline int32_t NativeWrite(void* out, void* inOut, int32_t)
{
    auto* stream = static_cast<Stream*>(out);
    const auto* texture = static_cast<const Texture*>(inOut);
    const Raster* raster = texture->raster;
    const RasterDoubleBody& body = RasterDoubleGet().bodies[raster];
    const uint32_t fields[4] = {static_cast<uint32_t>(raster->width), static_cast<uint32_t>(raster->height),
                                static_cast<uint32_t>(body.levels.size()), texture->filterAddressing};
    if (!ChunkHeaderWriteCurrent(stream, kChunkStruct, NativeBodySize(raster) - kChunkHeaderSize) ||
        !StreamWriteInt32(stream, reinterpret_cast<const int32_t*>(fields), sizeof(fields)) ||
        !StreamWrite(stream, texture->name, 32) || !StreamWrite(stream, texture->mask, 32)) {
        return 0;
    }
    for (const auto& level : body.levels) {
        if (!StreamWrite(stream, level.data(), level.size())) {
            return 0;
        }
    }
    return 1;
}

inline int32_t NativeRead(void* out, void* inOut, int32_t)
{
    auto* stream = static_cast<Stream*>(out);
    uint32_t size = 0;
    uint32_t fields[4];
    char names[64];
    if (!StreamFindChunk(stream, kChunkStruct, &size, nullptr) ||
        !StreamReadInt32(stream, reinterpret_cast<int32_t*>(fields), sizeof(fields)) ||
        StreamRead(stream, names, sizeof(names)) != sizeof(names)) {
        return 0;
    }
    const int32_t width = static_cast<int32_t>(fields[0]);
    const int32_t height = static_cast<int32_t>(fields[1]);
    const int32_t maxSide = RasterDoubleGet().maxSide;
    if (width < 1 || height < 1 || width > maxSide || height > maxSide ||
        (fields[2] != 1 && fields[2] != static_cast<uint32_t>(LevelCount(width, height)))) {
        return 0;
    }
    const uint32_t flags = kRasterTypeTexture | kRasterFormat8888 | (fields[2] > 1 ? kRasterFormatMipmap : 0);
    Raster* raster = RasterCreate(width, height, 32, flags);
    if (!raster) {
        return 0;
    }
    RasterDoubleBody& body = RasterDoubleGet().bodies[raster];
    bool ok = NativeBodySize(raster) == size + kChunkHeaderSize;
    for (auto& level : body.levels) {
        ok = ok && StreamRead(stream, level.data(), level.size()) == level.size();
    }
    Texture* texture = ok ? TextureCreate(raster) : nullptr;
    if (!texture) {
        RasterDestroy(raster);
        return 0;
    }
    names[31] = names[63] = '\0';
    TextureSetName(texture, names);
    TextureSetMaskName(texture, names + 32);
    texture->filterAddressing = fields[3];
    *static_cast<Texture**>(inOut) = texture;
    return 1;
}

inline int32_t Succeed(void*, void*, int32_t)
{
    return 1;
}

inline int32_t Handler(int32_t request, void* out, void* inOut, int32_t number)
{
    if (request == kDeviceRequestDeviceId) {
        *static_cast<uint16_t*>(out) = RasterDoubleGet().deviceId;
        return 1;
    }
    return RasterDoubleGet().spineHandler(request, out, inOut, number);
}

} // namespace rasterdouble_detail

/// Installs the raster entry points into the current (open) engine instance.
inline void RasterDoubleInstall()
{
    using namespace rasterdouble_detail;
    DeviceFunction* f = EngineGetInstance()->deviceFunctions;
    f[kDeviceFnRasterCreate] = Create;
    f[kDeviceFnRasterDestroy] = Destroy;
    f[kDeviceFnRasterLock] = Lock;
    f[kDeviceFnRasterUnlock] = Unlock;
    f[kDeviceFnPaletteLock] = LockPalette;
    f[kDeviceFnPaletteUnlock] = UnlockPalette;
    f[kDeviceFnMipLevels] = MipLevels;
    f[kDeviceFnSubRaster] = SubRaster;
    f[kDeviceFnTextureSetRaster] = TextureSetRaster;
    f[kDeviceFnSetContextRaster] = SetContext;
    f[kDeviceFnClear] = Clear;
    f[kDeviceFnClearRect] = ClearRect;
    f[kDeviceFnRGBAToPixel] = RGBAToPixel;
    f[kDeviceFnPixelToRGBA] = PixelToRGBA;
    f[kDeviceFnImageRasterFormat] = ImageRasterFormat;
    f[kDeviceFnRasterFromImage] = RasterFromImage;
    f[kDeviceFnImageFromRaster] = ImageFromRaster;
    f[kDeviceFnRasterRender] = Succeed;
    f[kDeviceFnRasterRenderFast] = Succeed;
    f[kDeviceFnRasterRenderScaled] = Succeed;
    f[kDeviceFnRasterShowRaster] = Succeed;
    f[kDeviceFnNativeTextureSize] = NativeSize;
    f[kDeviceFnNativeTextureWrite] = NativeWrite;
    f[kDeviceFnNativeTextureRead] = NativeRead;
    RasterDoubleGet().spineHandler = EngineGetInstance()->device.systemHandler;
    EngineGetInstance()->device.systemHandler = Handler;
}

/// Fresh double state, engine started on the device double, raster entry
/// points installed.
inline bool RasterDoubleStart()
{
    RasterDoubleGet() = RasterDoubleState{};
    if (!EngineTestStart()) {
        return false;
    }
    RasterDoubleInstall();
    return true;
}
