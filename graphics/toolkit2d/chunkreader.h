#pragma once
// Private to the 2-D toolkit: reads inside one chunk body. Every read takes
// from the bytes the chunk has left and fails, with the read error
// recorded, when it would pass them; what is left is skipped at the end,
// so the stream stands after the chunk whatever happened inside it.

#include <cstdint>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"

struct ChunkReader
{
    Stream* stream;
    uint32_t left; ///< body bytes not yet read

    bool Read(void* buffer, uint32_t n)
    {
        if (n > left) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        left -= n;
        return StreamRead(stream, buffer, n) == n;
    }

    bool U32(uint32_t* value)
    {
        uint8_t bytes[4];
        if (!Read(bytes, 4)) {
            return false;
        }
        *value = LittleEndianGetU32(bytes);
        return true;
    }

    bool I32(int32_t* value) { return U32(reinterpret_cast<uint32_t*>(value)); }

    bool F32(float* value)
    {
        uint8_t bytes[4];
        if (!Read(bytes, 4)) {
            return false;
        }
        *value = LittleEndianGetFloat(bytes);
        return true;
    }

    /// Takes n bytes for a nested read done by someone else; false when they are not there.
    bool Take(uint32_t n)
    {
        if (n > left) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        left -= n;
        return true;
    }

    void SkipRest()
    {
        if (left > 0) {
            StreamSkip(stream, left);
            left = 0;
        }
    }
};

/// Reads a chunk header inside `reader` that must be of `type` with a body
/// that fits what is left; its body size, or false.
inline bool ChunkReaderHeader(ChunkReader& reader, uint32_t type, uint32_t* size)
{
    uint8_t bytes[kChunkHeaderSize];
    if (!reader.Read(bytes, kChunkHeaderSize)) {
        return false;
    }
    uint32_t version = 0, build = 0;
    ChunkStampDecode(LittleEndianGetU32(bytes + 8), &version, &build);
    *size = LittleEndianGetU32(bytes + 4);
    if (LittleEndianGetU32(bytes) != type || *size > reader.left || !ChunkVersionIsSupported(version)) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return true;
}
