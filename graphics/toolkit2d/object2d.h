#pragma once
// 2-D objects: the toolkit's retained scene. Each object carries a local
// matrix, the world matrix composed at its last draw, a colour tint (scale
// and offset) and one kind of content: 1 a container and 2 a shape (of the
// shapes module), 3 a hit region (a path tested against points, never
// drawn), 4 a text (a string drawn with a font and a brush). Operations
// dispatch by kind. Saved objects start with a common header (format
// version, kind, draw order, tint) and the local matrix; hit regions are
// chunk 0x1A6, texts chunk 0x1A7.

#include <cstdint>

#include "graphics/core/matrix.h"

struct Brush;
struct FontListNode;
struct Path;
struct Stream;

constexpr uint32_t kChunkHitRegion = 0x1A6;
constexpr uint32_t kChunkText = 0x1A7;

enum ObjectKind : int32_t
{
    kObjectContainer = 1,
    kObjectShape = 2,
    kObjectHitRegion = 3,
    kObjectText = 4,
};

/// Object flag bits.
constexpr uint32_t kObjectKindFlag = 1;       ///< kind-specific
constexpr uint32_t kObjectRecompose = 2;      ///< the world matrix must be composed again
constexpr uint32_t kObjectVisible = 4;        ///< drawn and hit-tested
constexpr uint32_t kObjectColourSet = 8;      ///< a tint was set
constexpr uint32_t kObjectNoFont = 0x1000000; ///< the text's font was not found
constexpr int32_t kObjectDefaultOrder = 666;  ///< draw order of a new object

struct HitRegionData
{
    Path* path;
    Matrix inverse; ///< of the world matrix composed at the last update
};

struct TextData
{
    char* string;       ///< 8- or 16-bit codes as the font needs, ended by two zero bytes
    Brush* brush;       ///< owned
    int32_t length;     ///< bytes without the terminator; the buffer never shrinks below it + 2
    float size;         ///< glyph height in 2-D units
    FontListNode* font; ///< the font list's node, or null
};

struct Object2D
{
    int32_t kind;      ///< ObjectKind
    int32_t drawOrder; ///< sort key among a container's children
    uint32_t flags;
    Matrix local;
    Matrix world;
    float colourScale[4];  ///< R, G, B, A factors
    float colourOffset[4]; ///< added, in 0-255 units
    union {
        HitRegionData hitRegion;
        TextData text;
        uint8_t reserved[96]; ///< kinds 1 and 2
    };
};

/// Object module: the record free list. False when out of memory.
bool ObjectModuleOpen();
void ObjectModuleClose();
/// Block parameters used by the next open (defaults 32 entries, 1 block).
void ObjectSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate);

/// A raw record, or null; ObjectFree gives it back.
Object2D* ObjectAlloc();
void ObjectFree(Object2D* object);
/// The defaults: draw order 666, visible and to recompose, identity
/// matrices, scale 1 and offset 0, kind data zeroed.
Object2D* ObjectInit(Object2D* object, int32_t kind);
Object2D* ObjectCopyRecord(Object2D* dst, const Object2D* src);

/// Dispatch by kind; each answers 0 / null for a kind without the operation.
bool ObjectDestroyData(Object2D* object);
uint32_t ObjectStreamGetSize(const Object2D* object);
const Object2D* ObjectStreamWrite(const Object2D* object, Stream* stream);
/// Reads the common header and the kind's body (`size` body bytes) into a
/// record allocated by the caller. Null on failure (the kind data freed).
Object2D* ObjectStreamReadBody(Object2D* object, Stream* stream, uint32_t size, void* listTable);
/// Draws (or, for a hit region, updates) the object; kind 0 draws nothing.
Object2D* ObjectRender(Object2D* object, const float* scale, const float* offset);
/// Makes `dst` (a record whose kind data is free) an independent copy of `src`.
Object2D* ObjectCopy(Object2D* dst, const Object2D* src);
/// dst = src: dst's kind data destroyed first (a new record when dst is null).
Object2D* ObjectAssign(Object2D* dst, const Object2D* src);

/// Transform of the local matrix; each marks the world matrix for recomposing.
Matrix* ObjectGetMatrix(Object2D* object);
Object2D* ObjectSetMatrix(Object2D* object, const Matrix* matrix);
Object2D* ObjectSetMatrixFromCTM(Object2D* object);
Object2D* ObjectResetMatrix(Object2D* object);
Object2D* ObjectScale(Object2D* object, float x, float y);
Object2D* ObjectTranslate(Object2D* object, float x, float y);
Object2D* ObjectRotate(Object2D* object, float degrees);
Object2D* ObjectMarkDirty(Object2D* object);

/// Colour tint: the scale as four factors, the offset as four values in 0-1.
float* ObjectGetColourScale(Object2D* object);
Object2D* ObjectSetColourScale(Object2D* object, const float* rgba);
Object2D* ObjectSetColourOffset(Object2D* object, const float* rgba);
/// The offset in 0-1 units, in a module array overwritten by the next call.
const float* ObjectGetColourOffset(const Object2D* object);

int32_t ObjectGetKind(const Object2D* object);
bool ObjectIsContainer(const Object2D* object);
bool ObjectIsShape(const Object2D* object);
bool ObjectIsHitRegion(const Object2D* object);
bool ObjectIsText(const Object2D* object);
bool ObjectIsVisible(const Object2D* object);
int32_t ObjectGetDrawOrder(const Object2D* object);
Object2D* ObjectSetDrawOrder(Object2D* object, int32_t order);

/// Pushes the object's world matrix onto the CTM (composed again from the
/// CTM and the local matrix when marked); the caller pops. False when the
/// stack is full (nothing pushed).
bool ObjectPushWorldMatrix(Object2D* object);

// ---- hit regions (kind 3) ----------------------------------------------------

/// A new hit region with an empty path; null when out of memory.
Object2D* HitRegionCreate();
Object2D* HitRegionInit(Object2D* object);
Path* HitRegionGetPath(Object2D* object);
bool HitRegionDestroyData(Object2D* object);
/// Frees the data and the record; false for null.
bool HitRegionDestroy(Object2D* object);
/// Whether the point lies in the path's first sub-path (even-odd) as placed
/// at the last update; false when the region is not visible.
bool HitRegionContainsPoint(const Object2D* object, const V2d* point);
/// Composes the world matrix and keeps its inverse; draws nothing.
Object2D* HitRegionUpdate(Object2D* object, const float* scale, const float* offset);
uint32_t HitRegionStreamGetSize(const Object2D* object);
const Object2D* HitRegionStreamWriteBody(const Object2D* object, Stream* stream);
/// Chunk 0x1A6 and its body.
const Object2D* HitRegionStreamWrite(const Object2D* object, Stream* stream);
/// The path of a body whose common header was read; false on failure.
Object2D* HitRegionStreamReadBody(Object2D* object, Stream* stream, uint32_t size);
/// Finds the next chunk 0x1A6 and reads a new hit region; null on failure.
Object2D* HitRegionStreamRead(Stream* stream);

// ---- texts (kind 4) ----------------------------------------------------------

/// A new text of `string` (null for none) in the listed or read font
/// `fontName`. A font that cannot be found records {0x190, 0} and marks
/// the text (kObjectNoFont): it stays usable but draws nothing. Null when
/// out of memory.
Object2D* TextCreate(const char* string, const char* fontName);
Object2D* TextInit(Object2D* object, const char* string, const char* fontName);
/// Frees the string and releases the brush; the brush release's result.
bool TextDestroyData(Object2D* object);
bool TextDestroy(Object2D* object);
const char* TextGetString(const Object2D* object);
/// The font's name, or null without a font.
const char* TextGetFontName(const Object2D* object);
float TextGetSize(const Object2D* object);
Object2D* TextSetSize(Object2D* object, float size);
/// Looks the font up (listed or read); null when it cannot be found (the
/// text then has no font). Success clears kObjectNoFont.
Object2D* TextSetFont(Object2D* object, const char* fontName);
/// Copies the brush's colours, coordinates, flags, texture and material (one
/// reference taken to each) and half width into the text's own brush.
Object2D* TextSetBrush(Object2D* object, const Brush* brush);
/// Copies the string (measured in the font's code width); null when out of memory.
Object2D* TextSetString(Object2D* object, const char* string);
/// Draws the text tinted by its colour scale and offset.
Object2D* TextRender(Object2D* object, const float* scale, const float* offset);
uint32_t TextStreamGetSize(const Object2D* object);
const Object2D* TextStreamWriteBody(const Object2D* object, Stream* stream);
/// Chunk 0x1A7 and its body.
const Object2D* TextStreamWrite(const Object2D* object, Stream* stream);
Object2D* TextStreamReadBody(Object2D* object, Stream* stream, uint32_t size);
/// Finds the next chunk 0x1A7 and reads a new text; null on failure.
Object2D* TextStreamRead(Stream* stream);
