// Mesh building: StripBuild, StripBuildExhaustive and MeshBuildLists on a
// grid of 256 x 256 vertices (130050 triangles) and a 50000-triangle soup,
// one material, and meshoptimizer's meshopt_stripify on the same triangles
// (Google Benchmark: triangles per second and indices per triangle).
//
// bench_scene_mesh --compare [rounds]: the strip builders against
// meshopt_stripify in interleaved rounds, as rows of figure, ours, peer and
// ratio. Both sides strip the same triangles in the same order, the order
// meshopt_optimizeVertexCache gives them (meshoptimizer's stripifier expects
// it). Ours is a whole mesh build (sort by material, adjacency, strips
// joined into one, the mesh header), the peer only its index strip; both
// strips join with repeated indices, and each side's indices per triangle
// follow the rows.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <meshoptimizer.h>

#include "bench/compare_row.h"
#include "bench/process_clock.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "tools/scenebuild/meshshapes.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

struct Case
{
    const char* name;
    MeshShape shape;
    uint32_t vertices;
};

const std::vector<Case>& Cases()
{
    static const std::vector<Case> cases = [] {
        std::vector<Case> c = {{"grid256", MeshShapeGrid(255, 255), 256 * 256},
                               {"soup50k", MeshShapeSoup(50000, 25000, 11), 25000}};
        for (Case& one : c) {
            std::vector<unsigned int> indices;
            for (ShapeTriangle& t : one.shape.triangles) {
                indices.insert(indices.end(), {t.vertex[0], t.vertex[1], t.vertex[2]});
            }
            meshopt_optimizeVertexCache(indices.data(), indices.data(), indices.size(), one.vertices);
            for (size_t i = 0; i < one.shape.triangles.size(); ++i) {
                ShapeTriangle& t = one.shape.triangles[i];
                t = {{uint16_t(indices[3 * i]), uint16_t(indices[3 * i + 1]), uint16_t(indices[3 * i + 2])},
                     0};
            }
        }
        return c;
    }();
    return cases;
}

struct Builder
{
    const char* name;
    MeshBuildCallBack strips; // null: lists
};

const Builder kBuilders[] = {
    {"StripBuild", StripBuild}, {"StripBuildExhaustive", StripBuildExhaustive}, {"MeshBuildLists", nullptr}};

Material* SharedMaterials()
{
    static Material* material = SceneEngineStart() ? MaterialCreate() : nullptr;
    return material;
}

void BM_Ours(benchmark::State& state, int caseIndex, int builderIndex)
{
    Material* material = SharedMaterials();
    if (!material) {
        state.SkipWithError("engine did not start");
        return;
    }
    Material* materials[3] = {material, material, material};
    const Case& c = Cases()[caseIndex];
    const Builder& builder = kBuilders[builderIndex];
    MeshSetBuildCallBack(builder.strips, nullptr);
    uint32_t indices = 0;
    for (auto _ : state) {
        state.PauseTiming();
        MeshBuildList* list = MeshShapeBuildList(c.shape, materials);
        state.ResumeTiming();
        MeshHeader* header = MeshBuild(list, builder.strips ? 1 : 0);
        state.PauseTiming();
        indices = header ? header->totalIndices : 0;
        MeshHeaderDestroy(header);
        state.ResumeTiming();
    }
    MeshSetBuildCallBack(nullptr, nullptr);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(c.shape.triangles.size()));
    state.counters["indices_per_triangle"] = double(indices) / double(c.shape.triangles.size());
}

void BM_Meshopt(benchmark::State& state, int caseIndex)
{
    const Case& c = Cases()[caseIndex];
    std::vector<unsigned int> source;
    for (const ShapeTriangle& t : c.shape.triangles) {
        source.insert(source.end(), {t.vertex[0], t.vertex[1], t.vertex[2]});
    }
    std::vector<unsigned int> strip(meshopt_stripifyBound(source.size()));
    size_t count = 0;
    for (auto _ : state) {
        count = meshopt_stripify(strip.data(), source.data(), source.size(), c.vertices, 0);
        benchmark::DoNotOptimize(strip.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(c.shape.triangles.size()));
    state.counters["indices_per_triangle"] = double(count) / double(c.shape.triangles.size());
}

/// Page faults taken inside the timed builds (of either side), for the remarks.
long g_faults = 0;

double SecondsOf(int builds, MeshBuildCallBack strips, const Case& c, uint32_t* indices)
{
    Material* material = SharedMaterials();
    Material* materials[3] = {material, material, material};
    double seconds = 0.0;
    for (int i = 0; i < builds; ++i) {
        MeshBuildList* list = MeshShapeBuildList(c.shape, materials);
        const long faults = PageFaults();
        const double start = ThreadSeconds();
        MeshHeader* header = strips(list, nullptr);
        seconds += ThreadSeconds() - start;
        g_faults += PageFaults() - faults;
        *indices = header ? header->totalIndices : 0;
        MeshHeaderDestroy(header);
        MeshBuildListDestroy(list);
    }
    return seconds;
}

double PeerSecondsOf(int builds, const Case& c, size_t* indices)
{
    std::vector<unsigned int> source;
    for (const ShapeTriangle& t : c.shape.triangles) {
        source.insert(source.end(), {t.vertex[0], t.vertex[1], t.vertex[2]});
    }
    std::vector<unsigned int> strip(meshopt_stripifyBound(source.size()));
    const long faults = PageFaults();
    const double start = ThreadSeconds();
    for (int i = 0; i < builds; ++i) {
        *indices = meshopt_stripify(strip.data(), source.data(), source.size(), c.vertices, 0);
    }
    const double seconds = ThreadSeconds() - start;
    g_faults += PageFaults() - faults;
    return seconds;
}

// The strip builders against meshopt_stripify, round by round.
int Compare(int rounds)
{
    if (!SharedMaterials()) {
        std::fprintf(stderr, "bench_scene_mesh: the engine did not start\n");
        return 1;
    }
    std::printf("strips against meshoptimizer %d.%d, same triangles in vertex-cache order, %d interleaved "
                "rounds\n",
                MESHOPTIMIZER_VERSION / 1000, MESHOPTIMIZER_VERSION % 1000 / 10, rounds);
    PrintCompareHeader();
    constexpr int kBuilds = 5;
    std::vector<std::string> remarks;
    for (const Case& c : Cases()) {
        const double triangles = double(c.shape.triangles.size()) * kBuilds / 1e6;
        for (int b = 0; b < 2; ++b) {
            std::vector<double> ours, peer;
            uint32_t oursIndices = 0;
            size_t peerIndices = 0;
            SecondsOf(1, kBuilders[b].strips, c, &oursIndices);
            PeerSecondsOf(1, c, &peerIndices);
            long faults[2] = {0, 0};
            for (int r = 0; r < rounds; ++r) {
                g_faults = 0;
                ours.push_back(triangles / SecondsOf(kBuilds, kBuilders[b].strips, c, &oursIndices));
                faults[0] += g_faults;
                g_faults = 0;
                peer.push_back(triangles / PeerSecondsOf(kBuilds, c, &peerIndices));
                faults[1] += g_faults;
            }
            const std::string figure = std::string("strips, ") + c.name + ", " + kBuilders[b].name +
                                       " whole mesh build against index strip only (Mtri/s)";
            PrintCompareRow(figure.c_str(), MedianOf(ours), "meshopt_stripify", MedianOf(peer), rounds);
            char remark[200];
            std::snprintf(
                remark, sizeof remark,
                "%s, %s: indices per triangle ours %.3f, meshopt_stripify %.3f; page faults a build "
                "ours %ld, meshopt_stripify %ld",
                c.name, kBuilders[b].name, double(oursIndices) / double(c.shape.triangles.size()),
                double(peerIndices) / double(c.shape.triangles.size()), faults[0] / (rounds * kBuilds),
                faults[1] / (rounds * kBuilds));
            remarks.push_back(remark);
        }
    }
    for (const std::string& r : remarks) {
        std::printf("  %s\n", r.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--compare") == 0) {
        const int status = Compare(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        SceneEngineStop();
        return status;
    }
    for (int c = 0; c < int(Cases().size()); ++c) {
        for (int b = 0; b < 3; ++b) {
            benchmark::RegisterBenchmark(
                (std::string("ours/") + kBuilders[b].name + "/" + Cases()[c].name).c_str(), BM_Ours, c, b)
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark((std::string("meshopt/stripify/") + Cases()[c].name).c_str(), BM_Meshopt,
                                     c)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    SceneEngineStop();
    return 0;
}
