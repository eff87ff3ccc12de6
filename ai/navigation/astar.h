// A* search over a CSpatialGraph with the graph's current constraint and
// heuristic. One working memory serves the whole process: it is sized once
// (AstarMemoryInit) and no search allocates. Only one search runs at a time;
// a suspended sliced search is abandoned when another search starts fresh.
#pragma once

#include <cstdint>

namespace Zelk {

class CGraphNode;
class CPathRecord;
class CSpatialGraph;

// Sizes the working memory for node indices 0..nodeCount-1 (frees the old
// one first); nodeCount <= 0 leaves it empty. False when allocation failed
// or nodeCount is above kPackedMaxNodes (2^30) (the memory is then empty).
bool AstarMemoryInit(int32_t nodeCount);
// Releases the working memory.
void AstarMemoryFree();
// Node capacity of the working memory (0 when empty).
int32_t AstarMemoryCapacity();
// Nodes expanded by the last search (all slices of a sliced one).
uint32_t AstarLastExpansionCount();

// Finds the cheapest path from start to goal and writes it into the path
// record (at most its capacity entries; see CPathRecord). False when there is
// no constraint or heuristic, the heuristic refuses the start, the goal cannot
// be reached, or a node index is not below the memory's capacity.
bool AstarSearch(CSpatialGraph& graph, CPathRecord& path, CGraphNode* start, CGraphNode* goal, void* user);

inline constexpr uint32_t kAstarNoFirstArc = 0xffffffffu;

// For every goal j up to the graph's highest node index, firstArcs[j]
// receives the first arc (arcIndices[0]) of the path that AstarSearch from
// start to j would write, or kAstarNoFirstArc when it would find none and for
// the start itself, as long as the arcs' prices do not change meanwhile. The
// graph's heuristic must be exactly CZeroHeuristic: then the search expands
// nodes in an order that does not depend on the goal, so one search run until
// nothing is left open answers every goal. Leaves the memory as AstarSearch
// does (no start marker, no suspended sliced search) but writes no node's
// search fields. False, with every entry kAstarNoFirstArc, when AstarSearch
// would fail before expanding anything or the heuristic is another.
bool AstarFirstArcs(CSpatialGraph& graph, CGraphNode* start, void* user, uint32_t* firstArcs);

enum EAstarResult : int
{
    kAstarNoPath = 0,
    kAstarFound = 1,
    kAstarSuspended = 2, // call again with the same query to go on
};

// Statistics the caller keeps from call to call: expanded-node count and the
// mean time and deviation per expanded node (seconds).
struct AstarSliceStats
{
    uint32_t nodeCount = 0;
    float meanTime = 0.0f;
    float deviation = 0.0f;
};

// Like AstarSearch, but stops when the budget (seconds) is spent and resumes on
// a later call with the same start, goal, user word, constraint and heuristic.
// spread scales the deviation when sizing a batch of expansions between clock
// readings; restart forces a fresh search.
EAstarResult AstarSearchSliced(CSpatialGraph& graph, CPathRecord& path, CGraphNode* start, CGraphNode* goal,
                               void* user, AstarSliceStats& stats, float spread, float budget, bool restart);

} // namespace Zelk
