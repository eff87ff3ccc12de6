#include "bench/physics/ragdolls_compare.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "bench/physics/peerworlds.h"
#include "bench/physics/ragdolls_scene.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr float kStep = 1.0f / 60.0f;

struct Result
{
    double stepsPerSecond = 0.0;
    RagdollHeapMeasure measure;
};

template <typename Step, typename Poses> Result Run(int steps, Step step, Poses poses)
{
    const TimedSteps run = RunTimedSteps(steps, step, poses);
    return {run.stepsPerSecond, RagdollHeapMeasureOf(run.before, run.after, kStep)};
}

Result Ours(int steps)
{
    // Plain ball joints, as the peers' point-to-point and ball joints.
    RagdollScene scene(kRagdollHeapCount, RagdollSceneJoints::kBall);
    for (uint32_t i = 0; i < kRagdollHeapCount; ++i) {
        V3d base{};
        float yaw = 0.0f, tilt = 0.0f;
        RagdollSceneHeapPlace(i, &base, &yaw, &tilt);
        scene.AddRagdoll(base, yaw, tilt);
    }
    return Run(
        steps, [&] { scene.Step(); },
        [&] {
            std::vector<Matrix> poses;
            for (const auto& entry : scene.ragdolls) {
                poses.insert(poses.end(), entry->bones.begin(), entry->bones.end());
            }
            return poses;
        });
}

// A ragdoll's own parts never collide (the user index is the ragdoll).
struct SameRagdollFilter : btOverlapFilterCallback
{
    bool needBroadphaseCollision(btBroadphaseProxy* a, btBroadphaseProxy* b) const override
    {
        const auto* oa = static_cast<const btCollisionObject*>(a->m_clientObject);
        const auto* ob = static_cast<const btCollisionObject*>(b->m_clientObject);
        return oa->getUserIndex() < 0 || oa->getUserIndex() != ob->getUserIndex();
    }
};

Result Bullet(int steps)
{
    BulletWorld w;
    btDiscreteDynamicsWorld& world = w.world;
    SameRagdollFilter filter;
    world.getPairCache()->setOverlapFilterCallback(&filter);
    btStaticPlaneShape planeShape({0, 1, 0}, 0);
    btRigidBody ground(0.0f, nullptr, &planeShape);
    ground.setFriction(0.8f);
    ground.setUserIndex(-1);
    world.addRigidBody(&ground);
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    for (uint32_t p = 0; p < 11; ++p) {
        const RagdollScenePart& s = RagdollScenePartShape(p);
        if (s.alongX) {
            shapes.push_back(std::make_unique<btCapsuleShapeX>(s.radius, 2.0f * s.halfLength));
        } else {
            shapes.push_back(std::make_unique<btCapsuleShape>(s.radius, 2.0f * s.halfLength));
        }
    }
    std::vector<std::unique_ptr<btRigidBody>>& bodies = w.bodies;
    std::vector<std::unique_ptr<btPoint2PointConstraint>> joints;
    for (uint32_t r = 0; r < kRagdollHeapCount; ++r) {
        for (uint32_t p = 0; p < 11; ++p) {
            const RagdollScenePart& s = RagdollScenePartShape(p);
            btVector3 inertia;
            shapes[p]->calculateLocalInertia(s.mass, inertia);
            btRigidBody::btRigidBodyConstructionInfo info(s.mass, nullptr, shapes[p].get(), inertia);
            info.m_startWorldTransform = BulletPose(RagdollHeapStart(r, p));
            info.m_friction = 0.8f;
            bodies.push_back(std::make_unique<btRigidBody>(info));
            bodies.back()->setUserIndex(int(r));
            world.addRigidBody(bodies.back().get());
        }
        for (uint32_t j = 0; j < 10; ++j) {
            const RagdollSceneJoint& joint = RagdollSceneJointShape(j);
            const V3d a = joint.anchor - RagdollScenePartShape(joint.first).centre;
            const V3d b = joint.anchor - RagdollScenePartShape(joint.second).centre;
            joints.push_back(std::make_unique<btPoint2PointConstraint>(
                *bodies[r * 11 + joint.first], *bodies[r * 11 + joint.second], btVector3(a.x, a.y, a.z),
                btVector3(b.x, b.y, b.z)));
            world.addConstraint(joints.back().get(), true);
        }
    }
    Result result = Run(
        steps, [&] { world.stepSimulation(kStep, 0); },
        [&] {
            std::vector<Matrix> poses;
            for (auto& body : bodies) {
                poses.push_back(FromBullet(body->getWorldTransform()));
            }
            return poses;
        });
    for (auto& joint : joints) {
        world.removeConstraint(joint.get());
    }
    for (auto& body : bodies) {
        world.removeRigidBody(body.get());
    }
    world.removeRigidBody(&ground);
    return result;
}

Result Ode(int steps)
{
    OdeWorld w = OpenOdeWorld(0.8);
    dSpaceID space = dHashSpaceCreate(nullptr);
    dCreatePlane(space, 0, 1, 0, 0);
    std::vector<dBodyID> bodies;
    for (uint32_t r = 0; r < kRagdollHeapCount; ++r) {
        for (uint32_t p = 0; p < 11; ++p) {
            const RagdollScenePart& s = RagdollScenePartShape(p);
            const Matrix start = RagdollHeapStart(r, p);
            dBodyID body = dBodyCreate(w.world);
            dMass mass;
            // ODE's capsules lie along z: direction 3, then turned onto x or y.
            dMassSetCapsuleTotal(&mass, s.mass, 3, s.radius, 2.0f * s.halfLength);
            dMatrix3 onto;
            if (s.alongX) {
                dRFromAxisAndAngle(onto, 0, 1, 0, M_PI / 2);
            } else {
                dRFromAxisAndAngle(onto, 1, 0, 0, -M_PI / 2);
            }
            dMassRotate(&mass, onto);
            dBodySetMass(body, &mass);
            dBodySetPosition(body, start.pos.x, start.pos.y, start.pos.z);
            dMatrix3 rotation = {start.right.x, start.up.x, start.at.x, 0,
                                 start.right.y, start.up.y, start.at.y, 0,
                                 start.right.z, start.up.z, start.at.z, 0};
            dBodySetRotation(body, rotation);
            dGeomID geom = dCreateCapsule(space, s.radius, 2.0f * s.halfLength);
            dGeomSetBody(geom, body);
            dGeomSetOffsetRotation(geom, onto);
            // The ragdoll's own parts never collide.
            dGeomSetData(geom, reinterpret_cast<void*>(uintptr_t(r + 1)));
            bodies.push_back(body);
        }
        for (uint32_t j = 0; j < 10; ++j) {
            const RagdollSceneJoint& joint = RagdollSceneJointShape(j);
            const Matrix a = RagdollHeapStart(r, joint.first);
            const V3d local = joint.anchor - RagdollScenePartShape(joint.first).centre;
            const V3d anchor = {a.right.x * local.x + a.up.x * local.y + a.at.x * local.z + a.pos.x,
                                a.right.y * local.x + a.up.y * local.y + a.at.y * local.z + a.pos.y,
                                a.right.z * local.x + a.up.z * local.y + a.at.z * local.z + a.pos.z};
            dJointID ball = dJointCreateBall(w.world, nullptr);
            dJointAttach(ball, bodies[r * 11 + joint.first], bodies[r * 11 + joint.second]);
            dJointSetBallAnchor(ball, anchor.x, anchor.y, anchor.z);
        }
    }
    Result result = Run(
        steps, [&] { OdeStep(w, space, kStep); },
        [&] {
            std::vector<Matrix> poses;
            for (dBodyID body : bodies) {
                poses.push_back(OdePose(body));
            }
            return poses;
        });
    CloseOdeWorld(w, space, nullptr);
    return result;
}

} // namespace

int CompareRagdolls(int steps, int rounds)
{
    std::printf("ragdolls: %u ragdolls of 11 capsules and 10 ball joints in a heap, %d steps at 60 Hz, "
                "%d interleaved rounds\n",
                kRagdollHeapCount, steps, rounds);
    std::printf("%-8s %12s %9s %14s %12s  %s\n", "engine", "steps/s", "resting", "penetration", "joint gap",
                "settings");
    struct Entry
    {
        const char* name;
        Result (*run)(int);
        const char* settings;
        double seconds = 0.0;
        Result last;
    };
    Entry entries[] = {
        {"ours", Ours, "ball joints, own parts never collide, friction 0.8, moves 5000 / 5000", 0.0, {}},
        {"bullet", Bullet, "btPoint2PointConstraint, sequential impulse, 10 iterations", 0.0, {}},
        {"ode", Ode, "ball joints, quick step, 20 iterations, 4 points a pair", 0.0, {}},
    };
    for (int round = 0; round < rounds; ++round) {
        for (Entry& e : entries) {
            e.last = e.run(steps);
            e.seconds += steps / e.last.stepsPerSecond;
        }
    }
    for (const Entry& e : entries) {
        const Result& r = e.last;
        std::printf("%-8s %12.1f %8.1f%% %12.4f m %10.4f m  %s\n", e.name, steps * rounds / e.seconds,
                    100.0 * r.measure.resting, double(r.measure.penetration), double(r.measure.jointGap),
                    e.settings);
    }
    return 0;
}
