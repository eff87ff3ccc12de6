// The search's copy of a CSpatialGraph: the out-arcs of every node packed
// one after another in node-index order (end index, length, flags), beside
// the node positions, so that the A* search walks arrays instead of
// chasing node and arc objects.
//
// Keeping it true: the graph drops the copy whenever its layout changes
// (a node or arc placed, removed, deleted or renumbered; an out-arc list
// edited), and Update rebuilds it. A node or arc whose record is reached
// through its non-const GetData() is noted, and Update re-reads it: write
// records through GetData() each time rather than keeping the reference
// from one search to the next.
#pragma once

#include <cstdint>
#include <vector>

namespace Zelk {

class CGraphArc;
class CGraphNode;
class CSpatialGraph;

// One out-arc as the search reads it: the end's node index and the length.
// An arc that the search cannot take as it stands -- blocked, linked to a
// path object, or with a cost field other than its length -- carries
// kPackedArcSpecial in its end word, and the search reads its object. The
// last arc of a node's row carries kPackedArcLast.
struct CPackedArc
{
    uint32_t to;
    float length;
};
inline constexpr uint32_t kPackedArcSpecial = 0x80000000u;
inline constexpr uint32_t kPackedArcLast = 0x40000000u;
inline constexpr uint32_t kPackedArcIndexMask = 0x3fffffffu;
// Node indices the packed copy can hold (the end word keeps two flag bits).
inline constexpr int32_t kPackedMaxNodes = int32_t(kPackedArcIndexMask) + 1;

// One node as the search reads it: its position and where its out-arc row
// starts, in one 16-byte record, so that the load that prices a node also
// tells where its arcs are. The rows follow one another in node-index order,
// so the row starts never decrease (an entry's node is found by bisection);
// a node without out-arcs has kPackedRowEmpty set beside the start of the
// row after it.
struct CPackedNode
{
    float x, y, z;
    uint32_t firstArc;
};
inline constexpr uint32_t kPackedRowEmpty = 0x80000000u;
inline constexpr uint32_t kPackedRowStartMask = 0x7fffffffu;

class CPackedGraph;

// The packed copy a node stands in (none for a copied node until the graph's
// next rebuild).
struct CPackedLink
{
    CPackedGraph* store = nullptr;

    CPackedLink() = default;
    CPackedLink(const CPackedLink& /*other*/) {}
    CPackedLink& operator=(const CPackedLink& /*other*/) { return *this; }
};

// Whether an arc stands in its graph's packed copy (the copy its from node
// stands in), and whether a node or arc is noted for re-reading; cleared for
// a copy.
struct CPackedMark
{
    bool packed = false; // arcs only
    bool edited = false;

    CPackedMark() = default;
    CPackedMark(const CPackedMark& /*other*/) {}
    CPackedMark& operator=(const CPackedMark& /*other*/) { return *this; }
};

class CPackedGraph
{
  public:
    // Makes the copy equal to the graph: rebuilds it after a layout change,
    // else re-reads the noted nodes and arcs.
    void Update(const CSpatialGraph& graph);
    // The graph's layout changed: the next Update rebuilds.
    void Invalidate() { m_valid = false; }
    // A record may change: re-read at the next Update (nothing while the
    // copy awaits a rebuild, which reads everything).
    void NoteEdited(CGraphNode& node);
    void NoteEdited(CGraphArc& arc);
    // Changes with every rebuild: a search that began under another layout
    // cannot go on.
    uint32_t GetLayout() const { return m_layout; }

    // Node i's out-arcs are entries Nodes()[i].firstArc up to the one marked
    // kPackedArcLast, in out-arc order; indices run to the graph's highest
    // node index (empty slots have no arcs).
    const CPackedNode* Nodes() const { return m_nodes.data(); }
    const CPackedArc* Arcs() const { return m_arcs.data(); }
    // The index of the node whose row holds the entry, an arc into `to`;
    // -1 when none of to's in-arcs has it.
    int32_t RowOf(const CGraphNode& to, uint32_t entry) const;
    // The arc object of an entry of the given node's row (its out-arc at the
    // same place).
    static CGraphArc* ArcObject(const CGraphNode& from, uint32_t rowStart, uint32_t entry);
    // The search wrote the cost field of the entry's arc: re-marks it.
    void NoteCostWritten(uint32_t entry, const CGraphArc& arc);

  private:
    void Rebuild(const CSpatialGraph& graph);
    static CPackedArc Pack(const CGraphArc& arc);

    std::vector<CPackedNode> m_nodes; // per node index
    std::vector<CPackedArc> m_arcs;
    std::vector<CGraphNode*> m_editedNodes;
    std::vector<CGraphArc*> m_editedArcs;
    bool m_valid = false;
    uint32_t m_layout = 0;
};

} // namespace Zelk
