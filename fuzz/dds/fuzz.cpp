// ".dds" files on arbitrary bytes: the header, layout and level-0 decoding
// over memory, then the whole reader (direct and decoded paths) on the
// driver and the software device.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/d3d9/dds.h"
#include "graphics/d3d9/ddsread.h"
#include "graphics/d3d9/tests/fuzzdriver.h"

namespace {

void DecodeInMemory(const uint8_t* data, size_t size)
{
    DdsLevel0 level{};
    if (!DdsLocateLevel0(data, size, &level)) {
        return;
    }
    // The level is backed by the input, so the decoded image is bounded by it.
    const size_t width = level.header.width;
    const size_t height = level.header.height;
    std::vector<uint8_t> rgba(width * height * 4);
    bool transparent = false;
    DdsDecodeLevel(level.format, level.header.width, level.header.height, level.pixels, level.palette,
                   rgba.data(), width * 4, &transparent);
}

void ReadWithDevice(const uint8_t* data, size_t size)
{
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (!stream) {
        return;
    }
    if (Raster* raster = D3D9RasterReadDDS(stream)) {
        RasterDestroy(raster);
    }
    StreamClose(stream, nullptr);
    ErrorRecord error;
    ErrorGet(&error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodeInMemory(data, size);
    if (FuzzDriverStart()) {
        ReadWithDevice(data, size);
    }
    return 0;
}
