// Shader execution. One executor, templated on the number of lanes: eight
// vertices at a time for vertex shaders (every register component is an
// array of eight floats, so each operation is a short loop the compiler
// turns into vector code; on x86-64 it is also built for AVX2, where each
// is one instruction), one lane for pixel shaders. Constant operands are
// swizzled, modified and spread into lanes once per call (Prepare), so
// instructions read registers and constants alike through pointers. Results
// follow the published instruction definitions, including their special cases.
#include "platform/shadervm/shaderprogram.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#define OLAI_INLINE inline __attribute__((always_inline))

// On x86-64 the vertex executor is also built for AVX2 and chosen at run time.
#if defined(__SSE2__) && !defined(OLAI_NO_SIMD) && defined(__x86_64__) &&                                    \
    (defined(__GNUC__) || defined(__clang__))
#define OLAI_SHADER_WIDE 1
#else
#define OLAI_SHADER_WIDE 0
#endif

namespace {

// Partial precision results keep the top 16 mantissa bits, as the reference
// definitions of expp and logp do.
float Partial(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= 0xFFFFFF00u;
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

float Rcp(float x)
{
    if (x == 1.0f) {
        return 1.0f;
    }
    return x == 0.0f ? std::numeric_limits<float>::infinity() : 1.0f / x;
}

float Rsq(float x)
{
    const float v = std::fabs(x);
    if (v == 1.0f) {
        return 1.0f;
    }
    return v == 0.0f ? std::numeric_limits<float>::infinity() : 1.0f / std::sqrt(v);
}

float Log2Abs(float x)
{
    const float v = std::fabs(x);
    return v != 0.0f ? std::log2(v) : -FLT_MAX;
}

// a0 takes the nearest integer (halves away from zero); values far out of
// range become an index that reads zero.
int32_t AddressRound(float x)
{
    if (!(x > -65536.0f)) {
        return -65536;
    }
    if (x > 65536.0f) {
        return 65536;
    }
    return static_cast<int32_t>(x < 0.0f ? -std::floor(-x + 0.5f) : std::floor(x + 0.5f));
}

float ApplyMod(uint8_t mod, float x)
{
    switch (static_cast<ShaderSrcMod>(mod)) {
    case ShaderSrcMod::Neg:
        return -x;
    case ShaderSrcMod::Bias:
        return x - 0.5f;
    case ShaderSrcMod::BiasNeg:
        return 0.5f - x;
    case ShaderSrcMod::Sign:
        return 2.0f * (x - 0.5f);
    case ShaderSrcMod::SignNeg:
        return -2.0f * (x - 0.5f);
    case ShaderSrcMod::Comp:
        return 1.0f - x;
    default:
        return x;
    }
}

// Groups of batches run instruction by instruction: each instruction is
// decoded into pointers once per group, then applied to every batch of the
// group, so the interpretive work is shared by kGroup x kShaderLanes vertices.
constexpr int kGroup = kShaderBatchGroup;

// Where one operand's four components are for the first batch of a group,
// and how far (in floats) the next batch's are.
struct Ref
{
    const float* p[4];
    ptrdiff_t stride;
};

// Everything one run reads and writes.
template <int L> struct Frame
{
    const ShaderProgram* program;
    int batches;
    float* temps; // [batch][slot][component][lane]
    ptrdiff_t tempStride;
    const float* inputs; // [batch][register][component][lane]
    float* outputs;
    ptrdiff_t ioStride;
    int32_t (*a0)[4][L]; // per batch
    const float (*constants)[4];
    int constantCount;
    const float* prepared; // [operand][component][lane]
    bool pixel;
    // Pixel shaders only.
    const ShaderPixelState* state;
    const ShaderPixelInputs* pixelInputs;
    bool killed;
};

// The value of constant register `index`: the program's def, else the caller's, else 0.
template <int L> const float* ConstantRow(const Frame<L>& f, int64_t index)
{
    static const float kZero[4] = {0, 0, 0, 0};
    if (index < 0 || index >= kShaderMaxVertexConstants) {
        return kZero;
    }
    const int16_t slot = f.program->defSlot[index];
    if (slot >= 0) {
        return &f.program->immediates[static_cast<size_t>(slot) * 4];
    }
    return index < f.constantCount ? f.constants[index] : kZero;
}

// Fills the lanes of every constant operand of the program.
template <int L> void Prepare(const Frame<L>& f, float* lanes)
{
    const std::vector<VmPrepared>& prepared = f.program->prepared;
    for (size_t i = 0; i < prepared.size(); ++i) {
        const VmPrepared& p = prepared[i];
        const float* row = p.bank == VmBank::Immediate
                               ? &f.program->immediates[static_cast<size_t>(p.index) * 4]
                               : ConstantRow(f, p.index);
        for (int k = 0; k < 4; ++k) {
            float v = row[p.swizzle[k]];
            if (f.pixel) {
                v = v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v; // ps_1_x constants lie in [-1, 1]
            }
            if (p.mod != 0) {
                v = ApplyMod(p.mod, v);
            }
            for (int l = 0; l < L; ++l) {
                lanes[(i * 4 + k) * L + l] = v;
            }
        }
    }
}

// Lane kernels: restrict-qualified so each loop becomes a few vector instructions.
template <int L, typename Fn> OLAI_INLINE void Lanes1(float* __restrict r, const float* __restrict a, Fn fn)
{
    for (int l = 0; l < L; ++l) {
        r[l] = fn(a[l]);
    }
}

template <int L, typename Fn>
OLAI_INLINE void Lanes2(float* __restrict r, const float* __restrict a, const float* __restrict b, Fn fn)
{
    for (int l = 0; l < L; ++l) {
        r[l] = fn(a[l], b[l]);
    }
}

template <int L, typename Fn>
OLAI_INLINE void Lanes3(float* __restrict r, const float* __restrict a, const float* __restrict b,
                        const float* __restrict c, Fn fn)
{
    for (int l = 0; l < L; ++l) {
        r[l] = fn(a[l], b[l], c[l]);
    }
}

template <int L>
OLAI_INLINE void Dot3(float* __restrict r, const float* __restrict a0, const float* __restrict a1,
                      const float* __restrict a2, const float* __restrict b0, const float* __restrict b1,
                      const float* __restrict b2)
{
    for (int l = 0; l < L; ++l) {
        r[l] = a0[l] * b0[l] + a1[l] * b1[l] + a2[l] * b2[l];
    }
}

template <int L>
OLAI_INLINE void Dot4(float* __restrict r, const float* __restrict a0, const float* __restrict a1,
                      const float* __restrict a2, const float* __restrict a3, const float* __restrict b0,
                      const float* __restrict b1, const float* __restrict b2, const float* __restrict b3)
{
    for (int l = 0; l < L; ++l) {
        r[l] = a0[l] * b0[l] + a1[l] * b1[l] + a2[l] * b2[l] + a3[l] * b3[l];
    }
}

// r = a . b over N = 3 or 4 components, for every batch. A constant
// operand (the rows of a transform, a light direction) is loaded once for
// all batches; products commute exactly, so it may be either one.
template <int L, int N>
OLAI_INLINE void DotBatches(int batches, float* r, ptrdiff_t rs, const Ref& varying, const Ref& other)
{
    const bool swap = varying.stride == 0 && other.stride != 0;
    const Ref& a = swap ? other : varying;
    const Ref& b = swap ? varying : other;
    if (b.stride == 0) {
        float c[4][L];
        for (int k = 0; k < N; ++k) {
            for (int l = 0; l < L; ++l) {
                c[k][l] = b.p[k][l];
            }
        }
        for (int i = 0; i < batches; ++i) {
            const ptrdiff_t x = i * a.stride;
            if constexpr (N == 4) {
                Dot4<L>(r + i * rs, a.p[0] + x, a.p[1] + x, a.p[2] + x, a.p[3] + x, c[0], c[1], c[2], c[3]);
            } else {
                Dot3<L>(r + i * rs, a.p[0] + x, a.p[1] + x, a.p[2] + x, c[0], c[1], c[2]);
            }
        }
        return;
    }
    for (int i = 0; i < batches; ++i) {
        const ptrdiff_t x = i * a.stride;
        const ptrdiff_t y = i * b.stride;
        if constexpr (N == 4) {
            Dot4<L>(r + i * rs, a.p[0] + x, a.p[1] + x, a.p[2] + x, a.p[3] + x, b.p[0] + y, b.p[1] + y,
                    b.p[2] + y, b.p[3] + y);
        } else {
            Dot3<L>(r + i * rs, a.p[0] + x, a.p[1] + x, a.p[2] + x, b.p[0] + y, b.p[1] + y, b.p[2] + y);
        }
    }
}

// Resolves source `s` (row offset `row` for matrix instructions) for every
// batch of the group; modified registers and relative reads are computed
// into `scratch` ([component][batch][lane]).
template <int L> OLAI_INLINE void Fetch(const Frame<L>& f, const VmSrc& s, int row, float* scratch, Ref* out)
{
    const int n = f.batches;
    switch (s.bank) {
    case VmBank::Temp:
    case VmBank::Input: {
        const float* reg =
            s.bank == VmBank::Temp ? f.temps + (s.index + row) * 4 * L : f.inputs + (s.index + row) * 4 * L;
        out->stride = s.bank == VmBank::Temp ? f.tempStride : f.ioStride;
        for (int k = 0; k < 4; ++k) {
            out->p[k] = reg + s.swizzle[k] * L;
        }
        if (s.mod == 0) {
            return;
        }
        for (int k = 0; k < 4; ++k) {
            if (!((s.needed >> k) & 1)) {
                continue;
            }
            float* dst = scratch + k * kGroup * L;
            for (int b = 0; b < n; ++b) {
                if (s.mod == static_cast<uint8_t>(ShaderSrcMod::Neg)) {
                    Lanes1<L>(dst + b * L, out->p[k] + b * out->stride, [](float x) { return -x; });
                } else {
                    const uint8_t mod = s.mod;
                    Lanes1<L>(dst + b * L, out->p[k] + b * out->stride,
                              [mod](float x) { return ApplyMod(mod, x); });
                }
            }
            out->p[k] = dst;
        }
        out->stride = L;
        return;
    }
    case VmBank::Const:
    case VmBank::Immediate: {
        const float* lanes = f.prepared + (s.prepared + row) * 4 * L;
        for (int k = 0; k < 4; ++k) {
            out->p[k] = lanes + k * L;
        }
        out->stride = 0;
        return;
    }
    case VmBank::ConstRel: {
        const bool defs = f.program->hasRelativeDefs;
        for (int k = 0; k < 4; ++k) {
            out->p[k] = scratch + k * kGroup * L;
            if (!((s.needed >> k) & 1)) {
                continue;
            }
            const int c = s.swizzle[k];
            for (int b = 0; b < n; ++b) {
                const int32_t* a = f.a0[b][s.relComponent];
                float* dst = scratch + (k * kGroup + b) * L;
                for (int l = 0; l < L; ++l) {
                    const int64_t index = static_cast<int64_t>(a[l]) + s.index + row;
                    float v = 0.0f;
                    if (defs) {
                        v = ConstantRow(f, index)[c];
                    } else if (index >= 0 && index < f.constantCount) {
                        v = f.constants[index][c];
                    }
                    dst[l] = s.mod ? -v : v;
                }
            }
        }
        out->stride = L;
        return;
    }
    default:
        for (int k = 0; k < 4; ++k) {
            out->p[k] = scratch;
        }
        out->stride = 0;
        return;
    }
}

template <int L> void Sample(Frame<L>& f, int stage, float u, float v, float w, float rgba[4])
{
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0.0f;
    if (f.state->sample != nullptr) {
        f.state->sample(f.state->user, stage, u, v, w, rgba);
    }
}

// Texture-addressing instructions of ps_1_x (one lane, one batch).
template <int L> void Texture(Frame<L>& f, const VmInst& in, float* const res[4])
{
    if constexpr (L == 1) {
        const int stage = in.dst.index - kVmTextureBase;
        const float* tc = f.pixelInputs->texcoord[stage];
        float rgba[4] = {0, 0, 0, 0};
        switch (in.op) {
        case VmOp::Tex:
            Sample(f, stage, tc[0], tc[1], tc[2], rgba);
            break;
        case VmOp::TexCoord:
            for (int c = 0; c < 3; ++c) {
                rgba[c] = tc[c] < 0.0f ? 0.0f : tc[c] > 1.0f ? 1.0f : tc[c];
            }
            rgba[3] = 1.0f;
            break;
        case VmOp::TexKill:
            if (tc[0] < 0.0f || tc[1] < 0.0f || tc[2] < 0.0f) {
                f.killed = true;
            }
            for (int c = 0; c < 4; ++c) {
                rgba[c] = f.temps[in.dst.index * 4 + c];
            }
            break;
        case VmOp::TexBem:
        case VmOp::TexBemL: {
            const float* bump = f.temps + in.src[0].index * 4;
            const float* m = f.state->bumpEnvMat[stage];
            const float du = bump[0];
            const float dv = bump[1];
            Sample(f, stage, tc[0] + m[0] * du + m[2] * dv, tc[1] + m[1] * du + m[3] * dv, tc[2], rgba);
            if (in.op == VmOp::TexBemL) {
                float lum = bump[2] * f.state->bumpEnvLScale[stage] + f.state->bumpEnvLOffset[stage];
                lum = lum < 0.0f ? 0.0f : lum > 1.0f ? 1.0f : lum;
                for (int c = 0; c < 3; ++c) {
                    rgba[c] *= lum;
                }
            }
            break;
        }
        default:
            break;
        }
        for (int c = 0; c < 4; ++c) {
            res[c][0] = rgba[c];
        }
    } else {
        (void)f;
        (void)in;
        (void)res;
    }
}

// Computes instruction `in` for every batch of the group into the
// components of its write mask at r (r.p[k] + batch x r.stride).
template <int L> void Compute(Frame<L>& f, const VmInst& in, float* const r[4], ptrdiff_t rs)
{
    float scratch[3][4 * kGroup * L];
    Ref s[3];
    const uint8_t mask = in.dst.mask;
    const int n = f.batches;
    switch (in.op) {
    case VmOp::Tex:
    case VmOp::TexCoord:
    case VmOp::TexBem:
    case VmOp::TexBemL:
    case VmOp::TexKill:
        Texture(f, in, r);
        return;
    case VmOp::M4x4:
    case VmOp::M4x3:
    case VmOp::M3x4:
    case VmOp::M3x3:
    case VmOp::M3x2: {
        const int columns = in.op == VmOp::M4x4 || in.op == VmOp::M4x3 ? 4 : 3;
        const int rows = in.op == VmOp::M4x4 || in.op == VmOp::M3x4 ? 4 : in.op == VmOp::M3x2 ? 2 : 3;
        Fetch(f, in.src[0], 0, scratch[0], &s[0]);
        for (int row = 0; row < rows; ++row) {
            if ((mask >> row) & 1) {
                Fetch(f, in.src[1], row, scratch[1], &s[1]);
                if (columns == 4) {
                    DotBatches<L, 4>(n, r[row], rs, s[0], s[1]);
                } else {
                    DotBatches<L, 3>(n, r[row], rs, s[0], s[1]);
                }
            }
        }
        return;
    }
    default:
        break;
    }
    for (int i = 0; i < in.sources; ++i) {
        Fetch(f, in.src[i], 0, scratch[i], &s[i]);
    }
    const Ref& a = s[0];
    const Ref& b = s[1];
    const Ref& c = s[2];
    int first = 0;
    while (first < 3 && !((mask >> first) & 1)) {
        ++first;
    }
    // Component-wise instructions: component k of the result from component k of each source.
    auto each1 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                for (int i = 0; i < n; ++i) {
                    Lanes1<L>(r[k] + i * rs, a.p[k] + i * a.stride, fn);
                }
            }
        }
    };
    auto each2 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                for (int i = 0; i < n; ++i) {
                    Lanes2<L>(r[k] + i * rs, a.p[k] + i * a.stride, b.p[k] + i * b.stride, fn);
                }
            }
        }
    };
    auto each3 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                for (int i = 0; i < n; ++i) {
                    Lanes3<L>(r[k] + i * rs, a.p[k] + i * a.stride, b.p[k] + i * b.stride,
                              c.p[k] + i * c.stride, fn);
                }
            }
        }
    };
    // One value per lane, computed into the first written component and copied to the others.
    auto replicate = [&]() {
        for (int k = first + 1; k < 4; ++k) {
            if ((mask >> k) & 1) {
                for (int i = 0; i < n; ++i) {
                    std::memcpy(r[k] + i * rs, r[first] + i * rs, sizeof(float) * L);
                }
            }
        }
    };
    auto scalar1 = [&](auto fn) {
        for (int i = 0; i < n; ++i) {
            Lanes1<L>(r[first] + i * rs, a.p[3] + i * a.stride, fn);
        }
        replicate();
    };
    // Instructions that write fixed components: one lane at a time.
    auto lanes = [&](auto fn) {
        for (int i = 0; i < n; ++i) {
            for (int l = 0; l < L; ++l) {
                const ptrdiff_t x = i * a.stride + l;
                const ptrdiff_t y = i * b.stride + l;
                float out[4];
                fn(a.p, b.p, x, y, out);
                for (int k = 0; k < 4; ++k) {
                    r[k][i * rs + l] = out[k];
                }
            }
        }
    };
    switch (in.op) {
    case VmOp::Mov:
    case VmOp::Mova:
        each1([](float x) { return x; });
        return;
    case VmOp::Add:
        each2([](float x, float y) { return x + y; });
        return;
    case VmOp::Sub:
        each2([](float x, float y) { return x - y; });
        return;
    case VmOp::Mul:
        each2([](float x, float y) { return x * y; });
        return;
    case VmOp::Mad:
        each3([](float x, float y, float z) { return x * y + z; });
        return;
    case VmOp::Min:
        each2([](float x, float y) { return x < y ? x : y; });
        return;
    case VmOp::Max:
        each2([](float x, float y) { return x >= y ? x : y; });
        return;
    case VmOp::Slt:
        each2([](float x, float y) { return x < y ? 1.0f : 0.0f; });
        return;
    case VmOp::Sge:
        each2([](float x, float y) { return x >= y ? 1.0f : 0.0f; });
        return;
    case VmOp::Frc:
        each1([](float x) { return x - std::floor(x); });
        return;
    case VmOp::Lrp:
        each3([](float x, float y, float z) { return x * (y - z) + z; });
        return;
    case VmOp::Abs:
        each1([](float x) { return std::fabs(x); });
        return;
    case VmOp::Sgn:
        each1([](float x) { return x < 0.0f ? -1.0f : x > 0.0f ? 1.0f : 0.0f; });
        return;
    case VmOp::Cnd:
        each3([](float x, float y, float z) { return x > 0.5f ? y : z; });
        return;
    case VmOp::Cmp:
        each3([](float x, float y, float z) { return x >= 0.0f ? y : z; });
        return;
    case VmOp::Dp3:
        DotBatches<L, 3>(n, r[first], rs, a, b);
        replicate();
        return;
    case VmOp::Dp4:
        DotBatches<L, 4>(n, r[first], rs, a, b);
        replicate();
        return;
    case VmOp::Rcp:
        scalar1([](float x) { return Rcp(x); });
        return;
    case VmOp::Rsq:
        scalar1([](float x) { return Rsq(x); });
        return;
    case VmOp::Exp:
        scalar1([](float x) { return std::exp2(x); });
        return;
    case VmOp::Log:
        scalar1([](float x) { return Log2Abs(x); });
        return;
    case VmOp::ExppScalar:
        scalar1([](float x) { return Partial(std::exp2(x)); });
        return;
    case VmOp::LogpScalar:
        scalar1([](float x) { return x != 0.0f ? Partial(Log2Abs(x)) : -FLT_MAX; });
        return;
    case VmOp::Pow:
        for (int i = 0; i < n; ++i) {
            Lanes2<L>(r[first] + i * rs, a.p[3] + i * a.stride, b.p[3] + i * b.stride,
                      [](float x, float y) { return std::pow(std::fabs(x), y); });
        }
        replicate();
        return;
    case VmOp::ExppFull:
        lanes([](const float* const* x, const float* const*, ptrdiff_t i, ptrdiff_t, float* out) {
            const float w = x[3][i];
            const float v = std::floor(w);
            out[0] = std::exp2(v);
            out[1] = w - v;
            out[2] = Partial(std::exp2(w));
            out[3] = 1.0f;
        });
        return;
    case VmOp::LogpFull:
        lanes([](const float* const* x, const float* const*, ptrdiff_t i, ptrdiff_t, float* out) {
            const float v = std::fabs(x[3][i]);
            out[3] = 1.0f;
            if (v == 0.0f) {
                out[0] = -FLT_MAX;
                out[1] = 1.0f;
                out[2] = -FLT_MAX;
                return;
            }
            uint32_t bits = 0;
            std::memcpy(&bits, &v, sizeof bits);
            const uint32_t mantissa = (bits & 0x7FFFFFu) | 0x3F800000u;
            out[0] = static_cast<float>(static_cast<int>((bits >> 23) & 0xFF) - 127);
            std::memcpy(&out[1], &mantissa, sizeof mantissa);
            out[2] = Partial(std::log2(v));
        });
        return;
    case VmOp::Lit:
        lanes([](const float* const* x, const float* const*, ptrdiff_t i, ptrdiff_t, float* out) {
            constexpr float kMaxPower = 127.9961f;
            float power = x[3][i];
            power = power < -kMaxPower ? -kMaxPower : power > kMaxPower ? kMaxPower : power;
            out[0] = 1.0f;
            out[1] = 0.0f;
            out[2] = 0.0f;
            out[3] = 1.0f;
            if (x[0][i] > 0.0f) {
                out[1] = x[0][i];
                if (x[1][i] > 0.0f) {
                    out[2] = std::pow(x[1][i], power);
                }
            }
        });
        return;
    case VmOp::Dst:
        lanes([](const float* const* x, const float* const* y, ptrdiff_t i, ptrdiff_t j, float* out) {
            out[0] = 1.0f;
            out[1] = x[1][i] * y[1][j];
            out[2] = x[2][i];
            out[3] = y[3][j];
        });
        return;
    case VmOp::Crs:
        lanes([](const float* const* x, const float* const* y, ptrdiff_t i, ptrdiff_t j, float* out) {
            out[0] = x[1][i] * y[2][j] - x[2][i] * y[1][j];
            out[1] = x[2][i] * y[0][j] - x[0][i] * y[2][j];
            out[2] = x[0][i] * y[1][j] - x[1][i] * y[0][j];
            out[3] = 0.0f;
        });
        return;
    case VmOp::Nrm:
        lanes([](const float* const* x, const float* const*, ptrdiff_t i, ptrdiff_t, float* out) {
            const float length2 = x[0][i] * x[0][i] + x[1][i] * x[1][i] + x[2][i] * x[2][i];
            // A zero vector stays zero rather than becoming 0 x infinity.
            const float scale = length2 != 0.0f ? 1.0f / std::sqrt(length2) : 0.0f;
            for (int k = 0; k < 4; ++k) {
                out[k] = x[k][i] * scale;
            }
        });
        return;
    case VmOp::SinCos:
        lanes([](const float* const* x, const float* const*, ptrdiff_t i, ptrdiff_t, float* out) {
            out[0] = std::cos(x[3][i]);
            out[1] = std::sin(x[3][i]);
            out[2] = 0.0f;
            out[3] = 0.0f;
        });
        return;
    default:
        return;
    }
}

// The four component pointers and batch stride of a destination register.
template <int L> float* DestinationBase(Frame<L>& f, const VmDst& d, ptrdiff_t* stride)
{
    if (d.bank == VmBank::Output) {
        *stride = f.ioStride;
        return f.outputs + d.index * 4 * L;
    }
    *stride = f.tempStride;
    return f.temps + d.index * 4 * L;
}

// Writes the masked components of res ([component][batch][lane]) into the
// destination, with the result shift, saturation and (pixel shaders) the
// register range.
template <int L> void Write(Frame<L>& f, const VmInst& in, const float* res)
{
    const VmDst& d = in.dst;
    const int n = f.batches;
    if (d.bank == VmBank::Addr) {
        for (int c = 0; c < 4; ++c) {
            if ((d.mask >> c) & 1) {
                for (int i = 0; i < n; ++i) {
                    for (int l = 0; l < L; ++l) {
                        f.a0[i][c][l] = AddressRound(res[(c * kGroup + i) * L + l]);
                    }
                }
            }
        }
        return;
    }
    ptrdiff_t stride = 0;
    float* base = DestinationBase(f, d, &stride);
    const float scale = d.shift == 0 ? 1.0f : d.shift > 0 ? static_cast<float>(1 << d.shift) : 0.5f;
    const float range = f.pixel ? f.state->maxValue : FLT_MAX;
    for (int c = 0; c < 4; ++c) {
        if (!((d.mask >> c) & 1)) {
            continue;
        }
        for (int i = 0; i < n; ++i) {
            const float* from = res + (c * kGroup + i) * L;
            float* to = base + i * stride + c * L;
            for (int l = 0; l < L; ++l) {
                float v = from[l] * scale;
                if (d.saturate) {
                    v = v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
                }
                if (f.pixel) {
                    v = v < -range ? -range : v > range ? range : v;
                }
                to[l] = v;
            }
        }
    }
}

template <int L> void Execute(Frame<L>& f)
{
    const VmInst* code = f.program->code.data();
    const size_t count = f.program->code.size();
    float res[2][4 * kGroup * L];
    float* const held[2][4] = {
        {res[0], res[0] + kGroup * L, res[0] + 2 * kGroup * L, res[0] + 3 * kGroup * L},
        {res[1], res[1] + kGroup * L, res[1] + 2 * kGroup * L, res[1] + 3 * kGroup * L}};
    for (size_t i = 0; i < count; ++i) {
        const VmInst& in = code[i];
        if (in.direct) {
            ptrdiff_t stride = 0;
            float* base = DestinationBase(f, in.dst, &stride);
            float* const target[4] = {base, base + L, base + 2 * L, base + 3 * L};
            Compute(f, in, target, stride);
            continue;
        }
        Compute(f, in, held[0], L);
        if (i + 1 < count && code[i + 1].coissue) {
            // Co-issued pairs read their sources before either writes.
            Compute(f, code[i + 1], held[1], L);
            Write(f, in, res[0]);
            Write(f, code[i + 1], res[1]);
            ++i;
        } else {
            Write(f, in, res[0]);
        }
    }
}

// Zeroes what the program reads before writing, in every batch of the group.
template <int L> void ResetState(Frame<L>& f)
{
    for (int i = 0; i < f.batches; ++i) {
        for (uint16_t entry : f.program->zeroFirst) {
            for (int l = 0; l < L; ++l) {
                f.temps[i * f.tempStride + entry * L + l] = 0.0f;
            }
        }
        if (f.program->addrReadFirst != 0) {
            std::memset(f.a0[i], 0, sizeof f.a0[i]);
        }
    }
}

constexpr float kOutputDefaults[kShaderOutputCount][4] = {
    {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
    {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 0, 0, 0},
};

// Sets the unwritten components of the outputs the program writes to their
// defaults, then runs the program on the group.
OLAI_INLINE void RunGroup(Frame<kShaderLanes>& f, ShaderVertexBatch* group)
{
    for (uint16_t entry : f.program->outputDefaults) {
        const float value = kOutputDefaults[entry >> 2][entry & 3];
        for (int i = 0; i < f.batches; ++i) {
            float* lanes = group[i].output[entry >> 2].v[entry & 3];
            for (int l = 0; l < kShaderLanes; ++l) {
                lanes[l] = value;
            }
        }
    }
    Execute(f);
}

#if OLAI_SHADER_WIDE
// RunGroup compiled for AVX2, every lane loop one instruction wide.
// Multiplies and adds are never fused (-ffp-contract=off), so every value
// is the one the SSE2 build computes.
__attribute__((target("avx2"), flatten)) void RunGroupWide(Frame<kShaderLanes>& f, ShaderVertexBatch* group)
{
    RunGroup(f, group);
}
#endif

std::atomic<int> g_vectorBits{0};

// True when the AVX2 executor runs: the processor has it and ShaderSetVectorBits allows it.
bool UseWide()
{
#if OLAI_SHADER_WIDE
    static const bool avx2 = __builtin_cpu_supports("avx2");
    const int bits = g_vectorBits.load(std::memory_order_relaxed);
    return avx2 && (bits <= 0 || bits >= 256);
#else
    return false;
#endif
}

// Constant lanes live on the stack for typical programs, on the heap for large ones.
template <int L> class PreparedLanes
{
  public:
    explicit PreparedLanes(size_t count)
    {
        if (count > kLocal) {
            heap_.resize(count * 4 * L);
        }
    }
    float* data() { return heap_.empty() ? local_ : heap_.data(); }

  private:
    static constexpr size_t kLocal = 48;
    float local_[kLocal * 4 * L];
    std::vector<float> heap_;
};

} // namespace

void ShaderSetVectorBits(int bits)
{
    g_vectorBits.store(bits, std::memory_order_relaxed);
}

bool ShaderVertexRunBatches(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                            ShaderVertexBatch* batches, int batchCount)
{
    if (program == nullptr || program->pixel || batches == nullptr || batchCount < 0) {
        return false;
    }
    constexpr int L = kShaderLanes;
    float temps[kGroup * kVmTempSlots * 4 * L];
    int32_t a0[kGroup][4][L];
    Frame<L> f;
    f.program = program;
    f.temps = temps;
    f.tempStride = program->tempCount * 4 * L;
    f.ioStride = static_cast<ptrdiff_t>(sizeof(ShaderVertexBatch) / sizeof(float));
    f.a0 = a0;
    f.constants = constants;
    f.constantCount =
        constants == nullptr ? 0 : std::min(std::max(constantCount, 0), kShaderMaxVertexConstants);
    f.pixel = false;
    f.state = nullptr;
    f.pixelInputs = nullptr;
    f.killed = false;
    PreparedLanes<L> prepared(program->prepared.size());
    Prepare(f, prepared.data());
    f.prepared = prepared.data();
    const bool wide = UseWide();
    for (int first = 0; first < batchCount; first += kGroup) {
        ShaderVertexBatch* group = batches + first;
        f.batches = std::min(kGroup, batchCount - first);
        f.inputs = &group->input[0].v[0][0];
        f.outputs = &group->output[0].v[0][0];
        ResetState(f);
#if OLAI_SHADER_WIDE
        if (wide) {
            RunGroupWide(f, group);
            continue;
        }
#endif
        RunGroup(f, group);
    }
    return true;
}

bool ShaderVertexRun(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                     ShaderVertexBatch* batch)
{
    if (program == nullptr || program->pixel || batch == nullptr) {
        return false;
    }
    for (int o = 0; o < kShaderOutputCount; ++o) {
        if (program->outputWritten[o] == 0) {
            for (int c = 0; c < 4; ++c) {
                for (int l = 0; l < kShaderLanes; ++l) {
                    batch->output[o].v[c][l] = kOutputDefaults[o][c];
                }
            }
        }
    }
    return ShaderVertexRunBatches(program, constants, constantCount, batch, 1);
}

bool ShaderPixelRun(const ShaderProgram* program, const ShaderPixelState& state,
                    const ShaderPixelInputs& inputs, float result[4])
{
    if (program == nullptr || !program->pixel) {
        return false;
    }
    float temps[kVmTempSlots * 4];
    float colours[2 * 4];
    for (int i = 0; i < 2; ++i) {
        for (int c = 0; c < 4; ++c) {
            colours[i * 4 + c] = inputs.color[i][c];
        }
    }
    int32_t a0[kGroup][4][1] = {};
    Frame<1> f;
    f.program = program;
    f.batches = 1;
    f.temps = temps;
    f.tempStride = kVmTempSlots * 4;
    f.inputs = colours;
    f.outputs = nullptr;
    f.ioStride = 0;
    f.a0 = a0;
    f.constants = state.constants;
    f.constantCount = state.constants == nullptr ? 0 : kShaderPixelConstants;
    f.pixel = true;
    f.state = &state;
    f.pixelInputs = &inputs;
    f.killed = false;
    PreparedLanes<1> prepared(program->prepared.size());
    Prepare(f, prepared.data());
    f.prepared = prepared.data();
    ResetState(f);
    temps[0] = temps[1] = temps[2] = temps[3] = 0.0f; // r0 is the result even if unwritten
    Execute(f);
    for (int c = 0; c < 4; ++c) {
        const float v = temps[c];
        result[c] = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    }
    return !f.killed;
}
