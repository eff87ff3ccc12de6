#include "ai/navigation/astar.h"

#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/allocator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
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

// Room for one entry per node index: a node is at most once on the open set
// and every index of a searched graph lies below the memory's capacity, so
// an insertion always finds room.
struct AstarOpenHeap
{
    AstarOpenEntry* entries = nullptr;
    int32_t count = 0;
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
    void Insert(int32_t index, float f, uint32_t firstArc)
    {
        SiftUp(count++, AstarOpenEntry{OpenKey(f, nextArrival++), index, firstArc});
    }
    // The open node's f as its entry holds it (the node's state given).
    float OpenF(const AstarNodeState& node) const { return OpenKeyF(entries[node.state - 1].key); }
    // The node's f dropped: it moves up as though removed and inserted
    // anew (a new arrival number), since its new key is below its old one.
    void Lower(const AstarNodeState& node, int32_t index, float f, uint32_t firstArc)
    {
        SiftUp(node.state - 1, AstarOpenEntry{OpenKey(f, nextArrival++), index, firstArc});
    }
    // Takes the node out; its state is left to the caller.
    void Remove(const AstarNodeState& node)
    {
        const int32_t i = node.state - 1;
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
    // h by node index, kept for heuristics other than the straight line
    // (which is worked out again).
    float* estimates = nullptr;
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
        node.arrival = kAstarNoArc;
    }
    return node;
}

// A new stamp for a fresh search; after the stamps wrap, every node is
// cleared once.
void NextSearch()
{
    g_memory.open.count = 0;
    // Arrival numbers only order one search's entries: restarting them keeps
    // them from wrapping within a search however many searches ran before.
    g_memory.open.nextArrival = 0;
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

// Gives the node object the search fields that the search keeps for it; its
// arrival arc is given (null for the start).
void WriteFields(const AstarQuery& query, int32_t index, CGraphArc* arrival)
{
    const AstarNodeState& state = g_memory.open.nodes[index];
    const float h = EstimateOf(query, index);
    CGraphNodeData& data = query.graph.GetNode(index)->GetSearchData();
    data.f = state.g + h;
    data.g = state.g;
    data.h = h;
    if (arrival != nullptr) {
        data.parent = arrival->GetFrom();
        data.arrivalArc = arrival;
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
    g_memory.open.Insert(index, h + 0.0f, query.packed.Nodes()[index].firstArc);
    return true;
}

enum class EStep
{
    Expanded,
    Goal,
    Exhausted
};

// Prices an arc of node n's row through its object: skips a blocked arc,
// else asks the arc's linked path object or the constraint, which write the
// arc's cost field. False when the arc is not followed.
bool PriceArcObject(const AstarQuery& query, int32_t n, uint32_t rowStart, uint32_t entry, float& cost)
{
    CGraphArc* object = CPackedGraph::ArcObject(*query.graph.GetNode(n), rowStart, entry);
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
    query.packed.NoteCostWritten(entry, *object);
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
        AstarNodeState& expanded = nodes[n];
        const float g = expanded.g;
        const uint32_t rowStart = head.firstArc & kPackedRowStartMask;
        for (uint32_t entry = rowStart, to = (head.firstArc & kPackedRowEmpty) != 0 ? kPackedArcLast : 0;
             (to & kPackedArcLast) == 0; ++entry) {
            to = arcs[entry].to;
            float cost = arcs[entry].length;
            if ((priceEveryArc || (to & kPackedArcSpecial) != 0) &&
                !PriceArcObject(query, n, rowStart, entry, cost))
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
                if (!(newF < open.OpenF(node)))
                    continue;
            } else if (node.state == kAstarClosed && !(newF < node.g + (straightLine ? h : estimates[m]))) {
                continue;
            }
            node.g = newG;
            node.arrival = entry;
            if (!straightLine)
                estimates[m] = h;
            if (node.state > 0) {
                open.Lower(node, m, newF, place.firstArc);
            } else {
                node.state = 0; // a closed node reopens
                open.Insert(m, newF, place.firstArc);
                // Most nodes put on the open set are expanded later: their
                // arc rows are asked for now, long before they are walked.
                __builtin_prefetch(&arcs[place.firstArc & kPackedRowStartMask]);
            }
        }
        open.Remove(expanded);
        expanded.state = kAstarClosed;
        ++done;
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
    const AstarOpenHeap& states = g_memory.open;
    path.graph = &graph;
    // The steps d from the goal back to the start. The node each step leaves
    // is found once and kept for the second walk in the open set's unused
    // room -- as the index and arc entry of an entry -- which holds every
    // step when the nodes on the way are closed (steps beyond it are found
    // again).
    AstarOpenEntry* const steps = states.entries + states.count;
    const int32_t room = g_memory.capacity - states.count;
    int32_t d = 0;
    for (int32_t n = query.goalIndex; n != query.startIndex; ++d) {
        const uint32_t arrival = states.nodes[n].arrival;
        n = arrival == kAstarNoArc ? -1 : query.packed.RowOf(*graph.GetNode(n), arrival);
        if (n < 0 || d + 1 >= graph.GetNodeCount()) {
            path.count = 0;
            return false;
        }
        if (d < room) {
            steps[d].index = n;
            steps[d].firstArc = arrival;
        }
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
    // Back from the goal: the node k steps before it arrives by an arc that
    // leaves entry d - k - 1; the arcs of the first d - capacity steps lie
    // beyond the last entry and add to the length from there to the goal.
    const CPackedNode* const places = query.packed.Nodes();
    int32_t node = query.goalIndex;
    for (int32_t k = 0; k < d; ++k) {
        const uint32_t arrival = k < room ? steps[k].firstArc : states.nodes[node].arrival;
        const int32_t parent = k < room ? steps[k].index : query.packed.RowOf(*graph.GetNode(node), arrival);
        CGraphNode& from = *graph.GetNode(parent);
        CGraphArc* arc = CPackedGraph::ArcObject(from, places[parent].firstArc, arrival);
        WriteFields(query, node, arc);
        const int32_t e = d - k - 1;
        if (e >= path.capacity) {
            path.remainingLength += arc->GetLength();
        } else {
            path.nodeIndices[size_t(e)] = uint32_t(parent);
            path.positions[size_t(e)] = from.GetPosition();
            const CGraphArc& leaving = *arc; // read, not noted as edited
            path.arcIndices[size_t(e)] = uint32_t(leaving.GetIndex());
            path.pathObjects[size_t(e)] = leaving.GetData().linkedObject;
        }
        node = parent;
    }
    WriteFields(query, node, nullptr);
    ClearStartMarker(graph.GetNode(node));
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

// Marks a node that has not come to the head of the open set yet in a
// first-arc scan (no arc index is that high).
constexpr uint32_t kAstarNotReached = 0xfffffffeu;

// The first arc of the path that BuildPath would write from the start to the
// node as the search stands, failing where it fails. byParent: the node's
// parent holds its own first arc already (it was expanded, and its path
// cannot have changed since unless a closed node reopened).
uint32_t FirstArcBack(const AstarQuery& query, int32_t node, const uint32_t* firstArcs, bool byParent)
{
    CSpatialGraph& graph = query.graph;
    for (int32_t d = 0;; ++d) {
        const uint32_t arrival = g_memory.open.nodes[node].arrival;
        const int32_t parent =
            arrival == kAstarNoArc ? -1 : query.packed.RowOf(*graph.GetNode(node), arrival);
        if (parent < 0 || d + 1 >= graph.GetNodeCount())
            return kAstarNoFirstArc;
        if (parent == query.startIndex) {
            const CGraphArc* first = CPackedGraph::ArcObject(*graph.GetNode(parent),
                                                             query.packed.Nodes()[parent].firstArc, arrival);
            return uint32_t(first->GetIndex());
        }
        if (byParent)
            return firstArcs[parent];
        node = parent;
    }
}

enum class EScan
{
    Done,
    Reopened,
    Refused
};

// One search from the start without a goal, run until nothing is left open.
// A search for goal j stops when j first comes to the head of the open set,
// having expanded the same nodes as this one so far (only the heuristic and
// that stop read the goal), so each node's first arc is read off at that
// moment. byParent: take it from the parent; Reopened when a node comes to
// the head twice, as only a closed node that reopened does.
EScan ScanFirstArcs(const AstarQuery& query, CGraphNode* start, uint32_t* firstArcs, bool byParent)
{
    const size_t slots = size_t(query.graph.GetHighestNodeIndex() + 1);
    std::fill_n(firstArcs, slots, kAstarNotReached);
    if (g_memory.lastStart != nullptr)
        g_memory.lastStart->GetSearchData().startMarker = 0;
    g_memory.lastStart = nullptr;
    g_memory.idle = 1;
    EScan result = EScan::Done;
    if (!FreshStart(query, start))
        result = EScan::Refused;
    while (result == EScan::Done && g_memory.open.count > 0) {
        const int32_t n = g_memory.open.entries[0].index;
        if (firstArcs[n] == kAstarNotReached)
            firstArcs[n] =
                n == query.startIndex ? kAstarNoFirstArc : FirstArcBack(query, n, firstArcs, byParent);
        else if (byParent)
            result = EScan::Reopened;
        ExpandFor(query, 1);
    }
    start->GetSearchData().startMarker = 0;
    std::replace(firstArcs, firstArcs + slots, kAstarNotReached, kAstarNoFirstArc);
    return result;
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
    // One block through the AI allocator: the open set's entries, the node
    // states (zeroed: stamp 0 is no search's) and the estimates, all by node
    // index, so that no search allocates.
    const size_t count = size_t(nodeCount);
    auto* block = static_cast<unsigned char*>(
        AiAlloc(count * (sizeof(AstarOpenEntry) + sizeof(AstarNodeState) + sizeof(float))));
    if (block == nullptr) {
        NavSetError(ENavError::NoMemory, "A* memory could not be allocated");
        return false;
    }
    g_memory.capacity = nodeCount;
    g_memory.open.entries = reinterpret_cast<AstarOpenEntry*>(block);
    g_memory.open.nodes = reinterpret_cast<AstarNodeState*>(block + count * sizeof(AstarOpenEntry));
    std::memset(g_memory.open.nodes, 0, count * sizeof(AstarNodeState));
    g_memory.estimates = reinterpret_cast<float*>(g_memory.open.nodes + count);
    return true;
}

void AstarMemoryFree()
{
    AiFree(g_memory.open.entries); // the start of the one block
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
            start->GetSearchData().startMarker = 0;
            return false;
        }
    }
}

bool AstarFirstArcs(CSpatialGraph& graph, CGraphNode* start, void* user, uint32_t* firstArcs)
{
    std::fill_n(firstArcs, size_t(graph.GetHighestNodeIndex() + 1), kAstarNoFirstArc);
    if (!CheckQuery(graph, start, start))
        return false;
    if (typeid(*graph.GetHeuristic()) != typeid(CZeroHeuristic)) {
        NavSetError(ENavError::BadArgument, "one search answers every goal only with the zero heuristic");
        return false;
    }
    AstarQuery query(graph, start, start, user);
    query.goalIndex = -1; // no goal stops the search
    EScan scan = ScanFirstArcs(query, start, firstArcs, true);
    if (scan == EScan::Reopened)
        scan = ScanFirstArcs(query, start, firstArcs, false);
    return scan == EScan::Done;
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
