// Meshes of an object whose triangles name materials by list index.
#include "graphics/scene/meshmaterials.h"

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"

namespace {

// Order of first appearance of a value among those met so far.
uint16_t OrderOf(const void** table, uint32_t* count, const void* value)
{
    for (uint32_t i = 0; i < *count; ++i) {
        if (table[i] == value) {
            return uint16_t(i);
        }
    }
    table[*count] = value;
    return uint16_t((*count)++);
}

} // namespace

MeshHeader* MeshBuildFromMaterialList(const void* source, MeshTriangleAt at, int32_t count,
                                      const MaterialList* materials, uint32_t strips)
{
    MeshBuildList* list = MeshBuildListCreate(uint32_t(count));
    if (!list) {
        return nullptr;
    }
    // Order numbers of each material's texture, raster and pipeline, in
    // order of first appearance; slot `materialCount` stands for no material.
    const int32_t materialCount = materials->count;
    const size_t slots = size_t(materialCount) + 1;
    auto* tables =
        static_cast<const void**>(MemoryAllocate(sizeof(void*) * 3 * slots, kHintMeshBuildScratch));
    auto* orders = static_cast<int32_t*>(MemoryAllocate(sizeof(int32_t) * 3 * slots, kHintMeshBuildScratch));
    bool ok = tables && orders;
    if (!ok) {
        SceneError(ErrorCode(kErrorOutOfMemory, sizeof(void*) * 3 * slots));
    }
    uint32_t used[3] = {0, 0, 0};
    for (size_t i = 0; ok && i < 3 * slots; ++i) {
        orders[i] = -1;
    }
    for (int32_t t = 0; ok && t < count; ++t) {
        const MeshSourceTriangle triangle = at(source, t);
        const bool named = triangle.material >= 0 && triangle.material < materialCount;
        Material* material = named ? materials->materials[triangle.material] : nullptr;
        const size_t slot = named ? size_t(triangle.material) : size_t(materialCount);
        if (orders[3 * slot] < 0) {
            Texture* texture = material ? material->texture : nullptr;
            const void* keys[3] = {texture, texture ? texture->raster : nullptr,
                                   material ? material->pipeline : nullptr};
            for (int k = 0; k < 3; ++k) {
                orders[3 * slot + k] = OrderOf(tables + k * slots, &used[k], keys[k]);
            }
        }
        ok = MeshBuildListAddTriangle(
                 list, material, triangle.vertex[0], triangle.vertex[1], triangle.vertex[2],
                 named ? uint16_t(triangle.material) : kGeometryNoMaterial, uint16_t(orders[3 * slot]),
                 uint16_t(orders[3 * slot + 1]), uint16_t(orders[3 * slot + 2])) != nullptr;
    }
    MemoryFree(tables);
    MemoryFree(orders);
    if (!ok) {
        MeshBuildListDestroy(list);
        return nullptr;
    }
    return MeshBuild(list, strips);
}
