// Matrix chunks (0xD): MatrixStreamRead on arbitrary bytes.
#include "graphics/core/chunk.h"
#include "graphics/core/matrix.h"
#include "graphics/core/tests/fuzzengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (stream && StreamFindChunk(stream, kChunkMatrix, nullptr, nullptr)) {
        if (Matrix* matrix = MatrixStreamRead(stream, nullptr)) {
            MatrixDestroy(matrix);
        }
    }
    if (stream) {
        FuzzStreamClose(stream);
    }
    return 0;
}
