// Private: the compact form a token stream is decoded into. Every register
// reference is resolved to a bank and an index, every swizzle to four
// component numbers, and every check on indices is done here, once, so the
// executor runs without bounds checks except on relative addressing.
#pragma once

#include "platform/shadervm/shadervm.h"

#include <cstdint>
#include <vector>

enum class VmOp : uint8_t
{
    Mov,
    Add,
    Sub,
    Mad,
    Mul,
    Rcp,
    Rsq,
    Dp3,
    Dp4,
    Min,
    Max,
    Slt,
    Sge,
    Exp,
    Log,
    Lit,
    Dst,
    Lrp,
    Frc,
    M4x4,
    M4x3,
    M3x4,
    M3x3,
    M3x2,
    Pow,
    Crs,
    Sgn,
    Abs,
    Nrm,
    SinCos,
    Mova,     // also vs_1_1 "mov a0"
    ExppFull, // vs_1_1: x = 2^floor, y = fraction, z = partial 2^x, w = 1
    ExppScalar,
    LogpFull, // vs_1_1: x = exponent, y = mantissa, z = partial log2, w = 1
    LogpScalar,
    Cnd,
    Cmp,
    Tex,
    TexCoord,
    TexBem,
    TexBemL,
    TexKill,
};

// Where a register lives while a program runs.
enum class VmBank : uint8_t
{
    Temp,      // r# (and t# in pixel shaders, at index 32 + n)
    Input,     // v#
    Output,    // ShaderOutput index
    Const,     // c#, index known at decode
    ConstRel,  // c[a0.<component> + index]
    Immediate, // a def constant read directly: ShaderProgram::immediates[index]
    Addr,      // a0 (destination only)
};

inline constexpr int kVmTextureBase = 32; // t# follow the 32 temporaries in pixel shaders
inline constexpr int kVmTempSlots = 36;

struct VmSrc
{
    VmBank bank = VmBank::Temp;
    uint8_t mod = 0; // ShaderSrcMod
    uint8_t swizzle[4] = {0, 1, 2, 3};
    uint8_t relComponent = 0;
    uint8_t needed = 0xF; // components (after swizzle) the instruction reads
    uint16_t index = 0;
    uint16_t prepared = 0; // Const and Immediate: first entry of ShaderProgram::prepared (one per matrix row)
};

// A constant source operand, swizzled and modified once per run into lanes
// so that instructions read it like a register.
struct VmPrepared
{
    VmBank bank; // Const or Immediate
    uint8_t mod;
    uint8_t swizzle[4];
    uint16_t index;
};

struct VmDst
{
    VmBank bank = VmBank::Temp;
    uint8_t mask = 0xF;
    bool saturate = false;
    int8_t shift = 0; // pixel shaders: result x 2^shift
    uint16_t index = 0;
};

struct VmInst
{
    VmOp op = VmOp::Mov;
    bool coissue = false; // pixel shaders: runs together with the previous instruction
    bool direct = false;  // computes straight into its destination (no source reads it, no modifiers)
    uint8_t sources = 0;
    VmDst dst;
    VmSrc src[3];
};

struct ShaderProgram
{
    uint32_t version = 0;
    bool pixel = false;
    std::vector<uint32_t> tokens;
    std::vector<VmInst> code;

    // def constants: values by register, and which registers they replace.
    std::vector<float> immediates;                   // 4 floats per def
    int16_t defSlot[kShaderMaxVertexConstants] = {}; // -1 or index into immediates / 4
    bool hasRelativeDefs = false;

    // Vertex inputs.
    uint32_t inputMask = 0;
    uint32_t declaredMask = 0;
    uint8_t inputUsage[kShaderVertexInputs] = {};
    uint8_t inputUsageIndex[kShaderVertexInputs] = {};

    // Output components written (x..w bits) per ShaderOutput.
    uint8_t outputWritten[kShaderOutputCount] = {};
    std::vector<VmPrepared> prepared;

    // Temporary and a0 components read before any write: zeroed before a run.
    uint8_t tempReadFirst[kVmTempSlots] = {};
    uint8_t addrReadFirst = 0;
    std::vector<uint16_t> zeroFirst; // slot * 4 + component, from tempReadFirst
    // Output components the program leaves unwritten in outputs it writes: output * 4 + component.
    std::vector<uint16_t> outputDefaults;
    int tempCount = 0;

    uint32_t sampledStages = 0;
};
