#include "ai/runtime/allocator.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace Zelk {

namespace {

struct AllocationState
{
    CChainedAllocator* current = nullptr;
    CAllocator* root = nullptr;
    AiAllocNoticeFn allocNotice = nullptr;
    AiReleaseNoticeFn releaseNotice = nullptr;
};

AllocationState& State()
{
    static AllocationState state;
    return state;
}

} // namespace

CCallbackAllocator* AiGetDefaultAllocator()
{
    static CCallbackAllocator defaultAllocator;
    return &defaultAllocator;
}

CChainedAllocator* AiGetCurrentAllocator()
{
    CChainedAllocator* current = State().current;
    return current ? current : AiGetDefaultAllocator();
}

void AiSetCurrentAllocator(CChainedAllocator* a)
{
    if (a) {
        State().current = a;
    }
}

CAllocator* AiGetRootAllocator()
{
    return State().root;
}

void AiSetRootAllocator(CAllocator* a)
{
    State().root = a;
}

void AiSetAllocationNotices(AiAllocNoticeFn allocNotice, AiReleaseNoticeFn releaseNotice)
{
    State().allocNotice = allocNotice;
    State().releaseNotice = releaseNotice;
}

void* AiAlloc(std::size_t size)
{
    void* out = nullptr;
    CChainedAllocator* served = AiGetCurrentAllocator()->Alloc(size, &out);
    if (State().allocNotice) {
        State().allocNotice(out, size, served);
    }
    return out;
}

void AiFree(void* p)
{
    if (!p) {
        return;
    }
    CAllocator* root = State().root ? State().root : AiGetDefaultAllocator();
    CAllocator* owner = root->Free(p);
    if (State().releaseNotice) {
        State().releaseNotice(p, owner);
    }
}

char* AiStrDup(const char* s)
{
    if (!s) {
        return nullptr;
    }
    std::size_t n = std::strlen(s) + 1;
    char* copy = static_cast<char*>(AiAlloc(n));
    if (copy) {
        std::memcpy(copy, s, n);
    }
    return copy;
}

// ---- CAllocator ---------------------------------------------------------------

CAllocator::CAllocator(uint32_t maxChildren)
{
    CreateChildTable(maxChildren);
}

CAllocator::~CAllocator()
{
    DeleteChildTable();
}

void* CAllocator::TableAlloc(std::size_t size)
{
    return AiAlloc(size);
}

void CAllocator::TableFree(void* p)
{
    AiFree(p);
}

void CAllocator::CreateChildTable(uint32_t capacity)
{
    DeleteChildTable();
    if (capacity == 0) {
        return;
    }
    m_children = static_cast<CAllocator**>(TableAlloc(sizeof(CAllocator*) * capacity));
    m_childCapacity = m_children ? capacity : 0;
}

void CAllocator::DeleteChildTable()
{
    if (m_children) {
        TableFree(m_children);
    }
    m_children = nullptr;
    m_childCount = 0;
    m_childCapacity = 0;
}

CAllocator* CAllocator::FreeInChildren(void* p)
{
    for (uint32_t i = 0; i < m_childCount; ++i) {
        if (CAllocator* owner = m_children[i]->Free(p)) {
            return owner;
        }
    }
    return nullptr;
}

bool CAllocator::AddChild(CAllocator* child)
{
    if (!m_children || m_childCount == m_childCapacity) {
        return false;
    }
    m_children[m_childCount++] = child;
    return true;
}

bool CAllocator::RemoveChild(CAllocator* child)
{
    for (uint32_t i = 0; i < m_childCount; ++i) {
        if (m_children[i] == child) {
            std::memmove(m_children + i, m_children + i + 1, sizeof(CAllocator*) * (m_childCount - i - 1));
            --m_childCount;
            return true;
        }
    }
    return false;
}

// ---- CChainedAllocator --------------------------------------------------------

CChainedAllocator* CChainedAllocator::Alloc(std::size_t size, void** out)
{
    for (CChainedAllocator* a = this; a; a = a->m_next) {
        *out = a->RawAlloc(size);
        if (*out) {
            return a;
        }
    }
    *out = nullptr;
    return nullptr;
}

void* CChainedAllocator::AllocForChild(std::size_t size, CAllocator* child)
{
    for (CChainedAllocator* a = this; a; a = a->m_next) {
        void* arena = a->RawAlloc(size);
        if (!arena) {
            continue;
        }
        // A child that its parent cannot list would never be found by a free, which would
        // then hand its addresses to the wrong allocator: try the next allocator instead.
        if (!a->AddChild(child)) {
            a->RawFree(arena);
            continue;
        }
        child->SetParent(a);
        return arena;
    }
    return nullptr;
}

// ---- CCallbackAllocator -------------------------------------------------------

CCallbackAllocator::~CCallbackAllocator()
{
    DeleteChildTable();
}

void CCallbackAllocator::Setup(uint32_t maxChildren, AllocateFn allocate, FreeFn free)
{
    // The old table goes back through the old functions.
    DeleteChildTable();
    m_allocate = allocate;
    m_free = free;
    CreateChildTable(maxChildren);
}

CAllocator* CCallbackAllocator::Free(void* p)
{
    if (CAllocator* owner = FreeInChildren(p)) {
        return owner;
    }
    RawFree(p);
    return this;
}

void* CCallbackAllocator::RawAlloc(std::size_t size)
{
    return m_allocate ? m_allocate(size) : std::malloc(size);
}

void CCallbackAllocator::RawFree(void* p)
{
    if (m_free) {
        m_free(p);
    } else if (!m_allocate) {
        std::free(p);
    }
}

// ---- CBlockAllocator ----------------------------------------------------------

CBlockAllocator::CBlockAllocator(uint32_t size, CChainedAllocator* parent, uint32_t maxChildren)
    : CChainedAllocator(maxChildren, parent)
{
    std::size_t rounded = AiAlignUp(size);
    if (parent && rounded <= UINT32_MAX) {
        m_base = static_cast<unsigned char*>(parent->AllocForChild(rounded, this));
    }
    m_size = m_base ? static_cast<uint32_t>(rounded) : 0;
}

CBlockAllocator::~CBlockAllocator()
{
    if (m_parent) {
        // Only AllocForChild sets a block allocator's parent, and it is always chained.
        auto* parent = static_cast<CChainedAllocator*>(m_parent);
        parent->RawFree(m_base);
        parent->RemoveChild(this);
    }
}

bool CBlockAllocator::Owns(const void* p) const
{
    auto* b = static_cast<const unsigned char*>(p);
    return m_base && b >= m_base && b < m_base + m_size;
}

void* CBlockAllocator::RawAlloc(std::size_t n)
{
    if (n == 0) {
        n = 4;
    }
    // Compare against what is left rather than used + n, which could wrap.
    if (n > m_size - m_used) {
        return nullptr;
    }
    void* p = m_base + m_used;
    std::size_t end = AiAlignUp(m_used + n);
    m_used = end > m_size ? m_size : static_cast<uint32_t>(end);
    return p;
}

CAllocator* CBlockAllocator::Free(void* p)
{
    if (!Owns(p)) {
        return nullptr;
    }
    if (CAllocator* owner = FreeInChildren(p)) {
        return owner;
    }
    return this;
}

// ---- CPoolBlock ---------------------------------------------------------------

CPoolBlock::CPoolBlock(uint32_t size, CPoolAllocator* pool, CChainedAllocator* parent)
    : CBlockAllocator(size, parent, 0), m_pool(pool)
{
}

void* CPoolBlock::RawAlloc(std::size_t size)
{
    // Counted here only: Alloc goes through RawAlloc, so every allocation counts once.
    void* p = CBlockAllocator::RawAlloc(size);
    if (p) {
        ++m_useCount;
    }
    return p;
}

CAllocator* CPoolBlock::Free(void* p)
{
    if (!Owns(p)) {
        return nullptr;
    }
    if (m_useCount > 0 && --m_useCount == 0) {
        m_used = 0;
        m_pool->ReturnBlock(this);
    }
    return this;
}

// ---- CPoolAllocator -----------------------------------------------------------

namespace {

uint32_t PoolArenaSize(uint32_t blockSize, uint32_t count)
{
    uint64_t perBlock = AiAlignUp(blockSize) + AiAlignUp(sizeof(CPoolBlock));
    uint64_t total = perBlock * count;
    return total > UINT32_MAX - kAiAllocAlign ? 0 : static_cast<uint32_t>(total);
}

} // namespace

CPoolAllocator::CPoolAllocator(uint32_t blockSize, uint32_t count, CChainedAllocator* parent)
    : CAllocator(0), m_blockSize(static_cast<uint32_t>(AiAlignUp(blockSize))), m_count(0),
      m_inner(PoolArenaSize(blockSize, count), parent, count)
{
    if (count == 0 || m_inner.GetSize() == 0) {
        return;
    }
    std::size_t table = sizeof(CPoolBlock*) * count;
    m_blocks = static_cast<CPoolBlock**>(AiAlloc(table));
    m_free = static_cast<CPoolBlock**>(AiAlloc(table));
    m_used = static_cast<CPoolBlock**>(AiAlloc(table));
    if (!m_blocks || !m_free || !m_used) {
        return;
    }
    // Each block object and its arena sit in the inner arena, object first.
    for (uint32_t i = 0; i < count; ++i) {
        void* where = m_inner.RawAlloc(sizeof(CPoolBlock));
        if (!where) {
            break;
        }
        auto* block = ::new (where) CPoolBlock(m_blockSize, this, &m_inner);
        m_blocks[m_count++] = block;
        m_free[m_freeCount++] = block;
    }
}

CPoolAllocator::~CPoolAllocator()
{
    for (uint32_t i = m_count; i-- > 0;) {
        m_blocks[i]->~CPoolBlock(); // placement-constructed in the inner arena
    }
    AiFree(m_blocks);
    AiFree(m_free);
    AiFree(m_used);
}

CAllocator* CPoolAllocator::Free(void* p)
{
    return m_inner.Free(p);
}

CPoolBlock* CPoolAllocator::TakeBlock()
{
    if (m_freeCount == 0) {
        return nullptr;
    }
    CPoolBlock* block = m_free[0];
    std::memmove(m_free, m_free + 1, sizeof(CPoolBlock*) * (m_freeCount - 1));
    --m_freeCount;
    m_used[m_usedCount++] = block;
    block->m_taken = true;
    return block;
}

void CPoolAllocator::ReturnBlock(CPoolBlock* block)
{
    if (!block->m_taken) {
        return;
    }
    for (uint32_t i = 0; i < m_usedCount; ++i) {
        if (m_used[i] == block) {
            std::memmove(m_used + i, m_used + i + 1, sizeof(CPoolBlock*) * (m_usedCount - i - 1));
            --m_usedCount;
            break;
        }
    }
    block->m_taken = false;
    m_free[m_freeCount++] = block;
}

} // namespace Zelk
