// The scene library's shared state: module offsets and open counters,
// free-list sizing, the clump-link offsets and the error helper. Every file
// of the library reads it; it calls none of them.
#include "graphics/scene/scenemodules.h"

#include "graphics/core/error.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/worldprivate.h"

namespace {

int32_t gOffsets[kSceneModuleCount] = {-1, -1, -1, -1, -1, -1, -1, -1};
int32_t gOpenCounts[kSceneModuleCount];

FreeListParams gFreeListParams[kSceneFreeListCount] = {
    {256, 1}, // materials
    {128, 1}, // atomics
    {128, 1}, // clumps
    {32, 1},  // lights
    {256, 1}, // atomic ties
    {32, 1},  // light ties
};

WorldExtensionOffsets gWorldExtensionOffsets;
int32_t gCameraClumpLinkOffset = -1;
int32_t gLightClumpLinkOffset = -1;

void SetParams(SceneFreeList list, int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    if (entriesPerBlock > 0 && blocksToPreallocate > 0) {
        gFreeListParams[list] = {entriesPerBlock, blocksToPreallocate};
    }
}

} // namespace

int32_t SceneModuleGetOffset(SceneModule module)
{
    return gOffsets[module];
}

void SceneModuleSetOffset(SceneModule module, int32_t offset)
{
    gOffsets[module] = offset;
}

int32_t SceneModuleGetOpenCount(SceneModule module)
{
    return gOpenCounts[module];
}

void SceneModuleCountOpen(SceneModule module, int32_t delta)
{
    gOpenCounts[module] += delta;
}

FreeListParams SceneFreeListGetParams(SceneFreeList list)
{
    return gFreeListParams[list];
}

WorldExtensionOffsets& WorldExtensionGetOffsets()
{
    return gWorldExtensionOffsets;
}

void SceneError(uint32_t code)
{
    ErrorRaise(kPluginIdScene, code);
}

void SceneSetClumpLinkOffsets(int32_t camera, int32_t light)
{
    gCameraClumpLinkOffset = camera;
    gLightClumpLinkOffset = light;
}

ClumpLink* LightGetClumpLink(Light* light)
{
    return reinterpret_cast<ClumpLink*>(reinterpret_cast<char*>(light) + gLightClumpLinkOffset);
}

ClumpLink* CameraGetClumpLink(Camera* camera)
{
    return reinterpret_cast<ClumpLink*>(reinterpret_cast<char*>(camera) + gCameraClumpLinkOffset);
}

void MaterialSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListMaterial, entriesPerBlock, blocksToPreallocate);
}

void AtomicSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListAtomic, entriesPerBlock, blocksToPreallocate);
}

void ClumpSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListClump, entriesPerBlock, blocksToPreallocate);
}

void LightSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListLight, entriesPerBlock, blocksToPreallocate);
}

void AtomicTieSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListAtomicTie, entriesPerBlock, blocksToPreallocate);
}

void LightTieSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    SetParams(kSceneFreeListLightTie, entriesPerBlock, blocksToPreallocate);
}
