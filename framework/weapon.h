#pragma once
// CWeapon: every character's gun. While its owner holds the trigger it fires
// a visible bullet every 0.15 s from the right hand (bone 35), decides the
// hit at once (the nearest character close to the line of fire, else the
// worlds and the registered objects), hurts the character or pushes the body
// it hits, starts a burst of impact particles there and flashes its muzzle
// fire. The weapons share the impact tables (impactparticles.h).
#include <cstdint>

#include "framework/bullet.h"
#include "graphics/core/vector.h"

class CCharacter;
class CSceneObject;

class CWeapon
{
  public:
    static constexpr int32_t kBullets = 32;
    /// The bone whose matrix places the muzzle: the right hand.
    static constexpr int32_t kHandBone = 35;
    /// Seconds between two shots (at least).
    static constexpr float kShotInterval = 0.15f;
    /// Units a shot reaches.
    static constexpr float kRange = 30.0f;

    CWeapon() = default;
    CWeapon(const CWeapon&) = delete;
    CWeapon& operator=(const CWeapon&) = delete;
    ~CWeapon();

    /// Attaches to `owner`, loads the muzzle fire "MODELS/FIRE.DFF" (registered
    /// with the physics world when there is one) and makes the impact tables
    /// when they are empty; false when the fire model does not load (the
    /// weapon then never fires).
    bool Init(CCharacter* owner);
    /// Frees the fire model and gives the impact tables back (the last
    /// weapon released empties them). A second call does nothing.
    void Release();
    /// Fires while asked, shows the muzzle flash, moves the bullets.
    void Update(float dt);
    /// Draws the bullets in flight.
    void RenderBullets() const;
    /// Aim on or off; the point is copied only when given.
    void SetAimTarget(bool aim, const V3d* point);
    /// The muzzle and the gun's axes from the hand bone (the gun points
    /// along `right`); each output optional. False, nothing written, when the
    /// owner's hierarchy has no hand bone.
    bool GetMuzzle(V3d* point, V3d* up, V3d* at, V3d* right) const;

    /// Hand-held (the muzzle at the hand, the flash shown, aim limited to the
    /// gun's direction) or not (the muzzle 1.4 above the owner, any aim).
    void SetHandHeld(bool handHeld) { m_handHeld = handHeld; }
    void SetFireRequest(bool fire) { m_fireRequest = fire; }
    bool CanShoot() const { return m_canShoot; }
    CBullet& GetBullet(int32_t i) { return m_bullets[i]; }
    const CBullet& GetBullet(int32_t i) const { return m_bullets[i]; }
    CSceneObject* GetFireModel() const { return m_fireModel; }

  private:
    /// One shot from the muzzle, when a bullet is free.
    void Shoot();
    /// Moves the fire onto the hand during the first quarter of each 0.1 s of firing.
    void UpdateFlash(float dt);

    CCharacter* m_owner = nullptr;
    bool m_handHeld = true;
    bool m_fireRequest = false;
    float m_flashPhase = 0.0f;
    float m_shotTimer = 0.0f;
    CSceneObject* m_fireModel = nullptr;
    bool m_canShoot = false;
    CBullet m_bullets[kBullets];
    bool m_aim = false;
    V3d m_aimTarget = {0.0f, 0.0f, 0.0f};
    bool m_holdsImpacts = false;
};

/// The character nearest the muzzle along the segment muzzle-end whose point
/// 1 unit above its position lies within 0.85 of the segment, other than
/// `shooter` and the dead; `fraction` gets its place along the segment
/// (0 to 1). Null when none.
CCharacter* FindCharacterOnLine(const V3d& muzzle, const V3d& end, const CCharacter* shooter,
                                float* fraction);
