// Shader assembler on arbitrary text: it must refuse or assemble without
// faults, and what it assembles must disassemble and reassemble to the same
// tokens, be accepted by the interpreter's decoder and run.
#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ShaderAssembly assembly;
    if (!ShaderAssemble(text, &assembly)) {
        if (assembly.error.empty() || !assembly.tokens.empty()) {
            std::abort();
        }
        return 0;
    }
    std::string disassembled;
    if (!ShaderDisassemble(assembly.tokens.data(), assembly.tokens.size(), &disassembled, nullptr)) {
        std::abort();
    }
    ShaderAssembly again;
    if (!ShaderAssemble(disassembled, &again) || again.tokens != assembly.tokens) {
        std::abort();
    }
    // What the assembler accepts, the interpreter accepts.
    std::string error;
    ShaderProgram* program = ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), &error);
    if (program == nullptr) {
        std::abort();
    }
    {
        if (ShaderProgramIsPixel(program)) {
            ShaderPixelState state;
            ShaderPixelInputs inputs = {};
            float result[4];
            ShaderPixelRun(program, state, inputs, result);
        } else {
            static ShaderVertexBatch batch = {};
            static const float constants[256][4] = {};
            ShaderVertexRun(program, constants, 256, &batch);
        }
    }
    ShaderProgramDestroy(program);
    return 0;
}
