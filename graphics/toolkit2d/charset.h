#pragma once
// The debug character set: 91 glyphs (characters 32 to 122) of 8 x 14
// pixels built into a 128 x 128 texture raster in two colours, drawn as
// screen-space quads on the current camera's frame buffer, either at once or
// through one shared buffer of up to 1024 characters drawn in one call.
// Errors carry module id 0x180.

#include <cstdint>

struct Raster;

/// A character set is its texture raster.
using Charset = Raster;

constexpr uint32_t kPluginIdCharset = 0x180;
constexpr int32_t kCharsetBufferCharacters = 1024;

struct CharsetDesc
{
    int32_t width;      ///< glyph width, 8
    int32_t height;     ///< glyph height, 14
    int32_t cellWidth;  ///< 9
    int32_t cellHeight; ///< 15
    int32_t count;      ///< 91
    int32_t tileWidth;  ///< glyphs per row of the raster, 14
    int32_t tileHeight; ///< rows of glyphs, 7
};

/// A new character set in the two RGBA colours; null with {0x180,
/// 0x80000016} for a null colour, or when the raster cannot be made.
Charset* CharsetCreate(const uint8_t* foreground, const uint8_t* background);
/// Destroys the raster; 1 (0 with {0x180, 0x80000016} for null).
int32_t CharsetDestroy(Charset* charset);
/// Fills the description; the charset (null with {0x180, 0x80000016}).
Charset* CharsetGetDesc(Charset* charset, CharsetDesc* desc);
/// Draws the zero-terminated text at pixel (x, y) of the current camera's
/// frame buffer at once, 8 pixels a character; spaces are drawn from then on
/// by buffered prints too. The charset; null with {0x180, 0x80000013}.
Charset* CharsetPrint(Charset* charset, const char* text, int32_t x, int32_t y);
/// Allocates the shared print buffer and skips spaces again; 1, or 0 when
/// out of memory.
int32_t CharsetBufferOpen();
/// Frees the print buffer.
void CharsetBufferClose();
/// Queues the text (flushing when the buffer fills or holds another
/// character set's text). keepSkip 0 stops skipping spaces from then on. The
/// charset; null for an empty text or without an open buffer.
Charset* CharsetPrintBuffered(Charset* charset, const char* text, int32_t x, int32_t y, int32_t keepSkip);
/// Draws and empties the buffer; 1.
int32_t CharsetBufferFlush();
/// Row `row` (0 to 13, from the top) of the glyph of character c as bits,
/// the least significant the leftmost pixel; 0 for characters without a glyph.
uint8_t CharsetGlyphRow(char c, int32_t row);
