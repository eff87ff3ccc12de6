// The seven object-type registries of the scene library and their
// forwarding operations, generated from one list of types.
#include "graphics/scene/sceneplugins.h"

#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"

namespace {

#define SCENE_DEFINE_REGISTRY(Type)                                                                          \
    PluginRegistry g##Type##Registry = PluginRegistryMake(int32_t(sizeof(Type)));
SCENE_PLUGIN_TYPES(SCENE_DEFINE_REGISTRY)
#undef SCENE_DEFINE_REGISTRY

} // namespace

#define SCENE_DEFINE_PLUGIN_FAMILY(Type)                                                                     \
    PluginRegistry* Type##GetPluginRegistry()                                                                \
    {                                                                                                        \
        return &g##Type##Registry;                                                                           \
    }                                                                                                        \
    int32_t Type##RegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,             \
                                 PluginDestructor destructor, PluginCopy copy)                               \
    {                                                                                                        \
        return PluginRegistryRegister(&g##Type##Registry, size, pluginId, constructor, destructor, copy);    \
    }                                                                                                        \
    int32_t Type##RegisterPluginStream(uint32_t pluginId, PluginStreamRead read, PluginStreamWrite write,    \
                                       PluginStreamGetSize getSize)                                          \
    {                                                                                                        \
        return PluginRegistryAddStream(&g##Type##Registry, pluginId, read, write, getSize);                  \
    }                                                                                                        \
    int32_t Type##SetStreamAlwaysCallBack(uint32_t pluginId, PluginAlwaysCallback callBack)                  \
    {                                                                                                        \
        return PluginRegistryAddAlwaysCallback(&g##Type##Registry, pluginId, callBack);                      \
    }                                                                                                        \
    int32_t Type##GetPluginOffset(uint32_t pluginId)                                                         \
    {                                                                                                        \
        return PluginRegistryGetOffset(&g##Type##Registry, pluginId);                                        \
    }                                                                                                        \
    int32_t Type##ValidatePlugins(const Type*)                                                               \
    {                                                                                                        \
        return 1;                                                                                            \
    }
SCENE_PLUGIN_TYPES(SCENE_DEFINE_PLUGIN_FAMILY)
#undef SCENE_DEFINE_PLUGIN_FAMILY

int32_t AtomicSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack)
{
    return PluginRegistryAddRightsCallback(&gAtomicRegistry, pluginId, callBack);
}

int32_t MaterialSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack)
{
    return PluginRegistryAddRightsCallback(&gMaterialRegistry, pluginId, callBack);
}

int32_t WorldSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack)
{
    return PluginRegistryAddRightsCallback(&gWorldRegistry, pluginId, callBack);
}

int32_t WorldSectorSetStreamRightsCallBack(uint32_t pluginId, PluginRightsCallback callBack)
{
    return PluginRegistryAddRightsCallback(&gWorldSectorRegistry, pluginId, callBack);
}

PluginEntry* GeometryGetFirstPluginEntry()
{
    return gGeometryRegistry.first;
}
