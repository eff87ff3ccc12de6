#include "tools/anim-tool/clips.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "graphics/animation/hierkeys.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kCrouchDrop = 0.35f;
/// An aiming arm is turned this far forward from hanging: level with the chest.
constexpr float kAimArmsRaised = 90.0f;

struct Pose
{
    Quaternion rotation;
    V3d translation;
};

Quaternion Turn(V3d axis, float degrees)
{
    Quaternion q = {0, 0, 0, 1};
    QuaternionRotate(&q, &axis, degrees, kQuaternionReplace);
    return q;
}

bool StartsWith(const std::string& name, const char* prefix)
{
    return name.rfind(prefix, 0) == 0;
}

/// The pose of one bone at phase s.
Pose BonePose(const SkeletonBone& bone, const Motion& m, float s)
{
    const float radians = m.heading * kPi / 180.0f;
    const V3d swingAxis = {std::cos(radians), 0.0f, -std::sin(radians)};
    const V3d x = {1, 0, 0};
    const V3d y = {0, 1, 0};
    Pose pose = {{0, 0, 0, 1}, bone.offset};
    const std::string& n = bone.name;
    const bool left = StartsWith(n, "Left");
    const float side = left ? 1.0f : -1.0f;
    if (n == "Pelvis") {
        pose.translation.y += -(m.crouch ? kCrouchDrop : 0.0f) - m.bob * std::cos(2.0f * s);
    } else if (n == "LeftThigh" || n == "RightThigh") {
        // A forward swing is a negative turn about the swing axis.
        const float forward = side * m.legSwing * std::cos(s) + (m.crouch ? 80.0f : 0.0f);
        pose.rotation = Turn(swingAxis, -forward);
    } else if (n == "LeftCalf" || n == "RightCalf") {
        const float bend = m.kneeBend * std::max(0.0f, -side * std::sin(s)) + (m.crouch ? 110.0f : 0.0f);
        pose.rotation = Turn(swingAxis, bend);
    } else if (n == "LeftFoot" || n == "RightFoot") {
        pose.rotation = Turn(x, m.crouch ? -30.0f : 0.0f);
    } else if (n == "LeftUpperArm" || n == "RightUpperArm") {
        const float forward = -side * m.armSwing * std::cos(s) + m.armsRaised;
        pose.rotation = Turn(swingAxis, -forward);
    } else if (n == "LeftForearm" || n == "RightForearm") {
        pose.rotation = m.aim ? Turn(x, 0.0f) : Turn(x, m.armsRaised > 0.0f ? -20.0f : -10.0f);
    } else if (n == "RightHand" && m.aim) {
        // Undo the arm's forward turn, then turn the hand's x axis to the front.
        pose.rotation = Turn(x, m.armsRaised);
        QuaternionRotate(&pose.rotation, &y, -90.0f, kQuaternionPreConcat);
    } else if (n == "Spine") {
        pose.rotation = Turn(y, m.spineYaw);
    } else if (n == "Chest") {
        pose.rotation = Turn(x, m.chestPitch + m.breathe * std::sin(s));
    }
    return pose;
}

Clip Make(const char* key, const Motion& motion)
{
    std::string file = key;
    std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
    return {key, file + ".anm", motion};
}

Motion Walk(float heading, bool alert)
{
    Motion m;
    m.heading = heading;
    m.legSwing = alert ? 18.0f : 25.0f;
    m.kneeBend = 40.0f;
    m.armSwing = alert ? 0.0f : 20.0f;
    m.armsRaised = alert ? 70.0f : 0.0f;
    m.bob = 0.03f;
    m.duration = alert ? 1.2f : 1.0f;
    return m;
}

Motion Idle(bool alert)
{
    Motion m;
    m.duration = 2.0f;
    m.breathe = 2.0f;
    m.armsRaised = alert ? 70.0f : 0.0f;
    return m;
}

Motion Aim(bool crouch, float pitch, float yaw)
{
    Motion m;
    m.samples = 1;
    m.crouch = crouch;
    m.chestPitch = pitch;
    m.spineYaw = yaw;
    m.armsRaised = kAimArmsRaised;
    m.aim = true;
    return m;
}

} // namespace

std::vector<Clip> ClipList()
{
    Motion run = Walk(0.0f, false);
    run.duration = 0.6f;
    run.legSwing = 40.0f;
    run.kneeBend = 80.0f;
    run.armSwing = 35.0f;
    run.bob = 0.05f;
    std::vector<Clip> clips = {
        Make("Run", run),
        Make("Walk", Walk(0, false)),
        Make("Idle", Idle(false)),
        Make("StrafeLeft", Walk(90, false)),
        Make("StrafeRight", Walk(-90, false)),
        Make("Backward", Walk(180, false)),
        Make("BackwardLeft", Walk(135, false)),
        Make("BackwardRight", Walk(-135, false)),
        Make("ForwardLeft", Walk(45, false)),
        Make("ForwardRight", Walk(-45, false)),
        Make("AlertWalk", Walk(0, true)),
        Make("AlertIdle", Idle(true)),
        Make("AlertStrafeLeft", Walk(90, true)),
        Make("AlertStrafeRight", Walk(-90, true)),
        Make("AlertBackward", Walk(180, true)),
        Make("AlertBackwardLeft", Walk(135, true)),
        Make("AlertBackwardRight", Walk(-135, true)),
        Make("AlertForwardLeft", Walk(45, true)),
        Make("AlertForwardRight", Walk(-45, true)),
    };
    // Aim poses: up, middle, down by left, front, right; crouching, then standing.
    const char* pitches[3] = {"Up", "Middle", "Down"};
    const char* yaws[3] = {"Left", "Front", "Right"};
    for (bool crouch : {true, false}) {
        for (int p = 0; p < 3; ++p) {
            for (int w = 0; w < 3; ++w) {
                const std::string key = std::string(crouch ? "CrouchAim" : "IdleAim") + pitches[p] + yaws[w];
                clips.push_back(Make(key.c_str(), Aim(crouch, -30.0f + 30.0f * p, 45.0f - 45.0f * w)));
            }
        }
    }
    return clips;
}

Animation* ClipBuild(const Skeleton& skeleton, const Motion& motion, float unitsPerMetre)
{
    const int32_t nodes = static_cast<int32_t>(skeleton.bones.size());
    const int32_t samples = std::max(1, motion.samples);
    Animation* animation = AnimationCreate(kHierKeyTypeId, nodes * (samples + 1), 0, motion.duration);
    if (animation == nullptr) {
        return nullptr;
    }
    // Sample by sample: every key of sample j follows its node's key of
    // sample j - 1, so the keys come in ascending order of their previous
    // keys' times, and the last sample is at the duration.
    auto* keys = static_cast<HierKey*>(animation->keys);
    for (int32_t j = 0; j <= samples; ++j) {
        const float t = motion.duration * static_cast<float>(j) / static_cast<float>(samples);
        const float s = 2.0f * kPi * static_cast<float>(j) / static_cast<float>(samples);
        for (int32_t i = 0; i < nodes; ++i) {
            const Pose pose = BonePose(skeleton.bones[i], motion, s);
            const V3d moved = {pose.translation.x * unitsPerMetre, pose.translation.y * unitsPerMetre,
                               pose.translation.z * unitsPerMetre};
            HierKey& key = keys[j * nodes + i];
            key = {j == 0 ? nullptr : &keys[(j - 1) * nodes + i], t, pose.rotation, moved};
        }
    }
    return animation;
}
