// Shader token decoder on arbitrary token arrays (little-endian 32-bit
// words): a stream is refused or decodes into a program that runs without
// faults, as a vertex batch or a pixel.
#include "platform/shadervm/shadervm.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Sampler(void*, int stage, float u, float v, float w, float rgba[4])
{
    if (stage < 0 || stage >= kShaderPixelTextures) {
        std::abort();
    }
    rgba[0] = u;
    rgba[1] = v;
    rgba[2] = w;
    rgba[3] = 1.0f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint32_t> tokens(size / 4);
    for (size_t i = 0; i < tokens.size(); ++i) {
        tokens[i] = static_cast<uint32_t>(data[4 * i]) | static_cast<uint32_t>(data[4 * i + 1]) << 8 |
                    static_cast<uint32_t>(data[4 * i + 2]) << 16 |
                    static_cast<uint32_t>(data[4 * i + 3]) << 24;
    }
    const size_t length = ShaderTokensLength(tokens.data(), tokens.size());
    if (length > tokens.size()) {
        std::abort();
    }
    std::string error;
    ShaderProgram* program = ShaderProgramCreate(tokens.data(), tokens.size(), &error);
    if (program == nullptr) {
        if (error.empty()) {
            std::abort();
        }
        return 0;
    }
    if (ShaderProgramIsPixel(program)) {
        ShaderPixelState state;
        static const float constants[kShaderPixelConstants][4] = {{1, 2, 3, 4}, {-1, -0.5f, 0.5f, 1}};
        state.constants = constants;
        state.sample = Sampler;
        ShaderPixelInputs inputs = {{{0.5f, 0.25f, 1, 1}, {0, 1, 0.5f, 0}},
                                    {{0.1f, 0.2f, 0.3f, 1}, {-1, 2, 0, 1}, {0, 0, 0, 0}, {1, 1, 1, 1}}};
        float result[4];
        ShaderPixelRun(program, state, inputs, result);
    } else {
        static ShaderVertexBatch batch;
        static float constants[kShaderMaxVertexConstants][4];
        for (int i = 0; i < kShaderMaxVertexConstants; ++i) {
            for (int c = 0; c < 4; ++c) {
                constants[i][c] = static_cast<float>(i % 7) - 3.0f + 0.25f * static_cast<float>(c);
            }
        }
        for (int r = 0; r < kShaderVertexInputs; ++r) {
            for (int c = 0; c < 4; ++c) {
                for (int l = 0; l < kShaderLanes; ++l) {
                    batch.input[r].v[c][l] = static_cast<float>((r * 13 + c * 5 + l * 31) % 17) - 8.0f;
                }
            }
        }
        ShaderVertexRun(program, constants, kShaderMaxVertexConstants, &batch);
    }
    ShaderProgramDestroy(program);
    return 0;
}
