// Light chunks (0x12): LightStreamRead on arbitrary bytes.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/light.h"
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
    if (stream && StreamFindChunk(stream, kChunkLight, nullptr, nullptr)) {
        if (Light* light = LightStreamRead(stream)) {
            LightGetConeAngle(light);
            LightDestroy(light);
        }
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
