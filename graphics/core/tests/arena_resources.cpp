#include <cstring>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/memory.h"
#include "graphics/core/resources.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

std::vector<uint32_t> gDestroyed;

void RecordDestroy(ResourcesEntry* entry)
{
    gDestroyed.push_back(entry->owner);
}

// An arena whose memory holds exactly three entries of kEntryBytes: each
// takes 32 (block header) + 48 (entry header) + 208 data bytes.
constexpr uint32_t kEntryBytes = 208;
constexpr uint32_t kThreeEntries = 3 * (32 + 48 + kEntryBytes) + 64;

class ResourcesTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        gDestroyed.clear();
        ASSERT_EQ(ResourcesSetArenaSize(kThreeEntries), 1);
    }
    ResourcesEntry* Allocate(uint32_t owner, uint32_t bytes = kEntryBytes)
    {
        return ResourcesAllocate(owner, &refs_[owner], bytes, RecordDestroy);
    }
    ResourcesEntry* refs_[16] = {};
};

TEST_F(ResourcesTest, HoldsThreeEntriesAndEvictsTheOldestFrameFirst)
{
    ASSERT_NE(Allocate(1), nullptr);
    ResourcesNextFrame();
    ASSERT_NE(Allocate(2), nullptr);
    ASSERT_NE(Allocate(3), nullptr);
    ResourcesNextFrame();
    EXPECT_EQ(gDestroyed, std::vector<uint32_t>{});
    ResourcesEntry* fourth = Allocate(4);
    ASSERT_NE(fourth, nullptr);
    EXPECT_EQ(refs_[4], fourth);
    EXPECT_EQ(gDestroyed, std::vector<uint32_t>{1});
    EXPECT_EQ(refs_[1], nullptr);
    EXPECT_NE(refs_[2], nullptr);
    // Within the older frames the earliest allocation goes first.
    ASSERT_NE(Allocate(5), nullptr);
    EXPECT_EQ(gDestroyed, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(refs_[2], nullptr);
}

TEST_F(ResourcesTest, AnEntryUsedThisFrameIsEvictedLast)
{
    ResourcesEntry* first = Allocate(1);
    ASSERT_NE(Allocate(2), nullptr);
    ResourcesNextFrame();
    ASSERT_NE(Allocate(3), nullptr);
    // Entry 1, the oldest, is used again this frame: entry 2 goes first, then
    // 3 (allocated this frame before 1 was used), and 1 last.
    ResourcesUseEntry(first);
    EXPECT_EQ(ResourcesGetArenaUsage(), 2 * kEntryBytes);
    ASSERT_NE(Allocate(4), nullptr);
    EXPECT_EQ(gDestroyed, std::vector<uint32_t>{2});
    ASSERT_NE(Allocate(5), nullptr);
    EXPECT_EQ(gDestroyed, (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(refs_[1], first);
}

TEST_F(ResourcesTest, WithinOneFrameEvictsFromTheCurrentFrameAndCountsIt)
{
    for (uint32_t owner = 1; owner <= 3; ++owner) {
        ASSERT_NE(Allocate(owner), nullptr);
    }
    EXPECT_EQ(ResourcesGetArenaUsage(), 3 * kEntryBytes);
    ASSERT_NE(Allocate(4), nullptr);
    EXPECT_EQ(gDestroyed, std::vector<uint32_t>{1});
    EXPECT_EQ(ResourcesGetArenaUsage(), 4 * kEntryBytes); // three held + one evicted
    ResourcesNextFrame();
    EXPECT_EQ(ResourcesGetArenaUsage(), 0u);
}

TEST_F(ResourcesTest, RequestLargerThanTheArenaEvictsEverythingThenFails)
{
    ASSERT_NE(Allocate(1), nullptr);
    ASSERT_NE(Allocate(2), nullptr);
    refs_[3] = reinterpret_cast<ResourcesEntry*>(this);
    EXPECT_EQ(Allocate(3, kThreeEntries), nullptr);
    EXPECT_EQ(refs_[3], nullptr);
    EXPECT_EQ(gDestroyed, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(TakeError(), (ErrorRecord{1, kErrorCoreArenaFull}));
}

TEST_F(ResourcesTest, FreeEntryAndEmptyArenaRunTheCallbacks)
{
    ResourcesEntry* a = Allocate(1);
    ASSERT_NE(Allocate(2), nullptr);
    ResourcesNextFrame();
    ASSERT_NE(Allocate(3), nullptr);
    EXPECT_EQ(ResourcesFreeEntry(a), 1);
    EXPECT_EQ(refs_[1], nullptr);
    EXPECT_EQ(ResourcesEmptyArena(), 1);
    EXPECT_EQ(gDestroyed.size(), 3u);
    EXPECT_EQ(refs_[2], nullptr);
    EXPECT_EQ(refs_[3], nullptr);
    // The arena is whole again: three entries fit without eviction.
    for (uint32_t owner = 4; owner <= 6; ++owner) {
        ASSERT_NE(Allocate(owner), nullptr);
    }
    EXPECT_EQ(gDestroyed.size(), 3u);
}

// An entry outside the arena is on no list: a full arena, its emptying and
// use marks leave it alone; freeing it runs its callback and clears its owner.
TEST_F(ResourcesTest, EntryOutsideTheArenaIsNeverEvicted)
{
    ResourcesEntry* outside =
        ResourcesAllocateOutsideArena(7, &refs_[7], kThreeEntries, RecordDestroy, kMemoryHintObject);
    ASSERT_NE(outside, nullptr);
    EXPECT_EQ(refs_[7], outside);
    EXPECT_TRUE(ResourcesEntryIsOutsideArena(outside));
    std::memset(ResourcesEntryData(outside), 0xAB, kThreeEntries);
    ResourcesUseEntry(outside);
    EXPECT_EQ(ResourcesGetArenaUsage(), 0u) << "its bytes are not the arena's";
    for (uint32_t owner = 1; owner <= 5; ++owner) {
        ASSERT_NE(Allocate(owner), nullptr);
        ResourcesNextFrame();
    }
    EXPECT_EQ(gDestroyed, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(ResourcesEmptyArena(), 1);
    EXPECT_EQ(gDestroyed.size(), 5u);
    EXPECT_EQ(refs_[7], outside);
    EXPECT_FALSE(ResourcesEntryIsOutsideArena(Allocate(8)));
    EXPECT_EQ(ResourcesFreeEntry(outside), 1);
    EXPECT_EQ(gDestroyed.back(), 7u);
    EXPECT_EQ(refs_[7], nullptr);
}

TEST_F(ResourcesTest, EntryDataIsUsableAndAligned)
{
    ResourcesEntry* entry = ResourcesAllocate(9, nullptr, 100, nullptr);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ResourcesEntryData(entry)) % 16, 0u);
    std::memset(ResourcesEntryData(entry), 0xAB, 100);
    EXPECT_EQ(entry->size, 100u);
    EXPECT_EQ(entry->owner, 9u);
}

TEST_F(ResourcesTest, TooSmallArenaLeavesNoAllocator)
{
    EXPECT_EQ(ResourcesSetArenaSize(40), 0);
    EXPECT_EQ(TakeError(), (ErrorRecord{1, kErrorCoreArenaFull}));
    refs_[1] = reinterpret_cast<ResourcesEntry*>(this);
    EXPECT_EQ(Allocate(1, 1), nullptr);
    EXPECT_EQ(refs_[1], nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{1, kErrorCoreArenaFull}));
    // A later good size brings the allocator back.
    EXPECT_EQ(ResourcesSetArenaSize(4096), 1);
    EXPECT_NE(Allocate(1, 1), nullptr);
    EXPECT_EQ(ResourcesGetArenaSize(), 4096u);
}

TEST_F(ResourcesTest, SizeBeforeStartIsKeptForTheNextStart)
{
    EngineStop();
    EXPECT_EQ(ResourcesSetArenaSize(8192), 1);
    ASSERT_TRUE(EngineStart());
    EXPECT_EQ(ResourcesGetArenaSize(), 8192u);
    ASSERT_NE(Allocate(1, 4000), nullptr);
}

TEST(ResourcesMemoryTest, ArenaThatCannotBeAllocatedFailsRequests)
{
    CountingMemory::Reset();
    ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
    ErrorRecord e;
    ErrorGet(&e);
    CountingMemory::failAfter = 0;
    EXPECT_EQ(ResourcesSetArenaSize(1 << 20), 0);
    CountingMemory::failAfter = -1;
    ErrorGet(&e);
    EXPECT_EQ(e.code, kErrorOutOfMemory);
    EXPECT_EQ(ResourcesGetArenaSize(), 0u);
    EXPECT_EQ(ResourcesAllocate(1, nullptr, 1, nullptr), nullptr);
    EngineTestShutdown();
    EXPECT_EQ(CountingMemory::live, 0);
}

} // namespace
