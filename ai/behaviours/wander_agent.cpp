#include "ai/behaviours/wander_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/random.h"

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CWanderAgent(brain);
}

} // namespace

CAgentClassRecord CWanderAgent::s_classRecord("CWanderAgent", &Create);

bool CWanderAgent::Init(CConfigNode* node)
{
    m_target = CVec3();
    m_targetNode = -1;
    m_arrived = 0;
    m_pathFinder = FindPathFinder(GetBrain());
    m_graph = nullptr;
    m_graphId = 0xFFFF;
    if (!CAgent::Init(node))
        return false;
    return HasPathFinder();
}

bool CWanderAgent::ReadParameter(CConfigNode* node)
{
    const char* name = ParameterValue(node, "Graph");
    if (name == nullptr)
        return false;
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    CSpatialGraph* graph = manager != nullptr ? manager->GetGraph(name) : nullptr;
    if (graph == nullptr)
        return false;
    SetGraph(graph);
    return true;
}

void CWanderAgent::SetGraph(CSpatialGraph* graph)
{
    m_graph = graph;
    m_graphId = FindPointMappingIndex(graph);
}

bool CWanderAgent::PickRandomTarget()
{
    if (m_graph == nullptr || m_graph->GetNodeCount() <= 0)
        return false;
    const int32_t slots = m_graph->GetNodeArraySize();
    const int32_t drawn = AiRandom() % m_graph->GetNodeCount();
    for (int32_t i = 0; i < slots; ++i) {
        const CGraphNode* node = m_graph->GetNode((drawn + i) % slots);
        if (node != nullptr) {
            m_targetNode = node->GetIndex();
            m_target = node->GetPosition();
            return true;
        }
    }
    return false;
}

bool CWanderAgent::CanRun()
{
    if (m_graph == nullptr || m_graph->GetNodeCount() <= 0)
        return false;
    // A target node removed from the graph since it was drawn is drawn again.
    if (m_targetNode >= 0 && m_graph->GetNode(m_targetNode) != nullptr)
        return true;
    return PickRandomTarget();
}

bool CWanderAgent::Think()
{
    GetActionSet()->Reset();
    if (m_graph == nullptr || m_pathFinder == nullptr)
        return false;
    const CGraphNode* node = m_targetNode >= 0 ? m_graph->GetNode(m_targetNode) : nullptr;
    bool moved;
    if (m_graphId == 0xFFFF || node == nullptr)
        moved = m_pathFinder->FindNextMove(m_target);
    else
        moved = m_pathFinder->FindNextMove(CGraphNodeTarget(node, m_graphId));
    if (!moved) {
        PickRandomTarget();
        m_arrived = 0;
        return true;
    }
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    m_arrived = m_pathFinder->HasArrived() ? 1 : 0;
    if (m_arrived)
        PickRandomTarget();
    return true;
}

} // namespace Zelk
