// The characters' movement choice (eight sectors, idle, run) and aim blend.
#include <gtest/gtest.h>

#include <cmath>

#include "framework/characteractions.h"

namespace {

constexpr float kScale = 2.0f;

struct SectorCase
{
    float t; // direction angle of (side, forward), radians
    CharacterAnimation walk;
    bool strafe;
};

// Each sector bound from just below and just above, lower bounds inclusive.
const SectorCase kSectorCases[] = {
    {0.392699f - 1e-3f, kAnimStrafeRight, true},     {0.392699f + 1e-3f, kAnimForwardLeft, false},
    {1.178097f - 1e-3f, kAnimForwardLeft, false},    {1.178097f + 1e-3f, kAnimWalk, false},
    {1.963495f - 1e-3f, kAnimWalk, false},           {1.963495f + 1e-3f, kAnimForwardRight, false},
    {2.748893f - 1e-3f, kAnimForwardRight, false},   {2.748893f + 1e-3f, kAnimStrafeLeft, true},
    {-2.748893f - 1e-3f, kAnimStrafeLeft, true},     {-2.748893f + 1e-3f, kAnimBackwardRight, false},
    {-1.963495f - 1e-3f, kAnimBackwardRight, false}, {-1.963495f + 1e-3f, kAnimBackward, false},
    {-1.178097f - 1e-3f, kAnimBackward, false},      {-1.178097f + 1e-3f, kAnimBackwardLeft, false},
    {-0.392699f - 1e-3f, kAnimBackwardLeft, false},  {-0.392699f + 1e-3f, kAnimStrafeRight, true},
};

TEST(CharacterActions, EightSectorsPickTheirAnimationAndSpeeds)
{
    for (const SectorCase& c : kSectorCases) {
        const float side = 0.8f * std::cos(c.t);
        const float forward = 0.8f * std::sin(c.t);
        for (int32_t mode : {kModeWalk, kModeAlert}) {
            const MovementChoice got = ChooseMovement(mode, forward, side, 1.0f, kScale);
            const int32_t group = mode == kModeAlert ? kAnimAlertWalk : 0;
            EXPECT_EQ(got.animation, c.walk + group) << "t " << c.t << " mode " << mode;
            const bool sideways = c.walk != kAnimWalk && c.walk != kAnimBackward;
            EXPECT_FLOAT_EQ(got.sideSpeed, sideways ? 2.0f * side * kScale : 0.0f) << c.t;
            EXPECT_FLOAT_EQ(got.forwardSpeed, c.strafe ? 0.0f : 2.0f * forward * kScale) << c.t;
            EXPECT_FLOAT_EQ(got.animationSpeed,
                            c.strafe ? 2.5f * std::fabs(side) : 2.0f * std::fabs(forward));
        }
    }
}

TEST(CharacterActions, SmallInputsIdleAndRunStartsAboveAThird)
{
    const struct
    {
        int32_t mode;
        float forward, side, k;
        CharacterAnimation animation;
        float animationSpeed, forwardSpeed, sideSpeed;
    } cases[] = {
        {kModeWalk, 0.04f, 0.04f, 1.0f, kAnimIdle, 1.0f, 0.0f, 0.0f},
        {kModeAlert, 0.04f, -0.04f, 1.0f, kAnimAlertIdle, 1.0f, 0.0f, 0.0f},
        {kModeWalk, 0.05f, 0.0f, 1.0f, kAnimWalk, 0.1f, 0.1f * kScale, 0.0f},
        {kModeWalk, 0.0f, 1.0f, 1.0f, kAnimStrafeRight, 2.5f, 0.0f, 2.0f * kScale},
        {kModeWalk, 0.0f, -1.0f, 1.0f, kAnimStrafeLeft, 2.5f, 0.0f, -2.0f * kScale},
        {kModeWalk, 0.5f, 0.0f, 3.0f, kAnimWalk, 3.0f, 3.0f * kScale, 0.0f}, // first person
        {kModeRun, 0.33f, 0.5f, 1.0f, kAnimIdle, 1.0f, 0.0f, 0.0f},
        {kModeRun, 0.34f, 0.5f, 1.0f, kAnimRun, 0.68f, 9.0f * 0.34f * kScale, 0.0f},
        {kModeRun, -1.0f, 0.0f, 1.0f, kAnimIdle, 1.0f, 0.0f, 0.0f},
    };
    for (const auto& c : cases) {
        const MovementChoice got = ChooseMovement(c.mode, c.forward, c.side, c.k, kScale);
        EXPECT_EQ(got.animation, c.animation) << c.mode << " " << c.forward << " " << c.side;
        EXPECT_FLOAT_EQ(got.animationSpeed, c.animationSpeed) << c.forward << " " << c.side;
        EXPECT_FLOAT_EQ(got.forwardSpeed, c.forwardSpeed) << c.forward << " " << c.side;
        EXPECT_FLOAT_EQ(got.sideSpeed, c.sideSpeed) << c.forward << " " << c.side;
    }
}

/// A frame at (10, 0, 5) facing +z with right +x and up +y.
Matrix FacingZ()
{
    Matrix m{};
    m.right = {1.0f, 0.0f, 0.0f};
    m.up = {0.0f, 1.0f, 0.0f};
    m.at = {0.0f, 0.0f, 1.0f};
    m.pos = {10.0f, 0.0f, 5.0f};
    return m;
}

TEST(CharacterActions, AimStraightAheadIsQuadrantOneAtTheLowestFactors)
{
    AimBlend blend;
    ASSERT_TRUE(ComputeAimBlend(FacingZ(), kScale, {10.0f, kScale, 50.0f}, kAnimIdleAimUpLeft, &blend));
    EXPECT_EQ(blend.quadrant, 1);
    EXPECT_FLOAT_EQ(blend.a, 0.01f);
    EXPECT_FLOAT_EQ(blend.f, 0.01f);
    const CharacterAnimation expected[4] = {kAnimIdleAimMiddleRight, kAnimIdleAimMiddleFront,
                                            kAnimIdleAimUpFront, kAnimIdleAimUpRight};
    const float weights[4] = {0.99f * 0.01f, 0.01f * 0.01f, 0.01f * 0.99f, 0.99f * 0.99f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(blend.animations[i], expected[i]) << i;
        EXPECT_FLOAT_EQ(blend.weights[i], weights[i]) << i;
    }
}

TEST(CharacterActions, AimQuadrantsFollowTheTargetsSideAndHeight)
{
    // 20 degrees off along each axis: a = f = 20/45 (within float rounding).
    const float off = 40.0f * std::tan(20.0f * 3.14159265f / 180.0f);
    const struct
    {
        V3d target;
        int32_t quadrant;
        CharacterAnimation animations[4];
    } cases[] = {
        {{10.0f - off, kScale + off, 45.0f},
         1,
         {kAnimCrouchAimMiddleRight, kAnimCrouchAimMiddleFront, kAnimCrouchAimUpFront,
          kAnimCrouchAimUpRight}},
        {{10.0f - off, kScale - off, 45.0f},
         2,
         {kAnimCrouchAimMiddleRight, kAnimCrouchAimMiddleFront, kAnimCrouchAimDownRight,
          kAnimCrouchAimDownFront}},
        {{10.0f + off, kScale + off, 45.0f},
         3,
         {kAnimCrouchAimMiddleLeft, kAnimCrouchAimMiddleFront, kAnimCrouchAimUpLeft, kAnimCrouchAimUpFront}},
        {{10.0f + off, kScale - off, 45.0f},
         4,
         {kAnimCrouchAimMiddleLeft, kAnimCrouchAimMiddleFront, kAnimCrouchAimDownLeft,
          kAnimCrouchAimDownFront}},
    };
    for (const auto& c : cases) {
        AimBlend blend;
        ASSERT_TRUE(ComputeAimBlend(FacingZ(), kScale, c.target, AimGroup(kModeCrouchAim), &blend));
        EXPECT_EQ(blend.quadrant, c.quadrant);
        EXPECT_NEAR(blend.a, 20.0f / 45.0f, 1e-3f);
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(blend.animations[i], c.animations[i]) << c.quadrant << " entry " << i;
            sum += blend.weights[i];
        }
        EXPECT_NEAR(sum, 1.0f, 1e-5f);
        EXPECT_NEAR(blend.weights[0] + blend.weights[1], blend.f, 1e-6f) << "the middle pair weighs f";
    }
}

TEST(CharacterActions, TargetsOutsideTheConeAreRefused)
{
    AimBlend blend;
    EXPECT_FALSE(ComputeAimBlend(FacingZ(), kScale, {10.0f, kScale, -40.0f}, kAnimIdleAimUpLeft, &blend))
        << "behind";
    EXPECT_FALSE(ComputeAimBlend(FacingZ(), kScale, {50.0f, kScale, 5.0f}, kAnimIdleAimUpLeft, &blend))
        << "beside";
    // cos 0.72 is about 43.9 degrees: 43 degrees off is inside, 45 outside.
    EXPECT_TRUE(ComputeAimBlend(FacingZ(), kScale, {10.0f + std::tan(0.7505f) * 10.0f, kScale, 15.0f},
                                kAnimIdleAimUpLeft, &blend));
    EXPECT_FALSE(
        ComputeAimBlend(FacingZ(), kScale, {10.0f + 10.0f, kScale, 15.0f}, kAnimIdleAimUpLeft, &blend));
}

} // namespace
