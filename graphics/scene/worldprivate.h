#pragma once
// The world extension's data (private to the scene library): the engine's
// tie free lists and walk counter, each member's world and saved callbacks,
// and the internal steps shared by the world files.

#include <cstdint>

#include "graphics/core/bbox.h"
#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/freelist.h"
#include "graphics/core/linklist.h"
#include "graphics/core/object.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/world.h"

struct Atomic;
struct Clump;
struct Light;

/// Engine extension 0x509.
struct WorldEngineData
{
    FreeList* atomicTies;
    FreeList* lightTies;
    uint32_t frustumWalk; ///< advanced by every frustum walk
    /// Every camera and atomic in some world (through its extension's link),
    /// so that a world being destroyed finds the members that hold it.
    LinkList cameras;
    LinkList atomics;
};

struct CameraWorldData
{
    WorldSector** sectors; ///< visible sectors
    int32_t capacity;
    int32_t count;
    World* world;
    CameraUpdateFunc beginUpdate; ///< saved
    CameraUpdateFunc endUpdate;   ///< saved
    ObjectHasFrameSyncCallback sync;
    LinkList link; ///< in WorldEngineData::cameras while in a world
};

struct AtomicWorldData
{
    World* world;
    ObjectHasFrameSyncCallback sync; ///< saved
    uint32_t frustumStamp;           ///< visit stamp of the frustum walks
    LinkList link;                   ///< in WorldEngineData::atomics while in a world
};

struct ClumpWorldData
{
    World* world;
    uint32_t frustumStamp;
};

struct LightWorldData
{
    World* world;
    ObjectHasFrameSyncCallback sync; ///< saved
};

/// Offsets of the world extension in the engine instance and in each member.
struct WorldExtensionOffsets
{
    int32_t engine = -1;
    int32_t camera = -1;
    int32_t atomic = -1;
    int32_t clump = -1;
    int32_t light = -1;
};
/// The offsets (kept by scenemodules.cpp, which every file may call).
WorldExtensionOffsets& WorldExtensionGetOffsets();

inline WorldEngineData* WorldEngineGetData()
{
    return static_cast<WorldEngineData*>(EngineGetModuleData(WorldExtensionGetOffsets().engine));
}
template <typename Data> Data* WorldExtensionOf(const void* object, int32_t offset)
{
    return reinterpret_cast<Data*>(const_cast<char*>(static_cast<const char*>(object)) + offset);
}
inline CameraWorldData* CameraGetWorldData(const Camera* camera)
{
    return WorldExtensionOf<CameraWorldData>(camera, WorldExtensionGetOffsets().camera);
}
inline AtomicWorldData* AtomicGetWorldData(const Atomic* atomic)
{
    return WorldExtensionOf<AtomicWorldData>(atomic, WorldExtensionGetOffsets().atomic);
}
inline ClumpWorldData* ClumpGetWorldData(const Clump* clump)
{
    return WorldExtensionOf<ClumpWorldData>(clump, WorldExtensionGetOffsets().clump);
}
inline LightWorldData* LightGetWorldData(const Light* light)
{
    return WorldExtensionOf<LightWorldData>(light, WorldExtensionGetOffsets().light);
}

/// Deepest sector stack a walk of a valid tree needs.
constexpr int32_t kWorldStackSize = kWorldMaxDepth + 1;

/// The coordinate of a point or box corner on a plane sector's axis (0, 4, 8).
inline float WorldAxisValue(const V3d& v, int32_t axis)
{
    return axis == 0 ? v.x : axis == 4 ? v.y : v.z;
}
inline void WorldAxisSet(V3d* v, int32_t axis, float value)
{
    (axis == 0 ? v->x : axis == 4 ? v->y : v->z) = value;
}

/// Ties (worldties.cpp).
/// Unties the atomic from every sector.
void AtomicUntie(Atomic* atomic);
/// Unties the light from every sector.
void LightUntie(Light* light);
/// Returns every tie of the sector (both kinds) to the free lists, unlinked from their objects.
void WorldSectorUntieAll(WorldSector* sector);
/// Re-ties an atomic in a world to the sectors its world sphere overlaps
/// (kErrorOutOfMemory: left untied).
void AtomicTieToWorld(Atomic* atomic);
/// Re-ties a local light with a frame in a world to the sectors within its radius.
void LightTieToWorld(Light* light);

/// The camera extension's constructor (saves the camera's begin, end and
/// sync callbacks and installs the world's), destructor and copy (worldcamera.cpp).
void* CameraWorldConstruct(void* object, int32_t offset, int32_t size);
void* CameraWorldDestruct(void* object, int32_t offset, int32_t size);
void* CameraWorldCopy(void* destination, const void* source, int32_t offset, int32_t size);

/// Membership (worldmembers.cpp): the atomic's or camera's world set or
/// cleared with its link in the engine's member lists.
void AtomicSetWorld(Atomic* atomic, World* world);
void CameraSetWorld(Camera* camera, World* world);

/// Worlds (world.cpp).
/// A cleared world record with empty lists, render order 2 and the default sector render.
void WorldInitialiseRecord(World* world);
/// A cleared atomic sector with empty tie lists.
void WorldInitialiseSector(WorldSector* sector);
/// Adds a world to the open-world list with the size of its allocation;
/// false (kErrorOutOfMemory) when out of memory.
bool WorldListAdd(World* world, size_t size);
/// Leaves the list, destroys the tree, releases the materials, runs the
/// world's plug-in destructors when its constructors ran, frees the block.
void WorldDiscard(World* world, bool constructed);
/// Destroys every open world (the engine stops).
void WorldDestroyAll();
/// The cells of every atomic sector from the world's box and the planes.
void WorldSetSectorBoundingBoxes(World* world);

/// Pipeline selector (pipelineselector.cpp): the per-type slots that a
/// reader clears before the extensions and hands to the rights callback after.
enum SelectorType : int32_t
{
    kSelectorAtomic,
    kSelectorWorld,
    kSelectorWorldSector,
    kSelectorMaterial,
    kSelectorTypeCount,
};
void PipelineSelectorClear(SelectorType type);
/// After the extensions were read: the rights callback of the recorded
/// plug-in on the object (nothing when none was recorded).
void PipelineSelectorApply(SelectorType type, void* object);
/// Registers the selector's stream callbacks on the four types; false on failure.
bool PipelineSelectorAttach();
