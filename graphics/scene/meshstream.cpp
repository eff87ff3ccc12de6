// The mesh payload of extension 0x50E: a header's meshes with their
// material indices and (unless the owner is native) their indices.
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/scenestream.h"
#include "graphics/scene/world.h"

namespace {

// Indices travel in runs of at most this many values.
constexpr uint32_t kIndexRun = 256;

MeshHeader* Refuse(MeshHeader* header)
{
    SceneError(kErrorRead);
    MemoryFree(header);
    return nullptr;
}

} // namespace

bool MeshOwnerSavesIndices(const void* owner)
{
    const auto* object = static_cast<const ObjectHeader*>(owner);
    if (object->type == kObjectTypeGeometry) {
        return !(static_cast<const Geometry*>(owner)->format & kGeometryNative);
    }
    if (object->type == kObjectTypeWorld) {
        return !(static_cast<const World*>(owner)->format & kGeometryNative);
    }
    return false;
}

uint32_t MeshStreamSize(const MeshHeader* header, const void* owner)
{
    uint32_t size = 12 + 8 * uint32_t(header->numMeshes);
    if (MeshOwnerSavesIndices(owner)) {
        size += 4 * header->totalIndices;
    }
    return size;
}

Stream* MeshStreamWrite(const MeshHeader* header, const void* owner, Stream* stream,
                        const MaterialList* materials)
{
    bool indices = MeshOwnerSavesIndices(owner);
    if (!StreamWriteUInt32(stream, header->flags) || !StreamWriteUInt32(stream, header->numMeshes) ||
        !StreamWriteUInt32(stream, header->totalIndices)) {
        return nullptr;
    }
    const Mesh* meshes = MeshHeaderGetMeshes(header);
    for (uint32_t m = 0; m < header->numMeshes; ++m) {
        const Mesh& mesh = meshes[m];
        int32_t index = mesh.material ? MaterialListFindMaterial(materials, mesh.material) : -1;
        uint32_t saved = index < 0 ? kMeshNoMaterial : uint32_t(index);
        if (!StreamWriteUInt32(stream, mesh.numIndices) || !StreamWriteUInt32(stream, saved)) {
            return nullptr;
        }
        for (uint32_t first = 0; indices && first < mesh.numIndices; first += kIndexRun) {
            int32_t run[kIndexRun];
            uint32_t count = mesh.numIndices - first < kIndexRun ? mesh.numIndices - first : kIndexRun;
            for (uint32_t i = 0; i < count; ++i) {
                run[i] = mesh.indices[first + i];
            }
            if (!StreamWriteInt32(stream, run, sizeof(int32_t) * count)) {
                return nullptr;
            }
        }
    }
    return stream;
}

MeshHeader* MeshStreamRead(Stream* stream, const void* owner, const MaterialList* materials,
                           int32_t vertexCount)
{
    bool indices = MeshOwnerSavesIndices(owner);
    uint32_t head[3];
    if (!StreamReadInt32(stream, reinterpret_cast<int32_t*>(head), sizeof(head))) {
        return nullptr;
    }
    const uint32_t meshCount = head[1];
    const uint32_t totalIndices = head[2];
    // Counts are bounded by what the stream still holds before anything is
    // allocated from them.
    if (meshCount > 0xFFFF || !SceneStreamHolds(stream, meshCount, 8) ||
        (indices && !SceneStreamHolds(stream, totalIndices, 4))) {
        SceneError(kErrorRead);
        return nullptr;
    }
    MeshHeader* header = MeshHeaderAlloc(MeshHeaderBlockSize(meshCount, indices ? totalIndices : 0));
    if (!header) {
        return nullptr;
    }
    header->flags = head[0];
    header->numMeshes = uint16_t(meshCount);
    header->serial = MeshHeaderNextSerial();
    header->totalIndices = totalIndices;
    header->firstMeshOffset = 0;
    Mesh* meshes = MeshHeaderGetMeshes(header);
    auto* next = reinterpret_cast<uint16_t*>(meshes + meshCount);
    uint32_t remaining = totalIndices;
    for (uint32_t m = 0; m < meshCount; ++m) {
        uint32_t pair[2];
        if (!StreamReadInt32(stream, reinterpret_cast<int32_t*>(pair), sizeof(pair))) {
            return Refuse(header);
        }
        const uint32_t count = pair[0];
        const uint32_t materialIndex = pair[1];
        if (count > remaining ||
            (materialIndex != kMeshNoMaterial && materialIndex >= uint32_t(materials->count))) {
            return Refuse(header);
        }
        remaining -= count;
        meshes[m].numIndices = count;
        meshes[m].material = materialIndex == kMeshNoMaterial
                                 ? nullptr
                                 : MaterialListGetMaterial(materials, int32_t(materialIndex));
        meshes[m].indices = indices ? next : nullptr;
        for (uint32_t first = 0; indices && first < count; first += kIndexRun) {
            int32_t run[kIndexRun];
            uint32_t n = count - first < kIndexRun ? count - first : kIndexRun;
            if (!StreamReadInt32(stream, run, sizeof(int32_t) * n)) {
                return Refuse(header);
            }
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t value = uint32_t(run[i]) & 0xFFFF;
                if (int64_t(value) >= vertexCount) {
                    return Refuse(header);
                }
                next[first + i] = uint16_t(value);
            }
        }
        if (indices) {
            next += count;
        }
    }
    return header;
}
