#include <cmath>

#include "graphics/animation/tests/animtesting.h"

namespace {

/// Node 0 and node 1 of TwoNodes() at time t in [0, 2].
float Node0(float t)
{
    return 10.0f * t;
}

float Node1(float t)
{
    return t <= 0.5f ? 100.0f + 100.0f * t : 150.0f + 150.0f * (t - 0.5f) / 1.5f;
}

struct Counter
{
    int calls = 0;
    bool keep = true;
};

AnimInterpolator* Count(AnimInterpolator* player, void* data)
{
    auto* counter = static_cast<Counter*>(data);
    ++counter->calls;
    return counter->keep ? player : nullptr;
}

class PlayerTest : public AnimTest
{
  protected:
    void SetUp() override
    {
        AnimTest::SetUp();
        animation = TwoNodes();
        player = AnimInterpolatorCreate(2, sizeof(FloatInterpKey));
        ASSERT_NE(AnimInterpolatorSetCurrentAnim(player, animation), nullptr);
    }
    void TearDown() override
    {
        AnimInterpolatorDestroy(player);
        AnimationDestroy(animation);
        AnimTest::TearDown();
    }

    void ExpectAt(float t)
    {
        EXPECT_FLOAT_EQ(player->currentTime, t);
        EXPECT_NEAR(Value(player, 0), Node0(t), 1e-4f) << "t=" << t;
        EXPECT_NEAR(Value(player, 1), Node1(t), 1e-3f) << "t=" << t;
    }

    Animation* animation = nullptr;
    AnimInterpolator* player = nullptr;
};

TEST_F(PlayerTest, ForwardAndBackwardStepsGiveTheKeyValues)
{
    EXPECT_EQ(AnimationCountNodes(animation), 2);
    EXPECT_TRUE(AnimationKeysAreOrdered(animation));
    ExpectAt(0.0f);
    for (float t : {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f}) {
        AnimInterpolatorSetCurrentTime(player, t);
        ExpectAt(t);
    }
    // Backwards the bracketing keys step back without a restart.
    for (float t : {1.75f, 0.9f, 0.3f}) {
        AnimInterpolatorSetCurrentTime(player, t);
        ExpectAt(t);
        EXPECT_EQ(player->nextKey, nullptr);
    }
    // The next forward step rebuilds them from the first keys.
    AnimInterpolatorAddTime(player, 1.2f);
    ExpectAt(1.5f);
}

TEST_F(PlayerTest, WrapsAtTheDurationWithOneEndCallbackPerStep)
{
    Counter ends;
    AnimInterpolatorSetEndCallback(player, Count, &ends);
    AnimInterpolatorAddTime(player, 0.5f);
    AnimInterpolatorAddTime(player, 1.5f); // exactly the remaining time
    ExpectAt(2.0f);
    EXPECT_EQ(ends.calls, 0);

    AnimInterpolatorAddTime(player, 0.25f);
    ExpectAt(0.25f);
    EXPECT_EQ(ends.calls, 1);

    // 3.5 durations at once: one call, time at the remainder.
    AnimInterpolatorAddTime(player, 7.0f);
    ExpectAt(1.25f);
    EXPECT_EQ(ends.calls, 2);

    // Backwards past 0 wraps too.
    AnimInterpolatorSubTime(player, 1.5f);
    ExpectAt(1.75f);
    EXPECT_EQ(ends.calls, 3);

    // A step of many millions of durations ends at once.
    AnimInterpolatorAddTime(player, 3.0e7f);
    EXPECT_GE(player->currentTime, 0.0f);
    EXPECT_LE(player->currentTime, 2.0f);
    EXPECT_EQ(ends.calls, 4);

    // Steps that are not finite or not positive change nothing.
    const float before = player->currentTime;
    for (float dt : {0.0f, -1.0f, INFINITY, NAN}) {
        AnimInterpolatorAddTime(player, dt);
        AnimInterpolatorSubTime(player, dt);
    }
    EXPECT_EQ(player->currentTime, before);
    EXPECT_EQ(ends.calls, 4);

    ends.keep = false;
    AnimInterpolatorAddTime(player, 2.0f);
    AnimInterpolatorAddTime(player, 2.0f);
    EXPECT_EQ(ends.calls, 5);
    EXPECT_EQ(player->endCallback, nullptr);
}

TEST_F(PlayerTest, TimeCallbackFiresBothWaysAndIsRemovedOnNull)
{
    Counter passes;
    AnimInterpolatorSetTimeCallback(player, Count, 0.5f, &passes);
    AnimInterpolatorAddTime(player, 0.3f);
    EXPECT_EQ(passes.calls, 0);
    AnimInterpolatorAddTime(player, 0.3f); // 0.3 -> 0.6
    EXPECT_EQ(passes.calls, 1);
    AnimInterpolatorAddTime(player, 0.3f);
    EXPECT_EQ(passes.calls, 1);
    AnimInterpolatorSubTime(player, 0.5f); // 0.9 -> 0.4
    EXPECT_EQ(passes.calls, 2);
    passes.keep = false;
    AnimInterpolatorAddTime(player, 0.2f);
    EXPECT_EQ(passes.calls, 3);
    EXPECT_EQ(player->timeCallback, nullptr);
    AnimInterpolatorSubTime(player, 0.2f);
    EXPECT_EQ(passes.calls, 3);
}

TEST_F(AnimTest, ZeroDurationHoldsTimeZeroAndCountsOneWrap)
{
    Animation* animation = Make({{-1, 0, 1}, {0, 0, 5}}, 0.0f);
    AnimInterpolator* player = AnimInterpolatorCreate(1, sizeof(FloatInterpKey));
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(player, animation), nullptr);
    Counter ends;
    AnimInterpolatorSetEndCallback(player, Count, &ends);
    AnimInterpolatorAddTime(player, 1.0f);
    AnimInterpolatorSubTime(player, 1.0f);
    EXPECT_EQ(player->currentTime, 0.0f);
    EXPECT_EQ(Value(player, 0), 1.0f); // equal key times: key A holds
    EXPECT_EQ(ends.calls, 2);
    AnimInterpolatorDestroy(player);
    AnimationDestroy(animation);
}

// A key whose previous key no node is waiting for: the player stops
// advancing instead of searching forever, and the order check refuses it.
TEST_F(AnimTest, MalformedKeyOrderDoesNotHang)
{
    // Key 4 follows key 2 (node 0's second key) but key 5 follows key 2 too.
    Animation* animation =
        Make({{-1, 0, 0}, {-1, 0, 100}, {0, 1, 10}, {1, 0.5f, 150}, {2, 2, 300}, {2, 2, 20}}, 2.0f);
    EXPECT_FALSE(AnimationKeysAreOrdered(animation));
    AnimInterpolator* player = AnimInterpolatorCreate(2, sizeof(FloatInterpKey));
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(player, animation), nullptr);
    for (int i = 0; i < 10; ++i) {
        AnimInterpolatorAddTime(player, 0.7f);
    }
    AnimInterpolatorDestroy(player);
    AnimationDestroy(animation);
}

TEST_F(AnimTest, KeyOrderRules)
{
    struct Case
    {
        const char* name;
        std::vector<KeySpec> keys;
        bool ordered;
    } cases[] = {
        {"two nodes", {{-1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, true},
        {"key 0 its own predecessor", {{0, 0, 0}, {0, 1, 0}}, false},
        {"second keys swapped", {{-1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 1, 0}}, false},
        {"later key follows a first key",
         {{-1, 0, 0}, {-1, 0, 0}, {0, 0.5f, 0}, {1, 1, 0}, {1, 1, 0}},
         false},
        {"chain ends before the duration", {{-1, 0, 0}, {0, 0.5f, 0}}, false},
        {"fewer than 2N keys", {{-1, 0, 0}, {-1, 0, 0}, {0, 1, 0}}, false},
    };
    for (const Case& c : cases) {
        Animation* animation = Make(c.keys, 1.0f);
        EXPECT_EQ(AnimationKeysAreOrdered(animation), c.ordered) << c.name;
        AnimationDestroy(animation);
    }
}

TEST_F(AnimTest, SetCurrentAnimRefusesAnimationsThatDoNotFit)
{
    Animation* animation = TwoNodes();
    AnimInterpolator* wide = AnimInterpolatorCreate(3, sizeof(FloatInterpKey));
    EXPECT_EQ(AnimInterpolatorSetCurrentAnim(wide, animation), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    AnimInterpolator* narrow = AnimInterpolatorCreate(2, sizeof(AnimInterpKeyHeader));
    EXPECT_EQ(AnimInterpolatorSetCurrentAnim(narrow, animation), nullptr);
    AnimInterpolatorDestroy(wide);
    AnimInterpolatorDestroy(narrow);
    AnimationDestroy(animation);
}

TEST_F(AnimTest, RegistryRefusesDuplicatesOverflowAndUnknownTypes)
{
    const AnimScheme duplicate = FloatScheme();
    EXPECT_EQ(AnimSchemeRegister(&duplicate), 0);
    EXPECT_EQ(TakeError(), (ErrorRecord{0x1B7, 0}));
    for (int32_t id = 1; id < 16; ++id) {
        const AnimScheme scheme = FloatScheme(id);
        ASSERT_EQ(AnimSchemeRegister(&scheme), 1) << id;
    }
    const AnimScheme seventeenth = FloatScheme(17);
    EXPECT_EQ(AnimSchemeRegister(&seventeenth), 0);
    EXPECT_EQ(TakeError(), (ErrorRecord{0x1B7, 1}));
    EXPECT_EQ(AnimationCreate(99, 4, 0, 1.0f), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0x1B7, 2}));
    AnimInterpolator* player = AnimInterpolatorCreate(1, sizeof(FloatInterpKey));
    EXPECT_EQ(AnimInterpolatorSetSchemeCallbacks(player, 99), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0x1B7, 2}));
    AnimInterpolatorDestroy(player);

    // The toolkit's close empties the registry: a restart registers afresh.
    ASSERT_TRUE(EngineStop());
    ASSERT_TRUE(EngineStart());
    const AnimScheme again = FloatScheme(17);
    EXPECT_EQ(AnimSchemeRegister(&again), 1);
}

TEST_F(AnimTest, BlendAddAndSubInterpolators)
{
    Animation* animation = TwoNodes();
    AnimInterpolator* a = AnimInterpolatorCreate(2, sizeof(FloatInterpKey));
    AnimInterpolator* b = AnimInterpolatorCreate(2, sizeof(FloatInterpKey));
    AnimInterpolator* out = AnimInterpolatorCreate(2, sizeof(FloatInterpKey));
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(a, animation), nullptr);
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(b, animation), nullptr);
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(out, animation), nullptr);
    AnimInterpolatorSetCurrentTime(b, 1.0f); // node 0: 10, node 1: 200

    AnimInterpolatorBlend(out, a, b, 0.25f);
    EXPECT_FLOAT_EQ(Value(out, 0), 2.5f);
    EXPECT_FLOAT_EQ(Value(out, 1), 125.0f);
    AnimInterpolatorAdd(out, a, b);
    EXPECT_FLOAT_EQ(Value(out, 0), 10.0f);
    EXPECT_FLOAT_EQ(Value(out, 1), 300.0f);
    ASSERT_EQ(AnimInterpolatorCopy(out, b), 1);
    EXPECT_FLOAT_EQ(Value(out, 1), 200.0f);

    // A sub-interpolator over node 1 only, holding 1000.
    AnimInterpolator* sub = AnimInterpolatorCreateSub(a, 1, 1, -1);
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->isSubInterpolator, 1);
    static_cast<FloatInterpKey*>(AnimInterpolatorGetInterpKey(sub, 0))->value = 1000.0f;
    AnimInterpolatorBlendSub(out, sub, b, 0.5f); // node 0 copied from b, node 1 blended
    EXPECT_FLOAT_EQ(Value(out, 0), 10.0f);
    EXPECT_FLOAT_EQ(Value(out, 1), 600.0f);
    AnimInterpolatorBlendSub(out, a, sub, 0.5f); // node 0 copied from a
    EXPECT_FLOAT_EQ(Value(out, 0), 0.0f);
    EXPECT_FLOAT_EQ(Value(out, 1), 550.0f);
    AnimInterpolatorAddSub(out, b, sub); // node 1: 200 + 1000
    EXPECT_FLOAT_EQ(Value(out, 1), 1200.0f);

    EXPECT_EQ(AnimInterpolatorCreateSub(a, 1, 2, -1), nullptr);
    AnimInterpolatorDestroy(sub);
    AnimInterpolatorDestroy(a);
    AnimInterpolatorDestroy(b);
    AnimInterpolatorDestroy(out);
    AnimationDestroy(animation);
}

TEST_F(AnimTest, MakeRelativeSubtractsThePoseAtTheTime)
{
    Animation* animation = TwoNodes();
    ASSERT_EQ(AnimationMakeRelative(animation, 2, 0.5f), 1);
    const auto* keys = static_cast<const FloatKey*>(animation->keys);
    // The pose at 0.5 s: node 0 at 5, node 1 at 150.
    const float expected[6] = {-5, -50, 5, 0, 150, 15};
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(keys[i].value, expected[i]) << i;
    }
    AnimationDestroy(animation);
}

} // namespace

namespace {

// Interpolated keys start with pointers: an odd room (a size read from a
// file) is rounded up so that every node's key stays aligned.
TEST_F(AnimTest, OddKeyRoomKeepsNodesAligned)
{
    AnimInterpolator* player = AnimInterpolatorCreate(3, 27);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->maxInterpKeySize, 32);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(AnimInterpolatorGetInterpKey(player, i)) % alignof(void*), 0u);
    }
    AnimInterpolatorDestroy(player);
    EXPECT_EQ(AnimInterpolatorCreate(3, 15), nullptr); // below the key header
    EXPECT_EQ(AnimInterpolatorCreate(0, 32), nullptr);
}

} // namespace
