// Grid graphs for tests, benchmarks and tools: w x h nodes on a square grid in
// the x-z plane, arcs both ways between 8-connected neighbours.
#pragma once

#include <cstdint>

namespace Zelk {

class CSpatialGraph;

// Adds w x h nodes (index y * w + x at (x * spacing, 0, y * spacing)) and arcs
// of the true distance between 8-neighbours. Each node is blocked with the
// given chance in percent (seeded, reproducible): a blocked node keeps its
// index but no arc reaches or leaves it.
void BuildGridGraph(CSpatialGraph& graph, int w, int h, float spacing, int blockedPercent, uint32_t seed);

} // namespace Zelk
