// Ragdolls: definitions, the bone mapping, all-or-nothing activation, the
// write back with and without the graphics frame, and the reservation.
#include <gtest/gtest.h>

#include "graphics/core/frame.h"
#include "graphics/core/tests/mathstesting.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/ragdoll/ragdoll.h"
#include "physics/core/volume/capsule.h"

namespace {

const float kBox[6] = {100, 100, 100, -100, -100, -100};

/// A chain of 11 parts, part i keyed 100 + i, joint j between parts j and j + 1.
OlpRagdollDef* ChainDef()
{
    OlpRagdollDef* def = OlpRagdollDefCreate();
    OlpRagdollDefSetPartCount(def, 11);
    OlpRagdollDefSetJointCount(def, 10);
    for (uint32_t i = 0; i < 11; ++i) {
        def->boneKeys[i] = 100 + i;
        OlpCapsuleSetRadius(&def->volumes[i], 0.1f);
        OlpCapsuleSetHalfHeight(&def->volumes[i], 0.2f);
    }
    for (uint32_t j = 0; j < 10; ++j) {
        OlpRagdollSetJointIndex(def, j, 1, j);
        OlpRagdollSetJointIndex(def, j, 0, j + 1);
    }
    return def;
}

class RagdollTest : public StartedEngineTest
{
  protected:
    /// A context reserving `count` ragdolls, less `missingStates` dynamics
    /// states and `missingJoints` joint records than they need.
    void Start(uint32_t count, uint32_t missingStates = 0, uint32_t missingJoints = 0)
    {
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        OlpRagdollParamsReserve(&params, count, count);
        params.words[kOlpParamActiveParts] -= missingStates;
        params.words[kOlpParamJoints] -= missingJoints;
        context = OlpContextCreate(&params, 1.0f, kBox);
        ASSERT_NE(context, nullptr);
        mgr = OlpContextGetMgr(context);
    }
    void TearDown() override
    {
        if (context != nullptr) {
            OlpContextDestroy(context);
        }
        gOlpRagdollType.maxActive = kOlpObjTypeUnlimited;
        gOlpRagdollType.activeCount = 0;
        gOlpRagdollType.writeBack = OlpArtObjWriteBack;
        StartedEngineTest::TearDown();
    }

    OlpContext* context = nullptr;
    OlpMgr* mgr = nullptr;
};

std::vector<Matrix> Bones(uint32_t n)
{
    std::vector<Matrix> bones(n);
    for (uint32_t i = 0; i < n; ++i) {
        bones[i] = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0.5f * float(i), 0}, 0};
    }
    return bones;
}

} // namespace

TEST_F(RagdollTest, ANewDefinitionHoldsElevenCapsulesAndTenDefaultJoints)
{
    OlpRagdollDef* def = OlpRagdollDefCreate();
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->refCount, 1u);
    EXPECT_EQ(def->partCapacity, 11);
    EXPECT_EQ(def->jointCapacity, 10);
    EXPECT_EQ(def->partCount, 0);
    EXPECT_EQ(def->jointCount, 0);
    EXPECT_EQ(def->mappingCount, 0u);
    EXPECT_EQ(def->claimed, nullptr);
    ASSERT_NE(def->partPairs, nullptr);
    EXPECT_EQ(def->partPairs->rows, 11u);
    for (uint32_t w = 0; w < def->partPairs->wordCount; ++w) {
        EXPECT_EQ(def->partPairs->words[w], 0u);
    }
    for (uint32_t i = 0; i < 11; ++i) {
        EXPECT_EQ(def->volumes[i].descriptor, &kOlpCapsuleDescriptor);
        EXPECT_EQ(def->volumes[i].margin, 1.0f);
        EXPECT_EQ(OlpCapsuleGetHalfHeight(&def->volumes[i]), 1.0f);
        EXPECT_EQ(def->parts[i].volume, &def->volumes[i]);
    }
    for (uint32_t j = 0; j < 10; ++j) {
        EXPECT_EQ(def->joints[j].flags, kOlpJointDefDefaultFlags);
    }
    EXPECT_EQ(OlpRagdollDefSetPartCount(def, 12), nullptr);
    EXPECT_EQ(OlpRagdollSetJointIndex(def, 10, 1, 0), nullptr);
    EXPECT_EQ(OlpRagdollSetJointIndex(def, 0, 1, 11), nullptr);
    OlpRagdollDefRelease(def);
}

TEST_F(RagdollTest, TheMappingTakesTheFirstMatchAndGivesUnmatchedPartsNoBone)
{
    OlpRagdollDef* def = ChainDef();
    def->boneKeys[3] = def->boneKeys[2]; // two parts with one key
    def->boneKeys[10] = 999;             // a key no entry has
    std::vector<uint32_t> keys(12), values(12);
    for (uint32_t j = 0; j < 12; ++j) {
        keys[j] = 100 + j;
        values[j] = 7;
    }
    keys[5] = keys[2]; // a later entry with the same key is never taken
    ASSERT_NE(OlpRagdollDefSetMapping(def, keys.data(), values.data(), 12), nullptr);
    EXPECT_EQ(def->boneIndex[2], 2u);
    EXPECT_EQ(def->boneIndex[3], 2u);
    EXPECT_EQ(def->boneIndex[10], kOlpArtNoBone);
    EXPECT_EQ(def->claimed[2], kOlpArtClaimed);
    EXPECT_EQ(def->claimed[3], 7u) << "no part holds key 103 any more";
    EXPECT_EQ(def->claimed[5], 7u);

    OlpRagdoll* ragdoll = OlpRagdollCreate(def);
    EXPECT_EQ(ragdoll->base.flags, 0x1000Bu) << "12 bones for 11 parts";
    std::vector<Matrix> bones = Bones(12);
    OlpRagdollSetMatrixArray(ragdoll, bones.data());
    EXPECT_EQ(ragdoll->base.parts[2].sourceMatrix, &bones[2]);
    EXPECT_EQ(ragdoll->base.parts[3].sourceMatrix, &bones[2]);
    EXPECT_EQ(ragdoll->base.parts[10].sourceMatrix, nullptr) << "never one past the array";
    OlpRagdollDestroy(ragdoll);
    OlpRagdollDefRelease(def);
}

TEST_F(RagdollTest, ActivationIsAllOrNothingAndDeactivationGivesEverythingBack)
{
    struct Case
    {
        const char* name;
        uint32_t missingStates, missingJoints;
        bool activates;
    };
    const Case cases[] = {
        {"room for all", 0, 0, true}, {"one state short", 1, 0, false}, {"one joint short", 0, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Start(1, c.missingStates, c.missingJoints);
        OlpRagdollDef* def = ChainDef();
        OlpRagdoll* ragdoll = OlpRagdollCreate(def);
        OlpRagdollDefRelease(def);
        ASSERT_EQ(OlpMgrAddObject(mgr, &ragdoll->base, kOlpMgrAnyId, kOlpMgrAddDynamic), mgr);
        const uint32_t states = OlpMgrGetFreeDynStates(mgr);
        const uint32_t joints = OlpMgrGetFreeJoints(mgr);
        EXPECT_EQ(OlpMgrActivateObject(mgr, &ragdoll->base) != nullptr, c.activates);
        if (c.activates) {
            EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), states - 11);
            EXPECT_EQ(OlpMgrGetFreeJoints(mgr), joints - 10);
            EXPECT_EQ(ragdoll->base.jointCount, 10);
            EXPECT_EQ(gOlpRagdollType.activeCount, 1u);
            OlpMgrDeactivateObject(mgr, &ragdoll->base);
        }
        EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), states);
        EXPECT_EQ(OlpMgrGetFreeJoints(mgr), joints);
        EXPECT_EQ(ragdoll->base.jointCount, 0);
        for (uint32_t i = 0; i < 11; ++i) {
            EXPECT_EQ(ragdoll->base.parts[i].dyn, nullptr);
        }
        EXPECT_EQ(gOlpRagdollType.activeCount, 0u);
        OlpRagdollDestroy(ragdoll);
        OlpContextDestroy(context);
        context = nullptr;
    }
}

TEST_F(RagdollTest, WriteBackDrivesTheBonesAndTheAttachedFrameFollowsPartZero)
{
    Start(1);
    OlpRagdollDef* def = ChainDef();
    def->parts[0].centre = {0.0f, 0.1f, 0.0f};
    std::vector<uint32_t> keys(13), values(13, 0);
    for (uint32_t j = 0; j < 13; ++j) {
        keys[j] = 100 + j;
    }
    OlpRagdollDefSetMapping(def, keys.data(), values.data(), 13);
    OlpRagdoll* ragdoll = OlpRagdollCreate(def);
    OlpRagdollDefRelease(def);
    std::vector<Matrix> bones = Bones(13);
    OlpRagdollSetMatrixArray(ragdoll, bones.data());
    Frame* frame = FrameCreate();
    const V3d at = {0, 0, 5};
    FrameTranslate(frame, &at, kCombineReplace);
    OlpRagdollSetFrame(ragdoll, frame);
    ASSERT_EQ(OlpMgrAddObject(mgr, &ragdoll->base, kOlpMgrAnyId, kOlpMgrAddDynamic), mgr);
    ASSERT_NE(OlpMgrActivateObject(mgr, &ragdoll->base), nullptr);
    // Bones 11 and 12 drive no part: they are kept relative to the frame.
    EXPECT_FLOAT_EQ(ragdoll->matrixBlock[12].pos.y, bones[12].pos.y);
    EXPECT_FLOAT_EQ(ragdoll->matrixBlock[12].pos.z, -5.0f);

    // Part 0's state moved up by 2: its bone follows, less the centre of mass.
    OlpDynGetPose(ragdoll->base.parts[0].dyn)->pos = {0.0f, 2.1f, 0.0f};
    ASSERT_EQ(gOlpRagdollType.writeBack(&ragdoll->base), 1);
    EXPECT_FLOAT_EQ(bones[0].pos.y, 2.0f);
    EXPECT_FLOAT_EQ(FrameGetLTM(frame)->pos.z, 5.0f) << "no attachment installed yet";
    ASSERT_EQ(OlpRagdollPluginAttach(), 1);
    EXPECT_TRUE(OlpRagdollPluginAttached());
    ASSERT_EQ(gOlpRagdollType.writeBack(&ragdoll->base), 1);
    EXPECT_FLOAT_EQ(FrameGetLTM(frame)->pos.y, 2.0f);
    EXPECT_FLOAT_EQ(FrameGetLTM(frame)->pos.z, 0.0f);
    OlpRagdollDestroy(ragdoll);
    FrameDestroy(frame);
}

TEST_F(RagdollTest, ReservationRaisesTheWordsAndSetsTheTypeLimit)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpRagdollParamsReserve(&params, 3, 2);
    const uint32_t expected[9] = {0xFFFFFFFF, 4, 3, 0, 2, 22, 20, 120, 150};
    for (int w = 0; w < 9; ++w) {
        EXPECT_EQ(params.words[w], expected[w]) << "word " << w;
    }
    EXPECT_EQ(gOlpRagdollType.maxActive, 2u);
}
