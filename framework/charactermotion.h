#pragma once
// The motion of an animated object: an invisible sphere body (the body
// proxy) that the physics world simulates, driven each frame by the owner's
// forward and side speeds, pulled down in the air and on slopes, pushed by
// bumpers, launched by jumps; the owner's frame then follows the
// body and turns about the vertical axis.
//
// Usage: the owner calls Init (which makes the body proxy; the physics world
// must have loaded its first world), sets the speeds each frame and calls
// Update once per frame before the physics step. The proxy stays registered
// with the physics world, which destroys it.
#include <cstdint>

#include "graphics/core/vector.h"

class CAnimatedObject;
class CSceneObject;
struct OlpBody;

class CCharacterMotion
{
  public:
    /// Jump states.
    enum JumpState : int32_t
    {
        kOnFoot = 0,
        kTakeOff = 1,
        kInAir = 2,
    };
    /// The upward speed of a take-off, world units per second, whatever the scale.
    static constexpr float kJumpSpeed = 6.0f;

    CCharacterMotion() = default;
    CCharacterMotion(const CCharacterMotion&) = delete;
    CCharacterMotion& operator=(const CCharacterMotion&) = delete;
    virtual ~CCharacterMotion() = default;

    /// Keeps the owner and makes the body proxy at `position`.
    void Init(CAnimatedObject* owner, const V3d& position);
    /// The sphere body (radius 0.4 x the world's scale, mass 1) on a model
    /// registered with the physics world, placed at `position`; false
    /// without a physics world or when the body or model cannot be made.
    bool CreateBody(const V3d& position);
    /// Moves the body to `position` when there is one.
    void SetPosition(const V3d& position);
    /// Asks for a jump at the next update (dropped unless on foot).
    void RequestJump() { m_jumpRequest = true; }
    /// A velocity added to the body's at the next update (a bumper's push).
    void AddPush(const V3d& velocity);
    /// Advances by `dt` seconds: the body's velocity from the speeds, the
    /// pulls, lifts and jumps; the owner's frame placed on the body and turned.
    void Update(float dt);

    /// World units per second along the owner's at and right axes, and
    /// degrees per second about the vertical axis.
    void SetSpeeds(float forward, float side, float turnRate);
    /// The profile's values: `scale` multiplies the pulls, the rest are kept.
    void SetProfileValues(float scale, float sphereRadius, float slideIntensity, float slideCreaseY,
                          int32_t accuracy, float gravity);

    CSceneObject* GetBodyProxy() const { return m_bodyProxy; }
    OlpBody* GetBody() const;
    int32_t GetJumpState() const { return m_jumpState; }
    float GetPreviousSpeed() const { return m_previousSpeed; }
    float GetScale() const { return m_scale; }
    /// True when the last ground test found contact.
    bool IsOnGround() const { return m_onGround; }

  private:
    float m_previousSpeed = 0.0f;
    CSceneObject* m_bodyProxy = nullptr; ///< registered with (and destroyed by) the physics world
    float m_proxyOffset = 0.0f;
    float m_slideIntensity = 0.0f;
    float m_slideCreaseY = 0.0f;
    int32_t m_accuracy = 0;
    float m_gravity = 0.0f;
    float m_scale = 1.0f;
    bool m_jumpRequest = false;
    int32_t m_jumpState = kOnFoot;
    float m_jumpTimer = 0.0f;
    float m_forwardSpeed = 0.0f;
    float m_sideSpeed = 0.0f;
    float m_turnRate = 0.0f;
    CAnimatedObject* m_owner = nullptr;
    float m_sphereRadius[2] = {1.0f, 1.0f};
    V3d m_push = {0.0f, 0.0f, 0.0f};
    bool m_onGround = false;
};
