#include "graphics/core/plugin.h"

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"

namespace {

// Offsets and sizes are kept to multiples of 8 so that plug-in data holding
// pointers is aligned in every object.
constexpr int32_t kDataAlignment = 8;

struct PluginModule
{
    FreeList entryListHeader;
    FreeList* entryList;
    int32_t entriesPerBlock = 64;
    int32_t blocksToPreallocate = 1;
    // Every registry that has had a plug-in registered, so that close can
    // release their entries and put them back at their base size.
    PluginRegistry** registries;
    int32_t registryCount;
};
PluginModule gModule;

int32_t RoundUp(int32_t value)
{
    return (value + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
}

void* IdentityConstructor(void* object, int32_t, int32_t)
{
    return object;
}

void* IdentityCopy(void* destination, const void*, int32_t, int32_t)
{
    return destination;
}

PluginEntry* FindEntry(const PluginRegistry* registry, uint32_t pluginId)
{
    for (PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (entry->pluginId == pluginId) {
            return entry;
        }
    }
    return nullptr;
}

bool RememberRegistry(PluginRegistry* registry)
{
    for (int32_t i = 0; i < gModule.registryCount; ++i) {
        if (gModule.registries[i] == registry) {
            return true;
        }
    }
    auto* grown = static_cast<PluginRegistry**>(
        MemoryReallocate(gModule.registries, sizeof(PluginRegistry*) * size_t(gModule.registryCount + 1),
                         kMemoryHintEngine | kMemoryHintResizable));
    if (!grown) {
        ErrorRaise(0,
                   ErrorCode(kErrorOutOfMemory, sizeof(PluginRegistry*) * size_t(gModule.registryCount + 1)));
        return false;
    }
    gModule.registries = grown;
    gModule.registries[gModule.registryCount++] = registry;
    return true;
}

} // namespace

void PluginRegistrySetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gModule.entriesPerBlock = entriesPerBlock;
    gModule.blocksToPreallocate = blocksToPreallocate;
}

bool PluginRegistryOpen()
{
    gModule.registries = nullptr;
    gModule.registryCount = 0;
    gModule.entryList =
        FreeListCreate(sizeof(PluginEntry), uint32_t(gModule.entriesPerBlock), 0,
                       uint32_t(gModule.blocksToPreallocate), &gModule.entryListHeader, kMemoryHintEngine);
    return gModule.entryList != nullptr;
}

bool PluginRegistryClose()
{
    for (int32_t i = 0; i < gModule.registryCount; ++i) {
        PluginRegistry* registry = gModule.registries[i];
        PluginEntry* entry = registry->first;
        while (entry) {
            PluginEntry* next = entry->next;
            MemoryFreeListFree(gModule.entryList, entry);
            entry = next;
        }
        registry->objectSize = registry->baseSize;
        registry->first = nullptr;
        registry->last = nullptr;
    }
    MemoryFree(gModule.registries);
    gModule.registries = nullptr;
    gModule.registryCount = 0;
    if (gModule.entryList) {
        FreeListDestroy(gModule.entryList);
        gModule.entryList = nullptr;
    }
    return true;
}

int32_t PluginRegistryRegister(PluginRegistry* registry, int32_t size, uint32_t pluginId,
                               PluginConstructor constructor, PluginDestructor destructor, PluginCopy copy)
{
    if (!gModule.entryList || size < 0) {
        return -1;
    }
    if (EngineGetOpenCount() != 0) {
        ErrorRaise(0, kErrorPluginRefused);
        return -1;
    }
    if (PluginEntry* existing = FindEntry(registry, pluginId)) {
        ErrorRaise(0, kErrorPluginRefused);
        // Handing out the old offset for a bigger request would let the
        // plug-in write past its data.
        return size <= existing->size ? existing->offset : -1;
    }
    int32_t offset = RoundUp(registry->objectSize);
    if (size > INT32_MAX - kDataAlignment - offset) {
        return -1;
    }
    int32_t objectSize = offset + RoundUp(size);
    if (registry->maxSize && objectSize > registry->maxSize) {
        return -1;
    }
    if (!RememberRegistry(registry)) {
        return -1;
    }
    auto* entry = static_cast<PluginEntry*>(MemoryFreeListAlloc(gModule.entryList, kMemoryHintEngine));
    if (!entry) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(PluginEntry)));
        return -1;
    }
    *entry = PluginEntry{};
    entry->offset = offset;
    entry->size = size;
    entry->pluginId = pluginId;
    entry->constructor = constructor ? constructor : IdentityConstructor;
    entry->destructor = destructor ? destructor : IdentityConstructor;
    entry->copy = copy ? copy : IdentityCopy;
    entry->registry = registry;
    entry->prev = registry->last;
    if (registry->last) {
        registry->last->next = entry;
    } else {
        registry->first = entry;
    }
    registry->last = entry;
    registry->objectSize = objectSize;
    return offset;
}

int32_t PluginRegistryGetOffset(const PluginRegistry* registry, uint32_t pluginId)
{
    const PluginEntry* entry = FindEntry(registry, pluginId);
    return entry ? entry->offset : -1;
}

bool PluginRegistrySetStaticPluginsSize(PluginRegistry* registry, int32_t bytes)
{
    if (registry->objectSize != registry->baseSize || registry->first) {
        return false;
    }
    if (registry->maxSize == 0 || bytes < registry->maxSize) {
        registry->maxSize = registry->objectSize + bytes;
    }
    registry->staticFlag = 1;
    return true;
}

PluginRegistry* PluginRegistryConstruct(PluginRegistry* registry, void* object)
{
    for (PluginEntry* entry = registry->first; entry; entry = entry->next) {
        if (!entry->constructor(object, entry->offset, entry->size)) {
            for (PluginEntry* done = entry->prev; done; done = done->prev) {
                done->destructor(object, done->offset, done->size);
            }
            return nullptr;
        }
    }
    return registry;
}

PluginRegistry* PluginRegistryDestruct(PluginRegistry* registry, void* object)
{
    for (PluginEntry* entry = registry->last; entry; entry = entry->prev) {
        entry->destructor(object, entry->offset, entry->size);
    }
    return registry;
}

PluginRegistry* PluginRegistryCopy(PluginRegistry* registry, void* destination, const void* source)
{
    for (PluginEntry* entry = registry->first; entry; entry = entry->next) {
        entry->copy(destination, source, entry->offset, entry->size);
    }
    return registry;
}

int32_t PluginRegistryAddStream(PluginRegistry* registry, uint32_t pluginId, PluginStreamRead read,
                                PluginStreamWrite write, PluginStreamGetSize getSize)
{
    PluginEntry* entry = FindEntry(registry, pluginId);
    if (!entry) {
        return -1;
    }
    entry->streamRead = read;
    entry->streamWrite = write;
    entry->streamGetSize = getSize;
    return entry->offset;
}

int32_t PluginRegistryAddAlwaysCallback(PluginRegistry* registry, uint32_t pluginId,
                                        PluginAlwaysCallback always)
{
    PluginEntry* entry = FindEntry(registry, pluginId);
    if (!entry) {
        return -1;
    }
    entry->alwaysCallback = always;
    return entry->offset;
}

int32_t PluginRegistryAddRightsCallback(PluginRegistry* registry, uint32_t pluginId,
                                        PluginRightsCallback rights)
{
    PluginEntry* entry = FindEntry(registry, pluginId);
    if (!entry) {
        return -1;
    }
    entry->rightsCallback = rights;
    return entry->offset;
}

PluginRegistry* PluginRegistryInvokeRights(PluginRegistry* registry, uint32_t pluginId, void* object,
                                           uint32_t value)
{
    PluginEntry* entry = FindEntry(registry, pluginId);
    if (!entry || !entry->rightsCallback) {
        return nullptr;
    }
    return entry->rightsCallback(object, entry->offset, entry->size, value) ? registry : nullptr;
}
