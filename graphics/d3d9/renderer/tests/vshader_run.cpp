// Generated shaders run on the interpreter for one vertex against the
// processor's formulas: transform, ambient plus directional light, and the
// three fog modes (the exponential ones against the fixed-function curves).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "graphics/d3d9/renderer/vertexshadertext.h"
#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

namespace {

struct ProgramDeleter
{
    void operator()(ShaderProgram* p) const { ShaderProgramDestroy(p); }
};
using Program = std::unique_ptr<ShaderProgram, ProgramDeleter>;

Program Build(VertexShaderDescriptor d, int profile)
{
    ShaderAssembly assembly;
    if (!ShaderAssemble(VertexShaderText(d, profile, 256, false, nullptr), &assembly)) {
        return nullptr;
    }
    std::string error;
    return Program(ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), &error));
}

class VertexShaderRun : public ::testing::TestWithParam<int>
{
  protected:
    void SetUp() override
    {
        batch_ = std::make_unique<ShaderVertexBatch>();
        *batch_ = {};
        const float position[4] = {1.0f, 2.0f, 3.0f, 1.0f};
        const float normal[4] = {0.0f, 0.6f, 0.8f, 0.0f};
        for (int c = 0; c < 4; ++c) {
            batch_->input[0].v[c][0] = position[c];
            batch_->input[3].v[c][0] = normal[c];
        }
        // A projection-like matrix whose w row gives the distance 0.5 x + z + 2 = 5.5.
        const float rows[4][4] = {{1, 0, 0, 0.5f}, {0, 2, 0, 0}, {0, 0, 1, -1}, {0.5f, 0, 1, 2}};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                constants_[r][c] = rows[r][c];
            }
        }
        const float ambient[4] = {0.1f, 0.2f, 0.3f, 1.0f};
        std::copy(ambient, ambient + 4, constants_[4]);
    }

    float Output(int output, int component) const { return batch_->output[output].v[component][0]; }

    std::unique_ptr<ShaderVertexBatch> batch_;
    float constants_[256][4] = {};
};

constexpr float kDistance = 5.5f;

} // namespace

TEST_P(VertexShaderRun, DirectionalLightAndTransform)
{
    Program program =
        Build(VertexShaderDescriptorMake(1, 0, 0, 0, 0, 0, 0, kVertexShaderNormals), GetParam());
    ASSERT_NE(program, nullptr);
    const float direction[4] = {0.0f, 0.0f, -1.0f, 0.0f}; // towards -z: lights normals facing +z
    const float colour[4] = {0.5f, 0.25f, 1.0f, 0.0f};
    std::copy(direction, direction + 4, constants_[5]);
    std::copy(colour, colour + 4, constants_[6]);
    ASSERT_TRUE(ShaderVertexRun(program.get(), constants_, 7, batch_.get()));
    const float expectedPosition[4] = {1.0f + 0.5f, 4.0f, 3.0f - 1.0f, kDistance};
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(Output(kShaderOutPosition, c), expectedPosition[c], 1e-5) << c;
    }
    const float lambert = 0.8f;
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(Output(kShaderOutColor0, c), constants_[4][c] + colour[c] * lambert, 1e-5) << c;
    }
}

TEST_P(VertexShaderRun, FogMatchesTheFixedFunctionCurves)
{
    const float start = 2.0f, end = 10.0f, density = 0.3f;
    struct Case
    {
        uint32_t fog;
        float x, y;
        float expected;
    } cases[] = {
        {1, -1.0f / (end - start), end / (end - start), (end - kDistance) / (end - start)},
        {2, density * 1.442695f, 0.0f, std::exp(-kDistance * density)},
        {3, density * 1.2011224f, 0.0f, std::exp(-(kDistance * density) * (kDistance * density))},
    };
    for (const Case& c : cases) {
        Program program = Build(VertexShaderDescriptorMake(0, 0, 0, 0, 0, c.fog, 0, 0), GetParam());
        ASSERT_NE(program, nullptr);
        constants_[5][0] = c.x;
        constants_[5][1] = c.y;
        ASSERT_TRUE(ShaderVertexRun(program.get(), constants_, 6, batch_.get()));
        EXPECT_NEAR(Output(kShaderOutFog, 0), c.expected, 1e-4) << "fog " << c.fog;
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, VertexShaderRun, ::testing::Values(10, 20, 25));
