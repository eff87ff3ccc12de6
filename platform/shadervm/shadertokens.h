// The Direct3D 9 shader token format: version, instruction, parameter and
// declaration tokens with their published numeric values. Shared by the
// assembler and disassembler (platform/d3dx9) and the interpreter's decoder,
// so the opcode table exists once.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- version

inline constexpr uint32_t kShaderVertexVersionBase = 0xFFFE0000u; ///< vs_M_m = base | M << 8 | m
inline constexpr uint32_t kShaderPixelVersionBase = 0xFFFF0000u;  ///< ps_M_m = base | M << 8 | m
inline constexpr uint32_t kShaderEndToken = 0x0000FFFFu;

inline constexpr uint32_t ShaderVersionToken(bool pixel, unsigned major, unsigned minor)
{
    return (pixel ? kShaderPixelVersionBase : kShaderVertexVersionBase) | (major << 8) | minor;
}
inline constexpr bool ShaderVersionIsPixel(uint32_t version)
{
    return (version >> 16) == 0xFFFFu;
}
inline constexpr bool ShaderVersionIsVertex(uint32_t version)
{
    return (version >> 16) == 0xFFFEu;
}
inline constexpr unsigned ShaderVersionMajor(uint32_t version)
{
    return (version >> 8) & 0xFFu;
}
inline constexpr unsigned ShaderVersionMinor(uint32_t version)
{
    return version & 0xFFu;
}

// ---------------------------------------------------------------- instruction token
// bits 0-15 opcode, 16-23 opcode-specific control, 24-27 length of the
// instruction's parameter tokens (shader model 2 and later; 0 before),
// bit 28 predicated, bit 30 co-issue (pixel shaders 1.x), bit 31 clear.

inline constexpr uint32_t kShaderOpcodeMask = 0x0000FFFFu;
inline constexpr uint32_t kShaderInstLengthShift = 24;
inline constexpr uint32_t kShaderInstLengthMask = 0x0F000000u;
inline constexpr uint32_t kShaderCoissue = 0x40000000u;
inline constexpr uint32_t kShaderPredicated = 0x10000000u;
inline constexpr uint32_t kShaderCommentOpcode = 0xFFFEu; ///< comment: bits 16-30 hold its length in tokens
inline constexpr uint32_t kShaderCommentLengthShift = 16;
inline constexpr uint32_t kShaderCommentLengthMask = 0x7FFF0000u;

/// Operand layout of an instruction: how many destination and source
/// parameters follow the instruction token (declarations and definitions
/// have their own layouts).
enum class ShaderOperandForm : uint8_t
{
    Normal, ///< dst (0 or 1) then sources
    Dcl,    ///< usage token, then a destination
    Def,    ///< destination, then four 32-bit values (floats, ints or one bool)
    DefB,   ///< destination, then one bool value
};

// X(mnemonic, Name, opcode, destinations, sources, form)
// Every instruction that our assembler, disassembler and interpreter know.
#define OLAI_SHADER_OPCODES(X)                                                                               \
    X("nop", Nop, 0, 0, 0, Normal)                                                                           \
    X("mov", Mov, 1, 1, 1, Normal)                                                                           \
    X("add", Add, 2, 1, 2, Normal)                                                                           \
    X("sub", Sub, 3, 1, 2, Normal)                                                                           \
    X("mad", Mad, 4, 1, 3, Normal)                                                                           \
    X("mul", Mul, 5, 1, 2, Normal)                                                                           \
    X("rcp", Rcp, 6, 1, 1, Normal)                                                                           \
    X("rsq", Rsq, 7, 1, 1, Normal)                                                                           \
    X("dp3", Dp3, 8, 1, 2, Normal)                                                                           \
    X("dp4", Dp4, 9, 1, 2, Normal)                                                                           \
    X("min", Min, 10, 1, 2, Normal)                                                                          \
    X("max", Max, 11, 1, 2, Normal)                                                                          \
    X("slt", Slt, 12, 1, 2, Normal)                                                                          \
    X("sge", Sge, 13, 1, 2, Normal)                                                                          \
    X("exp", Exp, 14, 1, 1, Normal)                                                                          \
    X("log", Log, 15, 1, 1, Normal)                                                                          \
    X("lit", Lit, 16, 1, 1, Normal)                                                                          \
    X("dst", Dst, 17, 1, 2, Normal)                                                                          \
    X("lrp", Lrp, 18, 1, 3, Normal)                                                                          \
    X("frc", Frc, 19, 1, 1, Normal)                                                                          \
    X("m4x4", M4x4, 20, 1, 2, Normal)                                                                        \
    X("m4x3", M4x3, 21, 1, 2, Normal)                                                                        \
    X("m3x4", M3x4, 22, 1, 2, Normal)                                                                        \
    X("m3x3", M3x3, 23, 1, 2, Normal)                                                                        \
    X("m3x2", M3x2, 24, 1, 2, Normal)                                                                        \
    X("dcl", Dcl, 31, 1, 0, Dcl)                                                                             \
    X("pow", Pow, 32, 1, 2, Normal)                                                                          \
    X("crs", Crs, 33, 1, 2, Normal)                                                                          \
    X("sgn", Sgn, 34, 1, 3, Normal)                                                                          \
    X("abs", Abs, 35, 1, 1, Normal)                                                                          \
    X("nrm", Nrm, 36, 1, 1, Normal)                                                                          \
    X("sincos", SinCos, 37, 1, 3, Normal)                                                                    \
    X("mova", Mova, 46, 1, 1, Normal)                                                                        \
    X("defb", DefB, 47, 1, 0, DefB)                                                                          \
    X("defi", DefI, 48, 1, 0, Def)                                                                           \
    X("texcoord", TexCoord, 64, 1, 0, Normal)                                                                \
    X("texkill", TexKill, 65, 1, 0, Normal)                                                                  \
    X("tex", Tex, 66, 1, 0, Normal)                                                                          \
    X("texbem", TexBem, 67, 1, 1, Normal)                                                                    \
    X("texbeml", TexBemL, 68, 1, 1, Normal)                                                                  \
    X("expp", Expp, 78, 1, 1, Normal)                                                                        \
    X("logp", Logp, 79, 1, 1, Normal)                                                                        \
    X("cnd", Cnd, 80, 1, 3, Normal)                                                                          \
    X("def", Def, 81, 1, 0, Def)                                                                             \
    X("cmp", Cmp, 88, 1, 3, Normal)

enum class ShaderOpcode : uint16_t
{
#define OLAI_SHADER_OPCODE_ENUM(mnemonic, name, code, dsts, srcs, form) name = code,
    OLAI_SHADER_OPCODES(OLAI_SHADER_OPCODE_ENUM)
#undef OLAI_SHADER_OPCODE_ENUM
};

struct ShaderOpcodeInfo
{
    const char* mnemonic;
    ShaderOpcode opcode;
    uint8_t destinations;
    uint8_t sources;
    ShaderOperandForm form;
};

/// The table entry of an opcode number; null for opcodes we do not know.
const ShaderOpcodeInfo* ShaderOpcodeFind(uint32_t opcode);
/// The table entry of a mnemonic (lower case, exact); null when unknown.
const ShaderOpcodeInfo* ShaderOpcodeFindByName(const char* mnemonic, size_t length);
/// True when the instruction exists in the shader version (version token)
/// and our tools support it (no flow control; dcl is checked apart).
bool ShaderOpcodeAvailable(ShaderOpcode opcode, uint32_t version);

// ---------------------------------------------------------------- parameter tokens
// bits 0-10 register number, 11-12 register type bits 3-4, bit 13 relative
// addressing, 16-19 write mask (destination) or 16-23 swizzle (source),
// 20-23 result modifier (destination), 24-27 shift (destination) or source
// modifier, 28-30 register type bits 0-2, bit 31 set.

inline constexpr uint32_t kShaderParamBit = 0x80000000u;
inline constexpr uint32_t kShaderRegNumberMask = 0x000007FFu;
inline constexpr uint32_t kShaderRelative = 0x00002000u;
inline constexpr uint32_t kShaderWriteMaskShift = 16;
inline constexpr uint32_t kShaderWriteMaskAll = 0x000F0000u;
inline constexpr uint32_t kShaderSwizzleShift = 16;
inline constexpr uint32_t kShaderSwizzleIdentity = 0xE4u; ///< x y z w, 2 bits per component
inline constexpr uint32_t kShaderResultSaturate = 0x00100000u;
inline constexpr uint32_t kShaderResultPartial = 0x00200000u;
inline constexpr uint32_t kShaderResultCentroid = 0x00400000u;
inline constexpr uint32_t kShaderShiftShift =
    24; ///< signed 4-bit: 1 = _x2, 2 = _x4, 3 = _x8, 15 = _d2, 14 = _d4, 13 = _d8

enum class ShaderRegType : uint8_t
{
    Temp = 0,      ///< r#
    Input = 1,     ///< v#
    Const = 2,     ///< c#
    Addr = 3,      ///< a0 in vertex shaders
    Texture = 3,   ///< t# in pixel shaders
    RastOut = 4,   ///< oPos (0), oFog (1), oPts (2)
    AttrOut = 5,   ///< oD0, oD1
    TexCrdOut = 6, ///< oT#
    ConstInt = 7,  ///< i#
    ColorOut = 8,  ///< oC# (pixel shaders 2.0)
    DepthOut = 9,
    Sampler = 10,
    ConstBool = 14, ///< b#
    Loop = 15,
    Predicate = 19,
};

enum class ShaderSrcMod : uint8_t
{
    None = 0,
    Neg = 1,
    Bias = 2,
    BiasNeg = 3,
    Sign = 4, ///< _bx2
    SignNeg = 5,
    Comp = 6, ///< 1 - x
    X2 = 7,
    X2Neg = 8,
    Dz = 9,
    Dw = 10,
    Abs = 11,
    AbsNeg = 12,
    Not = 13,
};

inline constexpr ShaderRegType ShaderParamRegType(uint32_t token)
{
    return static_cast<ShaderRegType>(((token >> 28) & 7u) | ((token >> 8) & 0x18u));
}
inline constexpr uint32_t ShaderParamRegNumber(uint32_t token)
{
    return token & kShaderRegNumberMask;
}
inline constexpr uint32_t ShaderParamWriteMask(uint32_t token)
{
    return (token >> 16) & 0xFu;
}
inline constexpr uint32_t ShaderParamSwizzle(uint32_t token)
{
    return (token >> 16) & 0xFFu;
}
inline constexpr ShaderSrcMod ShaderParamSrcMod(uint32_t token)
{
    return static_cast<ShaderSrcMod>((token >> 24) & 0xFu);
}
/// A parameter token's register type and number bits, with bit 31 set.
inline constexpr uint32_t ShaderParamRegister(ShaderRegType type, uint32_t number)
{
    uint32_t t = static_cast<uint32_t>(type);
    return kShaderParamBit | ((t & 7u) << 28) | ((t & 0x18u) << 8) | (number & kShaderRegNumberMask);
}

// ---------------------------------------------------------------- declarations
// dcl in vertex shaders: usage token = usage (bits 0-4) | usage index << 16 | bit 31.

enum class ShaderUsage : uint8_t
{
    Position = 0,
    BlendWeight = 1,
    BlendIndices = 2,
    Normal = 3,
    PSize = 4,
    TexCoord = 5,
    Tangent = 6,
    Binormal = 7,
    TessFactor = 8,
    PositionT = 9,
    Color = 10,
    Fog = 11,
    Depth = 12,
    Sample = 13,
};
inline constexpr int kShaderUsageCount = 14;
inline constexpr uint32_t kShaderUsageIndexShift = 16;
inline constexpr uint32_t kShaderUsageIndexMask = 0x000F0000u;
