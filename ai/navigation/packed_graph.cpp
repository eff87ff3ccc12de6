#include "ai/navigation/packed_graph.h"

#include "ai/navigation/spatial_graph.h"

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

void CPackedGraph::NoteCostWritten(uint32_t entry)
{
    const CGraphArc& object = *m_arcObjects[entry];
    CPackedArc& arc = m_arcs[entry];
    arc.to = (arc.to & ~kPackedArcSpecial) | (IsSpecial(object.GetData()) ? kPackedArcSpecial : 0u);
}

void CPackedGraph::NoteEdited(CGraphNode& node)
{
    if (!m_valid)
        return;
    node.m_link.edited = true;
    m_editedNodes.push_back(&node);
}

void CPackedGraph::NoteEdited(CGraphArc& arc)
{
    if (!m_valid)
        return;
    arc.m_link.edited = true;
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
        node->m_link.edited = false;
    }
    for (CGraphArc* arc : m_editedArcs) {
        CPackedArc& packed = m_arcs[size_t(arc->m_link.slot)];
        const uint32_t last = packed.to & kPackedArcLast;
        packed = Pack(*arc);
        packed.to |= last;
        arc->m_link.edited = false;
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
    m_nodes.assign(nodeCount, CPackedNode{0.0f, 0.0f, 0.0f, kPackedNoArcs});
    m_arcs.clear();
    m_arcObjects.clear();
    m_arcs.reserve(size_t(graph.GetArcCount()));
    m_arcObjects.reserve(size_t(graph.GetArcCount()));
    for (size_t i = 0; i < nodeCount; ++i) {
        CGraphNode* node = graph.GetNode(int32_t(i));
        if (node == nullptr)
            continue;
        node->m_link.store = this;
        node->m_link.edited = false;
        const CVec3& position = node->GetPosition();
        m_nodes[i] = CPackedNode{position.x, position.y, position.z,
                                 node->GetOutArcCount() > 0 ? uint32_t(m_arcs.size()) : kPackedNoArcs};
        CGraphArc* const* arcs = node->GetOutArcs();
        for (int32_t a = 0; a < node->GetOutArcCount(); ++a) {
            CGraphArc* arc = arcs[a];
            arc->m_link.store = this;
            arc->m_link.slot = int32_t(m_arcs.size());
            arc->m_link.edited = false;
            m_arcs.push_back(Pack(*arc));
            m_arcObjects.push_back(arc);
        }
        if (node->GetOutArcCount() > 0)
            m_arcs.back().to |= kPackedArcLast;
    }
    m_valid = true;
    ++m_layout;
}

} // namespace Zelk
