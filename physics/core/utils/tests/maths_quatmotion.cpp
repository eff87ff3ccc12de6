// Orientation updates of the integrator.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/utils/quatmotion.h"

namespace {

class PhysicsQuatMotion : public StartedEngineTest
{
};

/// The rotation angle of a unit quaternion, in radians.
float Angle(const Quaternion& q)
{
    return 2.0f * std::atan2(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z), std::fabs(q.w));
}

} // namespace

TEST_F(PhysicsQuatMotion, ZeroAngularVelocityKeepsTheOrientation)
{
    Quaternion q = {0.1f, -0.2f, 0.3f, std::sqrt(1.0f - 0.14f)};
    V3d none = {0, 0, 0};
    OlpQuatIntegrate(&q, &none, 0.0f); // normalised as a stored orientation is
    Quaternion before = q;
    V3d still = {0, 0, 0};
    OlpQuatIntegrate(&q, &still, 0.1f);
    EXPECT_NEAR(q.x, before.x, 1e-7f);
    EXPECT_NEAR(q.y, before.y, 1e-7f);
    EXPECT_NEAR(q.z, before.z, 1e-7f);
    EXPECT_NEAR(q.w, before.w, 1e-7f);
}

TEST_F(PhysicsQuatMotion, TurningAboutAnAxis)
{
    // Spin 3 rad/s about z for 0.1 s: exactly 0.3 rad.
    Quaternion q = {0, 0, 0, 1};
    V3d axis = {0, 0, 1};
    OlpQuatRotateAboutAxis(&q, &axis, 3.0f * 0.1f);
    EXPECT_NEAR(Angle(q), 0.3f, 1e-6f);
    EXPECT_NEAR(q.z, std::sin(0.15f), 1e-6f);
    // A longer axis is a direction only; a tiny one changes nothing.
    V3d longAxis = {0, 0, 5};
    Quaternion r = {0, 0, 0, 1};
    OlpQuatRotateAboutAxis(&r, &longAxis, 0.3f);
    EXPECT_NEAR(r.z, q.z, 1e-6f);
    V3d tiny = {0, 0, 1e-5f};
    Quaternion s = {0, 0, 0, 1};
    OlpQuatRotateAboutAxis(&s, &tiny, 0.3f);
    EXPECT_EQ(s.w, 1.0f);
    // The first-order update turns by about w h for a small step, and stays unit.
    Quaternion t = {0, 0, 0, 1};
    V3d w = {0, 0, 3};
    OlpQuatIntegrate(&t, &w, 0.01f);
    EXPECT_NEAR(Angle(t), 0.03f, 1e-4f);
    EXPECT_NEAR(t.x * t.x + t.y * t.y + t.z * t.z + t.w * t.w, 1.0f, 1e-6f);
}
