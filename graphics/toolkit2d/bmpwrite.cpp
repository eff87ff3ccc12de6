// Writing bitmap files: uncompressed, bottom-up, with a 40-byte information
// header; 4- and 8-bit images keep their palette, 32-bit images become
// 24-bit (alpha is not stored).
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/bmp.h"
#include "graphics/toolkit2d/bmpformat.h"
#include "graphics/toolkit2d/toolkit2dids.h"

namespace {

constexpr uint32_t kRowHint = kMemoryHintScratch | kPluginIdBmp;
constexpr uint32_t kHeaderBytes = kBmpFileHeaderBytes + kBmpInfoBytes;

void Raise(uint32_t code)
{
    ErrorRaise(kPluginIdBmp, code);
}

bool WriteHeader(Stream* stream, const Image* image, uint32_t bits, uint32_t paletteBytes, uint32_t fileBytes)
{
    uint8_t header[kHeaderBytes] = {};
    header[0] = 'B';
    header[1] = 'M';
    BmpPutU32(header + 2, fileBytes);
    BmpPutU32(header + 10, kHeaderBytes + paletteBytes);
    BmpPutU32(header + 14, kBmpInfoBytes);
    BmpPutU32(header + 18, static_cast<uint32_t>(image->width));
    BmpPutU32(header + 22, static_cast<uint32_t>(image->height));
    BmpPutU16(header + 26, 1);
    BmpPutU16(header + 28, static_cast<uint16_t>(bits));
    // Compression, image size and resolutions stay 0.
    const uint32_t colours = bits <= 8 ? 1u << bits : 0;
    BmpPutU32(header + 46, colours);
    BmpPutU32(header + 50, colours);
    return StreamWrite(stream, header, sizeof header) != nullptr;
}

bool WritePalette(Stream* stream, const Image* image)
{
    uint8_t stored[256 * 4];
    const uint32_t entries = 1u << image->depth;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* rgba = image->palette + i * 4;
        stored[i * 4 + 0] = rgba[2];
        stored[i * 4 + 1] = rgba[1];
        stored[i * 4 + 2] = rgba[0];
        stored[i * 4 + 3] = 255;
    }
    return StreamWrite(stream, stored, entries * 4) != nullptr;
}

/// Image row `y` in its stored form, padded with zero bytes.
void PackRow(const Image* image, int32_t y, uint8_t* row, size_t rowBytes)
{
    std::memset(row, 0, rowBytes);
    const uint8_t* in = image->pixels + static_cast<size_t>(y) * image->stride;
    for (int32_t x = 0; x < image->width; ++x) {
        switch (image->depth) {
        case 4:
            row[x >> 1] |= (x & 1) ? in[x] & 0x0F : static_cast<uint8_t>(in[x] << 4);
            break;
        case 8:
            row[x] = in[x];
            break;
        default:
            row[x * 3 + 0] = in[x * 4 + 2];
            row[x * 3 + 1] = in[x * 4 + 1];
            row[x * 3 + 2] = in[x * 4 + 0];
            break;
        }
    }
}

} // namespace

Image* BmpStreamWrite(Image* image, Stream* stream)
{
    if (!image || !stream || !image->pixels) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    if (image->depth != 4 && image->depth != 8 && image->depth != 32) {
        Raise(kErrorImageDepth);
        return nullptr;
    }
    const uint32_t bits = image->palette ? static_cast<uint32_t>(image->depth) : 24;
    const uint32_t paletteBytes = bits <= 8 ? 4u << bits : 0;
    const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(image->width), bits);
    const uint64_t fileBytes = rowBytes * static_cast<uint64_t>(image->height) + paletteBytes + kHeaderBytes;
    if (image->width <= 0 || image->height <= 0 || fileBytes > UINT32_MAX) {
        Raise(kErrorImageSize);
        return nullptr;
    }
    auto* row = static_cast<uint8_t*>(MemoryAllocate(static_cast<size_t>(rowBytes), kRowHint));
    if (!row) {
        Raise(ErrorCode(kErrorOutOfMemory, rowBytes));
        return nullptr;
    }
    bool ok = WriteHeader(stream, image, bits, paletteBytes, static_cast<uint32_t>(fileBytes)) &&
              (bits > 8 || WritePalette(stream, image));
    for (int32_t y = image->height - 1; ok && y >= 0; --y) {
        PackRow(image, y, row, static_cast<size_t>(rowBytes));
        ok = StreamWrite(stream, row, static_cast<size_t>(rowBytes)) != nullptr;
    }
    MemoryFree(row);
    return ok ? image : nullptr;
}

Image* BmpWrite(Image* image, const char* fileName)
{
    if (!image || !fileName) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, fileName);
    if (!stream) {
        return nullptr;
    }
    Image* written = BmpStreamWrite(image, stream);
    // A file that fails to close has not been written whole.
    const bool closed = StreamClose(stream, nullptr);
    return closed ? written : nullptr;
}
