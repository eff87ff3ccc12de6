// WorldExtensionsAttach: the world extension on the engine (tie free lists,
// frustum-walk counter), cameras, atomics, clumps and lights, the mesh and
// native-data stream hooks of geometries and world sectors, and the
// pipeline selector.
#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/rendererhooks.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/worldmembers.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kHintTieList = 0x40507;

FreeList gAtomicTieHeader;
FreeList gLightTieHeader;

FreeList* CreateTieList(SceneFreeList params, uint32_t entrySize, FreeList* header)
{
    const FreeListParams p = SceneFreeListGetParams(params);
    return FreeListCreateEx(entrySize, uint32_t(p.entriesPerBlock), 4, uint32_t(p.blocksToPreallocate),
                            header, kHintTieList);
}

void* EngineOpen(void* instance, int32_t offset, int32_t)
{
    auto* data = WorldExtensionOf<WorldEngineData>(instance, offset);
    data->atomicTies = CreateTieList(kSceneFreeListAtomicTie, sizeof(AtomicTie), &gAtomicTieHeader);
    if (!data->atomicTies) {
        return nullptr;
    }
    data->lightTies = CreateTieList(kSceneFreeListLightTie, sizeof(LightTie), &gLightTieHeader);
    if (!data->lightTies) {
        FreeListDestroy(data->atomicTies);
        data->atomicTies = nullptr;
        return nullptr;
    }
    data->frustumWalk = 0;
    LinkListInit(&data->cameras);
    LinkListInit(&data->atomics);
    static_cast<EngineInstance*>(instance)->renderFrame = 1;
    return instance;
}

// This extension registers after the library's modules and so closes before
// them: worlds the application forgot go first, with their members taken
// out, while the tie lists they return ties to still exist.
void* EngineClose(void* instance, int32_t offset, int32_t)
{
    auto* data = WorldExtensionOf<WorldEngineData>(instance, offset);
    WorldDestroyAll();
    FreeListDestroy(data->lightTies);
    FreeListDestroy(data->atomicTies);
    data->atomicTies = nullptr;
    data->lightTies = nullptr;
    return instance;
}

void AtomicWorldSync(void* object)
{
    auto* atomic = static_cast<Atomic*>(object);
    AtomicWorldData* data = AtomicGetWorldData(atomic);
    data->sync(atomic);
    if (data->world) {
        AtomicTieToWorld(atomic);
    }
}

void* AtomicConstruct(void* object, int32_t offset, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    auto* data = WorldExtensionOf<AtomicWorldData>(object, offset);
    data->world = nullptr;
    data->sync = atomic->object.sync;
    data->frustumStamp = WorldEngineGetData()->frustumWalk;
    LinkListInit(&data->link);
    atomic->object.sync = AtomicWorldSync;
    return object;
}

void* AtomicDestruct(void* object, int32_t offset, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    auto* data = WorldExtensionOf<AtomicWorldData>(object, offset);
    AtomicUntie(atomic);
    AtomicSetWorld(atomic, nullptr);
    atomic->object.sync = data->sync;
    return object;
}

void* ClumpConstruct(void* object, int32_t offset, int32_t)
{
    *WorldExtensionOf<ClumpWorldData>(object, offset) = {nullptr, 0};
    return object;
}

void* ClumpCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    if (World* world = WorldExtensionOf<ClumpWorldData>(source, offset)->world) {
        WorldAddClump(world, static_cast<Clump*>(destination));
    }
    return destination;
}

void LightWorldSync(void* object)
{
    auto* light = static_cast<Light*>(object);
    LightGetWorldData(light)->sync(light);
    LightTieToWorld(light);
}

void* LightConstruct(void* object, int32_t offset, int32_t)
{
    auto* light = static_cast<Light*>(object);
    auto* data = WorldExtensionOf<LightWorldData>(object, offset);
    data->world = nullptr;
    data->sync = light->object.sync;
    light->object.sync = LightWorldSync;
    return object;
}

// A destroyed light leaves its world's light list as well as its sectors.
void* LightDestruct(void* object, int32_t offset, int32_t)
{
    auto* light = static_cast<Light*>(object);
    auto* data = WorldExtensionOf<LightWorldData>(object, offset);
    if (data->world) {
        WorldRemoveLight(data->world, light);
    }
    LightUntie(light);
    light->object.sync = data->sync;
    return object;
}

void* LightCopy(void* destination, const void* source, int32_t offset, int32_t)
{
    if (World* world = WorldExtensionOf<LightWorldData>(source, offset)->world) {
        WorldAddLight(world, static_cast<Light*>(destination));
    }
    return destination;
}

// Mesh lists (0x50E). A sector's meshes name materials of its world's list.
Stream* GeometryMeshRead(Stream* stream, int32_t, void* object, int32_t, int32_t)
{
    auto* geometry = static_cast<Geometry*>(object);
    MeshHeader* header = MeshStreamRead(stream, geometry, &geometry->materials, geometry->numVertices);
    if (!header) {
        return nullptr;
    }
    MeshHeaderDestroy(geometry->mesh);
    geometry->mesh = header;
    return stream;
}

Stream* GeometryMeshWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    return MeshStreamWrite(geometry->mesh, geometry, stream, &geometry->materials);
}

int32_t GeometryMeshSize(const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    return geometry->mesh ? int32_t(MeshStreamSize(geometry->mesh, geometry)) : 0;
}

Stream* SectorMeshRead(Stream* stream, int32_t, void* object, int32_t, int32_t)
{
    auto* sector = static_cast<WorldSector*>(object);
    const World* world = WorldSectorGetWorld(sector);
    MeshHeader* header =
        world ? MeshStreamRead(stream, world, &world->materials, sector->numVertices) : nullptr;
    if (!header) {
        return nullptr;
    }
    MeshHeaderDestroy(sector->mesh);
    sector->mesh = header;
    return stream;
}

Stream* SectorMeshWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* sector = static_cast<const WorldSector*>(object);
    const World* world = WorldSectorGetWorld(sector);
    return MeshStreamWrite(sector->mesh, world, stream, &world->materials);
}

int32_t SectorMeshSize(const void* object, int32_t, int32_t)
{
    const auto* sector = static_cast<const WorldSector*>(object);
    const World* world = sector->mesh ? WorldSectorGetWorld(sector) : nullptr;
    return world ? int32_t(MeshStreamSize(sector->mesh, world)) : 0;
}

// Native data (0x510) of a sector: the renderer's bodies, given the
// sector's world; without a renderer nothing is written and saved bytes are skipped.
Stream* SectorNativeRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    const SceneRendererHooks* renderer = SceneGetRendererHooks();
    if (!renderer->sectorNativeRead) {
        return length <= 0 || StreamSkip(stream, size_t(length)) ? stream : nullptr;
    }
    auto* sector = static_cast<WorldSector*>(object);
    const World* world = WorldSectorGetWorld(sector);
    return world && renderer->sectorNativeRead(stream, sector, world) ? stream : nullptr;
}

Stream* SectorNativeWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* sector = static_cast<const WorldSector*>(object);
    return SceneGetRendererHooks()->sectorNativeWrite(stream, sector, WorldSectorGetWorld(sector));
}

int32_t SectorNativeSize(const void* object, int32_t, int32_t)
{
    const SceneRendererHooks* renderer = SceneGetRendererHooks();
    const auto* sector = static_cast<const WorldSector*>(object);
    const World* world = renderer->sectorNativeSize ? WorldSectorGetWorld(sector) : nullptr;
    const uint32_t size = world ? renderer->sectorNativeSize(sector, world) : 0;
    return size > 0x7FFFFFFF ? 0 : int32_t(size);
}

} // namespace

int32_t WorldExtensionsAttach()
{
    WorldExtensionOffsets& offsets = WorldExtensionGetOffsets();
    offsets.engine = EngineAttachPlugin(int32_t(sizeof(WorldEngineData)), kPluginIdWorldExtension, EngineOpen,
                                        EngineClose);
    offsets.camera = CameraRegisterPlugin(int32_t(sizeof(CameraWorldData)), kPluginIdWorldExtension,
                                          CameraWorldConstruct, CameraWorldDestruct, CameraWorldCopy);
    offsets.atomic = AtomicRegisterPlugin(int32_t(sizeof(AtomicWorldData)), kPluginIdWorldExtension,
                                          AtomicConstruct, AtomicDestruct, nullptr);
    offsets.clump = ClumpRegisterPlugin(int32_t(sizeof(ClumpWorldData)), kPluginIdWorldExtension,
                                        ClumpConstruct, nullptr, ClumpCopy);
    offsets.light = LightRegisterPlugin(int32_t(sizeof(LightWorldData)), kPluginIdWorldExtension,
                                        LightConstruct, LightDestruct, LightCopy);
    bool ok = offsets.engine >= 0 && offsets.camera >= 0 && offsets.atomic >= 0 && offsets.clump >= 0 &&
              offsets.light >= 0;
    ok &= GeometryRegisterPlugin(0, kPluginIdMeshStream, nullptr, nullptr, nullptr) >= 0 &&
          GeometryRegisterPluginStream(kPluginIdMeshStream, GeometryMeshRead, GeometryMeshWrite,
                                       GeometryMeshSize) >= 0;
    ok &= WorldSectorRegisterPlugin(0, kPluginIdMeshStream, nullptr, nullptr, nullptr) >= 0 &&
          WorldSectorRegisterPluginStream(kPluginIdMeshStream, SectorMeshRead, SectorMeshWrite,
                                          SectorMeshSize) >= 0;
    ok &= GeometryRegisterPlugin(0, kPluginIdNativeData, nullptr, nullptr, nullptr) >= 0 &&
          GeometryRegisterPluginStream(kPluginIdNativeData, GeometryNativeDataRead, GeometryNativeDataWrite,
                                       GeometryNativeDataSize) >= 0;
    ok &= WorldSectorRegisterPlugin(0, kPluginIdNativeData, nullptr, nullptr, nullptr) >= 0 &&
          WorldSectorRegisterPluginStream(kPluginIdNativeData, SectorNativeRead, SectorNativeWrite,
                                          SectorNativeSize) >= 0;
    ok &= PipelineSelectorAttach();
    const SceneRendererHooks* renderer = SceneGetRendererHooks();
    ok = ok && (!renderer->nativeAttach || renderer->nativeAttach() > 0);
    return ok ? 1 : 0;
}
