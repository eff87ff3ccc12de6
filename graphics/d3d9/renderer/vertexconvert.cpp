#include "graphics/d3d9/renderer/vertexconvert.h"

#include <cmath>
#include <cstring>

#include "graphics/d3d9/d3d9device.h"

namespace {

constexpr uint32_t kTypeSizes[17] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
constexpr uint32_t kMaxElements = 64;

bool gDeclTypesOverridden = false;
uint32_t gDeclTypes = 0;

// Nearest integer, ties to even, through 64 bits so that any float is defined:
// NaN and values beyond the 64-bit range give 0. Callers keep the low bits.
int64_t Nearest(float v)
{
    const double r = std::nearbyint(static_cast<double>(v));
    if (!(r > -9.2233720368547758e18 && r < 9.2233720368547758e18)) {
        return 0;
    }
    return static_cast<int64_t>(r);
}

void Put8(uint8_t* p, int64_t v)
{
    p[0] = static_cast<uint8_t>(v);
}
void Put16(uint8_t* p, int64_t v)
{
    const uint16_t w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
}
void Put32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}
void PutFloat(uint8_t* p, float v)
{
    std::memcpy(p, &v, 4);
}

uint32_t Pack1010(int64_t x, int64_t y, int64_t z)
{
    return (static_cast<uint32_t>(x) & 0x3FF) | ((static_cast<uint32_t>(y) & 0x3FF) << 10) |
           ((static_cast<uint32_t>(z) & 0x3FF) << 20);
}

// One element of `type` from four components already in the type's space
// (c[3] is the fourth component: the unit 1.0, or a fourth skin weight).
void WriteElement(uint32_t type, uint8_t* d, const float c[4])
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        for (uint32_t i = 0; i <= type; ++i) {
            PutFloat(d + 4 * i, c[i]);
        }
        break;
    case D3DDECLTYPE_D3DCOLOR: // memory order blue, green, red, alpha
        Put8(d + 0, Nearest(c[2] * 255.0f));
        Put8(d + 1, Nearest(c[1] * 255.0f));
        Put8(d + 2, Nearest(c[0] * 255.0f));
        Put8(d + 3, Nearest(c[3] * 255.0f));
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i) {
            Put8(d + i, Nearest(c[i]));
        }
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++i) {
            Put16(d + 2 * i, Nearest(c[i]));
        }
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i) {
            Put8(d + i, Nearest(c[i] * 255.0f));
        }
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2N ? 2 : 4); ++i) {
            Put16(d + 2 * i, Nearest(c[i] * 32767.0f));
        }
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        for (int i = 0; i < (type == D3DDECLTYPE_USHORT2N ? 2 : 4); ++i) {
            Put16(d + 2 * i, Nearest(c[i] * 65535.0f));
        }
        break;
    case D3DDECLTYPE_UDEC3:
        Put32(d, Pack1010(Nearest(c[0]), Nearest(c[1]), Nearest(c[2])));
        break;
    case D3DDECLTYPE_DEC3N:
        Put32(d, Pack1010(Nearest(c[0] * 511.0f), Nearest(c[1] * 511.0f), Nearest(c[2] * 511.0f)));
        break;
    default: // FLOAT16_2 and FLOAT16_4 are sized but never written
        break;
    }
}

// The loop shared by the converters: `fetch(i, c)` fills the components of
// vertex i; the element writer is chosen once per call, outside the loop.
template <typename Fetch>
uint32_t ConvertLoop(uint32_t type, void* dst, int32_t count, uint32_t stride, Fetch fetch)
{
    const uint32_t size = VertexElementTypeSize(type);
    if (count < 1 || type > D3DDECLTYPE_DEC3N) {
        return size;
    }
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i, d += stride) {
        float c[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        fetch(i, c);
        WriteElement(type, d, c);
    }
    return size;
}

bool IsNormalised(uint32_t type)
{
    return type == D3DDECLTYPE_D3DCOLOR || (type >= D3DDECLTYPE_UBYTE4N && type <= D3DDECLTYPE_USHORT4N) ||
           type == D3DDECLTYPE_DEC3N;
}

float NormalisedMaximum(uint32_t type)
{
    switch (type) {
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        return 32767.0f;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        return 65535.0f;
    case D3DDECLTYPE_DEC3N:
        return 511.0f;
    default:
        return 255.0f;
    }
}

// Bone indices or remapped bytes, types 4 to 7 only.
template <typename Map>
uint32_t WriteIndexBytes(uint32_t type, void* dst, const uint8_t* src, int32_t count, uint32_t stride,
                         Map map)
{
    const uint32_t size = VertexElementTypeSize(type);
    if (count < 1 || type < D3DDECLTYPE_D3DCOLOR || type > D3DDECLTYPE_SHORT4) {
        return size;
    }
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i, d += stride, src += 4) {
        const uint8_t b[4] = {map(src[0]), map(src[1]), map(src[2]), map(src[3])};
        switch (type) {
        case D3DDECLTYPE_D3DCOLOR: // index 0 red, 1 green, 2 blue, 3 alpha
            d[0] = b[2];
            d[1] = b[1];
            d[2] = b[0];
            d[3] = b[3];
            break;
        case D3DDECLTYPE_UBYTE4:
            std::memcpy(d, b, 4);
            break;
        default:
            for (int k = 0; k < (type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++k) {
                Put16(d + 2 * k, b[k]);
            }
            break;
        }
    }
    return size;
}

int64_t Get16s(const uint8_t* p)
{
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
int64_t Get16u(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Up to four components of one element back as floats (normalised types scaled).
void ReadElement(uint32_t type, float* out, const void* element, int components)
{
    const uint8_t* p = static_cast<const uint8_t*>(element);
    float c[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(c, p, 4 * (type + 1));
        break;
    case D3DDECLTYPE_D3DCOLOR:
        c[0] = p[2] * 0.003921569f;
        c[1] = p[1] * 0.003921569f;
        c[2] = p[0] * 0.003921569f;
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 3; ++i) {
            c[i] = p[i];
        }
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2 ? 2 : 3); ++i) {
            c[i] = static_cast<float>(Get16s(p + 2 * i));
        }
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 3; ++i) {
            c[i] = p[i] * 0.003921569f;
        }
        break;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        for (int i = 0; i < (type == D3DDECLTYPE_SHORT2N ? 2 : 3); ++i) {
            c[i] = static_cast<float>(Get16s(p + 2 * i)) * 3.051851e-5f;
        }
        break;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        for (int i = 0; i < (type == D3DDECLTYPE_USHORT2N ? 2 : 3); ++i) {
            c[i] = static_cast<float>(Get16u(p + 2 * i)) * 1.5259022e-5f;
        }
        break;
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N: {
        uint32_t w;
        std::memcpy(&w, p, 4);
        for (int i = 0; i < 3; ++i) {
            const uint32_t field = (w >> (10 * i)) & 0x3FF;
            if (type == D3DDECLTYPE_UDEC3) {
                c[i] = static_cast<float>(field);
            } else {
                const int32_t s =
                    (field & 0x200) ? static_cast<int32_t>(field) - 0x400 : static_cast<int32_t>(field);
                c[i] = static_cast<float>(s) * 0.0019569471f;
            }
        }
        break;
    }
    default:
        break;
    }
    std::memcpy(out, c, sizeof(float) * components);
}

void MinMax(const float* values, int32_t count, int n, float* mn, float* mx)
{
    for (int k = 0; k < n; ++k) {
        mn[k] = count > 0 ? values[k] : 0.0f;
        mx[k] = mn[k];
    }
    for (int32_t i = 1; i < count; ++i) {
        for (int k = 0; k < n; ++k) {
            const float v = values[i * n + k];
            mn[k] = v < mn[k] ? v : mn[k];
            mx[k] = v > mx[k] ? v : mx[k];
        }
    }
}

} // namespace

uint32_t VertexElementTypeSize(uint32_t type)
{
    return type < 17 ? kTypeSizes[type] : 0;
}

uint32_t VertexDeclarationSize(const D3DVERTEXELEMENT9* elements, uint32_t* endIndex)
{
    uint32_t size = 0;
    uint32_t i = 0;
    for (; i < kMaxElements && elements[i].Type != D3DDECLTYPE_UNUSED; ++i) {
        size += VertexElementTypeSize(elements[i].Type);
    }
    if (endIndex) {
        *endIndex = i;
    }
    return size;
}

uint32_t VertexConvert3(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride)
{
    if (type == D3DDECLTYPE_FLOAT3 && stride == 12 && count > 0) {
        std::memcpy(dst, src, 12 * static_cast<size_t>(count));
        return 12;
    }
    return ConvertLoop(type, dst, count, stride,
                       [src](int32_t i, float* c) { std::memcpy(c, src + 3 * i, 3 * sizeof(float)); });
}

uint32_t VertexConvert2(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride)
{
    return ConvertLoop(type, dst, count, stride,
                       [src](int32_t i, float* c) { std::memcpy(c, src + 2 * i, 2 * sizeof(float)); });
}

uint32_t VertexConvertLerp3(uint32_t type, void* dst, const float* a, const float* b, float factor,
                            int32_t count, uint32_t stride)
{
    if (IsNormalised(type)) {
        // The writer scales by the type's maximum again; pre-scaling by it
        // and dividing back keeps the weighted sum of the two sources.
        const float m = NormalisedMaximum(type);
        const float fa = (1.0f - factor) * m;
        const float fb = factor * m;
        return ConvertLoop(type, dst, count, stride, [=](int32_t i, float* c) {
            for (int k = 0; k < 3; ++k) {
                c[k] = (a[3 * i + k] * fa + b[3 * i + k] * fb) / m;
            }
        });
    }
    return ConvertLoop(type, dst, count, stride, [=](int32_t i, float* c) {
        for (int k = 0; k < 3; ++k) {
            c[k] = a[3 * i + k] + (b[3 * i + k] - a[3 * i + k]) * factor;
        }
    });
}

uint32_t VertexConvertPackedNormals(uint32_t type, void* dst, const int8_t* src, int32_t count,
                                    uint32_t stride)
{
    return ConvertLoop(type, dst, count, stride, [src](int32_t i, float* c) {
        for (int k = 0; k < 3; ++k) {
            c[k] = static_cast<float>(src[4 * i + k]) * 0.0078125f;
        }
    });
}

uint32_t VertexConvert(uint32_t type, void* dst, const float* src, int32_t count, uint32_t stride)
{
    const uint32_t size = VertexElementTypeSize(type);
    if (count < 1) {
        return size;
    }
    uint8_t* d = static_cast<uint8_t*>(dst);
    switch (type) {
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4N:
        // The first weight takes what the rounding of the others leaves, so
        // the four bytes always sum to 255.
        for (int32_t i = 0; i < count; ++i, d += stride) {
            const float* w = src + 4 * i;
            uint8_t b[4] = {255, 0, 0, 0};
            if (!(w[0] >= 1.0f)) {
                for (int k = 1; k < 4; ++k) {
                    b[k] = static_cast<uint8_t>(Nearest(w[k] * 255.0f));
                }
                b[0] = static_cast<uint8_t>(255 - b[1] - b[2] - b[3]);
            }
            if (type == D3DDECLTYPE_D3DCOLOR) {
                const uint8_t colour[4] = {b[2], b[1], b[0], b[3]};
                std::memcpy(d, colour, 4);
            } else {
                std::memcpy(d, b, 4);
            }
        }
        return size;
    case D3DDECLTYPE_SHORT4N:
    case D3DDECLTYPE_USHORT4N: {
        const float unit = type == D3DDECLTYPE_SHORT4N ? 32767.0f : 65535.0f;
        for (int32_t i = 0; i < count; ++i, d += stride) {
            const float* w = src + 4 * i;
            int64_t s[4];
            s[1] = Nearest(w[1] * unit);
            s[2] = Nearest(w[2] * unit);
            s[3] = Nearest(w[3] * unit);
            s[0] = static_cast<int64_t>(unit) - s[1] - s[2] - s[3];
            for (int k = 0; k < 4; ++k) {
                Put16(d + 2 * k, s[k]);
            }
        }
        return size;
    }
    default:
        return ConvertLoop(type, dst, count, stride,
                           [src](int32_t i, float* c) { std::memcpy(c, src + 4 * i, 4 * sizeof(float)); });
    }
}

uint32_t VertexConvertIndices(uint32_t type, void* dst, const uint8_t* src, int32_t count, uint32_t stride)
{
    return WriteIndexBytes(type, dst, src, count, stride, [](uint8_t b) { return b; });
}

uint32_t VertexConvertBytes(uint32_t type, void* dst, const uint8_t* src, const uint8_t* remap, int32_t count,
                            uint32_t stride)
{
    return WriteIndexBytes(type, dst, src, count, stride, [remap](uint8_t b) { return remap[b]; });
}

uint32_t VertexColorsWrite(void* dst, const uint8_t* rgba, int32_t count, uint32_t stride)
{
    uint32_t translucent = 0;
    uint8_t* d = static_cast<uint8_t*>(dst);
    for (int32_t i = 0; i < count; ++i, d += stride, rgba += 4) {
        Put32(d, (uint32_t{rgba[3]} << 24) | (uint32_t{rgba[0]} << 16) | (uint32_t{rgba[1]} << 8) | rgba[2]);
        translucent |= rgba[3] < 255 ? 1u : 0u;
    }
    return translucent;
}

void VertexConvertBack(uint32_t type, float* out, const void* element)
{
    ReadElement(type, out, element, 2);
}

void VertexConvertBack3(uint32_t type, float* out, const void* element)
{
    ReadElement(type, out, element, 3);
}

void VertexRangeMinMax3(const float* values, int32_t count, float* min3, float* max3)
{
    MinMax(values, count, 3, min3, max3);
}

void VertexRangeMinMax2(const float* values, int32_t count, float* min2, float* max2)
{
    MinMax(values, count, 2, min2, max2);
}

uint32_t VertexRangeFitsCompressed3(const float* values, int32_t count)
{
    float mn[3], mx[3];
    VertexRangeMinMax3(values, count, mn, mx);
    const uint32_t caps = VertexDeclTypesGet();
    if (mx[0] > 1.0f || mx[1] > 1.0f || mx[2] > 1.0f) {
        return D3DDECLTYPE_FLOAT3;
    }
    if (mn[0] >= 0.0f && mn[1] >= 0.0f && mn[2] >= 0.0f) {
        return (caps & 0x80) ? D3DDECLTYPE_DEC3N : (caps & 0x20) ? D3DDECLTYPE_USHORT4N : D3DDECLTYPE_FLOAT3;
    }
    if (mn[0] >= -1.0f && mn[1] >= -1.0f && mn[2] >= -1.0f) {
        return (caps & 0x80) ? D3DDECLTYPE_DEC3N : (caps & 0x08) ? D3DDECLTYPE_SHORT4N : D3DDECLTYPE_FLOAT3;
    }
    return D3DDECLTYPE_FLOAT3;
}

uint32_t VertexRangeFitsCompressed(const float* values, int32_t count)
{
    float mn[2], mx[2];
    VertexRangeMinMax2(values, count, mn, mx);
    const uint32_t caps = VertexDeclTypesGet();
    if (mx[0] > 1.0f || mx[1] > 1.0f) {
        return D3DDECLTYPE_FLOAT2;
    }
    if (mn[0] >= 0.0f && mn[1] >= 0.0f) {
        return (caps & 0x10)   ? D3DDECLTYPE_USHORT2N
               : (caps & 0x80) ? D3DDECLTYPE_DEC3N
                               : D3DDECLTYPE_D3DCOLOR;
    }
    if (mn[0] >= -1.0f && mn[1] >= -1.0f) {
        return (caps & 0x04) ? D3DDECLTYPE_SHORT2N : (caps & 0x80) ? D3DDECLTYPE_DEC3N : D3DDECLTYPE_FLOAT2;
    }
    return D3DDECLTYPE_FLOAT2;
}

uint32_t VertexDeclTypesGet()
{
    if (gDeclTypesOverridden) {
        return gDeclTypes;
    }
    const D3DCAPS9* caps = D3D9GetCaps();
    return caps ? caps->DeclTypes : 0;
}

void VertexDeclTypesSet(uint32_t declTypes)
{
    gDeclTypes = declTypes;
    gDeclTypesOverridden = true;
}

void VertexDeclTypesReset()
{
    gDeclTypesOverridden = false;
    gDeclTypes = 0;
}
