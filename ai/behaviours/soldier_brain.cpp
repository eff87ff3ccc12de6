#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/runtime/action.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/team.h"

namespace Zelk {

namespace {

CBrain* Create(CEntity* entity, const CActionClassRecord* actionClass)
{
    return new CSoldierBrain(entity, actionClass);
}

template <class T> T* DataOf(const CGraphManager* manager, const CSpatialGraph* graph, const char* className)
{
    if (manager == nullptr || graph == nullptr)
        return nullptr;
    return static_cast<T*>(manager->GetAdditionalData(graph, CGraphDataClassRecord::Find(className)));
}

} // namespace

CBrainClassRecord CSoldierBrain::s_classRecord("CSoldierBrain", &Create);

bool CSoldierBrain::LoadFromConfig(CConfigNode* node)
{
    if (!CBrain::LoadFromConfig(node))
        return false;
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    m_denseGraph = manager != nullptr ? manager->GetGraph("DenseGraph") : nullptr;
    m_moveGraph = manager != nullptr ? manager->GetGraph("MoveGraph") : nullptr;
    m_denseAccessWays = DataOf<CAccessWaysData>(manager, m_denseGraph, "CAccessWaysData");
    m_moveFindNearest = DataOf<CFindNearestData>(manager, m_moveGraph, "CFindNearestData");
    m_denseFindNearest = DataOf<CFindNearestData>(manager, m_denseGraph, "CFindNearestData");
    m_agent = static_cast<CWardelAgent*>(FindAgent(&CWardelAgent::s_classRecord));
    m_team = nullptr;
    return true;
}

bool CSoldierBrain::Think()
{
    GetActionSet()->Reset();
    if (m_agent == nullptr)
        return false;
    if (m_team == nullptr) {
        // The escort team is fixed at the first think that finds one; a refused team
        // is remembered too, so that the agent is offered a team once.
        const CFixedList<CTeam>* teams = GetEntity()->GetTeams();
        if (teams != nullptr && teams->GetHead() != nullptr) {
            m_team = teams->GetHead()->item;
            m_agent->SetTeam(m_team);
        }
    }
    if (!m_agent->CanRun() || !m_agent->Think())
        return false;
    GetActionSet()->Merge(*m_agent->GetActionSet());
    return true;
}

} // namespace Zelk
