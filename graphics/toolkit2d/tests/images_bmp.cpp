// BMP files: hand-made files of each bit count and compression read into
// the expected images, round trips through the writer, and malformed files
// refused with an error recorded.
#include "graphics/toolkit2d/tests/imagestesting.h"

namespace {

struct BmpLayout
{
    int32_t width;
    int32_t height;
    uint16_t bits;
    Bytes data;
    Bytes palette = {}; ///< stored entries, 3 or 4 bytes each
    uint32_t compression = 0;
    uint32_t infoBytes = 40;
    uint32_t coloursUsed = 0;
    int64_t dataOffset = -1; ///< -1: right after the palette; larger leaves a gap of zeros
};

Bytes MakeBmp(const BmpLayout& layout)
{
    const uint32_t natural = 14 + layout.infoBytes + static_cast<uint32_t>(layout.palette.size());
    const uint32_t offset = layout.dataOffset >= 0 ? static_cast<uint32_t>(layout.dataOffset) : natural;
    Bytes bytes = {'B', 'M'};
    PutU32(bytes, std::max(offset, natural) + static_cast<uint32_t>(layout.data.size()));
    PutU32(bytes, 0);
    PutU32(bytes, offset);
    PutU32(bytes, layout.infoBytes);
    if (layout.infoBytes == 12) {
        PutU16(bytes, static_cast<uint16_t>(layout.width));
        PutU16(bytes, static_cast<uint16_t>(layout.height));
        PutU16(bytes, 1);
        PutU16(bytes, layout.bits);
    } else {
        PutU32(bytes, static_cast<uint32_t>(layout.width));
        PutU32(bytes, static_cast<uint32_t>(layout.height));
        PutU16(bytes, 1);
        PutU16(bytes, layout.bits);
        PutU32(bytes, layout.compression);
        for (int i = 0; i < 3; ++i) {
            PutU32(bytes, 0);
        }
        PutU32(bytes, layout.coloursUsed);
        PutU32(bytes, 0);
        bytes.resize(14 + layout.infoBytes, 0);
    }
    bytes.insert(bytes.end(), layout.palette.begin(), layout.palette.end());
    if (bytes.size() < offset) {
        bytes.resize(offset, 0);
    }
    bytes.insert(bytes.end(), layout.data.begin(), layout.data.end());
    return bytes;
}

/// Stored palette entries B, G, R, 0 for the colours given as R, G, B.
Bytes Palette4(std::initializer_list<TestColour> colours)
{
    Bytes bytes;
    for (const TestColour& c : colours) {
        bytes.insert(bytes.end(), {c.b, c.g, c.r, 0});
    }
    return bytes;
}

const TestColour kRed{255, 0, 0, 255};
const TestColour kGreen{0, 255, 0, 255};
const TestColour kBlue{0, 0, 255, 255};
const TestColour kWhite{255, 255, 255, 255};
const TestColour kBlack{0, 0, 0, 255};

using BmpReadTest = ToolkitImageTest;

TEST_F(BmpReadTest, OneBitRowsAreStoredBottomUp)
{
    // Top row 1 0 1, bottom row 0 1 1; the bottom row comes first in the file.
    Put("a.bmp", MakeBmp({.width = 3,
                          .height = 2,
                          .bits = 1,
                          .data = {0x60, 0, 0, 0, 0xA0, 0, 0, 0},
                          .palette = Palette4({kRed, kBlue}),
                          .coloursUsed = 2}));
    Image* image = BmpRead("a.bmp");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->depth, 4);
    EXPECT_EQ(Indices(image), (Bytes{1, 0, 1, 0, 1, 1}));
    EXPECT_EQ(PixelAt(image, 0, 0), kBlue);
    EXPECT_EQ(PixelAt(image, 1, 0), kRed);
    ImageDestroy(image);
}

TEST_F(BmpReadTest, EachBitCountReadsIntoItsDepth)
{
    struct Case
    {
        const char* name;
        BmpLayout layout;
        int32_t depth;
        std::vector<TestColour> colours; ///< row by row, top first
    };
    const Case cases[] = {
        {"4-bit, high nibble first",
         {.width = 3,
          .height = 1,
          .bits = 4,
          .data = {0x12, 0x00, 0, 0},
          .palette = Palette4({kBlack, kRed, kGreen}),
          .coloursUsed = 3},
         4,
         {kRed, kGreen, kBlack}},
        {"8-bit top-down",
         {.width = 2,
          .height = -2,
          .bits = 8,
          .data = {1, 2, 0, 0, 2, 1, 0, 0},
          .palette = Palette4({kBlack, kRed, kBlue}),
          .coloursUsed = 3},
         8,
         {kRed, kBlue, kBlue, kRed}},
        {"8-bit with entries beyond the stored palette",
         {.width = 2,
          .height = 1,
          .bits = 8,
          .data = {1, 200, 0, 0},
          .palette = Palette4({kWhite, kGreen}),
          .coloursUsed = 2},
         8,
         {kGreen, kBlack}},
        {"24-bit, width 1 rows of 4 bytes",
         {.width = 1, .height = 2, .bits = 24, .data = {0, 0, 255, 0, 255, 0, 0, 0}},
         32,
         {kBlue, kRed}},
        {"32-bit ignores the fourth byte",
         {.width = 2, .height = 1, .bits = 32, .data = {0, 255, 0, 7, 10, 20, 30, 0}},
         32,
         {kGreen, {30, 20, 10, 255}}},
        {"16-bit 5-6-5",
         {.width = 3, .height = 1, .bits = 16, .data = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0}},
         32,
         {{248, 0, 0, 255}, {0, 252, 0, 255}, {0, 0, 248, 255}}},
        {"15-bit 5-5-5 in 16-bit units",
         {.width = 3,
          .height = 2,
          .bits = 15,
          .data = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0}},
         32,
         {{248, 248, 248, 255},
          {0, 0, 0, 255},
          {0, 0, 0, 255},
          {248, 0, 0, 255},
          {0, 248, 0, 255},
          {0, 0, 248, 255}}},
        {"old header with 3-byte palette entries",
         {.width = 2,
          .height = 1,
          .bits = 8,
          .data = {0, 1, 0, 0},
          .palette =
              [] {
                  Bytes p(256 * 3, 0);
                  p[3 + 1] = 255; // entry 1 green
                  return p;
              }(),
          .infoBytes = 12},
         8,
         {kBlack, kGreen}},
        {"longer header skipped",
         {.width = 1, .height = 1, .bits = 24, .data = {255, 0, 0, 0}, .infoBytes = 124},
         32,
         {kBlue}},
        {"gap before the pixel data",
         {.width = 1, .height = 1, .bits = 24, .data = {0, 255, 0, 0}, .dataOffset = 54 + 10},
         32,
         {kGreen}},
        {"8-bit run-length",
         {.width = 4,
          .height = 2,
          .bits = 8,
          // Bottom row: runs 5 5 6 6. Top row: copy of 1 2 1, run of one 2, end of bitmap.
          .data = {2, 1, 2, 2, 0, 0, 0, 3, 1, 2, 1, 0, 1, 2, 0, 1},
          .palette = Palette4({kBlack, kRed, kBlue}),
          .compression = 1,
          .coloursUsed = 3},
         8,
         {kRed, kBlue, kRed, kBlue, kRed, kRed, kBlue, kBlue}},
        {"run-length ended early leaves index 0",
         {.width = 2,
          .height = 3,
          .bits = 8,
          .data = {2, 1, 0, 1},
          .palette = Palette4({kGreen, kRed}),
          .compression = 1,
          .coloursUsed = 2},
         8,
         {kGreen, kGreen, kGreen, kGreen, kRed, kRed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("case.bmp", MakeBmp(c.layout));
        Image* image = BmpRead("case.bmp");
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->depth, c.depth);
        EXPECT_EQ(Colours(image), c.colours);
        ImageDestroy(image);
    }
}

TEST_F(BmpReadTest, FifteenBitRowsTakeTwoBytesAPixel)
{
    // 32 pixels a row: 64 bytes, where 15 bits a pixel would make 60.
    Bytes data;
    for (const uint32_t pixel : {0x03E0u, 0x7C00u}) { // bottom row green, top row red
        for (int x = 0; x < 32; ++x) {
            PutU16(data, pixel);
        }
    }
    Put("a.bmp", MakeBmp({.width = 32, .height = 2, .bits = 15, .data = data}));
    Image* image = BmpRead("a.bmp");
    ASSERT_NE(image, nullptr);
    std::vector<TestColour> expected(32, TestColour{248, 0, 0, 255});
    expected.resize(64, TestColour{0, 248, 0, 255});
    EXPECT_EQ(Colours(image), expected);
    ImageDestroy(image);
}

TEST_F(BmpReadTest, MalformedFilesAreRefusedWithAnError)
{
    const BmpLayout good = {.width = 2,
                            .height = 2,
                            .bits = 8,
                            .data = {1, 2, 0, 0, 3, 4, 0, 0},
                            .palette = Palette4({kRed, kGreen}),
                            .coloursUsed = 2};
    const BmpLayout rle = {.width = 2,
                           .height = 1,
                           .bits = 8,
                           .data = {2, 1, 0, 1},
                           .palette = Palette4({kRed, kGreen}),
                           .compression = 1,
                           .coloursUsed = 2};
    auto with = [](BmpLayout layout, auto change) {
        change(layout);
        return MakeBmp(layout);
    };
    auto patched = [](Bytes bytes, size_t at, uint32_t value) {
        bytes[at] = static_cast<uint8_t>(value);
        bytes[at + 1] = static_cast<uint8_t>(value >> 8);
        bytes[at + 2] = static_cast<uint8_t>(value >> 16);
        bytes[at + 3] = static_cast<uint8_t>(value >> 24);
        return bytes;
    };
    struct Case
    {
        const char* name;
        Bytes bytes;
        uint32_t code; ///< 0: any recorded error
    };
    const Case cases[] = {
        {"empty", {}, 0},
        {"shorter than the header", Bytes{'B', 'M', 1, 2, 3}, 0},
        {"wrong signature", patched(MakeBmp(good), 0, 0x5A4D), kErrorRead},
        {"header size 20", patched(MakeBmp(good), 14, 20), kErrorImageSize},
        {"header size beyond the file", patched(MakeBmp(good), 14, 0x7FFFFFF0), kErrorRead},
        {"width 0", with(good, [](BmpLayout& s) { s.width = 0; }), kErrorImageSize},
        {"negative width", with(good, [](BmpLayout& s) { s.width = -2; }), kErrorImageSize},
        {"height 0", with(good, [](BmpLayout& s) { s.height = 0; }), kErrorImageSize},
        {"lowest height", with(good, [](BmpLayout& s) { s.height = INT32_MIN; }), kErrorRead},
        {"huge width", with(good, [](BmpLayout& s) { s.width = 0x7FFFFFFF; }), kErrorRead},
        {"huge height", with(good, [](BmpLayout& s) { s.height = 0x10000000; }), kErrorRead},
        {"bit count 2", with(good, [](BmpLayout& s) { s.bits = 2; }), kErrorImageDepth},
        {"bit count 0", with(good, [](BmpLayout& s) { s.bits = 0; }), kErrorImageDepth},
        {"bit count 64", with(good, [](BmpLayout& s) { s.bits = 64; }), kErrorImageDepth},
        {"4-bit run-length", with(good, [](BmpLayout& s) { s.compression = 2; }), kErrorImageSize},
        {"bit fields on 8 bits", with(good, [](BmpLayout& s) { s.compression = 3; }), kErrorImageSize},
        {"8-bit run-length on 4 bits", with(rle, [](BmpLayout& s) { s.bits = 4; }), kErrorImageSize},
        {"palette longer than the file",
         with(good,
              [](BmpLayout& s) {
                  s.coloursUsed = 256;
                  s.data.clear();
              }),
         0},
        {"data offset inside the header", with(good, [](BmpLayout& s) { s.dataOffset = 20; }), kErrorRead},
        {"data offset beyond the file", patched(MakeBmp(good), 10, 1u << 30), kErrorRead},
        {"pixel data cut short", with(good, [](BmpLayout& s) { s.data.pop_back(); }), 0},
        {"run past the row's end",
         with(rle,
              [](BmpLayout& s) {
                  s.data = {3, 1, 0, 1};
              }),
         kErrorRead},
        {"copy past the row's end", with(rle, [](BmpLayout& s) { s.data = {0, 3, 1, 1, 1, 0, 0, 1}; }),
         kErrorRead},
        {"run-length delta", with(rle, [](BmpLayout& s) { s.data = {0, 2, 1, 1, 0, 1}; }), kErrorImageSize},
        {"run-length without an end",
         with(rle,
              [](BmpLayout& s) {
                  s.data = {1, 1};
              }),
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("bad.bmp", c.bytes);
        TakeError();
        Image* image = BmpRead("bad.bmp");
        EXPECT_EQ(image, nullptr);
        if (image) {
            ImageDestroy(image);
        }
        const ErrorRecord error = TakeError();
        EXPECT_NE(error.code, kErrorNone);
        if (c.code) {
            EXPECT_EQ(error.code, c.code);
        }
    }
}

using BmpWriteTest = ToolkitImageTest;

TEST_F(BmpWriteTest, EachDepthRoundTripsWithItsPalette)
{
    auto colour = [](int32_t x, int32_t y) {
        return TestColour{static_cast<uint8_t>(x * 40 + 1), static_cast<uint8_t>(y * 70 + 2),
                          static_cast<uint8_t>(x * y + 3), 255};
    };
    for (const int32_t depth : {4, 8, 32}) {
        for (const auto& [width, height] :
             {std::pair{1, 1}, std::pair{5, 3}, std::pair{7, 2}, std::pair{33, 4}}) {
            SCOPED_TRACE(testing::Message() << depth << "-bit " << width << "x" << height);
            Image* image = MakeImage(width, height, depth, colour);
            ASSERT_EQ(BmpWrite(image, "round.bmp"), image);
            Image* back = BmpRead("round.bmp");
            ASSERT_NE(back, nullptr);
            ExpectSameImage(back, image);
            ImageDestroy(back);
            ImageDestroy(image);
        }
    }
}

TEST_F(BmpWriteTest, ThirtyTwoBitImagesAreStoredAsTwentyFourBitsWithAlphaDropped)
{
    Image* image = MakeImage(1, 3, 32, [](int32_t, int32_t y) {
        return TestColour{static_cast<uint8_t>(y), 2, 3, static_cast<uint8_t>(y * 50)};
    });
    ASSERT_NE(BmpWrite(image, "a.bmp"), nullptr);
    const Bytes bytes = Get("a.bmp");
    ASSERT_EQ(bytes.size(), 54u + 3 * 4) << "rows of one pixel take 4 bytes";
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(bytes[2] | bytes[3] << 8, 66) << "the file size field";
    EXPECT_EQ((Bytes{bytes[54], bytes[55], bytes[56], bytes[57]}), (Bytes{3, 2, 2, 0})) << "bottom row first";
    Image* back = BmpRead("a.bmp");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(PixelAt(back, 0, 2), (TestColour{2, 2, 3, 255}));
    ImageDestroy(back);
    ImageDestroy(image);
}

TEST_F(BmpWriteTest, EveryProperPrefixOfAWrittenFileIsRefused)
{
    Image* image = MakeImage(3, 2, 4, [](int32_t x, int32_t) { return TestColour{uint8_t(x), 0, 0, 255}; });
    ASSERT_NE(BmpWrite(image, "whole.bmp"), nullptr);
    ImageDestroy(image);
    const Bytes whole = Get("whole.bmp");
    for (size_t size = 0; size < whole.size(); ++size) {
        Put("part.bmp", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        Image* part = BmpRead("part.bmp");
        EXPECT_EQ(part, nullptr) << size << " bytes";
        if (part) {
            ImageDestroy(part);
        }
        EXPECT_NE(TakeError().code, kErrorNone) << size << " bytes";
    }
}

TEST_F(BmpWriteTest, UnwritableImagesAndFilesFail)
{
    Image* image = MakeImage(2, 2, 32, [](int32_t, int32_t) { return kRed; });
    EXPECT_EQ(BmpWrite(nullptr, "a.bmp"), nullptr);
    EXPECT_EQ(BmpWrite(image, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNullArgument);
    EXPECT_EQ(BmpWrite(image, "no/such/directory/a.bmp"), nullptr);
    EXPECT_NE(TakeError().code, kErrorNone);
    Image* empty = ImageCreate(2, 2, 32);
    EXPECT_EQ(BmpWrite(empty, "a.bmp"), nullptr) << "no pixels";
    ImageDestroy(empty);
    ImageDestroy(image);
}

TEST_F(BmpReadTest, FilesAreFoundThroughTheRegistryByExtension)
{
    Image* image = MakeImage(2, 1, 32, [](int32_t x, int32_t) { return x ? kRed : kBlue; });
    ASSERT_NE(BmpWrite(image, "reg.bmp"), nullptr);
    ASSERT_NE(BmpWrite(image, "upper.BMP"), nullptr);
    EXPECT_EQ(ImageWrite(image, "x.bmp"), nullptr) << "no writer is registered";
    ImageDestroy(image);
    for (const char* name : {"reg.bmp", "upper.BMP"}) {
        Image* back = ImageReadByExtension(name);
        ASSERT_NE(back, nullptr) << name;
        EXPECT_EQ(Colours(back), (std::vector<TestColour>{kBlue, kRed}));
        ImageDestroy(back);
    }
}

} // namespace
