// Movement choice and aim blend of characters.
#include "framework/characteractions.h"

#include <algorithm>
#include <cmath>

#include "framework/vectorops.h"

namespace {

// Sector bounds of the input direction, in radians (pi/8, 3pi/8, 5pi/8, 7pi/8).
constexpr float kSector1 = 0.392699f;
constexpr float kSector3 = 1.178097f;
constexpr float kSector5 = 1.963495f;
constexpr float kSector7 = 2.748893f;
// Run mode starts above this forward input.
constexpr float kRunThreshold = 0.33f;
constexpr float kRunSpeed = 9.0f;
// Inputs below this (both) leave the character idle.
constexpr float kDeadZone = 0.05f;
// The aim cone and limits.
constexpr float kAimCone = 0.72f;
constexpr float kAimLimit = 45.0f;
constexpr float kInverseAimLimit = 0.022222223f;
constexpr float kDegreesPerRadian = 180.0f * 0.31830996f;

// The animations of one movement group by sector, as the movement group's
// offsets; the alert group is the same nine poses kAnimAlertWalk further on.
struct Sector
{
    CharacterAnimation animation;
    bool strafe;   ///< speed from the side input, no forward speed
    bool sideways; ///< a side speed
};

Sector SectorOf(float t)
{
    if (t >= kSector1 && t < kSector3)
        return {kAnimForwardLeft, false, true};
    if (t >= kSector3 && t < kSector5)
        return {kAnimWalk, false, false};
    if (t >= kSector5 && t < kSector7)
        return {kAnimForwardRight, false, true};
    if (t >= kSector7 || t < -kSector7)
        return {kAnimStrafeLeft, true, true};
    if (t < -kSector5)
        return {kAnimBackwardRight, false, true};
    if (t < -kSector3)
        return {kAnimBackward, false, false};
    if (t < -kSector1)
        return {kAnimBackwardLeft, false, true};
    return {kAnimStrafeRight, true, true};
}

float Clamp(float value, float low, float high)
{
    return std::min(std::max(value, low), high);
}

} // namespace

MovementChoice ChooseMovement(int32_t mode, float forward, float side, float k, float scale)
{
    MovementChoice choice;
    if (mode == kModeRun) {
        if (forward > kRunThreshold) {
            choice.animation = kAnimRun;
            choice.animationSpeed = 2.0f * std::fabs(forward);
            choice.forwardSpeed = forward * scale * kRunSpeed;
        }
        return choice;
    }
    if (mode != kModeWalk && mode != kModeAlert)
        return choice;
    const int32_t group = mode == kModeAlert ? kAnimAlertWalk - kAnimWalk : 0;
    if (std::fabs(side) < kDeadZone && std::fabs(forward) < kDeadZone) {
        choice.animation = CharacterAnimation(kAnimIdle + group);
        return choice;
    }
    const V3d direction = V3dUnit({side, 0.0f, forward});
    float t = std::acos(Clamp(direction.x, -1.0f, 1.0f));
    if (forward < 0.0f)
        t = -t;
    const Sector sector = SectorOf(t);
    choice.animation = CharacterAnimation(sector.animation + group);
    choice.animationSpeed = sector.strafe ? 2.5f * k * std::fabs(side) : 2.0f * k * std::fabs(forward);
    choice.forwardSpeed = sector.strafe ? 0.0f : 2.0f * k * forward * scale;
    choice.sideSpeed = sector.sideways ? 2.0f * k * side * scale : 0.0f;
    return choice;
}

CharacterAnimation AimGroup(int32_t mode)
{
    return mode == kModeCrouchAim ? kAnimCrouchAimUpLeft : kAnimIdleAimUpLeft;
}

bool ComputeAimBlend(const Matrix& frame, float scale, const V3d& target, CharacterAnimation group,
                     AimBlend* out)
{
    const V3d right = V3dUnit(frame.right);
    const V3d up = V3dUnit(frame.up);
    const V3d at = V3dUnit(frame.at);
    const V3d eye = {frame.pos.x, frame.pos.y + scale, frame.pos.z};
    const V3d d = V3dUnit(V3dSub(target, eye));
    if (!(V3dDot(at, d) > kAimCone))
        return false;

    const V3d h = V3dUnit({d.x, 0.0f, d.z});
    float yaw = std::acos(Clamp(V3dDot(h, at), -1.0f, 1.0f)) * kDegreesPerRadian;
    if (V3dDot(right, h) < 0.0f)
        yaw = -yaw;
    yaw = Clamp(yaw, -kAimLimit, kAimLimit);
    const V3d v = V3dUnit(V3dSub(d, V3dScaled(right, V3dDot(d, right))));
    float pitch = std::acos(Clamp(V3dDot(v, at), -1.0f, 1.0f)) * kDegreesPerRadian;
    if (V3dDot(up, v) < 0.0f)
        pitch = -pitch;
    pitch = Clamp(pitch, -kAimLimit, kAimLimit);

    const float H = -yaw;
    const float P = pitch;
    const bool left = H < 0.0f;
    const bool down = P < 0.0f;
    out->quadrant = 1 + (down ? 1 : 0) + (left ? 2 : 0);
    const float a = Clamp(std::fabs(H) * kInverseAimLimit, 0.01f, 0.99f);
    const float f = Clamp(std::fabs(P) * kInverseAimLimit, 0.01f, 0.99f);
    out->a = a;
    out->f = f;

    // Poses of the group: rows up, middle, down; columns left, front, right.
    auto pose = [group](int32_t row, int32_t column) { return CharacterAnimation(group + 3 * row + column); };
    constexpr int32_t kUp = 0, kMiddle = 1, kDown = 2, kLeft = 0, kFront = 1, kRight = 2;
    const int32_t side = left ? kLeft : kRight;
    out->animations[0] = pose(kMiddle, side);
    out->weights[0] = (1.0f - a) * f;
    out->animations[1] = pose(kMiddle, kFront);
    out->weights[1] = a * f;
    // The third and fourth entries: the up or down pose beside and in front.
    const int32_t row = down ? kDown : kUp;
    const bool sideFirst = out->quadrant != 1;
    out->animations[sideFirst ? 2 : 3] = pose(row, side);
    out->weights[sideFirst ? 2 : 3] = (1.0f - a) * (1.0f - f);
    out->animations[sideFirst ? 3 : 2] = pose(row, kFront);
    out->weights[sideFirst ? 3 : 2] = a * (1.0f - f);
    return true;
}
