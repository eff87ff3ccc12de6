// Fuzz target for the BMP reader: the input is read as a memory stream.
#include <cstddef>
#include <cstdint>

#include "graphics/core/image.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/toolkit2d/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (!stream) {
        return 0;
    }
    if (Image* image = BmpStreamRead(stream)) {
        ImageDestroy(image);
    }
    FuzzStreamClose(stream);
    return 0;
}
