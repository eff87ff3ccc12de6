// The wander agent: walks its entity from one randomly drawn node of a
// navigation graph to the next, for ever, through the brain's path finder.
//
// Configuration: "Graph" (name of a graph of the world's graph manager).
// Needs a path finder service (IPathFinder). When the world's point mapper
// knows the graph, the path finder is given node targets, else points.
//
// The draw is AiRandom() mod the graph's node count. In a graph whose node
// array has holes the drawn index may name an empty slot: then the next used
// slot after it is taken, wrapping to the start of the array, so every draw
// ends on a real node after at most one pass over the array. A graph without
// nodes never runs.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class CSpatialGraph;
class IPathFinder;

class CWanderAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CWanderAgent(CBrain* brain) : CAgent(brain) {}

    /// Defaults, parameters, then false without a path finder.
    bool Init(CConfigNode* node) override;
    /// "Graph": false without value, graph manager or such a graph; other keys: false.
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// False without a graph or nodes; draws a target when none is set.
    bool CanRun() override;
    /// One move towards the target; a new target on arrival or when no way was found.
    /// False only without a graph.
    bool Think() override;
    /// True when the path finder was found.
    bool HasPathFinder() const { return m_pathFinder != nullptr; }
    /// Draws the next target node; false when the graph has no node.
    bool PickRandomTarget();

    /// Uses the graph and asks the point mapper for its index (0xFFFF when refused).
    void SetGraph(CSpatialGraph* graph);
    CSpatialGraph* GetGraph() const { return m_graph; }
    uint16_t GetPointMappingIndex() const { return m_graphId; }
    int32_t GetTargetNode() const { return m_targetNode; }
    const CVec3& GetTarget() const { return m_target; }
    bool HasArrived() const { return m_arrived != 0; }

  private:
    CVec3 m_target;
    int32_t m_targetNode = -1;
    uint16_t m_graphId = 0xFFFF;
    IPathFinder* m_pathFinder = nullptr;
    CSpatialGraph* m_graph = nullptr;
    uint8_t m_arrived = 0;
};

} // namespace Zelk
