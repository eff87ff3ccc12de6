// Worlds: creation, destruction, the open-world list, rendering of the
// visible sectors with their atomics, pre-instancing and sector meshes.
#include "graphics/scene/world.h"

#include <cstring>
#include <initializer_list>

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/resources.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshmaterials.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintWorld = 0x3000B;

WorldModuleData* ModuleData()
{
    return SceneModuleData<WorldModuleData>(kSceneModuleWorld);
}

WorldListNode* FindNode(const World* world)
{
    WorldModuleData* data = ModuleData();
    for (LinkList* link = data->openWorlds.next; link != &data->openWorlds; link = link->next) {
        WorldListNode* node = LinkListEntry(link, WorldListNode, link);
        if (node->world == world) {
            return node;
        }
    }
    return nullptr;
}

void ListRemove(const World* world)
{
    if (WorldListNode* node = FindNode(world)) {
        LinkListRemove(&node->link);
        MemoryFreeListFree(ModuleData()->nodes, node);
    }
}

// Every member leaves, so no atomic, light or camera keeps a pointer to the
// world or a tie into its sectors.
void TakeOutMembers(World* world)
{
    while (!LinkListIsEmpty(&world->clumps)) {
        WorldRemoveClump(world, LinkListEntry(world->clumps.next, Clump, worldLink));
    }
    for (LinkList* head : {&world->globalLights, &world->localLights}) {
        while (!LinkListIsEmpty(head)) {
            WorldRemoveLight(world, LinkListEntry(head->next, Light, worldLink));
        }
    }
    WorldEngineData* engine = WorldEngineGetData();
    for (LinkList* link = engine->atomics.next; link != &engine->atomics;) {
        LinkList* next = link->next;
        Atomic* atomic =
            reinterpret_cast<Atomic*>(reinterpret_cast<char*>(LinkListEntry(link, AtomicWorldData, link)) -
                                      WorldExtensionGetOffsets().atomic);
        if (AtomicGetWorldData(atomic)->world == world) {
            WorldRemoveAtomic(world, atomic);
        }
        link = next;
    }
    for (LinkList* link = engine->cameras.next; link != &engine->cameras;) {
        LinkList* next = link->next;
        Camera* camera =
            reinterpret_cast<Camera*>(reinterpret_cast<char*>(LinkListEntry(link, CameraWorldData, link)) -
                                      WorldExtensionGetOffsets().camera);
        if (CameraGetWorldData(camera)->world == world) {
            WorldRemoveCamera(world, camera);
        }
        link = next;
    }
    EngineInstance* instance = EngineGetInstance();
    if (instance->currentWorld == world) {
        instance->currentWorld = nullptr;
    }
}

void InitialiseRecord(World* world)
{
    world->object = {kObjectTypeWorld, 0, 0, 0, nullptr};
    world->renderOrder = kWorldRenderBackToFront;
    MaterialListInitialize(&world->materials);
    world->numClumps = 0;
    LinkListInit(&world->clumps);
    world->clumpIterator = &world->clumps;
    LinkListInit(&world->localLights);
    LinkListInit(&world->globalLights);
    world->renderCallBack = WorldSectorRenderDefault;
    world->pipeline = nullptr;
}

// WorldForAllSectors with a capturing visitor that answers false to stop.
template <typename Visit> void ForAllSectorsWith(World* world, Visit visit)
{
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            return (*static_cast<Visit*>(data))(sector) ? sector : nullptr;
        },
        &visit);
}

} // namespace

void WorldInitialiseSector(WorldSector* sector)
{
    std::memset(sector, 0, sizeof(WorldSector));
    sector->type = kSectorAtomic;
    LinkListInit(&sector->atomicTies);
    LinkListInit(&sector->lightTies);
}

void WorldInitialiseRecord(World* world)
{
    std::memset(world, 0, sizeof(World));
    InitialiseRecord(world);
}

bool WorldListAdd(World* world, size_t size)
{
    auto* node = static_cast<WorldListNode*>(MemoryFreeListAlloc(ModuleData()->nodes, 0x3000B));
    if (!node) {
        SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(WorldListNode))));
        return false;
    }
    node->world = world;
    node->size = size;
    LinkListAddFront(&ModuleData()->openWorlds, &node->link);
    return true;
}

void WorldDiscard(World* world, bool constructed)
{
    ListRemove(world);
    if (world->root) {
        WorldSectorDestroy(world->root);
    }
    MaterialListDeinitialize(&world->materials);
    if (constructed) {
        PluginRegistryDestruct(WorldGetPluginRegistry(), world);
    }
    MemoryFree(world);
}

void WorldDestroyAll()
{
    WorldModuleData* data = ModuleData();
    while (!LinkListIsEmpty(&data->openWorlds)) {
        WorldDestroy(LinkListEntry(data->openWorlds.next, WorldListNode, link)->world);
    }
}

World* WorldCreate(const BBox* boundingBox)
{
    const size_t worldSize = (size_t(WorldGetPluginRegistry()->objectSize) + 7) & ~size_t(7);
    const size_t size = worldSize + size_t(WorldSectorGetPluginRegistry()->objectSize);
    auto* block = static_cast<char*>(MemoryAllocateZeroed(1, size, kHintWorld));
    if (!block) {
        SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(size)));
        return nullptr;
    }
    auto* world = reinterpret_cast<World*>(block);
    auto* sector = reinterpret_cast<WorldSector*>(block + worldSize);
    InitialiseRecord(world);
    world->object.privateFlags = kWorldPrivateSingleAllocation;
    world->boundingBox = *boundingBox;
    WorldInitialiseSector(sector);
    sector->storedBox = *boundingBox;
    sector->boundingBox = *boundingBox;
    if (!WorldListAdd(world, size)) {
        MemoryFree(block);
        return nullptr;
    }
    if (!PluginRegistryConstruct(WorldSectorGetPluginRegistry(), sector)) {
        WorldDiscard(world, false);
        return nullptr;
    }
    world->root = reinterpret_cast<Sector*>(sector);
    if (!PluginRegistryConstruct(WorldGetPluginRegistry(), world)) {
        WorldDiscard(world, false);
        return nullptr;
    }
    if (!WorldBuildSectorMeshes(world)) {
        WorldDestroy(world);
        return nullptr;
    }
    return world;
}

int32_t WorldDestroy(World* world)
{
    TakeOutMembers(world);
    WorldDiscard(world, true);
    return 1;
}

int32_t WorldSectorDestroy(Sector* sector)
{
    if (sector->type != kSectorAtomic) {
        auto* plane = reinterpret_cast<PlaneSector*>(sector);
        WorldSectorDestroy(plane->left);
        WorldSectorDestroy(plane->right);
        return 1;
    }
    auto* atomicSector = reinterpret_cast<WorldSector*>(sector);
    if (atomicSector->instanced) {
        ResourcesFreeEntry(atomicSector->instanced);
        atomicSector->instanced = nullptr;
    }
    WorldSectorUntieAll(atomicSector);
    PluginRegistryDestruct(WorldSectorGetPluginRegistry(), atomicSector);
    MeshHeaderDestroy(atomicSector->mesh);
    atomicSector->mesh = nullptr;
    return 1;
}

World* WorldRender(World* world)
{
    EngineInstance* instance = EngineGetInstance();
    Camera* camera = instance->currentCamera;
    if (!camera) {
        return world;
    }
    const CameraWorldData* visible = CameraGetWorldData(camera);
    uint32_t frame = instance->renderFrame;
    for (int32_t i = 0; i < visible->count; ++i) {
        WorldSector* sector = visible->sectors[i];
        if (!WorldSectorRender(sector)) {
            continue;
        }
        WorldSectorForAllAtomics(
            sector,
            [](Atomic* atomic, void* data) {
                const uint32_t stamp = *static_cast<const uint32_t*>(data);
                if ((atomic->object.object.flags & kAtomicRender) && atomic->renderFrame != stamp) {
                    atomic->renderFrame = stamp;
                    Camera* current = EngineGetInstance()->currentCamera;
                    if (CameraFrustumTestSphere(current, AtomicWorldBoundingSphere(atomic)) != 0) {
                        atomic->renderCallBack(atomic);
                    }
                }
                return atomic;
            },
            &frame);
    }
    return world;
}

WorldSector* WorldSectorRender(WorldSector* sector)
{
    const auto* world = static_cast<const World*>(EngineGetInstance()->currentWorld);
    return world ? world->renderCallBack(sector) : WorldSectorRenderDefault(sector);
}

WorldSector* WorldSectorRenderDefault(WorldSector* sector)
{
    if (sector->numTriangles == 0) {
        return sector;
    }
    Pipeline* pipeline = sector->pipeline;
    if (!pipeline) {
        const auto* world = static_cast<const World*>(EngineGetInstance()->currentWorld);
        pipeline = world ? world->pipeline : nullptr;
    }
    if (!pipeline) {
        PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
        pipeline = slots ? slots->current[kPipelineKindWorldSector] : nullptr;
    }
    return pipeline && PipelineExecute(pipeline, sector, true) ? sector : nullptr;
}

World* WorldSetSectorRenderCallBack(World* world, WorldSectorCallBackRender callBack)
{
    world->renderCallBack = callBack ? callBack : WorldSectorRenderDefault;
    return world;
}

WorldSectorCallBackRender WorldGetSectorRenderCallBack(const World* world)
{
    return world->renderCallBack;
}

int32_t WorldInstance(World* world)
{
    if (world->format & kGeometryNative) {
        return 1;
    }
    // The sector pipeline reads the flags of the current world.
    EngineInstance* instance = EngineGetInstance();
    void* current = instance->currentWorld;
    instance->currentWorld = world;
    world->format |= kGeometryNativeInstance;
    ForAllSectorsWith(world, [](WorldSector* sector) {
        if (sector->instanced) {
            ResourcesFreeEntry(sector->instanced);
            sector->instanced = nullptr;
        }
        WorldSectorRender(sector);
        return true;
    });
    world->format &= ~kGeometryNativeInstance;
    world->format |= kGeometryNative;
    instance->currentWorld = current;
    return 1;
}

World* WorldBuildSectorMeshes(World* world)
{
    // A native world has no triangles to build from: its meshes come with
    // its extensions.
    if (world->format & kGeometryNative) {
        return world;
    }
    bool built = true;
    ForAllSectorsWith(world, [&](WorldSector* sector) {
        // Sectors whose meshes came with their extensions keep them.
        if (sector->numTriangles == 0 || sector->mesh) {
            return true;
        }
        auto at = [](const void* source, int32_t index) {
            const auto* owner = static_cast<const WorldSector*>(source);
            const WorldSectorTriangle& triangle = owner->triangles[index];
            return MeshSourceTriangle{{triangle.vertex[0], triangle.vertex[1], triangle.vertex[2]},
                                      int32_t(owner->materialListWindowBase) + triangle.material};
        };
        sector->mesh = MeshBuildFromMaterialList(sector, at, sector->numTriangles, &world->materials,
                                                 world->format & kGeometryTriStrip);
        built = sector->mesh != nullptr;
        return built;
    });
    return built ? world : nullptr;
}

World* WorldDestroySectorMeshes(World* world)
{
    if (!world->root) {
        return nullptr;
    }
    ForAllSectorsWith(world, [](WorldSector* sector) {
        MeshHeaderDestroy(sector->mesh);
        sector->mesh = nullptr;
        return true;
    });
    return world;
}
