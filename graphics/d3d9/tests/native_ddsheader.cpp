// DDS headers, layouts and level-0 decoding over files built in memory.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/dxt.h"
#include "platform/d3d9/d3d9types.h"

namespace {

DdsHeader FourCCHeader(uint32_t fourCC, uint32_t width, uint32_t height)
{
    DdsHeader h{};
    h.flags = kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat;
    h.width = width;
    h.height = height;
    h.pixelFlags = kDdsPixelFourCC;
    h.fourCC = fourCC;
    return h;
}

DdsHeader MaskHeader(uint32_t pixelFlags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    DdsHeader h = FourCCHeader(0, 4, 4);
    h.pixelFlags = pixelFlags;
    h.bitCount = bits;
    h.redMask = r;
    h.greenMask = g;
    h.blueMask = b;
    h.alphaMask = a;
    return h;
}

std::vector<uint8_t> File(const DdsHeader& h, const std::vector<uint8_t>& body)
{
    std::vector<uint8_t> file(kDdsHeaderBytes);
    DdsWriteHeader(&h, file.data());
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

TEST(DdsHeader, ParseRoundTripAndRefusals)
{
    DdsHeader h = FourCCHeader(kFourCCDXT5, 64, 32);
    h.flags |= kDdsFlagMipMapCount;
    h.mipMapCount = 7;
    h.caps = kDdsCapsComplex;
    h.caps2 = kDdsCaps2CubeMap | 0x400 | 0x8000;
    std::vector<uint8_t> file = File(h, {});
    DdsHeader back{};
    ASSERT_TRUE(DdsParseHeader(file.data(), file.size(), &back));
    EXPECT_EQ(back.width, 64u);
    EXPECT_EQ(back.height, 32u);
    EXPECT_EQ(back.fourCC, kFourCCDXT5);
    EXPECT_EQ(DdsLevelCount(&back), 7u);
    EXPECT_TRUE(DdsIsCube(&back));
    EXPECT_EQ(DdsFaceCount(&back), 2u);
    EXPECT_TRUE(DdsHasFace(&back, 0));
    EXPECT_FALSE(DdsHasFace(&back, 1));
    EXPECT_TRUE(DdsHasFace(&back, 5));

    EXPECT_FALSE(DdsParseHeader(file.data(), kDdsHeaderBytes - 1, &back));
    file[3] = 'X';
    EXPECT_FALSE(DdsParseHeader(file.data(), file.size(), &back));
    h.flags = kDdsFlagMipMapCount;
    file = File(h, {});
    EXPECT_FALSE(DdsParseHeader(file.data(), file.size(), &back));
}

TEST(DdsHeader, LevelCountsAreBoundedByTheChain)
{
    DdsHeader h = FourCCHeader(kFourCCDXT1, 64, 64);
    EXPECT_EQ(DdsLevelCount(&h), 1u);
    h.flags |= kDdsFlagMipMapCount;
    h.mipMapCount = 0;
    EXPECT_EQ(DdsLevelCount(&h), 1u);
    h.mipMapCount = 1000;
    EXPECT_EQ(DdsLevelCount(&h), 7u);
    h.width = 5;
    h.height = 3;
    EXPECT_EQ(DdsLevelCount(&h), 3u);
    EXPECT_EQ(D3D9LevelDimension(5, 2), 1u);
    EXPECT_EQ(D3D9LevelDimension(64, 40), 1u);
}

TEST(DdsHeader, FormatsOfPixelLayouts)
{
    struct Case
    {
        DdsHeader header;
        uint32_t format;
        uint32_t cubeFormat;
    };
    const Case cases[] = {
        {FourCCHeader(kFourCCDXT3, 4, 4), kFourCCDXT3, kFourCCDXT3},
        {MaskHeader(0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0), D3DFMT_R8G8B8, D3DFMT_R8G8B8},
        {MaskHeader(0x40, 32, 0xFF0000, 0xFF00, 0xFF, 0), D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8},
        {MaskHeader(0x40, 16, 0xF800, 0x7E0, 0x1F, 0), D3DFMT_R5G6B5, D3DFMT_R5G6B5},
        {MaskHeader(0x40, 8, 0xE0, 0x1C, 0x3, 0), D3DFMT_R3G3B2, 0},
        {MaskHeader(0x40, 32, 0xFF, 0xFF00, 0xFF0000, 0), 0, 0},
        {MaskHeader(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8},
        {MaskHeader(0x41, 16, 0x7C00, 0x3E0, 0x1F, 0x8000), D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5},
        {MaskHeader(0x41, 16, 0xF00, 0xF0, 0xF, 0xF000), D3DFMT_A4R4G4B4, D3DFMT_A4R4G4B4},
        {MaskHeader(0x41, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000), D3DFMT_A2R10G10B10, 0},
        {MaskHeader(0x41, 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), D3DFMT_A2B10G10R10, 0},
        {MaskHeader(0x41, 16, 0xE0, 0x1C, 0x3, 0xFF00), D3DFMT_A8R3G3B2, 0},
        {MaskHeader(0x20000, 16, 0xFFFF, 0, 0, 0), D3DFMT_L16, 0},
        {MaskHeader(0x20001, 16, 0xFF, 0, 0, 0xFF00), D3DFMT_A8L8, 0},
        {MaskHeader(0x20000, 8, 0xFF, 0, 0, 0), D3DFMT_L8, 0},
        {MaskHeader(0x2, 8, 0, 0, 0, 0xFF), D3DFMT_A8, 0},
        {MaskHeader(0x20001, 8, 0xF, 0, 0, 0xF0), D3DFMT_A4L4, 0},
        {MaskHeader(0x20, 8, 0, 0, 0, 0), D3DFMT_P8, 0},
        {MaskHeader(0x20, 12, 0, 0, 0, 0), 0, 0},
    };
    for (const Case& c : cases) {
        DdsHeader h = c.header;
        EXPECT_EQ(DdsFormatOf(&h), c.format) << std::hex << h.pixelFlags << " " << h.redMask;
        h.caps = kDdsCapsComplex;
        h.caps2 = 0xFE00;
        EXPECT_EQ(DdsFormatOf(&h), c.cubeFormat) << "cube " << std::hex << h.pixelFlags << " " << h.redMask;
    }
}

TEST(DdsHeader, StoredLayouts)
{
    EXPECT_EQ(D3D9FormatLevelBytes(kFourCCDXT1, 3, 5), 16u);
    EXPECT_EQ(D3D9FormatLevelBytes(kFourCCDXT5, 1, 1), 16u);
    EXPECT_EQ(D3D9FormatRowBytes(kFourCCDXT3, 9), 48u);
    EXPECT_EQ(D3D9FormatRowCount(kFourCCDXT3, 9), 3u);
    EXPECT_EQ(D3D9FormatLevelBytes(D3DFMT_R8G8B8, 3, 2), 18u);
    EXPECT_EQ(D3D9FormatLevelBytes(D3DFMT_A16B16G16R16, 2, 2), 32u);
    EXPECT_EQ(D3D9FormatLevelBytes(D3DFMT_P8, 5, 3), 15u);
    // Sizes near 2^32 neither wrap to zero rows (and a division by zero) nor overflow.
    EXPECT_EQ(D3D9FormatRowCount(kFourCCDXT1, 0xFFFFFFFFu), 0x40000000u);
    EXPECT_EQ(D3D9FormatLevelBytes(kFourCCDXT1, 4, 0xFFFFFFFFu), size_t{8} * 0x40000000u);
    EXPECT_EQ(D3D9FormatLevelBytes(kFourCCDXT5, 0xFFFFFFFFu, 0xFFFFFFFFu), SIZE_MAX);
    EXPECT_EQ(D3D9FormatLevelBytes(D3DFMT_A16B16G16R16, 0xFFFFFFFFu, 0xFFFFFFFFu), SIZE_MAX);
    EXPECT_EQ(D3D9FormatLevelBytes(0x32595559u, 4, 4), 0u);
    EXPECT_EQ(D3D9FormatLevelBytes(D3DFMT_A8R8G8B8, 0xFFFFFFFFu, 0xFFFFFFFFu), SIZE_MAX);
}

TEST(DdsHeader, LevelZeroOfOddDxtFile)
{
    // 3 x 5 "DXT1": two blocks, the second all transparent (3-colour mode, index 3).
    const std::vector<uint8_t> blocks = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4,
                                         0x1F, 0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> file = File(FourCCHeader(kFourCCDXT1, 3, 5), blocks);
    DdsLevel0 level{};
    ASSERT_TRUE(DdsLocateLevel0(file.data(), file.size(), &level));
    EXPECT_EQ(level.bytes, 16u);
    std::vector<uint8_t> rgba(3 * 5 * 4);
    bool transparent = false;
    ASSERT_TRUE(
        DdsDecodeLevel(level.format, 3, 5, level.pixels, level.palette, rgba.data(), 12, &transparent));
    EXPECT_TRUE(transparent);
    EXPECT_EQ(rgba[(0 * 3 + 2) * 4 + 2], 82);
    EXPECT_EQ(rgba[(4 * 3 + 1) * 4 + 3], 0);

    // One byte short of the second block: refused, nothing read past the buffer.
    std::vector<uint8_t> shortFile(file.begin(), file.end() - 1);
    EXPECT_FALSE(DdsLocateLevel0(shortFile.data(), shortFile.size(), &level));
}

TEST(DdsHeader, LyingHeadersAreRefused)
{
    struct Case
    {
        const char* what;
        DdsHeader header;
        size_t bodyBytes;
    };
    DdsHeader huge = MaskHeader(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    huge.width = 0x40000000;
    huge.height = 0x40000000;
    DdsHeader linear = FourCCHeader(kFourCCDXT5, 64, 64);
    linear.flags |= kDdsFlagLinearSize;
    linear.pitchOrLinearSize = 16; // claims one block; the level needs 256
    DdsHeader pitch = MaskHeader(0x41, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    pitch.width = 8;
    pitch.pitchOrLinearSize = 4; // claims a 4-byte row; the rows need 32
    DdsHeader zero = FourCCHeader(kFourCCDXT1, 0, 4);
    // A DXT height whose block-row count once wrapped to 0 and divided by it.
    DdsHeader tall = FourCCHeader(kFourCCDXT1, 4, 0xFFFFFFFFu);
    DdsHeader wide = FourCCHeader(kFourCCDXT1, kDdsMaxSide + 4, 4);
    const Case cases[] = {
        {"tall", tall, 4096},
        {"wider than a texture", wide, 16 * 8 * 1024},
        {"huge", huge, 4096},
        {"linear size", linear, 16},
        {"pitch", pitch, 16},
        {"zero width", zero, 64},
        {"palette missing", MaskHeader(0x20, 8, 0, 0, 0, 0), 16 + 1000},
        {"unknown FOURCC", FourCCHeader(0x32595559u, 4, 4), 64},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> file = File(c.header, std::vector<uint8_t>(c.bodyBytes, 0xAB));
        DdsLevel0 level{};
        EXPECT_FALSE(DdsLocateLevel0(file.data(), file.size(), &level)) << c.what;
    }
}

TEST(DdsHeader, PaletteLevelDecodes)
{
    std::vector<uint8_t> body(kDdsPaletteBytes + 16, 0);
    body[4 * 1 + 0] = 10;
    body[4 * 1 + 1] = 20;
    body[4 * 1 + 2] = 30;
    body[4 * 1 + 3] = 40;
    body[kDdsPaletteBytes + 5] = 1;
    std::vector<uint8_t> file = File(MaskHeader(0x20, 8, 0, 0, 0, 0), body);
    DdsLevel0 level{};
    ASSERT_TRUE(DdsLocateLevel0(file.data(), file.size(), &level));
    ASSERT_NE(level.palette, nullptr);
    std::vector<uint8_t> rgba(4 * 4 * 4);
    ASSERT_TRUE(DdsDecodeLevel(level.format, 4, 4, level.pixels, level.palette, rgba.data(), 16, nullptr));
    EXPECT_EQ(rgba[5 * 4 + 0], 10);
    EXPECT_EQ(rgba[5 * 4 + 3], 40);
    EXPECT_EQ(rgba[0 * 4 + 3], 0);
}

} // namespace
