#pragma once
// Geometries: the shared, reference-counted mesh data of atomics: vertex
// arrays split into morph targets, texture coordinates, pre-lit colours,
// triangles with material indices, a material list and the meshes built
// from the triangles.

#include <cstdint>

#include "graphics/core/camera.h"
#include "graphics/core/object.h"
#include "graphics/core/vector.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/scenetypes.h"

struct MeshHeader;
struct ResourcesEntry;
struct Geometry;

/// ObjectHeader::type of geometries.
constexpr uint8_t kObjectTypeGeometry = 8;

/// Geometry format flags.
constexpr uint32_t kGeometryTriStrip = 0x01;
constexpr uint32_t kGeometryPositions = 0x02;
constexpr uint32_t kGeometryTextured = 0x04; ///< one texture-coordinate set
constexpr uint32_t kGeometryPreLit = 0x08;
constexpr uint32_t kGeometryNormals = 0x10;
constexpr uint32_t kGeometryLight = 0x20;
constexpr uint32_t kGeometryModulateMaterialColor = 0x40;
constexpr uint32_t kGeometryTextured2 = 0x80; ///< two or more texture-coordinate sets
constexpr uint32_t kGeometryNative = 0x01000000;
constexpr uint32_t kGeometryNativeInstance = 0x02000000;

/// Lock flags.
constexpr uint16_t kGeometryLockTriangles = 0x0001;
constexpr uint16_t kGeometryLockVertices = 0x0002;
constexpr uint16_t kGeometryLockNormals = 0x0004;
constexpr uint16_t kGeometryLockAll = 0x0FFF;

/// At most this many texture-coordinate sets.
constexpr int32_t kGeometryMaxTexCoordSets = 8;
/// Material index of a triangle of no material.
constexpr uint16_t kGeometryNoMaterial = 0xFFFF;

struct GeometryTriangle
{
    uint16_t vertex[3];
    uint16_t material; ///< index in the geometry's material list, or kGeometryNoMaterial
};

struct MorphTarget
{
    Geometry* parent;
    Sphere boundingSphere;
    V3d* vertices;
    V3d* normals; ///< null without kGeometryNormals
};

struct Geometry
{
    ObjectHeader object; ///< type 8
    uint32_t format;     ///< kGeometry... flags
    uint16_t lockFlags;
    int16_t refCount;
    int32_t numTriangles;
    int32_t numVertices;
    int32_t numMorphTargets;
    int32_t numTexCoordSets;
    MaterialList materials;
    GeometryTriangle* triangles;
    RGBA* preLitColours;
    TexCoords* texCoords[kGeometryMaxTexCoordSets];
    MeshHeader* mesh;          ///< null until unlocked
    ResourcesEntry* instanced; ///< the renderer's instanced data
    MorphTarget* morphTargets;
    // Geometry plug-in data follows (GeometryRegisterPlugin).
};

struct Material;
struct Matrix;
struct Mesh;
struct Stream;

using GeometryMaterialCallBack = Material* (*)(Material* material, void* data);
using GeometryMeshCallBack = Mesh* (*)(Mesh* mesh, MeshHeader* header, void* data);

/// The 16-byte head of a saved geometry, as the chunk-info reader gives it.
struct GeometryChunkInfo
{
    uint32_t format; ///< texture-set count in bits 16-23, format flags
    int32_t numTriangles;
    int32_t numVertices;
    int32_t numMorphTargets;
};

/// New geometry with one morph target, every triangle of no material, one
/// reference. The number of texture-coordinate sets comes from bits 16-23 of
/// `format` (else 2 for flag 0x80, 1 for flag 0x04). Null without an error
/// for negative counts; null with library error 6 for 65536 vertices or
/// more; null with kErrorBadArgument for more than 8 sets.
Geometry* GeometryCreate(int32_t numVertices, int32_t numTriangles, uint32_t format);
/// Adds `count` zeroed morph targets; the index of the first, or -1
/// (kErrorOutOfMemory; the old targets kept).
int32_t GeometryAddMorphTargets(Geometry* geometry, int32_t count);
int32_t GeometryAddMorphTarget(Geometry* geometry);
/// Adds one reference; the geometry.
Geometry* GeometryAddRef(Geometry* geometry);
/// Drops one reference; the last frees everything, materials released. 1.
int32_t GeometryRelease(Geometry* geometry);
/// ORs lock flags in; locking the triangles drops the meshes. The geometry.
Geometry* GeometryLock(Geometry* geometry, uint16_t lockFlags);
/// Builds the meshes when there are none (strips with kGeometryTriStrip).
/// Triangles of no material, or of an index outside the list, form their own
/// mesh of no material. The geometry, or null when the build failed.
Geometry* GeometryUnlock(Geometry* geometry);
/// Transforms every morph target's points and normals (normalised) by the
/// matrix and recomputes their spheres (a target without vertices keeps its
/// sphere). Null for a native geometry or a failed unlock; the caller's
/// reference is kept either way.
Geometry* GeometryTransform(Geometry* geometry, const Matrix* matrix);
/// A geometry without vertices or triangles whose sphere is the origin with
/// `radius` (world units); null on failure.
Geometry* GeometryCreateSpace(float radius);
/// The target's bounding sphere (box centre, largest distance x 1.001) into
/// `sphere`; a target without vertices gives its stored sphere. The target.
MorphTarget* MorphTargetCalcBoundingSphere(MorphTarget* target, Sphere* sphere);

Geometry* GeometryTriangleSetVertexIndices(Geometry* geometry, GeometryTriangle* triangle, uint16_t v0,
                                           uint16_t v1, uint16_t v2);
/// Each out-parameter may be null.
const Geometry* GeometryTriangleGetVertexIndices(const Geometry* geometry, const GeometryTriangle* triangle,
                                                 uint16_t* v0, uint16_t* v1, uint16_t* v2);
/// Null stores kGeometryNoMaterial; otherwise the material's index (from the
/// end of the list), appended when absent. Null when the append fails.
Geometry* GeometryTriangleSetMaterial(Geometry* geometry, GeometryTriangle* triangle, Material* material);
/// The triangle's material, or null (no material or an index outside the list).
Material* GeometryTriangleGetMaterial(const Geometry* geometry, const GeometryTriangle* triangle);
/// Calls the callback on each material of the list until it answers null; the geometry.
Geometry* GeometryForAllMaterials(Geometry* geometry, GeometryMaterialCallBack callBack, void* data);
/// Calls the callback on each mesh; null without meshes.
Geometry* GeometryForAllMeshes(Geometry* geometry, GeometryMeshCallBack callBack, void* data);

/// Bytes of the chunk 0x0F body.
uint32_t GeometryStreamGetSize(const Geometry* geometry);
/// Writes chunk 0x0F (header included); the geometry or null.
const Geometry* GeometryStreamWrite(const Geometry* geometry, Stream* stream);
/// Reads a chunk 0x0F body (the caller found the chunk): a new unlocked
/// geometry, or null with the first error recorded. Refused: negative
/// counts, more than 8 sets, vertex or material indices outside their
/// arrays, morph-target counts the chunk cannot hold, a native geometry
/// without saved meshes.
Geometry* GeometryStreamRead(Stream* stream);
/// Reads the next struct chunk's first 16 bytes into `info` and skips the
/// rest; `size` gets the struct size + 12. The info, or null.
GeometryChunkInfo* GeometryStreamReadChunkInfo(Stream* stream, GeometryChunkInfo* info, int32_t* size);

/// Told of a regrouped geometry: the source, the new geometry, for each new
/// vertex its source vertex, and the new vertex count.
using GeometrySortByMaterialCallBack = Geometry* (*)(Geometry* source, Geometry* sorted,
                                                     const uint16_t* newToOld, uint16_t numVertices);

/// One triangle corner: key (corner << 30 | triangle), material index, vertex.
struct VertexRef
{
    uint32_t key;
    int16_t material;
    uint16_t vertex;
};

/// Order of corner references: by material index (signed), then by vertex.
int VertexRefCompare(const VertexRef* a, const VertexRef* b);
/// A new unlocked geometry whose vertices are regrouped so each material's
/// triangles use a contiguous run (a vertex shared by two materials is
/// duplicated), with every array, sphere, material and plug-in copied; the
/// callback (optional) is told before the unlock. Null on failure (more
/// than 65535 vertices needed: library error 6).
Geometry* GeometrySortVerticesByMaterial(Geometry* source, GeometrySortByMaterialCallBack callBack);
