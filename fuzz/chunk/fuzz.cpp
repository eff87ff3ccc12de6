// Fuzz target for the chunk readers: walks a chunk tree of any shape,
// reading struct bodies with the typed readers, strings, names and
// extension chunks with their own readers, and searching for chunk types.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/chunk/fuzzsetup.h"
#include "graphics/core/error.h"
#include "graphics/core/name.h"
#include "graphics/core/stringstream.h"

namespace {

constexpr int kMaxDepth = 8;

// Reads `length` bytes of a struct body with the three typed readers.
void ReadStruct(Stream* stream, uint32_t length)
{
    int32_t ints[8];
    float reals[8];
    int16_t shorts[8];
    uint32_t part = length / 3 / 4 * 4;
    if (part > sizeof(ints)) {
        part = sizeof(ints);
    }
    StreamReadInt32(stream, ints, part) && StreamReadReal(stream, reals, part) &&
        StreamReadInt16(stream, shorts, part / 2);
}

// Walks the chunks in the next `bytes` bytes of the memory stream.
void Walk(Stream* stream, size_t bytes, int depth)
{
    StreamMemoryState& memory = stream->memory;
    const size_t end = memory.position + bytes;
    while (memory.position + kChunkHeaderSize <= end) {
        const size_t start = memory.position;
        ChunkHeaderInfo info{};
        if (!ChunkHeaderInfoRead(stream, &info)) {
            return;
        }
        const size_t bodyEnd = memory.position + info.length;
        if (info.length > end - memory.position) {
            return;
        }
        if (info.isComplex && depth < kMaxDepth) {
            Walk(stream, info.length, depth + 1);
        } else if (info.type == kChunkStruct) {
            ReadStruct(stream, info.length);
        } else if (info.type == kChunkString || info.type == kChunkWideString) {
            memory.position = start;
            char small[16];
            StringStreamRead(small, sizeof(small), stream);
            memory.position = start;
            StringFree(StringStreamRead(nullptr, 0, stream));
        } else if (info.type == kChunkName) {
            NameDestroy(NameStreamRead(stream));
        } else if (info.type == kChunkExtension) {
            memory.position = start;
            std::vector<char> object(size_t(gFuzzRegistry.objectSize));
            PluginRegistryStreamRead(&gFuzzRegistry, stream, object.data());
        }
        memory.position = bodyEnd;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = FuzzSetUp();
    if (!ready) {
        return 0;
    }
    StreamMemory memory{const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    Walk(stream, size, 0);
    // The same bytes through the chunk search and the extension skipper.
    for (uint32_t type : {kChunkString, kChunkExtension, kChunkName}) {
        stream->memory.position = 0;
        uint32_t length = 0;
        if (StreamFindChunk(stream, type, &length, nullptr)) {
            StreamSkip(stream, length);
        }
    }
    stream->memory.position = 0;
    PluginRegistryStreamSkip(&gFuzzRegistry, stream);
    StreamClose(stream, nullptr);
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
