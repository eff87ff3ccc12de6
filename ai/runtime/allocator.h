// Allocators of the AI middleware.
//
// Every AI object is allocated through one process-wide pointer, the current
// allocator, and freed through the runtime's free function (AiFree). The family:
//  - CCallbackAllocator: over the host's allocate and free functions (the
//    default allocator, one per process);
//  - CBlockAllocator: a fixed arena handed out with a bump pointer (the heap
//    that the world installs); it frees only as a whole;
//  - CPoolAllocator: one arena carved into equal CPoolBlock bump allocators,
//    each recycled when everything allocated from it has been freed.
// Allocators chain (a failing allocator passes the request to the next one)
// and nest (an allocator whose arena came from another is that one's child,
// so a free finds the allocator that owns the address).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zelk {

/// Alignment of every block handed out by the bump allocators (bytes).
inline constexpr std::size_t kAiAllocAlign = alignof(std::max_align_t);

/// Rounds n up to the allocators' alignment.
constexpr std::size_t AiAlignUp(std::size_t n)
{
    return (n + kAiAllocAlign - 1) & ~(kAiAllocAlign - 1);
}

class CAllocator;
class CChainedAllocator;
class CCallbackAllocator;

// ---- Process-wide allocation state -------------------------------------------

/// The process-wide default allocator (a callback allocator).
CCallbackAllocator* AiGetDefaultAllocator();
/// The allocator that serves new AI objects.
CChainedAllocator* AiGetCurrentAllocator();
/// Makes a the current allocator; ignored when a is null.
void AiSetCurrentAllocator(CChainedAllocator* a);
/// The allocator whose Free takes back every released block (the default allocator once started).
CAllocator* AiGetRootAllocator();
/// Records the root allocator (the runtime does it at start-up when none is recorded).
void AiSetRootAllocator(CAllocator* a);

using AiAllocNoticeFn = void (*)(void* block, std::size_t size, void* allocator);
using AiReleaseNoticeFn = void (*)(void* block, void* allocator);
/// Installs the host's allocation and release notices (either may be null).
void AiSetAllocationNotices(AiAllocNoticeFn allocNotice, AiReleaseNoticeFn releaseNotice);

/// Allocates size bytes through the current allocator, then the allocation notice; null on failure.
void* AiAlloc(std::size_t size);
/// Releases p through the root allocator (null is ignored), then the release notice.
void AiFree(void* p);
/// Copies a NUL-terminated string through AiAlloc; null for null or on failure.
char* AiStrDup(const char* s);

/// Base of every AI object: operator new and delete go through AiAlloc and AiFree.
/// new yields null (no constructor runs) when the allocator fails.
class CAiObject
{
  public:
    virtual ~CAiObject() = default;
    static void* operator new(std::size_t size) noexcept { return AiAlloc(size); }
    static void operator delete(void* p) noexcept { AiFree(p); }
};

class CAllocator : public CAiObject
{
  public:
    /// maxChildren: capacity of the child table (0: no table, AddChild refuses).
    explicit CAllocator(uint32_t maxChildren);
    virtual ~CAllocator();
    CAllocator(const CAllocator&) = delete;
    CAllocator& operator=(const CAllocator&) = delete;

    /// Takes p back; returns the allocator that owns p, null when p is not this one's.
    virtual CAllocator* Free(void* p) = 0;
    /// Asks each child in insertion order to Free(p); the first non-null answer, else null.
    virtual CAllocator* FreeInChildren(void* p);
    /// Appends a child; false when there is no table or it is full.
    virtual bool AddChild(CAllocator* child);
    /// Removes the first entry holding child; false when absent.
    virtual bool RemoveChild(CAllocator* child);

    CAllocator* GetParent() const { return m_parent; }
    void SetParent(CAllocator* parent) { m_parent = parent; }
    uint32_t GetChildCount() const { return m_childCount; }

  protected:
    /// (Re)creates an empty child table of the given capacity.
    void CreateChildTable(uint32_t capacity);
    void DeleteChildTable();
    /// How the child table itself is allocated; the callback allocator uses its host functions.
    virtual void* TableAlloc(std::size_t size);
    virtual void TableFree(void* p);

    CAllocator* m_parent = nullptr;

  private:
    CAllocator** m_children = nullptr;
    uint32_t m_childCount = 0;
    uint32_t m_childCapacity = 0;
};

class CChainedAllocator : public CAllocator
{
  public:
    CChainedAllocator(uint32_t maxChildren, CChainedAllocator* next) : CAllocator(maxChildren), m_next(next)
    {
    }

    /// out = RawAlloc(size); on failure asks the next allocator. Returns the allocator
    /// that served the request, null (out null) when the whole chain failed.
    virtual CChainedAllocator* Alloc(std::size_t size, void** out);
    /// Allocates an arena for child from the first allocator of the chain (this one, then the
    /// next ones) that has room and can register child as its child; that allocator becomes
    /// child's parent. Null when none can.
    virtual void* AllocForChild(std::size_t size, CAllocator* child);
    virtual void* RawAlloc(std::size_t size) = 0;
    virtual void RawFree(void* p) = 0;

    CChainedAllocator* GetNext() const { return m_next; }

  protected:
    CChainedAllocator* m_next;
};

/// Host allocate and free functions (the default allocator).
class CCallbackAllocator : public CChainedAllocator
{
  public:
    using AllocateFn = void* (*)(std::size_t size);
    using FreeFn = void (*)(void* p);

    CCallbackAllocator() : CChainedAllocator(0, nullptr) {}
    ~CCallbackAllocator() override;

    /// Replaces the child table (capacity maxChildren) and the two functions.
    /// Without functions (null) the C library's malloc and free serve, so that
    /// configuration trees can be built before the runtime starts.
    void Setup(uint32_t maxChildren, AllocateFn allocate, FreeFn free);

    CAllocator* Free(void* p) override;
    void* RawAlloc(std::size_t size) override;
    void RawFree(void* p) override;

  protected:
    void* TableAlloc(std::size_t size) override { return RawAlloc(size); }
    void TableFree(void* p) override { RawFree(p); }

  private:
    AllocateFn m_allocate = nullptr;
    FreeFn m_free = nullptr;
};

/// A fixed arena handed out with a bump pointer; frees only as a whole.
class CBlockAllocator : public CChainedAllocator
{
  public:
    /// size is rounded up to the alignment; the arena comes from parent->AllocForChild.
    /// When that fails (or parent is null) the arena is empty and every request fails.
    CBlockAllocator(uint32_t size, CChainedAllocator* parent, uint32_t maxChildren);
    ~CBlockAllocator() override;

    CAllocator* Free(void* p) override;
    /// A request of 0 counts as 4; the bump offset advances to the next aligned offset.
    void* RawAlloc(std::size_t size) override;
    void RawFree(void*) override {}

    uint32_t GetSize() const { return m_size; }
    uint32_t GetUsed() const { return m_used; }
    void* GetBase() const { return m_base; }
    bool Owns(const void* p) const;

  protected:
    unsigned char* m_base = nullptr;
    uint32_t m_size = 0;
    uint32_t m_used = 0;
};

class CPoolAllocator;

/// One block of a pool: a bump allocator recycled when its use count returns to 0.
class CPoolBlock : public CBlockAllocator
{
  public:
    CPoolBlock(uint32_t size, CPoolAllocator* pool, CChainedAllocator* parent);

    CAllocator* Free(void* p) override;
    void* RawAlloc(std::size_t size) override;

    int32_t GetUseCount() const { return m_useCount; }
    CPoolAllocator* GetPool() const { return m_pool; }

  private:
    friend class CPoolAllocator;
    CPoolAllocator* m_pool;
    int32_t m_useCount = 0;
    bool m_taken = false;
};

/// count equal blocks of blockSize bytes carved from one arena of the parent.
class CPoolAllocator : public CAllocator
{
  public:
    CPoolAllocator(uint32_t blockSize, uint32_t count, CChainedAllocator* parent);
    ~CPoolAllocator() override;

    CAllocator* Free(void* p) override;
    /// Moves the first free block to the used blocks and returns it; null when none is free.
    CPoolBlock* TakeBlock();

    uint32_t GetBlockSize() const { return m_blockSize; }
    uint32_t GetFreeCount() const { return m_freeCount; }
    uint32_t GetUsedCount() const { return m_usedCount; }
    /// The free block at position i of the free list (0 = next to be taken), null beyond.
    CPoolBlock* GetFreeBlock(uint32_t i) const { return i < m_freeCount ? m_free[i] : nullptr; }

  private:
    friend class CPoolBlock;
    void ReturnBlock(CPoolBlock* block);

    uint32_t m_blockSize;
    uint32_t m_count;
    CBlockAllocator m_inner;
    CPoolBlock** m_blocks = nullptr; // every block, in arena order
    CPoolBlock** m_free = nullptr;   // free list, head first
    CPoolBlock** m_used = nullptr;   // used list, in taking order
    uint32_t m_freeCount = 0;
    uint32_t m_usedCount = 0;
};

} // namespace Zelk
