#include "graphics/core/pipeheap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include "graphics/core/error.h"
#include "graphics/core/pipeheapspan.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

/// The heap takes its memory through the engine's memory functions.
class PipelineHeapTest : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(EngineTestStart()); }
    void TearDown() override { EngineTestShutdown(); }
};

/// Walks every block and span of the heap and checks the structure: the span
/// chain links both ways, each block's spans tile it exactly, no two free
/// spans touch, and the free table lists exactly the free spans.
void CheckHeap(const PipelineHeap* heap)
{
    size_t freeSpans = 0;
    size_t blocks = 0;
    for (const PipelineHeapBlock* block = heap->blocks; block; block = block->next) {
        ++blocks;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block->start) % 128, 0u);
        auto* span = reinterpret_cast<const PipelineHeapSpan*>(block->start);
        const uint8_t* end = block->start + block->dataSize;
        bool prevFree = false;
        for (;;) {
            ASSERT_EQ(span->size % 32, 0u);
            auto* bytes = reinterpret_cast<const uint8_t*>(span);
            if (bytes + sizeof(PipelineHeapSpan) == end) { // the end marker
                EXPECT_EQ(span->size, 0u);
                EXPECT_EQ(span->isFree, 0u);
                break;
            }
            ASSERT_LT(bytes + sizeof(PipelineHeapSpan) + span->size, end);
            ASSERT_NE(span->next, nullptr);
            EXPECT_EQ(span->next->prev, span);
            EXPECT_EQ(reinterpret_cast<const uint8_t*>(span->next),
                      bytes + sizeof(PipelineHeapSpan) + span->size);
            if (span->isFree) {
                EXPECT_FALSE(prevFree) << "two free spans touch";
                ++freeSpans;
                ASSERT_LT(span->freeIndex, heap->freeCount);
                EXPECT_EQ(heap->freeTable[span->freeIndex].span, span);
                EXPECT_EQ(heap->freeTable[span->freeIndex].size, span->size);
            } else {
                EXPECT_EQ(span->freeIndex, kPipelineHeapNoFreeEntry);
            }
            prevFree = span->isFree != 0;
            span = span->next;
        }
    }
    EXPECT_EQ(freeSpans, heap->freeCount);
    // Following the chain from its head visits every block's spans once.
    size_t markers = 0;
    for (const PipelineHeapSpan* span = heap->firstSpan; span; span = span->next)
        markers += span->size == 0 && !span->isFree;
    EXPECT_EQ(markers, blocks);
}

TEST_F(PipelineHeapTest, CreateRoundsTheBlockSize)
{
    struct Case
    {
        uint32_t asked, made;
    } cases[] = {{0, 1024}, {100, 1024}, {1024, 1024}, {1025, 1056}, {4096, 4096}};
    for (const Case& c : cases) {
        PipelineHeap* heap = PipelineHeapCreate(c.asked);
        ASSERT_NE(heap, nullptr);
        EXPECT_EQ(heap->minimumBlockSize, c.made) << c.asked;
        EXPECT_EQ(PipelineHeapGetSize(heap), c.made);
        EXPECT_EQ(heap->freeCount, 1u);
        EXPECT_EQ(heap->dirty, 1u);
        CheckHeap(heap);
        PipelineHeapDestroy(heap);
    }
}

TEST_F(PipelineHeapTest, SmallAllocationsTakeWholeGranulesAndLeaveOneFreeSpan)
{
    PipelineHeap* heap = PipelineHeapCreate(100);
    auto* a = static_cast<uint8_t*>(PipelineHeapAlloc(heap, 1));
    auto* b = static_cast<uint8_t*>(PipelineHeapAlloc(heap, 1));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 32, 0u);
    EXPECT_EQ(b - a, 32 + 32) << "a 1-byte request takes one 32-byte granule after its header";
    EXPECT_EQ(heap->freeCount, 1u);
    EXPECT_EQ(PipelineHeapGetSize(heap), 1024u);
    CheckHeap(heap);
    PipelineHeapDestroy(heap);
}

TEST_F(PipelineHeapTest, RequestBeyondTheBlockSizeAddsAFittingBlock)
{
    PipelineHeap* heap = PipelineHeapCreate(1024);
    void* big = PipelineHeapAlloc(heap, 2000);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(PipelineHeapGetSize(heap), 1024u + 2016u + 96u);
    std::memset(big, 0xAB, 2000);
    CheckHeap(heap);
    PipelineHeapDestroy(heap);
}

TEST_F(PipelineHeapTest, FreeingNeighboursInAnyOrderMergesThem)
{
    const int orders[][3] = {{0, 2, 1}, {0, 1, 2}, {2, 1, 0}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}};
    for (const auto& order : orders) {
        PipelineHeap* heap = PipelineHeapCreate(4096);
        void* spans[3];
        for (void*& span : spans)
            span = PipelineHeapAlloc(heap, 300);
        EXPECT_EQ(heap->freeCount, 1u);
        for (int i : order) {
            PipelineHeapFree(heap, spans[i]);
            CheckHeap(heap);
        }
        EXPECT_EQ(heap->freeCount, 1u);
        EXPECT_EQ(heap->freeTable[0].size, 4096u - 64u) << "the block is one free span again";
        PipelineHeapDestroy(heap);
    }
}

TEST_F(PipelineHeapTest, ReallocGrowsInPlaceShrinksAndMoves)
{
    PipelineHeap* heap = PipelineHeapCreate(4096);
    auto* a = static_cast<uint8_t*>(PipelineHeapAlloc(heap, 64));
    for (int i = 0; i < 64; ++i)
        a[i] = uint8_t(i);
    // The free rest of the block follows: growing absorbs it in place.
    EXPECT_EQ(PipelineHeapRealloc(heap, a, 1000), a);
    CheckHeap(heap);
    // Shrinking by 256 or more gives the tail back.
    EXPECT_EQ(PipelineHeapRealloc(heap, a, 100), a);
    CheckHeap(heap);
    // A neighbour in use forces a move; the contents travel along.
    void* fence = PipelineHeapAlloc(heap, 32);
    ASSERT_NE(fence, nullptr);
    auto* moved = static_cast<uint8_t*>(PipelineHeapRealloc(heap, a, 3000));
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, a);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(moved[i], uint8_t(i));
    CheckHeap(heap);
    EXPECT_EQ(PipelineHeapRealloc(heap, nullptr, 10) != nullptr, true) << "null data allocates";
    CheckHeap(heap);
    PipelineHeapDestroy(heap);
}

TEST_F(PipelineHeapTest, ResetMakesEveryBlockOneFreeSpan)
{
    PipelineHeap* heap = PipelineHeapCreate(1024);
    for (int i = 0; i < 20; ++i)
        ASSERT_NE(PipelineHeapAlloc(heap, 200 + 50 * i), nullptr);
    uint64_t size = PipelineHeapGetSize(heap);
    EXPECT_GT(size, 1024u);
    EXPECT_EQ(PipelineHeapReset(heap), 1);
    EXPECT_EQ(heap->dirty, 0u);
    EXPECT_EQ(PipelineHeapGetSize(heap), size) << "a reset keeps the blocks";
    size_t blocks = 0;
    for (const PipelineHeapBlock* block = heap->blocks; block; block = block->next)
        ++blocks;
    EXPECT_EQ(heap->freeCount, blocks);
    CheckHeap(heap);
    ASSERT_NE(PipelineHeapAlloc(heap, 32), nullptr);
    EXPECT_EQ(heap->dirty, 1u);
    PipelineHeapDestroy(heap);
}

/// Deterministic generator for the random walk below.
struct Lcg
{
    uint32_t state;
    uint32_t Next(uint32_t bound)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
};

struct Live
{
    uint32_t size;
    uint8_t fill;
};

/// Live allocations never overlap and keep their contents.
void CheckLive(const std::map<uint8_t*, Live>& live)
{
    uint8_t* end = nullptr;
    for (const auto& [data, entry] : live) {
        ASSERT_EQ(reinterpret_cast<uintptr_t>(data) % 32, 0u);
        ASSERT_TRUE(end == nullptr || data >= end) << "allocations overlap";
        for (uint32_t i = 0; i < entry.size; ++i)
            ASSERT_EQ(data[i], entry.fill) << "contents changed";
        ASSERT_GE((reinterpret_cast<const PipelineHeapSpan*>(data) - 1)->size, entry.size);
        ASSERT_EQ((reinterpret_cast<const PipelineHeapSpan*>(data) - 1)->isFree, 0u);
        end = data + entry.size;
    }
}

TEST_F(PipelineHeapTest, OutOfMemoryFailsCleanlyAndKeepsTheHeapWhole)
{
    EngineTestShutdown();
    CountingMemory::Reset();
    ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
    PipelineHeap* heap = PipelineHeapCreate(1024);
    ASSERT_NE(heap, nullptr);
    void* kept = PipelineHeapAlloc(heap, 100);
    ASSERT_NE(kept, nullptr);
    std::memset(kept, 0x5A, 100);
    ErrorRecord record;
    ErrorGet(&record);

    CountingMemory::failAfter = 0;
    EXPECT_EQ(PipelineHeapAlloc(heap, 5000), nullptr) << "no block for a request beyond the free spans";
    EXPECT_EQ(PipelineHeapRealloc(heap, kept, 5000), nullptr);
    ErrorGet(&record);
    EXPECT_EQ(record.code, kErrorOutOfMemory);
    EXPECT_EQ(PipelineHeapCreate(1024), nullptr);
    // Frees that would need a bigger free table leave their span unlisted
    // until it merges with a listed neighbour.
    void* spans[40];
    CountingMemory::failAfter = -1;
    for (void*& span : spans)
        ASSERT_NE(span = PipelineHeapAlloc(heap, 32), nullptr);
    uint32_t capacity = heap->freeCapacity;
    CountingMemory::failAfter = 0;
    for (int i = 0; i < 40; i += 2)
        PipelineHeapFree(heap, spans[i]);
    EXPECT_EQ(heap->freeCapacity, capacity);
    EXPECT_EQ(heap->freeCount, capacity) << "the table is full; later frees stay unlisted";
    CountingMemory::failAfter = -1;
    for (int i = 1; i < 40; i += 2)
        PipelineHeapFree(heap, spans[i]);
    CheckHeap(heap);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(static_cast<uint8_t*>(kept)[i], 0x5A);
    ASSERT_EQ(PipelineHeapRealloc(heap, kept, 100), kept);
    PipelineHeapFree(heap, kept);
    CheckHeap(heap);
    size_t blocks = 0;
    for (const PipelineHeapBlock* block = heap->blocks; block; block = block->next)
        ++blocks;
    EXPECT_EQ(heap->freeCount, blocks) << "every block is one free span again";
    PipelineHeapDestroy(heap);
    EngineTestShutdown();
    EXPECT_EQ(CountingMemory::live, 0) << "every block given back";
}

TEST_F(PipelineHeapTest, RandomWorkMatchesAShadowOfWhatIsLive)
{
    PipelineHeap* heap = PipelineHeapCreate(2048);
    std::map<uint8_t*, Live> live;
    Lcg random{12345};
    uint8_t fill = 1;
    for (int step = 0; step < 3000; ++step) {
        uint32_t action = random.Next(10);
        if (action < 5 || live.empty()) {
            // Mostly small requests, now and then one beyond the block size.
            uint32_t size = random.Next(8) == 0 ? 1 + random.Next(6000) : 1 + random.Next(400);
            auto* data = static_cast<uint8_t*>(PipelineHeapAlloc(heap, size));
            ASSERT_NE(data, nullptr);
            std::memset(data, fill, size);
            live[data] = {size, fill++};
        } else {
            auto it = live.begin();
            std::advance(it, random.Next(uint32_t(live.size())));
            if (action < 8) {
                PipelineHeapFree(heap, it->first);
                live.erase(it);
            } else {
                uint32_t size = 1 + random.Next(1500);
                Live entry = it->second;
                auto* data = static_cast<uint8_t*>(PipelineHeapRealloc(heap, it->first, size));
                ASSERT_NE(data, nullptr);
                for (uint32_t i = 0; i < std::min(size, entry.size); ++i)
                    ASSERT_EQ(data[i], entry.fill) << "realloc lost contents";
                live.erase(it);
                std::memset(data, fill, size);
                live[data] = {size, fill++};
            }
        }
        if (step % 50 == 0 || step > 2950) {
            CheckLive(live);
            CheckHeap(heap);
        }
        if (step == 1500) { // drop everything half way, as an execution would
            ASSERT_EQ(PipelineHeapReset(heap), 1);
            live.clear();
            CheckHeap(heap);
        }
    }
    for (auto& [data, entry] : live)
        PipelineHeapFree(heap, data);
    CheckHeap(heap);
    size_t blocks = 0;
    for (const PipelineHeapBlock* block = heap->blocks; block; block = block->next)
        ++blocks;
    EXPECT_EQ(heap->freeCount, blocks) << "freeing everything leaves one free span per block";
    PipelineHeapDestroy(heap);
}

} // namespace
