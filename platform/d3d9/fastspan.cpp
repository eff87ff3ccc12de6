// Specialised span routines for the common states: Gouraud colour, one
// bilinear or point-sampled texture (mip-mapped or not), and a second
// texture multiplied over it, into a 32-bit target, with or without depth,
// source-alpha blending and (textured) the alpha test; and the choice
// between them and the general pipeline whenever the state is compiled.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "platform/d3d9/d3d9control.h"

#include "platform/d3d9/bilinear.h"
#include "platform/d3d9/pipeline.h"
#include "platform/d3d9/span.h"

namespace d3d9sw {
namespace {

// A colour channel of 0 to 255 from its value times 255 plus a half: NaN
// (from extreme w) and values below 0 give 0. Clamped before the conversion,
// so that the conversion stays defined; written as selects, so that it
// vectorises.
inline int ToChannel(float f)
{
    return int(f > 0.0f ? (f < 255.0f ? f : 255.0f) : 0.0f);
}

using DepthPassFn = decltype(PixelState::fastDepth);

// Depth pass of a chunk for the fast paths: fills `live`, writes depth
// where it passes and answers how many pixels live. Func 0: no depth buffer.
// The plane is copied and the arrays are restrict-qualified, and the test is
// a select rather than a branch, so that the loop vectorises.
template <DWORD Func, bool Write>
int DepthPass(const Plane& pz, float fx, float fy, int n, float* __restrict depth, uint8_t* __restrict live)
{
    if constexpr (Func == 0) {
        std::memset(live, 1, size_t(n));
        return n;
    } else {
        const float z0 = pz.At(fx, fy), dz = pz.dx;
        int alive = 0;
        for (int i = 0; i < n; ++i) {
            float z = z0 + dz * float(i);
            z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            const float stored = depth[i];
            const bool pass = Compare(Func, z, stored);
            live[i] = uint8_t(pass);
            alive += int(pass);
            if constexpr (Write)
                depth[i] = pass ? z : stored;
        }
        return alive;
    }
}

// Vector widths the routines are built for: SSE2 (the baseline), and on
// x86-64 twins for AVX2 and AVX-512 chosen at run time.
enum VectorTier
{
    kSse2,
    kAvx2,
    kAvx512
};

#if OLAI_SPAN_WIDE
// Each twin inlines its whole routine, so that the compiler vectorises it
// eight or sixteen floats wide. Multiplies and adds are never fused
// (-ffp-contract=off), so every value is the one the SSE2 build computes.
#define OLAI_WIDE_ROUTINE __attribute__((target("avx2"), flatten))
#if defined(__clang__)
#define OLAI_WIDEST_ROUTINE                                                                                  \
    __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512dq"), min_vector_width(512), flatten))
#else
#define OLAI_WIDEST_ROUTINE                                                                                  \
    __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512dq,prefer-vector-width=512"), flatten))
#endif

template <DWORD Func, bool Write>
OLAI_WIDE_ROUTINE int DepthPassWide(const Plane& pz, float fx, float fy, int n, float* depth, uint8_t* live)
{
    return DepthPass<Func, Write>(pz, fx, fy, n, depth, live);
}

template <DWORD Func, bool Write>
OLAI_WIDEST_ROUTINE int DepthPassWidest(const Plane& pz, float fx, float fy, int n, float* depth,
                                        uint8_t* live)
{
    return DepthPass<Func, Write>(pz, fx, fy, n, depth, live);
}

#endif

template <DWORD Func, bool Write> DepthPassFn DepthPassFor(VectorTier tier)
{
#if OLAI_SPAN_WIDE
    if (tier == kAvx512)
        return &DepthPassWidest<Func, Write>;
    if (tier == kAvx2)
        return &DepthPassWide<Func, Write>;
#endif
    (void)tier;
    return &DepthPass<Func, Write>;
}

template <bool Write> DepthPassFn PickDepth(DWORD func, VectorTier tier)
{
    switch (func) {
    case D3DCMP_LESS:
        return DepthPassFor<D3DCMP_LESS, Write>(tier);
    case D3DCMP_LESSEQUAL:
        return DepthPassFor<D3DCMP_LESSEQUAL, Write>(tier);
    case D3DCMP_GREATER:
        return DepthPassFor<D3DCMP_GREATER, Write>(tier);
    case D3DCMP_GREATEREQUAL:
        return DepthPassFor<D3DCMP_GREATEREQUAL, Write>(tier);
    case D3DCMP_EQUAL:
        return DepthPassFor<D3DCMP_EQUAL, Write>(tier);
    case D3DCMP_NOTEQUAL:
        return DepthPassFor<D3DCMP_NOTEQUAL, Write>(tier);
    case D3DCMP_NEVER:
        return DepthPassFor<D3DCMP_NEVER, Write>(tier);
    default:
        return DepthPassFor<D3DCMP_ALWAYS, Write>(tier);
    }
}

// 1/w per pixel of a chunk (constant when the primitive is affine).
inline void ChunkW(const SpanPlanes& pl, float fx, float fy, int n, float* w)
{
    if (!pl.perspective) {
        float c = 1.0f / pl.rhw.a;
        for (int i = 0; i < n; ++i)
            w[i] = c;
        return;
    }
    float r0 = pl.rhw.At(fx, fy);
    for (int i = 0; i < n; ++i)
        w[i] = 1.0f / (r0 + pl.rhw.dx * float(i));
}

// Packed 8-bit lerp of two ARGB words, f in 0..256.
inline uint32_t LerpArgb(uint32_t a, uint32_t b, uint32_t f)
{
    uint32_t g = 256 - f;
    uint32_t rb = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f) >> 8) & 0x00FF00FFu;
    uint32_t ag = (((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f) & 0xFF00FF00u;
    return rb | ag;
}

// src x srcAlpha + dest x (1 - srcAlpha), on all four channels.
inline uint32_t BlendSourceAlpha(uint32_t dest, uint32_t src)
{
    uint32_t a = src >> 24;
    return LerpArgb(dest, src, a + (a >> 7));
}

// Fast path: Gouraud colour only, no blending, fog, alpha test or stencil,
// into a 32-bit target.
void ShadeSpanGouraud(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Surface* rt = ps.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(rt->bits.data() + size_t(y) * rt->pitch);
    float* depth =
        ps.target.depth ? ps.target.depth->depth.data() + size_t(y) * ps.target.depth->width : nullptr;
    const float fy = float(y);
    const Plane* pc = &pl.attr[kAttrDiffuse];
    for (int x = xa; x < xb; x += kFastChunk) {
        const int n = std::min(kFastChunk, xb - x);
        uint8_t live[kFastChunk];
        float w[kFastChunk];
        const float fx = float(x);
        if (!ps.fastDepth(pl.z, fx, fy, n, depth ? depth + x : nullptr, live))
            continue;
        ChunkW(pl, fx, fy, n, w);
        // Colours to packed words in loops the compiler vectorises: vertex
        // colours lie in [0, 1], so an integer clamp catches rounding.
        uint32_t packed[kFastChunk];
        std::fill(packed, packed + n, ps.fastAlphaOne ? 0xFF000000u : 0u);
        for (int k = 0; k < 4; ++k) {
            if (k == 3 && ps.fastAlphaOne)
                break;
            const float v = pc[k].At(fx, fy), dv = pc[k].dx;
            const int shift = k == 3 ? 24 : 16 - 8 * k;
            for (int i = 0; i < n; ++i) {
                const float f = (v + dv * float(i)) * w[i] * 255.0f + 0.5f;
                packed[i] |= uint32_t(ToChannel(f)) << shift;
            }
        }
        uint32_t* __restrict out = row + x;
        if (ps.fastBlend) {
            for (int i = 0; i < n; ++i)
                if (live[i])
                    out[i] = BlendSourceAlpha(out[i], packed[i]);
        } else {
            // A select (every pixel of the chunk rewritten) vectorises.
            for (int i = 0; i < n; ++i)
                out[i] = live[i] ? packed[i] : out[i];
        }
    }
}

// x * y / 255 rounded, for bytes.
inline uint32_t MulByte(uint32_t x, uint32_t y)
{
    uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// A 32-bit level a fast-path stage samples.
struct StageLevel
{
    const uint32_t* texels;
    int tw, th;
};

// Levels SampleTexture reads at most.
constexpr int kMaxSampledLevels = 16;

// The levels a fast-path stage samples, from its first one on: that one
// alone, or with mip-mapping every level down to the last, and what picks
// among them (as SampleTexture picks).
struct StageLevels
{
    StageLevel level[kMaxSampledLevels];
    int count;     // 1 without mip-mapping
    bool pointMip; // the nearest level, rather than a blend of two
    float tu, tv;  // size of the first level in texels
    float lodBias;
};

StageLevels LevelsOf(const StageConfig& st)
{
    const SamplerConfig& smp = st.sampler;
    const int levelCount = int(std::min<UINT>(smp.chain->levels, kMaxSampledLevels));
    const int first = std::min(int(smp.firstLevel), levelCount - 1);
    const bool mip = smp.mipFilter != D3DTEXF_NONE && levelCount - 1 > first;
    StageLevels lv{};
    lv.count = mip ? levelCount - first : 1;
    for (int l = 0; l < lv.count; ++l) {
        Surface* s = smp.chain->Level(0, UINT(first + l));
        lv.level[l] = {s->Argb(smp.palette, smp.paletteStamp), int(s->width), int(s->height)};
    }
    lv.pointMip = smp.mipFilter == D3DTEXF_POINT;
    lv.tu = float(lv.level[0].tw);
    lv.tv = float(lv.level[0].th);
    lv.lodBias = smp.lodBias;
    return lv;
}

// log2(x) for finite x > 0 within 1e-4 (exact at powers of two): the
// exponent, and a polynomial over the mantissa. In selects and bit casts,
// so that the loop around it vectorises.
inline float Log2Approx(float x)
{
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const float exponent = float(int(bits >> 23) - 127);
    const float m = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u) - 1.0f;
    return exponent + m * (1.4390154f + m * (-0.6799503f + m * (0.3256097f + m * -0.0847775f)));
}

// The mip level (counted from the stage's first) of each pixel of a chunk
// and the weight of the level after it (0 to 255; 0 for point mip
// filtering), from the level of detail of SampleTexture: log2 of texels per
// pixel along the screen axis where the coordinates change fastest, plus the
// bias. Magnified pixels take the first level.
void LevelChunk(const StageLevels& lv, const SpanPlanes& pl, const Plane& pu, const Plane& pv, float fx,
                float fy, int n, const float* w, int* level, uint32_t* weight)
{
    if (lv.count == 1) // SampleLevels reads neither then
        return;
    const float u0 = pu.At(fx, fy), v0 = pv.At(fx, fy);
    const float last = float(lv.count - 1);
    const float round = lv.pointMip ? 0.5f : 0.0f;
    for (int i = 0; i < n; ++i) {
        const float u = (u0 + pu.dx * float(i)) * w[i], v = (v0 + pv.dx * float(i)) * w[i];
        const float dudx = (pu.dx - u * pl.rhw.dx) * w[i] * lv.tu,
                    dvdx = (pv.dx - v * pl.rhw.dx) * w[i] * lv.tv;
        const float dudy = (pu.dy - u * pl.rhw.dy) * w[i] * lv.tu,
                    dvdy = (pv.dy - v * pl.rhw.dy) * w[i] * lv.tv;
        const float rho = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
        // rho of 0 or NaN magnifies; infinity takes the last level.
        float l = rho > 0.0f ? 0.5f * Log2Approx(rho) + lv.lodBias : 0.0f;
        l = l > 0.0f ? (l < last ? l : last) : 0.0f;
        const float picked = std::min(l + round, last);
        level[i] = int(picked);
        weight[i] = lv.pointMip ? 0u : uint32_t((l - float(level[i])) * 256.0f);
    }
}

// The coordinates of a chunk's pixels, kept in range for the addressing:
// wrap keeps them where the fixed-point texel coordinates hold them (masks
// wrap those), clamp in [0, 1].
template <bool Wrap>
void CoordChunk(const Plane& pu, const Plane& pv, float fx, float fy, int n, const float* w, float* u,
                float* v)
{
    const float u0 = pu.At(fx, fy), v0 = pv.At(fx, fy);
    constexpr float lo = Wrap ? -1024.0f : 0.0f, hi = Wrap ? 1024.0f : 1.0f;
    for (int i = 0; i < n; ++i) {
        // NaN (from extreme w) goes to the lower end: max(lo, NaN) is lo.
        u[i] = std::min(std::max(lo, (u0 + pu.dx * float(i)) * w[i]), hi);
        v[i] = std::min(std::max(lo, (v0 + pv.dx * float(i)) * w[i]), hi);
    }
}

// Fills `t` for the pixels first..last-1 of a chunk from their coordinates
// in one level, in loops the compiler can vectorise: wrap (power-of-two
// sizes) or clamp addressing.
template <bool Linear, bool Wrap>
void AddressRange(const StageLevel& lv, const float* u, const float* v, int first, int last, ChunkTexels* t)
{
    const int tw = lv.tw, th = lv.th;
    const float fw = float(tw) * 256.0f, fh = float(th) * 256.0f;
    // Texel coordinates in 24.8 fixed point.
    int iu[kFastChunk], iv[kFastChunk];
    const float bias = Linear ? 128.0f : 0.0f;
    for (int i = first; i < last; ++i) {
        iu[i] = int(u[i] * fw - bias);
        iv[i] = int(v[i] * fh - bias);
    }
    for (int i = first; i < last; ++i) {
        int x0 = iu[i] >> 8, y0 = iv[i] >> 8;
        int x1, y1;
        if constexpr (Wrap) {
            x0 &= tw - 1;
            y0 &= th - 1;
            x1 = (x0 + 1) & (tw - 1);
            y1 = (y0 + 1) & (th - 1);
        } else if constexpr (Linear) {
            x1 = std::max(std::min(x0 + 1, tw - 1), 0);
            y1 = std::max(std::min(y0 + 1, th - 1), 0);
            x0 = std::max(x0, 0);
            y0 = std::max(y0, 0);
        } else {
            x0 = x1 = std::min(x0, tw - 1);
            y0 = y1 = std::min(y0, th - 1);
        }
        t->col0[i] = x0;
        t->col1[i] = x1;
        t->row0[i] = y0 * tw;
        t->row1[i] = y1 * tw;
        t->wx[i] = uint32_t(iu[i] & 255);
        t->wy[i] = uint32_t(iv[i] & 255);
    }
}

// The diffuse colours of a chunk as ARGB words. Vertex colours lie in
// [0, 1], so interpolated ones only stray by rounding: an integer clamp
// suffices (and vectorises).
void DiffuseChunk(const Plane* pc, float fx, float fy, int n, const float* w, uint32_t* dc)
{
    int c[4][kFastChunk];
    for (int k = 0; k < 4; ++k) {
        float a0 = pc[k].At(fx, fy);
        for (int i = 0; i < n; ++i) {
            c[k][i] = ToChannel((a0 + pc[k].dx * float(i)) * w[i] * 255.0f + 0.5f);
        }
    }
    for (int i = 0; i < n; ++i)
        dc[i] =
            uint32_t(c[3][i]) << 24 | uint32_t(c[0][i]) << 16 | uint32_t(c[1][i]) << 8 | uint32_t(c[2][i]);
}

// The filtered (or point-sampled) texel of pixel i.
template <bool Linear> uint32_t TexelOf(const uint32_t* texels, const ChunkTexels& t, int i)
{
    if constexpr (Linear) {
        const uint32_t* r0 = texels + t.row0[i];
        const uint32_t* r1 = texels + t.row1[i];
        const uint32_t ax = t.wx[i];
        return LerpArgb(LerpArgb(r0[t.col0[i]], r0[t.col1[i]], ax),
                        LerpArgb(r1[t.col0[i]], r1[t.col1[i]], ax), t.wy[i]);
    } else {
        return texels[t.row0[i] + t.col0[i]];
    }
}

// One stage's samples over a chunk: its coordinates, and the level and
// next-level weight of each pixel.
struct StageChunk
{
    float u[kFastChunk], v[kFastChunk];
    int level[kFastChunk];
    uint32_t weight[kFastChunk];
};

template <bool Wrap>
void StageChunkOf(const StageLevels& lv, const SpanPlanes& pl, const StageConfig& st, float fx, float fy,
                  int n, const float* w, StageChunk* sc)
{
    const Plane& pu = pl.attr[st.coordSlot];
    const Plane& pv = pl.attr[st.coordSlot + 1];
    CoordChunk<Wrap>(pu, pv, fx, fy, n, w, sc->u, sc->v);
    LevelChunk(lv, pl, pu, pv, fx, fy, n, w, sc->level, sc->weight);
}

// Samples every live pixel of a chunk into value[i] through `sample(level,
// first, last, out)`, which writes the live pixels first..last-1 as sampled
// from one level: by runs of pixels on the same level, blending in the next
// level by the pixels' weights where any is above 0.
template <typename Sample>
void SampleLevels(const StageLevels& lv, const StageChunk& sc, const uint8_t* live, int n,
                  const Sample& sample, uint32_t* value)
{
    if (lv.count == 1) { // no mip-mapping: one run, nothing to blend
        sample(lv.level[0], 0, n, value);
        return;
    }
    for (int i = 0; i < n;) {
        const int l = sc.level[i];
        int end = i + 1;
        while (end < n && sc.level[end] == l)
            ++end;
        sample(lv.level[l], i, end, value);
        uint32_t blend = 0;
        for (int k = i; k < end; ++k)
            blend |= sc.weight[k];
        if (blend && l + 1 < lv.count) {
            uint32_t next[kFastChunk];
            sample(lv.level[l + 1], i, end, next);
            for (int k = i; k < end; ++k)
                if (live[k])
                    value[k] = LerpArgb(value[k], next[k], sc.weight[k]);
        }
        i = end;
    }
}

// Point-sampled or filtered texels (as TexelOf) of a stage's live pixels.
template <bool Linear, bool Wrap>
void TexelChunk(const StageLevels& lv, const StageChunk& sc, const uint8_t* live, int n, uint32_t* value)
{
    ChunkTexels t;
    SampleLevels(
        lv, sc, live, n,
        [&](const StageLevel& level, int first, int last, uint32_t* out) {
            AddressRange<Linear, Wrap>(level, sc.u, sc.v, first, last, &t);
            for (int i = first; i < last; ++i)
                if (live[i])
                    out[i] = TexelOf<Linear>(level.texels, t, i);
        },
        value);
}

#if OLAI_SPAN_SSE2
// BilinearModulate of the live pixels first..n-1 of a chunk into value[i].
template <VectorTier Tier>
void FilterRange(const uint32_t* texels, const ChunkTexels& t, const uint32_t* mul, uint32_t alphaOr,
                 const uint8_t* live, int first, int n, uint32_t* value)
{
#if OLAI_SPAN_WIDE
    if constexpr (Tier == kAvx512) {
        FilterSixteens(texels, t, mul, alphaOr, live, first, n, value);
        return;
    }
    if constexpr (Tier == kAvx2) {
        FilterEights(texels, t, mul, alphaOr, live, first, n, value);
        return;
    }
#endif
    FilterPairs(texels, t, mul, alphaOr, live, first, n, value);
}

// Bilinear samples of a stage's live pixels, each channel times the byte of
// `mul` (BilinearModulate), blended between mip levels.
template <bool Wrap, VectorTier Tier>
void FilterChunk(const StageLevels& lv, const StageChunk& sc, const uint32_t* mul, uint32_t alphaOr,
                 const uint8_t* live, int n, uint32_t* value)
{
    ChunkTexels t;
    SampleLevels(
        lv, sc, live, n,
        [&](const StageLevel& level, int first, int last, uint32_t* out) {
            AddressRange<true, Wrap>(level, sc.u, sc.v, first, last, &t);
            FilterRange<Tier>(level.texels, t, mul, alphaOr, live, first, last, out);
        },
        value);
}

#endif

// Writes value[i] where live[i]: as it is, or blended over the target.
inline void PutChunk(const PixelState& ps, const uint8_t* live, const uint32_t* value, int n,
                     uint32_t* __restrict out)
{
    if (ps.fastBlend) {
        for (int i = 0; i < n; ++i)
            if (live[i])
                out[i] = BlendSourceAlpha(out[i], value[i]);
    } else {
        for (int i = 0; i < n; ++i)
            if (live[i])
                out[i] = value[i];
    }
}

// The alpha test of a chunk's shaded values (their alpha byte against the
// reference, as the general pipeline tests it): clears `live` where it
// fails and answers whether any pixel still lives. The depth of the pixels
// that pass is written now, where the state writes it: the depth pass left
// it for after this test.
bool AlphaTestChunk(const PixelState& ps, const Plane& pz, float fx, float fy, int n, const uint32_t* value,
                    uint8_t* live, float* __restrict depth)
{
    const uint32_t ref = uint32_t(ps.alphaRef);
    int alive = 0;
    for (int i = 0; i < n; ++i) {
        live[i] = uint8_t(live[i] && Compare<uint32_t>(ps.alphaFunc, value[i] >> 24, ref));
        alive += live[i];
    }
    if (alive && depth && ps.depthWrite) {
        const float z0 = pz.At(fx, fy), dz = pz.dx;
        for (int i = 0; i < n; ++i) {
            float z = z0 + dz * float(i);
            z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            depth[i] = live[i] ? z : depth[i];
        }
    }
    return alive != 0;
}

// Fast path: one texture stage (texture, or texture times diffuse) sampled
// from 32-bit levels (one, or a mip chain by point or linear mip filter),
// with wrap (power-of-two sizes) or clamp addressing; otherwise as the
// Gouraud path, and with the alpha test.
template <bool Linear, bool Wrap, VectorTier Tier>
void ShadeSpanTextured(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Surface* rt = ps.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(rt->bits.data() + size_t(y) * rt->pitch);
    float* depth =
        ps.target.depth ? ps.target.depth->depth.data() + size_t(y) * ps.target.depth->width : nullptr;
    const StageConfig& st = ps.stages[0];
    const StageLevels levels = LevelsOf(st);
    const float fy = float(y);
    const Plane* pc = &pl.attr[kAttrDiffuse];
    const bool modulate = ps.fastModulate;
    const int alphaMode = ps.fastAlphaMode;
    for (int x = xa; x < xb; x += kFastChunk) {
        const int n = std::min(kFastChunk, xb - x);
        uint8_t live[kFastChunk];
        float w[kFastChunk];
        const float fx = float(x);
        if (!ps.fastDepth(pl.z, fx, fy, n, depth ? depth + x : nullptr, live))
            continue;
        ChunkW(pl, fx, fy, n, w);
        uint32_t dc[kFastChunk];
        if (modulate || alphaMode != 0)
            DiffuseChunk(pc, fx, fy, n, w, dc);
        else
            std::fill(dc, dc + n, 0u);
        StageChunk sc;
        StageChunkOf<Wrap>(levels, pl, st, fx, fy, n, w, &sc);
        uint32_t value[kFastChunk];
        bool filtered = false;
#if OLAI_SPAN_SSE2
        if constexpr (Linear) {
            // Per-channel multipliers of the filtered texel: the diffuse colour
            // where the stage modulates, 255 (unchanged) elsewhere.
            uint32_t mul[kFastChunk];
            const uint32_t keep = (modulate ? 0u : 0x00FFFFFFu) | (alphaMode == 0 ? 0xFF000000u : 0u);
            const uint32_t alphaOr = alphaMode == 2 ? 0xFF000000u : 0u;
            for (int i = 0; i < n; ++i)
                mul[i] = dc[i] | keep;
            FilterChunk<Wrap, Tier>(levels, sc, mul, alphaOr, live, n, value);
            filtered = true;
        }
#endif
        if (!filtered) {
            uint32_t texel[kFastChunk];
            TexelChunk<Linear, Wrap>(levels, sc, live, n, texel);
            for (int i = 0; i < n; ++i) {
                const uint32_t t0 = live[i] ? texel[i] : 0u;
                uint32_t r = (t0 >> 16) & 255, g = (t0 >> 8) & 255, b = t0 & 255, a = t0 >> 24;
                const uint32_t d = dc[i];
                if (modulate) {
                    r = MulByte(r, (d >> 16) & 255);
                    g = MulByte(g, (d >> 8) & 255);
                    b = MulByte(b, d & 255);
                }
                if (alphaMode == 1)
                    a = MulByte(a, d >> 24);
                else if (alphaMode == 2)
                    a = d >> 24;
                value[i] = a << 24 | r << 16 | g << 8 | b;
            }
        }
        if (ps.alphaTest && !AlphaTestChunk(ps, pl.z, fx, fy, n, value, live, depth ? depth + x : nullptr))
            continue;
        PutChunk(ps, live, value, n, row + x);
    }
}

// Fast path: two texture stages, the first as in ShadeSpanTextured with
// texture x diffuse colour, the second modulating the colour by its texture
// and keeping the alpha (a second texture multiplied over a base), both
// filtered alike and addressed alike.
template <bool Linear, bool Wrap, VectorTier Tier>
void ShadeSpanDual(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    Surface* rt = ps.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(rt->bits.data() + size_t(y) * rt->pitch);
    float* depth =
        ps.target.depth ? ps.target.depth->depth.data() + size_t(y) * ps.target.depth->width : nullptr;
    const StageLevels levels[2] = {LevelsOf(ps.stages[0]), LevelsOf(ps.stages[1])};
    const float fy = float(y);
    const Plane* pc = &pl.attr[kAttrDiffuse];
    const int alphaMode = ps.fastAlphaMode;
    for (int x = xa; x < xb; x += kFastChunk) {
        const int n = std::min(kFastChunk, xb - x);
        uint8_t live[kFastChunk];
        float w[kFastChunk];
        const float fx = float(x);
        if (!ps.fastDepth(pl.z, fx, fy, n, depth ? depth + x : nullptr, live))
            continue;
        ChunkW(pl, fx, fy, n, w);
        uint32_t dc[kFastChunk];
        DiffuseChunk(pc, fx, fy, n, w, dc);
        StageChunk sc[2];
        for (int s = 0; s < 2; ++s)
            StageChunkOf<Wrap>(levels[s], pl, ps.stages[s], fx, fy, n, w, &sc[s]);
        uint32_t value[kFastChunk];
        bool filtered = false;
#if OLAI_SPAN_SSE2
        if constexpr (Linear) {
            uint32_t first[kFastChunk];
            uint32_t mul[kFastChunk];
            const uint32_t keep = alphaMode == 0 ? 0xFF000000u : 0u;
            const uint32_t alphaOr = alphaMode == 2 ? 0xFF000000u : 0u;
            for (int i = 0; i < n; ++i)
                mul[i] = dc[i] | keep;
            FilterChunk<Wrap, Tier>(levels[0], sc[0], mul, alphaOr, live, n, first);
            // The second texture's alpha forced to 255 and multiplied by the
            // first stage's: the alpha passes unchanged.
            FilterChunk<Wrap, Tier>(levels[1], sc[1], first, 0xFF000000u, live, n, value);
            filtered = true;
        }
#endif
        if (!filtered) {
            uint32_t texel[2][kFastChunk];
            for (int s = 0; s < 2; ++s)
                TexelChunk<Linear, Wrap>(levels[s], sc[s], live, n, texel[s]);
            for (int i = 0; i < n; ++i) {
                const uint32_t t0 = live[i] ? texel[0][i] : 0u;
                const uint32_t t1 = live[i] ? texel[1][i] : 0u;
                const uint32_t d = dc[i];
                uint32_t a = t0 >> 24;
                if (alphaMode == 1)
                    a = MulByte(a, d >> 24);
                else if (alphaMode == 2)
                    a = d >> 24;
                value[i] = a << 24;
                for (int shift = 0; shift < 24; shift += 8)
                    value[i] |= MulByte(MulByte((t0 >> shift) & 255, (d >> shift) & 255), (t1 >> shift) & 255)
                                << shift;
            }
        }
        if (ps.alphaTest && !AlphaTestChunk(ps, pl.z, fx, fy, n, value, live, depth ? depth + x : nullptr))
            continue;
        PutChunk(ps, live, value, n, row + x);
    }
}

using SpanFn = decltype(PixelState::span);

#if OLAI_SPAN_WIDE
OLAI_WIDE_ROUTINE void ShadeSpanGouraudWide(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    ShadeSpanGouraud(ps, pl, y, xa, xb);
}

OLAI_WIDEST_ROUTINE void ShadeSpanGouraudWidest(const PixelState& ps, const SpanPlanes& pl, int y, int xa,
                                                int xb)
{
    ShadeSpanGouraud(ps, pl, y, xa, xb);
}

template <bool Linear, bool Wrap>
OLAI_WIDE_ROUTINE void ShadeSpanTexturedWide(const PixelState& ps, const SpanPlanes& pl, int y, int xa,
                                             int xb)
{
    ShadeSpanTextured<Linear, Wrap, kAvx2>(ps, pl, y, xa, xb);
}

template <bool Linear, bool Wrap>
OLAI_WIDEST_ROUTINE void ShadeSpanTexturedWidest(const PixelState& ps, const SpanPlanes& pl, int y, int xa,
                                                 int xb)
{
    ShadeSpanTextured<Linear, Wrap, kAvx512>(ps, pl, y, xa, xb);
}

template <bool Linear, bool Wrap>
OLAI_WIDE_ROUTINE void ShadeSpanDualWide(const PixelState& ps, const SpanPlanes& pl, int y, int xa, int xb)
{
    ShadeSpanDual<Linear, Wrap, kAvx2>(ps, pl, y, xa, xb);
}

template <bool Linear, bool Wrap>
OLAI_WIDEST_ROUTINE void ShadeSpanDualWidest(const PixelState& ps, const SpanPlanes& pl, int y, int xa,
                                             int xb)
{
    ShadeSpanDual<Linear, Wrap, kAvx512>(ps, pl, y, xa, xb);
}
#endif

SpanFn GouraudSpan(VectorTier tier)
{
#if OLAI_SPAN_WIDE
    if (tier == kAvx512)
        return &ShadeSpanGouraudWidest;
    if (tier == kAvx2)
        return &ShadeSpanGouraudWide;
#endif
    (void)tier;
    return &ShadeSpanGouraud;
}

template <bool Linear, bool Wrap> SpanFn TexturedSpan(VectorTier tier)
{
#if OLAI_SPAN_WIDE
    if (tier == kAvx512)
        return &ShadeSpanTexturedWidest<Linear, Wrap>;
    if (tier == kAvx2)
        return &ShadeSpanTexturedWide<Linear, Wrap>;
#endif
    (void)tier;
    return &ShadeSpanTextured<Linear, Wrap, kSse2>;
}

template <bool Linear, bool Wrap> SpanFn DualSpan(VectorTier tier)
{
#if OLAI_SPAN_WIDE
    if (tier == kAvx512)
        return &ShadeSpanDualWidest<Linear, Wrap>;
    if (tier == kAvx2)
        return &ShadeSpanDualWide<Linear, Wrap>;
#endif
    (void)tier;
    return &ShadeSpanDual<Linear, Wrap, kSse2>;
}

std::atomic<int> g_vectorBits{0};

// The widest routines this processor runs and D3D9SetVectorBits allows.
VectorTier TierInUse()
{
#if OLAI_SPAN_WIDE
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") &&
                               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
                               __builtin_cpu_supports("avx512dq");
    const int bits = g_vectorBits.load(std::memory_order_relaxed);
    if (avx512 && (bits <= 0 || bits >= 512))
        return kAvx512;
    if (avx2 && (bits <= 0 || bits >= 256))
        return kAvx2;
#endif
    return kSse2;
}

// True when the stages reduce to "the diffuse colour".
bool StagesAreDiffuse(const PixelState& ps, bool* alphaOne)
{
    *alphaOne = false;
    if (ps.stageCount == 0)
        return true;
    if (ps.stageCount > 1)
        return false;
    const StageConfig& st = ps.stages[0];
    if (st.sampler.chain || st.resultArg == D3DTA_TEMP)
        return false;
    auto isDiffuseOrWhite = [](DWORD a) {
        return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT || a == D3DTA_TEXTURE; // no texture: white
    };
    auto colourIsDiffuse = [&](DWORD op, DWORD a1, DWORD a2) {
        if (op == D3DTOP_SELECTARG1)
            return a1 == D3DTA_DIFFUSE || a1 == D3DTA_CURRENT;
        if (op == D3DTOP_SELECTARG2)
            return a2 == D3DTA_DIFFUSE || a2 == D3DTA_CURRENT;
        if (op == D3DTOP_MODULATE)
            return isDiffuseOrWhite(a1) && isDiffuseOrWhite(a2) &&
                   (a1 == D3DTA_TEXTURE || a2 == D3DTA_TEXTURE);
        return false;
    };
    bool colour = colourIsDiffuse(st.colorOp, st.colorArg1, st.colorArg2);
    bool alpha = st.alphaOp == D3DTOP_DISABLE || colourIsDiffuse(st.alphaOp, st.alphaArg1, st.alphaArg2) ||
                 (st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE);
    *alphaOne = st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE;
    return colour && alpha;
}

// Colour and alpha of a single stage 0 that samples a texture: colour
// TEXTURE or TEXTURE x DIFFUSE; alpha TEXTURE (0), TEXTURE x DIFFUSE (1) or
// DIFFUSE (2).
bool StageIsSimpleTexture(const StageConfig& st, bool* modulate, int* alphaMode)
{
    auto diffuse = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    if (st.resultArg == D3DTA_TEMP || st.projected || st.coordCount < 2)
        return false;
    if (st.colorOp == D3DTOP_SELECTARG1 && st.colorArg1 == D3DTA_TEXTURE)
        *modulate = false;
    else if (st.colorOp == D3DTOP_MODULATE && ((st.colorArg1 == D3DTA_TEXTURE && diffuse(st.colorArg2)) ||
                                               (st.colorArg2 == D3DTA_TEXTURE && diffuse(st.colorArg1))))
        *modulate = true;
    else
        return false;
    if (st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_TEXTURE)
        *alphaMode = 0;
    else if (st.alphaOp == D3DTOP_MODULATE && ((st.alphaArg1 == D3DTA_TEXTURE && diffuse(st.alphaArg2)) ||
                                               (st.alphaArg2 == D3DTA_TEXTURE && diffuse(st.alphaArg1))))
        *alphaMode = 1;
    else if (st.alphaOp == D3DTOP_DISABLE || (st.alphaOp == D3DTOP_SELECTARG1 && diffuse(st.alphaArg1)) ||
             (st.alphaOp == D3DTOP_SELECTARG2 && diffuse(st.alphaArg2)))
        *alphaMode = 2;
    else
        return false;
    return true;
}

// The second stage of the dual fast path: colour TEXTURE x CURRENT, alpha
// CURRENT.
bool StageModulatesCurrent(const StageConfig& st)
{
    if (st.resultArg == D3DTA_TEMP || st.projected || st.coordCount < 2 || st.colorOp != D3DTOP_MODULATE)
        return false;
    const bool colour = (st.colorArg1 == D3DTA_TEXTURE && st.colorArg2 == D3DTA_CURRENT) ||
                        (st.colorArg2 == D3DTA_TEXTURE && st.colorArg1 == D3DTA_CURRENT);
    const bool alpha = (st.alphaOp == D3DTOP_SELECTARG2 && st.alphaArg2 == D3DTA_CURRENT) ||
                       (st.alphaOp == D3DTOP_SELECTARG1 && st.alphaArg1 == D3DTA_CURRENT);
    return colour && alpha;
}

// How a stage's sampler reads for the textured fast paths: `ok` when it
// does at all (32-bit decodable levels, one filter for magnification and
// minification, wrap on power-of-two sizes or clamp; mip-mapped or not).
struct FastSampling
{
    bool ok, linear, wrap;
};

FastSampling SamplingOf(const SamplerConfig& smp)
{
    if (!smp.chain || smp.cube || (smp.magFilter >= D3DTEXF_LINEAR) != (smp.minFilter >= D3DTEXF_LINEAR))
        return {};
    // Every level shares the format; sizes halve, so a power-of-two first
    // level has power-of-two levels after it.
    const Surface* level = smp.chain->Level(0, std::min(smp.firstLevel, smp.chain->levels - 1));
    if (!level->info.decodable || level->info.signedBump || level->info.depth)
        return {};
    const bool pow2 = (level->width & (level->width - 1)) == 0 && (level->height & (level->height - 1)) == 0;
    const bool wrap = smp.addressU == D3DTADDRESS_WRAP && smp.addressV == D3DTADDRESS_WRAP && pow2;
    const bool clamp = smp.addressU == D3DTADDRESS_CLAMP && smp.addressV == D3DTADDRESS_CLAMP;
    return {wrap || clamp, smp.magFilter >= D3DTEXF_LINEAR, wrap};
}

} // namespace

void PixelStateFinish(PixelState* ps)
{
    // Attributes to interpolate: diffuse always, specular when added or an
    // argument, fog when per vertex, coordinates of every active stage.
    ps->needSpecular = ps->specularAdd || ps->pixelShader;
    for (int s = 0; s < ps->stageCount; ++s) {
        const StageConfig& st = ps->stages[s];
        for (DWORD arg : {st.colorArg0, st.colorArg1, st.colorArg2, st.alphaArg0, st.alphaArg1, st.alphaArg2})
            ps->needSpecular |= (arg & D3DTA_SELECTMASK) == D3DTA_SPECULAR;
    }
    ps->usedCount = 0;
    for (int k = 0; k < 4; ++k)
        ps->usedAttr[ps->usedCount++] = kAttrDiffuse + k;
    if (ps->needSpecular)
        for (int k = 0; k < 4; ++k)
            ps->usedAttr[ps->usedCount++] = kAttrSpecular + k;
    if (ps->fog && ps->fogTableMode == D3DFOG_NONE)
        ps->usedAttr[ps->usedCount++] = kAttrFog;
    // Coordinates up to the last stage that reads its own: one that samples a
    // texture or follows a bump-mapping stage (a pixel shader reads all of its
    // stages'). Vertex processing and clipping carry no more than these.
    if (!ps->pixelShader) {
        int reading = 0;
        for (int s = 0; s < ps->stageCount; ++s) {
            const DWORD before = s > 0 ? ps->stages[s - 1].colorOp : DWORD(D3DTOP_DISABLE);
            if (ps->stages[s].sampler.chain || before == D3DTOP_BUMPENVMAP ||
                before == D3DTOP_BUMPENVMAPLUMINANCE)
                reading = s + 1;
        }
        ps->attrCount = kAttrTex + 4 * reading;
    }
    for (int k = kAttrTex; k < ps->attrCount; ++k)
        ps->usedAttr[ps->usedCount++] = k;

    ps->span = &ShadeSpanGeneral;
    if (ps->pixelShader)
        return;
    Surface* rt = ps->target.color;
    if (!rt || (rt->format != D3DFMT_A8R8G8B8 && rt->format != D3DFMT_X8R8G8B8))
        return;
    // The one blend the fast paths do: source alpha over the target.
    ps->fastBlend = ps->blend && !ps->separateAlpha && ps->blendOp == D3DBLENDOP_ADD &&
                    ((ps->srcBlend == D3DBLEND_SRCALPHA && ps->destBlend == D3DBLEND_INVSRCALPHA) ||
                     ps->srcBlend == D3DBLEND_BOTHSRCALPHA);
    if ((ps->blend && !ps->fastBlend) || ps->fog || ps->stencil || ps->specularAdd ||
        ps->colorWriteMask != 0xF)
        return;
    const bool test = ps->target.depth && ps->depthTest;
    // With the alpha test the textured paths write depth after it.
    const bool write = ps->target.depth && ps->depthWrite && !ps->alphaTest;
    const VectorTier tier = TierInUse();
    if (!test && !write)
        ps->fastDepth = &DepthPass<0, false>;
    else
        ps->fastDepth = write ? PickDepth<true>(test ? ps->depthFunc : DWORD(D3DCMP_ALWAYS), tier)
                              : PickDepth<false>(ps->depthFunc, tier);
    if (StagesAreDiffuse(*ps, &ps->fastAlphaOne)) {
        if (!ps->alphaTest)
            ps->span = GouraudSpan(tier);
        return;
    }
    if (ps->stageCount != 1 && ps->stageCount != 2)
        return;
    const FastSampling first = SamplingOf(ps->stages[0].sampler);
    if (!first.ok || !StageIsSimpleTexture(ps->stages[0], &ps->fastModulate, &ps->fastAlphaMode))
        return;
    const bool linear = first.linear, wrap = first.wrap;
    if (ps->stageCount == 2) {
        // A second texture multiplied over the first, both sampled alike.
        const FastSampling second = SamplingOf(ps->stages[1].sampler);
        if (!second.ok || second.linear != linear || second.wrap != wrap || !ps->fastModulate ||
            !StageModulatesCurrent(ps->stages[1]))
            return;
        if (wrap)
            ps->span = linear ? DualSpan<true, true>(tier) : DualSpan<false, true>(tier);
        else
            ps->span = linear ? DualSpan<true, false>(tier) : DualSpan<false, false>(tier);
        return;
    }
    if (wrap)
        ps->span = linear ? TexturedSpan<true, true>(tier) : TexturedSpan<false, true>(tier);
    else
        ps->span = linear ? TexturedSpan<true, false>(tier) : TexturedSpan<false, false>(tier);
}

} // namespace d3d9sw

void D3D9SetVectorBits(int bits)
{
    d3d9sw::g_vectorBits.store(bits, std::memory_order_relaxed);
}
