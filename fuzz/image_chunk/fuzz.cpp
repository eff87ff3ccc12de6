// Fuzz target for the image chunk (0x18) and texture dictionary chunk (0x16)
// readers: the input is read as a memory stream by each reader in turn. The
// engine runs on the tests' device doubles; dictionary bodies are the raster
// double's native textures.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/rasterdouble.h"
#include "graphics/core/texture.h"

namespace {

template <typename Read> void ReadChunk(const uint8_t* data, size_t size, uint32_t type, Read read)
{
    StreamMemory memory{const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (!stream) {
        return;
    }
    if (StreamFindChunk(stream, type, nullptr, nullptr)) {
        read(stream);
    }
    StreamClose(stream, nullptr);
    ErrorRecord record;
    ErrorGet(&record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Started once; shut down at exit (before the doubles' own statics go)
    // so that the leak checker sees a clean engine.
    static const bool started = [] {
        const bool ok = RasterDoubleStart();
        std::atexit([] { EngineTestShutdown(); });
        return ok;
    }();
    if (!started) {
        return 0;
    }
    ReadChunk(data, size, kChunkImage, [](Stream* stream) {
        if (Image* image = ImageStreamRead(stream)) {
            ImageDestroy(image);
        }
    });
    ReadChunk(data, size, kChunkTexDictionary, [](Stream* stream) {
        if (TexDictionary* dictionary = TexDictionaryStreamRead(stream)) {
            TexDictionaryDestroy(dictionary);
        }
    });
    return 0;
}
