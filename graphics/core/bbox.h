#pragma once
// Axis-aligned bounding boxes.

#include <cstdint>

#include "graphics/core/vector.h"

struct BBox
{
    V3d sup; ///< maximum corner
    V3d inf; ///< minimum corner
};

/// Box of `count` >= 1 points.
BBox* BBoxCalculate(BBox* box, const V3d* points, int32_t count);
/// sup = inf = point.
BBox* BBoxInitialize(BBox* box, const V3d* point);
/// Grows the box to hold the point.
BBox* BBoxAddPoint(BBox* box, const V3d* point);
/// 1 when inf <= point <= sup on all three axes (faces included), else 0.
int32_t BBoxContainsPoint(const BBox* box, const V3d* point);
