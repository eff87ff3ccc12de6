#include "platform/d3d9/format.h"

#include <cstring>

namespace d3d9sw {

FormatInfo FormatGetInfo(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8:
        return {4, false, false, false, true, false, true};
    case D3DFMT_X8R8G8B8:
        return {4, false, false, false, false, false, true};
    case D3DFMT_A8B8G8R8:
        return {4, false, false, false, true, false, true};
    case D3DFMT_X8B8G8R8:
        return {4, false, false, false, false, false, true};
    case D3DFMT_A2R10G10B10:
        return {4, false, false, false, true, false, true};
    case D3DFMT_A2B10G10R10:
        return {4, false, false, false, true, false, true};
    case D3DFMT_R8G8B8:
        return {3, false, false, false, false, false, true};
    case D3DFMT_R5G6B5:
        return {2, false, false, false, false, false, true};
    case D3DFMT_X1R5G5B5:
        return {2, false, false, false, false, false, true};
    case D3DFMT_A1R5G5B5:
        return {2, false, false, false, true, false, true};
    case D3DFMT_A4R4G4B4:
        return {2, false, false, false, true, false, true};
    case D3DFMT_X4R4G4B4:
        return {2, false, false, false, false, false, true};
    case D3DFMT_A8R3G3B2:
        return {2, false, false, false, true, false, true};
    case D3DFMT_R3G3B2:
        return {1, false, false, false, false, false, true};
    case D3DFMT_A8:
        return {1, false, false, false, true, false, true};
    case D3DFMT_L8:
        return {1, false, false, false, false, false, true};
    case D3DFMT_A8L8:
        return {2, false, false, false, true, false, true};
    case D3DFMT_A4L4:
        return {1, false, false, false, true, false, true};
    case D3DFMT_L16:
        return {2, false, false, false, false, false, true};
    case D3DFMT_P8:
        return {1, false, false, false, true, false, true};
    case D3DFMT_A8P8:
        return {2, false, false, false, true, false, true};
    case D3DFMT_V8U8:
        return {2, false, false, false, false, true, true};
    case D3DFMT_L6V5U5:
        return {2, false, false, false, false, true, true};
    case D3DFMT_X8L8V8U8:
        return {4, false, false, false, false, true, true};
    case D3DFMT_Q8W8V8U8:
        return {4, false, false, false, false, true, true};
    case D3DFMT_D16_LOCKABLE:
        return {2, false, true, false, false, false, false};
    case D3DFMT_D16:
        return {2, false, true, false, false, false, false};
    case D3DFMT_D15S1:
        return {2, false, true, true, false, false, false};
    case D3DFMT_D32:
        return {4, false, true, false, false, false, false};
    case D3DFMT_D24S8:
        return {4, false, true, true, false, false, false};
    case D3DFMT_D24X8:
        return {4, false, true, false, false, false, false};
    case D3DFMT_D24X4S4:
        return {4, false, true, true, false, false, false};
    case D3DFMT_D32F_LOCKABLE:
        return {4, false, true, false, false, false, false};
    case D3DFMT_D24FS8:
        return {4, false, true, true, false, false, false};
    case D3DFMT_DXT1:
        return {8, true, false, false, true, false, false};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {16, true, false, false, true, false, false};
    default:
        return {0, false, false, false, false, false, false};
    }
}

bool FormatIsRenderTarget(D3DFORMAT f)
{
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A2R10G10B10:
        return true;
    default:
        return false;
    }
}

size_t FormatPitch(D3DFORMAT format, UINT width)
{
    FormatInfo info = FormatGetInfo(format);
    if (info.block)
        return size_t((width + 3) / 4) * info.bytesPerPixel;
    return size_t(width) * info.bytesPerPixel;
}

UINT FormatRows(D3DFORMAT format, UINT height)
{
    return FormatGetInfo(format).block ? (height + 3) / 4 : height;
}

namespace {

inline uint32_t Expand(uint32_t v, int bits)
{
    // Replicates the top bits so that the largest value maps to 255.
    switch (bits) {
    case 1:
        return v ? 255 : 0;
    case 2:
        return v * 85;
    case 3:
        return (v << 5) | (v << 2) | (v >> 1);
    case 4:
        return v * 17;
    case 5:
        return (v << 3) | (v >> 2);
    case 6:
        return (v << 2) | (v >> 4);
    default:
        return v;
    }
}

inline uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    return a << 24 | r << 16 | g << 8 | b;
}

inline uint32_t Quant(uint32_t v8, int bits)
{
    return (v8 * ((1u << bits) - 1) + 127) / 255;
}

inline uint16_t Load16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Load32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Store16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

void DecodeRow(D3DFORMAT format, const uint8_t* s, uint32_t* d, UINT n, const uint32_t* palette)
{
    switch (format) {
    case D3DFMT_A8R8G8B8:
        std::memcpy(d, s, size_t(n) * 4);
        return;
    case D3DFMT_X8R8G8B8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Load32(s + 4 * i) | 0xFF000000u;
        return;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = Load32(s + 4 * i);
            uint32_t a = format == D3DFMT_X8B8G8R8 ? 255 : v >> 24;
            d[i] = Pack(a, v & 255, (v >> 8) & 255, (v >> 16) & 255);
        }
        return;
    case D3DFMT_A2R10G10B10:
    case D3DFMT_A2B10G10R10:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = Load32(s + 4 * i);
            uint32_t c0 = ((v >> 20) & 1023) >> 2, c1 = ((v >> 10) & 1023) >> 2, c2 = (v & 1023) >> 2;
            uint32_t a = Expand(v >> 30, 2);
            d[i] = format == D3DFMT_A2R10G10B10 ? Pack(a, c0, c1, c2) : Pack(a, c2, c1, c0);
        }
        return;
    case D3DFMT_R8G8B8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Pack(255, s[3 * i + 2], s[3 * i + 1], s[3 * i]);
        return;
    case D3DFMT_R5G6B5:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = Load16(s + 2 * i);
            d[i] = Pack(255, Expand(v >> 11, 5), Expand((v >> 5) & 63, 6), Expand(v & 31, 5));
        }
        return;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = Load16(s + 2 * i);
            uint32_t a = format == D3DFMT_A1R5G5B5 ? Expand(v >> 15, 1) : 255;
            d[i] = Pack(a, Expand((v >> 10) & 31, 5), Expand((v >> 5) & 31, 5), Expand(v & 31, 5));
        }
        return;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = Load16(s + 2 * i);
            uint32_t a = format == D3DFMT_A4R4G4B4 ? Expand(v >> 12, 4) : 255;
            d[i] = Pack(a, Expand((v >> 8) & 15, 4), Expand((v >> 4) & 15, 4), Expand(v & 15, 4));
        }
        return;
    case D3DFMT_A8R3G3B2:
    case D3DFMT_R3G3B2:
        for (UINT i = 0; i < n; ++i) {
            uint32_t v = format == D3DFMT_R3G3B2 ? s[i] : Load16(s + 2 * i);
            uint32_t a = format == D3DFMT_R3G3B2 ? 255 : v >> 8;
            d[i] = Pack(a, Expand((v >> 5) & 7, 3), Expand((v >> 2) & 7, 3), Expand(v & 3, 2));
        }
        return;
    case D3DFMT_A8:
        for (UINT i = 0; i < n; ++i)
            d[i] = uint32_t(s[i]) << 24;
        return;
    case D3DFMT_L8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Pack(255, s[i], s[i], s[i]);
        return;
    case D3DFMT_L16:
        for (UINT i = 0; i < n; ++i) {
            uint32_t l = s[2 * i + 1];
            d[i] = Pack(255, l, l, l);
        }
        return;
    case D3DFMT_A8L8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Pack(s[2 * i + 1], s[2 * i], s[2 * i], s[2 * i]);
        return;
    case D3DFMT_A4L4:
        for (UINT i = 0; i < n; ++i) {
            uint32_t l = Expand(s[i] & 15, 4);
            d[i] = Pack(Expand(s[i] >> 4, 4), l, l, l);
        }
        return;
    case D3DFMT_P8:
        for (UINT i = 0; i < n; ++i)
            d[i] = palette ? palette[s[i]] : Pack(255, s[i], s[i], s[i]);
        return;
    case D3DFMT_A8P8:
        for (UINT i = 0; i < n; ++i) {
            uint32_t c = palette ? palette[s[2 * i]] : 0;
            d[i] = (c & 0xFFFFFFu) | uint32_t(s[2 * i + 1]) << 24;
        }
        return;
    case D3DFMT_V8U8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Pack(255, 255, s[2 * i + 1] ^ 0x80u, s[2 * i] ^ 0x80u);
        return;
    case D3DFMT_L6V5U5:
        for (UINT i = 0; i < n; ++i) {
            // 5-bit signed U and V widened to signed bytes; 6-bit L to 0..255.
            uint32_t v = Load16(s + 2 * i);
            int u5 = int(v & 31), v5 = int((v >> 5) & 31);
            if (u5 >= 16)
                u5 -= 32;
            if (v5 >= 16)
                v5 -= 32;
            d[i] = Pack(255, Expand(v >> 10, 6), uint8_t(v5 * 8 + 128), uint8_t(u5 * 8 + 128));
        }
        return;
    case D3DFMT_X8L8V8U8:
    case D3DFMT_Q8W8V8U8:
        for (UINT i = 0; i < n; ++i)
            d[i] = Pack(255, s[4 * i + 2], s[4 * i + 1] ^ 0x80u, s[4 * i] ^ 0x80u);
        return;
    default:
        std::memset(d, 0, size_t(n) * 4);
        return;
    }
}

void EncodeRow(D3DFORMAT format, const uint32_t* s, uint8_t* d, UINT n)
{
    for (UINT i = 0; i < n; ++i) {
        uint32_t c = s[i];
        uint32_t a = c >> 24, r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
        switch (format) {
        case D3DFMT_A8R8G8B8:
        case D3DFMT_X8R8G8B8:
            Store32(d + 4 * i, c);
            break;
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8:
            Store32(d + 4 * i, Pack(a, b, g, r));
            break;
        case D3DFMT_A2R10G10B10:
            Store32(d + 4 * i, Quant(a, 2) << 30 | (r * 1023 + 127) / 255 << 20 |
                                   (g * 1023 + 127) / 255 << 10 | (b * 1023 + 127) / 255);
            break;
        case D3DFMT_A2B10G10R10:
            Store32(d + 4 * i, Quant(a, 2) << 30 | (b * 1023 + 127) / 255 << 20 |
                                   (g * 1023 + 127) / 255 << 10 | (r * 1023 + 127) / 255);
            break;
        case D3DFMT_R8G8B8:
            d[3 * i] = uint8_t(b);
            d[3 * i + 1] = uint8_t(g);
            d[3 * i + 2] = uint8_t(r);
            break;
        case D3DFMT_R5G6B5:
            Store16(d + 2 * i, Quant(r, 5) << 11 | Quant(g, 6) << 5 | Quant(b, 5));
            break;
        case D3DFMT_X1R5G5B5:
        case D3DFMT_A1R5G5B5:
            Store16(d + 2 * i, (format == D3DFMT_X1R5G5B5 ? 1u : (a >= 128 ? 1u : 0u)) << 15 |
                                   Quant(r, 5) << 10 | Quant(g, 5) << 5 | Quant(b, 5));
            break;
        case D3DFMT_A4R4G4B4:
        case D3DFMT_X4R4G4B4:
            Store16(d + 2 * i, (format == D3DFMT_X4R4G4B4 ? 15u : Quant(a, 4)) << 12 | Quant(r, 4) << 8 |
                                   Quant(g, 4) << 4 | Quant(b, 4));
            break;
        case D3DFMT_A8R3G3B2:
            Store16(d + 2 * i, a << 8 | Quant(r, 3) << 5 | Quant(g, 3) << 2 | Quant(b, 2));
            break;
        case D3DFMT_R3G3B2:
            d[i] = uint8_t(Quant(r, 3) << 5 | Quant(g, 3) << 2 | Quant(b, 2));
            break;
        case D3DFMT_A8:
            d[i] = uint8_t(a);
            break;
        case D3DFMT_L8:
            d[i] = uint8_t((r * 77 + g * 150 + b * 29 + 128) >> 8);
            break;
        case D3DFMT_A8L8:
            d[2 * i] = uint8_t((r * 77 + g * 150 + b * 29 + 128) >> 8);
            d[2 * i + 1] = uint8_t(a);
            break;
        case D3DFMT_A4L4:
            d[i] = uint8_t(Quant(a, 4) << 4 | Quant((r * 77 + g * 150 + b * 29 + 128) >> 8, 4));
            break;
        case D3DFMT_L16:
            Store16(d + 2 * i, ((r * 77 + g * 150 + b * 29 + 128) >> 8) * 257);
            break;
        case D3DFMT_V8U8:
            d[2 * i] = uint8_t(b ^ 0x80u);
            d[2 * i + 1] = uint8_t(g ^ 0x80u);
            break;
        case D3DFMT_X8L8V8U8:
        case D3DFMT_Q8W8V8U8:
            Store32(d + 4 * i,
                    (format == D3DFMT_Q8W8V8U8 ? a << 24 : 0) | r << 16 | (g ^ 0x80u) << 8 | (b ^ 0x80u));
            break;
        default:
            break;
        }
    }
}

namespace {

void Rgb565(uint32_t v, uint32_t out[3])
{
    out[0] = Expand(v >> 11, 5);
    out[1] = Expand((v >> 5) & 63, 6);
    out[2] = Expand(v & 31, 5);
}

// Colour part of a DXT block: two 565 end points and 2-bit indices.
void DecodeColourBlock(const uint8_t* b, bool dxt1, uint32_t out[16])
{
    uint32_t c0 = Load16(b), c1 = Load16(b + 2);
    uint32_t p[4][4];
    Rgb565(c0, p[0]);
    Rgb565(c1, p[1]);
    p[0][3] = p[1][3] = 255;
    bool four = !dxt1 || c0 > c1;
    for (int k = 0; k < 3; ++k) {
        if (four) {
            p[2][k] = (2 * p[0][k] + p[1][k] + 1) / 3;
            p[3][k] = (p[0][k] + 2 * p[1][k] + 1) / 3;
        } else {
            p[2][k] = (p[0][k] + p[1][k]) / 2;
            p[3][k] = 0;
        }
    }
    p[2][3] = 255;
    p[3][3] = four ? 255 : 0;
    uint32_t bits = Load32(b + 4);
    for (int i = 0; i < 16; ++i) {
        const uint32_t* c = p[(bits >> (2 * i)) & 3];
        out[i] = Pack(c[3], c[0], c[1], c[2]);
    }
}

} // namespace

void DecodeDxt(D3DFORMAT format, const uint8_t* blocks, UINT width, UINT height, uint32_t* dst)
{
    const bool dxt1 = format == D3DFMT_DXT1;
    const size_t blockBytes = dxt1 ? 8 : 16;
    const UINT bw = (width + 3) / 4, bh = (height + 3) / 4;
    for (UINT by = 0; by < bh; ++by) {
        for (UINT bx = 0; bx < bw; ++bx) {
            const uint8_t* b = blocks + (size_t(by) * bw + bx) * blockBytes;
            uint32_t texel[16];
            DecodeColourBlock(dxt1 ? b : b + 8, dxt1, texel);
            if (format == D3DFMT_DXT2 || format == D3DFMT_DXT3) {
                for (int i = 0; i < 16; ++i) {
                    uint32_t a = (b[i / 2] >> ((i & 1) * 4)) & 15;
                    texel[i] = (texel[i] & 0xFFFFFFu) | Expand(a, 4) << 24;
                }
            } else if (format == D3DFMT_DXT4 || format == D3DFMT_DXT5) {
                uint32_t a[8] = {b[0], b[1]};
                if (a[0] > a[1]) {
                    for (int k = 1; k < 7; ++k)
                        a[k + 1] = ((7 - k) * a[0] + k * a[1] + 3) / 7;
                } else {
                    for (int k = 1; k < 5; ++k)
                        a[k + 1] = ((5 - k) * a[0] + k * a[1] + 2) / 5;
                    a[6] = 0;
                    a[7] = 255;
                }
                uint64_t bits = 0;
                for (int k = 0; k < 6; ++k)
                    bits |= uint64_t(b[2 + k]) << (8 * k);
                for (int i = 0; i < 16; ++i)
                    texel[i] = (texel[i] & 0xFFFFFFu) | a[(bits >> (3 * i)) & 7] << 24;
            }
            for (int i = 0; i < 16; ++i) {
                UINT x = bx * 4 + i % 4, y = by * 4 + i / 4;
                if (x < width && y < height)
                    dst[size_t(y) * width + x] = texel[i];
            }
        }
    }
}

} // namespace d3d9sw
