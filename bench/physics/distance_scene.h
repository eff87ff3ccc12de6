#pragma once
// The distance benchmark's fixed work: 2000 pairs of convex hulls (16
// hulls of 24-point random clouds) and 2000 pairs of boxes, each side at a
// seeded random pose, about half of them overlapping.

#include <vector>

#include "physics/core/volume/gjk.h"

struct DistanceSide
{
    int shape;    ///< index into the scene's volumes
    Matrix frame; ///< world pose
};

struct DistancePair
{
    DistanceSide a;
    DistanceSide b;
};

struct DistanceScene
{
    std::vector<std::vector<V3d>> clouds; ///< the points of each hull
    std::vector<OlpVolume*> hulls;        ///< convex volumes, margin 0
    std::vector<V3d> boxHalfExtents;
    std::vector<OlpVolume*> boxes; ///< margin 0
    std::vector<DistancePair> hullPairs;
    std::vector<DistancePair> boxPairs;
};

/// Builds the scene (qhull for the hulls); destroy with DestroyDistanceScene.
DistanceScene MakeDistanceScene();
void DestroyDistanceScene(DistanceScene& scene);
