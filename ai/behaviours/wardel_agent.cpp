#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/random.h"
#include "ai/runtime/world.h"
#include <cmath>

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CWardelAgent(brain);
}

float HeadingOf(const CVec3& direction)
{
    return DirectionToAngles(direction).y;
}

// A hit only counts when its fraction lies in [0, 1).
bool Hit(const CHitRecord& hit)
{
    return hit.fraction >= 0.0f && hit.fraction < 1.0f;
}

} // namespace

CAgentClassRecord CWardelAgent::s_classRecord("CWardelAgent", &Create);

CWardelAgent::CWardelAgent(CBrain* brain) : CAgent(brain)
{
}

CWardelAgent::~CWardelAgent()
{
    m_target = CVec3();
}

bool CWardelAgent::ReadParameter(CConfigNode* /*node*/)
{
    return false;
}

bool CWardelAgent::HasMoveActions() const
{
    return m_rotate != nullptr && m_speed != nullptr;
}

bool CWardelAgent::Init(CConfigNode* node)
{
    if (!CAgent::Init(node))
        return false;
    const float meter = GetOneMeter();
    m_pathFinder = static_cast<IPathFinder*>(GetBrain()->FindService(&IPathFinder::s_classRecord));
    CActionSet* actions = GetActionSet();
    if (actions != nullptr) {
        m_rotate = actions->Get<CActionRotate>();
        m_torsoRotate = actions->Get<CActionTorsoRotate>();
        m_speed = actions->Get<CActionSpeed>();
        m_shoot = actions->Get<CActionShoot>();
        m_crouch = actions->Get<CActionCrouch>();
    }
    CEntity* entity = GetBrain()->GetEntity();
    m_width = entity != nullptr ? entity->GetAttribute<CEntityWidth>() : nullptr;
    m_target = CVec3();
    m_targetDistance2 = 100.0f * meter;
    if (m_pathFinder == nullptr || !HasMoveActions())
        return false;
    m_team = nullptr;
    m_holding = m_lookOut = 0;
    m_lookOutDistance = 5.0f * meter;
    m_groundRayLength = 3.0f * meter;
    m_watching = 0;
    m_watchIndex = m_watchedCluster = -1;
    m_lastSwitch = 0.0f;
    m_scanAll = m_farMode = 0;
    m_farThreshold = m_pathFinder->GetDistGoal();
    m_reachable = 1;
    return true;
}

bool CWardelAgent::SetTeam(CTeam* team)
{
    if (team == nullptr || team->GetClassRecord() != &CWardelTeam::s_classRecord)
        return false;
    m_team = static_cast<CWardelTeam*>(team);
    return true;
}

float CWardelAgent::HeadingAwayFrom(const CVec3& from, const CVec3& to) const
{
    // Coinciding points have no direction: the escort keeps its heading.
    const CVec3 d = to - from;
    if (d.SquaredLength() == 0.0f)
        return GetBrain()->GetEntity()->GetAngles().y;
    return HeadingOf(d.GetNormalized());
}

float CWardelAgent::SpeedLaw(float h, float g, float maxSpeed, bool farMode)
{
    if (farMode)
        return maxSpeed;
    if (h < g)
        return 0.0f;
    // The slow-down ramp ends at 2 units; a goal distance beyond it walks slowly.
    if (g >= 2.0f)
        return 0.3f * maxSpeed;
    const float ramp = (h - g) * 0.5f / (2.0f - g);
    return (ramp > 0.3f ? ramp : 0.3f) * maxSpeed;
}

void CWardelAgent::FarModeStep(float h, float meter, uint8_t& farMode, float& threshold)
{
    if (farMode && h < threshold) {
        farMode = 0;
        threshold = 5.0f * meter;
    } else if (!farMode && h > threshold) {
        farMode = 1;
        threshold = 2.0f * meter;
    }
}

bool CWardelAgent::Think()
{
    GetActionSet()->Reset();
    if (m_pathFinder == nullptr || m_team == nullptr)
        return false;
    CEntity* self = GetBrain()->GetEntity();
    const CEntity* vip = m_team->GetVip();
    const int16_t slot = m_team->GetGuardSlot(self);
    if (slot < 0 || uint32_t(slot) >= m_team->GetCapacity() || vip == nullptr)
        return false;
    const float meter = GetOneMeter();
    const bool draw = ShowCoverage != 0;
    const CVec3 offset = m_team->GetMemberOffset(slot);
    const CVec3 e = self->GetPosition();
    const CVec3 v = vip->GetPosition();
    const float d = m_team->GetDistanceToVip();

    m_target = v + offset;
    const float dist0 = (m_target - e).Length();
    if (draw)
        HostDrawPoint(m_target, 0, 255, 0);

    // A wall between the VIP and the guard point: stop one escort width short of it.
    CHitRecord hit;
    HostRayCast(v, v + offset * 1.2f, nullptr, 2, &hit);
    m_reachable = 1;
    if (Hit(hit)) {
        const CVec3 toHit = hit.point - v;
        const float length = toHit.Length();
        const float w = m_width != nullptr ? m_width->GetValue() : 0.0f;
        float reach = length - w;
        if (length == 0.0f || reach < w) {
            reach = 0.0f;
            m_reachable = 0;
        }
        m_target = length == 0.0f ? v : v + toHit / length * reach;
    }
    // Stand on the ground when there is ground close below.
    CHitRecord ground;
    HostRayCast(m_target, m_target - CVec3::kUnitY * m_groundRayLength, nullptr, 2, &ground);
    if (Hit(ground))
        m_target = ground.point + CVec3::kUnitY * meter;
    const float q = CVec3::SquaredDistance(e, m_target);
    m_targetDistance2 = q;

    const bool hasSlot = !(offset == CVec3()) && m_reachable;
    float t = d * d * 0.25f;
    if (!hasSlot) {
        if (m_holding)
            t *= 2.0f;
        if (q <= t) {
            m_rotate->SetValue(HeadingAwayFrom(v, e));
            m_speed->SetValue(0.0f);
            m_holding = 1;
            Watch();
            return true;
        }
    }

    m_holding = 0;
    if (!m_pathFinder->FindNextMove(m_target))
        return false;
    const float h = std::sqrt((m_target - e).SquaredLengthXZ());
    if (draw) {
        HostDrawLine(e, m_pathFinder->GetSubGoal(), 0, 0, 255);
        HostDrawPoint(m_pathFinder->GetGoal(), 0, 0, 255);
    }
    FarModeStep(h, meter, m_farMode, m_farThreshold);
    if (CActionSpeed* speed = m_pathFinder->GetSpeedAction()) {
        const CEntityMaxSpeed* maxSpeed = m_pathFinder->GetMaxSpeedAttribute();
        speed->SetValue(SpeedLaw(h, m_pathFinder->GetDistGoal(),
                                 maxSpeed != nullptr ? maxSpeed->GetValue() : 0.0f, m_farMode != 0));
    }
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    m_pathFinder->SetDistGoal(m_pathFinder->HasArrived() ? meter : 0.4f * meter);

    const CActionRotate* finderRotate = m_pathFinder->GetRotateAction();
    if (hasSlot) {
        if (dist0 < m_lookOutDistance) {
            m_lookOut = 1;
            m_lookOutDistance = 6.0f * meter;
            float a = NormalizeAngle180(HeadingAwayFrom(v, m_target));
            if (a < 0.0f)
                a += 360.0f;
            if (m_torsoRotate != nullptr)
                m_torsoRotate->SetValue(a);
            if (!m_rotate->IsSet())
                m_rotate->SetValue(a);
            if (draw) {
                const CGuardNodeRecord* record = m_team->GetCurrentRecord();
                const uint16_t* watched = m_team->GetWatchedList(slot);
                for (int32_t i = 0;
                     record != nullptr && i < kMaxAccessWayClusters && watched[i] != kNoCluster; ++i)
                    HostDrawLine(e, record->clusters[watched[i]].nearest, 255, 0, 255);
                const uint16_t* arcs = nullptr;
                const int32_t count = m_team->GetAccessWays()->GetAccessWays(m_team->GetCurrentNode(), arcs);
                for (int32_t i = 0; i < count; ++i)
                    if (const CGraphArc* arc = m_team->GetGraph()->GetArc(arcs[i]);
                        arc != nullptr && arc->GetTo())
                        HostDrawPoint(arc->GetTo()->GetPosition(), 0, 255, 0);
            }
        } else if (finderRotate != nullptr && finderRotate->IsSet()) {
            m_lookOut = 0;
            m_lookOutDistance = 5.0f * meter;
        }
        Watch();
        return true;
    }
    // The slow-down near the VIP compares the distance with 1.5 x the squared hold radius
    // (a length against a squared length): for the usual 3 m guard distance it starts
    // 3.4 m out, which is the walk-in the escorts are tuned for.
    if (dist0 < 1.5f * t)
        m_speed->SetValue(m_speed->GetValue() * 0.25f);
    if (!m_holding && m_torsoRotate != nullptr && finderRotate != nullptr)
        m_torsoRotate->SetValue(finderRotate->GetValue());
    return true;
}

bool CWardelAgent::Watch()
{
    if (m_team == nullptr)
        return false;
    CEntity* self = GetBrain()->GetEntity();
    const int16_t slot = m_team->GetGuardSlot(self);
    const CEntity* vip = m_team->GetVip();
    if (slot < 0 || uint32_t(slot) >= m_team->GetCapacity() || vip == nullptr)
        return false;
    const uint16_t* watched = m_team->GetWatchedList(slot);
    const CGuardNodeRecord* record = m_team->GetCurrentRecord();
    const float now = GetFrameStartTime();
    const float meter = GetOneMeter();
    const CVec3 e = self->GetPosition();
    const CVec3 v = vip->GetPosition();

    const bool onPost = vip->GetSpeed() == 0.0f && (m_pathFinder->HasArrived() || m_holding);
    if (!onPost) {
        m_watching = 0;
        return true;
    }
    if (!m_watching) {
        m_lastSwitch = now;
        m_watchedCluster = m_watchIndex = -1;
        m_scanAll = 1;
        for (int32_t p = 0; p < kMaxAccessWayClusters; ++p)
            if (watched[p] != kNoCluster) {
                m_watchedCluster = watched[p];
                m_watchIndex = p;
                m_restart = 1;
                m_scanAll = 0;
                break;
            }
        m_crouchChoice = AiRandom() % 2;
        m_watching = 1;
    }

    if (record != nullptr && (now > m_lastSwitch + 1.0f || m_restart)) {
        if (m_restart) {
            m_restart = 0;
            m_watchIndex = -1;
        }
        bool wrapped = false;
        int32_t p = (m_watchIndex + 1) % kMaxAccessWayClusters;
        for (int32_t tried = 0; tried < kMaxAccessWayClusters; ++tried, p = (p + 1) % kMaxAccessWayClusters) {
            if (m_scanAll) {
                const CAccessWayCluster& cluster = record->clusters[p];
                if (cluster.InUse() &&
                    (v - e).GetNormalized().Dot((cluster.nearest - e).GetNormalized()) <= 0.7f) {
                    m_watchedCluster = m_watchIndex = p;
                    m_lastSwitch = now;
                    break;
                }
                continue;
            }
            const uint16_t c = watched[p];
            if (c == kNoCluster) {
                if (!wrapped) {
                    wrapped = true;
                    p = -1; // continues from the start of the list
                    continue;
                }
                m_watchIndex = 0;
                m_watchedCluster = watched[0];
                m_lastSwitch = now;
                break;
            }
            CHitRecord hit;
            HostRayCast(e, record->clusters[c].nearest, self, 1, &hit);
            if ((hit.point - e).SquaredLength() > 4.0f * meter * meter) {
                m_watchedCluster = c;
                m_watchIndex = p;
                m_lastSwitch = now;
                break;
            }
        }
    }

    const bool hasCluster = record != nullptr && m_watchedCluster >= 0 &&
                            m_watchedCluster < kMaxAccessWayClusters &&
                            record->clusters[m_watchedCluster].InUse();
    CVec3 aim = self->GetDirection();
    if (hasCluster) {
        const CVec3 f = record->clusters[m_watchedCluster].nearest - e;
        const CVec3 fh = CVec3(f.x, 0.0f, f.z).GetNormalized();
        aim = f.GetNormalized();
        if (fh.Dot(self->GetDirection()) <= 0.75f) {
            if (fh.SquaredLength() != 0.0f)
                m_rotate->SetValue(HeadingOf(fh));
            return true;
        }
    }
    if (m_shoot != nullptr)
        m_shoot->SetTarget(aim);
    if (m_crouchChoice == 1 && m_crouch != nullptr)
        m_crouch->SetValue(true);
    if (ShowCoverage != 0 && hasCluster)
        HostDrawLine(e, record->clusters[m_watchedCluster].nearest, 0, 0, 255);
    return true;
}

} // namespace Zelk
