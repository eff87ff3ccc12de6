// Geometric queries as the AI classes ask them; they reach the host through the
// settings block (see host.h). Distances in world units, angles in degrees.
#pragma once

#include "ai/runtime/vec3.h"

namespace Zelk {

/// Distance to the first hit along from + direction * length (the hit fraction * length);
/// length when nothing is hit. direction is taken as given (normally of unit length).
float CastRay(const CVec3& from, const CVec3& direction, const void* ignore, int flags, float length);
/// CastRay with length 10,000.
float CastRayDefault(const CVec3& from, const CVec3& direction, const void* ignore, int flags);
/// The host's segment test: true when the line of sight is clear.
bool IsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags);
/// rayCount parallel segments spread evenly across width along the horizontal perpendicular
/// of from->to; false as soon as one is blocked. Fewer than 2 rays: IsVisible; from == to: true.
bool IsVisibleWide(const CVec3& from, const CVec3& to, const void* ignore, int flags, float width,
                   int rayCount);
/// The host's swept test for a body of that width (radius width / 2).
bool CanGo(const CVec3& from, const CVec3& to, const void* ignore, int flags, float width);
/// True when target lies within halfAngle degrees of viewDirection (unit length) seen from
/// eye and, for range >= 0, within range (a target exactly at the range is inside).
bool IsInVisionCone(const CVec3& target, const CVec3& eye, const CVec3& viewDirection, float halfAngle,
                    float range);

} // namespace Zelk
