#include "demo/defaultactionclass.h"

#include <algorithm>
#include <cmath>

#include "ai/runtime/world.h"
#include "demo/aicharacter.h"
#include "demo/defaultentityclass.h"

namespace Zelk {

namespace {

constexpr float kRunRatio = 0.5f;          // r from which the character runs
constexpr float kTorsoWalkRatio = 0.49f;   // r while walking under a torso rotation
constexpr float kTurnInPlaceStart = 45.0f; // degrees off the shot that start a turn in place
constexpr float kTurnInPlaceStop = 5.0f;   // degrees off the shot that end it
constexpr float kTurnInPlaceGain = 0.033333335f;
constexpr float kSteerGain = 0.1f;
constexpr float kWalkSteerGain = 0.05f;
constexpr float kInputLimit = 4.0f; // turn clamp and strafe gain
constexpr float kRunForward = 0.5f;
constexpr float kWalkForward = 0.75f;
constexpr float kAimDistance = 100.0f; // one-metre lengths
constexpr float kDegreesToRadians = 0.0055555557f * 3.141592f;

float Clamp(float value)
{
    return std::clamp(value, -kInputLimit, kInputLimit);
}

float HeadingOf(const CVec3& direction)
{
    return DirectionToAngles(direction).y;
}

void Aim(CAiCharacter& c, const CEntity& entity, const CActionShoot& shoot)
{
    const CVec3 p = entity.GetPosition() + shoot.GetTarget() * (kAimDistance * GetOneMeter());
    c.SetAimTarget(V3d{p.x, p.y, p.z});
}

} // namespace

CDefaultActionClass::CDefaultActionClass()
    : m_rotate(static_cast<CActionRotate*>(CreateAction(&CActionRotate::s_classRecord))),
      m_speed(static_cast<CActionSpeed*>(CreateAction(&CActionSpeed::s_classRecord))),
      m_torsoRotate(static_cast<CActionTorsoRotate*>(CreateAction(&CActionTorsoRotate::s_classRecord))),
      m_shoot(static_cast<CActionShoot*>(CreateAction(&CActionShoot::s_classRecord))),
      m_crouch(static_cast<CActionCrouch*>(CreateAction(&CActionCrouch::s_classRecord)))
{
    if (m_rotate != nullptr)
        m_rotate->SetValue(0.0f);
    if (m_speed != nullptr)
        m_speed->SetValue(0.0f);
    if (m_torsoRotate != nullptr) {
        m_torsoRotate->SetValue(0.0f);
        m_torsoRotate->SetValue2(0.0f);
    }
    if (m_shoot != nullptr) {
        m_shoot->SetTarget(CVec3());
        m_shoot->SetFire(false);
    }
    if (m_crouch != nullptr)
        m_crouch->SetValue(false);
}

void CDefaultActionClass::Apply(CEntity* entity)
{
    if (entity == nullptr || entity->GetClassRecord() != &CDefaultEntityClass::s_classRecord)
        return;
    CAiCharacter* character = static_cast<CDefaultEntityClass*>(entity)->GetCharacter();
    if (character == nullptr || m_rotate == nullptr || m_speed == nullptr || m_torsoRotate == nullptr ||
        m_shoot == nullptr || m_crouch == nullptr)
        return;
    CAiCharacter& c = *character;
    const float heading = entity->GetAngles().y;
    const float rotateTo = m_rotate->IsSet() ? m_rotate->GetValue() : heading;

    // The ratio of the speed asked for to twice the run speed; a profile that
    // cannot run, or a negative speed, stands.
    const float v = m_speed->IsSet() ? m_speed->GetValue() : 0.0f;
    c.SetMode(kModeRun);
    const float run = c.GetCurrentSpeed();
    float r = run > 0.0f && v > 0.0f ? v / (2.0f * run) : 0.0f;
    if (m_torsoRotate->IsSet() && r >= kRunRatio)
        r = kTorsoWalkRatio;

    if (r == 0.0f && m_shoot->IsSet()) {
        const float off = NormalizeAngle180(HeadingOf(m_shoot->GetTarget()) - heading);
        if (m_turningInPlace && std::fabs(off) < kTurnInPlaceStop)
            m_turningInPlace = false;
        if ((m_turningInPlace && std::fabs(off) > kTurnInPlaceStop) || std::fabs(off) > kTurnInPlaceStart) {
            c.SetMode(kModeAlert);
            c.SetTurnInput(Clamp(off * kTurnInPlaceGain));
            c.SetForwardInput(0.0f);
            c.SetSideInput(0.0f);
            m_turningInPlace = true;
            return;
        }
        c.SetMode(m_crouch->IsSet() && m_crouch->GetValue() ? kModeCrouchAim : kModeStandAim);
        Aim(c, *entity, *m_shoot);
        if (m_shoot->GetFire())
            c.SetFireRequest();
        return;
    }
    if (r == 0.0f || (r >= kRunRatio && !m_torsoRotate->IsSet())) {
        // Standing or running: straight ahead, steering towards the rotation asked for.
        c.SetMode(r == 0.0f ? kModeWalk : kModeRun);
        c.SetForwardInput(r == 0.0f ? 0.0f : kRunForward);
        c.SetSideInput(0.0f);
        c.SetTurnInput(Clamp(NormalizeAngle180(rotateTo - heading) * kSteerGain));
        return;
    }

    c.SetMode(kModeWalk);
    if (!m_torsoRotate->IsSet()) {
        c.SetForwardInput(kWalkForward);
        c.SetSideInput(0.0f);
        c.SetTurnInput(Clamp(NormalizeAngle180(rotateTo - heading) * kWalkSteerGain));
        return;
    }
    // The torso turns to its own heading while the legs walk towards the
    // rotation asked for: the walk becomes a strafe relative to the torso.
    const float torso = m_torsoRotate->GetValue();
    const V3d& at = c.GetFrameMatrix()->at;
    const float facing = HeadingOf(CVec3(at.x, at.y, at.z));
    c.SetTurnInput(Clamp(NormalizeAngle180(torso - facing) * kSteerGain));
    const float a = NormalizeAngle180(rotateTo - torso) * kDegreesToRadians;
    const CVec3 walk = CVec3(std::cos(a), std::sin(a), 0.0f).GetNormalized();
    c.SetForwardInput(walk.x * r * kInputLimit);
    c.SetSideInput(walk.y * r * kInputLimit);
    if (m_shoot->IsSet() && m_shoot->GetFire()) {
        c.SetMode(kModeAlert);
        Aim(c, *entity, *m_shoot);
        c.SetFireRequest();
    }
}

} // namespace Zelk
