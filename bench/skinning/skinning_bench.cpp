// Software skinning against its bandwidth bound and the shader path.
//
// Every run deforms positions and normals (24 bytes read, 24 written per
// vertex) with 4 index bytes and 16 weight bytes read per vertex, over 36
// bone matrices. "memcpy" copies 34 bytes per vertex (34 read and 34
// written: the same traffic as the blend), so its vertices per second are
// the bound. The shader path runs the generated skinning shader (vs_1_1,
// two weights, normals renormalised, one directional light) on the
// interpreter eight vertices at a time, with the inputs gathered into lanes
// and the positions and lit colours scattered out.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/animation/skin/skin.h"
#include "graphics/d3d9/renderer/vertexshadertext.h"
#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

namespace {

constexpr int kBones = 36;
constexpr uint32_t kReadBytes = 24 + 4 + 16;
constexpr uint32_t kWrittenBytes = 24;

struct Mesh
{
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<uint32_t> indices;
    std::vector<float> weights;
    std::vector<float> out; // position and normal per vertex
    std::vector<SkinBoneMatrix> bones;
    Skin skin = {};

    Mesh(int32_t vertices, uint32_t maxWeights)
        : positions(size_t(vertices) * 3), normals(size_t(vertices) * 3), indices(size_t(vertices)),
          weights(size_t(vertices) * 4), out(size_t(vertices) * 6), bones(kSkinWorkspaceBones)
    {
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) & 0x7FFF;
        };
        for (int32_t v = 0; v < vertices; ++v) {
            for (int c = 0; c < 3; ++c) {
                positions[size_t(3 * v + c)] = float(next()) / 32767.0f;
            }
            normals[size_t(3 * v + 1)] = 1.0f;
            float rest = 1.0f;
            for (uint32_t k = 0; k < 4; ++k) {
                const float w = k + 1 < maxWeights ? rest * 0.6f : (k < maxWeights ? rest : 0.0f);
                weights[size_t(4 * v + k)] = w;
                rest -= w;
                indices[size_t(v)] |= (next() % kBones) << (8 * k);
            }
        }
        for (int b = 0; b < kSkinWorkspaceBones; ++b) {
            const float angle = 0.05f * float(b);
            SkinBoneMatrix& m = bones[size_t(b)];
            m = {};
            m.row[0][0] = std::cos(angle);
            m.row[0][1] = -std::sin(angle);
            m.row[1][0] = std::sin(angle);
            m.row[1][1] = std::cos(angle);
            m.row[2][2] = 1.0f;
            m.row[0][3] = 0.01f * float(b);
        }
        skin.numBones = kBones;
        skin.maxWeights = maxWeights;
        skin.numVertices = vertices;
        skin.vertexBoneIndices = indices.data();
        skin.vertexBoneWeights = weights.data();
    }
};

void Report(benchmark::State& state, int64_t vertices)
{
    state.counters["Mvertices/s"] =
        benchmark::Counter(double(vertices) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void SoftwareSkinning(benchmark::State& state)
{
    Mesh mesh(int32_t(state.range(0)), uint32_t(state.range(1)));
    for (auto _ : state) {
        SkinVerticesBlend(&mesh.skin, mesh.bones.data(), mesh.skin.numVertices, mesh.positions.data(),
                          mesh.normals.data(), mesh.out.data(), mesh.out.data() + 3, 24);
        benchmark::DoNotOptimize(mesh.out.data());
        benchmark::ClobberMemory();
    }
    Report(state, state.range(0));
}

void MemcpyBound(benchmark::State& state)
{
    const size_t bytes = size_t(state.range(0)) * (kReadBytes + kWrittenBytes) / 2;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    Report(state, state.range(0));
}

void ShaderPath(benchmark::State& state)
{
    Mesh mesh(int32_t(state.range(0)), 2);
    // The skin node's shader under vs_1_1: two weights, normals renormalised, one directional light.
    VertexShaderConstantLayout layout;
    const std::string text = VertexShaderText(
        VertexShaderDescriptorMake(1, 0, 0, 0, 2, 0, 0, kVertexShaderNormals | kVertexShaderNormalise),
        kVertexShaderProfile11, 96, false, &layout);
    ShaderAssembly assembly;
    if (!ShaderAssemble(text, &assembly)) {
        state.SkipWithError(assembly.error.c_str());
        return;
    }
    ShaderProgram* program = ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), nullptr);
    if (!program) {
        state.SkipWithError("shader refused");
        return;
    }
    std::vector<float[4]> constants(layout.bones + 3 * kBones);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            constants[size_t(r)][c] = r == c ? 1.0f : 0.0f;
        }
    }
    const float light[3][4] = {{0.2f, 0.2f, 0.2f, 1.0f}, {0.0f, 0.0f, -1.0f, 0.0f}, {0.8f, 0.8f, 0.7f, 0.0f}};
    std::memcpy(constants[4], light, sizeof light); // ambient, direction, colour
    for (int b = 0; b < kBones; ++b) {
        std::memcpy(constants[size_t(layout.bones + 3 * b)], mesh.bones[size_t(b)].row, sizeof(float) * 12);
    }
    constexpr int kBatches = 16;
    std::vector<ShaderVertexBatch> batches(kBatches);
    const size_t count = mesh.positions.size() / 3;
    for (auto _ : state) {
        for (size_t first = 0; first < count; first += kBatches * kShaderLanes) {
            const size_t chunk = std::min<size_t>(count - first, kBatches * kShaderLanes);
            const int used = int((chunk + kShaderLanes - 1) / kShaderLanes);
            for (size_t i = 0; i < chunk; ++i) {
                const size_t v = first + i;
                ShaderLanes4* in = batches[i / kShaderLanes].input;
                const size_t l = i % kShaderLanes;
                for (int c = 0; c < 3; ++c) {
                    in[0].v[c][l] = mesh.positions[3 * v + size_t(c)];
                    in[3].v[c][l] = mesh.normals[3 * v + size_t(c)];
                }
                in[0].v[3][l] = 1.0f;
                in[1].v[0][l] = mesh.weights[4 * v];
                in[1].v[1][l] = mesh.weights[4 * v + 1];
                in[2].v[0][l] = float(3 * (mesh.indices[v] & 0xFF));
                in[2].v[1][l] = float(3 * ((mesh.indices[v] >> 8) & 0xFF));
            }
            ShaderVertexRunBatches(program, constants.data(), int(constants.size()), batches.data(), used);
            for (size_t i = 0; i < chunk; ++i) {
                const ShaderVertexBatch& batch = batches[i / kShaderLanes];
                const size_t l = i % kShaderLanes;
                float* out = &mesh.out[6 * (first + i)];
                for (int c = 0; c < 3; ++c) {
                    out[c] = batch.output[kShaderOutPosition].v[c][l];
                    out[3 + c] = batch.output[kShaderOutColor0].v[c][l];
                }
            }
        }
        benchmark::DoNotOptimize(mesh.out.data());
        benchmark::ClobberMemory();
    }
    ShaderProgramDestroy(program);
    Report(state, int64_t(count));
}

BENCHMARK(SoftwareSkinning)
    ->ArgsProduct({{10000, 100000}, {1, 2, 4}})
    ->ArgNames({"vertices", "weights"})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(MemcpyBound)->Arg(10000)->Arg(100000)->ArgName("vertices")->Unit(benchmark::kMicrosecond);
BENCHMARK(ShaderPath)->Arg(10000)->Arg(100000)->ArgName("vertices")->Unit(benchmark::kMicrosecond);

} // namespace
