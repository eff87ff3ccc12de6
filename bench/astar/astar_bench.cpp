// A* search on 8-connected grids with 20% of the nodes blocked (seeded), between
// seeded random pairs of open nodes. Reports node expansions per second and,
// as the time per iteration, microseconds per query.
#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <utility>
#include <vector>

namespace {

using namespace Zelk;

struct Scene
{
    CSpatialGraph graph;
    CConstraintShortestPath constraint;
    CHeuristicEuclidianDistance heuristic;
    CPathRecord path;
    std::vector<std::pair<int32_t, int32_t>> queries;
};

// One scene per grid size, built on first use and kept for every run.
Scene& GetScene(int side)
{
    static std::vector<std::pair<int, std::unique_ptr<Scene>>> scenes;
    for (auto& [s, scene] : scenes)
        if (s == side)
            return *scene;
    auto scene = std::make_unique<Scene>();
    BuildGridGraph(scene->graph, side, side, 1.0f, 20, 1234);
    scene->graph.SetConstraint(&scene->constraint);
    scene->graph.SetHeuristic(&scene->heuristic);
    scene->path.SetCapacity(side * side);
    std::mt19937 random(99);
    std::uniform_int_distribution<int32_t> pick(0, side * side - 1);
    while (scene->queries.size() < 64) {
        const int32_t s = pick(random);
        const int32_t t = pick(random);
        if (scene->graph.GetNode(s)->GetOutArcCount() > 0 && scene->graph.GetNode(t)->GetInArcCount() > 0)
            scene->queries.emplace_back(s, t);
    }
    scenes.emplace_back(side, std::move(scene));
    return *scenes.back().second;
}

void BM_AstarGrid(benchmark::State& state)
{
    const int side = int(state.range(0));
    Scene& scene = GetScene(side);
    AstarMemoryInit(scene.graph.GetNodeArraySize());
    size_t next = 0;
    uint64_t expansions = 0;
    uint64_t found = 0;
    for (auto _ : state) {
        const auto [s, t] = scene.queries[next++ % scene.queries.size()];
        found +=
            AstarSearch(scene.graph, scene.path, scene.graph.GetNode(s), scene.graph.GetNode(t), nullptr);
        expansions += AstarLastExpansionCount();
    }
    state.counters["expansions/s"] = benchmark::Counter(double(expansions), benchmark::Counter::kIsRate);
    state.counters["expansions/query"] =
        benchmark::Counter(double(expansions), benchmark::Counter::kAvgIterations);
    state.counters["found"] = benchmark::Counter(double(found), benchmark::Counter::kAvgIterations);
    AstarMemoryFree();
}

BENCHMARK(BM_AstarGrid)->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace
