#pragma once
// ".dds" texture files (DirectDraw Surface): the 128-byte header, the
// Direct3D format a file's pixel format names, the size of every level as the
// file lays it out (tight rows; ceil(w / 4) x ceil(h / 4) blocks for "DXT1"
// to "DXT5") and the decoding of a level into 32-bit RGBA. Everything here
// works on bytes in memory and checks each size against what is there;
// D3D9RasterReadDDS (ddsread.h) builds rasters from files with it.

#include <cstddef>
#include <cstdint>

#include "graphics/d3d9/pixelformat.h"

constexpr uint32_t kDdsMagic = 0x20534444; ///< "DDS "
constexpr size_t kDdsHeaderBytes = 128;    ///< magic + 124-byte header
constexpr uint32_t kDdsMaxSide = 16384;    ///< widest and tallest texture read
constexpr size_t kDdsPaletteBytes = 1024;  ///< 256 entries red, green, blue, flags

/// Header flags.
constexpr uint32_t kDdsFlagCaps = 0x1;
constexpr uint32_t kDdsFlagHeight = 0x2;
constexpr uint32_t kDdsFlagWidth = 0x4;
constexpr uint32_t kDdsFlagPixelFormat = 0x1000;
constexpr uint32_t kDdsFlagMipMapCount = 0x20000;
constexpr uint32_t kDdsFlagLinearSize = 0x80000;
/// Pixel-format flags.
constexpr uint32_t kDdsPixelAlpha = 0x1;
constexpr uint32_t kDdsPixelFourCC = 0x4;
constexpr uint32_t kDdsPixelRgb = 0x40;
/// Caps and caps2.
constexpr uint32_t kDdsCapsComplex = 0x8;
constexpr uint32_t kDdsCaps2CubeMap = 0x200;
constexpr uint32_t kDdsCaps2FacePositiveX = 0x400; ///< faces follow up to 0x8000 (-Z)
constexpr uint32_t kDdsCaps2CubeBits = 0xFE00;

struct DdsHeader
{
    uint32_t flags;
    uint32_t height;
    uint32_t width;
    uint32_t pitchOrLinearSize;
    uint32_t depth;
    uint32_t mipMapCount;
    uint32_t pixelFlags;
    uint32_t fourCC;
    uint32_t bitCount;
    uint32_t redMask;
    uint32_t greenMask;
    uint32_t blueMask;
    uint32_t alphaMask;
    uint32_t caps;
    uint32_t caps2;
};

/// Reads the magic and header from the first kDdsHeaderBytes of `data`.
/// False for a short buffer, a wrong magic, flags without any of caps,
/// height, width and pixel format, or a side beyond kDdsMaxSide.
bool DdsParseHeader(const uint8_t* data, size_t size, DdsHeader* header);
/// Writes the magic and header (128 bytes), every field little-endian.
void DdsWriteHeader(const DdsHeader* header, uint8_t* out);

/// A cube map: caps has the complex bit and caps2 any cube bit.
bool DdsIsCube(const DdsHeader* header);
/// Faces stored in the file: 1, or for a cube each face flagged in caps2.
uint32_t DdsFaceCount(const DdsHeader* header);
/// True when face 0-5 (+X, -X, +Y, -Y, +Z, -Z) is stored.
bool DdsHasFace(const DdsHeader* header, uint32_t face);
/// Levels stored per face: the mip-map count with the mip flag (at least 1,
/// at most the levels of a full chain), else 1.
uint32_t DdsLevelCount(const DdsHeader* header);

/// The Direct3D format the pixel format names: the FOURCC code itself, or
/// the format of an RGB, RGB-with-alpha, luminance, alpha or palette layout
/// (D3DFMT_P8 for 8 bits with all masks 0); 0 for a layout that has none.
/// Cube maps allow only the layouts a cube texture can hold.
uint32_t DdsFormatOf(const DdsHeader* header);

/// Decodes a whole level of `format` (D3D9FormatLevelBytes bytes at `level`) into
/// RGBA rows `stride` bytes apart. `palette` (1,024 bytes) for D3DFMT_P8.
/// False for a format that cannot be decoded. `transparent` (may be null)
/// is set when a "DXT1" texel came out transparent.
bool DdsDecodeLevel(uint32_t format, uint32_t width, uint32_t height, const uint8_t* level,
                    const uint8_t* palette, uint8_t* rgba, size_t stride, bool* transparent);

/// Where level 0 of the first face lies in a whole file held in memory.
struct DdsLevel0
{
    DdsHeader header;
    uint32_t format;        ///< DdsFormatOf
    const uint8_t* palette; ///< the 1,024-byte palette of D3DFMT_P8, else null
    const uint8_t* pixels;  ///< D3D9FormatLevelBytes(format, width, height) bytes
    size_t bytes;
};
/// Finds level 0 of a file in memory. False for a bad header, a zero width or
/// height, a format without a known layout, or a file shorter than the
/// palette and level it declares.
bool DdsLocateLevel0(const uint8_t* data, size_t size, DdsLevel0* out);
