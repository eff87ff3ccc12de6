// S3 texture block decoding. Colours expand from 5-6-5 by shifting alone (no
// replication of the high bits) and intermediate colours and alphas use
// integer division, so decoded texels match what the device's textures hold.

#include "graphics/d3d9/dxt.h"

#include <cstring>

namespace {

using Palette = uint8_t[4][4]; // four RGBA colours of one colour block

uint16_t ReadU16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

void Expand565(uint8_t* rgba, uint16_t c)
{
    rgba[0] = uint8_t((c >> 8) & 0xF8);
    rgba[1] = uint8_t((c >> 3) & 0xFC);
    rgba[2] = uint8_t((c << 3) & 0xFF);
    rgba[3] = 255;
}

/// Builds the four colours of a colour block. With `allowThreeColour` (DXT1)
/// and colour 0 <= colour 1, colour 2 is the mean and colour 3 transparent
/// black; answers whether that mode was taken.
bool BuildPalette(Palette colours, const uint8_t* block, bool allowThreeColour)
{
    const uint16_t c0 = ReadU16(block);
    const uint16_t c1 = ReadU16(block + 2);
    Expand565(colours[0], c0);
    Expand565(colours[1], c1);
    if (!allowThreeColour || c0 > c1) {
        for (int i = 0; i < 3; ++i) {
            colours[2][i] = uint8_t((2 * colours[0][i] + colours[1][i]) / 3);
            colours[3][i] = uint8_t((colours[0][i] + 2 * colours[1][i]) / 3);
        }
        colours[2][3] = 255;
        colours[3][3] = 255;
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        colours[2][i] = uint8_t((colours[0][i] + colours[1][i]) / 2);
    }
    colours[2][3] = 255;
    std::memset(colours[3], 0, 4);
    return true;
}

/// Texels of the block at (bx, by) that lie inside the level.
struct BlockExtent
{
    uint32_t columns;
    uint32_t rows;
};

BlockExtent ExtentOf(uint32_t width, uint32_t height, uint32_t bx, uint32_t by)
{
    const uint32_t x = bx * 4;
    const uint32_t y = by * 4;
    return {width - x < 4 ? width - x : 4, height - y < 4 ? height - y : 4};
}

/// Writes the colour indices of `block` (bytes 4-7 of a colour block) through
/// the palette, with `alphas` (16 values, or null) replacing the alpha.
/// Returns whether any texel inside the level used index 3.
bool WriteBlock(uint8_t* origin, size_t stride, BlockExtent extent, const Palette colours,
                const uint8_t* indexBytes, const uint8_t* alphas)
{
    bool usedIndex3 = false;
    for (uint32_t row = 0; row < extent.rows; ++row) {
        uint8_t* out = origin + row * stride;
        uint32_t bits = indexBytes[row];
        for (uint32_t column = 0; column < extent.columns; ++column) {
            const uint32_t index = (bits >> (2 * column)) & 3;
            usedIndex3 |= index == 3;
            std::memcpy(out + column * 4, colours[index], 4);
            if (alphas) {
                out[column * 4 + 3] = alphas[row * 4 + column];
            }
        }
    }
    return usedIndex3;
}

void ExplicitAlpha(uint8_t* alphas, const uint8_t* block)
{
    for (int row = 0; row < 4; ++row) {
        const uint16_t bits = ReadU16(block + 2 * row);
        for (int column = 0; column < 4; ++column) {
            alphas[row * 4 + column] = uint8_t(((bits >> (4 * column)) & 0xF) * 17);
        }
    }
}

enum class AlphaKind
{
    None,
    Explicit,
    Interpolated
};

bool DecodeLevel(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks,
                 AlphaKind alphaKind)
{
    const uint32_t blockBytes = alphaKind == AlphaKind::None ? 8 : 16;
    const uint32_t blocksWide = (width + 3) / 4;
    const uint32_t blocksHigh = (height + 3) / 4;
    bool transparent = false;
    Palette colours;
    uint8_t alphas[16];
    for (uint32_t by = 0; by < blocksHigh; ++by) {
        for (uint32_t bx = 0; bx < blocksWide; ++bx) {
            const uint8_t* block = blocks + (size_t(by) * blocksWide + bx) * blockBytes;
            const uint8_t* colourBlock = block;
            const uint8_t* alphaValues = nullptr;
            if (alphaKind == AlphaKind::Explicit) {
                ExplicitAlpha(alphas, block);
                alphaValues = alphas;
                colourBlock = block + 8;
            } else if (alphaKind == AlphaKind::Interpolated) {
                DxtDecodeAlphaBlock(alphas, block);
                alphaValues = alphas;
                colourBlock = block + 8;
            }
            const bool threeColour = BuildPalette(colours, colourBlock, alphaKind == AlphaKind::None);
            uint8_t* origin = pixels + size_t(by) * 4 * stride + size_t(bx) * 16;
            const bool usedIndex3 = WriteBlock(origin, stride, ExtentOf(width, height, bx, by), colours,
                                               colourBlock + 4, alphaValues);
            transparent |= threeColour && usedIndex3;
        }
    }
    return transparent;
}

} // namespace

bool DxtIsFormat(uint32_t format)
{
    return format == kFourCCDXT1 || format == kFourCCDXT2 || format == kFourCCDXT3 || format == kFourCCDXT4 ||
           format == kFourCCDXT5;
}

uint32_t DxtBlockBytes(uint32_t format)
{
    if (!DxtIsFormat(format)) {
        return 0;
    }
    return format == kFourCCDXT1 ? 8 : 16;
}

size_t DxtLevelSize(uint32_t format, uint32_t width, uint32_t height)
{
    const size_t blocksWide = width ? (size_t(width) + 3) / 4 : 1;
    const size_t blocksHigh = height ? (size_t(height) + 3) / 4 : 1;
    return blocksWide * blocksHigh * DxtBlockBytes(format);
}

void DxtDecodeAlphaBlock(uint8_t* alphas, const uint8_t* block)
{
    const uint32_t a0 = block[0];
    const uint32_t a1 = block[1];
    uint8_t values[8];
    values[0] = uint8_t(a0);
    values[1] = uint8_t(a1);
    if (a0 > a1) {
        for (uint32_t i = 1; i <= 6; ++i) {
            values[i + 1] = uint8_t(((7 - i) * a0 + i * a1) / 7);
        }
    } else {
        for (uint32_t i = 1; i <= 4; ++i) {
            values[i + 1] = uint8_t(((5 - i) * a0 + i * a1) / 5);
        }
        values[6] = 0;
        values[7] = 255;
    }
    // Two groups of eight 3-bit indices, three bytes each, lowest bits first.
    for (int group = 0; group < 2; ++group) {
        const uint8_t* p = block + 2 + group * 3;
        const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        for (int i = 0; i < 8; ++i) {
            alphas[group * 8 + i] = values[(bits >> (3 * i)) & 7];
        }
    }
}

bool DxtDecodeBlocks1(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks)
{
    return DecodeLevel(width, height, pixels, stride, blocks, AlphaKind::None);
}

void DxtDecodeBlocks3(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks)
{
    DecodeLevel(width, height, pixels, stride, blocks, AlphaKind::Explicit);
}

void DxtDecodeBlocks5(uint32_t width, uint32_t height, uint8_t* pixels, size_t stride, const uint8_t* blocks)
{
    DecodeLevel(width, height, pixels, stride, blocks, AlphaKind::Interpolated);
}

bool DxtDecodeLevel(uint32_t format, uint32_t width, uint32_t height, uint8_t* pixels, size_t stride,
                    const uint8_t* blocks, bool* transparent)
{
    bool anyTransparent = false;
    switch (format) {
    case kFourCCDXT1:
        anyTransparent = DxtDecodeBlocks1(width, height, pixels, stride, blocks);
        break;
    case kFourCCDXT2:
    case kFourCCDXT3:
        DxtDecodeBlocks3(width, height, pixels, stride, blocks);
        break;
    case kFourCCDXT4:
    case kFourCCDXT5:
        DxtDecodeBlocks5(width, height, pixels, stride, blocks);
        break;
    default:
        return false;
    }
    if (transparent) {
        *transparent = anyTransparent;
    }
    return true;
}
