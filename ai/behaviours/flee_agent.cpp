#include "ai/behaviours/flee_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_queries.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstring>

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CFleeAgent(brain);
}

// A list capacity: an integer of at least 1.
bool ReadCapacity(const char* value, uint32_t& capacity)
{
    const int32_t count = ConfigToInt(value, 0);
    if (count < 1)
        return false;
    capacity = uint32_t(count);
    return true;
}

} // namespace

CAgentClassRecord CFleeAgent::s_classRecord("CFleeAgent", &Create);

bool CFleeAgent::Init(CConfigNode* node)
{
    const float meter = GetOneMeter();
    m_graph = nullptr;
    m_pointCapacity = m_entityCapacity = 20;
    m_destination = CVec3();
    m_destinationNode = nullptr;
    m_started = 0;
    m_researchDistance2 = meter * meter;
    m_ownNode = nullptr;
    m_nextComputeTime = 0.0f;
    m_interval = 1.0f;
    m_visible = 0;
    m_computed = 1;
    m_pathLength = 2;
    m_stopWhenHidden = 0;
    m_graphId = 0xFFFF;
    m_findNearest = nullptr;
    m_maxDeltaHeight = meter;
    m_pathFinder = FindPathFinder(GetBrain());
    m_entityManager = static_cast<CEntityManager*>(GetBrain()->FindService(&CEntityManager::s_classRecord));
    if (!CAgent::Init(node))
        return false;
    m_points.clear();
    m_points.reserve(m_pointCapacity);
    m_entities.clear();
    m_entities.reserve(m_entityCapacity);
    m_taskCompute = FindAgentTask("CFleeAgent::ComputeDestination");
    m_taskVisible = FindAgentTask("CFleeAgent::CheckDangerVisible");
    return HasPathFinderAndGraph() && HasTasks();
}

bool CFleeAgent::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetValue() == nullptr)
        return false;
    const char* value = node->GetValue();
    if (IsParameter(node, "ComputeDestInterval")) {
        m_interval = ConfigToFloat(value);
    } else if (IsParameter(node, "PathLength")) {
        const int32_t length = ConfigToInt(value, -1);
        if (length < 0)
            return false;
        m_pathLength = length < kMaxPathLength ? length : kMaxPathLength;
    } else if (IsParameter(node, "StopWhenHidden")) {
        m_stopWhenHidden = std::strcmp(value, "No") != 0 ? 1 : 0;
    } else if (IsParameter(node, "MaxDeltaHeight")) {
        m_maxDeltaHeight = ConfigToFloat(value) * GetOneMeter();
    } else if (IsParameter(node, "Graph")) {
        const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        CSpatialGraph* graph = manager != nullptr ? manager->GetGraph(value) : nullptr;
        if (graph == nullptr)
            return false;
        SetGraph(graph);
    } else if (IsParameter(node, "MaxPointsToFlee")) {
        return ReadCapacity(value, m_pointCapacity);
    } else if (IsParameter(node, "MaxEntitiesToFlee")) {
        return ReadCapacity(value, m_entityCapacity);
    } else {
        return false;
    }
    return true;
}

void CFleeAgent::SetGraph(CSpatialGraph* graph)
{
    m_graph = graph;
    m_findNearest = FindNearestDataOf(graph);
    m_graphId = FindPointMappingIndex(graph);
    m_ownNode = nullptr;
}

bool CFleeAgent::AddDangerPoint(const CVec3& point)
{
    if (m_points.size() >= m_pointCapacity)
        return false;
    m_points.push_back(point);
    return true;
}

bool CFleeAgent::AddDangerEntity(CEntity* entity)
{
    if (entity == nullptr || m_entities.size() >= m_entityCapacity)
        return false;
    m_entities.push_back(entity);
    return true;
}

bool CFleeAgent::CanRun()
{
    return m_graph != nullptr && (!m_points.empty() || !m_entities.empty());
}

float CFleeAgent::ScorePath(float value, int32_t depth, int32_t crossings)
{
    return value / float(depth + 1) / float(10 * crossings + 1);
}

bool CFleeAgent::PassesNear(const CVec3& a, const CVec3& b, const CVec3& point)
{
    const float limit = 2.0f * GetOneMeter();
    const CVec3 ab = b - a;
    const CVec3 w = point - a;
    // A segment of no length passes near what lies near its one point.
    if (ab.SquaredLength() == 0.0f)
        return w.SquaredLength() < limit * limit;
    const CVec3 u = ab.GetNormalized();
    const CVec3 c = u.Cross(w);
    float distance = 0.0f;
    if (c.SquaredLength() > 0.0001f) {
        const CVec3 m = c.GetNormalized().Cross(u);
        distance = std::fabs(w.Dot(m));
    }
    const float along = u.Dot(w);
    return distance < limit && along >= 0.0f && along <= u.Dot(ab);
}

float CFleeAgent::DistanceToDangers(const CVec3& point) const
{
    float sum = 0.0f;
    for (const CVec3& p : m_points)
        sum += std::sqrt(CVec3::SquaredDistance(point, p));
    for (const CEntity* e : m_entities)
        sum += std::sqrt(CVec3::SquaredDistance(point, e->GetPosition()));
    return sum;
}

bool CFleeAgent::Crosses(const CVec3& a, const CVec3& b) const
{
    for (const CVec3& p : m_points)
        if (PassesNear(a, b, p))
            return true;
    for (const CEntity* e : m_entities)
        if (PassesNear(a, b, e->GetPosition()))
            return true;
    return false;
}

const CGraphNode* CFleeAgent::SearchNode(const CGraphNode* node, int32_t depth, int32_t pathLength,
                                         int32_t crossings, float value, float* bestScore) const
{
    *bestScore = ScorePath(value, depth, crossings);
    if (depth >= pathLength)
        return node;
    const CGraphNode* best = node;
    for (int32_t i = 0; i < node->GetOutArcCount(); ++i) {
        const CGraphNode* next = node->GetOutArc(i)->GetTo();
        const int32_t childCrossings =
            crossings + (Crosses(node->GetPosition(), next->GetPosition()) ? 1 : 0);
        const float childValue = value + DistanceToDangers(next->GetPosition());
        float score = 0.0f;
        const CGraphNode* found = SearchNode(next, depth + 1, pathLength, childCrossings, childValue, &score);
        if (score > *bestScore) {
            *bestScore = score;
            best = found;
        }
    }
    return best;
}

bool CFleeAgent::ComputeDestination()
{
    CEntity* self = GetBrain()->GetEntity();
    m_destination = self->GetPosition();
    m_destinationNode = nullptr;
    if (m_graph == nullptr)
        return false;
    if (m_ownNode == nullptr ||
        CVec3::SquaredDistance(self->GetPosition(), m_lastSearchPosition) > m_researchDistance2) {
        m_ownNode = m_findNearest != nullptr
                        ? FindNearestNodeFromData(self->GetPosition(), self, m_maxDeltaHeight, *m_findNearest,
                                                  false, false)
                        : FindNearestNodeForEntity(*m_graph, self->GetPosition(), self, m_maxDeltaHeight,
                                                   false, false);
        m_lastSearchPosition = self->GetPosition();
    }
    if (m_ownNode == nullptr)
        return false;
    float score = 0.0f;
    m_destinationNode =
        SearchNode(m_ownNode, 0, m_pathLength, 0, DistanceToDangers(m_ownNode->GetPosition()), &score);
    m_destination = m_destinationNode->GetPosition();
    return true;
}

bool CFleeAgent::InPlay(const CEntity* entity) const
{
    if (m_entityManager != nullptr)
        return !m_entityManager->IsOutOfPlay(entity);
    return entity != nullptr && entity->GetWorld() != nullptr &&
           (entity->GetFlags() & kEntityFlagOutOfPlay) == 0;
}

bool CFleeAgent::DangerInSight() const
{
    const CEntity* self = GetBrain()->GetEntity();
    for (const CVec3& p : m_points)
        if (IsVisible(self->GetPosition(), p, self, 1))
            return true;
    for (const CEntity* e : m_entities)
        if (InPlay(e))
            return true;
    return false;
}

bool CFleeAgent::Think()
{
    GetActionSet()->Reset();
    CEntity* self = GetBrain()->GetEntity();
    if (!m_started) {
        m_destination = self->GetPosition();
        m_started = 1;
    }
    CTimeManager* manager = AgentTimeManager();
    if (m_stopWhenHidden && manager != nullptr && manager->CanRunAperiodicTask(m_taskVisible, self)) {
        // The answer counts only in the tick that tested it, and the work is booked.
        m_visible = DangerInSight() ? 1 : 0;
        manager->EndAperiodicTask(m_taskVisible, self);
        if (!m_visible) {
            m_destination = self->GetPosition();
            DecideStop(GetActionSet()->Get<CActionSpeed>(), GetActionSet()->Get<CActionAcceleration>(), self);
            return true;
        }
    }
    const float now = GetFrameStartTime();
    if (now > m_nextComputeTime && manager != nullptr && manager->CanRunAperiodicTask(m_taskCompute, self)) {
        m_computed = ComputeDestination() ? 1 : 0;
        manager->EndAperiodicTask(m_taskCompute, self);
        m_nextComputeTime = now + m_interval;
    }
    if (!m_computed || m_pathFinder == nullptr)
        return true;
    bool moved;
    if (m_destinationNode != nullptr && m_graphId != 0xFFFF)
        moved = m_pathFinder->FindNextMove(CGraphNodeTarget(m_destinationNode, m_graphId));
    else
        moved = m_pathFinder->FindNextMove(m_destination);
    if (!moved)
        return false;
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    return true;
}

} // namespace Zelk
