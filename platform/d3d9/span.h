// Helpers shared by the span routines of the pixel pipeline.
#pragma once

#include "platform/d3d9/pipeline.h"

// The span routines use SSE2 where the compiler offers it, unless the build
// asks for the scalar path (OLAI_NO_SIMD), which is then built and tested.
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD)
#define OLAI_SPAN_SSE2 1
#else
#define OLAI_SPAN_SSE2 0
#endif
// On x86-64 the fast span routines are also built for AVX2 and chosen at
// run time where the processor has it.
#if OLAI_SPAN_SSE2 && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define OLAI_SPAN_WIDE 1
#else
#define OLAI_SPAN_WIDE 0
#endif

namespace d3d9sw {

/// Pixels a span routine works on at once (arrays of this size live on the
/// stack).
constexpr int kChunk = 64;

/// Direct3D comparison `a func b`: on floats for the depth test, on integers
/// for stencil values and alpha as a byte.
template <typename T> inline bool Compare(DWORD func, T a, T b)
{
    switch (func) {
    case D3DCMP_NEVER:
        return false;
    case D3DCMP_LESS:
        return a < b;
    case D3DCMP_EQUAL:
        return a == b;
    case D3DCMP_LESSEQUAL:
        return a <= b;
    case D3DCMP_GREATER:
        return a > b;
    case D3DCMP_NOTEQUAL:
        return a != b;
    case D3DCMP_GREATEREQUAL:
        return a >= b;
    default:
        return true;
    }
}

/// v clamped to [0, 1].
inline float Clamp01(float v)
{
    // NaN goes to 0, so that later conversions to integers stay defined.
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

/// v in [0, 1] as a byte, rounded.
inline uint32_t ToByte(float v)
{
    return uint32_t(Clamp01(v) * 255.0f + 0.5f);
}

} // namespace d3d9sw
