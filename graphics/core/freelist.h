#pragma once
// Free lists: pools of fixed-size entries carved out of blocks, with one bit
// per entry saying whether it is in use. Every engine module that owns many
// objects of one kind takes them from a free list (through
// MemoryFreeListAlloc/MemoryFreeListFree, so that the application's
// unpooled mode is honoured). The memory module keeps every free list on one
// global list so that EngineTerm can free what nobody destroyed.
//
// Block layout: the block's list links, the bitmap (most significant bit of
// byte 0 = entry 0; 1 = in use), then the entries, the first one at the first
// address after the bitmap that is a multiple of the list's alignment.

#include <cstddef>
#include <cstdint>

#include "graphics/core/linklist.h"
#include "graphics/core/memory.h"

enum FreeListFlag : uint32_t
{
    /// The header lives in caller storage and is never freed.
    kFreeListStaticHeader = 1,
    /// A block is freed as soon as its last entry is freed (set on every list).
    kFreeListFreeEmptyBlocks = 2,
};

struct FreeList
{
    uint32_t entrySize;       ///< requested size rounded up to the alignment
    uint32_t entriesPerBlock; ///< > 0
    uint32_t bitmapBytes;     ///< (entriesPerBlock + 7) / 8
    uint32_t alignment;       ///< of every entry; at least pointer alignment
    LinkList blocks;          ///< circular list of blocks, newest first
    uint32_t flags;           ///< FreeListFlag bits
    LinkList globalLink;      ///< link in the memory module's list of free lists
};

/// Opens the memory module: installs the allocation functions of `table`
/// (null: the C library's) in the current engine instance, empties the global
/// list and creates the free list of free-list headers. Returns true.
bool FreeListModuleOpen(const MemoryTable* table);
/// Destroys every free list still alive (blocks freed, headers released) and
/// the header list's blocks.
void FreeListModuleClose();
/// Engine-wide switch: false makes every later FreeListCreate skip
/// preallocation (EngineInit's unpooled mode).
void FreeListSetPreallocate(bool preallocate);

/// Creates a free list of entries of `entrySize` bytes, `entriesPerBlock` to a
/// block, aligned to `alignment` bytes (0 or anything below pointer alignment
/// means pointer alignment), with `blocksToPreallocate` blocks made at once.
/// `staticHeader` is caller storage for the header or null. Null on bad
/// sizes or when out of memory (no error recorded).
FreeList* FreeListCreate(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                         uint32_t blocksToPreallocate, FreeList* staticHeader, uint32_t hint);
/// Same as FreeListCreate.
FreeList* FreeListCreateEx(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                           uint32_t blocksToPreallocate, FreeList* staticHeader, uint32_t hint);
/// FreeListCreate with one block preallocated and an allocated header.
FreeList* FreeListCreateSimple(uint32_t entrySize, uint32_t entriesPerBlock, uint32_t alignment,
                               uint32_t hint);
/// Frees every block and the header (unless static). Returns true.
bool FreeListDestroy(FreeList* list);

/// ORs `flags` into the list's flags (the static-header bit excepted).
void FreeListSetFlags(FreeList* list, uint32_t flags);
uint32_t FreeListGetFlags(const FreeList* list);

/// First free entry (newest block first), making a new block when all are
/// full; null when out of memory. Entries are not cleared.
void* FreeListAlloc(FreeList* list, uint32_t hint);
/// Releases an entry; returns the list, or null when the entry lies in none
/// of its blocks. `entry` must be the start of an entry (asserted).
FreeList* FreeListFree(FreeList* list, void* entry);
/// Unpooled pair installed by EngineInit flag 1: every entry is its own
/// allocation of the list's entry size.
void* FreeListAllocUnpooled(FreeList* list, uint32_t hint);
FreeList* FreeListFreeUnpooled(FreeList* list, void* entry);

/// Frees the list's empty blocks; returns entry size x blocks freed.
uint32_t FreeListPurge(FreeList* list);
/// FreeListPurge over every list; returns the sum of what they freed.
uint32_t FreeListPurgeAll();

using FreeListEntryCallback = void (*)(void* entry, void* data);
/// Calls `callback` for every entry in use, block by block in entry order.
/// The callback may free the entry it is given. Null when the scratch copy of
/// a bitmap cannot be allocated.
FreeList* FreeListForAllUsed(FreeList* list, FreeListEntryCallback callback, void* data);

/// Number of blocks the list owns (for diagnostics and tests).
uint32_t FreeListGetBlockCount(const FreeList* list);
