// Reading bitmap files. Every size, count and offset in the headers is
// checked against the bytes the stream really holds before anything is
// allocated, and run-length data may never write past its row.
#include <algorithm>
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
/// Pixels allowed per byte of run-length data left in the file: a run pair
/// of 2 bytes gives at most 255 pixels, an end-of-bitmap code leaves the rest 0.
constexpr uint64_t kRlePixelsPerByte = 256;
/// Pixel limit when the stream cannot tell how many bytes it holds.
constexpr uint64_t kUnknownSizePixelLimit = uint64_t{1} << 26;

struct BmpHeader
{
    uint32_t dataOffset;
    uint32_t infoBytes;
    int64_t width;
    int64_t height; ///< rows, positive
    bool topDown;   ///< a negative stored height: rows stored first to last
    uint32_t bits;
    uint32_t compression;
    uint32_t coloursUsed;
};

void Raise(uint32_t code)
{
    ErrorRaise(kPluginIdBmp, code);
}

/// A short read leaves the stream's own end-of-data or read error.
bool ReadExact(Stream* stream, void* buffer, size_t n)
{
    return StreamRead(stream, buffer, n) == n;
}

/// Whether n more bytes are there to read (always true when the stream cannot tell).
bool BytesLeft(Stream* stream, uint64_t n)
{
    const int64_t remaining = StreamGetRemaining(stream);
    return remaining < 0 || n <= static_cast<uint64_t>(remaining);
}

bool SupportedBits(uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

int32_t DepthForBits(uint32_t bits)
{
    return bits <= 4 ? 4 : bits == 8 ? 8 : 32;
}

/// File header and information header, checked; the stream is left after the
/// information header.
bool ReadHeader(Stream* stream, BmpHeader* header)
{
    uint8_t fixed[kBmpFileHeaderBytes + 4];
    if (!ReadExact(stream, fixed, sizeof fixed)) {
        return false;
    }
    if (fixed[0] != 'B' || fixed[1] != 'M') {
        Raise(kErrorRead);
        return false;
    }
    header->dataOffset = BmpGetU32(fixed + 10);
    header->infoBytes = BmpGetU32(fixed + 14);
    if (header->infoBytes != kBmpOldInfoBytes && header->infoBytes < kBmpInfoBytes) {
        Raise(kErrorImageSize);
        return false;
    }
    if (!BytesLeft(stream, header->infoBytes - 4u)) {
        Raise(kErrorRead);
        return false;
    }
    uint8_t info[kBmpInfoBytes - 4];
    const uint32_t known = header->infoBytes == kBmpOldInfoBytes ? kBmpOldInfoBytes - 4 : kBmpInfoBytes - 4;
    if (!ReadExact(stream, info, known)) {
        return false;
    }
    // Later header versions add fields after the first 40 bytes; they are skipped.
    if (header->infoBytes - 4 > known && !StreamSkip(stream, header->infoBytes - 4 - known)) {
        return false;
    }
    int64_t storedHeight;
    if (header->infoBytes == kBmpOldInfoBytes) {
        header->width = static_cast<int16_t>(BmpGetU16(info));
        storedHeight = static_cast<int16_t>(BmpGetU16(info + 2));
        header->bits = BmpGetU16(info + 6);
        header->compression = kBmpCompressionNone;
        header->coloursUsed = 0;
    } else {
        header->width = static_cast<int32_t>(BmpGetU32(info));
        storedHeight = static_cast<int32_t>(BmpGetU32(info + 4));
        header->bits = BmpGetU16(info + 10);
        header->compression = BmpGetU32(info + 12);
        header->coloursUsed = BmpGetU32(info + 28);
    }
    header->topDown = storedHeight < 0;
    header->height = storedHeight < 0 ? -storedHeight : storedHeight;
    if (header->width <= 0 || header->height <= 0) {
        Raise(kErrorImageSize);
        return false;
    }
    if (!SupportedBits(header->bits)) {
        Raise(kErrorImageDepth);
        return false;
    }
    // 24- and 32-bit rows are read as they are whatever the compression says;
    // below that only plain rows and 8-bit run-length data are understood.
    const bool rawAnyway = header->bits >= 24 && header->compression != kBmpCompressionRle4;
    const bool plain = header->compression == kBmpCompressionNone;
    const bool rle8 = header->compression == kBmpCompressionRle8 && header->bits == 8;
    if (!rawAnyway && !plain && !rle8) {
        Raise(kErrorImageSize);
        return false;
    }
    if (rawAnyway) {
        header->compression = kBmpCompressionNone;
    }
    return true;
}

/// Reads the palette of a 1-, 4- or 8-bit file into the image's palette
/// (entries the file leaves out are opaque black); the bytes read.
bool ReadPalette(Stream* stream, const BmpHeader& header, Image* image, uint64_t* bytesRead)
{
    const uint32_t most = 1u << header.bits;
    const uint32_t entries = header.coloursUsed > 0 && header.coloursUsed <= most ? header.coloursUsed : most;
    const uint32_t entryBytes = header.infoBytes == kBmpOldInfoBytes ? 3 : 4;
    uint8_t stored[256 * 4];
    if (!ReadExact(stream, stored, size_t{entries} * entryBytes)) {
        return false;
    }
    const uint32_t imageEntries = 1u << image->depth;
    for (uint32_t i = 0; i < imageEntries; ++i) {
        uint8_t* entry = image->palette + i * 4;
        const uint8_t* bgr = stored + i * entryBytes;
        entry[0] = i < entries ? bgr[2] : 0;
        entry[1] = i < entries ? bgr[1] : 0;
        entry[2] = i < entries ? bgr[0] : 0;
        entry[3] = 255;
    }
    *bytesRead = uint64_t{entries} * entryBytes;
    return true;
}

/// Converts one stored row (already unpacked from run-length data) into image row `y`.
void ConvertRow(const uint8_t* row, uint32_t bits, Image* image, int64_t y)
{
    uint8_t* out = image->pixels + y * image->stride;
    const int32_t width = image->width;
    for (int32_t x = 0; x < width; ++x) {
        switch (bits) {
        case 1:
            out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
            break;
        case 4:
            out[x] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
            break;
        case 8:
            out[x] = row[x];
            break;
        case 15:
        case 16: {
            const uint32_t p = BmpGetU16(row + x * 2);
            uint8_t* rgba = out + x * 4;
            rgba[0] = bits == 15 ? (p >> 7) & 0xF8 : (p >> 8) & 0xF8;
            rgba[1] = bits == 15 ? (p >> 2) & 0xF8 : (p >> 3) & 0xFC;
            rgba[2] = (p << 3) & 0xF8;
            rgba[3] = 255;
            break;
        }
        default: { // 24 and 32: B, G, R (, X)
            const uint8_t* bgr = row + x * (bits / 8);
            uint8_t* rgba = out + x * 4;
            rgba[0] = bgr[2];
            rgba[1] = bgr[1];
            rgba[2] = bgr[0];
            rgba[3] = 255;
            break;
        }
        }
    }
}

enum class RleEnd
{
    Row,
    Bitmap,
    Failed,
};

/// Unpacks one row of 8-bit run-length data into `row` (width bytes).
/// Runs and copies that would pass the row's end and position deltas are refused.
RleEnd ReadRle8Row(Stream* stream, uint8_t* row, uint32_t width)
{
    std::memset(row, 0, width);
    uint32_t x = 0;
    for (;;) {
        uint8_t pair[2];
        if (!ReadExact(stream, pair, 2)) {
            return RleEnd::Failed;
        }
        const uint32_t count = pair[0];
        const uint32_t value = pair[1];
        if (count > 0) {
            if (count > width - x) {
                Raise(kErrorRead);
                return RleEnd::Failed;
            }
            std::memset(row + x, static_cast<int>(value), count);
            x += count;
            continue;
        }
        if (value == 0) {
            return RleEnd::Row;
        }
        if (value == 1) {
            return RleEnd::Bitmap;
        }
        if (value == 2) {
            Raise(kErrorImageSize);
            return RleEnd::Failed;
        }
        if (value > width - x) {
            Raise(kErrorRead);
            return RleEnd::Failed;
        }
        if (!ReadExact(stream, row + x, value)) {
            return RleEnd::Failed;
        }
        x += value;
        uint8_t pad;
        if ((value & 1) && !ReadExact(stream, &pad, 1)) {
            return RleEnd::Failed;
        }
    }
}

/// Whether the pixel data the header announces can be in the bytes left
/// (palette and gap included, so this bounds the image before it is made).
bool DataFits(Stream* stream, const BmpHeader& header, uint64_t rowBytes)
{
    const int64_t remaining = StreamGetRemaining(stream);
    const uint64_t pixels = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height);
    if (remaining < 0) {
        return pixels <= kUnknownSizePixelLimit;
    }
    const uint64_t left = static_cast<uint64_t>(remaining);
    if (header.compression == kBmpCompressionRle8) {
        return pixels / kRlePixelsPerByte <= left;
    }
    return rowBytes * static_cast<uint64_t>(header.height) <= left;
}

bool ReadRows(Stream* stream, const BmpHeader& header, Image* image, uint8_t* row, uint64_t rowBytes)
{
    for (int64_t r = 0; r < header.height; ++r) {
        const int64_t y = header.topDown ? r : header.height - 1 - r;
        if (header.compression == kBmpCompressionRle8) {
            const RleEnd end = ReadRle8Row(stream, row, static_cast<uint32_t>(header.width));
            if (end == RleEnd::Failed) {
                return false;
            }
            ConvertRow(row, header.bits, image, y);
            if (end == RleEnd::Bitmap) {
                return true;
            }
        } else {
            if (!ReadExact(stream, row, rowBytes)) {
                return false;
            }
            ConvertRow(row, header.bits, image, y);
        }
    }
    return true;
}

/// Everything after the information header; the image is the caller's to free.
bool ReadBody(Stream* stream, const BmpHeader& header, Image* image)
{
    uint64_t consumed = kBmpFileHeaderBytes + uint64_t{header.infoBytes};
    if (header.bits <= 8) {
        uint64_t paletteBytes = 0;
        if (!ReadPalette(stream, header, image, &paletteBytes)) {
            return false;
        }
        consumed += paletteBytes;
    }
    if (header.dataOffset < consumed || !BytesLeft(stream, header.dataOffset - consumed)) {
        Raise(kErrorRead);
        return false;
    }
    if (header.dataOffset > consumed && !StreamSkip(stream, header.dataOffset - consumed)) {
        return false;
    }
    const uint64_t rowBytes = BmpRowBytes(static_cast<uint64_t>(header.width), header.bits);
    const size_t bufferBytes = static_cast<size_t>(std::max<uint64_t>(rowBytes, header.width));
    auto* row = static_cast<uint8_t*>(MemoryAllocate(bufferBytes, kRowHint));
    if (!row) {
        Raise(ErrorCode(kErrorOutOfMemory, bufferBytes));
        return false;
    }
    const bool ok = ReadRows(stream, header, image, row, rowBytes);
    MemoryFree(row);
    return ok;
}

} // namespace

Image* BmpStreamRead(Stream* stream)
{
    BmpHeader header;
    if (!ReadHeader(stream, &header)) {
        return nullptr;
    }
    // The image is made only once its pixel data is known to fit in the file,
    // so a header that lies about the size cannot make a huge allocation.
    if (!DataFits(stream, header, BmpRowBytes(static_cast<uint64_t>(header.width), header.bits))) {
        Raise(kErrorRead);
        return nullptr;
    }
    if (header.width > INT32_MAX || header.height > INT32_MAX) {
        Raise(kErrorImageSize);
        return nullptr;
    }
    Image* image = ImageCreate(static_cast<int32_t>(header.width), static_cast<int32_t>(header.height),
                               DepthForBits(header.bits));
    if (!image) {
        return nullptr;
    }
    if (!ImageAllocatePixels(image)) {
        ImageDestroy(image);
        return nullptr;
    }
    if (header.compression == kBmpCompressionRle8) {
        // Rows after an end-of-bitmap code stay index 0.
        std::memset(image->pixels, 0,
                    static_cast<size_t>(image->stride) * static_cast<size_t>(image->height));
    }
    if (!ReadBody(stream, header, image)) {
        ImageDestroy(image);
        return nullptr;
    }
    return image;
}

Image* BmpRead(const char* fileName)
{
    if (!fileName) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, fileName);
    if (!stream) {
        return nullptr;
    }
    Image* image = BmpStreamRead(stream);
    StreamClose(stream, nullptr);
    return image;
}
