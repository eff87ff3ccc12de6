#include "ai/navigation/access_ways_data.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/spatial_graph.h"

#include <cmath>

namespace Zelk {

namespace {

// B is seen from A when any of six parallel segments between them is clear:
// the straight one and five shifted sideways and up or down, so that a thin
// obstacle in the middle does not hide a node that is plainly in view.
bool IsSeen(const CVec3& a, const CVec3& b, float oneMeter)
{
    if (a == b)
        return true;
    const CVec3 d = b - a;
    const float horizontal = std::sqrt(d.x * d.x + d.z * d.z);
    CVec3 side(0.0f, 0.0f, 0.0f);
    if (horizontal > 0.0f)
        side = CVec3(d.z / horizontal, 0.0f, -d.x / horizontal) * (0.4f * oneMeter);
    const CVec3 up(0.0f, oneMeter, 0.0f);
    const CVec3 offsets[6] = {
        CVec3(0.0f, 0.0f, 0.0f),
        up * 0.7f,
        side + up * 0.2f,
        side + up * 0.5f,
        CVec3(0.0f, 0.0f, 0.0f) - side - up * 0.2f,
        CVec3(0.0f, 0.0f, 0.0f) - side + up * 0.9f,
    };
    for (const CVec3& o : offsets)
        if (NavIsVisible(a + o, b + o, nullptr, 1))
            return true;
    return false;
}

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CAccessWaysData(graph);
}

CGraphDataClassRecord s_record("CAccessWaysData", &Create);

} // namespace

const CClassRecord* CAccessWaysData::GetClassRecord() const
{
    return &s_record;
}

bool CAccessWaysData::Build()
{
    const int32_t n = m_graph->GetNodeCount();
    if (n < 1 || m_graph->GetArcCount() < 1) {
        NavSetError(ENavError::BadArgument, "access ways need a graph with nodes and arcs");
        return false;
    }
    if (m_graph->GetHighestNodeIndex() != n - 1 || n > kMaxNodes ||
        m_graph->GetHighestArcIndex() > kMaxArcIndex) {
        NavSetError(ENavError::BadCount, "graph has holes or is too large for access-ways data");
        return false;
    }
    float oneMeter = m_oneMeter > 0.0f ? m_oneMeter : NavOneMeter();
    if (!(oneMeter > 0.0f))
        oneMeter = 1.0f;
    m_lists.assign(size_t(n), {});
    std::vector<uint8_t> seen(static_cast<size_t>(n));
    for (int32_t a = 0; a < n; ++a) {
        const CVec3& pa = m_graph->GetNode(a)->GetPosition();
        for (int32_t b = 0; b < n; ++b)
            seen[size_t(b)] = IsSeen(pa, m_graph->GetNode(b)->GetPosition(), oneMeter) ? 1 : 0;
        for (int32_t i = 0; i <= m_graph->GetHighestArcIndex(); ++i) {
            const CGraphArc* arc = m_graph->GetArc(i);
            if (arc != nullptr && seen[size_t(arc->GetTo()->GetIndex())] != 0 &&
                seen[size_t(arc->GetFrom()->GetIndex())] == 0)
                m_lists[size_t(a)].push_back(uint16_t(i));
        }
        if (m_lists[size_t(a)].size() > 65535) {
            NavSetError(ENavError::BadCount, "a node has more access ways than the file can hold");
            return false;
        }
    }
    return true;
}

bool CAccessWaysData::ReadFromMemory(const uint8_t* data, size_t size)
{
    m_lists.clear();
    CNavByteReader reader(data, size);
    uint16_t n = 0;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadU16(n))
        return false;
    if (int32_t(n) != m_graph->GetNodeCount())
        return reader.Fail(ENavError::BadCount, "access-ways data is for a graph of another node count");
    std::vector<uint16_t> counts(n);
    for (uint16_t& c : counts)
        reader.ReadU16(c);
    if (reader.Failed())
        return false;
    std::vector<std::vector<uint16_t>> lists(n);
    for (size_t i = 0; i < n; ++i) {
        if (!reader.HasRecords(counts[i], 2))
            return reader.Fail(ENavError::Truncated, "access-ways list longer than the data");
        lists[i].resize(counts[i]);
        for (uint16_t& arc : lists[i]) {
            reader.ReadU16(arc);
            if (m_graph->GetArc(arc) == nullptr)
                return reader.Fail(ENavError::BadIndex, "access way names no arc of the graph");
        }
    }
    if (reader.Failed())
        return false;
    m_lists = std::move(lists);
    return true;
}

bool CAccessWaysData::Init(CConfigNode* node)
{
    std::vector<uint8_t> bytes;
    return NavReadRawData(NavFindRawData(node), bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CAccessWaysData::ReadFromFile(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CAccessWaysData::WriteToMemory(std::vector<uint8_t>& out) const
{
    if (m_lists.empty() || m_lists.size() > size_t(kMaxNodes)) {
        NavSetError(ENavError::BadArgument, "access-ways data not built");
        return false;
    }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    writer.WriteU16(uint16_t(m_lists.size()));
    for (const auto& list : m_lists)
        writer.WriteU16(uint16_t(list.size()));
    for (const auto& list : m_lists)
        for (uint16_t arc : list)
            writer.WriteU16(arc);
    out = writer.Bytes();
    return true;
}

bool CAccessWaysData::Write(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

int32_t CAccessWaysData::GetAccessWays(int32_t nodeIndex, const uint16_t*& list) const
{
    if (nodeIndex < 0 || size_t(nodeIndex) >= m_lists.size()) {
        list = nullptr;
        return 0;
    }
    list = m_lists[size_t(nodeIndex)].data();
    return int32_t(m_lists[size_t(nodeIndex)].size());
}

} // namespace Zelk
