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
    for (uint8_t& cell : blocked)
        cell = percent(random) < blockedPercent ? 1 : 0;
    // Calls visit(neighbour cell) for each open cell next to the open cell (x, y).
    const auto forEachNeighbour = [&](int x, int y, auto&& visit) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx;
                const int ny = y + dy;
                if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h ||
                    blocked[size_t(ny * w + nx)])
                    continue;
                visit(ny * w + nx);
            }
    };
    // Everything sized exactly first: on a large grid, objects allocated one
    // by one and lists grown by doubling would cost more than the arcs
    // themselves. Arcs run both ways, so a cell has as many in-arcs as out-arcs.
    std::vector<int32_t> arcsOfCell(blocked.size(), 0);
    int64_t arcCount = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!blocked[size_t(y * w + x)]) {
                forEachNeighbour(x, y, [&](int) { ++arcsOfCell[size_t(y * w + x)]; });
                arcCount += arcsOfCell[size_t(y * w + x)];
            }
    // Into an empty graph only (else the objects come from the allocator).
    graph.ReserveBlock(blocked.size(), size_t(arcCount), 2 * size_t(arcCount));
    graph.SetNodeCapacity(base + w * h);
    for (int i = 0; i < w * h; ++i) {
        CGraphNodeData record;
        record.position = CVec3(float(i % w) * spacing, 0.0f, float(i / w) * spacing);
        CGraphNode* node = graph.GetNode(graph.AddNode(record));
        node->ReserveOutArcs(arcsOfCell[size_t(i)]);
        node->ReserveInArcs(arcsOfCell[size_t(i)]);
    }
    graph.SetArcCapacity(int32_t(graph.GetHighestArcIndex() + 1 + arcCount));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (blocked[size_t(y * w + x)])
                continue;
            CGraphNode* from = graph.GetNode(base + y * w + x);
            forEachNeighbour(x, y, [&](int cell) {
                CGraphNode* to = graph.GetNode(base + cell);
                CGraphArcData arc;
                arc.length = arc.cost =
                    std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
                graph.AddArc(arc, from, to);
            });
        }
}

} // namespace Zelk
