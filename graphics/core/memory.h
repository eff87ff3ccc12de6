#pragma once
// The engine's memory functions. Every allocation of the graphics engine
// goes through the six functions held in the engine instance, so that an
// application can hand the engine its own allocator (EngineInit's memory
// table). The wrappers below call the current instance's functions; before
// the first EngineInit these are the C library's.

#include <cstddef>
#include <cstdint>

struct FreeList;

/// Memory hints passed with every request. Bits 16-23 are the lifetime
/// class, bit 24 marks a block that will be resized, the low 16 bits name the
/// module or object kind (a plug-in id or chunk id). The engine never reads a
/// hint back; it is advice for an application's allocator.

/// Freed before the requesting operation returns.
constexpr uint32_t kMemoryHintScratch = 0x10000;
/// An object or its data.
constexpr uint32_t kMemoryHintObject = 0x30000;
/// Lives as long as the engine or a module.
constexpr uint32_t kMemoryHintEngine = 0x40000;
/// The block will be resized.
constexpr uint32_t kMemoryHintResizable = 0x1000000;
/// Mask of the lifetime class.
constexpr uint32_t kMemoryHintLifetimeMask = 0xFF0000;

using MemoryAllocateFunc = void* (*)(size_t size, uint32_t hint);
using MemoryFreeFunc = void (*)(void* block);
using MemoryReallocateFunc = void* (*)(void* block, size_t size, uint32_t hint);
using MemoryAllocateZeroedFunc = void* (*)(size_t count, size_t elementSize, uint32_t hint);
using FreeListAllocFunc = void* (*)(FreeList* list, uint32_t hint);
using FreeListFreeFunc = FreeList* (*)(FreeList* list, void* entry);

/// The four functions an application may give EngineInit; null there selects
/// the C library's malloc, free, realloc and calloc (hints ignored).
struct MemoryTable
{
    MemoryAllocateFunc allocate;
    MemoryFreeFunc free;
    MemoryReallocateFunc reallocate;
    MemoryAllocateZeroedFunc allocateZeroed;
};

/// The memory functions as the engine instance holds them: the table above
/// followed by the free-list allocate/free pair that EngineInit chooses
/// (pooled FreeListAlloc/FreeListFree, or unpooled with EngineInit flag 1).
struct MemoryFunctions
{
    MemoryAllocateFunc allocate;
    MemoryFreeFunc free;
    MemoryReallocateFunc reallocate;
    MemoryAllocateZeroedFunc allocateZeroed;
    FreeListAllocFunc freeListAlloc;
    FreeListFreeFunc freeListFree;
};

/// Allocates `size` bytes; null when out of memory (no error recorded: the
/// caller records kErrorOutOfMemory with the size).
void* MemoryAllocate(size_t size, uint32_t hint);
/// Frees a block from MemoryAllocate/MemoryReallocate/MemoryAllocateZeroed; null is ignored.
void MemoryFree(void* block);
/// Resizes a block (null allocates); null on failure, the old block untouched.
void* MemoryReallocate(void* block, size_t size, uint32_t hint);
/// Allocates count * elementSize zeroed bytes; null on failure or overflow.
void* MemoryAllocateZeroed(size_t count, size_t elementSize, uint32_t hint);
/// Takes an entry from a free list through the instance's free-list function.
void* MemoryFreeListAlloc(FreeList* list, uint32_t hint);
/// Gives an entry back through the instance's free-list function; returns the
/// list, or null when the entry belongs to none of its blocks.
FreeList* MemoryFreeListFree(FreeList* list, void* entry);
