#include "ai/navigation/astar.h"

#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <cmath>
#include <cstdlib>
#include <typeinfo>

namespace Zelk {

namespace {

// The open set: a binary heap over a pool sized once, ordered by (f, arrival
// number). Popping it gives the nodes in ascending f and, among equal f, in
// the order they arrived -- the order of a list sorted by f in which a new
// node goes behind the equal ones -- at logarithmic cost instead of a walk.
// The entry keeps the node's index so that moving it in the heap does not
// reach into the node.
struct AstarOpenEntry
{
    float f;
    uint32_t arrival;
    int32_t index;
    CGraphNode* node;
};

// A node's state in the search whose stamp it carries (any other stamp:
// neither open nor closed): its heap position + 1 while open, 0 when
// neither, kAstarClosed when closed.
struct AstarNodeState
{
    uint32_t stamp;
    int32_t state;
};
constexpr int32_t kAstarClosed = -1;

struct AstarOpenHeap
{
    AstarOpenEntry* entries = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    AstarNodeState* nodes = nullptr; // per node index
    uint32_t nextArrival = 0;

    static bool Before(const AstarOpenEntry& a, const AstarOpenEntry& b)
    {
        return a.f < b.f || (a.f == b.f && a.arrival < b.arrival);
    }
    void Place(int32_t i, const AstarOpenEntry& entry)
    {
        entries[i] = entry;
        nodes[entry.index].state = i + 1;
    }
    void SiftUp(int32_t i, const AstarOpenEntry entry)
    {
        while (i > 0 && Before(entry, entries[(i - 1) / 2])) {
            Place(i, entries[(i - 1) / 2]);
            i = (i - 1) / 2;
        }
        Place(i, entry);
    }
    void SiftDown(int32_t i, const AstarOpenEntry entry)
    {
        for (;;) {
            int32_t child = 2 * i + 1;
            if (child >= count)
                break;
            if (child + 1 < count && Before(entries[child + 1], entries[child]))
                ++child;
            if (!Before(entries[child], entry))
                break;
            Place(i, entries[child]);
            i = child;
        }
        Place(i, entry);
    }
    // False when the pool is full.
    bool Insert(CGraphNode* node)
    {
        if (count >= capacity)
            return false;
        SiftUp(count++, AstarOpenEntry{node->GetData().f, nextArrival++, node->GetIndex(), node});
        return true;
    }
    // The node's f dropped: it moves up as though removed and inserted
    // anew (a new arrival number), since its new key is below its old one.
    void Lower(CGraphNode* node)
    {
        const int32_t i = nodes[node->GetIndex()].state - 1;
        SiftUp(i, AstarOpenEntry{node->GetData().f, nextArrival++, node->GetIndex(), node});
    }
    void Remove(const CGraphNode* node)
    {
        const int32_t i = nodes[node->GetIndex()].state - 1;
        nodes[node->GetIndex()].state = 0;
        const AstarOpenEntry last = entries[--count];
        if (i == count)
            return;
        if (i > 0 && Before(last, entries[(i - 1) / 2]))
            SiftUp(i, last);
        else
            SiftDown(i, last);
    }
    CGraphNode* Top() const { return count > 0 ? entries[0].node : nullptr; }
};

// Per-node state counts only where the node's stamp equals the current
// search's: a fresh search bumps the stamp instead of clearing the state of
// every node.
struct AstarMemory
{
    int32_t capacity = 0;
    AstarOpenHeap open;
    uint32_t search = 0; // the current search's stamp
    CGraphNode* lastStart = nullptr;
    uint8_t idle = 1;
    // The query of the suspended sliced search.
    CGraphNode* savedStart = nullptr;
    CGraphNode* savedGoal = nullptr;
    void* savedUser = nullptr;
    CHeuristic* savedHeuristic = nullptr;
    CConstraint* savedConstraint = nullptr;
    uint32_t expansions = 0;
};

AstarMemory g_memory;

bool IndexInRange(const CGraphNode* node)
{
    return node->GetIndex() >= 0 && node->GetIndex() < g_memory.capacity;
}

bool FailSearch(const char* what)
{
    NavSetError(ENavError::BadIndex, what);
    return false;
}

// Gives the node the current stamp, neither open nor closed, if it lacks it.
void Touch(int32_t index)
{
    AstarNodeState& node = g_memory.open.nodes[index];
    if (node.stamp != g_memory.search) {
        node.stamp = g_memory.search;
        node.state = 0;
    }
}

void InsertOpen(CGraphNode* node, bool& ok)
{
    Touch(node->GetIndex());
    ok = g_memory.open.Insert(node) && ok;
}

void RemoveOpen(CGraphNode* node)
{
    g_memory.open.Remove(node);
}

bool IsOpen(int32_t index)
{
    const AstarNodeState& node = g_memory.open.nodes[index];
    return node.stamp == g_memory.search && node.state > 0;
}

bool IsClosed(int32_t index)
{
    const AstarNodeState& node = g_memory.open.nodes[index];
    return node.stamp == g_memory.search && node.state < 0;
}

// A new stamp for a fresh search; after the stamps wrap, every node is
// cleared once.
void NextSearch()
{
    g_memory.open.count = 0;
    if (++g_memory.search == 0) {
        for (int32_t i = 0; i < g_memory.capacity; ++i)
            g_memory.open.nodes[i].stamp = 0;
        g_memory.search = 1;
    }
}

// Empties both sets, clears every node's entries and puts the start
// on the open list. False when the start is refused or a node index does not
// fit the memory.
bool FreshStart(CSpatialGraph& graph, CGraphNode* start, CGraphNode* goal, void* user)
{
    NextSearch();
    if (graph.GetHighestNodeIndex() >= g_memory.capacity)
        return FailSearch("graph has node indices beyond the A* memory's capacity");
    g_memory.expansions = 0;
    CGraphNodeData& data = start->GetData();
    data.g = 0.0f;
    if (!graph.GetHeuristic()->Estimate(user, start, goal, &data.h))
        return false;
    data.f = data.h + data.g;
    data.startMarker = 1;
    bool ok = true;
    InsertOpen(start, ok);
    return ok;
}

enum class EStep
{
    Expanded,
    Goal,
    Exhausted,
    Failed
};

// The arc's cost and the estimate from its end to the goal, through the
// graph's constraint and heuristic; the common pair (shortest path,
// straight-line distance) is recognised once per search and priced inline.
struct AstarPricing
{
    CConstraint* constraint;
    CHeuristic* heuristic;
    bool shortestPath; // the constraint is exactly CConstraintShortestPath
    bool straightLine; // the heuristic is exactly CHeuristicEuclidianDistance

    AstarPricing(CSpatialGraph& graph)
        : constraint(graph.GetConstraint()), heuristic(graph.GetHeuristic()),
          shortestPath(typeid(*constraint) == typeid(CConstraintShortestPath)),
          straightLine(typeid(*heuristic) == typeid(CHeuristicEuclidianDistance))
    {
    }
    bool Cost(void* user, CGraphArc* arc, float* cost) const
    {
        if (shortestPath) {
            *cost = arc->GetLength();
            return true;
        }
        return constraint->ComputeCost(user, arc, cost);
    }
    bool Estimate(void* user, CGraphNode* from, CGraphNode* goal, float* estimate) const
    {
        if (straightLine) {
            *estimate = std::sqrt(CVec3::SquaredDistance(from->GetPosition(), goal->GetPosition()));
            return true;
        }
        return heuristic->Estimate(user, from, goal, estimate);
    }
};

// Expands the node at the head of the open list toward the goal.
EStep Step(const AstarPricing& pricing, CGraphNode* goal, void* user)
{
    CGraphNode* n = g_memory.open.Top();
    if (n == nullptr)
        return EStep::Exhausted;
    if (n->GetIndex() == goal->GetIndex())
        return EStep::Goal;
    bool ok = true;
    const float g = n->GetData().g;
    CGraphArc* const* arcs = n->GetOutArcs();
    const int32_t count = n->GetOutArcCount();
    // The arcs and the nodes they reach live apart in memory: ask for all of
    // them before the walk needs the first.
    for (int32_t i = 0; i < count; ++i)
        __builtin_prefetch(arcs[i]);
    for (int32_t i = 0; i < count; ++i)
        __builtin_prefetch(arcs[i]->GetTo());
    for (int32_t i = 0; i < count; ++i) {
        CGraphArc* arc = arcs[i];
        CGraphArcData& arcData = arc->GetData();
        if (arcData.blocked == 1)
            continue;
        const bool priced =
            arcData.linkedObject != nullptr
                ? PathObjectCostThroughArc(arcData.linkedObject, user, arc, pricing.constraint, &arcData.cost)
                : pricing.Cost(user, arc, &arcData.cost);
        if (!priced)
            continue;
        CGraphNode* m = arc->GetTo();
        if (!IndexInRange(m)) {
            FailSearch("node index beyond the A* memory's capacity");
            return EStep::Failed;
        }
        CGraphNodeData& md = m->GetData();
        const int32_t mi = m->GetIndex();
        // A node this search reached already keeps its straight-line
        // estimate (the same number again); others are asked.
        float h = 0.0f;
        if (pricing.straightLine && g_memory.open.nodes[mi].stamp == g_memory.search)
            h = md.h;
        else if (!pricing.Estimate(user, m, goal, &h))
            continue;
        const float newG = g + arcData.cost;
        const float newF = newG + h;
        if (IsClosed(mi)) {
            if (!(newF < md.f))
                continue;
            md.g = newG;
            md.h = h;
            md.f = newF;
            g_memory.open.nodes[mi].state = 0;
            md.parent = n;
            md.arrivalArc = arc;
            InsertOpen(m, ok);
        } else if (IsOpen(mi)) {
            if (!(newF < md.f))
                continue;
            md.g = newG;
            md.h = h;
            md.f = newF;
            g_memory.open.Lower(m);
            md.parent = n;
            md.arrivalArc = arc;
        } else {
            md.g = newG;
            md.h = h;
            md.f = newF;
            md.parent = n;
            md.arrivalArc = arc;
            InsertOpen(m, ok);
        }
    }
    RemoveOpen(n);
    g_memory.open.nodes[n->GetIndex()].state = kAstarClosed;
    ++g_memory.expansions;
    if (!ok) {
        NavSetError(ENavError::NoMemory, "A* memory exhausted");
        return EStep::Failed;
    }
    return EStep::Expanded;
}

void ClearStartMarker(CGraphNode* start)
{
    start->GetData().startMarker = 0;
    if (g_memory.lastStart == start)
        g_memory.lastStart = nullptr;
}

// Writes the path from the start (the node with the start marker) to the goal.
bool BuildPath(CSpatialGraph& graph, CPathRecord& path, CGraphNode* goal)
{
    path.graph = &graph;
    int32_t d = 0;
    CGraphNode* walk = goal;
    while (walk->GetData().startMarker != 1) {
        walk = walk->GetData().parent;
        ++d;
        if (walk == nullptr || d >= graph.GetNodeCount()) {
            path.count = 0;
            return false;
        }
    }
    CGraphNode* start = walk;
    if (d + 1 > path.capacity) {
        path.truncated = 1;
        path.count = path.capacity;
    } else {
        path.truncated = 0;
        path.count = d + 1;
        path.nodeIndices[size_t(d)] = uint32_t(goal->GetIndex());
        path.arcIndices[size_t(d)] = uint32_t(-1);
        path.positions[size_t(d)] = goal->GetPosition();
        path.pathObjects[size_t(d)] = nullptr;
    }
    CGraphNode* current = goal;
    while (d > path.capacity) {
        path.remainingLength += current->GetData().arrivalArc->GetLength();
        current = current->GetData().parent;
        --d;
    }
    for (; d > 0; --d) {
        CGraphNode* parent = current->GetData().parent;
        CGraphArc* arc = current->GetData().arrivalArc;
        const size_t e = size_t(d - 1);
        path.nodeIndices[e] = uint32_t(parent->GetIndex());
        path.positions[e] = parent->GetPosition();
        path.arcIndices[e] = uint32_t(arc->GetIndex());
        path.pathObjects[e] = arc->GetData().linkedObject;
        current = parent;
    }
    ClearStartMarker(start);
    return true;
}

bool CheckQuery(CSpatialGraph& graph, CGraphNode* start, CGraphNode* goal)
{
    if (graph.GetHeuristic() == nullptr || graph.GetConstraint() == nullptr || start == nullptr ||
        goal == nullptr) {
        NavSetError(ENavError::BadArgument, "A* needs a constraint, a heuristic, a start and a goal");
        return false;
    }
    if (!IndexInRange(start) || !IndexInRange(goal))
        return FailSearch("start or goal beyond the A* memory's capacity");
    return true;
}

void UpdateStats(AstarSliceStats& stats, float elapsed, uint32_t n)
{
    const uint32_t c = stats.nodeCount;
    if (c + n == 0)
        return;
    const float total = float(c + n);
    const float mean = (float(c) * stats.meanTime + elapsed) / total;
    stats.deviation = (float(c) * stats.deviation + std::fabs(mean * float(n) - elapsed)) / total;
    stats.meanTime = mean;
    stats.nodeCount = c + n;
}

float AllowedNodes(float time, const AstarSliceStats& stats, float spread)
{
    const float denominator = spread * stats.deviation + stats.meanTime;
    return denominator == 0.0f ? 1.0f : time / denominator;
}

} // namespace

bool AstarMemoryInit(int32_t nodeCount)
{
    AstarMemoryFree();
    if (nodeCount <= 0)
        return true;
    g_memory.capacity = nodeCount;
    g_memory.open.capacity = nodeCount;
    g_memory.open.entries =
        static_cast<AstarOpenEntry*>(std::calloc(size_t(nodeCount), sizeof(AstarOpenEntry)));
    g_memory.open.nodes =
        static_cast<AstarNodeState*>(std::calloc(size_t(nodeCount), sizeof(AstarNodeState)));
    if (g_memory.open.entries == nullptr || g_memory.open.nodes == nullptr) {
        AstarMemoryFree();
        NavSetError(ENavError::NoMemory, "A* memory could not be allocated");
        return false;
    }
    return true;
}

void AstarMemoryFree()
{
    std::free(g_memory.open.entries);
    std::free(g_memory.open.nodes);
    g_memory = AstarMemory();
}

int32_t AstarMemoryCapacity()
{
    return g_memory.capacity;
}

uint32_t AstarLastExpansionCount()
{
    return g_memory.expansions;
}

bool AstarSearch(CSpatialGraph& graph, CPathRecord& path, CGraphNode* start, CGraphNode* goal, void* user)
{
    if (!CheckQuery(graph, start, goal))
        return false;
    if (g_memory.lastStart != nullptr)
        g_memory.lastStart->GetData().startMarker = 0;
    g_memory.lastStart = nullptr;
    g_memory.idle = 1;
    if (!FreshStart(graph, start, goal, user)) {
        start->GetData().startMarker = 0;
        return false;
    }
    const AstarPricing pricing(graph);
    for (;;) {
        switch (Step(pricing, goal, user)) {
        case EStep::Expanded:
            continue;
        case EStep::Goal:
            return BuildPath(graph, path, goal);
        case EStep::Exhausted:
        case EStep::Failed:
            start->GetData().startMarker = 0;
            return false;
        }
    }
}

EAstarResult AstarSearchSliced(CSpatialGraph& graph, CPathRecord& path, CGraphNode* start, CGraphNode* goal,
                               void* user, AstarSliceStats& stats, float spread, float budget, bool restart)
{
    if (!CheckQuery(graph, start, goal))
        return kAstarNoPath;
    float sliceStart = NavClock();
    float remaining = budget;
    float allowed = AllowedNodes(budget, stats, spread);

    bool resume = false;
    if (!restart && g_memory.idle == 0) {
        if (g_memory.lastStart != start) {
            if (g_memory.lastStart != nullptr)
                g_memory.lastStart->GetData().startMarker = 0;
        } else {
            resume = g_memory.savedStart == start && g_memory.savedGoal == goal &&
                     g_memory.savedUser == user && g_memory.savedHeuristic == graph.GetHeuristic() &&
                     g_memory.savedConstraint == graph.GetConstraint();
        }
    }
    if (!resume) {
        if (g_memory.lastStart != nullptr && g_memory.lastStart != start)
            g_memory.lastStart->GetData().startMarker = 0;
        g_memory.idle = 1;
        g_memory.lastStart = start;
        if (!FreshStart(graph, start, goal, user)) {
            ClearStartMarker(start);
            return kAstarNoPath;
        }
    }

    const AstarPricing pricing(graph);
    uint32_t n = 0;
    for (;;) {
        switch (Step(pricing, goal, user)) {
        case EStep::Expanded:
            break;
        case EStep::Goal: {
            const bool built = BuildPath(graph, path, goal);
            g_memory.idle = built ? 1 : 0;
            UpdateStats(stats, NavClock() - sliceStart, n);
            return built ? kAstarFound : kAstarNoPath;
        }
        case EStep::Exhausted:
        case EStep::Failed:
            ClearStartMarker(start);
            g_memory.idle = 1;
            return kAstarNoPath;
        }
        ++n;
        if (float(n) < allowed)
            continue;
        const float now = NavClock();
        const float elapsed = now - sliceStart;
        UpdateStats(stats, elapsed, n);
        if (elapsed >= remaining) {
            g_memory.savedStart = start;
            g_memory.savedGoal = goal;
            g_memory.savedUser = user;
            g_memory.savedHeuristic = graph.GetHeuristic();
            g_memory.savedConstraint = graph.GetConstraint();
            g_memory.idle = 0;
            return kAstarSuspended;
        }
        allowed = AllowedNodes(remaining - elapsed, stats, spread);
        sliceStart = now;
        remaining -= elapsed;
        n = 0;
    }
}

} // namespace Zelk
