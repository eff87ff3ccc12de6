// Materials: creation, sharing, release and the material module (0x501),
// which owns the free list they come from.
#include "graphics/scene/material.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"

namespace {

constexpr SurfaceProperties kUnitSurfaceProperties = {1.0f, 1.0f, 1.0f};
SurfaceProperties gDefaultSurfaceProperties = kUnitSurfaceProperties;
FreeList gMaterialFreeListHeader;

FreeList* MaterialFreeList()
{
    return SceneModuleData<MaterialModuleData>(kSceneModuleMaterial)->materials;
}

Material* MaterialAllocate()
{
    auto* material = static_cast<Material*>(MemoryFreeListAlloc(MaterialFreeList(), kHintMaterial));
    if (!material) {
        SceneError(ErrorCode(kErrorOutOfMemory, MaterialGetPluginRegistry()->objectSize));
    }
    return material;
}

} // namespace

void* MaterialModuleOpen(void* instance, int32_t, int32_t)
{
    FreeListParams params = SceneFreeListGetParams(kSceneFreeListMaterial);
    auto* data = SceneModuleData<MaterialModuleData>(kSceneModuleMaterial);
    data->materials =
        FreeListCreateEx(uint32_t(MaterialGetPluginRegistry()->objectSize), uint32_t(params.entriesPerBlock),
                         4, uint32_t(params.blocksToPreallocate), &gMaterialFreeListHeader, 0x40007);
    return data->materials ? instance : nullptr;
}

void* MaterialModuleClose(void* instance, int32_t, int32_t)
{
    auto* data = SceneModuleData<MaterialModuleData>(kSceneModuleMaterial);
    FreeListDestroy(data->materials);
    data->materials = nullptr;
    return instance;
}

Material* MaterialCreate()
{
    Material* material = MaterialAllocate();
    if (!material) {
        return nullptr;
    }
    material->texture = nullptr;
    material->colour = {255, 255, 255, 255};
    material->pipeline = nullptr;
    material->surfaceProperties = gDefaultSurfaceProperties;
    material->refCount = 1;
    if (!PluginRegistryConstruct(MaterialGetPluginRegistry(), material)) {
        MemoryFreeListFree(MaterialFreeList(), material);
        return nullptr;
    }
    return material;
}

Material* MaterialClone(const Material* source)
{
    Material* material = MaterialAllocate();
    if (!material) {
        return nullptr;
    }
    material->texture = source->texture ? TextureAddRef(source->texture) : nullptr;
    material->colour = source->colour;
    material->pipeline = source->pipeline;
    material->surfaceProperties = source->surfaceProperties;
    material->refCount = 1;
    // Constructed first, so a plug-in without a copy callback still starts
    // from a defined state.
    if (!PluginRegistryConstruct(MaterialGetPluginRegistry(), material)) {
        if (material->texture) {
            TextureDestroy(material->texture);
        }
        MemoryFreeListFree(MaterialFreeList(), material);
        return nullptr;
    }
    PluginRegistryCopy(MaterialGetPluginRegistry(), material, source);
    return material;
}

int32_t MaterialRelease(Material* material)
{
    if (material->refCount != 1) {
        --material->refCount;
        return 1;
    }
    PluginRegistryDestruct(MaterialGetPluginRegistry(), material);
    if (material->texture) {
        TextureDestroy(material->texture);
    }
    MemoryFreeListFree(MaterialFreeList(), material);
    return 1;
}

Material* MaterialSetTexture(Material* material, Texture* texture)
{
    if (texture) {
        TextureAddRef(texture);
    }
    if (material->texture) {
        TextureDestroy(material->texture);
    }
    material->texture = texture;
    return material;
}

void MaterialSetDefaultSurfaceProperties(const SurfaceProperties* properties)
{
    gDefaultSurfaceProperties = properties ? *properties : kUnitSurfaceProperties;
}

bool MaterialIsTransparent(const Material* material)
{
    if (!material) {
        return false;
    }
    if (material->colour.alpha < 255) {
        return true;
    }
    const Raster* raster = material->texture ? material->texture->raster : nullptr;
    if (!raster) {
        return false;
    }
    uint32_t pixelFormat = (uint32_t(raster->format) << 8) & kRasterFormatPixelMask;
    return pixelFormat == kRasterFormat1555 || pixelFormat == kRasterFormat4444 ||
           pixelFormat == kRasterFormat8888;
}
