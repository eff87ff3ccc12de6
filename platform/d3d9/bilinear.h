// Bilinear filtering of the fast span paths: the texel addresses of a chunk
// and the filter times a per-pixel multiplier, in SSE2 two pixels at a time
// and, for the AVX2 and AVX-512 twins, eight and sixteen at a time. Every
// width computes the same bytes.
#pragma once

#include <cstdint>

#include "platform/d3d9/span.h"

#if OLAI_SPAN_SSE2
#include <emmintrin.h>
#endif
#if OLAI_SPAN_WIDE
#include <immintrin.h>
#endif

namespace d3d9sw {

// Pixels the fast paths work on at once (their arrays live on the stack):
// twice the general pipeline's chunk, as their per-pixel state is small and
// each chunk has set-up work of its own.
constexpr int kFastChunk = 2 * kChunk;

// Texel addresses (row offsets and columns) and filter weights of one
// stage for the pixels of a chunk.
struct ChunkTexels
{
    int row0[kFastChunk], row1[kFastChunk], col0[kFastChunk], col1[kFastChunk];
    uint32_t wx[kFastChunk], wy[kFastChunk];
};

#if OLAI_SPAN_SSE2
// Bilinear filter of four ARGB texels (weights ax, ay in 0..255), then each channel times the byte of `mul` /
// 255; `alphaOr` forces the filtered alpha to 255 first (so that the multiplier replaces it).
inline uint32_t BilinearModulate(uint32_t t00, uint32_t t01, uint32_t t10, uint32_t t11, uint32_t ax,
                                 uint32_t ay, uint32_t mul, uint32_t alphaOr)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i top =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t00)), _mm_cvtsi32_si128(int(t01))), zero);
    __m128i bot =
        _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(t10)), _mm_cvtsi32_si128(int(t11))), zero);
    // a * (256 - w) + b * w stays below 65281: exact in unsigned 16-bit lanes.
    const __m128i wy = _mm_set1_epi16(short(ay)), iy = _mm_set1_epi16(short(256 - ay));
    const __m128i wx = _mm_set1_epi16(short(ax)), ix = _mm_set1_epi16(short(256 - ax));
    __m128i v = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(top, iy), _mm_mullo_epi16(bot, wy)), 8);
    __m128i right = _mm_unpackhi_epi64(v, v);
    __m128i h = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, ix), _mm_mullo_epi16(right, wx)), 8);
    h = _mm_or_si128(h, _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(alphaOr)), zero));
    __m128i m = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(mul)), zero);
    __m128i p = _mm_add_epi16(_mm_mullo_epi16(h, m), _mm_set1_epi16(128));
    p = _mm_srli_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), 8);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(p, p)));
}

// The same filter for two pixels at once, both sharing each register: the
// vertical step of each pixel fills a register of its own, the horizontal
// step and the multiplier work on both. t holds the four texels (top-left,
// top-right, bottom-left, bottom-right) of the first pixel, then of the
// second; the results come back in one 64-bit word, the first pixel low.
// Every lane computes what BilinearModulate computes.
inline uint64_t BilinearModulate2(const uint32_t* t, const uint32_t* ax, const uint32_t* ay,
                                  const uint32_t* mul, uint32_t alphaOr)
{
    const __m128i zero = _mm_setzero_si128();
    auto pair = [&](uint32_t a, uint32_t b) {
        return _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(int(a)), _mm_cvtsi32_si128(int(b))),
                                 zero);
    };
    auto vertical = [&](const uint32_t* q, uint32_t w) {
        const __m128i wy = _mm_set1_epi16(short(w)), iy = _mm_set1_epi16(short(256 - w));
        return _mm_srli_epi16(
            _mm_add_epi16(_mm_mullo_epi16(pair(q[0], q[1]), iy), _mm_mullo_epi16(pair(q[2], q[3]), wy)), 8);
    };
    const __m128i v0 = vertical(t, ay[0]), v1 = vertical(t + 4, ay[1]);
    const __m128i left = _mm_unpacklo_epi64(v0, v1), right = _mm_unpackhi_epi64(v0, v1);
    const __m128i wx = _mm_unpacklo_epi64(_mm_set1_epi16(short(ax[0])), _mm_set1_epi16(short(ax[1])));
    const __m128i ix =
        _mm_unpacklo_epi64(_mm_set1_epi16(short(256 - ax[0])), _mm_set1_epi16(short(256 - ax[1])));
    __m128i h = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(left, ix), _mm_mullo_epi16(right, wx)), 8);
    h = _mm_or_si128(h, _mm_unpacklo_epi8(_mm_set1_epi32(int(alphaOr)), zero));
    const __m128i m = _mm_unpacklo_epi8(
        _mm_unpacklo_epi32(_mm_cvtsi32_si128(int(mul[0])), _mm_cvtsi32_si128(int(mul[1]))), zero);
    __m128i p = _mm_add_epi16(_mm_mullo_epi16(h, m), _mm_set1_epi16(128));
    p = _mm_srli_epi16(_mm_add_epi16(p, _mm_srli_epi16(p, 8)), 8);
    return uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(p, p)));
}

// BilinearModulate of the pixels first..n-1 of a chunk, two at a time, into
// value[i] where live[i] (pairs with no live pixel are skipped).
inline void FilterPairs(const uint32_t* texels, const ChunkTexels& t, const uint32_t* mul, uint32_t alphaOr,
                        const uint8_t* live, int first, int n, uint32_t* value)
{
    auto texelsOf = [&](int i, uint32_t* q) {
        q[0] = texels[t.row0[i] + t.col0[i]];
        q[1] = texels[t.row0[i] + t.col1[i]];
        q[2] = texels[t.row1[i] + t.col0[i]];
        q[3] = texels[t.row1[i] + t.col1[i]];
    };
    int i = first;
    for (; i + 1 < n; i += 2) {
        if (!(live[i] | live[i + 1]))
            continue;
        uint32_t q[8];
        texelsOf(i, q);
        texelsOf(i + 1, q + 4);
        const uint64_t both = BilinearModulate2(q, t.wx + i, t.wy + i, mul + i, alphaOr);
        value[i] = uint32_t(both);
        value[i + 1] = uint32_t(both >> 32);
    }
    if (i < n && live[i]) {
        uint32_t q[4];
        texelsOf(i, q);
        value[i] = BilinearModulate(q[0], q[1], q[2], q[3], t.wx[i], t.wy[i], mul[i], alphaOr);
    }
}

#if OLAI_SPAN_WIDE
#define OLAI_AVX2 __attribute__((target("avx2")))

OLAI_AVX2 inline __m256i Load8(const void* p)
{
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// A weight of 0..255 per 32-bit lane into both of its 16-bit halves.
OLAI_AVX2 inline __m256i Weight8(const uint32_t* w)
{
    const __m256i v = Load8(w);
    return _mm256_or_si256(v, _mm256_slli_epi32(v, 16));
}

// (a * (256 - w) + b * w) >> 8 per 16-bit lane (below 65281: exact).
OLAI_AVX2 inline __m256i Lerp16(__m256i a, __m256i b, __m256i w)
{
    const __m256i inverse = _mm256_sub_epi16(_mm256_set1_epi16(256), w);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, inverse), _mm256_mullo_epi16(b, w)), 8);
}

// x * m / 255 rounded per 16-bit lane, as MulByte.
OLAI_AVX2 inline __m256i Modulate16(__m256i x, __m256i m)
{
    const __m256i p = _mm256_add_epi16(_mm256_mullo_epi16(x, m), _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(p, _mm256_srli_epi16(p, 8)), 8);
}

// BilinearModulate of eight pixels, one per 32-bit lane: their four texels,
// the filter weights in both 16-bit halves of each lane and the multipliers.
// Red and blue sit in the 16-bit halves of one register, green and alpha in
// those of another, so that every 16-bit lane computes what the lane of its
// channel in BilinearModulate computes. alphaAg (0x00FF0000 or 0 per lane)
// forces the filtered alpha.
OLAI_AVX2 inline __m256i FilterModulate(__m256i t00, __m256i t01, __m256i t10, __m256i t11, __m256i wx,
                                        __m256i wy, __m256i mul, __m256i alphaAg)
{
    const __m256i low = _mm256_set1_epi32(0x00FF00FF);
    const __m256i rb = Lerp16(Lerp16(_mm256_and_si256(t00, low), _mm256_and_si256(t10, low), wy),
                              Lerp16(_mm256_and_si256(t01, low), _mm256_and_si256(t11, low), wy), wx);
    const __m256i ag = Lerp16(Lerp16(_mm256_srli_epi16(t00, 8), _mm256_srli_epi16(t10, 8), wy),
                              Lerp16(_mm256_srli_epi16(t01, 8), _mm256_srli_epi16(t11, 8), wy), wx);
    return _mm256_or_si256(
        Modulate16(rb, _mm256_and_si256(mul, low)),
        _mm256_slli_epi16(Modulate16(_mm256_or_si256(ag, alphaAg), _mm256_srli_epi16(mul, 8)), 8));
}

// FilterPairs of the pixels first..n-1 eight at a time in AVX2 registers
// (whole groups of eight are filtered whether live or not; the rest go by
// pairs), the texels gathered.
OLAI_AVX2 inline void FilterEights(const uint32_t* texels, const ChunkTexels& t, const uint32_t* mul,
                                   uint32_t alphaOr, const uint8_t* live, int first, int n, uint32_t* value)
{
    const __m256i alphaAg = _mm256_set1_epi32(int((alphaOr >> 8) & 0x00FF00FFu));
    const int* base = reinterpret_cast<const int*>(texels);
    int i = first;
    for (; i + 8 <= n; i += 8) {
        const __m256i row0 = Load8(t.row0 + i), row1 = Load8(t.row1 + i);
        const __m256i col0 = Load8(t.col0 + i), col1 = Load8(t.col1 + i);
        const __m256i t00 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row0, col0), 4);
        const __m256i t01 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row0, col1), 4);
        const __m256i t10 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row1, col0), 4);
        const __m256i t11 = _mm256_i32gather_epi32(base, _mm256_add_epi32(row1, col1), 4);
        const __m256i out =
            FilterModulate(t00, t01, t10, t11, Weight8(t.wx + i), Weight8(t.wy + i), Load8(mul + i), alphaAg);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(value + i), out);
    }
    FilterPairs(texels, t, mul, alphaOr, live, i, n, value);
}

#define OLAI_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512dq")))

// GCC's AVX-512 intrinsics start from deliberately undefined registers,
// which its uninitialised-use warning would report here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The AVX-512 forms of the helpers above: sixteen pixels per register.
OLAI_AVX512 inline __m512i Load16(const void* p)
{
    return _mm512_loadu_si512(p);
}

// The texels at index (all sixteen lanes; the masked form, as the plain one
// starts from an undefined register that compilers warn about).
OLAI_AVX512 inline __m512i Gather16(const uint32_t* texels, __m512i index)
{
    return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), __mmask16(0xFFFF), index, texels, 4);
}

OLAI_AVX512 inline __m512i Weight16(const uint32_t* w)
{
    const __m512i v = Load16(w);
    return _mm512_or_si512(v, _mm512_slli_epi32(v, 16));
}

OLAI_AVX512 inline __m512i Lerp16(__m512i a, __m512i b, __m512i w)
{
    const __m512i inverse = _mm512_sub_epi16(_mm512_set1_epi16(256), w);
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(a, inverse), _mm512_mullo_epi16(b, w)), 8);
}

OLAI_AVX512 inline __m512i Modulate16(__m512i x, __m512i m)
{
    const __m512i p = _mm512_add_epi16(_mm512_mullo_epi16(x, m), _mm512_set1_epi16(128));
    return _mm512_srli_epi16(_mm512_add_epi16(p, _mm512_srli_epi16(p, 8)), 8);
}

OLAI_AVX512 inline __m512i FilterModulate(__m512i t00, __m512i t01, __m512i t10, __m512i t11, __m512i wx,
                                          __m512i wy, __m512i mul, __m512i alphaAg)
{
    const __m512i low = _mm512_set1_epi32(0x00FF00FF);
    const __m512i rb = Lerp16(Lerp16(_mm512_and_si512(t00, low), _mm512_and_si512(t10, low), wy),
                              Lerp16(_mm512_and_si512(t01, low), _mm512_and_si512(t11, low), wy), wx);
    const __m512i ag = Lerp16(Lerp16(_mm512_srli_epi16(t00, 8), _mm512_srli_epi16(t10, 8), wy),
                              Lerp16(_mm512_srli_epi16(t01, 8), _mm512_srli_epi16(t11, 8), wy), wx);
    return _mm512_or_si512(
        Modulate16(rb, _mm512_and_si512(mul, low)),
        _mm512_slli_epi16(Modulate16(_mm512_or_si512(ag, alphaAg), _mm512_srli_epi16(mul, 8)), 8));
}

// FilterEights sixteen pixels at a time (then by eights and pairs).
OLAI_AVX512 inline void FilterSixteens(const uint32_t* texels, const ChunkTexels& t, const uint32_t* mul,
                                       uint32_t alphaOr, const uint8_t* live, int first, int n,
                                       uint32_t* value)
{
    const __m512i alphaAg = _mm512_set1_epi32(int((alphaOr >> 8) & 0x00FF00FFu));
    int i = first;
    for (; i + 16 <= n; i += 16) {
        const __m512i row0 = Load16(t.row0 + i), row1 = Load16(t.row1 + i);
        const __m512i col0 = Load16(t.col0 + i), col1 = Load16(t.col1 + i);
        const __m512i t00 = Gather16(texels, _mm512_add_epi32(row0, col0));
        const __m512i t01 = Gather16(texels, _mm512_add_epi32(row0, col1));
        const __m512i t10 = Gather16(texels, _mm512_add_epi32(row1, col0));
        const __m512i t11 = Gather16(texels, _mm512_add_epi32(row1, col1));
        const __m512i out = FilterModulate(t00, t01, t10, t11, Weight16(t.wx + i), Weight16(t.wy + i),
                                           Load16(mul + i), alphaAg);
        _mm512_storeu_si512(value + i, out);
    }
    FilterEights(texels, t, mul, alphaOr, live, i, n, value);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif // OLAI_SPAN_WIDE
#endif // OLAI_SPAN_SSE2

} // namespace d3d9sw
