// The A* benchmark's scenes, shared by bench_astar and bench_astar_compare:
// 8-connected square grids with 20 % of the nodes blocked (seeded), the
// shortest-path constraint, the straight-line heuristic and 64 seeded
// queries between open nodes.
#pragma once

#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace astarbench {

struct Scene
{
    Zelk::CSpatialGraph graph;
    Zelk::CConstraintShortestPath constraint;
    Zelk::CHeuristicEuclidianDistance heuristic;
    Zelk::CPathRecord path;
    std::vector<std::pair<int32_t, int32_t>> queries; ///< start and goal node indices
    size_t graphBytes = 0;                            ///< heap the graph took when it was built
};

/// Bytes of heap in use now (malloc'd and mapped blocks).
size_t HeapBytesInUse();

/// The scene of a side x side grid, built on first use and kept.
Scene& GetScene(int side);

} // namespace astarbench
