// Chunk 0x0F: a geometry's struct (head, pre-lit colours, texture sets,
// triangles, morph targets), its material list and its extensions.
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"

namespace {

constexpr uint32_t kHeadSize = 16;
constexpr uint32_t kTargetHeadSize = 24;

bool Native(const Geometry* geometry)
{
    return (geometry->format & kGeometryNative) != 0;
}

// Bytes of the saved struct.
uint64_t StructSize(const Geometry* geometry)
{
    const uint64_t vertices = uint64_t(geometry->numVertices);
    uint64_t size = kHeadSize + uint64_t(kTargetHeadSize) * uint64_t(geometry->numMorphTargets);
    if (Native(geometry) || vertices == 0) {
        return size;
    }
    if (geometry->format & kGeometryPreLit) {
        size += 4 * vertices;
    }
    size += 8 * (uint64_t(geometry->numTexCoordSets) * vertices + uint64_t(geometry->numTriangles));
    for (int32_t i = 0; i < geometry->numMorphTargets; ++i) {
        size += geometry->morphTargets[i].vertices ? 12 * vertices : 0;
        size += geometry->morphTargets[i].normals ? 12 * vertices : 0;
    }
    return size;
}

Geometry* Fail(Geometry* geometry)
{
    SceneError(kErrorRead);
    if (geometry) {
        GeometryRelease(geometry);
    }
    return nullptr;
}

// Coordinates, positions and normals: finite numbers only.
bool ReadFloats(Stream* stream, void* values, uint64_t count)
{
    return count == 0 || StreamReadFiniteReal(stream, static_cast<float*>(values), size_t(count) * 4);
}

} // namespace

uint32_t GeometryStreamGetSize(const Geometry* geometry)
{
    return uint32_t(kChunkHeaderSize + StructSize(geometry) + kChunkHeaderSize +
                    MaterialListStreamGetSize(&geometry->materials) + kChunkHeaderSize +
                    uint32_t(PluginRegistryStreamSize(GeometryGetPluginRegistry(), geometry)));
}

const Geometry* GeometryStreamWrite(const Geometry* geometry, Stream* stream)
{
    const uint32_t format = uint32_t(geometry->numTexCoordSets & 0xFF) << 16 | geometry->format;
    const int32_t head[4] = {int32_t(format), geometry->numTriangles, geometry->numVertices,
                             geometry->numMorphTargets};
    if (!ChunkHeaderWriteCurrent(stream, kChunkGeometry, GeometryStreamGetSize(geometry)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, uint32_t(StructSize(geometry))) ||
        !StreamWriteInt32(stream, head, sizeof(head))) {
        return nullptr;
    }
    const size_t vertices = size_t(geometry->numVertices);
    if (!Native(geometry) && vertices > 0) {
        if ((geometry->format & kGeometryPreLit) &&
            !StreamWrite(stream, geometry->preLitColours, sizeof(RGBA) * vertices)) {
            return nullptr;
        }
        for (int32_t s = 0; s < geometry->numTexCoordSets; ++s) {
            if (!StreamWriteReal(stream, &geometry->texCoords[s][0].u, sizeof(TexCoords) * vertices)) {
                return nullptr;
            }
        }
        for (int32_t t = 0; t < geometry->numTriangles; ++t) {
            const GeometryTriangle& triangle = geometry->triangles[t];
            const int32_t words[2] = {int32_t(uint32_t(triangle.vertex[0]) << 16 | triangle.vertex[1]),
                                      int32_t(uint32_t(triangle.vertex[2]) << 16 | triangle.material)};
            if (!StreamWriteInt32(stream, words, sizeof(words))) {
                return nullptr;
            }
        }
    }
    // A native geometry is saved without vertex arrays (its native data
    // holds the vertices), even while it still has them in memory.
    const bool arrays = !Native(geometry);
    for (int32_t i = 0; i < geometry->numMorphTargets; ++i) {
        const MorphTarget& target = geometry->morphTargets[i];
        const bool positions = arrays && target.vertices, normals = arrays && target.normals;
        uint8_t bytes[kTargetHeadSize];
        LittleEndianPutFloat(bytes, target.boundingSphere.centre.x);
        LittleEndianPutFloat(bytes + 4, target.boundingSphere.centre.y);
        LittleEndianPutFloat(bytes + 8, target.boundingSphere.centre.z);
        LittleEndianPutFloat(bytes + 12, target.boundingSphere.radius);
        LittleEndianPutU32(bytes + 16, positions ? 1 : 0);
        LittleEndianPutU32(bytes + 20, normals ? 1 : 0);
        if (!StreamWrite(stream, bytes, sizeof(bytes)) ||
            (positions && vertices > 0 && !StreamWriteReal(stream, &target.vertices[0].x, 12 * vertices)) ||
            (normals && vertices > 0 && !StreamWriteReal(stream, &target.normals[0].x, 12 * vertices))) {
            return nullptr;
        }
    }
    if (!MaterialListStreamWrite(&geometry->materials, stream) ||
        !PluginRegistryStreamWrite(GeometryGetPluginRegistry(), stream, geometry)) {
        return nullptr;
    }
    return geometry;
}

Geometry* GeometryStreamRead(Stream* stream)
{
    uint32_t structSize = 0;
    if (!SceneFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return nullptr;
    }
    int32_t head[4];
    if (structSize < kHeadSize || !StreamReadInt32(stream, head, sizeof(head))) {
        return Fail(nullptr);
    }
    const uint32_t format = uint32_t(head[0]);
    const int32_t triangles = head[1];
    const int32_t vertices = head[2];
    const int32_t targets = head[3];
    // Counts the struct cannot hold are refused before anything is made.
    const uint64_t room = structSize - kHeadSize;
    // Every target of a geometry with vertex arrays holds at least their positions.
    const uint64_t perTarget =
        kTargetHeadSize + (!(format & kGeometryNative) && vertices > 0 ? 12 * uint64_t(vertices) : 0);
    if (triangles < 0 || vertices < 0 || targets < 0 || uint64_t(targets) > room / perTarget ||
        (!(format & kGeometryNative) && uint64_t(triangles) > room / 8) ||
        (!(format & kGeometryNative) && vertices == 0 && triangles > 0)) {
        return Fail(nullptr);
    }
    Geometry* geometry = GeometryCreate(vertices, triangles, format);
    if (!geometry) {
        return Fail(nullptr);
    }
    if (targets > 1 && GeometryAddMorphTargets(geometry, targets - 1) < 0) {
        return Fail(geometry);
    }
    if (StructSize(geometry) > structSize) {
        return Fail(geometry);
    }
    const uint64_t count = uint64_t(vertices);
    if (!Native(geometry) && count > 0) {
        if ((geometry->format & kGeometryPreLit) &&
            StreamRead(stream, geometry->preLitColours, sizeof(RGBA) * count) != sizeof(RGBA) * count) {
            return Fail(geometry);
        }
        for (int32_t s = 0; s < geometry->numTexCoordSets; ++s) {
            if (!ReadFloats(stream, geometry->texCoords[s], 2 * count)) {
                return Fail(geometry);
            }
        }
        for (int32_t t = 0; t < triangles; ++t) {
            int32_t words[2];
            if (!StreamReadInt32(stream, words, sizeof(words))) {
                return Fail(geometry);
            }
            GeometryTriangle& triangle = geometry->triangles[t];
            triangle = {
                {uint16_t(uint32_t(words[0]) >> 16), uint16_t(words[0]), uint16_t(uint32_t(words[1]) >> 16)},
                uint16_t(words[1])};
            if (triangle.vertex[0] >= vertices || triangle.vertex[1] >= vertices ||
                triangle.vertex[2] >= vertices) {
                return Fail(geometry);
            }
        }
    }
    for (int32_t i = 0; i < targets; ++i) {
        MorphTarget& target = geometry->morphTargets[i];
        uint8_t bytes[kTargetHeadSize];
        const int64_t at = StreamGetPosition(stream);
        if (StreamRead(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
            return Fail(geometry);
        }
        const float sphere[4] = {LittleEndianGetFloat(bytes), LittleEndianGetFloat(bytes + 4),
                                 LittleEndianGetFloat(bytes + 8), LittleEndianGetFloat(bytes + 12)};
        if (!StreamCheckFinite(sphere, 4, at)) {
            return Fail(geometry);
        }
        target.boundingSphere = {{sphere[0], sphere[1], sphere[2]}, sphere[3]};
        const bool hasVertices = LittleEndianGetU32(bytes + 16) != 0;
        const bool hasNormals = LittleEndianGetU32(bytes + 20) != 0;
        // Saved arrays must be ones this geometry holds.
        if ((hasVertices && !target.vertices) || (hasNormals && !target.normals) ||
            (hasNormals && !hasVertices)) {
            return Fail(geometry);
        }
        if ((hasVertices && !ReadFloats(stream, target.vertices, 3 * count)) ||
            (hasNormals && !ReadFloats(stream, target.normals, 3 * count))) {
            return Fail(geometry);
        }
    }
    const uint64_t read = StructSize(geometry);
    if (structSize > read && !StreamSkip(stream, structSize - read)) {
        return Fail(geometry);
    }
    if (!SceneFindChunk(stream, kChunkMaterialList, nullptr, nullptr) ||
        !MaterialListStreamRead(stream, &geometry->materials)) {
        return Fail(geometry);
    }
    for (int32_t t = 0; !Native(geometry) && t < triangles; ++t) {
        const uint16_t material = geometry->triangles[t].material;
        if (material != kGeometryNoMaterial && material >= geometry->materials.count) {
            return Fail(geometry);
        }
    }
    if (!PluginRegistryStreamRead(GeometryGetPluginRegistry(), stream, geometry)) {
        return Fail(geometry);
    }
    // A native geometry has no triangles to build meshes from: its meshes
    // must have come with its extensions.
    if (Native(geometry) && !geometry->mesh) {
        return Fail(geometry);
    }
    if (!GeometryUnlock(geometry)) {
        return Fail(geometry);
    }
    return geometry;
}

GeometryChunkInfo* GeometryStreamReadChunkInfo(Stream* stream, GeometryChunkInfo* info, int32_t* size)
{
    uint8_t bytes[kHeadSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kHeadSize, &structSize) || structSize < kHeadSize) {
        return nullptr;
    }
    info->format = LittleEndianGetU32(bytes);
    info->numTriangles = int32_t(LittleEndianGetU32(bytes + 4));
    info->numVertices = int32_t(LittleEndianGetU32(bytes + 8));
    info->numMorphTargets = int32_t(LittleEndianGetU32(bytes + 12));
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}
