// Pixel shaders 1.x: arithmetic with source and result modifiers against a
// double-precision reference, texture instructions through the sampler
// callback, co-issue, clamping and texkill.
#include "platform/shadervm/shadervm.h"

#include "shadertest_util.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace {

using Vec = std::array<double, 4>;

// The sampler returns a colour that encodes the stage and coordinates, so tests can tell what was sampled.
void EncodingSampler(void*, int stage, float u, float v, float w, float rgba[4])
{
    rgba[0] = u;
    rgba[1] = v;
    rgba[2] = w;
    rgba[3] = 0.1f * static_cast<float>(stage + 1);
}

struct Inputs
{
    Vec t[4];
    Vec v[2];
    Vec c[2];
};

struct PixelCase
{
    const char* line; // after "tex t0" and "tex t1"
    std::function<Vec(const Inputs&)> reference;
};

double Clamp1(double x)
{
    return std::clamp(x, -1.0, 1.0);
}
double Sat(double x)
{
    return std::clamp(x, 0.0, 1.0);
}

Vec Map(const std::function<double(int)>& fn)
{
    return {fn(0), fn(1), fn(2), fn(3)};
}

TEST(ShaderPixelRun, ArithmeticMatchesItsDefinition)
{
    const PixelCase cases[] = {
        {"mov r0, v0", [](const Inputs& in) { return in.v[0]; }},
        {"add r0, t0, v1",
         [](const Inputs& in) { return Map([&](int c) { return in.t[0][c] + in.v[1][c]; }); }},
        {"sub r0, t0, c1",
         [](const Inputs& in) { return Map([&](int c) { return in.t[0][c] - in.c[1][c]; }); }},
        {"mul r0, t0, t1.a",
         [](const Inputs& in) { return Map([&](int c) { return in.t[0][c] * in.t[1][3]; }); }},
        {"mad r0, t0, 1-t0.a, v0",
         [](const Inputs& in) {
             return Map([&](int c) { return Clamp1(in.t[0][c] * (1 - in.t[0][3]) + in.v[0][c]); });
         }},
        {"lrp r0, c0, t0, t1",
         [](const Inputs& in) {
             return Map([&](int c) { return in.c[0][c] * (in.t[0][c] - in.t[1][c]) + in.t[1][c]; });
         }},
        {"dp3 r0, t0_bx2, v0_bx2",
         [](const Inputs& in) {
             double d = 0;
             for (int c = 0; c < 3; ++c) {
                 d += (2 * in.t[0][c] - 1) * (2 * in.v[0][c] - 1);
             }
             return Map([&](int) { return Clamp1(d); });
         }},
        {"dp3_sat r0.rgb, t0, -v0_bias",
         [](const Inputs& in) {
             double d = 0;
             for (int c = 0; c < 3; ++c) {
                 d += in.t[0][c] * (0.5 - in.v[0][c]);
             }
             return Vec{Sat(d), Sat(d), Sat(d), 0};
         }},
        {"mul_x2 r0, t0, v0",
         [](const Inputs& in) { return Map([&](int c) { return Clamp1(2 * in.t[0][c] * in.v[0][c]); }); }},
        {"mul_x4 r0, t0, -t1_bx2",
         [](const Inputs& in) {
             return Map([&](int c) { return Clamp1(-4 * in.t[0][c] * (2 * in.t[1][c] - 1)); });
         }},
        {"add_d2 r0, t0, v0",
         [](const Inputs& in) { return Map([&](int c) { return (in.t[0][c] + in.v[0][c]) / 2; }); }},
        {"add_sat r0, t0, c1",
         [](const Inputs& in) { return Map([&](int c) { return Sat(in.t[0][c] + in.c[1][c]); }); }},
        {"cnd r0, r1.a, t0, t1",
         [](const Inputs& in) {
             return Map([&](int c) { return in.v[1][3] > 0.5 ? in.t[0][c] : in.t[1][c]; });
         }},
        {"mov r0, -c0.b", [](const Inputs& in) { return Map([&](int) { return -in.c[0][2]; }); }},
        // ps_1_2 and later.
        {"dp4 r0, t0, c0",
         [](const Inputs& in) {
             double d = 0;
             for (int c = 0; c < 4; ++c) {
                 d += in.t[0][c] * in.c[0][c];
             }
             return Map([&](int) { return Clamp1(d); });
         }},
        {"cmp r0, c1, t0, -t1",
         [](const Inputs& in) {
             return Map([&](int c) { return in.c[1][c] >= 0 ? in.t[0][c] : -in.t[1][c]; });
         }},
    };
    TestRandom random(99);
    for (const PixelCase& pc : cases) {
        // r1 carries v1 so that cnd reads a temporary's alpha.
        ProgramPtr program = Assemble(std::string("ps_1_3\ntex t0\ntex t1\nmov r1, v1\n") + pc.line + "\n");
        ASSERT_NE(program, nullptr);
        for (int round = 0; round < 200; ++round) {
            Inputs in;
            ShaderPixelInputs pixel;
            float constants[8][4] = {};
            for (int c = 0; c < 4; ++c) {
                for (int i = 0; i < 2; ++i) {
                    pixel.color[i][c] = random.Uniform(0, 1);
                    in.v[i][c] = pixel.color[i][c];
                    constants[i][c] = random.Uniform(-1, 1);
                    in.c[i][c] = constants[i][c];
                }
                for (int s = 0; s < 4; ++s) {
                    pixel.texcoord[s][c] = random.Uniform(0, 1);
                }
            }
            for (int s = 0; s < 2; ++s) {
                in.t[s] = {pixel.texcoord[s][0], pixel.texcoord[s][1], pixel.texcoord[s][2], 0.1 * (s + 1)};
                in.t[s][3] = static_cast<float>(in.t[s][3]);
            }
            ShaderPixelState state;
            state.constants = constants;
            state.sample = EncodingSampler;
            float result[4];
            ASSERT_TRUE(ShaderPixelRun(program.get(), state, pixel, result));
            const Vec expected = pc.reference(in);
            for (int c = 0; c < 4; ++c) {
                ASSERT_NEAR(result[c], Sat(Clamp1(expected[c])), 2e-6) << pc.line << " component " << c;
            }
        }
    }
}

ShaderPixelInputs SimpleInputs()
{
    ShaderPixelInputs in = {};
    for (int s = 0; s < 4; ++s) {
        in.texcoord[s][0] = 0.25f;
        in.texcoord[s][1] = 0.5f;
        in.texcoord[s][2] = 0.75f;
        in.texcoord[s][3] = 1.0f;
    }
    in.color[0][0] = in.color[0][1] = in.color[0][2] = in.color[0][3] = 1.0f;
    return in;
}

TEST(ShaderPixelRun, TextureInstructions)
{
    ShaderPixelState state;
    state.sample = EncodingSampler;
    float result[4];
    ShaderPixelInputs in = SimpleInputs();
    in.texcoord[1][0] = 1.5f;
    in.texcoord[1][1] = -0.5f;
    ProgramPtr texcoord = Assemble("ps_1_1\ntexcoord t1\nmov r0, t1\n");
    ASSERT_TRUE(ShaderPixelRun(texcoord.get(), state, in, result));
    EXPECT_EQ(result[0], 1.0f); // coordinates clamped to [0, 1], w 1
    EXPECT_EQ(result[1], 0.0f);
    EXPECT_EQ(result[2], 0.75f);
    EXPECT_EQ(result[3], 1.0f);

    // texbem: t1 sampled at its coordinates moved by the bump matrix times t0's red and green.
    ProgramPtr bem = Assemble("ps_1_1\ntex t0\ntexbem t1, t0\nmov r0, t1\n");
    in = SimpleInputs();
    in.texcoord[0][0] = 0.5f;       // du
    in.texcoord[0][1] = 0.25f;      // dv
    state.bumpEnvMat[1][0] = 0.5f;  // 00
    state.bumpEnvMat[1][1] = 0.0f;  // 01
    state.bumpEnvMat[1][2] = 0.0f;  // 10
    state.bumpEnvMat[1][3] = -1.0f; // 11
    ASSERT_TRUE(ShaderPixelRun(bem.get(), state, in, result));
    EXPECT_FLOAT_EQ(result[0], 0.25f + 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(result[1], 0.5f - 0.25f);
    EXPECT_FLOAT_EQ(result[3], 0.2f);

    // texbeml also scales the colour by t0.b x scale + offset.
    ProgramPtr beml = Assemble("ps_1_1\ntex t0\ntexbeml t1, t0\nmov r0, t1\n");
    state.bumpEnvLScale[1] = 0.5f;
    state.bumpEnvLOffset[1] = 0.25f;
    ASSERT_TRUE(ShaderPixelRun(beml.get(), state, in, result));
    EXPECT_FLOAT_EQ(result[0], 0.5f * (0.75f * 0.5f + 0.25f));
    EXPECT_FLOAT_EQ(result[3], 0.2f);

    // texkill discards when a coordinate is negative.
    ProgramPtr kill = Assemble("ps_1_1\ntexkill t2\nmov r0, v0\n");
    in = SimpleInputs();
    EXPECT_TRUE(ShaderPixelRun(kill.get(), state, in, result));
    in.texcoord[2][2] = -0.01f;
    EXPECT_FALSE(ShaderPixelRun(kill.get(), state, in, result));

    // Without a sampler, textures read zero.
    ShaderPixelState none;
    ProgramPtr tex = Assemble("ps_1_1\ntex t3\nadd r0, t3, c0\n");
    ASSERT_TRUE(ShaderPixelRun(tex.get(), none, SimpleInputs(), result));
    EXPECT_EQ(result[0], 0.0f);
}

TEST(ShaderPixelRun, CoissueReadsBeforeWritingAndValuesAreClamped)
{
    ShaderPixelState state;
    float constants[8][4] = {{2, -3, 0.5, 0.25}, {0.5, 0.5, 0.5, 0.75}};
    state.constants = constants;
    float result[4];
    // The alpha half reads r0.b before the colour half replaces it.
    ProgramPtr pair = Assemble("ps_1_1\nmov r0, c1\nmov r0.rgb, c0\n+mov r0.a, r0.b\n");
    ASSERT_TRUE(ShaderPixelRun(pair.get(), state, SimpleInputs(), result));
    EXPECT_EQ(result[0], 1.0f); // constant 2 read as 1
    EXPECT_EQ(result[1], 0.0f); // -3 read as -1, then the result clamps to 0
    EXPECT_EQ(result[2], 0.5f);
    EXPECT_EQ(result[3], 0.5f); // the old r0.b
    // Intermediate results stay within [-1, 1] unless the device says otherwise.
    ProgramPtr range = Assemble("ps_1_1\nadd r1, c1, c1\nadd r1, r1, c1\nmul r0, r1, c1\n");
    ASSERT_TRUE(ShaderPixelRun(range.get(), state, SimpleInputs(), result));
    EXPECT_EQ(result[0], 0.5f);
    state.maxValue = 8.0f;
    ASSERT_TRUE(ShaderPixelRun(range.get(), state, SimpleInputs(), result));
    EXPECT_EQ(result[0], 0.75f);
    // Unwritten r0 reads zero.
    ProgramPtr empty = Assemble("ps_1_1\nmov r1, v0\n");
    ASSERT_TRUE(ShaderPixelRun(empty.get(), state, SimpleInputs(), result));
    EXPECT_EQ(result[3], 0.0f);
}

// The material-effect shapes: bump (base darkened by its own height, plus
// the shifted height), and an environment map added over a base texture.
TEST(ShaderPixelRun, MaterialEffectShaders)
{
    struct Sampled
    {
        float rgba[4][4];
    };
    Sampled textures = {{{0.8f, 0.6f, 0.4f, 0.3f}, {0.2f, 0.4f, 0.6f, 0.7f}, {0.9f, 0.1f, 0.5f, 0.5f}, {}}};
    ShaderPixelState state;
    state.user = &textures;
    state.sample = [](void* user, int stage, float, float, float, float rgba[4]) {
        for (int c = 0; c < 4; ++c) {
            rgba[c] = static_cast<Sampled*>(user)->rgba[stage][c];
        }
    };
    float constants[8][4] = {{0.5f, 0.5f, 0.5f, 0.5f}};
    state.constants = constants;
    ShaderPixelInputs in = SimpleInputs();
    for (int c = 0; c < 4; ++c) {
        in.color[0][c] = 0.9f;
    }
    const float(*t)[4] = textures.rgba;
    float result[4];
    ProgramPtr bump =
        Assemble("ps_1_1\ntex t0\ntex t1\nmul r1, t1, t1.a\nmad r0, t0, 1-t0.a, r1\nmul r0, r0, v0\n");
    ASSERT_TRUE(ShaderPixelRun(bump.get(), state, in, result));
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(result[c], 0.9 * (t[0][c] * (1 - t[0][3]) + t[1][c] * t[1][3]), 1e-6) << c;
    }
    ProgramPtr bumpEnv = Assemble("ps_1_1\ntex t0\ntex t1\ntex t2\nmul r1, t1, t1.a\nmad r0, t0, 1-t0.a, r1\n"
                                  "mul r0, r0, v0\nmul r1, t2, t2.a\nmad r0, r1, c0, r0\n");
    ASSERT_TRUE(ShaderPixelRun(bumpEnv.get(), state, in, result));
    for (int c = 0; c < 4; ++c) {
        double expected = 0.9 * (t[0][c] * (1 - t[0][3]) + t[1][c] * t[1][3]) + t[2][c] * t[2][3] * 0.5;
        EXPECT_NEAR(result[c], std::min(1.0, expected), 1e-6) << c;
    }
    ProgramPtr env = Assemble("ps_1_1\ntex t0\nmul r1, t0, t0.a\nmad r0.rgb, r1, c0, v0\n+mov r0.a, v0.a\n");
    ASSERT_TRUE(ShaderPixelRun(env.get(), state, in, result));
    EXPECT_NEAR(result[0], std::min(1.0, 0.8 * 0.3 * 0.5 + 0.9), 1e-6);
    EXPECT_NEAR(result[2], 0.4 * 0.3 * 0.5 + 0.9, 1e-6);
    EXPECT_NEAR(result[3], 0.9, 1e-6);
}

TEST(ShaderPixelRun, RefusesVertexPrograms)
{
    ProgramPtr vs = Assemble("vs_1_1\ndcl_position0 v0\nmov oPos, v0\n");
    ShaderPixelState state;
    float result[4];
    EXPECT_FALSE(ShaderPixelRun(vs.get(), state, SimpleInputs(), result));
    EXPECT_FALSE(ShaderPixelRun(nullptr, state, SimpleInputs(), result));
    ProgramPtr ps = Assemble("ps_1_1\nmov r0, v0\n");
    EXPECT_FALSE(ShaderVertexRun(ps.get(), nullptr, 0, nullptr));
}

} // namespace
