// A heap of ragdolls solved with few relaxation moves: the passes are cut
// short every step, and the joints' warm start must not turn that into
// divergence.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"

namespace {

/// The lowest point of any capsule of the scene (y), metres.
float LowestSurface(const RagdollScene& scene)
{
    float lowest = 1e30f;
    for (const auto& entry : scene.ragdolls) {
        for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
            const RagdollScenePart& part = RagdollScenePartShape(i);
            const Matrix& bone = entry->bones[i];
            const float axisY = part.alongX ? bone.right.y : bone.up.y;
            lowest = std::fmin(lowest, bone.pos.y - std::fabs(axisY) * part.halfLength - part.radius);
        }
    }
    return lowest;
}

bool AllFinite(const RagdollScene& scene)
{
    for (const auto& entry : scene.ragdolls) {
        for (const Matrix& bone : entry->bones) {
            for (float v : {bone.right.x, bone.right.y, bone.right.z, bone.up.x, bone.up.y, bone.up.z,
                            bone.at.x, bone.at.y, bone.at.z, bone.pos.x, bone.pos.y, bone.pos.z}) {
                if (!std::isfinite(v)) {
                    return false;
                }
            }
        }
    }
    return true;
}

class RagdollHeap : public StartedEngineTest
{
};

TEST_F(RagdollHeap, StarvedOfMovesItStaysBoundedAboveTheFloor)
{
    struct Case
    {
        uint32_t ragdolls, position, velocity;
    };
    // Each heap diverged (bodies metres deep, joints metres apart) while a
    // pass cut short handed its whole result to the next step.
    for (const Case& c : {Case{10, 25, 75}, Case{15, 30, 90}}) {
        SCOPED_TRACE(testing::Message() << c.ragdolls << " ragdolls, " << c.position << "/" << c.velocity);
        RagdollScene scene(c.ragdolls, RagdollSceneJoints::kBall);
        ASSERT_NE(scene.context, nullptr);
        OlpPipeline* pipeline = OlpContextGetPipeline(scene.context);
        OlpPipelineSetMaxPosIterations(pipeline, c.position);
        OlpPipelineSetMaxVelIterations(pipeline, c.velocity);
        for (uint32_t i = 0; i < c.ragdolls; ++i) {
            V3d base;
            float yaw = 0.0f, tilt = 0.0f;
            RagdollSceneHeapPlace(i, &base, &yaw, &tilt);
            ASSERT_NE(scene.AddRagdoll(base, yaw, tilt), nullptr);
        }
        float lowest = 1e30f;
        for (int step = 0; step < 600; ++step) {
            scene.Step();
            lowest = std::fmin(lowest, LowestSurface(scene));
        }
        ASSERT_TRUE(AllFinite(scene));
        EXPECT_GT(lowest, -0.2f);
        EXPECT_GT(LowestSurface(scene), -0.08f);
        EXPECT_LT(scene.LargestJointGap(), 0.15f);
    }
}

} // namespace
