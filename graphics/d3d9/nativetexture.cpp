// Record layer of the native texture chunk.

#include "graphics/d3d9/nativetexture.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

// Offsets inside the 88-byte record.
constexpr size_t kOffPlatform = 0, kOffSampling = 4, kOffName = 8, kOffMask = 40, kOffEngineFormat = 72,
                 kOffD3DFormat = 76, kOffWidth = 80, kOffHeight = 82, kOffDepth = 84, kOffLevels = 85,
                 kOffType = 86, kOffFlags = 87;

void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

uint16_t GetU16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

/// Copies a stored 32-byte name, which need not end in a NUL, and terminates it.
void TakeName(char* out, const uint8_t* stored)
{
    std::memcpy(out, stored, kNativeTextureNameBytes);
    out[kNativeTextureNameBytes] = '\0';
}

/// Stores at most 31 characters and pads with NULs, so the stored name always ends.
void PutName(uint8_t* stored, const char* name)
{
    std::memset(stored, 0, kNativeTextureNameBytes);
    const size_t length = strnlen(name, kNativeTextureNameBytes - 1);
    std::memcpy(stored, name, length);
}

} // namespace

uint32_t NativeTextureFaceCount(const NativeTextureRecord* record)
{
    return (record->flags & kNativeTextureCube) ? 6 : 1;
}

uint32_t NativeTextureLevelsPerFace(const NativeTextureRecord* record)
{
    if (record->flags & kNativeTextureAutoMipmaps) {
        return 1;
    }
    return record->levels ? record->levels : 1;
}

uint32_t NativeTexturePaletteBytes(uint32_t engineFormat)
{
    if (engineFormat & kRasterFormatPal4) {
        return 128;
    }
    return (engineFormat & kRasterFormatPal8) ? 1024 : 0;
}

size_t NativeTextureLevelRecordBytes(uint32_t d3dFormat, uint32_t width, uint32_t height)
{
    return 4 + D3D9FormatLevelBytes(d3dFormat, width, height);
}

uint32_t NativeTextureBodySize(const NativeTextureRecord* record)
{
    uint64_t size = kNativeTextureFixedBytes + NativeTexturePaletteBytes(record->engineFormat);
    const uint32_t levels = NativeTextureLevelsPerFace(record);
    uint64_t faceBytes = 0;
    for (uint32_t level = 0; level < levels; ++level) {
        const size_t bytes = D3D9FormatLevelBytes(record->d3dFormat, D3D9LevelDimension(record->width, level),
                                                  D3D9LevelDimension(record->height, level));
        if (bytes == 0 || bytes > 0x7FFFFFFF) {
            return 0;
        }
        faceBytes += 4 + bytes;
    }
    size += faceBytes * NativeTextureFaceCount(record);
    return size > 0x7FFFFFFF ? 0 : uint32_t(size);
}

bool NativeTextureRecordWrite(Stream* stream, const NativeTextureRecord* record, uint32_t bodySize)
{
    uint8_t bytes[kNativeTextureRecordBytes];
    LittleEndianPutU32(bytes + kOffPlatform, record->platform);
    LittleEndianPutU32(bytes + kOffSampling, record->sampling);
    PutName(bytes + kOffName, record->name);
    PutName(bytes + kOffMask, record->mask);
    LittleEndianPutU32(bytes + kOffEngineFormat, record->engineFormat);
    LittleEndianPutU32(bytes + kOffD3DFormat, record->d3dFormat);
    PutU16(bytes + kOffWidth, record->width);
    PutU16(bytes + kOffHeight, record->height);
    bytes[kOffDepth] = record->depth;
    bytes[kOffLevels] = record->levels;
    bytes[kOffType] = record->type;
    bytes[kOffFlags] = record->flags;
    return ChunkHeaderWriteCurrent(stream, kChunkStruct, bodySize - kChunkHeaderSize) &&
           StreamWrite(stream, bytes, sizeof(bytes));
}

bool NativeTextureRecordRead(Stream* stream, NativeTextureRecord* record)
{
    uint32_t version = 0;
    if (!StreamFindChunk(stream, kChunkStruct, nullptr, &version) || !ChunkVersionIsSupported(version)) {
        return false;
    }
    uint8_t bytes[kNativeTextureRecordBytes];
    if (StreamRead(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
        return false;
    }
    record->platform = LittleEndianGetU32(bytes + kOffPlatform);
    record->sampling = LittleEndianGetU32(bytes + kOffSampling);
    TakeName(record->name, bytes + kOffName);
    TakeName(record->mask, bytes + kOffMask);
    record->engineFormat = LittleEndianGetU32(bytes + kOffEngineFormat);
    record->d3dFormat = LittleEndianGetU32(bytes + kOffD3DFormat);
    record->width = GetU16(bytes + kOffWidth);
    record->height = GetU16(bytes + kOffHeight);
    record->depth = bytes[kOffDepth];
    record->levels = bytes[kOffLevels];
    record->type = bytes[kOffType];
    record->flags = bytes[kOffFlags];
    // Textures live in normal, texture and camera-texture rasters; any other kind named by
    // a file would get a device texture that its raster's destroy path never releases.
    const bool textureType = record->type == kRasterTypeNormal || record->type == kRasterTypeTexture ||
                             record->type == kRasterTypeCameraTexture;
    if (record->platform != kNativeTexturePlatform || record->width == 0 || record->height == 0 ||
        record->levels == 0 || !textureType) {
        return false;
    }
    const uint32_t largest = record->width > record->height ? record->width : record->height;
    if (record->levels > uint32_t(Log2Floor(largest)) + 1) {
        return false;
    }
    return !(record->flags & kNativeTextureCube) || record->width == record->height;
}

bool NativeTextureLevelWrite(Stream* stream, const uint8_t* pixels, size_t pitch, size_t rowBytes,
                             uint32_t rows)
{
    const uint64_t count = uint64_t(rowBytes) * rows;
    if (count > 0xFFFFFFFFu || !StreamWriteUInt32(stream, uint32_t(count))) {
        return false;
    }
    for (uint32_t row = 0; row < rows; ++row) {
        if (!StreamWrite(stream, pixels + size_t(row) * pitch, rowBytes)) {
            return false;
        }
    }
    return true;
}

bool NativeTextureLevelRead(Stream* stream, uint8_t* pixels, size_t pitch, size_t rowBytes, uint32_t rows)
{
    uint32_t count = 0;
    if (rows == 0 || !StreamReadUInt32(stream, &count) || count % rows != 0) {
        return false;
    }
    const size_t storedPitch = count / rows;
    if (storedPitch < rowBytes || storedPitch > pitch) {
        return false;
    }
    for (uint32_t row = 0; row < rows; ++row) {
        if (StreamRead(stream, pixels + size_t(row) * pitch, storedPitch) != storedPitch) {
            return false;
        }
    }
    return true;
}
