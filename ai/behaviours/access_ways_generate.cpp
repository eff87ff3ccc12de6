#include "ai/behaviours/access_ways_generate.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace Zelk {

namespace {

// cos(10 degrees): closer directions count as the same way in.
constexpr float kSameDirection = 0.9848f;

float OneMeterOf(const CAccessWaysGenerator& generator)
{
    if (generator.oneMeter > 0.0f)
        return generator.oneMeter;
    const float world = GetOneMeter();
    return world > 0.0f ? world : 1.0f;
}

CVec3 HorizontalUnit(const CVec3& v)
{
    return CVec3(v.x, 0.0f, v.z).GetNormalized();
}

// Whether node j is seen from node i: from i raised by a metre to j, j raised,
// j shifted sideways either way, and those raised.
bool Sees(const CVec3& pi, const CVec3& pj, float meter)
{
    const CVec3 up(0.0f, meter, 0.0f);
    const CVec3 eye = pi + up;
    if (HostIsVisible(eye, pj, nullptr, 1) || HostIsVisible(eye, pj + up, nullptr, 1))
        return true;
    // Sideways is undefined when the nodes stand one above the other.
    const CVec3 side = (pj - pi).GetNormalized().Cross(CVec3::kUnitY).GetNormalized() * (0.5f * meter);
    if (side.SquaredLength() == 0.0f)
        return false;
    return HostIsVisible(eye, pj + side, nullptr, 1) || HostIsVisible(eye, pj - side, nullptr, 1) ||
           HostIsVisible(eye, pj - side + up, nullptr, 1) || HostIsVisible(eye, pj + side + up, nullptr, 1);
}

} // namespace

std::vector<std::vector<uint16_t>> AccessWaysCompute(const CAccessWaysGenerator& generator)
{
    CSpatialGraph* graph = generator.graph;
    if (graph == nullptr || graph->GetNodeCount() == 0 ||
        graph->GetNodeCount() != graph->GetNodeArraySize() ||
        graph->GetNodeCount() > CAccessWaysData::kMaxNodes ||
        graph->GetHighestArcIndex() > CAccessWaysData::kMaxArcIndex)
        return {};
    const float meter = OneMeterOf(generator);
    const size_t n = size_t(graph->GetNodeCount());
    std::vector<uint8_t> seen(n * n, 0);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            if (i != j)
                seen[i * n + j] = Sees(graph->GetNode(int32_t(i))->GetPosition(),
                                       graph->GetNode(int32_t(j))->GetPosition(), meter)
                                      ? 1
                                      : 0;

    std::vector<std::vector<uint16_t>> lists(n);
    std::vector<uint8_t> taken(n);
    std::vector<CVec3> kept;
    for (size_t i = 0; i < n; ++i) {
        const CVec3 p = graph->GetNode(int32_t(i))->GetPosition();
        std::fill(taken.begin(), taken.end(), 0);
        kept.clear();
        for (int32_t a = 0; a <= graph->GetHighestArcIndex(); ++a) {
            const CGraphArc* arc = graph->GetArc(a);
            if (arc == nullptr || arc->GetFrom() == nullptr || arc->GetTo() == nullptr)
                continue;
            const size_t from = size_t(arc->GetFrom()->GetIndex());
            const size_t to = size_t(arc->GetTo()->GetIndex());
            if (from == i || to == i || !seen[i * n + to] || seen[i * n + from] || taken[to])
                continue;
            // Directions are compared in the horizontal plane; a destination on the
            // node itself has no direction and is always kept.
            const CVec3 direction = HorizontalUnit(arc->GetTo()->GetPosition() - p);
            bool same = false;
            for (const CVec3& other : kept)
                same = same || direction.Dot(other) >= kSameDirection;
            if (same)
                continue;
            taken[to] = 1;
            lists[i].push_back(uint16_t(a));
            kept.push_back(direction);
        }
    }
    return lists;
}

bool AccessWaysDataFromLists(CAccessWaysData& data, const std::vector<std::vector<uint16_t>>& lists)
{
    if (lists.empty() || lists.size() > size_t(CAccessWaysData::kMaxNodes))
        return false;
    CNavByteWriter writer;
    writer.WriteHeader(CAccessWaysData::kMagic, CAccessWaysData::kMagicLength);
    writer.WriteU16(uint16_t(lists.size()));
    for (const auto& list : lists)
        writer.WriteU16(uint16_t(list.size()));
    for (const auto& list : lists)
        for (uint16_t arc : list)
            writer.WriteU16(arc);
    const std::vector<uint8_t>& bytes = writer.Bytes();
    return data.ReadFromMemory(bytes.data(), bytes.size());
}

bool AccessWaysGenerateTo(const CAccessWaysGenerator& generator, const char* fileName)
{
    if (fileName == nullptr)
        return false;
    const std::vector<std::vector<uint16_t>> lists = AccessWaysCompute(generator);
    if (lists.empty())
        return false;
    CAccessWaysData* data = new CAccessWaysData(generator.graph);
    bool ok = AccessWaysDataFromLists(*data, lists);
    if (ok) {
        std::error_code error;
        const std::filesystem::path path(fileName);
        if (path.has_parent_path())
            std::filesystem::create_directories(path.parent_path(), error);
        std::remove(fileName);
        ok = data->Write(fileName);
    }
    delete data;
    return ok;
}

bool AccessWaysGenerate(const CAccessWaysGenerator& generator)
{
    return AccessWaysGenerateTo(generator, kAccessWaysFileName);
}

} // namespace Zelk
