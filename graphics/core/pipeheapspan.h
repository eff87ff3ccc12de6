#pragma once
// Private layout of the pipeline heap's blocks and spans (pipeheap.cpp and its
// tests only).

#include <cstdint>

/// Every span starts on a 32-byte boundary with this header; its data follows.
struct PipelineHeapSpan
{
    PipelineHeapSpan* prev; ///< the span before it in the chain (null for the chain's head)
    PipelineHeapSpan* next; ///< the span after it; a block's end marker links to the older block
    uint32_t size;          ///< data bytes, a multiple of 32
    uint32_t isFree;        ///< 1 free, 0 in use (end markers are always in use)
    uint32_t freeIndex;     ///< its entry in the free table, kNoFreeEntry when not listed
    uint32_t reserved;
};
static_assert(sizeof(PipelineHeapSpan) == 32, "span headers keep data on 32-byte granules");

inline constexpr uint32_t kPipelineHeapNoFreeEntry = 0xFFFFFFFFu;
inline constexpr uint32_t kPipelineHeapGranule = 32;
/// A span keeps the rest of a free span it was cut from only when that rest
/// is at least this big; smaller rests stay with the allocation.
inline constexpr uint32_t kPipelineHeapSplitMinimum = 256;

/// Head of one block allocation; the spans start at `start` (128-aligned) and
/// run for `dataSize` bytes: one free span, then a 32-byte end marker.
struct PipelineHeapBlock
{
    uint8_t* start;
    uint32_t dataSize;
    PipelineHeapBlock* next;
};
