// Fonts: the module, font records and their glyph maps, the font list, and
// measuring strings.

#include "graphics/toolkit2d/font.h"

#include <cstring>
#include <initializer_list>

#include "graphics/core/freelist.h"
#include "graphics/core/growarray.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/toolkit2dids.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kModuleHint = kMemoryHintEngine | kPluginIdToolkit2D;
constexpr uint32_t kPathBufferHint = kMemoryHintResizable | kModuleHint;

struct FontModule
{
    FreeList* fonts;
    FreeList* nodes;
    char* path;
    size_t pathCapacity;
    FontListNode* list;
    TexDictionary* dictionary; ///< made at open
    TexDictionary* current;    ///< where glyph textures are read into
    FontReader reader;
    int32_t* codes; ///< extended code by glyph index while a reader runs, -1 for none
    int32_t codeCapacity;
    int32_t fontEntries, fontBlocks;
    int32_t nodeEntries, nodeBlocks;
};

FontModule gFonts = {nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr,
                     nullptr, nullptr, 0,       8, 1,       16,      1};

char* CopyName(const char* name)
{
    const size_t length = std::strlen(name);
    auto* copy = static_cast<char*>(MemoryAllocate(length + 1, kModuleHint));
    if (copy) {
        std::memcpy(copy, name, length + 1);
    }
    return copy;
}

/// Notes `code` for glyph `index`, growing the table 32 entries at a time.
bool NoteCode(int32_t index, uint32_t code)
{
    if (index >= gFonts.codeCapacity) {
        const int32_t capacity = (index / 32 + 1) * 32;
        auto* grown = static_cast<int32_t*>(MemoryReallocate(gFonts.codes, sizeof(int32_t) * size_t(capacity),
                                                             kMemoryHintResizable | kModuleHint));
        if (!grown) {
            return false;
        }
        for (int32_t i = gFonts.codeCapacity; i < capacity; ++i) {
            grown[i] = -1;
        }
        gFonts.codes = grown;
        gFonts.codeCapacity = capacity;
    }
    gFonts.codes[index] = int32_t(code);
    return true;
}

} // namespace

bool FontModuleOpen()
{
    gFonts.fonts = FreeListCreate(sizeof(Font), uint32_t(gFonts.fontEntries), 0, uint32_t(gFonts.fontBlocks),
                                  nullptr, kMemoryHintEngine | kChunkFont);
    gFonts.nodes = FreeListCreate(sizeof(FontListNode), uint32_t(gFonts.nodeEntries), 0,
                                  uint32_t(gFonts.nodeBlocks), nullptr, kModuleHint);
    gFonts.dictionary = TexDictionaryCreate();
    gFonts.current = gFonts.dictionary;
    gFonts.reader = FontReadMetrics;
    gFonts.list = nullptr;
    if (!gFonts.fonts || !gFonts.nodes || !gFonts.dictionary || !FontSetPath("fonts\\")) {
        FontModuleClose();
        return false;
    }
    return true;
}

void FontModuleClose()
{
    while (gFonts.list) {
        FontListNode* node = gFonts.list;
        gFonts.list = node->next;
        FontDestroy(node->font);
        MemoryFree(node->name);
        MemoryFreeListFree(gFonts.nodes, node);
    }
    if (gFonts.dictionary) {
        TexDictionaryDestroy(gFonts.dictionary);
    }
    for (FreeList** list : {&gFonts.fonts, &gFonts.nodes}) {
        if (*list) {
            FreeListDestroy(*list);
            *list = nullptr;
        }
    }
    MemoryFree(gFonts.codes);
    MemoryFree(gFonts.path);
    gFonts.codes = nullptr;
    gFonts.codeCapacity = 0;
    gFonts.path = nullptr;
    gFonts.pathCapacity = 0;
    gFonts.dictionary = gFonts.current = nullptr;
}

void FontSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gFonts.fontEntries = entriesPerBlock;
    gFonts.fontBlocks = preallocate;
}

void FontSetNodeFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gFonts.nodeEntries = entriesPerBlock;
    gFonts.nodeBlocks = preallocate;
}

const char* FontSetPath(const char* path)
{
    if (!path) {
        return nullptr;
    }
    const size_t length = std::strlen(path) + 1;
    if (length > gFonts.pathCapacity) {
        const size_t capacity = length < 81 ? 81 : length;
        auto* grown = static_cast<char*>(MemoryReallocate(gFonts.path, capacity, kPathBufferHint));
        if (!grown) {
            return nullptr;
        }
        gFonts.path = grown;
        gFonts.pathCapacity = capacity;
    }
    std::memcpy(gFonts.path, path, length);
    return path;
}

const char* FontGetPath()
{
    return gFonts.path;
}

Font* FontCreate()
{
    auto* font = gFonts.fonts
                     ? static_cast<Font*>(MemoryFreeListAlloc(gFonts.fonts, kMemoryHintObject | kChunkFont))
                     : nullptr;
    if (!font) {
        return nullptr;
    }
    *font = {};
    font->kind = kFontOutline;
    font->pixelHeight = 1.0f;
    std::memset(font->basicMap, 0xFF, sizeof(font->basicMap));
    font->glyphs = GrowArrayCreate(sizeof(FontGlyph), kFontHint);
    if (!font->glyphs) {
        MemoryFreeListFree(gFonts.fonts, font);
        return nullptr;
    }
    font->draw = FontRenderStringBitmap;
    return font;
}

bool FontDestroy(Font* font)
{
    if (!font) {
        return false;
    }
    auto* glyphs = static_cast<FontGlyph*>(GrowArrayGetRawData(font->glyphs));
    for (int32_t i = 0; i < GrowArrayGetCount(font->glyphs); ++i) {
        PathDestroy(glyphs[i].path);
    }
    GrowArrayDestroy(font->glyphs);
    MemoryFree(font->extendedMap);
    for (Texture* texture : font->textures) {
        if (texture) {
            TextureDestroy(texture);
        }
    }
    MemoryFreeListFree(gFonts.fonts, font);
    return true;
}

FontGlyph* FontAddGlyph(Font* font, uint32_t code)
{
    const int32_t index = GrowArrayGetCount(font->glyphs);
    if (index >= kFontMaxGlyphs || code > 0xFFFF) {
        return nullptr;
    }
    if (code >= 128 && !NoteCode(index, code)) {
        return nullptr;
    }
    auto* glyph = static_cast<FontGlyph*>(GrowArrayIncSize(font->glyphs, kFontHint));
    if (!glyph) {
        return nullptr;
    }
    *glyph = {};
    font->glyphCount = index + 1;
    if (code < 128) {
        font->basicMap[code] = int16_t(index);
    } else {
        font->flags |= kFontWide;
    }
    return glyph;
}

void FontResetCodeTable()
{
    for (int32_t i = 0; i < gFonts.codeCapacity; ++i) {
        gFonts.codes[i] = -1;
    }
}

bool FontBuildExtendedMap(Font* font)
{
    int32_t first = 0x10000, last = -1;
    for (int32_t i = 0; i < font->glyphCount && i < gFonts.codeCapacity; ++i) {
        const int32_t code = gFonts.codes[i];
        if (code > 0) {
            first = code < first ? code : first;
            last = code > last ? code : last;
        }
    }
    if (last < 0) {
        return true;
    }
    const int32_t count = last - first + 1;
    auto* map = static_cast<uint16_t*>(MemoryAllocate(sizeof(uint16_t) * size_t(count), kFontHint));
    if (!map) {
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        map[i] = kFontNoGlyph;
    }
    for (int32_t i = 0; i < font->glyphCount && i < gFonts.codeCapacity; ++i) {
        if (gFonts.codes[i] > 0) {
            map[gFonts.codes[i] - first] = uint16_t(i);
        }
    }
    MemoryFree(font->extendedMap);
    font->extendedMap = map;
    font->firstCode = first;
    font->extendedCount = count;
    return true;
}

TexDictionary* FontBeginTextureReads()
{
    TexDictionary* previous = TexDictionaryGetCurrent();
    TexDictionarySetCurrent(gFonts.current);
    return previous;
}

void FontEndTextureReads(TexDictionary* previous)
{
    TexDictionarySetCurrent(previous);
}

Font* FontRead(const char* name)
{
    return gFonts.reader && name ? gFonts.reader(name) : nullptr;
}

FontReader FontGetReader()
{
    return gFonts.reader;
}

FontListNode* FontFindOrRead(const char* name)
{
    if (!name) {
        return nullptr;
    }
    for (FontListNode* node = gFonts.list; node; node = node->next) {
        if (std::strcmp(node->name, name) == 0) {
            return node;
        }
    }
    // Reading sets the image search path to the font path: keep the caller's.
    const char* imagePath = ImageGetPath();
    char* saved = CopyName(imagePath ? imagePath : "");
    Font* font = saved ? FontRead(name) : nullptr;
    FontListNode* node = nullptr;
    if (font && FontListAdd(font, name)) {
        node = gFonts.list;
    } else {
        FontDestroy(font);
    }
    if (saved) {
        ImageSetPath(saved);
        MemoryFree(saved);
    }
    return node;
}

Font* FontListAdd(Font* font, const char* name)
{
    auto* node =
        gFonts.nodes ? static_cast<FontListNode*>(MemoryFreeListAlloc(gFonts.nodes, kModuleHint)) : nullptr;
    char* copy = node ? CopyName(name) : nullptr;
    if (!copy) {
        if (node) {
            MemoryFreeListFree(gFonts.nodes, node);
        }
        return nullptr;
    }
    *node = {copy, font, gFonts.list};
    gFonts.list = node;
    return font;
}

Font* FontListRemove(Font* font)
{
    for (FontListNode** link = &gFonts.list; *link; link = &(*link)->next) {
        FontListNode* node = *link;
        if (node->font == font) {
            *link = node->next;
            MemoryFree(node->name);
            MemoryFreeListFree(gFonts.nodes, node);
            return font;
        }
    }
    return nullptr;
}

Font* FontListFind(const char* name)
{
    for (FontListNode* node = gFonts.list; node; node = node->next) {
        if (std::strcmp(node->name, name) == 0) {
            return node->font;
        }
    }
    return nullptr;
}

const FontGlyph* FontGetGlyph(const Font* font, uint32_t code)
{
    int32_t index = -1;
    if (code < 128) {
        index = font->basicMap[code];
    } else if (code - uint32_t(font->firstCode) < uint32_t(font->extendedCount)) {
        const uint16_t entry = font->extendedMap[code - uint32_t(font->firstCode)];
        index = entry == kFontNoGlyph ? -1 : entry;
    }
    if (index < 0 || index >= GrowArrayGetCount(font->glyphs)) {
        return nullptr;
    }
    return static_cast<const FontGlyph*>(GrowArrayGetElement(font->glyphs, index));
}

Font* FontRenderString(Font* font, const char* string, float size, float* position, Brush* brush)
{
    return font && string && font->draw ? font->draw(font, string, size, position, brush) : nullptr;
}

const Font* FontGetStringExtent(const Font* font, const char* string, float* width, int32_t* count)
{
    float sum = 0.0f;
    int32_t found = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(string);
    const bool wide = font->flags & kFontWide;
    for (size_t i = 0;; i += wide ? 2 : 1) {
        const uint32_t code = wide ? uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8 : bytes[i];
        if (code == 0) {
            break;
        }
        if (const FontGlyph* glyph = FontGetGlyph(font, code)) {
            sum += glyph->advance + font->spacing;
            ++found;
        }
    }
    *width = sum;
    *count = found;
    return font;
}

float FontGetStringWidth(const Font* font, const char* string, float size)
{
    float width = 0.0f;
    int32_t count = 0;
    FontGetStringExtent(font, string, &width, &count);
    return width * size;
}

float FontGetNativeSize(const Font* font)
{
    V2d a, b, o;
    TwoDDeviceGetPixelAxes(&a, &b, &o);
    return font->pixelHeight * VectorSqrt(b.x * b.x + b.y * b.y);
}

Font* FontSetSpacing(Font* font, float spacing)
{
    font->spacing = spacing;
    return font;
}

int32_t FontGetGlyphCount(const Font* font)
{
    return font->glyphCount;
}

int32_t FontGetKind(const Font* font)
{
    return font->kind;
}

bool FontIsWide(const Font* font)
{
    return (font->flags & kFontWide) != 0;
}

int32_t FontGetCharacters(const Font* font, uint32_t* codes)
{
    int32_t count = 0;
    for (uint32_t code = 0; code < 128; ++code) {
        if (font->basicMap[code] >= 0) {
            codes[count++] = code;
        }
    }
    for (int32_t i = 0; i < font->extendedCount; ++i) {
        if (font->extendedMap[i] != kFontNoGlyph) {
            codes[count++] = uint32_t(font->firstCode + i);
        }
    }
    return count;
}

TexDictionary* FontGetTexDictionary()
{
    return gFonts.current;
}

void FontSetTexDictionary(TexDictionary* dictionary)
{
    gFonts.current = dictionary;
}

bool FontDecodeUtf8(const uint8_t* text, size_t length, uint32_t* code, size_t* bytes)
{
    if (length == 0) {
        return false;
    }
    const uint8_t lead = text[0];
    size_t follow;
    uint32_t value;
    if (lead < 0x80) {
        follow = 0;
        value = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        follow = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        follow = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        follow = 3;
        value = lead & 0x07;
    } else if ((lead & 0xFC) == 0xF8) {
        follow = 4;
        value = lead & 0x03;
    } else if ((lead & 0xFE) == 0xFC) {
        follow = 5;
        value = lead & 0x01;
    } else {
        return false;
    }
    if (follow >= length) {
        return false;
    }
    for (size_t i = 1; i <= follow; ++i) {
        if (text[i] == 0) {
            return false;
        }
        value = value << 6 | (text[i] & 0x3F);
    }
    if (value > 0xFFFF) {
        return false;
    }
    *code = value;
    *bytes = follow + 1;
    return true;
}
