#pragma once
// Plug-in registries of the scene objects. Other modules (collision data,
// physics, particles, skinning, effects, the renderer) attach data to
// geometries, atomics, clumps, materials, worlds, world sectors and lights
// through these: each registration answers the offset of the module's data
// inside every object of that type created afterwards, and the registry
// runs the module's constructor, destructor, copy and stream callbacks with
// the object. Register before the engine is opened.

#include <cstdint>

#include "graphics/core/plugin.h"

struct Atomic;
struct Clump;
struct Geometry;
struct Light;
struct Material;
struct World;
struct WorldSector;

// One family of operations per object type; each forwards to the type's
// registry (plugin.h gives the contracts). RegisterPlugin answers the data
// offset or a negative value; the stream, always and rights setters and
// GetPluginOffset answer the offset or -1; ValidatePlugins answers 1.
#define SCENE_PLUGIN_TYPES(X)                                                                                \
    X(Geometry)                                                                                              \
    X(Atomic)                                                                                                \
    X(Clump)                                                                                                 \
    X(Material)                                                                                              \
    X(World)                                                                                                 \
    X(WorldSector)                                                                                           \
    X(Light)

#define SCENE_DECLARE_PLUGIN_FAMILY(Type)                                                                    \
    int32_t Type##RegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,             \
                                 PluginDestructor destructor, PluginCopy copy);                              \
    int32_t Type##RegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,    \
                                       PluginStreamGetSize getSize);                                         \
    int32_t Type##SetStreamAlwaysCallBack(uint32_t pluginId, PluginAlwaysCallback callBack);                 \
    int32_t Type##GetPluginOffset(uint32_t pluginId);                                                        \
    int32_t Type##ValidatePlugins(const Type* object);
SCENE_PLUGIN_TYPES(SCENE_DECLARE_PLUGIN_FAMILY)
#undef SCENE_DECLARE_PLUGIN_FAMILY

/// Rights callbacks (the pipeline selector's re-attach hook) exist for these four types.
int32_t AtomicSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack);
int32_t MaterialSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack);
int32_t WorldSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack);
int32_t WorldSectorSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack);

/// The registries themselves (for the scene library's own readers and for
/// plug-ins that walk them).
#define SCENE_DECLARE_REGISTRY(Type) PluginRegistry* Type##GetPluginRegistry();
SCENE_PLUGIN_TYPES(SCENE_DECLARE_REGISTRY)
#undef SCENE_DECLARE_REGISTRY

/// The first plug-in entry of the geometry registry, or null.
PluginEntry* GeometryGetFirstPluginEntry();
