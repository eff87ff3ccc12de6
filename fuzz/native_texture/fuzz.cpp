// Native texture chunk bodies on arbitrary bytes: the record layer into
// buffers shaped like locked levels, then the driver's reader, which makes
// rasters and textures on the software device.
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/nativetexture.h"
#include "graphics/d3d9/nativetextureio.h"
#include "graphics/d3d9/pixelformat.h"
#include "graphics/d3d9/tests/fuzzdriver.h"

namespace {

void ReadRecords(Stream* stream)
{
    NativeTextureRecord record{};
    if (!NativeTextureRecordRead(stream, &record)) {
        return;
    }
    // A body whose levels need more bytes than remain is refused before any
    // level storage is made, as the driver's reader does.
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

template <typename Read> void OnStream(const uint8_t* data, size_t size, Read read)
{
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    if (Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory)) {
        read(stream);
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!FuzzDriverStart()) {
        return 0;
    }
    OnStream(data, size, ReadRecords);
    OnStream(data, size, [](Stream* stream) {
        Texture* texture = nullptr;
        if (D3D9NativeTextureRead(stream, &texture, 0) && texture) {
            TextureDestroy(texture);
        }
    });
    return 0;
}
