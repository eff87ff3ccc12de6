// Geometries: creation with their arrays in one block, morph targets,
// references, locking, mesh building on unlock, transformation and the
// triangle and walk accessors.
#include "graphics/scene/geometry.h"

#include <cstring>

#include "graphics/core/bbox.h"
#include "graphics/core/error.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/resources.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/meshmaterials.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"

namespace {

constexpr uint32_t kHintGeometry = 0x3000F;
constexpr uint32_t kKeptFormatBits = 0x0F000000 | 0x7B;

// Texture-set count of a creation format word.
int32_t TexCoordSets(uint32_t format)
{
    uint32_t sets = (format >> 16) & 0xFF;
    if (sets == 0) {
        sets = (format & kGeometryTextured2) ? 2 : (format & kGeometryTextured) ? 1 : 0;
    }
    return int32_t(sets);
}

bool HasArrays(const Geometry* geometry)
{
    return !(geometry->format & kGeometryNative);
}

// Points every target's vertex and normal arrays into the target block.
void LayTargets(Geometry* geometry, MorphTarget* targets, int32_t count)
{
    auto* next = reinterpret_cast<V3d*>(targets + count);
    const bool arrays = HasArrays(geometry);
    for (int32_t i = 0; i < count; ++i) {
        targets[i].parent = geometry;
        targets[i].vertices = arrays ? next : nullptr;
        next += arrays ? geometry->numVertices : 0;
        targets[i].normals = arrays && (geometry->format & kGeometryNormals) ? next : nullptr;
        next += targets[i].normals ? geometry->numVertices : 0;
    }
}

size_t TargetBytes(const Geometry* geometry, int32_t count)
{
    size_t perTarget = sizeof(MorphTarget);
    if (HasArrays(geometry)) {
        perTarget +=
            sizeof(V3d) * size_t(geometry->numVertices) * ((geometry->format & kGeometryNormals) ? 2 : 1);
    }
    return perTarget * size_t(count);
}

} // namespace

Geometry* GeometryCreate(int32_t numVertices, int32_t numTriangles, uint32_t format)
{
    if (numVertices < 0 || numTriangles < 0) {
        return nullptr;
    }
    if (numVertices > 0xFFFF) {
        SceneError(kErrorSceneTooManyVertices);
        return nullptr;
    }
    const int32_t sets = TexCoordSets(format);
    if (sets > kGeometryMaxTexCoordSets) {
        SceneError(kErrorBadArgument);
        return nullptr;
    }
    uint32_t setFlag = sets == 1 ? kGeometryTextured : sets > 1 ? kGeometryTextured2 : 0;
    uint32_t stored = (format & kKeptFormatBits & ~(kGeometryTextured | kGeometryTextured2)) | setFlag;
    const bool arrays = !(stored & kGeometryNative);
    const size_t recordSize = size_t(GeometryGetPluginRegistry()->objectSize);
    size_t size = recordSize;
    if (arrays) {
        size += (stored & kGeometryPreLit) ? sizeof(RGBA) * size_t(numVertices) : 0;
        size += sizeof(TexCoords) * size_t(sets) * size_t(numVertices);
        size += sizeof(GeometryTriangle) * size_t(numTriangles);
    }
    auto* block = static_cast<uint8_t*>(MemoryAllocate(size, kHintGeometry));
    if (!block) {
        SceneError(ErrorCode(kErrorOutOfMemory, size));
        return nullptr;
    }
    auto* geometry = reinterpret_cast<Geometry*>(block);
    std::memset(geometry, 0, sizeof(Geometry));
    geometry->object.type = kObjectTypeGeometry;
    geometry->format = stored;
    geometry->refCount = 1;
    geometry->numTriangles = numTriangles;
    geometry->numVertices = numVertices;
    geometry->numTexCoordSets = sets;
    MaterialListInitialize(&geometry->materials);
    if (arrays) {
        uint8_t* next = block + recordSize;
        if (stored & kGeometryPreLit) {
            geometry->preLitColours = reinterpret_cast<RGBA*>(next);
            next += sizeof(RGBA) * size_t(numVertices);
        }
        for (int32_t s = 0; s < sets; ++s) {
            geometry->texCoords[s] = reinterpret_cast<TexCoords*>(next);
            next += sizeof(TexCoords) * size_t(numVertices);
        }
        geometry->triangles = reinterpret_cast<GeometryTriangle*>(next);
        for (int32_t t = 0; t < numTriangles; ++t) {
            geometry->triangles[t].material = kGeometryNoMaterial;
        }
    }
    if (GeometryAddMorphTarget(geometry) < 0) {
        MemoryFree(block);
        return nullptr;
    }
    if (!PluginRegistryConstruct(GeometryGetPluginRegistry(), geometry)) {
        MemoryFree(geometry->morphTargets);
        MemoryFree(block);
        return nullptr;
    }
    return geometry;
}

int32_t GeometryAddMorphTargets(Geometry* geometry, int32_t count)
{
    const int32_t old = geometry->numMorphTargets;
    const int32_t total = old + count;
    const size_t bytes = TargetBytes(geometry, total);
    auto* targets = static_cast<MorphTarget*>(MemoryAllocate(bytes, kHintGeometry));
    if (!targets) {
        SceneError(ErrorCode(kErrorOutOfMemory, bytes));
        return -1;
    }
    std::memset(targets, 0, bytes);
    LayTargets(geometry, targets, total);
    for (int32_t i = 0; i < old; ++i) {
        const MorphTarget& from = geometry->morphTargets[i];
        targets[i].boundingSphere = from.boundingSphere;
        if (from.vertices) {
            std::memcpy(targets[i].vertices, from.vertices, sizeof(V3d) * size_t(geometry->numVertices));
        }
        if (from.normals) {
            std::memcpy(targets[i].normals, from.normals, sizeof(V3d) * size_t(geometry->numVertices));
        }
    }
    MemoryFree(geometry->morphTargets);
    geometry->morphTargets = targets;
    geometry->numMorphTargets = total;
    return old;
}

int32_t GeometryAddMorphTarget(Geometry* geometry)
{
    return GeometryAddMorphTargets(geometry, 1);
}

Geometry* GeometryAddRef(Geometry* geometry)
{
    ++geometry->refCount;
    return geometry;
}

int32_t GeometryRelease(Geometry* geometry)
{
    if (--geometry->refCount > 0) {
        return 1;
    }
    if (geometry->instanced) {
        ResourcesFreeEntry(geometry->instanced);
    }
    geometry->lockFlags = kGeometryLockAll;
    if (geometry->mesh) {
        MeshHeaderDestroy(geometry->mesh);
        geometry->mesh = nullptr;
    }
    PluginRegistryDestruct(GeometryGetPluginRegistry(), geometry);
    MemoryFree(geometry->morphTargets);
    MaterialListDeinitialize(&geometry->materials);
    MemoryFree(geometry);
    return 1;
}

Geometry* GeometryLock(Geometry* geometry, uint16_t lockFlags)
{
    geometry->lockFlags |= lockFlags;
    if ((lockFlags & kGeometryLockTriangles) && geometry->mesh) {
        MeshHeaderDestroy(geometry->mesh);
        geometry->mesh = nullptr;
    }
    return geometry;
}

Geometry* GeometryUnlock(Geometry* geometry)
{
    if (geometry->mesh) {
        return geometry;
    }
    const int32_t triangles = HasArrays(geometry) ? geometry->numTriangles : 0;
    auto at = [](const void* source, int32_t index) {
        const GeometryTriangle& triangle = static_cast<const Geometry*>(source)->triangles[index];
        return MeshSourceTriangle{{triangle.vertex[0], triangle.vertex[1], triangle.vertex[2]},
                                  triangle.material};
    };
    MeshHeader* header = MeshBuildFromMaterialList(geometry, at, triangles, &geometry->materials,
                                                   geometry->format & kGeometryTriStrip);
    if (!header) {
        return nullptr;
    }
    geometry->mesh = header;
    return geometry;
}

Geometry* GeometryTransform(Geometry* geometry, const Matrix* matrix)
{
    if (!HasArrays(geometry)) {
        SceneError(kErrorBadArgument);
        return nullptr;
    }
    GeometryLock(geometry, kGeometryLockVertices | kGeometryLockNormals);
    for (int32_t i = 0; i < geometry->numMorphTargets; ++i) {
        MorphTarget& target = geometry->morphTargets[i];
        V3dTransformPoints(target.vertices, target.vertices, geometry->numVertices, matrix);
        if (target.normals) {
            V3dTransformVectors(target.normals, target.normals, geometry->numVertices, matrix);
            for (int32_t v = 0; v < geometry->numVertices; ++v) {
                V3dNormalizeFast(&target.normals[v], &target.normals[v]);
            }
        }
        MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    }
    return GeometryUnlock(geometry);
}

Geometry* GeometryCreateSpace(float radius)
{
    Geometry* geometry = GeometryCreate(0, 0, 0);
    if (!geometry) {
        return nullptr;
    }
    geometry->morphTargets[0].boundingSphere = {{0.0f, 0.0f, 0.0f}, radius};
    if (!GeometryUnlock(geometry)) {
        GeometryRelease(geometry);
        return nullptr;
    }
    return geometry;
}

MorphTarget* MorphTargetCalcBoundingSphere(MorphTarget* target, Sphere* sphere)
{
    const Geometry* geometry = target->parent;
    const int32_t count = geometry ? geometry->numVertices : 0;
    if (count == 0 || !target->vertices) {
        // No point to measure: the stored sphere stands.
        *sphere = target->boundingSphere;
        return target;
    }
    BBox box;
    BBoxCalculate(&box, target->vertices, count);
    const V3d centre = {(box.sup.x + box.inf.x) * 0.5f, (box.sup.y + box.inf.y) * 0.5f,
                        (box.sup.z + box.inf.z) * 0.5f};
    float largest = 0.0f;
    for (int32_t v = 0; v < count; ++v) {
        const V3d d = {target->vertices[v].x - centre.x, target->vertices[v].y - centre.y,
                       target->vertices[v].z - centre.z};
        const float squared = d.x * d.x + d.y * d.y + d.z * d.z;
        largest = squared > largest ? squared : largest;
    }
    sphere->centre = centre;
    sphere->radius = (largest > 0.0f ? VectorSqrt(largest) : 0.0f) * 1.001f;
    return target;
}

Geometry* GeometryTriangleSetVertexIndices(Geometry* geometry, GeometryTriangle* triangle, uint16_t v0,
                                           uint16_t v1, uint16_t v2)
{
    triangle->vertex[0] = v0;
    triangle->vertex[1] = v1;
    triangle->vertex[2] = v2;
    return geometry;
}

const Geometry* GeometryTriangleGetVertexIndices(const Geometry* geometry, const GeometryTriangle* triangle,
                                                 uint16_t* v0, uint16_t* v1, uint16_t* v2)
{
    if (v0) {
        *v0 = triangle->vertex[0];
    }
    if (v1) {
        *v1 = triangle->vertex[1];
    }
    if (v2) {
        *v2 = triangle->vertex[2];
    }
    return geometry;
}

Geometry* GeometryTriangleSetMaterial(Geometry* geometry, GeometryTriangle* triangle, Material* material)
{
    if (!material) {
        triangle->material = kGeometryNoMaterial;
        return geometry;
    }
    int32_t index = MaterialListFindMaterial(&geometry->materials, material);
    if (index < 0) {
        if (geometry->materials.count >= kGeometryNoMaterial) {
            SceneError(kErrorBadArgument);
            return nullptr;
        }
        index = MaterialListAppendMaterial(&geometry->materials, material);
        if (index < 0) {
            return nullptr;
        }
    }
    triangle->material = uint16_t(index);
    return geometry;
}

Material* GeometryTriangleGetMaterial(const Geometry* geometry, const GeometryTriangle* triangle)
{
    return MaterialListGetMaterial(&geometry->materials, triangle->material);
}

Geometry* GeometryForAllMaterials(Geometry* geometry, GeometryMaterialCallBack callBack, void* data)
{
    for (int32_t i = 0; i < geometry->materials.count; ++i) {
        if (!callBack(geometry->materials.materials[i], data)) {
            break;
        }
    }
    return geometry;
}

Geometry* GeometryForAllMeshes(Geometry* geometry, GeometryMeshCallBack callBack, void* data)
{
    if (!geometry->mesh) {
        return nullptr;
    }
    MeshHeaderForAllMeshes(geometry->mesh, callBack, data);
    return geometry;
}
