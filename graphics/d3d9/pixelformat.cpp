// Format tables and pixel conversion. Every shift keeps the low 8 bits of the
// result; expansions do not replicate high bits, so a colour read back from a
// 16-bit pixel is the colour truncated to the format's bits.

#include "graphics/d3d9/pixelformat.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/dxt.h"
#include "platform/d3d9/d3d9types.h"

namespace {

constexpr std::array<D3D9FormatDescription, 128> BuildDescriptions()
{
    std::array<D3D9FormatDescription, 128> t{};
    auto set = [&t](int format, uint8_t alpha, uint8_t depth, uint16_t code) {
        t[format] = {alpha, depth, code};
    };
    set(D3DFMT_R8G8B8, 0, 24, 0);
    set(D3DFMT_A8R8G8B8, 1, 32, 0x0500);
    set(D3DFMT_X8R8G8B8, 0, 32, 0x0600);
    set(D3DFMT_R5G6B5, 0, 16, 0x0200);
    set(D3DFMT_X1R5G5B5, 0, 16, 0x0A00);
    set(D3DFMT_A1R5G5B5, 1, 16, 0x0100);
    set(D3DFMT_A4R4G4B4, 1, 16, 0x0300);
    set(D3DFMT_R3G3B2, 0, 8, 0);
    set(D3DFMT_A8, 1, 8, 0);
    set(D3DFMT_A8R3G3B2, 1, 16, 0);
    set(D3DFMT_X4R4G4B4, 0, 16, 0);
    set(D3DFMT_A2B10G10R10, 1, 32, 0);
    set(D3DFMT_A8B8G8R8, 1, 32, 0);
    set(D3DFMT_X8B8G8R8, 0, 32, 0);
    set(D3DFMT_G16R16, 0, 32, 0);
    set(D3DFMT_A2R10G10B10, 1, 32, 0);
    set(D3DFMT_A16B16G16R16, 1, 64, 0);
    set(D3DFMT_A8P8, 1, 16, 0);
    set(D3DFMT_P8, 0, 8, 0x2000);
    set(D3DFMT_L8, 0, 8, 0x0400);
    set(D3DFMT_A8L8, 1, 16, 0);
    set(D3DFMT_A4L4, 1, 8, 0);
    set(D3DFMT_V8U8, 0, 16, 0);
    set(D3DFMT_L6V5U5, 0, 16, 0);
    set(D3DFMT_X8L8V8U8, 0, 32, 0);
    set(D3DFMT_Q8W8V8U8, 0, 32, 0);
    set(D3DFMT_V16U16, 0, 32, 0);
    set(D3DFMT_A2W10V10U10, 1, 32, 0);
    set(D3DFMT_D16_LOCKABLE, 0, 16, 0x0700);
    set(D3DFMT_D32, 0, 32, 0x0900);
    set(D3DFMT_D15S1, 0, 16, 0x0700);
    set(D3DFMT_D24S8, 0, 32, 0x0900);
    set(D3DFMT_D24X8, 0, 32, 0x0900);
    set(D3DFMT_D24X4S4, 0, 32, 0x0900);
    set(D3DFMT_D16, 0, 16, 0x0700);
    set(D3DFMT_L16, 0, 16, 0);
    set(D3DFMT_D32F_LOCKABLE, 0, 32, 0x0900);
    set(D3DFMT_D24FS8, 0, 32, 0x0900);
    set(D3DFMT_Q16W16V16U16, 0, 64, 0);
    set(D3DFMT_R16F, 0, 16, 0);
    set(D3DFMT_G16R16F, 0, 32, 0);
    set(D3DFMT_A16B16G16R16F, 1, 64, 0);
    set(D3DFMT_R32F, 0, 32, 0);
    set(D3DFMT_G32R32F, 0, 64, 0);
    set(D3DFMT_A32B32G32R32F, 1, 128, 0);
    set(D3DFMT_CxV8U8, 0, 16, 0);
    return t;
}

constexpr std::array<D3D9FormatDescription, 128> kDescriptions = BuildDescriptions();

constexpr D3D9EngineFormat kEngineFormats[16] = {
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_A1R5G5B5, 16, 1}, {D3DFMT_R5G6B5, 16, 0},   {D3DFMT_A4R4G4B4, 16, 1},
    {D3DFMT_L8, 8, 0},      {D3DFMT_A8R8G8B8, 32, 1}, {D3DFMT_X8R8G8B8, 32, 0}, {D3DFMT_D16, 16, 0},
    {D3DFMT_D24X8, 32, 0},  {D3DFMT_D32, 32, 0},      {D3DFMT_X1R5G5B5, 16, 0}, {D3DFMT_UNKNOWN, 0, 0},
    {D3DFMT_UNKNOWN, 0, 0}, {D3DFMT_UNKNOWN, 0, 0},   {D3DFMT_UNKNOWN, 0, 0},   {D3DFMT_UNKNOWN, 0, 0},
};

uint32_t Load(const uint8_t* p, uint32_t bytes)
{
    uint32_t v = 0;
    for (uint32_t i = 0; i < bytes; ++i) {
        v |= uint32_t(p[i]) << (8 * i);
    }
    return v;
}

void Store(uint8_t* p, uint32_t bytes, uint32_t v)
{
    for (uint32_t i = 0; i < bytes; ++i) {
        p[i] = uint8_t(v >> (8 * i));
    }
}

void Set(uint8_t* rgba, uint32_t r, uint32_t g, uint32_t b, uint32_t a)
{
    rgba[0] = uint8_t(r);
    rgba[1] = uint8_t(g);
    rgba[2] = uint8_t(b);
    rgba[3] = uint8_t(a);
}

/// One pixel of a Direct3D format to RGBA; false when the format has none.
bool DecodeOne(uint32_t format, const uint8_t* p, uint8_t* o)
{
    const uint32_t v = Load(p, D3D9FormatPixelBytes(format) > 4 ? 4 : D3D9FormatPixelBytes(format));
    switch (format) {
    case D3DFMT_R8G8B8:
        Set(o, p[2], p[1], p[0], 255);
        return true;
    case D3DFMT_A8R8G8B8:
        Set(o, v >> 16, v >> 8, v, v >> 24);
        return true;
    case D3DFMT_X8R8G8B8:
        Set(o, v >> 16, v >> 8, v, 255);
        return true;
    case D3DFMT_R5G6B5:
        Set(o, (v >> 8) & 0xF8, (v >> 3) & 0xFC, v << 3, 255);
        return true;
    case D3DFMT_X1R5G5B5:
        Set(o, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, 255);
        return true;
    case D3DFMT_A1R5G5B5:
        Set(o, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, (v & 0x8000) ? 255 : 0);
        return true;
    case D3DFMT_A4R4G4B4:
        Set(o, (v >> 4) & 0xF0, v & 0xF0, v << 4, (v & 0xF000) == 0xF000 ? 255 : (v >> 8) & 0xF0);
        return true;
    case D3DFMT_R3G3B2:
        Set(o, v & 0xE0, (v & 0xFC) << 3, v << 6, 255);
        return true;
    case D3DFMT_A8:
        Set(o, 255, 255, 255, v);
        return true;
    case D3DFMT_A8R3G3B2:
        Set(o, v & 0xE0, (v & 0xFC) << 3, v << 6, v >> 8);
        return true;
    case D3DFMT_X4R4G4B4:
        Set(o, (v >> 4) & 0xF0, v & 0xF0, v << 4, 255);
        return true;
    case D3DFMT_A2R10G10B10:
        Set(o, v >> 22, v >> 12, v >> 2, (v >> 30) * 85);
        return true;
    case D3DFMT_A2B10G10R10:
        Set(o, v >> 2, v >> 12, v >> 22, (v >> 30) * 85);
        return true;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        Set(o, v, v >> 8, v >> 16, v >> 24);
        return true;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        Set(o, v, v >> 8, v >> 16, 255);
        return true;
    case D3DFMT_A16B16G16R16:
        // The high byte of each 16-bit channel.
        Set(o, p[1], p[3], p[5], p[7]);
        return true;
    case D3DFMT_L8:
        Set(o, v, v, v, 255);
        return true;
    case D3DFMT_A8L8:
        Set(o, v, v, v, v >> 8);
        return true;
    case D3DFMT_A4L4:
        Set(o, v << 4, v << 4, v << 4, v >= 240 ? 255 : v & 0xF0);
        return true;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        Set(o, v, v >> 8, 0, 255);
        return true;
    case D3DFMT_L6V5U5:
        Set(o, v << 3, (v >> 2) & 0xF8, (v >> 8) & 0xFC, 255);
        return true;
    case D3DFMT_L16:
        Set(o, v >> 8, v >> 8, v >> 8, 255);
        return true;
    default:
        return false;
    }
}

/// One RGBA pixel into a Direct3D format; false when the format has none.
bool EncodeOne(uint32_t format, const uint8_t* c, uint8_t* p)
{
    const uint32_t r = c[0], g = c[1], b = c[2], a = c[3];
    const uint32_t lum = D3D9Luminance(c);
    uint32_t v;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        v = a << 24 | r << 16 | g << 8 | b;
        break;
    case D3DFMT_X8R8G8B8:
        v = 255u << 24 | r << 16 | g << 8 | b;
        break;
    case D3DFMT_R5G6B5:
        v = (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
        break;
    case D3DFMT_X1R5G5B5:
        v = (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3;
        break;
    case D3DFMT_A1R5G5B5:
        v = (a & 0x80) << 8 | (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3;
        break;
    case D3DFMT_A4R4G4B4:
        v = (a & 0xF0) << 8 | (r & 0xF0) << 4 | (g & 0xF0) | b >> 4;
        break;
    case D3DFMT_R3G3B2:
        v = (r & 0xE0) | (g & 0xE0) >> 3 | b >> 6;
        break;
    case D3DFMT_A8:
        v = a;
        break;
    case D3DFMT_A8R3G3B2:
        v = a << 8 | (r & 0xE0) | (g & 0xE0) >> 3 | b >> 6;
        break;
    case D3DFMT_X4R4G4B4:
        v = 0xF000 | (r & 0xF0) << 4 | (g & 0xF0) | b >> 4;
        break;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_Q8W8V8U8:
        v = a << 24 | b << 16 | g << 8 | r;
        break;
    case D3DFMT_X8B8G8R8:
    case D3DFMT_X8L8V8U8:
        v = 255u << 24 | b << 16 | g << 8 | r;
        break;
    case D3DFMT_L8:
        v = lum * a / 255;
        break;
    case D3DFMT_A8L8:
        v = lum | a << 8;
        break;
    case D3DFMT_A4L4:
        v = lum >> 4 | (a & 0xF0);
        break;
    case D3DFMT_V8U8:
    case D3DFMT_CxV8U8:
        v = r | g << 8;
        break;
    case D3DFMT_L6V5U5:
        v = (b & 0xFC) << 8 | (g & 0xF8) << 2 | r >> 3;
        break;
    case D3DFMT_L16:
        v = (30 * r + 59 * g + 11 * b) * a / 25500 * 255;
        break;
    default:
        return false;
    }
    Store(p, D3D9FormatPixelBytes(format), v);
    return true;
}

} // namespace

D3D9FormatDescription D3D9FormatDescribe(uint32_t d3dFormat)
{
    return d3dFormat < kDescriptions.size() ? kDescriptions[d3dFormat] : D3D9FormatDescription{};
}

D3D9EngineFormat D3D9EngineFormatDescribe(uint32_t formatWord)
{
    return kEngineFormats[(formatWord & kRasterFormatPixelMask) >> 8];
}

bool D3D9FormatIsDepth(uint32_t d3dFormat)
{
    return d3dFormat >= D3DFMT_D16_LOCKABLE && d3dFormat <= D3DFMT_D16;
}

int32_t Log2Floor(uint32_t value)
{
    int32_t bits = -1;
    while (value) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

uint8_t D3D9Luminance(const uint8_t* rgba)
{
    return uint8_t((30 * uint32_t(rgba[0]) + 59 * uint32_t(rgba[1]) + 11 * uint32_t(rgba[2])) / 100);
}

bool D3D9ColourToPixel(const uint8_t* rgba, uint32_t formatWord, uint32_t* pixel)
{
    const uint32_t r = rgba[0], g = rgba[1], b = rgba[2], a = rgba[3];
    switch (formatWord & kRasterFormatPixelMask) {
    case kRasterFormat1555:
        *pixel = (a & 0x80) << 8 | (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3;
        return true;
    case kRasterFormat565:
        *pixel = (r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3;
        return true;
    case kRasterFormat4444:
        *pixel = (a & 0xF0) << 8 | (r & 0xF0) << 4 | (g & 0xF0) | b >> 4;
        return true;
    case kRasterFormatLum8:
        *pixel = D3D9Luminance(rgba) * a / 255;
        return true;
    case kRasterFormatDefault:
    case kRasterFormat8888:
        *pixel = a << 24 | r << 16 | g << 8 | b;
        return true;
    case kRasterFormat888:
        *pixel = 0xFFu << 24 | r << 16 | g << 8 | b;
        return true;
    case kRasterFormat555:
        *pixel = (r & 0xF8) << 7 | (g & 0xF8) << 2 | b >> 3;
        return true;
    default:
        return false;
    }
}

bool D3D9PixelToColour(uint32_t v, uint32_t formatWord, uint8_t* rgba)
{
    if (formatWord & kRasterFormatPal8) {
        Store(rgba, 4, v);
        return true;
    }
    switch (formatWord & kRasterFormatPixelMask) {
    case kRasterFormat1555:
        Set(rgba, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, (v & 0x8000) ? 255 : 0);
        return true;
    case kRasterFormat565:
        Set(rgba, (v >> 8) & 0xF8, (v >> 3) & 0xFC, v << 3, 255);
        return true;
    case kRasterFormat4444:
        Set(rgba, (v >> 4) & 0xF0, v & 0xF0, v << 4, (v & 0xF000) == 0xF000 ? 255 : (v >> 8) & 0xF0);
        return true;
    case kRasterFormatLum8:
        Set(rgba, v, v, v, 255);
        return true;
    case kRasterFormatDefault:
    case kRasterFormat8888:
        Set(rgba, v >> 16, v >> 8, v, v >> 24);
        return true;
    case kRasterFormat888:
        Set(rgba, v >> 16, v >> 8, v, 255);
        return true;
    case kRasterFormat555:
        Set(rgba, (v >> 7) & 0xF8, (v >> 2) & 0xF8, v << 3, 255);
        return true;
    default:
        return false;
    }
}

int32_t D3D9RGBAToPixel(void* pixel, void* rgba, int32_t formatWord)
{
    if (!D3D9ColourToPixel(static_cast<const uint8_t*>(rgba), uint32_t(formatWord),
                           static_cast<uint32_t*>(pixel))) {
        ErrorRaise(0, kErrorRasterFormat);
        return 0;
    }
    return 1;
}

int32_t D3D9PixelToRGBA(void* rgba, void* pixel, int32_t formatWord)
{
    if (!D3D9PixelToColour(*static_cast<const uint32_t*>(pixel), uint32_t(formatWord),
                           static_cast<uint8_t*>(rgba))) {
        ErrorRaise(0, kErrorRasterFormat);
        return 0;
    }
    return 1;
}

uint32_t D3D9FormatPixelBytes(uint32_t d3dFormat)
{
    return D3D9FormatDescribe(d3dFormat).depth / 8;
}

bool D3D9FormatCanDecode(uint32_t d3dFormat)
{
    uint8_t probe[8] = {};
    uint8_t rgba[4];
    return D3D9FormatPixelBytes(d3dFormat) && DecodeOne(d3dFormat, probe, rgba);
}

bool D3D9FormatCanEncode(uint32_t d3dFormat)
{
    uint8_t probe[8] = {};
    const uint8_t rgba[4] = {};
    return D3D9FormatPixelBytes(d3dFormat) && EncodeOne(d3dFormat, rgba, probe);
}

bool D3D9DecodePixels(uint32_t d3dFormat, const uint8_t* source, uint8_t* rgba, uint32_t count)
{
    if (!D3D9FormatCanDecode(d3dFormat)) {
        return false;
    }
    const uint32_t bytes = D3D9FormatPixelBytes(d3dFormat);
    for (uint32_t i = 0; i < count; ++i) {
        DecodeOne(d3dFormat, source + size_t(i) * bytes, rgba + size_t(i) * 4);
    }
    return true;
}

bool D3D9EncodePixels(uint32_t d3dFormat, const uint8_t* rgba, uint8_t* destination, uint32_t count)
{
    if (!D3D9FormatCanEncode(d3dFormat)) {
        return false;
    }
    const uint32_t bytes = D3D9FormatPixelBytes(d3dFormat);
    for (uint32_t i = 0; i < count; ++i) {
        EncodeOne(d3dFormat, rgba + size_t(i) * 4, destination + size_t(i) * bytes);
    }
    return true;
}

size_t D3D9FormatRowBytes(uint32_t format, uint32_t width)
{
    const size_t w = width ? width : 1;
    if (DxtIsFormat(format)) {
        return (w + 3) / 4 * DxtBlockBytes(format);
    }
    return w * (D3D9FormatDescribe(format).depth / 8);
}

uint32_t D3D9FormatRowCount(uint32_t format, uint32_t height)
{
    const uint32_t h = height ? height : 1;
    // In 64 bits: a height near 2^32 must not wrap to a block-row count of 0.
    return DxtIsFormat(format) ? uint32_t((uint64_t{h} + 3) / 4) : h;
}

size_t D3D9FormatLevelBytes(uint32_t format, uint32_t width, uint32_t height)
{
    const size_t rowBytes = D3D9FormatRowBytes(format, width);
    const size_t rows = D3D9FormatRowCount(format, height);
    // Saturates, so that a header with absurd sizes asks for more than any file holds.
    return rows != 0 && rowBytes > SIZE_MAX / rows ? SIZE_MAX : rowBytes * rows;
}

uint32_t D3D9LevelDimension(uint32_t size, uint32_t level)
{
    const uint32_t shifted = level < 32 ? size >> level : 0;
    return shifted ? shifted : 1;
}
