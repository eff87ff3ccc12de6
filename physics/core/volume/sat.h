#pragma once
// The separating-axis route of the distance query, for volumes that list
// their face normals and edge directions (slot 7): planes, spheres,
// capsules, boxes and triangles. Conventions as in gjk.h.
//
// Candidates: the face normals of both sides, the normalised cross products
// of their edge directions (pairs with a squared cross below 1e-6 are
// skipped), and, when a core is a point or a segment, the direction between
// the closest points of the two cores' segments, without which two
// capsules or a capsule and a sphere would be measured along the wrong
// axis. The largest separation wins, the first on ties. For two boxes,
// overlapping, that is the least depth (every facet of their difference
// lies across one of the axes); apart, it is at most the distance, equal to
// it only when the closest features are a face and a corner or two edges.

#include "physics/core/volume/gjk.h"

/// The separation of the two cores' intervals on `axis` in the orientation
/// that separates best; the axis is flipped to point from B to A. Returns
/// the separation (negative when the intervals overlap).
float OlpSatAxisOverlap(const OlpPartPair* pair, V3d* axis);
/// The plane axis of side A (B) in the orientation that separates best;
/// writes the oriented direction and the mid-plane offset of the cores;
/// returns the separation of the cores.
float OlpSatPlaneAxisA(const OlpPartPair* pair, const V3d* planeAxis, V3d* direction, float* offset);
float OlpSatPlaneAxisB(const OlpPartPair* pair, const V3d* planeAxis, V3d* direction, float* offset);
/// The unit direction from b to a with its component along the unit `axis`
/// removed; any unit vector perpendicular to the axis when that is shorter
/// than 0.001 of the axial part.
V3d* OlpSatPerpendicular(const V3d* a, const V3d* b, const V3d* axis, V3d* out);
/// The separating-axis query; 1.
int32_t OlpSatQuery(const OlpPartPair* pair, float maxDistance, float scale, OlpDistance* out);
