// Reads arbitrary bytes as find-nearest data of the fixture graph and, when
// accepted, queries it.
#include "ai/navigation/find_nearest_data.h"
#include "fuzz/nav_fixture/fuzz_graph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    Zelk::MakeFuzzGraph(graph);
    Zelk::CFindNearestData nearest(&graph);
    if (nearest.ReadFromMemory(data, size)) {
        const uint32_t* list = nullptr;
        for (float x = -1.0f; x <= 4.0f; x += 0.5f)
            (void)nearest.FindCandidates(Zelk::CVec3(x, 0.0f, x), 1.0f, list);
    }
    return 0;
}
