// World membership of cameras, atomics, lights and clumps.
#include "graphics/scene/worldmembers.h"

#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/resources.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/worldprivate.h"

namespace {

void MarkFrame(Frame* frame)
{
    if (frame) {
        FrameUpdateObjects(frame);
    }
}

void LinkLight(World* world, Light* light)
{
    LightGetWorldData(light)->world = world;
    const bool local = LightGetType(light) >= kLightFirstLocal;
    LinkListAddFront(local ? &world->localLights : &world->globalLights, &light->worldLink);
    if (local) {
        MarkFrame(LightGetFrame(light));
    }
}

void UnlinkLight(Light* light)
{
    LightUntie(light);
    LinkListRemove(&light->worldLink);
    light->worldLink = {nullptr, nullptr};
    LightGetWorldData(light)->world = nullptr;
}

void LeaveAtomic(Atomic* atomic)
{
    if (atomic->instanced) {
        ResourcesFreeEntry(atomic->instanced);
        atomic->instanced = nullptr;
    }
    AtomicUntie(atomic);
    AtomicSetWorld(atomic, nullptr);
}

// A camera in no world keeps no sector list (a camera that is never
// destroyed then holds no memory once its world is gone).
void LeaveCamera(Camera* camera)
{
    CameraSetWorld(camera, nullptr);
    CameraWorldData* data = CameraGetWorldData(camera);
    MemoryFree(data->sectors);
    data->sectors = nullptr;
    data->capacity = 0;
    data->count = 0;
}

} // namespace

void AtomicSetWorld(Atomic* atomic, World* world)
{
    AtomicWorldData* data = AtomicGetWorldData(atomic);
    if (data->world) {
        LinkListRemove(&data->link);
    }
    data->world = world;
    if (world) {
        LinkListAddFront(&WorldEngineGetData()->atomics, &data->link);
    }
}

void CameraSetWorld(Camera* camera, World* world)
{
    CameraWorldData* data = CameraGetWorldData(camera);
    if (data->world) {
        LinkListRemove(&data->link);
    }
    data->world = world;
    if (world) {
        LinkListAddFront(&WorldEngineGetData()->cameras, &data->link);
    }
}

World* WorldAddCamera(World* world, Camera* camera)
{
    CameraSetWorld(camera, world);
    MarkFrame(CameraGetFrame(camera));
    return world;
}

World* WorldRemoveCamera(World* world, Camera* camera)
{
    if (!CameraGetWorldData(camera)->world) {
        return nullptr;
    }
    LeaveCamera(camera);
    return world;
}

World* WorldAddAtomic(World* world, Atomic* atomic)
{
    if (World* old = AtomicGetWorldData(atomic)->world; old && old != world) {
        LeaveAtomic(atomic);
    }
    AtomicSetWorld(atomic, world);
    MarkFrame(AtomicGetFrame(atomic));
    return world;
}

World* WorldRemoveAtomic(World* world, Atomic* atomic)
{
    if (!AtomicGetWorldData(atomic)->world) {
        return nullptr;
    }
    LeaveAtomic(atomic);
    return world;
}

World* WorldAddLight(World* world, Light* light)
{
    if (LightGetWorldData(light)->world) {
        UnlinkLight(light);
    }
    LinkLight(world, light);
    return world;
}

World* WorldRemoveLight(World* world, Light* light)
{
    if (!LightGetWorldData(light)->world) {
        return nullptr;
    }
    UnlinkLight(light);
    return world;
}

World* WorldAddClump(World* world, Clump* clump)
{
    ClumpWorldData* data = ClumpGetWorldData(clump);
    if (data->world) {
        WorldRemoveClump(data->world, clump);
    }
    LinkListAddFront(&world->clumps, &clump->worldLink);
    ++world->numClumps;
    data->world = world;
    ClumpVisitAtomics(
        clump,
        [](Atomic* atomic, void* member) {
            WorldAddAtomic(static_cast<World*>(member), atomic);
            return atomic;
        },
        world);
    ClumpForAllLights(
        clump,
        [](Light* light, void* member) {
            WorldAddLight(static_cast<World*>(member), light);
            return light;
        },
        world);
    ClumpForAllCameras(
        clump,
        [](Camera* camera, void* member) {
            WorldAddCamera(static_cast<World*>(member), camera);
            return camera;
        },
        world);
    if (Frame* frame = ClumpGetFrame(clump)) {
        MatrixOptimize(FrameGetMatrix(frame), nullptr);
        FrameUpdateObjects(frame);
    }
    data->frustumStamp = WorldEngineGetData()->frustumWalk;
    return world;
}

World* WorldRemoveClump(World* world, Clump* clump)
{
    ClumpWorldData* data = ClumpGetWorldData(clump);
    if (!data->world) {
        SceneError(kErrorSceneNotInWorld);
        return nullptr;
    }
    --world->numClumps;
    if (world->clumpIterator == &clump->worldLink) {
        world->clumpIterator = clump->worldLink.next;
    }
    LinkListRemove(&clump->worldLink);
    clump->worldLink = {nullptr, nullptr};
    ClumpVisitAtomics(
        clump,
        [](Atomic* atomic, void* member) {
            if (AtomicGetWorldData(atomic)->world == member) {
                LeaveAtomic(atomic);
            }
            return atomic;
        },
        world);
    ClumpForAllLights(
        clump,
        [](Light* light, void* member) {
            if (LightGetWorldData(light)->world == member) {
                UnlinkLight(light);
            }
            return light;
        },
        world);
    ClumpForAllCameras(
        clump,
        [](Camera* camera, void* member) {
            if (CameraGetWorldData(camera)->world == member) {
                LeaveCamera(camera);
            }
            return camera;
        },
        world);
    data->world = nullptr;
    return world;
}

World* CameraGetWorld(const Camera* camera)
{
    return CameraGetWorldData(camera)->world;
}

World* AtomicGetWorld(const Atomic* atomic)
{
    return AtomicGetWorldData(atomic)->world;
}

World* LightGetWorld(const Light* light)
{
    return LightGetWorldData(light)->world;
}

World* ClumpGetWorld(const Clump* clump)
{
    return ClumpGetWorldData(clump)->world;
}
