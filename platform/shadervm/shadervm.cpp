// Shader program creation and queries (the interpreter is being built; until
// then every stream is refused).
#include "platform/shadervm/shadervm.h"

size_t ShaderTokensLength(const uint32_t* tokens, size_t maxTokens)
{
    if (tokens == nullptr || maxTokens == 0) {
        return 0;
    }
    const bool model2 = ShaderVersionMajor(tokens[0]) >= 2;
    size_t i = 1;
    while (i < maxTokens) {
        const uint32_t token = tokens[i];
        if (token == kShaderEndToken) {
            return i + 1;
        }
        const uint32_t opcode = token & kShaderOpcodeMask;
        if (opcode == kShaderCommentOpcode) {
            i += 1 + ((token & kShaderCommentLengthMask) >> kShaderCommentLengthShift);
        } else if (model2) {
            i += 1 + ((token & kShaderInstLengthMask) >> kShaderInstLengthShift);
        } else if (opcode == static_cast<uint32_t>(ShaderOpcode::Def)) {
            i += 6;
        } else {
            // Shader model 1 has no length field; parameter tokens carry bit 31.
            ++i;
            while (i < maxTokens && (tokens[i] & kShaderParamBit) != 0) {
                ++i;
            }
        }
    }
    return 0;
}

ShaderProgram* ShaderProgramCreate(const uint32_t*, size_t, std::string* error)
{
    if (error != nullptr) {
        *error = "shader interpreter not available yet";
    }
    return nullptr;
}

void ShaderProgramDestroy(ShaderProgram*)
{
}
uint32_t ShaderProgramVersion(const ShaderProgram*)
{
    return 0;
}
bool ShaderProgramIsPixel(const ShaderProgram*)
{
    return false;
}
const uint32_t* ShaderProgramTokens(const ShaderProgram*, size_t* count)
{
    *count = 0;
    return nullptr;
}
uint32_t ShaderProgramInputMask(const ShaderProgram*)
{
    return 0;
}
bool ShaderProgramInputUsage(const ShaderProgram*, int, ShaderUsage*, uint32_t*)
{
    return false;
}
int ShaderProgramFindInput(const ShaderProgram*, ShaderUsage, uint32_t)
{
    return -1;
}
uint32_t ShaderProgramOutputMask(const ShaderProgram*)
{
    return 0;
}
uint32_t ShaderProgramOutputComponents(const ShaderProgram*, ShaderOutput)
{
    return 0;
}
uint32_t ShaderProgramSampledStages(const ShaderProgram*)
{
    return 0;
}
bool ShaderVertexRun(const ShaderProgram*, const float (*)[4], int, ShaderVertexBatch*)
{
    return false;
}
bool ShaderPixelRun(const ShaderProgram*, const ShaderPixelState&, const ShaderPixelInputs&, float*)
{
    return false;
}
