#pragma once
// Turning orientations over a time step: the quaternion updates of the
// integrator.

#include "graphics/core/quaternion.h"
#include "graphics/core/vector.h"

/// Premultiplies q by the rotation of `angle` radians about `axis` (taken
/// as a direction), then normalises q; nothing happens when |axis| < 0.0001.
Quaternion* OlpQuatRotateAboutAxis(Quaternion* q, const V3d* axis, float angle);
/// First-order update q += (h / 2) (w as a pure quaternion) q, then scaled
/// to unit length; w in radians per second, h in seconds.
Quaternion* OlpQuatIntegrate(Quaternion* q, const V3d* angularVelocity, float time);
