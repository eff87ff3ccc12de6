// The shooter agent: makes its entity shoot at one target entity. Within gun
// range it turns towards the target, aims with a random error of at most
// "MaxInaccuracy" degrees and fires unless an entity flagged for the danger
// test (kEntityFlagDangerTest) and in play stands inside the danger cone around
// the line of fire; out of range it walks towards the target. While it fires it
// stands: it decides speed 0 (or brakes with an acceleration action). Aiming runs as
// the time-manager task "CShooterAgent::BotShootAtEnemy", at most once per
// "AimAtTargetInterval"; between aims the last aim is applied every tick.
//
// Configuration: "DangerousConeAngle" (degrees, default 0: no danger test),
// "TargetBot" (entity name; refused when no entity has it), "GunRange" (metres,
// default 30), "MaxInaccuracy" (degrees, default 0), "AimAtTargetInterval"
// (seconds, default 0.5). Needs an entity manager and a path finder service,
// a shoot action and a rotate or steering action, and the task.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class CActionRotate;
class CActionShoot;
class CActionSteering;
class CEntity;
class CEntityGunPosition;
class CEntityManager;
class CEntityTeamSide;
class IPathFinder;

class CShooterAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CShooterAgent(CBrain* brain) : CAgent(brain) {}

    /// Services, actions, attributes, task and defaults; parameters; the three checks.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// False without a target, at distance 0 or with no gun range; refreshes the
    /// target distance and the gun origin.
    bool CanRun() override;
    /// Aims (when due and admitted), turns, shoots or walks towards the target.
    bool Think() override;
    /// The entity manager and the path finder were found.
    bool HasServices() const { return m_entityManager != nullptr && m_pathFinder != nullptr; }
    /// A shoot action and a rotate or steering action exist.
    bool HasActions() const { return m_shoot != nullptr && (m_rotate != nullptr || m_steering != nullptr); }
    bool HasTask() const { return m_task != -1; }
    /// True when nothing flagged for the danger test stands in the cone along direction
    /// (always true with a cone angle of 0 or without a team side attribute).
    bool IsLineOfFireClear(const CVec3& direction);
    /// Turns the body towards the target, draws the aiming error, decides to fire.
    void Aim();

    /// Gun range in metres.
    void SetGunRange(float metres);
    float GetGunRange() const;

    CEntity* GetTarget() const { return m_target; }
    bool IsFiring() const { return m_fire != 0; }
    const CVec3& GetAimDirection() const { return m_aimDirection; }
    float GetBodyHeading() const { return m_bodyHeading; }
    const CVec3& GetGunOrigin() const { return m_gunOrigin; }
    const CVec3& GetWalkGoal() const { return m_walkGoal; }

  private:
    CEntity* m_target = nullptr;
    float m_gunRange = 0.0f;
    float m_dangerConeAngle = 0.0f;
    float m_maxInaccuracy = 0.0f;
    float m_targetDistance = 0.0f;
    CVec3 m_gunOrigin;
    CVec3 m_aimDirection{0.0f, 0.0f, 1.0f};
    float m_bodyHeading = 0.0f;
    uint8_t m_fire = 0;
    CVec3 m_walkGoal;
    CEntityManager* m_entityManager = nullptr;
    IPathFinder* m_pathFinder = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSteering* m_steering = nullptr;
    CActionShoot* m_shoot = nullptr;
    CEntityTeamSide* m_teamSide = nullptr;
    CEntityGunPosition* m_gunPosition = nullptr;
    int32_t m_task = -1;
    float m_nextAimTime = 0.0f;
    float m_aimInterval = 0.5f;
};

} // namespace Zelk
