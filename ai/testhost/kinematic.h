// Kinematic characters for the test host: entities that walk the box world as
// their brain decides, so that planned paths are really walked.
//  - "CKinematicEntity" (entity class): a "CTestEntity" (same start keys) with
//    the attributes the path finder needs: "MaxSpeed" (metres per second,
//    default 2), "Width" (metres, default 0.6) and "Height" (metres, default
//    1.8); "TeamSide" (integer) gives it a team side attribute and "Flags"
//    (integer) its host flag word. Each Update moves it one frame step along its direction at its
//    speed; when the box world stops a body of its width on the way, the step
//    counts as blocked and the body slides along the wall on the free axis
//    (or stays where it is when neither axis is free).
//  - "CKinematicActionClass" (action class): CActionRotate and CActionSpeed.
//    Apply turns the entity to the decided heading (degrees) and sets its speed
//    (clamped to 0..MaxSpeed).
//  - "CKinematicSteeringActionClass" (action class): CActionSteering and
//    CActionAcceleration. Apply turns by steering x 180 degrees per second and
//    changes the speed by acceleration x 2 MaxSpeed per second (clamped to 0..MaxSpeed),
//    both over one frame step.
//  - "CKinematicArmedActionClass": as "CKinematicActionClass", with the shoot,
//    head-rotate, crouch and jump actions besides (recorded, not applied).
//  - "CKinematicArmedSteeringActionClass": as "CKinematicSteeringActionClass",
//    with the shoot, crouch and jump actions besides.
#pragma once

#include "ai/runtime/action.h"
#include "ai/testhost/testclasses.h"

namespace Zelk {

class CKinematicEntity : public CTestEntity
{
  public:
    static CEntityClassRecord s_classRecord;
    CKinematicEntity(const char* name, void* hostObject) : CTestEntity(name, hostObject) {}
    bool Init(CConfigNode* config) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Update() override;
    /// Frames in which a wall stopped the full step.
    int GetBlockedSteps() const { return m_blocked; }

  private:
    int m_blocked = 0;
};

class CKinematicActionClass : public CActionSet
{
  public:
    static CActionClassRecord s_classRecord;
    CKinematicActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Apply(CEntity* entity) override;
};

class CKinematicSteeringActionClass : public CActionSet
{
  public:
    static CActionClassRecord s_classRecord;
    CKinematicSteeringActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    void Apply(CEntity* entity) override;
};

class CKinematicArmedActionClass : public CKinematicActionClass
{
  public:
    static CActionClassRecord s_classRecord;
    CKinematicArmedActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
};

class CKinematicArmedSteeringActionClass : public CKinematicSteeringActionClass
{
  public:
    static CActionClassRecord s_classRecord;
    CKinematicArmedSteeringActionClass();
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
};

} // namespace Zelk
