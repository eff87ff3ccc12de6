#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "graphics/core/arena.h"

namespace {

struct Totals
{
    uint32_t usedTotal, freeTotal, largestUsed, largestFree, smallestUsed, smallestFree;
};

Totals Query(const Arena* arena)
{
    Totals t;
    ArenaQuery(arena, &t.usedTotal, &t.freeTotal, &t.largestUsed, &t.largestFree, &t.smallestUsed,
               &t.smallestFree);
    return t;
}

// An area whose first block header sits right after the record, so that the
// managed size is known: area bytes - 32 (record) - 32 (header).
class ArenaTest : public ::testing::Test
{
  protected:
    void Init(size_t dataBytes)
    {
        memory_.assign(dataBytes + 128, 0);
        auto* start =
            reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(memory_.data()) + 31) & ~uintptr_t(31));
        arena_ = reinterpret_cast<Arena*>(start);
        ASSERT_EQ(ArenaInit(arena_, 32 + 32 + dataBytes), 1);
        ASSERT_EQ(Query(arena_).freeTotal, dataBytes);
    }
    std::vector<char> memory_;
    Arena* arena_ = nullptr;
};

TEST_F(ArenaTest, InitRefusesAreasTooSmall)
{
    alignas(32) char area[256];
    auto* arena = reinterpret_cast<Arena*>(area);
    EXPECT_EQ(ArenaInit(arena, 64), 0);
    EXPECT_EQ(ArenaInit(arena, 95), 0);
    EXPECT_EQ(ArenaInit(arena, 96), 1);
    EXPECT_EQ(Query(arena).freeTotal, 32u);
}

TEST_F(ArenaTest, RequestsRoundToThirtyTwoBytes)
{
    Init(1024);
    void* a = ArenaAlloc(arena_, 1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 32, 0u);
    Totals t = Query(arena_);
    EXPECT_EQ(t.usedTotal, 32u);
    EXPECT_EQ(t.freeTotal, 1024u - 32 - 32);
    EXPECT_EQ(ArenaAlloc(arena_, 5000), nullptr);
}

// A free block larger than the request by more than 64 bytes is split; one
// within 64 bytes is taken whole.
TEST_F(ArenaTest, SplitRule)
{
    struct Case
    {
        uint32_t freeBlock, request;
        uint32_t usedSize, remainder; // remainder 0: no split
    } cases[] = {{224, 100, 128, 64}, {192, 100, 192, 0}, {256, 128, 128, 96},
                 {160, 1, 32, 96},    {96, 1, 96, 0},     {128, 32, 32, 64}};
    for (const Case& c : cases) {
        Init(2048);
        void* hole = ArenaAlloc(arena_, c.freeBlock);
        void* barrier = ArenaAlloc(arena_, 32);
        ASSERT_NE(barrier, nullptr);
        ArenaFree(hole);
        void* again = ArenaAlloc(arena_, c.request);
        ASSERT_EQ(again, hole) << "first fit takes the lowest block";
        Totals t = Query(arena_);
        EXPECT_EQ(t.largestUsed, c.usedSize) << c.freeBlock << "/" << c.request;
        EXPECT_EQ(t.smallestFree, c.remainder ? c.remainder : 2048u - c.freeBlock - 32 - 32 - 32)
            << c.freeBlock << "/" << c.request;
    }
}

TEST_F(ArenaTest, FreeMergesNeighbours)
{
    Init(1024);
    void* a = ArenaAlloc(arena_, 64);
    void* b = ArenaAlloc(arena_, 96);
    void* c = ArenaAlloc(arena_, 32);
    ASSERT_NE(c, nullptr);
    ArenaFree(a);
    ArenaFree(b); // merges with a: 64 + 32 + 96
    Totals t = Query(arena_);
    EXPECT_EQ(t.usedTotal, 32u);
    EXPECT_EQ(t.smallestFree, 64u + 32 + 96);
    ArenaFree(c); // merges with both sides: one block again
    t = Query(arena_);
    EXPECT_EQ(t.freeTotal, 1024u);
    EXPECT_EQ(t.largestFree, 1024u);
    EXPECT_EQ(t.smallestUsed, 0xFFFFFFFFu);
    EXPECT_EQ(ArenaAlloc(arena_, 1024), a);
}

TEST_F(ArenaTest, RoverFindsTheLowestFreeBlock)
{
    Init(2048);
    std::vector<void*> blocks;
    for (int i = 0; i < 5; ++i) {
        blocks.push_back(ArenaAlloc(arena_, 64));
    }
    ArenaFree(blocks[3]);
    ArenaFree(blocks[1]);
    EXPECT_EQ(arena_->rover, reinterpret_cast<ArenaBlock*>(static_cast<char*>(blocks[1]) - 32));
    EXPECT_EQ(ArenaAlloc(arena_, 64), blocks[1]);
    EXPECT_EQ(ArenaAlloc(arena_, 64), blocks[3]);
    void* tail = ArenaAlloc(arena_, 64);
    EXPECT_GT(tail, blocks[4]);
}

TEST_F(ArenaTest, ReallocShrinksGrowsAndMoves)
{
    Init(2048);
    auto* a = static_cast<char*>(ArenaAlloc(arena_, 256));
    std::memset(a, 0x5A, 256);
    // Shrinking by more than 64 bytes splits off the tail.
    EXPECT_EQ(ArenaRealloc(a, 100), a);
    EXPECT_EQ(Query(arena_).largestUsed, 128u);
    // Growing into the free block behind it stays in place.
    EXPECT_EQ(ArenaRealloc(a, 512), a);
    EXPECT_EQ(Query(arena_).largestUsed, 512u);
    // With a used neighbour the data moves, and its words are kept.
    void* neighbour = ArenaAlloc(arena_, 32);
    ASSERT_NE(neighbour, nullptr);
    auto* moved = static_cast<char*>(ArenaRealloc(a, 600));
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved, a);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(moved[i], 0x5A);
    }
    EXPECT_EQ(ArenaRealloc(moved, 4096), nullptr);
    EXPECT_EQ(Query(arena_).usedTotal, 608u + 32);
}

TEST_F(ArenaTest, CallocZeroesAndRefusesOverflow)
{
    Init(1024);
    auto* dirty = static_cast<char*>(ArenaAlloc(arena_, 128));
    std::memset(dirty, 0xFF, 128);
    ArenaFree(dirty);
    auto* zeroed = static_cast<char*>(ArenaCalloc(arena_, 4, 25));
    ASSERT_EQ(zeroed, dirty);
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(zeroed[i], 0);
    }
    EXPECT_EQ(ArenaCalloc(arena_, SIZE_MAX / 2, 4), nullptr);
}

} // namespace
