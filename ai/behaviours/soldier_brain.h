// The soldier brain: the brain of every escort. Each think runs the escort agent
// (CWardelAgent) and hands its decisions to the brain's action object.
//
// Configuration ("Class" "CSoldierBrain"): an "Agent" of class "CWardelAgent" and
// a "Service" path finder. It also keeps the graphs "DenseGraph" and "MoveGraph"
// of the world's graph manager and their data when they exist.
#pragma once
#include "ai/runtime/brain.h"

namespace Zelk {

class CAccessWaysData;
class CFindNearestData;
class CSpatialGraph;
class CTeam;
class CWardelAgent;

class CSoldierBrain : public CBrain
{
  public:
    static CBrainClassRecord s_classRecord;

    CSoldierBrain(CEntity* entity, const CActionClassRecord* actionClass) : CBrain(entity, actionClass) {}

    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Creates the agents and services, then finds the graphs, their data and the
    /// escort agent (missing ones stay null and do not fail).
    bool LoadFromConfig(CConfigNode* node) override;
    /// True when the escort agent decided this tick's actions. The first think gives the
    /// agent the entity's first team, once; no team or no escort agent: false.
    bool Think() override;

    CWardelAgent* GetEscortAgent() const { return m_agent; }
    CTeam* GetTeam() const { return m_team; }
    CSpatialGraph* GetDenseGraph() const { return m_denseGraph; }
    CSpatialGraph* GetMoveGraph() const { return m_moveGraph; }

  private:
    CSpatialGraph* m_denseGraph = nullptr;
    CSpatialGraph* m_moveGraph = nullptr;
    CAccessWaysData* m_denseAccessWays = nullptr;
    CFindNearestData* m_moveFindNearest = nullptr;
    CFindNearestData* m_denseFindNearest = nullptr;
    CWardelAgent* m_agent = nullptr;
    CTeam* m_team = nullptr;
};

} // namespace Zelk
