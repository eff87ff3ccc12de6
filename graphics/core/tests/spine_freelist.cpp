// Free lists: allocation across blocks, free and reuse, block release,
// purge, alignment, walks that free, static headers and unpooled mode.

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "graphics/core/freelist.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

class FreeListTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table()));
    }
    void TearDown() override
    {
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0) << "the memory module frees every list at term";
    }
};

TEST_F(FreeListTest, EleventhEntryOfTenPerBlockOpensASecondBlock)
{
    FreeList* list = FreeListCreate(16, 10, 0, 1, nullptr, 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(FreeListGetBlockCount(list), 1u);
    std::vector<char*> entries;
    for (int i = 0; i < 10; ++i) {
        entries.push_back(static_cast<char*>(FreeListAlloc(list, 0)));
        ASSERT_NE(entries.back(), nullptr);
    }
    EXPECT_EQ(FreeListGetBlockCount(list), 1u);
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(entries[i] - entries[i - 1], 16) << "entries follow each other in the block";
    }
    char* eleventh = static_cast<char*>(FreeListAlloc(list, 0));
    ASSERT_NE(eleventh, nullptr);
    EXPECT_EQ(FreeListGetBlockCount(list), 2u);
    for (char* entry : entries) {
        EXPECT_TRUE(eleventh < entry || eleventh >= entry + 16);
    }
    // The newest block is scanned first: the next entry follows the eleventh.
    EXPECT_EQ(static_cast<char*>(FreeListAlloc(list, 0)), eleventh + 16);
}

TEST_F(FreeListTest, FreedEntryIsReusedAndEmptyBlockIsFreed)
{
    FreeList* list = FreeListCreate(24, 4, 0, 1, nullptr, 0);
    void* a = FreeListAlloc(list, 0);
    void* b = FreeListAlloc(list, 0);
    ASSERT_EQ(FreeListFree(list, a), list);
    EXPECT_EQ(FreeListAlloc(list, 0), a);
    ASSERT_EQ(FreeListFree(list, a), list);
    ASSERT_EQ(FreeListFree(list, b), list);
    EXPECT_EQ(FreeListGetBlockCount(list), 0u) << "the block went with its last entry";
    EXPECT_NE(FreeListAlloc(list, 0), nullptr);
    EXPECT_EQ(FreeListGetBlockCount(list), 1u);
}

TEST_F(FreeListTest, FreeingAForeignPointerFails)
{
    FreeList* list = FreeListCreate(8, 4, 0, 1, nullptr, 0);
    FreeList* other = FreeListCreate(8, 4, 0, 1, nullptr, 0);
    void* entry = FreeListAlloc(other, 0);
    int local = 0;
    EXPECT_EQ(FreeListFree(list, entry), nullptr);
    EXPECT_EQ(FreeListFree(list, &local), nullptr);
    EXPECT_EQ(FreeListFree(other, entry), other);
}

TEST_F(FreeListTest, FreeingThePointerIntoAnEntryIsCaught)
{
    FreeList* list = FreeListCreate(16, 4, 0, 1, nullptr, 0);
    char* entry = static_cast<char*>(FreeListAlloc(list, 0));
    EXPECT_DEBUG_DEATH(FreeListFree(list, entry + 4), "start of an entry");
}

struct AlignmentCase
{
    uint32_t entrySize;
    uint32_t entriesPerBlock;
    uint32_t alignment;
    uint32_t expectedAlignment;
};

TEST_F(FreeListTest, EntriesAreAlignedAndClearOfTheBlockHeader)
{
    const AlignmentCase cases[] = {
        {1, 3, 0, 8},    {12, 10, 4, 8},   {33, 17, 0, 8},   {8, 64, 8, 8},
        {20, 9, 16, 16}, {100, 5, 32, 32}, {3, 100, 64, 64}, {36, 16, 0, 8},
    };
    for (const AlignmentCase& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.entrySize) + " align " + std::to_string(c.alignment));
        FreeList* list = FreeListCreate(c.entrySize, c.entriesPerBlock, c.alignment, 1, nullptr, 0);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->alignment, c.expectedAlignment);
        EXPECT_EQ(list->entrySize % c.expectedAlignment, 0u);
        EXPECT_GE(list->entrySize, c.entrySize);
        // Fill two blocks' worth with 0xFF: were the entries to overlap the
        // links or the bitmap, the list would lose track of its entries.
        std::vector<void*> entries;
        for (uint32_t i = 0; i < 2 * c.entriesPerBlock; ++i) {
            void* entry = FreeListAlloc(list, 0);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(entry) % c.expectedAlignment, 0u);
            std::memset(entry, 0xFF, c.entrySize);
            entries.push_back(entry);
        }
        EXPECT_EQ(std::set<void*>(entries.begin(), entries.end()).size(), entries.size());
        EXPECT_EQ(FreeListGetBlockCount(list), 2u);
        for (void* entry : entries) {
            ASSERT_EQ(FreeListFree(list, entry), list);
        }
        EXPECT_EQ(FreeListGetBlockCount(list), 0u);
        FreeListDestroy(list);
    }
}

TEST_F(FreeListTest, PurgeFreesOnlyEmptyBlocks)
{
    FreeList* full = FreeListCreate(16, 2, 0, 1, nullptr, 0);
    FreeListAlloc(full, 0);
    FreeListAlloc(full, 0);
    EXPECT_EQ(FreeListPurge(full), 0u);

    FreeList* spare = FreeListCreate(16, 2, 0, 3, nullptr, 0);
    void* used = FreeListAlloc(spare, 0);
    EXPECT_EQ(FreeListGetBlockCount(spare), 3u);
    EXPECT_EQ(FreeListPurge(spare), 2u * 16u);
    EXPECT_EQ(FreeListGetBlockCount(spare), 1u);
    EXPECT_EQ(FreeListFree(spare, used), spare);

    FreeList* more = FreeListCreate(8, 2, 0, 2, nullptr, 0);
    EXPECT_EQ(FreeListPurgeAll(), 2u * 8u);
    EXPECT_EQ(FreeListGetBlockCount(more), 0u);
}

TEST_F(FreeListTest, WithoutPreallocationAListOwnsNoBlockUntilUsed)
{
    FreeListSetPreallocate(false);
    FreeList* list = FreeListCreate(16, 8, 0, 4, nullptr, 0);
    FreeListSetPreallocate(true);
    EXPECT_EQ(FreeListGetBlockCount(list), 0u);
    EXPECT_NE(FreeListAlloc(list, 0), nullptr);
    EXPECT_EQ(FreeListGetBlockCount(list), 1u);
}

TEST_F(FreeListTest, StaticHeaderSurvivesDestroy)
{
    FreeList header;
    FreeList* list = FreeListCreate(16, 8, 0, 1, &header, 0);
    ASSERT_EQ(list, &header);
    EXPECT_EQ(FreeListGetFlags(list), kFreeListStaticHeader | kFreeListFreeEmptyBlocks);
    FreeListAlloc(list, 0);
    EXPECT_TRUE(FreeListDestroy(list));
    EXPECT_EQ(header.entrySize, 16u) << "caller storage is left alone";
}

TEST_F(FreeListTest, SetFlagsNeverSetsTheStaticBit)
{
    FreeList* list = FreeListCreate(16, 8, 0, 1, nullptr, 0);
    FreeListSetFlags(list, kFreeListStaticHeader | 0x10);
    EXPECT_EQ(FreeListGetFlags(list), kFreeListFreeEmptyBlocks | 0x10);
}

struct Walk
{
    FreeList* list;
    std::vector<void*> seen;
};

TEST_F(FreeListTest, WalkThatFreesEachEntrySeesEveryEntry)
{
    FreeList* list = FreeListCreate(16, 4, 0, 1, nullptr, 0);
    std::vector<void*> used;
    for (int i = 0; i < 10; ++i) {
        used.push_back(FreeListAlloc(list, 0));
    }
    FreeListFree(list, used[1]);
    FreeListFree(list, used[6]);
    Walk walk{list, {}};
    auto freeEach = [](void* entry, void* data) {
        auto* w = static_cast<Walk*>(data);
        w->seen.push_back(entry);
        FreeListFree(w->list, entry);
    };
    EXPECT_EQ(FreeListForAllUsed(list, freeEach, &walk), list);
    EXPECT_EQ(walk.seen.size(), 8u);
    EXPECT_EQ(FreeListGetBlockCount(list), 0u);
}

TEST_F(FreeListTest, ModuleCloseFreesListsNobodyDestroyed)
{
    for (int i = 0; i < 40; ++i) {
        FreeList* list = FreeListCreateSimple(32, 4, 0, 0);
        ASSERT_NE(list, nullptr);
        FreeListAlloc(list, 0);
    }
    // TearDown checks that nothing is left.
}

TEST_F(FreeListTest, FailedPreallocationReleasesTheHeader)
{
    int64_t live = CountingMemory::live;
    CountingMemory::failAfter = 1;
    EXPECT_EQ(FreeListCreate(16, 8, 0, 3, nullptr, 0), nullptr);
    CountingMemory::failAfter = -1;
    EXPECT_EQ(CountingMemory::live, live);
}

TEST_F(FreeListTest, BadSizesAreRefused)
{
    EXPECT_EQ(FreeListCreate(0, 8, 0, 1, nullptr, 0), nullptr);
    EXPECT_EQ(FreeListCreate(8, 0, 0, 1, nullptr, 0), nullptr);
    EXPECT_EQ(FreeListCreate(0x10000000, 0x100, 0, 1, nullptr, 0), nullptr);
}

class UnpooledFreeListTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table(), kEngineInitUnpooled));
    }
    void TearDown() override
    {
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0);
    }
};

TEST_F(UnpooledFreeListTest, EveryEntryIsItsOwnAllocation)
{
    FreeList* list = FreeListCreate(16, 8, 0, 4, nullptr, 0);
    EXPECT_EQ(FreeListGetBlockCount(list), 0u) << "no preallocation when unpooled";
    int64_t live = CountingMemory::live;
    void* entry = MemoryFreeListAlloc(list, 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(CountingMemory::live, live + 1);
    EXPECT_EQ(FreeListGetBlockCount(list), 0u);
    EXPECT_EQ(MemoryFreeListFree(list, entry), list);
    EXPECT_EQ(CountingMemory::live, live);
}

} // namespace
