#pragma once
// Block decompression of the S3 texture formats "DXT1" to "DXT5": 4 x 4 texel
// blocks of 8 bytes ("DXT1") or 16 bytes (the others), stored row of blocks
// after row of blocks. A level of w x h texels holds ceil(w / 4) x ceil(h / 4)
// blocks; the texels of edge blocks that lie outside the level are dropped.
// Decoded pixels are 32-bit RGBA (bytes red, green, blue, alpha), as images
// hold them.

#include <cstddef>
#include <cstdint>

/// The five block-compressed Direct3D formats (FOURCC codes).
constexpr uint32_t kFourCCDXT1 = 0x31545844;
constexpr uint32_t kFourCCDXT2 = 0x32545844;
constexpr uint32_t kFourCCDXT3 = 0x33545844;
constexpr uint32_t kFourCCDXT4 = 0x34545844;
constexpr uint32_t kFourCCDXT5 = 0x35545844;

/// True for exactly the five codes above (no other FOURCC).
bool DxtIsFormat(uint32_t format);
/// Bytes of one 4 x 4 block: 8 for "DXT1", 16 for "DXT2" to "DXT5", 0 otherwise.
uint32_t DxtBlockBytes(uint32_t format);
/// Bytes of a w x h level: ceil(w / 4) x ceil(h / 4) blocks (a 0 size counts
/// as 1); 0 for a format that is not a DXT format.
size_t DxtLevelSize(uint32_t format, uint32_t width, uint32_t height);

/// Decodes one interpolated-alpha block (8 bytes: alpha 0, alpha 1, 48 bits of
/// 3-bit indices, lowest bits first) into 16 alpha values, texel 0 first.
void DxtDecodeAlphaBlock(uint8_t* alphas, const uint8_t* block);

/// Decode a whole width x height level from `blocks` (DxtLevelSize bytes of
/// the format) into `pixels`, rows `stride` bytes apart (>= 4 x width).
/// "DXT1": true when a texel came out transparent (3-colour mode, index 3).
bool DxtDecodeBlocks1(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks);
/// "DXT2"/"DXT3": explicit 4-bit alpha, then a four-colour block.
void DxtDecodeBlocks3(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks);
/// "DXT4"/"DXT5": an interpolated-alpha block, then a four-colour block.
void DxtDecodeBlocks5(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks);
/// Dispatch by format; false for a non-DXT format. `transparent` (may be null)
/// receives DxtDecodeBlocks1's answer, false for the other formats.
bool DxtDecodeLevel(uint32_t format, uint32_t width, uint32_t height, uint8_t* pixels, size_t stride,
                    const uint8_t* blocks, bool* transparent);
