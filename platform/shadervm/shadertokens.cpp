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
