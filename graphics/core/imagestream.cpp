// The image chunk (0x18): a struct chunk {width, height, depth, stride}, the
// rows as stored, then the palette of a 4- or 8-bit image.
#include <algorithm>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kStructBytes = 16;
/// Largest pixel data a stored image may describe: keeps a corrupt header
/// from asking for gigabytes before the short read would be noticed.
constexpr int64_t kMaxStoredBytes = int64_t{256} << 20;
constexpr int32_t kMaxSide = 1 << 16;

uint32_t PaletteBytes(int32_t depth)
{
    return depth <= 8 ? 4u << depth : 0u;
}

bool ReadExactly(Stream* stream, void* buffer, uint32_t n)
{
    if (StreamRead(stream, buffer, n) != n) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return true;
}

// A 4-bit image keeps a byte per pixel; each must index one of its 16 entries.
bool FourBitIndicesValid(const Image* image)
{
    for (int32_t y = 0; y < image->height; ++y) {
        const uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
        for (int32_t x = 0; x < image->width; ++x) {
            if (row[x] > 15) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

uint32_t ImageStreamGetSize(const Image* image)
{
    return 12 + kStructBytes + static_cast<uint32_t>(image->stride) * static_cast<uint32_t>(image->height) +
           PaletteBytes(image->depth);
}

const Image* ImageStreamWrite(const Image* image, Stream* stream)
{
    if (!image->pixels || (image->depth <= 8 && !image->palette)) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    const int32_t fields[4] = {image->width, image->height, image->depth, image->stride};
    if (!ChunkHeaderWrite(stream, kChunkImage, ImageStreamGetSize(image), kEngineVersion, kEngineBuild) ||
        !ChunkHeaderWrite(stream, kChunkStruct, kStructBytes, kEngineVersion, kEngineBuild) ||
        !StreamWriteInt32(stream, fields, sizeof(fields)) ||
        !StreamWrite(stream, image->pixels, static_cast<uint32_t>(image->stride) * image->height)) {
        return nullptr;
    }
    if (image->depth <= 8 && !StreamWrite(stream, image->palette, PaletteBytes(image->depth))) {
        return nullptr;
    }
    return image;
}

Image* ImageStreamRead(Stream* stream)
{
    uint8_t record[kStructBytes];
    if (!StreamReadStructRecord(stream, record, kStructBytes, kStructBytes, nullptr)) {
        return nullptr;
    }
    const int32_t width = int32_t(LittleEndianGetU32(record));
    const int32_t height = int32_t(LittleEndianGetU32(record + 4));
    const int32_t depth = int32_t(LittleEndianGetU32(record + 8));
    const int32_t storedStride = int32_t(LittleEndianGetU32(record + 12));
    const int64_t rowBytes = static_cast<int64_t>(width) * (depth == 32 ? 4 : 1);
    if ((depth != 4 && depth != 8 && depth != 32) || width <= 0 || height <= 0 || width > kMaxSide ||
        height > kMaxSide || storedStride < rowBytes ||
        static_cast<int64_t>(storedStride) * height > kMaxStoredBytes) {
        ErrorRaise(0, kErrorImageSize);
        return nullptr;
    }
    // Refuse before allocating when the data cannot be there.
    const int64_t remaining = StreamGetRemaining(stream);
    if (remaining >= 0 && static_cast<int64_t>(storedStride) * height + PaletteBytes(depth) > remaining) {
        ErrorRaise(0, kErrorImageSize);
        return nullptr;
    }
    Image* image = ImageCreate(width, height, depth);
    if (!image) {
        return nullptr;
    }
    if (!ImageAllocatePixels(image)) {
        ImageDestroy(image);
        return nullptr;
    }
    bool ok = true;
    if (storedStride == image->stride) {
        ok = ReadExactly(stream, image->pixels, static_cast<uint32_t>(storedStride) * height);
    } else {
        // Row by row: the image's own stride may be smaller (the stored rows
        // carry more padding) or larger (its padding is cleared).
        const uint32_t copied = static_cast<uint32_t>(std::min(storedStride, image->stride));
        for (int32_t y = 0; ok && y < height; ++y) {
            uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
            ok = ReadExactly(stream, row, copied);
            if (ok && storedStride > image->stride) {
                ok = StreamSkip(stream, static_cast<uint32_t>(storedStride - image->stride)) != nullptr;
            }
            if (ok && image->stride > storedStride) {
                std::memset(row + copied, 0, static_cast<size_t>(image->stride) - copied);
            }
        }
    }
    if (ok && depth <= 8) {
        ok = ReadExactly(stream, image->palette, PaletteBytes(depth));
    }
    if (ok && depth == 4 && !FourBitIndicesValid(image)) {
        ErrorRaise(0, kErrorRead);
        ok = false;
    }
    if (!ok) {
        ImageDestroy(image);
        return nullptr;
    }
    return image;
}
