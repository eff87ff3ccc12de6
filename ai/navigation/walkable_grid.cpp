#include "ai/navigation/walkable_grid.h"

#include "ai/navigation/nav_host.h"
#include "ai/navigation/spatial_graph.h"

#include <vector>

namespace Zelk {

int BuildWalkableGridGraph(CSpatialGraph& graph, const CVec3& origin, int w, int h, float spacing,
                           float width)
{
    if (w <= 0 || h <= 0)
        return 0;
    const auto at = [&](int x, int z) {
        return origin + CVec3(float(x) * spacing, 0.0f, float(z) * spacing);
    };
    struct Link
    {
        int a, b;
    };
    std::vector<Link> links;
    std::vector<bool> used(size_t(w) * size_t(h), false);
    // Each unordered pair once: right, up, and the two upward diagonals.
    const int steps[4][2] = {{1, 0}, {0, 1}, {1, 1}, {-1, 1}};
    for (int z = 0; z < h; ++z)
        for (int x = 0; x < w; ++x)
            for (const auto& s : steps) {
                const int nx = x + s[0], nz = z + s[1];
                if (nx < 0 || nx >= w || nz >= h)
                    continue;
                const CVec3 p = at(x, z), q = at(nx, nz);
                if (!NavCanGo(p, q, nullptr, width) || !NavCanGo(q, p, nullptr, width))
                    continue;
                const int a = z * w + x, b = nz * w + nx;
                links.push_back({a, b});
                used[size_t(a)] = used[size_t(b)] = true;
            }
    std::vector<CGraphNode*> nodes(used.size(), nullptr);
    int added = 0;
    for (size_t i = 0; i < used.size(); ++i)
        if (used[i]) {
            nodes[i] = AddNodeAtPosition(graph, at(int(i) % w, int(i) / w));
            added += nodes[i] != nullptr ? 1 : 0;
        }
    for (const Link& link : links) {
        CGraphNode* a = nodes[size_t(link.a)];
        CGraphNode* b = nodes[size_t(link.b)];
        if (a == nullptr || b == nullptr)
            continue;
        CGraphArcData arc;
        arc.length = arc.cost = (b->GetPosition() - a->GetPosition()).Length();
        graph.AddArc(arc, a, b);
        graph.AddArc(arc, b, a);
    }
    return added;
}

} // namespace Zelk
