#pragma once
// The sample character animations: one clip per animation key of the
// character profiles, made from a few parametrised motions over the soldier
// skeleton (a walk cycle with swinging legs and arms and its variants, a run,
// idle breathing and static aim poses).
//
// Angles are degrees. A bone's forward swing turns it toward the direction
// of travel (heading h: (sin h, 0, cos h)) about the axis (cos h, 0, -sin h).
// Within a cycle of phase s = 2 pi t / duration:
//   thigh forward swing   left  legSwing cos s, right -legSwing cos s
//   knee bend (backward)  left  kneeBend max(0, -sin s), right kneeBend max(0, sin s)
//   upper-arm swing       left -armSwing cos s, right  armSwing cos s
//   pelvis height         restHeight - crouchDrop - bob cos 2s
//   chest pitch           chestPitch + breathe sin s (about x), spine yaw about y
// An aim pose holds both arms level with the chest (90 forward, forearms
// straight) and turns the right hand by 90 about y and back by 90 about x,
// which lays its x axis, the gun's direction, along the arm.

#include <string>
#include <vector>

#include "tools/anim-tool/skeleton.h"

struct Animation;

struct Motion
{
    float duration = 1.0f; ///< seconds
    int samples = 8;       ///< keys per node beyond the first
    float heading = 0.0f;  ///< direction of travel
    float legSwing = 0.0f;
    float kneeBend = 0.0f;
    float armSwing = 0.0f;
    float bob = 0.0f;        ///< metres
    float breathe = 0.0f;    ///< chest pitch amplitude
    float chestPitch = 0.0f; ///< aim up (negative) or down (positive)
    float spineYaw = 0.0f;   ///< aim left (positive) or right (negative)
    float armsRaised = 0.0f; ///< both upper arms turned forward, as when holding a gun
    /// Aiming: both arms straight ahead of the chest (so the chest's pitch
    /// and the spine's yaw point them), the right hand turned so that its x
    /// axis, along which the framework's weapon fires, runs along the arm.
    bool aim = false;
    bool crouch = false; ///< thighs forward 80, knees 110, pelvis 0.35 m lower
};

struct Clip
{
    std::string key;  ///< the profile's animation key ("Walk")
    std::string file; ///< the key in lower case with ".anm"
    Motion motion;
};

/// The 37 clips, in the profiles' key order.
std::vector<Clip> ClipList();
/// The clip's animation for the skeleton (scheme type 1), its translations
/// (bone offsets, bob, crouch) scaled from metres to `unitsPerMetre`; null on failure.
Animation* ClipBuild(const Skeleton& skeleton, const Motion& motion, float unitsPerMetre = 1.0f);
