#include <climits>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/framelist.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using FrameListTest = StartedEngineTest;

bool OnDirtyList(Frame* frame)
{
    LinkList* head = &EngineGetInstance()->dirtyFrames;
    for (LinkList* link = head->next; link != head; link = link->next) {
        if (link == &frame->dirtyLink) {
            return true;
        }
    }
    return false;
}

Bytes WriteHierarchy(Frame* root)
{
    FrameList list;
    if (!FrameListInitialize(&list, root)) {
        return {};
    }
    Bytes bytes = WriteBytes([&](Stream* s) { return FrameListStreamWrite(&list, s) != nullptr; });
    FrameListDeinitialize(&list);
    return bytes;
}

// Reads a frame-list chunk; the list's frames, or an empty vector on failure.
std::vector<Frame*> ReadHierarchy(const Bytes& bytes)
{
    FrameList list{};
    bool ok = ReadBytes<bool>(bytes, [&](Stream* s) {
        return StreamFindChunk(s, kChunkFrameList, nullptr, nullptr) &&
               FrameListStreamRead(s, &list) != nullptr;
    });
    if (!ok) {
        EXPECT_EQ(list.frames, nullptr);
        return {};
    }
    std::vector<Frame*> frames(list.frames, list.frames + list.count);
    FrameListDeinitialize(&list);
    return frames;
}

TEST_F(FrameListTest, OrderPutsSiblingsBeforeTheirChildren)
{
    // root: children a, b, c in list order; a has a1, c has c1 which has c11.
    Frame* root = FrameCreate();
    Frame *a = FrameCreate(), *b = FrameCreate(), *c = FrameCreate();
    Frame *a1 = FrameCreate(), *c1 = FrameCreate(), *c11 = FrameCreate();
    FrameAddChild(root, c);
    FrameAddChild(root, b);
    FrameAddChild(root, a);
    FrameAddChild(a, a1);
    FrameAddChild(c, c1);
    FrameAddChild(c1, c11);
    FrameList list;
    ASSERT_EQ(FrameListInitialize(&list, root), &list);
    EXPECT_EQ(std::vector<Frame*>(list.frames, list.frames + list.count),
              (std::vector<Frame*>{root, a, b, c, c1, c11, a1}));
    int32_t index = -1;
    EXPECT_EQ(FrameListFindFrame(&list, c11, &index), 1);
    EXPECT_EQ(index, 5);
    Frame* stranger = FrameCreate();
    EXPECT_EQ(FrameListFindFrame(&list, stranger, &index), 0);
    FrameListDeinitialize(&list);
    FrameDestroy(stranger);
    FrameSyncDirty();
    FrameDestroyHierarchy(root);
}

TEST_F(FrameListTest, SingleFrameWritesCountOneAndParentNone)
{
    Frame* f = FrameCreate();
    V3d t = {1, 2, 3};
    FrameTranslate(f, &t, kCombineReplace);
    FrameSyncDirty();
    Bytes bytes = WriteHierarchy(f);
    FrameList list = {&f, 1};
    ASSERT_EQ(bytes.size(), 12 + FrameListStreamGetSize(&list));
    EXPECT_EQ(GetU32(bytes, 0), 0xEu);
    EXPECT_EQ(GetU32(bytes, 4), 16u + 56 + 12);
    EXPECT_EQ(GetU32(bytes, 16), 4u + 56);
    EXPECT_EQ(GetU32(bytes, 24), 1u);               // count
    EXPECT_EQ(GetF32(bytes, 28 + 40), 2.0f);        // pos.y
    EXPECT_EQ(GetU32(bytes, 28 + 48), 0xFFFFFFFFu); // parent -1
    EXPECT_EQ(GetU32(bytes, 28 + 52), 3u);          // flags
    EXPECT_EQ(GetU32(bytes, 28 + 56), 3u);          // extension chunk, empty
    EXPECT_EQ(GetU32(bytes, 28 + 60), 0u);
    FrameDestroy(f);

    std::vector<Frame*> frames = ReadHierarchy(bytes);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(OnDirtyList(frames[0]));
    EXPECT_EQ(frames[0]->modelling.pos.z, 3.0f);
    EXPECT_EQ(frames[0]->modelling.flags, kMatrixFlagsOrthonormal);
    FrameSyncDirty();
    EXPECT_EQ(FrameGetLTM(frames[0])->pos.y, 2.0f);
    FrameDestroy(frames[0]);
}

// The stored flags word is the frame's own, identity bit included, but the
// reader trusts only the axes: an identity frame reads back orthonormal
// without that bit, so only a list read back once writes the same bytes again.
TEST_F(FrameListTest, IdentityBitIsWrittenButNotReadBack)
{
    Frame* fresh = FrameCreate();
    const Bytes first = WriteHierarchy(fresh);
    FrameDestroy(fresh);
    EXPECT_EQ(GetU32(first, 28 + 52), 0x20003u);
    std::vector<Frame*> read = ReadHierarchy(first);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0]->modelling.flags, kMatrixFlagsOrthonormal);
    const Bytes second = WriteHierarchy(read[0]);
    FrameDestroy(read[0]);
    EXPECT_EQ(GetU32(second, 28 + 52), kMatrixFlagsOrthonormal);
    Bytes expected = first;
    expected[28 + 54] = 0; // the identity bit, 0x20000
    EXPECT_EQ(second, expected) << "nothing else changes";
    read = ReadHierarchy(second);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(WriteHierarchy(read[0]), second);
    FrameDestroy(read[0]);
}

TEST_F(FrameListTest, HierarchyRoundTrip)
{
    Frame* root = FrameCreate();
    Frame* arm = FrameCreate();
    Frame* hand = FrameCreate();
    Frame* other = FrameCreate();
    FrameAddChild(root, arm);
    FrameAddChild(arm, hand);
    FrameAddChild(root, other);
    V3d axis = {0, 0, 1}, t = {0, 2, 0}, s = {2, 1, 1};
    FrameRotate(arm, &axis, 90, kCombineReplace);
    FrameTranslate(hand, &t, kCombineReplace);
    FrameScale(other, &s, kCombineReplace); // not normal: flags 0
    FrameSyncDirty();
    Bytes bytes = WriteHierarchy(root);
    Matrix handWorld = *FrameGetLTM(hand);
    FrameDestroyHierarchy(root);

    std::vector<Frame*> frames = ReadHierarchy(bytes);
    ASSERT_EQ(frames.size(), 4u);
    Frame* newRoot = frames[0];
    EXPECT_EQ(FrameCount(newRoot), 4);
    EXPECT_EQ(FrameGetParent(frames[1]), newRoot); // other (first in list order)
    EXPECT_EQ(frames[1]->modelling.flags, 0u);
    EXPECT_EQ(frames[2]->modelling.flags, kMatrixFlagsOrthonormal); // arm
    EXPECT_EQ(FrameGetParent(frames[3]), frames[2]);
    EXPECT_EQ(FrameGetRoot(frames[3]), newRoot);
    EXPECT_TRUE(OnDirtyList(newRoot));
    FrameSyncDirty();
    const Matrix* world = FrameGetLTM(frames[3]);
    EXPECT_NEAR(world->pos.x, handWorld.pos.x, 1e-6f);
    EXPECT_NEAR(world->pos.y, handWorld.pos.y, 1e-6f);
    FrameDestroyHierarchy(newRoot);
}

TEST_F(FrameListTest, ReadingWithoutUpdateLeavesRootsClean)
{
    Frame* root = FrameCreate();
    FrameAddChild(root, FrameCreate());
    FrameSyncDirty();
    Bytes bytes = WriteHierarchy(root);
    FrameDestroyHierarchy(root);
    FrameListSetUpdateOnRead(0);
    std::vector<Frame*> frames = ReadHierarchy(bytes);
    FrameListSetUpdateOnRead(1);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_FALSE(OnDirtyList(frames[0]));
    EXPECT_EQ(FrameGetParent(frames[1]), frames[0]);
    FrameDestroyHierarchy(frames[0]);
}

// Readers run on an engine whose frames each take a block of their own, so
// that a leaked frame shows as a live allocation.
class FrameListMemoryTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        FrameSetFreeListCreateParams(1, 0);
        ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
        TakeError();
    }
    void TearDown() override
    {
        EngineTestShutdown();
        FrameSetFreeListCreateParams(50, 1);
        EXPECT_EQ(CountingMemory::live, 0);
    }
    Bytes ThreeFrames()
    {
        Frame* root = FrameCreate();
        Frame* child = FrameCreate();
        FrameAddChild(root, child);
        FrameAddChild(child, FrameCreate());
        FrameSyncDirty();
        Bytes bytes = WriteHierarchy(root);
        FrameDestroyHierarchy(root);
        return bytes;
    }
};

TEST_F(FrameListMemoryTest, BadParentIndicesAreRefused)
{
    Bytes good = ThreeFrames();
    const size_t parentOfThird = 28 + 2 * 56 + 48;
    ASSERT_EQ(GetU32(good, parentOfThird), 1u);
    const int64_t liveBefore = CountingMemory::live;
    for (int32_t bad : {2, 3, 100, -2, INT_MIN, INT_MAX}) {
        Bytes bytes = good;
        PutU32(bytes, parentOfThird, uint32_t(bad));
        EXPECT_TRUE(ReadHierarchy(bytes).empty()) << bad;
        EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorRead})) << bad;
        EXPECT_EQ(CountingMemory::live, liveBefore) << bad;
        EXPECT_TRUE(LinkListIsEmpty(&EngineGetInstance()->dirtyFrames));
    }
    std::vector<Frame*> frames = ReadHierarchy(good);
    ASSERT_EQ(frames.size(), 3u);
    FrameDestroyHierarchy(frames[0]);
}

// A matrix places every frame below it: any of its twelve numbers that is
// not finite refuses the list, and the refusal names its offset.
TEST_F(FrameListMemoryTest, NonFiniteMatrixNumbersAreRefusedAtTheirOffset)
{
    Bytes good = ThreeFrames();
    const int64_t liveBefore = CountingMemory::live;
    for (size_t field = 0; field < 12; ++field) {
        for (uint32_t bits : kNotFiniteBits) {
            Bytes bytes = good;
            const size_t offset = 28 + 56 + 4 * field; // the second frame's matrix
            PutU32(bytes, offset, bits);
            EXPECT_TRUE(ReadHierarchy(bytes).empty()) << field;
            EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorRead})) << field;
            EXPECT_EQ(TakeRefusedOffset(), int64_t(offset)) << field;
            EXPECT_EQ(CountingMemory::live, liveBefore) << field;
        }
    }
    std::vector<Frame*> frames = ReadHierarchy(good);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(TakeRefusedOffset(), -2);
    FrameDestroyHierarchy(frames[0]);
}

TEST_F(FrameListMemoryTest, TruncatedAndOversizedCountsFailCleanly)
{
    Bytes good = ThreeFrames();
    const int64_t liveBefore = CountingMemory::live;
    for (size_t length = 0; length < good.size(); ++length) {
        Bytes cut(good.begin(), good.begin() + length);
        EXPECT_TRUE(ReadHierarchy(cut).empty()) << length;
        EXPECT_EQ(CountingMemory::live, liveBefore) << length;
    }
    TakeError();
    for (uint32_t count : {4u, 1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes bytes = good;
        PutU32(bytes, 24, count);
        EXPECT_TRUE(ReadHierarchy(bytes).empty()) << count;
        EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorRead})) << count;
        EXPECT_EQ(CountingMemory::live, liveBefore) << count;
    }
    // A struct chunk that claims more bytes than there are.
    Bytes bytes = good;
    PutU32(bytes, 16, 4 + 56 * 50);
    PutU32(bytes, 24, 50);
    EXPECT_TRUE(ReadHierarchy(bytes).empty());
    EXPECT_EQ(CountingMemory::live, liveBefore);
}

} // namespace
