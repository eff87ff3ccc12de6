// DDS header parsing, layout and level decoding over bytes in memory.

#include "graphics/d3d9/dds.h"

#include <cstdint>

#include "graphics/core/littleendian.h"
#include "graphics/d3d9/dxt.h"
#include "graphics/d3d9/pixelformat.h"
#include "platform/d3d9/d3d9types.h"

namespace {

// Byte offsets in the file (the magic included).
constexpr size_t kOffFlags = 8, kOffHeight = 12, kOffWidth = 16, kOffPitch = 20, kOffDepth = 24,
                 kOffMipCount = 28, kOffHeaderSize = 4, kOffPixelSize = 76, kOffPixelFlags = 80,
                 kOffFourCC = 84, kOffBitCount = 88, kOffRed = 92, kOffGreen = 96, kOffBlue = 100,
                 kOffAlpha = 104, kOffCaps = 108, kOffCaps2 = 112;

uint32_t FormatOfRgb(const DdsHeader* h, bool cube)
{
    if (h->bitCount == 24) {
        return D3DFMT_R8G8B8;
    }
    switch (h->redMask) {
    case 0xFF0000:
        return D3DFMT_X8R8G8B8;
    case 0xF800:
        return D3DFMT_R5G6B5;
    case 0xE0:
        return cube ? 0u : uint32_t(D3DFMT_R3G3B2);
    default:
        return 0;
    }
}

uint32_t FormatOfRgba(const DdsHeader* h, bool cube)
{
    switch (h->redMask) {
    case 0xFF0000:
        return D3DFMT_A8R8G8B8;
    case 0x7C00:
        return D3DFMT_A1R5G5B5;
    case 0xF00:
        return D3DFMT_A4R4G4B4;
    default:
        break;
    }
    if (cube) {
        return 0;
    }
    if (h->redMask == 0x3FF) {
        return D3DFMT_A2R10G10B10;
    }
    if (h->blueMask == 0x3FF) {
        return D3DFMT_A2B10G10R10;
    }
    return h->redMask == 0xE0 ? uint32_t(D3DFMT_A8R3G3B2) : 0u;
}

uint32_t FormatOfOther(const DdsHeader* h)
{
    if (h->bitCount == 16) {
        if (h->redMask == 0xFFFF) {
            return D3DFMT_L16;
        }
        if (h->redMask == 0xFF && h->alphaMask == 0xFF00) {
            return D3DFMT_A8L8;
        }
        return 0;
    }
    if (h->bitCount == 8) {
        if (h->redMask == 0xFF) {
            return D3DFMT_L8;
        }
        if (h->alphaMask == 0xFF) {
            return D3DFMT_A8;
        }
        if (h->redMask == 0xF && h->alphaMask == 0xF0) {
            return D3DFMT_A4L4;
        }
        if (!h->redMask && !h->greenMask && !h->blueMask && !h->alphaMask) {
            return D3DFMT_P8;
        }
    }
    return 0;
}

} // namespace

bool DdsParseHeader(const uint8_t* data, size_t size, DdsHeader* h)
{
    if (!data || size < kDdsHeaderBytes || LittleEndianGetU32(data) != kDdsMagic) {
        return false;
    }
    h->flags = LittleEndianGetU32(data + kOffFlags);
    h->height = LittleEndianGetU32(data + kOffHeight);
    h->width = LittleEndianGetU32(data + kOffWidth);
    h->pitchOrLinearSize = LittleEndianGetU32(data + kOffPitch);
    h->depth = LittleEndianGetU32(data + kOffDepth);
    h->mipMapCount = LittleEndianGetU32(data + kOffMipCount);
    h->pixelFlags = LittleEndianGetU32(data + kOffPixelFlags);
    h->fourCC = LittleEndianGetU32(data + kOffFourCC);
    h->bitCount = LittleEndianGetU32(data + kOffBitCount);
    h->redMask = LittleEndianGetU32(data + kOffRed);
    h->greenMask = LittleEndianGetU32(data + kOffGreen);
    h->blueMask = LittleEndianGetU32(data + kOffBlue);
    h->alphaMask = LittleEndianGetU32(data + kOffAlpha);
    h->caps = LittleEndianGetU32(data + kOffCaps);
    h->caps2 = LittleEndianGetU32(data + kOffCaps2);
    return (h->flags & (kDdsFlagCaps | kDdsFlagHeight | kDdsFlagWidth | kDdsFlagPixelFormat)) != 0 &&
           h->width <= kDdsMaxSide && h->height <= kDdsMaxSide;
}

void DdsWriteHeader(const DdsHeader* h, uint8_t* out)
{
    for (size_t i = 0; i < kDdsHeaderBytes; ++i) {
        out[i] = 0;
    }
    LittleEndianPutU32(out, kDdsMagic);
    LittleEndianPutU32(out + kOffHeaderSize, 124);
    LittleEndianPutU32(out + kOffFlags, h->flags);
    LittleEndianPutU32(out + kOffHeight, h->height);
    LittleEndianPutU32(out + kOffWidth, h->width);
    LittleEndianPutU32(out + kOffPitch, h->pitchOrLinearSize);
    LittleEndianPutU32(out + kOffDepth, h->depth);
    LittleEndianPutU32(out + kOffMipCount, h->mipMapCount);
    LittleEndianPutU32(out + kOffPixelSize, 32);
    LittleEndianPutU32(out + kOffPixelFlags, h->pixelFlags);
    LittleEndianPutU32(out + kOffFourCC, h->fourCC);
    LittleEndianPutU32(out + kOffBitCount, h->bitCount);
    LittleEndianPutU32(out + kOffRed, h->redMask);
    LittleEndianPutU32(out + kOffGreen, h->greenMask);
    LittleEndianPutU32(out + kOffBlue, h->blueMask);
    LittleEndianPutU32(out + kOffAlpha, h->alphaMask);
    LittleEndianPutU32(out + kOffCaps, h->caps);
    LittleEndianPutU32(out + kOffCaps2, h->caps2);
}

bool DdsIsCube(const DdsHeader* h)
{
    return (h->caps & kDdsCapsComplex) && (h->caps2 & kDdsCaps2CubeBits);
}

bool DdsHasFace(const DdsHeader* h, uint32_t face)
{
    if (!DdsIsCube(h)) {
        return face == 0;
    }
    return face < 6 && (h->caps2 & (kDdsCaps2FacePositiveX << face));
}

uint32_t DdsFaceCount(const DdsHeader* h)
{
    if (!DdsIsCube(h)) {
        return 1;
    }
    uint32_t count = 0;
    for (uint32_t face = 0; face < 6; ++face) {
        count += DdsHasFace(h, face) ? 1 : 0;
    }
    return count;
}

uint32_t DdsLevelCount(const DdsHeader* h)
{
    if (!(h->flags & kDdsFlagMipMapCount) || h->mipMapCount == 0) {
        return 1;
    }
    const uint32_t largest = h->width > h->height ? h->width : h->height;
    const uint32_t fullChain = uint32_t(Log2Floor(largest ? largest : 1)) + 1;
    return h->mipMapCount < fullChain ? h->mipMapCount : fullChain;
}

uint32_t DdsFormatOf(const DdsHeader* h)
{
    const bool cube = DdsIsCube(h);
    switch (h->pixelFlags) {
    case kDdsPixelFourCC:
        return h->fourCC;
    case kDdsPixelRgb:
        return FormatOfRgb(h, cube);
    case kDdsPixelRgb | kDdsPixelAlpha:
        return FormatOfRgba(h, cube);
    default:
        return cube ? 0 : FormatOfOther(h);
    }
}

bool DdsDecodeLevel(uint32_t format, uint32_t width, uint32_t height, const uint8_t* level,
                    const uint8_t* palette, uint8_t* rgba, size_t stride, bool* transparent)
{
    if (transparent) {
        *transparent = false;
    }
    if (DxtIsFormat(format)) {
        return DxtDecodeLevel(format, width, height, rgba, stride, level, transparent);
    }
    if (format == D3DFMT_P8) {
        if (!palette) {
            return false;
        }
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* in = level + size_t(y) * width;
            uint8_t* out = rgba + y * stride;
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* entry = palette + size_t(in[x]) * 4;
                out[x * 4 + 0] = entry[0];
                out[x * 4 + 1] = entry[1];
                out[x * 4 + 2] = entry[2];
                out[x * 4 + 3] = entry[3];
            }
        }
        return true;
    }
    if (!D3D9FormatCanDecode(format)) {
        return false;
    }
    const size_t rowBytes = D3D9FormatRowBytes(format, width);
    for (uint32_t y = 0; y < height; ++y) {
        D3D9DecodePixels(format, level + y * rowBytes, rgba + y * stride, width);
    }
    return true;
}

bool DdsLocateLevel0(const uint8_t* data, size_t size, DdsLevel0* out)
{
    if (!DdsParseHeader(data, size, &out->header) || out->header.width == 0 || out->header.height == 0) {
        return false;
    }
    out->format = DdsFormatOf(&out->header);
    out->bytes = D3D9FormatLevelBytes(out->format, out->header.width, out->header.height);
    if (out->format == 0 || out->bytes == 0) {
        return false;
    }
    size_t offset = kDdsHeaderBytes;
    out->palette = nullptr;
    if (out->format == D3DFMT_P8) {
        if (size - offset < kDdsPaletteBytes) {
            return false;
        }
        out->palette = data + offset;
        offset += kDdsPaletteBytes;
    }
    if (size - offset < out->bytes) {
        return false;
    }
    out->pixels = data + offset;
    return true;
}
