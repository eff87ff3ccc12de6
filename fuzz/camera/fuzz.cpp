// Camera chunks (5): CameraStreamRead on arbitrary bytes.
#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/tests/fuzzengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (stream && StreamFindChunk(stream, kChunkCamera, nullptr, nullptr)) {
        if (Camera* camera = CameraStreamRead(stream)) {
            CameraDestroy(camera);
        }
    }
    if (stream) {
        FuzzStreamClose(stream);
    }
    return 0;
}
