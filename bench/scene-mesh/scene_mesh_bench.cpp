// Mesh building: StripBuild, StripBuildExhaustive and MeshBuildLists on a
// grid of 256 x 256 vertices (130050 triangles) and a 50000-triangle soup,
// one material; the same index lists through meshoptimizer's
// meshopt_stripify. Reports triangles per second and indices per triangle,
// then a table of ours against the peer.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <meshoptimizer.h>

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
            for (ShapeTriangle& t : one.shape.triangles) {
                t.material = 0;
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

// Collects each run's rate and indices per triangle for the closing table.
class TableReporter : public benchmark::ConsoleReporter
{
  public:
    struct Figures
    {
        double rate = 0;
        double indices = 0;
    };
    std::map<std::string, Figures> figures;

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            Figures f;
            auto rate = run.counters.find("items_per_second");
            auto indices = run.counters.find("indices_per_triangle");
            f.rate = rate != run.counters.end() ? double(rate->second) : 0.0;
            f.indices = indices != run.counters.end() ? double(indices->second) : 0.0;
            figures[run.benchmark_name()] = f;
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
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
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-34s %14s %14s %8s %10s %10s %8s\n", "figure", "ours tri/s", "peer tri/s", "speed",
                "ours i/t", "peer i/t", "i/t");
    for (const Case& c : Cases()) {
        const auto peer = reporter.figures.find(std::string("meshopt/stripify/") + c.name);
        for (const Builder& b : kBuilders) {
            const auto ours = reporter.figures.find(std::string("ours/") + b.name + "/" + c.name);
            if (ours == reporter.figures.end() || peer == reporter.figures.end()) {
                continue;
            }
            std::printf("%-34s %14.0f %14.0f %8.2f %10.3f %10.3f %8.2f\n",
                        (std::string(b.name) + "/" + c.name).c_str(), ours->second.rate, peer->second.rate,
                        ours->second.rate / peer->second.rate, ours->second.indices, peer->second.indices,
                        ours->second.indices / peer->second.indices);
        }
    }
    SceneEngineStop();
    return 0;
}
