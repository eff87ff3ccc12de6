// FreeType rendering of the sample fonts into the three ".met" versions.

#include "tools/fontgen/fontfaces.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/toolkit2d/png.h"

namespace {

constexpr int32_t kPageWidth = 256;
/// Opaque magenta: no glyph pixel (white with coverage alpha) has it.
constexpr uint8_t kMarker[4] = {255, 0, 255, 255};

FT_Face Face(FontFaces* faces)
{
    return static_cast<FT_Face>(faces->face);
}

std::string Utf8(uint32_t code)
{
    std::string out;
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
    return out;
}

struct Rendered
{
    int32_t advance; ///< pixels
    int32_t left, top;
    int32_t width, rows;
    std::vector<uint8_t> coverage;
};

bool Render(FontFaces* faces, uint32_t code, Rendered* out)
{
    FT_Face face = Face(faces);
    if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
        return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    out->advance = std::max(1, int32_t((slot->advance.x + 32) >> 6));
    out->left = slot->bitmap_left;
    out->top = slot->bitmap_top;
    out->width = int32_t(slot->bitmap.width);
    out->rows = int32_t(slot->bitmap.rows);
    out->coverage.assign(size_t(out->width) * size_t(out->rows), 0);
    for (int32_t y = 0; y < out->rows; ++y) {
        std::memcpy(&out->coverage[size_t(y) * out->width], slot->bitmap.buffer + y * slot->bitmap.pitch,
                    size_t(out->width));
    }
    return true;
}

uint8_t* PixelAt(Image* image, int32_t x, int32_t y)
{
    return image->pixels + y * image->stride + x * 4;
}

bool WritePng(Image* image, const std::string& name)
{
    const bool ok = PngWrite(image, ("fonts/" + name + ".png").c_str()) != nullptr;
    ImageDestroy(image);
    return ok;
}

/// One METRICS2 page of `codes`: cells between marker pixels, bands of
/// kFontGenBand rows; the page's characters in order go to `text`.
bool WritePage(FontFaces* faces, const std::vector<uint32_t>& codes, const std::string& name,
               std::string* text)
{
    std::vector<Rendered> glyphs(codes.size());
    for (size_t i = 0; i < codes.size(); ++i) {
        if (!Render(faces, codes[i], &glyphs[i])) {
            return false;
        }
    }
    // Lay the cells out: a cell is a marker, a blank column, the advance and a blank column.
    struct Cell
    {
        int32_t x, band;
    };
    std::vector<Cell> cells;
    int32_t x = 0, band = 0;
    for (const Rendered& glyph : glyphs) {
        if (x + glyph.advance + 3 + 1 >= kPageWidth) {
            ++band;
            x = 0;
        }
        cells.push_back({x, band});
        x += glyph.advance + 3;
    }
    const int32_t bands = band + 1;
    Image* image = ImageCreate(kPageWidth, bands * kFontGenBand + 1, 32);
    if (!image || !ImageAllocatePixels(image)) {
        return false;
    }
    std::memset(image->pixels, 0, size_t(image->stride) * size_t(image->height));
    for (int32_t b = 0; b <= bands; ++b) {
        std::memcpy(PixelAt(image, 0, b * kFontGenBand), kMarker, 4);
    }
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& glyph = glyphs[i];
        const int32_t top = cells[i].band * kFontGenBand;
        const int32_t right = cells[i].x + glyph.advance + 3;
        std::memcpy(PixelAt(image, right, top), kMarker, 4);
        const bool last = i + 1 == glyphs.size() || cells[i + 1].band != cells[i].band;
        if (last && right + 1 < kPageWidth) {
            std::memcpy(PixelAt(image, right + 1, top), kMarker, 4); // two adjacent markers end the band
        }
        // The pen starts two columns into the cell; the baseline lies kFontGenAscent rows below its top.
        for (int32_t gy = 0; gy < glyph.rows; ++gy) {
            const int32_t py = top + 2 + kFontGenAscent - glyph.top + gy;
            if (py <= top || py >= top + kFontGenBand) {
                continue;
            }
            for (int32_t gx = 0; gx < glyph.width; ++gx) {
                const int32_t px = cells[i].x + 2 + glyph.left + gx;
                if (px <= cells[i].x || px >= right) {
                    continue;
                }
                const uint8_t coverage = glyph.coverage[size_t(gy) * glyph.width + gx];
                const uint8_t white[4] = {255, 255, 255, coverage};
                std::memcpy(PixelAt(image, px, py), white, 4);
            }
        }
        *text += Utf8(codes[i]);
    }
    return WritePng(image, name);
}

bool WriteText(const std::string& name, const std::string& text)
{
    FileSlot* file = FileSystemManagerFOpen(("fonts/" + name).c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written = FileSystemManagerFWrite(text.data(), 1, text.size(), file) == text.size();
    FileSystemManagerFClose(file);
    return written;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t last)
{
    std::vector<uint32_t> codes;
    for (uint32_t code = first; code <= last; ++code) {
        codes.push_back(code);
    }
    return codes;
}

/// Outline commands of one glyph in units of the em, quadratic pieces raised to cubics.
struct OutlineWriter
{
    std::string text;
    FT_Vector last;
    double em;

    void Point(const char* command, std::initializer_list<FT_Vector> points)
    {
        text += command;
        for (const FT_Vector& p : points) {
            char number[64];
            std::snprintf(number, sizeof(number), " %.6f %.6f", double(p.x) / em, double(p.y) / em);
            text += number;
        }
        text += "\n";
    }
    static int Move(const FT_Vector* to, void* user)
    {
        auto* self = static_cast<OutlineWriter*>(user);
        if (!self->text.empty()) {
            self->text += "closepath\n";
        }
        self->Point("moveto", {*to});
        self->last = *to;
        return 0;
    }
    static int Line(const FT_Vector* to, void* user)
    {
        auto* self = static_cast<OutlineWriter*>(user);
        self->Point("lineto", {*to});
        self->last = *to;
        return 0;
    }
    static int Conic(const FT_Vector* control, const FT_Vector* to, void* user)
    {
        auto* self = static_cast<OutlineWriter*>(user);
        const FT_Vector& p0 = self->last;
        const FT_Vector c1 = {p0.x + 2 * (control->x - p0.x) / 3, p0.y + 2 * (control->y - p0.y) / 3};
        const FT_Vector c2 = {to->x + 2 * (control->x - to->x) / 3, to->y + 2 * (control->y - to->y) / 3};
        self->Point("curveto", {c1, c2, *to});
        self->last = *to;
        return 0;
    }
    static int Cubic(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user)
    {
        auto* self = static_cast<OutlineWriter*>(user);
        self->Point("curveto", {*c1, *c2, *to});
        self->last = *to;
        return 0;
    }
};

} // namespace

bool FontFacesOpen(FontFaces* faces, const char* path)
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return false;
    }
    if (FT_New_Face(library, path, 0, &face) != 0 || FT_Set_Pixel_Sizes(face, 0, kFontGenPixels) != 0) {
        FT_Done_FreeType(library);
        return false;
    }
    faces->library = library;
    faces->face = face;
    return true;
}

void FontFacesClose(FontFaces* faces)
{
    FT_Done_Face(Face(faces));
    FT_Done_FreeType(static_cast<FT_Library>(faces->library));
}

bool WriteBitmapFont(FontFaces* faces, const char* name, bool extended)
{
    std::vector<std::vector<uint32_t>> pages = {Range(32, 126)};
    if (extended) {
        pages.push_back(Range(160, 255));
        pages.push_back({0x141, 0x152, 0x160, 0x178, 0x17D, 0x3A9, 0x2014, 0x2026, 0x20AC, 0x2122});
    }
    std::string met = "METRICS2\n";
    for (size_t p = 0; p < pages.size(); ++p) {
        const std::string page = std::string(name) + (p == 0 ? "" : std::to_string(p + 1));
        std::string text;
        if (!WritePage(faces, pages[p], page, &text)) {
            return false;
        }
        met += page + "\n" + std::to_string(kFontGenBaseline) + "\n" + text + "\n";
    }
    return WriteText(std::string(name) + ".met", met);
}

bool WriteMaskedDigits(FontFaces* faces, const char* name)
{
    // Digits side by side on one opaque grey texture; the mask holds their coverage.
    std::vector<Rendered> glyphs(10);
    int32_t width = 0;
    for (uint32_t d = 0; d < 10; ++d) {
        if (!Render(faces, '0' + d, &glyphs[d])) {
            return false;
        }
        width += glyphs[d].advance;
    }
    Image* texture = ImageCreate(width, kFontGenPixels, 32);
    Image* mask = ImageCreate(width, kFontGenPixels, 32);
    if (!texture || !mask || !ImageAllocatePixels(texture) || !ImageAllocatePixels(mask)) {
        return false;
    }
    for (Image* image : {texture, mask}) {
        for (int32_t y = 0; y < image->height; ++y) {
            for (int32_t x = 0; x < image->width; ++x) {
                const uint8_t black[4] = {0, 0, 0, 255};
                std::memcpy(PixelAt(image, x, y), black, 4);
            }
        }
    }
    std::string met = "METRICS1\n" + std::string(name) + "\n" + std::to_string(kFontGenBaseline) + "\n";
    int32_t x0 = 0;
    for (uint32_t d = 0; d < 10; ++d) {
        const Rendered& glyph = glyphs[d];
        for (int32_t gy = 0; gy < glyph.rows; ++gy) {
            const int32_t py = kFontGenAscent - glyph.top + gy;
            for (int32_t gx = 0; gx < glyph.width; ++gx) {
                const int32_t px = x0 + glyph.left + gx;
                if (py < 0 || py >= kFontGenPixels || px < x0 || px >= x0 + glyph.advance) {
                    continue;
                }
                const uint8_t c = glyph.coverage[size_t(gy) * glyph.width + gx];
                const uint8_t grey[4] = {c, c, c, 255};
                std::memcpy(PixelAt(mask, px, py), grey, 4);
                const uint8_t white[4] = {255, 255, 255, 255};
                std::memcpy(PixelAt(texture, px, py), white, 4);
            }
        }
        met += std::to_string('0' + d) + " " + std::to_string(x0) + " 0 " +
               std::to_string(x0 + glyph.advance) + " " + std::to_string(kFontGenPixels) + "\n";
        x0 += glyph.advance;
    }
    return WritePng(texture, name) && WritePng(mask, std::string("m") + name) &&
           WriteText(std::string(name) + ".met", met);
}

bool WriteOutlineFont(FontFaces* faces, const char* name)
{
    FT_Face face = Face(faces);
    std::string met = "METRICS3\nDejaVu Sans outlines, units of the em\n";
    const FT_Outline_Funcs funcs = {
        OutlineWriter::Move, OutlineWriter::Line, OutlineWriter::Conic, OutlineWriter::Cubic, 0, 0};
    for (uint32_t code = 32; code <= 126; ++code) {
        if (FT_Load_Char(face, code, FT_LOAD_NO_SCALE) != 0) {
            return false;
        }
        OutlineWriter writer = {"", {0, 0}, double(face->units_per_EM)};
        if (FT_Outline_Decompose(&face->glyph->outline, &funcs, &writer) != 0) {
            return false;
        }
        if (!writer.text.empty()) {
            writer.text += "closepath\n";
        }
        // The last move-to gives the advance; reading trims it off the path.
        const FT_Vector advance = {face->glyph->advance.x, 0};
        writer.Point("moveto", {advance});
        met += "#" + Utf8(code) + "\nbegin\n" + writer.text + "end\n";
    }
    return WriteText(std::string(name) + ".met", met);
}
