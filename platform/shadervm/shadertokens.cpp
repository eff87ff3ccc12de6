// The opcode table of the shader token format.
#include "platform/shadervm/shadertokens.h"

#include <cstring>

namespace {

constexpr ShaderOpcodeInfo kOpcodes[] = {
#define OLAI_SHADER_OPCODE_INFO(mnemonic, name, code, dsts, srcs, form)                                      \
    {mnemonic, ShaderOpcode::name, dsts, srcs, ShaderOperandForm::form},
    OLAI_SHADER_OPCODES(OLAI_SHADER_OPCODE_INFO)
#undef OLAI_SHADER_OPCODE_INFO
};

} // namespace

const ShaderOpcodeInfo* ShaderOpcodeFind(uint32_t opcode)
{
    for (const ShaderOpcodeInfo& info : kOpcodes) {
        if (static_cast<uint32_t>(info.opcode) == opcode) {
            return &info;
        }
    }
    return nullptr;
}

const ShaderOpcodeInfo* ShaderOpcodeFindByName(const char* mnemonic, size_t length)
{
    for (const ShaderOpcodeInfo& info : kOpcodes) {
        if (std::strlen(info.mnemonic) == length && std::memcmp(info.mnemonic, mnemonic, length) == 0) {
            return &info;
        }
    }
    return nullptr;
}

bool ShaderOpcodeAvailable(ShaderOpcode op, uint32_t version)
{
    const bool pixel = ShaderVersionIsPixel(version);
    const unsigned versionMajor = ShaderVersionMajor(version);
    const unsigned versionMinor = ShaderVersionMinor(version);
    switch (op) {
    case ShaderOpcode::Nop:
    case ShaderOpcode::Mov:
    case ShaderOpcode::Add:
    case ShaderOpcode::Sub:
    case ShaderOpcode::Mad:
    case ShaderOpcode::Mul:
    case ShaderOpcode::Dp3:
    case ShaderOpcode::Def:
        return true;
    case ShaderOpcode::Rcp:
    case ShaderOpcode::Rsq:
    case ShaderOpcode::Min:
    case ShaderOpcode::Max:
    case ShaderOpcode::Slt:
    case ShaderOpcode::Sge:
    case ShaderOpcode::Exp:
    case ShaderOpcode::Log:
    case ShaderOpcode::Lit:
    case ShaderOpcode::Dst:
    case ShaderOpcode::Frc:
    case ShaderOpcode::M4x4:
    case ShaderOpcode::M4x3:
    case ShaderOpcode::M3x4:
    case ShaderOpcode::M3x3:
    case ShaderOpcode::M3x2:
    case ShaderOpcode::Expp:
    case ShaderOpcode::Logp:
        return !pixel;
    case ShaderOpcode::Dp4:
        return !pixel || versionMinor >= 2;
    case ShaderOpcode::Lrp:
        return pixel || versionMajor >= 2;
    case ShaderOpcode::Pow:
    case ShaderOpcode::Crs:
    case ShaderOpcode::Sgn:
    case ShaderOpcode::Abs:
    case ShaderOpcode::Nrm:
    case ShaderOpcode::SinCos:
    case ShaderOpcode::Mova:
        return !pixel && versionMajor >= 2;
    case ShaderOpcode::TexCoord:
    case ShaderOpcode::TexKill:
    case ShaderOpcode::Tex:
    case ShaderOpcode::TexBem:
    case ShaderOpcode::TexBemL:
    case ShaderOpcode::Cnd:
        return pixel;
    case ShaderOpcode::Cmp:
        return pixel && versionMinor >= 2;
    default: // dcl is handled apart; defi, defb need flow control, which is not supported
        return false;
    }
}
