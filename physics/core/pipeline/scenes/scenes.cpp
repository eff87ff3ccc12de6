#include "physics/core/pipeline/scenes/scenes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"

using namespace olp;

namespace {

Matrix At(V3d position)
{
    Matrix m{};
    m.right = {1, 0, 0};
    m.up = {0, 1, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    return m;
}

} // namespace

PipelineScene::PipelineScene(uint32_t count, void (*adjust)(OlpContextParams*, void*), void* data)
{
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, count, count);
    OlpContextParamsSetFreeJoints(&params, count);
    if (adjust != nullptr) {
        adjust(&params, data);
    }
    const float world[6] = {1000, 1000, 1000, -1000, -1000, -1000};
    context = OlpContextCreate(&params, 1.0f, world);
    if (context != nullptr) {
        OlpBodyRegisterType(context);
        pipeline = OlpContextGetPipeline(context);
        const float g[3] = {0, -10.0f, 0};
        OlpPipelineSetGravity(pipeline, g);
    }
}

PipelineScene::~PipelineScene()
{
    for (OlpJoint* joint : joints_) {
        OlpJointRelease(joint);
    }
    for (auto& b : bodies) {
        OlpBodyDestroy(b->body);
    }
    if (context != nullptr) {
        OlpContextDestroy(context);
    }
    for (OlpVolume* v : statics_) {
        OlpVolumeDestroy(v);
    }
    for (OlpConvexHull* hull : hulls_) {
        OlpConvexHullRelease(hull);
    }
}

SceneBody* PipelineScene::Add(OlpVolume* volume, float mass, float inertia, V3d position, uint32_t flags)
{
    bodies.push_back(std::make_unique<SceneBody>());
    SceneBody* b = bodies.back().get();
    OlpBodyDef* def = OlpBodyDefCreate();
    OlpPartSetVolume(&def->part, volume);
    def->part.mass = mass;
    def->part.scalarInertia = inertia;
    b->body = OlpBodyCreate(def);
    OlpBodyDefRelease(def);
    b->body->base.flags = flags;
    b->pose = At(position);
    b->body->base.parts[0].sourceMatrix = &b->pose;
    OlpMgrAddObject(OlpContextGetMgr(context), &b->body->base, kOlpMgrAnyId,
                    kOlpMgrAddAwake | kOlpMgrAddDynamic | kOlpMgrAddActivate);
    return b;
}

SceneBody* PipelineScene::AddBox(V3d half, float mass, V3d position, uint32_t flags)
{
    OlpVolume box;
    OlpBoxInit(&box, &half);
    float inertia = mass * 4.0f * (half.x * half.x + half.y * half.y) / 12.0f;
    SceneBody* b = Add(&box, mass, inertia, position, flags);
    OlpVolumeDestroyContents(&box);
    return b;
}

SceneBody* PipelineScene::AddSphere(float radius, float mass, V3d position, uint32_t flags)
{
    OlpVolume sphere;
    OlpSphereInit(&sphere, radius);
    SceneBody* b = Add(&sphere, mass, 0.4f * mass * radius * radius, position, flags);
    OlpVolumeDestroyContents(&sphere);
    return b;
}

OlpVolume* PipelineScene::AddPlane(V3d point, V3d normal, float slide, float bounce)
{
    OlpVolume* plane = OlpPlaneCreate();
    // The plane's own normal is +z: turn it onto `normal`.
    V3d side = std::fabs(normal.x) < 0.9f ? V3d{1, 0, 0} : V3d{0, 1, 0};
    V3d right = Cross(side, normal);
    right = right * (1.0f / Length(right));
    V3d up = Cross(normal, right);
    Matrix frame = At(point);
    frame.right = right;
    frame.up = up;
    frame.at = normal;
    OlpVolumeSetFrame(plane, &frame);
    OlpVolumeSetSlide(plane, slide);
    OlpVolumeSetBounce(plane, bounce);
    OlpContextAddObject(context, plane, 0);
    statics_.push_back(plane);
    return plane;
}

OlpVolume* PipelineScene::AddStaticBox(V3d half, V3d position)
{
    OlpVolume* box = OlpVolumeAllocate();
    OlpBoxInit(box, &half);
    Matrix frame = At(position);
    OlpVolumeSetFrame(box, &frame);
    OlpContextAddObject(context, box, 0);
    statics_.push_back(box);
    return box;
}

SceneBody* PipelineScene::AddConvex(OlpConvexHull* hull, float mass, V3d position)
{
    OlpVolume convex;
    OlpConvexInit(&convex, hull);
    hulls_.push_back(OlpConvexHullAddRef(hull));
    float r = hull->sphere.radius + Length(hull->sphere.centre);
    SceneBody* b = Add(&convex, mass, 0.4f * mass * r * r, position, kOlpObjFlagsBody);
    OlpVolumeDestroyContents(&convex);
    return b;
}

OlpVolume* PipelineScene::AddStaticVolume(OlpVolume* volume)
{
    OlpContextAddObject(context, volume, 0);
    statics_.push_back(volume);
    return volume;
}

OlpJoint* PipelineScene::AddAnchor(SceneBody* body, OlpVolume* volume, V3d anchor)
{
    OlpJointDef* def = OlpJointDefCreate();
    OlpJointEnd onBody = {&body->body->base, 0};
    OlpJointEnd onVolume = {volume, kOlpJointEndVolume};
    // Each end's frame is given in that end's own (unturned) frame.
    Matrix volumeFrame;
    OlpJointEndGetWorldMatrix(&onVolume, &volumeFrame);
    V3d onBodyAt = anchor - Position(body);
    V3d onVolumeAt = anchor - volumeFrame.pos;
    OlpJointFrameSetPosition(&def->frames[0], &onBodyAt);
    OlpJointFrameSetPosition(&def->frames[1], &onVolumeAt);
    OlpMgr* mgr = OlpContextGetMgr(context);
    OlpJoint* joint = OlpJointCreate(mgr, def, &onVolume, &onBody);
    OlpJointDefRelease(def);
    if (joint != nullptr && OlpMgrAddJoint(mgr, joint, kOlpMgrAnyId) != nullptr) {
        joints_.push_back(joint);
    }
    return joint;
}

void PipelineScene::SetVelocity(SceneBody* body, V3d linear, V3d angular)
{
    OlpDyn* dyn = body->body->base.parts[0].dyn;
    if (dyn != nullptr) {
        OlpDynSetVelocity(dyn, &linear, &angular);
    }
}

void PipelineScene::SetCoefficients(SceneBody* body, float slide, float bounce)
{
    OlpVolume* volume = body->body->base.parts[0].volume;
    OlpVolumeSetSlide(volume, slide);
    OlpVolumeSetBounce(volume, bounce);
}

void PipelineScene::Step()
{
    OlpPipelineStep(pipeline, step);
}

V3d PipelineScene::Position(const SceneBody* body) const
{
    return body->pose.pos;
}

bool PipelineScene::Asleep(const SceneBody* body) const
{
    return !OlpMgrIsObjectAwake(OlpContextGetMgr(context), &body->body->base);
}

float PipelineScene::Penetration() const
{
    float deepest = 0.0f;
    for (uint32_t i = 0; i < pipeline->contactCount; ++i) {
        const OlpContact& c = pipeline->contacts[i];
        for (uint32_t k = 0; k < c.count; ++k) {
            deepest = std::fmax(deepest, -c.points[k].separation);
        }
    }
    return deepest;
}

uint64_t PipelineScene::Hash() const
{
    uint64_t hash = 1469598103934665603ull;
    for (const auto& b : bodies) {
        const float words[12] = {b->pose.right.x, b->pose.right.y, b->pose.right.z, b->pose.up.x,
                                 b->pose.up.y,    b->pose.up.z,    b->pose.at.x,    b->pose.at.y,
                                 b->pose.at.z,    b->pose.pos.x,   b->pose.pos.y,   b->pose.pos.z};
        unsigned char bytes[sizeof(words)];
        std::memcpy(bytes, words, sizeof(words));
        for (unsigned char c : bytes) {
            hash = (hash ^ c) * 1099511628211ull;
        }
    }
    return hash;
}

const std::vector<std::string>& ScenarioNames()
{
    static const std::vector<std::string> names = {"box-drop", "stack3",      "stack10", "stack20", "pyramid",
                                                   "pendulum", "fast-sphere", "slope",   "bounce"};
    return names;
}

namespace {

/// Builds a named scene; false for an unknown name.
bool Build(PipelineScene* s, const std::string& name, int* steps)
{
    const V3d cube = {0.5f, 0.5f, 0.5f};
    if (name == "box-drop") {
        s->AddPlane({0, 0, 0}, {0, 1, 0});
        s->AddBox(cube, 1.0f, {0, 2.0f, 0});
        *steps = 300;
    } else if (name == "stack3") {
        s->AddPlane({0, 0, 0}, {0, 1, 0});
        for (int i = 0; i < 3; ++i) {
            s->AddBox(cube, 1.0f, {0, 0.5f + 1.02f * static_cast<float>(i), 0});
        }
        *steps = 600;
    } else if (name == "stack10" || name == "stack20") {
        s->AddPlane({0, 0, 0}, {0, 1, 0});
        for (int i = 0; i < (name == "stack10" ? 10 : 20); ++i) {
            s->AddBox(cube, 1.0f, {0, 0.5f + 1.02f * static_cast<float>(i), 0});
        }
        *steps = 600;
    } else if (name == "pyramid") {
        // Ten rows, 55 boxes, 5 cm apart within a row.
        s->AddPlane({0, 0, 0}, {0, 1, 0});
        for (int row = 0; row < 10; ++row) {
            for (int i = 0; i < 10 - row; ++i) {
                float x = (static_cast<float>(i) + 0.5f * static_cast<float>(row)) * 1.05f;
                s->AddBox(cube, 1.0f, {x, 0.5f + 1.02f * static_cast<float>(row), 0});
            }
        }
        *steps = 600;
    } else if (name == "pendulum") {
        OlpVolume* hook = s->AddStaticBox({0.05f, 0.05f, 0.05f}, {0, 3.0f, 0});
        SceneBody* bob = s->AddSphere(0.1f, 1.0f, {0.5f, 3.0f - 0.866f, 0});
        s->AddAnchor(bob, hook, {0, 3.0f, 0});
        *steps = 600;
    } else if (name == "fast-sphere") {
        s->AddStaticBox({2.0f, 0.05f, 2.0f}, {0, 0, 0});
        SceneBody* ball = s->AddSphere(0.05f, 1.0f, {0, 3.0f, 0});
        s->SetVelocity(ball, {0, -200.0f, 0});
        *steps = 60;
    } else if (name == "slope") {
        const float angle = 30.0f * 3.14159265f / 180.0f;
        s->AddPlane({0, 0, 0}, {-std::sin(angle), std::cos(angle), 0}, 0.7f);
        SceneBody* box = s->AddBox(cube, 1.0f, {0, 0.5f / std::cos(angle) + 0.01f, 0});
        s->SetCoefficients(box, 0.7f, 0.0f);
        // Turned to lie flat on the slope.
        box->pose.right = {std::cos(angle), std::sin(angle), 0};
        box->pose.up = {-std::sin(angle), std::cos(angle), 0};
        OlpObjResetPartPose(&box->body->base, 0);
        *steps = 300;
    } else if (name == "bounce") {
        OlpVolume* ground = s->AddPlane({0, 0, 0}, {0, 1, 0}, 0.5f, 0.8f);
        (void)ground;
        SceneBody* ball = s->AddSphere(0.25f, 1.0f, {0, 2.0f, 0});
        s->SetCoefficients(ball, 0.5f, 0.8f);
        *steps = 600;
    } else {
        return false;
    }
    return true;
}

void SetLayout(OlpContextParams* params, void* data)
{
    OlpContextParamsSetLayoutFlags(params, *static_cast<const uint32_t*>(data));
}

} // namespace

void ApplyScenarioOptions(OlpPipeline* pipeline, const ScenarioOptions& options)
{
    if (options.mode != 0) {
        pipeline->mode = options.mode;
        pipeline->kernels = OlpSolverKernelsForMode(options.mode);
    }
    if (options.blockRows > 0) {
        OlpPipelineSetIslandBlockRows(pipeline, options.blockRows);
    }
    if (options.positionMoves > 0) {
        OlpPipelineSetMaxPosIterations(pipeline, options.positionMoves);
    }
    if (options.velocityMoves > 0) {
        OlpPipelineSetMaxVelIterations(pipeline, options.velocityMoves);
    }
}

ScenarioReport RunScenario(const std::string& name, const ScenarioOptions& options)
{
    ScenarioReport report;
    uint32_t layout = options.layout;
    PipelineScene scene(64, SetLayout, &layout);
    int steps = 0;
    if (scene.pipeline == nullptr || !Build(&scene, name, &steps)) {
        report.known = false;
        return report;
    }
    steps = options.steps > 0 ? options.steps : steps;
    ApplyScenarioOptions(scene.pipeline, options);
    std::vector<int> sleptAt(scene.bodies.size(), -1);
    for (int n = 1; n <= steps; ++n) {
        scene.Step();
        report.penetration = std::fmax(report.penetration, scene.Penetration());
        report.maxA = std::max(report.maxA, OlpPipelineGetStatisticMaxA(scene.pipeline));
        report.maxB = std::max(report.maxB, OlpPipelineGetStatisticMaxB(scene.pipeline));
        std::vector<float> row;
        for (size_t i = 0; i < scene.bodies.size(); ++i) {
            row.push_back(scene.Position(scene.bodies[i].get()).y);
            bool asleep = scene.Asleep(scene.bodies[i].get());
            sleptAt[i] = asleep ? (sleptAt[i] < 0 ? n : sleptAt[i]) : -1;
        }
        report.heights.push_back(row);
    }
    for (size_t i = 0; i < scene.bodies.size(); ++i) {
        report.bodies.push_back(
            {scene.Position(scene.bodies[i].get()), scene.Asleep(scene.bodies[i].get()), sleptAt[i]});
    }
    report.hash = scene.Hash();
    return report;
}
