// Reads arbitrary bytes as path-cost data of the fixture graph and, when
// accepted, reads every pair.
#include "ai/navigation/path_cost_data.h"
#include "fuzz/nav_fixture/fuzz_graph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    Zelk::MakeFuzzGraph(graph);
    Zelk::CPathCostData costs(&graph);
    if (costs.ReadFromMemory(data, size))
        for (int32_t s = 0; s < 16; ++s)
            for (int32_t t = 0; t < 16; ++t)
                (void)(float(costs.GetCost(s, t)) / costs.GetScale());
    return 0;
}
