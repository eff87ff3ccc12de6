// Fuzz target for the PNG reader: the input is read as a memory stream.
#include <cstddef>
#include <cstdint>

#include "graphics/core/image.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/toolkit2d/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    Stream* stream = FuzzStreamOpen(data, size);
    if (!stream) {
        return 0;
    }
    if (Image* image = PngStreamRead(stream)) {
        ImageDestroy(image);
    }
    FuzzStreamClose(stream);
    return 0;
}
