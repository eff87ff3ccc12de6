// TextureRead through the tests' own image format on the raster device
// double: size fitting, palettes, masks, mip levels generated or read from
// "<name>m<level>" files, sharing by name, and names that do not fit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/imagefiletesting.h"
#include "graphics/core/texture.h"

namespace {

const TestColour kRed{255, 0, 0, 255};
const TestColour kGreen{0, 255, 0, 255};
const TestColour kBlue{0, 0, 255, 255};
const TestColour kGrey{128, 128, 128, 255};

class TextureReadTest : public ImageFileTest
{
  protected:
    // Level `level` of the texture's raster as an image-like copy: colour at (x, y).
    static TestColour LevelPixel(Raster* raster, int32_t level, int32_t x, int32_t y)
    {
        TestColour colour{};
        uint8_t* pixels = RasterLock(raster, static_cast<uint8_t>(level), kRasterLockRead);
        EXPECT_NE(pixels, nullptr);
        if (pixels) {
            std::memcpy(&colour, pixels + y * raster->stride + x * 4, 4);
            RasterUnlock(raster);
        }
        return colour;
    }

    static int32_t LevelWidth(Raster* raster, int32_t level)
    {
        RasterLock(raster, static_cast<uint8_t>(level), kRasterLockRead);
        const int32_t width = raster->width;
        RasterUnlock(raster);
        return width;
    }
};

TEST_F(TextureReadTest, ImageIsFittedToWhatTheDeviceAccepts)
{
    Image* image = MakeImage(100, 60, 32, [](int32_t x, int32_t) {
        return TestColour{static_cast<uint8_t>(x * 2), 50, 0, 255};
    });
    ASSERT_NE(ImageWrite(image, "brick.tst"), nullptr);
    ImageDestroy(image);

    Texture* texture = TextureRead("brick", nullptr);
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(TextureGetName(texture), "brick");
    EXPECT_STREQ(TextureGetMaskName(texture), "");
    EXPECT_EQ(texture->refCount, 1);
    EXPECT_EQ(TextureGetDictionary(texture), TexDictionaryGetCurrent());
    Raster* raster = TextureGetRaster(texture);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->width, 64);
    EXPECT_EQ(raster->height, 32);
    EXPECT_EQ(raster->type, kRasterTypeTexture);
    EXPECT_EQ(RasterGetNumLevels(raster), 1);
    // Scaled: the right edge comes from the right edge of the source.
    EXPECT_EQ(LevelPixel(raster, 0, 0, 0).r, 1);
    EXPECT_NEAR(LevelPixel(raster, 0, 63, 0).r, 197, 1);
    TextureDestroy(texture);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
}

TEST_F(TextureReadTest, PalettisedFilesStayPalettised)
{
    RasterDoubleGet().palettes = true;
    RasterDoubleGet().maxSide = 8;
    // 16 x 2 pixels in pairs of one colour, halved to 8 x 2 by the device.
    Image* image =
        MakeImage(16, 2, 8, [](int32_t i, int32_t) { return i == 0 ? kRed : (i == 1 ? kGreen : kBlue); });
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            image->pixels[y * image->stride + x] = static_cast<uint8_t>((x / 2) % 3);
        }
    }
    ASSERT_NE(ImageWrite(image, "tiles.tst"), nullptr);
    ImageDestroy(image);
    Texture* texture = TextureRead("tiles", nullptr);
    ASSERT_NE(texture, nullptr);
    Raster* raster = TextureGetRaster(texture);
    EXPECT_EQ(raster->width, 8);
    EXPECT_EQ(raster->height, 2);
    EXPECT_EQ(raster->depth, 8);
    EXPECT_TRUE(raster->format & (kRasterFormatPal8 >> 8));
    const uint8_t* palette = RasterLockPalette(raster, kRasterLockRead);
    ASSERT_NE(palette, nullptr);
    std::vector<TestColour> colours(3);
    const uint8_t* pixels = RasterLock(raster, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    for (int32_t x = 0; x < 3; ++x) {
        std::memcpy(&colours[x], palette + pixels[x] * 4, 4);
    }
    RasterUnlock(raster);
    RasterUnlockPalette(raster);
    EXPECT_EQ(colours, (std::vector<TestColour>{kRed, kGreen, kBlue}));
    TextureDestroy(texture);
}

TEST_F(TextureReadTest, MaskBecomesAlpha)
{
    PutSolid("leaf.tst", 4, 4, kGreen);
    Image* mask = MakeImage(4, 4, 32, [](int32_t x, int32_t) {
        const auto v = static_cast<uint8_t>(x * 60);
        return TestColour{v, v, v, 255};
    });
    ASSERT_NE(ImageWrite(mask, "leafmask.tst"), nullptr);
    ImageDestroy(mask);
    Texture* texture = TextureRead("leaf", "leafmask");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(TextureGetMaskName(texture), "leafmask");
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(LevelPixel(TextureGetRaster(texture), 0, x, 1),
                  (TestColour{0, 255, 0, static_cast<uint8_t>(x * 60)}));
    }
    TextureDestroy(texture);
    // A mask that cannot be read fails the texture.
    EXPECT_EQ(TextureRead("leaf", "nomask"), nullptr);
}

TEST_F(TextureReadTest, GeneratedMipLevelsAverageTheLevelAbove)
{
    Image* image = MakeImage(4, 4, 32, [](int32_t x, int32_t y) {
        return (x < 2) == (y < 2) ? TestColour{200, 0, 0, 255} : TestColour{0, 100, 40, 255};
    });
    ASSERT_NE(ImageWrite(image, "checker.tst"), nullptr);
    ImageDestroy(image);
    TextureSetMipmapping(1);
    TextureSetAutoMipmapping(1);
    Texture* texture = TextureRead("checker", nullptr);
    ASSERT_NE(texture, nullptr);
    Raster* raster = TextureGetRaster(texture);
    EXPECT_TRUE(raster->format & (kRasterFormatMipmap >> 8));
    EXPECT_TRUE(raster->format & (kRasterFormatAutoMipmap >> 8));
    ASSERT_EQ(RasterGetNumLevels(raster), 3);
    EXPECT_GE(RasterDoubleGet().generatedMipmaps, 1);
    EXPECT_EQ(LevelWidth(raster, 1), 2);
    EXPECT_EQ(LevelPixel(raster, 1, 0, 0), (TestColour{200, 0, 0, 255}));
    EXPECT_EQ(LevelPixel(raster, 1, 1, 0), (TestColour{0, 100, 40, 255}));
    EXPECT_EQ(LevelPixel(raster, 2, 0, 0), (TestColour{100, 50, 20, 255}));
    TextureDestroy(texture);
}

TEST_F(TextureReadTest, MipLevelsFromTheirOwnFiles)
{
    PutSolid("wall.tst", 8, 8, kRed);
    PutSolid("wallm1.tst", 4, 4, kGreen);
    PutSolid("wallm2.tst", 3, 3, kBlue); // resized to 2 x 2
    PutSolid("wallm3.tst", 1, 1, kGrey);
    TextureSetMipmapping(1);
    Texture* texture = TextureRead("wall", nullptr);
    ASSERT_NE(texture, nullptr);
    Raster* raster = TextureGetRaster(texture);
    ASSERT_EQ(RasterGetNumLevels(raster), 4);
    EXPECT_EQ(RasterDoubleGet().generatedMipmaps, 0);
    EXPECT_EQ(LevelPixel(raster, 0, 7, 7), kRed);
    EXPECT_EQ(LevelPixel(raster, 1, 3, 3), kGreen);
    EXPECT_EQ(LevelPixel(raster, 2, 1, 1), kBlue);
    EXPECT_EQ(LevelPixel(raster, 3, 0, 0), kGrey);
    TextureDestroy(texture);

    // A missing level fails the whole read and leaves no raster behind.
    std::filesystem::remove(root / "wallm2.tst");
    EXPECT_EQ(TextureRead("wall", nullptr), nullptr);
    const ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, kPluginIdCore);
    EXPECT_EQ(error.code, kErrorCoreTextureRead);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
}

TEST_F(TextureReadTest, SameNameInAnyCaseIsSharedAndCounted)
{
    PutSolid("Stone.tst", 2, 2, kGrey);
    Texture* first = TextureRead("Stone", nullptr);
    ASSERT_NE(first, nullptr);
    TestReaderCalls().clear();
    Texture* second = TextureRead("sTONE", nullptr);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->refCount, 2);
    EXPECT_TRUE(TestReaderCalls().empty());
    TextureDestroy(second);
    EXPECT_EQ(first->refCount, 1);
    EXPECT_EQ(TexDictionaryFindNamedTexture(TexDictionaryGetCurrent(), "STONE"), first);
    TextureDestroy(first);
    EXPECT_EQ(TexDictionaryFindNamedTexture(TexDictionaryGetCurrent(), "stone"), nullptr);
}

TEST_F(TextureReadTest, NameLengths)
{
    Texture* texture = TextureCreate(nullptr);
    ASSERT_NE(texture, nullptr);
    const std::string thirtyOne(31, 'n');
    TextureSetName(texture, thirtyOne.c_str());
    EXPECT_EQ(TextureGetName(texture), thirtyOne);
    EXPECT_EQ(TakeError().code, kErrorNone);
    TextureSetMaskName(texture, (thirtyOne + "x").c_str());
    EXPECT_EQ(TextureGetMaskName(texture), thirtyOne);
    EXPECT_EQ(TakeError().code, kErrorNameTooLong);
    TextureDestroy(texture);
}

TEST_F(TextureReadTest, MipLevelNames)
{
    struct Case
    {
        uint8_t level;
        const char* mask;
        const char* name;
        const char* maskOut;
    };
    const Case cases[] = {{0, "", "tex", ""},
                          {1, "", "texm1", ""},
                          {10, "", "texma", ""},
                          {15, "k", "texmf", "kmf"},
                          {16, "k", "tex", "k"}};
    for (const Case& c : cases) {
        char name[kTextureFileNameSize] = "tex";
        char mask[kTextureFileNameSize];
        std::strcpy(mask, c.mask);
        EXPECT_EQ(TextureMipmapNameDefault(name, mask, sizeof(name), c.level, 0), 1);
        EXPECT_STREQ(name, c.name) << int(c.level);
        EXPECT_STREQ(mask, c.maskOut) << int(c.level);
    }
    // No room for the suffix: not a name that can be read.
    char tight[5] = "abcd";
    char mask[5] = "";
    EXPECT_EQ(TextureMipmapNameDefault(tight, mask, sizeof(tight), 3, 0), 0);
    EXPECT_STREQ(tight, "abcd");
}

TEST_F(TextureReadTest, NamesThatDoNotFitAreNotFound)
{
    // Directories make a name of 251 characters whose file name with ".tst"
    // just fits the 255 characters, and one a character longer that does not.
    std::string directory;
    while (directory.size() < 240) {
        directory += std::string(39, 'd') + "/";
    }
    const std::string fits = directory + std::string(251 - directory.size(), 'f');
    const std::string over = directory + std::string(252 - directory.size(), 'o');
    PutSolid(fits + ".tst", 2, 2, kRed);
    PutSolid(over + ".tst", 2, 2, kRed);
    Texture* texture = TextureRead(fits.c_str(), nullptr);
    ASSERT_NE(texture, nullptr);
    TextureDestroy(texture);
    EXPECT_EQ(TextureRead(over.c_str(), nullptr), nullptr);
    TakeError();
    EXPECT_EQ(TextureRead(nullptr, nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNullArgument);
    // Far too long: cut, reported, not found.
    const std::string huge(1000, 'h');
    EXPECT_EQ(TextureRead(huge.c_str(), nullptr), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNameTooLong);
    // With mip levels from files, level names one suffix too long fail too.
    TextureSetMipmapping(1);
    const std::string level = directory + std::string(250 - directory.size(), 'l');
    PutSolid(level + ".tst", 2, 2, kRed);
    PutSolid(level + "m1.tst", 1, 1, kRed);
    EXPECT_EQ(TextureRead(level.c_str(), nullptr), nullptr);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
}

TEST_F(TextureReadTest, NoRasterFormatMeansNoTexture)
{
    PutSolid("plain.tst", 2, 2, kRed);
    RasterDoubleGet().refuseFormat = true;
    EXPECT_EQ(TextureRead("plain", nullptr), nullptr);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
}

TEST_F(TextureReadTest, RasterReadScalesToTheDevicesSize)
{
    Image* image = MakeImage(100, 60, 32, [](int32_t x, int32_t y) {
        return TestColour{static_cast<uint8_t>(x), static_cast<uint8_t>(y), 7, 255};
    });
    ASSERT_NE(ImageWrite(image, "photo.tst"), nullptr);
    ImageDestroy(image);
    RasterDoubleGet().forcedWidth = 128;
    RasterDoubleGet().forcedHeight = 64;
    Raster* raster = RasterRead("photo.tst");
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->width, 128);
    EXPECT_EQ(raster->height, 64);
    const TestColour corner = LevelPixel(raster, 0, 127, 63);
    EXPECT_EQ(corner.r, 99);
    EXPECT_EQ(corner.g, 59);
    RasterDestroy(raster);

    RasterDoubleGet().refuseFormat = true;
    EXPECT_EQ(RasterRead("photo.tst"), nullptr);
    EXPECT_TRUE(RasterDoubleGet().bodies.empty());
}

} // namespace

namespace {

TEST_F(TextureReadTest, RunningOutOfMemoryAnywhereFailsCleanly)
{
    // Every allocation of a mip-level texture read fails in turn; each read
    // either succeeds or fails leaving no engine block and no raster behind.
    PutSolid("wall.tst", 8, 4, kRed);
    PutSolid("wallm1.tst", 4, 2, kGreen);
    PutSolid("wallm2.tst", 2, 1, kBlue);
    PutSolid("wallm3.tst", 1, 1, kGrey);
    PutSolid("mask.tst", 8, 4, kGrey);
    PutSolid("maskm1.tst", 4, 2, kGrey);
    PutSolid("maskm2.tst", 2, 1, kGrey);
    PutSolid("maskm3.tst", 1, 1, kGrey);
    TextureSetMipmapping(1);
    // One read first, so that free-list blocks made and emptied by it are gone.
    Texture* first = TextureRead("wall", "mask");
    ASSERT_NE(first, nullptr);
    TextureDestroy(first);
    const int64_t baseline = CountingMemory::live;
    int32_t failures = 0;
    for (int32_t failAfter = 0; failAfter < 400; ++failAfter) {
        CountingMemory::failAfter = failAfter;
        Texture* texture = TextureRead("wall", "mask");
        CountingMemory::failAfter = -1;
        TakeError();
        if (!texture) {
            ++failures;
            EXPECT_EQ(CountingMemory::live, baseline) << "after failing allocation " << failAfter;
            EXPECT_TRUE(RasterDoubleGet().bodies.empty()) << failAfter;
            continue;
        }
        EXPECT_EQ(RasterGetNumLevels(TextureGetRaster(texture)), 4);
        TextureDestroy(texture);
        EXPECT_EQ(CountingMemory::live, baseline);
        break;
    }
    EXPECT_GT(failures, 5);
}

} // namespace
