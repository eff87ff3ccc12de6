// The escort agent: asks its escort team for its guard slot, turns the slot into
// a reachable point near the VIP, walks there through the brain's path finder
// with its own speed law, faces outward or along the access ways it guards,
// watches them in turn, aims at the watched one and may crouch.
//
// Configuration: nothing but "Class" "CWardelAgent". Needs a path finder service
// (IPathFinder) and the rotate and speed actions; uses the torso-rotate, shoot
// and crouch actions and the entity's width when they exist.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class CActionCrouch;
class CActionRotate;
class CActionShoot;
class CActionSpeed;
class CActionTorsoRotate;
class CEntityWidth;
class CTeam;
class CWardelTeam;
class IPathFinder;

class CWardelAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;

    explicit CWardelAgent(CBrain* brain);
    ~CWardelAgent() override;

    /// False without a path finder or without the rotate and speed actions.
    bool Init(CConfigNode* node) override;
    /// The agent takes no parameters.
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// True once an escort team is set.
    bool CanRun() override { return m_team != nullptr; }
    /// Decides this tick's actions; false without a path finder, without a guard slot
    /// or when the path finder finds no move.
    bool Think() override;
    /// True when both the rotate and the speed action exist.
    bool HasMoveActions() const;
    /// Accepts a team whose class is exactly CWardelTeam; false otherwise (nothing changes).
    bool SetTeam(CTeam* team);
    /// Chooses the access way watched and aims at it; false when the escort has no slot.
    bool Watch();

    CWardelTeam* GetTeam() const { return m_team; }
    const CVec3& GetTarget() const { return m_target; }
    bool IsHolding() const { return m_holding != 0; }
    bool IsFarMode() const { return m_farMode != 0; }
    float GetFarThreshold() const { return m_farThreshold; }
    bool IsWatching() const { return m_watching != 0; }
    int32_t GetWatchedCluster() const { return m_watchedCluster; }
    bool IsReachable() const { return m_reachable != 0; }
    /// Squared distance from the escort to this tick's target.
    float GetTargetDistance2() const { return m_targetDistance2; }

    /// The walking speed h units (horizontally) from the target: maxSpeed in far mode;
    /// else 0 below the goal distance g, then at least 0.3 x maxSpeed, rising on a ramp
    /// that ends 2 units out (g of 2 or more: 0.3 x maxSpeed).
    static float SpeedLaw(float h, float g, float maxSpeed, bool farMode);
    /// Far mode with hysteresis: left below the threshold (which becomes 5 m), entered
    /// above it (which becomes 2 m).
    static void FarModeStep(float h, float meter, uint8_t& farMode, float& threshold);

  private:
    float HeadingAwayFrom(const CVec3& from, const CVec3& to) const;

    CWardelTeam* m_team = nullptr;
    CVec3 m_target;
    float m_targetDistance2 = 0.0f;
    CActionTorsoRotate* m_torsoRotate = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSpeed* m_speed = nullptr;
    CActionShoot* m_shoot = nullptr;
    CActionCrouch* m_crouch = nullptr;
    IPathFinder* m_pathFinder = nullptr;
    uint8_t m_holding = 0;
    uint8_t m_lookOut = 0;
    float m_lookOutDistance = 0.0f;
    float m_groundRayLength = 0.0f;
    uint8_t m_watching = 0;
    int32_t m_watchIndex = -1;
    int32_t m_watchedCluster = -1;
    float m_lastSwitch = 0.0f;
    int32_t m_crouchChoice = 0;
    uint8_t m_scanAll = 0;
    uint8_t m_farMode = 0;
    float m_farThreshold = 0.0f;
    uint8_t m_restart = 0;
    uint8_t m_reachable = 1;
    CEntityWidth* m_width = nullptr;
};

} // namespace Zelk
