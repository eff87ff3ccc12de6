#pragma once
// Private to the 2-D objects: the common stream header and the kinds' body
// readers, which read inside the object's chunk.

#include <cstdint>

#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/object2d.h"

/// Bytes of the common header: 44 and the local matrix chunk.
uint32_t ObjectStreamGetSizeBase();
const Object2D* ObjectStreamWriteHeader(const Object2D* object, Stream* stream);
/// Reads the common header into a fresh record of the stored kind.
bool ObjectReadHeader(Object2D* object, ChunkReader& reader);
bool HitRegionReadBody(Object2D* object, ChunkReader& reader);
bool TextReadBody(Object2D* object, ChunkReader& reader);
/// A shape's list read inside `reader`: by index in `table`, or the list
/// itself without one; the atomic is then built. False on failure (the
/// shape's data freed).
bool ShapeReadBodyWithTable(Object2D* object, ChunkReader& reader, const struct ShapeListTable* table);
bool ShapeReadBody(Object2D* object, ChunkReader& reader);
const Object2D* ShapeStreamWriteBodyAlone(const Object2D* object, Stream* stream);
/// A shape list read inside `reader`, its geometry built; null on failure.
struct ShapeList* ShapeListReadBody(ChunkReader& reader);
/// A standalone container body: its list table and children.
bool ContainerReadBody(Object2D* object, ChunkReader& reader);
/// Builds the atomic of a shape whose list has its geometry, on a frame
/// placed by `matrix` (identity when null). False when out of memory.
bool ShapeMakeAtomic(Object2D* object, const Matrix* matrix);
/// Reads a kind's body after the common header; false on failure (the kind data freed).
using ObjectBodyReader = bool (*)(Object2D* object, ChunkReader& reader);
/// Finds chunk `type` and reads a new object of `kind` from it with
/// `readBody`; null on failure.
Object2D* ObjectStreamReadChunk(Stream* stream, uint32_t type, int32_t kind, ObjectBodyReader readBody);
