#include "ai/navigation/spatial_graph.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"

#include <algorithm>
#include <cmath>

namespace Zelk {

namespace {

// Bytes of one node record (x, y, z, in-arc count, out-arc count) and one
// arc record (from index, to index) of the graph file.
constexpr uint64_t kNodeRecordSize = 20;
constexpr uint64_t kArcRecordSize = 8;

float Distance(const CVec3& a, const CVec3& b)
{
    return std::sqrt(CVec3::SquaredDistance(a, b));
}

// Removes the first entry that `matches`; false when none does.
bool RemoveFromList(CArcList& list, auto matches)
{
    for (int32_t i = 0; i < list.Count(); ++i)
        if (matches(list[i])) {
            list.RemoveAt(i);
            return true;
        }
    return false;
}

// Grows the slot array so that the index is addressable: 64 slots first,
// then doubling.
bool ReserveSlots(auto& slots, int32_t index)
{
    if (index < 0)
        return false;
    size_t capacity = slots.size();
    while (size_t(index) >= capacity)
        capacity = capacity == 0 ? 64 : capacity * 2;
    slots.resize(capacity, nullptr);
    return true;
}

} // namespace

void CArcList::Reserve(int32_t n, std::pmr::memory_resource* memory)
{
    if (n <= m_capacity)
        return;
    auto* entries =
        static_cast<CGraphArc**>(memory->allocate(sizeof(CGraphArc*) * size_t(n), alignof(CGraphArc*)));
    std::copy_n(m_entries, m_count, entries);
    const int32_t count = m_count;
    Release(memory);
    m_entries = entries;
    m_count = count;
    m_capacity = n;
}

void CArcList::Append(CGraphArc* arc, std::pmr::memory_resource* memory)
{
    if (m_count == m_capacity)
        Reserve(m_capacity == 0 ? 4 : 2 * m_capacity, memory);
    m_entries[m_count++] = arc;
}

void CArcList::RemoveAt(int32_t i)
{
    std::copy(m_entries + i + 1, m_entries + m_count, m_entries + i);
    --m_count;
}

void CArcList::Assign(const CArcList& other, std::pmr::memory_resource* memory)
{
    m_count = 0;
    Reserve(other.m_capacity, memory);
    std::copy_n(other.m_entries, other.m_count, m_entries);
    m_count = other.m_count;
}

void CArcList::Release(std::pmr::memory_resource* memory)
{
    if (m_entries != nullptr)
        memory->deallocate(m_entries, sizeof(CGraphArc*) * size_t(m_capacity), alignof(CGraphArc*));
    m_entries = nullptr;
    m_count = m_capacity = 0;
}

CGraphNode::CGraphNode(const CGraphNode& other)
    : CAiObject(other), m_index(other.m_index), m_data(other.m_data)
{
    m_outArcs.Assign(other.m_outArcs, m_lists);
    m_inArcs.Assign(other.m_inArcs, m_lists);
}

CGraphNode::~CGraphNode()
{
    m_outArcs.Release(m_lists);
    m_inArcs.Release(m_lists);
}

CGraphNode& CGraphNode::operator=(const CGraphNode& other)
{
    if (this == &other)
        return *this;
    m_index = other.m_index;
    m_outArcs.Assign(other.m_outArcs, m_lists);
    m_inArcs.Assign(other.m_inArcs, m_lists);
    m_data = other.m_data;
    LayoutChanged();
    return *this;
}

CGraphArc& CGraphArc::operator=(const CGraphArc& other)
{
    if (m_mark.packed)
        m_from->m_link.store->Invalidate();
    m_data = other.m_data;
    m_from = other.m_from;
    m_to = other.m_to;
    m_index = other.m_index;
    return *this;
}

CGraphArc* CGraphNode::GetOutArc(int32_t i) const
{
    return i >= 0 && i < GetOutArcCount() ? m_outArcs[i] : nullptr;
}

CGraphArc* CGraphNode::GetInArc(int32_t i) const
{
    return i >= 0 && i < GetInArcCount() ? m_inArcs[i] : nullptr;
}

bool CGraphNode::AddOutArc(CGraphArc* arc)
{
    LayoutChanged();
    m_outArcs.Append(arc, m_lists);
    return true;
}

bool CGraphNode::AddInArc(CGraphArc* arc)
{
    m_inArcs.Append(arc, m_lists);
    return true;
}

bool CGraphNode::RemoveOutArc(const CGraphArc* arc)
{
    LayoutChanged();
    return RemoveFromList(m_outArcs, [arc](const CGraphArc* a) { return a == arc; });
}
bool CGraphNode::RemoveInArc(const CGraphArc* arc)
{
    return RemoveFromList(m_inArcs, [arc](const CGraphArc* a) { return a == arc; });
}
bool CGraphNode::RemoveOutArcByIndex(int32_t arcIndex)
{
    LayoutChanged();
    return RemoveFromList(m_outArcs, [arcIndex](const CGraphArc* a) { return a->GetIndex() == arcIndex; });
}
bool CGraphNode::RemoveInArcByIndex(int32_t arcIndex)
{
    return RemoveFromList(m_inArcs, [arcIndex](const CGraphArc* a) { return a->GetIndex() == arcIndex; });
}
bool CGraphNode::ReserveOutArcs(int32_t n)
{
    if (n <= 0)
        return false;
    m_outArcs.Reserve(n, m_lists);
    return true;
}
bool CGraphNode::ReserveInArcs(int32_t n)
{
    if (n <= 0)
        return false;
    m_inArcs.Reserve(n, m_lists);
    return true;
}

CSpatialGraph::~CSpatialGraph()
{
    // Clear calls the virtual delete operations, which at this point are this
    // class's own; a derived class that overrides them clears in its destructor.
    Clear();
}

CGraphNode* CSpatialGraph::GetNode(int32_t index) const
{
    return index >= 0 && index <= m_highestNode ? m_nodes[size_t(index)] : nullptr;
}

CGraphArc* CSpatialGraph::GetArc(int32_t index) const
{
    return index >= 0 && index <= m_highestArc ? m_arcs[size_t(index)] : nullptr;
}

CPackedGraph& CSpatialGraph::GetPacked()
{
    m_packed.Update(*this);
    return m_packed;
}

bool CSpatialGraph::ReserveNodes(int32_t index)
{
    return ReserveSlots(m_nodes, index);
}
bool CSpatialGraph::ReserveArcs(int32_t index)
{
    return ReserveSlots(m_arcs, index);
}

bool CSpatialGraph::SetNodeCapacity(int32_t n)
{
    if (n < m_highestNode + 1)
        return false;
    m_nodes.resize(size_t(n), nullptr);
    m_nodes.shrink_to_fit();
    return true;
}

bool CSpatialGraph::SetArcCapacity(int32_t n)
{
    if (n < m_highestArc + 1)
        return false;
    m_arcs.resize(size_t(n), nullptr);
    m_arcs.shrink_to_fit();
    return true;
}

bool CSpatialGraph::ReserveBlock(size_t nodes, size_t arcs, size_t listEntries)
{
    // Every object of an old block was destroyed with the last node and arc.
    return m_nodeCount == 0 && m_arcCount == 0 && m_block.Allocate(nodes, arcs, listEntries);
}

void CSpatialGraph::PlaceNode(CGraphNode* node, int32_t index)
{
    m_packed.Invalidate();
    m_nodes[size_t(index)] = node;
    node->m_index = index;
    ++m_nodeCount;
    m_highestNode = std::max(m_highestNode, index);
}

bool CSpatialGraph::SetNodeAt(CGraphNode* node, int32_t index)
{
    if (node == nullptr)
        return false;
    if (!ReserveNodes(index)) {
        delete node;
        return false;
    }
    // A node already in the slot leaves with its arcs, so that no arc keeps
    // pointing at a destroyed node.
    if (m_nodes[size_t(index)] != nullptr)
        RemoveNode(index);
    PlaceNode(node, index);
    return true;
}

int32_t CSpatialGraph::AddNode(const CGraphNodeData& record, int32_t index)
{
    if (index == -1)
        index = m_highestNode + 1;
    if (index < 0)
        return -1;
    CGraphNode* node = m_block.NewNode(record);
    return SetNodeAt(node != nullptr ? node : new CGraphNode(record), index) ? index : -1;
}

bool CSpatialGraph::OpenNodeSlot(int32_t index)
{
    if (index < 0 || index > m_highestNode + 1)
        return false;
    if (!ReserveNodes(m_highestNode + 1))
        return false;
    m_packed.Invalidate();
    for (int32_t i = m_highestNode; i >= index; --i) {
        CGraphNode* moved = m_nodes[size_t(i)];
        m_nodes[size_t(i + 1)] = moved;
        m_nodes[size_t(i)] = nullptr;
        if (moved != nullptr) {
            moved->m_index = i + 1;
            OnNodeMoved(i, i + 1);
        }
    }
    if (index <= m_highestNode)
        ++m_highestNode;
    return true;
}

bool CSpatialGraph::InsertNodeAt(CGraphNode* node, int32_t index)
{
    if (index == -1)
        index = m_highestNode + 1;
    if (node == nullptr || !OpenNodeSlot(index)) {
        delete node;
        return false;
    }
    return SetNodeAt(node, index);
}

bool CSpatialGraph::RemoveNode(int32_t index)
{
    CGraphNode* node = GetNode(index);
    if (node == nullptr)
        return false;
    while (node->m_outArcs.Count() > 0)
        RemoveArc(node->m_outArcs[node->m_outArcs.Count() - 1]->GetIndex());
    while (node->m_inArcs.Count() > 0)
        RemoveArc(node->m_inArcs[node->m_inArcs.Count() - 1]->GetIndex());
    DeleteNodeObject(index);
    --m_nodeCount;
    return true;
}

int32_t CSpatialGraph::AddArc(const CGraphArcData& record, CGraphNode* from, CGraphNode* to, int32_t index)
{
    if (from == nullptr || to == nullptr)
        return -1;
    if (CGraphArc* existing = FindOutArcTo(from, to))
        return existing->GetIndex();
    if (index == -1)
        index = m_highestArc + 1;
    if (index < 0)
        return -1;
    CGraphArc* arc = m_block.NewArc(record);
    return SetArcAt(arc != nullptr ? arc : new CGraphArc(record), from, to, index) ? index : -1;
}

bool CSpatialGraph::SetArcAt(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index)
{
    if (arc == nullptr)
        return false;
    if (from == nullptr || to == nullptr || !ReserveArcs(index)) {
        delete arc;
        return false;
    }
    // An arc already in the slot is detached from its nodes before it goes.
    if (m_arcs[size_t(index)] != nullptr)
        RemoveArc(index);
    PlaceArc(arc, from, to, index);
    return true;
}

void CSpatialGraph::PlaceArc(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index)
{
    m_packed.Invalidate();
    m_arcs[size_t(index)] = arc;
    arc->m_index = index;
    ++m_arcCount;
    m_highestArc = std::max(m_highestArc, index);
    arc->m_from = from;
    arc->m_to = to;
    from->AddOutArc(arc);
    to->AddInArc(arc);
}

bool CSpatialGraph::OpenArcSlot(int32_t index)
{
    if (index < 0 || index > m_highestArc + 1)
        return false;
    if (!ReserveArcs(m_highestArc + 1))
        return false;
    for (int32_t i = m_highestArc; i >= index; --i) {
        CGraphArc* moved = m_arcs[size_t(i)];
        m_arcs[size_t(i + 1)] = moved;
        m_arcs[size_t(i)] = nullptr;
        if (moved != nullptr) {
            moved->m_index = i + 1;
            OnArcMoved(i, i + 1);
        }
    }
    if (index <= m_highestArc)
        ++m_highestArc;
    return true;
}

bool CSpatialGraph::InsertArcAt(CGraphArc* arc, CGraphNode* from, CGraphNode* to, int32_t index)
{
    if (index == -1)
        index = m_highestArc + 1;
    if (arc == nullptr || !OpenArcSlot(index)) {
        delete arc;
        return false;
    }
    return SetArcAt(arc, from, to, index);
}

bool CSpatialGraph::RemoveArc(int32_t index)
{
    CGraphArc* arc = GetArc(index);
    if (arc == nullptr)
        return false;
    // Both lists lose the arc, whatever the first answers.
    const bool leftFrom = arc->m_from->RemoveOutArc(arc);
    const bool leftTo = arc->m_to->RemoveInArc(arc);
    const bool detached = leftFrom && leftTo;
    DeleteArcObject(index);
    --m_arcCount;
    return detached;
}

void CSpatialGraph::DeleteNodeObject(int32_t index)
{
    if (index < 0 || size_t(index) >= m_nodes.size())
        return;
    m_packed.Invalidate();
    CGraphNode* node = m_nodes[size_t(index)];
    if (m_block.Holds(node))
        node->~CGraphNode();
    else
        delete node;
    m_nodes[size_t(index)] = nullptr;
}

void CSpatialGraph::DeleteArcObject(int32_t index)
{
    if (index < 0 || size_t(index) >= m_arcs.size())
        return;
    m_packed.Invalidate();
    CGraphArc* arc = m_arcs[size_t(index)];
    if (m_block.Holds(arc))
        arc->~CGraphArc();
    else
        delete arc;
    m_arcs[size_t(index)] = nullptr;
}

bool CSpatialGraph::PackNodeSlots()
{
    m_packed.Invalidate();
    int32_t to = 0;
    for (int32_t i = 0; i <= m_highestNode; ++i) {
        CGraphNode* node = m_nodes[size_t(i)];
        if (node == nullptr)
            continue;
        if (i != to) {
            m_nodes[size_t(to)] = node;
            m_nodes[size_t(i)] = nullptr;
            node->m_index = to;
            OnNodeMoved(i, to);
        }
        ++to;
    }
    m_highestNode = to - 1;
    return true;
}

bool CSpatialGraph::PackArcSlots()
{
    int32_t to = 0;
    for (int32_t i = 0; i <= m_highestArc; ++i) {
        CGraphArc* arc = m_arcs[size_t(i)];
        if (arc == nullptr)
            continue;
        if (i != to) {
            m_arcs[size_t(to)] = arc;
            m_arcs[size_t(i)] = nullptr;
            arc->m_index = to;
            OnArcMoved(i, to);
        }
        ++to;
    }
    m_highestArc = to - 1;
    return true;
}

void CSpatialGraph::Renumber()
{
    PackNodeSlots();
    PackArcSlots();
}

bool CSpatialGraph::RemoveArcBetween(CGraphNode* from, CGraphNode* to)
{
    CGraphArc* arc = FindOutArcTo(from, to);
    return arc != nullptr && RemoveArc(arc->GetIndex());
}

CGraphArc* CSpatialGraph::FindOutArcTo(const CGraphNode* node, const CGraphNode* to)
{
    if (node == nullptr || to == nullptr)
        return nullptr;
    for (int32_t i = 0; i < node->m_outArcs.Count(); ++i)
        if (node->m_outArcs[i]->GetTo() == to)
            return node->m_outArcs[i];
    return nullptr;
}

void CSpatialGraph::Clear()
{
    m_packed.Invalidate();
    for (int32_t i = 0; i <= m_highestNode; ++i)
        DeleteNodeObject(i);
    for (int32_t i = 0; i <= m_highestArc; ++i)
        DeleteArcObject(i);
    m_nodes.clear();
    m_nodes.shrink_to_fit();
    m_arcs.clear();
    m_arcs.shrink_to_fit();
    m_block.Release();
    m_nodeCount = m_arcCount = 0;
    m_highestNode = m_highestArc = -1;
}

bool CSpatialGraph::VisitNodes(CGraphVisitor& visitor)
{
    visitor.BeginNodes(*this);
    for (int32_t i = 0; i <= m_highestNode; ++i)
        if (CGraphNode* node = m_nodes[size_t(i)]; node != nullptr && !visitor.VisitNode(*node))
            return false;
    return true;
}

bool CSpatialGraph::VisitArcs(CGraphVisitor& visitor)
{
    visitor.BeginArcs(*this);
    for (int32_t i = 0; i <= m_highestArc; ++i)
        if (CGraphArc* arc = m_arcs[size_t(i)]; arc != nullptr && !visitor.VisitArc(*arc))
            return false;
    return true;
}

float CSpatialGraph::GetSearchRadius()
{
    if (m_searchRadius > 0.0f)
        return m_searchRadius;
    float longest2 = 0.0f;
    for (int32_t i = 0; i <= m_highestArc; ++i) {
        const CGraphArc* arc = m_arcs[size_t(i)];
        if (arc == nullptr || arc->GetData().linkedObject != nullptr)
            continue;
        longest2 = std::max(
            longest2, CVec3::SquaredDistance(arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition()));
    }
    m_searchRadius = 1.5f * std::sqrt(longest2);
    return m_searchRadius;
}

bool CSpatialGraph::WriteToMemory(std::vector<uint8_t>& out)
{
    if (m_highestNode != m_nodeCount - 1 || m_highestArc != m_arcCount - 1)
        Renumber();
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    writer.WriteF32(GetSearchRadius());
    writer.WriteU32(uint32_t(m_nodeCount));
    for (int32_t i = 0; i < m_nodeCount; ++i) {
        const CGraphNode* node = m_nodes[size_t(i)];
        writer.WriteF32(node->GetPosition().x);
        writer.WriteF32(node->GetPosition().y);
        writer.WriteF32(node->GetPosition().z);
        writer.WriteU32(uint32_t(node->GetInArcCount()));
        writer.WriteU32(uint32_t(node->GetOutArcCount()));
    }
    writer.WriteU32(uint32_t(m_arcCount));
    for (int32_t i = 0; i < m_arcCount; ++i) {
        const CGraphArc* arc = m_arcs[size_t(i)];
        writer.WriteU32(uint32_t(arc->GetFrom()->GetIndex()));
        writer.WriteU32(uint32_t(arc->GetTo()->GetIndex()));
    }
    out = writer.Bytes();
    return true;
}

bool CSpatialGraph::Write(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

bool CSpatialGraph::ReadFromMemory(const uint8_t* data, size_t size)
{
    Clear();
    CNavByteReader reader(data, size);
    float radius = 0.0f;
    uint32_t nodeCount = 0;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadF32(radius) || !reader.ReadU32(nodeCount))
        return false;
    m_searchRadius = radius;
    // The count must fit both the data and the index type before anything
    // is allocated from it.
    if (nodeCount > uint32_t(INT32_MAX) || !reader.HasRecords(nodeCount, kNodeRecordSize))
        return reader.Fail(ENavError::BadCount, "node count larger than the graph file");
    const uint64_t maxArcs = (reader.Remaining() - nodeCount * kNodeRecordSize) / kArcRecordSize;
    // One block for every node, arc and arc-list entry: the arc count behind
    // the node records is read ahead and bounded by the data, so that a wrong
    // count costs no more memory than the file's size allows (it fails below).
    uint32_t arcCountAhead = 0;
    const size_t arcCountAt = size - reader.Remaining() + nodeCount * kNodeRecordSize;
    if (size - arcCountAt >= 4) {
        CNavByteReader ahead(data + arcCountAt, 4);
        ahead.ReadU32(arcCountAhead);
    }
    const uint64_t arcRoom = std::min<uint64_t>(arcCountAhead, maxArcs);
    if (!m_block.Allocate(nodeCount, arcRoom, 2 * arcRoom))
        return reader.Fail(ENavError::NoMemory, "no memory for the graph");
    if (nodeCount > 0)
        SetNodeCapacity(int32_t(nodeCount));
    for (uint32_t i = 0; i < nodeCount; ++i) {
        CGraphNodeData record;
        uint32_t inCount = 0;
        uint32_t outCount = 0;
        if (!reader.ReadF32(record.position.x) || !reader.ReadF32(record.position.y) ||
            !reader.ReadF32(record.position.z) || !reader.ReadU32(inCount) || !reader.ReadU32(outCount))
            return false;
        if (inCount > maxArcs || outCount > maxArcs)
            return reader.Fail(ENavError::BadCount, "node arc count larger than the graph file");
        CGraphNode* node = m_block.NewNode(record);
        if (node == nullptr)
            return reader.Fail(ENavError::NoMemory, "node beyond the graph's block");
        PlaceNode(node, int32_t(i));
        // The lists get their room from the block while it lasts (the stored
        // counts of a sound file fill it exactly); beyond, they grow as arcs come.
        if (uint64_t(inCount) + outCount <= m_block.GetListEntriesLeft()) {
            node->m_inArcs.Reserve(int32_t(inCount), node->m_lists);
            node->m_outArcs.Reserve(int32_t(outCount), node->m_lists);
        }
    }
    uint32_t arcCount = 0;
    if (!reader.ReadU32(arcCount))
        return false;
    if (arcCount > uint32_t(INT32_MAX) || !reader.HasRecords(arcCount, kArcRecordSize))
        return reader.Fail(ENavError::BadCount, "arc count larger than the graph file");
    if (arcCount > 0)
        SetArcCapacity(int32_t(arcCount));
    for (uint32_t i = 0; i < arcCount; ++i) {
        uint32_t fromIndex = 0;
        uint32_t toIndex = 0;
        if (!reader.ReadU32(fromIndex) || !reader.ReadU32(toIndex))
            return false;
        CGraphNode* from = fromIndex < nodeCount ? m_nodes[fromIndex] : nullptr;
        CGraphNode* to = toIndex < nodeCount ? m_nodes[toIndex] : nullptr;
        if (from == nullptr || to == nullptr)
            return reader.Fail(ENavError::BadIndex, "arc end outside the graph's nodes");
        // A repeated pair would shift the indices of every later arc, which the
        // data files of the graph refer to: refuse it.
        if (FindOutArcTo(from, to) != nullptr)
            return reader.Fail(ENavError::BadIndex, "arc repeats an earlier arc");
        CGraphArcData record;
        record.length = record.cost = Distance(from->GetPosition(), to->GetPosition());
        CGraphArc* arc = m_block.NewArc(record);
        if (arc == nullptr)
            return reader.Fail(ENavError::NoMemory, "arc beyond the graph's block");
        PlaceArc(arc, from, to, int32_t(i));
    }
    return true;
}

bool CSpatialGraph::ReadFromWorldFiles(CConfigNode* rawDataNode)
{
    Clear();
    std::vector<uint8_t> bytes;
    return NavReadRawData(rawDataNode, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CSpatialGraph::ReadFromFile(const char* fileName)
{
    Clear();
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

CGraphNode* AddNodeAtPosition(CSpatialGraph& graph, const CVec3& position)
{
    CGraphNodeData record;
    record.position = position;
    return graph.GetNode(graph.AddNode(record, -1));
}

} // namespace Zelk
