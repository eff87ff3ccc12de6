// Block decoding against blocks whose texels were worked out by hand.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "graphics/d3d9/dxt.h"

namespace {

using Rgba = std::array<uint8_t, 4>;

Rgba At(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t x, uint32_t y)
{
    const size_t i = (size_t(y) * width + x) * 4;
    return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

// Colour 0 red (0xF800), colour 1 blue (0x001F); texel i of every row uses index i.
constexpr uint8_t kFourColourBlock[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
// The same colours swapped (colour 0 < colour 1): three colours and transparent black.
constexpr uint8_t kThreeColourBlock[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};

TEST(Dxt, FormatsAreTheFiveExactCodes)
{
    for (uint32_t code : {kFourCCDXT1, kFourCCDXT2, kFourCCDXT3, kFourCCDXT4, kFourCCDXT5}) {
        EXPECT_TRUE(DxtIsFormat(code)) << std::hex << code;
    }
    // "YUY2" and "UYVY" lie numerically between "DXT1" and "DXT5".
    for (uint32_t code : {0x32595559u, 0x59565955u, 0x36545844u, 0x31545843u, 21u}) {
        EXPECT_FALSE(DxtIsFormat(code)) << std::hex << code;
        EXPECT_EQ(DxtBlockBytes(code), 0u);
    }
    EXPECT_EQ(DxtBlockBytes(kFourCCDXT1), 8u);
    EXPECT_EQ(DxtBlockBytes(kFourCCDXT3), 16u);
}

TEST(Dxt, LevelSizesRoundBlockCountsUp)
{
    struct Case
    {
        uint32_t format, width, height;
        size_t bytes;
    };
    const Case cases[] = {
        {kFourCCDXT1, 8, 8, 32}, {kFourCCDXT1, 3, 5, 16}, {kFourCCDXT1, 5, 5, 32},   {kFourCCDXT5, 1, 1, 16},
        {kFourCCDXT3, 2, 9, 48}, {kFourCCDXT1, 0, 0, 8},  {kFourCCDXT5, 64, 4, 256}, {0x32595559u, 4, 4, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DxtLevelSize(c.format, c.width, c.height), c.bytes) << c.width << "x" << c.height;
    }
}

TEST(Dxt, FourColourBlockUsesThirds)
{
    std::vector<uint8_t> pixels(4 * 4 * 4);
    EXPECT_FALSE(DxtDecodeBlocks1(4, 4, pixels.data(), 16, kFourColourBlock));
    for (uint32_t y = 0; y < 4; ++y) {
        EXPECT_EQ(At(pixels, 4, 0, y), (Rgba{248, 0, 0, 255}));
        EXPECT_EQ(At(pixels, 4, 1, y), (Rgba{0, 0, 248, 255}));
        EXPECT_EQ(At(pixels, 4, 2, y), (Rgba{165, 0, 82, 255}));
        EXPECT_EQ(At(pixels, 4, 3, y), (Rgba{82, 0, 165, 255}));
    }
}

TEST(Dxt, ThreeColourBlockHasTransparentBlack)
{
    std::vector<uint8_t> pixels(4 * 4 * 4);
    EXPECT_TRUE(DxtDecodeBlocks1(4, 4, pixels.data(), 16, kThreeColourBlock));
    EXPECT_EQ(At(pixels, 4, 0, 0), (Rgba{0, 0, 248, 255}));
    EXPECT_EQ(At(pixels, 4, 1, 0), (Rgba{248, 0, 0, 255}));
    EXPECT_EQ(At(pixels, 4, 2, 0), (Rgba{124, 0, 124, 255}));
    EXPECT_EQ(At(pixels, 4, 3, 0), (Rgba{0, 0, 0, 0}));

    // Three-colour mode without index 3 is opaque; equal colours also take that mode.
    uint8_t noIndex3[8] = {0x1F, 0x00, 0x00, 0xF8, 0x24, 0x24, 0x24, 0x24};
    EXPECT_FALSE(DxtDecodeBlocks1(4, 4, pixels.data(), 16, noIndex3));
    uint8_t equal[8] = {0x1F, 0x00, 0x1F, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(DxtDecodeBlocks1(4, 4, pixels.data(), 16, equal));
    EXPECT_EQ(At(pixels, 4, 3, 3), (Rgba{0, 0, 0, 0}));
}

TEST(Dxt, ExplicitAlphaAndFourColourModeWhateverTheOrder)
{
    uint8_t block[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
    for (int i = 0; i < 8; ++i) {
        block[8 + i] = kThreeColourBlock[i]; // colour 0 < colour 1: still thirds in DXT3
    }
    std::vector<uint8_t> pixels(4 * 4 * 4);
    DxtDecodeBlocks3(4, 4, pixels.data(), 16, block);
    for (uint32_t i = 0; i < 16; ++i) {
        EXPECT_EQ(pixels[i * 4 + 3], i * 17) << i;
    }
    EXPECT_EQ(At(pixels, 4, 0, 0), (Rgba{0, 0, 248, 0}));
    EXPECT_EQ(At(pixels, 4, 2, 1), (Rgba{82, 0, 165, 6 * 17}));
    EXPECT_EQ(At(pixels, 4, 3, 3), (Rgba{165, 0, 82, 255}));
}

TEST(Dxt, InterpolatedAlphaBothRamps)
{
    // Texels 0-7 use index 0-7; texels 8-15 use index 7-0.
    uint8_t block[8] = {10, 200, 0x88, 0xC6, 0xFA, 0x77, 0x39, 0x05};
    uint8_t alphas[16];
    DxtDecodeAlphaBlock(alphas, block);
    const uint8_t sixValue[8] = {10, 200, 48, 86, 124, 162, 0, 255};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(alphas[i], sixValue[i]) << i;
        EXPECT_EQ(alphas[15 - i], sixValue[i]) << i;
    }
    block[0] = 200;
    block[1] = 10;
    DxtDecodeAlphaBlock(alphas, block);
    const uint8_t eightValue[8] = {200, 10, 172, 145, 118, 91, 64, 37};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(alphas[i], eightValue[i]) << i;
    }

    uint8_t dxt5[16];
    for (int i = 0; i < 8; ++i) {
        dxt5[i] = block[i];
        dxt5[8 + i] = kFourColourBlock[i];
    }
    std::vector<uint8_t> pixels(4 * 4 * 4);
    DxtDecodeBlocks5(4, 4, pixels.data(), 16, dxt5);
    EXPECT_EQ(At(pixels, 4, 2, 0), (Rgba{165, 0, 82, 172}));
    EXPECT_EQ(At(pixels, 4, 3, 3), (Rgba{82, 0, 165, 200}));
}

TEST(Dxt, OddSizesClipEdgeBlocks)
{
    // 3 x 5: one block column, two block rows; the second block is all colour 1.
    uint8_t blocks[16];
    for (int i = 0; i < 8; ++i) {
        blocks[i] = kFourColourBlock[i];
        blocks[8 + i] = kFourColourBlock[i];
    }
    blocks[12] = blocks[13] = blocks[14] = blocks[15] = 0x55;
    std::vector<uint8_t> pixels(3 * 5 * 4); // exact size: a write past it is caught by the sanitizer
    EXPECT_FALSE(DxtDecodeBlocks1(3, 5, pixels.data(), 12, blocks));
    EXPECT_EQ(At(pixels, 3, 2, 0), (Rgba{165, 0, 82, 255}));
    EXPECT_EQ(At(pixels, 3, 2, 3), (Rgba{165, 0, 82, 255}));
    EXPECT_EQ(At(pixels, 3, 0, 4), (Rgba{0, 0, 248, 255}));
    EXPECT_EQ(At(pixels, 3, 2, 4), (Rgba{0, 0, 248, 255}));

    // 1 x 1 of each kind decodes texel 0 of one block.
    std::vector<uint8_t> one(4);
    EXPECT_TRUE(DxtDecodeBlocks1(1, 1, one.data(), 4, kThreeColourBlock) == false);
    EXPECT_EQ(At(one, 1, 0, 0), (Rgba{0, 0, 248, 255}));
    uint8_t dxt3[16] = {0x0F};
    for (int i = 0; i < 8; ++i) {
        dxt3[8 + i] = kFourColourBlock[i];
    }
    bool transparent = true;
    EXPECT_TRUE(DxtDecodeLevel(kFourCCDXT3, 1, 1, one.data(), 4, dxt3, &transparent));
    EXPECT_FALSE(transparent);
    EXPECT_EQ(At(one, 1, 0, 0), (Rgba{248, 0, 0, 255}));
    EXPECT_FALSE(DxtDecodeLevel(0x32595559u, 1, 1, one.data(), 4, dxt3, nullptr));
}

TEST(Dxt, TransparentOnlyCountsTexelsInsideTheLevel)
{
    // Index 3 only in column 3, which a 3-texel-wide level drops.
    uint8_t block[8] = {0x1F, 0x00, 0x00, 0xF8, 0xC0, 0xC0, 0xC0, 0xC0};
    std::vector<uint8_t> pixels(3 * 4 * 4);
    EXPECT_FALSE(DxtDecodeBlocks1(3, 4, pixels.data(), 12, block));
    std::vector<uint8_t> full(4 * 4 * 4);
    EXPECT_TRUE(DxtDecodeBlocks1(4, 4, full.data(), 16, block));
}

} // namespace
