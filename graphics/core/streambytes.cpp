#include "graphics/core/streambytes.h"

#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

std::vector<uint8_t> StreamWrittenBytes(const std::function<bool(Stream*)>& write)
{
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    if (stream == nullptr) {
        return {};
    }
    const bool written = write(stream);
    StreamMemory memory{};
    const bool closed = StreamClose(stream, &memory);
    std::vector<uint8_t> bytes;
    if (written && closed) {
        bytes.assign(memory.block, memory.block + memory.length);
    }
    MemoryFree(memory.block);
    return bytes;
}
