// Area-filter resampling: averages, repeats, partial coverage and scaling
// of palettised images.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/core/image.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class ImageResampleTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }

    // A 32-bit image from packed RGBA pixels, row after row.
    static Image* Make(int32_t width, int32_t height, const std::vector<uint8_t>& rgba)
    {
        Image* image = ImageCreate(width, height, 32);
        EXPECT_NE(ImageAllocatePixels(image), nullptr);
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(image->pixels + y * image->stride, rgba.data() + y * width * 4, width * 4);
        }
        return image;
    }

    static std::vector<uint8_t> Pixel(const Image* image, int32_t x, int32_t y)
    {
        const uint8_t* p = image->pixels + y * image->stride + x * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

TEST_F(ImageResampleTest, DownscaleAveragesCoveredPixels)
{
    Image* source = Make(2, 2, {0, 0, 0, 0, 100, 40, 8, 255, 200, 80, 16, 255, 100, 40, 0, 255});
    Image* scaled = ImageScale(source, 1, 1);
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(scaled->depth, 32);
    EXPECT_EQ(Pixel(scaled, 0, 0), (std::vector<uint8_t>{100, 40, 6, 191}));
    ImageDestroy(source);
    ImageDestroy(scaled);
}

TEST_F(ImageResampleTest, UpscaleRepeatsThePixel)
{
    Image* source = Make(1, 1, {9, 99, 199, 42});
    Image* scaled = ImageScale(source, 4, 4);
    ASSERT_NE(scaled, nullptr);
    for (int32_t y = 0; y < 4; ++y) {
        for (int32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(Pixel(scaled, x, y), (std::vector<uint8_t>{9, 99, 199, 42}));
        }
    }
    ImageDestroy(source);
    ImageDestroy(scaled);
}

TEST_F(ImageResampleTest, PartialPixelsCountByCoveredFraction)
{
    // Three source columns into two: each destination pixel covers one whole
    // source pixel and half of the middle one.
    Image* source = Make(3, 1, {0, 0, 0, 0, 90, 90, 90, 90, 180, 180, 180, 180});
    Image* scaled = ImageScale(source, 2, 1);
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(Pixel(scaled, 0, 0), (std::vector<uint8_t>{30, 30, 30, 30}));
    EXPECT_EQ(Pixel(scaled, 1, 0), (std::vector<uint8_t>{150, 150, 150, 150}));
    ImageDestroy(source);
    ImageDestroy(scaled);
}

TEST_F(ImageResampleTest, SameSizeCopiesAndPalettisedSourcesExpand)
{
    Image* source = ImageCreate(2, 1, 8);
    ASSERT_NE(ImageAllocatePixels(source), nullptr);
    std::memset(source->palette, 0, 1024);
    const uint8_t red[4] = {255, 0, 0, 255};
    std::memcpy(source->palette + 4 * 5, red, 4);
    source->pixels[0] = 5;
    source->pixels[1] = 5;
    Image* scaled = ImageScale(source, 2, 1);
    ASSERT_NE(scaled, nullptr);
    EXPECT_EQ(Pixel(scaled, 1, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    ImageDestroy(source);
    ImageDestroy(scaled);
}

TEST_F(ImageResampleTest, RefusesOtherDepthsAndEmptySizes)
{
    Image* source = Make(1, 1, {1, 2, 3, 4});
    Image* palettised = ImageCreate(1, 1, 8);
    ASSERT_NE(ImageAllocatePixels(palettised), nullptr);
    EXPECT_EQ(ImageResample(palettised, source), nullptr);
    EXPECT_EQ(ImageScale(source, 0, 4), nullptr);
    ImageDestroy(source);
    ImageDestroy(palettised);
}

} // namespace
