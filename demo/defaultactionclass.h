#pragma once
// "CDefaultActionClass": the actions a brain decides for a demo character
// (speed, rotate, torso rotate, shoot, crouch) and how Apply turns them into
// the character's mode, movement inputs, aim point and fire request. It acts
// only on entities of CDefaultEntityClass that have a character.
//
// The speed asked for, as a ratio r of twice the run speed, picks the gait:
// r >= 0.5 runs, 0 < r < 0.5 walks (strafing under a torso rotation),
// r = 0 stands; standing with a shot first turns in place until the shooting
// direction is within a few degrees, then aims (crouching when asked).
#include "ai/runtime/action.h"

namespace Zelk {

class CDefaultActionClass : public CActionSet
{
  public:
    static CActionClassRecord s_classRecord;

    CDefaultActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Apply(CEntity* entity) override;

    /// True while the character turns in place towards a shot.
    bool IsTurningInPlace() const { return m_turningInPlace; }

  private:
    CActionRotate* m_rotate;
    CActionSpeed* m_speed;
    CActionTorsoRotate* m_torsoRotate;
    CActionShoot* m_shoot;
    CActionCrouch* m_crouch;
    bool m_turningInPlace = false;
};

} // namespace Zelk
