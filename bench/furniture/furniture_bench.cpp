// bench_furniture [rounds]: the level furniture in motion on the sample level
// (16 doors, 8 lifts shuttling, 32 boxes and 8 spheres dropped among them),
// 1000 steps of 0.02 s through the framework's physics world step (the
// furniture's updates and one pipeline step each), against the same scene in
// Bullet (btDiscreteDynamicsWorld: boxes and spheres, door leaves on hinges
// with limits and motors, lift platforms on motor-driven sliders, the
// level's triangles as one btBvhTriangleMeshShape), in interleaved rounds.
// Prints one table row: figure, ours, peer, the peer's figure, ratio, rounds.
//
// Runs in the demo data folder (the build writes it); the framework starts
// headless on the software device.
#include <btBulletDynamicsCommon.h>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "framework/testing/configbuilder.h"
#include "framework/testing/furnitureconfig.h"
#include "graphics/scene/world.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/win32/debugout.h"
#include "platform/win32/win32.h"

namespace {

constexpr int kSteps = 1000;
constexpr float kStep = 0.02f;
constexpr int kDoors = 16, kLifts = 8, kBoxes = 32, kSpheres = 8;
// The furniture's measures, as the framework builds them.
constexpr float kDoorWidth = 0.75f, kDoorHeight = 1.0f, kDoorDepth = 0.1f, kLeafGap = 0.02f;
constexpr float kLiftRise = 3.0f, kLiftSpeed = 2.0f;

V3d DoorAt(int i)
{
    return {-9.0f + 6.0f * float(i % 4), 0.5f, -9.0f + 6.0f * float(i / 4)};
}
V3d LiftAt(int i)
{
    return {-10.5f + 3.0f * float(i), 0.2f, 12.0f};
}
V3d BoxAt(int i)
{
    return {-6.0f + 1.5f * float(i % 8), 0.5f + 1.05f * float(i / 16), -3.0f + 1.5f * float((i / 8) % 2)};
}
V3d SphereAt(int i)
{
    return {-6.0f + 1.5f * float(i), 2.0f, 3.0f};
}

std::string SceneConfig()
{
    ConfigBuilder c;
    c.Open("Config").Open("Worlds");
    c.Open("PhysicsGlobalSettings").Element("Bodies", {{"maxRegistered", "200"}, {"maxActive", "100"}});
    c.Element("Joints", {{"max", "64"}}).Close();
    c.Element("World", {{"filename", "models/wardels.bsp"}, {"name", "level"}, {"flags", "0"}}).Close();
    for (int i = 0; i < kDoors; ++i)
        AddDoor(c, DoorAt(i), kDoorWidth, kDoorHeight, kDoorDepth, 1);
    for (int i = 0; i < kLifts; ++i) {
        const V3d p = LiftAt(i);
        AddLift(c, p, {p.x, p.y + kLiftRise, p.z});
    }
    c.Open("Physics");
    AddBallAndCrateModels(c);
    c.Open("Instances");
    for (int i = 0; i < kBoxes; ++i)
        AddInstance(c, "Crate", BoxAt(i), 0.0f);
    for (int i = 0; i < kSpheres; ++i)
        AddInstance(c, "Ball", SphereAt(i), 0.0f);
    return c.Text();
}

class BenchApplication : public CStandardApplication
{
  public:
    explicit BenchApplication(const char* config) : CStandardApplication(config) {}
    bool OnXmlStartElement(const char*, const char**) override { return true; }
    bool OnXmlEndElement(const char*) override { return true; }
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "bench_furniture"; }
};

BenchApplication* gApplication = nullptr;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// The level's triangles, gathered from the framework's first world.
struct LevelMesh
{
    std::vector<btScalar> vertices;
    std::vector<int> indices;
};

WorldSector* GatherSector(WorldSector* sector, void* data)
{
    auto* mesh = static_cast<LevelMesh*>(data);
    const int base = int(mesh->vertices.size() / 3);
    for (int v = 0; v < sector->numVertices; ++v) {
        mesh->vertices.push_back(sector->vertices[v].x);
        mesh->vertices.push_back(sector->vertices[v].y);
        mesh->vertices.push_back(sector->vertices[v].z);
    }
    for (int t = 0; t < sector->numTriangles; ++t) {
        for (int k = 0; k < 3; ++k)
            mesh->indices.push_back(base + sector->triangles[t].vertex[k]);
    }
    return sector;
}

/// Our run: the framework reads the scene and its physics world steps.
double RunOurs(const std::string& config, HWND window, LevelMesh* mesh)
{
    BenchApplication application(config.c_str());
    gApplication = &application;
    if (application.OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
        return 0.0;
    application.SetHWND(window);
    if (application.OnEvent(ShellEventStartEngine, window) != ShellEventHandled ||
        !Framework().physicsWorld) {
        std::fprintf(stderr, "bench_furniture: the framework did not start\n");
        return 0.0;
    }
    CPhysicsWorld* worlds = Framework().physicsWorld;
    if (mesh && mesh->indices.empty() && worlds->GetWorldCount() > 0)
        WorldForAllSectors(worlds->GetWorld(0), GatherSector, mesh);
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < kSteps; ++n)
        worlds->Step(kStep);
    const double seconds = Seconds(start);
    application.OnEvent(ShellEventStopEngine, nullptr);
    ShellTerminate();
    gApplication = nullptr;
    return seconds;
}

/// Bullet's run of the same scene.
double RunBullet(LevelMesh& mesh)
{
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher(&configuration);
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world(&dispatcher, &broadphase, &solver, &configuration);
    world.setGravity({0, -10, 0});
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btRigidBody>> bodies;
    std::vector<std::unique_ptr<btTypedConstraint>> constraints;
    const auto add = [&](btCollisionShape* shape, float mass, const btVector3& at, float friction) {
        btVector3 inertia(0, 0, 0);
        if (mass > 0.0f)
            shape->calculateLocalInertia(mass, inertia);
        btRigidBody::btRigidBodyConstructionInfo info(mass, nullptr, shape, inertia);
        info.m_startWorldTransform.setIdentity();
        info.m_startWorldTransform.setOrigin(at);
        info.m_friction = friction;
        bodies.push_back(std::make_unique<btRigidBody>(info));
        world.addRigidBody(bodies.back().get());
        return bodies.back().get();
    };

    btTriangleIndexVertexArray triangles(int(mesh.indices.size() / 3), mesh.indices.data(), 3 * sizeof(int),
                                         int(mesh.vertices.size() / 3), mesh.vertices.data(),
                                         3 * sizeof(btScalar));
    shapes.push_back(std::make_unique<btBvhTriangleMeshShape>(&triangles, true));
    add(shapes.back().get(), 0.0f, {0, 0, 0}, 10.0f);

    // Doors: two leaves on vertical hinges, opening a quarter turn, held closed by a motor.
    shapes.push_back(std::make_unique<btBoxShape>(btVector3(kDoorWidth, kDoorHeight, kDoorDepth)));
    btCollisionShape* leafShape = shapes.back().get();
    const float leafMass = 8.0f * kDoorWidth * kDoorHeight * kDoorDepth;
    for (int i = 0; i < kDoors; ++i) {
        const V3d p = DoorAt(i);
        for (float side : {1.0f, -1.0f}) {
            const btVector3 centre(p.x + side * (kDoorWidth + kLeafGap), p.y + kDoorHeight * 0.5f, p.z);
            btRigidBody* leaf = add(leafShape, leafMass, centre, 0.2f);
            leaf->setActivationState(DISABLE_DEACTIVATION);
            const btVector3 pivot(-side * kLeafGap, -kDoorHeight * 0.5f, 0.0f);
            auto hinge = std::make_unique<btHingeConstraint>(*leaf, pivot, btVector3(0, 1, 0));
            hinge->setLimit(0.0f, SIMD_HALF_PI);
            hinge->enableAngularMotor(true, 0.0f, 2.0f);
            world.addConstraint(hinge.get());
            constraints.push_back(std::move(hinge));
        }
    }
    // Lifts: platforms on vertical sliders driven up and down.
    shapes.push_back(std::make_unique<btBoxShape>(btVector3(1.0f, 0.1f, 1.0f)));
    btCollisionShape* platformShape = shapes.back().get();
    std::vector<btSliderConstraint*> sliders;
    for (int i = 0; i < kLifts; ++i) {
        const V3d p = LiftAt(i);
        btRigidBody* platform = add(platformShape, 20.0f, {p.x, p.y, p.z}, 1.0f);
        platform->setActivationState(DISABLE_DEACTIVATION);
        btTransform frame;
        frame.setIdentity();
        frame.setRotation(btQuaternion(btVector3(0, 0, 1), SIMD_HALF_PI)); // the slider's x onto y
        auto slider = std::make_unique<btSliderConstraint>(*platform, frame, true);
        slider->setLowerLinLimit(-kLiftRise);
        slider->setUpperLinLimit(0.0f);
        slider->setLowerAngLimit(0.0f);
        slider->setUpperAngLimit(0.0f);
        slider->setPoweredLinMotor(true);
        slider->setMaxLinMotorForce(2000.0f);
        slider->setTargetLinMotorVelocity(kLiftSpeed);
        world.addConstraint(slider.get());
        sliders.push_back(slider.get());
        constraints.push_back(std::move(slider));
    }
    shapes.push_back(std::make_unique<btBoxShape>(btVector3(0.5f, 0.5f, 0.5f)));
    for (int i = 0; i < kBoxes; ++i) {
        const V3d p = BoxAt(i);
        add(shapes.back().get(), 20.0f, {p.x, p.y, p.z}, 1.0f)->setRestitution(0.2f);
    }
    shapes.push_back(std::make_unique<btSphereShape>(0.5f));
    for (int i = 0; i < kSpheres; ++i) {
        const V3d p = SphereAt(i);
        add(shapes.back().get(), 30.0f, {p.x, p.y, p.z}, 1.0f)->setRestitution(0.5f);
    }

    // The lifts turn at their ends after waiting, as ours do.
    const int travelSteps = int(kLiftRise / (kLiftSpeed * kStep));
    const int waitSteps = int(3.0f / kStep);
    const Clock::time_point start = Clock::now();
    for (int n = 0; n < kSteps; ++n) {
        const int phase = n % (2 * (travelSteps + waitSteps));
        const float velocity = phase < travelSteps                   ? kLiftSpeed
                               : phase < travelSteps + waitSteps     ? 0.0f
                               : phase < 2 * travelSteps + waitSteps ? -kLiftSpeed
                                                                     : 0.0f;
        for (btSliderConstraint* slider : sliders)
            slider->setTargetLinMotorVelocity(velocity);
        world.stepSimulation(kStep, 0);
    }
    const double seconds = Seconds(start);
    for (auto& constraint : constraints)
        world.removeConstraint(constraint.get());
    for (auto& body : bodies)
        world.removeRigidBody(body.get());
    return seconds;
}

} // namespace

// The shell's events reach the application being measured.
ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return gApplication ? gApplication->OnEvent(event, param) : ShellEventNotHandled;
}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    if (rounds < 1 || rounds > 100) {
        std::fprintf(stderr, "usage: bench_furniture [rounds 1-100]\n");
        return 2;
    }
    if (chdir(OLAI_DEMO_DATA_DIR) != 0) {
        std::fprintf(stderr, "bench_furniture: no data folder %s\n", OLAI_DEMO_DATA_DIR);
        return 1;
    }
    const std::string config =
        (std::filesystem::temp_directory_path() / ("olai-furniture-" + std::to_string(getpid()) + ".xml"))
            .string();
    std::ofstream(config, std::ios::binary) << SceneConfig();
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Win32SetMessageBoxSink([](HWND, const char* text, const char*, UINT) {
        std::fprintf(stderr, "bench_furniture: %s\n", text);
        return IDOK;
    });
    HWND window = Win32WindowCreate("bench_furniture", 64, 64);
    LevelMesh mesh;
    double ours = 0.0, peer = 0.0;
    for (int round = 0; round < rounds; ++round) {
        const double our = RunOurs(config, window, &mesh);
        if (our <= 0.0 || mesh.indices.empty())
            return 1;
        ours += our;
        peer += RunBullet(mesh);
        D3D9ResetAdapters();
    }
    Win32WindowDestroy(window);
    std::remove(config.c_str());
    const double oursRate = kSteps * rounds / ours, peerRate = kSteps * rounds / peer;
    std::printf(
        "| furniture scene, 1000 steps of 0.02 s (steps/s) | %.1f | Bullet btDiscreteDynamicsWorld | %.1f | "
        "%.2f | %d |\n",
        oursRate, peerRate, oursRate / peerRate, rounds);
    std::printf("  %d doors, %d lifts, %d boxes, %d spheres on %zu level triangles\n", kDoors, kLifts, kBoxes,
                kSpheres, mesh.indices.size() / 3);
    return 0;
}
