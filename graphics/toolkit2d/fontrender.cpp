// Fonts drawn: bitmap glyphs as batches of textured quads, outline glyphs as
// stroked paths, and word-wrapped paragraphs.

#include <cstring>
#include <vector>

#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr int32_t kBatchQuads = kTwoDBatchVertices / 4;

/// Six indices per quad k: 4k, 4k+2, 4k+3, 4k, 4k+3, 4k+1.
const uint16_t* QuadIndices()
{
    static const auto table = [] {
        std::vector<uint16_t> indices;
        for (uint16_t k = 0; k < kBatchQuads; ++k) {
            const uint16_t base = uint16_t(4 * k);
            indices.insert(indices.end(), {base, uint16_t(base + 2), uint16_t(base + 3), base,
                                           uint16_t(base + 3), uint16_t(base + 1)});
        }
        return indices;
    }();
    return table.data();
}

/// Walks the codes of a string: 8-bit, or 16-bit little-endian for a wide font.
struct Codes
{
    const uint8_t* bytes;
    bool wide;

    uint32_t At(size_t i) const
    {
        return wide ? uint32_t(bytes[2 * i]) | uint32_t(bytes[2 * i + 1]) << 8 : bytes[i];
    }
    size_t Count() const
    {
        size_t n = 0;
        while (At(n) != 0) {
            ++n;
        }
        return n;
    }
};

void* StateValue(uint32_t value)
{
    return reinterpret_cast<void*>(uintptr_t(value));
}

struct QuadBatch
{
    const Matrix* matrix;
    Im3DVertex* vertices;
    int32_t quads;
    bool ok;

    void Flush()
    {
        if (quads > 0) {
            ok = Im3DTransform(vertices, uint32_t(4 * quads), matrix, kIm3DTextured | kIm3DNoClip) &&
                 Im3DRenderIndexedPrimitive(kIm3DTriList, QuadIndices(), uint32_t(6 * quads)) && ok;
            Im3DEnd();
        }
        quads = 0;
    }
};

/// Pushes the CTM placed for a string at `position` drawn `size` high.
bool PlaceString(const Font* font, const float* position, float size)
{
    if (!TwoDCTMPush()) {
        return false;
    }
    TwoDCTMTranslate(position[0], position[1]);
    TwoDCTMScale(size, size);
    TwoDCTMTranslate(0.0f, -font->baseline);
    return true;
}

} // namespace

Font* FontRenderStringBitmap(Font* font, const char* string, float size, float* position, Brush* brush)
{
    Im3DVertex* vertices = BrushGetVertexScratch();
    if (!vertices || !PlaceString(font, position, size)) {
        return nullptr;
    }
    const Matrix* device = TwoDDeviceUpdateMatrix();
    if (!device) {
        TwoDCTMPop();
        return nullptr;
    }
    const Matrix matrix = *device;
    const float total = FontGetStringWidth(font, string, 1.0f);
    const float toT = total > 0.0f ? 1.0f / total : 0.0f;
    const bool gradient = brush && (brush->flags & kBrushGradient);
    const uint32_t flat = brush ? BrushFlatColour(brush) : 0xFFFFFFFF;
    const float z = TwoDDeviceGetLayerDepth();
    const Codes codes = {reinterpret_cast<const uint8_t*>(string), (font->flags & kFontWide) != 0};
    QuadBatch batch = {&matrix, vertices, 0, true};
    const Texture* bound = nullptr;
    float pen = 0.0f;
    for (size_t i = 0; codes.At(i) != 0; ++i) {
        const FontGlyph* glyph = FontGetGlyph(font, codes.At(i));
        if (!glyph) {
            continue;
        }
        if (glyph->texture != bound || batch.quads >= kBatchQuads) {
            batch.Flush();
            if (glyph->texture != bound) {
                bound = glyph->texture;
                TwoDDeviceSetRenderState(kRenderStateTextureFilter,
                                         StateValue(bound ? bound->filterAddressing & 0xFF : 0));
                TwoDDeviceSetRenderState(kRenderStateTextureRaster,
                                         bound ? TextureGetRaster(bound) : nullptr);
                // The glyph pages take the place of the brush's texture.
                if (brush && brush->texture) {
                    brush->flags &= ~kBrushTextured;
                }
            }
        }
        const float right = pen + glyph->advance;
        const uint32_t bottomLeft = gradient ? BrushColourAt(brush, false, pen * toT) : flat;
        const uint32_t topLeft = gradient ? BrushColourAt(brush, true, pen * toT) : flat;
        const uint32_t bottomRight = gradient ? BrushColourAt(brush, false, right * toT) : flat;
        const uint32_t topRight = gradient ? BrushColourAt(brush, true, right * toT) : flat;
        Im3DVertex* quad = vertices + 4 * batch.quads;
        quad[0] = {pen, 0.0f, z, 0.0f, 0.0f, 0.0f, bottomLeft, glyph->u0, glyph->v1};
        quad[1] = {pen, 1.0f, z, 0.0f, 0.0f, 0.0f, topLeft, glyph->u0, glyph->v0};
        quad[2] = {right, 0.0f, z, 0.0f, 0.0f, 0.0f, bottomRight, glyph->u1, glyph->v1};
        quad[3] = {right, 1.0f, z, 0.0f, 0.0f, 0.0f, topRight, glyph->u1, glyph->v0};
        ++batch.quads;
        pen += font->spacing + glyph->advance;
    }
    batch.Flush();
    position[0] += pen * size;
    TwoDCTMPop();
    return batch.ok ? font : nullptr;
}

Font* FontRenderStringOutline(Font* font, const char* string, float size, float* position, Brush* brush)
{
    if (!brush || !PlaceString(font, position, size)) {
        return nullptr;
    }
    const Codes codes = {reinterpret_cast<const uint8_t*>(string), (font->flags & kFontWide) != 0};
    bool ok = true;
    for (size_t i = 0; codes.At(i) != 0; ++i) {
        const FontGlyph* glyph = FontGetGlyph(font, codes.At(i));
        if (!glyph || glyph->texture) {
            continue;
        }
        if (glyph->path) {
            ok = PathRender(glyph->path, brush) && ok;
        }
        TwoDCTMTranslate(font->spacing + glyph->advance, 0.0f);
    }
    TwoDCTMPop();
    return ok ? font : nullptr;
}

Font* FontRenderParagraph(Font* font, const char* string, float size, const float* rect, int32_t align,
                          Brush* brush)
{
    if (!font || !string || !(size > 0.0f)) {
        return nullptr;
    }
    const Codes codes = {reinterpret_cast<const uint8_t*>(string), (font->flags & kFontWide) != 0};
    const size_t count = codes.Count();
    const size_t unit = codes.wide ? 2 : 1;
    const float limit = rect[2] / size;
    const float factor = align == 1 ? size * 0.5f : align == 2 ? size : 0.0f;
    auto advance = [&](uint32_t code) {
        const FontGlyph* glyph = FontGetGlyph(font, code);
        return glyph ? glyph->advance + font->spacing : 0.0f;
    };
    // A line is drawn from a copy of its codes, ended like the string.
    std::vector<uint8_t> line;
    auto draw = [&](size_t from, size_t to, float width, float y) {
        line.assign(codes.bytes + from * unit, codes.bytes + to * unit);
        line.insert(line.end(), unit, 0);
        float position[2] = {(limit - width) * factor + rect[0], y};
        font->draw(font, reinterpret_cast<const char*>(line.data()), size, position, brush);
    };
    float y = rect[1] + rect[3] - size;
    size_t start = 0;
    size_t cut = 0;
    float cutWidth = 0.0f;
    float width = 0.0f;
    for (size_t i = 0; i < count;) {
        const uint32_t code = codes.At(i);
        if (code == ' ' && (i == 0 || codes.At(i - 1) != ' ')) {
            cut = i;
            cutWidth = width;
        }
        width += advance(code);
        if (code == '\n') {
            cut = i + 1;
            cutWidth = width;
        }
        if (width > limit || code == '\n') {
            // Without a break point since the line began the line stays
            // empty; the text then runs out of lines below.
            draw(start, cut, cutWidth, y);
            i = cut;
            while (i < count && codes.At(i) == ' ') {
                ++i;
            }
            start = cut = i;
            cutWidth = width = 0.0f;
            y -= size;
            if (y < rect[1]) {
                return nullptr;
            }
            continue;
        }
        ++i;
    }
    draw(start, count, width, y);
    return font;
}
