// Texts: a string drawn with a font of the font list and a brush of its own.

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/toolkit2dids.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kStringHint = kMemoryHintObject | kChunkText;

bool IsWide(const Object2D* object)
{
    const FontListNode* node = object->text.font;
    return !(object->flags & kObjectNoFont) && node && FontIsWide(node->font);
}

/// Bytes of a string up to its terminator: a 16-bit zero for a wide font, else a zero byte.
int32_t Measure(const char* string, bool wide)
{
    if (!string) {
        return 0;
    }
    if (!wide) {
        return int32_t(std::strlen(string));
    }
    int32_t bytes = 0;
    while (string[bytes] != 0 || string[bytes + 1] != 0) {
        bytes += 2;
    }
    return bytes;
}

/// Looks the font up; a missing one records {0x190, 0} and marks the text.
void AttachFont(Object2D* object, const char* name)
{
    object->text.font = name ? FontFindOrRead(name) : nullptr;
    if (object->text.font) {
        object->flags &= ~kObjectNoFont;
        return;
    }
    object->flags |= kObjectNoFont;
    const ErrorRecord missing = {kPluginIdToolkit2D, 0};
    ErrorSet(&missing);
}

/// Sets the string from `bytes` of `length` bytes; the buffer always ends in two zero bytes.
bool StoreString(Object2D* object, const char* bytes, int32_t length)
{
    TextData& text = object->text;
    if (!text.string || length > text.length) {
        auto* grown = static_cast<char*>(MemoryAllocate(size_t(length) + 2, kStringHint));
        if (!grown) {
            return false;
        }
        MemoryFree(text.string);
        text.string = grown;
    }
    std::memcpy(text.string, bytes, size_t(length));
    text.string[length] = text.string[length + 1] = 0;
    text.length = length;
    return true;
}

} // namespace

Object2D* TextInit(Object2D* object, const char* string, const char* fontName)
{
    ObjectInit(object, kObjectText);
    object->text.size = 1.0f;
    object->text.brush = BrushCreate();
    if (!object->text.brush) {
        return nullptr;
    }
    AttachFont(object, fontName);
    if (string && !TextSetString(object, string)) {
        BrushDestroy(object->text.brush);
        object->text.brush = nullptr;
        return nullptr;
    }
    return object;
}

Object2D* TextCreate(const char* string, const char* fontName)
{
    Object2D* object = ObjectAlloc();
    if (object && !TextInit(object, string, fontName)) {
        ObjectFree(object);
        return nullptr;
    }
    return object;
}

bool TextDestroyData(Object2D* object)
{
    MemoryFree(object->text.string);
    object->text.string = nullptr;
    object->text.length = 0;
    const bool released = !object->text.brush || BrushDestroy(object->text.brush);
    object->text.brush = nullptr;
    return released;
}

bool TextDestroy(Object2D* object)
{
    if (!object) {
        return false;
    }
    const bool released = TextDestroyData(object);
    ObjectFree(object);
    return released;
}

const char* TextGetString(const Object2D* object)
{
    return object->text.string;
}

const char* TextGetFontName(const Object2D* object)
{
    return object->text.font ? object->text.font->name : nullptr;
}

float TextGetSize(const Object2D* object)
{
    return object->text.size;
}

Object2D* TextSetSize(Object2D* object, float size)
{
    object->text.size = size;
    return object;
}

Object2D* TextSetFont(Object2D* object, const char* fontName)
{
    AttachFont(object, fontName);
    return object->text.font ? object : nullptr;
}

Object2D* TextSetBrush(Object2D* object, const Brush* brush)
{
    Brush* own = object->text.brush;
    if (brush->texture) {
        TextureAddRef(brush->texture);
    }
    if (own->texture) {
        TextureDestroy(own->texture);
    }
    if (brush->material) {
        ++brush->material->refCount;
    }
    if (own->material) {
        MaterialRelease(own->material);
    }
    own->topColour = brush->topColour;
    own->topUV = brush->topUV;
    own->topColourDelta = brush->topColourDelta;
    own->topUVDelta = brush->topUVDelta;
    own->bottomColour = brush->bottomColour;
    own->bottomUV = brush->bottomUV;
    own->bottomColourDelta = brush->bottomColourDelta;
    own->bottomUVDelta = brush->bottomUVDelta;
    std::memcpy(own->flatColour, brush->flatColour, 4);
    own->flags = brush->flags;
    own->texture = brush->texture;
    own->material = brush->material;
    own->halfWidth = brush->halfWidth;
    return object;
}

Object2D* TextSetString(Object2D* object, const char* string)
{
    if (!string) {
        MemoryFree(object->text.string);
        object->text.string = nullptr;
        object->text.length = 0;
        return object;
    }
    return StoreString(object, string, Measure(string, IsWide(object))) ? object : nullptr;
}

Object2D* TextRender(Object2D* object, const float*, const float*)
{
    if (!ObjectIsVisible(object) || (object->flags & kObjectNoFont) || !object->text.font ||
        !object->text.string) {
        return object;
    }
    if (!ObjectPushWorldMatrix(object)) {
        return nullptr;
    }
    Brush* brush = object->text.brush;
    const Brush saved = *brush;
    BrushModulateColours(brush, &brush->bottomColour, &brush->bottomColourDelta, &brush->topColourDelta,
                         &brush->topColour, reinterpret_cast<const BrushColour*>(object->colourScale),
                         reinterpret_cast<const BrushColour*>(object->colourOffset));
    float position[2] = {0.0f, 0.0f};
    Font* drawn =
        FontRenderString(object->text.font->font, object->text.string, object->text.size, position, brush);
    TwoDCTMPop();
    brush->topColour = saved.topColour;
    brush->topColourDelta = saved.topColourDelta;
    brush->bottomColour = saved.bottomColour;
    brush->bottomColourDelta = saved.bottomColourDelta;
    std::memcpy(brush->flatColour, saved.flatColour, 4);
    return drawn ? object : nullptr;
}

uint32_t TextStreamGetSize(const Object2D* object)
{
    const uint32_t length = uint32_t(Measure(object->text.string, IsWide(object)));
    const char* name = (object->flags & kObjectNoFont) ? nullptr : TextGetFontName(object);
    const uint32_t nameBytes = name ? uint32_t(std::strlen(name)) + 1 : 0;
    return ObjectStreamGetSizeBase() + 4 + 4 + length + 1 + 4 + nameBytes + kChunkHeaderSize +
           BrushStreamGetSize(object->text.brush);
}

const Object2D* TextStreamWriteBody(const Object2D* object, Stream* stream)
{
    const int32_t length = Measure(object->text.string, IsWide(object));
    const char* name = (object->flags & kObjectNoFont) ? nullptr : TextGetFontName(object);
    const int32_t nameLength = name ? int32_t(std::strlen(name)) : 0;
    const uint8_t zero = 0;
    uint8_t numbers[8];
    LittleEndianPutU32(numbers, uint32_t(length));
    LittleEndianPutFloat(numbers + 4, object->text.size);
    uint8_t nameLengthBytes[4];
    LittleEndianPutU32(nameLengthBytes, uint32_t(nameLength));
    const bool ok = ObjectStreamWriteHeader(object, stream) && StreamWrite(stream, numbers, 8) &&
                    (length == 0 || StreamWrite(stream, object->text.string, size_t(length))) &&
                    StreamWrite(stream, &zero, 1) && StreamWrite(stream, nameLengthBytes, 4) &&
                    (nameLength == 0 ||
                     (StreamWrite(stream, name, size_t(nameLength)) && StreamWrite(stream, &zero, 1))) &&
                    BrushStreamWrite(object->text.brush, stream);
    return ok ? object : nullptr;
}

const Object2D* TextStreamWrite(const Object2D* object, Stream* stream)
{
    if (!ChunkHeaderWrite(stream, kChunkText, TextStreamGetSize(object), kEngineVersion, kEngineBuild)) {
        return nullptr;
    }
    return TextStreamWriteBody(object, stream);
}

bool TextReadBody(Object2D* object, ChunkReader& reader)
{
    TextData& text = object->text;
    int32_t length = 0, nameLength = 0;
    float size = 0.0f;
    if (!reader.I32(&length) || !reader.F32(&size) || length < 0 || uint32_t(length) >= reader.left ||
        !std::isfinite(size)) {
        return false;
    }
    text.string = static_cast<char*>(MemoryAllocate(size_t(length) + 2, kStringHint));
    char* name = nullptr;
    bool ok = text.string && reader.Read(text.string, uint32_t(length) + 1) && reader.I32(&nameLength) &&
              nameLength >= 0 && (nameLength == 0 || uint32_t(nameLength) < reader.left);
    if (ok && text.string) {
        text.string[length] = text.string[length + 1] = 0;
        text.length = length;
    }
    if (ok && nameLength > 0) {
        name = static_cast<char*>(MemoryAllocate(size_t(nameLength) + 1, kStringHint));
        ok = name && reader.Read(name, uint32_t(nameLength) + 1);
        if (ok) {
            name[nameLength] = 0;
        }
    }
    uint32_t brushSize = 0;
    ok = ok && ChunkReaderHeader(reader, kChunkBrush, &brushSize) && reader.Take(brushSize) &&
         (text.brush = BrushCreate()) != nullptr && BrushStreamReadBody(text.brush, reader.stream, brushSize);
    text.size = size;
    if (ok) {
        // A name of length 0 means the text had no font: it is not looked for.
        if (nameLength > 0) {
            AttachFont(object, name);
        } else {
            text.font = nullptr;
            object->flags |= kObjectNoFont;
        }
    } else {
        TextDestroyData(object);
    }
    MemoryFree(name);
    return ok;
}

Object2D* TextStreamReadBody(Object2D* object, Stream* stream, uint32_t size)
{
    ChunkReader reader = {stream, size};
    const bool ok = TextReadBody(object, reader);
    reader.SkipRest();
    return ok ? object : nullptr;
}

Object2D* TextStreamRead(Stream* stream)
{
    return ObjectStreamReadChunk(stream, kChunkText, kObjectText, TextReadBody);
}
