// The image chunk: round trips per depth, stored strides other than the
// reader's own, and truncated or corrupted chunks refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class ImageStreamTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }

    static Image* Make(int32_t width, int32_t height, int32_t depth)
    {
        Image* image = ImageCreate(width, height, depth);
        EXPECT_NE(ImageAllocatePixels(image), nullptr);
        const size_t bytes = static_cast<size_t>(image->stride) * height;
        // 4-bit images keep a byte per pixel, below 16.
        for (size_t i = 0; i < bytes; ++i) {
            image->pixels[i] = static_cast<uint8_t>((i * 7 + 3) % (depth == 4 ? 16 : 256));
        }
        if (image->palette) {
            for (size_t i = 0; i < (size_t{4} << depth); ++i) {
                image->palette[i] = static_cast<uint8_t>(255 - i);
            }
        }
        return image;
    }

    static std::vector<uint8_t> Write(const Image* image)
    {
        return StreamWrittenBytes([&](Stream* s) {
            EXPECT_EQ(ImageStreamWrite(image, s), image);
            return true;
        });
    }

    // Finds the image chunk and reads it from `bytes`.
    static Image* Read(const std::vector<uint8_t>& bytes)
    {
        StreamMemory memory{const_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        EXPECT_NE(stream, nullptr);
        Image* image = nullptr;
        if (StreamFindChunk(stream, kChunkImage, nullptr, nullptr)) {
            image = ImageStreamRead(stream);
        }
        StreamClose(stream, nullptr);
        return image;
    }

    static void ExpectSame(const Image* a, const Image* b)
    {
        ASSERT_EQ(a->width, b->width);
        ASSERT_EQ(a->height, b->height);
        ASSERT_EQ(a->depth, b->depth);
        const size_t row = static_cast<size_t>(a->width) * (a->depth == 32 ? 4 : 1);
        for (int32_t y = 0; y < a->height; ++y) {
            EXPECT_EQ(std::memcmp(a->pixels + y * a->stride, b->pixels + y * b->stride, row), 0)
                << "row " << y;
        }
        if (a->palette) {
            EXPECT_EQ(std::memcmp(a->palette, b->palette, size_t{4} << a->depth), 0);
        }
    }

    static void PutU32(std::vector<uint8_t>* bytes, size_t at, uint32_t value)
    {
        for (int32_t i = 0; i < 4; ++i) {
            (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
};

TEST_F(ImageStreamTest, RoundTripPerDepth)
{
    for (int32_t depth : {4, 8, 32}) {
        Image* image = Make(5, 3, depth);
        const std::vector<uint8_t> bytes = Write(image);
        const uint32_t expected = 28 + image->stride * 3 + (depth <= 8 ? 4u << depth : 0);
        EXPECT_EQ(ImageStreamGetSize(image), expected);
        ASSERT_EQ(bytes.size(), 12 + expected);
        // Header: type 0x18, the size and the 0x37002/0x16 stamp, little-endian.
        EXPECT_EQ(bytes[0], 0x18);
        EXPECT_EQ(bytes[4] | bytes[5] << 8, static_cast<int>(expected));
        EXPECT_EQ(bytes[8] | bytes[9] << 8 | bytes[10] << 16 | bytes[11] << 24, 0x1C020016);
        Image* back = Read(bytes);
        ASSERT_NE(back, nullptr) << "depth " << depth;
        ExpectSame(image, back);
        ImageDestroy(image);
        ImageDestroy(back);
    }
}

TEST_F(ImageStreamTest, LargerStoredStrideReadsRowByRow)
{
    // A 3 x 2 32-bit image stored with 20-byte rows (8 bytes of padding).
    Image* image = Make(3, 2, 32);
    std::vector<uint8_t> bytes = {0x18, 0, 0, 0, 0,  0, 0, 0, 0x16, 0, 2, 0x1C,
                                  1,    0, 0, 0, 16, 0, 0, 0, 0x16, 0, 2, 0x1C};
    for (uint32_t field : {3u, 2u, 32u, 20u}) {
        bytes.resize(bytes.size() + 4);
        PutU32(&bytes, bytes.size() - 4, field);
    }
    for (int32_t y = 0; y < 2; ++y) {
        bytes.insert(bytes.end(), image->pixels + y * image->stride, image->pixels + y * image->stride + 12);
        bytes.insert(bytes.end(), 8, 0xEE);
    }
    PutU32(&bytes, 4, static_cast<uint32_t>(bytes.size() - 12));
    Image* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->stride, 12);
    ExpectSame(image, back);
    ImageDestroy(image);
    ImageDestroy(back);
}

TEST_F(ImageStreamTest, TruncatedChunksAreRefused)
{
    for (int32_t depth : {4, 8, 32}) {
        Image* image = Make(4, 4, depth);
        const std::vector<uint8_t> bytes = Write(image);
        for (size_t length = 0; length < bytes.size(); ++length) {
            const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
            Image* back = Read(cut);
            EXPECT_EQ(back, nullptr) << "depth " << depth << ", " << length << " of " << bytes.size()
                                     << " bytes";
            if (back) {
                ImageDestroy(back);
            }
            ErrorRecord record;
            ErrorGet(&record);
        }
        ImageDestroy(image);
    }
}

TEST_F(ImageStreamTest, FourBitIndicesBeyondThePaletteAreRefused)
{
    Image* image = Make(3, 2, 4);
    for (int32_t i = 0; i < image->stride * 2; ++i) {
        image->pixels[i] = static_cast<uint8_t>(i % 16);
    }
    std::vector<uint8_t> bytes = Write(image);
    Image* back = Read(bytes);
    ASSERT_NE(back, nullptr);
    ImageDestroy(back);
    bytes[40 + 4 + 1] = 0x21; // pixel (1, 1): header 12, struct 12 + 16, row 0 of 4 bytes
    EXPECT_EQ(Read(bytes), nullptr);
    ErrorRecord record;
    ErrorGet(&record);
    EXPECT_EQ(record.code, kErrorRead);
    ImageDestroy(image);
}

TEST_F(ImageStreamTest, CorruptedStructFieldsAreRefused)
{
    Image* image = Make(4, 4, 8);
    const std::vector<uint8_t> good = Write(image);
    // Offsets of the struct fields: width 24, height 28, depth 32, stride 36.
    struct Case
    {
        size_t offset;
        uint32_t value;
    };
    const Case cases[] = {
        {32, 16}, {32, 24},         {32, 0},        {24, 0},        {24, 0xFFFFFFFF}, {28, 0x80000000},
        {36, 3},  {36, 0xFFFFFFFC}, {28, 1u << 20}, {24, 1u << 20}, {36, 1u << 30},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        PutU32(&bytes, c.offset, c.value);
        Image* back = Read(bytes);
        EXPECT_EQ(back, nullptr) << "offset " << c.offset << " value " << c.value;
        if (back) {
            ImageDestroy(back);
        }
        ErrorRecord record;
        ErrorGet(&record);
        EXPECT_NE(record.code, kErrorNone);
    }
    // A struct chunk of a version outside the accepted window.
    std::vector<uint8_t> bytes = good;
    PutU32(&bytes, 20, 0x310);
    EXPECT_EQ(Read(bytes), nullptr);
    ErrorRecord record;
    ErrorGet(&record);
    EXPECT_EQ(record.code, kErrorBadVersion);
    ImageDestroy(image);
}

} // namespace
