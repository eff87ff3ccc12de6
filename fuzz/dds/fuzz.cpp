// ".dds" files: header, layout and level-0 decoding on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/d3d9/dds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DdsLevel0 level{};
    if (!DdsLocateLevel0(data, size, &level)) {
        return 0;
    }
    // The level is backed by the input, so the decoded image is bounded by it.
    const size_t width = level.header.width;
    const size_t height = level.header.height;
    std::vector<uint8_t> rgba(width * height * 4);
    bool transparent = false;
    DdsDecodeLevel(level.format, level.header.width, level.header.height, level.pixels, level.palette,
                   rgba.data(), width * 4, &transparent);
    return 0;
}
