#include "ai/behaviours/attack_nn_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/neural_net.h"
#include "ai/navigation/path_finder.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstring>

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CAttackNNAgent(brain);
}

constexpr float kHeadRange = 45.0f;       // degrees the head turns away from the body
constexpr float kBackwardsAngle = 135.0f; // beyond it the agent walks backwards
constexpr float kTurnTolerance = 3.0f;

float DegreesOf(float radians)
{
    return radians / kDegToRad;
}

} // namespace

CAgentClassRecord CAttackNNAgent::s_classRecord("CAttackNNAgent", &Create);

bool CAttackNNAgent::Init(CConfigNode* node)
{
    const float meter = GetOneMeter();
    m_enemy = nullptr;
    m_enemyId = -1;
    m_contactDistance = meter;
    m_closeDistance = 5.0f * meter;
    m_farDistance = 10.0f * meter;
    m_imprecision = 0.5f * meter;
    m_canWalkBackwards = 1;
    m_slowDistance = meter;
    m_net = nullptr;
    m_inputs = m_outputs = nullptr;
    m_sideChoice = m_bandChoice = 0;
    m_contact = 0;
    m_bandState = m_sideState = 0;
    m_near = 0;
    m_lastGoal = CVec3(-10000.0f, -10000.0f, -10000.0f);
    m_walkingBackwards = 0;
    CBrain* brain = GetBrain();
    m_pathFinder = FindPathFinder(brain);
    m_entityManager = static_cast<CEntityManager*>(brain->FindService(&CEntityManager::s_classRecord));
    const CWorld* world = GetCurrentWorld();
    m_netManager =
        world != nullptr
            ? static_cast<CNeuralNetManager*>(world->FindGlobalService(&CNeuralNetManager::s_classRecord))
            : nullptr;
    const CActionSet* actions = GetActionSet();
    m_shoot = actions->Get<CActionShoot>();
    m_headRotate = actions->Get<CActionHeadRotate>();
    m_rotate = actions->Get<CActionRotate>();
    m_steering = actions->Get<CActionSteering>();
    m_speed = actions->Get<CActionSpeed>();
    const CEntity* self = brain->GetEntity();
    m_maxSpeed = self != nullptr ? self->GetAttribute<CEntityMaxSpeed>() : nullptr;
    m_width = self != nullptr ? self->GetAttribute<CEntityWidth>() : nullptr;
    if (!CAgent::Init(node))
        return false;
    return HasPathFinder() && HasEntityManager() && HasNetManager() && HasActions() && HasAttributes();
}

bool CAttackNNAgent::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetValue() == nullptr)
        return false;
    const char* value = node->GetValue();
    const float meter = GetOneMeter();
    if (IsParameter(node, "DistanceContact"))
        m_contactDistance = ConfigToFloat(value) * meter;
    else if (IsParameter(node, "DistanceClose"))
        m_closeDistance = ConfigToFloat(value) * meter;
    else if (IsParameter(node, "DistanceFar"))
        m_farDistance = ConfigToFloat(value) * meter;
    else if (IsParameter(node, "ImprecisionDist"))
        m_imprecision = ConfigToFloat(value) * meter;
    else if (IsParameter(node, "SlowDist"))
        m_slowDistance = ConfigToFloat(value) * meter;
    else if (IsParameter(node, "CanWalkBackwards"))
        m_canWalkBackwards = std::strcmp(value, "true") == 0 ? 1 : 0;
    else if (IsParameter(node, "StrategyUsed"))
        return SetStrategy(value);
    else
        return false;
    return true;
}

bool CAttackNNAgent::HasActions() const
{
    return m_shoot != nullptr && (m_rotate != nullptr || m_steering != nullptr) && m_speed != nullptr;
}

bool CAttackNNAgent::SetStrategy(const char* name)
{
    CNeuralNet* net = m_netManager != nullptr && name != nullptr ? m_netManager->GetNeuralNet(name) : nullptr;
    // The agent writes 7 inputs and reads 7 outputs: a smaller net is refused.
    if (net == nullptr || net->GetInputCount() < kNetInputs || net->GetOutputCount() < kNetOutputs)
        return false;
    m_net = net;
    return true;
}

bool CAttackNNAgent::IsFiring() const
{
    return m_shoot != nullptr && m_shoot->GetFire() && m_shoot->IsSet();
}

float CAttackNNAgent::HeadingOf(const CVec3& v)
{
    if (v.z == 0.0f) {
        if (v.x > 0.0f)
            return 90.0f;
        return v.x < 0.0f ? -90.0f : 0.0f;
    }
    const float h = DegreesOf(std::atan(v.x / v.z));
    return v.z < 0.0f ? h + 180.0f : h;
}

int32_t CAttackNNAgent::SideState(float b, int32_t previous)
{
    if (b >= -30.0f && b <= 30.0f)
        return 0;
    if (b >= 60.0f && b <= 120.0f)
        return 1;
    if (b >= 150.0f || b <= -150.0f)
        return 2;
    if (b >= -120.0f && b <= -60.0f)
        return 3;
    return previous;
}

int32_t CAttackNNAgent::BandState(float h, float c, float k, float f, float i, int32_t previous)
{
    if (h < c + i)
        return 2;
    if (h >= k - i && h < k + i)
        return 1;
    if (h >= f - i && h >= k + i)
        return 0;
    return previous;
}

int32_t CAttackNNAgent::Strongest(const float* values, int32_t n)
{
    int32_t best = 0;
    for (int32_t i = 1; i < n; ++i)
        if (values[i] > values[best])
            best = i;
    return best;
}

bool CAttackNNAgent::CanRun()
{
    if (m_entityManager == nullptr)
        return false;
    // The held enemy may have left the world since the last tick: look again.
    if (m_enemy != nullptr) {
        const CWorld* world = GetCurrentWorld();
        if (world == nullptr || m_enemyId < 0 || world->GetEntityById(m_enemyId) != m_enemy)
            m_enemy = nullptr;
    }
    if (m_enemy == nullptr) {
        m_enemy = m_entityManager->FindNearestEntity(AiGetClassMask());
        m_enemyId = m_enemy != nullptr ? m_enemy->GetId() : -1;
        if (m_enemy == nullptr)
            return false;
    }
    if (m_net == nullptr)
        return false;
    m_inputs = m_net->GetInputValues();
    m_outputs = m_net->GetOutputValues();
    return m_inputs != nullptr && m_outputs != nullptr;
}

void CAttackNNAgent::Turn(float heading)
{
    if (m_rotate != nullptr)
        m_rotate->SetValue(FoldAngle180(heading));
    else if (m_steering != nullptr)
        m_steering->SetValue(SteeringFor(FoldAngle180(heading - GetBrain()->GetEntity()->GetAngles().y)));
}

float CAttackNNAgent::ClampedHeadTowards(float heading) const
{
    const float current = GetBrain()->GetEntity()->GetAngles().y;
    float error = FoldAngle180(heading - current);
    error = error > kHeadRange ? kHeadRange : error < -kHeadRange ? -kHeadRange : error;
    return FoldAngle180(current + error);
}

void CAttackNNAgent::LookAt(float heading, float pitch)
{
    if (m_headRotate == nullptr)
        return;
    m_headRotate->SetValue(pitch);
    m_headRotate->SetValue2(ClampedHeadTowards(heading));
}

void CAttackNNAgent::ComputeGoal()
{
    float r = m_contactDistance;
    if (m_bandChoice == 0)
        r = m_farDistance;
    else if (m_bandChoice == 1)
        r = m_closeDistance;
    const CVec3 f = m_enemy->GetDirection();
    CVec3 dir = f;
    if (m_sideChoice == 1)
        dir = CVec3(f.z, 0.0f, -f.x);
    else if (m_sideChoice == 2)
        dir = CVec3(-f.x, 0.0f, -f.z);
    else if (m_sideChoice == 3)
        dir = CVec3(-f.z, 0.0f, f.x);
    const CEntity* self = GetBrain()->GetEntity();
    const float hit = CastRay(m_enemy->GetPosition(), dir, self, 2, r);
    if (r > 0.0f && hit / r < 0.999f) {
        // A wall on the way: stop one width short of it, never behind the enemy.
        const float shortened = hit - (m_width != nullptr ? m_width->GetValue() : 0.0f);
        r = shortened > 0.0f ? shortened : 0.0f;
    }
    m_goal = m_enemy->GetPosition() + dir * r;
}

void CAttackNNAgent::Approach()
{
    const CEntity* self = GetBrain()->GetEntity();
    const float current = self->GetAngles().y;
    const CVec3 d = m_goal - self->GetPosition();
    const float length = d.Length();
    const float toEnemy = FoldAngle180(m_angles.y + 180.0f); // T
    const float pitch = -m_angles.x;                         // P: looking towards the enemy
    const float maxSpeed = m_maxSpeed != nullptr ? m_maxSpeed->GetValue() : 0.0f;
    if (length <= m_slowDistance || (m_near && length <= 2.0f * m_slowDistance)) {
        LookAt(toEnemy, pitch);
        if (length > m_imprecision) {
            const float h = HeadingOf(d);
            if (m_walkingBackwards) {
                m_speed->SetValue(-0.25f * length);
                Turn(h + 180.0f);
            } else {
                m_speed->SetValue(0.25f * length);
                Turn(h);
            }
        } else {
            m_near = 1;
            m_speed->SetValue(0.0f);
            Turn(toEnemy);
        }
        return;
    }
    m_near = 0;
    const float h = HeadingOf(d);
    if (!m_canWalkBackwards) {
        m_walkingBackwards = 0;
    } else if (CVec3::SquaredDistance(m_goal, m_lastGoal) > 0.5f * GetOneMeter()) {
        m_lastGoal = m_goal;
        m_walkingBackwards = std::fabs(FoldAngle180(toEnemy - h)) > kBackwardsAngle ? 1 : 0;
    }
    const float wanted = m_walkingBackwards ? h + 180.0f : h;
    Turn(wanted);
    const float speed = std::fabs(FoldAngle180(wanted - current)) <= kHeadRange ? maxSpeed : maxSpeed / 3.0f;
    m_speed->SetValue(m_walkingBackwards ? -speed : speed);
    if (IsFiring())
        LookAt(toEnemy, pitch);
}

bool CAttackNNAgent::Think()
{
    if (m_shoot != nullptr)
        m_shoot->SetFire(false);
    GetActionSet()->Reset();
    if (m_enemy == nullptr || m_inputs == nullptr || m_outputs == nullptr)
        return false;
    for (int32_t i = 0; i < kNetInputs; ++i)
        m_inputs[i] = 0.0f;
    CEntity* self = GetBrain()->GetEntity();
    const CVec3 own = self->GetPosition();
    const CVec3 enemy = m_enemy->GetPosition();
    m_angles = DirectionToAngles(own - enemy);
    const float bearing = FoldAngle180(m_angles.y - m_enemy->GetAngles().y);
    m_sideState = SideState(bearing, m_sideState);
    m_inputs[3 + m_sideState] = 1.0f;
    const float h = std::sqrt((own - enemy).SquaredLengthXZ());
    m_bandState = BandState(h, m_contactDistance, m_closeDistance, m_farDistance, m_imprecision, m_bandState);
    m_inputs[m_bandState] = 1.0f;
    m_contact = 0;
    m_shoot->SetFire(false);
    if (h < m_contactDistance + m_imprecision) {
        m_contact = 1;
        m_shoot->SetFire(true);
        m_shoot->SetTarget(self->GetDirection());
    }
    m_net->Evaluate();
    m_sideChoice = Strongest(m_outputs, 4);
    m_bandChoice = Strongest(m_outputs + 4, 3);
    ComputeGoal();
    if (m_entityManager->IsOutOfPlay(m_enemy)) {
        if (!m_pathFinder->FindNextMove(m_goal))
            return false;
        GetActionSet()->Merge(*m_pathFinder->GetActionSet());
        return true;
    }
    Approach();
    if (IsFiring()) {
        CVec3 direction;
        if (m_headRotate != nullptr && m_headRotate->IsSet())
            direction = AnglesToDirection(CVec3(m_headRotate->GetValue(), m_headRotate->GetValue2(), 0.0f));
        else if (enemy != own)
            direction = (enemy - own).GetNormalized();
        else
            direction = self->GetDirection();
        m_shoot->SetTarget(direction);
    }
    return true;
}

} // namespace Zelk
