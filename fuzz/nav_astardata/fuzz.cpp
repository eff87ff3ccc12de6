// Reads arbitrary bytes as A* data of the fixture graph and, when accepted,
// looks up every pair.
#include "ai/navigation/astar_data.h"
#include "ai/navigation/path_record.h"
#include "fuzz/nav_fixture/fuzz_graph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    Zelk::MakeFuzzGraph(graph);
    Zelk::CAstarData table(&graph);
    if (table.ReadFromMemory(data, size)) {
        Zelk::CPathRecord path;
        path.SetCapacity(5);
        for (int32_t s = 0; s < 16; ++s)
            for (int32_t t = 0; t < 16; ++t)
                (void)table.Lookup(s, t, path);
    }
    return 0;
}
