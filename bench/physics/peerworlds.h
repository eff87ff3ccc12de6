#pragma once
// What the step comparisons share: the peers' worlds as the scenes set them
// up (gravity -10 along y), poses both ways, ODE's form of a convex hull,
// and a timed run of a scene that keeps the poses of its last two steps.

#include <btBulletDynamicsCommon.h>
#include <ode/ode.h>

#include <chrono>
#include <memory>
#include <vector>

#include "graphics/core/matrix.h"
#include "physics/core/volume/convexhull.h"

/// A Bullet dynamics world: dbvt broadphase, sequential-impulse solver.
struct BulletWorld
{
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world{&dispatcher, &broadphase, &solver, &configuration};
    std::vector<std::unique_ptr<btRigidBody>> bodies;
    BulletWorld() { world.setGravity({0, -10, 0}); }
};

/// Our pose (row vectors) as Bullet's transform, and back.
btTransform BulletPose(const Matrix& m);
Matrix FromBullet(const btTransform& t);

/// An ODE world: quick step with 20 iterations, up to four contact joints
/// a touching pair, each with friction `mu`.
struct OdeWorld
{
    dWorldID world;
    dJointGroupID contacts;
    dReal mu;
};
/// Opens ODE with a world of friction `mu`.
OdeWorld OpenOdeWorld(dReal mu);
/// The dSpaceCollide callback (data: the OdeWorld). Geoms whose data are
/// equal and not null (the parts of one ragdoll) never collide.
void OdeNear(void* data, dGeomID a, dGeomID b);
/// One step of `step` seconds: collide `space`, quick step, drop the contacts.
void OdeStep(OdeWorld& w, dSpaceID space, dReal step);
/// A body's pose in our form.
Matrix OdePose(dBodyID body);
/// Frees the world, `space` and the optional `mesh`, and closes ODE.
void CloseOdeWorld(OdeWorld& w, dSpaceID space, dTriMeshDataID mesh);

/// ODE's convex form of a hull: each face's plane (normal, offset), the
/// points, and each face's polygon (its count, then its vertices
/// counter-clockwise from outside).
struct OdeConvex
{
    std::vector<dReal> planes;
    std::vector<dReal> points;
    std::vector<unsigned int> polygons;
};
OdeConvex OdeConvexOf(const OlpConvexHull* hull);
/// A geom of `convex` in `space` (the convex must outlive it).
dGeomID OdeConvexGeom(dSpaceID space, OdeConvex& convex);

/// Steps per second of a run and the poses before and after its last step.
struct TimedSteps
{
    double stepsPerSecond = 0.0;
    std::vector<Matrix> before;
    std::vector<Matrix> after;
};

/// Runs `step` `steps` times, timed; `poses()` gives every body's pose.
template <typename Step, typename Poses> TimedSteps RunTimedSteps(int steps, Step step, Poses poses)
{
    TimedSteps run;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < steps; ++n) {
        if (n == steps - 1) {
            run.before = poses();
        }
        step();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.stepsPerSecond = steps / seconds;
    run.after = poses();
    return run;
}
