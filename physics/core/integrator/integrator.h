#pragma once
// The integrator: moves active parts over a time with their velocities
// (orientation, position, pose matrix). The stored velocities are not
// changed.

#include <cstdint>

#include "physics/core/dyn/dyn.h"

/// Moves row `index` over `time` seconds: a part with a spin axis turns
/// exactly about it (the axis taken as a direction) and the rest of its
/// angular velocity goes through the first-order quaternion update; the
/// position advances by time x velocity and the pose is rebuilt (flags 0).
void OlpIntegrateBody(OlpDynArrays* arrays, uint32_t index, float time);
/// OlpIntegrateBody for each of the `count` rows listed in `parts`.
void OlpIntegrateParts(OlpDynArrays* arrays, const uint32_t* parts, uint32_t count, float time);
