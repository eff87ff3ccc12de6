// The one block of memory that a graph read from a file (or built at once)
// keeps its nodes, its arcs and their arc lists in, so that reading and
// clearing the graph call the allocator once instead of once per object. The objects in it are
// constructed and destroyed one by one like any others (the graph destroys
// them in place instead of deleting them); their memory returns only with
// the whole block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory_resource>

namespace Zelk {

class CGraphArc;
class CGraphNode;
struct CGraphArcData;
struct CGraphNodeData;

// Serves the arc lists of its nodes: from the block while its list entries
// last, then from the default resource (a list that outgrows its room after
// an edit). Only what came from the default resource is freed one by one.
class CGraphBlock final : public std::pmr::memory_resource
{
  public:
    CGraphBlock() = default;
    ~CGraphBlock() override { Release(); }
    CGraphBlock(const CGraphBlock&) = delete;
    CGraphBlock& operator=(const CGraphBlock&) = delete;

    // Room for the numbers of nodes, arcs and arc-list entries (through the
    // AI allocator, replacing an empty block); false when it fails.
    bool Allocate(size_t nodes, size_t arcs, size_t listEntries);
    // Frees the block: every object in it must have been destroyed.
    void Release();

    // A node or arc constructed in the next free place; null when all are taken.
    CGraphNode* NewNode(const CGraphNodeData& record);
    CGraphArc* NewArc(const CGraphArcData& record);
    // True when the object lives in this block (destroy it in place).
    bool Holds(const void* object) const
    {
        const auto at = reinterpret_cast<uintptr_t>(object);
        return at >= reinterpret_cast<uintptr_t>(m_base) && at < reinterpret_cast<uintptr_t>(m_end);
    }
    // Arc-list entries not handed out yet.
    size_t GetListEntriesLeft() const { return m_listsLeft; }

  private:
    void* do_allocate(size_t bytes, size_t alignment) override;
    void do_deallocate(void* p, size_t bytes, size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override
    {
        return this == &other;
    }

    unsigned char* m_base = nullptr;
    unsigned char* m_end = nullptr;
    unsigned char* m_nextNode = nullptr;
    unsigned char* m_nodesEnd = nullptr;
    unsigned char* m_nextArc = nullptr;
    unsigned char* m_arcsEnd = nullptr;
    unsigned char* m_nextList = nullptr;
    size_t m_listsLeft = 0;
    std::pmr::memory_resource* m_upstream = std::pmr::get_default_resource();
};

} // namespace Zelk
