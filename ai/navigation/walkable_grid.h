// A navigation graph over the host's world: a square grid in the x-z plane
// whose arcs join 8-neighbours that a body of the given width can walk
// between (the host's can-go test, both ways). Grid points with no such
// neighbour (inside walls) get no node. For tests, tools and simple levels.
#pragma once

#include "ai/runtime/vec3.h"

namespace Zelk {

class CSpatialGraph;

/// Adds the nodes and arcs of a w x h grid from origin with the given spacing
/// (world units) to the graph; the number of nodes added.
int BuildWalkableGridGraph(CSpatialGraph& graph, const CVec3& origin, int w, int h, float spacing,
                           float width);

} // namespace Zelk
