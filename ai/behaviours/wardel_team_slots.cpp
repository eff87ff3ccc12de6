// The escort team's geometry: clusters of access ways around a node, guard
// directions that cover them, and the guard points at those directions.
#include "ai/behaviours/sector_window.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/warning.h"
#include <algorithm>
#include <cmath>

namespace Zelk {

namespace {

constexpr int32_t kSectors = 360;

void OpenCluster(CAccessWayCluster& cluster, const CVec3& q)
{
    cluster.count = 1;
    cluster.mean = q;
    cluster.sum = q;
    cluster.nearest = q;
}

void JoinCluster(CAccessWayCluster& cluster, const CVec3& q, const CVec3& p)
{
    cluster.sum += q;
    cluster.count = uint16_t(cluster.count + 1);
    cluster.mean = cluster.sum / float(cluster.count);
    if ((q - p).Length() < (cluster.nearest - p).Length())
        cluster.nearest = q;
}

float HeadingOf(const CVec3& d)
{
    return DirectionToAngles(CVec3(d.x, 0.0f, d.z)).y;
}

// The sector (0..359) of a finite heading in degrees, of any size.
int32_t SectorOf(float heading)
{
    const int32_t s = int32_t(std::fmod(heading, float(kSectors)));
    return s < 0 ? s + kSectors : s;
}

int32_t CoveredClusters(const uint16_t* slotOfCluster)
{
    int32_t covered = 0;
    for (int32_t e = 0; e < kMaxAccessWayClusters; ++e)
        covered += slotOfCluster[e] != kNoCluster ? 1 : 0;
    return covered;
}

// Whole degrees from sector s to a heading, folded into [-180, 180]. The
// heading is finite and within a turn of 0, as HeadingOf gives it.
int32_t FoldedAngle(float heading, int32_t s)
{
    int32_t a = int32_t(heading - float(s));
    if (a > 180)
        a -= 360;
    else if (a < -180)
        a += 360;
    return a;
}

// Gives direction r every cluster in use, not yet done, whose heading lies within w
// degrees of sector s; true when it covered any.
bool MarkCovered(const CGuardNodeRecord& record, const float* heading, int32_t s, float w, int32_t r,
                 bool* done, uint16_t* outSlotOfCluster)
{
    bool covered = false;
    for (int32_t e = 0; e < kMaxAccessWayClusters; ++e) {
        if (!record.clusters[e].InUse() || done[e])
            continue;
        if (float(std::abs(FoldedAngle(heading[e], s))) <= w) {
            outSlotOfCluster[e] = uint16_t(r);
            done[e] = true;
            covered = true;
        }
    }
    return covered;
}

} // namespace

void CWardelTeam::BuildNodeClusters(CGuardNodeRecord& record, float cosThreshold, const CAccessWaysData& data,
                                    int32_t nodeIndex)
{
    CSpatialGraph* graph = record.graph != nullptr ? record.graph : m_graph;
    const CGraphNode* node = graph != nullptr ? graph->GetNode(nodeIndex) : nullptr;
    const uint16_t* arcs = nullptr;
    const int32_t c = data.GetAccessWays(nodeIndex, arcs);
    if (node == nullptr || c <= 0)
        return;
    const CVec3 p = node->GetPosition();

    // Positions of the access ways whose arc and destination node exist.
    std::vector<CVec3> ways;
    ways.reserve(size_t(c));
    for (int32_t i = 0; i < c; ++i) {
        const CGraphArc* arc = graph->GetArc(arcs[i]);
        if (arc != nullptr && arc->GetTo() != nullptr)
            ways.push_back(arc->GetTo()->GetPosition());
    }
    if (ways.empty())
        return;
    if (m_absorbed.size() < ways.size())
        m_absorbed.resize(ways.size());
    for (size_t i = 0; i < ways.size(); ++i)
        m_absorbed[i] = 0;
    for (CAccessWayCluster& cluster : record.clusters)
        cluster.count = kNoCluster;

    OpenCluster(record.clusters[0], ways[0]);
    m_absorbed[0] = 1;
    int32_t m = 1;
    bool warned = false;
    for (size_t i = 0; i < ways.size(); ++i) {
        const CVec3 v = (ways[i] - p).GetNormalized();
        int32_t nearestDirection = 0;
        float nearestDot = -2.0f;
        for (int32_t j = 0; j < m && !m_absorbed[i]; ++j) {
            CAccessWayCluster& cluster = record.clusters[j];
            const float dot = (cluster.mean - p).GetNormalized().Dot(v);
            if (dot > cosThreshold) {
                JoinCluster(cluster, ways[i], p);
                m_absorbed[i] = 1;
            } else if (dot > nearestDot) {
                nearestDot = dot;
                nearestDirection = j;
            }
        }
        if (m_absorbed[i])
            continue;
        if (m < kMaxAccessWayClusters) {
            OpenCluster(record.clusters[m++], ways[i]);
        } else {
            // The table is full: the way joins the cluster of the nearest direction.
            if (!warned)
                AiWarning("access-ways node %d has more than %d directions; extra ways join the nearest",
                          int(nodeIndex), int(kMaxAccessWayClusters));
            warned = true;
            JoinCluster(record.clusters[nearestDirection], ways[i], p);
        }
        m_absorbed[i] = 1;
    }
}

int16_t CWardelTeam::ComputeGuardSlots(const CGuardNodeRecord& record, const CVec3& vip, float distance,
                                       CVec3* outPoints, uint16_t* outSlotOfCluster, int32_t memberCount)
{
    int16_t k = ChooseGuardDirections(record, vip, distance, outPoints, outSlotOfCluster, memberCount);
    int32_t covered = CoveredClusters(outSlotOfCluster);
    int32_t inUse = 0;
    for (const CAccessWayCluster& cluster : record.clusters)
        inUse += cluster.InUse() ? 1 : 0;
    // The windows narrow as the team grows, and a narrower first window can leave a
    // cluster out that a smaller team's wider one took: the largest smaller team that
    // covers more wins, its extra members left free, so that adding an escort never
    // leaves a way unwatched.
    if (memberCount > 1 && covered < inUse && m_smallerTeamPoints.size() < size_t(memberCount))
        m_smallerTeamPoints.resize(size_t(memberCount));
    for (int32_t m = memberCount - 1; m >= 1 && covered < inUse; --m) {
        uint16_t slotOf[kMaxAccessWayClusters];
        const int16_t smallerK =
            ChooseGuardDirections(record, vip, distance, m_smallerTeamPoints.data(), slotOf, m);
        const int32_t smallerCovered = CoveredClusters(slotOf);
        if (smallerCovered > covered) {
            k = smallerK;
            covered = smallerCovered;
            std::copy(slotOf, slotOf + kMaxAccessWayClusters, outSlotOfCluster);
            std::copy(m_smallerTeamPoints.begin(), m_smallerTeamPoints.begin() + k, outPoints);
        }
    }
    return k;
}

int16_t CWardelTeam::ChooseGuardDirections(const CGuardNodeRecord& record, const CVec3& vip, float distance,
                                           CVec3* outPoints, uint16_t* outSlotOfCluster, int32_t memberCount)
{
    for (int32_t e = 0; e < kMaxAccessWayClusters; ++e)
        outSlotOfCluster[e] = kNoCluster;
    if (memberCount <= 0)
        return 0;
    if (m_directions.size() < size_t(memberCount))
        m_directions.resize(size_t(memberCount));

    float coverage[kSectors];
    float slopeSum[kSectors] = {};
    float distanceSum[kSectors] = {};
    float heading[kMaxAccessWayClusters] = {};
    bool done[kMaxAccessWayClusters] = {};
    uint16_t run[kSectors];
    float w = 180.0f / float(memberCount);

    int32_t r = 0;
    for (; r != memberCount; ++r) {
        for (float& c : coverage)
            c = 0.0f;
        for (int32_t e = 0; e < kMaxAccessWayClusters; ++e) {
            if (!record.clusters[e].InUse() || done[e])
                continue;
            CVec3 d = record.clusters[e].nearest - vip;
            const float length = d.Length();
            if (length != 0.0f)
                d = d * (distance / length);
            heading[e] = HeadingOf(d);
            if (!std::isfinite(heading[e])) {
                done[e] = true; // no direction leads to it: left uncovered
                continue;
            }
            AddCosineWindow(coverage, kSectors, heading[e]);
            // The slope is taken from the scaled offset, the distance weight unscaled.
            AddWeightedCosineWindow(slopeSum, kSectors, heading[e], d.y);
            AddWeightedCosineWindow(distanceSum, kSectors, heading[e], length);
        }
        int32_t s = 0;
        for (int32_t j = 1; j < kSectors; ++j)
            if (coverage[j] > coverage[s])
                s = j;
        if (!(coverage[s] > 0.0f))
            break;
        m_directions[size_t(r)] = s;

        if (r == 0) {
            int32_t s0 = -1;
            for (int32_t j = 0; j < kSectors && s0 < 0; ++j)
                if (coverage[j] != 0.0f)
                    s0 = j;
            if (s0 >= 0) {
                // The widest empty gap around the VIP; the occupied arc is shared out.
                uint16_t widest = 0;
                for (int32_t t = 0; t < kSectors; ++t) {
                    const int32_t j = (s0 + t) % kSectors;
                    const int32_t prev = j == 0 ? kSectors - 1 : j - 1;
                    run[j] = coverage[j] != 0.0f ? 0 : uint16_t(run[prev] + 1);
                    widest = run[j] > widest ? run[j] : widest;
                }
                w = float(kSectors - widest) * 0.5f / float(memberCount);
            }
        }

        if (!MarkCovered(record, heading, s, w, r, done, outSlotOfCluster)) {
            // The peak lies between clusters that are further than the window from it (the
            // window narrows as the team grows): this pass would cover nothing and the same
            // peak would win every later pass. The direction of the remaining cluster
            // nearest to the peak is guarded instead, so every pass covers at least one.
            int32_t nearest = -1;
            int32_t nearestAngle = 0;
            for (int32_t e = 0; e < kMaxAccessWayClusters; ++e) {
                if (!record.clusters[e].InUse() || done[e])
                    continue;
                const int32_t a = std::abs(FoldedAngle(heading[e], s));
                if (nearest < 0 || a < nearestAngle) {
                    nearest = e;
                    nearestAngle = a;
                }
            }
            s = SectorOf(heading[nearest]);
            m_directions[size_t(r)] = s;
            MarkCovered(record, heading, s, w, r, done, outSlotOfCluster);
        }
    }

    for (int32_t i = 0; i < r; ++i) {
        const int32_t s = m_directions[size_t(i)];
        // No way away from the VIP at all gives no slope.
        const float ratio = distanceSum[s] != 0.0f && std::isfinite(slopeSum[s] / distanceSum[s])
                                ? slopeSum[s] / distanceSum[s]
                                : 0.0f;
        float v = std::atan(ratio) * (1.0f / kHalfPi) * 10.0f;
        if (v < -0.5f)
            v = 0.5f;
        else if (v > 1.0f)
            v = 1.0f;
        const float radius = distance / (v + 1.0f);
        outPoints[i] = CVec3(vip.x + std::sin(float(s) * kDegToRad) * radius, vip.y,
                             vip.z + std::cos(float(s) * kDegToRad) * radius);
    }
    return int16_t(r);
}

} // namespace Zelk
