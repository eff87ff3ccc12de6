// Texture sampling: addressing, point and linear filtering, mip selection
// and cube-map faces.
#include <algorithm>
#include <cmath>

#include "platform/d3d9/pipeline.h"

namespace d3d9sw {
namespace {

constexpr float kInv255 = 1.0f / 255.0f;

// Maps an integer texel coordinate into [0, size) by the address mode;
// -1 means "border colour".
inline int Address(int i, int size, DWORD mode)
{
    switch (mode) {
    case D3DTADDRESS_WRAP: {
        int m = i % size;
        return m < 0 ? m + size : m;
    }
    case D3DTADDRESS_MIRROR: {
        int period = 2 * size;
        int m = i % period;
        if (m < 0)
            m += period;
        return m < size ? m : period - 1 - m;
    }
    case D3DTADDRESS_MIRRORONCE: {
        int m = i < 0 ? -i - 1 : i;
        return std::min(m, size - 1);
    }
    case D3DTADDRESS_BORDER:
        return (i < 0 || i >= size) ? -1 : i;
    default:
        return std::clamp(i, 0, size - 1);
    }
}

struct Level
{
    const uint32_t* texels;
    int width, height;
};

inline uint32_t Fetch(const Level& l, int x, int y, DWORD au, DWORD av, uint32_t border)
{
    int ax = Address(x, l.width, au), ay = Address(y, l.height, av);
    if (ax < 0 || ay < 0)
        return border;
    return l.texels[size_t(ay) * l.width + ax];
}

inline void Unpack(uint32_t c, float out[4])
{
    out[0] = float((c >> 16) & 255) * kInv255;
    out[1] = float((c >> 8) & 255) * kInv255;
    out[2] = float(c & 255) * kInv255;
    out[3] = float(c >> 24) * kInv255;
}

// A texel coordinate kept well inside int range (NaN, from extreme w, at
// the lower end), so that turning it into an index stays defined.
inline float ClampTexel(float f)
{
    return f > -1e8f ? (f < 1e8f ? f : 1e8f) : -1e8f;
}

// One filtered sample of a level at normalised (u, v): r, g, b, a.
void SampleLevel(const Level& l, float u, float v, bool linear, DWORD au, DWORD av, uint32_t border,
                 float out[4])
{
    float fu = u * float(l.width), fv = v * float(l.height);
    if (!linear) {
        fu = ClampTexel(fu);
        fv = ClampTexel(fv);
        Unpack(Fetch(l, int(std::floor(fu)), int(std::floor(fv)), au, av, border), out);
        return;
    }
    fu = ClampTexel(fu - 0.5f);
    fv = ClampTexel(fv - 0.5f);
    float x0f = std::floor(fu), y0f = std::floor(fv);
    float ax = fu - x0f, ay = fv - y0f;
    int x0 = int(x0f), y0 = int(y0f);
    float c[4][4];
    Unpack(Fetch(l, x0, y0, au, av, border), c[0]);
    Unpack(Fetch(l, x0 + 1, y0, au, av, border), c[1]);
    Unpack(Fetch(l, x0, y0 + 1, au, av, border), c[2]);
    Unpack(Fetch(l, x0 + 1, y0 + 1, au, av, border), c[3]);
    for (int k = 0; k < 4; ++k) {
        float top = c[0][k] + (c[1][k] - c[0][k]) * ax;
        float bottom = c[2][k] + (c[3][k] - c[2][k]) * ax;
        out[k] = top + (bottom - top) * ay;
    }
}

// Cube-map face and face coordinates of a direction (the Direct3D face
// orientation table).
int CubeFace(float x, float y, float z, float* s, float* t)
{
    float ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    int face;
    float sc, tc, ma;
    if (ax >= ay && ax >= az) {
        ma = ax;
        if (x >= 0) {
            face = 0;
            sc = -z;
            tc = -y;
        } else {
            face = 1;
            sc = z;
            tc = -y;
        }
    } else if (ay >= az) {
        ma = ay;
        if (y >= 0) {
            face = 2;
            sc = x;
            tc = z;
        } else {
            face = 3;
            sc = x;
            tc = -z;
        }
    } else {
        ma = az;
        if (z >= 0) {
            face = 4;
            sc = x;
            tc = -y;
        } else {
            face = 5;
            sc = -x;
            tc = -y;
        }
    }
    if (ma <= 0)
        ma = 1;
    *s = (sc / ma + 1) * 0.5f;
    *t = (tc / ma + 1) * 0.5f;
    return face;
}

} // namespace

void SampleTexture(const SamplerConfig& smp, int n, const float* u, const float* v, const float* w,
                   const float* lod, float* out[4])
{
    if (!smp.chain) {
        for (int k = 0; k < 4; ++k)
            std::fill(out[k], out[k] + n, 1.0f);
        return;
    }
    const MipChain& chain = *smp.chain;
    const UINT levelCount = std::min<UINT>(chain.levels, 16);
    // Levels are decoded (when their format needs it) on first use only.
    auto levelOf = [&](int face, int l) {
        Surface* s = chain.Level(UINT(face), UINT(l));
        return Level{s->Argb(smp.palette, smp.paletteStamp), int(s->width), int(s->height)};
    };
    const int first = int(std::min<UINT>(smp.firstLevel, levelCount - 1));
    const int last = int(levelCount) - 1;
    const bool mip = smp.mipFilter != D3DTEXF_NONE && last > first;
    DWORD au = smp.addressU, av = smp.addressV;
    if (smp.cube)
        au = av = D3DTADDRESS_CLAMP;
    for (int i = 0; i < n; ++i) {
        float su = u[i], sv = v[i];
        int face = 0;
        if (smp.cube)
            face = CubeFace(u[i], v[i], w[i], &su, &sv);
        float l = lod[i] + smp.lodBias;
        bool magnify = !(l > 0.0f);
        bool linear = (magnify ? smp.magFilter : smp.minFilter) >= D3DTEXF_LINEAR;
        float c[4];
        if (!mip || magnify) {
            SampleLevel(levelOf(face, first), su, sv, linear, au, av, smp.border, c);
        } else {
            float level = std::min(float(first) + l, float(last));
            if (smp.mipFilter == D3DTEXF_POINT) {
                int li = std::min(last, int(std::floor(level + 0.5f)));
                SampleLevel(levelOf(face, li), su, sv, linear, au, av, smp.border, c);
            } else {
                int l0 = int(std::floor(level));
                int l1 = std::min(last, l0 + 1);
                float f = level - float(l0);
                float c1[4];
                SampleLevel(levelOf(face, l0), su, sv, linear, au, av, smp.border, c);
                SampleLevel(levelOf(face, l1), su, sv, linear, au, av, smp.border, c1);
                for (int k = 0; k < 4; ++k)
                    c[k] += (c1[k] - c[k]) * f;
            }
        }
        for (int k = 0; k < 4; ++k)
            out[k][i] = c[k];
    }
}

} // namespace d3d9sw
