// Clump chunks (0x10) with their frame list, geometries, atomics, lights,
// cameras and extensions: ClumpStreamRead on arbitrary bytes.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"
#include "tools/scenebuild/sceneengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = SceneEngineStart();
    if (!started) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream && StreamFindChunk(stream, kChunkClump, nullptr, nullptr)) {
        if (Clump* clump = ClumpStreamRead(stream)) {
            ClumpStreamGetSize(clump);
            ClumpDestroy(clump);
        }
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
