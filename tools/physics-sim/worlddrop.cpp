#include "tools/physics-sim/worlddrop.h"

#include <cmath>
#include <cstdio>

#include "graphics/core/frame.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/body/scenes/testworld.h"
#include "physics/core/contact/contact.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/mass.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/trilist.h"
#include "tools/physics-sim/scenario.h"

using namespace olp;

namespace {

WorldSector* CountSector(WorldSector* sector, void* data)
{
    ++*static_cast<uint32_t*>(data);
    return sector;
}

Matrix Turned(V3d at, float angle)
{
    Matrix m{};
    const float c = std::cos(angle), sn = std::sin(angle);
    m.right = {c, sn, 0};
    m.up = {-sn, c, 0};
    m.at = {0, 0, 1};
    m.pos = at;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

struct AtomicBody
{
    OlpBodyDef* def = nullptr;
    OlpBody* body = nullptr;
    Atomic* atomic = nullptr;
    Frame* frame = nullptr;
};

AtomicBody AddAtomicBody(OlpMgr* mgr, const OlpVolume* volume, float mass, const Matrix& pose)
{
    AtomicBody b;
    b.def = OlpBodyDefCreate();
    OlpPartSetVolume(&b.def->part, volume);
    OlpPartSetMass(&b.def->part, mass, 0);
    b.body = OlpBodyCreate(b.def);
    b.frame = FrameCreate();
    FrameTransform(b.frame, &pose, kCombineReplace);
    b.atomic = AtomicCreate();
    AtomicSetFrame(b.atomic, b.frame);
    OlpBodyAttach(b.atomic, b.body);
    OlpMgrAddObject(mgr, &b.body->base, kOlpMgrAnyId,
                    kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
    return b;
}

void Release(AtomicBody& b)
{
    AtomicDestroy(b.atomic); // detaches the body
    FrameDestroy(b.frame);
    OlpBodyDestroy(b.body);
    OlpBodyDefRelease(b.def);
}

// How far the atomic's frame is from where the body's pose puts it: the
// frame's position plus its rotation of the centre of mass is the pose.
float AtomicError(const AtomicBody& b)
{
    const OlpDyn* dyn = b.body->base.parts[0].dyn;
    if (dyn == nullptr) {
        return 0.0f;
    }
    const Matrix* ltm = FrameGetLTM(b.frame);
    const V3d c = b.def->part.centre;
    const V3d placed = ltm->right * c.x + ltm->up * c.y + ltm->at * c.z + ltm->pos;
    return Length(placed - OlpDynGetPose(dyn)->pos);
}

} // namespace

WorldDropReport RunWorldDrop(const ScenarioOptions& options)
{
    WorldDropReport out;
    Material* material = MaterialCreate();
    World* world = material != nullptr ? TestWorldBuild(material) : nullptr;
    if (world == nullptr) {
        std::fprintf(stderr, "physics-sim: the test world could not be built\n");
        MaterialRelease(material);
        out.scenario.known = false;
        return out;
    }
    WorldForAllSectors(world, CountSector, &out.sectors);

    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, 2, 2);
    OlpRagdollParamsReserve(&params, 1, 1);
    const float box[6] = {100, 100, 100, -100, -100, -100};
    OlpContext* context = OlpContextCreate(&params, 1.0f, box);
    OlpBodyRegisterType(context);
    OlpRagdollRegisterType(context);
    OlpPipeline* pipeline = OlpContextGetPipeline(context);
    const float g[3] = {0, -10.0f, 0};
    OlpPipelineSetGravity(pipeline, g);
    OlpPipelineSetMaxPosIterations(pipeline, kRagdollSceneIterations);
    OlpPipelineSetMaxVelIterations(pipeline, kRagdollSceneIterations);
    ApplyScenarioOptions(pipeline, options);
    OlpMgr* mgr = OlpContextGetMgr(context);
    OlpVolume* ground = OlpTrilistCreate(world, kOlpTrilistWorld);
    OlpVolumeSetSlide(ground, 0.8f);
    OlpVolumeSetBounce(ground, 0.0f);
    OlpContextAddObject(context, ground, 0);

    // The box lands flat on the ramp, the sphere on the floor's shared corner.
    const float slope = std::atan2(kTestWorldRampRise, kTestWorldRampRun);
    const V3d rampMid = kTestWorldRampStart + V3d{0.5f * kTestWorldRampRun, 0.5f * kTestWorldRampRise, 0.0f};
    const V3d rampNormal = V3d{-std::sin(slope), std::cos(slope), 0.0f};
    OlpVolume shape;
    const V3d half = {0.3f, 0.3f, 0.3f};
    OlpBoxInit(&shape, &half);
    OlpVolumeSetSlide(&shape, 0.8f);
    OlpVolumeSetBounce(&shape, 0.0f);
    AtomicBody boxBody = AddAtomicBody(mgr, &shape, 2.0f, Turned(rampMid + rampNormal * 0.4f, slope));
    OlpVolumeDestroyContents(&shape);
    OlpSphereInit(&shape, 0.25f);
    OlpVolumeSetSlide(&shape, 0.8f);
    OlpVolumeSetBounce(&shape, 0.0f);
    AtomicBody sphereBody = AddAtomicBody(mgr, &shape, 1.0f, Turned({0.0f, 1.0f, 0.0f}, 0.0f));
    OlpVolumeDestroyContents(&shape);

    // The ragdoll falls over the step's edge.
    OlpRagdollDef* def = RagdollSceneCreateHumanoid();
    OlpRagdoll* ragdoll = OlpRagdollCreate(def);
    std::vector<Matrix> bones(kOlpRagdollParts);
    for (uint32_t i = 0; i < kOlpRagdollParts; ++i) {
        bones[i] = RagdollSceneRestPose(i);
        bones[i].pos = bones[i].pos + V3d{-4.0f, 0.5f, 0.0f};
    }
    OlpRagdollSetMatrixArray(ragdoll, bones.data());
    OlpMgrAddObject(mgr, &ragdoll->base, kOlpMgrAnyId,
                    kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);

    const int steps = options.steps > 0 ? options.steps : 600;
    const OlpObj* objects[3] = {&boxBody.body->base, &sphereBody.body->base, &ragdoll->base};
    V3d landed{};
    bool boxLanded = false;
    for (int n = 0; n < steps; ++n) {
        OlpPipelineStep(pipeline, 1.0f / 60.0f);
        const V3d positions[3] = {FrameGetLTM(boxBody.frame)->pos, FrameGetLTM(sphereBody.frame)->pos,
                                  bones[0].pos};
        std::vector<float> heights;
        for (int i = 0; i < 3; ++i) {
            heights.push_back(positions[i].y);
            if (out.scenario.bodies.size() <= size_t(i)) {
                out.scenario.bodies.push_back({{}, false, -1});
            }
            ScenarioReport::Body& body = out.scenario.bodies[size_t(i)];
            const bool asleep = !OlpMgrIsObjectAwake(mgr, objects[i]);
            body.sleptAt = asleep ? (body.asleep ? body.sleptAt : n + 1) : -1;
            body.asleep = asleep;
            body.position = positions[i];
        }
        out.scenario.heights.push_back(heights);
        // The box has landed once it is in contact and slow: from then on
        // friction must hold it where it is.
        const OlpDyn* dyn = boxBody.body->base.parts[0].dyn;
        if (!boxLanded && n > 30 && dyn != nullptr) {
            boxLanded = true;
            landed = positions[0];
        }
        if (boxLanded) {
            out.slide = std::fmax(out.slide, Length(positions[0] - landed));
        }
        out.atomicError =
            std::fmax(out.atomicError, std::fmax(AtomicError(boxBody), AtomicError(sphereBody)));
        for (uint32_t i = 0; i < pipeline->contactCount; ++i) {
            const OlpContact& c = pipeline->contacts[i];
            for (uint32_t k = 0; k < c.count; ++k) {
                out.scenario.penetration = std::fmax(out.scenario.penetration, -c.points[k].separation);
            }
        }
        out.scenario.maxA = std::max(out.scenario.maxA, OlpPipelineGetStatisticMaxA(pipeline));
        out.scenario.maxB = std::max(out.scenario.maxB, OlpPipelineGetStatisticMaxB(pipeline));
    }
    for (uint32_t j = 0; j < kOlpRagdollJoints; ++j) {
        const OlpJointDef& joint = def->joints[j];
        const Matrix& a = bones[OlpRagdollGetJointIndex(def, j, 1)];
        const Matrix& b = bones[OlpRagdollGetJointIndex(def, j, 0)];
        const V3d pa = a.right * joint.frames[0].position.x + a.up * joint.frames[0].position.y +
                       a.at * joint.frames[0].position.z + a.pos;
        const V3d pb = b.right * joint.frames[1].position.x + b.up * joint.frames[1].position.y +
                       b.at * joint.frames[1].position.z + b.pos;
        out.jointGap = std::fmax(out.jointGap, Length(pa - pb));
    }
    uint64_t hash = 1469598103934665603ull;
    for (const ScenarioReport::Body& body : out.scenario.bodies) {
        const float v[3] = {body.position.x, body.position.y, body.position.z};
        const auto* bytes = reinterpret_cast<const uint8_t*>(v);
        for (size_t i = 0; i < sizeof(v); ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ull;
        }
    }
    out.scenario.hash = hash;

    OlpRagdollDestroy(ragdoll);
    OlpRagdollDefRelease(def);
    Release(boxBody);
    Release(sphereBody);
    OlpContextDestroy(context);
    OlpVolumeDestroy(ground);
    WorldDestroy(world);
    MaterialRelease(material);
    return out;
}

int RunWorldDropCommand(const ScenarioOptions& options, const std::string& svgPath,
                        const std::string& csvPath)
{
    const WorldDropReport report = RunWorldDrop(options);
    if (!report.scenario.known) {
        return 1;
    }
    std::printf("test world: %u sectors; box on the ramp, sphere on the floor, ragdoll over the step\n",
                report.sectors);
    std::printf(
        "box slid %.4f m after landing; atomics within %.6f m of their bodies; ragdoll joint gap %.4f m\n",
        double(report.slide), double(report.atomicError), double(report.jointGap));
    return ReportScenario(kWorldDropName, report.scenario, svgPath, csvPath);
}
