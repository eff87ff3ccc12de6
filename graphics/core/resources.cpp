#include "graphics/core/resources.h"

#include <initializer_list>

#include "graphics/core/arena.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"

namespace {

struct ResourcesModuleData
{
    uint32_t arenaSize;
    uint32_t bytesUsed;
    uint32_t bytesEvictedThisFrame;
    Arena* allocator; ///< at the start of the arena memory; null without memory
    LinkList listA;
    LinkList listB;
    LinkList* older;
    LinkList* current;
};

int32_t gResourcesOffset = -1;
bool gResourcesOpen = false;

ResourcesModuleData* ResourcesData()
{
    return static_cast<ResourcesModuleData*>(EngineGetModuleData(gResourcesOffset));
}

ResourcesEntry* EntryOf(LinkList* link)
{
    return LinkListEntry(link, ResourcesEntry, link);
}

// Destroy callback, reference cleared, unlinked, block released.
void ReleaseEntry(ResourcesModuleData* data, ResourcesEntry* entry)
{
    if (entry->destroy) {
        entry->destroy(entry);
    }
    if (entry->ownerRef) {
        *entry->ownerRef = nullptr;
    }
    LinkListRemove(&entry->link);
    data->bytesUsed -= entry->size;
    ArenaFree(entry);
}

// Allocates and lays out `size` bytes of arena memory; the module keeps no
// memory when the size is 0 or either step fails.
bool LayOutArena(ResourcesModuleData* data, uint32_t size, uint32_t hint)
{
    data->allocator = nullptr;
    data->arenaSize = size;
    if (size == 0) {
        return true;
    }
    void* memory = MemoryAllocate(size, hint);
    if (!memory) {
        data->arenaSize = 0;
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return false;
    }
    if (!ArenaInit(static_cast<Arena*>(memory), size)) {
        MemoryFree(memory);
        ErrorRaise(kPluginIdCore, kErrorCoreArenaFull);
        return false;
    }
    data->allocator = static_cast<Arena*>(memory);
    return true;
}

void* ResourcesModuleOpen(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    ResourcesModuleData* data = ResourcesData();
    *data = {};
    LinkListInit(&data->listA);
    LinkListInit(&data->listB);
    data->current = &data->listA;
    data->older = &data->listB;
    // Without memory the engine still runs: every request answers null and
    // its owner builds the data without keeping it.
    LayOutArena(data, static_cast<EngineInstance*>(instance)->arenaSize, kMemoryHintEngine | 0xB);
    gResourcesOpen = true;
    return instance;
}

void* ResourcesModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    ResourcesEmptyArena();
    MemoryFree(ResourcesData()->allocator);
    ResourcesData()->allocator = nullptr;
    gResourcesOpen = false;
    return instance;
}

} // namespace

ResourcesEntry* ResourcesAllocate(uint32_t owner, ResourcesEntry** ownerRef, uint32_t size,
                                  ResourcesDestroyCallback destroy)
{
    ResourcesModuleData* data = ResourcesData();
    while (data->allocator) {
        void* memory = ArenaAlloc(data->allocator, size_t(size) + sizeof(ResourcesEntry));
        if (memory) {
            auto* entry = static_cast<ResourcesEntry*>(memory);
            LinkListAddFront(data->current, &entry->link);
            entry->size = size;
            entry->owner = owner;
            entry->ownerRef = ownerRef;
            entry->destroy = destroy;
            data->bytesUsed += size;
            if (ownerRef) {
                *ownerRef = entry;
            }
            return entry;
        }
        // Evict the oldest entry: the tail of the older list, else the tail
        // of the current frame's list.
        LinkList* victim;
        if (!LinkListIsEmpty(data->older)) {
            victim = data->older->prev;
        } else if (!LinkListIsEmpty(data->current)) {
            victim = data->current->prev;
            data->bytesEvictedThisFrame += EntryOf(victim)->size;
        } else {
            break;
        }
        ReleaseEntry(data, EntryOf(victim));
    }
    if (ownerRef) {
        *ownerRef = nullptr;
    }
    ErrorRaise(kPluginIdCore, kErrorCoreArenaFull);
    return nullptr;
}

ResourcesEntry* ResourcesAllocateOutsideArena(uint32_t owner, ResourcesEntry** ownerRef, uint32_t size,
                                              ResourcesDestroyCallback destroy, uint32_t hint)
{
    auto* entry = static_cast<ResourcesEntry*>(MemoryAllocate(sizeof(ResourcesEntry) + size_t(size), hint));
    if (ownerRef) {
        *ownerRef = entry;
    }
    if (!entry) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, uint32_t(sizeof(ResourcesEntry) + size)));
        return nullptr;
    }
    entry->link = {nullptr, nullptr}; // on no list: never evicted
    entry->size = size;
    entry->owner = owner;
    entry->ownerRef = ownerRef;
    entry->destroy = destroy;
    return entry;
}

void ResourcesUseEntry(ResourcesEntry* entry)
{
    if (ResourcesEntryIsOutsideArena(entry)) {
        return;
    }
    LinkListRemove(&entry->link);
    LinkListAddFront(ResourcesData()->current, &entry->link);
}

int32_t ResourcesFreeEntry(ResourcesEntry* entry)
{
    if (ResourcesEntryIsOutsideArena(entry)) {
        if (entry->destroy) {
            entry->destroy(entry);
        }
        if (entry->ownerRef) {
            *entry->ownerRef = nullptr;
        }
        MemoryFree(entry);
        return 1;
    }
    ReleaseEntry(ResourcesData(), entry);
    return 1;
}

void ResourcesNextFrame()
{
    ResourcesModuleData* data = ResourcesData();
    // Splice the older entries behind the current frame's; that list becomes
    // the older one, ordered newest frame first.
    LinkList* current = data->current;
    LinkList* older = data->older;
    if (!LinkListIsEmpty(older)) {
        current->prev->next = older->next;
        older->next->prev = current->prev;
        current->prev = older->prev;
        older->prev->next = current;
        LinkListInit(older);
    }
    data->older = current;
    data->current = older;
    data->bytesEvictedThisFrame = 0;
}

int32_t ResourcesEmptyArena()
{
    ResourcesModuleData* data = ResourcesData();
    for (LinkList* list : {data->current, data->older}) {
        while (!LinkListIsEmpty(list)) {
            ReleaseEntry(data, EntryOf(list->next));
        }
    }
    return 1;
}

int32_t ResourcesSetArenaSize(uint32_t size)
{
    EngineGetInstance()->arenaSize = size;
    if (!gResourcesOpen) {
        return 1;
    }
    ResourcesModuleData* data = ResourcesData();
    ResourcesEmptyArena();
    MemoryFree(data->allocator);
    return LayOutArena(data, size, kMemoryHintObject | kPluginIdResources) ? 1 : 0;
}

uint32_t ResourcesGetArenaSize()
{
    return gResourcesOpen ? ResourcesData()->arenaSize : EngineGetInstance()->arenaSize;
}

uint32_t ResourcesGetArenaUsage()
{
    ResourcesModuleData* data = ResourcesData();
    uint32_t bytes = data->bytesEvictedThisFrame;
    for (LinkList* link = data->current->next; link != data->current; link = link->next) {
        bytes += EntryOf(link)->size;
    }
    return bytes;
}

int32_t ResourcesModuleAttach()
{
    gResourcesOffset = EngineAttachPlugin(sizeof(ResourcesModuleData), kPluginIdResources,
                                          ResourcesModuleOpen, ResourcesModuleClose);
    return gResourcesOffset;
}
