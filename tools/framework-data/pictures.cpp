#include "tools/framework-data/pictures.h"

#include <cstdlib>
#include <cstring>

#include "graphics/core/image.h"
#include "graphics/toolkit2d/charset.h"

namespace {

uint8_t* Pixel(Image* image, int32_t x, int32_t y)
{
    return image->pixels + y * image->stride + x * (image->depth / 8);
}

void SetRgb(Image* image, int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b)
{
    uint8_t* p = Pixel(image, x, y);
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = 255;
}

void Fill(Image* image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint8_t r, uint8_t g, uint8_t b)
{
    for (int32_t y = y0; y < y1 && y < image->height; ++y) {
        for (int32_t x = x0; x < x1 && x < image->width; ++x)
            SetRgb(image, x, y, r, g, b);
    }
}

/// A cross-hair ring, white on black: read with itself as mask, black is
/// transparent and the grey edge half so.
void PaintPointer(Image* image)
{
    uint8_t* palette = image->palette;
    std::memset(palette, 0, 4 * 256);
    const uint8_t white[4] = {255, 255, 255, 255};
    const uint8_t grey[4] = {128, 128, 128, 255};
    std::memcpy(palette + 4, white, 4);
    std::memcpy(palette + 8, grey, 4);
    for (int32_t y = 0; y < image->height; ++y) {
        for (int32_t x = 0; x < image->width; ++x) {
            const int32_t dx = 2 * x - 15, dy = 2 * y - 15; // twice the distance from the centre
            const int32_t d2 = dx * dx + dy * dy;
            uint8_t index = 0;
            if ((d2 >= 144 && d2 <= 196) || (std::abs(dx) <= 1 && d2 <= 100) ||
                (std::abs(dy) <= 1 && d2 <= 100))
                index = 1;
            else if (d2 > 196 && d2 <= 225)
                index = 2;
            Pixel(image, x, y)[0] = index;
        }
    }
}

void PaintTarget(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 40, 40);
}

void PaintFirstLogo(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 255, 255);
    Fill(image, 16, 16, 112, 112, 30, 70, 150);
    Fill(image, 40, 40, 88, 88, 240, 200, 40);
}

void PaintSecondLogo(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 255, 255);
    for (int32_t k = 0; k < 4; ++k)
        Fill(image, 16 + 60 * k, 12, 56 + 60 * k, 52, uint8_t(60 * k), 120, uint8_t(200 - 40 * k));
}

void PaintTitle(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 255, 255);
    Fill(image, 0, 24, image->width, 40, 30, 70, 150);
}

/// A white page: the help text is printed on it (SamplePicturePrint).
void PaintText(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 255, 255);
}

void PaintMessage(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 255, 255, 255);
    Fill(image, 96, 10, image->width - 96, 22, 200, 40, 40);
}

void PaintArrow(Image* image, bool up)
{
    Fill(image, 0, 0, image->width, image->height, 220, 220, 220);
    for (int32_t row = 0; row < 12; ++row) {
        const int32_t y = up ? 10 + row : 21 - row;
        Fill(image, 16 - row, y, 16 + row, y + 1, 40, 40, 40);
    }
}

void PaintScrollUp(Image* image)
{
    PaintArrow(image, true);
}

void PaintScrollDown(Image* image)
{
    PaintArrow(image, false);
}

void PaintScrollBar(Image* image)
{
    Fill(image, 0, 0, image->width, image->height, 235, 235, 235);
    Fill(image, 14, 0, 18, image->height, 180, 180, 180);
}

const SamplePicture kPictures[] = {
    {"pointer.bmp", 16, 16, 8, PaintPointer},          {"target.bmp", 8, 8, 32, PaintTarget},
    {"stvarnlogo.bmp", 128, 128, 32, PaintFirstLogo},  {"stolailogo.bmp", 256, 64, 32, PaintSecondLogo},
    {"sttitle.bmp", 512, 64, 32, PaintTitle},          {kSamplePictureText, 512, 1024, 32, PaintText},
    {"stmessage.bmp", 512, 32, 32, PaintMessage},      {"stscrollup.bmp", 32, 32, 32, PaintScrollUp},
    {"stscrolldown.bmp", 32, 32, 32, PaintScrollDown}, {"stscroll.bmp", 32, 256, 32, PaintScrollBar},
};

} // namespace

const SamplePicture* SamplePictures(int32_t* count)
{
    *count = int32_t(sizeof kPictures / sizeof kPictures[0]);
    return kPictures;
}

Image* SamplePictureMake(const SamplePicture& picture)
{
    Image* image = ImageCreate(picture.width, picture.height, picture.depth);
    if (!image)
        return nullptr;
    if (!ImageAllocatePixels(image)) {
        ImageDestroy(image);
        return nullptr;
    }
    picture.paint(image);
    return image;
}

void SamplePicturePrint(Image* image, const std::vector<std::string>& lines)
{
    constexpr int32_t kMargin = 16, kLineHeight = 16, kGlyphWidth = 8, kGlyphHeight = 14;
    for (size_t line = 0; line < lines.size(); ++line) {
        const int32_t top = kMargin + int32_t(line) * kLineHeight;
        for (size_t i = 0; i < lines[line].size(); ++i) {
            const int32_t left = kMargin + int32_t(i) * kGlyphWidth;
            for (int32_t row = 0; row < kGlyphHeight; ++row) {
                const uint8_t bits = CharsetGlyphRow(lines[line][i], row);
                for (int32_t x = 0; x < kGlyphWidth; ++x) {
                    if ((bits >> x & 1) && left + x < image->width && top + row < image->height)
                        SetRgb(image, left + x, top + row, 30, 30, 40);
                }
            }
        }
    }
}
