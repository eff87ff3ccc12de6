// "CEscortActionClass": the kinematic character's action class (rotate and speed,
// which it applies) with the escort's torso-rotate, shoot and crouch actions,
// which the character only keeps for the record.
#pragma once
#include "ai/testhost/kinematic.h"

namespace Zelk {

class CEscortActionClass : public CKinematicActionClass
{
  public:
    static CActionClassRecord s_classRecord;
    CEscortActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
};

} // namespace Zelk
