// Writes the seed corpus of the native texture fuzz target with the chunk's
// own writer: a mip-mapped 32-bit raster, a "DXT1" raster, a palettised
// raster and a cube.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

bool WriteSeed(const std::string& path, uint32_t d3dFormat, uint32_t engineFormat, uint16_t side,
               uint8_t levels, uint8_t flags)
{
    NativeTextureRecord r{};
    r.platform = kNativeTexturePlatform;
    r.sampling = 0x1102;
    std::strcpy(r.name, "seed");
    r.engineFormat = engineFormat;
    r.d3dFormat = d3dFormat;
    r.width = side;
    r.height = side;
    r.depth = D3D9FormatDescribe(d3dFormat).depth ? D3D9FormatDescribe(d3dFormat).depth : 16;
    r.levels = levels;
    r.type = kRasterTypeTexture;
    r.flags = flags;
    Stream* stream = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    bool ok = stream && NativeTextureRecordWrite(stream, &r, NativeTextureBodySize(&r));
    std::vector<uint8_t> palette(NativeTexturePaletteBytes(engineFormat), 0x33);
    ok = ok && (palette.empty() || StreamWrite(stream, palette.data(), palette.size()));
    for (uint32_t face = 0; ok && face < NativeTextureFaceCount(&r); ++face) {
        for (uint32_t level = 0; ok && level < NativeTextureLevelsPerFace(&r); ++level) {
            const size_t rowBytes = D3D9FormatRowBytes(d3dFormat, D3D9LevelDimension(side, level));
            const uint32_t rows = D3D9FormatRowCount(d3dFormat, D3D9LevelDimension(side, level));
            std::vector<uint8_t> pixels(rowBytes * rows);
            for (size_t i = 0; i < pixels.size(); ++i) {
                pixels[i] = uint8_t(i * 13 + level);
            }
            ok = NativeTextureLevelWrite(stream, pixels.data(), rowBytes, rowBytes, rows);
        }
    }
    StreamMemory memory{};
    if (stream) {
        StreamClose(stream, &memory);
    }
    FILE* out = ok ? std::fopen(path.c_str(), "wb") : nullptr;
    ok = out && std::fwrite(memory.block, 1, memory.length, out) == memory.length;
    if (out) {
        ok = std::fclose(out) == 0 && ok;
    }
    MemoryFree(memory.block);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !FuzzEngineStart()) {
        std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = WriteSeed(dir + "/argb_mips.bin", 21, 0x8500, 8, 4, kNativeTextureHasAlpha);
    ok &= WriteSeed(dir + "/dxt1.bin", kFourCCDXT1, 0x8200, 8, 2, kNativeTextureNativeFormat);
    ok &= WriteSeed(dir + "/p8.bin", 41, 0x2600, 4, 1, 0);
    ok &= WriteSeed(dir + "/cube.bin", 22, 0x0600, 2, 1, kNativeTextureCube);
    return ok ? 0 : 1;
}
