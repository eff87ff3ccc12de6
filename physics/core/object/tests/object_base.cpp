// The object base: init, deinit and the referrers.
#include <gtest/gtest.h>

#include <cstring>

#include "graphics/core/instance.h"
#include "physics/core/object/object.h"

TEST(ObjectBase, InitClearsEverythingAndDeinitReleasesTheReferrers)
{
    OlpObj object;
    std::memset(&object, 0xA5, sizeof object);
    ASSERT_EQ(OlpObjInit(&object, 3, 2), &object);
    EXPECT_EQ(object.id, kOlpObjNoId);
    EXPECT_EQ(object.manager, nullptr);
    EXPECT_EQ(object.definition, nullptr);
    EXPECT_EQ(object.flags, 0u);
    EXPECT_EQ(object.partPairs, nullptr);
    EXPECT_EQ(object.touches, nullptr);
    EXPECT_EQ(object.partCount, 0u);
    EXPECT_EQ(object.partCapacity, 3u);
    EXPECT_EQ(object.jointCount, 0u);
    EXPECT_EQ(object.jointCapacity, 2u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(object.parts[i].volume, nullptr);
        EXPECT_EQ(object.parts[i].dyn, nullptr);
        EXPECT_EQ(object.parts[i].sourceMatrix, nullptr);
    }
    ASSERT_NE(object.joints, nullptr);
    EXPECT_EQ(object.joints[0], nullptr);
    EXPECT_EQ(object.joints[1], nullptr);

    OlpObjReferrer second{&object, {1, 2, 3}, nullptr};
    OlpObjReferrer first{&object, {4, 5, 6}, &second};
    object.referrers = &first;
    EXPECT_EQ(OlpObjDeinit(&object), 1);
    EXPECT_EQ(first.object, nullptr);
    EXPECT_EQ(second.object, nullptr);
    EXPECT_EQ(second.own[2], 3u);
    EXPECT_EQ(object.referrers, nullptr);
    EXPECT_EQ(object.parts, nullptr);
}

TEST(ObjectBase, NoJointCapacityMeansNoJointArray)
{
    OlpObj object;
    ASSERT_EQ(OlpObjInit(&object, 1, 0), &object);
    EXPECT_EQ(object.joints, nullptr);
    EXPECT_EQ(OlpObjDeinit(&object), 1);
}

TEST(ObjectBase, RefusedMemoryGivesNullAndLeavesNothingAllocated)
{
    MemoryFunctions& memory = EngineGetInstance()->memoryFunctions;
    // The joint array (the second zeroed block) is refused; the leak checker
    // catches the part array if it is not given back.
    static MemoryAllocateZeroedFunc saved;
    static int calls;
    saved = memory.allocateZeroed;
    calls = 0;
    memory.allocateZeroed = [](size_t count, size_t size, uint32_t hint) -> void* {
        return ++calls == 2 ? nullptr : saved(count, size, hint);
    };
    OlpObj object;
    EXPECT_EQ(OlpObjInit(&object, 4, 4), nullptr);
    memory.allocateZeroed = saved;
    EXPECT_EQ(calls, 2);
}
