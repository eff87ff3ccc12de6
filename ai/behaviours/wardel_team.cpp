// The escort team's configuration, tables, refresh and assignment of members to
// guard slots. The guard directions themselves are in wardel_team_slots.cpp.
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_queries.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"
#include <cstdlib>
#include <cstring>

namespace Zelk {

namespace {

// Exhaustive search while capacity! is below this (every capacity up to 7).
constexpr int64_t kExhaustiveLimit = 10000;
// Random trials at most; also where capacity! saturates.
constexpr int64_t kMaxTrials = 100000;

CTeam* Create(uint32_t capacity, const char* name)
{
    return new CWardelTeam(capacity, name);
}

const CClassRecord* DataRecord(const char* name)
{
    return CGraphDataClassRecord::Find(name);
}

} // namespace

CTeamClassRecord CWardelTeam::s_classRecord("CWardelTeam", &Create);

uint8_t ShowCoverage = 0;

CWardelTeam::CWardelTeam(uint32_t capacity, const char* name) : CTeam(capacity, name), m_capacity(capacity)
{
    for (uint16_t& s : m_slotOfCluster)
        s = kNoCluster;
}

CWardelTeam::~CWardelTeam() = default;

void CWardelTeam::SetGraphData(CSpatialGraph* graph, CAccessWaysData* accessWays,
                               CFindNearestData* findNearest)
{
    m_graph = graph;
    m_accessWays = accessWays;
    m_findNearest = findNearest;
}

bool CWardelTeam::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetKey() == nullptr)
        return false;
    const char* key = node->GetKey();
    const char* value = node->GetValue();
    if (std::strcmp(key, "AccessWaysGraph") == 0) {
        CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        if (value == nullptr || manager == nullptr)
            return false;
        CSpatialGraph* graph = manager->GetGraph(value);
        if (graph == nullptr)
            return false;
        auto* accessWays =
            static_cast<CAccessWaysData*>(manager->GetAdditionalData(graph, DataRecord("CAccessWaysData")));
        auto* findNearest =
            static_cast<CFindNearestData*>(manager->GetAdditionalData(graph, DataRecord("CFindNearestData")));
        if (accessWays == nullptr || findNearest == nullptr)
            return false;
        SetGraphData(graph, accessWays, findNearest);
        return true;
    }
    if (std::strcmp(key, "DistanceToVIP") == 0) {
        if (value == nullptr)
            return false;
        m_distanceToVip = ConfigToFloat(value) * GetOneMeter();
        return true;
    }
    return false;
}

bool CWardelTeam::Init(CConfigNode* node)
{
    m_distanceToVip = 3.0f * GetOneMeter();
    if (!CTeam::Init(node))
        return false;
    if (m_graph == nullptr || m_accessWays == nullptr)
        return false;
    m_currentNode = kNoCluster;
    m_slotCount = 0;
    const int32_t nodeSlots = m_graph->GetNodeArraySize();
    m_nodeRecords.clear();
    m_nodeRecords.resize(size_t(nodeSlots > 0 ? nodeSlots : 0));
    // One flag per access way of the node being clustered: sized by the longest list.
    int32_t longest = 0;
    for (int32_t i = 0; i < m_accessWays->GetNodeCount(); ++i) {
        const uint16_t* list = nullptr;
        const int32_t c = m_accessWays->GetAccessWays(i, list);
        longest = c > longest ? c : longest;
    }
    m_absorbed.assign(size_t(longest), 0);
    const size_t cap = m_capacity;
    m_watched.assign(cap, std::vector<uint16_t>(kMaxAccessWayClusters, kNoCluster));
    m_distances.assign(cap, std::vector<float>(cap, 0.0f));
    m_memberOffsets.assign(cap, CVec3());
    m_bestAssignment.assign(cap, 0);
    m_slotPoints.assign(cap, CVec3());
    m_directions.assign(cap, 0);
    for (uint16_t& s : m_slotOfCluster)
        s = kNoCluster;
    m_counter.Allocate(int32_t(cap));
    m_zeroCounter.Allocate(int32_t(cap));
    // capacity!, saturated so that large teams neither overflow nor search exhaustively.
    m_permutationCount = 1;
    for (uint32_t f = 2; f <= m_capacity && m_permutationCount < kMaxTrials; ++f)
        m_permutationCount *= int64_t(f);
    if (m_permutationCount > kMaxTrials)
        m_permutationCount = kMaxTrials;
    m_trialCount = int32_t(m_permutationCount);
    m_ready = true;
    return true;
}

CGuardNodeRecord* CWardelTeam::RecordOf(int32_t nodeIndex)
{
    if (nodeIndex < 0 || size_t(nodeIndex) >= m_nodeRecords.size())
        return nullptr;
    std::unique_ptr<CGuardNodeRecord>& slot = m_nodeRecords[size_t(nodeIndex)];
    if (!slot) {
        slot = std::make_unique<CGuardNodeRecord>();
        slot->graph = m_graph;
    }
    return slot.get();
}

const CGuardNodeRecord* CWardelTeam::GetCurrentRecord() const
{
    if (m_currentNode == kNoCluster || size_t(m_currentNode) >= m_nodeRecords.size())
        return nullptr;
    return m_nodeRecords[m_currentNode].get();
}

int16_t CWardelTeam::UpdateGuardSlots()
{
    CGuardNodeRecord* record = RecordOf(m_currentNode);
    if (record == nullptr || !m_ready)
        return 0;
    if (!record->built) {
        BuildNodeClusters(*record, 0.999f, *m_accessWays, m_currentNode);
        record->built = 1;
    }
    const CVec3 vip = m_vip != nullptr ? m_vip->GetPosition() : CVec3();
    const int32_t members = int32_t(GetMembers().GetCount());
    const int16_t k = ComputeGuardSlots(*record, vip, m_distanceToVip, m_slotPoints.data(), m_slotOfCluster,
                                        members < int32_t(m_capacity) ? members : int32_t(m_capacity));
    record->directionCount = uint16_t(k);
    return k;
}

int16_t CWardelTeam::GetGuardSlot(const CEntity* entity)
{
    if (entity == nullptr || !m_ready)
        return -1;
    const CFixedList<CEntity>& members = GetMembers();
    if (members.GetHead() != nullptr && members.GetHead()->item == entity && m_vip != nullptr) {
        const CVec3& v = m_vip->GetPosition();
        CGraphNode* node =
            m_findNearest != nullptr
                ? FindNearestNodeFromData(v, m_vip, m_graph->GetSearchRadius(), *m_findNearest, false, false)
                : FindNearestNode(*m_graph, v, false, false);
        if (node != nullptr && ShowCoverage != 0)
            HostDrawPoint(node->GetPosition(), 255, 0, 0);
        if (node == nullptr)
            return -1;
        if (node->GetIndex() != int32_t(m_currentNode)) {
            m_currentNode = uint16_t(node->GetIndex());
            m_slotCount = uint16_t(UpdateGuardSlots());
            AssignGuardSlots();
        }
    }
    int16_t i = 0;
    for (auto it = members.Begin(); it.IsValid(); ++it, ++i)
        if (it.Item() == entity)
            return i;
    return -1;
}

void CWardelTeam::OfferAssignment(const CPermutationCounter& candidate, double& best, bool& first)
{
    // A genuine zero cost (everyone already on a slot) is accepted as well; later
    // equal costs are not, so the first best in search order stays.
    if (!candidate.IsPermutation())
        return;
    const double c = candidate.Cost(m_distances);
    if (!first && !(c < best))
        return;
    best = c;
    first = false;
    for (int32_t j = 0; j < candidate.GetDigitCount(); ++j)
        m_bestAssignment[size_t(j)] = int16_t(candidate.GetDigit(j));
}

int32_t CWardelTeam::GetMemberSlot(int32_t member) const
{
    for (int32_t j = 0; j < int32_t(m_slotCount); ++j)
        if (m_bestAssignment[size_t(j)] == member)
            return j;
    return -1;
}

void CWardelTeam::AssignGuardSlots()
{
    if (!m_ready)
        return;
    const CFixedList<CEntity>& members = GetMembers();
    int32_t m = int32_t(members.GetCount());
    if (m > int32_t(m_capacity))
        m = int32_t(m_capacity);
    int32_t k = m_slotCount;
    if (k > m)
        k = m;
    m_slotCount = uint16_t(k);
    int32_t i = 0;
    for (auto it = members.Begin(); it.IsValid() && i < m; ++it, ++i)
        for (int32_t j = 0; j < k; ++j)
            m_distances[size_t(i)][size_t(j)] =
                CVec3::SquaredDistance(m_slotPoints[size_t(j)], it.Item()->GetPosition());

    m_zeroCounter.Reset(int16_t(m), int16_t(k));
    m_counter.Reset(int16_t(m), int16_t(k));
    double best = 0.0;
    bool first = true;
    if (m_permutationCount < kExhaustiveLimit) {
        // Every digit array in odometer order (digit 0 fastest), the all-zero one last.
        do {
            m_counter.Increment(0);
            OfferAssignment(m_counter, best, first);
        } while (!m_counter.SameDigits(m_zeroCounter));
    } else {
        for (int32_t j = 0; j < k; ++j)
            m_bestAssignment[size_t(j)] = int16_t(j);
        for (int32_t t = 0; t < m_trialCount; ++t) {
            m_counter.Randomize();
            OfferAssignment(m_counter, best, first);
        }
    }

    for (std::vector<uint16_t>& list : m_watched)
        for (uint16_t& entry : list)
            entry = kNoCluster;

    float h = 0.0f;
    if (m_vip != nullptr && m_vip->GetAttribute<CEntityHeight>() != nullptr && members.GetTail() != nullptr) {
        const CEntityHeight* last = members.GetTail()->item->GetAttribute<CEntityHeight>();
        h = (last != nullptr ? last->GetValue() : 0.0f) - m_vip->GetAttribute<CEntityHeight>()->GetValue();
    }
    const CVec3 vip = m_vip != nullptr ? m_vip->GetPosition() : CVec3();
    for (i = 0; i < int32_t(m_capacity); ++i) {
        const int32_t s = i < m ? GetMemberSlot(i) : -1;
        if (s < 0) {
            m_memberOffsets[size_t(i)] = CVec3();
            continue;
        }
        CVec3 offset = m_slotPoints[size_t(s)] - vip;
        offset.y += h;
        m_memberOffsets[size_t(i)] = offset;
        int32_t n = 0;
        for (int32_t a = 0; a < kMaxAccessWayClusters; ++a)
            if (m_slotOfCluster[a] == uint16_t(s))
                m_watched[size_t(i)][size_t(n++)] = uint16_t(a);
    }
}

} // namespace Zelk
