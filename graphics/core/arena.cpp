#include "graphics/core/arena.h"

#include <cstring>

namespace {

constexpr uintptr_t kGranule = 32;
constexpr uintptr_t kHeader = sizeof(ArenaBlock);
// A block is split only when more than this would be left over, so that no
// sliver smaller than a header and one granule is made.
constexpr uint32_t kSplitSlack = 64;

uintptr_t RoundUp(uintptr_t n)
{
    return (n + kGranule - 1) & ~(kGranule - 1);
}

char* DataOf(ArenaBlock* block)
{
    return reinterpret_cast<char*>(block) + kHeader;
}

ArenaBlock* BlockOf(void* data)
{
    return reinterpret_cast<ArenaBlock*>(static_cast<char*>(data) - kHeader);
}

bool IsFree(const ArenaBlock* block)
{
    return block && !(block->used & 1);
}

// `block` absorbs its successor (which must be free), header included.
void AbsorbNext(ArenaBlock* block)
{
    ArenaBlock* next = block->next;
    block->size += next->size + kHeader;
    block->next = next->next;
    if (block->next) {
        block->next->prev = block;
    }
    if (block->arena->rover == next) {
        block->arena->rover = block;
    }
}

// Cuts `block` after `n` data bytes; the tail becomes a free block, merged
// with a free successor. Returns the tail.
ArenaBlock* SplitAfter(ArenaBlock* block, uint32_t n)
{
    auto* tail = reinterpret_cast<ArenaBlock*>(DataOf(block) + n);
    tail->arena = block->arena;
    tail->size = block->size - n - kHeader;
    tail->used = 0;
    tail->prev = block;
    tail->next = block->next;
    if (tail->next) {
        tail->next->prev = tail;
    }
    block->next = tail;
    block->size = n;
    if (IsFree(tail->next)) {
        AbsorbNext(tail);
    }
    return tail;
}

ArenaBlock* NextFreeFrom(ArenaBlock* block)
{
    while (block && !IsFree(block)) {
        block = block->next;
    }
    return block;
}

// The rover moves down to a newly free block that lies below it.
void LowerRover(ArenaBlock* block)
{
    Arena* arena = block->arena;
    if (!arena->rover || block < arena->rover) {
        arena->rover = block;
    }
}

} // namespace

int32_t ArenaInit(Arena* arena, size_t size)
{
    uintptr_t start = reinterpret_cast<uintptr_t>(arena);
    uintptr_t header = RoundUp(start + sizeof(Arena));
    uintptr_t end = (start + size) & ~(kGranule - 1);
    if (end < header + kHeader + kGranule || end - header - kHeader > UINT32_MAX) {
        return 0;
    }
    auto* block = reinterpret_cast<ArenaBlock*>(header);
    block->arena = arena;
    block->next = nullptr;
    block->prev = nullptr;
    block->size = uint32_t(end - header - kHeader);
    block->used = 0;
    arena->first = block;
    arena->rover = block;
    return 1;
}

void* ArenaAlloc(Arena* arena, size_t n)
{
    if (n > UINT32_MAX - kGranule) {
        return nullptr;
    }
    uint32_t rounded = uint32_t(RoundUp(n));
    ArenaBlock* block = arena->rover;
    while (block && (!IsFree(block) || block->size < rounded)) {
        block = block->next;
    }
    if (!block) {
        return nullptr;
    }
    if (block->size > rounded + kSplitSlack) {
        SplitAfter(block, rounded);
    }
    block->used = 1;
    if (block == arena->rover) {
        arena->rover = NextFreeFrom(block->next);
    }
    return DataOf(block);
}

void* ArenaCalloc(Arena* arena, size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) {
        return nullptr;
    }
    void* data = ArenaAlloc(arena, count * size);
    if (data) {
        std::memset(data, 0, count * size);
    }
    return data;
}

void ArenaFree(void* data)
{
    if (!data) {
        return;
    }
    ArenaBlock* block = BlockOf(data);
    block->used = 0;
    LowerRover(block);
    if (IsFree(block->prev)) {
        block = block->prev;
        AbsorbNext(block);
    }
    if (IsFree(block->next)) {
        AbsorbNext(block);
    }
}

void* ArenaRealloc(void* data, size_t n)
{
    if (n > UINT32_MAX - kGranule) {
        return nullptr;
    }
    ArenaBlock* block = BlockOf(data);
    uint32_t rounded = uint32_t(RoundUp(n));
    if (rounded <= block->size) {
        if (block->size - rounded > kSplitSlack) {
            LowerRover(SplitAfter(block, rounded));
        }
        return data;
    }
    ArenaBlock* next = block->next;
    if (IsFree(next) && next->size + kHeader >= rounded - block->size) {
        Arena* arena = block->arena;
        bool wasRover = arena->rover == next;
        block->size += next->size + kHeader;
        block->next = next->next;
        if (block->next) {
            block->next->prev = block;
        }
        if (block->size - rounded > kSplitSlack) {
            ArenaBlock* tail = SplitAfter(block, rounded);
            if (wasRover) {
                arena->rover = tail;
            }
        } else if (wasRover) {
            arena->rover = NextFreeFrom(block->next);
        }
        return data;
    }
    void* moved = ArenaAlloc(block->arena, rounded);
    if (!moved) {
        return nullptr;
    }
    std::memcpy(moved, data, block->size);
    ArenaFree(data);
    return moved;
}

int32_t ArenaQuery(const Arena* arena, uint32_t* usedTotal, uint32_t* freeTotal, uint32_t* largestUsed,
                   uint32_t* largestFree, uint32_t* smallestUsed, uint32_t* smallestFree)
{
    *usedTotal = *freeTotal = *largestUsed = *largestFree = 0;
    *smallestUsed = *smallestFree = 0xFFFFFFFFu;
    for (const ArenaBlock* block = arena->first; block; block = block->next) {
        bool used = block->used & 1;
        uint32_t& total = used ? *usedTotal : *freeTotal;
        uint32_t& largest = used ? *largestUsed : *largestFree;
        uint32_t& smallest = used ? *smallestUsed : *smallestFree;
        total += block->size;
        if (block->size > largest) {
            largest = block->size;
        }
        if (block->size < smallest) {
            smallest = block->size;
        }
    }
    return 1;
}
