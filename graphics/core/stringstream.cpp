#include "graphics/core/stringstream.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kStringHint = kMemoryHintObject | kChunkString;
constexpr size_t kFirstBlock = 256;

// Reads a body of `size` bytes of `charBytes`-byte characters in pieces,
// keeping each character's low byte up to the first NUL. With no buffer the
// text goes to a block grown as characters arrive, so a size read from the
// data cannot make a large allocation by itself.
char* ReadBody(Stream* stream, uint32_t size, uint32_t charBytes, char* buffer, size_t capacity)
{
    if (size % charBytes != 0) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    const bool own = buffer == nullptr;
    const size_t longest = size / charBytes + 1;
    if (own) {
        capacity = longest < kFirstBlock ? longest : kFirstBlock;
        buffer = static_cast<char*>(MemoryAllocate(capacity, kStringHint));
        if (!buffer) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, capacity));
            return nullptr;
        }
    }
    if (capacity == 0) {
        ErrorRaise(0, kErrorNameTooLong);
        return nullptr;
    }
    uint8_t staging[128];
    const uint32_t pieceSize = charBytes == 1 ? 64 : 128;
    size_t length = 0;
    bool ended = false;
    for (uint32_t left = size; left;) {
        uint32_t piece = left < pieceSize ? left : pieceSize;
        if (StreamRead(stream, staging, piece) != piece) {
            ErrorRaise(0, kErrorRead);
            goto fail;
        }
        left -= piece;
        for (uint32_t i = 0; i < piece && !ended; i += charBytes) {
            if (staging[i] == 0) {
                ended = true;
                break;
            }
            if (length + 1 >= capacity) {
                if (!own || capacity >= longest) {
                    ErrorRaise(0, kErrorNameTooLong);
                    goto fail;
                }
                size_t grown = capacity * 2 < longest ? capacity * 2 : longest;
                auto* bigger =
                    static_cast<char*>(MemoryReallocate(buffer, grown, kStringHint | kMemoryHintResizable));
                if (!bigger) {
                    ErrorRaise(0, ErrorCode(kErrorOutOfMemory, grown));
                    goto fail;
                }
                buffer = bigger;
                capacity = grown;
            }
            buffer[length++] = char(staging[i]);
        }
    }
    buffer[length] = '\0';
    return buffer;
fail:
    if (own) {
        MemoryFree(buffer);
    }
    return nullptr;
}

} // namespace

uint32_t StringStreamGetSize(const char* text)
{
    size_t length = text ? std::strlen(text) : 0;
    return uint32_t((length + 4) & ~size_t(3));
}

const char* StringStreamWrite(const char* text, Stream* stream)
{
    if (!text) {
        text = "";
    }
    size_t length = std::strlen(text);
    if (length > UINT32_MAX - 4) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    uint32_t size = StringStreamGetSize(text);
    static const uint8_t kZeros[4] = {};
    if (!ChunkHeaderWriteCurrent(stream, kChunkString, size) || !StreamWrite(stream, text, length) ||
        !StreamWrite(stream, kZeros, size - length)) {
        return nullptr;
    }
    return text;
}

char* StringStreamRead(char* buffer, size_t capacity, Stream* stream)
{
    for (;;) {
        uint32_t type = 0;
        uint32_t size = 0;
        uint32_t version = 0;
        if (!ChunkHeaderRead(stream, &type, &size, &version, nullptr)) {
            return nullptr;
        }
        if (!ChunkVersionIsSupported(version)) {
            ErrorRaise(0, kErrorBadVersion);
            return nullptr;
        }
        if (type == kChunkString) {
            return ReadBody(stream, size, 1, buffer, capacity);
        }
        if (type == kChunkWideString) {
            return ReadBody(stream, size, 2, buffer, capacity);
        }
        if (!StreamSkip(stream, size)) {
            return nullptr;
        }
    }
}

bool StringFree(char* text)
{
    MemoryFree(text);
    return true;
}
