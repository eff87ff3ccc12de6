#pragma once
// The point of a triangle nearest to a given point, for the sphere query's
// contacts and the dynamic collision triangles.
#include "graphics/core/vector.h"

/// Moves `point` to the point of triangle (a, b, c) nearest to it and answers
/// the squared distance between the two. `normal` is the triangle's unit
/// normal. A point whose projection falls inside the triangle goes to that
/// projection; otherwise to the nearest point of the nearest edge outside
/// which the projection lies.
float ClosestPointOnTriangle(const V3d* a, const V3d* b, const V3d* c, const V3d* normal, V3d* point);
