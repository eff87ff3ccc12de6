// The physics world's queries on the sample level, one thread, each over the
// same 10,000 deterministic random segments or spheres: ours through
// CPhysicsWorld (closest-hit and first-hit segments, corridors of radius 0.5,
// sphere queries of radius 0.35 keeping the nearest triangle) and Bullet's
// triangle-mesh collision world on the level's triangles (closest-hit rays
// with back faces filtered; sphere contact tests keeping the deepest
// contact). The Bullet runs report how many answers differ from ours.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <BulletCollision/BroadphaseCollision/btDbvtBroadphase.h>
#include <BulletCollision/CollisionDispatch/btCollisionDispatcher.h>
#include <BulletCollision/CollisionDispatch/btCollisionWorld.h>
#include <BulletCollision/CollisionDispatch/btDefaultCollisionConfiguration.h>
#include <BulletCollision/CollisionShapes/btSphereShape.h>

#include "bench/scene-query/bullet_triangles.h"
#include "framework/physicsworld.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/world.h"
#include "tools/cfgcheck/configcheck.h"

namespace {

constexpr int kQueries = 10000;
constexpr int kCorridors = 1000;
constexpr float kSphereRadius = 0.35f;
constexpr float kMiss = 2.0f;

struct Scene
{
    CPhysicsWorld* worlds = nullptr;
    std::vector<float> positions; ///< the level's triangles, world space
    std::vector<int32_t> indices;
    std::vector<IntersectionLine> segments;
    std::vector<IntersectionLine> corridors;
    std::vector<V3d> centres;
};

WorldSector* Gather(WorldSector* sector, void* data)
{
    auto* s = static_cast<Scene*>(data);
    const auto base = int32_t(s->positions.size() / 3);
    for (int32_t v = 0; v < sector->numVertices; ++v)
        s->positions.insert(s->positions.end(),
                            {sector->vertices[v].x, sector->vertices[v].y, sector->vertices[v].z});
    for (int32_t t = 0; t < sector->numTriangles; ++t) {
        for (uint16_t v : sector->triangles[t].vertex)
            s->indices.push_back(base + v);
    }
    return sector;
}

const Scene& SampleScene()
{
    static const Scene scene = [] {
        Scene s;
        if (!StartHeadlessEngine())
            return s;
        s.worlds = new CPhysicsWorld; // kept for the program's life
        if (!s.worlds->LoadWorld(OLAI_SAMPLE_WORLD, 0))
            return s;
        World* world = s.worlds->GetWorld(0);
        WorldForAllSectors(world, Gather, &s);
        const BBox& box = world->boundingBox;
        std::mt19937 random(7);
        std::uniform_real_distribution<float> x(box.inf.x + 1.0f, box.sup.x - 1.0f);
        std::uniform_real_distribution<float> y(0.1f, 2.9f);
        std::uniform_real_distribution<float> z(box.inf.z + 1.0f, box.sup.z - 1.0f);
        for (int i = 0; i < kQueries; ++i) {
            s.segments.push_back(
                {{x(random), y(random), z(random)}, {x(random), y(random) - 3.0f, z(random)}});
            s.centres.push_back({x(random), y(random) * 0.5f, z(random)});
        }
        for (int i = 0; i < kCorridors; ++i) {
            const float height = 1.0f + 0.5f * y(random);
            s.corridors.push_back({{x(random), height, z(random)}, {x(random), height, z(random)}});
        }
        return s;
    }();
    return scene;
}

/// The sample scene; null, with the benchmark skipped, when the world did not load.
const Scene* LoadedScene(benchmark::State& state)
{
    const Scene& s = SampleScene();
    if (s.segments.empty()) {
        state.SkipWithError("no sample world");
        return nullptr;
    }
    return &s;
}

void SetRate(benchmark::State& state, size_t perIteration)
{
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(perIteration));
}

void BM_OursSegments(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    for (auto _ : state) {
        for (const IntersectionLine& segment : s.segments) {
            float distance = 0.0f;
            benchmark::DoNotOptimize(
                s.worlds->TestSegment(&segment.start, &segment.end, false, &distance, nullptr, nullptr));
            benchmark::DoNotOptimize(distance);
        }
    }
    SetRate(state, s.segments.size());
}

void BM_OursFirstHit(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    for (auto _ : state) {
        for (const IntersectionLine& segment : s.segments)
            benchmark::DoNotOptimize(
                s.worlds->TestSegment(&segment.start, &segment.end, false, nullptr, nullptr, nullptr));
    }
    SetRate(state, s.segments.size());
}

void BM_OursCorridors(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    for (auto _ : state) {
        for (const IntersectionLine& corridor : s.corridors)
            benchmark::DoNotOptimize(s.worlds->TestCorridor(&corridor.start, &corridor.end, 0.5f, false));
    }
    SetRate(state, s.corridors.size());
}

void BM_OursSpheres(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    SphereQueryResult result = {};
    for (auto _ : state) {
        for (const V3d& c : s.centres) {
            benchmark::DoNotOptimize(s.worlds->SphereQuery(c.x, c.y, c.z, kSphereRadius, &result));
            benchmark::DoNotOptimize(result.distance);
        }
    }
    SetRate(state, s.centres.size());
}

/// The level's triangles in a Bullet collision world of their own.
struct BulletLevel
{
    BulletTriangles array;
    std::unique_ptr<btBvhTriangleMeshShape> mesh;
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    btCollisionObject level;

    explicit BulletLevel(const Scene& scene) : array(scene.positions, scene.indices)
    {
        mesh = std::make_unique<btBvhTriangleMeshShape>(&array, true);
        level.setCollisionShape(mesh.get());
        world.addCollisionObject(&level);
    }
    ~BulletLevel() { world.removeCollisionObject(&level); }
};

/// The closest hit's fraction, kMiss without one.
float BulletSegment(const BulletLevel& level, const IntersectionLine& segment)
{
    return BulletClosestHit(*level.mesh, segment, kMiss);
}

/// The deepest contact of a sphere with the level.
struct BulletContact : btCollisionWorld::ContactResultCallback
{
    float distance = kMiss;
    btScalar addSingleResult(btManifoldPoint& point, const btCollisionObjectWrapper*, int, int,
                             const btCollisionObjectWrapper*, int, int) override
    {
        distance = std::min(distance, float(point.getDistance()));
        return 0;
    }
};

void BM_BulletSegments(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    BulletLevel level(s);
    int differ = 0;
    for (const IntersectionLine& segment : s.segments) {
        float ours = 0.0f;
        if (!s.worlds->TestSegment(&segment.start, &segment.end, false, &ours, nullptr, nullptr))
            ours = kMiss;
        differ += std::fabs(ours - BulletSegment(level, segment)) > 1e-3f;
    }
    for (auto _ : state) {
        for (const IntersectionLine& segment : s.segments)
            benchmark::DoNotOptimize(BulletSegment(level, segment));
    }
    SetRate(state, s.segments.size());
    state.counters["differ"] = differ;
}

void BM_BulletSpheres(benchmark::State& state)
{
    const Scene* loaded = LoadedScene(state);
    if (!loaded)
        return;
    const Scene& s = *loaded;
    BulletLevel level(s);
    btSphereShape shape(kSphereRadius);
    btCollisionObject sphere;
    sphere.setCollisionShape(&shape);
    auto query = [&](const V3d& c) {
        sphere.getWorldTransform().setOrigin(btVector3(c.x, c.y, c.z));
        BulletContact contact;
        level.world.contactTest(&sphere, contact);
        return contact.distance < kMiss;
    };
    int differ = 0;
    SphereQueryResult result = {};
    CPhysicsWorld::SetSphereQueryMode(CPhysicsWorld::kSphereAll);
    for (const V3d& c : s.centres)
        differ += s.worlds->SphereQuery(c.x, c.y, c.z, kSphereRadius, &result) != query(c);
    for (auto _ : state) {
        for (const V3d& c : s.centres)
            benchmark::DoNotOptimize(query(c));
    }
    SetRate(state, s.centres.size());
    state.counters["differ"] = differ;
}

} // namespace

BENCHMARK(BM_OursSegments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulletSegments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursFirstHit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursCorridors)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OursSpheres)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulletSpheres)->Unit(benchmark::kMillisecond);
