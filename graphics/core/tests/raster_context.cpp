// Rasters on the raster device double: creation, locking mip levels,
// sub-rasters sharing their parent's pixels, the context stack and its
// limits, clearing, and moving pixels between rasters and images.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/rasterdouble.h"

namespace {

class RasterTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(RasterDoubleStart()); }
    void TearDown() override { EngineTestShutdown(); }

    static ErrorRecord Pending()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }
};

TEST_F(RasterTest, CreateLockUnlock)
{
    Raster* raster = RasterCreate(64, 16, 32, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->parent, raster);
    EXPECT_EQ(raster->type, kRasterTypeTexture);
    EXPECT_EQ(raster->format, (kRasterFormat8888 | kRasterFormatMipmap) >> 8);
    EXPECT_EQ(raster->pixels, nullptr);
    EXPECT_EQ(RasterGetNumLevels(raster), 7);

    uint8_t* pixels = RasterLock(raster, 3, kRasterLockWrite);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(raster->pixels, pixels);
    EXPECT_EQ(raster->width, 8);
    EXPECT_EQ(raster->height, 2);
    std::memset(pixels, 0x5A, static_cast<size_t>(raster->stride) * raster->height);
    // A second lock without an unlock is refused.
    EXPECT_EQ(RasterLock(raster, 0, kRasterLockRead), nullptr);
    EXPECT_EQ(Pending().code, kErrorRasterLock);
    ASSERT_EQ(RasterUnlock(raster), raster);
    EXPECT_EQ(raster->pixels, nullptr);
    EXPECT_EQ(raster->width, 64);
    EXPECT_EQ(raster->height, 16);

    ASSERT_NE(RasterLock(raster, 5, kRasterLockRead), nullptr);
    EXPECT_EQ(raster->width, 2);
    EXPECT_EQ(raster->height, 1);
    RasterUnlock(raster);
    EXPECT_EQ(RasterDestroy(raster), 1);
}

TEST_F(RasterTest, LevelsWithoutTheMipmapFormatAreOne)
{
    Raster* raster = RasterCreate(32, 32, 32, kRasterTypeNormal);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(RasterGetNumLevels(raster), 1);
    RasterDestroy(raster);
}

TEST_F(RasterTest, DeviceRefusalFreesTheRecord)
{
    EngineGetInstance()->deviceFunctions[kDeviceFnRasterCreate] = [](void*, void*, int32_t) { return 0; };
    EXPECT_EQ(RasterCreate(8, 8, 32, 0), nullptr);
}

TEST_F(RasterTest, SubRastersShareTheirParentsPixels)
{
    Raster* parent = RasterCreate(16, 16, 32, kRasterTypeNormal);
    ASSERT_NE(parent, nullptr);
    Raster* child = RasterCreate(0, 0, 0, kRasterTypeNormal | kRasterFlagNoPixels);
    ASSERT_NE(child, nullptr);
    const RasterRect outer{4, 2, 8, 8};
    ASSERT_EQ(RasterSubRaster(child, parent, &outer), child);
    EXPECT_EQ(child->parent, parent);
    EXPECT_EQ(child->width, 8);
    EXPECT_EQ(child->xOffset, 4);
    EXPECT_EQ(child->yOffset, 2);

    // A sub-raster of the sub-raster: the top raster is its parent and the offsets add up.
    Raster* grandchild = RasterCreate(0, 0, 0, kRasterTypeNormal | kRasterFlagNoPixels);
    const RasterRect inner{1, 3, 2, 2};
    ASSERT_EQ(RasterSubRaster(grandchild, child, &inner), grandchild);
    EXPECT_EQ(grandchild->parent, parent);
    EXPECT_EQ(grandchild->xOffset, 5);
    EXPECT_EQ(grandchild->yOffset, 5);

    uint8_t* pixels = RasterLock(grandchild, 0, kRasterLockWrite);
    ASSERT_NE(pixels, nullptr);
    const uint8_t colour[4] = {1, 2, 3, 4};
    std::memcpy(pixels + grandchild->stride + 4, colour, 4); // (1, 1) of the grandchild
    RasterUnlock(grandchild);

    uint8_t* top = RasterLock(parent, 0, kRasterLockRead);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(std::memcmp(top + 6 * parent->stride + 6 * 4, colour, 4), 0);
    RasterUnlock(parent);

    RasterDestroy(grandchild);
    RasterDestroy(child);
    RasterDestroy(parent);
}

TEST_F(RasterTest, SubRasterRefusals)
{
    Raster* parent = RasterCreate(16, 16, 32, kRasterTypeNormal);
    Raster* owner = RasterCreate(4, 4, 32, kRasterTypeNormal);
    const RasterRect rect{0, 0, 4, 4};
    static int32_t deviceCalls = 0;
    EngineGetInstance()->deviceFunctions[kDeviceFnSubRaster] = [](void*, void*, int32_t) {
        return ++deviceCalls;
    };
    // A raster with pixels of its own: refused without asking the device.
    EXPECT_EQ(RasterSubRaster(owner, parent, &rect), nullptr);
    EXPECT_EQ(deviceCalls, 0);
    Raster* child = RasterCreate(0, 0, 0, kRasterFlagNoPixels);
    const RasterRect outside{10, 10, 8, 8};
    EXPECT_EQ(RasterSubRaster(child, parent, &outside), nullptr);
    EXPECT_EQ(Pending().code, kErrorBadArgument);
    for (Raster* r : {child, owner, parent}) {
        RasterDestroy(r);
    }
}

TEST_F(RasterTest, ContextStackHoldsNineAboveTheBlankRaster)
{
    Raster* blank = RasterGetCurrentContext();
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(blank->type, 0);
    EXPECT_EQ(blank->flags, kRasterFlagNoPixels);
    EXPECT_EQ(blank->width, 0);
    EXPECT_EQ(blank->height, 0);
    EXPECT_EQ(blank->depth, 0);

    Raster* rasters[10];
    for (Raster*& r : rasters) {
        r = RasterCreate(4, 4, 32, kRasterTypeNormal);
        ASSERT_NE(r, nullptr);
    }
    for (int32_t i = 0; i < 9; ++i) {
        ASSERT_EQ(RasterPushContext(rasters[i]), rasters[i]) << i;
        EXPECT_EQ(RasterGetCurrentContext(), rasters[i]);
    }
    // The tenth push is refused and changes nothing.
    const size_t setsBefore = RasterDoubleGet().contexts.size();
    EXPECT_EQ(RasterPushContext(rasters[9]), nullptr);
    EXPECT_EQ(Pending().code, kErrorWrongState);
    EXPECT_EQ(RasterGetCurrentContext(), rasters[8]);
    EXPECT_EQ(RasterDoubleGet().contexts.size(), setsBefore);

    for (int32_t i = 8; i >= 0; --i) {
        EXPECT_EQ(RasterPopContext(), rasters[i]);
        // The device is told the new top each time, the blank raster last.
        EXPECT_EQ(RasterDoubleGet().context, i > 0 ? rasters[i - 1] : blank);
    }
    EXPECT_EQ(RasterGetCurrentContext(), blank);
    // A pop with nothing pushed is refused.
    EXPECT_EQ(RasterPopContext(), nullptr);
    const ErrorRecord error = Pending();
    EXPECT_EQ(error.pluginId, kPluginIdCore);
    EXPECT_EQ(error.code, kErrorCoreNoContext);
    EXPECT_EQ(RasterGetCurrentContext(), blank);
    for (Raster* r : rasters) {
        RasterDestroy(r);
    }
}

TEST_F(RasterTest, DeviceRefusingAPushLeavesTheStack)
{
    Raster* raster = RasterCreate(4, 4, 32, kRasterTypeNormal);
    EngineGetInstance()->deviceFunctions[kDeviceFnSetContextRaster] = [](void*, void*, int32_t) { return 0; };
    EXPECT_EQ(RasterPushContext(raster), nullptr);
    EXPECT_EQ(RasterGetCurrentContext()->width, 0);
    RasterDestroy(raster);
}

TEST_F(RasterTest, ClearNeedsAContext)
{
    EXPECT_EQ(RasterClear(0), 0);
    ErrorRecord error = Pending();
    EXPECT_EQ(error.pluginId, kPluginIdCore);
    EXPECT_EQ(error.code, kErrorCoreNoContext);

    Raster* raster = RasterCreate(4, 4, 32, kRasterTypeNormal);
    ASSERT_EQ(RasterPushContext(raster), raster);
    const uint8_t grey[4] = {9, 9, 9, 255};
    EXPECT_EQ(RasterClear(RGBAToPixel(grey, kRasterFormat8888)), 1);
    const RasterRect corner{2, 2, 2, 2};
    const uint8_t red[4] = {255, 0, 0, 255};
    EXPECT_EQ(RasterClearRect(&corner, RGBAToPixel(red, kRasterFormat8888)), 1);
    ASSERT_EQ(RasterPopContext(), raster);

    const uint8_t* pixels = RasterLock(raster, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(std::memcmp(pixels, grey, 4), 0);
    EXPECT_EQ(std::memcmp(pixels + 3 * raster->stride + 3 * 4, red, 4), 0);
    RasterUnlock(raster);
    RasterDestroy(raster);
}

TEST_F(RasterTest, ImagesInAndOutCarryTheGammaMark)
{
    Image* image = ImageCreate(2, 2, 32);
    ASSERT_NE(ImageAllocatePixels(image), nullptr);
    for (int32_t i = 0; i < 16; ++i) {
        image->pixels[(i / 8) * image->stride + i % 8] = static_cast<uint8_t>(i * 10);
    }
    image->flags |= kImageFlagGammaCorrected;

    int32_t width = 0, height = 0, depth = 0;
    uint32_t flags = 0;
    ASSERT_EQ(ImageFindRasterFormat(image, kRasterTypeNormal, &width, &height, &depth, &flags), image);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(flags, kRasterFormat8888 | kRasterTypeNormal);
    Raster* raster = RasterCreate(width, height, depth, flags);
    ASSERT_EQ(RasterSetFromImage(raster, image), raster);
    EXPECT_TRUE(raster->privateFlags & kRasterPrivateGammaCorrected);

    Image* back = ImageCreate(2, 2, 32);
    ASSERT_NE(ImageAllocatePixels(back), nullptr);
    ASSERT_EQ(ImageSetFromRaster(back, raster), back);
    EXPECT_TRUE(back->flags & kImageFlagGammaCorrected);
    for (int32_t y = 0; y < 2; ++y) {
        EXPECT_EQ(std::memcmp(back->pixels + y * back->stride, image->pixels + y * image->stride, 8), 0);
    }

    RasterDoubleGet().refuseFormat = true;
    EXPECT_EQ(ImageFindRasterFormat(image, kRasterTypeNormal, &width, &height, &depth, &flags), nullptr);
    ImageDestroy(image);
    ImageDestroy(back);
    RasterDestroy(raster);
}

TEST_F(RasterTest, PaletteLockClearsItsFlagsOnUnlock)
{
    Raster* raster = RasterCreate(4, 4, 8, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(raster, nullptr);
    uint8_t* palette = RasterLockPalette(raster, kRasterLockWrite);
    ASSERT_NE(palette, nullptr);
    EXPECT_TRUE(raster->privateFlags & kRasterPrivatePaletteLockedWrite);
    palette[4] = 200;
    ASSERT_EQ(RasterUnlockPalette(raster), raster);
    EXPECT_FALSE(raster->privateFlags & (kRasterPrivatePaletteLocked | kRasterPrivatePaletteLockedWrite));
    RasterDestroy(raster);
}

} // namespace
