#pragma once
// The engine started on the Direct3D 9 driver (headless) with a memory
// table that counts live blocks, and helpers that make textures with known
// pixels and read them back level by level.

#include <cstring>
#include <functional>
#include <vector>

#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/mathstesting.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "graphics/toolkit2d/texturecombine.h"

class TexDictTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        CountingMemory::Reset();
        ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0x400000) && Open() && EngineStart());
        ErrorRecord error;
        ErrorGet(&error);
    }
    void TearDown() override
    {
        EngineFixture::TearDown();
        CountingMemory::Reset();
    }

    static ErrorRecord TakeError()
    {
        ErrorRecord error;
        ErrorGet(&error);
        return error;
    }

    /// An image of the level's size whose pixel (x, y) is colour(x, y, level)
    /// (RGBA), or for depth 8 palette index (x + 2y + level) mod 16 of a
    /// 16-step ramp.
    static Image* LevelImage(int32_t width, int32_t height, int32_t depth, int32_t level)
    {
        Image* image = ImageCreate(width, height, depth);
        ImageAllocatePixels(image);
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* p = image->pixels + y * image->stride + x * (depth == 32 ? 4 : 1);
                if (depth == 32) {
                    const uint8_t rgba[4] = {uint8_t(x * 16 + level * 40), uint8_t(y * 16),
                                             uint8_t(200 - level * 30), uint8_t(255 - x * 8)};
                    std::memcpy(p, rgba, 4);
                } else {
                    *p = uint8_t((x + 2 * y + level) % 16);
                }
            }
        }
        if (depth == 8) {
            for (int32_t i = 0; i < 256; ++i) {
                const uint8_t rgba[4] = {uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 7), 255};
                std::memcpy(image->palette + i * 4, rgba, 4);
            }
        }
        return image;
    }

    /// A texture of `levels` explicit levels (0: one level with automatic
    /// levels), made as the device chooses for the images.
    static Texture* MakeTexture(const char* name, int32_t side, int32_t depth, int32_t levels,
                                uint32_t filterAddressing, bool gammaCorrected = false)
    {
        Image* first = LevelImage(side, side, depth, 0);
        uint32_t type = kRasterTypeTexture;
        if (levels != 1) {
            type |= kRasterFormatMipmap | (levels == 0 ? kRasterFormatAutoMipmap : 0);
        }
        int32_t width, height, rasterDepth;
        uint32_t format;
        EXPECT_NE(ImageFindRasterFormat(first, type, &width, &height, &rasterDepth, &format), nullptr);
        Raster* raster = RasterCreate(width, height, rasterDepth,
                                      format | (type & (kRasterFormatMipmap | kRasterFormatAutoMipmap)));
        EXPECT_NE(raster, nullptr);
        for (int32_t level = 0; level < std::max(levels, 1); ++level) {
            Image* image =
                level == 0 ? first
                           : LevelImage(std::max(1, side >> level), std::max(1, side >> level), depth, level);
            if (gammaCorrected) {
                ImageGammaCorrect(image);
            }
            EXPECT_TRUE(RasterSetLevelFromImage(raster, level, image));
            ImageDestroy(image);
        }
        Texture* texture = TextureCreate(raster);
        TextureSetName(texture, name);
        texture->filterAddressing = filterAddressing;
        return texture;
    }

    /// Every level's pixels as 32-bit RGBA.
    static std::vector<Bytes> Levels(Texture* texture)
    {
        std::vector<Bytes> levels;
        const int32_t count = RasterGetNumLevels(texture->raster);
        for (int32_t level = 0; level < count; ++level) {
            Image* image = ImageCreate(std::max(1, texture->raster->width >> level),
                                       std::max(1, texture->raster->height >> level), 32);
            ImageAllocatePixels(image);
            RasterLock(texture->raster, uint8_t(level), kRasterLockRead);
            ImageSetFromRaster(image, texture->raster);
            RasterUnlock(texture->raster);
            Bytes pixels;
            for (int32_t y = 0; y < image->height; ++y) {
                pixels.insert(pixels.end(), image->pixels + y * image->stride,
                              image->pixels + y * image->stride + image->width * 4);
            }
            levels.push_back(pixels);
            ImageDestroy(image);
        }
        return levels;
    }

    static Bytes Write(TexDictionary* dictionary)
    {
        return WriteBytes(
            [dictionary](Stream* s) { return ImageTexDictionaryWrite(dictionary, s) != nullptr; });
    }

    /// Reads a written chunk (its 12-byte header skipped).
    static TexDictionary* Read(const Bytes& bytes)
    {
        Bytes body(bytes.begin() + std::min<size_t>(12, bytes.size()), bytes.end());
        return ReadBytes<TexDictionary*>(body, [](Stream* s) { return ImageTexDictionaryRead(s); });
    }
};

inline void ExpectPixelsNear(const Bytes& a, const Bytes& b, int tolerance)
{
    ASSERT_EQ(a.size(), b.size());
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    }
    EXPECT_LE(worst, tolerance);
}
