// Native texture chunk bodies: the record, the palette and every level read
// into buffers shaped like locked levels, on arbitrary bytes.
#include <vector>

#include "graphics/core/tests/fuzzengine.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/pixelformat.h"

namespace {

void ReadBody(Stream* stream)
{
    NativeTextureRecord record{};
    if (!NativeTextureRecordRead(stream, &record)) {
        return;
    }
    // A body whose levels need more bytes than remain is refused before any
    // level storage is made, as a reader making device textures must.
    const uint32_t size = NativeTextureBodySize(&record);
    if (size == 0 || int64_t(size) - int64_t(kNativeTextureFixedBytes) > StreamGetRemaining(stream)) {
        return;
    }
    std::vector<uint8_t> palette(NativeTexturePaletteBytes(record.engineFormat));
    if (StreamRead(stream, palette.data(), palette.size()) != palette.size()) {
        return;
    }
    for (uint32_t face = 0; face < NativeTextureFaceCount(&record); ++face) {
        for (uint32_t level = 0; level < NativeTextureLevelsPerFace(&record); ++level) {
            const size_t rowBytes =
                D3D9FormatRowBytes(record.d3dFormat, D3D9LevelDimension(record.width, level));
            const uint32_t rows =
                D3D9FormatRowCount(record.d3dFormat, D3D9LevelDimension(record.height, level));
            std::vector<uint8_t> locked(rowBytes * rows);
            if (!NativeTextureLevelRead(stream, locked.data(), rowBytes, rowBytes, rows)) {
                return;
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzEngineStart()) {
        return 0;
    }
    if (Stream* stream = FuzzStreamOpen(data, size)) {
        ReadBody(stream);
        FuzzStreamClose(stream);
    }
    return 0;
}
