#include "physics/core/ragdoll/scenes/ragdollscene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/plane.h"

using namespace olp;

namespace {

constexpr bool kAlongX = true;
constexpr bool kAlongY = false;

const RagdollScenePart kParts[kOlpRagdollParts] = {
    {{0.0f, 1.00f, 0.0f}, kAlongX, 0.12f, 0.08f, 10.0f}, // pelvis
    {{0.0f, 1.36f, 0.0f}, kAlongY, 0.15f, 0.10f, 15.0f}, // torso
    {{0.0f, 1.78f, 0.0f}, kAlongY, 0.11f, 0.02f, 5.0f},  // head
    {{-0.36f, 1.50f, 0.0f}, kAlongX, 0.06f, 0.10f, 2.0f},
    {{-0.66f, 1.50f, 0.0f}, kAlongX, 0.05f, 0.10f, 1.5f},
    {{0.36f, 1.50f, 0.0f}, kAlongX, 0.06f, 0.10f, 2.0f},
    {{0.66f, 1.50f, 0.0f}, kAlongX, 0.05f, 0.10f, 1.5f},
    {{-0.12f, 0.68f, 0.0f}, kAlongY, 0.08f, 0.12f, 7.0f},
    {{-0.12f, 0.26f, 0.0f}, kAlongY, 0.06f, 0.14f, 4.0f},
    {{0.12f, 0.68f, 0.0f}, kAlongY, 0.08f, 0.12f, 7.0f},
    {{0.12f, 0.26f, 0.0f}, kAlongY, 0.06f, 0.14f, 4.0f},
};

// Twist limits: the neck turns the head, a shoulder its upper arm and an
// elbow its forearm 60 degrees either way, a hip its thigh 30 and a knee its
// shin 15.
constexpr float kNeck = 1.0471976f;
constexpr float kShoulder = 1.0471976f;
constexpr float kElbow = 1.0471976f;
constexpr float kHip = 0.5235988f;
constexpr float kKnee = 0.2617994f;

const RagdollSceneJoint kJoints[kOlpRagdollJoints] = {
    {0, 1, {0.0f, 1.16f, 0.0f}, 0.0f},        {1, 2, {0.0f, 1.60f, 0.0f}, kNeck},
    {1, 3, {-0.20f, 1.50f, 0.0f}, kShoulder}, {3, 4, {-0.51f, 1.50f, 0.0f}, kElbow},
    {1, 5, {0.20f, 1.50f, 0.0f}, kShoulder},  {5, 6, {0.51f, 1.50f, 0.0f}, kElbow},
    {0, 7, {-0.12f, 0.88f, 0.0f}, kHip},      {7, 8, {-0.12f, 0.47f, 0.0f}, kKnee},
    {0, 9, {0.12f, 0.88f, 0.0f}, kHip},       {9, 10, {0.12f, 0.47f, 0.0f}, kKnee},
};

Matrix Translation(V3d at)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = at;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

// A capsule lies along its z axis: turn it onto x or y.
Matrix CapsuleFrame(bool alongX)
{
    Matrix m = Translation({0, 0, 0});
    if (alongX) {
        m.right = {0, 0, -1};
        m.at = {1, 0, 0};
    } else {
        m.up = {0, 0, -1};
        m.at = {0, 1, 0};
    }
    return m;
}

V3d Apply(const Matrix& m, V3d p)
{
    return m.right * p.x + m.up * p.y + m.at * p.z + m.pos;
}

// Twist is the turn about a joint frame's first axis: lay it along the
// second part. Every part rests unturned, so both frames take the same
// orientation and the rest pose has no twist.
void LimitTwist(OlpJointDef* joint, const RagdollSceneJoint& s)
{
    Matrix axes = Translation({0, 0, 0});
    if (!kParts[s.second].alongX) {
        axes.right = {0, 1, 0};
        axes.up = {-1, 0, 0};
    }
    OlpJointFrame turned;
    OlpJointFrameFromMatrix(&turned, &axes);
    for (OlpJointFrame& frame : joint->frames) {
        frame.orientation = turned.orientation;
    }
    OlpJointLimitSetMode(&joint->limitA, 1);
    OlpJointLimitSetAngle(&joint->limitA, 0, s.twist);
    // A swing limit of 0 is off: the swing stays free.
    OlpJointLimitSetAngle(&joint->limitA, 1, 0.0f);
}

} // namespace

OlpRagdollDef* RagdollSceneCreateHumanoid(RagdollSceneJoints joints)
{
    OlpRagdollDef* def = OlpRagdollDefCreate();
    if (def == nullptr) {
        return nullptr;
    }
    OlpRagdollDefSetPartCount(def, kOlpRagdollParts);
    OlpRagdollDefSetJointCount(def, kOlpRagdollJoints);
    uint32_t keys[kOlpRagdollParts];
    uint32_t values[kOlpRagdollParts];
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
        const RagdollScenePart& s = kParts[i];
        OlpVolume* v = &def->volumes[i];
        OlpCapsuleSetRadius(v, s.radius);
        OlpCapsuleSetHalfHeight(v, s.halfLength);
        const Matrix frame = CapsuleFrame(s.alongX);
        OlpVolumeSetFrame(v, &frame);
        OlpVolumeSetSlide(v, 0.8f);
        OlpVolumeSetBounce(v, 0.0f);
        OlpPartSetMass(&def->parts[i], s.mass, 0);
        def->boneKeys[i] = i;
        keys[i] = i;
        values[i] = i;
        // A ragdoll's own parts never collide.
        for (uint32_t k = 0; k < kOlpRagdollParts; ++k) {
            OlpBitMatrixSetBit(def->partPairs, i + k * kOlpRagdollParts, true);
        }
    }
    for (uint32_t j = 0; j < kOlpRagdollJoints; ++j) {
        const RagdollSceneJoint& s = kJoints[j];
        OlpRagdollSetJointIndex(def, j, 1, s.first);
        OlpRagdollSetJointIndex(def, j, 0, s.second);
        def->joints[j].frames[0].position = s.anchor - kParts[s.first].centre;
        def->joints[j].frames[1].position = s.anchor - kParts[s.second].centre;
        if (joints == RagdollSceneJoints::kTwistLimited && s.twist > 0.0f) {
            LimitTwist(&def->joints[j], s);
        }
    }
    OlpRagdollDefSetMapping(def, keys, values, kOlpRagdollParts);
    return def;
}

const RagdollScenePart& RagdollScenePartShape(uint32_t part)
{
    return kParts[part];
}

const RagdollSceneJoint& RagdollSceneJointShape(uint32_t joint)
{
    return kJoints[joint];
}

void RagdollSceneHeapPlace(uint32_t i, V3d* base, float* yaw, float* tilt)
{
    const uint32_t layer = i / 25;
    const float a = 2.0f * float(i % 5) - 4.0f;
    const float b = 2.2f * float((i / 5) % 5) - 4.4f;
    const bool turned = layer % 2 == 1;
    // Tipped flat the body lies along +z from its feet: centre it on its cell.
    *tilt = 1.5707964f;
    *yaw = turned ? 1.5707964f : 0.0f;
    *base =
        turned ? V3d{b - 0.9f, 0.3f + 0.5f * float(layer), a} : V3d{a, 0.3f + 0.5f * float(layer), b - 0.9f};
}

Matrix RagdollSceneRestPose(uint32_t part)
{
    return Translation(kParts[part].centre);
}

RagdollScene::RagdollScene(uint32_t count, RagdollSceneJoints joints)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpRagdollParamsReserve(&params, count, count);
    // A heap is one island: its rows, pairs and contacts must all fit, or
    // the pipeline would drop contacts and leave the island unsolved.
    uint32_t* w = params.words;
    w[kOlpParamBatchRows] = std::max(w[kOlpParamBatchRows], 200 * count);
    w[kOlpParamIslandRows] = w[kOlpParamBatchRows];
    w[kOlpParamPairs] += 40 * count;
    w[kOlpParamContacts] += 40 * count;
    for (int word : {kOlpParamNarrowFirst, kOlpParamNarrowSecond, kOlpParamNarrowThird}) {
        w[word] *= 1 + count / 4;
    }
    const float world[6] = {1000, 1000, 1000, -1000, -1000, -1000};
    context = OlpContextCreate(&params, 1.0f, world);
    def = RagdollSceneCreateHumanoid(joints);
    if (context == nullptr) {
        return;
    }
    OlpRagdollRegisterType(context);
    const float g[3] = {0, -10.0f, 0};
    OlpPipelineSetGravity(OlpContextGetPipeline(context), g);
    // Chains of ball joints need more relaxation moves than the defaults give.
    OlpPipelineSetMaxPosIterations(OlpContextGetPipeline(context), kRagdollSceneIterations);
    OlpPipelineSetMaxVelIterations(OlpContextGetPipeline(context), kRagdollSceneIterations);
    ground_ = OlpPlaneCreate();
    Matrix frame = Translation({0, 0, 0});
    frame.right = {0, 0, 1};
    frame.up = {1, 0, 0};
    frame.at = {0, 1, 0};
    OlpVolumeSetFrame(ground_, &frame);
    OlpVolumeSetSlide(ground_, 0.8f);
    OlpVolumeSetBounce(ground_, 0.0f);
    OlpContextAddObject(context, ground_, 0);
}

RagdollScene::~RagdollScene()
{
    for (auto& entry : ragdolls) {
        OlpRagdollDestroy(entry->ragdoll);
    }
    if (context != nullptr) {
        OlpContextDestroy(context);
    }
    if (ground_ != nullptr) {
        OlpVolumeDestroy(ground_);
    }
    if (def != nullptr) {
        OlpRagdollDefRelease(def);
    }
}

OlpRagdoll* RagdollScene::AddRagdoll(V3d base, float yaw, float tilt)
{
    if (context == nullptr || def == nullptr) {
        return nullptr;
    }
    auto entry = std::make_unique<Entry>();
    entry->ragdoll = OlpRagdollCreate(def);
    if (entry->ragdoll == nullptr) {
        return nullptr;
    }
    // Tip about x, then turn about y (row vectors: the tip's axes turned).
    const float c = std::cos(yaw), s = std::sin(yaw);
    const float ct = std::cos(tilt), st = std::sin(tilt);
    auto turnY = [&](V3d v) { return V3d{c * v.x + s * v.z, v.y, -s * v.x + c * v.z}; };
    Matrix turn = Translation(base);
    turn.right = turnY({1, 0, 0});
    turn.up = turnY({0, ct, st});
    turn.at = turnY({0, -st, ct});
    entry->bones.resize(kOlpRagdollParts);
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
        Matrix& bone = entry->bones[i];
        bone = turn;
        bone.pos = Apply(turn, kParts[i].centre);
    }
    OlpRagdollSetMatrixArray(entry->ragdoll, entry->bones.data());
    if (OlpMgrAddObject(OlpContextGetMgr(context), &entry->ragdoll->base, kOlpMgrAnyId,
                        kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate) == nullptr) {
        OlpRagdollDestroy(entry->ragdoll);
        return nullptr;
    }
    ragdolls.push_back(std::move(entry));
    return ragdolls.back()->ragdoll;
}

void RagdollScene::Step()
{
    OlpPipelineStep(OlpContextGetPipeline(context), 1.0f / 60.0f);
}

float RagdollScene::LargestJointGap() const
{
    float widest = 0.0f;
    for (const auto& entry : ragdolls) {
        for (uint32_t j = 0; j < kOlpRagdollJoints; ++j) {
            const OlpJointDef& joint = def->joints[j];
            const V3d a = Apply(entry->bones[OlpRagdollGetJointIndex(def, j, 1)], joint.frames[0].position);
            const V3d b = Apply(entry->bones[OlpRagdollGetJointIndex(def, j, 0)], joint.frames[1].position);
            widest = std::fmax(widest, Length(a - b));
        }
    }
    return widest;
}

uint32_t RagdollScene::AsleepCount() const
{
    uint32_t asleep = 0;
    for (const auto& entry : ragdolls) {
        asleep += OlpMgrIsObjectAwake(OlpContextGetMgr(context), &entry->ragdoll->base) ? 0 : 1;
    }
    return asleep;
}

float RagdollScene::LowestPart() const
{
    float lowest = 1e30f;
    for (const auto& entry : ragdolls) {
        for (const Matrix& bone : entry->bones) {
            lowest = std::fmin(lowest, bone.pos.y);
        }
    }
    return lowest;
}

uint64_t RagdollScene::Hash() const
{
    uint64_t hash = 1469598103934665603ull;
    for (const auto& entry : ragdolls) {
        for (const Matrix& bone : entry->bones) {
            const float values[12] = {bone.right.x, bone.right.y, bone.right.z, bone.up.x,
                                      bone.up.y,    bone.up.z,    bone.at.x,    bone.at.y,
                                      bone.at.z,    bone.pos.x,   bone.pos.y,   bone.pos.z};
            uint8_t bytes[sizeof(values)];
            std::memcpy(bytes, values, sizeof(values));
            for (uint8_t byte : bytes) {
                hash = (hash ^ byte) * 1099511628211ull;
            }
        }
    }
    return hash;
}
