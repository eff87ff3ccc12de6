// The mesh module (0x502): serial numbers, mesh-header blocks and the build
// lists meshes are made from.
#include "graphics/scene/mesh.h"

#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"

namespace {

// The build-list free list lives from the first open to the last close.
int32_t gPoolOpenCount = 0;
FreeList* gBuildLists = nullptr;

MeshHeader gEmptyHeader = {};

MeshModuleData* ModuleData()
{
    return SceneModuleData<MeshModuleData>(kSceneModuleMesh);
}

} // namespace

void* MeshPoolOpen(void* instance, int32_t, int32_t)
{
    if (gPoolOpenCount == 0) {
        gBuildLists = FreeListCreateEx(sizeof(MeshBuildList), 50, 4, 1, nullptr, 0x40502);
        if (!gBuildLists) {
            return nullptr;
        }
    }
    ++gPoolOpenCount;
    ModuleData()->serial = 1;
    return instance;
}

void* MeshPoolClose(void* instance, int32_t, int32_t)
{
    if (--gPoolOpenCount == 0) {
        FreeListDestroy(gBuildLists);
        gBuildLists = nullptr;
    }
    return instance;
}

MeshHeader* MeshHeaderAlloc(uint64_t size)
{
    void* block = size <= SIZE_MAX ? MemoryAllocate(size_t(size), kHintMeshHeader) : nullptr;
    if (!block) {
        SceneError(ErrorCode(kErrorOutOfMemory, size));
    }
    return static_cast<MeshHeader*>(block);
}

int32_t MeshHeaderDestroy(MeshHeader* header)
{
    if (header != &gEmptyHeader) {
        MemoryFree(header);
    }
    return 1;
}

MeshHeader* MeshHeaderGetEmpty()
{
    return &gEmptyHeader;
}

uint16_t MeshHeaderNextSerial()
{
    MeshModuleData* data = ModuleData();
    return data->serial++;
}

MeshHeader* MeshHeaderForAllMeshes(MeshHeader* header, MeshCallBack callBack, void* data)
{
    Mesh* meshes = MeshHeaderGetMeshes(header);
    for (uint32_t i = 0; i < header->numMeshes; ++i) {
        if (!callBack(&meshes[i], header, data)) {
            break;
        }
    }
    return header;
}

MeshBuildList* MeshBuildListCreate(uint32_t triangleCount)
{
    auto* list = static_cast<MeshBuildList*>(MemoryFreeListAlloc(gBuildLists, 0x30502));
    if (!list) {
        SceneError(ErrorCode(kErrorOutOfMemory, sizeof(MeshBuildList)));
        return nullptr;
    }
    *list = {0, 0, nullptr};
    if (triangleCount > 0) {
        size_t bytes = sizeof(MeshBuildTriangle) * size_t(triangleCount);
        list->triangles = static_cast<MeshBuildTriangle*>(MemoryAllocate(bytes, kHintMeshBuildArray));
        if (!list->triangles) {
            SceneError(ErrorCode(kErrorOutOfMemory, bytes));
            MemoryFreeListFree(gBuildLists, list);
            return nullptr;
        }
        list->capacity = triangleCount;
    }
    return list;
}

MeshBuildList* MeshBuildListAddTriangle(MeshBuildList* list, Material* material, uint16_t v0, uint16_t v1,
                                        uint16_t v2, uint16_t materialIndex, uint16_t textureOrder,
                                        uint16_t rasterOrder, uint16_t pipelineOrder)
{
    if (list->count == list->capacity) {
        size_t bytes = sizeof(MeshBuildTriangle) * (size_t(list->capacity) + 1);
        auto* grown =
            static_cast<MeshBuildTriangle*>(MemoryReallocate(list->triangles, bytes, kHintMeshBuildArray));
        if (!grown) {
            SceneError(ErrorCode(kErrorOutOfMemory, bytes));
            return nullptr;
        }
        list->triangles = grown;
        ++list->capacity;
    }
    list->triangles[list->count++] = {{v0, v1, v2}, material,    materialIndex,
                                      textureOrder, rasterOrder, pipelineOrder};
    return list;
}

int32_t MeshBuildListDestroy(MeshBuildList* list)
{
    MemoryFree(list->triangles);
    MemoryFreeListFree(gBuildLists, list);
    return 1;
}
