// Image records: pixel blocks per depth, resizing, copies with depth
// conversion, masks and gamma tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class ImageTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }

    static Image* Make(int32_t width, int32_t height, int32_t depth)
    {
        Image* image = ImageCreate(width, height, depth);
        EXPECT_NE(image, nullptr);
        EXPECT_NE(ImageAllocatePixels(image), nullptr);
        return image;
    }

    static uint32_t PendingCode()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record.code;
    }
};

TEST_F(ImageTest, AllocationGivesStrideAndPalettePerDepth)
{
    struct Case
    {
        int32_t width, depth, stride, paletteBytes;
    };
    const Case cases[] = {{3, 8, 4, 1024}, {3, 4, 4, 64}, {3, 32, 12, 0}, {5, 8, 8, 1024}, {1, 32, 4, 0}};
    for (const Case& c : cases) {
        Image* image = ImageCreate(c.width, 2, c.depth);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->pixels, nullptr);
        EXPECT_EQ(image->flags, 0u);
        ASSERT_NE(ImageAllocatePixels(image), nullptr);
        EXPECT_EQ(image->stride, c.stride) << "width " << c.width << " depth " << c.depth;
        EXPECT_TRUE(image->flags & kImageFlagOwnsPixels);
        if (c.paletteBytes) {
            // The palette lies right after the rows in the same block.
            EXPECT_EQ(image->palette, image->pixels + c.stride * 2);
            std::memset(image->palette, 0xAB, c.paletteBytes);
        } else {
            EXPECT_EQ(image->palette, nullptr);
        }
        std::memset(image->pixels, 0xCD, static_cast<size_t>(c.stride) * 2);
        ImageDestroy(image);
    }
}

TEST_F(ImageTest, UnsupportedDepthIsRefused)
{
    Image* image = ImageCreate(4, 4, 16);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(ImageAllocatePixels(image), nullptr);
    EXPECT_EQ(PendingCode(), kErrorImageSize);
    ImageDestroy(image);
}

TEST_F(ImageTest, ResizeKeepsOverlapAndPalette)
{
    Image* image = Make(3, 3, 8);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            image->pixels[y * image->stride + x] = static_cast<uint8_t>(10 * y + x);
        }
    }
    image->palette[4 * 7] = 77;
    ASSERT_NE(ImageResize(image, 6, 2), nullptr);
    EXPECT_EQ(image->width, 6);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->stride, 8);
    EXPECT_EQ(image->palette[4 * 7], 77);
    EXPECT_EQ(image->pixels[0 * 8 + 2], 2);
    EXPECT_EQ(image->pixels[1 * 8 + 1], 11);
    ImageDestroy(image);

    // Without pixels only the size changes.
    Image* bare = ImageCreate(2, 2, 32);
    ASSERT_NE(ImageResize(bare, 9, 9), nullptr);
    EXPECT_EQ(bare->width, 9);
    EXPECT_EQ(bare->pixels, nullptr);
    ImageDestroy(bare);
}

TEST_F(ImageTest, CopyConvertsThroughThePalette)
{
    Image* source = Make(2, 1, 8);
    source->pixels[0] = 1;
    source->pixels[1] = 255;
    const uint8_t one[4] = {10, 20, 30, 40};
    const uint8_t last[4] = {200, 150, 100, 50};
    std::memcpy(source->palette + 4, one, 4);
    std::memcpy(source->palette + 4 * 255, last, 4);
    source->flags |= kImageFlagGammaCorrected;

    Image* wide = Make(2, 1, 32);
    ASSERT_NE(ImageCopy(wide, source), nullptr);
    EXPECT_EQ(std::memcmp(wide->pixels, one, 4), 0);
    EXPECT_EQ(std::memcmp(wide->pixels + 4, last, 4), 0);
    EXPECT_TRUE(wide->flags & kImageFlagGammaCorrected);

    // 4 to 8 bits keeps the indices and the 16 palette entries.
    Image* small = Make(2, 1, 4);
    small->pixels[0] = 3;
    small->pixels[1] = 15;
    std::memcpy(small->palette + 12, one, 4);
    Image* eight = Make(2, 1, 8);
    ASSERT_NE(ImageCopy(eight, small), nullptr);
    EXPECT_EQ(eight->pixels[0], 3);
    EXPECT_EQ(eight->pixels[1], 15);
    EXPECT_EQ(std::memcmp(eight->palette + 12, one, 4), 0);

    // 32 to 8 bits is not a copy this module makes.
    EXPECT_EQ(ImageCopy(source, wide), nullptr);
    EXPECT_EQ(PendingCode(), kErrorImageSize);
    // Sizes must agree.
    Image* other = Make(3, 1, 32);
    EXPECT_EQ(ImageCopy(other, wide), nullptr);
    EXPECT_EQ(PendingCode(), kErrorImageFormat);

    for (Image* image : {source, wide, small, eight, other}) {
        ImageDestroy(image);
    }
}

TEST_F(ImageTest, FourBitIndicesBeyondThePaletteStayInside)
{
    // A 4-bit image holds a byte per pixel; a stray high nibble must not
    // reach past its 16 palette entries.
    Image* source = Make(1, 1, 4);
    std::memset(source->palette, 0, 64);
    source->palette[4 * 2] = 99;
    source->pixels[0] = 0xF2;
    Image* wide = Make(1, 1, 32);
    ASSERT_NE(ImageCopy(wide, source), nullptr);
    EXPECT_EQ(wide->pixels[0], 99);
    ImageDestroy(source);
    ImageDestroy(wide);
}

TEST_F(ImageTest, MaskGreyBecomesAlpha)
{
    Image* image = Make(2, 1, 8);
    std::memset(image->palette, 0x11, 1024);
    image->pixels[0] = 0;
    image->pixels[1] = 1;
    image->flags |= kImageFlagGammaCorrected;

    Image* mask = Make(2, 1, 32);
    const uint8_t dark[4] = {10, 40, 20, 255};
    const uint8_t light[4] = {200, 180, 250, 0};
    std::memcpy(mask->pixels, dark, 4);
    std::memcpy(mask->pixels + 4, light, 4);
    ASSERT_NE(ImageMakeMask(mask), nullptr);
    EXPECT_EQ(mask->pixels[3], 40);
    EXPECT_EQ(mask->pixels[7], 250);

    ASSERT_NE(ImageApplyMask(image, mask), nullptr);
    EXPECT_EQ(image->depth, 32);
    EXPECT_EQ(image->palette, nullptr);
    EXPECT_TRUE(image->flags & kImageFlagGammaCorrected);
    const uint8_t first[4] = {0x11, 0x11, 0x11, 40};
    EXPECT_EQ(std::memcmp(image->pixels, first, 4), 0);
    EXPECT_EQ(image->pixels[7], 250);

    Image* wrong = Make(3, 1, 32);
    EXPECT_EQ(ImageApplyMask(image, wrong), nullptr);
    EXPECT_EQ(PendingCode(), kErrorImageFormat);
    for (Image* i : {image, mask, wrong}) {
        ImageDestroy(i);
    }
}

TEST_F(ImageTest, GammaTables)
{
    // The module opens with the device's gamma, 1.0: both tables are the identity.
    EXPECT_FLOAT_EQ(ImageGetGamma(), 1.0f);
    uint8_t pixels[256 * 4];
    for (int32_t i = 0; i < 256; ++i) {
        pixels[i * 4 + 0] = pixels[i * 4 + 1] = pixels[i * 4 + 2] = static_cast<uint8_t>(i);
        pixels[i * 4 + 3] = static_cast<uint8_t>(255 - i);
    }
    uint8_t out[256 * 4];
    ImageGammaCorrectPixels(out, pixels, 256);
    EXPECT_EQ(std::memcmp(out, pixels, sizeof(out)), 0);

    ASSERT_EQ(ImageSetGamma(2.0f), 1);
    EXPECT_FLOAT_EQ(ImageGetGamma(), 2.0f);
    ImageGammaCorrectPixels(out, pixels, 256);
    uint8_t inverse[256 * 4];
    ImageInverseGammaCorrectPixels(inverse, pixels, 256);
    for (int32_t i = 0; i < 256; ++i) {
        const float x = static_cast<float>(i) * (1.0f / 255.0f);
        EXPECT_EQ(out[i * 4], static_cast<uint8_t>(std::sqrt(x) * 255.0f + 0.5f)) << i;
        EXPECT_EQ(inverse[i * 4], static_cast<uint8_t>(x * x * 255.0f + 0.5f)) << i;
        EXPECT_EQ(out[i * 4 + 3], 255 - i) << "alpha is copied";
    }
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[255 * 4], 255);
    EXPECT_EQ(out[64 * 4], 128);

    uint8_t colour[4] = {64, 0, 255, 7};
    ImageGammaCorrectColor(colour);
    EXPECT_EQ(colour[0], 128);
    EXPECT_EQ(colour[3], 7);
}

TEST_F(ImageTest, GammaCorrectImages)
{
    ASSERT_EQ(ImageSetGamma(2.0f), 1);
    Image* palettised = Make(1, 1, 4);
    std::memset(palettised->palette, 64, 64);
    ASSERT_NE(ImageGammaCorrect(palettised), nullptr);
    EXPECT_EQ(palettised->palette[0], 128);
    EXPECT_EQ(palettised->palette[3], 64) << "alpha unchanged";
    EXPECT_TRUE(palettised->flags & kImageFlagGammaCorrected);

    Image* bare = ImageCreate(1, 1, 32);
    EXPECT_EQ(ImageGammaCorrect(bare), nullptr);
    EXPECT_EQ(PendingCode(), kErrorNullArgument);
    Image* odd = ImageCreate(1, 1, 16);
    EXPECT_EQ(ImageGammaCorrect(odd), nullptr);
    EXPECT_EQ(PendingCode(), kErrorImageDepth);
    for (Image* i : {palettised, bare, odd}) {
        ImageDestroy(i);
    }
}

TEST_F(ImageTest, ScratchBufferGrows)
{
    auto* small = static_cast<uint8_t*>(ImageGetScratchBuffer(16));
    ASSERT_NE(small, nullptr);
    auto* large = static_cast<uint8_t*>(ImageGetScratchBuffer(100000));
    ASSERT_NE(large, nullptr);
    large[99999] = 1;
}

} // namespace
