// The graph that the navigation data fuzz targets read their data for, and
// that navtool writes their seed corpora for: 4 x 4 nodes, 1 apart, joined
// both ways to their 4-neighbours.
#pragma once

#include "ai/navigation/spatial_graph.h"

#include <cmath>

namespace Zelk {

inline void MakeFuzzGraph(CSpatialGraph& graph)
{
    for (int i = 0; i < 16; ++i) {
        CGraphNodeData record;
        record.position = CVec3(float(i % 4), 0.0f, float(i / 4));
        graph.AddNode(record);
    }
    for (int i = 0; i < 16; ++i)
        for (int j : {i - 4, i + 4, i % 4 > 0 ? i - 1 : -1, i % 4 < 3 ? i + 1 : -1}) {
            if (j < 0 || j >= 16)
                continue;
            CGraphArcData arc;
            arc.length = arc.cost = 1.0f;
            graph.AddArc(arc, graph.GetNode(i), graph.GetNode(j));
        }
}

} // namespace Zelk
