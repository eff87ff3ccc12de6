#pragma once
// How a character turns its inputs into an animation and speeds: the
// movement choice of the walk, run and alert modes (eight sectors of the
// input direction) and the four-way aim blend of the aiming modes. Pure
// functions of their arguments, shared by CCharacter and its tests.
#include <cstdint>

#include "framework/characterprofile.h"
#include "graphics/core/matrix.h"

/// The character's modes.
enum CharacterMode : int32_t
{
    kModeWalk = 0,
    kModeRun = 1,
    kModeAlert = 2,
    kModeCrouchAim = 3,
    kModeStandAim = 4,
};

/// One movement choice: the animation, its playing speed and the speeds
/// given to the motion (world units per second along at and right).
struct MovementChoice
{
    CharacterAnimation animation = kAnimIdle;
    float animationSpeed = 1.0f;
    float forwardSpeed = 0.0f;
    float sideSpeed = 0.0f;
};

/// The choice of walk, run or alert mode for the inputs (forward and side
/// in [-1, 1]); `k` multiplies the walking speeds (3 in first person),
/// `scale` is the profile's. Other modes give Idle at rest.
MovementChoice ChooseMovement(int32_t mode, float forward, float side, float k, float scale);

/// The four weighted poses that aim the gun at a target.
struct AimBlend
{
    int32_t quadrant = 0; ///< 1 to 4: up-right, down-right, up-left, down-left of the view
    float a = 0.0f;       ///< horizontal factor, 0.01 to 0.99
    float f = 0.0f;       ///< vertical factor, 0.01 to 0.99
    CharacterAnimation animations[4] = {};
    float weights[4] = {};
};

/// The aim group's first pose: CrouchAim in mode 3, IdleAim otherwise.
CharacterAnimation AimGroup(int32_t mode);
/// The aim blend from the character's frame (its position, right, up and at
/// axes) towards `target`, for the eye at `scale` above the frame; false
/// when the target lies outside the aim cone (cos 0.72 about at).
bool ComputeAimBlend(const Matrix& frame, float scale, const V3d& target, CharacterAnimation group,
                     AimBlend* out);
