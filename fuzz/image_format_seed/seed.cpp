// Writes the seed corpus of the BMP or PNG fuzz target with the toolkit's
// own writers: one file of each depth the writers take.
// Usage: image_format_seed bmp|png <corpus directory>
#include <cstdio>
#include <string>

#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/png.h"

namespace {

using StreamWriter = Image* (*)(Image* image, Stream* stream);

bool WriteSeed(StreamWriter write, const std::string& path, int32_t width, int32_t height, int32_t depth)
{
    Image* image = ImageCreate(width, height, depth);
    if (!image || !ImageAllocatePixels(image)) {
        return false;
    }
    // 4-bit images keep a byte per pixel, below 16.
    for (int32_t i = 0; i < image->stride * height; ++i) {
        image->pixels[i] = static_cast<uint8_t>((i * 37 + 1) % (depth == 4 ? 16 : 256));
    }
    if (image->palette) {
        for (int32_t i = 0; i < (4 << depth); ++i) {
            image->palette[i] = static_cast<uint8_t>(i * 5);
        }
    }
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    const bool written = stream && write(image, stream);
    ImageDestroy(image);
    StreamMemory memory{};
    if (!stream || !StreamClose(stream, &memory) || !written) {
        MemoryFree(memory.block);
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool saved = file && std::fwrite(memory.block, 1, memory.length, file) == memory.length;
    if (file) {
        std::fclose(file);
    }
    MemoryFree(memory.block);
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string format = argc == 3 ? argv[1] : "";
    const StreamWriter write = format == "bmp"   ? StreamWriter(BmpStreamWrite)
                               : format == "png" ? StreamWriter(PngStreamWrite)
                                                 : nullptr;
    if (!write || !FuzzEngineStart()) {
        std::fprintf(stderr, "usage: image_format_seed bmp|png <corpus directory>\n");
        return 1;
    }
    struct Shape
    {
        int32_t width, height, depth;
    };
    for (const Shape shape : {Shape{3, 2, 4}, Shape{5, 3, 8}, Shape{4, 4, 32}, Shape{1, 1, 32}}) {
        const std::string name = std::string(argv[2]) + "/" + format + "_" + std::to_string(shape.width) +
                                 "x" + std::to_string(shape.height) + "x" + std::to_string(shape.depth) +
                                 "." + format;
        if (!WriteSeed(write, name, shape.width, shape.height, shape.depth)) {
            std::fprintf(stderr, "cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
