// Vertex declarations, FVF codes and element fetching.
#include <cstring>

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {

UINT DeclTypeSize(BYTE type)
{
    static const uint8_t kSizes[17] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};
    return type < 17 ? kSizes[type] : 0;
}

namespace {

float HalfToFloat(uint16_t h)
{
    uint32_t sign = uint32_t(h >> 15) << 31, exp = (h >> 10) & 31, mant = h & 1023;
    uint32_t bits;
    if (exp == 0) {
        if (mant == 0) {
            bits = sign;
        } else { // subnormal: normalise
            exp = 1;
            while (!(mant & 1024)) {
                mant <<= 1;
                --exp;
            }
            mant &= 1023;
            bits = sign | (exp + 112) << 23 | mant << 13;
        }
    } else if (exp == 31) {
        bits = sign | 0x7F800000u | mant << 13;
    } else {
        bits = sign | (exp + 112) << 23 | mant << 13;
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

template <class T> T Load(const uint8_t* p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

} // namespace

void FetchElement(BYTE type, const uint8_t* p, float o[4])
{
    o[0] = o[1] = o[2] = 0.0f;
    o[3] = 1.0f;
    switch (type) {
    case D3DDECLTYPE_FLOAT4:
        o[3] = Load<float>(p + 12);
        [[fallthrough]];
    case D3DDECLTYPE_FLOAT3:
        o[2] = Load<float>(p + 8);
        [[fallthrough]];
    case D3DDECLTYPE_FLOAT2:
        o[1] = Load<float>(p + 4);
        [[fallthrough]];
    case D3DDECLTYPE_FLOAT1:
        o[0] = Load<float>(p);
        break;
    case D3DDECLTYPE_D3DCOLOR: // bytes B, G, R, A in memory -> (R, G, B, A)
        o[0] = p[2] / 255.0f;
        o[1] = p[1] / 255.0f;
        o[2] = p[0] / 255.0f;
        o[3] = p[3] / 255.0f;
        break;
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            o[i] = p[i];
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            o[i] = p[i] / 255.0f;
        break;
    case D3DDECLTYPE_SHORT2:
        o[0] = Load<int16_t>(p);
        o[1] = Load<int16_t>(p + 2);
        break;
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < 4; ++i)
            o[i] = Load<int16_t>(p + 2 * i);
        break;
    case D3DDECLTYPE_SHORT2N:
        o[0] = Load<int16_t>(p) / 32767.0f;
        o[1] = Load<int16_t>(p + 2) / 32767.0f;
        break;
    case D3DDECLTYPE_SHORT4N:
        for (int i = 0; i < 4; ++i)
            o[i] = Load<int16_t>(p + 2 * i) / 32767.0f;
        break;
    case D3DDECLTYPE_USHORT2N:
        o[0] = Load<uint16_t>(p) / 65535.0f;
        o[1] = Load<uint16_t>(p + 2) / 65535.0f;
        break;
    case D3DDECLTYPE_USHORT4N:
        for (int i = 0; i < 4; ++i)
            o[i] = Load<uint16_t>(p + 2 * i) / 65535.0f;
        break;
    case D3DDECLTYPE_UDEC3: {
        uint32_t v = Load<uint32_t>(p);
        o[0] = float(v & 1023);
        o[1] = float((v >> 10) & 1023);
        o[2] = float((v >> 20) & 1023);
        break;
    }
    case D3DDECLTYPE_DEC3N: {
        uint32_t v = Load<uint32_t>(p);
        for (int i = 0; i < 3; ++i) {
            int f = int((v >> (10 * i)) & 1023);
            if (f >= 512)
                f -= 1024;
            o[i] = float(f) / 511.0f;
        }
        break;
    }
    case D3DDECLTYPE_FLOAT16_2:
        o[0] = HalfToFloat(Load<uint16_t>(p));
        o[1] = HalfToFloat(Load<uint16_t>(p + 2));
        break;
    case D3DDECLTYPE_FLOAT16_4:
        for (int i = 0; i < 4; ++i)
            o[i] = HalfToFloat(Load<uint16_t>(p + 2 * i));
        break;
    default:
        break;
    }
}

namespace {

int Components(BYTE type)
{
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
        return 1;
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_FLOAT16_2:
        return 2;
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_UDEC3:
    case D3DDECLTYPE_DEC3N:
        return 3;
    default:
        return 4;
    }
}

} // namespace

InputLayout LayoutFromElements(const D3DVERTEXELEMENT9* e, size_t count)
{
    InputLayout layout;
    for (size_t i = 0; i < count; ++i) {
        if (e[i].Stream == 0xFF || e[i].Type == D3DDECLTYPE_UNUSED)
            break;
        layout.elements.push_back({e[i].Stream, e[i].Offset, e[i].Type, e[i].Usage, e[i].UsageIndex});
        switch (e[i].Usage) {
        case D3DDECLUSAGE_POSITIONT:
            layout.positionT = true;
            break;
        case D3DDECLUSAGE_NORMAL:
            if (e[i].UsageIndex == 0)
                layout.hasNormal = true;
            break;
        case D3DDECLUSAGE_COLOR:
            if (e[i].UsageIndex == 0)
                layout.hasDiffuse = true;
            if (e[i].UsageIndex == 1)
                layout.hasSpecular = true;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            if (e[i].UsageIndex < 8)
                layout.texComponents[e[i].UsageIndex] = uint8_t(Components(e[i].Type));
            break;
        case D3DDECLUSAGE_BLENDWEIGHT:
            layout.blendWeights = Components(e[i].Type);
            break;
        default:
            break;
        }
    }
    return layout;
}

bool ElementsFromFvf(DWORD fvf, std::vector<D3DVERTEXELEMENT9>* out)
{
    out->clear();
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out->push_back({0, offset, type, 0, usage, index});
        offset = WORD(offset + DeclTypeSize(type));
    };
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    switch (position) {
    case 0:
        break;
    case D3DFVF_XYZ:
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        break;
    case D3DFVF_XYZRHW:
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
        break;
    case D3DFVF_XYZW:
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
        break;
    default: {
        if (position < D3DFVF_XYZB1 || position > D3DFVF_XYZB5)
            return false;
        int betas = int(position - D3DFVF_XYZ) / 2;
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        bool lastIndices = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
        int weights = lastIndices ? betas - 1 : betas;
        if (weights > 0)
            add(BYTE(D3DDECLTYPE_FLOAT1 + weights - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
        if (lastIndices)
            add(fvf & D3DFVF_LASTBETA_UBYTE4 ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                D3DDECLUSAGE_BLENDINDICES, 0);
        break;
    }
    }
    if (fvf & D3DFVF_NORMAL)
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE)
        add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    DWORD texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > 8)
        return false;
    for (DWORD i = 0; i < texCount; ++i) {
        static const BYTE kTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                       D3DDECLTYPE_FLOAT1};
        add(kTypes[(fvf >> (16 + 2 * i)) & 3], D3DDECLUSAGE_TEXCOORD, BYTE(i));
    }
    out->push_back(D3DDECL_END());
    return true;
}

} // namespace d3d9sw
