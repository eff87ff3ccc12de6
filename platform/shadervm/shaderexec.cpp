// Shader execution. One executor, templated on the number of lanes: eight
// vertices at a time for vertex shaders (every register component is an
// array of eight floats, so each operation is a short loop the compiler
// turns into vector code), one lane for pixel shaders. Constant operands are
// swizzled, modified and spread into lanes once per call (Prepare), so
// instructions read registers and constants alike through pointers. Results
// follow the published instruction definitions, including their special cases.
#include "platform/shadervm/shaderprogram.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#define OLAI_INLINE inline __attribute__((always_inline))

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

// Everything one run reads and writes.
template <int L> struct Frame
{
    const ShaderProgram* program;
    float (*temps)[4][L];
    const float (*inputs)[4][L];
    float (*outputs)[4][L];
    int32_t a0[4][L];
    const float (*constants)[4];
    int constantCount;
    const float (*prepared)[4][L];
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
template <int L> void Prepare(const Frame<L>& f, float (*lanes)[4][L])
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
            v = ApplyMod(p.mod, v);
            for (int l = 0; l < L; ++l) {
                lanes[i][k][l] = v;
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

template <int L> OLAI_INLINE void DotLanes(float* r, const float* const* a, const float* const* b, int n)
{
    if (n == 4) {
        Dot4<L>(r, a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3]);
    } else {
        Dot3<L>(r, a[0], a[1], a[2], b[0], b[1], b[2]);
    }
}

// Resolves source `s` (row offset `row` for matrix instructions) into four
// pointers to lane arrays, one per component it reads; modified registers
// and relative reads go through `scratch`.
template <int L>
OLAI_INLINE void Fetch(const Frame<L>& f, const VmSrc& s, int row, float (*scratch)[L], const float* out[4])
{
    switch (s.bank) {
    case VmBank::Temp:
    case VmBank::Input: {
        const float(*reg)[L] = s.bank == VmBank::Temp ? f.temps[s.index + row] : f.inputs[s.index + row];
        for (int k = 0; k < 4; ++k) {
            out[k] = reg[s.swizzle[k]];
        }
        if (s.mod != 0) {
            for (int k = 0; k < 4; ++k) {
                if ((s.needed >> k) & 1) {
                    if (s.mod == static_cast<uint8_t>(ShaderSrcMod::Neg)) {
                        Lanes1<L>(scratch[k], out[k], [](float x) { return -x; });
                    } else {
                        const uint8_t mod = s.mod;
                        Lanes1<L>(scratch[k], out[k], [mod](float x) { return ApplyMod(mod, x); });
                    }
                    out[k] = scratch[k];
                }
            }
        }
        return;
    }
    case VmBank::Const:
    case VmBank::Immediate: {
        const float(*lanes)[L] = f.prepared[s.prepared + row];
        for (int k = 0; k < 4; ++k) {
            out[k] = lanes[k];
        }
        return;
    }
    case VmBank::ConstRel: {
        const int32_t* a = f.a0[s.relComponent];
        const bool defs = f.program->hasRelativeDefs;
        for (int k = 0; k < 4; ++k) {
            if (!((s.needed >> k) & 1)) {
                continue;
            }
            const int c = s.swizzle[k];
            for (int l = 0; l < L; ++l) {
                const int64_t index = static_cast<int64_t>(a[l]) + s.index + row;
                float v = 0.0f;
                if (defs) {
                    v = ConstantRow(f, index)[c];
                } else if (index >= 0 && index < f.constantCount) {
                    v = f.constants[index][c];
                }
                scratch[k][l] = s.mod ? -v : v;
            }
            out[k] = scratch[k];
        }
        return;
    }
    default:
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

// Texture-addressing instructions of ps_1_x (one lane).
template <int L> void Texture(Frame<L>& f, const VmInst& in, float (*res)[L])
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
                rgba[c] = f.temps[in.dst.index][c][0];
            }
            break;
        case VmOp::TexBem:
        case VmOp::TexBemL: {
            const float(*bump)[1] = f.temps[in.src[0].index];
            const float* m = f.state->bumpEnvMat[stage];
            const float du = bump[0][0];
            const float dv = bump[1][0];
            Sample(f, stage, tc[0] + m[0] * du + m[2] * dv, tc[1] + m[1] * du + m[3] * dv, tc[2], rgba);
            if (in.op == VmOp::TexBemL) {
                float lum = bump[2][0] * f.state->bumpEnvLScale[stage] + f.state->bumpEnvLOffset[stage];
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

// Computes instruction `in` into res (the components of its write mask).

// Computes instruction `in` into res (the components of its write mask).
template <int L> void Compute(Frame<L>& f, const VmInst& in, float (*res)[L])
{
    float scratch[3][4][L];
    const float* s[3][4];
    const uint8_t mask = in.dst.mask;
    switch (in.op) {
    case VmOp::Tex:
    case VmOp::TexCoord:
    case VmOp::TexBem:
    case VmOp::TexBemL:
    case VmOp::TexKill:
        Texture(f, in, res);
        return;
    case VmOp::M4x4:
    case VmOp::M4x3:
    case VmOp::M3x4:
    case VmOp::M3x3:
    case VmOp::M3x2: {
        const int columns = in.op == VmOp::M4x4 || in.op == VmOp::M4x3 ? 4 : 3;
        const int rows = in.op == VmOp::M4x4 || in.op == VmOp::M3x4 ? 4 : in.op == VmOp::M3x2 ? 2 : 3;
        Fetch(f, in.src[0], 0, scratch[0], s[0]);
        for (int r = 0; r < rows; ++r) {
            if ((mask >> r) & 1) {
                Fetch(f, in.src[1], r, scratch[1], s[1]);
                DotLanes<L>(res[r], s[0], s[1], columns);
            }
        }
        return;
    }
    default:
        break;
    }
    for (int i = 0; i < in.sources; ++i) {
        Fetch(f, in.src[i], 0, scratch[i], s[i]);
    }
    const float* const* a = s[0];
    const float* const* b = s[1];
    const float* const* c = s[2];
    // Component-wise instructions: component k of the result from component k of each source.
    auto each1 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                Lanes1<L>(res[k], a[k], fn);
            }
        }
    };
    auto each2 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                Lanes2<L>(res[k], a[k], b[k], fn);
            }
        }
    };
    auto each3 = [&](auto fn) {
        for (int k = 0; k < 4; ++k) {
            if ((mask >> k) & 1) {
                Lanes3<L>(res[k], a[k], b[k], c[k], fn);
            }
        }
    };
    // One value per lane, computed into the first written component and copied to the others.
    auto replicate = [&]() {
        int first = 0;
        while (first < 3 && !((mask >> first) & 1)) {
            ++first;
        }
        for (int k = first + 1; k < 4; ++k) {
            if ((mask >> k) & 1) {
                std::memcpy(res[k], res[first], sizeof(float) * L);
            }
        }
        return first;
    };
    auto scalar1 = [&](auto fn) {
        int first = 0;
        while (first < 3 && !((mask >> first) & 1)) {
            ++first;
        }
        Lanes1<L>(res[first], a[3], fn);
        replicate();
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
    case VmOp::Dp4: {
        int first = 0;
        while (first < 3 && !((mask >> first) & 1)) {
            ++first;
        }
        DotLanes<L>(res[first], a, b, in.op == VmOp::Dp4 ? 4 : 3);
        replicate();
        return;
    }
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
    case VmOp::Pow: {
        int first = 0;
        while (first < 3 && !((mask >> first) & 1)) {
            ++first;
        }
        Lanes2<L>(res[first], a[3], b[3], [](float x, float y) { return std::pow(std::fabs(x), y); });
        replicate();
        return;
    }
    case VmOp::ExppFull:
        for (int l = 0; l < L; ++l) {
            const float w = a[3][l];
            const float v = std::floor(w);
            res[0][l] = std::exp2(v);
            res[1][l] = w - v;
            res[2][l] = Partial(std::exp2(w));
            res[3][l] = 1.0f;
        }
        return;
    case VmOp::LogpFull:
        for (int l = 0; l < L; ++l) {
            const float v = std::fabs(a[3][l]);
            if (v != 0.0f) {
                uint32_t bits = 0;
                std::memcpy(&bits, &v, sizeof bits);
                const uint32_t mantissa = (bits & 0x7FFFFFu) | 0x3F800000u;
                res[0][l] = static_cast<float>(static_cast<int>((bits >> 23) & 0xFF) - 127);
                std::memcpy(&res[1][l], &mantissa, sizeof mantissa);
                res[2][l] = Partial(std::log2(v));
            } else {
                res[0][l] = -FLT_MAX;
                res[1][l] = 1.0f;
                res[2][l] = -FLT_MAX;
            }
            res[3][l] = 1.0f;
        }
        return;
    case VmOp::Lit:
        for (int l = 0; l < L; ++l) {
            constexpr float kMaxPower = 127.9961f;
            float power = a[3][l];
            power = power < -kMaxPower ? -kMaxPower : power > kMaxPower ? kMaxPower : power;
            res[0][l] = 1.0f;
            res[1][l] = 0.0f;
            res[2][l] = 0.0f;
            res[3][l] = 1.0f;
            if (a[0][l] > 0.0f) {
                res[1][l] = a[0][l];
                if (a[1][l] > 0.0f) {
                    res[2][l] = std::pow(a[1][l], power);
                }
            }
        }
        return;
    case VmOp::Dst:
        for (int l = 0; l < L; ++l) {
            res[0][l] = 1.0f;
            res[1][l] = a[1][l] * b[1][l];
            res[2][l] = a[2][l];
            res[3][l] = b[3][l];
        }
        return;
    case VmOp::Crs:
        for (int l = 0; l < L; ++l) {
            res[0][l] = a[1][l] * b[2][l] - a[2][l] * b[1][l];
            res[1][l] = a[2][l] * b[0][l] - a[0][l] * b[2][l];
            res[2][l] = a[0][l] * b[1][l] - a[1][l] * b[0][l];
        }
        return;
    case VmOp::Nrm:
        for (int l = 0; l < L; ++l) {
            const float length2 = a[0][l] * a[0][l] + a[1][l] * a[1][l] + a[2][l] * a[2][l];
            // A zero vector stays zero rather than becoming 0 x infinity.
            const float scale = length2 != 0.0f ? 1.0f / std::sqrt(length2) : 0.0f;
            for (int k = 0; k < 4; ++k) {
                res[k][l] = a[k][l] * scale;
            }
        }
        return;
    case VmOp::SinCos:
        for (int l = 0; l < L; ++l) {
            res[0][l] = std::cos(a[3][l]);
            res[1][l] = std::sin(a[3][l]);
        }
        return;
    default:
        return;
    }
}

// Writes the masked components of res into the destination, with the
// result shift, saturation and (pixel shaders) the register range.
template <int L> void Write(Frame<L>& f, const VmInst& in, float (*res)[L])
{
    const VmDst& d = in.dst;
    if (d.bank == VmBank::Addr) {
        for (int c = 0; c < 4; ++c) {
            if ((d.mask >> c) & 1) {
                for (int l = 0; l < L; ++l) {
                    f.a0[c][l] = AddressRound(res[c][l]);
                }
            }
        }
        return;
    }
    float(*reg)[L] = d.bank == VmBank::Output ? f.outputs[d.index] : f.temps[d.index];
    if (d.shift == 0 && !d.saturate && !f.pixel) {
        for (int c = 0; c < 4; ++c) {
            if ((d.mask >> c) & 1) {
                std::memcpy(reg[c], res[c], sizeof(float) * L);
            }
        }
        return;
    }
    const float scale = d.shift == 0 ? 1.0f : d.shift > 0 ? static_cast<float>(1 << d.shift) : 0.5f;
    const float range = f.pixel ? f.state->maxValue : FLT_MAX;
    for (int c = 0; c < 4; ++c) {
        if (!((d.mask >> c) & 1)) {
            continue;
        }
        for (int l = 0; l < L; ++l) {
            float v = res[c][l] * scale;
            if (d.saturate) {
                v = v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
            }
            if (f.pixel) {
                v = v < -range ? -range : v > range ? range : v;
            }
            reg[c][l] = v;
        }
    }
}

template <int L> void Execute(Frame<L>& f)
{
    const VmInst* code = f.program->code.data();
    const size_t count = f.program->code.size();
    float res[2][4][L];
    for (size_t i = 0; i < count; ++i) {
        if (code[i].direct) {
            const VmDst& d = code[i].dst;
            Compute(f, code[i], d.bank == VmBank::Output ? f.outputs[d.index] : f.temps[d.index]);
            continue;
        }
        Compute(f, code[i], res[0]);
        if (i + 1 < count && code[i + 1].coissue) {
            // Co-issued pairs read their sources before either writes.
            Compute(f, code[i + 1], res[1]);
            Write(f, code[i], res[0]);
            Write(f, code[i + 1], res[1]);
            ++i;
        } else {
            Write(f, code[i], res[0]);
        }
    }
}

template <int L> void ResetState(Frame<L>& f)
{
    for (uint16_t entry : f.program->zeroFirst) {
        for (int l = 0; l < L; ++l) {
            f.temps[entry >> 2][entry & 3][l] = 0.0f;
        }
    }
    if (f.program->addrReadFirst != 0) {
        std::memset(f.a0, 0, sizeof f.a0);
    }
}

constexpr float kOutputDefaults[kShaderOutputCount][4] = {
    {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
    {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 0, 0, 0},
};

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
    float (*data())[4][L] { return heap_.empty() ? local_ : reinterpret_cast<float(*)[4][L]>(heap_.data()); }

  private:
    static constexpr size_t kLocal = 48;
    float local_[kLocal][4][L];
    std::vector<float> heap_;
};

} // namespace

bool ShaderVertexRunBatches(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                            ShaderVertexBatch* batches, int batchCount)
{
    if (program == nullptr || program->pixel || batches == nullptr || batchCount < 0) {
        return false;
    }
    ShaderLanes4 temps[kVmTempSlots];
    Frame<kShaderLanes> f;
    f.program = program;
    f.temps = reinterpret_cast<float(*)[4][kShaderLanes]>(temps);
    f.constants = constants;
    f.constantCount =
        constants == nullptr ? 0 : std::min(std::max(constantCount, 0), kShaderMaxVertexConstants);
    f.pixel = false;
    f.state = nullptr;
    f.pixelInputs = nullptr;
    f.killed = false;
    PreparedLanes<kShaderLanes> prepared(program->prepared.size());
    Prepare(f, prepared.data());
    f.prepared = prepared.data();
    for (int b = 0; b < batchCount; ++b) {
        ShaderVertexBatch& batch = batches[b];
        f.inputs = reinterpret_cast<const float(*)[4][kShaderLanes]>(batch.input);
        f.outputs = reinterpret_cast<float(*)[4][kShaderLanes]>(batch.output);
        ResetState(f);
        for (uint16_t entry : program->outputDefaults) {
            const float value = kOutputDefaults[entry >> 2][entry & 3];
            for (int l = 0; l < kShaderLanes; ++l) {
                batch.output[entry >> 2].v[entry & 3][l] = value;
            }
        }
        Execute(f);
    }
    return true;
}

bool ShaderVertexRun(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                     ShaderVertexBatch* batch)
{
    return ShaderVertexRunBatches(program, constants, constantCount, batch, 1);
}

bool ShaderPixelRun(const ShaderProgram* program, const ShaderPixelState& state,
                    const ShaderPixelInputs& inputs, float result[4])
{
    if (program == nullptr || !program->pixel) {
        return false;
    }
    float temps[kVmTempSlots][4][1];
    float colours[2][4][1];
    for (int i = 0; i < 2; ++i) {
        for (int c = 0; c < 4; ++c) {
            colours[i][c][0] = inputs.color[i][c];
        }
    }
    Frame<1> f;
    f.program = program;
    f.temps = temps;
    f.inputs = colours;
    f.outputs = nullptr;
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
    temps[0][0][0] = temps[0][1][0] = temps[0][2][0] = temps[0][3][0] =
        0.0f; // r0 is the result even if unwritten
    Execute(f);
    for (int c = 0; c < 4; ++c) {
        const float v = temps[0][c][0];
        result[c] = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    }
    return !f.killed;
}
