#pragma once
// The resources arena: a fixed-size memory area (EngineInit's arena size)
// for data that its owners can rebuild at any time. When the arena is full
// the least recently allocated entries are evicted, oldest frame first:
// their owners' references are cleared and their destroy callbacks run.
// Every shown raster starts a new frame (ResourcesNextFrame).
//
// Data that cannot be rebuilt (pre-instanced data read from a file) takes an
// entry of the same shape from the engine's heap instead: it is on neither
// list (its links are clear), so it is never evicted, and it lives until its
// owner frees it with ResourcesFreeEntry.

#include <cstdint>

#include "graphics/core/linklist.h"

struct ResourcesEntry;

/// Runs when an entry is freed or evicted, before its memory is released.
using ResourcesDestroyCallback = void (*)(ResourcesEntry* entry);

/// The header in front of an entry's data.
struct alignas(16) ResourcesEntry
{
    LinkList link;             ///< on the current-frame or the older list
    uint32_t size;             ///< the caller's data bytes
    uint32_t owner;            ///< the caller's tag
    ResourcesEntry** ownerRef; ///< the caller's pointer to this entry, or null
    ResourcesDestroyCallback destroy;
};

/// The caller's data, right after the header (16-byte aligned).
inline void* ResourcesEntryData(ResourcesEntry* entry)
{
    return entry + 1;
}

/// An entry of `size` data bytes, evicting the oldest entries as needed; the
/// owner reference (may be null) receives it. Null, with the reference
/// cleared and plain error 12, when the arena cannot hold it even when empty
/// or has no memory; callers then build the data without keeping it.
ResourcesEntry* ResourcesAllocate(uint32_t owner, ResourcesEntry** ownerRef, uint32_t size,
                                  ResourcesDestroyCallback destroy);
/// An entry of `size` data bytes from the engine's heap (hint `hint`),
/// outside the arena; the owner reference (may be null) receives it. Null,
/// with the reference cleared and kErrorOutOfMemory, when the heap has no room.
ResourcesEntry* ResourcesAllocateOutsideArena(uint32_t owner, ResourcesEntry** ownerRef, uint32_t size,
                                              ResourcesDestroyCallback destroy, uint32_t hint);
/// True for an entry from ResourcesAllocateOutsideArena.
inline bool ResourcesEntryIsOutsideArena(const ResourcesEntry* entry)
{
    return entry->link.next == nullptr;
}
/// Marks an entry as used this frame: it moves to the head of the current-frame
/// list, so that it is evicted last (its bytes count in this frame's usage).
/// Nothing happens to an entry outside the arena.
void ResourcesUseEntry(ResourcesEntry* entry);
/// Destroy callback, owner reference cleared, memory released (to the arena
/// or, for an entry outside it, to the engine's heap). 1.
int32_t ResourcesFreeEntry(ResourcesEntry* entry);
/// Frame boundary: the current frame's entries become the newest of the older ones.
void ResourcesNextFrame();
/// Frees every entry. 1.
int32_t ResourcesEmptyArena();
/// Not started: stores the size for the next start; 1. Started: empties the
/// arena and replaces its memory; 0 with kErrorOutOfMemory when the memory cannot
/// be allocated (size 0 then), 0 with plain error 12 when `size` is too small
/// to lay out (no memory then).
int32_t ResourcesSetArenaSize(uint32_t size);
/// The arena's size in bytes.
uint32_t ResourcesGetArenaSize();
/// Bytes of the current frame's entries plus those evicted from it this frame.
uint32_t ResourcesGetArenaUsage();

/// Registers the resources module (core module 0x40B) with the engine at EngineInit.
int32_t ResourcesModuleAttach();
