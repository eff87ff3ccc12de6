#pragma once
// Block allocator over one fixed memory area: first fit from a rover (the
// lowest block that may be free), 32-byte granularity, blocks split on
// allocation and merged with free neighbours on release. Used by the
// resources arena; usable on any caller-owned area.

#include <cstddef>
#include <cstdint>

struct ArenaBlock;

/// Lives at the start of the area it manages.
struct Arena
{
    ArenaBlock* first;
    ArenaBlock* rover; ///< lowest block that may be free, or null
};

/// Block header (32 bytes); the block's data follows it, 32-byte aligned.
struct ArenaBlock
{
    Arena* arena;
    ArenaBlock* next;
    ArenaBlock* prev;
    uint32_t size; ///< data bytes, a multiple of 32
    uint32_t used; ///< bit 0
};
static_assert(sizeof(ArenaBlock) == 32, "arena block headers are 32 bytes");

/// Lays out one free block over the `size` bytes that start at `arena`
/// (the record itself included). 1, or 0 when fewer than 32 data bytes fit.
int32_t ArenaInit(Arena* arena, size_t size);
/// `n` bytes (rounded up to 32) from the first free block that fits; null
/// when none does.
void* ArenaAlloc(Arena* arena, size_t n);
/// count * size zeroed bytes; null when none fits or the product overflows.
void* ArenaCalloc(Arena* arena, size_t count, size_t size);
/// Releases data from ArenaAlloc/ArenaCalloc/ArenaRealloc; null is ignored.
void ArenaFree(void* data);
/// Resizes in place when it can (shrinking, or growing into a free next
/// block), else moves the data; null when no block fits (data untouched).
void* ArenaRealloc(void* data, size_t n);
/// Totals and extremes of the used and free blocks' data sizes; the
/// smallest values are 0xFFFFFFFF when there is no such block. 1.
int32_t ArenaQuery(const Arena* arena, uint32_t* usedTotal, uint32_t* freeTotal, uint32_t* largestUsed,
                   uint32_t* largestFree, uint32_t* smallestUsed, uint32_t* smallestFree);
