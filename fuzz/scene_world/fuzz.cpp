// World chunks (0x0B) with their material list, plane and atomic sectors,
// meshes and pipeline selectors: WorldStreamRead on arbitrary bytes.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "tools/scenebuild/sceneengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = SceneEngineStart();
    if (!started) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream && StreamFindChunk(stream, kChunkWorld, nullptr, nullptr)) {
        if (World* world = WorldStreamRead(stream)) {
            WorldStreamGetSize(world);
            WorldDestroy(world);
        }
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
