#include "ai/navigation/grid_graph.h"

#include "ai/navigation/spatial_graph.h"

#include <cmath>
#include <random>
#include <vector>

namespace Zelk {

void BuildGridGraph(CSpatialGraph& graph, int w, int h, float spacing, int blockedPercent, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> percent(0, 99);
    const int base = graph.GetHighestNodeIndex() + 1;
    std::vector<uint8_t> blocked(size_t(w) * size_t(h));
    graph.SetNodeCapacity(base + w * h);
    for (int i = 0; i < w * h; ++i) {
        CGraphNodeData record;
        record.position = CVec3(float(i % w) * spacing, 0.0f, float(i / w) * spacing);
        graph.AddNode(record);
        blocked[size_t(i)] = percent(random) < blockedPercent ? 1 : 0;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (blocked[size_t(y * w + x)])
                continue;
            CGraphNode* from = graph.GetNode(base + y * w + x);
            from->ReserveOutArcs(8);
            from->ReserveInArcs(8);
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h ||
                        blocked[size_t(ny * w + nx)])
                        continue;
                    CGraphNode* to = graph.GetNode(base + ny * w + nx);
                    CGraphArcData arc;
                    arc.length = arc.cost =
                        std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
                    graph.AddArc(arc, from, to);
                }
        }
}

} // namespace Zelk
