#include <cstring>

#include "graphics/core/image.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/charsetglyphs.h"

namespace {

class CharsetRasterTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
    }
};

// Glyph pixels in the foreground, everything else (spacing rows and columns,
// the unused cells, the rows below the grid) in the background.
TEST_F(CharsetRasterTest, GlyphsSitInTheirCellsOnABackground)
{
    const uint8_t foreground[4] = {255, 255, 255, 255};
    const uint8_t background[4] = {0, 0, 64, 255};
    Charset* charset = CharsetCreate(foreground, background);
    ASSERT_NE(charset, nullptr);
    ASSERT_EQ(charset->width, 128);
    ASSERT_EQ(charset->height, 128);
    Image* image = ImageCreate(128, 128, 32);
    ImageAllocatePixels(image);
    ASSERT_NE(ImageSetFromRaster(image, charset), nullptr);
    int wrong = 0;
    for (int32_t y = 0; y < 128; ++y) {
        for (int32_t x = 0; x < 128; ++x) {
            const int32_t glyph = (y / 15) * 14 + x / 9;
            const int32_t gx = x % 9;
            const int32_t gy = y % 15;
            const bool inGlyph = x < 126 && glyph < 91 && gx < 8 && gy < 14;
            const bool set = inGlyph && kCharsetGlyphRows[glyph * 14 + gy][gx] == '#';
            const uint8_t* p = image->pixels + y * image->stride + x * 4;
            wrong += std::memcmp(p, set ? foreground : background, 4) != 0;
        }
    }
    EXPECT_EQ(wrong, 0);
    // 'A' (glyph 33, cell 5 of row 2) has its top bar at the cell's row 1.
    EXPECT_EQ(image->pixels[31 * image->stride + 47 * 4], 255);
    ImageDestroy(image);
    EXPECT_EQ(CharsetDestroy(charset), 1);
}

} // namespace
