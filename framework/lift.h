#pragma once
// CLift: a platform that shuttles between a bottom point p1 and a top point
// p2 at two units per second, waiting three seconds at each end; a lift that
// names a switch stands still while the switch is off. The platform is a
// box body (2 x 0.2 x 2 units, 20 kg) on the lift model, held by a joint to a
// fixed anchor whose frame the lift moves. "config.xml": <Lift p1x .. p2z
// pw1x .. pw2z [switch="name"]/> (the pw points are kept, unused). A lift
// finds its switch only among the switches declared before it.
#include "framework/interactiveobject.h"

class CSceneObject;
class CSwitch;
struct OlpBody;
struct OlpJoint;
struct OlpVolume;

class CLift : public CInteractiveObject
{
  public:
    /// Lift states.
    enum State : int32_t
    {
        kWaitingAtBottom = 0,
        kWaitingAtTop = 1,
        kMovingDown = 2,
        kMovingUp = 3,
    };
    /// World units per second.
    static constexpr float kSpeed = 2.0f;
    /// Seconds at each end.
    static constexpr float kWait = 3.0f;

    ~CLift() override;

    /// "Lift": its attributes (each missing one reported) and its switch;
    /// the platform starts at p1.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }
    /// The platform model with its body and the joint that moves it (the
    /// model is collidable: characters stand on it and ride along); false
    /// without a physics context or when a part cannot be made.
    bool Load() override;
    /// Waits, or moves the platform's anchor along, unless its switch is off.
    void Update(float dt) override;
    void RenderDebug() override {}
    /// Takes the joint and the body out of the simulation and frees them,
    /// and the platform model.
    void Shutdown() override;
    const CSceneObject* GetPlatform() const override { return m_platform; }

    /// The unit direction of the motion: up towards p2, down towards p1, or
    /// zero while waiting (the speed is not included).
    void GetMoveDirection(V3d* out) const;
    int32_t GetState() const { return m_state; }
    const V3d& GetPosition() const { return m_position; }
    float GetTravelled() const { return m_travelled; }
    CSwitch* GetSwitch() const { return m_switch; }
    OlpBody* GetBody() const { return m_body; }

  private:
    /// Puts the platform and the anchor's frame at the current position.
    void PlacePlatform();
    void MoveAnchor();

    V3d m_pw1{}, m_pw2{};
    V3d m_p1{}, m_p2{};
    V3d m_position{};
    V3d m_direction{};
    float m_timer = 0.0f;
    float m_waitAtBottom = kWait;
    float m_waitAtTop = kWait;
    float m_length = 0.0f;
    float m_travelled = 0.0f;
    int32_t m_state = kMovingUp;
    OlpJoint* m_joint = nullptr;
    OlpBody* m_body = nullptr;
    CSceneObject* m_platform = nullptr;
    OlpVolume* m_anchor = nullptr;
    CSwitch* m_switch = nullptr;
};
