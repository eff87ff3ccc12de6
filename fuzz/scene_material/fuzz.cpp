// Material-list chunks (0x08) with their materials and textures:
// MaterialListStreamRead on arbitrary bytes.
#include "fuzz/scene_chunk.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/sceneids.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return SceneChunkFuzz(data, size, kChunkMaterialList, [](Stream* stream) {
        MaterialList list{};
        if (MaterialListStreamRead(stream, &list)) {
            MaterialListDeinitialize(&list);
        }
    });
}
