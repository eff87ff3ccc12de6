#pragma once
// A sphere of radius `radius` swept from `s` along `d` against the rounded
// edges and corners of a volume with a margin: an edge is a capsule's side
// (an infinite cylinder, the caller bounds it along the edge), a corner is
// a sphere. Each keeps the earliest touch in `*best`.

#include "graphics/core/vector.h"

/// The first touch of the cylinder about the line through `a` along the unit
/// `axis` when it comes before `best`: true with its fraction, point and
/// distance along the axis from `a` (never negative).
bool OlpSweptSphereEdge(const V3d* s, const V3d* d, const V3d* a, const V3d* axis, float radius, float best,
                        float* fraction, V3d* point, float* along);
/// The ball about `corner`: when it is touched before `*best`, sets `*best`
/// and `*normal` (outward; `fallback` when the touch is degenerate).
void OlpSweptSphereCorner(const V3d* s, const V3d* d, const V3d* corner, float radius, const V3d* fallback,
                          float* best, V3d* normal);
