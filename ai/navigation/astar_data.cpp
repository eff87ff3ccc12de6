#include "ai/navigation/astar_data.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

namespace Zelk {

namespace {

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CAstarData(graph);
}

CGraphDataClassRecord s_record("CAstarData", &Create);

// Puts a constraint and heuristic on the graph for the lifetime of the object
// and gives the graph its own pair back afterwards.
class CSearchSettingsGuard
{
  public:
    CSearchSettingsGuard(CSpatialGraph& graph, CConstraint* constraint, CHeuristic* heuristic)
        : m_graph(graph), m_constraint(graph.GetConstraint()), m_heuristic(graph.GetHeuristic())
    {
        graph.SetConstraint(constraint);
        if (graph.GetHeuristic() == nullptr)
            graph.SetHeuristic(heuristic);
    }
    ~CSearchSettingsGuard()
    {
        m_graph.SetConstraint(m_constraint);
        m_graph.SetHeuristic(m_heuristic);
    }
    CSearchSettingsGuard(const CSearchSettingsGuard&) = delete;
    CSearchSettingsGuard& operator=(const CSearchSettingsGuard&) = delete;

  private:
    CSpatialGraph& m_graph;
    CConstraint* m_constraint;
    CHeuristic* m_heuristic;
};

} // namespace

CAstarData::CAstarData(CSpatialGraph* graph)
    : CGraphAdditionalData(graph), m_nodeCount(graph != nullptr ? graph->GetNodeCount() : 0)
{
}

const CClassRecord* CAstarData::GetClassRecord() const
{
    return &s_record;
}

bool CAstarData::Build()
{
    m_ready = false;
    m_nodeCount = m_graph->GetNodeCount();
    if (m_graph->GetHighestNodeIndex() != m_nodeCount - 1) {
        NavSetError(ENavError::BadArgument, "A* data needs a graph without holes");
        return false;
    }
    if (m_nodeCount > kMaxNodes) {
        NavSetError(ENavError::BadCount, "A* data holds a table for at most 4096 nodes");
        return false;
    }
    if (AstarMemoryCapacity() < m_nodeCount) {
        NavSetError(ENavError::BadCount, "A* memory too small for the graph");
        return false;
    }
    // The table answers only shortest-path requests, so it is built with that
    // constraint whatever the graph was last searched with.
    CConstraintShortestPath shortest;
    CZeroHeuristic zero;
    CSearchSettingsGuard guard(*m_graph, &shortest, &zero);
    CPathRecord path;
    path.SetCapacity(m_nodeCount);
    const size_t n = size_t(m_nodeCount);
    m_table.assign(n * n, kNoArc);
    for (int32_t i = 0; i < m_nodeCount; ++i)
        for (int32_t j = 0; j < m_nodeCount; ++j) {
            uint32_t& entry = m_table[size_t(i) * n + size_t(j)];
            if (i == j)
                entry = uint32_t(i);
            else if (AstarSearch(*m_graph, path, m_graph->GetNode(i), m_graph->GetNode(j), nullptr))
                entry = path.arcIndices[0];
        }
    m_ready = true;
    return true;
}

bool CAstarData::ReadFromMemory(const uint8_t* data, size_t size)
{
    m_ready = false;
    CNavByteReader reader(data, size);
    if (!reader.ReadHeader(kMagic, kMagicLength))
        return false;
    const size_t n = size_t(m_nodeCount > 0 ? m_nodeCount : 0);
    if (reader.Remaining() / 4 != n * n || reader.Remaining() % 4 != 0)
        return reader.Fail(ENavError::BadCount, "A* data does not match the graph's node count");
    std::vector<uint32_t> table(n * n);
    if (!reader.ReadU32Array(table.data(), table.size()))
        return false;
    // The node each arc leaves (-1 for an empty slot), looked up instead of
    // reaching into the arc for every entry of the table.
    std::vector<int32_t> arcFrom(size_t(m_graph->GetHighestArcIndex() + 1), -1);
    for (size_t a = 0; a < arcFrom.size(); ++a)
        if (const CGraphArc* arc = m_graph->GetArc(int32_t(a)))
            arcFrom[a] = arc->GetFrom()->GetIndex();
    for (size_t i = 0; i < n; ++i) {
        const uint32_t* row = &table[i * n];
        for (size_t j = 0; j < n; ++j) {
            const uint32_t v = row[j];
            if (i == j ? v == i : v == kNoArc)
                continue;
            if (i == j || v >= arcFrom.size() || arcFrom[v] != int32_t(i))
                return reader.Fail(ENavError::BadIndex, "A* data entry is not an arc leaving its node");
        }
    }
    m_table = std::move(table);
    m_ready = true;
    return true;
}

bool CAstarData::Init(CConfigNode* node)
{
    if (m_nodeCount < 1 || m_graph->GetHighestNodeIndex() != m_nodeCount - 1) {
        NavSetError(ENavError::BadArgument, "A* data needs a graph of nodes 0..N-1");
        return false;
    }
    std::vector<uint8_t> bytes;
    return NavReadRawData(NavFindRawData(node), bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CAstarData::ReadFromFile(const char* fileName)
{
    if (m_nodeCount < 1)
        return true;
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CAstarData::WriteToMemory(std::vector<uint8_t>& out) const
{
    if (!m_ready || m_nodeCount < 1) {
        NavSetError(ENavError::BadArgument, "no A* table to write");
        return false;
    }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    for (uint32_t v : m_table)
        writer.WriteU32(v);
    out = writer.Bytes();
    return true;
}

bool CAstarData::Write(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

bool CAstarData::Lookup(int32_t start, int32_t goal, CPathRecord& path) const
{
    path.count = 0;
    path.remainingLength = 0.0f;
    path.truncated = 0;
    path.graph = m_graph;
    if (!m_ready || start < 0 || goal < 0 || start >= m_nodeCount || goal >= m_nodeCount || path.capacity < 1)
        return false;
    const auto writeNode = [&](int32_t entry, const CGraphNode* node) {
        path.nodeIndices[size_t(entry)] = uint32_t(node->GetIndex());
        path.positions[size_t(entry)] = node->GetPosition();
        path.arcIndices[size_t(entry)] = kNoArc;
        path.pathObjects[size_t(entry)] = nullptr;
    };
    const CGraphNode* current = m_graph->GetNode(start);
    writeNode(0, current);
    path.count = 1;
    // Every step of a cheapest path visits a new node: more than N steps means
    // the table loops.
    for (int32_t steps = 0; current->GetIndex() != goal; ++steps) {
        const uint32_t a = GetEntry(current->GetIndex(), goal);
        if (a == kNoArc || steps >= m_nodeCount)
            return false;
        const CGraphArc* arc = m_graph->GetArc(int32_t(a));
        current = arc->GetTo();
        if (path.count < path.capacity) {
            path.arcIndices[size_t(path.count - 1)] = a;
            path.pathObjects[size_t(path.count - 1)] = arc->GetData().linkedObject;
            writeNode(path.count, current);
            ++path.count;
        } else {
            if (path.truncated == 0) {
                // The last entry carries the arc that leaves it toward the goal.
                path.truncated = 1;
                path.arcIndices[size_t(path.count - 1)] = a;
                path.pathObjects[size_t(path.count - 1)] = arc->GetData().linkedObject;
            }
            path.remainingLength += arc->GetLength();
        }
    }
    return true;
}

} // namespace Zelk
