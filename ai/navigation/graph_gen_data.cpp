#include "ai/navigation/graph_gen_data.h"

#include "ai/navigation/nav_files.h"

#include <algorithm>
#include <new>

namespace Zelk {

namespace {

constexpr size_t kMinimumRecords = 10000;

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CGraphGenData(graph);
}

// Makes index addressable, growing to twice the index; false when it cannot.
template <class Record> bool Reach(std::vector<Record>& records, int32_t index)
{
    if (index < 0)
        return false;
    if (size_t(index) < records.size())
        return true;
    try {
        records.resize(std::max(size_t(index) * 2, kMinimumRecords));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace

CGraphDataClassRecord CGraphGenData::s_classRecord("CGraphGenData", &Create);

void CGenGraph::OnNodeMoved(int32_t oldIndex, int32_t newIndex)
{
    if (m_genData != nullptr)
        m_genData->MoveNodeRecord(oldIndex, newIndex);
}

void CGenGraph::OnArcMoved(int32_t oldIndex, int32_t newIndex)
{
    if (m_genData != nullptr)
        m_genData->MoveArcRecord(oldIndex, newIndex);
}

CGraphGenData::CGraphGenData(CSpatialGraph* graph) : CGraphAdditionalData(graph)
{
}

bool CGraphGenData::Init(CConfigNode* /*node*/)
{
    const size_t nodes =
        std::max(size_t(m_graph != nullptr ? m_graph->GetNodeArraySize() : 0), kMinimumRecords);
    const size_t arcs =
        std::max(size_t(m_graph != nullptr ? m_graph->GetHighestArcIndex() + 1 : 0), kMinimumRecords);
    try {
        m_nodes.assign(nodes, CGraphGenNodeRecord{});
        m_arcs.assign(arcs, CGraphGenArcRecord{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CGraphGenData::Write(const char* fileName)
{
    return fileName != nullptr && NavWriteHostFile(fileName, {});
}

CGraphGenNodeRecord* CGraphGenData::GetNodeRecord(int32_t index)
{
    return Reach(m_nodes, index) ? &m_nodes[size_t(index)] : nullptr;
}

CGraphGenArcRecord* CGraphGenData::GetArcRecord(int32_t index)
{
    return Reach(m_arcs, index) ? &m_arcs[size_t(index)] : nullptr;
}

void CGraphGenData::ResetNodeRecord(int32_t index)
{
    if (CGraphGenNodeRecord* record = GetNodeRecord(index))
        *record = CGraphGenNodeRecord{};
}

void CGraphGenData::ResetArcRecord(int32_t index)
{
    if (CGraphGenArcRecord* record = GetArcRecord(index))
        *record = CGraphGenArcRecord{};
}

void CGraphGenData::MoveNodeRecord(int32_t from, int32_t to)
{
    GetNodeRecord(to); // may grow the records: look both up afterwards
    CGraphGenNodeRecord* source = GetNodeRecord(from);
    CGraphGenNodeRecord* target = GetNodeRecord(to);
    if (source == nullptr || target == nullptr || source == target)
        return;
    *target = *source;
    *source = CGraphGenNodeRecord{};
}

void CGraphGenData::MoveArcRecord(int32_t from, int32_t to)
{
    GetArcRecord(to); // may grow the records: look both up afterwards
    CGraphGenArcRecord* source = GetArcRecord(from);
    CGraphGenArcRecord* target = GetArcRecord(to);
    if (source == nullptr || target == nullptr || source == target)
        return;
    *target = *source;
    *source = CGraphGenArcRecord{};
}

} // namespace Zelk
