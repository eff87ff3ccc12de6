#pragma once
// Segment tests shared by the line tests of the volumes. Each takes the
// segment start s and the segment vector d = end - start and answers:
//   1  a hit within the segment, at fraction numerator / denominator;
//   0  no hit within the segment;
//  -1  the segment moves away and can never hit.
// A start already inside gives {0, 1} and 1. With a null result record they
// answer only whether the start is inside (1) or not (0).

#include <cstdint>

#include "graphics/core/vector.h"

struct OlpRayFraction
{
    float numerator;
    float denominator;
};

/// The half-space sign * x[axis] <= offset (sign +1 or -1).
int32_t OlpRaySlab(OlpRayFraction* result, const V3d* s, const V3d* d, int32_t axis, float sign,
                   float offset);
/// The half-space n . x <= offset.
int32_t OlpRayPlane(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* normal, float offset);
/// The ball |x - centre| <= radius.
int32_t OlpRaySphere(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* centre, float radius);
/// The infinite cylinder of `radius` about the line through `axisPoint`
/// along the unit `axis`. `keepMovingAway` answers 0 in place of -1;
/// `ignoreInside` does not report a start inside (it answers 0 there).
int32_t OlpRayCylinder(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* axisPoint,
                       const V3d* axis, float radius, int32_t keepMovingAway, int32_t ignoreInside);
/// The torus of `major` radius about the unit `axis` through `centre`, tube
/// radius `minor`: the smallest root in [0, 1] of its quartic. 1 on a hit
/// (the fraction as {t, 1}), 0 otherwise; a start inside is not reported.
int32_t OlpRayTorus(OlpRayFraction* result, const V3d* s, const V3d* d, const V3d* centre, const V3d* axis,
                    float major, float minor);
/// out = v / |v| and |v| when |v|^2 > 1e-12; otherwise out = the normalised
/// fallback times `scale` when scale is non-zero, else a unit vector
/// perpendicular to the fallback, and the result is 0.
float OlpSafeNormalize(V3d* out, const V3d* v, const V3d* fallback, float scale);
