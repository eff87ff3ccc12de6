#pragma once
// Helpers for the volume tests: a started engine, vector comparisons and
// frames made in code.

#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/volume/volume.h"

class VolumeTest : public StartedEngineTest
{
};

inline void ExpectNearV3(V3d actual, V3d expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

inline bool IsFiniteV3(V3d v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// A rotation of `degrees` about a unit axis, then a move to `position`;
/// flags 0x3 (orthonormal, not the identity).
inline Matrix MakeFrame(V3d axis, float degrees, V3d position)
{
    float radians = degrees * 3.14159265f / 180.0f;
    float c = std::cos(radians);
    float s = std::sin(radians);
    float t = 1.0f - c;
    Matrix m{};
    m.right = {t * axis.x * axis.x + c, t * axis.x * axis.y + s * axis.z, t * axis.x * axis.z - s * axis.y};
    m.up = {t * axis.x * axis.y - s * axis.z, t * axis.y * axis.y + c, t * axis.y * axis.z + s * axis.x};
    m.at = {t * axis.x * axis.z + s * axis.y, t * axis.y * axis.z - s * axis.x, t * axis.z * axis.z + c};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

inline Matrix Translation(V3d position)
{
    return MakeFrame({0.0f, 0.0f, 1.0f}, 0.0f, position);
}
