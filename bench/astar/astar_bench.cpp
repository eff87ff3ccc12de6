// A* search on 8-connected grids with 20% of the nodes blocked (seeded), between
// seeded random pairs of open nodes. Reports node expansions per second and,
// as the time per iteration, microseconds per query.
#include "ai/navigation/astar.h"
#include "bench/astar/astar_scene.h"

#include <benchmark/benchmark.h>

namespace {

using namespace Zelk;

void BM_AstarGrid(benchmark::State& state)
{
    const int side = int(state.range(0));
    astarbench::Scene& scene = astarbench::GetScene(side);
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
