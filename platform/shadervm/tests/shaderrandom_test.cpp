// Random vertex shaders on random inputs: results must not depend on how
// vertices are grouped into calls, nor on the vector width the interpreter
// runs at, and are pinned by a hash so that a faster executor cannot change
// a single bit.
#include "platform/shadervm/shadervm.h"

#include "shaderrandom.h"

#include <cstring>
#include <vector>

namespace {

constexpr int kBatches = kShaderBatchGroup + 3; // one full group and a short one
constexpr int kConstants = 18;

struct RandomRun
{
    std::vector<ShaderVertexBatch> batches = std::vector<ShaderVertexBatch>(kBatches);
    float constants[kConstants][4];
};

// Inputs in [-4, 4] with zeros, ones and signed zeros mixed in; v3 holds
// relative-address indices, partly out of range.
void FillRun(TestRandom& random, RandomRun* run)
{
    for (auto& row : run->constants) {
        for (float& value : row) {
            value = random.Uniform(-2, 2);
        }
    }
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f};
    for (ShaderVertexBatch& batch : run->batches) {
        batch = ShaderVertexBatch{};
        for (int reg = 0; reg < 4; ++reg) {
            for (int c = 0; c < 4; ++c) {
                for (int l = 0; l < kShaderLanes; ++l) {
                    float v = reg == 3 ? random.Uniform(-3, 25) : random.Uniform(-4, 4);
                    if (random.Next() % 8 == 0) {
                        v = specials[random.Next() % 5];
                    }
                    batch.input[reg].v[c][l] = v;
                }
            }
        }
    }
}

ProgramPtr AssembleQuietly(const std::string& text)
{
    ShaderAssembly assembly;
    if (!ShaderAssemble(text, &assembly)) {
        return nullptr;
    }
    return ProgramPtr(ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), nullptr));
}

// FNV-1a over the bits of every output component the program writes.
uint64_t HashOutputs(const ShaderProgram* program, const std::vector<ShaderVertexBatch>& batches,
                     uint64_t hash)
{
    for (const ShaderVertexBatch& batch : batches) {
        for (int o = 0; o < kShaderOutputCount; ++o) {
            if (!((ShaderProgramOutputMask(program) >> o) & 1)) {
                continue;
            }
            for (int c = 0; c < 4; ++c) {
                for (int l = 0; l < kShaderLanes; ++l) {
                    uint32_t bits = 0;
                    std::memcpy(&bits, &batch.output[o].v[c][l], sizeof bits);
                    for (int b = 0; b < 4; ++b) {
                        hash = (hash ^ ((bits >> (8 * b)) & 0xFF)) * 0x100000001B3ull;
                    }
                }
            }
        }
    }
    return hash;
}

// Runs `text` every way; returns false when the text is not a valid program.
bool RunEveryWay(const std::string& text, TestRandom& random, uint64_t* hash)
{
    ProgramPtr program = AssembleQuietly(text);
    if (program == nullptr) {
        return false;
    }
    RandomRun run;
    FillRun(random, &run);
    RandomRun whole = run;
    EXPECT_TRUE(
        ShaderVertexRunBatches(program.get(), whole.constants, kConstants, whole.batches.data(), kBatches));
    *hash = HashOutputs(program.get(), whole.batches, *hash);
    // The same vertices one batch at a time, and at the narrowest vector width.
    RandomRun single = run;
    for (ShaderVertexBatch& batch : single.batches) {
        EXPECT_TRUE(ShaderVertexRun(program.get(), single.constants, kConstants, &batch));
    }
    RandomRun narrow = run;
    ShaderSetVectorBits(128);
    EXPECT_TRUE(
        ShaderVertexRunBatches(program.get(), narrow.constants, kConstants, narrow.batches.data(), kBatches));
    ShaderSetVectorBits(0);
    const uint32_t written = ShaderProgramOutputMask(program.get());
    for (int b = 0; b < kBatches; ++b) {
        for (int o = 0; o < kShaderOutputCount; ++o) {
            if ((written >> o) & 1) {
                const ShaderLanes4& expected = whole.batches[b].output[o];
                EXPECT_EQ(std::memcmp(&expected, &single.batches[b].output[o], sizeof expected), 0)
                    << text << "one batch a call: batch " << b << " output " << o;
                EXPECT_EQ(std::memcmp(&expected, &narrow.batches[b].output[o], sizeof expected), 0)
                    << text << "128-bit vectors: batch " << b << " output " << o;
            }
        }
    }
    return true;
}

TEST(ShaderRandomPrograms, SameBitsWhateverTheGroupingAndWidth)
{
    // Without the C library's transcendental functions the results are
    // pinned: a change of the executor must not move a single bit.
    TestRandom random(20261210);
    int valid = 0;
    uint64_t hash = 0xCBF29CE484222325ull;
    for (int i = 0; i < 400; ++i) {
        valid += RunEveryWay(RandomVertexShader(random, false), random, &hash) ? 1 : 0;
    }
    EXPECT_GT(valid, 300);
    EXPECT_EQ(hash, 0x5BEB411BFB160C96ull) << std::hex << hash;
}

TEST(ShaderRandomPrograms, TranscendentalsSameBitsWhateverTheGroupingAndWidth)
{
    TestRandom random(7);
    uint64_t hash = 0;
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(RunEveryWay(RandomVertexShader(random, true), random, &hash));
    }
}

} // namespace
