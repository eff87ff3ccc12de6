#pragma once
// Image-based texture dictionaries (chunk 0x23): every texture saved as its
// mip levels in image chunks (0x18) plus its texture chunk (6), so that the
// rasters are rebuilt for whatever device reads them. Images are stored
// without gamma correction. The older record form (72-byte records before the
// images) is read only. Errors carry module id 0x1B3.

#include <cstdint>

struct Image;
struct Raster;
struct Stream;
struct TexDictionary;

constexpr uint32_t kPluginIdImageTexDictionary = 0x1B3;
constexpr uint32_t kChunkImageTexDictionary = 0x23;

/// Form word of chunk 0x23.
constexpr uint16_t kImageTexDictionaryRecords = 0; ///< 72-byte records, then images (read only)
constexpr uint16_t kImageTexDictionaryImages = 1;  ///< level count, images, texture chunk

/// Mip levels a reader accepts per texture (a 2^31-pixel side has 32).
constexpr uint32_t kImageTexDictionaryMaxLevels = 32;

/// Writes chunk 0x23 in the image form. Null with {0x1B3, 0x80000004} "Too
/// many textures in dictionary (> 65536)" for 65536 textures or more, or when
/// a raster's levels cannot be read or written.
TexDictionary* ImageTexDictionaryWrite(TexDictionary* dictionary, Stream* stream);
/// Reads the body of chunk 0x23 (the caller found it) into a new dictionary,
/// its rasters made for the running device. Null on malformed data; the
/// current dictionary is as before and nothing of the read is left.
TexDictionary* ImageTexDictionaryRead(Stream* stream);
/// The body size ImageTexDictionaryWrite writes; 0 with {0x1B3, 0x8000000F}
/// when a raster has no level count.
uint32_t ImageTexDictionaryStreamGetSize(TexDictionary* dictionary);

/// One new image per mip level of the raster (level i: the raster's size
/// halved i times, at least 1; depth 4 or 8 for palettised rasters, else 32),
/// with the level's pixels when `copyPixels`. The caller destroys the images
/// and frees the array with MemoryFree. Null with 0x80000013 or when a level
/// cannot be read.
Image** RasterGetMipImages(Raster* raster, int32_t levelCount, bool copyPixels);
/// Writes the image into mip level `level` of the raster (locked for
/// writing meanwhile); false when the level cannot be locked or written.
bool RasterSetLevelFromImage(Raster* raster, int32_t level, Image* image);
