// Shader execution. One executor, templated on the number of lanes: eight
// vertices at a time for vertex shaders (every register component is an
// array of eight floats, so each operation is a short loop the compiler
// turns into vector code), one lane for pixel shaders. Results follow the
// published instruction definitions, including their special cases.
#include "platform/shadervm/shaderprogram.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <int L> using Lanes = float[L];

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
    bool pixel;
    // Pixel shaders only.
    const ShaderPixelState* state;
    const ShaderPixelInputs* pixelInputs;
    bool killed;
};

// The value of constant register `index`: the program's def, else the caller's, else 0.
template <int L> inline const float* ConstantRow(const Frame<L>& f, int index)
{
    static const float kZero[4] = {0, 0, 0, 0};
    if (index < 0 || index >= kShaderMaxVertexConstants) {
        return kZero;
    }
    const int16_t slot = f.program->defSlot[index];
    if (slot >= 0) {
        return &f.program->immediates[static_cast<size_t>(slot) * 4];
    }
    return index < f.constantCount && f.constants != nullptr ? f.constants[index] : kZero;
}

// Resolves source `s` (row offset `row` for matrix instructions) into four
// pointers to lane arrays, one per result component in `needed`; modified,
// constant and gathered values go through `scratch`.
template <int L>
inline void Fetch(const Frame<L>& f, const VmSrc& s, int row, uint8_t needed, float (*scratch)[L],
                  const float* out[4])
{
    switch (s.bank) {
    case VmBank::Temp:
    case VmBank::Input: {
        const float(*reg)[L] = s.bank == VmBank::Temp ? f.temps[s.index + row] : f.inputs[s.index + row];
        for (int k = 0; k < 4; ++k) {
            if ((needed >> k) & 1) {
                const float* p = reg[s.swizzle[k]];
                if (s.mod == 0) {
                    out[k] = p;
                } else {
                    for (int l = 0; l < L; ++l) {
                        scratch[k][l] = ApplyMod(s.mod, p[l]);
                    }
                    out[k] = scratch[k];
                }
            }
        }
        return;
    }
    case VmBank::Const:
    case VmBank::Immediate: {
        const float* row4 = s.bank == VmBank::Immediate
                                ? &f.program->immediates[static_cast<size_t>(s.index) * 4]
                                : ConstantRow(f, s.index + row);
        for (int k = 0; k < 4; ++k) {
            if ((needed >> k) & 1) {
                float v = row4[s.swizzle[k]];
                if (f.pixel) {
                    v = v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v; // ps_1_x constants lie in [-1, 1]
                }
                v = ApplyMod(s.mod, v);
                for (int l = 0; l < L; ++l) {
                    scratch[k][l] = v;
                }
                out[k] = scratch[k];
            }
        }
        return;
    }
    case VmBank::ConstRel: {
        const int32_t* a = f.a0[s.relComponent];
        const bool defs = f.program->hasRelativeDefs;
        for (int k = 0; k < 4; ++k) {
            if (!((needed >> k) & 1)) {
                continue;
            }
            const int c = s.swizzle[k];
            for (int l = 0; l < L; ++l) {
                const int32_t index = a[l] + s.index + row;
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

template <int L> inline float Dot(const float* const a[4], const float* const b[4], int n, int l)
{
    float sum = a[0][l] * b[0][l];
    for (int c = 1; c < n; ++c) {
        sum += a[c][l] * b[c][l];
    }
    return sum;
}

// Components of each source that an instruction reads.
inline uint8_t Needed(const VmInst& in)
{
    switch (in.op) {
    case VmOp::Dp3:
    case VmOp::M3x4:
    case VmOp::M3x3:
    case VmOp::M3x2:
    case VmOp::Crs:
        return 0x7;
    case VmOp::Rcp:
    case VmOp::Rsq:
    case VmOp::Exp:
    case VmOp::Log:
    case VmOp::ExppFull:
    case VmOp::ExppScalar:
    case VmOp::LogpFull:
    case VmOp::LogpScalar:
    case VmOp::Pow:
    case VmOp::SinCos:
        return 0x8; // the replicate swizzle's component (w when none is given)
    case VmOp::Mov:
    case VmOp::Add:
    case VmOp::Sub:
    case VmOp::Mad:
    case VmOp::Mul:
    case VmOp::Min:
    case VmOp::Max:
    case VmOp::Slt:
    case VmOp::Sge:
    case VmOp::Frc:
    case VmOp::Lrp:
    case VmOp::Sgn:
    case VmOp::Abs:
    case VmOp::Mova:
    case VmOp::Cnd:
    case VmOp::Cmp:
        return in.dst.mask;
    default:
        return 0xF;
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
template <int L> void Compute(Frame<L>& f, const VmInst& in, float (*res)[L])
{
    float scratch[3][4][L];
    const float* s[3][4] = {};
    const uint8_t needed = Needed(in);
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
        Fetch(f, in.src[0], 0, needed, scratch[0], s[0]);
        for (int r = 0; r < rows; ++r) {
            if (!((mask >> r) & 1)) {
                continue;
            }
            Fetch(f, in.src[1], r, needed, scratch[1], s[1]);
            for (int l = 0; l < L; ++l) {
                res[r][l] = Dot<L>(s[0], s[1], columns, l);
            }
        }
        return;
    }
    default:
        break;
    }
    for (int i = 0; i < in.sources; ++i) {
        Fetch(f, in.src[i], 0, needed, scratch[i], s[i]);
    }
    auto each = [&](auto fn) {
        for (int c = 0; c < 4; ++c) {
            if ((mask >> c) & 1) {
                for (int l = 0; l < L; ++l) {
                    res[c][l] = fn(c, l);
                }
            }
        }
    };
    auto scalar = [&](auto fn) { // one value replicated to every written component
        for (int l = 0; l < L; ++l) {
            const float v = fn(l);
            for (int c = 0; c < 4; ++c) {
                res[c][l] = v;
            }
        }
    };
    const float* const* a = s[0];
    const float* const* b = s[1];
    const float* const* c3 = s[2];
    switch (in.op) {
    case VmOp::Mov:
    case VmOp::Mova:
        each([&](int c, int l) { return a[c][l]; });
        return;
    case VmOp::Add:
        each([&](int c, int l) { return a[c][l] + b[c][l]; });
        return;
    case VmOp::Sub:
        each([&](int c, int l) { return a[c][l] - b[c][l]; });
        return;
    case VmOp::Mul:
        each([&](int c, int l) { return a[c][l] * b[c][l]; });
        return;
    case VmOp::Mad:
        each([&](int c, int l) { return a[c][l] * b[c][l] + c3[c][l]; });
        return;
    case VmOp::Min:
        each([&](int c, int l) { return a[c][l] < b[c][l] ? a[c][l] : b[c][l]; });
        return;
    case VmOp::Max:
        each([&](int c, int l) { return a[c][l] >= b[c][l] ? a[c][l] : b[c][l]; });
        return;
    case VmOp::Slt:
        each([&](int c, int l) { return a[c][l] < b[c][l] ? 1.0f : 0.0f; });
        return;
    case VmOp::Sge:
        each([&](int c, int l) { return a[c][l] >= b[c][l] ? 1.0f : 0.0f; });
        return;
    case VmOp::Frc:
        each([&](int c, int l) { return a[c][l] - std::floor(a[c][l]); });
        return;
    case VmOp::Lrp:
        each([&](int c, int l) { return a[c][l] * (b[c][l] - c3[c][l]) + c3[c][l]; });
        return;
    case VmOp::Abs:
        each([&](int c, int l) { return std::fabs(a[c][l]); });
        return;
    case VmOp::Sgn:
        each([&](int c, int l) { return a[c][l] < 0.0f ? -1.0f : a[c][l] > 0.0f ? 1.0f : 0.0f; });
        return;
    case VmOp::Cnd:
        each([&](int c, int l) { return a[c][l] > 0.5f ? b[c][l] : c3[c][l]; });
        return;
    case VmOp::Cmp:
        each([&](int c, int l) { return a[c][l] >= 0.0f ? b[c][l] : c3[c][l]; });
        return;
    case VmOp::Dp3:
        scalar([&](int l) { return Dot<L>(a, b, 3, l); });
        return;
    case VmOp::Dp4:
        scalar([&](int l) { return Dot<L>(a, b, 4, l); });
        return;
    case VmOp::Rcp:
        scalar([&](int l) { return Rcp(a[3][l]); });
        return;
    case VmOp::Rsq:
        scalar([&](int l) { return Rsq(a[3][l]); });
        return;
    case VmOp::Exp:
        scalar([&](int l) { return std::exp2(a[3][l]); });
        return;
    case VmOp::Log:
        scalar([&](int l) { return Log2Abs(a[3][l]); });
        return;
    case VmOp::ExppScalar:
        scalar([&](int l) { return Partial(std::exp2(a[3][l])); });
        return;
    case VmOp::LogpScalar:
        scalar([&](int l) { return a[3][l] != 0.0f ? Partial(Log2Abs(a[3][l])) : -FLT_MAX; });
        return;
    case VmOp::Pow:
        scalar([&](int l) { return std::pow(std::fabs(a[3][l]), b[3][l]); });
        return;
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
            const float length2 = Dot<L>(a, a, 3, l);
            // A zero vector stays zero rather than becoming 0 x infinity.
            const float scale = length2 != 0.0f ? 1.0f / std::sqrt(length2) : 0.0f;
            for (int c = 0; c < 3; ++c) {
                res[c][l] = a[c][l] * scale;
            }
            res[3][l] = a[3][l] * scale;
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
    const float scale = d.shift == 0 ? 1.0f : d.shift > 0 ? static_cast<float>(1 << d.shift) : 0.5f;
    const float range = f.pixel ? f.state->maxValue : 0.0f;
    for (int c = 0; c < 4; ++c) {
        if (!((d.mask >> c) & 1)) {
            continue;
        }
        if (d.shift == 0 && !d.saturate && !f.pixel) {
            std::memcpy(reg[c], res[c], sizeof(float) * L);
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
    const std::vector<VmInst>& code = f.program->code;
    float res[2][4][L];
    for (size_t i = 0; i < code.size(); ++i) {
        Compute(f, code[i], res[0]);
        if (i + 1 < code.size() && code[i + 1].coissue) {
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

template <int L> void ZeroReadFirst(Frame<L>& f)
{
    for (int r = 0; r < kVmTempSlots; ++r) {
        const uint8_t m = f.program->tempReadFirst[r];
        for (int c = 0; c < 4; ++c) {
            if ((m >> c) & 1) {
                for (int l = 0; l < L; ++l) {
                    f.temps[r][c][l] = 0.0f;
                }
            }
        }
    }
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < L; ++l) {
            f.a0[c][l] = 0;
        }
    }
}

constexpr float kOutputDefaults[kShaderOutputCount][4] = {
    {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
    {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 0, 0, 0},
};

} // namespace

bool ShaderVertexRun(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                     ShaderVertexBatch* batch)
{
    if (program == nullptr || program->pixel || batch == nullptr) {
        return false;
    }
    ShaderLanes4 temps[kVmTempSlots];
    Frame<kShaderLanes> f;
    f.program = program;
    f.temps = reinterpret_cast<float(*)[4][kShaderLanes]>(temps);
    f.inputs = reinterpret_cast<const float(*)[4][kShaderLanes]>(batch->input);
    f.outputs = reinterpret_cast<float(*)[4][kShaderLanes]>(batch->output);
    f.constants = constants;
    f.constantCount = constants == nullptr                        ? 0
                      : constantCount < 0                         ? 0
                      : constantCount > kShaderMaxVertexConstants ? kShaderMaxVertexConstants
                                                                  : constantCount;
    f.pixel = false;
    f.state = nullptr;
    f.pixelInputs = nullptr;
    f.killed = false;
    ZeroReadFirst(f);
    for (int o = 0; o < kShaderOutputCount; ++o) {
        const uint8_t written = program->outputWritten[o];
        if (written == 0 || written == 0xF) {
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (!((written >> c) & 1)) {
                for (int l = 0; l < kShaderLanes; ++l) {
                    batch->output[o].v[c][l] = kOutputDefaults[o][c];
                }
            }
        }
    }
    Execute(f);
    return true;
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
    ZeroReadFirst(f);
    temps[0][0][0] = temps[0][1][0] = temps[0][2][0] = temps[0][3][0] =
        0.0f; // r0 is the result even if unwritten
    Execute(f);
    for (int c = 0; c < 4; ++c) {
        const float v = temps[0][c][0];
        result[c] = v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
    }
    return !f.killed;
}
