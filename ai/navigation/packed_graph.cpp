#include "ai/navigation/packed_graph.h"

#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <bit>

namespace Zelk {

namespace {

bool IsSpecial(const CGraphArcData& data)
{
    return data.blocked == 1 || data.linkedObject != nullptr ||
           std::bit_cast<uint32_t>(data.cost) != std::bit_cast<uint32_t>(data.length);
}

} // namespace

CPackedArc CPackedGraph::Pack(const CGraphArc& arc)
{
    const CGraphArcData& data = arc.GetData();
    return CPackedArc{uint32_t(arc.GetTo()->GetIndex()) | (IsSpecial(data) ? kPackedArcSpecial : 0u),
                      data.length};
}

void CPackedGraph::NoteCostWritten(uint32_t entry, const CGraphArc& object)
{
    CPackedArc& arc = m_arcs[entry];
    arc.to = (arc.to & ~kPackedArcSpecial) | (IsSpecial(object.GetData()) ? kPackedArcSpecial : 0u);
}

int32_t CPackedGraph::RowOf(const CGraphNode& to, uint32_t entry) const
{
    // The entry's arc is one of the node's in-arcs: the one whose source's
    // row spans the entry (a few to look at, where a bisection of all the
    // rows would take a dozen steps or more).
    const CArcList& in = to.m_inArcs;
    for (int32_t i = 0; i < in.Count(); ++i) {
        const CGraphNode& from = *in[i]->GetFrom();
        const uint32_t rowStart = m_nodes[size_t(from.GetIndex())].firstArc & kPackedRowStartMask;
        if (entry - rowStart < uint32_t(from.GetOutArcCount()))
            return from.GetIndex();
    }
    return -1;
}

CGraphArc* CPackedGraph::ArcObject(const CGraphNode& from, uint32_t rowStart, uint32_t entry)
{
    return from.GetOutArcs()[entry - (rowStart & kPackedRowStartMask)];
}

void CPackedGraph::NoteEdited(CGraphNode& node)
{
    if (!m_valid)
        return;
    node.m_mark.edited = true;
    m_editedNodes.push_back(&node);
}

void CPackedGraph::NoteEdited(CGraphArc& arc)
{
    if (!m_valid)
        return;
    arc.m_mark.edited = true;
    m_editedArcs.push_back(&arc);
}

void CPackedGraph::Update(const CSpatialGraph& graph)
{
    if (!m_valid) {
        Rebuild(graph);
        return;
    }
    // While the copy stays valid no node or arc was deleted, so the noted
    // pointers are live.
    for (CGraphNode* node : m_editedNodes) {
        CPackedNode& packed = m_nodes[size_t(node->GetIndex())];
        packed.x = node->GetPosition().x;
        packed.y = node->GetPosition().y;
        packed.z = node->GetPosition().z;
        node->m_mark.edited = false;
    }
    for (CGraphArc* arc : m_editedArcs) {
        // The arc's entry is at its place among its from node's out-arcs.
        const CGraphNode& from = *arc->GetFrom();
        CGraphArc* const* row = from.GetOutArcs();
        const uint32_t place = uint32_t(std::find(row, row + from.GetOutArcCount(), arc) - row);
        CPackedArc& packed =
            m_arcs[(m_nodes[size_t(from.GetIndex())].firstArc & kPackedRowStartMask) + place];
        const uint32_t last = packed.to & kPackedArcLast;
        packed = Pack(*arc);
        packed.to |= last;
        arc->m_mark.edited = false;
    }
    m_editedNodes.clear();
    m_editedArcs.clear();
}

void CPackedGraph::Rebuild(const CSpatialGraph& graph)
{
    // The noted lists may name objects deleted since: dropped unread (every
    // live object's mark is reset below).
    m_editedNodes.clear();
    m_editedArcs.clear();
    const size_t nodeCount = size_t(graph.GetNodeArraySize());
    // Exactly the sizes needed, so that a rebuild neither reallocates nor
    // keeps room it will not use.
    m_nodes.clear();
    m_arcs.clear();
    m_nodes.shrink_to_fit();
    m_arcs.shrink_to_fit();
    m_nodes.resize(nodeCount);
    m_arcs.reserve(size_t(graph.GetArcCount()));
    for (size_t i = 0; i < nodeCount; ++i) {
        CGraphNode* node = graph.GetNode(int32_t(i));
        const uint32_t start = uint32_t(m_arcs.size());
        if (node == nullptr || node->GetOutArcCount() == 0)
            m_nodes[i] = CPackedNode{0.0f, 0.0f, 0.0f, start | kPackedRowEmpty};
        if (node == nullptr)
            continue;
        node->m_link.store = this;
        node->m_mark.edited = false;
        const CVec3& position = node->GetPosition();
        m_nodes[i].x = position.x;
        m_nodes[i].y = position.y;
        m_nodes[i].z = position.z;
        if (node->GetOutArcCount() == 0)
            continue;
        m_nodes[i].firstArc = start;
        CGraphArc* const* arcs = node->GetOutArcs();
        for (int32_t a = 0; a < node->GetOutArcCount(); ++a) {
            CGraphArc* arc = arcs[a];
            arc->m_mark.packed = true;
            arc->m_mark.edited = false;
            m_arcs.push_back(Pack(*arc));
        }
        m_arcs.back().to |= kPackedArcLast;
    }
    m_valid = true;
    ++m_layout;
}

} // namespace Zelk
