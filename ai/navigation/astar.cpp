#include "ai/navigation/astar.h"

#include "ai/navigation/constraint.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <cmath>
#include <cstdlib>
#include <new>

namespace Zelk {

namespace {

struct AstarCell
{
    CGraphNode* node;
    AstarCell* prev;
    AstarCell* next;
    uint8_t inUse;
};

// A list kept in ascending order of the nodes' f over a fixed pool of cells.
struct AstarNodeList
{
    AstarCell* cells = nullptr;
    AstarCell* head = nullptr;
    AstarCell* tail = nullptr;
    AstarCell* freeTop = nullptr;
    int32_t count = 0;

    bool Create(int32_t capacity)
    {
        cells = static_cast<AstarCell*>(std::calloc(size_t(capacity), sizeof(AstarCell)));
        if (cells == nullptr)
            return false;
        for (int32_t i = 0; i < capacity; ++i)
            cells[i].next = i + 1 < capacity ? &cells[i + 1] : nullptr;
        freeTop = cells;
        return true;
    }

    void Destroy()
    {
        std::free(cells);
        *this = AstarNodeList();
    }

    // Links a cell for node before the first cell of strictly greater f, so
    // that equal totals keep their order of arrival; null when the pool is empty.
    AstarCell* Insert(CGraphNode* node)
    {
        AstarCell* cell = freeTop;
        if (cell == nullptr)
            return nullptr;
        freeTop = cell->next;
        cell->node = node;
        cell->inUse = 1;
        const float f = node->GetData().f;
        AstarCell* after = head;
        while (after != nullptr && after->node->GetData().f <= f)
            after = after->next;
        cell->next = after;
        cell->prev = after != nullptr ? after->prev : tail;
        if (cell->prev != nullptr)
            cell->prev->next = cell;
        else
            head = cell;
        if (after != nullptr)
            after->prev = cell;
        else
            tail = cell;
        ++count;
        return cell;
    }

    void Remove(AstarCell* cell)
    {
        cell->inUse = 0;
        if (cell->prev != nullptr)
            cell->prev->next = cell->next;
        else
            head = cell->next;
        if (cell->next != nullptr)
            cell->next->prev = cell->prev;
        else
            tail = cell->prev;
        cell->prev = nullptr;
        cell->next = freeTop;
        freeTop = cell;
        --count;
    }

    void Empty()
    {
        while (head != nullptr)
            Remove(head);
    }
};

struct AstarMemory
{
    int32_t capacity = 0;
    AstarNodeList open;
    AstarNodeList closed;
    AstarCell** openIndex = nullptr;
    AstarCell** closedIndex = nullptr;
    CGraphNode* lastStart = nullptr;
    uint8_t idle = 1;
    // The query of the suspended sliced search.
    CGraphNode* savedStart = nullptr;
    CGraphNode* savedGoal = nullptr;
    void* savedUser = nullptr;
    CHeuristic* savedHeuristic = nullptr;
    CConstraint* savedConstraint = nullptr;
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

void InsertOpen(CGraphNode* node, bool& ok)
{
    AstarCell* cell = g_memory.open.Insert(node);
    g_memory.openIndex[node->GetIndex()] = cell;
    ok = ok && cell != nullptr;
}

void InsertClosed(CGraphNode* node, bool& ok)
{
    AstarCell* cell = g_memory.closed.Insert(node);
    g_memory.closedIndex[node->GetIndex()] = cell;
    ok = ok && cell != nullptr;
}

void RemoveOpen(CGraphNode* node)
{
    g_memory.open.Remove(g_memory.openIndex[node->GetIndex()]);
    g_memory.openIndex[node->GetIndex()] = nullptr;
}

void RemoveClosed(CGraphNode* node)
{
    g_memory.closed.Remove(g_memory.closedIndex[node->GetIndex()]);
    g_memory.closedIndex[node->GetIndex()] = nullptr;
}

// Empties both lists, clears every node's index entries and puts the start
// on the open list. False when the start is refused or a node index does not
// fit the memory.
bool FreshStart(CSpatialGraph& graph, CGraphNode* start, CGraphNode* goal, void* user)
{
    g_memory.closed.Empty();
    g_memory.open.Empty();
    if (graph.GetHighestNodeIndex() >= g_memory.capacity)
        return FailSearch("graph has node indices beyond the A* memory's capacity");
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        g_memory.openIndex[i] = nullptr;
        g_memory.closedIndex[i] = nullptr;
    }
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

// Expands the node at the head of the open list toward the goal.
EStep Step(CSpatialGraph& graph, CGraphNode* goal, void* user)
{
    AstarCell* head = g_memory.open.head;
    if (head == nullptr)
        return EStep::Exhausted;
    CGraphNode* n = head->node;
    if (n->GetIndex() == goal->GetIndex())
        return EStep::Goal;
    CConstraint* constraint = graph.GetConstraint();
    CHeuristic* heuristic = graph.GetHeuristic();
    bool ok = true;
    for (int32_t i = 0; i < n->GetOutArcCount(); ++i) {
        CGraphArc* arc = n->GetOutArc(i);
        CGraphArcData& arcData = arc->GetData();
        if (arcData.blocked == 1)
            continue;
        const bool priced =
            arcData.linkedObject != nullptr
                ? PathObjectCostThroughArc(arcData.linkedObject, user, arc, constraint, &arcData.cost)
                : constraint->ComputeCost(user, arc, &arcData.cost);
        if (!priced)
            continue;
        CGraphNode* m = arc->GetTo();
        if (!IndexInRange(m)) {
            FailSearch("node index beyond the A* memory's capacity");
            return EStep::Failed;
        }
        float h = 0.0f;
        if (!heuristic->Estimate(user, m, goal, &h))
            continue;
        const float newG = n->GetData().g + arcData.cost;
        const float newF = newG + h;
        CGraphNodeData& md = m->GetData();
        if (g_memory.closedIndex[m->GetIndex()] != nullptr) {
            if (!(newF < md.f))
                continue;
            md.g = newG;
            md.h = h;
            md.f = newF;
            RemoveClosed(m);
            md.parent = n;
            md.arrivalArc = arc;
            InsertOpen(m, ok);
        } else if (g_memory.openIndex[m->GetIndex()] != nullptr) {
            if (!(newF < md.f))
                continue;
            md.g = newG;
            md.h = h;
            md.f = newF;
            RemoveOpen(m);
            InsertOpen(m, ok);
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
    InsertClosed(n, ok);
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
    g_memory.openIndex = static_cast<AstarCell**>(std::calloc(size_t(nodeCount), sizeof(AstarCell*)));
    g_memory.closedIndex = static_cast<AstarCell**>(std::calloc(size_t(nodeCount), sizeof(AstarCell*)));
    if (g_memory.openIndex == nullptr || g_memory.closedIndex == nullptr ||
        !g_memory.open.Create(nodeCount) || !g_memory.closed.Create(nodeCount)) {
        AstarMemoryFree();
        NavSetError(ENavError::NoMemory, "A* memory could not be allocated");
        return false;
    }
    return true;
}

void AstarMemoryFree()
{
    g_memory.open.Destroy();
    g_memory.closed.Destroy();
    std::free(g_memory.openIndex);
    std::free(g_memory.closedIndex);
    g_memory = AstarMemory();
}

int32_t AstarMemoryCapacity()
{
    return g_memory.capacity;
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
    for (;;) {
        switch (Step(graph, goal, user)) {
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

    uint32_t n = 0;
    for (;;) {
        switch (Step(graph, goal, user)) {
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
