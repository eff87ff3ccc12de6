// DDS files into rasters: the direct path (levels copied into a texture of
// the file's format) and the fallback path (level 0 decoded and converted).

#include "graphics/d3d9/ddsread.h"

#include <cstring>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/formatfit.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

constexpr uint32_t kScratchHint = 0x10018;

/// Formats the direct path copies without asking the device first.
bool TakenUnchecked(uint32_t format, bool cube)
{
    return format == D3DFMT_R5G6B5 || (format == D3DFMT_A1R5G5B5 && !cube);
}

/// True when `bytes` more can be read (or the stream cannot tell).
bool Backed(Stream* stream, size_t bytes)
{
    const int64_t remaining = StreamGetRemaining(stream);
    return remaining < 0 || uint64_t(remaining) >= bytes;
}

/// The engine format code a direct-path raster takes for its Direct3D format.
uint32_t EngineFormatOf(uint32_t format)
{
    return D3D9FormatDescribe(format).engineFormat & kRasterFormatPixelMask;
}

/// True when a "DXT1" level uses the transparent colour anywhere.
bool Dxt1HasTransparency(Raster* raster, uint32_t levels, uint32_t faces)
{
    for (uint32_t face = 0; face < faces; ++face) {
        D3D9RasterSetCubeFace(raster, face);
        for (uint32_t level = 0; level < levels; ++level) {
            const uint8_t* pixels = RasterLock(raster, uint8_t(level), kRasterLockRead);
            if (!pixels) {
                continue;
            }
            const size_t blocksWide = (size_t(raster->width) + 3) / 4;
            const uint32_t blockRows = D3D9FormatRowCount(kFourCCDXT1, uint32_t(raster->height));
            bool found = false;
            for (uint32_t by = 0; by < blockRows && !found; ++by) {
                const uint8_t* row = pixels + size_t(by) * size_t(raster->stride);
                for (size_t bx = 0; bx < blocksWide && !found; ++bx) {
                    const uint8_t* block = row + bx * 8;
                    const uint16_t c0 = uint16_t(block[0] | block[1] << 8);
                    const uint16_t c1 = uint16_t(block[2] | block[3] << 8);
                    if (c0 > c1) {
                        continue;
                    }
                    for (int i = 4; i < 8 && !found; ++i) {
                        for (int t = 0; t < 4; ++t) {
                            found |= ((block[i] >> (2 * t)) & 3) == 3;
                        }
                    }
                }
            }
            RasterUnlock(raster);
            if (found) {
                D3D9RasterSetCubeFace(raster, 0);
                return true;
            }
        }
    }
    D3D9RasterSetCubeFace(raster, 0);
    return false;
}

/// Copies the file's levels into the raster, row by row with the file's row size.
bool CopyLevels(Stream* stream, Raster* raster, const DdsHeader& h, uint32_t format)
{
    const uint32_t fileLevels = DdsLevelCount(&h);
    const int32_t rasterLevels = RasterGetNumLevels(raster);
    for (uint32_t face = 0; face < 6; ++face) {
        if (!DdsHasFace(&h, face)) {
            continue;
        }
        D3D9RasterSetCubeFace(raster, face);
        for (uint32_t level = 0; level < fileLevels; ++level) {
            const uint32_t w = D3D9LevelDimension(h.width, level);
            const uint32_t ht = D3D9LevelDimension(h.height, level);
            const size_t rowBytes = D3D9FormatRowBytes(format, w);
            const uint32_t rows = D3D9FormatRowCount(format, ht);
            if (int32_t(level) >= rasterLevels) {
                if (!StreamSkip(stream, rowBytes * rows)) {
                    return false;
                }
                continue;
            }
            uint8_t* pixels = RasterLock(raster, uint8_t(level), kRasterLockWrite);
            if (!pixels) {
                return false;
            }
            bool ok = size_t(raster->stride) >= rowBytes;
            for (uint32_t row = 0; ok && row < rows; ++row) {
                ok = StreamRead(stream, pixels + size_t(row) * size_t(raster->stride), rowBytes) == rowBytes;
            }
            RasterUnlock(raster);
            if (!ok) {
                return false;
            }
        }
    }
    D3D9RasterSetCubeFace(raster, 0);
    return true;
}

/// Direct path; `fallback` is set when the file should be decoded instead.
Raster* ReadDirect(Stream* stream, const DdsHeader& h, uint32_t format, bool* fallback)
{
    const bool cube = DdsIsCube(&h);
    const bool fourCC = h.pixelFlags == kDdsPixelFourCC;
    *fallback = false;
    bool accepted = TakenUnchecked(format, cube) ||
                    (cube ? D3D9CheckCubeTextureFormat(format) : D3D9CheckTextureFormat(format));
    if (!accepted) {
        *fallback = !cube;
        return nullptr;
    }
    const uint32_t mipFlag = (h.flags & kDdsFlagMipMapCount) ? kRasterFormatMipmap : 0;
    int32_t width = int32_t(h.width);
    int32_t height = int32_t(h.height);
    D3D9FitRasterSize(&width, &height, kRasterTypeTexture | mipFlag);
    if (uint32_t(width) != h.width || uint32_t(height) != h.height || (cube && h.width != h.height)) {
        *fallback = !cube;
        return nullptr;
    }
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    uint32_t levels = DdsLevelCount(&h);
    if (cube &&
        !(device.caps.CubeTextureFilterCaps & (D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR))) {
        levels = 1;
    }
    D3D9ExplicitRequest request{};
    request.width = width;
    request.height = height;
    request.depth = D3D9FormatDescribe(format).depth ? D3D9FormatDescribe(format).depth : 16;
    request.word = kRasterTypeTexture | (levels > 1 ? kRasterFormatMipmap : 0) | (EngineFormatOf(format));
    request.d3dFormat = format;
    request.levels = levels;
    request.cube = cube;
    Raster* raster = D3D9RasterCreateExplicit(&request);
    if (!raster) {
        return nullptr;
    }
    D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    bool ok = true;
    if (format == D3DFMT_P8) {
        uint8_t* palette = RasterLockPalette(raster, kRasterLockWrite);
        ok = palette && StreamRead(stream, palette, kDdsPaletteBytes) == kDdsPaletteBytes;
        if (palette) {
            RasterUnlockPalette(raster);
        }
    }
    ok = ok && CopyLevels(stream, raster, h, format);
    if (!ok) {
        RasterDestroy(raster);
        return nullptr;
    }
    const uint8_t mipBits = raster->format & 0xF0;
    if (!fourCC) {
        // Depth and engine format follow the file's layout (a palette raster
        // is marked palettised, with alpha in its palette when the file says so).
        const D3D9FormatDescription described = D3D9FormatDescribe(format);
        body->hasAlpha = (h.pixelFlags & kDdsPixelAlpha) || h.alphaMask ? 1 : 0;
        raster->depth = described.depth;
        uint8_t code = uint8_t((described.engineFormat >> 8) & 0x0F);
        if (format == D3DFMT_P8) {
            code = uint8_t((kRasterFormatPal8 >> 8) | (body->hasAlpha ? 0x05 : 0x06));
        }
        raster->format = uint8_t(mipBits | code);
    } else if (format == kFourCCDXT1) {
        body->hasAlpha =
            Dxt1HasTransparency(raster, uint32_t(RasterGetNumLevels(raster)), cube ? 6 : 1) ? 1 : 0;
        raster->depth = 16;
        raster->format = uint8_t(mipBits | (body->hasAlpha ? 0x01 : 0x02));
    } else if (DxtIsFormat(format)) {
        body->hasAlpha = 1;
        raster->depth = 16;
        raster->format = uint8_t(mipBits | 0x03);
    } else {
        const D3D9FormatDescription described = D3D9FormatDescribe(format);
        body->hasAlpha = described.hasAlpha;
        raster->depth = described.depth;
        raster->format = uint8_t(mipBits | ((described.engineFormat >> 8) & 0x0F));
    }
    return raster;
}

/// Bytes of every level of every face the header declares (SIZE_MAX when absurd).
size_t DeclaredBytes(const DdsHeader& h, uint32_t format)
{
    size_t total = 0;
    for (uint32_t level = 0; level < DdsLevelCount(&h); ++level) {
        const size_t bytes = D3D9FormatLevelBytes(format, D3D9LevelDimension(h.width, level),
                                                  D3D9LevelDimension(h.height, level));
        if (bytes == SIZE_MAX || total > SIZE_MAX / 8 - bytes) {
            return SIZE_MAX;
        }
        total += bytes;
    }
    return total > SIZE_MAX / 8 ? SIZE_MAX : total * DdsFaceCount(&h);
}

/// Fallback path: level 0 decoded into an image and written into a raster
/// of a format the device accepts.
Raster* ReadFallback(Stream* stream, const DdsHeader& h, uint32_t format)
{
    const size_t bytes = D3D9FormatLevelBytes(format, h.width, h.height);
    const size_t paletteBytes = format == D3DFMT_P8 ? kDdsPaletteBytes : 0;
    // A file shorter than the levels it declares is refused, though only level 0 is used.
    const size_t declared = DeclaredBytes(h, format);
    if (bytes == 0 || declared == SIZE_MAX || !Backed(stream, declared + paletteBytes)) {
        return nullptr;
    }
    uint8_t palette[kDdsPaletteBytes];
    if (paletteBytes && StreamRead(stream, palette, paletteBytes) != paletteBytes) {
        return nullptr;
    }
    auto* level = static_cast<uint8_t*>(MemoryAllocate(bytes, kScratchHint));
    if (!level) {
        return nullptr;
    }
    Image* image = nullptr;
    bool transparent = false;
    bool ok = StreamRead(stream, level, bytes) == bytes;
    if (ok) {
        image = ImageCreate(int32_t(h.width), int32_t(h.height), 32);
        ok = image && ImageAllocatePixels(image) &&
             DdsDecodeLevel(format, h.width, h.height, level, paletteBytes ? palette : nullptr, image->pixels,
                            size_t(image->stride), &transparent);
    }
    MemoryFree(level);
    if (!ok) {
        if (image) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    uint32_t engineFormat = 0;
    switch (format) {
    case kFourCCDXT1:
        engineFormat = transparent ? kRasterFormat1555 : kRasterFormat565;
        break;
    case kFourCCDXT2:
    case kFourCCDXT3:
    case kFourCCDXT4:
    case kFourCCDXT5:
        engineFormat = D3D9CheckTextureFormat(D3DFMT_A4R4G4B4) ? kRasterFormat4444 : kRasterFormat1555;
        break;
    case D3DFMT_R5G6B5:
    case D3DFMT_R3G3B2:
        engineFormat = kRasterFormat565;
        break;
    case D3DFMT_A1R5G5B5:
        engineFormat = kRasterFormat1555;
        break;
    case D3DFMT_L16:
        engineFormat = D3D9CheckTextureFormat(D3DFMT_L8) ? kRasterFormatLum8 : 0;
        break;
    default:
        break;
    }
    if (!engineFormat &&
        !D3D9FitRasterFormat(kRasterTypeTexture, D3D9ImageGetRasterFormat(image), &engineFormat)) {
        ImageDestroy(image);
        return nullptr;
    }
    const uint32_t mipBits =
        (h.flags & kDdsFlagMipMapCount) ? kRasterFormatMipmap | kRasterFormatAutoMipmap : 0;
    Raster* raster = RasterCreate(int32_t(h.width), int32_t(h.height), 0,
                                  kRasterTypeTexture | (engineFormat & 0xFF00 & ~0x9000u) | mipBits);
    if (raster && !RasterSetFromImage(raster, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    return raster;
}

bool IsAbsolute(const char* name)
{
    return name[0] == '\\' || name[0] == '/' ||
           (((name[0] | 0x20) >= 'a' && (name[0] | 0x20) <= 'z') && name[1] == ':');
}

} // namespace

Raster* D3D9RasterReadDDS(Stream* stream)
{
    uint8_t header[kDdsHeaderBytes];
    DdsHeader h;
    if (StreamRead(stream, header, sizeof(header)) != sizeof(header) ||
        !DdsParseHeader(header, sizeof(header), &h) || h.width == 0 || h.height == 0 || h.width > 0xFFFF ||
        h.height > 0xFFFF) {
        return nullptr;
    }
    const uint32_t format = DdsFormatOf(&h);
    if (format == 0 || D3D9FormatRowBytes(format, h.width) == 0) {
        return nullptr;
    }
    bool fallback = false;
    Raster* raster = ReadDirect(stream, h, format, &fallback);
    if (raster || !fallback) {
        return raster;
    }
    return ReadFallback(stream, h, format);
}

Texture* D3D9TextureReadDDS(const char* name)
{
    const char* path = ImageGetPath();
    std::string candidates;
    std::string found;
    auto tryName = [&found](const std::string& candidate) {
        if (found.empty() && FileSystemManagerFileExists(candidate.c_str())) {
            found = candidate;
        }
    };
    if (IsAbsolute(name) || !path || !*path) {
        tryName(std::string(name) + ".dds");
    } else {
        std::string directories = path;
        size_t start = 0;
        while (start <= directories.size()) {
            const size_t end = directories.find(';', start);
            const std::string directory =
                directories.substr(start, end == std::string::npos ? end : end - start);
            if (!directory.empty()) {
                tryName(directory + name + ".dds");
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
    if (found.empty()) {
        return nullptr;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, found.c_str());
    if (!stream) {
        return nullptr;
    }
    Raster* raster = D3D9RasterReadDDS(stream);
    StreamClose(stream, nullptr);
    if (!raster) {
        return nullptr;
    }
    Texture* texture = TextureCreate(raster);
    if (!texture) {
        RasterDestroy(raster);
        return nullptr;
    }
    TextureSetName(texture, name);
    return texture;
}
