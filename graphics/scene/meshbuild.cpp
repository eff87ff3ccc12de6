// Mesh building: the build callback, the shared ordering of triangles into
// material groups, plain triangle lists with their vertex-disjoint passes
// and the one-strip-per-triangle builder.
#include "graphics/scene/meshbuild.h"

#include <algorithm>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshsort.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"

namespace {

MeshBuildCallBack gBuildCallBack = StripBuild;
void* gBuildData = nullptr;

void* Allocate(size_t bytes)
{
    void* block = MemoryAllocate(bytes ? bytes : 1, kHintMeshBuildScratch);
    if (!block) {
        SceneError(ErrorCode(kErrorOutOfMemory, bytes));
    }
    return block;
}

// Lowest material index named with each material pointer, so a material
// standing at several list indices sorts as one (open addressing by pointer).
struct MaterialKeys
{
    const Material** materials;
    uint16_t* lowest;
    uint32_t mask;

    bool Create(uint32_t triangles)
    {
        uint32_t size = 16;
        while (size < 2 * uint64_t(triangles)) {
            size *= 2;
        }
        mask = size - 1;
        materials = static_cast<const Material**>(Allocate(sizeof(Material*) * size));
        lowest = static_cast<uint16_t*>(Allocate(sizeof(uint16_t) * size));
        if (!materials || !lowest) {
            Free();
            return false;
        }
        std::memset(lowest, 0xFF, sizeof(uint16_t) * size);
        return true;
    }
    void Free()
    {
        MemoryFree(materials);
        MemoryFree(lowest);
    }
    uint32_t Slot(const Material* material) const
    {
        uint64_t bits = reinterpret_cast<uintptr_t>(material);
        uint32_t slot = uint32_t((bits >> 4) * 0x9E3779B97F4A7C15ull >> 40) & mask;
        while (lowest[slot] != 0xFFFF && materials[slot] != material) {
            slot = (slot + 1) & mask;
        }
        return slot;
    }
    void Add(const Material* material, uint16_t index)
    {
        uint32_t slot = Slot(material);
        if (lowest[slot] == 0xFFFF || index < lowest[slot]) {
            materials[slot] = material;
            lowest[slot] = index;
        }
    }
    uint16_t Get(const Material* material) const { return lowest[Slot(material)]; }
};

// Bit 63 transparency, then raster, pipeline and texture order, then the
// material's lowest index: opaque first, compared field by field.
uint64_t SortKey(const MeshBuildTriangle& triangle, uint16_t materialKey)
{
    return uint64_t(MaterialIsTransparent(triangle.material)) << 63 | uint64_t(triangle.rasterOrder) << 48 |
           uint64_t(triangle.pipelineOrder) << 32 | uint64_t(triangle.textureOrder) << 16 | materialKey;
}

// Reorders one list mesh into passes of triangles sharing no vertex within
// the pass; on failure the mesh stays as it is.
void ReorderIntoPasses(uint16_t* indices, uint32_t count)
{
    const uint32_t triangles = count / 3;
    auto* pending = static_cast<uint32_t*>(
        MemoryAllocate(sizeof(uint32_t) * (triangles ? triangles : 1), kHintMeshBuildScratch));
    auto* copy =
        static_cast<uint16_t*>(MemoryAllocate(sizeof(uint16_t) * (count ? count : 1), kHintMeshBuildScratch));
    auto* marked = static_cast<uint8_t*>(MemoryAllocate(0x10000 / 8, kHintMeshBuildScratch));
    if (pending && copy && marked) {
        std::memcpy(copy, indices, sizeof(uint16_t) * count);
        std::memset(marked, 0, 0x10000 / 8);
        for (uint32_t t = 0; t < triangles; ++t) {
            pending[t] = t;
        }
        uint32_t left = triangles;
        uint32_t out = 0;
        auto isMarked = [&](uint16_t v) { return (marked[v >> 3] >> (v & 7)) & 1; };
        auto flip = [&](uint16_t v) { marked[v >> 3] ^= uint8_t(1 << (v & 7)); };
        while (left > 0) {
            const uint32_t passStart = out;
            uint32_t kept = 0;
            for (uint32_t i = 0; i < left; ++i) {
                const uint16_t* tri = copy + 3 * pending[i];
                if (isMarked(tri[0]) || isMarked(tri[1]) || isMarked(tri[2])) {
                    pending[kept++] = pending[i];
                    continue;
                }
                for (int c = 0; c < 3; ++c) {
                    indices[out++] = tri[c];
                    if (!isMarked(tri[c])) {
                        flip(tri[c]);
                    }
                }
            }
            // Clear only what this pass marked.
            for (uint32_t i = passStart; i < out; ++i) {
                if (isMarked(indices[i])) {
                    flip(indices[i]);
                }
            }
            left = kept;
        }
    }
    MemoryFree(marked);
    MemoryFree(copy);
    MemoryFree(pending);
}

} // namespace

bool MeshSortTriangles(const MeshBuildList* list, MeshSortedTriangles* sorted)
{
    *sorted = {nullptr, nullptr, 0};
    const uint32_t count = list->count;
    MaterialKeys keys{};
    if (!keys.Create(count)) {
        return false;
    }
    for (uint32_t t = 0; t < count; ++t) {
        keys.Add(list->triangles[t].material, list->triangles[t].materialIndex);
    }
    auto* order = static_cast<uint32_t*>(Allocate(sizeof(uint32_t) * count));
    auto* sortKeys = static_cast<uint64_t*>(Allocate(sizeof(uint64_t) * count));
    sorted->triangles = static_cast<const MeshBuildTriangle**>(Allocate(sizeof(MeshBuildTriangle*) * count));
    sorted->groups = static_cast<MeshGroup*>(Allocate(sizeof(MeshGroup) * count));
    bool ok = order && sortKeys && sorted->triangles && sorted->groups;
    if (ok) {
        for (uint32_t t = 0; t < count; ++t) {
            order[t] = t;
            sortKeys[t] = SortKey(list->triangles[t], keys.Get(list->triangles[t].material));
        }
        std::stable_sort(order, order + count,
                         [&](uint32_t a, uint32_t b) { return sortKeys[a] < sortKeys[b]; });
        for (uint32_t i = 0; i < count; ++i) {
            const MeshBuildTriangle* triangle = &list->triangles[order[i]];
            sorted->triangles[i] = triangle;
            if (sorted->groupCount == 0 ||
                sorted->groups[sorted->groupCount - 1].material != triangle->material) {
                sorted->groups[sorted->groupCount++] = {i, 0, triangle->material};
            }
            ++sorted->groups[sorted->groupCount - 1].count;
        }
    }
    MemoryFree(sortKeys);
    MemoryFree(order);
    keys.Free();
    if (!ok) {
        MeshSortedTrianglesFree(sorted);
    }
    return ok;
}

void MeshSortedTrianglesFree(MeshSortedTriangles* sorted)
{
    MemoryFree(sorted->triangles);
    MemoryFree(sorted->groups);
    *sorted = {nullptr, nullptr, 0};
}

MeshHeader* MeshHeaderAssemble(uint32_t flags, const MeshGroup* groups, uint32_t groupCount,
                               const uint16_t* indices, const uint32_t* offsets)
{
    if (groupCount > 0xFFFF) {
        SceneError(kErrorBadArgument);
        return nullptr;
    }
    const uint32_t total = offsets[groupCount];
    MeshHeader* header = MeshHeaderAlloc(MeshHeaderBlockSize(groupCount, total));
    if (!header) {
        return nullptr;
    }
    header->flags = flags;
    header->numMeshes = uint16_t(groupCount);
    header->serial = MeshHeaderNextSerial();
    header->totalIndices = total;
    header->firstMeshOffset = 0;
    Mesh* meshes = MeshHeaderGetMeshes(header);
    auto* area = reinterpret_cast<uint16_t*>(meshes + groupCount);
    std::memcpy(area, indices, sizeof(uint16_t) * total);
    for (uint32_t g = 0; g < groupCount; ++g) {
        meshes[g] = {area + offsets[g], offsets[g + 1] - offsets[g], groups[g].material};
    }
    return header;
}

int32_t MeshSetBuildCallBack(MeshBuildCallBack callBack, void* data)
{
    gBuildCallBack = callBack ? callBack : StripBuild;
    gBuildData = callBack ? data : nullptr;
    return 1;
}

int32_t MeshGetBuildCallBack(MeshBuildCallBack* callBack, void** data)
{
    if (callBack) {
        *callBack = gBuildCallBack;
    }
    if (data) {
        *data = gBuildData;
    }
    return 1;
}

MeshHeader* MeshBuild(MeshBuildList* list, uint32_t strips)
{
    if (!list) {
        return nullptr;
    }
    MeshHeader* header = MeshHeaderGetEmpty();
    if (list->count > 0) {
        header = (strips & 1) ? gBuildCallBack(list, gBuildData) : MeshBuildLists(list);
    }
    MeshBuildListDestroy(list);
    return header;
}

MeshHeader* MeshBuildLists(MeshBuildList* list)
{
    MeshSortedTriangles sorted;
    if (!MeshSortTriangles(list, &sorted)) {
        return nullptr;
    }
    const uint32_t count = list->count;
    auto* indices = static_cast<uint16_t*>(Allocate(sizeof(uint16_t) * 3 * size_t(count)));
    auto* offsets = static_cast<uint32_t*>(Allocate(sizeof(uint32_t) * (size_t(sorted.groupCount) + 1)));
    MeshHeader* header = nullptr;
    if (indices && offsets) {
        for (uint32_t i = 0; i < count; ++i) {
            std::memcpy(indices + 3 * i, sorted.triangles[i]->vertex, sizeof(uint16_t) * 3);
        }
        for (uint32_t g = 0; g < sorted.groupCount; ++g) {
            offsets[g] = 3 * sorted.groups[g].first;
            ReorderIntoPasses(indices + offsets[g], 3 * sorted.groups[g].count);
        }
        offsets[sorted.groupCount] = 3 * count;
        header = MeshHeaderAssemble(kMeshTriangleList, sorted.groups, sorted.groupCount, indices, offsets);
    }
    MemoryFree(offsets);
    MemoryFree(indices);
    MeshSortedTrianglesFree(&sorted);
    return header;
}

MeshHeader* MeshBuildOneStripPerTriangle(MeshBuildList* list, void*)
{
    const uint32_t count = list->count;
    if (count > 0xFFFF) {
        SceneError(kErrorBadArgument);
        return nullptr;
    }
    MeshHeader* header = MeshHeaderAlloc(MeshHeaderBlockSize(count, 3 * uint64_t(count)));
    if (!header) {
        return nullptr;
    }
    header->flags = kMeshTriangleStrip;
    header->numMeshes = uint16_t(count);
    header->serial = MeshHeaderNextSerial();
    header->totalIndices = 3 * count;
    header->firstMeshOffset = 0;
    Mesh* meshes = MeshHeaderGetMeshes(header);
    auto* area = reinterpret_cast<uint16_t*>(meshes + count);
    for (uint32_t t = 0; t < count; ++t) {
        std::memcpy(area + 3 * t, list->triangles[t].vertex, sizeof(uint16_t) * 3);
        meshes[t] = {area + 3 * t, 3, list->triangles[t].material};
    }
    return header;
}
