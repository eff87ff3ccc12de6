// The interpreter on the generator's own texts: the directional-light and
// skinning shaders against double-precision formulas on random inputs,
// grouped batches against single runs, and every form the generator writes
// decoded and run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/d3d9/renderer/vertexshadertext.h"
#include "platform/shadervm/tests/shadertest_util.h"

namespace {

ShaderVertexBatch* NewBatch()
{
    static ShaderVertexBatch batch;
    batch = ShaderVertexBatch{};
    return &batch;
}

VertexShaderDescriptor Make(uint32_t d, uint32_t p, uint32_t s, uint32_t t, uint32_t w, uint32_t fog,
                            uint32_t effect, uint32_t flags)
{
    return VertexShaderDescriptorMake(d, p, s, t, w, fog, effect, flags);
}

// A spread of descriptors covering every line form of the generator.
std::vector<VertexShaderDescriptor> Spread()
{
    std::vector<VertexShaderDescriptor> spread = {0, Make(1, 0, 0, 1, 0, 0, 0, kVertexShaderNormals)};
    // Lights of every kind and group size, with material colour, prelit and fog variants.
    for (uint32_t i = 0; i < 6; ++i) {
        const uint32_t flags = kVertexShaderNormals | ((i & 1) ? kVertexShaderNormalise : 0) |
                               ((i & 2) ? kVertexShaderMaterialColour : 0) |
                               (i % 3 == 0 ? kVertexShaderPrelit : 0);
        spread.push_back(Make(i * 3 % 6, i == 1 ? 5 : i, (i + 2) % 6, i % 3, 0, i % 4, 0, flags));
    }
    // Skinning with 1-4 weights, with and without normals, with morphing.
    for (uint32_t w = 1; w <= 4; ++w) {
        for (uint32_t normals = 0; normals < 2; ++normals) {
            const uint32_t flags = (normals ? kVertexShaderNormals : 0) | (w == 2 ? kVertexShaderMorph : 0);
            spread.push_back(Make(1, normals, 0, 1, w, w % 4, 0, flags));
        }
    }
    spread.push_back(Make(2, 0, 0, 0, 0, 0, 0, kVertexShaderMorph | kVertexShaderNormals));
    // Every texture effect, with and without lights; bump mode with each light kind.
    for (uint32_t e = 1; e <= 11; ++e) {
        spread.push_back(Make(e % 2, 0, 0, e == 4 || e == 7 ? 2 : 1,
                              e == 3    ? 2
                              : e == 10 ? 1
                                        : 0,
                              0, e, kVertexShaderNormals));
    }
    for (uint32_t light = 0; light < 4; ++light) {
        for (uint32_t e = 8; e <= 9; ++e) {
            const uint32_t flags =
                kVertexShaderNormals | kVertexShaderNormalise | (light == 3 ? kVertexShaderPrelit : 0);
            spread.push_back(Make(light == 0, light == 1, light == 2, 2,
                                  light == 3   ? 1
                                  : light == 2 ? 3
                                               : 0,
                                  0, e, flags));
        }
    }
    return spread;
}

ProgramPtr Build(VertexShaderDescriptor d, int profile, uint32_t budget = 256,
                 VertexShaderConstantLayout* layout = nullptr)
{
    return Assemble(VertexShaderText(d, profile, budget, false, layout));
}

using GeneratedRun = ::testing::Test;

} // namespace

// Transform by the transposed matrix in c0..c3, ambient c4 plus colour c6
// times max(0, -L.N).
TEST_F(GeneratedRun, DirectionalLightShader)
{
    TestRandom random(3);
    for (int profile : {10, 20, 25}) {
        ProgramPtr program = Build(Make(1, 0, 0, 1, 0, 0, 0, kVertexShaderNormals), profile);
        ASSERT_NE(program, nullptr);
        EXPECT_EQ(ShaderProgramFindInput(program.get(), ShaderUsage::Normal, 0), 3);
        float c[7][4];
        for (auto& row : c) {
            for (float& v : row) {
                v = random.Uniform(-1, 1);
            }
        }
        c[5][3] = 0; // the light direction's w is the zero of the clamp
        c[6][3] = 0;
        ShaderVertexBatch* batch = NewBatch();
        for (int l = 0; l < kShaderLanes; ++l) {
            for (int comp = 0; comp < 4; ++comp) {
                batch->input[0].v[comp][l] = comp == 3 ? 1.0f : random.Uniform(-5, 5);
                batch->input[3].v[comp][l] = random.Uniform(-1, 1);
                batch->input[5].v[comp][l] = random.Uniform(0, 1);
            }
        }
        ASSERT_TRUE(ShaderVertexRun(program.get(), c, 7, batch));
        for (int l = 0; l < kShaderLanes; ++l) {
            double p[4], n[3];
            for (int comp = 0; comp < 4; ++comp) {
                p[comp] = batch->input[0].v[comp][l];
            }
            for (int comp = 0; comp < 3; ++comp) {
                n[comp] = batch->input[3].v[comp][l];
            }
            for (int row = 0; row < 4; ++row) {
                double expected = p[0] * c[row][0] + p[1] * c[row][1] + p[2] * c[row][2] + p[3] * c[row][3];
                EXPECT_NEAR(batch->output[kShaderOutPosition].v[row][l], expected, 1e-5);
            }
            double lambert = std::max(0.0, -(c[5][0] * n[0] + c[5][1] * n[1] + c[5][2] * n[2]));
            for (int comp = 0; comp < 4; ++comp) {
                EXPECT_NEAR(batch->output[kShaderOutColor0].v[comp][l], c[4][comp] + c[6][comp] * lambert,
                            1e-5);
            }
            EXPECT_EQ(batch->output[kShaderOutTexCoord0].v[1][l], batch->input[5].v[1][l]);
        }
    }
}

// Two, three and four weights through the bone palette and relative
// addressing, with and without normals (two different blend forms).
TEST_F(GeneratedRun, SkinningShader)
{
    TestRandom random(11);
    for (uint32_t weights = 2; weights <= 4; ++weights) {
        for (uint32_t flags : {uint32_t(kVertexShaderNormals), 0u}) {
            for (int profile : {10, 20}) {
                VertexShaderConstantLayout layout;
                ProgramPtr program = Build(Make(1, 0, 0, 0, weights, 0, 0, flags), profile, 96, &layout);
                ASSERT_NE(program, nullptr);
                ASSERT_EQ(layout.bones, 7);
                float c[96][4];
                for (auto& row : c) {
                    for (float& v : row) {
                        v = random.Uniform(-1, 1);
                    }
                }
                c[5][3] = 0; // the light direction's w is the zero of the clamp
                ShaderVertexBatch* batch = NewBatch();
                for (int l = 0; l < kShaderLanes; ++l) {
                    for (int comp = 0; comp < 4; ++comp) {
                        batch->input[0].v[comp][l] = comp == 3 ? 1.0f : random.Uniform(-5, 5);
                        batch->input[3].v[comp][l] = random.Uniform(-1, 1);
                    }
                    float left = 1.0f;
                    for (uint32_t w = 0; w < weights; ++w) {
                        const float weight = w + 1 == weights ? left : random.Uniform(0, left);
                        batch->input[1].v[w][l] = weight;
                        left -= weight;
                        batch->input[2].v[w][l] = float(3 * (random.Next() % 20)); // 3 registers per bone
                    }
                }
                ASSERT_TRUE(ShaderVertexRun(program.get(), c, 96, batch));
                for (int l = 0; l < kShaderLanes; ++l) {
                    // Blended 4x3 palette matrix, then the position through it, then through c0..c3.
                    double skinned[4] = {0, 0, 0, 1};
                    for (int row = 0; row < 3; ++row) {
                        double sum = 0;
                        for (uint32_t w = 0; w < weights; ++w) {
                            const int base = layout.bones + int(batch->input[2].v[w][l]) + row;
                            double dot = 0;
                            for (int comp = 0; comp < 4; ++comp) {
                                dot += batch->input[0].v[comp][l] * c[base][comp];
                            }
                            sum += batch->input[1].v[w][l] * dot;
                        }
                        skinned[row] = sum;
                    }
                    for (int row = 0; row < 4; ++row) {
                        double expected = 0;
                        for (int comp = 0; comp < 4; ++comp) {
                            expected += skinned[comp] * c[row][comp];
                        }
                        EXPECT_NEAR(batch->output[kShaderOutPosition].v[row][l], expected, 1e-4)
                            << weights << " weights, flags " << flags << ", profile " << profile;
                    }
                    if (flags == 0) {
                        continue;
                    }
                    // The normal through the blended 3x3, lit by the directional light.
                    double normal[3] = {0, 0, 0};
                    for (int row = 0; row < 3; ++row) {
                        for (uint32_t w = 0; w < weights; ++w) {
                            const int base = layout.bones + int(batch->input[2].v[w][l]) + row;
                            for (int comp = 0; comp < 3; ++comp) {
                                normal[row] +=
                                    batch->input[1].v[w][l] * batch->input[3].v[comp][l] * c[base][comp];
                            }
                        }
                    }
                    const double lambert =
                        std::max(0.0, -(c[5][0] * normal[0] + c[5][1] * normal[1] + c[5][2] * normal[2]));
                    for (int comp = 0; comp < 3; ++comp) {
                        EXPECT_NEAR(batch->output[kShaderOutColor0].v[comp][l],
                                    c[4][comp] + c[6][comp] * lambert, 1e-4)
                            << weights << " weights, profile " << profile;
                    }
                }
            }
        }
    }
}

// Batches run in groups give exactly what one-batch runs give (relative
// addressing, temporaries and a0 per batch).
TEST_F(GeneratedRun, GroupsOfBatchesMatchSingleRuns)
{
    TestRandom random(5);
    static float constants[256][4];
    for (auto& row : constants) {
        for (float& v : row) {
            v = random.Uniform(-1, 1);
        }
    }
    constexpr int kBatches = 11; // one full group of eight and a partial one
    std::vector<ShaderVertexBatch> grouped(kBatches);
    std::vector<ShaderVertexBatch> single(kBatches);
    for (VertexShaderDescriptor d : Spread()) {
        ProgramPtr program = Build(d, 20);
        ASSERT_NE(program, nullptr) << std::hex << d;
        for (ShaderVertexBatch& batch : grouped) {
            for (auto& reg : batch.input) {
                for (auto& component : reg.v) {
                    for (float& v : component) {
                        v = random.Uniform(-2, 2);
                    }
                }
            }
            for (int l = 0; l < kShaderLanes; ++l) {
                for (int w = 0; w < 4; ++w) {
                    batch.input[2].v[w][l] = float(3 * (random.Next() % 40));
                }
            }
        }
        single = grouped;
        ASSERT_TRUE(ShaderVertexRunBatches(program.get(), constants, 256, grouped.data(), kBatches));
        for (ShaderVertexBatch& batch : single) {
            ASSERT_TRUE(ShaderVertexRun(program.get(), constants, 256, &batch));
        }
        const uint32_t written = ShaderProgramOutputMask(program.get());
        for (int b = 0; b < kBatches; ++b) {
            for (int o = 0; o < kShaderOutputCount; ++o) {
                if (written & (1u << o)) {
                    EXPECT_EQ(std::memcmp(&grouped[b].output[o], &single[b].output[o], sizeof(ShaderLanes4)),
                              0)
                        << std::hex << d << std::dec << " batch " << b << " output " << o;
                }
            }
        }
    }
}

TEST_F(GeneratedRun, EveryFormDecodesAndRuns)
{
    static const float constants[256][4] = {};
    for (VertexShaderDescriptor d : Spread()) {
        for (int profile : {10, 20, 25}) {
            ProgramPtr program = Build(d, profile);
            ASSERT_NE(program, nullptr) << std::hex << d;
            EXPECT_TRUE(ShaderVertexRun(program.get(), constants, 256, NewBatch()));
        }
    }
}
