#include "ai/behaviours/hide_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_queries.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"
#include <cfloat>
#include <cmath>
#include <cstring>

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CHideAgent(brain);
}

constexpr float kSearchInterval = 0.1f; // seconds between two admitted searches

// The eye of an entity: its eye position attribute, else its position.
CVec3 EyeOf(const CEntity* entity)
{
    const auto* eye = entity->GetAttribute<CEntityEyePosition>();
    return eye != nullptr ? eye->GetVector() : entity->GetPosition();
}

} // namespace

CAgentClassRecord CHideAgent::s_classRecord("CHideAgent", &Create);

bool CHideAgent::Init(CConfigNode* node)
{
    m_destination = CVec3();
    m_destinationNode = nullptr;
    m_destinationIndex = -1;
    m_nextSearchTime = 0.0f;
    m_allDangerousOut = m_arrived = 0;
    m_researchType = kCloseToMe;
    m_capacity = 20;
    m_graph = nullptr;
    m_found = 0;
    m_searchComplete = 1;
    m_cursor = -1;
    ResetScores();
    m_graphId = 0xFFFF;
    m_ownNode = nullptr;
    m_maxDeltaHeight = GetOneMeter();
    m_findNearest = nullptr;
    m_taskCompute = FindAgentTask("CHideAgent::ComputeDestination");
    m_taskVisible = FindAgentTask("CHideAgent::CheckPositionVisible");
    if (!CAgent::Init(node))
        return false;
    CBrain* brain = GetBrain();
    m_pathFinder = FindPathFinder(brain);
    m_entityManager = static_cast<CEntityManager*>(brain->FindService(&CEntityManager::s_classRecord));
    const CEntity* self = brain->GetEntity();
    m_eyePosition = self != nullptr ? self->GetAttribute<CEntityEyePosition>() : nullptr;
    if (!HasServices() || !HasTasks())
        return false;
    m_dangers.clear();
    m_dangers.reserve(m_capacity);
    m_dangerNodes.assign(m_capacity, nullptr);
    return true;
}

bool CHideAgent::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetValue() == nullptr)
        return false;
    const char* value = node->GetValue();
    if (IsParameter(node, "Graph")) {
        const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        CSpatialGraph* graph = manager != nullptr ? manager->GetGraph(value) : nullptr;
        if (graph == nullptr)
            return false;
        SetGraph(graph);
    } else if (IsParameter(node, "ResearchType")) {
        if (std::strcmp(value, "FAR_FROM_ENEMY") == 0)
            m_researchType = kFarFromEnemy;
        else if (std::strcmp(value, "CLOSE_TO_ME") == 0)
            m_researchType = kCloseToMe;
        else
            return false;
    } else if (IsParameter(node, "MaxDeltaHeight")) {
        m_maxDeltaHeight = ConfigToFloat(value) * GetOneMeter();
    } else if (IsParameter(node, "MaxDangerousEntities")) {
        // The list is sized by this count: an empty or negative list could hold nothing.
        const int32_t count = ConfigToInt(value, 0);
        if (count < 1)
            return false;
        m_capacity = uint32_t(count);
    } else {
        return false;
    }
    return true;
}

void CHideAgent::Start()
{
    m_destination = CVec3();
    m_destinationNode = nullptr;
    m_destinationIndex = -1;
    m_found = 0;
    m_searchComplete = 1;
    m_cursor = -1;
    ResetScores();
}

void CHideAgent::ResetScores()
{
    m_bestFar = 0.0f;
    m_bestNear = FLT_MAX;
}

void CHideAgent::SetGraph(CSpatialGraph* graph)
{
    m_graph = graph;
    m_findNearest = FindNearestDataOf(graph);
    m_graphId = FindPointMappingIndex(graph);
}

bool CHideAgent::AddDangerousEntity(CEntity* entity)
{
    if (entity == nullptr || m_dangers.size() >= m_capacity)
        return false;
    m_dangers.push_back(entity);
    return true;
}

CVec3 CHideAgent::GetDestination() const
{
    if (m_found && m_searchComplete)
        return m_destination;
    const CEntity* self = GetBrain()->GetEntity();
    return self != nullptr ? self->GetPosition() : CVec3();
}

bool CHideAgent::InPlay(const CEntity* entity) const
{
    return m_entityManager != nullptr && !m_entityManager->IsOutOfPlay(entity);
}

CVec3 CHideAgent::Raised(const CVec3& point) const
{
    if (m_eyePosition == nullptr)
        return point;
    const float eyeHeight = m_eyePosition->GetVector().y - GetBrain()->GetEntity()->GetPosition().y;
    return point + CVec3(0.0f, eyeHeight, 0.0f);
}

bool CHideAgent::IsSeen(const CVec3& point) const
{
    const CVec3 target = Raised(point);
    for (const CEntity* danger : m_dangers)
        if (InPlay(danger) && IsVisible(EyeOf(danger), target, danger, 1))
            return true;
    return false;
}

CGraphNode* CHideAgent::NearestNode(const CVec3& point, CEntity* entity) const
{
    if (m_graph == nullptr)
        return nullptr;
    if (m_findNearest != nullptr)
        return FindNearestNodeFromData(point, entity, m_maxDeltaHeight, *m_findNearest, false, false);
    return FindNearestNodeForEntity(*m_graph, point, entity, m_maxDeltaHeight, false, false);
}

float CHideAgent::PathCost(const CGraphNode* from, const CGraphNode& to, const CVec3& fromPoint) const
{
    // The path finder's estimate between the two nodes when the graph is mapped; the
    // straight distance when it is not, or when the estimate is refused.
    float cost = 0.0f;
    if (m_graphId != 0xFFFF && from != nullptr &&
        m_pathFinder->EstimateCost(CGraphNodeTarget(from, m_graphId), CGraphNodeTarget(&to, m_graphId),
                                   &cost))
        return cost;
    return std::sqrt(CVec3::SquaredDistance(fromPoint, to.GetPosition()));
}

CHideAgent::EScore CHideAgent::ScoreNode(const CGraphNode& node, float* score)
{
    CEntity* self = GetBrain()->GetEntity();
    float value;
    bool better;
    if (m_researchType == kFarFromEnemy) {
        value = 0.0f;
        for (size_t i = 0; i < m_dangers.size(); ++i)
            value += PathCost(m_dangerNodes[i], node, m_dangers[i]->GetPosition());
        *score = value;
        better = value > m_bestFar;
    } else {
        if (m_graphId != 0xFFFF && m_ownNode != nullptr)
            value = PathCost(m_ownNode, node, self->GetPosition());
        else
            value = CVec3::SquaredDistance(self->GetPosition(), node.GetPosition());
        *score = value != 0.0f ? 1.0f / value : FLT_MAX;
        better = value < m_bestNear;
    }
    if (!better)
        return kNotBetter;
    // Only a node that would be the best so far is worth its visibility test.
    CTimeManager* manager = AgentTimeManager();
    if (manager == nullptr || !manager->CanRunAperiodicTask(m_taskVisible, self))
        return kNotAdmitted;
    const bool hidden = !IsSeen(node.GetPosition());
    manager->EndAperiodicTask(m_taskVisible, self);
    if (!hidden)
        return kNotBetter;
    if (m_researchType == kFarFromEnemy)
        m_bestFar = value;
    else
        m_bestNear = value;
    return kBetter;
}

void CHideAgent::SearchNodes()
{
    CEntity* self = GetBrain()->GetEntity();
    if (m_cursor == -1) {
        // A new search: the nodes it measures from.
        m_found = 0;
        m_searchComplete = 0;
        m_destinationIndex = -1;
        m_destinationNode = nullptr;
        ResetScores();
        bool anyNode = false;
        if (m_researchType == kFarFromEnemy) {
            for (size_t i = 0; i < m_dangers.size(); ++i) {
                m_dangerNodes[i] = NearestNode(m_dangers[i]->GetPosition(), m_dangers[i]);
                anyNode = anyNode || m_dangerNodes[i] != nullptr;
            }
        } else {
            m_ownNode = NearestNode(self->GetPosition(), self);
            anyNode = m_ownNode != nullptr;
        }
        if (!anyNode) {
            m_searchComplete = 1;
            return;
        }
    }
    for (int32_t i = m_cursor + 1; i <= m_graph->GetHighestNodeIndex(); ++i) {
        CGraphNode* node = m_graph->GetNode(i);
        if (node == nullptr) {
            m_cursor = i; // an empty slot of a sparse graph
            continue;
        }
        float score = 0.0f;
        const EScore result = ScoreNode(*node, &score);
        if (result == kNotAdmitted)
            return; // the cursor stays before this node: it is scored again next time
        if (result == kBetter) {
            m_destination = node->GetPosition();
            m_destinationNode = node;
            m_destinationIndex = i;
            m_found = 1;
        }
        m_cursor = i;
    }
    m_searchComplete = 1;
    m_cursor = -1;
    ResetScores();
}

bool CHideAgent::ComputeDestination()
{
    if (m_found && m_searchComplete) {
        if (!IsSeen(m_destination))
            return true;
        // A danger sees the kept destination: search again from the first node, and
        // walk nowhere until the search is complete.
        m_found = 0;
        m_searchComplete = 0;
        m_cursor = -1;
        m_destinationIndex = -1;
        m_destinationNode = nullptr;
        ResetScores();
    }
    if (m_graph == nullptr)
        return false;
    SearchNodes();
    return m_found != 0;
}

bool CHideAgent::Think()
{
    GetActionSet()->Reset();
    CEntity* self = GetBrain()->GetEntity();
    m_allDangerousOut = 1;
    for (const CEntity* danger : m_dangers)
        if (InPlay(danger))
            m_allDangerousOut = 0;
    CTimeManager* manager = AgentTimeManager();
    const float now = GetFrameStartTime();
    if (now > m_nextSearchTime && manager != nullptr && manager->CanRunAperiodicTask(m_taskCompute, self)) {
        m_found = ComputeDestination() ? 1 : 0;
        manager->EndAperiodicTask(m_taskCompute, self);
        m_nextSearchTime = now + kSearchInterval;
    }
    if (!m_searchComplete) {
        // No destination while searching: the entity stands rather than walking on.
        DecideStop(GetActionSet()->Get<CActionSpeed>(), GetActionSet()->Get<CActionAcceleration>(), self);
        return true;
    }
    if (!m_found) {
        m_destination = self->GetPosition();
        return false;
    }
    bool moved;
    if (m_graphId != 0xFFFF && m_destinationNode != nullptr)
        moved = m_pathFinder->FindNextMove(CGraphNodeTarget(m_destinationNode, m_graphId));
    else
        moved = m_pathFinder->FindNextMove(m_destination);
    if (!moved)
        return false;
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    m_arrived = m_pathFinder->HasArrived() ? 1 : 0;
    return true;
}

} // namespace Zelk
