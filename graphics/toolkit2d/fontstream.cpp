// Fonts in streams: chunk 0x199 with the maps, the glyphs and, for a bitmap
// font, the names of its textures; for an outline font, each glyph's path.

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/fontinternal.h"
#include "graphics/toolkit2d/path.h"

namespace {

constexpr uint32_t kMagic = 0x01000001;
constexpr uint32_t kHeaderBytes = 36;
constexpr uint32_t kBitmapGlyphBytes = 21;
constexpr uint32_t kNameBytes = 32;
/// Markers around an outline glyph: its start, its path, its end.
constexpr int32_t kGlyphStart = 2;
constexpr int32_t kGlyphPath = 5;
constexpr int32_t kGlyphEnd = 6;
constexpr int32_t kGlyphTail = 3;

FontGlyph* Glyphs(const Font* font)
{
    return static_cast<FontGlyph*>(GrowArrayGetRawData(font->glyphs));
}

int32_t TextureCount(const Font* font)
{
    int32_t count = 0;
    for (const Texture* texture : font->textures) {
        count += texture ? 1 : 0;
    }
    return count;
}

struct Writer
{
    Stream* stream;
    bool ok;

    void U32(uint32_t value)
    {
        uint8_t bytes[4];
        LittleEndianPutU32(bytes, value);
        Raw(bytes, 4);
    }
    void F32(float value)
    {
        uint8_t bytes[4];
        LittleEndianPutFloat(bytes, value);
        Raw(bytes, 4);
    }
    void U16(uint16_t value)
    {
        const uint8_t bytes[2] = {uint8_t(value), uint8_t(value >> 8)};
        Raw(bytes, 2);
    }
    void Raw(const void* bytes, uint32_t n) { ok = ok && StreamWrite(stream, bytes, n); }
};

bool ReadU16s(ChunkReader& reader, uint16_t* values, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        uint8_t bytes[2];
        if (!reader.Read(bytes, 2)) {
            return false;
        }
        values[i] = uint16_t(bytes[0] | bytes[1] << 8);
    }
    return true;
}

bool ReadBitmapGlyphs(ChunkReader& reader, Font* font)
{
    FontGlyph* glyphs = Glyphs(font);
    for (int32_t i = 0; i < font->glyphCount; ++i) {
        float values[5];
        uint8_t index = 0;
        for (float& value : values) {
            if (!reader.F32(&value) || !std::isfinite(value)) {
                return false;
            }
        }
        if (!reader.Read(&index, 1) || index >= kFontTextures) {
            return false;
        }
        glyphs[i] = {values[4], nullptr, values[0], values[1], values[2], values[3], nullptr, index};
    }
    int32_t textures = 0;
    if (!reader.I32(&textures) || textures < 0 || textures > kFontTextures) {
        return false;
    }
    TexDictionary* previous = FontBeginTextureReads();
    bool ok = true;
    for (int32_t slot = 0; ok && slot < textures; ++slot) {
        char name[kNameBytes + 1] = {};
        ok = reader.Read(name, kNameBytes) &&
             (font->textures[slot] = TextureRead(name, nullptr)) != nullptr &&
             TextureGetRaster(font->textures[slot]) != nullptr;
    }
    FontEndTextureReads(previous);
    for (int32_t i = 0; ok && i < font->glyphCount; ++i) {
        ok = glyphs[i].textureIndex < textures;
        glyphs[i].texture = ok ? font->textures[glyphs[i].textureIndex] : nullptr;
    }
    return ok;
}

bool ReadOutlineGlyphs(ChunkReader& reader, Font* font)
{
    FontGlyph* glyphs = Glyphs(font);
    for (int32_t i = 0; i < font->glyphCount; ++i) {
        int32_t marker = 0;
        float advance = 0.0f;
        if (!reader.I32(&marker) || marker != kGlyphStart || !reader.F32(&advance) ||
            !std::isfinite(advance) || !reader.I32(&marker)) {
            return false;
        }
        glyphs[i].advance = advance;
        if (marker == kGlyphPath) {
            uint32_t size = 0;
            if (!ChunkReaderHeader(reader, kChunkPath, &size) || !reader.Take(size) ||
                !(glyphs[i].path = PathStreamReadBody(reader.stream, size)) || !reader.I32(&marker)) {
                return false;
            }
        }
        int32_t tail = 0;
        if (marker != kGlyphEnd || !reader.I32(&tail) || tail != kGlyphTail) {
            return false;
        }
    }
    return true;
}

/// Every map entry names a glyph or none.
bool MapsAreValid(const Font* font)
{
    for (const int16_t entry : font->basicMap) {
        if (entry < -1 || entry >= font->glyphCount) {
            return false;
        }
    }
    for (int32_t i = 0; i < font->extendedCount; ++i) {
        if (font->extendedMap[i] != kFontNoGlyph && font->extendedMap[i] >= font->glyphCount) {
            return false;
        }
    }
    return true;
}

Font* ReadBody(ChunkReader& reader)
{
    uint32_t magic = 0, flags = 0;
    int32_t kind = 0, firstCode = 0, glyphCount = 0, extendedCount = 0;
    float pixelHeight = 0, baseline = 0, spacing = 0;
    if (!reader.U32(&magic) || (magic >> 24) == 0 || !reader.I32(&kind) || !reader.F32(&pixelHeight) ||
        !reader.F32(&baseline) || !reader.F32(&spacing) || !reader.U32(&flags) || !reader.I32(&firstCode) ||
        !reader.I32(&glyphCount) || !reader.I32(&extendedCount)) {
        return nullptr;
    }
    // Counts are bounded by the bytes that must follow them.
    const uint32_t perGlyph = kind == kFontBitmap ? kBitmapGlyphBytes : 16;
    if ((kind != kFontBitmap && kind != kFontOutline) || !std::isfinite(pixelHeight) ||
        !std::isfinite(baseline) || !std::isfinite(spacing) || glyphCount < 0 ||
        glyphCount > kFontMaxGlyphs || extendedCount < 0 || extendedCount > 0x10000 ||
        uint32_t(extendedCount) > reader.left / 2 || uint32_t(glyphCount) > reader.left / perGlyph ||
        (extendedCount > 0 && (firstCode < 128 || firstCode > 0x10000 - extendedCount))) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    Font* font = FontCreate();
    if (!font) {
        return nullptr;
    }
    font->kind = kind;
    font->draw = kind == kFontBitmap ? FontRenderStringBitmap : FontRenderStringOutline;
    font->pixelHeight = pixelHeight;
    font->baseline = baseline;
    font->spacing = spacing;
    font->flags = flags;
    font->firstCode = firstCode;
    font->glyphCount = glyphCount;
    font->extendedCount = extendedCount;
    bool ok = true;
    if (extendedCount > 0) {
        font->extendedMap =
            static_cast<uint16_t*>(MemoryAllocate(sizeof(uint16_t) * size_t(extendedCount), kFontHint));
        ok = font->extendedMap && ReadU16s(reader, font->extendedMap, extendedCount);
    }
    ok = ok && ReadU16s(reader, reinterpret_cast<uint16_t*>(font->basicMap), 128) && MapsAreValid(font);
    if (ok && glyphCount > 0) {
        void* glyphs = GrowArrayIncSizeBy(font->glyphs, glyphCount, kFontHint);
        ok = glyphs != nullptr;
        if (ok) {
            std::memset(glyphs, 0, sizeof(FontGlyph) * size_t(glyphCount));
        }
    }
    ok = ok && (kind == kFontBitmap ? ReadBitmapGlyphs(reader, font) : ReadOutlineGlyphs(reader, font));
    if (!ok) {
        ErrorRaise(0, kErrorRead);
        FontDestroy(font);
        return nullptr;
    }
    return font;
}

} // namespace

uint32_t FontStreamGetSize(const Font* font)
{
    uint32_t size = 292 + 2 * uint32_t(font->extendedCount);
    if (font->kind == kFontBitmap) {
        return size + kBitmapGlyphBytes * uint32_t(font->glyphCount) + 4 +
               kNameBytes * uint32_t(TextureCount(font));
    }
    const FontGlyph* glyphs = Glyphs(font);
    for (int32_t i = 0; i < font->glyphCount; ++i) {
        size += glyphs[i].path ? 32 + PathStreamGetSize(glyphs[i].path) : 16;
    }
    return size;
}

const Font* FontStreamWrite(const Font* font, Stream* stream)
{
    if (!font || !stream ||
        !ChunkHeaderWrite(stream, kChunkFont, FontStreamGetSize(font), kEngineVersion, kEngineBuild)) {
        return nullptr;
    }
    Writer out = {stream, true};
    out.U32(kMagic);
    out.U32(uint32_t(font->kind));
    out.F32(font->pixelHeight);
    out.F32(font->baseline);
    out.F32(font->spacing);
    out.U32(font->flags);
    out.U32(uint32_t(font->firstCode));
    out.U32(uint32_t(font->glyphCount));
    out.U32(uint32_t(font->extendedCount));
    for (int32_t i = 0; i < font->extendedCount; ++i) {
        out.U16(font->extendedMap[i]);
    }
    for (const int16_t entry : font->basicMap) {
        out.U16(uint16_t(entry));
    }
    const FontGlyph* glyphs = Glyphs(font);
    if (font->kind == kFontBitmap) {
        // Slots are written in order without the empty ones; glyph indices
        // count the filled slots before theirs.
        uint8_t compact[kFontTextures] = {};
        uint8_t filled = 0;
        for (int32_t slot = 0; slot < kFontTextures; ++slot) {
            compact[slot] = filled;
            filled += font->textures[slot] ? 1 : 0;
        }
        for (int32_t i = 0; i < font->glyphCount; ++i) {
            for (const float value :
                 {glyphs[i].u0, glyphs[i].v0, glyphs[i].u1, glyphs[i].v1, glyphs[i].advance}) {
                out.F32(value);
            }
            const uint8_t index = compact[glyphs[i].textureIndex & 3];
            out.Raw(&index, 1);
        }
        out.U32(uint32_t(TextureCount(font)));
        for (const Texture* texture : font->textures) {
            if (texture) {
                char name[kNameBytes] = {};
                std::strncpy(name, TextureGetName(texture), kNameBytes - 1);
                out.Raw(name, kNameBytes);
            }
        }
        return out.ok ? font : nullptr;
    }
    for (int32_t i = 0; i < font->glyphCount && out.ok; ++i) {
        out.U32(uint32_t(kGlyphStart));
        out.F32(glyphs[i].advance);
        if (glyphs[i].path) {
            out.U32(uint32_t(kGlyphPath));
            out.ok = out.ok && PathStreamWrite(glyphs[i].path, stream);
        }
        out.U32(uint32_t(kGlyphEnd));
        out.U32(uint32_t(kGlyphTail));
    }
    return out.ok ? font : nullptr;
}

Font* FontStreamRead(Stream* stream)
{
    uint32_t size = 0;
    if (!StreamFindChunk(stream, kChunkFont, &size, nullptr)) {
        return nullptr;
    }
    ChunkReader reader = {stream, size};
    Font* font = ReadBody(reader);
    reader.SkipRest();
    return font;
}
