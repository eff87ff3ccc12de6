#pragma once
// Fonts: strings turned into glyphs drawn through the 2-D device. Bitmap
// fonts (kind 0) draw textured quads cut from up to four glyph textures;
// outline fonts (kind 1) stroke each glyph's path with the brush. Fonts
// come from ".met" files along the font path (a ';' list of directories,
// "fonts\" by default; "METRICS1": glyph rectangles on one texture,
// "METRICS2": cells found by marker pixels on up to four texture pages,
// "METRICS3": outline glyphs of path commands) or from chunk 0x199.
//
// Strings are 8-bit codes, or 16-bit little-endian codes when the font is
// wide (a glyph code of 128 or more), ended by code 0. A code without a
// glyph draws nothing and adds no advance. Sizes are in 2-D units: a glyph
// of advance a is a x size wide and size high.

#include <cstdint>

struct Brush;
struct Font;
struct FileSlot;
struct GrowArray;
struct Path;
struct Stream;
struct TexDictionary;
struct Texture;

/// Chunk type of a saved font.
constexpr uint32_t kChunkFont = 0x199;

enum FontKind : int32_t
{
    kFontBitmap = 0,
    kFontOutline = 1,
};

/// Font flag: characters are 16 bits wide.
constexpr uint32_t kFontWide = 2;
/// Texture slots of a bitmap font.
constexpr int32_t kFontTextures = 4;
/// Map entry of a code without a glyph.
constexpr uint16_t kFontNoGlyph = 0xFFFF;

/// Draws `string` at position (x, y) with the glyphs `size` units high;
/// advances the position's x past the text (the bitmap routine). The font,
/// or null when drawing failed.
using FontRenderFunc = Font* (*)(Font* font, const char* string, float size, float* position, Brush* brush);

/// 32 bytes as the design has it; in memory with real pointers.
struct FontGlyph
{
    float advance;    ///< width in units of the font size
    Texture* texture; ///< bitmap glyphs
    float u0, v0, u1, v1;
    Path* path; ///< outline glyphs (null for a blank one)
    uint8_t textureIndex;
};

struct Font
{
    int32_t kind;      ///< FontKind
    float pixelHeight; ///< bitmap: glyph height in texels; outline: 1
    float baseline;    ///< baseline above the glyph bottom, as a fraction of the height
    float spacing;     ///< extra advance after every glyph, in units of the size
    uint32_t flags;    ///< kFontWide
    Texture* textures[kFontTextures];
    int16_t basicMap[128]; ///< glyph of codes 0-127, -1 for none
    int32_t firstCode;     ///< of the extended map
    int32_t extendedCount;
    uint16_t* extendedMap; ///< glyph of code firstCode + i, kFontNoGlyph for none
    int32_t glyphCount;
    GrowArray* glyphs; ///< FontGlyph
    FontRenderFunc draw;
};

/// A node of the font list.
struct FontListNode
{
    char* name;
    Font* font;
    FontListNode* next;
};

/// Opens the font module: free lists, the font path "fonts\", the font
/// texture dictionary, the reader hook. False when out of memory.
bool FontModuleOpen();
/// Destroys every listed font, the dictionary and the module state.
void FontModuleClose();
/// Block parameters used by the next open (fonts 8, 1; list nodes 16, 1).
void FontSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate);
void FontSetNodeFreeListParams(int32_t entriesPerBlock, int32_t preallocate);

/// Copies the font path (directories separated by ';', each ending in its
/// separator); null for null or when out of memory.
const char* FontSetPath(const char* path);
const char* FontGetPath();

/// A new empty font: outline kind, pixel height 1, no glyphs.
Font* FontCreate();
/// Frees the glyph paths, the maps, releases the textures and the record. False for null.
bool FontDestroy(Font* font);
/// Reads a font by name through the reader hook (FontReadMetrics); null on failure.
Font* FontRead(const char* name);
using FontReader = Font* (*)(const char* name);
FontReader FontGetReader();
/// The ".met" reader: the first of directory + name + ".met" along the
/// font path that opens, dispatched on its version line. Null, with the
/// half-built font destroyed, when no file opens or the file is malformed.
Font* FontReadMetrics(const char* name);
/// The version readers: `line` is a buffer of 256 bytes. The font or null.
Font* FontReadMetrics1(Font* font, FileSlot* file, char* line);
Font* FontReadMetrics2(Font* font, FileSlot* file, char* line);
Font* FontReadMetrics3(Font* font, FileSlot* file, char* line);
/// Builds the extended map from the codes noted while reading; false when out of memory.
bool FontBuildExtendedMap(Font* font);

/// The listed font of that name, else one read (the image search path
/// kept) and listed. The list node, or null when it cannot be read.
FontListNode* FontFindOrRead(const char* name);
Font* FontListAdd(Font* font, const char* name);
/// Unlinks and frees the font's node; the font, or null when not listed.
Font* FontListRemove(Font* font);
/// The listed font of exactly that name, or null.
Font* FontListFind(const char* name);

/// The glyph of a code, or null.
const FontGlyph* FontGetGlyph(const Font* font, uint32_t code);
/// Calls the font's draw routine. `position` is (x, y) in 2-D units.
Font* FontRenderString(Font* font, const char* string, float size, float* position, Brush* brush);
Font* FontRenderStringBitmap(Font* font, const char* string, float size, float* position, Brush* brush);
Font* FontRenderStringOutline(Font* font, const char* string, float size, float* position, Brush* brush);
/// Word-wrapped text in rect (x, y, w, h), lines from the top; align 0
/// left, 1 centre, 2 right. The font, or null when the text did not fit or
/// size <= 0.
Font* FontRenderParagraph(Font* font, const char* string, float size, const float* rect, int32_t align,
                          Brush* brush);
/// size x the sum of (advance + spacing) over the string's glyphs.
float FontGetStringWidth(const Font* font, const char* string, float size);
/// The unscaled sum and the number of glyphs found.
const Font* FontGetStringExtent(const Font* font, const char* string, float* width, int32_t* count);
/// The size at which a bitmap font shows one texel per pixel.
float FontGetNativeSize(const Font* font);
Font* FontSetSpacing(Font* font, float spacing);
int32_t FontGetGlyphCount(const Font* font);
int32_t FontGetKind(const Font* font);
bool FontIsWide(const Font* font);
/// Writes every code with a glyph (0-127, then the extended codes); their number.
int32_t FontGetCharacters(const Font* font, uint32_t* codes);

/// The dictionary glyph textures are read into (the application sets their filter mode).
TexDictionary* FontGetTexDictionary();
void FontSetTexDictionary(TexDictionary* dictionary);

/// Body bytes of the font chunk.
uint32_t FontStreamGetSize(const Font* font);
/// Writes chunk 0x199; null on a stream failure.
const Font* FontStreamWrite(const Font* font, Stream* stream);
/// Finds the next chunk 0x199 and reads a new font; null (nothing left
/// allocated) for a short or malformed chunk or a texture that cannot be read.
Font* FontStreamRead(Stream* stream);
