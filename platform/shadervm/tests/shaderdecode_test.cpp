// Decoder: what a program reports about its inputs and outputs, and the
// refusal of malformed token streams (never a crash).
#include "platform/shadervm/shadervm.h"

#include "shadertest_util.h"

#include <vector>

namespace {

TEST(ShaderProgramCreate, ReportsInputsOutputsAndStages)
{
    ProgramPtr vs =
        Assemble("vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\ndcl_texcoord3 v8\ndcl_normal1 v15\n"
                 "mova a0.x, v2.x\nm4x4 oPos, v0, c[a0.x + 4]\nmov oT1.xy, v8\nmov oFog, v15.x\n");
    ASSERT_NE(vs, nullptr);
    EXPECT_FALSE(ShaderProgramIsPixel(vs.get()));
    EXPECT_EQ(ShaderProgramVersion(vs.get()), 0xFFFE0200u);
    EXPECT_EQ(ShaderProgramInputMask(vs.get()), (1u << 0) | (1u << 2) | (1u << 8) | (1u << 15));
    ShaderUsage usage;
    uint32_t index = 99;
    ASSERT_TRUE(ShaderProgramInputUsage(vs.get(), 8, &usage, &index));
    EXPECT_EQ(usage, ShaderUsage::TexCoord);
    EXPECT_EQ(index, 3u);
    EXPECT_FALSE(ShaderProgramInputUsage(vs.get(), 1, &usage, &index));
    EXPECT_FALSE(ShaderProgramInputUsage(vs.get(), 16, &usage, &index));
    EXPECT_EQ(ShaderProgramFindInput(vs.get(), ShaderUsage::Normal, 1), 15);
    EXPECT_EQ(ShaderProgramFindInput(vs.get(), ShaderUsage::Normal, 0), -1);
    EXPECT_EQ(ShaderProgramOutputMask(vs.get()),
              (1u << kShaderOutPosition) | (1u << (kShaderOutTexCoord0 + 1)) | (1u << kShaderOutFog));
    EXPECT_EQ(ShaderProgramOutputComponents(vs.get(), ShaderOutput(kShaderOutTexCoord0 + 1)), 0x3u);
    size_t count = 0;
    const uint32_t* tokens = ShaderProgramTokens(vs.get(), &count);
    ASSERT_NE(tokens, nullptr);
    EXPECT_EQ(tokens[count - 1], 0x0000FFFFu);
    EXPECT_EQ(ShaderTokensLength(tokens, count), count);
    EXPECT_EQ(ShaderTokensLength(tokens, count - 1), 0u);

    ProgramPtr ps = Assemble("ps_1_1\ntex t0\ntexcoord t1\ntexbem t3, t0\nmul r0, t0, t3\n");
    ASSERT_NE(ps, nullptr);
    EXPECT_TRUE(ShaderProgramIsPixel(ps.get()));
    EXPECT_EQ(ShaderProgramSampledStages(ps.get()), 0x9u);
}

TEST(ShaderTokensLength, WalksModelOneAndTwoStreams)
{
    const uint32_t vs11[] = {0xFFFE0101, 0x00000051, 0xA00F0000, 0xBF800000, 0xBF800000,
                             0xBF800000, 0xBF800000, 0x0001FFFE, 0x12345678, 0x00000001,
                             0xC00F0000, 0xA0E40000, 0x0000FFFF, 0xDEADBEEF};
    EXPECT_EQ(ShaderTokensLength(vs11, 14), 13u);
    const uint32_t vs20[] = {0xFFFE0200, 0x02000001, 0xC00F0000, 0x8000FFFF, 0x0000FFFF};
    EXPECT_EQ(ShaderTokensLength(vs20, 5), 5u); // the length field skips a parameter that looks like the end
    EXPECT_EQ(ShaderTokensLength(nullptr, 5), 0u);
}

struct BadStream
{
    const char* name;
    std::vector<uint32_t> tokens;
    const char* fragment;
};

TEST(ShaderProgramCreate, RefusesMalformedStreams)
{
    const BadStream cases[] = {
        {"empty", {}, "short"},
        {"version only", {0xFFFE0101}, "short"},
        {"vs_3_0", {0xFFFE0300, 0x0000FFFF}, "version"},
        {"ps_2_0", {0xFFFF0200, 0x0000FFFF}, "version"},
        {"ps_1_4", {0xFFFF0104, 0x0000FFFF}, "version"},
        {"not a version", {0x00000101, 0x0000FFFF}, "version"},
        {"no end", {0xFFFE0101, 0x00000001, 0xC00F0000, 0x90E40000}, "end"},
        {"unknown opcode", {0xFFFE0101, 0x00000099, 0x0000FFFF}, "opcode"},
        {"flow control", {0xFFFE0200, 0x0100001C, 0x0000FFFF}, "opcode"},
        {"parameter first", {0xFFFE0101, 0x800F0000, 0x0000FFFF}, "parameter"},
        {"truncated", {0xFFFE0101, 0x00000002, 0x800F0000, 0x80E40000}, "truncated"},
        {"length past end", {0xFFFE0200, 0x05000001, 0x800F0000, 0x0000FFFF}, "past the end"},
        {"length mismatch",
         {0xFFFE0200, 0x03000001, 0x800F0000, 0x80E40001, 0x80E40002, 0x0000FFFF},
         "length"},
        {"comment past end", {0xFFFE0101, 0x0010FFFE, 0x0000FFFF}, "comment"},
        {"temp out of range", {0xFFFE0101, 0x00000001, 0x800F000C, 0x90E40000, 0x0000FFFF}, "destination"},
        {"input out of range", {0xFFFE0101, 0x00000001, 0x800F0000, 0x90E40010, 0x0000FFFF}, "source"},
        {"const out of range", {0xFFFE0101, 0x00000001, 0x800F0000, 0xA0E40100, 0x0000FFFF}, "source"},
        {"matrix rows past the constants",
         {0xFFFE0101, 0x00000014, 0xC00F0000, 0x90E40000, 0xA0E400FE, 0x0000FFFF},
         "source"},
        {"write to input", {0xFFFE0101, 0x00000001, 0x900F0000, 0x80E40000, 0x0000FFFF}, "destination"},
        {"read output", {0xFFFE0101, 0x00000001, 0x800F0000, 0xC0E40000, 0x0000FFFF}, "source"},
        {"empty write mask", {0xFFFE0101, 0x00000001, 0x80000000, 0x80E40000, 0x0000FFFF}, "destination"},
        {"relative temp", {0xFFFE0101, 0x00000001, 0x800F0000, 0x80E42000, 0x0000FFFF}, "relative"},
        {"relative through a temp",
         {0xFFFE0200, 0x03000001, 0x800F0000, 0xA0E42000, 0x80000000, 0x0000FFFF},
         "a0"},
        {"a0.y in vs_1_1", {0xFFFE0101, 0x00000001, 0xB0020000, 0x90000000, 0x0000FFFF}, "destination"},
        {"mov to a0 in vs_2_0", {0xFFFE0200, 0x02000001, 0xB0010000, 0x90000000, 0x0000FFFF}, "destination"},
        {"saturate in vs_1_1", {0xFFFE0101, 0x00000001, 0x801F0000, 0x80E40000, 0x0000FFFF}, "modifier"},
        {"shift in a vertex shader", {0xFFFE0200, 0x02000001, 0x810F0000, 0x80E40000, 0x0000FFFF}, "shift"},
        {"bias in a vertex shader", {0xFFFE0101, 0x00000001, 0x800F0000, 0x82E40000, 0x0000FFFF}, "modifier"},
        {"abs modifier", {0xFFFE0201, 0x02000001, 0x800F0000, 0x8BE40000, 0x0000FFFF}, "modifier"},
        {"predicated", {0xFFFE0201, 0x12000001, 0x800F0000, 0x80E40000, 0x0000FFFF}, "control"},
        {"bad usage", {0xFFFE0101, 0x0000001F, 0x8000001F, 0x900F0000, 0x0000FFFF}, "usage"},
        {"dcl of a temp", {0xFFFE0101, 0x0000001F, 0x80000000, 0x800F0000, 0x0000FFFF}, "input"},
        {"dcl twice",
         {0xFFFE0101, 0x0000001F, 0x80000000, 0x900F0000, 0x0000001F, 0x80000003, 0x900F0000, 0x0000FFFF},
         "twice"},
        {"dcl in ps_1_1", {0xFFFF0101, 0x0000001F, 0x80000000, 0x900F0000, 0x0000FFFF}, "declarations"},
        {"def of a temp", {0xFFFE0101, 0x00000051, 0x800F0000, 0, 0, 0, 0, 0x0000FFFF}, "def"},
        {"def truncated", {0xFFFE0101, 0x00000051, 0xA00F0000, 0, 0}, "truncated"},
        {"tex in a vertex shader", {0xFFFE0101, 0x00000042, 0xB00F0000, 0x0000FFFF}, "not available"},
        {"m4x4 in a pixel shader",
         {0xFFFF0101, 0x00000014, 0x800F0000, 0x90E40000, 0xA0E40000, 0x0000FFFF},
         "not available"},
        {"ps temp r2", {0xFFFF0101, 0x00000001, 0x800F0002, 0x90E40000, 0x0000FFFF}, "destination"},
        {"ps t4", {0xFFFF0101, 0x00000042, 0xB00F0004, 0x0000FFFF}, "destination"},
        {"ps c8", {0xFFFF0101, 0x00000001, 0x800F0000, 0xA0E40008, 0x0000FFFF}, "source"},
        {"tex into a temp", {0xFFFF0101, 0x00000042, 0x800F0000, 0x0000FFFF}, "texture register"},
        {"texbem from a higher stage",
         {0xFFFF0101, 0x00000043, 0xB00F0000, 0xB0E40001, 0x0000FFFF},
         "texbem"},
        {"co-issue first", {0xFFFF0101, 0x40000001, 0x80080000, 0x90E40000, 0x0000FFFF}, "co-issue"},
        {"co-issue in vs", {0xFFFE0101, 0x40000001, 0x800F0000, 0x90E40000, 0x0000FFFF}, "control"},
        {"bad shift", {0xFFFF0101, 0x00000001, 0x830F0000, 0x90E40000, 0x0000FFFF}, "shift"},
        {"crs writes w", {0xFFFE0200, 0x03000021, 0x800F0000, 0x80E40001, 0x80E40002, 0x0000FFFF}, "crs"},
    };
    for (const BadStream& c : cases) {
        std::string error;
        ShaderProgram* program = ShaderProgramCreate(c.tokens.data(), c.tokens.size(), &error);
        EXPECT_EQ(program, nullptr) << c.name;
        ShaderProgramDestroy(program);
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.name << ": " << error;
    }
}

// Every truncation and every single-token corruption of valid streams is
// refused or decodes into a program that runs; nothing faults.
TEST(ShaderProgramCreate, SurvivesTruncationAndCorruption)
{
    const char* texts[] = {
        "vs_1_1\ndcl_position0 v0\ndcl_blendindices0 v2\ndcl_normal0 v3\ndef c7, 1, 2, 3, 4\nmov a0.x, v2.x\n"
        "m4x3 r3.xyz, v0, c[a0.x + 20]\nmov r3.w, v0.w\nm4x4 oPos, r3, c0\ndp3 r6.x, c5, v3\n"
        "max r6.x, c5.w, -r6.x\nmad oD0, c6, r6.x, c4\nexpp r0, r6.x\nlogp oFog, r0.y\n",
        "vs_2_0\ndcl_position0 v0\ndcl_blendindices0 v2\nmova a0.xy, v2\nmul r8, v0.x, c[a0.y + 4]\n"
        "nrm r1.xyz, r8\nsincos r2.xy, r1.x, c0, c1\nm4x4 oPos, v0, c0\nlit oT0, r2\n",
        "ps_1_1\ndef c1, 0.5, 0.5, 0.5, 1\ntex t0\ntexbem t1, t0\nmul r1, t1, t1.a\nmad_x2 r0.rgb, t0, "
        "1-t0.a, r1\n"
        "+mov r0.a, v0_bias\n",
    };
    static ShaderVertexBatch batch;
    static const float constants[256][4] = {};
    TestRandom random(7);
    int created = 0;
    for (const char* text : texts) {
        ShaderAssembly assembly;
        ASSERT_TRUE(ShaderAssemble(text, &assembly)) << assembly.error;
        const std::vector<uint32_t>& good = assembly.tokens;
        auto attempt = [&](const std::vector<uint32_t>& tokens) {
            ShaderProgram* program = ShaderProgramCreate(tokens.data(), tokens.size(), nullptr);
            if (program != nullptr) {
                ++created;
                float result[4];
                ShaderPixelState state;
                ShaderPixelInputs inputs = {};
                if (ShaderProgramIsPixel(program)) {
                    ShaderPixelRun(program, state, inputs, result);
                } else {
                    ShaderVertexRun(program, constants, 256, &batch);
                }
            }
            ShaderProgramDestroy(program);
        };
        for (size_t n = 0; n < good.size(); ++n) {
            attempt(std::vector<uint32_t>(good.begin(), good.begin() + n));
        }
        for (int round = 0; round < 3000; ++round) {
            std::vector<uint32_t> bad = good;
            const size_t at = random.Next() % bad.size();
            switch (random.Next() % 3) {
            case 0:
                bad[at] = random.Next();
                break;
            case 1:
                bad[at] ^= 1u << (random.Next() % 32);
                break;
            default:
                bad[at] = (bad[at] & 0xFFFF0000u) | (random.Next() % 100);
                break;
            }
            attempt(bad);
        }
    }
    EXPECT_GT(created, 0);
}

} // namespace
