// Transform and light of a 200,000-triangle sphere's vertices: through the
// shader the renderer's generator writes for one directional light, run by
// the interpreter eight vertices at a time, and through a plain C++
// transform-and-light loop standing in for the fixed-function path, built
// for the same instruction set as the interpreter's executor. Both
// read the same interleaved vertices (the vertex buffer) and write the same
// transformed vertices in blocks of eight (the form a rasteriser working on
// lanes reads), so the shader path pays for gathering the vertices into
// lanes and copying its outputs out. Prints Mvertices/s for both.
#include "platform/d3dx9/d3dx9math.h"
#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Vertex // position, normal, one texture-coordinate set
{
    float position[3];
    float normal[3];
    float uv[2];
};

struct Transformed // eight vertices: clip-space position, diffuse colour, texture coordinates
{
    float position[4][kShaderLanes];
    float diffuse[4][kShaderLanes];
    float uv[2][kShaderLanes];
};

// 250 stacks x 400 slices: 199,200 triangles over 100,651 vertices.
std::vector<Vertex> Sphere()
{
    const int stacks = 250;
    const int slices = 400;
    std::vector<Vertex> vertices;
    for (int i = 0; i <= stacks; ++i) {
        const float theta = 3.14159265f * static_cast<float>(i) / stacks;
        for (int j = 0; j <= slices; ++j) {
            const float phi = 6.28318531f * static_cast<float>(j) / slices;
            const float n[3] = {std::sin(theta) * std::cos(phi), std::cos(theta),
                                std::sin(theta) * std::sin(phi)};
            vertices.push_back({{2 * n[0], 2 * n[1], 2 * n[2]},
                                {n[0], n[1], n[2]},
                                {static_cast<float>(j) / slices, static_cast<float>(i) / stacks}});
        }
    }
    return vertices;
}

// The generator's text for one directional light, normals, one texture set.
const char kOneLightShader[] = "vs_1_1\n"
                               "dcl_position0 v0\n"
                               "dcl_normal0 v3\n"
                               "dcl_texcoord0 v5\n"
                               "m4x4 oPos.xyzw, v0, c[0]\n"
                               "mov r11, c[4]\n"
                               "dp3 r6.x, c[5], v3\n"
                               "max r6.x, c[5].w, -r6.x\n"
                               "mad oD0, c[6], r6.x, r11\n"
                               "mov oT0.xy, v5\n";

struct Scene
{
    D3DXMATRIX worldViewProjection;
    float constants[7][4]; // c0-c3 transposed matrix, c4 ambient, c5 light direction, c6 light colour
    std::vector<Vertex> vertices = Sphere();
    std::vector<Transformed> out =
        std::vector<Transformed>((vertices.size() + kShaderLanes - 1) / kShaderLanes);

    Scene()
    {
        D3DXMATRIX world, view, projection;
        D3DXMatrixRotationY(&world, 0.7f);
        D3DXMatrixTranslation(&view, 0.0f, 0.0f, 6.0f);
        D3DXMatrixPerspectiveFovLH(&projection, 1.0f, 4.0f / 3.0f, 0.5f, 100.0f);
        D3DXMatrixMultiply(&worldViewProjection, &world, &view);
        D3DXMatrixMultiply(&worldViewProjection, &worldViewProjection, &projection);
        D3DXMATRIX transposed;
        D3DXMatrixTranspose(&transposed, &worldViewProjection);
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c) {
                constants[r][c] = transposed.m[r][c];
            }
        }
        const float ambient[4] = {0.2f, 0.2f, 0.25f, 1.0f};
        const float direction[4] = {0.577f, -0.577f, 0.577f, 0.0f};
        const float colour[4] = {0.9f, 0.8f, 0.7f, 0.0f};
        for (int c = 0; c < 4; ++c) {
            constants[4][c] = ambient[c];
            constants[5][c] = direction[c];
            constants[6][c] = colour[c];
        }
    }
};

// The plain loop, one output block of eight vertices at a time, so that the
// compiler can keep a block in vector registers.
void TransformAndLight(Scene& scene)
{
    // Local copies: the outputs' stores cannot then change them.
    float m[4][4], ambient[4], light[4], colour[4];
    std::memcpy(m, scene.worldViewProjection.m, sizeof m);
    std::memcpy(ambient, scene.constants[4], sizeof ambient);
    std::memcpy(light, scene.constants[5], sizeof light);
    std::memcpy(colour, scene.constants[6], sizeof colour);
    const Vertex* vertices = scene.vertices.data();
    Transformed* out = scene.out.data();
    const size_t count = scene.vertices.size();
    for (size_t first = 0; first < count; first += kShaderLanes) {
        Transformed& o = out[first / kShaderLanes];
        const size_t lanes = std::min<size_t>(kShaderLanes, count - first);
        for (size_t l = 0; l < lanes; ++l) {
            const Vertex& v = vertices[first + l];
            for (int c = 0; c < 4; ++c) {
                o.position[c][l] =
                    v.position[0] * m[0][c] + v.position[1] * m[1][c] + v.position[2] * m[2][c] + m[3][c];
            }
            float lambert = -(light[0] * v.normal[0] + light[1] * v.normal[1] + light[2] * v.normal[2]);
            lambert = lambert > 0.0f ? lambert : 0.0f;
            for (int c = 0; c < 4; ++c) {
                o.diffuse[c][l] = colour[c] * lambert + ambient[c];
            }
            o.uv[0][l] = v.uv[0];
            o.uv[1][l] = v.uv[1];
        }
    }
}

// The same loop built for the instruction set the interpreter dispatches to
// (AVX2, multiplies and adds unfused), so neither side has wider registers.
__attribute__((target("avx2"), flatten)) void TransformAndLightWide(Scene& scene)
{
    TransformAndLight(scene);
}

void FixedFunction(benchmark::State& state)
{
    Scene scene;
    const bool wide = __builtin_cpu_supports("avx2");
    for (auto _ : state) {
        if (wide) {
            TransformAndLightWide(scene);
        } else {
            TransformAndLight(scene);
        }
        benchmark::DoNotOptimize(scene.out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(wide ? "avx2" : "sse2");
    state.counters["Mvertices/s"] = benchmark::Counter(static_cast<double>(scene.vertices.size()) / 1e6,
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

void InterpretedShader(benchmark::State& state)
{
    Scene scene;
    ShaderAssembly assembly;
    if (!ShaderAssemble(kOneLightShader, &assembly)) {
        state.SkipWithError(assembly.error.c_str());
        return;
    }
    ShaderProgram* program = ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), nullptr);
    if (program == nullptr) {
        state.SkipWithError("shader refused");
        return;
    }
    // The device's way: gather a few hundred vertices into lanes, run them in one call, scatter the results.
    constexpr int kBatches = 16;
    std::vector<ShaderVertexBatch> batches(kBatches);
    for (auto _ : state) {
        const size_t count = scene.vertices.size();
        for (size_t first = 0; first < count; first += kBatches * kShaderLanes) {
            const size_t chunk = std::min<size_t>(count - first, kBatches * kShaderLanes);
            const Vertex* source = scene.vertices.data() + first;
            for (size_t b = 0; b * kShaderLanes < chunk; ++b) {
                ShaderLanes4* in = batches[b].input;
                const size_t lanes = std::min<size_t>(kShaderLanes, chunk - b * kShaderLanes);
                for (size_t l = 0; l < lanes; ++l) {
                    const Vertex& v = source[b * kShaderLanes + l];
                    in[0].v[0][l] = v.position[0];
                    in[0].v[1][l] = v.position[1];
                    in[0].v[2][l] = v.position[2];
                    in[0].v[3][l] = 1.0f;
                    in[3].v[0][l] = v.normal[0];
                    in[3].v[1][l] = v.normal[1];
                    in[3].v[2][l] = v.normal[2];
                    in[5].v[0][l] = v.uv[0];
                    in[5].v[1][l] = v.uv[1];
                }
            }
            const int used = static_cast<int>((chunk + kShaderLanes - 1) / kShaderLanes);
            ShaderVertexRunBatches(program, scene.constants, 7, batches.data(), used);
            for (int b = 0; b < used; ++b) {
                const ShaderVertexBatch& batch = batches[b];
                Transformed& o = scene.out[first / kShaderLanes + b];
                std::memcpy(o.position, batch.output[kShaderOutPosition].v, sizeof o.position);
                std::memcpy(o.diffuse, batch.output[kShaderOutColor0].v, sizeof o.diffuse);
                std::memcpy(o.uv, batch.output[kShaderOutTexCoord0].v, sizeof o.uv);
            }
        }
        benchmark::DoNotOptimize(scene.out.data());
        benchmark::ClobberMemory();
    }
    ShaderProgramDestroy(program);
    state.counters["Mvertices/s"] = benchmark::Counter(static_cast<double>(scene.vertices.size()) / 1e6,
                                                       benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(FixedFunction)->Unit(benchmark::kMillisecond);
BENCHMARK(InterpretedShader)->Unit(benchmark::kMillisecond);

} // namespace
