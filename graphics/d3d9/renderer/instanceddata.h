#pragma once
// Instanced data: the Direct3D 9 form of a geometry, a morphing atomic or a
// world sector (index buffer, primitive type, up to two vertex streams, a
// vertex declaration and one record per mesh), held in a resources-arena
// entry whose owner slot is the geometry's (one morph target), the atomic's
// (several targets) or the sector's. Built by the atomic and sector nodes,
// read by the render callbacks and the skin and effects pipelines, saved by
// the native-data streams. Native data (read from a native stream, or
// instanced to be saved) has nothing to be rebuilt from: its entry lives
// outside the arena, is never evicted and is freed with its owner.
//
// Stream records and the entry never move while the entry lives: the driver
// rewrites a dynamic stream's buffer pointer through its slot at a reset.

#include <cstdint>

#include "graphics/core/resources.h"
#include "platform/d3d9/d3d9.h"

struct Material;
struct MeshHeader;
struct InstancedData;

/// InstancedStream::elementMask bits (the geometry's lock-flag values).
constexpr uint16_t kInstancedPositions = 0x2;
constexpr uint16_t kInstancedNormals = 0x4;
constexpr uint16_t kInstancedPreLit = 0x8;
constexpr uint16_t kInstancedTexCoords0 = 0x10; ///< set n: kInstancedTexCoords0 << n

/// One vertex stream of an instanced object.
struct InstancedStream
{
    IDirect3DVertexBuffer9* buffer;
    uint32_t offset;      ///< bytes of the object's vertices inside the buffer
    uint32_t stride;      ///< bytes per vertex
    uint16_t elementMask; ///< kInstanced... bits of the data held here
    uint8_t managed;      ///< 1: a range of a shared managed buffer; 0: a dynamic buffer of its own
    uint8_t external;     ///< 1: owned elsewhere, never given back here
};

/// One mesh: a material's run of indices (or of vertices when unindexed).
struct InstancedMesh
{
    uint32_t numIndices;                  ///< 0 without an index buffer
    uint32_t minVertex;                   ///< smallest vertex index of the mesh
    Material* material;                   ///< null: no material (drawn white and untextured)
    uint32_t vertexAlpha;                 ///< 1 when a pre-lit colour of its vertices has alpha below 255
    IDirect3DVertexShader9* vertexShader; ///< null for fixed function
    uint32_t baseVertexIndex;
    uint32_t numVertices; ///< largest minus smallest index plus one
    uint32_t startIndex;  ///< first index of the mesh in the index buffer
    uint32_t numPrimitives;
};

struct InstancedData
{
    uint32_t serial; ///< of the mesh header it was built from
    uint32_t numMeshes;
    IDirect3DIndexBuffer9* indexBuffer; ///< null when the meshes are unindexed
    uint32_t primType;                  ///< D3DPRIMITIVETYPE of every mesh
    InstancedStream streams[2];
    uint32_t useOffsets; ///< 1: stream offsets go to SetStreamSource, base vertices omit them
    IDirect3DVertexDeclaration9* declaration;
    uint32_t totalIndices;
    uint32_t numVertices;
    // numMeshes InstancedMesh records follow.
};

inline InstancedMesh* InstancedDataMeshes(InstancedData* data)
{
    return reinterpret_cast<InstancedMesh*>(data + 1);
}
inline InstancedData* InstancedDataFromEntry(ResourcesEntry* entry)
{
    return static_cast<InstancedData*>(ResourcesEntryData(entry));
}

/// Low word of the memory hint of instanced data outside the arena.
constexpr uint32_t kInstancedDataHint = 0x50D;

/// Owner tag of a sector's entry (sectors carry no object header); other
/// entries carry their owner's object type (geometry 8, atomic 1).
constexpr uint32_t kInstancedSectorOwner = 0xFFFFFFFF;

/// ObjectType given to InstancedDataCreate and the render callback.
constexpr int32_t kInstancedAtomic = 1;
constexpr int32_t kInstancedWorldSector = -1;

/// Builds or refreshes an object's instanced data; 1 on success, 0 on failure.
using InstanceCallBack = int32_t (*)(void* object, InstancedData* data, int32_t reinstance);

/// A new entry for `object`, stored in `*slot`: indices copied (strips that
/// cost more than a list become a sorted list), then `instance` called with
/// reinstance 0. With `outsideArena` the block comes from the engine's heap
/// and lives until its owner frees it. Null on failure (nothing left behind).
ResourcesEntry* InstancedDataCreate(void* object, void* owner, int32_t objectType, ResourcesEntry** slot,
                                    const MeshHeader* meshHeader, InstanceCallBack instance,
                                    uint32_t outsideArena);
/// The entries' destroy callback: buffers, declaration and restore-list
/// entry given back. Entries in and outside the arena are freed alike, by
/// ResourcesFreeEntry.
void InstancedDataDestroy(ResourcesEntry* entry);
/// Bytes of an entry's data with `numMeshes` meshes.
uint32_t InstancedDataSize(uint32_t numMeshes);
/// An uncleared entry for `numMeshes` meshes outside the arena (native data:
/// never evicted, freed with its owner), stored in `*slot`; null on failure.
ResourcesEntry* InstancedDataAllocateOutsideArena(uint32_t ownerType, ResourcesEntry** slot,
                                                  uint32_t numMeshes);

/// Gives back what the two stream records hold and clears them.
void InstancedStreamsRelease(InstancedData* data);

/// Smallest index into *minimum and largest - smallest + 1 into *range (both 0 when empty).
void IndexListRange(const uint16_t* indices, uint32_t count, uint32_t* range, uint32_t* minimum);
/// Sorts count / 3 triangles by their sorted indices (TriangleIndexCompare).
void TrianglesSortByIndex(uint16_t* indices, uint32_t count);
/// Writes the strip's non-degenerate triangles as a list, each index minus
/// `base`; the number of indices written (at most 3 x (count - 2)).
uint32_t TriStripToTriList(uint16_t* out, const uint16_t* strip, uint32_t count, uint32_t base);
/// Non-degenerate triangles of a strip of `count` indices.
uint32_t TriStripCountTriangles(const uint16_t* strip, uint32_t count);
/// qsort-style order of declaration elements: by stream, then offset.
int VertexElementCompare(const void* a, const void* b);
/// qsort-style order of triangles (3 u16 each) by sorted smallest, middle, largest index.
int TriangleIndexCompare(const void* a, const void* b);
/// Tangents from positions and texture coordinates of the data's triangles
/// (relative to each mesh's minimum vertex), written as `type` into `dst`
/// every `stride` bytes; a vertex no triangle touches gets (0, 0, 0). 1, or
/// 0 when memory or the index buffer cannot be had.
int32_t VertexTangentsWrite(const float* positions, const float* texCoords, InstancedData* data,
                            uint32_t type, void* dst, uint32_t stride);
