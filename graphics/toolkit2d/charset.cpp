#include "graphics/toolkit2d/charset.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/instance.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/toolkit2d/charsetglyphs.h"
#include "graphics/toolkit2d/renderstatesave.h"

namespace {

constexpr int32_t kFirst = 32;
constexpr int32_t kCount = 91;
constexpr int32_t kGlyphWidth = 8;
constexpr int32_t kGlyphHeight = 14;
constexpr int32_t kCellWidth = kGlyphWidth + 1;
constexpr int32_t kCellHeight = kGlyphHeight + 1;

/// The smallest power of two from 32 whose grid of cells holds every glyph.
constexpr int32_t RasterSide()
{
    int32_t side = 32;
    while ((kCount + side / kCellWidth - 1) / (side / kCellWidth) * kCellHeight > side) {
        side *= 2;
    }
    return side;
}
constexpr int32_t kSide = RasterSide();
constexpr int32_t kPerRow = kSide / kCellWidth;
static_assert(kSide == 128 && kPerRow == 14, "91 cells of 9 x 15 fit a 128 x 128 raster");

/// The glyph rows as bytes, least significant bit the leftmost pixel.
constexpr std::array<uint8_t, kCount* kGlyphHeight> kGlyphBytes = [] {
    std::array<uint8_t, kCount * kGlyphHeight> bytes{};
    for (size_t row = 0; row < bytes.size(); ++row) {
        uint8_t bits = 0;
        for (int32_t x = 0; x < kGlyphWidth; ++x) {
            if (kCharsetGlyphRows[row][x] == '#') {
                bits |= static_cast<uint8_t>(1u << x);
            }
        }
        bytes[row] = bits;
    }
    return bytes;
}();

constexpr int32_t kSavedStates[] = {6, 8, 10, 11, 1, 9, 20};

/// The shared print buffer (one for the process, like the shell's text).
struct PrintBuffer
{
    Im2DVertex* vertices;
    uint16_t* indices;
    int32_t count;
    Charset* charset; ///< whose characters are queued; null when none
};
PrintBuffer gBuffer = {};
/// Characters equal to it produce no quad; a space until a print says otherwise.
char gSkip = ' ';

void Raise(uint32_t code)
{
    ErrorRaise(kPluginIdCharset, code);
}

/// Pixel size of the current camera's frame buffer; false without one.
bool FrameBufferSize(int32_t* width, int32_t* height, float* recipZ)
{
    const Camera* camera = EngineGetInstance()->currentCamera;
    if (camera == nullptr || camera->frameBuffer == nullptr) {
        return false;
    }
    *width = camera->frameBuffer->width;
    *height = camera->frameBuffer->height;
    *recipZ = 1.0f / camera->nearPlane;
    return true;
}

struct Layout
{
    Im2DVertex* vertices;
    uint16_t* indices;
    int32_t slot; ///< next character slot
};

/// Lays out up to `count` characters of text from (x, y); the quads go to
/// the layout's slots. Returns the characters consumed.
void LayOut(Layout* layout, const char* text, int32_t count, int32_t x, int32_t y)
{
    int32_t width = 0;
    int32_t height = 0;
    float recipZ = 0.0f;
    const bool visible = FrameBufferSize(&width, &height, &recipZ);
    const float z = EngineGetInstance()->device.zBufferNear;
    for (int32_t i = 0; i < count; ++i, x += kGlyphWidth) {
        const char c = text[i];
        // The character as a signed byte: codes outside 32 to 122 have no cell.
        const int32_t glyph = static_cast<int32_t>(static_cast<signed char>(c)) - kFirst;
        if (c == gSkip || glyph < 0 || glyph >= kCount || !visible) {
            continue;
        }
        if (y >= height || y + kGlyphHeight < 1 || x >= width || x + kGlyphWidth < 1) {
            continue;
        }
        int32_t x0 = x;
        int32_t y0 = y;
        int32_t x1 = x + kGlyphWidth;
        int32_t y1 = y + kGlyphHeight;
        int32_t u0 = (glyph % kPerRow) * kCellWidth;
        int32_t v0 = (glyph / kPerRow) * kCellHeight;
        int32_t u1 = u0 + kGlyphWidth;
        int32_t v1 = v0 + kGlyphHeight;
        // Clip to the frame buffer, the texture rectangle by the same amounts.
        if (x0 < 0) {
            u0 -= x0;
            x0 = 0;
        }
        if (y0 < 0) {
            v0 -= y0;
            y0 = 0;
        }
        if (x1 > width - 1) {
            u1 -= x1 - (width - 1);
            x1 = width - 1;
        }
        if (y1 > height - 1) {
            v1 -= y1 - (height - 1);
            y1 = height - 1;
        }
        const float half = 0.5f / kSide;
        const float fu0 = static_cast<float>(u0) / kSide + half;
        const float fv0 = static_cast<float>(v0) / kSide + half;
        const float fu1 = static_cast<float>(u1) / kSide + half;
        const float fv1 = static_cast<float>(v1) / kSide + half;
        Im2DVertex* v = layout->vertices + 4 * layout->slot;
        const auto X = [](int32_t p) { return static_cast<float>(p); };
        v[0] = {X(x0), X(y0), z, recipZ, 0xFFFFFFFFu, fu0, fv0};
        v[1] = {X(x0), X(y1), z, recipZ, 0xFFFFFFFFu, fu0, fv1};
        v[2] = {X(x1), X(y1), z, recipZ, 0xFFFFFFFFu, fu1, fv1};
        v[3] = {X(x1), X(y0), z, recipZ, 0xFFFFFFFFu, fu1, fv0};
        uint16_t* index = layout->indices + 6 * layout->slot;
        const uint16_t base = static_cast<uint16_t>(4 * layout->slot);
        const uint16_t pattern[6] = {0, 1, 2, 0, 2, 3};
        for (int32_t k = 0; k < 6; ++k) {
            index[k] = static_cast<uint16_t>(base + pattern[k]);
        }
        ++layout->slot;
    }
}

/// Draws `count` laid-out characters with the character set's states.
void Draw(Charset* charset, Im2DVertex* vertices, uint16_t* indices, int32_t count)
{
    if (count == 0) {
        return;
    }
    SavedRenderStates saved;
    RenderStatesSave(&saved, kSavedStates, static_cast<int32_t>(std::size(kSavedStates)));
    RenderStateSetValue(6, 0);
    RenderStateSetValue(8, 0);
    RenderStateSetValue(9, 1);
    RenderStateSetRaster(charset);
    RenderStateSetValue(10, 5);
    RenderStateSetValue(11, 6);
    RenderStateSetValue(20, 1);
    EngineGetInstance()->device.im2DRenderIndexedPrimitive(kIm2DTriList, vertices, 4 * count, indices,
                                                           6 * count);
    RenderStatesRestore(&saved);
}

} // namespace

Charset* CharsetCreate(const uint8_t* foreground, const uint8_t* background)
{
    if (foreground == nullptr || background == nullptr) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    Image* image = ImageCreate(kSide, kSide, 8);
    if (image == nullptr || !ImageAllocatePixels(image)) {
        if (image != nullptr) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    // Everything that is not a glyph pixel, spacing rows and unused cells
    // included, is background.
    std::memset(image->pixels, 0, static_cast<size_t>(image->stride) * kSide);
    std::memset(image->palette, 0, 4 * 256);
    std::memcpy(image->palette, background, 4);
    std::memcpy(image->palette + 4, foreground, 4);
    for (int32_t glyph = 0; glyph < kCount; ++glyph) {
        const int32_t cellX = (glyph % kPerRow) * kCellWidth;
        const int32_t cellY = (glyph / kPerRow) * kCellHeight;
        for (int32_t row = 0; row < kGlyphHeight; ++row) {
            uint8_t* pixel = image->pixels + static_cast<size_t>(cellY + row) * image->stride + cellX;
            for (uint8_t bits = kGlyphBytes[glyph * kGlyphHeight + row]; bits != 0; bits >>= 1) {
                *pixel++ = bits & 1;
            }
        }
    }
    int32_t width, height, depth;
    uint32_t format;
    Raster* raster = nullptr;
    if (ImageFindRasterFormat(image, kRasterTypeTexture, &width, &height, &depth, &format)) {
        raster = RasterCreate(width, height, depth, format);
    }
    if (raster != nullptr && !RasterSetFromImage(raster, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    return raster;
}

int32_t CharsetDestroy(Charset* charset)
{
    if (charset == nullptr) {
        Raise(kErrorNullArgument);
        return 0;
    }
    if (gBuffer.charset == charset) {
        gBuffer.count = 0;
        gBuffer.charset = nullptr;
    }
    RasterDestroy(charset);
    return 1;
}

Charset* CharsetGetDesc(Charset* charset, CharsetDesc* desc)
{
    if (charset == nullptr || desc == nullptr) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    *desc = {kGlyphWidth,
             kGlyphHeight,
             kCellWidth,
             kCellHeight,
             kCount,
             kPerRow,
             (kCount + kPerRow - 1) / kPerRow};
    return charset;
}

Charset* CharsetPrint(Charset* charset, const char* text, int32_t x, int32_t y)
{
    gSkip = '\0';
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    if (length == 0) {
        return charset;
    }
    auto* vertices = static_cast<Im2DVertex*>(MemoryAllocate(
        sizeof(Im2DVertex) * 4 * static_cast<size_t>(length), kMemoryHintScratch | kPluginIdCharset));
    auto* indices = static_cast<uint16_t*>(MemoryAllocate(sizeof(uint16_t) * 6 * static_cast<size_t>(length),
                                                          kMemoryHintScratch | kPluginIdCharset));
    if (vertices == nullptr || indices == nullptr) {
        MemoryFree(vertices);
        MemoryFree(indices);
        Raise(kErrorOutOfMemory);
        return nullptr;
    }
    // A long text is drawn in pieces that 16-bit indices can address.
    for (int32_t start = 0; start < length; start += kCharsetBufferCharacters) {
        const int32_t piece = std::min(kCharsetBufferCharacters, length - start);
        Layout layout = {vertices, indices, 0};
        LayOut(&layout, text + start, piece, x + kGlyphWidth * start, y);
        Draw(charset, vertices, indices, layout.slot);
    }
    MemoryFree(vertices);
    MemoryFree(indices);
    return charset;
}

int32_t CharsetBufferOpen()
{
    if (gBuffer.vertices != nullptr) {
        return 1;
    }
    gBuffer.vertices = static_cast<Im2DVertex*>(MemoryAllocate(
        sizeof(Im2DVertex) * 4 * kCharsetBufferCharacters, kMemoryHintEngine | kPluginIdCharset));
    if (gBuffer.vertices == nullptr) {
        return 0;
    }
    gBuffer.indices = static_cast<uint16_t*>(MemoryAllocate(sizeof(uint16_t) * 6 * kCharsetBufferCharacters,
                                                            kMemoryHintEngine | kPluginIdCharset));
    if (gBuffer.indices == nullptr) {
        MemoryFree(gBuffer.vertices);
        gBuffer.vertices = nullptr;
        return 0;
    }
    gBuffer.count = 0;
    gBuffer.charset = nullptr;
    // The shell opens the buffer with the engine: spaces are skipped again.
    gSkip = ' ';
    return 1;
}

void CharsetBufferClose()
{
    MemoryFree(gBuffer.vertices);
    MemoryFree(gBuffer.indices);
    gBuffer = {};
}

Charset* CharsetPrintBuffered(Charset* charset, const char* text, int32_t x, int32_t y, int32_t keepSkip)
{
    const int32_t length = text != nullptr ? static_cast<int32_t>(std::strlen(text)) : 0;
    if (length == 0 || gBuffer.vertices == nullptr) {
        return nullptr;
    }
    if (!keepSkip) {
        gSkip = '\0';
    }
    if (gBuffer.charset != nullptr && gBuffer.charset != charset) {
        CharsetBufferFlush();
    }
    gBuffer.charset = charset;
    int32_t remaining = length;
    while (remaining >= kCharsetBufferCharacters - gBuffer.count) {
        const int32_t piece = kCharsetBufferCharacters - gBuffer.count;
        Layout layout = {gBuffer.vertices, gBuffer.indices, gBuffer.count};
        LayOut(&layout, text, piece, x, y);
        gBuffer.count = layout.slot;
        CharsetBufferFlush();
        gBuffer.charset = charset;
        text += piece;
        remaining -= piece;
        x += kGlyphWidth * piece;
    }
    Layout layout = {gBuffer.vertices, gBuffer.indices, gBuffer.count};
    LayOut(&layout, text, remaining, x, y);
    gBuffer.count = layout.slot;
    if (gBuffer.count == 0) {
        gBuffer.charset = nullptr;
    }
    return charset;
}

int32_t CharsetBufferFlush()
{
    if (gBuffer.charset != nullptr && gBuffer.count > 0) {
        Draw(gBuffer.charset, gBuffer.vertices, gBuffer.indices, gBuffer.count);
    }
    gBuffer.count = 0;
    gBuffer.charset = nullptr;
    return 1;
}

uint8_t CharsetGlyphRow(char c, int32_t row)
{
    const int32_t glyph = static_cast<int32_t>(static_cast<signed char>(c)) - kFirst;
    if (glyph < 0 || glyph >= kCount || row < 0 || row >= kGlyphHeight) {
        return 0;
    }
    return kGlyphBytes[static_cast<size_t>(glyph * kGlyphHeight + row)];
}
