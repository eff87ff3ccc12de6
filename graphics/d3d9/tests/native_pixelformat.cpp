// Format tables, single colours and row conversion of every Direct3D format
// the device converts, with pixels worked out by hand.

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "graphics/core/raster.h"
#include "graphics/d3d9/pixelformat.h"
#include "platform/d3d9/d3d9types.h"

namespace {

using Rgba = std::array<uint8_t, 4>;

TEST(PixelFormat, DirectFormatDescriptions)
{
    struct Case
    {
        uint32_t format;
        D3D9FormatDescription expected;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, {1, 32, 0x0500}},
        {D3DFMT_X8R8G8B8, {0, 32, 0x0600}},
        {D3DFMT_R5G6B5, {0, 16, 0x0200}},
        {D3DFMT_X1R5G5B5, {0, 16, 0x0A00}},
        {D3DFMT_A1R5G5B5, {1, 16, 0x0100}},
        {D3DFMT_A4R4G4B4, {1, 16, 0x0300}},
        {D3DFMT_P8, {0, 8, 0x2000}},
        {D3DFMT_L8, {0, 8, 0x0400}},
        {D3DFMT_D15S1, {0, 16, 0x0700}},
        {D3DFMT_D24FS8, {0, 32, 0x0900}},
        {D3DFMT_A32B32G32R32F, {1, 128, 0}},
        {D3DFMT_R8G8B8, {0, 24, 0}},
        {D3DFMT_UNKNOWN, {0, 0, 0}},
        {37, {0, 0, 0}},
        {127, {0, 0, 0}},
        {D3DFMT_DXT1, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        const D3D9FormatDescription d = D3D9FormatDescribe(c.format);
        EXPECT_EQ(d.hasAlpha, c.expected.hasAlpha) << c.format;
        EXPECT_EQ(d.depth, c.expected.depth) << c.format;
        EXPECT_EQ(d.engineFormat, c.expected.engineFormat) << c.format;
    }
}

TEST(PixelFormat, EngineFormatTable)
{
    struct Case
    {
        uint32_t word;
        uint32_t format;
        uint8_t depth, alpha;
    };
    const Case cases[] = {
        {0x0000, D3DFMT_UNKNOWN, 0, 0},   {0x0100, D3DFMT_A1R5G5B5, 16, 1}, {0x0200, D3DFMT_R5G6B5, 16, 0},
        {0x0300, D3DFMT_A4R4G4B4, 16, 1}, {0x0400, D3DFMT_L8, 8, 0},        {0x8500, D3DFMT_A8R8G8B8, 32, 1},
        {0x2600, D3DFMT_X8R8G8B8, 32, 0}, {0x0704, D3DFMT_D16, 16, 0},      {0x0800, D3DFMT_D24X8, 32, 0},
        {0x0900, D3DFMT_D32, 32, 0},      {0x0A00, D3DFMT_X1R5G5B5, 16, 0}, {0x0B00, D3DFMT_UNKNOWN, 0, 0},
    };
    for (const Case& c : cases) {
        const D3D9EngineFormat e = D3D9EngineFormatDescribe(c.word);
        EXPECT_EQ(e.d3dFormat, c.format) << std::hex << c.word;
        EXPECT_EQ(e.depth, c.depth) << std::hex << c.word;
        EXPECT_EQ(e.hasAlpha, c.alpha) << std::hex << c.word;
    }
    EXPECT_TRUE(D3D9FormatIsDepth(D3DFMT_D16_LOCKABLE));
    EXPECT_TRUE(D3D9FormatIsDepth(D3DFMT_D16));
    EXPECT_FALSE(D3D9FormatIsDepth(D3DFMT_L16));
    EXPECT_EQ(Log2Floor(0), -1);
    EXPECT_EQ(Log2Floor(1), 0);
    EXPECT_EQ(Log2Floor(300), 8);
    EXPECT_EQ(Log2Floor(0x80000000u), 31);
}

TEST(PixelFormat, SingleColours)
{
    struct Case
    {
        uint32_t word;
        Rgba colour;
        uint32_t pixel;
        Rgba back;
    };
    const Case cases[] = {
        {0x0400, {255, 255, 255, 128}, 128, {128, 128, 128, 255}},
        {0x0100, {255, 255, 255, 128}, 0xFFFF, {248, 248, 248, 255}},
        {0x0100, {200, 100, 50, 127}, 0x6586, {200, 96, 48, 0}},
        {0x0200, {255, 128, 64, 0}, 0xFC08, {248, 128, 64, 255}},
        {0x0300, {0x12, 0x34, 0x56, 0x78}, 0x7135, {0x10, 0x30, 0x50, 0x70}},
        {0x0300, {0x12, 0x34, 0x56, 0xFF}, 0xF135, {0x10, 0x30, 0x50, 255}},
        {0x0500, {0x12, 0x34, 0x56, 0x9A}, 0x9A123456, {0x12, 0x34, 0x56, 0x9A}},
        {0x0000, {0x12, 0x34, 0x56, 0x9A}, 0x9A123456, {0x12, 0x34, 0x56, 0x9A}},
        {0x0600, {0x12, 0x34, 0x56, 0x9A}, 0xFF123456, {0x12, 0x34, 0x56, 255}},
        {0x0A00, {255, 255, 255, 0}, 0x7FFF, {248, 248, 248, 255}},
    };
    for (const Case& c : cases) {
        uint32_t pixel = 0;
        ASSERT_TRUE(D3D9ColourToPixel(c.colour.data(), c.word, &pixel)) << std::hex << c.word;
        EXPECT_EQ(pixel, c.pixel) << std::hex << c.word;
        Rgba back{};
        ASSERT_TRUE(D3D9PixelToColour(c.pixel, c.word, back.data()));
        EXPECT_EQ(back, c.back) << std::hex << c.word;
    }
    uint32_t pixel = 0;
    const Rgba any{1, 2, 3, 4};
    EXPECT_FALSE(D3D9ColourToPixel(any.data(), 0x0700, &pixel));
    Rgba back{};
    EXPECT_FALSE(D3D9PixelToColour(0, 0x0B00, back.data()));
    // An 8-bit palette answers the pixel value itself.
    ASSERT_TRUE(D3D9PixelToColour(0x04030201, 0x2600, back.data()));
    EXPECT_EQ(back, (Rgba{1, 2, 3, 4}));
}

// The colour (200, 100, 50, 150) through every format with an encoder and a
// decoder: the stored value and the colour read back.
struct RoundTrip
{
    uint32_t format;
    uint32_t stored;
    Rgba back;
};

constexpr Rgba kColour{200, 100, 50, 150};

constexpr RoundTrip kRoundTrips[] = {
    {D3DFMT_A8R8G8B8, 0x96C86432, {200, 100, 50, 150}},
    {D3DFMT_X8R8G8B8, 0xFFC86432, {200, 100, 50, 255}},
    {D3DFMT_R5G6B5, 0xCB26, {200, 100, 48, 255}},
    {D3DFMT_X1R5G5B5, 0x6586, {200, 96, 48, 255}},
    {D3DFMT_A1R5G5B5, 0xE586, {200, 96, 48, 255}},
    {D3DFMT_A4R4G4B4, 0x9C63, {192, 96, 48, 144}},
    {D3DFMT_R3G3B2, 0xCC, {192, 96, 0, 255}},
    {D3DFMT_A8, 0x96, {255, 255, 255, 150}},
    {D3DFMT_A8R3G3B2, 0x96CC, {192, 96, 0, 150}},
    {D3DFMT_X4R4G4B4, 0xFC63, {192, 96, 48, 255}},
    {D3DFMT_A8B8G8R8, 0x963264C8, {200, 100, 50, 150}},
    {D3DFMT_X8B8G8R8, 0xFF3264C8, {200, 100, 50, 255}},
    {D3DFMT_L8, 72, {72, 72, 72, 255}},
    {D3DFMT_A8L8, 0x967C, {124, 124, 124, 150}},
    {D3DFMT_A4L4, 0x97, {112, 112, 112, 144}},
    {D3DFMT_V8U8, 0x64C8, {200, 100, 0, 255}},
    {D3DFMT_L6V5U5, 0x3199, {200, 96, 48, 255}},
    {D3DFMT_X8L8V8U8, 0xFF3264C8, {200, 100, 50, 255}},
    {D3DFMT_Q8W8V8U8, 0x963264C8, {200, 100, 50, 150}},
    {D3DFMT_L16, 0x48B7, {72, 72, 72, 255}},
    {D3DFMT_CxV8U8, 0x64C8, {200, 100, 0, 255}},
};

TEST(PixelFormat, RowsRoundTripThroughEveryFormat)
{
    for (const RoundTrip& c : kRoundTrips) {
        const uint32_t bytes = D3D9FormatPixelBytes(c.format);
        ASSERT_GT(bytes, 0u) << c.format;
        // Two pixels, so that the second one's offset is checked too.
        uint8_t rgba[8];
        std::memcpy(rgba, kColour.data(), 4);
        std::memcpy(rgba + 4, kColour.data(), 4);
        uint8_t stored[8] = {};
        ASSERT_TRUE(D3D9EncodePixels(c.format, rgba, stored, 2)) << c.format;
        uint32_t value = 0;
        for (uint32_t i = 0; i < bytes; ++i) {
            value |= uint32_t(stored[bytes + i]) << (8 * i);
        }
        EXPECT_EQ(value, c.stored) << "format " << c.format;
        uint8_t back[8] = {};
        ASSERT_TRUE(D3D9DecodePixels(c.format, stored, back, 2));
        EXPECT_EQ((Rgba{back[4], back[5], back[6], back[7]}), c.back) << "format " << c.format;
    }
}

TEST(PixelFormat, DecodeOnlyFormats)
{
    struct Case
    {
        uint32_t format;
        std::array<uint8_t, 8> stored;
        Rgba expected;
    };
    const Case cases[] = {
        {D3DFMT_R8G8B8, {0x32, 0x64, 0xC8}, {200, 100, 50, 255}},
        {D3DFMT_A2R10G10B10, {0x04, 0x00, 0xF8, 0xFF}, {255, 128, 1, 255}},
        {D3DFMT_A2B10G10R10, {0x04, 0x00, 0xF8, 0x7F}, {1, 128, 255, 85}},
        {D3DFMT_A16B16G16R16, {0x11, 0xC8, 0x22, 0x64, 0x33, 0x32, 0x44, 0x96}, {200, 100, 50, 150}},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(D3D9FormatCanEncode(c.format)) << c.format;
        Rgba out{};
        ASSERT_TRUE(D3D9DecodePixels(c.format, c.stored.data(), out.data(), 1)) << c.format;
        EXPECT_EQ(out, c.expected) << c.format;
    }
    uint8_t scratch[16] = {};
    for (uint32_t format :
         {uint32_t(D3DFMT_P8), uint32_t(D3DFMT_D16), uint32_t(D3DFMT_R16F), uint32_t(D3DFMT_DXT1)}) {
        EXPECT_FALSE(D3D9DecodePixels(format, scratch, scratch + 8, 1)) << format;
        EXPECT_FALSE(D3D9EncodePixels(format, scratch, scratch + 8, 1)) << format;
    }
}

} // namespace
