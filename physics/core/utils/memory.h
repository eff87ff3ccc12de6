#pragma once
// The physics engine's memory: 16-byte aligned blocks over the graphics
// engine's memory functions, and a byte fill.

#include <cstddef>
#include <cstdint>

/// Memory hint of every lasting physics block.
constexpr uint32_t kOlpMemoryHint = 0x30900;
/// Memory hint of scratch arrays freed within one call.
constexpr uint32_t kOlpScratchHint = 0x10900;

/// `size` bytes at an address divisible by `alignment` (a power of two, at
/// most 255), taken from the engine memory with `hint`; null when the engine
/// memory refuses. Free it with OlpAlignedFree.
void* OlpAlignedAlloc(size_t size, size_t alignment, uint32_t hint);
/// Frees a block of OlpAlignedAlloc; null is ignored.
void OlpAlignedFree(void* block);
/// Fills `count` bytes at `address` with `value`.
void OlpMemFill(void* address, uint8_t value, size_t count);

// Arrays carved one after another out of one block, each at a 16-byte
// boundary: a size function sums Round16 of each array, its layout function
// takes them with Take in the same order.
namespace olp {

/// `bytes` rounded up to a multiple of 16.
inline size_t Round16(size_t bytes)
{
    return (bytes + 15) & ~size_t{15};
}

/// `count` records of T at the first 16-byte boundary at or after `*cursor`;
/// moves the cursor past them (to the next boundary).
template <typename T> T* Take(uint8_t** cursor, size_t count)
{
    auto* at = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(*cursor) + 15) & ~uintptr_t{15});
    *cursor = at + Round16(sizeof(T) * count);
    return reinterpret_cast<T*>(at);
}

} // namespace olp
