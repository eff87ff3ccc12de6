// WorldLibraryAttach: the table of the scene library's engine modules, the
// modules whose objects live in other files (atomics and clumps, worlds)
// or that own none, and the clump-link extension.
#include "graphics/scene/scenelibrary.h"

#include <cstring>

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/rendererhooks.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldmembers.h"

namespace {

FreeList gAtomicFreeListHeader;
FreeList gClumpFreeListHeader;
FreeList gWorldNodeFreeListHeader;

FreeList* CreateObjectFreeList(SceneFreeList params, int32_t entrySize, FreeList* header, uint32_t hint)
{
    const FreeListParams p = SceneFreeListGetParams(params);
    return FreeListCreateEx(uint32_t(entrySize), uint32_t(p.entriesPerBlock), 4,
                            uint32_t(p.blocksToPreallocate), header, hint);
}

// The modules that own nothing only count their opens and closes.
void* OpenNothing(void* instance, int32_t, int32_t)
{
    return instance;
}

// Every module's open and close, wrapped to keep its open counter.
template <SceneModule module, EngineModuleFunc open>
void* CountedOpen(void* instance, int32_t offset, int32_t size)
{
    void* opened = open(instance, offset, size);
    if (opened) {
        SceneModuleCountOpen(module, 1);
    }
    return opened;
}

template <SceneModule module, EngineModuleFunc close>
void* CountedClose(void* instance, int32_t offset, int32_t size)
{
    SceneModuleCountOpen(module, -1);
    return close(instance, offset, size);
}

void* AtomicModuleOpen(void* instance, int32_t, int32_t)
{
    auto* data = SceneModuleData<AtomicModuleData>(kSceneModuleAtomic);
    data->atomics = CreateObjectFreeList(kSceneFreeListAtomic, AtomicGetPluginRegistry()->objectSize,
                                         &gAtomicFreeListHeader, 0x40010);
    if (!data->atomics) {
        return nullptr;
    }
    data->clumps = CreateObjectFreeList(kSceneFreeListClump, ClumpGetPluginRegistry()->objectSize,
                                        &gClumpFreeListHeader, 0x40014);
    if (!data->clumps) {
        FreeListDestroy(data->atomics);
        data->atomics = nullptr;
        return nullptr;
    }
    return instance;
}

void DestroyForgottenClump(void* clump, void*)
{
    ClumpDestroy(static_cast<Clump*>(clump));
}

void DestroyForgottenAtomic(void* atomic, void*)
{
    AtomicDestroy(static_cast<Atomic*>(atomic));
}

void* AtomicModuleClose(void* instance, int32_t, int32_t)
{
    auto* data = SceneModuleData<AtomicModuleData>(kSceneModuleAtomic);
    // Clumps first: each takes its atomics with it.
    FreeListForAllUsed(data->clumps, DestroyForgottenClump, nullptr);
    FreeListForAllUsed(data->atomics, DestroyForgottenAtomic, nullptr);
    FreeListDestroy(data->clumps);
    FreeListDestroy(data->atomics);
    data->clumps = nullptr;
    data->atomics = nullptr;
    return instance;
}

// The world module opens the renderer's default pipelines first and closes
// them last.
void* WorldModuleOpen(void* instance, int32_t, int32_t)
{
    const SceneRendererHooks* renderer = SceneGetRendererHooks();
    if (renderer->pipelinesOpen && !renderer->pipelinesOpen()) {
        return nullptr;
    }
    auto* data = SceneModuleData<WorldModuleData>(kSceneModuleWorld);
    data->nodes = FreeListCreateEx(sizeof(WorldListNode), 8, 4, 1, &gWorldNodeFreeListHeader, 0x4000B);
    if (!data->nodes) {
        if (renderer->pipelinesClose) {
            renderer->pipelinesClose();
        }
        return nullptr;
    }
    LinkListInit(&data->openWorlds);
    return instance;
}

void* WorldModuleClose(void* instance, int32_t, int32_t)
{
    auto* data = SceneModuleData<WorldModuleData>(kSceneModuleWorld);
    FreeListDestroy(data->nodes);
    data->nodes = nullptr;
    if (const SceneRendererHooks* renderer = SceneGetRendererHooks(); renderer->pipelinesClose) {
        renderer->pipelinesClose();
    }
    return instance;
}

struct ModuleEntry
{
    uint32_t id;
    int32_t size;
    EngineModuleFunc open;
    EngineModuleFunc close;
};

// Registration order: materials before geometry, atomics before lights,
// worlds last but one; they close in the reverse order.
#define SCENE_MODULE(module, id, size, open, close)                                                          \
    {                                                                                                        \
        id, size, CountedOpen<module, open>, CountedClose<module, close>                                     \
    }
const ModuleEntry kModules[] = {
    SCENE_MODULE(kSceneModuleMaterial, kModuleIdMaterial, sizeof(MaterialModuleData), MaterialModuleOpen,
                 MaterialModuleClose),
    SCENE_MODULE(kSceneModuleMesh, kModuleIdMesh, sizeof(MeshModuleData), MeshPoolOpen, MeshPoolClose),
    SCENE_MODULE(kSceneModuleGeometry, kModuleIdGeometry, 0, OpenNothing, OpenNothing),
    SCENE_MODULE(kSceneModuleAtomic, kModuleIdAtomic, sizeof(AtomicModuleData), AtomicModuleOpen,
                 AtomicModuleClose),
    SCENE_MODULE(kSceneModuleLight, kModuleIdLight, sizeof(LightModuleData), LightModuleOpen,
                 LightModuleClose),
    SCENE_MODULE(kSceneModule50A, kModuleId50A, 0, OpenNothing, OpenNothing),
    SCENE_MODULE(kSceneModuleWorld, kModuleIdWorld, sizeof(WorldModuleData), WorldModuleOpen,
                 WorldModuleClose),
    SCENE_MODULE(kSceneModule50B, kModuleId50B, 0, OpenNothing, OpenNothing),
};
#undef SCENE_MODULE
static_assert(sizeof(kModules) / sizeof(kModules[0]) == kSceneModuleCount, "one entry per module");

// The clump link: zeroed at creation; a light or camera destroyed while in
// a clump leaves the clump's list, so a clump destroyed later never walks a
// freed member.
void* ClumpLinkConstruct(void* object, int32_t offset, int32_t)
{
    auto* link = reinterpret_cast<ClumpLink*>(static_cast<char*>(object) + offset);
    std::memset(link, 0, sizeof(ClumpLink));
    return object;
}

void* ClumpLinkDestruct(void* object, int32_t offset, int32_t)
{
    auto* link = reinterpret_cast<ClumpLink*>(static_cast<char*>(object) + offset);
    if (link->clump) {
        LinkListRemove(&link->link);
        std::memset(link, 0, sizeof(ClumpLink));
    }
    return object;
}

} // namespace

int32_t WorldLibraryAttach()
{
    bool failed = false;
    for (int32_t i = 0; i < kSceneModuleCount; ++i) {
        const ModuleEntry& module = kModules[i];
        const int32_t offset = EngineAttachPlugin(module.size, module.id, module.open, module.close);
        SceneModuleSetOffset(SceneModule(i), offset);
        failed |= offset < 0;
    }
    if (failed || !WorldExtensionsAttach() || !FrameObjectLinksAttach()) {
        return 0;
    }
    const SceneRendererHooks* renderer = SceneGetRendererHooks();
    return !renderer->open || renderer->open() > 0 ? 1 : 0;
}

int32_t FrameObjectLinksAttach()
{
    const int32_t camera = CameraRegisterPlugin(sizeof(ClumpLink), kPluginIdClumpLink, ClumpLinkConstruct,
                                                ClumpLinkDestruct, nullptr);
    if (camera < 0) {
        return 0;
    }
    const int32_t light = LightRegisterPlugin(sizeof(ClumpLink), kPluginIdClumpLink, ClumpLinkConstruct,
                                              ClumpLinkDestruct, nullptr);
    SceneSetClumpLinkOffsets(camera, light);
    return light >= 0 ? 1 : 0;
}
