// Clump chunks (0x10) with their frame list, geometries, atomics, lights,
// cameras and extensions: ClumpStreamRead on arbitrary bytes.
#include "fuzz/scene_chunk.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/sceneids.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return SceneChunkFuzz(data, size, kChunkClump, [](Stream* stream) {
        if (Clump* clump = ClumpStreamRead(stream)) {
            ClumpStreamGetSize(clump);
            ClumpDestroy(clump);
        }
    });
}
