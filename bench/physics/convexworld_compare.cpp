#include "bench/physics/convexworld_compare.h"

#include <cstdio>
#include <memory>

#include "bench/physics/convexworld_scene.h"
#include "bench/physics/peerworlds.h"
#include "physics/core/context/context.h"
#include "physics/core/pipeline/pipeline.h"
#include "tools/worldbuild/worldshapes.h"

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
    const TimedSteps run = RunTimedSteps(kSteps, step, poses);
    Result r;
    r.stepsPerSecond = run.stepsPerSecond;
    ConvexWorldMeasure(scene, run.before, run.after, kStep, &r.resting, &r.penetration);
    for (const Matrix& m : run.after) {
        r.meanHeight +=
            (m.pos.y - WorldSoupTerrainHeight(scene.soup, m.pos.x, m.pos.z)) / float(run.after.size());
    }
    return r;
}

Result Bullet(const ConvexWorldScene& scene)
{
    BulletWorld w;
    btDiscreteDynamicsWorld& world = w.world;
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
    std::vector<std::unique_ptr<btRigidBody>>& bodies = w.bodies;
    for (int k = 0; k < kConvexWorldBodies; ++k) {
        btConvexHullShape* shape = shapes[size_t(k % kConvexWorldShapes)].get();
        btVector3 inertia;
        shape->calculateLocalInertia(1.0f, inertia);
        btRigidBody::btRigidBodyConstructionInfo info(1.0f, nullptr, shape, inertia);
        info.m_startWorldTransform = BulletPose(ConvexWorldStart(k));
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

Result Ode(const ConvexWorldScene& scene)
{
    OdeWorld w = OpenOdeWorld(0.5);
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
        convexes.push_back(OdeConvexOf(hull));
    }
    std::vector<dBodyID> bodies;
    for (int k = 0; k < kConvexWorldBodies; ++k) {
        OdeConvex& c = convexes[size_t(k % kConvexWorldShapes)];
        const OlpConvexHull* hull = scene.hulls[size_t(k % kConvexWorldShapes)];
        const Matrix start = ConvexWorldStart(k);
        dBodyID body = dBodyCreate(w.world);
        dMass mass;
        const V3d& hi = hull->box.max;
        const V3d& lo = hull->box.min;
        dMassSetBoxTotal(&mass, 1.0, hi.x - lo.x, hi.y - lo.y, hi.z - lo.z);
        dBodySetMass(body, &mass);
        dBodySetPosition(body, start.pos.x, start.pos.y, start.pos.z);
        dGeomSetBody(OdeConvexGeom(space, c), body);
        bodies.push_back(body);
    }
    Result r = Run(
        scene, [&] { OdeStep(w, space, kStep); },
        [&] {
            std::vector<Matrix> poses;
            for (dBodyID body : bodies) {
                poses.push_back(OdePose(body));
            }
            return poses;
        });
    CloseOdeWorld(w, space, data);
    return r;
}

void PrintRow(const char* engine, const Result& r, const char* settings)
{
    std::printf("%-8s %12.1f %8.1f%% %12.4f m %12.4f m  %s\n", engine, r.stepsPerSecond, 100.0 * r.resting,
                double(r.penetration), double(r.meanHeight), settings);
}

} // namespace

int CompareConvexWorld()
{
    std::printf("convex1764-world: %d hulls on a terrain of %d triangles, %d steps at 60 Hz\n",
                kConvexWorldBodies, kConvexWorldTriangles, kSteps);
    std::printf("%-8s %12s %9s %14s %14s  %s\n", "engine", "steps/s", "resting", "penetration", "mean height",
                "settings");
    // At the default limits a batch of some 130 hull islands shares 100
    // position and 300 velocity moves: its first islands get no position
    // move at all and two velocity moves. The raised limits show the
    // contacts alone.
    for (uint32_t limit : {0u, 5000u}) {
        ConvexWorldScene scene;
        if (!scene.ready) {
            std::fprintf(stderr, "bench_physics_compare: the convex world could not be built\n");
            return 1;
        }
        if (limit != 0) {
            OlpPipelineSetMaxPosIterations(OlpContextGetPipeline(scene.context), limit);
            OlpPipelineSetMaxVelIterations(OlpContextGetPipeline(scene.context), limit);
        }
        const Result ours = Run(
            scene, [&] { scene.Step(); }, [&] { return scene.poses; });
        PrintRow("ours", ours,
                 limit == 0 ? "triangle list over the world, friction 0.5, iterations 100 / 300"
                            : "the same, iterations 5000 / 5000");
        if (limit == 0) {
            PrintRow("bullet", Bullet(scene),
                     "btBvhTriangleMeshShape, btConvexHullShape (margin 0.04), 10 iterations");
            PrintRow("ode", Ode(scene), "trimesh, convex, quick step, 20 iterations");
        }
    }
    return 0;
}
