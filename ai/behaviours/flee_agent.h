// The flee agent: moves its entity away from danger points and danger entities
// along a navigation graph. At every "ComputeDestInterval" (when the time
// manager admits the task "CFleeAgent::ComputeDestination") it searches the
// paths of "PathLength" arcs from its nearest node, depth first, and takes the
// end node of the best one: a path scores the summed distances of its nodes
// from the dangers, divided by (depth + 1) and by 10 x crossings + 1, where a
// crossing is an arc that passes within 2 m of a danger. With "StopWhenHidden"
// it stands still as soon as no danger point is in sight and no danger entity
// is in play (tested as the task "CFleeAgent::CheckDangerVisible").
//
// The search costs (out-arcs per node) ^ path length calls, so the path length
// is at most kMaxPathLength (8); longer values are cut to it and negative ones
// are refused.
//
// Configuration: "ComputeDestInterval" (seconds, default 1), "PathLength" (arcs,
// default 2), "StopWhenHidden" (on unless the value is "No"), "MaxDeltaHeight"
// (metres, default 1), "Graph", "MaxPointsToFlee" and "MaxEntitiesToFlee" (list
// capacities, at least 1, default 20). Needs a path finder, the graph and both tasks.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>
#include <vector>

namespace Zelk {

class CEntity;
class CEntityManager;
class CFindNearestData;
class CGraphNode;
class CSpatialGraph;
class IPathFinder;

class CFleeAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;
    static constexpr int32_t kMaxPathLength = 8;

    explicit CFleeAgent(CBrain* brain) : CAgent(brain) {}

    /// Defaults, parameters, lists, tasks; false without path finder, graph or tasks.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// A graph is set and there is a danger point or entity.
    bool CanRun() override;
    /// Stands when hidden (with "StopWhenHidden"), chooses a destination when due, walks there.
    bool Think() override;
    bool HasPathFinderAndGraph() const { return m_pathFinder != nullptr && m_graph != nullptr; }
    bool HasTasks() const { return m_taskCompute != -1 && m_taskVisible != -1; }
    /// value / (depth + 1) / (10 x crossings + 1).
    static float ScorePath(float value, int32_t depth, int32_t crossings);

    /// Appends to the lists; false when full (or for a null entity).
    bool AddDangerPoint(const CVec3& point);
    bool AddDangerEntity(CEntity* entity);
    void ClearDangerPoints() { m_points.clear(); }
    void ClearDangerEntities() { m_entities.clear(); }
    /// Uses the graph, its find-nearest data and its point-mapping index.
    void SetGraph(CSpatialGraph* graph);
    /// The best end node of the paths from the nearest node; false without graph or node.
    bool ComputeDestination();
    /// Depth-first search below node: the best (score, node) of it and its descendants.
    const CGraphNode* SearchNode(const CGraphNode* node, int32_t depth, int32_t pathLength, int32_t crossings,
                                 float value, float* bestScore) const;
    /// True when point lies within 2 m of the segment a-b and projects inside it.
    static bool PassesNear(const CVec3& a, const CVec3& b, const CVec3& point);

    const CVec3& GetDestination() const { return m_destination; }
    const CGraphNode* GetDestinationNode() const { return m_destinationNode; }
    int32_t GetPathLength() const { return m_pathLength; }
    bool StopsWhenHidden() const { return m_stopWhenHidden != 0; }
    /// The last visibility answer (with "StopWhenHidden").
    bool IsVisibleToDanger() const { return m_visible != 0; }

  private:
    float DistanceToDangers(const CVec3& point) const;
    bool Crosses(const CVec3& a, const CVec3& b) const;
    bool InPlay(const CEntity* entity) const;
    bool DangerInSight() const;

    IPathFinder* m_pathFinder = nullptr;
    CSpatialGraph* m_graph = nullptr;
    CEntityManager* m_entityManager = nullptr;
    std::vector<CVec3> m_points;
    uint32_t m_pointCapacity = 20;
    std::vector<CEntity*> m_entities;
    uint32_t m_entityCapacity = 20;
    CVec3 m_destination;
    const CGraphNode* m_destinationNode = nullptr;
    uint8_t m_started = 0;
    CVec3 m_lastSearchPosition;
    float m_researchDistance2 = 0.0f;
    CGraphNode* m_ownNode = nullptr;
    int32_t m_taskCompute = -1;
    int32_t m_taskVisible = -1;
    float m_nextComputeTime = 0.0f;
    float m_interval = 1.0f;
    uint8_t m_visible = 0;
    uint8_t m_computed = 1;
    int32_t m_pathLength = 2;
    uint8_t m_stopWhenHidden = 0;
    uint16_t m_graphId = 0xFFFF;
    CFindNearestData* m_findNearest = nullptr;
    float m_maxDeltaHeight = 0.0f;
};

} // namespace Zelk
