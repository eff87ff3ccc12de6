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
struct AstarOpenEntry
{
    float f;
    uint32_t arrival;
    int32_t index;
};

// A node's search fields in the search whose stamp it carries (any other
// stamp: not reached yet), in two arrays by node index: what every arc to
// the node reads, and the rest. They are written back to the node objects
// when the search ends or suspends, so that the search itself touches no node.
struct AstarNodeState
{
    uint32_t stamp;
    int32_t state; // heap position + 1 while open, 0 when neither, kAstarClosed
    float f;
    float h;
};
struct AstarNodeRoute
{
    float g;
    int32_t parent;   // node index; -1 while not reached through an arc
    uint32_t arrival; // packed arc entry of the arrival arc
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
    bool Insert(int32_t index)
    {
        if (count >= capacity)
            return false;
        SiftUp(count++, AstarOpenEntry{nodes[index].f, nextArrival++, index});
        return true;
    }
    // The node's f dropped: it moves up as though removed and inserted
    // anew (a new arrival number), since its new key is below its old one.
    void Lower(int32_t index)
    {
        SiftUp(nodes[index].state - 1, AstarOpenEntry{nodes[index].f, nextArrival++, index});
    }
    void Remove(int32_t index)
    {
        const int32_t i = nodes[index].state - 1;
        nodes[index].state = 0;
        const AstarOpenEntry last = entries[--count];
        if (i == count)
            return;
        if (i > 0 && Before(last, entries[(i - 1) / 2]))
            SiftUp(i, last);
        else
            SiftDown(i, last);
    }
};

// Per-node state counts only where the node's stamp equals the current
// search's: a fresh search bumps the stamp instead of clearing the state of
// every node, and lists the nodes it reaches for the write-back.
struct AstarMemory
{
    int32_t capacity = 0;
    AstarOpenHeap open;
    AstarNodeRoute* routes = nullptr; // per node index
    int32_t* reached = nullptr;       // node indices, in the order first reached
    int32_t reachedCount = 0;
    uint32_t search = 0; // the current search's stamp
    CGraphNode* lastStart = nullptr;
    uint8_t idle = 1;
    // The query of the suspended sliced search, and the graph layout it ran on.
    CGraphNode* savedStart = nullptr;
    CGraphNode* savedGoal = nullptr;
    void* savedUser = nullptr;
    CHeuristic* savedHeuristic = nullptr;
    CConstraint* savedConstraint = nullptr;
    CSpatialGraph* savedGraph = nullptr;
    uint32_t savedLayout = 0;
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
AstarNodeState& Touch(int32_t index)
{
    AstarNodeState& node = g_memory.open.nodes[index];
    if (node.stamp != g_memory.search) {
        node.stamp = g_memory.search;
        node.state = 0;
        g_memory.routes[index].parent = -1;
        g_memory.reached[g_memory.reachedCount++] = index;
    }
    return node;
}

// A new stamp for a fresh search; after the stamps wrap, every node is
// cleared once.
void NextSearch()
{
    g_memory.open.count = 0;
    g_memory.reachedCount = 0;
    if (++g_memory.search == 0) {
        for (int32_t i = 0; i < g_memory.capacity; ++i)
            g_memory.open.nodes[i].stamp = 0;
        g_memory.search = 1;
    }
}

// The arc's cost and the estimate from a node to the goal, through the
// graph's constraint and heuristic; the common pair (shortest path,
// straight-line distance) is recognised once per search and priced inline.
struct AstarPricing
{
    CConstraint* constraint;
    CHeuristic* heuristic;
    bool shortestPath; // the constraint is exactly CConstraintShortestPath
    bool straightLine; // the heuristic is exactly CHeuristicEuclidianDistance

    explicit AstarPricing(CSpatialGraph& graph)
        : constraint(graph.GetConstraint()), heuristic(graph.GetHeuristic()),
          shortestPath(typeid(*constraint) == typeid(CConstraintShortestPath)),
          straightLine(typeid(*heuristic) == typeid(CHeuristicEuclidianDistance))
    {
    }
};

// What one search reads on every step.
struct AstarQuery
{
    CSpatialGraph& graph;
    CPackedGraph& packed;
    AstarPricing pricing;
    CGraphNode* goal;
    int32_t goalIndex;
    CVec3 goalPosition;
    void* user;

    AstarQuery(CSpatialGraph& g, CGraphNode* t, void* u)
        : graph(g), packed(g.GetPacked()), pricing(g), goal(t), goalIndex(t->GetIndex()),
          goalPosition(t->GetPosition()), user(u)
    {
    }
};

// Writes the search fields of every node this search reached into the node
// objects, as the search would have written them there.
void WriteBack(const AstarQuery& query)
{
    CGraphArc* const* arcObjects = query.packed.ArcObjects();
    for (int32_t r = 0; r < g_memory.reachedCount; ++r) {
        const int32_t index = g_memory.reached[r];
        const AstarNodeState& state = g_memory.open.nodes[index];
        const AstarNodeRoute& route = g_memory.routes[index];
        CGraphNodeData& data = query.graph.GetNode(index)->GetSearchData();
        data.f = state.f;
        data.g = route.g;
        data.h = state.h;
        if (route.parent >= 0) {
            data.parent = query.graph.GetNode(route.parent);
            data.arrivalArc = arcObjects[route.arrival];
        }
    }
}

// Empties the open set, gives every node a fresh state and puts the start
// on the open set. False when the start is refused or a node index does not
// fit the memory.
bool FreshStart(const AstarQuery& query, CGraphNode* start)
{
    NextSearch();
    if (query.graph.GetHighestNodeIndex() >= g_memory.capacity)
        return FailSearch("graph has node indices beyond the A* memory's capacity");
    g_memory.expansions = 0;
    float h = 0.0f;
    if (!query.pricing.heuristic->Estimate(query.user, start, query.goal, &h))
        return false;
    AstarNodeState& s = Touch(start->GetIndex());
    AstarNodeRoute& route = g_memory.routes[start->GetIndex()];
    route.g = 0.0f;
    s.h = h;
    s.f = s.h + route.g;
    start->GetSearchData().startMarker = 1;
    if (!g_memory.open.Insert(start->GetIndex())) {
        NavSetError(ENavError::NoMemory, "A* memory exhausted");
        return false;
    }
    return true;
}

enum class EStep
{
    Expanded,
    Goal,
    Exhausted,
    Failed
};

// Prices an arc through its object: skips a blocked arc, else asks the arc's
// linked path object or the constraint, which write the arc's cost field.
// False when the arc is not followed.
bool PriceArcObject(const AstarQuery& query, uint32_t entry, float& cost)
{
    CGraphArc* object = query.packed.ArcObjects()[entry];
    CGraphArcData& data = object->GetSearchData();
    if (data.blocked == 1)
        return false;
    bool priced = true;
    if (data.linkedObject != nullptr)
        priced = PathObjectCostThroughArc(data.linkedObject, query.user, object, query.pricing.constraint,
                                          &data.cost);
    else if (query.pricing.shortestPath)
        data.cost = data.length;
    else
        priced = query.pricing.constraint->ComputeCost(query.user, object, &data.cost);
    query.packed.NoteCostWritten(entry);
    cost = data.cost;
    return priced;
}

// Expands the node at the head of the open set toward the goal.
EStep Step(const AstarQuery& query)
{
    AstarOpenHeap& open = g_memory.open;
    if (open.count == 0)
        return EStep::Exhausted;
    const int32_t n = open.entries[0].index;
    if (n == query.goalIndex)
        return EStep::Goal;
    bool ok = true;
    AstarNodeState* nodes = open.nodes;
    AstarNodeRoute* routes = g_memory.routes;
    const float g = routes[n].g;
    const CPackedArc* arcs = query.packed.Arcs();
    const CVec3* positions = query.packed.Positions();
    // Plain arcs under the shortest-path constraint cost their length, which
    // their cost field holds already; every other arc is priced by its object.
    const bool priceEveryArc = !query.pricing.shortestPath;
    const uint32_t first = query.packed.FirstArcs()[n];
    const uint32_t end = query.packed.FirstArcs()[n + 1];
    // The nodes the arcs reach lie apart in memory: ask for all of them
    // before the walk needs the first.
    for (uint32_t entry = first; entry < end; ++entry) {
        const uint32_t m = arcs[entry].to & kPackedArcIndexMask;
        __builtin_prefetch(&nodes[m]);
        __builtin_prefetch(&positions[m]);
    }
    for (uint32_t entry = first; entry < end; ++entry) {
        float cost = arcs[entry].length;
        if ((priceEveryArc || (arcs[entry].to & kPackedArcSpecial) != 0) &&
            !PriceArcObject(query, entry, cost))
            continue;
        const int32_t m = int32_t(arcs[entry].to & kPackedArcIndexMask);
        AstarNodeState& ms = nodes[m];
        const bool reached = ms.stamp == g_memory.search;
        // A node this search reached already keeps its straight-line
        // estimate (the same number again); others are asked.
        float h = 0.0f;
        if (query.pricing.straightLine)
            h = reached ? ms.h : std::sqrt(CVec3::SquaredDistance(positions[m], query.goalPosition));
        else if (!query.pricing.heuristic->Estimate(query.user, query.graph.GetNode(m), query.goal, &h))
            continue;
        const float newG = g + cost;
        const float newF = newG + h;
        if (reached && ms.state != 0 && !(newF < ms.f))
            continue;
        AstarNodeState& to = Touch(m);
        to.h = h;
        to.f = newF;
        routes[m] = AstarNodeRoute{newG, n, entry};
        if (to.state > 0) {
            open.Lower(m);
        } else {
            to.state = 0; // a closed node reopens
            ok = open.Insert(m) && ok;
        }
    }
    open.Remove(n);
    nodes[n].state = kAstarClosed;
    ++g_memory.expansions;
    if (!ok) {
        NavSetError(ENavError::NoMemory, "A* memory exhausted");
        return EStep::Failed;
    }
    return EStep::Expanded;
}

void ClearStartMarker(CGraphNode* start)
{
    start->GetSearchData().startMarker = 0;
    if (g_memory.lastStart == start)
        g_memory.lastStart = nullptr;
}

// Writes the path from the start (the node with the start marker) to the goal.
bool BuildPath(const AstarQuery& query, CPathRecord& path)
{
    CSpatialGraph& graph = query.graph;
    const AstarNodeRoute* routes = g_memory.routes;
    CGraphArc* const* arcObjects = query.packed.ArcObjects();
    path.graph = &graph;
    int32_t d = 0;
    int32_t walk = query.goalIndex;
    while (graph.GetNode(walk)->GetSearchData().startMarker != 1) {
        walk = routes[walk].parent;
        ++d;
        if (walk < 0 || d >= graph.GetNodeCount()) {
            path.count = 0;
            return false;
        }
    }
    CGraphNode* start = graph.GetNode(walk);
    CGraphNode* goal = query.goal;
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
    int32_t current = query.goalIndex;
    while (d > path.capacity) {
        path.remainingLength += arcObjects[routes[current].arrival]->GetLength();
        current = routes[current].parent;
        --d;
    }
    for (; d > 0; --d) {
        const int32_t parent = routes[current].parent;
        const CGraphArc* arc = arcObjects[routes[current].arrival];
        const size_t e = size_t(d - 1);
        path.nodeIndices[e] = uint32_t(parent);
        path.positions[e] = graph.GetNode(parent)->GetPosition();
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
    g_memory.routes = static_cast<AstarNodeRoute*>(std::calloc(size_t(nodeCount), sizeof(AstarNodeRoute)));
    g_memory.reached = static_cast<int32_t*>(std::calloc(size_t(nodeCount), sizeof(int32_t)));
    if (g_memory.open.entries == nullptr || g_memory.open.nodes == nullptr || g_memory.routes == nullptr ||
        g_memory.reached == nullptr) {
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
    std::free(g_memory.routes);
    std::free(g_memory.reached);
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
        g_memory.lastStart->GetSearchData().startMarker = 0;
    g_memory.lastStart = nullptr;
    g_memory.idle = 1;
    const AstarQuery query(graph, goal, user);
    if (!FreshStart(query, start)) {
        start->GetSearchData().startMarker = 0;
        WriteBack(query);
        return false;
    }
    for (;;) {
        switch (Step(query)) {
        case EStep::Expanded:
            continue;
        case EStep::Goal:
            WriteBack(query);
            return BuildPath(query, path);
        case EStep::Exhausted:
        case EStep::Failed:
            start->GetSearchData().startMarker = 0;
            WriteBack(query);
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
    const AstarQuery query(graph, goal, user);

    bool resume = false;
    if (!restart && g_memory.idle == 0) {
        if (g_memory.lastStart != start) {
            if (g_memory.lastStart != nullptr)
                g_memory.lastStart->GetSearchData().startMarker = 0;
        } else {
            // A search suspended on another layout of the graph (nodes or
            // arcs added, removed or renumbered since) starts afresh: its
            // state names nodes by index.
            resume = g_memory.savedStart == start && g_memory.savedGoal == goal &&
                     g_memory.savedUser == user && g_memory.savedHeuristic == graph.GetHeuristic() &&
                     g_memory.savedConstraint == graph.GetConstraint() && g_memory.savedGraph == &graph &&
                     g_memory.savedLayout == query.packed.GetLayout();
        }
    }
    if (!resume) {
        if (g_memory.lastStart != nullptr && g_memory.lastStart != start)
            g_memory.lastStart->GetSearchData().startMarker = 0;
        g_memory.idle = 1;
        g_memory.lastStart = start;
        if (!FreshStart(query, start)) {
            ClearStartMarker(start);
            WriteBack(query);
            return kAstarNoPath;
        }
    }

    uint32_t n = 0;
    for (;;) {
        switch (Step(query)) {
        case EStep::Expanded:
            break;
        case EStep::Goal: {
            WriteBack(query);
            const bool built = BuildPath(query, path);
            g_memory.idle = built ? 1 : 0;
            UpdateStats(stats, NavClock() - sliceStart, n);
            return built ? kAstarFound : kAstarNoPath;
        }
        case EStep::Exhausted:
        case EStep::Failed:
            ClearStartMarker(start);
            g_memory.idle = 1;
            WriteBack(query);
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
            g_memory.savedGraph = &graph;
            g_memory.savedLayout = query.packed.GetLayout();
            g_memory.idle = 0;
            WriteBack(query);
            return kAstarSuspended;
        }
        allowed = AllowedNodes(remaining - elapsed, stats, spread);
        sliceStart = now;
        remaining -= elapsed;
        n = 0;
    }
}

} // namespace Zelk
