#pragma once
// Containers (2-D objects of kind 1): child objects composed under the
// container's matrix and colour tint and drawn in ascending draw order. A
// container is built in pointer mode (each child a separate record, kind
// flag set) and made inline (the child records held in one array, with a
// draw list sorted by draw order) before it is drawn or saved. Saved as
// chunk 0x1A5 with the shape lists of every shape below it written once.

#include <cstdint>

#include "graphics/toolkit2d/object2d.h"

struct GrowArray;
struct Stream;

constexpr uint32_t kChunkContainer = 0x1A5;

/// An entry of the draw list: an inline child and its sort key.
struct ContainerDrawEntry
{
    Object2D* child;
    int32_t key;
};

/// Kind data of a container.
struct ContainerData
{
    GrowArray* children; ///< of Object2D* (pointer mode) or of Object2D (inline)
    int32_t count;       ///< children
    GrowArray* drawList; ///< of ContainerDrawEntry; inline mode only
    int32_t resort;      ///< refresh the keys and sort before the next draw
};
static_assert(sizeof(ContainerData) <= sizeof(Object2D::reserved), "container data fits the record");

inline ContainerData* ContainerGetData(Object2D* object)
{
    return reinterpret_cast<ContainerData*>(object->reserved);
}
inline const ContainerData* ContainerGetData(const Object2D* object)
{
    return reinterpret_cast<const ContainerData*>(object->reserved);
}

/// Callback of ContainerForAllChildren; return null to stop.
using ContainerChildCallback = Object2D* (*)(Object2D* child, Object2D* container, void* data);

/// A new empty container in pointer mode; null when out of memory.
Object2D* ContainerCreate();
/// Makes `object` an empty pointer-mode container with room for `capacity`
/// children. False when out of memory.
bool ContainerInit(Object2D* object, int32_t capacity);
/// Appends a child record (the container owns it from then on; an inline
/// container goes back to pointer mode first). Null when out of memory.
Object2D* ContainerAddChild(Object2D* object, Object2D* child);
/// Creates and appends a child of `kind` (1-3, with empty contents); the
/// child, or null when out of memory.
Object2D* ContainerAddNew(Object2D* object, int32_t kind);
Object2D* ContainerAddContainer(Object2D* object);
Object2D* ContainerAddShape(Object2D* object);
Object2D* ContainerAddHitRegion(Object2D* object);
Object2D* ContainerAddText(Object2D* object, const char* string, const char* fontName);
int32_t ContainerGetChildCount(const Object2D* object);
/// Child `index` (0 .. count - 1), or null outside.
Object2D* ContainerGetChild(Object2D* object, int32_t index);
/// Calls `callback` for each child in turn; stops when it answers null.
Object2D* ContainerForAllChildren(Object2D* object, ContainerChildCallback callback, void* data);
/// Inline to pointer mode: every child moved into a record of its own.
Object2D* ContainerMakePointers(Object2D* object);
/// Pointer to inline mode: the child records moved into one array (the
/// separate records freed) and the draw list built and sorted.
Object2D* ContainerMakeInline(Object2D* object);
/// The draw list is sorted again (keys refreshed) before the next draw.
Object2D* ContainerMarkForSort(Object2D* object);
/// Composes the world matrices of the whole tree without drawing; hit
/// regions keep the inverse. Null when the CTM stack is full.
Object2D* ContainerUpdateMatrices(Object2D* object);
/// Draws the children in draw order, tinted by the container's scale and
/// offset composed with the parent's (scale factors, offset in 0-1). Null
/// when a child fails to draw.
Object2D* ContainerRenderWith(Object2D* object, const float* scale, const float* offset);
Object2D* ContainerRender(Object2D* object);
/// Destroys every child and the arrays.
bool ContainerDestroyData(Object2D* object);
/// ContainerDestroyData and the record; false for null.
bool ContainerDestroy(Object2D* object);
/// dst (a record without kind data) becomes a deep copy of src (shapes
/// share their lists). Null when out of memory (dst then holds nothing).
Object2D* ContainerCopy(Object2D* dst, const Object2D* src);
/// Body bytes of the container's chunk; 0 when out of memory.
uint32_t ContainerStreamGetSize(const Object2D* object);
/// The body: common header, child count, list table, children. Null on a
/// stream failure or when out of memory ({0x190, 0x80000013} recorded).
const Object2D* ContainerStreamWriteBody(const Object2D* object, Stream* stream);
/// Chunk 0x1A5 and its body.
const Object2D* ContainerStreamWrite(const Object2D* object, Stream* stream);
/// Finds the next chunk 0x1A5 and reads a new inline container; null on a
/// short read, a count the chunk cannot hold, a list index outside the
/// table or a missing chunk (nothing left allocated).
Object2D* ContainerStreamRead(Stream* stream);
