// Size and format fitting against adapters with different caps and modes.

#include <array>
#include <cstring>

#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/formatfit.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

class NativeFormatFit : public EngineFixture
{
  protected:
    void StartWith(D3DFORMAT desktop, DWORD textureCaps, bool palettes = true)
    {
        D3D9AdapterConfig adapter = TestAdapter("fit", desktop);
        adapter.caps.TextureCaps |= textureCaps;
        adapter.supportsPalettes = palettes;
        D3D9SetAdapters(&adapter, 1);
        ASSERT_TRUE(Start());
    }

    static Image* Filled(uint8_t alpha, int32_t where)
    {
        Image* image = ImageCreate(4, 4, 32);
        EXPECT_TRUE(image && ImageAllocatePixels(image));
        for (int32_t i = 0; i < 16; ++i) {
            const uint8_t colour[4] = {10, 20, 30, uint8_t(i == where ? alpha : 255)};
            std::memcpy(image->pixels + (i / 4) * image->stride + (i % 4) * 4, colour, 4);
        }
        return image;
    }
};

TEST_F(NativeFormatFit, SizesFollowThePowerOfTwoCaps)
{
    struct Case
    {
        DWORD caps;
        uint32_t word;
        int32_t width, height;
    };
    const Case cases[] = {
        {D3DPTEXTURECAPS_POW2, kRasterTypeNormal, 256, 128},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY, kRasterTypeNormal, 128, 128},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, kRasterTypeNormal, 300, 200},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, kRasterTypeTexture, 300, 200},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, kRasterTypeTexture | kRasterFormatMipmap,
         256, 128},
        {D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL, kRasterTypeNormal | kRasterFormatMipmap,
         300, 200},
        {0, kRasterTypeTexture | kRasterFormatMipmap, 300, 200},
    };
    for (const Case& c : cases) {
        Shutdown();
        StartWith(D3DFMT_X8R8G8B8, c.caps);
        int32_t width = 300;
        int32_t height = 200;
        D3D9FitRasterSize(&width, &height, c.word);
        EXPECT_EQ(width, c.width) << std::hex << c.caps << " " << c.word;
        EXPECT_EQ(height, c.height) << std::hex << c.caps << " " << c.word;
    }
    int32_t width = 5000;
    int32_t height = 3;
    D3D9FitRasterSize(&width, &height, kRasterTypeTexture);
    EXPECT_EQ(width, 2048);
}

TEST_F(NativeFormatFit, ImageFormatsByAlphaAndModeDepth)
{
    struct Case
    {
        D3DFORMAT desktop;
        uint8_t alpha;
        uint32_t format;
    };
    const Case cases[] = {
        {D3DFMT_X8R8G8B8, 10, kRasterFormat8888}, {D3DFMT_X8R8G8B8, 128, kRasterFormat8888},
        {D3DFMT_X8R8G8B8, 255, kRasterFormat888}, {D3DFMT_R5G6B5, 128, kRasterFormat4444},
        {D3DFMT_R5G6B5, 10, kRasterFormat1555},   {D3DFMT_R5G6B5, 255, kRasterFormat565},
    };
    for (const Case& c : cases) {
        Shutdown();
        StartWith(c.desktop, 0);
        Image* image = Filled(c.alpha, 5);
        EXPECT_EQ(D3D9ImageGetRasterFormat(image), c.format) << c.desktop << " alpha " << int(c.alpha);
        ImageDestroy(image);
    }
}

TEST_F(NativeFormatFit, FormatsFallBackToWhatTheDeviceTakes)
{
    StartWith(D3DFMT_X8R8G8B8, 0, false);
    struct Case
    {
        uint32_t type, word, fitted;
    };
    const Case cases[] = {
        // Without palette support the palette bit is dropped.
        {kRasterTypeTexture, kRasterFormatPal8 | kRasterFormat888, kRasterFormat888},
        {kRasterTypeTexture, kRasterFormatPal4, kRasterFormat8888},
        {kRasterTypeTexture, kRasterFormat4444 | kRasterFormatMipmap,
         kRasterFormat4444 | kRasterFormatMipmap},
        {kRasterTypeZBuffer, 0, kRasterFormat32},
        {kRasterTypeCameraTexture, kRasterFormat565, kRasterFormat888},
        {kRasterTypeCameraTexture, kRasterFormat4444, kRasterFormat8888},
        {kRasterTypeCameraTexture, 0, kRasterFormat888},
    };
    for (const Case& c : cases) {
        uint32_t fitted = 0;
        ASSERT_TRUE(D3D9FitRasterFormat(c.type, c.type | c.word, &fitted)) << std::hex << c.word;
        EXPECT_EQ(fitted & 0xFF00, c.fitted) << std::hex << c.type << " " << c.word;
    }
    uint32_t fitted = 0;
    EXPECT_FALSE(D3D9FitRasterFormat(kRasterTypeZBuffer, kRasterFormat565, &fitted));
    EXPECT_FALSE(D3D9FitRasterFormat(kRasterTypeCamera, kRasterFormat565, &fitted));
    EXPECT_FALSE(D3D9FitRasterFormat(3, 0, &fitted));
}

} // namespace
