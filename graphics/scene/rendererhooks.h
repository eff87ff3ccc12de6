#pragma once
// The scene renderer's entry points as the scene library calls them. The
// renderer is a library above this one (it draws scene objects), so the
// scene library cannot name its functions: the renderer installs them here
// (D3D9SceneRendererInstall) before WorldLibraryAttach, and every hook left
// null is skipped. Without a renderer the scene objects still load, save
// and update; nothing draws them.

#include <cstdint>

struct Geometry;
struct Stream;
struct World;
struct WorldSector;

struct SceneRendererHooks
{
    /// Last step of WorldLibraryAttach; positive on success.
    int32_t (*open)();
    /// First step of the world module's open (the default pipelines); 0 fails the engine start.
    int32_t (*pipelinesOpen)();
    /// Last step of the world module's close.
    void (*pipelinesClose)();
    /// Native data (extension 0x510) of geometries and of a world's sectors.
    Stream* (*geometryNativeWrite)(Stream* stream, const Geometry* geometry);
    Geometry* (*geometryNativeRead)(Stream* stream, Geometry* geometry);
    uint32_t (*geometryNativeSize)(const Geometry* geometry);
    Stream* (*sectorNativeWrite)(Stream* stream, const WorldSector* sector, const World* world);
    WorldSector* (*sectorNativeRead)(Stream* stream, WorldSector* sector, const World* world);
    uint32_t (*sectorNativeSize)(const WorldSector* sector, const World* world);
    /// Last step of the world extensions' attach (native data); positive on success.
    int32_t (*nativeAttach)();
};

/// Installs a copy of the renderer's entry points; null removes them.
void SceneSetRendererHooks(const SceneRendererHooks* hooks);
/// The installed entry points (all null when none were installed).
const SceneRendererHooks* SceneGetRendererHooks();

/// Stream callbacks of extension 0x510 on geometries (plug-in stream
/// signatures): the renderer's native-data bodies, or without a renderer
/// nothing written and the saved bytes skipped.
Stream* GeometryNativeDataRead(Stream* stream, int32_t length, void* object, int32_t offset, int32_t size);
Stream* GeometryNativeDataWrite(Stream* stream, int32_t length, const void* object, int32_t offset,
                                int32_t size);
int32_t GeometryNativeDataSize(const void* object, int32_t offset, int32_t size);
