#include "ai/runtime/allocator.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace Zelk {
namespace {

class AllocatorTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        AiHostInterface block;
        m_host.Fill(block);
        ASSERT_EQ(AiEngineInitialize(&block), 1);
    }
    void TearDown() override
    {
        AiEngineTerminate();
        EXPECT_EQ(m_host.GetLiveBlocks(), 0);
    }
    CTestHost m_host;
};

std::size_t Offset(const CBlockAllocator& a, const void* p)
{
    return static_cast<const unsigned char*>(p) - static_cast<const unsigned char*>(a.GetBase());
}

TEST_F(AllocatorTest, BlockAllocatorBumpsAlignedOffsetsAndRefusesPastTheEnd)
{
    const std::size_t u = kAiAllocAlign;
    CBlockAllocator block(100, AiGetDefaultAllocator(), 0);
    ASSERT_EQ(block.GetSize(), AiAlignUp(100));

    void* a = block.RawAlloc(24);
    void* b = block.RawAlloc(1);
    void* c = block.RawAlloc(0); // counts as 4
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(Offset(block, a), 0u);
    EXPECT_EQ(Offset(block, b), AiAlignUp(24));
    EXPECT_EQ(Offset(block, c), AiAlignUp(24) + u);
    EXPECT_EQ(block.GetUsed(), AiAlignUp(24) + 2 * u);

    // What is left fits exactly; then everything is refused, also sizes that would wrap.
    std::size_t left = block.GetSize() - block.GetUsed();
    EXPECT_NE(block.RawAlloc(left), nullptr);
    EXPECT_EQ(block.RawAlloc(1), nullptr);
    EXPECT_EQ(block.RawAlloc(UINT32_MAX), nullptr);
    EXPECT_EQ(block.RawAlloc(SIZE_MAX), nullptr);
}

TEST_F(AllocatorTest, BlockAllocatorOfExactSizeTakesOneRequestOfThatSize)
{
    CBlockAllocator block(104, AiGetDefaultAllocator(), 0);
    EXPECT_NE(block.RawAlloc(block.GetSize()), nullptr);
    EXPECT_EQ(block.RawAlloc(1), nullptr);
}

TEST_F(AllocatorTest, ChainPassesAFailedRequestToTheNextAllocator)
{
    CBlockAllocator block(32, AiGetDefaultAllocator(), 0);
    void* out = nullptr;
    EXPECT_EQ(block.Alloc(16, &out), &block);
    CChainedAllocator* served = block.Alloc(4096, &out);
    EXPECT_EQ(served, AiGetDefaultAllocator());
    ASSERT_NE(out, nullptr);
    AiFree(out); // not in the arena: goes to the host
}

TEST_F(AllocatorTest, ArenaComesFromAnAllocatorThatCanListTheChild)
{
    CBlockAllocator noTable(1024, AiGetDefaultAllocator(), 0);
    CBlockAllocator child(64, &noTable, 0);
    ASSERT_EQ(child.GetSize(), AiAlignUp(64));
    EXPECT_EQ(child.GetParent(), AiGetDefaultAllocator()); // noTable cannot list it
    void* p = child.RawAlloc(8);
    EXPECT_EQ(AiGetDefaultAllocator()->Free(p), &child);
}

TEST_F(AllocatorTest, HeapServesObjectsAndFreeFindsTheOwner)
{
    CBlockAllocator* heap = AiInstallHeapAllocator(4096, 100);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(AiGetCurrentAllocator(), heap);
    EXPECT_EQ(AiGetHeapSize(), AiAlignUp(4096));
    void* p = AiAlloc(40);
    ASSERT_TRUE(heap->Owns(p));
    EXPECT_EQ(AiGetHeapUsed(), AiAlignUp(40));
    EXPECT_EQ(AiGetDefaultAllocator()->Free(p), heap); // freeing inside a heap reclaims nothing
    long before = m_host.GetLiveBlocks();
    AiRemoveHeapAllocator();
    EXPECT_EQ(m_host.GetLiveBlocks(), before - 3); // the arena, its child table and the heap object
    EXPECT_EQ(AiGetCurrentAllocator(), AiGetDefaultAllocator());
    EXPECT_EQ(AiGetHeapAllocator(), nullptr);
}

TEST_F(AllocatorTest, PoolBlockIsReusedOnceEverythingInItIsFreed)
{
    CPoolAllocator* pool = AiCreatePoolAllocator(256, 3);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(pool->GetFreeCount(), 3u);

    CPoolBlock* first = AiPoolAllocatorTakeBlock(pool);
    CPoolBlock* second = AiPoolAllocatorTakeBlock(pool);
    ASSERT_TRUE(first && second && first != second);
    EXPECT_EQ(pool->GetFreeCount(), 1u);

    // Two allocations from the first block: counted once each.
    void* out = nullptr;
    ASSERT_EQ(first->Alloc(32, &out), first);
    void* a = out;
    ASSERT_EQ(first->Alloc(32, &out), first);
    void* b = out;
    EXPECT_EQ(first->GetUseCount(), 2);

    AiFree(a); // the runtime's free finds the block through the pool's arena
    EXPECT_EQ(first->GetUseCount(), 1);
    EXPECT_EQ(pool->GetFreeCount(), 1u);
    AiFree(b);
    EXPECT_EQ(first->GetUseCount(), 0);
    EXPECT_EQ(first->GetUsed(), 0u);
    ASSERT_EQ(pool->GetFreeCount(), 2u);
    EXPECT_EQ(pool->GetFreeBlock(1), first); // back at the tail of the free list

    AiPoolAllocatorTakeBlock(pool);
    EXPECT_EQ(AiPoolAllocatorTakeBlock(pool), first);
    EXPECT_EQ(AiPoolAllocatorTakeBlock(pool), nullptr); // exhausted
    EXPECT_EQ(AiPoolAllocatorTakeBlock(nullptr), nullptr);
    AiDeleteAllocator(pool);
}

TEST_F(AllocatorTest, FullPoolBlockPassesRequestsDownTheChain)
{
    CPoolAllocator* pool = AiCreatePoolAllocator(64, 1);
    CPoolBlock* block = AiPoolAllocatorTakeBlock(pool);
    ASSERT_NE(block, nullptr);
    void* out = nullptr;
    EXPECT_EQ(block->Alloc(64, &out), block);
    CChainedAllocator* served = block->Alloc(64, &out);
    EXPECT_NE(served, block);
    EXPECT_NE(out, nullptr);
    AiFree(out);
    AiDeleteAllocator(pool);
}

TEST_F(AllocatorTest, ObjectsComeFromTheCurrentAllocatorAndFailCleanly)
{
    struct Obj : CAiObject
    {
        char payload[200];
    };
    CBlockAllocator* heap = AiInstallHeapAllocator(256, 4);
    ASSERT_NE(heap, nullptr);
    Obj* a = new Obj;
    EXPECT_TRUE(heap->Owns(a));
    delete a;
    // The heap is full for a second object, which the default allocator then serves.
    Obj* b = new Obj;
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(heap->Owns(b));
    delete b;
    AiRemoveHeapAllocator();
}

} // namespace
} // namespace Zelk
