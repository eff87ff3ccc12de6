#include "ai/behaviours/shooter_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/path_finder.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/random.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CShooterAgent(brain);
}

} // namespace

CAgentClassRecord CShooterAgent::s_classRecord("CShooterAgent", &Create);

bool CShooterAgent::Init(CConfigNode* node)
{
    if (node == nullptr)
        return false;
    CBrain* brain = GetBrain();
    m_entityManager = static_cast<CEntityManager*>(brain->FindService(&CEntityManager::s_classRecord));
    m_pathFinder = FindPathFinder(brain);
    const CActionSet* actions = GetActionSet();
    m_rotate = actions->Get<CActionRotate>();
    m_steering = actions->Get<CActionSteering>();
    m_shoot = actions->Get<CActionShoot>();
    const CEntity* entity = brain->GetEntity();
    m_teamSide = entity != nullptr ? entity->GetAttribute<CEntityTeamSide>() : nullptr;
    m_gunPosition = entity != nullptr ? entity->GetAttribute<CEntityGunPosition>() : nullptr;
    m_task = FindAgentTask("CShooterAgent::BotShootAtEnemy");
    const float meter = GetOneMeter();
    m_target = nullptr;
    m_gunRange = 30.0f * meter;
    m_dangerConeAngle = 0.0f;
    m_maxInaccuracy = 0.0f;
    m_targetDistance = 0.0f;
    m_aimDirection = CVec3(0.0f, 0.0f, 1.0f);
    m_bodyHeading = 0.0f;
    m_fire = 0;
    m_walkGoal = CVec3();
    m_nextAimTime = 0.0f;
    m_aimInterval = 0.5f;
    if (!CAgent::Init(node))
        return false;
    return HasServices() && HasActions() && HasTask();
}

bool CShooterAgent::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetValue() == nullptr)
        return false;
    const char* value = node->GetValue();
    if (IsParameter(node, "DangerousConeAngle")) {
        m_dangerConeAngle = ConfigToFloat(value);
    } else if (IsParameter(node, "TargetBot")) {
        const CWorld* world = GetCurrentWorld();
        m_target = world != nullptr ? world->FindEntity(value) : nullptr;
        return m_target != nullptr;
    } else if (IsParameter(node, "GunRange")) {
        m_gunRange = ConfigToFloat(value) * GetOneMeter();
    } else if (IsParameter(node, "MaxInaccuracy")) {
        m_maxInaccuracy = ConfigToFloat(value);
    } else if (IsParameter(node, "AimAtTargetInterval")) {
        m_aimInterval = ConfigToFloat(value);
    } else {
        return false;
    }
    return true;
}

void CShooterAgent::SetGunRange(float metres)
{
    m_gunRange = metres * GetOneMeter();
}

float CShooterAgent::GetGunRange() const
{
    const float meter = GetOneMeter();
    return meter != 0.0f ? m_gunRange / meter : 0.0f;
}

bool CShooterAgent::CanRun()
{
    if (m_target == nullptr || m_entityManager == nullptr)
        return false;
    const CEntityInfo* info = m_entityManager->GetEntityInfo(m_target);
    m_targetDistance = info != nullptr ? info->distance : 0.0f;
    if (m_targetDistance == 0.0f || !(m_gunRange > 0.0f))
        return false;
    const CEntity* self = GetBrain()->GetEntity();
    m_gunOrigin = m_gunPosition != nullptr ? m_gunPosition->GetVector() : self->GetPosition();
    return true;
}

bool CShooterAgent::Think()
{
    GetActionSet()->Reset();
    CEntity* self = GetBrain()->GetEntity();
    if (m_target == nullptr || m_entityManager == nullptr)
        return false;
    if (m_targetDistance < m_gunRange && !m_entityManager->IsOutOfPlay(m_target)) {
        CTimeManager* manager = AgentTimeManager();
        const float now = GetFrameStartTime();
        if (now > m_nextAimTime && manager != nullptr && manager->CanRunAperiodicTask(m_task, self)) {
            Aim();
            manager->EndAperiodicTask(m_task, self);
            m_nextAimTime = now + m_aimInterval;
        }
    } else {
        m_fire = 0;
    }
    if (m_rotate != nullptr) {
        m_rotate->SetValue(m_bodyHeading);
    } else if (m_steering != nullptr) {
        // The body heading lies in [-180, 180], the entity's heading may not: fold the
        // difference so that the shooter turns the short way.
        m_steering->SetValue(SteeringFor(FoldAngle180(m_bodyHeading - self->GetAngles().y)));
    }
    if (m_shoot != nullptr) {
        m_shoot->SetTarget(m_aimDirection);
        m_shoot->SetFire(m_fire != 0);
    }
    if (m_fire) {
        // The shooter stands while it fires: a host that keeps the last pace when none is
        // decided would otherwise carry it on at its walking speed.
        m_walkGoal = self->GetPosition();
        DecideStop(GetActionSet()->Get<CActionSpeed>(), GetActionSet()->Get<CActionAcceleration>(), self);
        return true;
    }
    m_walkGoal = m_target->GetPosition();
    if (m_pathFinder == nullptr || !m_pathFinder->FindNextMove(m_walkGoal))
        return false;
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    return true;
}

void CShooterAgent::Aim()
{
    if (m_target == nullptr)
        return;
    const CVec3 angles = DirectionToAngles(m_target->GetPosition() - m_gunOrigin);
    const float heading = NormalizeAngle180(angles.y);
    m_bodyHeading = heading;
    const float m = m_maxInaccuracy;
    const float r1 = float(AiRandom());
    const float r2 = float(AiRandom());
    const float aimHeading = heading + (2.0f * r1 * m / float(kAiRandomMax) - m);
    const float aimPitch = angles.x + (2.0f * r2 * m / float(kAiRandomMax) - m);
    m_aimDirection = AnglesToDirection(CVec3(aimPitch, aimHeading, 0.0f));
    m_fire = IsLineOfFireClear(m_aimDirection) ? 1 : 0;
}

bool CShooterAgent::IsLineOfFireClear(const CVec3& direction)
{
    if (!(m_dangerConeAngle > 0.0f) || m_teamSide == nullptr)
        return true;
    const CEntity* self = GetBrain()->GetEntity();
    const CWorld* world = self != nullptr ? self->GetWorld() : GetCurrentWorld();
    if (world == nullptr)
        return true;
    for (auto it = world->GetEntities().Begin(); it.IsValid(); ++it) {
        const CEntity* other = it.Item();
        if (other == self || other == m_target || (other->GetFlags() & kEntityFlagDangerTest) == 0)
            continue;
        if (m_entityManager != nullptr && m_entityManager->IsOutOfPlay(other))
            continue;
        if (IsInVisionCone(other->GetPosition(), m_gunOrigin, direction, m_dangerConeAngle, m_gunRange))
            return false;
    }
    return true;
}

} // namespace Zelk
