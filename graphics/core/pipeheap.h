#pragma once
// Pipeline heap: scratch memory for pipeline executions. Large blocks are
// carved into spans of 32-byte granules; neighbouring free spans merge; a
// reset turns every block back into one free span at once. The heap grows by
// adding blocks and gives memory back to the engine only when destroyed.
// Blocks and the free-span table come from the engine's memory functions.

#include <cstdint>

struct PipelineHeapBlock;
struct PipelineHeapSpan;

/// One entry of the free-span table: a free span and its data size.
struct PipelineHeapFreeEntry
{
    uint32_t size;
    PipelineHeapSpan* span;
};

struct PipelineHeap
{
    uint32_t minimumBlockSize;        ///< data bytes of a new block; >= 1024, multiple of 32
    PipelineHeapBlock* blocks;        ///< newest block first
    PipelineHeapSpan* firstSpan;      ///< head of the chain through the spans of every block
    PipelineHeapFreeEntry* freeTable; ///< free spans, searched from the end
    uint32_t freeCapacity;            ///< entries allocated in freeTable (grows by 8)
    uint32_t freeCount;               ///< entries in use
    uint32_t dirty;                   ///< set by every allocation, cleared by a reset
};

/// Creates a heap with one block of `minimumBlockSize` data bytes (below 1024
/// becomes 1024; rounded up to 32). Null when out of memory (kErrorOutOfMemory).
PipelineHeap* PipelineHeapCreate(uint32_t minimumBlockSize);
/// Frees the free table, every block and the heap; null is ignored.
void PipelineHeapDestroy(PipelineHeap* heap);
/// n bytes (rounded up to 32; 0 gives 32) aligned to 32. Adds a block of
/// max(n + 96, minimum) bytes when no free span fits; null when that block
/// can't be had (kErrorOutOfMemory).
void* PipelineHeapAlloc(PipelineHeap* heap, uint32_t n);
/// Gives data back, merging it with free neighbours; null is ignored.
void PipelineHeapFree(PipelineHeap* heap, void* data);
/// Resizes data to n bytes in place when it can, else moves it (contents kept
/// up to the smaller size). Null data allocates. Null when out of memory; the
/// old data then stays valid.
void* PipelineHeapRealloc(PipelineHeap* heap, void* data, uint32_t n);
/// Drops every allocation at once: each block becomes one free span. 1, or 0
/// when the free table can't be grown to list every block (kErrorOutOfMemory).
int32_t PipelineHeapReset(PipelineHeap* heap);
/// Total data bytes of all blocks (what the heap holds from the engine).
uint64_t PipelineHeapGetSize(const PipelineHeap* heap);
