// The object manager: ids, bit sets, activation and the far field.
#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <set>
#include <vector>

#include "physics/core/manager/tests/managertesting.h"
#include "physics/core/object/object.h"

namespace {

uint32_t ActiveBits(const OlpMgr* mgr)
{
    uint32_t count = 0;
    for (uint32_t w = 0; w < mgr->words; ++w) {
        count += static_cast<uint32_t>(std::popcount(mgr->active[w]));
    }
    return count;
}

class ManagerObjects : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        for (TestObject& object : objects) {
            OlpObjDeinit(&object.base);
        }
        OlpMgrDestroy(mgr);
        OlpMgrDestroy(other);
    }
    OlpMgr* mgr = nullptr;
    OlpMgr* other = nullptr;
    std::vector<TestObject> objects;
};

} // namespace

TEST_F(ManagerObjects, RandomAddsAndRemovesFollowAModel)
{
    constexpr uint32_t kIds = 40;
    constexpr uint32_t kMaxActive = 12;
    mgr = MakeManager(kIds, kMaxActive);
    ASSERT_NE(mgr, nullptr);
    objects.resize(60);
    for (size_t i = 0; i < objects.size(); ++i) {
        MakeTestObject(objects[i], kOlpObjFlagsBody, {float(i % 7), float(i % 5), 0});
    }
    std::set<uint32_t> used;
    std::mt19937 random(41);
    for (int step = 0; step < 3000; ++step) {
        TestObject& object = objects[random() % objects.size()];
        const bool registered = object.base.manager == mgr;
        switch (random() % 4) {
        case 0: { // add with any id: the lowest free one
            uint32_t expected = 0;
            while (used.count(expected) != 0) {
                ++expected;
            }
            OlpMgr* result = OlpMgrAddObject(mgr, &object.base, kOlpMgrAnyId, random() % 8);
            if (registered || expected >= kIds) {
                EXPECT_EQ(result, nullptr);
            } else {
                ASSERT_EQ(result, mgr);
                EXPECT_EQ(object.base.id, expected);
                used.insert(expected);
            }
            break;
        }
        case 1: { // add with an explicit id, sometimes taken or beyond the table
            const uint32_t id = random() % (kIds + 5);
            OlpMgr* result = OlpMgrAddObject(mgr, &object.base, id, kOlpMgrAddDynamic);
            if (registered || id >= kIds || used.count(id) != 0) {
                EXPECT_EQ(result, nullptr) << id;
                EXPECT_EQ(object.base.manager == mgr, registered);
            } else {
                ASSERT_EQ(result, mgr);
                EXPECT_EQ(object.base.id, id);
                used.insert(id);
            }
            break;
        }
        case 2: {
            const uint32_t id = object.base.id;
            EXPECT_EQ(OlpMgrRemoveObject(mgr, &object.base), registered ? 1 : 0);
            if (registered) {
                used.erase(id);
                EXPECT_FALSE(OlpMgrIsIdUsed(mgr, id));
                EXPECT_EQ(OlpMgrGetObject(mgr, id), nullptr);
            }
            EXPECT_EQ(object.base.id, kOlpObjNoId);
            EXPECT_EQ(object.base.manager, nullptr);
            break;
        }
        default:
            if (random() % 2 == 0) {
                OlpMgrActivateObject(mgr, &object.base);
            } else {
                OlpMgrDeactivateObject(mgr, &object.base);
            }
            break;
        }
        ASSERT_EQ(mgr->activeCount, ActiveBits(mgr)) << step;
        ASSERT_LE(mgr->activeCount, kMaxActive);
    }
    for (uint32_t id = 0; id < kIds; ++id) {
        EXPECT_EQ(OlpMgrIsIdUsed(mgr, id), used.count(id) != 0) << id;
    }
    // Every object's activations and deactivations pair up with its state.
    for (TestObject& object : objects) {
        const int active = OlpMgrIsObjectActive(mgr, &object.base) ? 1 : 0;
        EXPECT_EQ(object.activations - object.deactivations, active);
        OlpMgrRemoveObject(mgr, &object.base);
    }
    EXPECT_EQ(mgr->activeCount, 0u);
}

TEST_F(ManagerObjects, LowestFreeIdIsReusedAndBadIdsAreRefused)
{
    mgr = MakeManager(3, 3);
    other = MakeManager(3, 3);
    objects.resize(4);
    for (TestObject& object : objects) {
        MakeTestObject(object, kOlpObjFlagsBody);
    }
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[0].base, kOlpMgrAnyId, 0), mgr);
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[1].base, kOlpMgrAnyId, 0), mgr);
    EXPECT_EQ(OlpMgrAddObject(mgr, &objects[2].base, 1, 0), nullptr); // taken
    EXPECT_EQ(OlpMgrAddObject(mgr, &objects[2].base, 3, 0), nullptr); // beyond
    EXPECT_EQ(OlpMgrAddObject(mgr, &objects[2].base, 0xFFFF, 0), nullptr);
    EXPECT_EQ(objects[2].base.manager, nullptr);
    ASSERT_EQ(OlpMgrRemoveObject(mgr, &objects[0].base), 1);
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[2].base, kOlpMgrAnyId, 0), mgr);
    EXPECT_EQ(objects[2].base.id, 0u);
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[3].base, kOlpMgrAnyId, 0), mgr);
    EXPECT_EQ(OlpMgrAddObject(mgr, &objects[0].base, kOlpMgrAnyId, 0), nullptr); // full

    // An object of another manager is left alone.
    ASSERT_EQ(OlpMgrAddObject(other, &objects[0].base, kOlpMgrAnyId, kOlpMgrAddDynamic), other);
    EXPECT_EQ(OlpMgrRemoveObject(mgr, &objects[0].base), 0);
    EXPECT_EQ(objects[0].base.manager, other);
    EXPECT_EQ(OlpMgrGetObject(mgr, 0), &objects[2].base);
    EXPECT_EQ(OlpMgrAddObject(mgr, &objects[0].base, 2, 0), nullptr); // registered elsewhere
    OlpMgrRemoveObject(other, &objects[0].base);
    for (TestObject& object : objects) {
        OlpMgrRemoveObject(mgr, &object.base);
    }
}

TEST_F(ManagerObjects, FlagsOfAddAndTheBitSetters)
{
    mgr = MakeManager(4, 1);
    objects.resize(3);
    for (TestObject& object : objects) {
        MakeTestObject(object, kOlpObjFlagsBody);
    }
    objects[2].hasBox = false;
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[0].base, kOlpMgrAnyId,
                              kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate),
              mgr);
    EXPECT_TRUE(OlpMgrIsObjectAwake(mgr, &objects[0].base));
    EXPECT_TRUE(OlpMgrIsObjectDynamic(mgr, &objects[0].base));
    EXPECT_TRUE(OlpMgrIsObjectActive(mgr, &objects[0].base));
    // The active limit is 1: the second activation is refused.
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[1].base, kOlpMgrAnyId, kOlpMgrAddActivate), mgr);
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, &objects[1].base));
    EXPECT_EQ(OlpMgrActivateObject(mgr, &objects[1].base), nullptr);
    // Clearing dynamic deactivates first.
    OlpMgrSetObjectDynamic(mgr, &objects[0].base, 0);
    EXPECT_FALSE(OlpMgrIsObjectActive(mgr, &objects[0].base));
    EXPECT_EQ(objects[0].deactivations, 1);
    EXPECT_EQ(mgr->activeCount, 0u);
    // A refusing type leaves the object inactive.
    objects[1].refuse = true;
    EXPECT_EQ(OlpMgrActivateObject(mgr, &objects[1].base), nullptr);
    EXPECT_EQ(mgr->activeCount, 0u);

    OlpBBox box;
    ASSERT_NE(OlpMgrGetFarfieldBox(mgr, &objects[0].base, &box), nullptr);
    EXPECT_FLOAT_EQ(box.max.x, 0.5f);
    ASSERT_EQ(OlpMgrAddObject(mgr, &objects[2].base, kOlpMgrAnyId, 0), mgr);
    EXPECT_EQ(OlpMgrGetFarfieldBox(mgr, &objects[2].base, &box), nullptr);
    objects[2].hasBox = true;
    OlpObjUpdateBounds(&objects[2].base);
    EXPECT_NE(OlpMgrGetFarfieldBox(mgr, &objects[2].base, &box), nullptr);
    OlpMgrUpdateObjectBounds(mgr, &objects[2].base, nullptr);
    EXPECT_EQ(OlpMgrGetFarfieldBox(mgr, &objects[2].base, &box), nullptr);
    for (TestObject& object : objects) {
        OlpMgrRemoveObject(mgr, &object.base);
    }
}

TEST_F(ManagerObjects, WalksStopWhenTheVisitorSaysSo)
{
    mgr = MakeManager(6, 1);
    objects.resize(3);
    const uint32_t ids[] = {4, 1, 2};
    for (int i = 0; i < 3; ++i) {
        MakeTestObject(objects[i], kOlpObjFlagsBody);
        OlpMgrAddObject(mgr, &objects[i].base, ids[i], 0);
    }
    struct Seen
    {
        std::vector<uint32_t> ids;
        size_t stopAfter;
    } seen = {{}, 2};
    OlpMgrForAllObjects(
        mgr,
        [](OlpObj* object, void* data) -> OlpObj* {
            auto* s = static_cast<Seen*>(data);
            s->ids.push_back(object->id);
            return s->ids.size() < s->stopAfter ? object : nullptr;
        },
        &seen);
    EXPECT_EQ(seen.ids, (std::vector<uint32_t>{1, 2}));
    for (TestObject& object : objects) {
        OlpMgrRemoveObject(mgr, &object.base);
    }
}

TEST(ManagerCreate, CapacitiesBeyondTheIdsAreRefused)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    const float box[6] = {1, 1, 1, -1, -1, -1};
    OlpMgr* empty = OlpMgrCreate(&params, box, 1.0f, 0);
    ASSERT_NE(empty, nullptr); // the defaults have no objects at all
    EXPECT_EQ(OlpMgrGetFreeDynStates(empty), 0u);
    EXPECT_EQ(OlpMgrGetFreeJoints(empty), 0u);
    OlpMgrDestroy(empty);
    params.words[kOlpParamObjects] = 65535;
    EXPECT_EQ(OlpMgrCreate(&params, box, 1.0f, 0), nullptr);
    params.words[kOlpParamObjects] = 100;
    params.words[kOlpParamPairs] = 40000;
    EXPECT_EQ(OlpMgrCreate(&params, box, 1.0f, 0), nullptr);
}
