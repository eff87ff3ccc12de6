// Reads arbitrary bytes as a navigation graph file, then walks what was read.
#include "ai/navigation/spatial_graph.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    if (graph.ReadFromMemory(data, size)) {
        for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i)
            if (const Zelk::CGraphArc* arc = graph.GetArc(i))
                (void)arc->GetFrom()->GetOutArcCount();
        (void)graph.GetSearchRadius();
    }
    return 0;
}
