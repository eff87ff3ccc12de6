// The escort team: a team of escorts guarding one VIP entity.
//
// Around the access-ways graph node nearest to the VIP, the ways of access (arcs
// of that graph listed by its access-ways data) are grouped into direction
// clusters; up to one guard direction per member is chosen so that the clusters
// are covered, each direction becomes a guard point near the VIP, and members
// are assigned to the points so that the total squared walk is smallest. The
// first member's question (GetGuardSlot) refreshes all of it whenever the VIP's
// nearest node changes; between refreshes each guard point moves with the VIP.
//
// Configuration ("Class" "CWardelTeam"): "AccessWaysGraph" (the name of a graph
// of the world's graph manager that has CAccessWaysData and CFindNearestData) and
// "DistanceToVIP" (metres, default 3).
#pragma once
#include "ai/behaviours/permutation_counter.h"
#include "ai/runtime/team.h"
#include "ai/runtime/vec3.h"
#include <cstdint>
#include <memory>
#include <vector>

namespace Zelk {

class CAccessWaysData;
class CFindNearestData;
class CSpatialGraph;

/// Most direction clusters around one node.
inline constexpr int32_t kMaxAccessWayClusters = 60;
/// Entry of a watched list or of slotOfAccessWay that holds nothing.
inline constexpr uint16_t kNoCluster = 0xFFFF;

/// Access ways of one node that lie in nearly the same direction from it.
class CAccessWayCluster
{
  public:
    virtual ~CAccessWayCluster() = default;
    bool InUse() const { return count != kNoCluster && count > 0; }

    uint16_t count = 0; // kNoCluster: free entry
    CVec3 mean;         // mean position of its access ways
    CVec3 sum;          // sum of their positions
    CVec3 nearest;      // the access-way position closest to the node
};

/// The clusters of one access-ways node, built the first time it becomes current.
class CGuardNodeRecord
{
  public:
    virtual ~CGuardNodeRecord() = default;

    uint8_t built = 0;
    CAccessWayCluster clusters[kMaxAccessWayClusters];
    CSpatialGraph* graph = nullptr;
    uint16_t directionCount = 0;
};

class CWardelTeam : public CTeam
{
  public:
    static CTeamClassRecord s_classRecord;

    CWardelTeam(uint32_t capacity, const char* name);
    ~CWardelTeam() override;

    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Guard distance 3 m, reads the parameters, then sizes every table; false
    /// without an access-ways graph (configured, or given by SetGraphData before).
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;

    /// Assigns members to the current guard points (least total squared walk),
    /// then gives each its offset from the VIP and its watched clusters.
    virtual void AssignGuardSlots();
    /// Builds the current node's clusters once, recomputes the guard points; the
    /// number of guard points.
    virtual int16_t UpdateGuardSlots();
    /// The entity's position in the member list, -1 when it is not a member (or, for
    /// the first member, when no access-ways node lies near the VIP). The first
    /// member's question refreshes the guard points when the VIP's node changed.
    virtual int16_t GetGuardSlot(const CEntity* entity);

    /// Groups the node's access ways into clusters of directions whose cosine
    /// exceeds cosThreshold. Missing arcs or nodes are skipped; beyond 60
    /// clusters an access way joins the cluster of the nearest direction.
    void BuildNodeClusters(CGuardNodeRecord& record, float cosThreshold, const CAccessWaysData& data,
                           int32_t nodeIndex);
    /// Chooses at most memberCount guard directions covering the record's clusters and
    /// writes their points (distance about `distance` from vip) and, per cluster, the
    /// direction that covers it (kNoCluster: none). The number of directions. A larger
    /// team never covers fewer clusters than a smaller one: where the directions chosen
    /// for the whole team cover fewer than those of a smaller team, the smaller team's
    /// are kept and the members beyond them stay free. Clusters whose heading from the
    /// VIP is not a number (a VIP or a distance that is not finite) are not covered.
    int16_t ComputeGuardSlots(const CGuardNodeRecord& record, const CVec3& vip, float distance,
                              CVec3* outPoints, uint16_t* outSlotOfCluster, int32_t memberCount);

    /// The graph and its data, for hosts and tests that do not configure them by name.
    void SetGraphData(CSpatialGraph* graph, CAccessWaysData* accessWays, CFindNearestData* findNearest);

    CEntity* GetVip() const { return m_vip; }
    void SetVip(CEntity* vip) { m_vip = vip; }
    float GetDistanceToVip() const { return m_distanceToVip; }
    uint32_t GetCapacity() const { return m_capacity; }
    CSpatialGraph* GetGraph() const { return m_graph; }
    CAccessWaysData* GetAccessWays() const { return m_accessWays; }
    /// Node index of the VIP's current access-ways node; kNoCluster before the first refresh.
    uint16_t GetCurrentNode() const { return m_currentNode; }
    uint16_t GetSlotCount() const { return m_slotCount; }
    const CVec3& GetSlotPoint(int32_t slot) const { return m_slotPoints[size_t(slot)]; }
    /// Offset of member i's guard point from the VIP; (0, 0, 0) when it has no slot.
    const CVec3& GetMemberOffset(int32_t member) const { return m_memberOffsets[size_t(member)]; }
    /// Member i's watched clusters (60 entries, kNoCluster after the last).
    const uint16_t* GetWatchedList(int32_t member) const { return m_watched[size_t(member)].data(); }
    /// The slot (guard point index) member i was given; -1 when none.
    int32_t GetMemberSlot(int32_t member) const;
    uint16_t GetSlotOfCluster(int32_t cluster) const { return m_slotOfCluster[size_t(cluster)]; }
    /// The record of the current node (null before the first refresh).
    const CGuardNodeRecord* GetCurrentRecord() const;
    /// capacity! saturated at 100000; exhaustive search runs while it is below 10000.
    int64_t GetPermutationCount() const { return m_permutationCount; }
    int32_t GetTrialCount() const { return m_trialCount; }
    bool IsReady() const { return m_ready; }

  private:
    CGuardNodeRecord* RecordOf(int32_t nodeIndex);
    /// The passes of the coverage windows for a team of exactly memberCount: what
    /// ComputeGuardSlots answers before it compares with smaller teams.
    int16_t ChooseGuardDirections(const CGuardNodeRecord& record, const CVec3& vip, float distance,
                                  CVec3* outPoints, uint16_t* outSlotOfCluster, int32_t memberCount);
    void OfferAssignment(const CPermutationCounter& candidate, double& best, bool& first);

    uint32_t m_capacity;
    CEntity* m_vip = nullptr;
    float m_distanceToVip = 0.0f;
    std::vector<std::unique_ptr<CGuardNodeRecord>> m_nodeRecords; // per node index, made on first use
    CSpatialGraph* m_graph = nullptr;
    CFindNearestData* m_findNearest = nullptr;
    CAccessWaysData* m_accessWays = nullptr;
    std::vector<CVec3> m_slotPoints;
    uint16_t m_slotOfCluster[kMaxAccessWayClusters];
    std::vector<CVec3> m_memberOffsets;
    std::vector<std::vector<float>> m_distances; // [member][slot]
    std::vector<int16_t> m_bestAssignment;       // [slot] -> member
    uint16_t m_slotCount = 0;
    uint16_t m_currentNode = kNoCluster;
    std::vector<std::vector<uint16_t>> m_watched; // [member][60]
    std::vector<uint8_t> m_absorbed;              // per access way of the node being clustered
    std::vector<CVec3> m_smallerTeamPoints;       // guard points of a smaller team, compared
    std::vector<int32_t> m_directions;
    CPermutationCounter m_counter;
    CPermutationCounter m_zeroCounter;
    int64_t m_permutationCount = 1;
    int32_t m_trialCount = 1;
    bool m_ready = false;
};

/// Non-zero: the escort team and agents draw guard points, access ways and path points
/// through the host's draw callbacks. The host toggles it (F1 in the demo); 0 at start.
extern uint8_t ShowCoverage;

} // namespace Zelk
