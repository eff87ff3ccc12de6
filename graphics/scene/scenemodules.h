#pragma once
// The scene library's engine modules: their data in the engine instance,
// offsets, open counters and free-list sizing (private to the library).

#include <cstddef>
#include <cstdint>

#include "graphics/core/engine.h"
#include "graphics/core/freelist.h"
#include "graphics/core/linklist.h"

struct Camera;
struct ClumpLink;
struct Light;
struct World;

struct MaterialModuleData
{
    FreeList* materials;
};

struct MeshModuleData
{
    uint16_t serial;
};

struct AtomicModuleData
{
    FreeList* atomics;
    FreeList* clumps;
};

struct LightModuleData
{
    FreeList* lights;
};

/// A node of the open-world list.
struct WorldListNode
{
    World* world;
    size_t size; ///< of the world's allocation
    LinkList link;
};

struct WorldModuleData
{
    FreeList* nodes;
    LinkList openWorlds;
};

/// Index of each module in registration order.
enum SceneModule : int32_t
{
    kSceneModuleMaterial,
    kSceneModuleMesh,
    kSceneModuleGeometry,
    kSceneModuleAtomic,
    kSceneModuleLight,
    kSceneModule50A,
    kSceneModuleWorld,
    kSceneModule50B,
    kSceneModuleCount,
};

/// The module's data offset in the engine instance (-1 before attach).
int32_t SceneModuleGetOffset(SceneModule module);
void SceneModuleSetOffset(SceneModule module, int32_t offset);
/// Opens not yet closed.
int32_t SceneModuleGetOpenCount(SceneModule module);
/// Adds `delta` (1 at an open, -1 at a close) to the module's counter.
void SceneModuleCountOpen(SceneModule module, int32_t delta);

template <typename T> T* SceneModuleData(SceneModule module)
{
    return static_cast<T*>(EngineGetModuleData(SceneModuleGetOffset(module)));
}

struct FreeListParams
{
    int32_t entriesPerBlock;
    int32_t blocksToPreallocate;
};

enum SceneFreeList : int32_t
{
    kSceneFreeListMaterial,
    kSceneFreeListAtomic,
    kSceneFreeListClump,
    kSceneFreeListLight,
    kSceneFreeListAtomicTie,
    kSceneFreeListLightTie,
    kSceneFreeListCount,
};

FreeListParams SceneFreeListGetParams(SceneFreeList list);

/// Records the clump-link offsets that FrameObjectLinksAttach obtained.
void SceneSetClumpLinkOffsets(int32_t camera, int32_t light);
/// The clump-link extension of a light or camera (FrameObjectLinksAttach).
ClumpLink* LightGetClumpLink(Light* light);
ClumpLink* CameraGetClumpLink(Camera* camera);

/// Records {kPluginIdScene, code} (common codes are stored with plug-in id 0).
void SceneError(uint32_t code);

/// Material and light module open/close (material.cpp, light.cpp).
void* MaterialModuleOpen(void* instance, int32_t offset, int32_t size);
void* MaterialModuleClose(void* instance, int32_t offset, int32_t size);
void* LightModuleOpen(void* instance, int32_t offset, int32_t size);
void* LightModuleClose(void* instance, int32_t offset, int32_t size);
