// The neural-net attack agent: fights the nearest enemy entity. Each tick it
// tells a neural net which distance band the enemy is in and on which side of
// the enemy it stands, lets the net choose the side and band it wants, computes
// that goal point (short of a wall between the enemy and the goal), walks or
// strafes there and shoots at contact range.
//
// The net ("StrategyUsed", a net of the world's neural-net manager) has at least
// 7 inputs and 7 outputs; the agent uses the first 7 of each:
//   inputs 0-2   band flags far, close, contact (one is 1, the others 0)
//   inputs 3-6   side flags front, side A, back, side B (one is 1)
//   outputs 0-3  scores of the four sides; outputs 4-6 scores of the bands
// The greatest score wins; on equal scores the lower index.
// Both states have hysteresis: a bearing or distance between two ranges keeps
// the previous state.
//
// The enemy is the entity manager's nearest entity; when it leaves the world
// the agent looks for the nearest again. Angles: the pitch towards the enemy is
// minus the pitch of the enemy-to-agent direction, and walking backwards is
// chosen when the heading to the enemy and the heading of travel differ by more
// than 135 degrees. Heading errors are folded into [-180, 180] before the
// 3-degree steering rule.
//
// Configuration: "DistanceContact" (1), "DistanceClose" (5), "DistanceFar" (10),
// "ImprecisionDist" (0.5), "SlowDist" (1) in metres; "CanWalkBackwards" ("true";
// any other text clears it); "StrategyUsed". Needs a path finder, an entity
// manager, the neural-net manager, a shoot action, a rotate or steering action,
// a speed action, and the maximum-speed and width attributes.
#pragma once
#include "ai/runtime/agent.h"
#include "ai/runtime/vec3.h"
#include <cstdint>

namespace Zelk {

class CActionHeadRotate;
class CActionRotate;
class CActionShoot;
class CActionSpeed;
class CActionSteering;
class CEntity;
class CEntityManager;
class CEntityMaxSpeed;
class CEntityWidth;
class CNeuralNet;
class CNeuralNetManager;
class IPathFinder;

class CAttackNNAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;
    static constexpr int32_t kNetInputs = 7;
    static constexpr int32_t kNetOutputs = 7;

    explicit CAttackNNAgent(CBrain* brain) : CAgent(brain) {}

    /// Defaults, services, actions, attributes, parameters; the checks below.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Finds the enemy when none is held (or the held one left the world); true with an
    /// enemy and a net.
    bool CanRun() override;
    /// Describes the situation to the net, takes its choice, walks and shoots.
    bool Think() override;
    bool HasPathFinder() const { return m_pathFinder != nullptr; }
    bool HasEntityManager() const { return m_entityManager != nullptr; }
    bool HasNetManager() const { return m_netManager != nullptr; }
    /// A shoot action, a rotate or steering action, and a speed action.
    bool HasActions() const;
    bool HasAttributes() const { return m_maxSpeed != nullptr && m_width != nullptr; }
    /// Uses the manager's net of that name; false without manager, without such a net or
    /// for a net with fewer than 7 inputs or outputs (the net in use stays).
    bool SetStrategy(const char* name);
    /// The shoot action exists, fires and is set.
    bool IsFiring() const;
    /// The goal point for the net's side and band choice.
    void ComputeGoal();
    /// Walks, strafes and turns towards the goal and the enemy.
    void Approach();

    /// Heading (degrees) of a direction: atan(x / z), plus 180 when z < 0; 90 or -90 along
    /// the x axis; 0 for the zero vector.
    static float HeadingOf(const CVec3& v);
    /// The side state for a bearing b (degrees, folded): 0 front, 1 side A, 2 back, 3 side
    /// B; previous between the ranges.
    static int32_t SideState(float b, int32_t previous);
    /// The band state for a horizontal distance h: 2 contact, 1 close, 0 far; previous
    /// between the ranges. c, k, f: contact, close and far distances; i: imprecision.
    static int32_t BandState(float h, float c, float k, float f, float i, int32_t previous);
    /// Index of the greatest of n values, the lowest index on equal values.
    static int32_t Strongest(const float* values, int32_t n);

    CEntity* GetEnemy() const { return m_enemy; }
    CNeuralNet* GetNet() const { return m_net; }
    const CVec3& GetGoal() const { return m_goal; }
    int32_t GetSideChoice() const { return m_sideChoice; }
    int32_t GetBandChoice() const { return m_bandChoice; }
    int32_t GetSideState() const { return m_sideState; }
    int32_t GetBandState() const { return m_bandState; }
    bool IsInContact() const { return m_contact != 0; }
    bool IsNear() const { return m_near != 0; }
    bool IsWalkingBackwards() const { return m_walkingBackwards != 0; }

  private:
    void Turn(float heading);
    float ClampedHeadTowards(float heading) const;
    void LookAt(float heading, float pitch);

    CEntity* m_enemy = nullptr;
    int32_t m_enemyId = -1;
    float m_contactDistance = 0.0f;
    float m_closeDistance = 0.0f;
    float m_farDistance = 0.0f;
    float m_imprecision = 0.0f;
    uint8_t m_canWalkBackwards = 1;
    float m_slowDistance = 0.0f;
    CNeuralNet* m_net = nullptr;
    float* m_inputs = nullptr;
    float* m_outputs = nullptr;
    CVec3 m_goal;
    int32_t m_sideChoice = 0;
    int32_t m_bandChoice = 0;
    CEntityManager* m_entityManager = nullptr;
    IPathFinder* m_pathFinder = nullptr;
    CNeuralNetManager* m_netManager = nullptr;
    CActionShoot* m_shoot = nullptr;
    CActionHeadRotate* m_headRotate = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSteering* m_steering = nullptr;
    CActionSpeed* m_speed = nullptr;
    CEntityMaxSpeed* m_maxSpeed = nullptr;
    CEntityWidth* m_width = nullptr;
    uint8_t m_contact = 0;
    int32_t m_bandState = 0;
    int32_t m_sideState = 0;
    uint8_t m_near = 0;
    CVec3 m_lastGoal{-10000.0f, -10000.0f, -10000.0f};
    uint8_t m_walkingBackwards = 0;
    CVec3 m_angles; // from the enemy to the agent: pitch, heading
};

} // namespace Zelk
