#pragma once
// What the demo's AI entity and action classes read and write of the
// character an AI entity stands for. The AI hands the classes only the host
// object it was given; the demo gives each entity one of these, bound to its
// framework character.
#include <cstdint>

#include "framework/characteractions.h"
#include "graphics/core/matrix.h"

class CCharacterProfile;

class CAiCharacter
{
  public:
    virtual ~CAiCharacter() = default;

    /// The profile (size and speeds); null before one is applied.
    virtual const CCharacterProfile* GetProfile() const = 0;
    /// The character's frame matrix (position, right, up and at vectors).
    virtual const Matrix* GetFrameMatrix() const = 0;
    /// World units per second of the current mode: walk 0, run 1, 0 in the others.
    virtual float GetCurrentSpeed() const = 0;
    /// The CharacterMode.
    virtual int32_t GetMode() const = 0;
    virtual void SetMode(int32_t mode) = 0;
    /// Movement inputs: forward and side along the frame's at and right vectors;
    /// turn, positive to the right.
    virtual float GetForwardInput() const = 0;
    virtual float GetSideInput() const = 0;
    virtual void SetForwardInput(float value) = 0;
    virtual void SetSideInput(float value) = 0;
    virtual void SetTurnInput(float value) = 0;
    /// 100 when unhurt, 0 when dead.
    virtual float GetHealth() const = 0;
    /// The weapon aims at `point` (world units).
    virtual void SetAimTarget(const V3d& point) = 0;
    /// The weapon fires in the coming update.
    virtual void SetFireRequest() = 0;
    /// The weapon's muzzle point; false (nothing written) without a weapon.
    virtual bool GetMuzzle(V3d* point) const = 0;
    /// The head bone's up vector in world space; false when the skeleton has no head bone.
    virtual bool GetHeadUp(V3d* up) const = 0;
};
