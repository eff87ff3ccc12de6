// Native texture chunk entry points over the record layer of nativetexture.h.

#include "graphics/d3d9/nativetextureio.h"

#include <cstring>

#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/nativedevice.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

bool Describe(const Texture* texture, NativeTextureRecord* record)
{
    Raster* raster = texture->raster;
    if (!raster) {
        return false;
    }
    const D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    std::memset(record, 0, sizeof(*record));
    record->platform = kNativeTexturePlatform;
    record->sampling = texture->filterAddressing & 0xFFFF;
    std::strncpy(record->name, texture->name, kNativeTextureNameBytes);
    std::strncpy(record->mask, texture->mask, kNativeTextureNameBytes);
    record->engineFormat = uint32_t(raster->format) << 8;
    record->d3dFormat = body->format;
    record->width = uint16_t(raster->width);
    record->height = uint16_t(raster->height);
    record->depth = uint8_t(raster->depth);
    const int32_t levels = RasterGetNumLevels(raster);
    if (levels < 1 || levels > 255 || raster->width > 0xFFFF || raster->height > 0xFFFF) {
        return false;
    }
    record->levels = uint8_t(levels);
    record->type = raster->type;
    record->flags = uint8_t((body->hasAlpha ? kNativeTextureHasAlpha : 0) |
                            ((body->cube & 0x0F) ? kNativeTextureCube : 0) |
                            ((body->mipFlags & 0x0F) ? kNativeTextureAutoMipmaps : 0) |
                            ((body->mipFlags & 0xF0) ? kNativeTextureNativeFormat : 0));
    return NativeTextureBodySize(record) != 0;
}

/// Locks level `level` of the current face and hands it to `transfer`.
template <typename Transfer> bool WithLevel(Raster* raster, uint32_t level, uint32_t mode, Transfer transfer)
{
    uint8_t* pixels = RasterLock(raster, uint8_t(level), mode);
    if (!pixels) {
        return false;
    }
    const uint32_t format = D3D9RasterGetExtension(raster)->format;
    const size_t rowBytes = D3D9FormatRowBytes(format, uint32_t(raster->width));
    const uint32_t rows = D3D9FormatRowCount(format, uint32_t(raster->height));
    const bool ok =
        size_t(raster->stride) >= rowBytes && transfer(pixels, size_t(raster->stride), rowBytes, rows);
    RasterUnlock(raster);
    return ok;
}

Raster* CreateFromRecord(const NativeTextureRecord& r)
{
    const D3D9NativeDevice& device = D3D9NativeDeviceGet();
    const bool cube = (r.flags & kNativeTextureCube) != 0;
    const bool native = (r.flags & kNativeTextureNativeFormat) != 0;
    const uint32_t mipBits = kRasterFormatMipmap | kRasterFormatAutoMipmap;
    if (native || cube) {
        if (native && !D3D9CheckTextureFormat(r.d3dFormat)) {
            return nullptr;
        }
        const uint32_t levels = (r.engineFormat & kRasterFormatMipmap) ? r.levels : 1;
        if (cube && levels > 1 &&
            !(device.caps.CubeTextureFilterCaps & (D3DPTFILTERCAPS_MIPFPOINT | D3DPTFILTERCAPS_MIPFLINEAR))) {
            return nullptr;
        }
        D3D9ExplicitRequest request{};
        request.width = r.width;
        request.height = r.height;
        request.depth = r.depth;
        request.word = r.type | (r.engineFormat & 0xFF00);
        request.d3dFormat = r.d3dFormat;
        request.levels = levels;
        request.cube = cube;
        request.autoMipmaps =
            (r.engineFormat & mipBits) == mipBits &&
            (cube ? D3D9CheckAutoMipmapCubeTexture(r.d3dFormat) : D3D9CheckAutoMipmapTexture(r.d3dFormat));
        Raster* raster = D3D9RasterCreateExplicit(&request);
        if (raster) {
            D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
            body->hasAlpha = r.flags & kNativeTextureHasAlpha;
            body->mipFlags = uint8_t((body->mipFlags & 0x0F) | (native ? 0x10 : 0));
            raster->format = uint8_t(r.engineFormat >> 8);
        }
        return raster;
    }
    if (r.engineFormat & ~mipBits & 0xFFFF) {
        Raster* raster = RasterCreate(r.width, r.height, r.depth, r.type | r.engineFormat);
        if (raster) {
            D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
            body->mipFlags &= 0x0F;
        }
        return raster;
    }
    return D3D9RasterCreateFromFormat(r.width, r.height, r.d3dFormat, r.type | r.engineFormat);
}

bool Matches(Raster* raster, const NativeTextureRecord& r)
{
    const D3D9RasterExtension* body = D3D9RasterGetExtension(raster);
    if ((r.flags & kNativeTextureAutoMipmaps) && !(body->mipFlags & 0x0F)) {
        return false;
    }
    return (uint32_t(raster->format) << 8) == r.engineFormat && body->format == r.d3dFormat &&
           raster->width == r.width && raster->height == r.height;
}

bool ReadLevels(Stream* stream, Raster* raster, const NativeTextureRecord& r)
{
    const uint32_t paletteBytes = NativeTexturePaletteBytes(r.engineFormat);
    if (paletteBytes) {
        uint8_t* palette = RasterLockPalette(raster, kRasterLockWrite);
        if (!palette) {
            return false;
        }
        const bool ok = StreamRead(stream, palette, paletteBytes) == paletteBytes;
        RasterUnlockPalette(raster);
        if (!ok) {
            return false;
        }
    }
    // Writing level 0 must not rebuild the other levels: they are read next.
    const uint8_t autoBit = uint8_t(kRasterFormatAutoMipmap >> 8);
    const uint8_t savedAuto = raster->format & autoBit;
    raster->format &= uint8_t(~autoBit);
    const uint32_t levels =
        (D3D9RasterGetExtension(raster)->mipFlags & 0x0F) ? 1 : NativeTextureLevelsPerFace(&r);
    bool ok = true;
    for (uint32_t face = 0; ok && face < NativeTextureFaceCount(&r); ++face) {
        D3D9RasterSetCubeFace(raster, face);
        for (uint32_t level = 0; ok && level < levels; ++level) {
            ok = WithLevel(raster, level, kRasterLockWrite,
                           [stream](uint8_t* pixels, size_t pitch, size_t rowBytes, uint32_t rows) {
                               return NativeTextureLevelRead(stream, pixels, pitch, rowBytes, rows);
                           });
        }
    }
    D3D9RasterSetCubeFace(raster, 0);
    raster->format |= savedAuto;
    return ok;
}

} // namespace

int32_t D3D9NativeTextureGetSize(void* size, void* texture, int32_t)
{
    NativeTextureRecord record;
    if (!Describe(static_cast<const Texture*>(texture), &record)) {
        return 0;
    }
    *static_cast<int32_t*>(size) = int32_t(NativeTextureBodySize(&record));
    return 1;
}

int32_t D3D9NativeTextureWrite(void* streamArgument, void* textureArgument, int32_t)
{
    auto* stream = static_cast<Stream*>(streamArgument);
    auto* texture = static_cast<Texture*>(textureArgument);
    NativeTextureRecord record;
    if (!Describe(texture, &record) ||
        !NativeTextureRecordWrite(stream, &record, NativeTextureBodySize(&record))) {
        return 0;
    }
    Raster* raster = texture->raster;
    const uint32_t paletteBytes = NativeTexturePaletteBytes(record.engineFormat);
    if (paletteBytes) {
        uint8_t* palette = RasterLockPalette(raster, kRasterLockRead);
        const bool ok = palette && StreamWrite(stream, palette, paletteBytes);
        if (palette) {
            RasterUnlockPalette(raster);
        }
        if (!ok) {
            return 0;
        }
    }
    bool ok = true;
    for (uint32_t face = 0; ok && face < NativeTextureFaceCount(&record); ++face) {
        D3D9RasterSetCubeFace(raster, face);
        for (uint32_t level = 0; ok && level < NativeTextureLevelsPerFace(&record); ++level) {
            ok = WithLevel(raster, level, kRasterLockRead,
                           [stream](uint8_t* pixels, size_t pitch, size_t rowBytes, uint32_t rows) {
                               return NativeTextureLevelWrite(stream, pixels, pitch, rowBytes, rows);
                           });
        }
    }
    D3D9RasterSetCubeFace(raster, 0);
    return ok ? 1 : 0;
}

int32_t D3D9NativeTextureRead(void* streamArgument, void* out, int32_t)
{
    auto* stream = static_cast<Stream*>(streamArgument);
    NativeTextureRecord record;
    if (!NativeTextureRecordRead(stream, &record)) {
        return 0;
    }
    // Levels that the stream cannot hold are refused before any texture is made.
    const uint32_t size = NativeTextureBodySize(&record);
    const int64_t remaining = StreamGetRemaining(stream);
    if (size == 0 || (remaining >= 0 && int64_t(size) - int64_t(kNativeTextureFixedBytes) > remaining)) {
        return 0;
    }
    Raster* raster = CreateFromRecord(record);
    if (!raster) {
        return 0;
    }
    if (!Matches(raster, record) || !ReadLevels(stream, raster, record)) {
        RasterDestroy(raster);
        return 0;
    }
    Texture* texture = TextureCreate(raster);
    if (!texture) {
        RasterDestroy(raster);
        return 0;
    }
    texture->filterAddressing = record.sampling & 0xFFFF;
    TextureSetName(texture, record.name);
    TextureSetMaskName(texture, record.mask);
    *static_cast<Texture**>(out) = texture;
    return 1;
}
