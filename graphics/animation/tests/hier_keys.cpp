#include <cstring>

#include "graphics/animation/hierarchyinternal.h"
#include "graphics/animation/tests/hiertesting.h"
#include "graphics/core/framelist.h"
#include "graphics/core/tests/chunktesting.h"

namespace {

HierKey Key(HierKey* previous, float time, Quaternion q, V3d t)
{
    return {previous, time, q, t};
}

/// Two nodes over 1 s; node 0 turns 90 degrees about z, node 1 moves along x.
Animation* TwoNodeClip()
{
    Animation* animation = AnimationCreate(kHierKeyTypeId, 4, 0, 1.0f);
    auto* k = static_cast<HierKey*>(animation->keys);
    const float h = std::sqrt(0.5f);
    k[0] = Key(nullptr, 0, {0, 0, 0, 1}, {0, 0, 0});
    k[1] = Key(nullptr, 0, {0, 0, 0, 1}, {0, 0, 0});
    k[2] = Key(&k[0], 1, {0, 0, h, h}, {0, 0, 0});
    k[3] = Key(&k[1], 1, {0, 0, 0, 1}, {4, 0, 0});
    return animation;
}

TEST_F(HierTest, InterpolationIsSphericalAndTakesTheShortWay)
{
    Animation* animation = TwoNodeClip();
    AnimInterpolator* player = AnimInterpolatorCreate(2, sizeof(HierInterpKey));
    ASSERT_NE(AnimInterpolatorSetCurrentAnim(player, animation), nullptr);
    AnimInterpolatorSetCurrentTime(player, 0.5f);
    const auto* node0 = static_cast<const HierInterpKey*>(AnimInterpolatorGetInterpKey(player, 0));
    const auto* node1 = static_cast<const HierInterpKey*>(AnimInterpolatorGetInterpKey(player, 1));
    // Halfway: 45 degrees about z.
    EXPECT_NEAR(node0->rotation.z, std::sin(0.3926991f), 1e-5f);
    EXPECT_NEAR(node0->rotation.w, std::cos(0.3926991f), 1e-5f);
    EXPECT_NEAR(node1->translation.x, 2.0f, 1e-6f);

    // The same end rotation stored negated: the short way, and key B stays negated.
    auto* keys = static_cast<HierKey*>(animation->keys);
    keys[2].rotation = {0, 0, -std::sqrt(0.5f), -std::sqrt(0.5f)};
    AnimInterpolatorSetCurrentTime(player, 0.0f);
    AnimInterpolatorSetCurrentTime(player, 0.5f);
    EXPECT_NEAR(node0->rotation.z, std::sin(0.3926991f), 1e-5f);
    EXPECT_NEAR(node0->rotation.w, std::cos(0.3926991f), 1e-5f);
    EXPECT_GT(keys[2].rotation.w, 0.0f);

    // Keys at the same time give key A, not a division by zero.
    HierKey a = Key(nullptr, 0.5f, {0, 0, 0, 1}, {1, 1, 1});
    HierKey b = Key(&a, 0.5f, {1, 0, 0, 0}, {3, 3, 3});
    HierInterpKey out;
    HierKeyInterpolate(&out, &a, &b, 0.5f, nullptr);
    EXPECT_EQ(out.translation.x, 1.0f);
    EXPECT_EQ(out.rotation.w, 1.0f);
    AnimInterpolatorDestroy(player);
    AnimationDestroy(animation);
}

TEST_F(HierTest, AddAndMakeRelativeAreInverse)
{
    HierInterpKey reference = {nullptr, nullptr, Rotation({1, 2, 3}, 40), {1, -2, 5}};
    HierKey key = Key(nullptr, 0, Rotation({0, 1, 0}, 70), {3, 3, 3});
    const HierKey original = key;
    HierKeyMakeRelative(&key, &reference);
    HierInterpKey relative = {nullptr, nullptr, key.rotation, key.translation};
    HierInterpKey sum;
    HierKeyAdd(&sum, &reference, &relative);
    EXPECT_NEAR(sum.rotation.x, original.rotation.x, 1e-5f);
    EXPECT_NEAR(sum.rotation.y, original.rotation.y, 1e-5f);
    EXPECT_NEAR(sum.rotation.w, original.rotation.w, 1e-5f);
    EXPECT_NEAR(sum.translation.z, 3.0f, 1e-6f);
}

Bytes WriteAnimation(const Animation* animation)
{
    return WriteBytes([animation](Stream* s) { return AnimationStreamWrite(animation, s) != nullptr; });
}

Animation* ReadAnimation(const Bytes& bytes)
{
    Bytes body(bytes.begin() + std::min<size_t>(12, bytes.size()), bytes.end());
    return ReadBytes<Animation*>(body, [](Stream* s) { return AnimationStreamRead(s); });
}

/// Offset of key i's previous-key field in a written ".anm" chunk.
size_t PreviousField(int32_t i)
{
    return 12 + 20 + 36 * static_cast<size_t>(i) + 32;
}

TEST_F(HierTest, AnmStreamRoundTripConvertsPreviousKeys)
{
    Animation* animation = TwoNodeClip();
    animation->flags = 7;
    const Bytes bytes = WriteAnimation(animation);
    ASSERT_EQ(bytes.size(), 12u + 20u + 4u * 36u);
    EXPECT_EQ(GetU32(bytes, 0), kChunkAnimation);
    EXPECT_EQ(GetU32(bytes, 12), 256u);
    EXPECT_EQ(GetU32(bytes, 16), 1u);
    EXPECT_EQ(GetU32(bytes, 20), 4u);
    EXPECT_EQ(GetU32(bytes, PreviousField(0)), 0xFFFFFFFFu);
    EXPECT_EQ(GetU32(bytes, PreviousField(3)), 36u);
    EXPECT_EQ(AnimationStreamGetSize(animation), 20 + 144);

    Animation* back = ReadAnimation(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->keyCount, 4);
    EXPECT_EQ(back->flags, 7u);
    EXPECT_EQ(back->duration, 1.0f);
    const auto* keys = static_cast<const HierKey*>(back->keys);
    EXPECT_EQ(keys[3].previous, &keys[1]);
    EXPECT_EQ(keys[2].previous, &keys[0]);
    EXPECT_EQ(keys[0].previous, nullptr);
    EXPECT_EQ(std::memcmp(&keys[2].rotation, &static_cast<HierKey*>(animation->keys)[2].rotation, 28), 0);
    EXPECT_EQ(AnimationCountNodes(back), 2);
    AnimationDestroy(back);
    AnimationDestroy(animation);
}

TEST_F(HierTest, AnmReaderRefusesBadOffsetsCountsAndVersions)
{
    Animation* animation = TwoNodeClip();
    const Bytes good = WriteAnimation(animation);
    AnimationDestroy(animation);
    struct Case
    {
        const char* name;
        size_t field;
        uint32_t value;
    } cases[] = {
        {"offset not a whole key", PreviousField(3), 35},
        {"offset of the key itself", PreviousField(3), 3 * 36},
        {"offset past the key", PreviousField(2), 3 * 36},
        {"negative offset", PreviousField(3), 0xFFFFFFDC},
        {"second keys out of order", PreviousField(2), 36},
        {"key count larger than the data", 20, 5},
        {"key count huge", 20, 0x7FFFFFFF},
        {"key count negative", 20, 0xFFFFFFFF},
        {"unknown scheme", 16, 9},
        {"version", 12, 257},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        PutU32(bytes, c.field, c.value);
        EXPECT_EQ(ReadAnimation(bytes), nullptr) << c.name;
        TakeError();
    }
    for (size_t cut = 12; cut < good.size(); cut += 7) {
        EXPECT_EQ(ReadAnimation(Bytes(good.begin(), good.begin() + cut)), nullptr) << cut;
    }
}

// Key times, rotations and translations, and the duration, are finite numbers:
// any that is not refuses the clip, and the refusal names its offset.
TEST_F(HierTest, AnmReaderRefusesNumbersThatAreNotFiniteAtTheirOffset)
{
    Animation* animation = TwoNodeClip();
    const Bytes good = WriteAnimation(animation);
    AnimationDestroy(animation);
    ASSERT_EQ(GetF32(good, 28), 1.0f);               // duration
    ASSERT_EQ(GetF32(good, 32 + 3 * 36 + 20), 4.0f); // key 3, translation x
    struct Case
    {
        const char* name;
        size_t field;
    } cases[] = {
        {"duration", 28},
        {"key 1 time", 32 + 36},
        {"key 2 rotation w", 32 + 2 * 36 + 16},
        {"key 3 translation x", 32 + 3 * 36 + 20},
        {"key 3 translation z", 32 + 3 * 36 + 28},
    };
    for (const Case& c : cases) {
        for (uint32_t bits : kNotFiniteBits) {
            Bytes bytes = good;
            PutU32(bytes, c.field, bits);
            EXPECT_EQ(ReadAnimation(bytes), nullptr) << c.name;
            EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorRead})) << c.name;
            // ReadAnimation reads the body after the 12-byte chunk header.
            EXPECT_EQ(TakeRefusedOffset(), int64_t(c.field) - 12) << c.name;
        }
    }
    Animation* back = ReadAnimation(good);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(TakeRefusedOffset(), -2);
    AnimationDestroy(back);
}

TEST_F(HierTest, FrameExtensionRoundTrip)
{
    Frame* root = FrameCreate();
    Frame* child = FrameCreate();
    Frame* plain = FrameCreate();
    FrameAddChild(root, child);
    FrameAddChild(root, plain);
    FrameSetNodeId(root, 4);
    FrameSetNodeId(child, 8);
    const uint32_t flags[5] = {0, kHierarchyPush, kHierarchyPop, kHierarchyPush | kHierarchyPop,
                               kHierarchyPop};
    const int32_t ids[5] = {4, 8, 15, 16, 23};
    Hierarchy* hierarchy = HierarchyCreate(5, flags, ids, kHierarchyUpdateModelling, sizeof(HierInterpKey));
    ASSERT_NE(hierarchy, nullptr);
    FrameSetHierarchy(root, hierarchy);
    EXPECT_EQ(HierarchyFrameStreamGetSize(root, 0, 0), 80);
    EXPECT_EQ(HierarchyFrameStreamGetSize(child, 0, 0), 12);
    EXPECT_EQ(HierarchyFrameStreamGetSize(plain, 0, 0), 0);

    FrameList list = {};
    ASSERT_NE(FrameListInitialize(&list, root), nullptr);
    const Bytes bytes = WriteBytes([&list](Stream* s) { return FrameListStreamWrite(&list, s) != nullptr; });
    FrameListDeinitialize(&list);
    FrameDestroyHierarchy(root);
    ASSERT_FALSE(bytes.empty());

    Bytes body(bytes.begin() + 12, bytes.end());
    FrameList back = {};
    ASSERT_NE(ReadBytes<FrameList*>(body, [&back](Stream* s) { return FrameListStreamRead(s, &back); }),
              nullptr);
    ASSERT_EQ(back.count, 3);
    Hierarchy* read = FrameGetHierarchy(back.frames[0]);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->parentFrame, back.frames[0]);
    EXPECT_EQ(read->nodeCount, 5);
    EXPECT_EQ(read->flags, kHierarchyUpdateModelling);
    EXPECT_EQ(read->interpolator->maxInterpKeySize, static_cast<int32_t>(sizeof(HierInterpKey)));
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(read->nodes[i].nodeId, ids[i]);
        EXPECT_EQ(read->nodes[i].flags, flags[i]);
        EXPECT_EQ(read->nodes[i].nodeIndex, i);
        EXPECT_EQ(read->nodes[i].frame, nullptr);
    }
    EXPECT_EQ(FrameGetNodeId(back.frames[0]), 4);
    EXPECT_EQ(FrameGetHierarchy(back.frames[1]), nullptr);
    FrameDestroyHierarchy(back.frames[0]);
    FrameListDeinitialize(&back);
}

} // namespace
