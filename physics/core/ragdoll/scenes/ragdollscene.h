#pragma once
// Ragdolls dropped on a ground plane, for physics-sim and the benchmarks:
// a humanoid of 11 capsules (pelvis, torso, head, two arms and two legs of
// two parts each) held by 10 ball joints, its parts driving 11 bone
// matrices. Stepped at 60 Hz with gravity (0, -10, 0).
//
// A ball joint passes no torque between its parts, so an upper arm or a
// thigh, whose two joints both lie on its axis, would turn freely about
// that axis, held clear of the ground by its ends: a landing that sets it
// spinning would keep the ragdoll awake until damping slows it (so would a
// head turning on its neck). A real ragdoll bounds the twist of its neck,
// shoulders, elbows, hips and knees; the benchmark heap keeps plain ball
// joints, as its Bullet and ODE peers do.

#include <cstdint>
#include <memory>
#include <vector>

#include "physics/core/ragdoll/ragdoll.h"

/// Move limit of both solver passes (the demo's menu allows up to 5000).
constexpr uint32_t kRagdollSceneIterations = 5000;

/// The humanoid's joints: ball joints whose limbs' twist is bounded, or
/// plain ball joints (the benchmark heap's, like its peers').
enum class RagdollSceneJoints
{
    kTwistLimited,
    kBall,
};

class RagdollScene
{
  public:
    /// Room for `ragdolls` ragdolls, all of which may be active, heaped in
    /// one island if need be.
    explicit RagdollScene(uint32_t ragdolls, RagdollSceneJoints joints = RagdollSceneJoints::kTwistLimited);
    ~RagdollScene();
    RagdollScene(const RagdollScene&) = delete;
    RagdollScene& operator=(const RagdollScene&) = delete;

    /// A ragdoll in its rest pose tipped `tilt` radians forward (about x),
    /// turned `yaw` radians about the vertical and moved from the origin to
    /// `base`; added awake and active. Null when the context refuses it.
    OlpRagdoll* AddRagdoll(V3d base, float yaw, float tilt = 0.0f);
    /// One step of 1/60 s.
    void Step();
    /// The widest gap between the two anchors of any joint, metres.
    float LargestJointGap() const;
    /// Ragdolls whose manager says they are at rest.
    uint32_t AsleepCount() const;
    /// The lowest part centre (y), metres.
    float LowestPart() const;
    /// FNV-1a over every bone matrix.
    uint64_t Hash() const;

    OlpContext* context = nullptr;
    OlpRagdollDef* def = nullptr;
    struct Entry
    {
        OlpRagdoll* ragdoll;
        std::vector<Matrix> bones;
    };
    std::vector<std::unique_ptr<Entry>> ragdolls;

  private:
    OlpVolume* ground_ = nullptr;
};

/// One part of the humanoid in its rest pose (standing at the origin, y up):
/// a capsule along x or y.
struct RagdollScenePart
{
    V3d centre;
    bool alongX; ///< else along y
    float radius, halfLength, mass;
};
/// One ball joint: the parts it binds, its anchor in the rest pose and the
/// largest twist of the second part about its own axis (radians; 0: free).
struct RagdollSceneJoint
{
    uint16_t first, second;
    V3d anchor;
    float twist;
};
const RagdollScenePart& RagdollScenePartShape(uint32_t part);
const RagdollSceneJoint& RagdollSceneJointShape(uint32_t joint);
/// Where ragdoll `i` of a heap lies: 5 x 5 per layer, lying flat (tipped a
/// quarter turn), each layer turned a quarter turn from the one below.
void RagdollSceneHeapPlace(uint32_t i, V3d* base, float* yaw, float* tilt);

/// The humanoid definition (a new reference): 11 parts keyed 0 to 10 and
/// mapped on 11 bones, 10 ball joints, parts of one ragdoll never collide.
/// With twist limits a limited joint's frames have their first axis along
/// the second part (the twist axis) and a hard twist limit (block A).
OlpRagdollDef* RagdollSceneCreateHumanoid(RagdollSceneJoints joints = RagdollSceneJoints::kTwistLimited);
/// Part i's bone matrix in the rest pose standing at the origin.
Matrix RagdollSceneRestPose(uint32_t part);
