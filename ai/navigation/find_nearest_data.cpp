#include "ai/navigation/find_nearest_data.h"

#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <numeric>

namespace Zelk {

namespace {

CGraphAdditionalData* Create(CSpatialGraph* graph)
{
    return new CFindNearestData(graph);
}

CGraphDataClassRecord s_record("CFindNearestData", &Create);

} // namespace

const CClassRecord* CFindNearestData::GetClassRecord() const
{
    return &s_record;
}

CFindNearestData::CFindNearestData(CSpatialGraph* graph)
    : CGraphAdditionalData(graph), m_nodeCount(graph != nullptr ? graph->GetNodeCount() : 0)
{
}

float CFindNearestData::Coordinate(uint32_t nodeIndex, int axis) const
{
    const CVec3& p = m_graph->GetNode(int32_t(nodeIndex))->GetPosition();
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

bool CFindNearestData::Build()
{
    m_ready = false;
    m_nodeCount = m_graph->GetNodeCount();
    if (m_graph->GetHighestNodeIndex() != m_nodeCount - 1) {
        NavSetError(ENavError::BadArgument, "find-nearest data needs a graph without holes");
        return false;
    }
    const size_t n = size_t(m_nodeCount);
    m_sorted.assign(3 * n, 0);
    m_ranks.assign(3 * n, 0);
    m_candidates.assign(n, 0);
    for (int axis = 0; axis < 3; ++axis) {
        uint32_t* run = m_sorted.data() + axis * n;
        std::iota(run, run + n, 0u);
        std::sort(run, run + n,
                  [&](uint32_t a, uint32_t b) { return Coordinate(a, axis) < Coordinate(b, axis); });
        for (size_t j = 0; j < n; ++j)
            m_ranks[axis * n + run[j]] = uint32_t(j);
    }
    m_ready = true;
    return true;
}

bool CFindNearestData::ReadFromMemory(const uint8_t* data, size_t size)
{
    m_ready = false;
    CNavByteReader reader(data, size);
    if (!reader.ReadHeader(kMagic, kMagicLength))
        return false;
    const uint64_t n = uint64_t(m_nodeCount > 0 ? m_nodeCount : 0);
    if (reader.Remaining() != 24 * n)
        return reader.Fail(ENavError::BadCount, "find-nearest data does not match the graph's node count");
    std::vector<uint32_t> sorted(3 * n);
    std::vector<uint32_t> ranks(3 * n);
    for (uint32_t& v : sorted)
        reader.ReadU32(v);
    for (uint32_t& v : ranks)
        reader.ReadU32(v);
    if (reader.Failed())
        return false;
    // Every entry indexes a node or a run position: check each is below N and
    // that ranks and runs agree, so queries can follow them blindly.
    for (size_t axis = 0; axis < 3; ++axis)
        for (size_t j = 0; j < n; ++j) {
            const uint32_t node = sorted[axis * n + j];
            if (node >= n || ranks[axis * n + j] >= n || ranks[axis * n + node] != j)
                return reader.Fail(ENavError::BadIndex, "find-nearest index or rank out of range");
        }
    m_sorted = std::move(sorted);
    m_ranks = std::move(ranks);
    m_candidates.assign(n, 0);
    m_ready = true;
    return true;
}

bool CFindNearestData::Init(CConfigNode* node)
{
    if (m_nodeCount < 1 || m_graph->GetHighestNodeIndex() != m_nodeCount - 1) {
        NavSetError(ENavError::BadArgument, "find-nearest data needs a graph of nodes 0..N-1");
        return false;
    }
    std::vector<uint8_t> bytes;
    return NavReadRawData(NavFindRawData(node), bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CFindNearestData::ReadFromFile(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return NavReadHostFile(fileName, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CFindNearestData::WriteToMemory(std::vector<uint8_t>& out) const
{
    if (!m_ready) {
        NavSetError(ENavError::BadArgument, "find-nearest data not built");
        return false;
    }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    for (uint32_t v : m_sorted)
        writer.WriteU32(v);
    for (uint32_t v : m_ranks)
        writer.WriteU32(v);
    out = writer.Bytes();
    return true;
}

bool CFindNearestData::Write(const char* fileName)
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

int32_t CFindNearestData::AxisRange(const CVec3& point, float halfWidth, int axis, int32_t& first,
                                    int32_t& last) const
{
    first = last = -1;
    if (!m_ready || m_nodeCount < 1)
        return 0;
    const float c = axis == 0 ? point.x : axis == 1 ? point.y : point.z;
    const float low = c - halfWidth;
    const float high = c + halfWidth;
    const uint32_t* run = m_sorted.data() + size_t(axis) * size_t(m_nodeCount);
    const uint32_t* end = run + m_nodeCount;
    const uint32_t* lo =
        std::lower_bound(run, end, low, [&](uint32_t n, float v) { return Coordinate(n, axis) < v; });
    const uint32_t* hi =
        std::upper_bound(run, end, high, [&](float v, uint32_t n) { return v < Coordinate(n, axis); });
    if (lo == end || hi == run || hi <= lo)
        return 0;
    first = int32_t(lo - run);
    last = int32_t(hi - run) - 1;
    return last - first + 1;
}

int32_t CFindNearestData::FindCandidates(const CVec3& point, float heightHalfWindow, const uint32_t*& list)
{
    list = m_candidates.data();
    const float radius = m_graph->GetSearchRadius();
    const float halfWidths[3] = {radius, heightHalfWindow, radius};
    int32_t first[3];
    int32_t last[3];
    int best = 0;
    int32_t bestCount = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const int32_t count = AxisRange(point, halfWidths[axis], axis, first[axis], last[axis]);
        if (count == 0)
            return 0;
        if (axis == 0 || count < bestCount) {
            best = axis;
            bestCount = count;
        }
    }
    const size_t n = size_t(m_nodeCount);
    int32_t taken = 0;
    for (int32_t j = first[best]; j <= last[best]; ++j) {
        const uint32_t node = m_sorted[size_t(best) * n + size_t(j)];
        bool inside = true;
        for (int axis = 0; axis < 3 && inside; ++axis) {
            if (axis == best)
                continue;
            const int32_t rank = int32_t(m_ranks[size_t(axis) * n + node]);
            inside = rank >= first[axis] && rank <= last[axis];
        }
        if (inside)
            m_candidates[size_t(taken++)] = node;
    }
    return taken;
}

} // namespace Zelk
