#include "ai/navigation/graph_block.h"

#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/allocator.h"

namespace Zelk {

namespace {

constexpr size_t kListEntrySize = sizeof(CGraphArc*);

// Each part of the block starts where the previous one ends.
static_assert(alignof(CGraphNode) <= kAiAllocAlign && sizeof(CGraphNode) % alignof(CGraphArc) == 0);
static_assert(sizeof(CGraphArc) % alignof(CGraphArc*) == 0);

} // namespace

bool CGraphBlock::Allocate(size_t nodes, size_t arcs, size_t listEntries)
{
    Release();
    const size_t nodeBytes = nodes * sizeof(CGraphNode);
    const size_t arcBytes = arcs * sizeof(CGraphArc);
    const size_t size = nodeBytes + arcBytes + listEntries * kListEntrySize;
    if (size == 0)
        return true;
    m_base = static_cast<unsigned char*>(AiAlloc(size));
    if (m_base == nullptr)
        return false;
    m_end = m_base + size;
    m_nextNode = m_base;
    m_nodesEnd = m_nextArc = m_base + nodeBytes;
    m_arcsEnd = m_nextList = m_nextArc + arcBytes;
    m_listsLeft = listEntries;
    return true;
}

void CGraphBlock::Release()
{
    AiFree(m_base);
    m_base = m_end = m_nextNode = m_nodesEnd = m_nextArc = m_arcsEnd = m_nextList = nullptr;
    m_listsLeft = 0;
}

CGraphNode* CGraphBlock::NewNode(const CGraphNodeData& record)
{
    if (m_nextNode == m_nodesEnd)
        return nullptr;
    // The global placement form: CAiObject's own operator new hides it.
    CGraphNode* node = ::new (m_nextNode) CGraphNode(record, this);
    m_nextNode += sizeof(CGraphNode);
    return node;
}

CGraphArc* CGraphBlock::NewArc(const CGraphArcData& record)
{
    if (m_nextArc == m_arcsEnd)
        return nullptr;
    CGraphArc* arc = ::new (m_nextArc) CGraphArc(record);
    m_nextArc += sizeof(CGraphArc);
    return arc;
}

void* CGraphBlock::do_allocate(size_t bytes, size_t alignment)
{
    const size_t entries = (bytes + kListEntrySize - 1) / kListEntrySize;
    if (alignment <= alignof(CGraphArc*) && entries <= m_listsLeft) {
        void* out = m_nextList;
        m_nextList += entries * kListEntrySize;
        m_listsLeft -= entries;
        return out;
    }
    return m_upstream->allocate(bytes, alignment);
}

void CGraphBlock::do_deallocate(void* p, size_t bytes, size_t alignment)
{
    if (!Holds(p))
        m_upstream->deallocate(p, bytes, alignment);
}

} // namespace Zelk
