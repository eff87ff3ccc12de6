// The hide agent: moves its entity to a node of a navigation graph that none of
// its dangerous entities can see: with "FAR_FROM_ENEMY" the hidden node with the
// greatest summed distance (path cost when the point mapper knows the graph)
// from the dangers, with "CLOSE_TO_ME" the hidden node nearest to itself.
//
// The search scores the graph's nodes in ascending index order and is spread
// over frames: it runs as the time-manager task "CHideAgent::ComputeDestination"
// at most every 0.1 s, and each node's visibility test as the task
// "CHideAgent::CheckPositionVisible"; a refused test interrupts the scan, which
// resumes at that node later, so an interrupted scan ends with the node an
// uninterrupted one would choose. Nodes that are not better than the best so
// far are not tested for visibility. Once the search is complete the kept
// destination is tested again at every admitted search; when a danger sees it,
// the search starts again from the first node and the entity stops walking there.
//
// Visibility: from each dangerous entity in play (its eye position attribute, or
// its position) to the node, raised by the hider's own eye height when the hider
// has an eye position attribute.
//
// Configuration: "Graph", "ResearchType" ("FAR_FROM_ENEMY" or "CLOSE_TO_ME",
// default the latter), "MaxDeltaHeight" (metres, default 1, for the nearest-node
// searches), "MaxDangerousEntities" (at least 1, default 20). Needs a path
// finder, an entity manager and both tasks.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>
#include <vector>

namespace Zelk {

class CEntity;
class CEntityEyePosition;
class CEntityManager;
class CFindNearestData;
class CGraphNode;
class CSpatialGraph;
class IPathFinder;

class CHideAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;
    enum EResearchType : uint8_t
    {
        kFarFromEnemy = 1,
        kCloseToMe = 2,
    };
    /// What scoring one node gave.
    enum EScore
    {
        kNotAdmitted, // the visibility test was refused: score the node again later
        kNotBetter,
        kBetter,
    };

    explicit CHideAgent(CBrain* brain) : CAgent(brain) {}

    /// Defaults, tasks, parameters, services; false without path finder, entity manager or tasks.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    /// Forgets the destination and the search.
    void Start() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    bool CanRun() override { return true; }
    /// Searches (when due and admitted) and walks to the destination once the search is
    /// complete; true while searching, false when the complete search found nothing.
    bool Think() override;
    bool HasServices() const { return m_pathFinder != nullptr && m_entityManager != nullptr; }
    bool HasTasks() const { return m_taskCompute != -1 && m_taskVisible != -1; }
    /// Scores the node (type 1: summed distance from the dangers, type 2: distance from the
    /// hider) and, when it beats the best so far, tests that no danger sees it.
    EScore ScoreNode(const CGraphNode& node, float* score);
    /// Best far score 0, best near score FLT_MAX.
    void ResetScores();

    /// Appends a dangerous entity; false for null or when the list is full.
    bool AddDangerousEntity(CEntity* entity);
    /// The destination once a complete search found one; the entity's position otherwise.
    CVec3 GetDestination() const;
    /// Keeps the destination while no danger sees it, else searches on. True when a
    /// destination is held.
    bool ComputeDestination();
    /// Scores the nodes after the cursor until the end or a refused visibility test.
    void SearchNodes();
    /// Uses the graph, its find-nearest data and its point-mapping index.
    void SetGraph(CSpatialGraph* graph);

    int32_t GetDestinationIndex() const { return m_destinationIndex; }
    bool IsSearchComplete() const { return m_searchComplete != 0; }
    bool HasFound() const { return m_found != 0; }
    int32_t GetCursor() const { return m_cursor; }
    uint32_t GetDangerousCount() const { return uint32_t(m_dangers.size()); }
    uint32_t GetDangerousCapacity() const { return m_capacity; }
    uint8_t GetResearchType() const { return m_researchType; }
    /// True when some dangerous entity in play sees the point (raised by the eye height).
    bool IsSeen(const CVec3& point) const;

  private:
    CGraphNode* NearestNode(const CVec3& point, CEntity* entity) const;
    CVec3 Raised(const CVec3& point) const;
    float PathCost(const CGraphNode* from, const CGraphNode& to, const CVec3& fromPoint) const;
    bool InPlay(const CEntity* entity) const;

    CEntityManager* m_entityManager = nullptr;
    IPathFinder* m_pathFinder = nullptr;
    CVec3 m_destination;
    CGraphNode* m_destinationNode = nullptr;
    int32_t m_destinationIndex = -1;
    int32_t m_taskCompute = -1;
    int32_t m_taskVisible = -1;
    float m_nextSearchTime = 0.0f;
    uint8_t m_allDangerousOut = 0;
    uint8_t m_arrived = 0;
    CEntityEyePosition* m_eyePosition = nullptr;
    uint8_t m_researchType = kCloseToMe;
    std::vector<CEntity*> m_dangers;
    std::vector<CGraphNode*> m_dangerNodes;
    uint32_t m_capacity = 20;
    CSpatialGraph* m_graph = nullptr;
    uint8_t m_found = 0;
    uint8_t m_searchComplete = 1;
    int32_t m_cursor = -1;
    float m_bestFar = 0.0f;
    float m_bestNear = 0.0f;
    uint16_t m_graphId = 0xFFFF;
    CGraphNode* m_ownNode = nullptr;
    float m_maxDeltaHeight = 0.0f;
    CFindNearestData* m_findNearest = nullptr;
};

} // namespace Zelk
