// Writes the seed corpus of the image_texdict fuzz target: dictionaries
// written by ImageTexDictionaryWrite (a 3-level 32-bit texture, an 8-bit
// palettised one, a gamma-corrected one), a record-form dictionary built byte
// by byte, and malformed variants (truncated, level counts 0, 33 and 2^31, a
// count of 65535 with one texture, a texture chunk of a bad version).
// Usage: fuzz_image_texdict_make_corpus <corpus directory>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/tests/fuzzdriver.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "tools/common/toolfiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Image* Pattern(int32_t side, int32_t depth, int32_t level)
{
    Image* image = ImageCreate(side, side, depth);
    ImageAllocatePixels(image);
    for (int32_t y = 0; y < side; ++y) {
        for (int32_t x = 0; x < side; ++x) {
            uint8_t* p = image->pixels + y * image->stride + x * (depth == 32 ? 4 : 1);
            if (depth == 32) {
                const uint8_t rgba[4] = {uint8_t(x * 30 + level), uint8_t(y * 30), uint8_t(level * 60),
                                         uint8_t(200 + x)};
                std::memcpy(p, rgba, 4);
            } else {
                *p = uint8_t((x + y) % 8);
            }
        }
    }
    for (int32_t i = 0; depth == 8 && i < 256; ++i) {
        const uint8_t rgba[4] = {uint8_t(i * 30), uint8_t(i * 10), uint8_t(255 - i), 255};
        std::memcpy(image->palette + i * 4, rgba, 4);
    }
    return image;
}

Texture* MakeTexture(const char* name, int32_t side, int32_t depth, int32_t levels, bool gamma)
{
    Image* first = Pattern(side, depth, 0);
    const uint32_t type = kRasterTypeTexture | (levels > 1 ? kRasterFormatMipmap : 0);
    int32_t width, height, rasterDepth;
    uint32_t format;
    if (!ImageFindRasterFormat(first, type, &width, &height, &rasterDepth, &format)) {
        return nullptr;
    }
    Raster* raster = RasterCreate(width, height, rasterDepth, format | (type & kRasterFormatMipmap));
    for (int32_t level = 0; raster && level < levels; ++level) {
        Image* image = level == 0 ? first : Pattern(side >> level, depth, level);
        if (gamma) {
            ImageGammaCorrect(image);
        }
        RasterSetLevelFromImage(raster, level, image);
        ImageDestroy(image);
    }
    Texture* texture = TextureCreate(raster);
    TextureSetName(texture, name);
    texture->filterAddressing = levels > 1 ? 0x1106 : 0x3302;
    return texture;
}

Bytes WriteDictionary(TexDictionary* dictionary)
{
    return StreamWrittenBytes([&](Stream* s) { return ImageTexDictionaryWrite(dictionary, s) != nullptr; });
}

void Put(Bytes& bytes, size_t offset, uint32_t value)
{
    if (offset + 4 <= bytes.size()) {
        std::memcpy(bytes.data() + offset, &value, 4);
    }
}

bool Save(const std::string& path, const Bytes& bytes)
{
    const bool ok = !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
    if (!ok) {
        std::fprintf(stderr, "make_corpus: cannot write %s\n", path.c_str());
    }
    return ok;
}

/// A record-form dictionary of one 4x4 texture, byte by byte.
Bytes RecordForm()
{
    Image* image = Pattern(4, 32, 0);
    const Bytes written = StreamWrittenBytes([&](Stream* s) {
        ImageStreamWrite(image, s);
        return true;
    });
    ImageDestroy(image);
    Bytes body = {1, 0, 0, 0};
    Bytes record(72, 0);
    std::memcpy(record.data(), "record", 6);
    std::memcpy(record.data() + 32, "recordmask", 10);
    Put(record, 64, 1);
    Put(record, 68, 0x1102);
    body.insert(body.end(), record.begin(), record.end());
    body.insert(body.end(), written.begin(), written.end());
    Bytes chunk(12, 0);
    Put(chunk, 0, kChunkImageTexDictionary);
    Put(chunk, 4, static_cast<uint32_t>(body.size()));
    Put(chunk, 8, 0x1C020016);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
}

/// The offset of the first texture chunk's struct chunk version stamp.
size_t TextureStructStamp(const Bytes& bytes)
{
    for (size_t i = 0; i + 24 <= bytes.size(); ++i) {
        uint32_t type, inner;
        std::memcpy(&type, bytes.data() + i, 4);
        std::memcpy(&inner, bytes.data() + i + 12, 4);
        if (type == kChunkTexture && inner == kChunkStruct) {
            return i + 20;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !FuzzDriverStart()) {
        std::fprintf(stderr, "usage: fuzz_image_texdict_make_corpus <corpus directory>\n");
        return 2;
    }
    const std::string dir = argv[1];
    TexDictionary* mips = TexDictionaryCreate();
    TexDictionaryAddTexture(mips, MakeTexture("mips", 4, 32, 3, false));
    TexDictionary* palette = TexDictionaryCreate();
    TexDictionaryAddTexture(palette, MakeTexture("palette", 8, 8, 1, false));
    TexDictionary* gamma = TexDictionaryCreate();
    ImageSetGamma(2.2f);
    TexDictionaryAddTexture(gamma, MakeTexture("gamma", 4, 32, 1, true));
    ImageSetGamma(1.0f);
    const Bytes good = WriteDictionary(mips);
    bool ok = Save(dir + "/mips3.txd", good) && Save(dir + "/palette8.txd", WriteDictionary(palette)) &&
              Save(dir + "/gamma.txd", WriteDictionary(gamma)) &&
              Save(dir + "/record-form.txd", RecordForm());
    // The first texture's level count follows the 12-byte header and the 4-byte head.
    for (uint32_t levels : {0u, 33u, 0x80000000u}) {
        Bytes b = good;
        Put(b, 16, levels);
        ok = ok && Save(dir + "/levels-" + std::to_string(levels) + ".txd", b);
    }
    Bytes count = good;
    Put(count, 12, 0xFFFF | 1u << 16);
    Bytes version = good;
    Put(version, TextureStructStamp(good), 0x00002000);
    ok = ok && Save(dir + "/count-65535.txd", count) && Save(dir + "/texture-bad-version.txd", version) &&
         Save(dir + "/truncated.txd", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)));
    TexDictionaryDestroy(mips);
    TexDictionaryDestroy(palette);
    TexDictionaryDestroy(gamma);
    return ok ? 0 : 1;
}
