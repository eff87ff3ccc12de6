// Image-based texture dictionaries: ImageTexDictionaryRead on arbitrary bytes
// with the Direct3D 9 driver building the rasters.
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/tests/fuzzdriver.h"
#include "graphics/toolkit2d/imagetexdict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzDriverStart()) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream == nullptr) {
        return 0;
    }
    if (StreamFindChunk(stream, kChunkImageTexDictionary, nullptr, nullptr)) {
        if (TexDictionary* dictionary = ImageTexDictionaryRead(stream)) {
            TexDictionaryDestroy(dictionary);
        }
    }
    StreamClose(stream, nullptr);
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
