// The manager's step: activation over overlaps and joints, pair lists, pools.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/activation.h"
#include "physics/core/manager/tests/managertesting.h"
#include "physics/core/object/object.h"

namespace {

// Started: dynamics states take quaternions of their poses.
class ManagerStep : public StartedEngineTest
{
  protected:
    void Start(uint32_t count, uint32_t maxActive)
    {
        mgr = MakeManager(16, maxActive);
        ASSERT_NE(mgr, nullptr);
        objects.resize(count);
    }
    void TearDown() override
    {
        for (TestObject& object : objects) {
            OlpMgrRemoveObject(mgr, &object.base);
            OlpObjDeinit(&object.base);
        }
        OlpMgrDestroy(mgr);
        StartedEngineTest::TearDown();
    }
    OlpObj* Obj(size_t i) { return &objects[i].base; }
    void Add(size_t i, uint32_t flags, V3d at, uint32_t addFlags)
    {
        MakeTestObject(objects[i], flags, at);
        ASSERT_EQ(OlpMgrAddObject(mgr, Obj(i), kOlpMgrAnyId, addFlags), mgr);
    }
    OlpMgrStepLists Step()
    {
        OlpMgrStepLists lists = {outObjects, 16, 0, outPairs, 32, 0, outJoints, 8, 0};
        OlpMgrUpdateFarfield(mgr, &lists);
        return lists;
    }
    /// The unordered pairs of the list, as object index pairs; fails on a duplicate.
    std::set<std::pair<size_t, size_t>> Pairs(const OlpPair* pairs, uint32_t count)
    {
        std::set<std::pair<size_t, size_t>> result;
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_EQ(pairs[i].selectorA, kOlpPairWholeObject);
            EXPECT_EQ(pairs[i].selectorB, kOlpPairWholeObject);
            EXPECT_EQ(pairs[i].data, 0u);
            size_t a = IndexOf(pairs[i].a), b = IndexOf(pairs[i].b);
            EXPECT_TRUE(result.insert({std::min(a, b), std::max(a, b)}).second) << "duplicate " << a << b;
        }
        return result;
    }
    size_t IndexOf(const void* object)
    {
        for (size_t i = 0; i < objects.size(); ++i) {
            if (Obj(i) == object) {
                return i;
            }
        }
        ADD_FAILURE() << "not a test object";
        return 99;
    }

    OlpMgr* mgr = nullptr;
    std::vector<TestObject> objects;
    OlpObj* outObjects[16];
    OlpPair outPairs[32];
    OlpJoint* outJoints[8];
};

using PairSet = std::set<std::pair<size_t, size_t>>;

} // namespace

TEST_F(ManagerStep, AnAwakeBodyActivatesWhatItTouchesButNeverTheWorld)
{
    Start(3, 8);
    // 0: the static world under everything; 1: sleeping A; 2: awake B on A.
    MakeTestObject(objects[0], 0);
    objects[0].box = {{10, 0.6f, 10}, 0, {-10, -1, -10}, 0};
    ASSERT_EQ(OlpMgrAddObject(mgr, Obj(0), kOlpMgrAnyId, 0), mgr);
    Add(1, kOlpObjFlagsBody, {0, 1, 0}, kOlpMgrAddDynamic);
    Add(2, kOlpObjFlagsBody, {0.5f, 2, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);

    OlpMgrStepLists lists = Step();
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, Obj(1)));
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, Obj(2)));
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, Obj(0)));
    EXPECT_EQ(objects[0].activations, 0);
    ASSERT_EQ(lists.objectCount, 2u);
    EXPECT_EQ(lists.objects[0], Obj(2)); // the seed first
    EXPECT_EQ(lists.objects[1], Obj(1));
    EXPECT_EQ(Pairs(lists.pairs, lists.pairCount), (PairSet{{0, 1}, {1, 2}}));
    EXPECT_EQ(mgr->activeCount, 2u);

    // Asked for every class, the collection lists each pair once too.
    OlpPair collected[8];
    OlpObj* both[] = {Obj(1), Obj(2)};
    uint32_t count = OlpMgrCollectPairs(mgr, both, 2, collected, 8, kOlpPairClassAll);
    EXPECT_EQ(Pairs(collected, count), (PairSet{{0, 1}, {1, 2}}));
    // Only partners that are neither dynamic nor awake: the world.
    count = OlpMgrCollectPairs(mgr, both, 2, collected, 8, kOlpPairClassOther);
    EXPECT_EQ(Pairs(collected, count), (PairSet{{0, 1}}));
    count = OlpMgrCollectPairs(mgr, both, 2, collected, 8, kOlpPairClassDynamicAwake);
    EXPECT_EQ(Pairs(collected, count), (PairSet{{1, 2}}));
    EXPECT_EQ(OlpMgrCollectPairs(mgr, both, 2, collected, 0, kOlpPairClassAll), 0u);
    EXPECT_EQ(OlpMgrCollectPairs(mgr, both, 2, collected, 1, kOlpPairClassAll), 1u);
}

TEST_F(ManagerStep, WithOneActiveSlotThePairWithTheInactiveBodyStays)
{
    Start(2, 1);
    Add(0, kOlpObjFlagsBody, {0, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    Add(1, kOlpObjFlagsBody, {0.9f, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    OlpMgrStepLists lists = Step();
    EXPECT_EQ(mgr->activeCount, 1u);
    EXPECT_EQ(lists.objectCount, 1u);
    EXPECT_EQ(Pairs(lists.pairs, lists.pairCount), (PairSet{{0, 1}}));
}

TEST_F(ManagerStep, UnreachedObjectsSleepOnlyWhenTheirFlagsAllowIt)
{
    Start(3, 8);
    Add(0, kOlpObjFlagsBody, {0, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddActivate); // flags 11
    Add(1, 9, {5, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddActivate);
    Add(2, kOlpObjFlagsBody, {-5, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    ASSERT_EQ(mgr->activeCount, 2u);
    OlpMgrStepLists lists = Step();
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, Obj(0)));
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, Obj(1)));
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, Obj(2)));
    EXPECT_EQ(objects[0].deactivations, 1);
    EXPECT_EQ(mgr->activeCount, 2u);
    // Only what was reached is listed.
    ASSERT_EQ(lists.objectCount, 1u);
    EXPECT_EQ(lists.objects[0], Obj(2));
    EXPECT_EQ(lists.pairCount, 0u);
}

TEST_F(ManagerStep, ExclusionGroupsKeepPairsApart)
{
    Start(2, 8);
    Add(0, kOlpObjFlagsBody, {0, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    Add(1, kOlpObjFlagsBody, {0.5f, 0, 0}, kOlpMgrAddDynamic);
    OlpBitMatrix* matrix = OlpBitMatrixCreate(4, 4);
    OlpBitMatrixSetBit(matrix, 1 + 2 * 4, true);
    OlpMgrSetFarfieldMode(mgr, matrix);
    OlpMgrSetObjectCell(mgr, Obj(0), 1);
    OlpMgrSetObjectCell(mgr, Obj(1), 2);
    EXPECT_EQ(OlpMgrGetObjectCell(mgr, Obj(1)), 2u);
    EXPECT_EQ(Step().pairCount, 0u);
    OlpMgrSetObjectCell(mgr, Obj(1), 3);
    EXPECT_EQ(Step().pairCount, 1u);
    OlpMgrSetFarfieldMode(mgr, nullptr);
    OlpBitMatrixDestroy(matrix);
}

TEST_F(ManagerStep, JointsCarryActivationAndAreListedOnce)
{
    Start(4, 8);
    // Far apart: only the joints connect them.
    Add(0, kOlpObjFlagsBody, {-20, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    Add(1, kOlpObjFlagsBody, {20, 0, 0}, kOlpMgrAddDynamic);
    Add(2, kOlpObjFlagsBody, {40, 0, 0}, kOlpMgrAddDynamic | kOlpMgrAddAwake);
    Add(3, kOlpObjFlagsBody, {60, 0, 0}, 0); // not dynamic
    OlpVolume ground;
    OlpJoint* chain = OlpMgrTakeJoint(mgr);
    OlpJoint* anchor = OlpMgrTakeJoint(mgr);
    OlpJoint* toStatic = OlpMgrTakeJoint(mgr);
    ASSERT_NE(toStatic, nullptr);
    chain->ends[0] = {Obj(0), 0};
    chain->ends[1] = {Obj(1), 0};
    anchor->ends[0] = {&ground, kOlpJointEndVolume};
    anchor->ends[1] = {Obj(1), 0};
    toStatic->ends[0] = {Obj(2), 0};
    toStatic->ends[1] = {Obj(3), 0};
    const uint32_t freeLinks = [this] {
        uint32_t n = 0;
        for (OlpMgrJointLink* l = mgr->freeLinks; l != nullptr; l = l->next) {
            ++n;
        }
        return n;
    }();
    ASSERT_EQ(OlpMgrAddJoint(mgr, chain, kOlpMgrAnyId), mgr);
    ASSERT_EQ(OlpMgrAddJoint(mgr, anchor, kOlpMgrAnyId), mgr);
    ASSERT_EQ(OlpMgrAddJoint(mgr, toStatic, 3), mgr);
    EXPECT_EQ(chain->id, 0u);
    EXPECT_EQ(anchor->id, 1u);
    EXPECT_EQ(toStatic->id, 3u);
    EXPECT_TRUE(OlpMgrIsFreeJointId(mgr, 3));
    EXPECT_FALSE(OlpMgrIsFreeJointId(mgr, 2));
    uint32_t left = 0;
    for (OlpMgrJointLink* l = mgr->freeLinks; l != nullptr; l = l->next) {
        ++left;
    }
    EXPECT_EQ(freeLinks - left, 5u); // the static end takes no node

    OlpMgrStepLists lists = Step();
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, Obj(1)));  // through the joint
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, Obj(3))); // not dynamic
    std::vector<OlpJoint*> joints(lists.joints, lists.joints + lists.jointCount);
    std::sort(joints.begin(), joints.end());
    std::vector<OlpJoint*> expected = {chain, anchor, toStatic};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(joints, expected);

    // Removing an object gives back its link nodes; the joint stays entered.
    OlpMgrRemoveObject(mgr, Obj(1));
    EXPECT_EQ(mgr->jointLists[1], nullptr);
    EXPECT_EQ(OlpMgrRemoveJoint(mgr, chain), 1);
    EXPECT_EQ(OlpMgrRemoveJoint(mgr, chain), 0);
    EXPECT_EQ(chain->id, kOlpJointNoId);
    EXPECT_EQ(OlpMgrRemoveJoint(mgr, anchor), 1);
    EXPECT_EQ(OlpMgrRemoveJoint(mgr, toStatic), 1);
    left = 0;
    for (OlpMgrJointLink* l = mgr->freeLinks; l != nullptr; l = l->next) {
        ++left;
    }
    EXPECT_EQ(left, freeLinks);
    for (OlpJoint* joint : {chain, anchor, toStatic}) {
        OlpMgrGiveJoint(mgr, joint);
    }
}

TEST_F(ManagerStep, JointIdsAndLinkNodesAreCheckedBeforeAnythingIsKept)
{
    Start(2, 8);
    Add(0, kOlpObjFlagsBody, {0, 0, 0}, kOlpMgrAddDynamic);
    Add(1, kOlpObjFlagsBody, {5, 0, 0}, kOlpMgrAddDynamic);
    OlpJoint* joint = OlpMgrTakeJoint(mgr);
    ASSERT_NE(joint, nullptr);
    EXPECT_EQ(joint->manager, mgr);
    EXPECT_EQ(joint->id, kOlpJointNoId);
    joint->ends[0] = {Obj(0), 0};
    joint->ends[1] = {Obj(1), 0};
    EXPECT_EQ(OlpMgrAddJoint(mgr, joint, 4), nullptr); // beyond the 4 free joints
    // Leave a single free link node: two object ends cannot both be linked.
    OlpMgrJointLink* saved = mgr->freeLinks;
    OlpMgrJointLink* last = saved;
    while (last->next != nullptr) {
        last = last->next;
    }
    mgr->freeLinks = last;
    EXPECT_EQ(OlpMgrAddJoint(mgr, joint, kOlpMgrAnyId), nullptr);
    EXPECT_EQ(mgr->freeLinks, last); // the node taken was given back
    EXPECT_EQ(last->next, nullptr);
    EXPECT_EQ(mgr->jointLists[0], nullptr);
    EXPECT_FALSE(OlpMgrIsFreeJointId(mgr, 0));
    mgr->freeLinks = saved;
    // An end whose object is not registered here is refused.
    TestObject stranger;
    MakeTestObject(stranger, kOlpObjFlagsBody);
    joint->ends[1] = {&stranger.base, 0};
    EXPECT_EQ(OlpMgrAddJoint(mgr, joint, kOlpMgrAnyId), nullptr);
    OlpObjDeinit(&stranger.base);
    joint->ends[1] = {Obj(1), 0};
    ASSERT_EQ(OlpMgrAddJoint(mgr, joint, 2), mgr);
    OlpJoint* second = OlpMgrTakeJoint(mgr);
    second->ends[0] = {Obj(0), 0};
    second->ends[1] = {Obj(1), 0};
    EXPECT_EQ(OlpMgrAddJoint(mgr, second, 2), nullptr); // taken

    std::vector<OlpJoint*> seen;
    OlpMgrForAllJoints(
        mgr,
        [](OlpJoint* j, void* data) -> OlpJoint* {
            static_cast<std::vector<OlpJoint*>*>(data)->push_back(j);
            return j;
        },
        &seen);
    EXPECT_EQ(seen, std::vector<OlpJoint*>{joint});
    OlpMgrRemoveJoint(mgr, joint);
    OlpMgrGiveJoint(mgr, joint);
    OlpMgrGiveJoint(mgr, second);
    EXPECT_EQ(OlpMgrGetFreeJoints(mgr), 4u);
}

TEST_F(ManagerStep, PartPosesFollowTheSourceOnlyWhileActive)
{
    Start(1, 1);
    static Matrix source;
    source = {{1, 0, 0}, 0, {0, 1, 0}, 0, {0, 0, 1}, 0, {1, 2, 3}, 0};
    // A type whose activate takes a dynamics state for part 0.
    static OlpObjType dynType = gTestType;
    dynType.activate = [](OlpObj* object) -> int32_t {
        object->parts[0].dyn = OlpDynTake(object->manager, nullptr, object->parts[0].sourceMatrix);
        return object->parts[0].dyn != nullptr ? 1 : 0;
    };
    dynType.deactivate = [](OlpObj* object) -> int32_t {
        OlpDynRelease(object->parts[0].dyn);
        object->parts[0].dyn = nullptr;
        return 1;
    };
    MakeTestObject(objects[0], kOlpObjFlagsBody);
    OlpObj* object = Obj(0);
    object->type = &dynType;
    object->partCount = 1;
    object->parts[0].sourceMatrix = &source;
    OlpObjResetPartPose(object, 0); // unregistered: nothing
    ASSERT_EQ(OlpMgrAddObject(mgr, object, kOlpMgrAnyId, kOlpMgrAddDynamic | kOlpMgrAddActivate), mgr);
    ASSERT_NE(object->parts[0].dyn, nullptr);
    EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), 0u);
    EXPECT_FLOAT_EQ(OlpDynGetPose(object->parts[0].dyn)->pos.z, 3.0f);
    source.pos = {7, 8, 9};
    OlpObjResetPartPose(object, 0);
    EXPECT_FLOAT_EQ(OlpDynGetPose(object->parts[0].dyn)->pos.x, 7.0f);
    OlpObjResetPartPose(object, 5); // no such part
    // Without a source matrix the state keeps its pose.
    object->parts[0].sourceMatrix = nullptr;
    OlpObjResetPartPose(object, 0);
    EXPECT_FLOAT_EQ(OlpDynGetPose(object->parts[0].dyn)->pos.x, 7.0f);
    OlpMgrDeactivateObject(mgr, object);
    EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), 1u);
}
