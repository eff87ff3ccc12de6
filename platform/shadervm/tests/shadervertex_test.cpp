// Vertex shader execution against a double-precision reference of each
// instruction's published definition, on random inputs, plus the special
// cases (rcp/rsq of 0 and negatives, lit clamping, expp/logp forms, a0
// rounding, relative addressing out of range).
#include "platform/shadervm/shadervm.h"

#include "shadertest_util.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

using Vec = std::array<double, 4>;
using Reference = std::function<Vec(const Vec& a, const Vec& b, const Vec& c, const std::vector<Vec>& m)>;

constexpr double kInf = std::numeric_limits<double>::infinity();

struct OpCase
{
    const char* version;
    const char* line; // reads v1, v2, v3 (and c10..c13 as a matrix), writes r0
    Reference reference;
    float lo = -4.0f;
    float hi = 4.0f;
    double tolerance = 2e-6; // relative
};

double Dot(const Vec& a, const Vec& b, int n)
{
    double s = 0;
    for (int i = 0; i < n; ++i) {
        s += a[i] * b[i];
    }
    return s;
}

Vec All(double v)
{
    return {v, v, v, v};
}

Vec Each(const Vec& a, const Vec& b, const Vec& c, double (*fn)(double, double, double))
{
    return {fn(a[0], b[0], c[0]), fn(a[1], b[1], c[1]), fn(a[2], b[2], c[2]), fn(a[3], b[3], c[3])};
}

Vec Matrix(const Vec& a, const std::vector<Vec>& m, int columns, int rows)
{
    Vec r = {0, 0, 0, 0};
    for (int i = 0; i < rows; ++i) {
        r[i] = Dot(a, m[i], columns);
    }
    return r;
}

double PartialRef(double v)
{
    return v;
} // partial precision: compared with a looser tolerance

const std::vector<OpCase>& OpCases()
{
    static const std::vector<OpCase> cases = {
        {"vs_1_1", "mov r0, v1", [](auto& a, auto&, auto&, auto&) { return a; }},
        {"vs_1_1", "add r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x + y; });
         }},
        {"vs_1_1", "sub r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x - y; });
         }},
        {"vs_1_1", "mul r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x * y; });
         }},
        {"vs_1_1", "mad r0, v1, v2, v3",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double z) { return x * y + z; });
         },
         -4, 4, 1e-5},
        {"vs_1_1", "min r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x < y ? x : y; });
         }},
        {"vs_1_1", "max r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x >= y ? x : y; });
         }},
        {"vs_1_1", "slt r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x < y ? 1.0 : 0.0; });
         }},
        {"vs_1_1", "sge r0, v1, v2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double) { return x >= y ? 1.0 : 0.0; });
         }},
        {"vs_1_1", "frc r0, v1",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double, double) { return x - std::floor(x); });
         },
         -4, 4, 1e-6},
        {"vs_1_1", "dp3 r0, v1, v2", [](auto& a, auto& b, auto&, auto&) { return All(Dot(a, b, 3)); }, -4, 4,
         1e-5},
        {"vs_1_1", "dp4 r0, v1, v2", [](auto& a, auto& b, auto&, auto&) { return All(Dot(a, b, 4)); }, -4, 4,
         1e-5},
        {"vs_1_1", "rcp r0, v1.y", [](auto& a, auto&, auto&, auto&) { return All(1.0 / a[1]); }},
        {"vs_1_1", "rcp r0, v1", [](auto& a, auto&, auto&, auto&) { return All(1.0 / a[3]); }},
        {"vs_1_1", "rsq r0, v1.z",
         [](auto& a, auto&, auto&, auto&) { return All(1.0 / std::sqrt(std::fabs(a[2]))); }},
        {"vs_1_1", "exp r0, v1.x", [](auto& a, auto&, auto&, auto&) { return All(std::exp2(a[0])); }, -4, 4,
         1e-6},
        {"vs_1_1", "log r0, v1.w",
         [](auto& a, auto&, auto&, auto&) { return All(std::log2(std::fabs(a[3]))); }, -4, 4, 1e-6},
        {"vs_1_1", "lit r0, v1",
         [](auto& a, auto&, auto&, auto&) {
             double power = std::clamp(a[3], -127.9961, 127.9961);
             return Vec{1.0, a[0] > 0 ? a[0] : 0.0, a[0] > 0 && a[1] > 0 ? std::pow(a[1], power) : 0.0, 1.0};
         },
         -2, 2, 1e-5},
        {"vs_1_1", "dst r0, v1, v2",
         [](auto& a, auto& b, auto&, auto&) {
             return Vec{1.0, a[1] * b[1], a[2], b[3]};
         }},
        {"vs_1_1", "expp r0, v1.y",
         [](auto& a, auto&, auto&, auto&) {
             double v = std::floor(a[1]);
             return Vec{std::exp2(v), a[1] - v, PartialRef(std::exp2(a[1])), 1.0};
         },
         -4, 4, 1e-4},
        {"vs_1_1", "logp r0, v1.x",
         [](auto& a, auto&, auto&, auto&) {
             int exponent = 0;
             double mantissa = std::frexp(std::fabs(a[0]), &exponent); // [0.5, 1)
             return Vec{static_cast<double>(exponent - 1), mantissa * 2,
                        PartialRef(std::log2(std::fabs(a[0]))), 1.0};
         },
         -4, 4, 1e-4},
        {"vs_2_0", "expp r0, v1.y",
         [](auto& a, auto&, auto&, auto&) { return All(PartialRef(std::exp2(a[1]))); }, -4, 4, 1e-4},
        {"vs_2_0", "logp r0, v1.z",
         [](auto& a, auto&, auto&, auto&) { return All(PartialRef(std::log2(std::fabs(a[2])))); }, -4, 4,
         1e-4},
        {"vs_1_1", "m4x4 r0, v1, c10", [](auto& a, auto&, auto&, auto& m) { return Matrix(a, m, 4, 4); }, -4,
         4, 1e-5},
        {"vs_1_1", "m4x3 r0.xyz, v1, c10", [](auto& a, auto&, auto&, auto& m) { return Matrix(a, m, 4, 3); },
         -4, 4, 1e-5},
        {"vs_1_1", "m3x4 r0, v1, c10", [](auto& a, auto&, auto&, auto& m) { return Matrix(a, m, 3, 4); }, -4,
         4, 1e-5},
        {"vs_1_1", "m3x3 r0.xyz, v1, c10", [](auto& a, auto&, auto&, auto& m) { return Matrix(a, m, 3, 3); },
         -4, 4, 1e-5},
        {"vs_1_1", "m3x2 r0.xy, v1, c10", [](auto& a, auto&, auto&, auto& m) { return Matrix(a, m, 3, 2); },
         -4, 4, 1e-5},
        {"vs_2_0", "lrp r0, v1, v2, v3",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double y, double z) { return x * (y - z) + z; });
         },
         -4, 4, 1e-5},
        {"vs_2_0", "pow r0, v1.x, v2.y",
         [](auto& a, auto& b, auto&, auto&) { return All(std::pow(std::fabs(a[0]), b[1])); }, -3, 3, 1e-5},
        {"vs_2_0", "crs r0.xyz, v1, v2",
         [](auto& a, auto& b, auto&, auto&) {
             return Vec{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0};
         },
         -4, 4, 1e-5},
        {"vs_2_0", "sgn r0, v1, r1, r2",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double, double) { return x < 0 ? -1.0 : x > 0 ? 1.0 : 0.0; });
         }},
        {"vs_2_0", "abs r0, v1",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double, double) { return std::fabs(x); });
         }},
        {"vs_2_0", "nrm r0, v1",
         [](auto& a, auto&, auto&, auto&) {
             double s = 1.0 / std::sqrt(Dot(a, a, 3));
             return Vec{a[0] * s, a[1] * s, a[2] * s, a[3] * s};
         },
         -4, 4, 1e-5},
        {"vs_2_0", "sincos r0.xy, v1.z, c0, c1",
         [](auto& a, auto&, auto&, auto&) {
             return Vec{std::cos(a[2]), std::sin(a[2]), 0, 0};
         },
         -3, 3, 1e-5},
        {"vs_2_x", "mov_sat r0, v1",
         [](auto& a, auto& b, auto& c, auto&) {
             return Each(a, b, c, [](double x, double, double) { return std::clamp(x, 0.0, 1.0); });
         },
         -2, 2},
        // Swizzles, negation and masks.
        {"vs_1_1", "mul r0.yw, -v1.wzyx, v2.z",
         [](auto& a, auto& b, auto&, auto&) {
             return Vec{0, -a[2] * b[2], 0, -a[0] * b[2]};
         }},
        {"vs_1_1", "mad r0.xz, v1.xxyy, -v2, -v3.w",
         [](auto& a, auto& b, auto& c, auto&) {
             return Vec{-a[0] * b[0] - c[3], 0, -a[1] * b[2] - c[3], 0};
         },
         -4, 4, 1e-5},
    };
    return cases;
}

ShaderVertexBatch* NewBatch()
{
    static ShaderVertexBatch batch;
    batch = ShaderVertexBatch{};
    return &batch;
}

TEST(ShaderVertexRun, EveryInstructionMatchesItsDefinition)
{
    TestRandom random(20261209);
    for (const OpCase& op : OpCases()) {
        const std::string text =
            std::string(op.version) +
            "\ndcl_position0 v0\ndcl_texcoord0 v1\ndcl_texcoord1 v2\ndcl_texcoord2 v3\n" + op.line +
            "\nmov oT0, r0\nmov oPos, v0\n";
        ProgramPtr program = Assemble(text);
        ASSERT_NE(program, nullptr);
        float constants[16][4];
        std::vector<Vec> matrix(4);
        for (int round = 0; round < 50; ++round) {
            for (int r = 0; r < 16; ++r) {
                for (int c = 0; c < 4; ++c) {
                    constants[r][c] = random.Uniform(-2, 2);
                }
            }
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c) {
                    matrix[r][c] = constants[10 + r][c];
                }
            }
            ShaderVertexBatch* batch = NewBatch();
            for (int reg = 1; reg <= 3; ++reg) {
                for (int c = 0; c < 4; ++c) {
                    for (int l = 0; l < kShaderLanes; ++l) {
                        batch->input[reg].v[c][l] = random.Uniform(op.lo, op.hi);
                    }
                }
            }
            ASSERT_TRUE(ShaderVertexRun(program.get(), constants, 16, batch));
            for (int l = 0; l < kShaderLanes; ++l) {
                Vec in[3];
                for (int reg = 0; reg < 3; ++reg) {
                    for (int c = 0; c < 4; ++c) {
                        in[reg][c] = batch->input[reg + 1].v[c][l];
                    }
                }
                const Vec expected = op.reference(in[0], in[1], in[2], matrix);
                for (int c = 0; c < 4; ++c) {
                    const double got = batch->output[kShaderOutTexCoord0].v[c][l];
                    const double tolerance = op.tolerance * std::max(1.0, std::fabs(expected[c]));
                    ASSERT_NEAR(got, expected[c], tolerance)
                        << op.version << " " << op.line << " component " << c;
                }
            }
        }
    }
}

// Runs one lane of `line` with v1 = a, v2 = b and returns r0.
Vec RunOne(const char* version, const char* line, const Vec& a, const Vec& b = {0, 0, 0, 0})
{
    ProgramPtr program =
        Assemble(std::string(version) + "\ndcl_position0 v0\ndcl_texcoord0 v1\ndcl_texcoord1 v2\n" + line +
                 "\nmov oT0, r0\nmov oPos, v0\n");
    ShaderVertexBatch* batch = NewBatch();
    for (int c = 0; c < 4; ++c) {
        batch->input[1].v[c][0] = static_cast<float>(a[c]);
        batch->input[2].v[c][0] = static_cast<float>(b[c]);
    }
    const float constants[1][4] = {};
    EXPECT_TRUE(ShaderVertexRun(program.get(), constants, 1, batch));
    Vec r;
    for (int c = 0; c < 4; ++c) {
        r[c] = batch->output[kShaderOutTexCoord0].v[c][0];
    }
    return r;
}

TEST(ShaderVertexRun, SpecialCases)
{
    // rcp: 1 stays exact, 0 of either sign gives +infinity.
    EXPECT_EQ(RunOne("vs_1_1", "rcp r0, v1.x", {0, 0, 0, 0})[0], kInf);
    EXPECT_EQ(RunOne("vs_1_1", "rcp r0, v1.x", {-0.0, 0, 0, 0})[0], kInf);
    EXPECT_EQ(RunOne("vs_1_1", "rcp r0, v1.x", {1, 0, 0, 0})[0], 1.0);
    EXPECT_EQ(RunOne("vs_1_1", "rcp r0, v1.x", {-4, 0, 0, 0})[0], -0.25);
    // rsq uses |x|; 0 gives +infinity.
    EXPECT_EQ(RunOne("vs_1_1", "rsq r0, v1.x", {-4, 0, 0, 0})[0], 0.5);
    EXPECT_EQ(RunOne("vs_1_1", "rsq r0, v1.x", {0, 0, 0, 0})[0], kInf);
    EXPECT_EQ(RunOne("vs_1_1", "rsq r0, v1.x", {-1, 0, 0, 0})[0], 1.0);
    // log of 0 is the most negative float, in both precisions.
    EXPECT_EQ(RunOne("vs_1_1", "log r0, v1.x", {0, 0, 0, 0})[0], -FLT_MAX);
    EXPECT_EQ(RunOne("vs_2_0", "logp r0, v1.x", {0, 0, 0, 0})[0], -FLT_MAX);
    const Vec logp0 = RunOne("vs_1_1", "logp r0, v1.x", {0, 0, 0, 0});
    EXPECT_EQ(logp0[0], -FLT_MAX);
    EXPECT_EQ(logp0[1], 1.0);
    EXPECT_EQ(logp0[2], -FLT_MAX);
    EXPECT_EQ(logp0[3], 1.0);
    // vs_1_1 expp: x = 2^floor, y = fraction, w = 1 (the generator's fog relies on .w of expp).
    const Vec expp = RunOne("vs_1_1", "expp r0, v1.x", {2.5, 0, 0, 0});
    EXPECT_EQ(expp[0], 4.0);
    EXPECT_EQ(expp[1], 0.5);
    EXPECT_NEAR(expp[2], std::exp2(2.5), 1e-3);
    EXPECT_EQ(expp[3], 1.0);
    EXPECT_NEAR(RunOne("vs_2_0", "expp r0.w, v1.x", {2.5, 0, 0, 0})[3], std::exp2(2.5), 1e-3);
    // lit: the power is clamped to +-127.9961, and x <= 0 or y <= 0 give no specular.
    EXPECT_NEAR(RunOne("vs_1_1", "lit r0, v1", {1, 0.99, 0, 500})[2], std::pow(0.99, 127.9961), 1e-6);
    EXPECT_NEAR(RunOne("vs_1_1", "lit r0, v1", {1, 1.01, 0, -500})[2], std::pow(1.01, -127.9961), 1e-6);
    EXPECT_EQ(RunOne("vs_1_1", "lit r0, v1", {-1, 0.5, 0, 2}), (Vec{1, 0, 0, 1}));
    EXPECT_EQ(RunOne("vs_1_1", "lit r0, v1", {0.5, -0.5, 0, 2}), (Vec{1, 0.5, 0, 1}));
    EXPECT_EQ(RunOne("vs_1_1", "lit r0, v1", {0.5, 0.25, 0, 0}), (Vec{1, 0.5, 1, 1}));
    // nrm of a zero vector stays zero.
    EXPECT_EQ(RunOne("vs_2_0", "nrm r0, v1", {0, 0, 0, 3}), (Vec{0, 0, 0, 0}));
    // min/max pick the second operand when the first is NaN-free and equal.
    EXPECT_EQ(RunOne("vs_1_1", "max r0, v1, v2", {1, -1, 2, 0}, {1, 3, -2, -0.5}), (Vec{1, 3, 2, 0}));
}

TEST(ShaderVertexRun, AddressRegisterRoundsToNearest)
{
    // c[a0.x + 1] with c[n] = (n, 0, 0, 0): the result shows the index taken.
    float constants[256][4] = {};
    for (int n = 0; n < 256; ++n) {
        constants[n][0] = static_cast<float>(n);
    }
    const float values[kShaderLanes] = {0.49f, 0.5f, 1.5f, 2.5f, -0.5f, -0.51f, 3.7f, 254.6f};
    const float expected[kShaderLanes] = {1, 2, 3, 4,
                                          0, 0, 5, 0}; // -0.5 -> -1 + 1 = 0; 255 + 1 is out of range
    for (const char* text : {"vs_1_1\ndcl_position0 v0\ndcl_blendindices0 v2\nmov a0.x, v2.x\n"
                             "mov oT0, c[a0.x + 1]\nmov oPos, v0\n",
                             "vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\nmova a0.yw, v2.xxxx\n"
                             "mov oT0, c[a0.w + 1]\nmov oPos, v0\n"}) {
        ProgramPtr program = Assemble(text);
        ShaderVertexBatch* batch = NewBatch();
        for (int l = 0; l < kShaderLanes; ++l) {
            batch->input[2].v[0][l] = values[l];
        }
        ASSERT_TRUE(ShaderVertexRun(program.get(), constants, 256, batch));
        for (int l = 0; l < kShaderLanes; ++l) {
            EXPECT_EQ(batch->output[kShaderOutTexCoord0].v[0][l], expected[l]) << text << " lane " << l;
        }
    }
}

TEST(ShaderVertexRun, ConstantsOutOfRangeReadZeroAndDefsReplaceThem)
{
    ProgramPtr program =
        Assemble("vs_2_0\ndef c3, 7, 8, 9, 10\ndcl_position0 v0\ndcl_blendindices0 v2\n"
                 "mova a0.x, v2.x\nmov oT0, c[a0.x + 2]\nmov oT1, c5\nmov oT2, c3\nmov oPos, v0\n");
    float constants[6][4] = {};
    for (int n = 0; n < 6; ++n) {
        for (int c = 0; c < 4; ++c) {
            constants[n][c] = static_cast<float>(n * 10 + c);
        }
    }
    ShaderVertexBatch* batch = NewBatch();
    const float index[kShaderLanes] = {0, 1, 2, 3, -3, 1000, -1e30f, 1e30f};
    const float expected[kShaderLanes] = {20, 7, 40, 0,
                                          0,  0, 0,  0}; // c3 is the def; c5 is beyond the 5 supplied
    for (int l = 0; l < kShaderLanes; ++l) {
        batch->input[2].v[0][l] = index[l];
    }
    ASSERT_TRUE(ShaderVertexRun(program.get(), constants, 5, batch));
    for (int l = 0; l < kShaderLanes; ++l) {
        EXPECT_EQ(batch->output[kShaderOutTexCoord0].v[0][l], expected[l]) << "lane " << l;
        EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 1].v[0][l], 0.0f);
        EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 2].v[3][l], 10.0f);
    }
}

TEST(ShaderVertexRun, UnwrittenOutputComponentsTakeDefaults)
{
    ProgramPtr program = Assemble(
        "vs_1_1\ndcl_position0 v0\nmov oPos.xyz, v0\nmov oT3.xy, v0\nmov oD0.xyz, v0\nmov oD1.x, v0\n");
    ShaderVertexBatch* batch = NewBatch();
    for (int c = 0; c < 4; ++c) {
        for (int l = 0; l < kShaderLanes; ++l) {
            batch->input[0].v[c][l] = 5.0f;
            batch->output[kShaderOutTexCoord0 + 3].v[c][l] = -9.0f;
            batch->output[kShaderOutFog].v[c][l] = -9.0f;
        }
    }
    ASSERT_TRUE(ShaderVertexRun(program.get(), nullptr, 0, batch));
    EXPECT_EQ(batch->output[kShaderOutPosition].v[3][0], 1.0f);
    EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 3].v[1][2], 5.0f);
    EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 3].v[2][2], 0.0f);
    EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 3].v[3][2], 1.0f);
    EXPECT_EQ(batch->output[kShaderOutColor0].v[3][7], 1.0f);
    EXPECT_EQ(batch->output[kShaderOutColor1].v[1][0], 0.0f);
    EXPECT_EQ(batch->output[kShaderOutFog].v[0][0], 1.0f); // never written: the default too
    EXPECT_EQ(ShaderProgramOutputMask(program.get()) & (1u << kShaderOutFog), 0u);
    // The batch form leaves outputs the program never writes to the caller.
    batch->output[kShaderOutFog].v[0][0] = -9.0f;
    batch->output[kShaderOutTexCoord0 + 3].v[3][2] = -9.0f;
    ASSERT_TRUE(ShaderVertexRunBatches(program.get(), nullptr, 0, batch, 1));
    EXPECT_EQ(batch->output[kShaderOutFog].v[0][0], -9.0f);
    EXPECT_EQ(batch->output[kShaderOutTexCoord0 + 3].v[3][2], 1.0f);
}

} // namespace
