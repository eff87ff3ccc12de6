#pragma once
// Private to the font module: what its readers share.

#include <cstddef>
#include <cstdint>

#include "graphics/toolkit2d/font.h"

/// Most glyphs a font holds: glyph indices live in 16-bit maps.
constexpr int32_t kFontMaxGlyphs = 0x7FFF;
/// Memory hint of font data.
constexpr uint32_t kFontHint = 0x30190;

/// Appends a cleared glyph for `code` (0 to 0xFFFF) and maps the code to it:
/// codes below 128 in the basic map, others noted for FontBuildExtendedMap
/// (and the font made wide). Null when out of memory or the font is full.
FontGlyph* FontAddGlyph(Font* font, uint32_t code);
/// Forgets the codes noted by FontAddGlyph (after every read).
void FontResetCodeTable();
/// Makes the font dictionary current for texture reads; returns the one it replaced.
TexDictionary* FontBeginTextureReads();
void FontEndTextureReads(TexDictionary* previous);

/// Decodes one UTF-8 character of at most `length` bytes at `text`: its
/// code and byte count. False for a lead byte that starts no character, a
/// sequence cut by the end of the bytes, or a code above 0xFFFF.
bool FontDecodeUtf8(const uint8_t* text, size_t length, uint32_t* code, size_t* bytes);
