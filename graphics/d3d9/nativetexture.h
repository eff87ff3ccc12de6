#pragma once
// The body of the native texture chunk (0x15) that texture dictionaries
// save: one struct chunk holding the platform id 9, the sampling word, the
// texture and mask names, the raster description, the palette of a
// palettised raster and the bytes of every mip level of every face. This
// file is the chunk's record layer: the fixed 88 bytes, the palette and the
// level records, each checked against what the stream and the destination
// really hold. The device entry points that build rasters from it are in
// nativetextureio.h.
//
// Levels are written with tight rows (the row bytes of the format, no device
// padding) so that files move between devices; a reader accepts any stored
// row pitch that fits the locked level.

#include <cstddef>
#include <cstdint>

struct Stream;

constexpr uint32_t kNativeTexturePlatform = 9;
constexpr uint32_t kNativeTextureRecordBytes = 88; ///< platform .. flags
constexpr uint32_t kNativeTextureNameBytes = 32;
/// Struct chunk header and record: the size of a body without palette or levels.
constexpr uint32_t kNativeTextureFixedBytes = 12 + kNativeTextureRecordBytes;

/// Record flags (byte 87).
constexpr uint8_t kNativeTextureHasAlpha = 0x1;
constexpr uint8_t kNativeTextureCube = 0x2;
constexpr uint8_t kNativeTextureAutoMipmaps = 0x4;  ///< the device generates the mip levels
constexpr uint8_t kNativeTextureNativeFormat = 0x8; ///< made from an explicit Direct3D format ("DXT1" ...)

struct NativeTextureRecord
{
    uint32_t platform;                      ///< kNativeTexturePlatform
    uint32_t sampling;                      ///< bits 0-7 filter, 8-11 addressing U, 12-15 addressing V
    char name[kNativeTextureNameBytes + 1]; ///< always NUL-terminated in memory
    char mask[kNativeTextureNameBytes + 1];
    uint32_t engineFormat; ///< raster format byte << 8
    uint32_t d3dFormat;
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t levels; ///< mip levels of the raster
    uint8_t type;   ///< raster type
    uint8_t flags;  ///< kNativeTexture... bits
};

/// Faces stored: 6 for a cube, else 1.
uint32_t NativeTextureFaceCount(const NativeTextureRecord* record);
/// Levels stored per face: 1 when the device generates them, else the level count.
uint32_t NativeTextureLevelsPerFace(const NativeTextureRecord* record);
/// Palette bytes: 128 for a 4-bit palette (0x4000), 1,024 for an 8-bit one (0x2000), else 0.
uint32_t NativeTexturePaletteBytes(uint32_t engineFormat);
/// Bytes a level record takes in the stream: the u32 count and tight rows.
size_t NativeTextureLevelRecordBytes(uint32_t d3dFormat, uint32_t width, uint32_t height);
/// The whole body with its struct chunk header: 100, the palette and every
/// level record of every face (tight rows). 0 when a size does not fit in 31 bits.
uint32_t NativeTextureBodySize(const NativeTextureRecord* record);

/// Writes the struct chunk header (size = body size - 12) and the 88 bytes.
/// Names longer than 31 characters are cut. False when a write fails.
bool NativeTextureRecordWrite(Stream* stream, const NativeTextureRecord* record, uint32_t bodySize);
/// Finds the struct chunk and reads the 88 bytes. False for a missing chunk,
/// a version outside 0x35000..0x37002, a short read, a platform other than 9,
/// a zero width, height or level count, a level count beyond the chain, a
/// cube that is not square, or a raster type other than normal, texture and
/// camera texture.
bool NativeTextureRecordRead(Stream* stream, NativeTextureRecord* record);

/// Writes one level record: the count rowBytes x rows, then `rows` rows of
/// `rowBytes` bytes taken `pitch` bytes apart. False when a write fails.
bool NativeTextureLevelWrite(Stream* stream, const uint8_t* pixels, size_t pitch, size_t rowBytes,
                             uint32_t rows);
/// Reads one level record into a locked level of `rows` rows `pitch` bytes
/// apart that needs `rowBytes` bytes a row. The stored count must be a whole
/// number of rows, each at least rowBytes and at most pitch bytes (so never
/// more than pitch x rows): stored rows land at the start of each row. False
/// for a short read or a count that does not fit.
bool NativeTextureLevelRead(Stream* stream, uint8_t* pixels, size_t pitch, size_t rowBytes, uint32_t rows);
