#include "ai/behaviours/follower_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/path_finder.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CFollowerAgent(brain);
}

constexpr float kTestInterval = 0.1f; // seconds between two wall tests

} // namespace

CAgentClassRecord CFollowerAgent::s_classRecord("CFollowerAgent", &Create);

bool CFollowerAgent::Init(CConfigNode* node)
{
    m_valid = 0;
    m_target = CVec3();
    m_task = FindAgentTask("CFollowerAgent::ComputeRealDistance");
    m_nextTestTime = 0.0f;
    m_angle = 180.0f;
    m_leader = nullptr;
    m_distance = m_realDistance = GetOneMeter();
    if (!CAgent::Init(node))
        return false;
    m_pathFinder = FindPathFinder(GetBrain());
    const CEntity* entity = GetBrain()->GetEntity();
    m_width = entity != nullptr ? entity->GetAttribute<CEntityWidth>() : nullptr;
    return HasPathFinder() && HasTask();
}

bool CFollowerAgent::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetValue() == nullptr)
        return false;
    if (const char* value = ParameterValue(node, "DistFromEntity")) {
        m_distance = ConfigToFloat(value) * GetOneMeter();
        return true;
    }
    if (const char* value = ParameterValue(node, "AngleFromEntity")) {
        m_angle = ConfigToFloat(value);
        return true;
    }
    if (const char* value = ParameterValue(node, "EntityToFollow")) {
        const CWorld* world = GetCurrentWorld();
        m_leader = world != nullptr ? world->FindEntity(value) : nullptr;
        return true;
    }
    return false;
}

bool CFollowerAgent::CanRun()
{
    return m_leader != nullptr && m_distance >= 0.0f;
}

bool CFollowerAgent::Think()
{
    GetActionSet()->Reset();
    // The follow point is made from the leader: without one there is nothing to compute.
    if (m_leader == nullptr || m_pathFinder == nullptr)
        return false;
    ComputeTarget();
    if (!m_pathFinder->FindNextMove(m_target))
        return false;
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    return true;
}

void CFollowerAgent::ComputeTarget()
{
    if (m_leader == nullptr)
        return;
    const CVec3 leader = m_leader->GetPosition();
    if (leader == m_lastLeaderPosition && m_valid)
        return;
    if (m_distance == 0.0f) {
        m_target = leader;
        m_valid = 1;
        m_lastLeaderPosition = leader;
        return;
    }
    // (0, heading + angle, ...): the pitch is 0, so the follow direction is horizontal.
    const CVec3& angles = m_leader->GetAngles();
    const CVec3 dir = AnglesToDirection(CVec3(0.0f, angles.y + m_angle, angles.z));
    ComputeRealDistance(dir);
    m_target = leader + dir * m_realDistance;
    m_lastLeaderPosition = leader;
}

void CFollowerAgent::ComputeRealDistance(const CVec3& dir)
{
    m_valid = 0;
    if (m_leader == nullptr)
        return;
    CTimeManager* manager = AgentTimeManager();
    CEntity* self = GetBrain()->GetEntity();
    const float now = GetFrameStartTime();
    if (!(now > m_nextTestTime) || manager == nullptr || !manager->CanRunAperiodicTask(m_task, self))
        return;
    const float half = 0.5f * (m_width != nullptr ? m_width->GetValue() : GetOneMeter());
    const float d = CastRay(m_leader->GetPosition(), dir, m_leader, 2, half + m_distance);
    m_realDistance = d - half > 0.0f ? d - half : 0.0f;
    m_valid = 1;
    manager->EndAperiodicTask(m_task, self);
    m_nextTestTime = now + kTestInterval;
}

void CFollowerAgent::SetDistFromEntity(float metres)
{
    const float distance = metres * GetOneMeter();
    if (distance != m_distance)
        m_valid = 0;
    m_distance = distance;
}

void CFollowerAgent::SetAngleFromEntity(float degrees)
{
    if (degrees != m_angle) {
        m_valid = 0;
        m_angle = degrees;
    }
}

float CFollowerAgent::GetDistFromEntity() const
{
    const float meter = GetOneMeter();
    return meter != 0.0f ? m_distance / meter : 0.0f;
}

bool CFollowerAgent::HasArrived() const
{
    return m_pathFinder != nullptr && m_pathFinder->HasArrived();
}

} // namespace Zelk
