// Writes the seed corpus of the image chunk fuzz target with the engine's own
// writers: image chunks of each depth and a texture dictionary chunk of two
// textures (one with mip levels) on the raster device double.
// Usage: image_chunk_seed <corpus directory>
#include <cstdio>
#include <string>

#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/tests/rasterdouble.h"
#include "graphics/core/texture.h"

namespace {

bool Save(const std::string& path, Stream* stream)
{
    StreamMemory memory{};
    if (!StreamClose(stream, &memory)) {
        return false;
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool ok = file && std::fwrite(memory.block, 1, memory.length, file) == memory.length;
    if (file) {
        std::fclose(file);
    }
    MemoryFree(memory.block);
    return ok;
}

bool WriteImages(const std::string& directory)
{
    struct Shape
    {
        int32_t width, height, depth;
    };
    for (const Shape shape : {Shape{3, 2, 4}, Shape{5, 3, 8}, Shape{4, 4, 32}, Shape{1, 1, 32}}) {
        Image* image = ImageCreate(shape.width, shape.height, shape.depth);
        if (!image || !ImageAllocatePixels(image)) {
            return false;
        }
        // 4-bit images keep a byte per pixel, below 16.
        for (int32_t i = 0; i < image->stride * shape.height; ++i) {
            image->pixels[i] = static_cast<uint8_t>((i * 37 + 1) % (shape.depth == 4 ? 16 : 256));
        }
        if (image->palette) {
            for (int32_t i = 0; i < (4 << shape.depth); ++i) {
                image->palette[i] = static_cast<uint8_t>(i * 5);
            }
        }
        Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
        const bool written = stream && ImageStreamWrite(image, stream);
        ImageDestroy(image);
        const std::string name = "image_" + std::to_string(shape.width) + "x" + std::to_string(shape.height) +
                                 "x" + std::to_string(shape.depth) + ".chunk";
        if (!written || !Save(directory + "/" + name, stream)) {
            return false;
        }
    }
    return true;
}

bool WriteDictionary(const std::string& directory)
{
    TexDictionary* dictionary = TexDictionaryCreate();
    Raster* stone = RasterCreate(4, 2, 32, kRasterTypeTexture | kRasterFormat8888 | kRasterFormatMipmap);
    Raster* leaf = RasterCreate(2, 2, 32, kRasterTypeTexture | kRasterFormat8888);
    Texture* first = TextureCreate(stone);
    Texture* second = TextureCreate(leaf);
    TextureSetName(first, "stone");
    TextureSetName(second, "leaf");
    TextureSetMaskName(second, "leafmask");
    TexDictionaryAddTexture(dictionary, first);
    TexDictionaryAddTexture(dictionary, second);
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    const bool written = stream && TexDictionaryStreamWrite(dictionary, stream);
    TexDictionaryDestroy(dictionary);
    return written && Save(directory + "/texdictionary_2.chunk", stream);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const bool ok = RasterDoubleStart() && WriteImages(argv[1]) && WriteDictionary(argv[1]);
    EngineTestShutdown();
    if (!ok) {
        std::fprintf(stderr, "writing the seeds failed\n");
    }
    return ok ? 0 : 1;
}
