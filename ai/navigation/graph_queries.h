// Nearest-node and nearest-arc queries over a graph, and debug drawing of a
// graph or a path through the host's line and point drawing.
#pragma once

#include "ai/runtime/vec3.h"

namespace Zelk {

class CEntity;
class CFindNearestData;
class CGraphArc;
class CGraphNode;
class CPathRecord;
class CSpatialGraph;

// Node filters: needsOutArcs skips nodes without out-arcs (a start), needsInArcs
// nodes without in-arcs (a goal).

// The filtered node with the smallest Manhattan distance to the point; null when none.
CGraphNode* FindNearestNode(CSpatialGraph& graph, const CVec3& point, bool needsOutArcs, bool needsInArcs);
// The nearest filtered node (squared distance) that the entity can go to straight
// from the point; the first filtered node is taken without the test.
CGraphNode* FindNearestVisibleNode(CSpatialGraph& graph, const CVec3& point, CEntity* entity,
                                   bool needsOutArcs, bool needsInArcs);
// The nearest filtered node within the graph's search radius and the height
// window (2h below, 1.5h above; h = -1 switches it off), preferring nodes the
// entity can go to straight from the point; null when none.
CGraphNode* FindNearestNodeForEntity(CSpatialGraph& graph, const CVec3& point, CEntity* entity,
                                     float maxHeightDiff, bool needsOutArcs, bool needsInArcs);
// The same from the find-nearest data's box (at most 1000 candidates), nearest
// first; falls back to the nearest filtered candidate when none can be reached.
CGraphNode* FindNearestNodeFromData(const CVec3& point, CEntity* entity, float maxHeightDiff,
                                    CFindNearestData& data, bool needsOutArcs, bool needsInArcs);
// The arc whose middle is nearest to the point among arcs whose from-node lies
// within 2h in height; null when none.
CGraphArc* FindNearestArc(CSpatialGraph& graph, const CVec3& point, float maxHeightDiff);

// Draws every arc as a line and every node as a point (colours 0..255).
void DrawGraph(CSpatialGraph& graph, int red, int green, int blue);
// Nodes green, zero-length arcs red, other arcs blue.
void DrawGraphDefault(CSpatialGraph& graph);
// Path points cyan (the last green), lines white or light green where a path
// object is linked to the arc.
void DrawPath(const CPathRecord& path);

} // namespace Zelk
