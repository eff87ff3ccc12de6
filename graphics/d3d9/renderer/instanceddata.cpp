// Instanced-data entries: creation from a mesh header (index buffer, mesh
// records), destruction, and the index helpers they use.
#include "graphics/d3d9/renderer/instanceddata.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "graphics/core/memory.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/world.h"

namespace {

// Engine mesh primitive (kMesh... flags) to D3DPRIMITIVETYPE.
uint32_t PrimitiveType(uint32_t meshFlags)
{
    switch (meshFlags & kMeshPrimitiveMask) {
    case kMeshTriangleList:
        return D3DPT_TRIANGLELIST;
    case kMeshTriangleStrip:
        return D3DPT_TRIANGLESTRIP;
    case kMeshTriangleFan:
        return D3DPT_TRIANGLEFAN;
    case kMeshLineList:
        return D3DPT_LINELIST;
    case kMeshPolyLine:
        return D3DPT_LINESTRIP;
    case kMeshPointList:
        return D3DPT_POINTLIST;
    default:
        return 0;
    }
}

uint32_t PrimitiveCount(uint32_t type, uint32_t indices)
{
    switch (type) {
    case D3DPT_LINELIST:
        return indices / 2;
    case D3DPT_LINESTRIP:
        return indices > 0 ? indices - 1 : 0;
    case D3DPT_TRIANGLELIST:
        return indices / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return indices > 2 ? indices - 2 : 0;
    default:
        return 0;
    }
}

bool Degenerate(uint16_t a, uint16_t b, uint16_t c)
{
    return a == b || b == c || a == c;
}

void SortThree(const uint16_t* t, uint16_t out[3])
{
    out[0] = t[0];
    out[1] = t[1];
    out[2] = t[2];
    std::sort(out, out + 3);
}

} // namespace

uint32_t InstancedDataSize(uint32_t numMeshes)
{
    return static_cast<uint32_t>(sizeof(InstancedData) + numMeshes * sizeof(InstancedMesh));
}

ResourcesEntry* InstancedDataAllocateOutsideArena(uint32_t ownerType, ResourcesEntry** slot,
                                                  uint32_t numMeshes)
{
    return ResourcesAllocateOutsideArena(ownerType, slot, InstancedDataSize(numMeshes), InstancedDataDestroy,
                                         kMemoryHintObject | kInstancedDataHint);
}

void IndexListRange(const uint16_t* indices, uint32_t count, uint32_t* range, uint32_t* minimum)
{
    if (count == 0) {
        *range = 0;
        *minimum = 0;
        return;
    }
    uint16_t lo = indices[0], hi = indices[0];
    for (uint32_t i = 1; i < count; ++i) {
        lo = std::min(lo, indices[i]);
        hi = std::max(hi, indices[i]);
    }
    *minimum = lo;
    *range = uint32_t(hi) - lo + 1;
}

int TriangleIndexCompare(const void* a, const void* b)
{
    uint16_t x[3], y[3];
    SortThree(static_cast<const uint16_t*>(a), x);
    SortThree(static_cast<const uint16_t*>(b), y);
    for (int i = 0; i < 3; ++i) {
        if (x[i] != y[i]) {
            return x[i] < y[i] ? -1 : 1;
        }
    }
    return 0;
}

void TrianglesSortByIndex(uint16_t* indices, uint32_t count)
{
    std::qsort(indices, count / 3, 3 * sizeof(uint16_t), TriangleIndexCompare);
}

int VertexElementCompare(const void* a, const void* b)
{
    const auto* x = static_cast<const D3DVERTEXELEMENT9*>(a);
    const auto* y = static_cast<const D3DVERTEXELEMENT9*>(b);
    if (x->Stream != y->Stream) {
        return x->Stream < y->Stream ? -1 : 1;
    }
    return x->Offset < y->Offset ? -1 : (x->Offset > y->Offset ? 1 : 0);
}

uint32_t TriStripCountTriangles(const uint16_t* strip, uint32_t count)
{
    uint32_t triangles = 0;
    for (uint32_t k = 0; k + 2 < count; ++k) {
        triangles += Degenerate(strip[k], strip[k + 1], strip[k + 2]) ? 0 : 1;
    }
    return triangles;
}

uint32_t TriStripToTriList(uint16_t* out, const uint16_t* strip, uint32_t count, uint32_t base)
{
    uint32_t written = 0;
    for (uint32_t k = 0; k + 2 < count; ++k) {
        const uint16_t a = strip[k], b = strip[k + 1], c = strip[k + 2];
        if (Degenerate(a, b, c)) {
            continue;
        }
        // Odd triangles of a strip turn the other way: swap to keep the winding.
        const bool odd = k & 1;
        out[written++] = static_cast<uint16_t>((odd ? c : a) - base);
        out[written++] = static_cast<uint16_t>(b - base);
        out[written++] = static_cast<uint16_t>((odd ? a : c) - base);
    }
    return written;
}

void InstancedStreamsRelease(InstancedData* data)
{
    for (InstancedStream& stream : data->streams) {
        if (stream.buffer && !stream.external) {
            if (stream.managed) {
                D3D9VertexBufferFreeSpace(stream.stride, data->numVertices * stream.stride, stream.buffer,
                                          stream.offset);
            } else if (stream.offset == 0) {
                D3D9DynamicVertexBufferDestroy(stream.buffer);
            }
        }
        stream = {};
    }
}

void InstancedDataDestroy(ResourcesEntry* entry)
{
    InstancedData* data = InstancedDataFromEntry(entry);
    const bool dynamic = (data->streams[0].buffer && !data->streams[0].managed) ||
                         (data->streams[1].buffer && !data->streams[1].managed);
    if (dynamic && entry->ownerRef) {
        // The owner slot sits inside the owner record; its tag says which kind.
        auto* slotAddress = reinterpret_cast<uint8_t*>(entry->ownerRef);
        if (entry->owner == kObjectTypeGeometry) {
            D3D9UnregisterDirtyObject(
                reinterpret_cast<Geometry*>(slotAddress - offsetof(Geometry, instanced)));
        } else if (entry->owner == kObjectTypeAtomic) {
            D3D9UnregisterDirtyObject(
                reinterpret_cast<Atomic*>(slotAddress - offsetof(Atomic, instanced))->geometry);
        }
    }
    if (data->indexBuffer) {
        data->indexBuffer->Release();
        data->indexBuffer = nullptr;
    }
    if (data->declaration) {
        D3D9VertexDeclarationRelease(data->declaration);
        data->declaration = nullptr;
    }
    InstancedStreamsRelease(data);
}

ResourcesEntry* InstancedDataCreate(void* object, void* owner, int32_t objectType, ResourcesEntry** slot,
                                    const MeshHeader* meshHeader, InstanceCallBack instance,
                                    uint32_t outsideArena)
{
    const uint32_t numMeshes = meshHeader->numMeshes;
    // The owner tag records the owner's object type for the destroy callback.
    const uint32_t ownerType = objectType == kInstancedAtomic ? static_cast<const ObjectHeader*>(owner)->type
                                                              : kInstancedSectorOwner;
    // Data instanced to be saved cannot be rebuilt once saved: it lives
    // outside the arena, where nothing evicts it.
    ResourcesEntry* entry =
        outsideArena ? InstancedDataAllocateOutsideArena(ownerType, slot, numMeshes)
                     : ResourcesAllocate(ownerType, slot, InstancedDataSize(numMeshes), InstancedDataDestroy);
    if (!entry) {
        return nullptr;
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    std::memset(data, 0, InstancedDataSize(numMeshes));
    data->serial = meshHeader->serial;
    data->numMeshes = numMeshes;
    data->primType = PrimitiveType(meshHeader->flags);

    const Mesh* meshes = MeshHeaderGetMeshes(meshHeader);
    const bool indexed = !(meshHeader->flags & kMeshUnindexed);
    bool stripsToList = false;
    if (indexed) {
        uint32_t total = 0;
        for (uint32_t i = 0; i < numMeshes; ++i) {
            total += meshes[i].numIndices;
        }
        const int32_t triangles = objectType == kInstancedAtomic
                                      ? static_cast<Atomic*>(object)->geometry->numTriangles
                                      : static_cast<WorldSector*>(object)->numTriangles;
        if (data->primType == D3DPT_TRIANGLESTRIP && total > 3u * uint32_t(std::max(triangles, 0))) {
            // Size the list by the strips' real triangles: a file's meshes
            // may hold more than the object's triangle count.
            stripsToList = true;
            data->primType = D3DPT_TRIANGLELIST;
            total = 0;
            for (uint32_t i = 0; i < numMeshes; ++i) {
                total += 3 * TriStripCountTriangles(meshes[i].indices, meshes[i].numIndices);
            }
        }
        data->totalIndices = total;
    }

    uint16_t* indexMemory = nullptr;
    if (data->totalIndices > 0) {
        if (!D3D9IndexBufferCreate(data->totalIndices, &data->indexBuffer)) {
            ResourcesFreeEntry(entry);
            return nullptr;
        }
        void* locked = nullptr;
        data->indexBuffer->Lock(0, 0, &locked, 0);
        indexMemory = static_cast<uint16_t*>(locked);
        if (!indexMemory) {
            ResourcesFreeEntry(entry);
            return nullptr;
        }
    }

    InstancedMesh* records = InstancedDataMeshes(data);
    uint32_t startIndex = 0;
    uint32_t vertexRun = 0;
    for (uint32_t i = 0; i < numMeshes; ++i) {
        const Mesh& mesh = meshes[i];
        InstancedMesh& record = records[i];
        if (indexed) {
            IndexListRange(mesh.indices, mesh.numIndices, &record.numVertices, &record.minVertex);
        } else {
            record.numVertices = mesh.numIndices;
            record.minVertex = vertexRun;
            vertexRun += mesh.numIndices;
        }
        record.material = mesh.material;
        if (indexMemory) {
            uint16_t* out = indexMemory + startIndex;
            record.startIndex = startIndex;
            uint32_t written = mesh.numIndices;
            if (stripsToList) {
                written = TriStripToTriList(out, mesh.indices, mesh.numIndices, record.minVertex);
            } else {
                for (uint32_t k = 0; k < mesh.numIndices; ++k) {
                    out[k] = static_cast<uint16_t>(mesh.indices[k] - record.minVertex);
                }
            }
            if (data->primType == D3DPT_TRIANGLELIST) {
                TrianglesSortByIndex(out, written);
            }
            record.numIndices = written;
            startIndex += written;
        }
        record.numPrimitives =
            PrimitiveCount(data->primType, indexed ? record.numIndices : record.numVertices);
    }
    if (data->indexBuffer) {
        D3D9BufferUnlock(data->indexBuffer);
    }
    if (!instance || !instance(object, data, 0)) {
        ResourcesFreeEntry(entry);
        return nullptr;
    }
    return entry;
}
