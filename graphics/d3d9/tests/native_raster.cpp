// Native rasters on the software device: default formats by mode depth,
// lock geometry of every format and level, palettes, conversions between
// images and rasters of every format, native texture chunks through texture
// dictionaries, and DDS files.

#include <array>
#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/ddsread.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/nativerasterlist.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/nativetextureio.h"
#include "graphics/d3d9/pixelformat.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

using Rgba = std::array<uint8_t, 4>;

class NativeRaster : public EngineFixture
{
  protected:
    void StartOn(D3DFORMAT desktop)
    {
        D3D9AdapterConfig adapter = TestAdapter("native", desktop);
        D3D9SetAdapters(&adapter, 1);
        ASSERT_TRUE(Start());
    }

    uint32_t PendingError()
    {
        ErrorRecord error;
        ErrorGet(&error);
        return error.code;
    }

    /// A 32-bit image of the given colours in one row.
    Image* Row(const std::vector<Rgba>& colours)
    {
        Image* image = ImageCreate(int32_t(colours.size()), 1, 32);
        EXPECT_TRUE(image && ImageAllocatePixels(image));
        for (size_t i = 0; i < colours.size(); ++i) {
            std::memcpy(image->pixels + i * 4, colours[i].data(), 4);
        }
        return image;
    }

    Rgba Pixel(const Image* image, int32_t x)
    {
        const uint8_t* p = image->pixels + x * 4;
        return {p[0], p[1], p[2], p[3]};
    }
};

TEST_F(NativeRaster, DefaultFormatsFollowTheModeDepth)
{
    struct Case
    {
        D3DFORMAT desktop;
        uint32_t type;
        uint8_t format;
        int32_t depth;
    };
    const Case cases[] = {
        {D3DFMT_X8R8G8B8, kRasterTypeNormal, 0x05, 32},
        {D3DFMT_X8R8G8B8, kRasterTypeTexture, 0x05, 32},
        {D3DFMT_X8R8G8B8, kRasterTypeCameraTexture, 0x06, 32},
        {D3DFMT_X8R8G8B8, kRasterTypeZBuffer, 0x09, 32},
        {D3DFMT_X8R8G8B8, kRasterTypeCamera, 0, 32},
        {D3DFMT_R5G6B5, kRasterTypeNormal, 0x03, 16},
        {D3DFMT_R5G6B5, kRasterTypeTexture, 0x03, 16},
        {D3DFMT_R5G6B5, kRasterTypeCameraTexture, 0x02, 16},
        {D3DFMT_R5G6B5, kRasterTypeZBuffer, 0x07, 16},
        {D3DFMT_R5G6B5, kRasterTypeCamera, 0, 16},
    };
    D3DFORMAT started = D3DFMT_UNKNOWN;
    for (const Case& c : cases) {
        if (c.desktop != started) {
            Shutdown();
            StartOn(c.desktop);
            started = c.desktop;
        }
        SCOPED_TRACE(::testing::Message() << "desktop " << c.desktop << " type " << c.type);
        Raster* raster = RasterCreate(32, 32, 0, c.type);
        ASSERT_NE(raster, nullptr);
        // A camera raster takes the back buffer's format, whatever the driver chose.
        const uint8_t expected =
            c.type == kRasterTypeCamera
                ? uint8_t(D3D9FormatDescribe(D3D9GetPresentParameters()->BackBufferFormat).engineFormat >> 8)
                : c.format;
        EXPECT_EQ(raster->format & 0x0F, expected);
        EXPECT_EQ(raster->depth, c.depth);
        RasterDestroy(raster);
    }
}

TEST_F(NativeRaster, EmptyRastersHaveNoDeviceObject)
{
    StartOn(D3DFMT_X8R8G8B8);
    const int32_t listed = D3D9RasterListCount();
    Raster* texture = RasterCreate(0, 16, 0, kRasterTypeTexture | kRasterFormat565);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(D3D9RasterGetExtension(texture)->object, nullptr);
    EXPECT_EQ(texture->flags, kRasterFlagNoPixels);
    EXPECT_EQ(texture->depth, 16);
    Raster* camera = RasterCreate(0, 0, 0, kRasterTypeCamera);
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(D3D9RasterListCount(), listed + 1);
    RasterDestroy(camera);
    EXPECT_EQ(D3D9RasterListCount(), listed);
    RasterDestroy(texture);
}

TEST_F(NativeRaster, LockGeometryOfEveryFormatAndLevel)
{
    StartOn(D3DFMT_X8R8G8B8);
    const uint32_t formats[] = {
        kRasterFormat1555, kRasterFormat565, kRasterFormat4444, kRasterFormatLum8,
        kRasterFormat8888, kRasterFormat888, kRasterFormat555,  kRasterFormatPal8 | kRasterFormat888};
    for (uint32_t format : formats) {
        SCOPED_TRACE(::testing::Message() << std::hex << "format " << format);
        Raster* raster = RasterCreate(64, 16, 0, kRasterTypeTexture | kRasterFormatMipmap | format);
        ASSERT_NE(raster, nullptr);
        const int32_t bytes = raster->depth / 8;
        EXPECT_EQ(RasterGetNumLevels(raster), 7);
        for (uint8_t level = 0; level < 7; ++level) {
            ASSERT_NE(RasterLock(raster, level, kRasterLockWrite), nullptr) << int(level);
            const int32_t width = 64 >> level;
            const int32_t height = 16 >> level ? 16 >> level : 1;
            EXPECT_EQ(raster->width, width);
            EXPECT_EQ(raster->height, height);
            EXPECT_GE(raster->stride, width * bytes);
            // A second lock without an unlock is refused.
            PendingError();
            EXPECT_EQ(RasterLock(raster, level, kRasterLockRead), nullptr);
            EXPECT_EQ(PendingError(), kErrorRasterLock);
            ASSERT_NE(RasterUnlock(raster), nullptr);
            EXPECT_EQ(raster->width, 64);
            EXPECT_EQ(raster->height, 16);
            EXPECT_EQ(raster->pixels, nullptr);
        }
        EXPECT_EQ(RasterUnlock(raster), nullptr);
        EXPECT_EQ(PendingError(), kErrorRasterNotLocked);
        RasterDestroy(raster);
    }
}

TEST_F(NativeRaster, PalettesReachTheDeviceAndNumbersAreReused)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* raster = RasterCreate(8, 8, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->depth, 8);
    auto* block = static_cast<D3D9PaletteBlock*>(D3D9RasterGetExtension(raster)->palette);
    ASSERT_NE(block, nullptr);
    const uint32_t number = block->number;
    uint8_t* palette = RasterLockPalette(raster, kRasterLockWrite);
    ASSERT_NE(palette, nullptr);
    palette[4 * 7 + 0] = 11;
    palette[4 * 7 + 1] = 22;
    palette[4 * 7 + 2] = 33;
    palette[4 * 7 + 3] = 44;
    RasterUnlockPalette(raster);
    EXPECT_EQ(raster->palette, nullptr);
    PALETTEENTRY sent[256] = {};
    ASSERT_EQ(Device()->GetPaletteEntries(number, sent), D3D_OK);
    EXPECT_EQ(sent[7].peRed, 11);
    EXPECT_EQ(sent[7].peFlags, 44);

    // A palettised 16-bit texture is refused; its palette number goes back.
    PendingError();
    EXPECT_EQ(RasterCreate(8, 8, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat565), nullptr);
    EXPECT_NE(PendingError(), 0u);
    RasterDestroy(raster);
    Raster* again = RasterCreate(8, 8, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat8888);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(static_cast<D3D9PaletteBlock*>(D3D9RasterGetExtension(again)->palette)->number, number);
    RasterDestroy(again);
    // Palettes of rasters without one cannot be locked.
    Raster* plain = RasterCreate(8, 8, 0, kRasterTypeTexture | kRasterFormat565);
    EXPECT_EQ(RasterLockPalette(plain, kRasterLockRead), nullptr);
    RasterDestroy(plain);
}

// Image -> raster -> image for every engine format, two colours each.
TEST_F(NativeRaster, ConversionsThroughEveryFormat)
{
    StartOn(D3DFMT_X8R8G8B8);
    struct Case
    {
        uint32_t format;
        Rgba first, second;
    };
    const Case cases[] = {
        {kRasterFormat1555, {200, 96, 48, 255}, {8, 16, 24, 255}},
        {kRasterFormat565, {200, 100, 48, 255}, {8, 20, 24, 255}},
        {kRasterFormat4444, {192, 96, 48, 144}, {0, 16, 16, 255}},
        {kRasterFormatLum8, {72, 72, 72, 255}, {18, 18, 18, 255}},
        {kRasterFormat8888, {200, 100, 50, 150}, {10, 20, 30, 255}},
        {kRasterFormat888, {200, 100, 50, 255}, {10, 20, 30, 255}},
        {kRasterFormat555, {200, 96, 48, 255}, {8, 16, 24, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "format " << c.format);
        Raster* raster = RasterCreate(2, 1, 0, kRasterTypeTexture | c.format);
        ASSERT_NE(raster, nullptr);
        Image* in = Row({{200, 100, 50, 150}, {10, 20, 30, 255}});
        ASSERT_NE(RasterSetFromImage(raster, in), nullptr);
        Image* out = ImageCreate(2, 1, 32);
        ASSERT_TRUE(ImageAllocatePixels(out));
        ASSERT_NE(ImageSetFromRaster(out, raster), nullptr);
        EXPECT_EQ(Pixel(out, 0), c.first);
        EXPECT_EQ(Pixel(out, 1), c.second);
        ImageDestroy(in);
        ImageDestroy(out);
        RasterDestroy(raster);
    }
}

TEST_F(NativeRaster, PalettisedConversionsKeepIndicesAndColours)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* raster = RasterCreate(4, 2, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat8888);
    ASSERT_NE(raster, nullptr);
    Image* in = ImageCreate(4, 2, 8);
    ASSERT_TRUE(ImageAllocatePixels(in));
    std::memset(in->palette, 0, 1024);
    for (int i = 0; i < 8; ++i) {
        in->pixels[(i / 4) * in->stride + i % 4] = uint8_t(i * 3);
        const Rgba colour{uint8_t(i * 30), uint8_t(255 - i), uint8_t(i), uint8_t(100 + i)};
        std::memcpy(in->palette + i * 3 * 4, colour.data(), 4);
    }
    ASSERT_NE(RasterSetFromImage(raster, in), nullptr);
    Image* indices = ImageCreate(4, 2, 8);
    ASSERT_TRUE(ImageAllocatePixels(indices));
    ASSERT_NE(ImageSetFromRaster(indices, raster), nullptr);
    Image* colours = ImageCreate(4, 2, 32);
    ASSERT_TRUE(ImageAllocatePixels(colours));
    ASSERT_NE(ImageSetFromRaster(colours, raster), nullptr);
    for (int i = 0; i < 8; ++i) {
        const int32_t x = i % 4, y = i / 4;
        EXPECT_EQ(indices->pixels[y * indices->stride + x], i * 3);
        const uint8_t* p = colours->pixels + y * colours->stride + x * 4;
        EXPECT_EQ((Rgba{p[0], p[1], p[2], p[3]}),
                  (Rgba{uint8_t(i * 30), uint8_t(255 - i), uint8_t(i), uint8_t(100 + i)}));
    }
    // A 32-bit image is quantised into the palette.
    Image* two = Row({{255, 0, 0, 255}, {0, 0, 255, 255}, {255, 0, 0, 255}, {0, 0, 255, 255}});
    Raster* small = RasterCreate(4, 1, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_NE(RasterSetFromImage(small, two), nullptr);
    Image* back = ImageCreate(4, 1, 32);
    ASSERT_TRUE(ImageAllocatePixels(back));
    ASSERT_NE(ImageSetFromRaster(back, small), nullptr);
    EXPECT_EQ(Pixel(back, 0), Pixel(back, 2));
    EXPECT_NE(Pixel(back, 0), Pixel(back, 1));
    for (Image* image : {in, indices, colours, two, back}) {
        ImageDestroy(image);
    }
    RasterDestroy(small);
    RasterDestroy(raster);
}

TEST_F(NativeRaster, CompressedRastersRefuseConversion)
{
    StartOn(D3DFMT_X8R8G8B8);
    for (uint32_t format : {kFourCCDXT1, kFourCCDXT3, kFourCCDXT5}) {
        Raster* raster = D3D9RasterCreateFromFormat(8, 8, format, kRasterTypeTexture);
        ASSERT_NE(raster, nullptr);
        EXPECT_EQ(raster->depth, 16);
        EXPECT_EQ(D3D9RasterHasAlpha(raster), format == kFourCCDXT1 ? 0 : 1);
        EXPECT_EQ(raster->format & 0x0F, format == kFourCCDXT1 ? 0x02 : 0x03);
        EXPECT_NE(D3D9RasterHasNativeFormat(raster), 0);
        Image* image = ImageCreate(8, 8, 32);
        ASSERT_TRUE(ImageAllocatePixels(image));
        EXPECT_EQ(ImageSetFromRaster(image, raster), nullptr);
        EXPECT_EQ(RasterSetFromImage(raster, image), nullptr);
        ImageDestroy(image);
        RasterDestroy(raster);
    }
    // A FOURCC that lies between "DXT1" and "DXT5" numerically is no DXT format.
    EXPECT_EQ(D3D9RasterCreateFromFormat(8, 8, 0x32595559u, kRasterTypeTexture), nullptr);
}

TEST_F(NativeRaster, CameraTexturesLockThroughSystemMemory)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* target = RasterCreate(16, 8, 0, kRasterTypeCameraTexture);
    ASSERT_NE(target, nullptr);
    ASSERT_NE(D3D9RasterGetExtension(target)->object, nullptr);
    uint8_t* pixels = RasterLock(target, 0, kRasterLockWrite);
    ASSERT_NE(pixels, nullptr);
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const uint32_t value = 0xFF000000u | uint32_t(x * 16) << 16 | uint32_t(y * 32);
            std::memcpy(pixels + y * target->stride + x * 4, &value, 4);
        }
    }
    ASSERT_NE(RasterUnlock(target), nullptr);
    // A sub-raster reads its rectangle of the render target back.
    Raster* sub = RasterCreate(0, 0, 0, kRasterTypeCameraTexture | kRasterFlagNoPixels);
    ASSERT_NE(sub, nullptr);
    const RasterRect rect = {4, 2, 8, 4};
    ASSERT_NE(RasterSubRaster(sub, target, &rect), nullptr);
    pixels = RasterLock(sub, 0, kRasterLockRead);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(sub->width, 8);
    uint32_t value = 0;
    std::memcpy(&value, pixels + 1 * sub->stride + 2 * 4, 4);
    EXPECT_EQ(value, 0xFF000000u | uint32_t(6 * 16) << 16 | uint32_t(3 * 32));
    RasterUnlock(sub);
    RasterDestroy(sub);
    RasterDestroy(target);
}

TEST_F(NativeRaster, DefaultPoolRastersSurviveADeviceReset)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* target = RasterCreate(16, 16, 0, kRasterTypeCameraTexture);
    Raster* depth = RasterCreate(32, 32, 0, kRasterTypeZBuffer);
    Raster* paletted = RasterCreate(4, 4, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    ASSERT_TRUE(target && depth && paletted);
    uint8_t* palette = RasterLockPalette(paletted, kRasterLockWrite);
    palette[4 * 3] = 77;
    RasterUnlockPalette(paletted);
    const uint32_t number = static_cast<D3D9PaletteBlock*>(D3D9RasterGetExtension(paletted)->palette)->number;

    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(D3D9RestoreLostDevice());
    EXPECT_NE(D3D9RasterGetExtension(target)->object, nullptr);
    EXPECT_NE(D3D9RasterGetExtension(depth)->object, nullptr);
    PALETTEENTRY sent[256] = {};
    ASSERT_EQ(Device()->GetPaletteEntries(number, sent), D3D_OK);
    EXPECT_EQ(sent[3].peRed, 77);
    ASSERT_NE(RasterLock(target, 0, kRasterLockRead), nullptr);
    RasterUnlock(target);
    RasterDestroy(paletted);
    RasterDestroy(depth);
    RasterDestroy(target);
}

TEST_F(NativeRaster, ConvertViaImageKeepsThePixels)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* raster = RasterCreate(2, 1, 0, kRasterTypeTexture | kRasterFormat4444);
    ASSERT_NE(raster, nullptr);
    Image* in = Row({{0xF0, 0x80, 0x10, 0xA0}, {0x20, 0x40, 0x60, 0xFF}});
    ASSERT_NE(RasterSetFromImage(raster, in), nullptr);
    ASSERT_TRUE(D3D9RasterConvertViaImage(raster));
    EXPECT_EQ(raster->format & 0x0F, 0x05) << "alpha at a 32-bit mode: A8R8G8B8";
    Image* out = ImageCreate(2, 1, 32);
    ASSERT_TRUE(ImageAllocatePixels(out));
    ASSERT_NE(ImageSetFromRaster(out, raster), nullptr);
    EXPECT_EQ(Pixel(out, 0), (Rgba{0xF0, 0x80, 0x10, 0xA0}));
    EXPECT_EQ(Pixel(out, 1), (Rgba{0x20, 0x40, 0x60, 0xFF}));
    ImageDestroy(in);
    ImageDestroy(out);
    RasterDestroy(raster);
}

TEST_F(NativeRaster, TexturesLeftInTheDictionaryAreReleasedAtShutdown)
{
    StartOn(D3DFMT_X8R8G8B8);
    Raster* paletted = RasterCreate(4, 4, 0, kRasterTypeTexture | kRasterFormatPal8 | kRasterFormat888);
    Raster* target = RasterCreate(8, 8, 0, kRasterTypeCameraTexture);
    ASSERT_TRUE(paletted && target);
    TexDictionaryAddTexture(TexDictionaryGetCurrent(), TextureCreate(paletted));
    TexDictionaryAddTexture(TexDictionaryGetCurrent(), TextureCreate(target));
    Shutdown(); // the fixture checks that no device object outlives the engine
}

} // namespace
