// The time-of-impact search on a fast sphere against a thin wall.
#include "physics/core/contact/tests/contacttesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

namespace {

bool OwnBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    const OlpObjPart& part = static_cast<OlpObj*>(object)->parts[0];
    return OlpVolumeGetBBox(part.volume, part.sourceMatrix, 0, out) != nullptr;
}

/// A sphere of radius 0.1 at `x` moving along x at `speed`, and a wall
/// 0.05 thick at x = 0.5; one step of 1/60 s.
class ContactToi : public ContactTest
{
  protected:
    void SetUp() override
    {
        ContactTest::SetUp();
        dynMemory = OlpAlignedAlloc(OlpDynArraysSize(1), 16, kOlpMemoryHint);
        OlpDynArraysInit(&arrays, dynMemory, 1);
        OlpSphereInit(&ball, 0.1f);
        V3d half = {0.025f, 2.0f, 2.0f};
        OlpBoxInit(&wall, &half);
        Matrix at = Translation({0.5f + 0.025f, 0, 0});
        OlpVolumeSetFrame(&wall, &at);
        OlpObjInit(&body, 1, 0);
        body.partCount = 1;
        body.id = 0;
        body.parts[0].volume = &ball;
        body.parts[0].sourceMatrix = &pose;
    }
    void TearDown() override
    {
        OlpObjDeinit(&body);
        OlpAlignedFree(dynMemory);
        ContactTest::TearDown();
    }

    /// Runs the pass with the ball at x moving at `speed` (moving: slot 1,
    /// else slot 0); returns the number of searches ended, the time in *time.
    uint32_t Run(float x, float speed, bool moving, float* time)
    {
        pose = Translation({x, 0, 0});
        OlpDyn* dyn = OlpDynArraysTake(&arrays);
        OlpDynInit(dyn, nullptr, &pose);
        V3d linear = {speed, 0, 0}, angular = {0, 0, 0};
        OlpDynSetVelocity(dyn, &linear, &angular);
        body.parts[0].dyn = dyn;
        uint16_t slots[1] = {static_cast<uint16_t>(moving ? 1 : 0)};
        OlpBBox swept[2];
        OlpVolumeGetBBox(&ball, &pose, 0, &swept[1]);
        swept[1].max.x += std::fmax(speed, 0.0f) * kStep;
        swept[1].min.x += std::fmin(speed, 0.0f) * kStep;
        float times[2] = {kStep, kStep};
        OlpBatchPair pair = {&body, 0, &wall, kOlpBarePart, nullptr};
        uint32_t ended =
            OlpBatchTimeOfImpactPass(&area, &pair, 1, slots, swept, times, 2, kStep, OwnBox, nullptr);
        OlpDynRelease(dyn);
        body.parts[0].dyn = nullptr;
        *time = times[1];
        return ended;
    }

    static constexpr float kStep = 1.0f / 60.0f;
    void* dynMemory = nullptr;
    OlpDynArrays arrays;
    OlpVolume ball, wall;
    OlpObj body;
    Matrix pose;
};

} // namespace

TEST_F(ContactToi, AFastSphereStopsBeforeCrossingAThinWall)
{
    float time;
    ASSERT_EQ(Run(0.0f, 100.0f, true, &time), 1u);
    // Reached at x = 0.4 plus a slight penetration; crossed only at 0.65.
    EXPECT_GT(time, 0.0039f);
    EXPECT_LT(time, 0.0050f);
    EXPECT_LT(time, 0.65f / 100.0f);
}

TEST_F(ContactToi, SeparatingOrRestingPairsLeaveTheTimes)
{
    float time;
    EXPECT_EQ(Run(0.0f, -100.0f, true, &time), 0u);
    EXPECT_FLOAT_EQ(time, kStep);
    EXPECT_EQ(Run(0.0f, 100.0f, false, &time), 0u);
    EXPECT_FLOAT_EQ(time, kStep);
    // Too slow to arrive within the step.
    EXPECT_EQ(Run(0.0f, 10.0f, true, &time), 0u);
    EXPECT_FLOAT_EQ(time, kStep);
}

TEST_F(ContactToi, APairAlreadyWithinReachStaysAtTheMinimumAdvance)
{
    float time;
    ASSERT_EQ(Run(0.4f, 100.0f, true, &time), 1u);
    EXPECT_FLOAT_EQ(time, 0.05f * kStep);
}
