#pragma once
// The line set-up shared by the walks and the triangle queries (private).

#include "graphics/core/bbox.h"
#include "graphics/core/vector.h"

struct IntersectionLine;

/// A segment as the walks use it: start, direction (end - start), the
/// reciprocal of each direction component (0 for 0) and a tolerance per axis.
struct LineSetup
{
    V3d start;
    V3d direction;
    V3d reciprocal;
    V3d tolerance;
};

inline float Axis(const V3d& v, int k)
{
    return k == 0 ? v.x : k == 1 ? v.y : v.z;
}
inline void SetAxis(V3d* v, int k, float value)
{
    (k == 0 ? v->x : k == 1 ? v->y : v->z) = value;
}

/// The set-up of a segment; `tolerance` null: 1e-6 x the larger of the two
/// end coordinates per axis.
LineSetup LineSetupMake(const IntersectionLine& line, const V3d* tolerance);
/// Clips [0, 1] to the box widened by the tolerance, axis by axis; false
/// when nothing is left.
bool LineClipToBox(const LineSetup& line, const BBox& box, float* t0, float* t1);
