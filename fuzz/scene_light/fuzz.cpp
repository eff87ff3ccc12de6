// Light chunks (0x12): LightStreamRead on arbitrary bytes.
#include "fuzz/scene_chunk.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return SceneChunkFuzz(data, size, kChunkLight, [](Stream* stream) {
        if (Light* light = LightStreamRead(stream)) {
            LightGetConeAngle(light);
            LightDestroy(light);
        }
    });
}
