#pragma once
// Shapes (2-D objects of kind 2): a shared, reference-counted list of
// entries, each a path drawn with a brush as a filled area or a stroked
// band. A shape draws its paths directly through immediate-mode 3-D or,
// once built, as an atomic whose geometry was generated from the paths
// (fills triangulated, strokes as bands) and whose frame follows the 2-D
// world matrix. A shape alone is saved as chunk 0x1A4.

#include <cstdint>

#include "graphics/toolkit2d/object2d.h"

struct Atomic;
struct Brush;
struct Geometry;
struct GrowArray;
struct Material;
struct Path;
struct RGBA;
struct Stream;

constexpr uint32_t kChunkShape = 0x1A4;

/// Entry mode bit: set to fill the path, clear to stroke it.
constexpr uint32_t kShapeFill = 1;

struct ShapeEntry
{
    uint32_t mode;
    Path* path;   ///< owned by the list
    Brush* brush; ///< one reference held by the list
};

struct ShapeList
{
    GrowArray* entries; ///< of ShapeEntry
    int32_t refCount;
    Geometry* geometry; ///< null until built
};

/// Kind data of a shape.
struct ShapeData
{
    ShapeList* list;
    RGBA* savedColours; ///< per material of the built geometry: its colour when built
    Atomic* atomic;     ///< null until built
};
static_assert(sizeof(ShapeData) <= sizeof(Object2D::reserved), "shape data fits the record");

/// Shape data of an object of kind 2.
inline ShapeData* ShapeGetData(Object2D* object)
{
    return reinterpret_cast<ShapeData*>(object->reserved);
}
inline const ShapeData* ShapeGetData(const Object2D* object)
{
    return reinterpret_cast<const ShapeData*>(object->reserved);
}

/// A new list with room for `entryCount` entries and one reference; null when out of memory.
ShapeList* ShapeListCreate(int32_t entryCount);
/// Adds a reference; the new count.
int32_t ShapeListAddRef(ShapeList* list);
/// Drops a reference; at the last destroys every path, releases every
/// brush and the geometry, frees the list and answers true.
bool ShapeListRelease(ShapeList* list);

/// A new shape with an empty list (kind flag set); null when out of memory.
Object2D* ShapeCreate();
/// Makes `object` a shape sharing `list` (a reference added), or with a
/// new list of room for `entryCount` entries when `list` is null. False
/// when out of memory.
bool ShapeInit(Object2D* object, int32_t entryCount, ShapeList* list);
/// Appends {mode, path, brush}: the list owns the path from then on and
/// holds a reference to the brush. Null when out of memory.
Object2D* ShapeAddEntry(Object2D* object, uint32_t mode, Path* path, Brush* brush);
int32_t ShapeGetEntryCount(const Object2D* object);
ShapeList* ShapeGetList(Object2D* object);

/// Releases the list and destroys the atomic, its frame and the saved colours.
bool ShapeDestroyData(Object2D* object);
/// ShapeDestroyData and the record; false for null.
bool ShapeDestroy(Object2D* object);
/// dst (a record without kind data) becomes a copy of src sharing its
/// list, with a clone of its atomic and its own saved colours. Null when
/// out of memory (dst then holds nothing).
Object2D* ShapeCopy(Object2D* dst, const Object2D* src);

/// Builds the list's geometry, and an atomic on a frame placed by the
/// current 2-D matrix; the shape then draws through the atomic (kind flag
/// cleared). Null when out of memory or the geometry is too large.
Object2D* ShapeBuild(Object2D* object);
/// Destroys the atomic, its frame and the saved colours; sets the kind flag.
Object2D* ShapeReleaseAtomic(Object2D* object);
/// Gives dst (sharing src's list) a clone of src's atomic on a frame of its
/// own and a copy of the saved colours. False when out of memory.
bool ShapeCloneAtomic(Object2D* dst, const Object2D* src);

/// Generates the geometry of every entry (fills: closed sub-paths only,
/// tessellated; strokes: bands) into a new geometry that replaces the
/// list's. Null when out of memory or past 65,535 vertices.
Geometry* ShapeListBuildGeometry(ShapeList* list);
/// Writes the band of one straight sub-path at the running bases and
/// advances them: 2n vertices, 2n - 2 triangles of `material`.
bool PathStrokeToGeometry(const Path* sub, Brush* brush, Material* material, Geometry* geometry,
                          int32_t* vertexBase, int32_t* triangleBase);
/// Writes one closed straight sub-path of n nodes as its n - 1 vertices and
/// the `triangleCount` index triples of its tessellation, advancing the bases.
bool PathFillToGeometry(const Path* sub, const uint32_t* indices, int32_t triangleCount, Brush* brush,
                        Material* material, Geometry* geometry, int32_t* vertexBase, int32_t* triangleBase);

/// The shape lists of a container's file: a shape inside a container names
/// its list by index here.
struct ShapeListTable
{
    ShapeList** lists;
    int32_t count;
};

/// Bytes of a list in its stream form.
uint32_t ShapeListStreamGetSize(const ShapeList* list);
/// Writes the list (format version, entry count, entries); null on a stream failure.
const ShapeList* ShapeListStreamWrite(const ShapeList* list, Stream* stream);
/// Reads a list within the next `size` bytes and builds its geometry; null
/// (nothing left allocated) on a short read, bad counts or a missing chunk.
ShapeList* ShapeListStreamRead(Stream* stream, uint32_t size);
/// Body bytes of a shape written alone (common header and its list).
uint32_t ShapeStreamGetSize(const Object2D* object);
/// The common header and, with a table, the list's index in it (-1 when
/// absent), else the list itself.
const Object2D* ShapeStreamWriteBody(const Object2D* object, Stream* stream, const ShapeListTable* table);
/// Chunk 0x1A4 and the body without a table.
const Object2D* ShapeStreamWrite(const Object2D* object, Stream* stream);
/// Reads a body of `size` bytes (common header, then the list or its index
/// in `table`) into `object` and builds its atomic. Null on failure.
Object2D* ShapeStreamReadBody(Object2D* object, Stream* stream, uint32_t size, const ShapeListTable* table);
/// Finds the next chunk 0x1A4 and reads a new built shape; null on failure.
Object2D* ShapeStreamRead(Stream* stream);

/// Draws the shape tinted by scale x parent scale and offset x parent
/// scale + parent offset (parent offset in 0-1): directly, or through the
/// built atomic. Null when drawing fails.
Object2D* ShapeRenderWith(Object2D* object, const float* scale, const float* offset);
/// ShapeRenderWith with a neutral tint.
Object2D* ShapeRender(Object2D* object);
