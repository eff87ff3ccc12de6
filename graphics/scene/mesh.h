#pragma once
// Meshes: an object's triangles grouped by material into meshes of 16-bit
// indices (lists or strips), held in one MeshHeader block. Geometries and
// world sectors own one each; the renderer instances from it and compares
// its serial number with what it instanced last. The mesh module (engine
// module 0x502) keeps the serial counter (reset to 1 at every engine start)
// and the free list of the build lists from which meshes are made.
//
// Saved form (extension 0x50E of geometries and world sectors), all u32:
// flags, mesh count, total index count, then per mesh its index count, its
// material's index in the owner's material list (0xFFFFFFFF for a mesh of
// no material) and, unless the owner is native, its indices widened to 32 bits.

#include <cstdint>

struct Material;
struct MaterialList;
struct Stream;

/// MeshHeader::flags: the primitive of every mesh.
constexpr uint32_t kMeshTriangleList = 0x00;
constexpr uint32_t kMeshTriangleStrip = 0x01;
constexpr uint32_t kMeshTriangleFan = 0x02;
constexpr uint32_t kMeshLineList = 0x04;
constexpr uint32_t kMeshPolyLine = 0x08;
constexpr uint32_t kMeshPointList = 0x10;
constexpr uint32_t kMeshPrimitiveMask = 0xFF;
constexpr uint32_t kMeshUnindexed = 0x100;

/// Material index saved for a mesh whose material is in no list.
constexpr uint32_t kMeshNoMaterial = 0xFFFFFFFF;

struct Mesh
{
    uint16_t* indices; ///< into the header's index area
    uint32_t numIndices;
    Material* material; ///< null: no material (drawn opaque and untextured)
};

/// Followed in the same block by numMeshes Mesh records, then every mesh's indices.
struct MeshHeader
{
    uint32_t flags; ///< kMesh... primitive | kMeshUnindexed
    uint16_t numMeshes;
    uint16_t serial; ///< changes whenever the meshes are rebuilt
    uint32_t totalIndices;
    uint32_t firstMeshOffset; ///< 0: the meshes follow the header
};

/// The header's meshes.
inline Mesh* MeshHeaderGetMeshes(MeshHeader* header)
{
    return reinterpret_cast<Mesh*>(header + 1);
}
inline const Mesh* MeshHeaderGetMeshes(const MeshHeader* header)
{
    return reinterpret_cast<const Mesh*>(header + 1);
}
/// Bytes of a header block with `meshes` meshes and `indices` indices.
inline uint64_t MeshHeaderBlockSize(uint64_t meshes, uint64_t indices)
{
    return sizeof(MeshHeader) + meshes * sizeof(Mesh) + indices * sizeof(uint16_t);
}

/// One triangle to build meshes from, with the material it is drawn with and
/// the caller's order numbers of the material's texture, raster and pipeline.
struct MeshBuildTriangle
{
    uint16_t vertex[3];
    Material* material;
    uint16_t materialIndex; ///< in the owner's material list (0xFFFF: none)
    uint16_t textureOrder;
    uint16_t rasterOrder;
    uint16_t pipelineOrder;
};

struct MeshBuildList
{
    uint32_t capacity;
    uint32_t count;
    MeshBuildTriangle* triangles;
};

using MeshCallBack = Mesh* (*)(Mesh* mesh, MeshHeader* header, void* data);

/// Engine module 0x502 open and close (registered by WorldLibraryAttach):
/// the serial counter starts at 1; the build-list free list lives from the
/// first open to the last close. Open answers null when it cannot be made.
void* MeshPoolOpen(void* instance, int32_t offset, int32_t size);
void* MeshPoolClose(void* instance, int32_t offset, int32_t size);

/// A header block of `size` bytes, or null (kErrorOutOfMemory).
MeshHeader* MeshHeaderAlloc(uint64_t size);
/// Frees the header unless it is the shared empty one; null is accepted. 1.
int32_t MeshHeaderDestroy(MeshHeader* header);
/// The shared empty header (no meshes) of objects without triangles.
MeshHeader* MeshHeaderGetEmpty();
/// The serial counter's value, then advances it (wrapping at 16 bits).
uint16_t MeshHeaderNextSerial();
/// Calls `callBack` on each mesh in order until it answers null; the header.
MeshHeader* MeshHeaderForAllMeshes(MeshHeader* header, MeshCallBack callBack, void* data);

/// A build list with room for `triangleCount` triangles, or null (kErrorOutOfMemory).
MeshBuildList* MeshBuildListCreate(uint32_t triangleCount);
/// Appends a triangle, growing the array when full; the list, or null (kErrorOutOfMemory).
MeshBuildList* MeshBuildListAddTriangle(MeshBuildList* list, Material* material, uint16_t v0, uint16_t v1,
                                        uint16_t v2, uint16_t materialIndex, uint16_t textureOrder,
                                        uint16_t rasterOrder, uint16_t pipelineOrder);
/// Frees the array and gives the record back. 1.
int32_t MeshBuildListDestroy(MeshBuildList* list);

/// True when `owner` (a Geometry or a World) saves its indices in the mesh
/// payload: it is not native.
bool MeshOwnerSavesIndices(const void* owner);
/// Bytes of the payload: 12 + 8 per mesh (+ 4 per index when the owner saves indices).
uint32_t MeshStreamSize(const MeshHeader* header, const void* owner);
/// Writes the payload; a material missing from `materials` is saved as
/// kMeshNoMaterial. The stream or null.
Stream* MeshStreamWrite(const MeshHeader* header, const void* owner, Stream* stream,
                        const MaterialList* materials);
/// Reads a payload into a new header (with a new serial): null on a short
/// read, more than 65535 meshes, mesh index counts above the total, a
/// material index outside `materials`, or an index at or beyond `vertexCount`.
MeshHeader* MeshStreamRead(Stream* stream, const void* owner, const MaterialList* materials,
                           int32_t vertexCount);
