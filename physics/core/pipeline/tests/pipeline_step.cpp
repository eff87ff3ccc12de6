// The whole step through a context: defaults, scenes at rest and asleep,
// continuous collision, joints, capacities, determinism, no allocation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "graphics/core/instance.h"
#include "graphics/core/tests/mathstesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/pipeline/scenes/scenes.h"
#include "physics/core/volume/volume.h"

namespace {

const V3d kCube = {0.5f, 0.5f, 0.5f};

class PipelineStep : public StartedEngineTest
{
};

TEST_F(PipelineStep, DefaultsAfterCreationAndAnEmptyStep)
{
    PipelineScene scene(4);
    ASSERT_NE(scene.pipeline, nullptr);
    OlpPipeline* p = scene.pipeline;
    EXPECT_EQ(p->context, scene.context);
    EXPECT_EQ(p->maxPosIterations, 100u);
    EXPECT_EQ(p->maxVelIterations, 300u);
    EXPECT_FLOAT_EQ(p->posTolerance, 1e-5f);
    EXPECT_FLOAT_EQ(p->velTolerance, 1e-5f);
    EXPECT_FLOAT_EQ(p->restLinearVelocity, 0.1f);
    EXPECT_FLOAT_EQ(p->restAngularVelocity, 0.6f);
    EXPECT_FLOAT_EQ(p->restLinearAcceleration, 2.0f);
    EXPECT_FLOAT_EQ(p->restAngularAcceleration, 10000.0f);
    EXPECT_EQ(p->options, 1u);
    EXPECT_EQ(p->islandBlockRows, 400u);
    EXPECT_EQ(p->batchRows, 400u);
    EXPECT_TRUE(p->mode == 1 || p->mode == 2);
    // Gravity is zero until the scene sets it; set it back to check.
    const float zero[3] = {0, 0, 0};
    OlpPipelineSetGravity(p, zero);
    EXPECT_EQ(p->gravity.y, 0.0f);
    OlpPipelineSetIslandBlockRows(p, 1000); // held to the batch rows
    EXPECT_EQ(p->islandBlockRows, 400u);
    scene.Step();
    EXPECT_EQ(p->islands.count, 0u);
    EXPECT_EQ(p->contactCount, 0u);
}

TEST_F(PipelineStep, ABoxDroppedOnAPlaneRestsAndSleeps)
{
    PipelineScene scene(2);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    SceneBody* box = scene.AddBox(kCube, 1.0f, {0, 2.0f, 0});
    int sleptAt = -1;
    for (int n = 1; n <= 300 && sleptAt < 0; ++n) {
        scene.Step();
        sleptAt = scene.Asleep(box) ? n : -1;
    }
    EXPECT_GT(sleptAt, 0);
    EXPECT_NEAR(scene.Position(box).y, 0.5f, 0.02f);
    // Asleep, it is no longer listed: its pose stays bit-identical.
    uint64_t hash = scene.Hash();
    for (int n = 0; n < 30; ++n) {
        scene.Step();
    }
    EXPECT_EQ(scene.Hash(), hash);
}

TEST_F(PipelineStep, ABoxStillPushedOutOfTheGroundStaysAwake)
{
    // A box placed sunk into the ground, at no speed: the position pass
    // lifts it by 0.8 of its overlap a step while its velocities stay
    // small. It may sleep only once that correction is within the rest
    // speed times the step (1/600 m), that is with at most ~2 mm left.
    for (float depth : {0.01f, 0.03f, 0.1f}) {
        PipelineScene scene(2);
        scene.AddPlane({0, 0, 0}, {0, 1, 0});
        SceneBody* box = scene.AddBox(kCube, 1.0f, {0, 0.5f - depth, 0});
        scene.Step();
        EXPECT_FALSE(scene.Asleep(box)) << depth;
        int steps = 1;
        while (!scene.Asleep(box) && steps < 300) {
            scene.Step();
            ++steps;
        }
        EXPECT_TRUE(scene.Asleep(box)) << depth;
        EXPECT_LT(steps, 30) << depth;
        EXPECT_NEAR(scene.Position(box).y, 0.5f, 0.0025f) << depth;
    }
}

TEST_F(PipelineStep, AnObjectThatMayNotRestNeverSleeps)
{
    PipelineScene scene(2);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    SceneBody* box = scene.AddBox(kCube, 1.0f, {0, 0.5f, 0}, kOlpObjFlagsBody & ~kOlpObjFlagMayRest);
    for (int n = 0; n < 300; ++n) {
        scene.Step();
        ASSERT_FALSE(scene.Asleep(box)) << n;
    }
    EXPECT_NEAR(scene.Position(box).y, 0.5f, 0.02f);
}

TEST_F(PipelineStep, AStackOfThreeStaysAndSleeps)
{
    ScenarioReport report = RunScenario("stack3", {});
    ASSERT_TRUE(report.known);
    ASSERT_EQ(report.bodies.size(), 3u);
    for (const auto& row : report.heights) {
        for (size_t i = 0; i < 3; ++i) {
            ASSERT_NEAR(row[i], 0.5f + static_cast<float>(i), 0.05f);
        }
    }
    for (const auto& body : report.bodies) {
        EXPECT_TRUE(body.asleep);
        EXPECT_NEAR(body.position.x, 0.0f, 0.05f);
    }
}

TEST_F(PipelineStep, TallStacksRestInPlaceAndSleep)
{
    // Boxes start 2 cm apart; each comes to rest a whole number of metres
    // plus a half up, within the contact's sinking, and stays there.
    struct Case
    {
        const char* name;
        size_t bodies;
        int sleepBy;
    };
    for (const Case& c : {Case{"stack10", 10, 120}, Case{"pyramid", 55, 120}}) {
        ScenarioOptions options;
        options.steps = 180;
        ScenarioReport report = RunScenario(c.name, options);
        ASSERT_EQ(report.bodies.size(), c.bodies) << c.name;
        const std::vector<float>& start = report.heights[0];
        for (const auto& row : report.heights) {
            for (size_t i = 0; i < c.bodies; ++i) {
                ASSERT_GE(row[i], std::floor(start[i]) + 0.5f - 0.04f) << c.name << " body " << i;
                ASSERT_LE(row[i], start[i] + 0.01f) << c.name << " body " << i;
            }
        }
        for (size_t i = 0; i < c.bodies; ++i) {
            EXPECT_NEAR(report.bodies[i].position.y, std::floor(start[i]) + 0.5f, 0.02f) << c.name << i;
        }
        EXPECT_LT(report.penetration, 0.03f) << c.name;
        for (size_t i = 0; i < c.bodies; ++i) {
            EXPECT_TRUE(report.bodies[i].asleep) << c.name << " body " << i;
            EXPECT_GE(report.bodies[i].sleptAt, 1) << c.name;
            EXPECT_LE(report.bodies[i].sleptAt, c.sleepBy) << c.name << " body " << i;
        }
    }
}

TEST_F(PipelineStep, ATwentyBoxStackSplitByASmallBlockStaysStanding)
{
    PipelineScene scene(24);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    for (int i = 0; i < 20; ++i) {
        scene.AddBox(kCube, 1.0f, {0, 0.5f + 1.02f * static_cast<float>(i), 0});
    }
    OlpPipelineSetIslandBlockRows(scene.pipeline, 12);
    uint32_t mostIslands = 0;
    for (int n = 0; n < 240; ++n) {
        scene.Step();
        mostIslands = std::max(mostIslands, scene.pipeline->islands.count);
        for (size_t i = 0; i < scene.bodies.size(); ++i) {
            V3d p = scene.Position(scene.bodies[i].get());
            float rest = 0.5f + static_cast<float>(i);
            // Each contact may sink a little more than a whole block's. The
            // cut contacts keep correcting a few millimetres a step for about
            // a hundred steps before the boxes rest, and the top sways by
            // as much as 2 cm meanwhile.
            ASSERT_GE(p.y, rest - 0.02f * static_cast<float>(i + 1)) << n << " box " << i;
            ASSERT_NEAR(p.x, 0.0f, 0.03f) << n << " box " << i;
            ASSERT_NEAR(p.z, 0.0f, 0.03f) << n << " box " << i;
        }
    }
    EXPECT_GT(mostIslands, 4u);
    for (const auto& body : scene.bodies) {
        EXPECT_TRUE(scene.Asleep(body.get()));
    }
}

TEST_F(PipelineStep, APyramidEndsInItsPinnedState)
{
    // Any change to the arithmetic of a step shows here; both kernels agree.
    for (int32_t mode : {1, 2}) {
        // Every working-memory group shared, none, or every other one.
        for (uint32_t layout : {0xFFFFFFFFu, 0u, 0x55u}) {
            ScenarioOptions options;
            options.mode = mode;
            options.layout = layout;
            options.steps = 120;
            EXPECT_EQ(RunScenario("pyramid", options).hash, 0x44d837b0dfd06d4bull) << mode << " " << layout;
        }
    }
}

TEST_F(PipelineStep, SharedGroupsOverlapByPhase)
{
    auto sizes = [](uint32_t layout) {
        PipelineScene scene(
            64,
            [](OlpContextParams* params, void* data) {
                OlpContextParamsSetLayoutFlags(params, *static_cast<uint32_t*>(data));
            },
            &layout);
        EXPECT_NE(scene.pipeline, nullptr);
        return std::pair<size_t, size_t>{scene.pipeline->ownSize, scene.pipeline->sharedSize};
    };
    auto [ownAll, sharedAll] = sizes(0xFFFFFFFFu);
    auto [ownNone, sharedNone] = sizes(0u);
    auto [ownSolver, sharedSolver] = sizes(1u << 4);
    EXPECT_EQ(sharedNone, 0u);
    EXPECT_GT(sharedAll, 0u);
    // The phases share their memory: together less than all kept apart.
    EXPECT_LT(ownAll + sharedAll, ownNone);
    // One group moved: its bytes go from the own block to the shared one.
    EXPECT_EQ(ownSolver + sharedSolver, ownNone);
    EXPECT_LE(sharedSolver, sharedAll);
}

TEST_F(PipelineStep, AFastSphereDoesNotPassAThinSlab)
{
    ScenarioReport report = RunScenario("fast-sphere", {});
    ASSERT_EQ(report.bodies.size(), 1u);
    for (const auto& row : report.heights) {
        ASSERT_GT(row[0], 0.0f);
    }
}

TEST_F(PipelineStep, ABoxMovingUnderHalfItsWidthAStepStopsOnAThinSlabWithoutContinuousCollision)
{
    // A 1 m box falling onto a 2 cm slab at up to 28 m/s moves up to 0.47 m
    // a step, under half its width, so it is not taken for continuous
    // collision: the overlap of the step where it lands keeps its centre
    // above the slab, and the contacts push it back out. Each speed is tried
    // from several gaps, so that the landing step's overlap runs from
    // shallow to nearly half the box.
    for (float speed : {15.0f, 28.0f}) {
        for (float gap : {0.05f, 0.2f, 0.4f}) {
            SCOPED_TRACE(testing::Message() << speed << " m/s from " << gap << " m");
            PipelineScene scene(2);
            scene.AddStaticBox({2.0f, 0.01f, 2.0f}, {0, 0, 0});
            SceneBody* box = scene.AddBox(kCube, 1.0f, {0, 0.51f + gap, 0});
            scene.SetVelocity(box, {0, -speed, 0});
            float lowest = 1e30f;
            for (int n = 0; n < 120; ++n) {
                scene.Step();
                lowest = std::min(lowest, scene.Position(box).y);
            }
            EXPECT_GT(lowest, 0.01f) << "the centre never passes the slab's top";
            EXPECT_NEAR(scene.Position(box).y, 0.51f, 0.02f) << "and the box comes to rest on it";
        }
    }
}

TEST_F(PipelineStep, ABoxAt200MetresASecondLandsOnAThinSlabAndReboundsOnlyByItsBounce)
{
    // At 200 m/s a 1 m box travels 3.3 m a step: continuous collision stops
    // it on the 2 cm slab, placed in the slab by its impact search (a sixth
    // of the thicknesses short of touching, by design), and the next step's
    // contact pushes it out without adding speed. What it keeps upwards is
    // its bounce times the impact speed: nothing for bounce 0, 40 m/s for
    // the default 0.2.
    for (float bounce : {0.0f, kOlpDefaultBounce}) {
        for (float gap : {0.05f, 1.0f, 2.3f}) {
            SCOPED_TRACE(testing::Message() << "bounce " << bounce << " from " << gap << " m");
            PipelineScene scene(2);
            scene.AddStaticBox({2.0f, 0.01f, 2.0f}, {0, 0, 0});
            SceneBody* box = scene.AddBox(kCube, 1.0f, {0, 0.51f + gap, 0});
            scene.SetCoefficients(box, 0.5f, bounce);
            scene.SetVelocity(box, {0, -200.0f, 0});
            const OlpDyn* dyn = box->body->base.parts[0].dyn;
            float lowest = 1e30f, fastestUp = 0.0f;
            for (int n = 0; n < 30; ++n) {
                scene.Step();
                lowest = std::min(lowest, scene.Position(box).y);
                fastestUp = std::max(fastestUp, OlpDynGetVelocity(dyn)->linear.y);
            }
            EXPECT_GT(lowest, 0.01f) << "the centre never passes the slab's top";
            if (bounce == 0.0f) {
                EXPECT_LT(fastestUp, 0.5f) << "it never leaves the slab";
                EXPECT_NEAR(scene.Position(box).y, 0.51f, 0.02f) << "it rests on the slab";
            } else {
                EXPECT_NEAR(fastestUp, bounce * 200.0f, 0.05f * bounce * 200.0f)
                    << "it rebounds by its bounce";
            }
        }
    }
}

TEST(PipelineContinuous, ObjectsTakeSlotsUpToTheCapacity)
{
    // Capacity 40: three objects of 11 parts take slots 1, 12 and 23; the
    // fourth would need 34 to 44 and is not taken, a 7-part one still fits.
    OlpPipelineContinuous cc{};
    cc.slotCount = 1;
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 11, 40), 1u);
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 11, 40), 12u);
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 11, 40), 23u);
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 11, 40), 0u);
    EXPECT_EQ(cc.slotCount, 34u);
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 7, 40), 34u);
    EXPECT_EQ(OlpPipelineContinuousSlot(&cc, 1, 40), 0u);
}

TEST_F(PipelineStep, AJointToAStaticVolumeHoldsItsAnchor)
{
    PipelineScene scene(2);
    OlpVolume* hook = scene.AddStaticBox({0.05f, 0.05f, 0.05f}, {0, 3.0f, 0});
    SceneBody* bob = scene.AddSphere(0.1f, 1.0f, {0.5f, 3.0f - 0.866f, 0});
    ASSERT_NE(scene.AddAnchor(bob, hook, {0, 3.0f, 0}), nullptr);
    for (int n = 0; n < 300; ++n) {
        scene.Step();
        V3d p = scene.Position(bob);
        float length = std::sqrt(p.x * p.x + (p.y - 3.0f) * (p.y - 3.0f) + p.z * p.z);
        ASSERT_NEAR(length, 1.0f, 0.01f) << n;
    }
}

TEST_F(PipelineStep, RunsAreDeterministicAcrossLayoutsAndKernels)
{
    for (int32_t mode : {1, 2}) {
        ScenarioOptions options;
        options.mode = mode;
        uint64_t first = RunScenario("stack3", options).hash;
        EXPECT_EQ(RunScenario("stack3", options).hash, first);
        options.layout = 0;
        EXPECT_EQ(RunScenario("stack3", options).hash, first);
    }
}

struct Counter
{
    static inline int calls = 0;
    static inline MemoryAllocateFunc next = nullptr;
    static void* Allocate(size_t size, uint32_t hint)
    {
        ++calls;
        return next(size, hint);
    }
};

TEST_F(PipelineStep, AStepAllocatesNothing)
{
    PipelineScene scene(8);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    for (int i = 0; i < 4; ++i) {
        scene.AddBox(kCube, 1.0f, {0, 0.5f + 1.1f * static_cast<float>(i), 0});
    }
    SceneBody* ball = scene.AddSphere(0.05f, 1.0f, {3.0f, 3.0f, 0});
    scene.SetVelocity(ball, {0, -100.0f, 0});
    MemoryFunctions& memory = EngineGetInstance()->memoryFunctions;
    Counter::next = memory.allocate;
    memory.allocate = Counter::Allocate;
    Counter::calls = 0;
    uint32_t contacts = 0;
    for (int n = 0; n < 120; ++n) {
        scene.Step();
        contacts = std::max(contacts, scene.pipeline->contactCount);
    }
    memory.allocate = Counter::next;
    EXPECT_EQ(Counter::calls, 0);
    EXPECT_GE(contacts, 4u);
}

} // namespace

namespace {

void SmallLists(OlpContextParams* params, void*)
{
    params->words[kOlpParamPairs] = 7;
    params->words[kOlpParamContacts] = 5;
}

TEST_F(PipelineStep, FullListsCutTheWorkAndNeverOverrun)
{
    PipelineScene scene(12, SmallLists);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    // A row of touching boxes: 11 neighbour pairs and 12 ground contacts.
    for (int i = 0; i < 12; ++i) {
        scene.AddBox(kCube, 1.0f, {0.99f * static_cast<float>(i), 0.5f, 0});
    }
    for (int n = 0; n < 60; ++n) {
        OlpPipelineFarfieldStage(scene.pipeline);
        EXPECT_LE(scene.pipeline->pairCount, 7u);
        OlpPipelinePairStage(scene.pipeline);
        OlpPipelinePartitionStage(scene.pipeline);
        OlpPipelineExtraStage(scene.pipeline);
        EXPECT_LE(scene.pipeline->contactCount, 5u);
        OlpPipelineSolveStages(scene.pipeline, scene.step);
    }
    EXPECT_EQ(scene.pipeline->contactCount, 5u);
}

} // namespace
