#pragma once
// World membership: cameras, atomics, lights and clumps join a World. While
// in one, an atomic or light is tied to every world sector its bounds
// overlap, redone whenever its frame moves (at FrameSyncDirty), and a camera
// keeps the list of sectors inside its view frustum. The world extension
// (WorldExtensionsAttach, part of WorldLibraryAttach) installs the hooks.
//
// Ties: one record per (object, sector) pair, linked into the sector's list
// and the object's list. The sector walks leave a marker record behind the
// current element, so a callback may untie or remove the object it is given.

#include <cstdint>

#include "graphics/core/linklist.h"

struct Atomic;
struct Camera;
struct Clump;
struct Light;
struct World;
struct WorldSector;

/// A tie of an atomic to a sector (atomic null: a walk's marker).
struct AtomicTie
{
    LinkList sectorLink; ///< in WorldSector::atomicTies
    Atomic* atomic;
    LinkList atomicLink; ///< in Atomic::sectorTies
    WorldSector* sector;
};

/// A tie of a local light to a sector (light null: a walk's marker).
struct LightTie
{
    LinkList sectorLink; ///< in WorldSector::lightTies
    Light* light;
    LinkList lightLink; ///< in Light::sectorTies
    WorldSector* sector;
};

using AtomicSectorCallBack = WorldSector* (*)(WorldSector* sector, void* data);
using SectorAtomicCallBack = Atomic* (*)(Atomic* atomic, void* data);
using SectorLightCallBack = Light* (*)(Light* light, void* data);
using LightSectorCallBack = WorldSector* (*)(WorldSector* sector, void* data);
using CameraSectorCallBack = WorldSector* (*)(WorldSector* sector, void* data);
using CameraClumpCallBack = Clump* (*)(Clump* clump, void* data);
using CameraAtomicCallBack = Atomic* (*)(Atomic* atomic, void* data);

/// Registers the world extension on the engine, cameras, atomics, clumps and
/// lights, the mesh (0x50E) and native-data (0x510) stream hooks and the
/// pipeline selector (0x1F); 1, or 0 when a registration failed.
int32_t WorldExtensionsAttach();

/// The camera joins the world (leaving any other); its sector list is built
/// at its frame's next synchronisation. The world.
World* WorldAddCamera(World* world, Camera* camera);
/// The world, or null when the camera is in no world.
World* WorldRemoveCamera(World* world, Camera* camera);
/// The atomic joins the world; it is tied at its frame's next synchronisation. The world.
World* WorldAddAtomic(World* world, Atomic* atomic);
/// Instanced data freed, every tie removed; the world, or null when in none.
World* WorldRemoveAtomic(World* world, Atomic* atomic);
/// The light joins the world's global list (types below 0x80) or local list
/// (tied at its frame's next synchronisation). The world.
World* WorldAddLight(World* world, Light* light);
/// Untied and unlinked; the world, or null when the light is in none.
World* WorldRemoveLight(World* world, Light* light);
/// The clump and all its atomics, lights and cameras join the world. The world.
World* WorldAddClump(World* world, Clump* clump);
/// The clump and its members leave; the world, or null (library error 4)
/// when the clump is in no world.
World* WorldRemoveClump(World* world, Clump* clump);
/// The world of each, or null.
World* CameraGetWorld(const Camera* camera);
World* AtomicGetWorld(const Atomic* atomic);
World* LightGetWorld(const Light* light);
World* ClumpGetWorld(const Clump* clump);

/// Each sector the atomic is tied to until the callback answers null; the atomic.
Atomic* AtomicForAllWorldSectors(Atomic* atomic, AtomicSectorCallBack callBack, void* data);
/// Each atomic tied to the sector until null; the sector.
WorldSector* WorldSectorForAllAtomics(WorldSector* sector, SectorAtomicCallBack callBack, void* data);
/// Each light tied to the sector, then each global light of its world, until null; the sector.
WorldSector* WorldSectorForAllLights(WorldSector* sector, SectorLightCallBack callBack, void* data);
/// A local light: each sector it is tied to; a global one: every sector of
/// its world. Until null; the light.
Light* LightForAllWorldSectors(Light* light, LightSectorCallBack callBack, void* data);
/// Each sector of the camera's visible list until null; the camera.
Camera* CameraForAllSectorsInFrustum(Camera* camera, CameraSectorCallBack callBack, void* data);
/// Each clump (atomic) with an atomic in a visible sector whose world sphere
/// is not outside the frustum, once per walk, until null; the camera.
Camera* CameraForAllClumpsInFrustum(Camera* camera, CameraClumpCallBack callBack, void* data);
Camera* CameraForAllAtomicsInFrustum(Camera* camera, CameraAtomicCallBack callBack, void* data);
