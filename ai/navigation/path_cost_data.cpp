#include "ai/navigation/path_cost_data.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/spatial_graph.h"

#include <cmath>

namespace Zelk {

namespace {

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CPathCostData(graph);
}

CGraphDataClassRecord s_record("CPathCostData", &Create);

} // namespace

CPathCostData::CPathCostData(CSpatialGraph* graph)
    : CGraphAdditionalData(graph), m_nodeCount(graph != nullptr ? graph->GetNodeCount() : 0)
{
    m_table.assign(size_t(m_nodeCount) * size_t(m_nodeCount), kNoPath);
}

const CClassRecord* CPathCostData::GetClassRecord() const
{
    return &s_record;
}

uint8_t CPathCostData::GetCost(int32_t from, int32_t to) const
{
    if (from < 0 || to < 0 || from >= m_nodeCount || to >= m_nodeCount)
        return kNoPath;
    return m_table[size_t(from) * size_t(m_nodeCount) + size_t(to)];
}

bool CPathCostData::SetTable(const std::vector<uint8_t>& table, float scale)
{
    if (table.size() != m_table.size() || !(scale > 0.0f) || !std::isfinite(scale))
        return false;
    m_table = table;
    m_scale = scale;
    m_usable = true;
    return true;
}

bool CPathCostData::ReadFromMemory(const uint8_t* data, size_t size)
{
    // Whatever happens below, a half-read table must never be used.
    m_usable = false;
    CNavByteReader reader(data, size);
    float scale = 0.0f;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadF32(scale))
        return false;
    if (!(scale > 0.0f) || !std::isfinite(scale))
        return reader.Fail(ENavError::BadCount, "path-cost scale is not a positive number");
    if (reader.Remaining() != m_table.size())
        return reader.Fail(ENavError::BadCount, "path-cost table does not match the graph's node count");
    if (!reader.ReadBytes(m_table.data(), m_table.size()))
        return false;
    m_scale = scale;
    m_usable = true;
    return true;
}

bool CPathCostData::Init(CConfigNode* node)
{
    std::vector<uint8_t> bytes;
    m_usable = false;
    return NavReadRawData(NavFindRawData(node), bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CPathCostData::ReadFromFile(const char* fileName)
{
    std::vector<uint8_t> bytes;
    m_usable = false;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CPathCostData::WriteToMemory(std::vector<uint8_t>& out) const
{
    if (!m_usable || m_nodeCount < 1) {
        NavSetError(ENavError::BadArgument, "no path-cost table to write");
        return false;
    }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    writer.WriteF32(m_scale);
    writer.WriteBytes(m_table.data(), m_table.size());
    out = writer.Bytes();
    return true;
}

bool CPathCostData::Write(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

} // namespace Zelk
