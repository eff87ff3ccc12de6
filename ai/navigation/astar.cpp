#include "ai/navigation/astar.h"

#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <typeinfo>

namespace Zelk {

namespace {

// The open set: a binary heap over a pool sized once, ordered by (f, arrival
// number). Popping it gives the nodes in ascending f and, among equal f, in
// the order they arrived -- the order of a list sorted by f in which a new
// node goes behind the equal ones -- at logarithmic cost instead of a walk.
// Both sort as one integer, so that the heap's comparisons compile to
// selects rather than branches that the processor cannot foretell. The entry
// carries where the node's out-arcs start, so that expanding it loads the arc
// row at once instead of after a lookup that misses too.
struct AstarOpenEntry
{
    uint64_t key; // OpenKey(f, arrival)
    int32_t index;
    uint32_t firstArc;
};

// f's bits, turned to sort as unsigned integers in the order of the floats
// (-0 as +0), above the arrival number.
inline uint64_t OpenKey(float f, uint32_t arrival)
{
    const uint32_t bits = std::bit_cast<uint32_t>(f + 0.0f);
    const uint32_t ordered = bits ^ ((bits & 0x80000000u) != 0 ? 0xffffffffu : 0x80000000u);
    return uint64_t(ordered) << 32 | arrival;
}

// The f of a key.
inline float OpenKeyF(uint64_t key)
{
    const uint32_t ordered = uint32_t(key >> 32);
    return std::bit_cast<float>(ordered ^ ((ordered & 0x80000000u) != 0 ? 0x80000000u : 0xffffffffu));
}

// A node's search fields in the search whose stamp it carries (any other
// stamp: not reached yet): one 16-byte record by node index, so that an arc
// into the node touches one cache line. f is g + h: the open set's entry
// holds it, and h is worked out again (straight line) or kept aside (other
// heuristics). The parent is where the arrival arc leaves. The search touches no
// node object: the nodes of a path found get their fields when the path is
// written.
struct AstarNodeState
{
    uint32_t stamp;
    int32_t state; // heap position + 1 while open, 0 when neither, kAstarClosed
    float g;
    uint32_t arrival; // packed arc entry of the arrival arc; kAstarNoArc for the start
};
constexpr int32_t kAstarClosed = -1;
constexpr uint32_t kAstarNoArc = 0xffffffffu;

struct AstarOpenHeap
{
    AstarOpenEntry* entries = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    AstarNodeState* nodes = nullptr; // per node index
    uint32_t nextArrival = 0;

    static bool Before(const AstarOpenEntry& a, const AstarOpenEntry& b) { return a.key < b.key; }
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
            child += int32_t((child + 1 < count) & Before(entries[child + 1], entries[child]));
            if (!Before(entries[child], entry))
                break;
            Place(i, entries[child]);
            i = child;
        }
        Place(i, entry);
    }
    // False when the pool is full.
    bool Insert(int32_t index, float f, uint32_t firstArc)
    {
        if (count >= capacity)
            return false;
        SiftUp(count++, AstarOpenEntry{OpenKey(f, nextArrival++), index, firstArc});
        return true;
    }
    // The open node's f as its entry holds it.
    float OpenF(int32_t index) const { return OpenKeyF(entries[nodes[index].state - 1].key); }
    // The node's f dropped: it moves up as though removed and inserted
    // anew (a new arrival number), since its new key is below its old one.
    void Lower(int32_t index, float f, uint32_t firstArc)
    {
        SiftUp(nodes[index].state - 1, AstarOpenEntry{OpenKey(f, nextArrival++), index, firstArc});
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
// every node.
struct AstarMemory
{
    int32_t capacity = 0;
    AstarOpenHeap open;
    float* estimates = nullptr; // h per node index, kept for heuristics other than the straight line
    int32_t* chain = nullptr;   // a found path's node indices, goal first
    uint32_t search = 0;        // the current search's stamp
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
        node.arrival = kAstarNoArc;
    }
    return node;
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

// The straight-line estimate from a packed node to the goal, to the same bits
// as CHeuristicEuclidianDistance gives.
float StraightLine(const CPackedNode& node, const CVec3& goal)
{
    const float dx = goal.x - node.x, dy = goal.y - node.y, dz = goal.z - node.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// What one search reads on every step.
struct AstarQuery
{
    CSpatialGraph& graph;
    CPackedGraph& packed;
    AstarPricing pricing;
    int32_t startIndex;
    CGraphNode* goal;
    int32_t goalIndex;
    CVec3 goalPosition;
    void* user;
    bool plain; // shortest path and straight line

    AstarQuery(CSpatialGraph& g, CGraphNode* s, CGraphNode* t, void* u)
        : graph(g), packed(g.GetPacked()), pricing(g), startIndex(s->GetIndex()), goal(t),
          goalIndex(t->GetIndex()), goalPosition(t->GetPosition()), user(u),
          plain(pricing.shortestPath && pricing.straightLine)
    {
    }
};

// The estimate the search used for the node.
float EstimateOf(const AstarQuery& query, int32_t index)
{
    return query.pricing.straightLine ? StraightLine(query.packed.Nodes()[index], query.goalPosition)
                                      : g_memory.estimates[index];
}

// Gives the node object the search fields that the search keeps for it.
void WriteFields(const AstarQuery& query, int32_t index)
{
    const AstarNodeState& state = g_memory.open.nodes[index];
    const float h = EstimateOf(query, index);
    CGraphNodeData& data = query.graph.GetNode(index)->GetSearchData();
    data.f = state.g + h;
    data.g = state.g;
    data.h = h;
    if (state.arrival != kAstarNoArc) {
        CGraphArc* arc = query.packed.ArcObjects()[state.arrival];
        data.parent = arc->GetFrom();
        data.arrivalArc = arc;
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
    const int32_t index = start->GetIndex();
    Touch(index).g = 0.0f;
    g_memory.estimates[index] = h;
    start->GetSearchData().startMarker = 1;
    if (!g_memory.open.Insert(index, h + 0.0f, query.packed.Nodes()[index].firstArc)) {
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

// Expands nodes from the head of the open set toward the goal, at most
// `limit` of them: Expanded when it did that many, else why it stopped. It
// works on local copies of the memory's fields, which the callbacks it makes
// cannot reach, and stores them back at the end. kPlain: the pricing is
// shortest path and straight line, so no callback runs for plain arcs.
template <bool kPlain> EStep Expand(const AstarQuery& query, uint32_t limit)
{
    AstarOpenHeap open = g_memory.open;
    AstarNodeState* const nodes = open.nodes;
    float* const estimates = g_memory.estimates;
    const uint32_t search = g_memory.search;
    const CPackedArc* const arcs = query.packed.Arcs();
    const CPackedNode* const places = query.packed.Nodes();
    // Plain arcs under the shortest-path constraint cost their length, which
    // their cost field holds already; every other arc is priced by its object.
    const bool priceEveryArc = !kPlain && !query.pricing.shortestPath;
    const bool straightLine = kPlain || query.pricing.straightLine;
    const CVec3 goalPosition = query.goalPosition;
    EStep result = EStep::Expanded;
    uint32_t done = 0;
    while (done < limit) {
        if (open.count == 0) {
            result = EStep::Exhausted;
            break;
        }
        const AstarOpenEntry head = open.entries[0];
        const int32_t n = head.index;
        if (n == query.goalIndex) {
            result = EStep::Goal;
            break;
        }
        bool ok = true;
        const float g = nodes[n].g;
        for (uint32_t entry = head.firstArc, to = head.firstArc == kPackedNoArcs ? kPackedArcLast : 0;
             (to & kPackedArcLast) == 0; ++entry) {
            to = arcs[entry].to;
            float cost = arcs[entry].length;
            if ((priceEveryArc || (to & kPackedArcSpecial) != 0) && !PriceArcObject(query, entry, cost))
                continue;
            const int32_t m = int32_t(to & kPackedArcIndexMask);
            AstarNodeState& node = nodes[m];
            const CPackedNode& place = places[m];
            // The straight-line estimate is worked out inline, to the same
            // number for every arc into a node.
            float h = 0.0f;
            if (straightLine)
                h = StraightLine(place, goalPosition);
            else if (!query.pricing.heuristic->Estimate(query.user, query.graph.GetNode(m), query.goal, &h))
                continue;
            const float newG = g + cost;
            const float newF = newG + h;
            if (node.stamp != search) {
                node.stamp = search;
                node.state = 0;
            } else if (node.state > 0) {
                if (!(newF < open.OpenF(m)))
                    continue;
            } else if (node.state == kAstarClosed && !(newF < node.g + (straightLine ? h : estimates[m]))) {
                continue;
            }
            node.g = newG;
            node.arrival = entry;
            if (!straightLine)
                estimates[m] = h;
            if (node.state > 0) {
                open.Lower(m, newF, place.firstArc);
            } else {
                node.state = 0; // a closed node reopens
                ok = open.Insert(m, newF, place.firstArc) && ok;
                // Most nodes put on the open set are expanded later: their
                // arc rows are asked for now, long before they are walked.
                if (place.firstArc != kPackedNoArcs)
                    __builtin_prefetch(&arcs[place.firstArc]);
            }
        }
        open.Remove(n);
        nodes[n].state = kAstarClosed;
        ++done;
        if (!ok) {
            NavSetError(ENavError::NoMemory, "A* memory exhausted");
            result = EStep::Failed;
            break;
        }
    }
    g_memory.open = open;
    g_memory.expansions += done;
    return result;
}

// Expand, for the query's pricing.
EStep ExpandFor(const AstarQuery& query, uint32_t limit)
{
    return query.plain ? Expand<true>(query, limit) : Expand<false>(query, limit);
}

void ClearStartMarker(CGraphNode* start)
{
    start->GetSearchData().startMarker = 0;
    if (g_memory.lastStart == start)
        g_memory.lastStart = nullptr;
}

// Writes the path from the start to the goal, and gives the nodes on it
// their search fields.
bool BuildPath(const AstarQuery& query, CPathRecord& path)
{
    CSpatialGraph& graph = query.graph;
    const AstarNodeState* nodes = g_memory.open.nodes;
    CGraphArc* const* arcObjects = query.packed.ArcObjects();
    int32_t* chain = g_memory.chain;
    path.graph = &graph;
    // The parents from the goal (chain[0]) back to the start (chain[d])
    // first: the node and arc objects along them are then asked for ahead.
    int32_t d = 0;
    chain[0] = query.goalIndex;
    while (chain[d] != query.startIndex) {
        const uint32_t arrival = nodes[chain[d]].arrival;
        ++d;
        if (arrival == kAstarNoArc || d >= graph.GetNodeCount()) {
            path.count = 0;
            return false;
        }
        chain[d] = arcObjects[arrival]->GetFrom()->GetIndex();
    }
    constexpr int32_t kAhead = 8;
    for (int32_t k = 0; k <= d; ++k) {
        if (k + kAhead <= d) {
            __builtin_prefetch(&graph.GetNode(chain[k + kAhead])->GetSearchData().f, 1);
            __builtin_prefetch(arcObjects[nodes[chain[k + kAhead - 1]].arrival]);
        }
        WriteFields(query, chain[k]);
    }
    if (d + 1 > path.capacity) {
        path.truncated = 1;
        path.count = path.capacity;
    } else {
        path.truncated = 0;
        path.count = d + 1;
        path.nodeIndices[size_t(d)] = uint32_t(query.goalIndex);
        path.arcIndices[size_t(d)] = uint32_t(-1);
        path.positions[size_t(d)] = query.goal->GetPosition();
        path.pathObjects[size_t(d)] = nullptr;
    }
    // Beyond the last entry: the length from the node after it to the goal.
    for (int32_t k = 0; k < d - path.capacity; ++k)
        path.remainingLength += arcObjects[nodes[chain[k]].arrival]->GetLength();
    // Entry e: the node e steps from the start and the arc leaving it.
    for (int32_t e = 0; e < std::min(d, path.capacity); ++e) {
        const int32_t node = chain[d - e];
        const CGraphArc* arc = arcObjects[nodes[chain[d - e - 1]].arrival];
        path.nodeIndices[size_t(e)] = uint32_t(node);
        path.positions[size_t(e)] = graph.GetNode(node)->GetPosition();
        path.arcIndices[size_t(e)] = uint32_t(arc->GetIndex());
        path.pathObjects[size_t(e)] = arc->GetData().linkedObject;
    }
    ClearStartMarker(graph.GetNode(chain[d]));
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

// Expansions to run before the clock is read again: the first count that
// reaches time / (spread x deviation + mean time), at least one.
uint32_t AllowedNodes(float time, const AstarSliceStats& stats, float spread)
{
    const float denominator = spread * stats.deviation + stats.meanTime;
    const float allowed = denominator == 0.0f ? 1.0f : time / denominator;
    if (!(allowed > 1.0f))
        return 1;
    if (allowed > 4294967040.0f) // the largest float below 2^32
        return UINT32_MAX;
    return uint32_t(std::ceil(allowed));
}

} // namespace

bool AstarMemoryInit(int32_t nodeCount)
{
    AstarMemoryFree();
    if (nodeCount <= 0)
        return true;
    if (nodeCount > kPackedMaxNodes) {
        NavSetError(ENavError::BadArgument, "A* memory cannot hold that many nodes");
        return false;
    }
    g_memory.capacity = nodeCount;
    g_memory.open.capacity = nodeCount;
    g_memory.open.entries =
        static_cast<AstarOpenEntry*>(std::calloc(size_t(nodeCount), sizeof(AstarOpenEntry)));
    g_memory.open.nodes =
        static_cast<AstarNodeState*>(std::calloc(size_t(nodeCount), sizeof(AstarNodeState)));
    g_memory.estimates = static_cast<float*>(std::calloc(size_t(nodeCount), sizeof(float)));
    g_memory.chain = static_cast<int32_t*>(std::calloc(size_t(nodeCount), sizeof(int32_t)));
    if (g_memory.open.entries == nullptr || g_memory.open.nodes == nullptr || g_memory.estimates == nullptr ||
        g_memory.chain == nullptr) {
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
    std::free(g_memory.estimates);
    std::free(g_memory.chain);
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
    const AstarQuery query(graph, start, goal, user);
    if (!FreshStart(query, start)) {
        start->GetSearchData().startMarker = 0;
        return false;
    }
    for (;;) {
        switch (ExpandFor(query, UINT32_MAX)) {
        case EStep::Expanded:
            continue;
        case EStep::Goal:
            return BuildPath(query, path);
        case EStep::Exhausted:
        case EStep::Failed:
            start->GetSearchData().startMarker = 0;
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
    uint32_t allowed = AllowedNodes(budget, stats, spread);
    const AstarQuery query(graph, start, goal, user);

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
            return kAstarNoPath;
        }
    }

    for (;;) {
        const uint32_t before = g_memory.expansions;
        const EStep step = ExpandFor(query, allowed);
        const uint32_t n = g_memory.expansions - before;
        switch (step) {
        case EStep::Expanded:
            break;
        case EStep::Goal: {
            const bool built = BuildPath(query, path);
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
            return kAstarSuspended;
        }
        allowed = AllowedNodes(remaining - elapsed, stats, spread);
        sliceStart = now;
        remaining -= elapsed;
    }
}

} // namespace Zelk
