// The scenes' humanoid bounds each limb's twist (its turn about its own
// axis) and leaves the swing free: a falling ragdoll with one limb spun
// about its axis stops that limb at the joint's limit, one spun across its
// axis swings as on a plain ball joint. Plain ball joints leave the twist
// free.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr float kSpin = 4.0f; // rad/s, a few times the rest speed
constexpr int kSteps = 60;

V3d LimbAxis(const Matrix& bone, uint32_t part)
{
    return RagdollScenePartShape(part).alongX ? bone.right : bone.up;
}

/// The second part's turn about its own axis from the first, from the rest
/// pose (every part rests unturned, so `at` is across every limb).
float Twist(const Matrix& first, const Matrix& second, uint32_t part)
{
    const V3d u = LimbAxis(second, part);
    const V3d a = first.at - u * Dot(first.at, u);
    const V3d b = second.at - u * Dot(second.at, u);
    return std::atan2(Dot(Cross(a, b), u), Dot(a, b));
}

/// The angle between the two parts' limb axes.
float Swing(const Matrix& first, const Matrix& second, uint32_t part)
{
    const V3d a = LimbAxis(first, part), b = LimbAxis(second, part);
    return std::atan2(Length(Cross(a, b)), Dot(a, b));
}

struct Turn
{
    float largestTwist = 0.0f;
    float largestSwing = 0.0f;
};

/// Joint `j`'s second part of a ragdoll falling free, spun about its own
/// axis (`across` false) or about `at`; the largest angles over a second.
Turn SpinLimb(RagdollSceneJoints joints, uint32_t j, bool across)
{
    RagdollScene scene(1, joints);
    EXPECT_NE(scene.AddRagdoll({0.0f, 100.0f, 0.0f}, 0.0f), nullptr);
    scene.Step();
    const RagdollSceneJoint& joint = RagdollSceneJointShape(j);
    const std::vector<Matrix>& bones = scene.ragdolls[0]->bones;
    OlpDyn* dyn = scene.ragdolls[0]->ragdoll->base.parts[joint.second].dyn;
    EXPECT_NE(dyn, nullptr);
    if (dyn == nullptr) {
        return {};
    }
    const V3d linear = OlpDynGetVelocity(dyn)->linear;
    const V3d angular =
        (across ? bones[joint.second].at : LimbAxis(bones[joint.second], joint.second)) * kSpin;
    OlpDynSetVelocity(dyn, &linear, &angular);
    Turn turn;
    for (int n = 0; n < kSteps; ++n) {
        scene.Step();
        const Matrix& first = bones[joint.first];
        const Matrix& second = bones[joint.second];
        turn.largestTwist = std::fmax(turn.largestTwist, std::fabs(Twist(first, second, joint.second)));
        turn.largestSwing = std::fmax(turn.largestSwing, Swing(first, second, joint.second));
    }
    return turn;
}

class RagdollTwist : public StartedEngineTest
{
};

TEST_F(RagdollTwist, LimitedJointsStopTheTwistAndLeaveTheSwingFree)
{
    uint32_t limited = 0;
    for (uint32_t j = 0; j < kOlpRagdollJoints; ++j) {
        const RagdollSceneJoint& joint = RagdollSceneJointShape(j);
        if (joint.twist <= 0.0f) {
            continue;
        }
        ++limited;
        SCOPED_TRACE(testing::Message() << "joint " << j << ", limit " << joint.twist << " rad");
        // A step's turn at the spin may pass the limit before its row holds.
        EXPECT_LT(SpinLimb(RagdollSceneJoints::kTwistLimited, j, false).largestTwist,
                  joint.twist + kSpin / 60.0f);
        // No swing limit came with it: the limb swings as on a plain ball joint.
        EXPECT_NEAR(SpinLimb(RagdollSceneJoints::kTwistLimited, j, true).largestSwing,
                    SpinLimb(RagdollSceneJoints::kBall, j, true).largestSwing, 0.01f);
    }
    // Every limb: the neck, two shoulders, elbows, hips and knees.
    EXPECT_EQ(limited, 9u);
}

TEST_F(RagdollTwist, PlainBallJointsLeaveTheTwistFree)
{
    for (uint32_t j : {2u, 6u}) { // a shoulder, a hip
        SCOPED_TRACE(testing::Message() << "joint " << j);
        EXPECT_GT(SpinLimb(RagdollSceneJoints::kBall, j, false).largestTwist, 2.0f);
    }
}

} // namespace
