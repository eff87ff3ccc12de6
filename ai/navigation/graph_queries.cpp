#include "ai/navigation/graph_queries.h"

#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Zelk {

namespace {

constexpr int32_t kMaxCandidates = 1000;

bool PassesFilters(const CGraphNode& node, bool needsOutArcs, bool needsInArcs)
{
    return !(needsOutArcs && node.GetOutArcCount() == 0) && !(needsInArcs && node.GetInArcCount() == 0);
}

float Manhattan(const CVec3& a, const CVec3& b)
{
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z);
}

bool InHeightWindow(const CVec3& node, const CVec3& point, float h)
{
    return h == -1.0f || (node.y >= point.y - 2.0f * h && node.y <= point.y + 1.5f * h);
}

} // namespace

CGraphNode* FindNearestNode(CSpatialGraph& graph, const CVec3& point, bool needsOutArcs, bool needsInArcs)
{
    CGraphNode* best = nullptr;
    float bestDistance = std::numeric_limits<float>::max();
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        CGraphNode* node = graph.GetNode(i);
        if (node == nullptr || !PassesFilters(*node, needsOutArcs, needsInArcs))
            continue;
        const float d = Manhattan(node->GetPosition(), point);
        if (best == nullptr || d < bestDistance) {
            best = node;
            bestDistance = d;
            if (d == 0.0f)
                break;
        }
    }
    return best;
}

CGraphNode* FindNearestVisibleNode(CSpatialGraph& graph, const CVec3& point, CEntity* entity,
                                   bool needsOutArcs, bool needsInArcs)
{
    const float width = NavEntityWidth(entity);
    CGraphNode* best = nullptr;
    float best2 = 0.0f;
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        CGraphNode* node = graph.GetNode(i);
        if (node == nullptr || !PassesFilters(*node, needsOutArcs, needsInArcs))
            continue;
        const float d2 = CVec3::SquaredDistance(node->GetPosition(), point);
        if (best != nullptr && (d2 >= best2 || !NavCanGo(point, node->GetPosition(), entity, width)))
            continue;
        best = node;
        best2 = d2;
    }
    return best;
}

CGraphNode* FindNearestNodeForEntity(CSpatialGraph& graph, const CVec3& point, CEntity* entity,
                                     float maxHeightDiff, bool needsOutArcs, bool needsInArcs)
{
    const float radius = graph.GetSearchRadius();
    const float r2 = radius * radius;
    const float width = NavEntityWidth(entity);
    const float close = 0.1f * NavOneMeter();
    const float close2 = close * close;
    // The first pass wants a node the entity can reach straight; only when
    // none is in range does the second pass take the nearest one anyway.
    for (int pass = 0; pass < 2; ++pass) {
        const bool testVisibility = pass == 0;
        CGraphNode* best = nullptr;
        float best2 = r2;
        for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
            CGraphNode* node = graph.GetNode(i);
            if (node == nullptr || !PassesFilters(*node, needsOutArcs, needsInArcs))
                continue;
            const CVec3& p = node->GetPosition();
            const float d2 = CVec3::SquaredDistance(p, point);
            if (d2 >= best2 || !InHeightWindow(p, point, maxHeightDiff))
                continue;
            if (testVisibility && !NavCanGo(point, p, entity, width))
                continue;
            best = node;
            best2 = d2;
            if (d2 < close2)
                break;
        }
        if (best != nullptr)
            return best;
    }
    return nullptr;
}

CGraphNode* FindNearestNodeFromData(const CVec3& point, CEntity* entity, float maxHeightDiff,
                                    CFindNearestData& data, bool needsOutArcs, bool needsInArcs)
{
    const uint32_t* list = nullptr;
    const int32_t found = data.FindCandidates(point, maxHeightDiff, list);
    const int32_t count = std::min(found, kMaxCandidates);
    CSpatialGraph& graph = *data.GetGraph();
    struct Candidate
    {
        float d2;
        CGraphNode* node;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i)
        if (CGraphNode* node = graph.GetNode(int32_t(list[i])))
            candidates.push_back({CVec3::SquaredDistance(node->GetPosition(), point), node});
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.d2 < b.d2; });
    const float width = NavEntityWidth(entity);
    CGraphNode* fallback = nullptr;
    for (const Candidate& c : candidates) {
        if (!PassesFilters(*c.node, needsOutArcs, needsInArcs))
            continue;
        if (NavCanGo(point, c.node->GetPosition(), entity, width))
            return c.node;
        if (fallback == nullptr)
            fallback = c.node;
    }
    return fallback;
}

CGraphArc* FindNearestArc(CSpatialGraph& graph, const CVec3& point, float maxHeightDiff)
{
    CGraphArc* best = nullptr;
    float bestValue = 0.0f;
    for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i) {
        CGraphArc* arc = graph.GetArc(i);
        if (arc == nullptr)
            continue;
        const CVec3& from = arc->GetFrom()->GetPosition();
        if (std::fabs(from.y - point.y) > 2.0f * maxHeightDiff)
            continue;
        const CVec3 sum = (from - point) + (arc->GetTo()->GetPosition() - point);
        const float value = std::sqrt(sum.SquaredLength());
        if (best == nullptr || value < bestValue) {
            best = arc;
            bestValue = value;
        }
    }
    return best;
}

namespace {

// Walks every slot up to the highest index, so graphs with holes draw whole.
void DrawArcsAndNodes(CSpatialGraph& graph, const int nodeColour[3], const int zeroArcColour[3],
                      const int arcColour[3])
{
    for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i) {
        const CGraphArc* arc = graph.GetArc(i);
        if (arc == nullptr)
            continue;
        const int* c = arc->GetLength() == 0.0f ? zeroArcColour : arcColour;
        NavDrawLine(arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition(), c[0], c[1], c[2]);
    }
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i)
        if (const CGraphNode* node = graph.GetNode(i))
            NavDrawPoint(node->GetPosition(), nodeColour[0], nodeColour[1], nodeColour[2]);
}

} // namespace

void DrawGraph(CSpatialGraph& graph, int red, int green, int blue)
{
    const int colour[3] = {red, green, blue};
    DrawArcsAndNodes(graph, colour, colour, colour);
}

void DrawGraphDefault(CSpatialGraph& graph)
{
    const int green[3] = {0, 255, 0};
    const int red[3] = {255, 0, 0};
    const int blue[3] = {0, 0, 255};
    DrawArcsAndNodes(graph, green, red, blue);
}

void DrawPath(const CPathRecord& path)
{
    for (int32_t i = 0; i + 1 < path.count; ++i) {
        const CVec3& p = path.positions[size_t(i)];
        NavDrawPoint(p, 0, 255, 255);
        if (path.pathObjects[size_t(i)] != nullptr)
            NavDrawLine(p, path.positions[size_t(i + 1)], 50, 175, 50);
        else
            NavDrawLine(p, path.positions[size_t(i + 1)], 255, 255, 255);
    }
    if (path.count > 0)
        NavDrawPoint(path.positions[size_t(path.count - 1)], 0, 255, 0);
}

} // namespace Zelk
