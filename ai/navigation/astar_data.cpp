#include "ai/navigation/astar_data.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <typeinfo>

namespace Zelk {

namespace {

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CAstarData(graph);
}

CGraphDataClassRecord s_record("CAstarData", &Create);

static_assert(CAstarData::kNoArc == kAstarNoFirstArc);

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

// The most out-arcs of a row's node that the row is checked against
// directly (a node with more is checked by look-up), and the values an entry
// is compared with: those arcs and kNoArc.
constexpr size_t kCheckedOutArcs = 8;
using CRowValues = uint32_t[kCheckedOutArcs + 1];

// 1 when the entry equals none of the values, else 0: a fixed number of
// compares and no branch.
inline uint32_t Miss(uint32_t entry, const CRowValues& values)
{
    uint32_t hit = 0;
#pragma GCC unroll 16
    for (const uint32_t value : values)
        hit |= uint32_t(entry == value);
    return hit ^ 1u;
}

// The entries of row[0..n) that equal none of the values. The first loop runs
// a multiple of four entries, which the compiler turns into whole vectors of
// entries even at its most cautious vectorising level.
uint32_t CountMisses(const uint32_t* row, size_t n, const CRowValues& values)
{
    const size_t whole = n & ~size_t(3);
    uint32_t misses = 0;
    for (size_t j = 0; j < whole; ++j)
        misses += Miss(row[j], values);
    for (size_t j = whole; j < n; ++j)
        misses += Miss(row[j], values);
    return misses;
}

// The values a row's entries may hold off the diagonal: kNoArc and the
// node's out-arc indices (kNoArc fills the rest); false when the node has
// more out-arcs than the array holds. A null node has none.
bool RowValues(const CGraphNode* node, CRowValues& allowed)
{
    std::fill(std::begin(allowed), std::end(allowed), CAstarData::kNoArc);
    const int32_t count = node != nullptr ? node->GetOutArcCount() : 0;
    if (size_t(count) > kCheckedOutArcs)
        return false;
    for (int32_t a = 0; a < count; ++a)
        allowed[size_t(a) + 1] = uint32_t(node->GetOutArcs()[a]->GetIndex());
    return true;
}

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
    const size_t n = size_t(m_nodeCount);
    m_table.reset(new uint32_t[n * n]);
    std::fill_n(m_table.get(), n * n, kNoArc);
    // With the zero heuristic a search's order does not depend on its goal,
    // so one search per start fills the start's row. Any other heuristic (the
    // graph's own) steers each search toward its goal: a search per pair.
    const bool rowBySearch = typeid(*m_graph->GetHeuristic()) == typeid(CZeroHeuristic);
    CPathRecord path;
    if (!rowBySearch)
        path.SetCapacity(m_nodeCount);
    for (int32_t i = 0; i < m_nodeCount; ++i) {
        uint32_t* row = &m_table[size_t(i) * n];
        if (rowBySearch)
            AstarFirstArcs(*m_graph, m_graph->GetNode(i), nullptr, row);
        else
            for (int32_t j = 0; j < m_nodeCount; ++j)
                if (j != i && AstarSearch(*m_graph, path, m_graph->GetNode(i), m_graph->GetNode(j), nullptr))
                    row[j] = path.arcIndices[0];
        row[i] = uint32_t(i);
    }
    m_ready = true;
    return true;
}

template <typename Read> bool CAstarData::ReadTable(Read read, size_t sizeHint)
{
    m_ready = false;
    uint8_t header[kMagicLength + 4];
    CNavByteReader reader(header, read(header, sizeof header));
    if (!reader.ReadHeader(kMagic, kMagicLength))
        return false;
    const size_t n = size_t(m_nodeCount > 0 ? m_nodeCount : 0);
    const size_t bytes = n * n * sizeof(uint32_t);
    const char* const mismatch = "A* data does not match the graph's node count";
    if (m_nodeCount > kMaxNodes) {
        NavSetError(ENavError::BadCount, "A* data holds a table for at most 4096 nodes");
        return false;
    }
    if (sizeHint != 0 && sizeHint != sizeof header + bytes) {
        NavSetError(ENavError::BadCount, mismatch);
        return false;
    }
    // The words go straight into the table (no zeroing, no staging copy).
    m_table.reset(new (std::nothrow) uint32_t[n * n]);
    uint8_t beyond = 0;
    if (m_table == nullptr || read(m_table.get(), bytes) != bytes || read(&beyond, 1) != 0) {
        m_table.reset();
        NavSetError(ENavError::BadCount, mismatch);
        return false;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t k = 0; k < n * n; ++k) {
            const uint32_t v = m_table[k];
            m_table[k] = v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24;
        }
    }
    if (!CheckTable()) {
        m_table.reset();
        NavSetError(ENavError::BadIndex, "A* data entry is not an arc leaving its node");
        return false;
    }
    m_ready = true;
    return true;
}

bool CAstarData::CheckTable() const
{
    // An entry off the diagonal is kNoArc or an out-arc of its row's node.
    // Rows of nodes with few out-arcs compare each entry with every allowed
    // value. Other rows look up the node each arc leaves, one slot up: slot
    // 0 answers for "no path" (kNoArc + 1 wraps to 0) and holds the row's
    // node, the last slot answers for every index beyond the arcs, and empty
    // arc slots hold -1, which no node is.
    const uint32_t arcs = uint32_t(m_graph->GetHighestArcIndex() + 1);
    std::vector<int32_t> from;
    const size_t n = size_t(m_nodeCount);
    uint32_t bad = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t* row = &m_table[i * n];
        // The diagonal holds the row's own index.
        bad |= uint32_t(row[i] != i);
        CRowValues allowed;
        if (RowValues(m_graph->GetNode(int32_t(i)), allowed)) {
            // The whole row in one pass: the diagonal (i, checked above)
            // misses or not like any entry.
            bad |= uint32_t(CountMisses(row, n, allowed) != Miss(uint32_t(i), allowed));
            continue;
        }
        if (from.empty()) {
            from.assign(size_t(arcs) + 2, -1);
            for (uint32_t a = 0; a < arcs; ++a)
                if (const CGraphArc* arc = m_graph->GetArc(int32_t(a)))
                    from[a + 1] = arc->GetFrom()->GetIndex();
        }
        from[0] = int32_t(i);
        for (size_t j = 0; j < n; ++j)
            bad |= uint32_t(j != i && from[std::min(row[j] + 1u, arcs + 1)] != int32_t(i));
    }
    return bad == 0;
}

bool CAstarData::ReadFromMemory(const uint8_t* data, size_t size)
{
    size_t position = 0;
    return ReadTable(
        [&](void* out, size_t count) {
            count = std::min(count, size - position);
            if (count > 0)
                std::memcpy(out, data + position, count);
            position += count;
            return count;
        },
        size);
}

bool CAstarData::Init(CConfigNode* node)
{
    if (m_nodeCount < 1 || m_graph->GetHighestNodeIndex() != m_nodeCount - 1) {
        NavSetError(ENavError::BadArgument, "A* data needs a graph of nodes 0..N-1");
        return false;
    }
    CNavRawDataInput input;
    return input.Open(NavFindRawData(node)) &&
           ReadTable([&input](void* out, size_t count) { return input.Read(out, count); },
                     input.GetSizeHint());
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
    for (size_t k = 0; k < size_t(m_nodeCount) * size_t(m_nodeCount); ++k)
        writer.WriteU32(m_table[k]);
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
