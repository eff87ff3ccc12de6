// The path-way agent: walks its entity along a path way of the world's path-way
// manager. At each step it walks to the step's point with the step's way of
// moving ("walk" at a quarter of the maximum speed, "crouch" and "jump" with
// those actions when the entity has them, any other word at full speed), then
// carries out the step's command before going on:
//   "pause <seconds>"   stands still for that long;
//   "rotate <degrees>"  turns by that angle from the heading at arrival;
//   "orient <degrees>"  turns to that absolute heading;
// a turn ends within 3 degrees. A command text that does not give two words is
// skipped. A looping path way starts again after its last step; otherwise the
// agent finishes there and decides nothing more.
//
// Pace: with a speed action the agent asks for the wanted speed (never above the
// path finder's); with an acceleration action it holds the entity's speed within
// 0.95 to 1.05 of the wanted speed. Standing still brakes (-1) above 0.05 m/s and
// does nothing at or below it.
//
// Configuration: "PathWayName". Needs a path finder, the path-way manager, exactly
// one of the speed and acceleration actions and exactly one of the rotate and
// steering actions.
#pragma once
#include "ai/runtime/agent.h"
#include <cstddef>
#include <cstdint>

namespace Zelk {

class CActionAcceleration;
class CActionCrouch;
class CActionJump;
class CActionRotate;
class CActionSpeed;
class CActionSteering;
class CEntityMaxSpeed;
class CPathWay;
class CPathWayManager;
class CVec3;
class IPathFinder;

class CPathWayAgent : public CAgent
{
  public:
    static CAgentClassRecord s_classRecord;
    /// Bytes of a step's command field.
    static constexpr size_t kCommandSize = 64;

    explicit CPathWayAgent(CBrain* brain) : CAgent(brain) {}

    /// False without configuration, path finder, path-way manager, the pace and heading
    /// actions, or when a parameter is refused.
    bool Init(CConfigNode* node) override;
    /// "PathWayName": false without manager or such a path way; other keys: false.
    bool ReadParameter(CConfigNode* node) override;
    /// Restarts the path way.
    void Start() override { Reset(); }
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// A path way with steps is set.
    bool CanRun() override;
    /// Walks to the current step or carries out its command; true once finished.
    bool Think() override;
    bool HasPathFinder() const { return m_pathFinder != nullptr; }
    bool HasManager() const { return m_manager != nullptr; }
    /// Exactly one of speed and acceleration, and exactly one of rotate and steering.
    bool HasActions() const;
    /// Carries out step's command once more; true when it is done.
    bool ExecuteCommand(int32_t step);

    /// Back to the first step (the last when walking backwards), nothing pending.
    void Reset();
    /// Uses the path way and restarts when it differs from the current one.
    void SetPathWay(CPathWay* pathWay);
    CPathWay* GetPathWay() const { return m_pathWay; }
    /// The current step's point; the entity's position when the index names no step.
    CVec3 GetCurrentPoint() const;
    int32_t GetStepIndex() const { return m_step; }
    bool IsAtPoint() const { return m_atPoint != 0; }
    bool IsFinished() const { return m_finished != 0; }

    /// Reads a command field (kCommandSize bytes, terminated or not) as two words: the
    /// first into word (kCommandSize + 1 bytes), the second as a number. False when the
    /// field does not hold two words.
    static bool ParseCommand(const char* field, char* word, float* value);

  private:
    float WantedSpeed() const;
    void ApplyPace(float wanted);
    void Stop();
    void Turn(float heading);
    bool TurnUntil(float heading);

    IPathFinder* m_pathFinder = nullptr;
    CPathWayManager* m_manager = nullptr;
    CEntityMaxSpeed* m_maxSpeed = nullptr;
    CActionSpeed* m_speed = nullptr;
    CActionAcceleration* m_acceleration = nullptr;
    CActionCrouch* m_crouch = nullptr;
    CActionJump* m_jump = nullptr;
    CActionRotate* m_rotate = nullptr;
    CActionSteering* m_steering = nullptr;
    CActionSpeed* m_finderSpeed = nullptr;
    CActionAcceleration* m_finderAcceleration = nullptr;
    CPathWay* m_pathWay = nullptr;
    int32_t m_step = 0;
    uint8_t m_atPoint = 0;
    uint8_t m_finished = 0;
    uint8_t m_reverse = 0; // no key sets it: path ways are walked forwards
    uint8_t m_pausing = 0;
    float m_pauseEnd = 0.0f;
    uint8_t m_rotating = 0;
    float m_rotateHeading = 0.0f;
    uint8_t m_orienting = 0;
    float m_orientHeading = 0.0f;
};

} // namespace Zelk
