#include "ai/behaviours/path_way_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/path_way.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CPathWayAgent(brain);
}

constexpr float kTurnTolerance = 3.0f;   // degrees
constexpr float kWalkFactor = 0.25f;     // "walk": a quarter of the maximum speed
constexpr float kDefaultMaxSpeed = 6.0f; // metres per second without the attribute

bool ModeIs(const CWayPoint& point, const char* mode)
{
    return std::strncmp(point.mode, mode, CWayPoint::kModeSize) == 0;
}

} // namespace

CAgentClassRecord CPathWayAgent::s_classRecord("CPathWayAgent", &Create);

bool CPathWayAgent::Init(CConfigNode* node)
{
    m_atPoint = m_finished = m_reverse = 0;
    m_pausing = m_rotating = m_orienting = 0;
    m_pauseEnd = m_rotateHeading = m_orientHeading = 0.0f;
    if (node == nullptr)
        return false;
    m_pathFinder = FindPathFinder(GetBrain());
    const CWorld* world = GetCurrentWorld();
    m_manager = world != nullptr
                    ? static_cast<CPathWayManager*>(world->FindGlobalService(&CPathWayManager::s_classRecord))
                    : nullptr;
    if (!HasPathFinder() || !HasManager() || !CAgent::Init(node))
        return false;
    Reset();
    const CActionSet* actions = GetActionSet();
    m_speed = actions->Get<CActionSpeed>();
    m_acceleration = actions->Get<CActionAcceleration>();
    m_crouch = actions->Get<CActionCrouch>();
    m_jump = actions->Get<CActionJump>();
    m_rotate = actions->Get<CActionRotate>();
    m_steering = actions->Get<CActionSteering>();
    m_finderSpeed = m_pathFinder->GetActionSet()->Get<CActionSpeed>();
    m_finderAcceleration = m_pathFinder->GetActionSet()->Get<CActionAcceleration>();
    if (!HasActions())
        return false;
    const CEntity* entity = GetBrain()->GetEntity();
    m_maxSpeed = entity != nullptr ? entity->GetAttribute<CEntityMaxSpeed>() : nullptr;
    return true;
}

bool CPathWayAgent::ReadParameter(CConfigNode* node)
{
    const char* name = ParameterValue(node, "PathWayName");
    if (name == nullptr || m_manager == nullptr)
        return false;
    CPathWay* pathWay = m_manager->GetPathWay(name);
    if (pathWay == nullptr)
        return false;
    m_pathWay = pathWay;
    return true;
}

bool CPathWayAgent::HasActions() const
{
    return ((m_speed != nullptr) != (m_acceleration != nullptr)) &&
           ((m_rotate != nullptr) != (m_steering != nullptr));
}

bool CPathWayAgent::CanRun()
{
    return m_pathWay != nullptr && m_pathWay->GetPointCount() > 0;
}

void CPathWayAgent::Reset()
{
    m_atPoint = m_finished = 0;
    m_pausing = m_rotating = m_orienting = 0;
    const int32_t count = m_pathWay != nullptr ? int32_t(m_pathWay->GetPointCount()) : 0;
    m_step = m_reverse ? count - 1 : 0;
}

void CPathWayAgent::SetPathWay(CPathWay* pathWay)
{
    if (pathWay != m_pathWay) {
        m_pathWay = pathWay;
        Reset();
    }
}

CVec3 CPathWayAgent::GetCurrentPoint() const
{
    const CWayPoint* point = m_pathWay != nullptr ? m_pathWay->GetPoint(m_step) : nullptr;
    if (point != nullptr)
        return point->position;
    const CEntity* entity = GetBrain()->GetEntity();
    return entity != nullptr ? entity->GetPosition() : CVec3();
}

float CPathWayAgent::WantedSpeed() const
{
    return m_maxSpeed != nullptr ? m_maxSpeed->GetValue() : kDefaultMaxSpeed * GetOneMeter();
}

void CPathWayAgent::ApplyPace(float wanted)
{
    if (m_speed != nullptr) {
        if (m_finderSpeed != nullptr && m_finderSpeed->GetValue() < wanted)
            wanted = m_finderSpeed->GetValue();
        m_speed->SetValue(wanted);
    } else if (m_acceleration != nullptr) {
        const float s = GetBrain()->GetEntity()->GetSpeed();
        if (s > 1.05f * wanted) {
            m_acceleration->SetValue(-1.0f);
        } else if (s < 0.95f * wanted) {
            const float a = m_finderAcceleration != nullptr ? m_finderAcceleration->GetValue() : 1.0f;
            m_acceleration->SetValue(a < 1.0f ? a : 1.0f);
        } else {
            m_acceleration->SetValue(0.0f);
        }
    }
}

bool CPathWayAgent::Think()
{
    GetActionSet()->Reset();
    if (m_finished)
        return true;
    const CWayPoint* point = m_pathWay != nullptr ? m_pathWay->GetPoint(m_step) : nullptr;
    if (point == nullptr)
        return false;
    if (!m_atPoint) {
        if (!m_pathFinder->FindNextMove(point->position))
            return false;
        GetActionSet()->Merge(*m_pathFinder->GetActionSet());
        if (m_pathFinder->HasArrived()) {
            m_atPoint = 1;
            return true;
        }
        float wanted = WantedSpeed();
        if (ModeIs(*point, "walk")) {
            wanted *= kWalkFactor;
        } else if (ModeIs(*point, "crouch")) {
            if (m_crouch != nullptr)
                m_crouch->SetValue(true);
        } else if (ModeIs(*point, "jump")) {
            if (m_jump != nullptr)
                m_jump->SetValue(true);
        }
        ApplyPace(wanted);
        return true;
    }
    if (!ExecuteCommand(m_step))
        return true;
    m_atPoint = 0;
    const int32_t count = int32_t(m_pathWay->GetPointCount());
    m_step += m_reverse ? -1 : 1;
    if (m_step >= count || m_step < 0) {
        if (m_pathWay->IsLooped()) {
            m_step = m_reverse ? count - 1 : 0;
        } else {
            m_finished = 1;
            m_step = count;
        }
    }
    return true;
}

bool CPathWayAgent::ParseCommand(const char* field, char* word, float* value)
{
    // The field comes from a data file and may fill all its bytes without a terminator:
    // read a terminated copy, with widths that fit the buffers.
    char text[kCommandSize + 1];
    std::memcpy(text, field, kCommandSize);
    text[kCommandSize] = '\0';
    char number[kCommandSize + 1];
    word[0] = '\0';
    if (std::sscanf(text, "%64s %64s", word, number) < 2)
        return false;
    *value = ConfigToFloat(number);
    return true;
}

void CPathWayAgent::Stop()
{
    DecideStop(m_speed, m_acceleration, GetBrain()->GetEntity());
}

void CPathWayAgent::Turn(float heading)
{
    if (m_rotate != nullptr)
        m_rotate->SetValue(heading);
    else if (m_steering != nullptr)
        m_steering->SetValue(SteeringFor(FoldAngle180(heading - GetBrain()->GetEntity()->GetAngles().y)));
}

bool CPathWayAgent::TurnUntil(float heading)
{
    const float error = FoldAngle180(heading - GetBrain()->GetEntity()->GetAngles().y);
    if (std::fabs(error) <= kTurnTolerance)
        return false;
    Stop();
    Turn(heading);
    return true;
}

bool CPathWayAgent::ExecuteCommand(int32_t step)
{
    const CWayPoint* point = m_pathWay != nullptr ? m_pathWay->GetPoint(step) : nullptr;
    char word[kCommandSize + 1];
    float value = 0.0f;
    if (point == nullptr || !ParseCommand(point->action, word, &value))
        return true;
    const float now = GetFrameStartTime();
    const float heading = GetBrain()->GetEntity()->GetAngles().y;
    if (std::strcmp(word, "pause") == 0) {
        if (!m_pausing) {
            m_pausing = 1;
            m_pauseEnd = now + value;
        }
        if (now < m_pauseEnd)
            Stop();
        else
            m_pausing = 0;
    } else if (std::strcmp(word, "rotate") == 0) {
        if (!m_rotating) {
            m_rotating = 1;
            m_rotateHeading = FoldAngle180(heading + value);
        }
        m_rotating = TurnUntil(m_rotateHeading) ? 1 : 0;
    } else if (std::strcmp(word, "orient") == 0) {
        if (!m_orienting) {
            m_orienting = 1;
            m_orientHeading = FoldAngle180(value);
        }
        m_orienting = TurnUntil(m_orientHeading) ? 1 : 0;
    }
    return !m_pausing && !m_rotating && !m_orienting;
}

} // namespace Zelk
