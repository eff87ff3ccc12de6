// Reads arbitrary bytes as access-ways data of the fixture graph and, when
// accepted, follows every arc index it lists.
#include "ai/navigation/access_ways_data.h"
#include "fuzz/nav_fixture/fuzz_graph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    Zelk::MakeFuzzGraph(graph);
    Zelk::CAccessWaysData ways(&graph);
    if (ways.ReadFromMemory(data, size))
        for (int32_t i = 0; i < ways.GetNodeCount(); ++i) {
            const uint16_t* list = nullptr;
            const int32_t count = ways.GetAccessWays(i, list);
            for (int32_t k = 0; k < count; ++k)
                (void)graph.GetArc(list[k])->GetLength();
        }
    return 0;
}
