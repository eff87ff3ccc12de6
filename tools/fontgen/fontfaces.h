#pragma once
// The sample fonts' writers: a FreeType face rendered at 16 pixels into
// glyph pages (METRICS2), a digit strip with a mask (METRICS1) and glyph
// outlines (METRICS3). Pages are written through the engine's file system
// (the default one is the output directory) with PngWrite.

#include <cstdint>

struct FontFaces
{
    void* library; ///< FT_Library
    void* face;    ///< FT_Face
};

/// Pixel size of the bitmap fonts and the rows of a page's cell band.
constexpr int32_t kFontGenPixels = 16;
constexpr int32_t kFontGenBand = kFontGenPixels + 3;
/// Rows of a cell above the baseline; the baseline lies this far above the bottom.
constexpr int32_t kFontGenAscent = 12;
constexpr int32_t kFontGenBaseline = kFontGenPixels - kFontGenAscent;

bool FontFacesOpen(FontFaces* faces, const char* path);
void FontFacesClose(FontFaces* faces);
/// fonts/<name>.met with pages <name>.png (and <name>2.png, <name>3.png when extended).
bool WriteBitmapFont(FontFaces* faces, const char* name, bool extended);
/// fonts/<name>.met (METRICS1) with <name>.png and its mask m<name>.png.
bool WriteMaskedDigits(FontFaces* faces, const char* name);
/// fonts/<name>.met (METRICS3) from the glyph outlines.
bool WriteOutlineFont(FontFaces* faces, const char* name);
