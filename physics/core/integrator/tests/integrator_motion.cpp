// The integrator: orientation, position and pose of moving parts.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/integrator/integrator.h"
#include "physics/core/utils/memory.h"

namespace {

class IntegratorMotion : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        block = OlpAlignedAlloc(OlpDynArraysSize(kRows), 16, kOlpMemoryHint);
        ASSERT_NE(block, nullptr);
        OlpDynArraysInit(&arrays, block, kRows);
        for (uint32_t i = 0; i < kRows; ++i) {
            handles[i] = {};
            handles[i].arrays = &arrays;
            handles[i].index = i;
            OlpDynInit(&handles[i], nullptr, nullptr);
        }
    }
    void TearDown() override
    {
        OlpAlignedFree(block);
        StartedEngineTest::TearDown();
    }

    static constexpr uint32_t kRows = 2;
    void* block = nullptr;
    OlpDynArrays arrays = {};
    OlpDyn handles[kRows];
};

/// The rotation angle of a unit quaternion, in radians.
float Angle(const Quaternion& q)
{
    return 2.0f * std::atan2(std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z), std::fabs(q.w));
}

} // namespace

TEST_F(IntegratorMotion, WithoutSpinTheOrientationStaysAndThePositionAdvances)
{
    const float s = std::sqrt(1.0f - 0.14f);
    arrays.orientation[0] = {0.1f, -0.2f, 0.3f, s};
    const Quaternion before = arrays.orientation[0];
    const V3d linear = {1, -2, 4};
    const V3d still = {0, 0, 0};
    OlpDynSetVelocity(&handles[0], &linear, &still);
    arrays.pose[0].pos = {10, 10, 10};
    OlpIntegrateBody(&arrays, 0, 0.5f);
    const Quaternion& q = arrays.orientation[0];
    EXPECT_NEAR(q.x, before.x, 1e-7f);
    EXPECT_NEAR(q.y, before.y, 1e-7f);
    EXPECT_NEAR(q.z, before.z, 1e-7f);
    EXPECT_NEAR(q.w, before.w, 1e-7f);
    EXPECT_FLOAT_EQ(arrays.pose[0].pos.x, 10.5f);
    EXPECT_FLOAT_EQ(arrays.pose[0].pos.y, 9.0f);
    EXPECT_FLOAT_EQ(arrays.pose[0].pos.z, 12.0f);
    EXPECT_EQ(arrays.pose[0].flags, 0u);
    // The pose rotation is the quaternion's: its right axis is q (1,0,0) q*.
    V3d right = {1, 0, 0};
    QuaternionTransformVectors(&right, &right, 1, &q);
    EXPECT_NEAR(arrays.pose[0].right.x, right.x, 1e-6f);
    EXPECT_NEAR(arrays.pose[0].right.y, right.y, 1e-6f);
    EXPECT_NEAR(arrays.pose[0].right.z, right.z, 1e-6f);
}

TEST_F(IntegratorMotion, SpinAboutTheAxisTurnsExactlyWhateverTheAxisLength)
{
    const V3d linear = {0, 0, 0};
    const V3d angular = {0, 0, 3};
    for (float axisLength : {1.0f, 2.5f}) {
        arrays.orientation[1] = {0, 0, 0, 1};
        arrays.flags[1] = kOlpDynSpinAxis;
        arrays.spinAxis[1].v = {0, 0, axisLength};
        OlpDynSetVelocity(&handles[1], &linear, &angular);
        OlpIntegrateBody(&arrays, 1, 0.1f);
        EXPECT_NEAR(Angle(arrays.orientation[1]), 0.3f, 1e-6f) << axisLength;
        EXPECT_GT(arrays.orientation[1].z, 0.0f);
        EXPECT_NEAR(arrays.pose[1].right.x, std::cos(0.3f), 1e-6f);
        EXPECT_NEAR(arrays.pose[1].right.y, std::sin(0.3f), 1e-6f);
        // The stored velocity is untouched.
        EXPECT_FLOAT_EQ(arrays.velocity[1].angular.z, 3.0f);
    }
}

TEST_F(IntegratorMotion, ATinySpinAxisLeavesTheFirstOrderUpdate)
{
    const V3d linear = {0, 0, 0};
    const V3d angular = {0, 0, 3};
    const uint32_t rows[] = {0, 1};
    OlpDynSetVelocity(&handles[0], &linear, &angular);
    OlpDynSetVelocity(&handles[1], &linear, &angular);
    arrays.flags[1] = kOlpDynSpinAxis;
    arrays.spinAxis[1].v = {0, 0, 0.00005f};
    OlpIntegrateParts(&arrays, rows, 2, 0.1f);
    // Both went through q += (h/2) w q: tan(angle / 2) = 0.15.
    for (uint32_t row : rows) {
        EXPECT_NEAR(Angle(arrays.orientation[row]), 2.0f * std::atan(0.15f), 1e-6f) << row;
    }
}
