#include "graphics/core/stringstream.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kStringHint = kMemoryHintObject | kChunkString;
constexpr size_t kFirstBlock = 256;

// The text being read: a caller's buffer of fixed capacity, or a block of
// its own that grows as characters arrive (up to `longest`), so that a size
// read from the data cannot make a large allocation by itself.
struct TextBuffer
{
    char* text;
    size_t capacity;
    size_t length;
    size_t longest;
    bool own;

    // Room for one more character and the NUL; false (error raised) when the
    // text does not fit or the block cannot grow.
    bool MakeRoom()
    {
        if (length + 1 < capacity) {
            return true;
        }
        if (!own || capacity >= longest) {
            ErrorRaise(0, kErrorNameTooLong);
            return false;
        }
        size_t grown = capacity * 2 < longest ? capacity * 2 : longest;
        auto* bigger = static_cast<char*>(MemoryReallocate(text, grown, kStringHint | kMemoryHintResizable));
        if (!bigger) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, grown));
            return false;
        }
        text = bigger;
        capacity = grown;
        return true;
    }
};

// Reads the characters of a body of `size` bytes, `charBytes` to a
// character, in pieces; keeps each character's low byte up to the first NUL
// and consumes the whole body.
bool ReadCharacters(Stream* stream, uint32_t size, uint32_t charBytes, TextBuffer& out)
{
    uint8_t staging[128];
    const uint32_t pieceSize = charBytes == 1 ? 64 : 128;
    bool ended = false;
    for (uint32_t left = size; left;) {
        uint32_t piece = left < pieceSize ? left : pieceSize;
        if (StreamRead(stream, staging, piece) != piece) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        left -= piece;
        for (uint32_t i = 0; i < piece && !ended; i += charBytes) {
            if (staging[i] == 0) {
                ended = true;
            } else if (!out.MakeRoom()) {
                return false;
            } else {
                out.text[out.length++] = char(staging[i]);
            }
        }
    }
    out.text[out.length] = '\0';
    return true;
}

char* ReadBody(Stream* stream, uint32_t size, uint32_t charBytes, char* buffer, size_t capacity)
{
    if (size % charBytes != 0) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    TextBuffer out{buffer, capacity, 0, size / charBytes + 1, buffer == nullptr};
    if (out.own) {
        out.capacity = out.longest < kFirstBlock ? out.longest : kFirstBlock;
        out.text = static_cast<char*>(MemoryAllocate(out.capacity, kStringHint));
        if (!out.text) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, out.capacity));
            return nullptr;
        }
    }
    if (out.capacity == 0) {
        ErrorRaise(0, kErrorNameTooLong);
        return nullptr;
    }
    if (!ReadCharacters(stream, size, charBytes, out)) {
        if (out.own) {
            MemoryFree(out.text);
        }
        return nullptr;
    }
    return out.text;
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
