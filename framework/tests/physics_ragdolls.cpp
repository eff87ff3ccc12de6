// The ragdoll helpers: turning a ragdoll about its first part, moving it and
// setting its velocity, on the humanoid ragdoll of the physics scenes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>

#include "framework/physicshelpers.h"
#include "graphics/core/engine.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"

namespace {

constexpr float kHalfPi = 1.5707963f;

void ExpectNear(const V3d& actual, const V3d& expected, const char* what, uint32_t part)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-4f) << what << " of part " << part;
    EXPECT_NEAR(actual.y, expected.y, 1e-4f) << what << " of part " << part;
    EXPECT_NEAR(actual.z, expected.z, 1e-4f) << what << " of part " << part;
}

V3d Minus(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

/// The engine running (the helpers' matrix work needs it) and one humanoid
/// standing a little turned away from the origin, awake and active.
class Ragdolls : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(EngineTestInit() && EngineTestOpen() && EngineStart());
        scene_ = std::make_unique<RagdollScene>(1);
        ragdoll_ = scene_->AddRagdoll({1.0f, 0.0f, 2.0f}, 0.3f);
        ASSERT_NE(ragdoll_, nullptr);
        ASSERT_TRUE(OlpMgrIsObjectActive(Manager(), Object()));
    }
    void TearDown() override
    {
        scene_.reset();
        EngineTestShutdown();
    }
    OlpMgr* Manager() const { return OlpContextGetMgr(scene_->context); }
    OlpObj* Object() const { return &ragdoll_->base; }
    const Matrix& Bone(uint32_t part) const { return *Object()->parts[part].sourceMatrix; }
    const Matrix& Pose(uint32_t part) const { return *OlpDynGetPose(Object()->parts[part].dyn); }
    /// Takes the ragdoll out of the simulation, as the manager does when it sleeps.
    void PutToSleep() const
    {
        OlpMgrDeactivateObject(Manager(), Object());
        OlpMgrSetObjectAwake(Manager(), Object(), 0);
        ASSERT_FALSE(OlpMgrIsObjectActive(Manager(), Object()));
        ASSERT_FALSE(OlpMgrIsObjectAwake(Manager(), Object()));
    }

    std::unique_ptr<RagdollScene> scene_;
    OlpRagdoll* ragdoll_ = nullptr;
};

TEST_F(Ragdolls, TurnAboutTheFirstPartKeepsItAndSwingsTheOthers)
{
    std::array<Matrix, kOlpRagdollParts> before;
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
        before[i] = Bone(i);
    const V3d pivot = before[0].pos;
    OlpMgrSetObjectAwake(Manager(), Object(), 0);

    // A quarter turn about y (the axis need not be unit): x goes to -z, z to x.
    RagdollRotate(ragdoll_, 0.0f, 3.0f, 0.0f, kHalfPi);
    auto turned = [&](const V3d& v) { return V3d{v.z, v.y, -v.x}; };
    EXPECT_EQ(Bone(0).pos.x, pivot.x);
    EXPECT_EQ(Bone(0).pos.y, pivot.y);
    EXPECT_EQ(Bone(0).pos.z, pivot.z);
    OlpBBox box;
    ASSERT_NE(OlpMgrGetFarfieldBox(Manager(), Object(), &box), nullptr);
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
        const V3d offset = turned(Minus(before[i].pos, pivot));
        ExpectNear(Bone(i).pos, {pivot.x + offset.x, pivot.y + offset.y, pivot.z + offset.z}, "bone", i);
        ExpectNear(Bone(i).right, turned(before[i].right), "right axis", i);
        ExpectNear(Bone(i).at, turned(before[i].at), "at axis", i);
        ExpectNear(Pose(i).pos, Bone(i).pos, "simulated pose", i);
        ExpectNear(Pose(i).right, Bone(i).right, "simulated right axis", i);
        EXPECT_LE(box.min.x, Bone(i).pos.x) << "the far field follows part " << i;
        EXPECT_GE(box.max.x, Bone(i).pos.x) << "the far field follows part " << i;
        EXPECT_LE(box.min.z, Bone(i).pos.z) << "the far field follows part " << i;
        EXPECT_GE(box.max.z, Bone(i).pos.z) << "the far field follows part " << i;
    }
    EXPECT_TRUE(OlpMgrIsObjectAwake(Manager(), Object()));
    EXPECT_LT(scene_->LargestJointGap(), 1e-4f) << "the joints turned with the parts";

    // A zero axis turns nothing.
    const Matrix kept = Bone(3);
    RagdollRotate(ragdoll_, 0.0f, 0.0f, 0.0f, kHalfPi);
    EXPECT_EQ(Bone(3).pos.x, kept.pos.x);
    EXPECT_EQ(Bone(3).right.x, kept.right.x);
}

TEST_F(Ragdolls, SetPositionMovesEveryPartByOneOffsetAndWakesIt)
{
    std::array<V3d, kOlpRagdollParts> before;
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
        before[i] = Pose(i).pos;
    PutToSleep();

    const V3d target = {-4.0f, 6.0f, 0.5f};
    RagdollSetPosition(ragdoll_, target.x, target.y, target.z);
    ASSERT_TRUE(OlpMgrIsObjectActive(Manager(), Object()));
    EXPECT_TRUE(OlpMgrIsObjectAwake(Manager(), Object()));
    ExpectNear(Pose(0).pos, target, "simulated pose", 0);
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
        ExpectNear(Minus(Pose(i).pos, Pose(0).pos), Minus(before[i], before[0]), "place beside part 0", i);

    // The next step writes the moved pose back, joints still closed.
    scene_->Step();
    EXPECT_NEAR(Bone(0).pos.x, target.x, 0.05f);
    EXPECT_NEAR(Bone(0).pos.z, target.z, 0.05f);
    EXPECT_LT(scene_->LargestJointGap(), 0.02f);
}

TEST_F(Ragdolls, SetVelocityGivesEveryPartTheSpeedAlongTheDirection)
{
    struct Case
    {
        const char* name;
        bool asleep;
        V3d direction;
        float speed;
        V3d velocity;
    };
    const Case cases[] = {
        {"active", false, {3.0f, 0.0f, 4.0f}, 10.0f, {6.0f, 0.0f, 8.0f}},
        {"asleep", true, {0.0f, -0.5f, 0.0f}, 2.0f, {0.0f, -2.0f, 0.0f}},
        {"backwards", false, {1.0f, 1.0f, 0.0f}, -std::sqrt(2.0f), {-1.0f, -1.0f, 0.0f}},
    };
    const V3d spin = {0.0f, 0.25f, 0.0f};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asleep)
            PutToSleep();
        else
            for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
                OlpDynSetVelocity(Object()->parts[i].dyn, &OlpDynGetVelocity(Object()->parts[i].dyn)->linear,
                                  &spin);
        RagdollSetVelocity(ragdoll_, c.direction.x, c.direction.y, c.direction.z, c.speed);
        ASSERT_TRUE(OlpMgrIsObjectActive(Manager(), Object()));
        EXPECT_TRUE(OlpMgrIsObjectAwake(Manager(), Object()));
        for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
            const OlpDynMotion* motion = OlpDynGetVelocity(Object()->parts[i].dyn);
            ExpectNear(motion->linear, c.velocity, "velocity", i);
            ExpectNear(motion->angular, c.asleep ? V3d{0.0f, 0.0f, 0.0f} : spin, "spin", i);
        }
    }

    // No direction: nothing changes.
    RagdollSetVelocity(ragdoll_, 0.0f, 0.0f, 0.0f, 5.0f);
    ExpectNear(OlpDynGetVelocity(Object()->parts[4].dyn)->linear, {-1.0f, -1.0f, 0.0f}, "velocity", 4);
}

TEST_F(Ragdolls, TranslateMovesEveryPartAndTheSimulationWithIt)
{
    std::array<V3d, kOlpRagdollParts> before;
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
        before[i] = Bone(i).pos;
    OlpMgrSetObjectAwake(Manager(), Object(), 0);
    const V3d offset = {2.0f, 0.5f, -3.0f};
    RagdollTranslate(ragdoll_, offset.x, offset.y, offset.z);
    OlpBBox box;
    ASSERT_NE(OlpMgrGetFarfieldBox(Manager(), Object(), &box), nullptr);
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
        const V3d moved = {before[i].x + offset.x, before[i].y + offset.y, before[i].z + offset.z};
        ExpectNear(Bone(i).pos, moved, "bone", i);
        ExpectNear(Pose(i).pos, moved, "simulated pose", i);
        EXPECT_LE(box.min.z, moved.z) << "the far field follows part " << i;
        EXPECT_GE(box.max.z, moved.z) << "the far field follows part " << i;
    }
    EXPECT_TRUE(OlpMgrIsObjectAwake(Manager(), Object()));
    EXPECT_LT(scene_->LargestJointGap(), 1e-4f);
}

TEST_F(Ragdolls, DrivesReachEveryJointOfTheDefinition)
{
    RagdollSetDrives(ragdoll_, 200.0f, 0.1f);
    OlpRagdollDefForAllJoints(
        scene_->def,
        [](OlpJointDef* joint, void*) {
            for (int32_t i = 0; i < 3; ++i) {
                for (const OlpJointDrive* drive :
                     {OlpJointDefGetDriveB(joint, i), OlpJointBlockCGetDrive(&joint->blockC, i)}) {
                    EXPECT_EQ(drive->first, 200.0f);
                    EXPECT_EQ(drive->second, 0.1f);
                }
            }
            return 1;
        },
        nullptr);
    int32_t joints = 0;
    OlpRagdollDefForAllJoints(
        scene_->def,
        [](OlpJointDef*, void* count) {
            ++*static_cast<int32_t*>(count);
            return 1;
        },
        &joints);
    EXPECT_EQ(joints, int32_t(kOlpRagdollJoints));
    // The active ragdoll's joints use that definition: a step keeps them closed.
    scene_->Step();
    EXPECT_LT(scene_->LargestJointGap(), 0.02f);
}

TEST_F(Ragdolls, RagdollsOutsideAManagerOnlyTurn)
{
    OlpRagdoll* ragdoll = OlpRagdollCreate(scene_->def);
    ASSERT_NE(ragdoll, nullptr);
    std::array<Matrix, kOlpRagdollParts> bones;
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i)
        bones[i] = RagdollSceneRestPose(i);
    OlpRagdollSetMatrixArray(ragdoll, bones.data());
    const V3d head = bones[2].pos;

    RagdollSetPosition(ragdoll, 5.0f, 5.0f, 5.0f);
    RagdollSetVelocity(ragdoll, 1.0f, 0.0f, 0.0f, 5.0f);
    EXPECT_EQ(ragdoll->base.parts[0].dyn, nullptr);
    EXPECT_EQ(bones[2].pos.x, head.x);
    // Half a turn about x through part 0 mirrors the head below it.
    RagdollRotate(ragdoll, 1.0f, 0.0f, 0.0f, 2.0f * kHalfPi);
    EXPECT_NEAR(bones[2].pos.y, 2.0f * bones[0].pos.y - head.y, 1e-4f);
    OlpRagdollDestroy(ragdoll);
}

} // namespace
