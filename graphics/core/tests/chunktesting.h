#pragma once
// Memory-stream helpers for the chunk tests: write through a function into
// bytes, and read bytes back through a stream.

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"

using Bytes = std::vector<uint8_t>;

/// The bytes that `write` puts into a memory stream; empty when it fails.
inline Bytes WriteBytes(const std::function<bool(Stream*)>& write)
{
    return StreamWrittenBytes(write);
}

/// Runs `read` on a read stream over `bytes`; its result.
template <typename T> T ReadBytes(const Bytes& bytes, const std::function<T(Stream*)>& read)
{
    StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    T result = read(stream);
    StreamClose(stream, nullptr);
    return result;
}

inline uint32_t GetU32(const Bytes& bytes, size_t offset)
{
    uint32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

inline void PutU32(Bytes& bytes, size_t offset, uint32_t v)
{
    std::memcpy(bytes.data() + offset, &v, 4);
}

inline float GetF32(const Bytes& bytes, size_t offset)
{
    float v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

/// Bit patterns of a NaN, +infinity and -infinity, for patching fixtures.
inline constexpr uint32_t kNotFiniteBits[] = {0x7FC00000u, 0x7F800000u, 0xFF800000u};

/// The offset of the value a reader refused (StreamTakeRefusal); -2 when none
/// was refused.
inline int64_t TakeRefusedOffset()
{
    int64_t offset = -1;
    return StreamTakeRefusal(&offset) ? offset : -2;
}
