#include "graphics/core/pipeheap.h"

#include <cstddef>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipeheapspan.h"

namespace {

constexpr uint32_t kHintHeap = 0x40409;
constexpr uint32_t kHintBlock = 0x1040409;
constexpr uint32_t kHintTable = 0x1030409;
constexpr uint32_t kFreeTableGrowth = 8;
constexpr uint32_t kSmallestBlock = 1024;
/// A block holds one free span and an end marker: two span headers.
constexpr uint32_t kBlockOverhead = 2 * sizeof(PipelineHeapSpan);
/// Slack added to a block made for one large request, so that the request
/// fits the block's free span with a granule to spare.
constexpr uint32_t kLargeBlockExtra = kBlockOverhead + kPipelineHeapGranule;
constexpr uintptr_t kBlockAlignment = 128;
/// Requests above this can't be rounded or given a block without overflow.
constexpr uint32_t kLargestRequest = 0xFFFFFFFFu - kLargeBlockExtra - kPipelineHeapGranule;

void RaiseOutOfMemory(size_t size)
{
    ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
}

uint32_t RoundToGranule(uint32_t n)
{
    if (n == 0)
        return kPipelineHeapGranule;
    return (n + kPipelineHeapGranule - 1) & ~(kPipelineHeapGranule - 1);
}

uint8_t* SpanData(PipelineHeapSpan* span)
{
    return reinterpret_cast<uint8_t*>(span + 1);
}
PipelineHeapSpan* SpanOfData(void* data)
{
    return static_cast<PipelineHeapSpan*>(data) - 1;
}
bool SpanListed(const PipelineHeapSpan* span)
{
    return span->freeIndex != kPipelineHeapNoFreeEntry;
}

// ---- free table ------------------------------------------------------------

bool TableAdd(PipelineHeap* heap, PipelineHeapSpan* span)
{
    if (heap->freeCount == heap->freeCapacity) {
        uint32_t capacity = heap->freeCapacity + kFreeTableGrowth;
        void* grown = MemoryReallocate(heap->freeTable, capacity * sizeof(PipelineHeapFreeEntry), kHintTable);
        if (!grown) {
            RaiseOutOfMemory(capacity * sizeof(PipelineHeapFreeEntry));
            return false; // the span stays free but unlisted until it merges or the heap resets
        }
        heap->freeTable = static_cast<PipelineHeapFreeEntry*>(grown);
        heap->freeCapacity = capacity;
    }
    heap->freeTable[heap->freeCount] = {span->size, span};
    span->freeIndex = heap->freeCount++;
    return true;
}

/// Removes an entry by moving the table's last entry into its place.
void TableRemove(PipelineHeap* heap, PipelineHeapSpan* span)
{
    uint32_t index = span->freeIndex;
    uint32_t last = --heap->freeCount;
    if (index != last) {
        heap->freeTable[index] = heap->freeTable[last];
        heap->freeTable[index].span->freeIndex = index;
    }
    span->freeIndex = kPipelineHeapNoFreeEntry;
}

/// Makes `to` take over the table entry of `from` (or be listed anew).
void TableHandOver(PipelineHeap* heap, PipelineHeapSpan* from, PipelineHeapSpan* to)
{
    to->freeIndex = kPipelineHeapNoFreeEntry;
    if (!SpanListed(from)) {
        TableAdd(heap, to);
        return;
    }
    uint32_t index = from->freeIndex;
    from->freeIndex = kPipelineHeapNoFreeEntry;
    heap->freeTable[index] = {to->size, to};
    to->freeIndex = index;
}

/// A free span whose size changed: its entry follows, or it is listed anew.
void TableUpdate(PipelineHeap* heap, PipelineHeapSpan* span)
{
    if (SpanListed(span))
        heap->freeTable[span->freeIndex].size = span->size;
    else
        TableAdd(heap, span);
}

// ---- spans -----------------------------------------------------------------

/// Takes `span` out of the chain; its neighbours exist (a span that merges
/// always has a free span before it or an end marker after it).
void Unlink(PipelineHeapSpan* span)
{
    if (span->prev)
        span->prev->next = span->next;
    span->next->prev = span->prev;
}

/// Cuts a new span of `size - n - 32` data bytes right after the first n bytes
/// of `span`; the new span is returned linked and marked in use.
PipelineHeapSpan* SplitAfter(PipelineHeapSpan* span, uint32_t n)
{
    auto* rest = reinterpret_cast<PipelineHeapSpan*>(SpanData(span) + n);
    rest->size = span->size - n - sizeof(PipelineHeapSpan);
    rest->isFree = 0;
    rest->freeIndex = kPipelineHeapNoFreeEntry;
    rest->reserved = 0;
    rest->prev = span;
    rest->next = span->next;
    span->next->prev = rest;
    span->next = rest;
    span->size = n;
    return rest;
}

/// Takes n bytes from a free span: the rest becomes a free span of its own
/// (inheriting the table entry) when it is big enough, else goes along.
void TakeSpan(PipelineHeap* heap, PipelineHeapSpan* span, uint32_t n)
{
    if (span->size - n >= kPipelineHeapSplitMinimum) {
        PipelineHeapSpan* rest = SplitAfter(span, n);
        rest->isFree = 1;
        TableHandOver(heap, span, rest);
    } else if (SpanListed(span)) {
        TableRemove(heap, span);
    }
    span->isFree = 0;
    span->freeIndex = kPipelineHeapNoFreeEntry;
}

/// Lays a block out as one free span and an end marker, and puts it at the
/// head of the span chain. False when its free span could not be listed.
bool LayOutBlock(PipelineHeap* heap, PipelineHeapBlock* block)
{
    auto* span = reinterpret_cast<PipelineHeapSpan*>(block->start);
    auto* marker =
        reinterpret_cast<PipelineHeapSpan*>(block->start + block->dataSize - sizeof(PipelineHeapSpan));
    *span = {nullptr, marker, block->dataSize - kBlockOverhead, 1, kPipelineHeapNoFreeEntry, 0};
    *marker = {span, heap->firstSpan, 0, 0, kPipelineHeapNoFreeEntry, 0};
    if (heap->firstSpan)
        heap->firstSpan->prev = marker;
    heap->firstSpan = span;
    return TableAdd(heap, span);
}

PipelineHeapBlock* BlockCreate(uint32_t dataSize)
{
    size_t bytes = size_t(dataSize) + sizeof(PipelineHeapBlock) + kBlockAlignment - 1;
    auto* block = static_cast<PipelineHeapBlock*>(MemoryAllocate(bytes, kHintBlock));
    if (!block) {
        RaiseOutOfMemory(bytes);
        return nullptr;
    }
    uintptr_t start = (reinterpret_cast<uintptr_t>(block) + sizeof(PipelineHeapBlock) + kBlockAlignment - 1) &
                      ~(kBlockAlignment - 1);
    block->start = reinterpret_cast<uint8_t*>(start);
    block->dataSize = dataSize;
    block->next = nullptr;
    return block;
}

/// Merges a span whose data was released with its free neighbours and lists
/// the result.
void ReleaseSpan(PipelineHeap* heap, PipelineHeapSpan* span)
{
    PipelineHeapSpan* prev = span->prev;
    PipelineHeapSpan* next = span->next;
    bool prevFree = prev && prev->isFree;
    bool nextFree = next && next->isFree;
    if (prevFree && nextFree) {
        if (SpanListed(next))
            TableRemove(heap, next);
        prev->size += 2 * sizeof(PipelineHeapSpan) + span->size + next->size;
        Unlink(span);
        Unlink(next);
        TableUpdate(heap, prev);
    } else if (prevFree) {
        prev->size += sizeof(PipelineHeapSpan) + span->size;
        Unlink(span);
        TableUpdate(heap, prev);
    } else if (nextFree) {
        span->size += sizeof(PipelineHeapSpan) + next->size;
        span->isFree = 1;
        Unlink(next);
        TableHandOver(heap, next, span);
    } else {
        span->isFree = 1;
        TableAdd(heap, span);
    }
}

} // namespace

PipelineHeap* PipelineHeapCreate(uint32_t minimumBlockSize)
{
    if (minimumBlockSize < kSmallestBlock)
        minimumBlockSize = kSmallestBlock;
    if (minimumBlockSize > kLargestRequest) {
        RaiseOutOfMemory(minimumBlockSize);
        return nullptr;
    }
    auto* heap = static_cast<PipelineHeap*>(MemoryAllocate(sizeof(PipelineHeap), kHintHeap));
    if (!heap) {
        RaiseOutOfMemory(sizeof(PipelineHeap));
        return nullptr;
    }
    *heap = {};
    heap->minimumBlockSize = RoundToGranule(minimumBlockSize);
    heap->blocks = BlockCreate(heap->minimumBlockSize);
    if (!heap->blocks || !LayOutBlock(heap, heap->blocks)) {
        PipelineHeapDestroy(heap);
        return nullptr;
    }
    heap->dirty = 1;
    return heap;
}

void PipelineHeapDestroy(PipelineHeap* heap)
{
    if (!heap)
        return;
    MemoryFree(heap->freeTable);
    for (PipelineHeapBlock* block = heap->blocks; block;) {
        PipelineHeapBlock* next = block->next;
        MemoryFree(block);
        block = next;
    }
    MemoryFree(heap);
}

void* PipelineHeapAlloc(PipelineHeap* heap, uint32_t n)
{
    if (!heap)
        return nullptr;
    if (n > kLargestRequest) {
        RaiseOutOfMemory(n);
        return nullptr;
    }
    n = RoundToGranule(n);
    // Recently freed spans sit at the end of the table: search from there.
    for (uint32_t i = heap->freeCount; i-- > 0;) {
        if (heap->freeTable[i].size >= n) {
            PipelineHeapSpan* span = heap->freeTable[i].span;
            TakeSpan(heap, span, n);
            heap->dirty = 1;
            return SpanData(span);
        }
    }
    uint32_t dataSize =
        n + kLargeBlockExtra > heap->minimumBlockSize ? n + kLargeBlockExtra : heap->minimumBlockSize;
    PipelineHeapBlock* block = BlockCreate(dataSize);
    if (!block)
        return nullptr;
    block->next = heap->blocks;
    heap->blocks = block;
    LayOutBlock(heap, block); // listing may fail; the span is taken at once anyway
    auto* span = reinterpret_cast<PipelineHeapSpan*>(block->start);
    TakeSpan(heap, span, n);
    heap->dirty = 1;
    return SpanData(span);
}

void PipelineHeapFree(PipelineHeap* heap, void* data)
{
    if (!heap || !data)
        return;
    PipelineHeapSpan* span = SpanOfData(data);
    if (span->isFree)
        return; // already given back
    ReleaseSpan(heap, span);
}

void* PipelineHeapRealloc(PipelineHeap* heap, void* data, uint32_t n)
{
    if (!heap)
        return nullptr;
    if (!data)
        return PipelineHeapAlloc(heap, n);
    if (n > kLargestRequest) {
        RaiseOutOfMemory(n);
        return nullptr;
    }
    n = RoundToGranule(n);
    PipelineHeapSpan* span = SpanOfData(data);
    if (n > span->size) {
        PipelineHeapSpan* next = span->next;
        if (next->isFree && next->size + sizeof(PipelineHeapSpan) >= n - span->size) {
            if (SpanListed(next))
                TableRemove(heap, next);
            span->size += sizeof(PipelineHeapSpan) + next->size;
            Unlink(next);
        } else {
            void* moved = PipelineHeapAlloc(heap, n);
            if (!moved)
                return nullptr;
            std::memcpy(moved, data, span->size);
            ReleaseSpan(heap, span);
            return moved;
        }
    }
    // Shrunk, or grown into its neighbour: a big enough tail goes back.
    if (span->size - n >= kPipelineHeapSplitMinimum)
        ReleaseSpan(heap, SplitAfter(span, n));
    return data;
}

int32_t PipelineHeapReset(PipelineHeap* heap)
{
    if (!heap)
        return 0;
    heap->freeCount = 0;
    heap->firstSpan = nullptr;
    bool listed = true;
    for (PipelineHeapBlock* block = heap->blocks; block; block = block->next)
        listed = LayOutBlock(heap, block) && listed;
    heap->dirty = 0;
    return listed ? 1 : 0;
}

uint64_t PipelineHeapGetSize(const PipelineHeap* heap)
{
    uint64_t total = 0;
    for (const PipelineHeapBlock* block = heap ? heap->blocks : nullptr; block; block = block->next)
        total += block->dataSize;
    return total;
}
