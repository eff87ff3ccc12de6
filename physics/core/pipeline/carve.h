#pragma once
// Arrays carved one after another out of one block of the pipeline's
// memory, each at a 16-byte boundary: a size function sums Round16 of each
// array, its layout function takes them with Take in the same order.

#include <cstddef>
#include <cstdint>

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
