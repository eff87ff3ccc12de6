// The context's static volume table, user data and object-type handlers.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/core/instance.h"
#include "physics/core/context/context.h"
#include "physics/core/manager/pools.h"
#include "physics/core/object/object.h"
#include "physics/core/pipeline/pipeline.h"

namespace {

const float kBox[6] = {100, 100, 100, -100, -100, -100};

/// A context with `volumes` table slots; fake volume addresses stand for
/// real volumes, which the table never looks into.
class ContextTable : public ::testing::Test
{
  protected:
    OlpContext* Make(uint32_t volumes)
    {
        OlpContextParams params;
        OlpContextParamsDefault(&params);
        params.words[kOlpParamVolumes] = volumes;
        context = OlpContextCreate(&params, 1.0f, kBox);
        return context;
    }
    void TearDown() override
    {
        if (context != nullptr) {
            EXPECT_EQ(OlpContextDestroy(context), 1);
        }
    }
    static OlpVolume* Fake(uintptr_t n) { return reinterpret_cast<OlpVolume*>(n * 16); }

    OlpContext* context = nullptr;
};

int32_t Collect(OlpVolume* volume, void* data)
{
    auto* seen = static_cast<std::vector<OlpVolume*>*>(data);
    seen->push_back(volume);
    return seen->size() < 2 ? 1 : 0;
}

} // namespace

TEST_F(ContextTable, FreedSlotsAreReusedAndOnlyTheLastSlotShrinksTheTable)
{
    ASSERT_NE(Make(2), nullptr);
    EXPECT_NE(OlpContextGetMgr(context), nullptr);
    ASSERT_NE(OlpContextGetPipeline(context), nullptr);
    EXPECT_EQ(OlpContextGetPipeline(context)->context, context);
    OlpVolume *first = Fake(1), *second = Fake(2), *third = Fake(3);
    ASSERT_EQ(OlpContextAddObject(context, first, 11), context);
    ASSERT_EQ(OlpContextAddObject(context, second, 22), context);
    EXPECT_EQ(OlpContextAddObject(context, third, 33), nullptr); // full, nothing changed
    EXPECT_EQ(context->used, 2u);
    EXPECT_EQ(OlpContextRemoveObject(context, first), 1);
    EXPECT_EQ(context->used, 2u);
    ASSERT_EQ(OlpContextAddObject(context, third, 33), context);
    EXPECT_EQ(context->volumes[0], third);
    EXPECT_EQ(OlpContextGetObjectUserData(context, third), 33u);
    EXPECT_EQ(OlpContextRemoveObject(context, second), 1);
    EXPECT_EQ(context->used, 1u);
    EXPECT_EQ(context->volumes[0], third);
    EXPECT_EQ(OlpContextRemoveObject(context, second), 0);
}

TEST_F(ContextTable, RemovingTheLastSlotBehindEmptyOnesLowersTheCountByOne)
{
    ASSERT_NE(Make(4), nullptr);
    for (uintptr_t i = 1; i <= 3; ++i) {
        ASSERT_EQ(OlpContextAddObject(context, Fake(i), i), context);
    }
    EXPECT_EQ(OlpContextRemoveObject(context, Fake(1)), 1);
    EXPECT_EQ(OlpContextRemoveObject(context, Fake(2)), 1);
    EXPECT_EQ(OlpContextRemoveObject(context, Fake(3)), 1);
    EXPECT_EQ(context->used, 2u);
}

TEST_F(ContextTable, UserDataWalksAndAbsentVolumes)
{
    ASSERT_NE(Make(4), nullptr);
    for (uintptr_t i = 1; i <= 3; ++i) {
        ASSERT_EQ(OlpContextAddObject(context, Fake(i), i * 10), context);
    }
    EXPECT_EQ(OlpContextSetObjectUserData(context, Fake(2), 99), 1);
    EXPECT_EQ(OlpContextGetObjectUserData(context, Fake(2)), 99u);
    EXPECT_EQ(OlpContextSetObjectUserData(context, Fake(7), 5), 0);
    EXPECT_EQ(OlpContextGetObjectUserData(context, Fake(7)), 0u);
    EXPECT_EQ(OlpContextGetObjectUserData(context, nullptr), 0u);

    // The walk skips empty slots, keeps slot order and stops at the first 0.
    OlpContextRemoveObject(context, Fake(1));
    std::vector<OlpVolume*> seen;
    EXPECT_EQ(OlpContextForAllObjects(context, Collect, &seen), context);
    EXPECT_EQ(seen, (std::vector<OlpVolume*>{Fake(2), Fake(3)}));
    OlpContextAddObject(context, Fake(4), 0);
    seen.clear();
    OlpContextForAllObjects(context, Collect, &seen);
    EXPECT_EQ(seen, (std::vector<OlpVolume*>{Fake(4), Fake(2)}));
}

TEST_F(ContextTable, ObjectTypesRegisterOnlyBelowTheTypeCount)
{
    ASSERT_NE(Make(1), nullptr);
    const OlpObjectDefWriter writer = [](OlpSerialCtx*, const void*) { return 1; };
    const OlpObjectDefReader reader = [](OlpSerialCtx*, void**) { return 1; };
    for (uint32_t id = 0; id < 3; ++id) {
        EXPECT_EQ(context->handlers[id].write, nullptr);
        EXPECT_EQ(OlpContextRegisterObjectType(context, id, writer, reader), 1);
        EXPECT_EQ(context->handlers[id].write, writer);
        EXPECT_EQ(context->handlers[id].read, reader);
    }
    EXPECT_EQ(OlpContextRegisterObjectType(context, 3, writer, reader), 0);
    EXPECT_EQ(OlpContextRegisterObjectType(context, 0xFFFF, writer, reader), 0);
}

TEST_F(ContextTable, RefusedMemoryGivesNullAndLeavesNothingAllocated)
{
    MemoryFunctions& memory = EngineGetInstance()->memoryFunctions;
    // The handler table (the third zeroed block) is refused; the leak checker
    // catches the two tables taken before it if they are not given back.
    static MemoryAllocateZeroedFunc saved;
    static int calls;
    saved = memory.allocateZeroed;
    calls = 0;
    memory.allocateZeroed = [](size_t count, size_t size, uint32_t hint) -> void* {
        return ++calls == 3 ? nullptr : saved(count, size, hint);
    };
    EXPECT_EQ(Make(4), nullptr);
    memory.allocateZeroed = saved;
    EXPECT_EQ(calls, 3);
}

TEST_F(ContextTable, TheContextOwnsAManagerSizedFromItsParameters)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    params.words[kOlpParamObjects] = 20;
    params.words[kOlpParamActiveObjects] = 5;
    params.words[kOlpParamActiveParts] = 7;
    OlpContextParamsSetFreeJoints(&params, 3);
    context = OlpContextCreate(&params, 2.0f, kBox);
    ASSERT_NE(context, nullptr);
    OlpMgr* mgr = OlpContextGetMgr(context);
    ASSERT_NE(mgr, nullptr);
    EXPECT_EQ(mgr->objectCapacity, 20u);
    EXPECT_EQ(mgr->maxActive, 5u);
    EXPECT_EQ(OlpMgrGetFreeDynStates(mgr), 7u);
    EXPECT_EQ(OlpMgrGetFreeJoints(mgr), 3u);
    EXPECT_FLOAT_EQ(mgr->farfield->margin, 0.02f);
    EXPECT_FLOAT_EQ(mgr->farfield->world.min.z, -100.0f);

    // Capacities beyond the manager's 16-bit ids: no context.
    params.words[kOlpParamObjects] = 70000;
    EXPECT_EQ(OlpContextCreate(&params, 1.0f, kBox), nullptr);
}
