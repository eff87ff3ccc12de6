// Closest-hit segments per second, one thread, over the sample world and a
// 20,000-triangle terrain, each with 100,000 deterministic random segments:
// ours through WorldForAllTriangleIntersections with a nearest-hit callback
// and through the line iterators with Clip; Bullet's BVH triangle mesh
// (back faces filtered) and Embree 3 (one thread, back faces filtered) on the
// same triangles. Each peer reports how many nearest hits differ from ours.

#include <benchmark/benchmark.h>

#include <embree3/rtcore.h>

#include <cmath>
#include <random>
#include <vector>

#include "bench/scene-query/bullet_triangles.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/world.h"
#include "tools/escort-run/escort_level.h"
#include "tools/sample-world/sampledata.h"
#include "tools/scenebuild/sceneengine.h"
#include "tools/worldbuild/collisionbuild.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

constexpr int kSegments = 100000;
constexpr float kMiss = 2.0f;

struct Scene
{
    World* world = nullptr;
    std::vector<float> positions; // all triangles, world space
    std::vector<int32_t> indices;
    std::vector<IntersectionLine> segments;
};

bool Started()
{
    static const bool started = SceneEngineStart();
    return started;
}

World* Build(const WorldSoup& soup)
{
    WorldBuildLimits limits;
    limits.leafTriangles = kSampleLeafTriangles;
    limits.collisionLeaf = kCollisionBuildLeaf;
    return WorldReadBytes(WorldBuildBytes(soup, limits));
}

void Gather(Scene* scene)
{
    WorldForAllSectors(
        scene->world,
        [](WorldSector* sector, void* data) {
            auto* s = static_cast<Scene*>(data);
            const int32_t base = int32_t(s->positions.size() / 3);
            for (int32_t v = 0; v < sector->numVertices; ++v) {
                s->positions.insert(s->positions.end(),
                                    {sector->vertices[v].x, sector->vertices[v].y, sector->vertices[v].z});
            }
            for (int32_t t = 0; t < sector->numTriangles; ++t) {
                for (uint16_t v : sector->triangles[t].vertex) {
                    s->indices.push_back(base + v);
                }
            }
            return sector;
        },
        scene);
}

// The sample world: segments between random points inside the level.
const Scene& SampleScene()
{
    static const Scene scene = [] {
        Scene s;
        Zelk::CEscortLevel level;
        std::string error;
        if (!Started() || !Zelk::EscortLevelLoad(OLAI_SAMPLE_LEVEL, level, error)) {
            return s;
        }
        SampleMaterials materials;
        s.world = Build(SampleLevelSoup(level, materials));
        if (!s.world) {
            return s;
        }
        Gather(&s);
        std::mt19937 random(5);
        std::uniform_real_distribution<float> x(level.minX, level.maxX);
        std::uniform_real_distribution<float> y(0.1f, 2.9f);
        std::uniform_real_distribution<float> z(level.minZ, level.maxZ);
        for (int i = 0; i < kSegments; ++i) {
            s.segments.push_back(
                {{x(random), y(random), z(random)}, {x(random), y(random) - 3.0f, z(random)}});
        }
        return s;
    }();
    return scene;
}

// The terrain: segments from above to below at random slants.
const Scene& TerrainScene()
{
    static const Scene scene = [] {
        Scene s;
        if (!Started()) {
            return s;
        }
        SampleMaterials materials;
        s.world = Build(
            WorldSoupTerrain(kSampleTerrainTriangles, kSampleTerrainSize, {materials.floor, materials.wall}));
        if (!s.world) {
            return s;
        }
        Gather(&s);
        std::mt19937 random(9);
        std::uniform_real_distribution<float> across(-0.45f * kSampleTerrainSize, 0.45f * kSampleTerrainSize);
        std::uniform_real_distribution<float> slant(-10.0f, 10.0f);
        for (int i = 0; i < kSegments; ++i) {
            const float x = across(random);
            const float z = across(random);
            s.segments.push_back({{x, 8.0f, z}, {x + slant(random), -8.0f, z + slant(random)}});
        }
        return s;
    }();
    return scene;
}

float OursQuery(World* world, const IntersectionLine& segment)
{
    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = segment;
    float nearest = kMiss;
    WorldForAllTriangleIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector* sector, TriangleHitInfo*, float t, void* data) {
            float& best = *static_cast<float*>(data);
            best = t < best ? t : best;
            return sector;
        },
        &nearest);
    return nearest;
}

float OursIterators(World* world, const IntersectionLine& segment)
{
    float nearest = kMiss;
    WorldSectorLineIterator sectors;
    WorldSectorLineIteratorInit(&sectors, world, &segment, nullptr);
    while (sectors.pending > 0) {
        WorldSector* sector = WorldSectorLineIteratorNext(&sectors);
        const CollisionData* data = WorldSectorGetCollisionData(sector);
        if (!data || sectors.t0 > nearest) {
            continue;
        }
        CollisionTreeLineIterator tree;
        CollisionTreeLineIteratorInitFromSector(&tree, data, &sectors);
        while (tree.pending > 0) {
            uint16_t first;
            uint16_t count;
            CollisionTreeLineIteratorNext(&tree, &first, &count);
            for (uint32_t p = first; p < uint32_t(first) + count; ++p) {
                const WorldSectorTriangle& triangle = sector->triangles[data->remap ? data->remap[p] : p];
                float t;
                if (LineTriangleIntersect(&tree.start, &tree.direction, &sector->vertices[triangle.vertex[0]],
                                          &sector->vertices[triangle.vertex[1]],
                                          &sector->vertices[triangle.vertex[2]], &t) &&
                    t < nearest) {
                    nearest = t;
                    CollisionTreeLineIteratorClip(&tree, t);
                    WorldSectorLineIteratorClip(&sectors, t);
                }
            }
        }
    }
    return nearest;
}

struct BulletMesh
{
    BulletTriangles array;
    btBvhTriangleMeshShape* shape = nullptr;

    explicit BulletMesh(const Scene& scene) : array(scene.positions, scene.indices)
    {
        shape = new btBvhTriangleMeshShape(&array, true);
    }
    ~BulletMesh() { delete shape; }
};

struct EmbreeScene
{
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    const Scene* source = nullptr;

    explicit EmbreeScene(const Scene& s) : source(&s)
    {
        device = rtcNewDevice("threads=1");
        scene = rtcNewScene(device);
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0,
                                                                     RTC_FORMAT_FLOAT3, 3 * sizeof(float),
                                                                     s.positions.size() / 3));
        std::copy(s.positions.begin(), s.positions.end(), vertices);
        auto* indices = static_cast<uint32_t*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0,
                                                                       RTC_FORMAT_UINT3, 3 * sizeof(uint32_t),
                                                                       s.indices.size() / 3));
        std::copy(s.indices.begin(), s.indices.end(), indices);
        rtcSetGeometryUserData(geometry, this);
        rtcSetGeometryIntersectFilterFunction(geometry, FrontFacesOnly);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene);
    }
    ~EmbreeScene()
    {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }

    // Our segment test is one-sided: a hit counts when the segment runs
    // against (v1 - v0) x (v2 - v0).
    static void FrontFacesOnly(const RTCFilterFunctionNArguments* args)
    {
        const auto* self = static_cast<const EmbreeScene*>(args->geometryUserPtr);
        const RTCRay* ray = reinterpret_cast<const RTCRay*>(args->ray);
        const RTCHit* hit = reinterpret_cast<const RTCHit*>(args->hit);
        const int32_t* triangle = &self->source->indices[3 * size_t(hit->primID)];
        const float* p = self->source->positions.data();
        const float* a = p + 3 * triangle[0];
        const float* b = p + 3 * triangle[1];
        const float* c = p + 3 * triangle[2];
        const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
        if (ray->dir_x * n[0] + ray->dir_y * n[1] + ray->dir_z * n[2] >= 0.0f) {
            args->valid[0] = 0;
        }
    }
};

float EmbreeQuery(const EmbreeScene& embree, const IntersectionLine& segment)
{
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    RTCRayHit rayHit{};
    rayHit.ray.org_x = segment.start.x;
    rayHit.ray.org_y = segment.start.y;
    rayHit.ray.org_z = segment.start.z;
    rayHit.ray.dir_x = segment.end.x - segment.start.x;
    rayHit.ray.dir_y = segment.end.y - segment.start.y;
    rayHit.ray.dir_z = segment.end.z - segment.start.z;
    rayHit.ray.tnear = 0.0f;
    rayHit.ray.tfar = 1.0f;
    rayHit.ray.mask = 0xFFFFFFFF;
    rayHit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(embree.scene, &context, &rayHit);
    return rayHit.hit.geomID == RTC_INVALID_GEOMETRY_ID ? kMiss : rayHit.ray.tfar;
}

template <typename Query> void RunSegments(benchmark::State& state, const Scene& scene, Query query)
{
    if (!scene.world) {
        state.SkipWithError("no world");
        return;
    }
    // Agreement with our nearest hits (outside a 1e-4 band on t).
    int differ = 0;
    int hits = 0;
    for (const IntersectionLine& segment : scene.segments) {
        const float ours = OursQuery(scene.world, segment);
        const float theirs = query(segment);
        hits += ours < kMiss;
        differ += std::fabs(ours - theirs) > 1e-4f;
    }
    for (auto _ : state) {
        float sum = 0.0f;
        for (const IntersectionLine& segment : scene.segments) {
            sum += query(segment);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(scene.segments.size()));
    state.counters["hits"] = double(hits);
    state.counters["differ"] = double(differ);
}

void BM_Ours(benchmark::State& state, const Scene& (*scene)())
{
    const Scene& s = scene();
    RunSegments(state, s, [&](const IntersectionLine& segment) { return OursQuery(s.world, segment); });
}

void BM_OursIterators(benchmark::State& state, const Scene& (*scene)())
{
    const Scene& s = scene();
    RunSegments(state, s, [&](const IntersectionLine& segment) { return OursIterators(s.world, segment); });
}

void BM_Bullet(benchmark::State& state, const Scene& (*scene)())
{
    const Scene& s = scene();
    if (!s.world) {
        state.SkipWithError("no world");
        return;
    }
    BulletMesh mesh(s);
    RunSegments(state, s, [&](const IntersectionLine& segment) {
        return BulletClosestHit(*mesh.shape, segment, kMiss);
    });
}

void BM_Embree(benchmark::State& state, const Scene& (*scene)())
{
    const Scene& s = scene();
    if (!s.world) {
        state.SkipWithError("no world");
        return;
    }
    EmbreeScene embree(s);
    RunSegments(state, s, [&](const IntersectionLine& segment) { return EmbreeQuery(embree, segment); });
}

BENCHMARK_CAPTURE(BM_Ours, sample, SampleScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OursIterators, sample, SampleScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Bullet, sample, SampleScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Embree, sample, SampleScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours, terrain, TerrainScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OursIterators, terrain, TerrainScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Bullet, terrain, TerrainScene)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Embree, terrain, TerrainScene)->Unit(benchmark::kMillisecond);

} // namespace
