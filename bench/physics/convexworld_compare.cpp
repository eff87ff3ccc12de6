#include "bench/physics/convexworld_compare.h"

#include <btBulletDynamicsCommon.h>
#include <ode/ode.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "bench/physics/convexworld_scene.h"

namespace {

constexpr int kSteps = 300;
constexpr float kStep = 1.0f / 60.0f;

struct Result
{
    double stepsPerSecond = 0.0;
    double resting = 0.0;
    float penetration = 0.0f;
    float meanHeight = 0.0f; ///< of the bodies above the terrain at the end, metres
};

template <typename Step, typename Poses> Result Run(const ConvexWorldScene& scene, Step step, Poses poses)
{
    std::vector<Matrix> before;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kSteps; ++n) {
        if (n == kSteps - 1) {
            before = poses();
        }
        step();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Result r;
    r.stepsPerSecond = kSteps / seconds;
    const std::vector<Matrix> after = poses();
    ConvexWorldMeasure(scene, before, after, kStep, &r.resting, &r.penetration);
    for (const Matrix& m : after) {
        r.meanHeight += (m.pos.y - ConvexWorldHeight(m.pos.x, m.pos.z)) / float(after.size());
    }
    return r;
}

btTransform ToBullet(const Matrix& m)
{
    btMatrix3x3 basis(m.right.x, m.up.x, m.at.x, m.right.y, m.up.y, m.at.y, m.right.z, m.up.z, m.at.z);
    return btTransform(basis, btVector3(m.pos.x, m.pos.y, m.pos.z));
}

Matrix FromBullet(const btTransform& t)
{
    const btMatrix3x3& b = t.getBasis();
    Matrix m{};
    m.right = {b[0][0], b[1][0], b[2][0]};
    m.up = {b[0][1], b[1][1], b[2][1]};
    m.at = {b[0][2], b[1][2], b[2][2]};
    m.pos = {t.getOrigin().x(), t.getOrigin().y(), t.getOrigin().z()};
    return m;
}

Result Bullet(const ConvexWorldScene& scene)
{
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher(&configuration);
    btDbvtBroadphase broadphase;
    btSequentialImpulseConstraintSolver solver;
    btDiscreteDynamicsWorld world(&dispatcher, &broadphase, &solver, &configuration);
    world.setGravity({0, -10, 0});
    std::vector<int> indices;
    for (const WorldSoupTriangle& t : scene.soup.triangles) {
        indices.insert(indices.end(), {int(t.vertex[0]), int(t.vertex[1]), int(t.vertex[2])});
    }
    btTriangleIndexVertexArray mesh(int(scene.soup.triangles.size()), indices.data(), 3 * int(sizeof(int)),
                                    int(scene.soup.positions.size()),
                                    const_cast<btScalar*>(&scene.soup.positions[0].x), int(sizeof(V3d)));
    btBvhTriangleMeshShape terrain(&mesh, true);
    btRigidBody ground(0.0f, nullptr, &terrain);
    ground.setFriction(0.5f);
    world.addRigidBody(&ground);
    std::vector<std::unique_ptr<btConvexHullShape>> shapes;
    for (const OlpConvexHull* hull : scene.hulls) {
        shapes.push_back(std::make_unique<btConvexHullShape>(&hull->vertices[0].x, int(hull->vertexCount),
                                                             int(sizeof(V3d))));
    }
    std::vector<std::unique_ptr<btRigidBody>> bodies;
    for (int k = 0; k < kConvexWorldBodies; ++k) {
        btConvexHullShape* shape = shapes[size_t(k % kConvexWorldShapes)].get();
        btVector3 inertia;
        shape->calculateLocalInertia(1.0f, inertia);
        btRigidBody::btRigidBodyConstructionInfo info(1.0f, nullptr, shape, inertia);
        info.m_startWorldTransform = ToBullet(ConvexWorldStart(k));
        info.m_friction = 0.5f;
        bodies.push_back(std::make_unique<btRigidBody>(info));
        world.addRigidBody(bodies.back().get());
    }
    Result r = Run(
        scene, [&] { world.stepSimulation(kStep, 0); },
        [&] {
            std::vector<Matrix> poses;
            for (auto& body : bodies) {
                poses.push_back(FromBullet(body->getWorldTransform()));
            }
            return poses;
        });
    for (auto& body : bodies) {
        world.removeRigidBody(body.get());
    }
    world.removeRigidBody(&ground);
    return r;
}

struct OdeWorld
{
    dWorldID world;
    dJointGroupID contacts;
};

void OdeNear(void* data, dGeomID a, dGeomID b)
{
    auto* w = static_cast<OdeWorld*>(data);
    dContact contact[4];
    const int n = dCollide(a, b, 4, &contact[0].geom, sizeof(dContact));
    for (int i = 0; i < n; ++i) {
        contact[i].surface.mode = 0;
        contact[i].surface.mu = 0.5;
        dJointID joint = dJointCreateContact(w->world, w->contacts, &contact[i]);
        dJointAttach(joint, dGeomGetBody(a), dGeomGetBody(b));
    }
}

// An ODE convex: each face's plane (normal, offset), the points, and each
// face's polygon (its count, then its vertices counter-clockwise from outside).
struct OdeConvex
{
    std::vector<dReal> planes;
    std::vector<dReal> points;
    std::vector<unsigned int> polygons;
};

OdeConvex ToOde(const OlpConvexHull* hull)
{
    OdeConvex c;
    for (uint32_t v = 0; v < hull->vertexCount; ++v) {
        c.points.insert(c.points.end(), {hull->vertices[v].x, hull->vertices[v].y, hull->vertices[v].z});
    }
    for (uint32_t f = 0; f < hull->faceCount; ++f) {
        const V3d n = hull->faceNormals[f];
        const V3d p = hull->vertices[hull->edges[hull->faceEdgeStart[f]].from];
        c.planes.insert(c.planes.end(), {n.x, n.y, n.z, n.x * p.x + n.y * p.y + n.z * p.z});
        c.polygons.push_back(hull->faceEdgeStart[f + 1] - hull->faceEdgeStart[f]);
        for (uint32_t e = hull->faceEdgeStart[f]; e < hull->faceEdgeStart[f + 1]; ++e) {
            c.polygons.push_back(hull->edges[e].from);
        }
    }
    return c;
}

Result Ode(const ConvexWorldScene& scene)
{
    dInitODE2(0);
    OdeWorld w{dWorldCreate(), dJointGroupCreate(0)};
    dWorldSetGravity(w.world, 0, -10, 0);
    dWorldSetQuickStepNumIterations(w.world, 20);
    dSpaceID space = dHashSpaceCreate(nullptr);
    std::vector<float> vertices;
    for (const V3d& p : scene.soup.positions) {
        vertices.insert(vertices.end(), {p.x, p.y, p.z});
    }
    std::vector<dTriIndex> indices;
    for (const WorldSoupTriangle& t : scene.soup.triangles) {
        indices.insert(indices.end(),
                       {dTriIndex(t.vertex[0]), dTriIndex(t.vertex[1]), dTriIndex(t.vertex[2])});
    }
    dTriMeshDataID data = dGeomTriMeshDataCreate();
    dGeomTriMeshDataBuildSingle(data, vertices.data(), 3 * sizeof(float), int(scene.soup.positions.size()),
                                indices.data(), int(indices.size()), 3 * sizeof(dTriIndex));
    // Convex against trimesh needs the triangles' face angles.
    dGeomTriMeshDataPreprocess2(data, 1U << dTRIDATAPREPROCESS_BUILD_FACE_ANGLES, nullptr);
    dCreateTriMesh(space, data, nullptr, nullptr, nullptr);
    std::vector<OdeConvex> convexes;
    for (const OlpConvexHull* hull : scene.hulls) {
        convexes.push_back(ToOde(hull));
    }
    std::vector<dBodyID> bodies;
    for (int k = 0; k < kConvexWorldBodies; ++k) {
        const OdeConvex& c = convexes[size_t(k % kConvexWorldShapes)];
        const OlpConvexHull* hull = scene.hulls[size_t(k % kConvexWorldShapes)];
        const Matrix start = ConvexWorldStart(k);
        dBodyID body = dBodyCreate(w.world);
        dMass mass;
        const V3d& hi = hull->box.max;
        const V3d& lo = hull->box.min;
        dMassSetBoxTotal(&mass, 1.0, hi.x - lo.x, hi.y - lo.y, hi.z - lo.z);
        dBodySetMass(body, &mass);
        dBodySetPosition(body, start.pos.x, start.pos.y, start.pos.z);
        dGeomID geom = dCreateConvex(space, c.planes.data(), unsigned(c.planes.size() / 4), c.points.data(),
                                     unsigned(c.points.size() / 3), c.polygons.data());
        dGeomSetBody(geom, body);
        bodies.push_back(body);
    }
    Result r = Run(
        scene,
        [&] {
            dSpaceCollide(space, &w, OdeNear);
            dWorldQuickStep(w.world, kStep);
            dJointGroupEmpty(w.contacts);
        },
        [&] {
            std::vector<Matrix> poses;
            for (dBodyID body : bodies) {
                const dReal* p = dBodyGetPosition(body);
                const dReal* m = dBodyGetRotation(body);
                Matrix pose{};
                pose.right = {float(m[0]), float(m[4]), float(m[8])};
                pose.up = {float(m[1]), float(m[5]), float(m[9])};
                pose.at = {float(m[2]), float(m[6]), float(m[10])};
                pose.pos = {float(p[0]), float(p[1]), float(p[2])};
                poses.push_back(pose);
            }
            return poses;
        });
    dJointGroupDestroy(w.contacts);
    dSpaceDestroy(space);
    dGeomTriMeshDataDestroy(data);
    dWorldDestroy(w.world);
    dCloseODE();
    return r;
}

} // namespace

int CompareConvexWorld()
{
    ConvexWorldScene scene;
    if (!scene.ready) {
        std::fprintf(stderr, "bench_physics_compare: the convex world could not be built\n");
        return 1;
    }
    std::printf("convex1764-world: %d hulls on a terrain of %zu triangles, %d steps at 60 Hz\n",
                kConvexWorldBodies, scene.soup.triangles.size(), kSteps);
    std::printf("%-8s %12s %9s %14s %14s  %s\n", "engine", "steps/s", "resting", "penetration", "mean height",
                "settings");
    const Result ours = Run(
        scene, [&] { scene.Step(); }, [&] { return scene.poses; });
    std::printf("%-8s %12.1f %8.1f%% %12.4f m %12.4f m  %s\n", "ours", ours.stepsPerSecond,
                100.0 * ours.resting, double(ours.penetration), double(ours.meanHeight),
                "triangle list over the world, friction 0.5");
    const Result bullet = Bullet(scene);
    std::printf("%-8s %12.1f %8.1f%% %12.4f m %12.4f m  %s\n", "bullet", bullet.stepsPerSecond,
                100.0 * bullet.resting, double(bullet.penetration), double(bullet.meanHeight),
                "btBvhTriangleMeshShape, btConvexHullShape (margin 0.04), 10 iterations");
    const Result ode = Ode(scene);
    std::printf("%-8s %12.1f %8.1f%% %12.4f m %12.4f m  %s\n", "ode", ode.stepsPerSecond, 100.0 * ode.resting,
                double(ode.penetration), double(ode.meanHeight),
                "trimesh, convex, quick step, 20 iterations");
    return 0;
}
