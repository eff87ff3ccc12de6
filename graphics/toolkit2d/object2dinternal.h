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
/// Finds chunk `type` and reads a new object of `kind` from it; null on failure.
Object2D* ObjectStreamReadChunk(Stream* stream, uint32_t type, int32_t kind);
