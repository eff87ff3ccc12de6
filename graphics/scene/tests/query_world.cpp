// Queries over worlds, geometries and atomics: the sector walks on a
// hand-built tree, collision trees (round trip, old layout, refusals), tree
// walks against brute force, atomic queries and the pixel ray.
#include <algorithm>
#include <random>
#include <set>

#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/tests/worldtesting.h"
#include "graphics/scene/worldmembers.h"
#include "tools/worldbuild/collisionbuild.h"

namespace {

class SceneQuery : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0x400000) && WorldLibraryAttach() &&
                    CollisionPluginAttach() && Open() && EngineStart());
        material_ = MaterialCreate();
    }

    void TearDown() override
    {
        for (World* world : worlds_) {
            WorldDestroy(world);
        }
        MaterialRelease(material_);
        SceneFixture::TearDown();
    }

    World* Keep(World* world)
    {
        if (world) {
            worlds_.push_back(world);
        }
        return world;
    }

    static World* Read(const Bytes& bytes)
    {
        return ReadBytes<World*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkWorld, nullptr, nullptr) ? WorldStreamRead(stream) : nullptr;
        });
    }

    // Three planes on x and four empty sectors: the root splits at 0 with
    // overlapping values (left up to 1, right from -1); its left plane at -5
    // leaves a gap (left up to -6, right from -4); its right plane splits at 5.
    World* HandBuiltTree()
    {
        std::vector<std::vector<uint64_t>> blocks;
        auto allocate = [&](size_t bytes) {
            blocks.emplace_back((bytes + 7) / 8, 0);
            return static_cast<void*>(blocks.back().data());
        };
        auto sector = [&]() {
            auto* s = static_cast<WorldSector*>(allocate(size_t(WorldSectorGetPluginRegistry()->objectSize)));
            s->type = kSectorAtomic;
            return reinterpret_cast<Sector*>(s);
        };
        auto plane = [&](float value, float left, float right, Sector* a, Sector* b) {
            auto* p = static_cast<PlaneSector*>(allocate(sizeof(PlaneSector)));
            *p = {0, value, a, b, left, right};
            return reinterpret_cast<Sector*>(p);
        };
        auto* world = static_cast<World*>(allocate(size_t(WorldGetPluginRegistry()->objectSize)));
        world->object.type = kObjectTypeWorld;
        world->format = kWorldSectorOverlap;
        world->boundingBox = {{10, 10, 10}, {-10, -10, -10}};
        world->root =
            plane(0, 1, -1, plane(-5, -6, -4, sector(), sector()), plane(5, 5, 5, sector(), sector()));
        return Keep(Read(WorldBytes(world)));
    }

    Material* material_ = nullptr;
    std::vector<World*> worlds_;
};

struct Visit
{
    std::vector<WorldSector*> sectors;
    std::vector<std::pair<float, float>> intervals;
};

TEST_F(SceneQuery, SectorLineWalkVisitsLeavesNearestFirstWithTheirIntervals)
{
    World* world = HandBuiltTree();
    ASSERT_NE(world, nullptr);
    const std::vector<WorldSector*> leaves = Sectors(world); // A, B, C, D
    struct Case
    {
        const char* what;
        IntersectionLine line;
        std::vector<int> order;
        std::vector<std::pair<float, float>> intervals;
    };
    const float n = 18.0f;
    const Case cases[] = {
        {"up the axis",
         {{-9, 0, 0}, {9, 0, 0}},
         {0, 1, 2, 3},
         {{0, 3 / n}, {5 / n, 10 / n}, {8 / n, 14 / n}, {14 / n, 1}}},
        {"down the axis",
         {{9, 0, 0}, {-9, 0, 0}},
         {3, 2, 1, 0},
         {{0, 4 / n}, {4 / n, 10 / n}, {8 / n, 13 / n}, {15 / n, 1}}},
        {"along another axis", {{3, -9, 0}, {3, 9, 0}}, {2}, {{0, 1}}},
        {"on a split", {{0, -9, 0}, {0, 9, 0}}, {2, 1}, {{0, 1}, {0, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WorldSectorLineIterator iterator;
        WorldSectorLineIteratorInit(&iterator, world, &c.line, nullptr);
        std::vector<int> order;
        std::vector<std::pair<float, float>> intervals;
        while (iterator.pending > 0) {
            WorldSector* sector = WorldSectorLineIteratorNext(&iterator);
            order.push_back(int(std::find(leaves.begin(), leaves.end(), sector) - leaves.begin()));
            intervals.push_back({iterator.t0, iterator.t1});
        }
        EXPECT_EQ(order, c.order);
        ASSERT_EQ(intervals.size(), c.intervals.size());
        for (size_t i = 0; i < intervals.size(); ++i) {
            EXPECT_NEAR(intervals[i].first, c.intervals[i].first, 1e-4f) << i;
            EXPECT_NEAR(intervals[i].second, c.intervals[i].second, 1e-4f) << i;
        }
    }

    // A box lying in the gap between -6 and -4 goes left, to A.
    IntersectionQuery query;
    query.type = kIntersectionBox;
    query.t.box = {{-4.5f, 1, 1}, {-5.5f, -1, -1}};
    std::vector<WorldSector*> reached;
    WorldForAllSectorIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector* sector, void* data) {
            static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
            return sector;
        },
        &reached);
    EXPECT_EQ(reached, std::vector<WorldSector*>{leaves[0]});

    // A null answer ends the query at its first sector.
    query.type = kIntersectionSphere;
    query.t.sphere = {{-1.5f, 9.5f, 9.5f}, 1.0f};
    reached.clear();
    WorldForAllSectorIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector* sector, void* data) -> WorldSector* {
            static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
            return nullptr;
        },
        &reached);
    EXPECT_EQ(reached.size(), 1u);
}

// A row of 16 triangles along x (leaves of 4: three nodes).
struct Row
{
    std::vector<V3d> vertices;
    std::vector<uint16_t> triangles;
    Row()
    {
        for (uint16_t i = 0; i < 16; ++i) {
            const float x = float(2 * i);
            vertices.insert(vertices.end(), {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}});
            triangles.insert(triangles.end(), {uint16_t(3 * i), uint16_t(3 * i + 1), uint16_t(3 * i + 2), 0});
        }
    }
};

TEST_F(SceneQuery, CollisionDataRoundTripsWithInfBeforeSup)
{
    Row row;
    CollisionData* data = CollisionBuild(row.vertices.data(), row.triangles.data(), 16, 4);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->numNodes, 3);
    EXPECT_TRUE(CollisionDataValidate(data, 16));
    EXPECT_EQ(CollisionDataStreamGetSize(data), (3u + 3u) * 16u + 2u * 16u);
    const Bytes bytes = WriteBytes([&](Stream* s) { return CollisionDataStreamWrite(data, s) != nullptr; });
    ASSERT_EQ(bytes.size(), CollisionDataStreamGetSize(data));
    EXPECT_EQ(GetF32(bytes, 12 + 4), data->boundingBox.inf.x);
    EXPECT_EQ(GetF32(bytes, 12 + 16), data->boundingBox.sup.x);
    CollisionData* read =
        ReadBytes<CollisionData*>(bytes, [](Stream* s) { return CollisionDataStreamRead(s, 16); });
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(std::memcmp(read->nodes, data->nodes, 3 * sizeof(CollisionTreeNode)), 0);
    EXPECT_EQ(std::memcmp(read->remap, data->remap, 16 * sizeof(uint16_t)), 0);
    EXPECT_EQ(read->boundingBox.sup.x, data->boundingBox.sup.x);
    CollisionDataDestroy(read);
    // Positions must map below the owner's triangle count.
    EXPECT_EQ(ReadBytes<CollisionData*>(bytes, [](Stream* s) { return CollisionDataStreamRead(s, 15); }),
              nullptr);

    // On a geometry the extension is the body + 16 (version word, chunk header).
    Geometry* geometry = GeometryCreate(3, 1, 0);
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
    const int32_t plain = PluginRegistryStreamSize(GeometryGetPluginRegistry(), geometry);
    ASSERT_TRUE(GeometryBuildCollision(geometry, 4));
    const int32_t withTree = PluginRegistryStreamSize(GeometryGetPluginRegistry(), geometry);
    EXPECT_EQ(withTree - plain, int32_t(CollisionDataStreamGetSize(GeometryGetCollisionData(geometry)) + 16 +
                                        kChunkHeaderSize));
    GeometryRelease(geometry);
    CollisionDataDestroy(data);
}

struct Damage
{
    const char* what;
    void (*apply)(CollisionData* data);
};

const Damage kDamage[] = {
    {"child index past the nodes", [](CollisionData* d) { d->nodes[0].left.index = 7; }},
    {"a node reached twice", [](CollisionData* d) { d->nodes[0].right = d->nodes[0].left; }},
    {"a cycle",
     [](CollisionData* d) {
         d->nodes[1].left = {0, kCollisionInnerNode, 0};
     }},
    {"leaves out of order", [](CollisionData* d) { d->nodes[1].right.index = 9; }},
    {"a leaf past the positions", [](CollisionData* d) { d->nodes[2].right.count = 5; }},
    {"remap past the owner", [](CollisionData* d) { d->remap[3] = 16; }},
};

TEST_F(SceneQuery, DamagedTreesAreRefused)
{
    Row row;
    for (const Damage& damage : kDamage) {
        SCOPED_TRACE(damage.what);
        CollisionData* data = CollisionBuild(row.vertices.data(), row.triangles.data(), 16, 4);
        ASSERT_NE(data, nullptr);
        damage.apply(data);
        EXPECT_FALSE(CollisionDataValidate(data, 16));
        CollisionDataDestroy(data);
    }
    // A node-less tree of 255 triangles would make its root an inner-node marker.
    const BBox box = {{1, 1, 1}, {0, 0, 0}};
    CollisionData* flat = CollisionDataCreate(255, 0, &box, 0);
    EXPECT_FALSE(CollisionDataValidate(flat, 300));
    flat->numTriangles = 254;
    EXPECT_TRUE(CollisionDataValidate(flat, 300));
    CollisionDataDestroy(flat);
    // A chain 33 nodes deep.
    CollisionData* deep = CollisionDataCreate(34, 33, &box, 0);
    for (uint16_t n = 0; n < 33; ++n) {
        deep->nodes[n] = {{0, 0, n}, 0, {0, kCollisionInnerNode, uint16_t(n + 1)}, 0};
        deep->nodes[n].left.count = 1;
    }
    deep->nodes[32].right = {0, 1, 33};
    EXPECT_FALSE(CollisionDataValidate(deep, 34));
    CollisionDataDestroy(deep);
}

TEST_F(SceneQuery, OldLayoutTreesAreConverted)
{
    const BBox box = {{1, 1, 1}, {0, 0, 0}};
    auto words = [](std::initializer_list<uint32_t> values) {
        Bytes bytes;
        for (uint32_t v : values) {
            bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
        }
        return bytes;
    };
    bool discarded = true;
    // No nodes: four bytes skipped, then the remap.
    CollisionData* flat = ReadBytes<CollisionData*>(words({0xDEAD, 2, 0, 1}), [&](Stream* s) {
        return CollisionDataStreamReadOld(s, 3, 0, &box, 3, &discarded);
    });
    ASSERT_NE(flat, nullptr);
    EXPECT_FALSE(discarded);
    EXPECT_EQ(flat->numNodes, 0);
    EXPECT_EQ(flat->remap[0], 2);
    CollisionDataDestroy(flat);

    // Two nodes: node 0's left is node 1; leaves depth first A, B (under
    // node 1), then node 0's right.
    const float half = 0.5f;
    uint32_t halfBits;
    std::memcpy(&halfBits, &half, 4);
    const Bytes twoNodes = words({0x00000200, 0x00010000, halfBits, halfBits, 0x00040000, 0, halfBits,
                                  halfBits, 0x00010000, 0x00010001, 0x00010002, 0, 1, 2});
    CollisionData* tree = ReadBytes<CollisionData*>(
        twoNodes, [&](Stream* s) { return CollisionDataStreamReadOld(s, 3, 2, &box, 3, &discarded); });
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->nodes[0].left.count, kCollisionInnerNode);
    EXPECT_EQ(tree->nodes[0].left.axis & 1, 1) << "left references carry bit 0";
    EXPECT_EQ(tree->nodes[0].right.index, 2);
    EXPECT_EQ(tree->nodes[1].left.index, 0);
    EXPECT_EQ(tree->nodes[1].right.index, 1);
    EXPECT_EQ(tree->nodes[1].left.axis & 0x0C, 4) << "y";
    CollisionDataDestroy(tree);

    // A leaf of 240 triangles is discarded with {0x11D, 1}.
    TakeError();
    CollisionData* large =
        ReadBytes<CollisionData*>(words({0, 0, 0, 0, 240u << 16, 0, 0, 1, 2}), [&](Stream* s) {
            return CollisionDataStreamReadOld(s, 3, 1, &box, 3, &discarded);
        });
    EXPECT_EQ(large, nullptr);
    EXPECT_TRUE(discarded);
    const ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, kPluginIdCollision);
    EXPECT_EQ(error.code, kErrorCollisionLeafTooLarge);
}

using HitSet = std::set<std::pair<WorldSector*, int32_t>>;

HitSet TreeHits(World* world, IntersectionQuery* query)
{
    HitSet hits;
    WorldForAllTriangleIntersections(
        world, query,
        [](IntersectionQuery*, WorldSector* sector, TriangleHitInfo* hit, float, void* data) {
            static_cast<HitSet*>(data)->insert({sector, hit->index});
            return sector;
        },
        &hits);
    return hits;
}

HitSet BruteHits(World* world, const IntersectionQuery& query)
{
    HitSet hits;
    for (WorldSector* sector : Sectors(world)) {
        for (int32_t t = 0; t < sector->numTriangles; ++t) {
            const V3d* v[3];
            for (int i = 0; i < 3; ++i) {
                v[i] = &sector->vertices[sector->triangles[t].vertex[i]];
            }
            bool hit = false;
            if (query.type == kIntersectionLine) {
                const V3d d = {query.t.line.end.x - query.t.line.start.x,
                               query.t.line.end.y - query.t.line.start.y,
                               query.t.line.end.z - query.t.line.start.z};
                float distance;
                hit = LineTriangleIntersect(&query.t.line.start, &d, v[0], v[1], v[2], &distance);
            } else if (query.type == kIntersectionBox) {
                hit = BoxTriangleIntersect(&query.t.box, v[0], v[1], v[2]);
            } else {
                V3d normal;
                float distance;
                hit = SphereTriangleIntersect(&query.t.sphere, v[0], v[1], v[2], &normal, &distance);
            }
            if (hit) {
                hits.insert({sector, t});
            }
        }
    }
    return hits;
}

TEST_F(SceneQuery, TreeWalksFindWhatBruteForceFinds)
{
    World* world = Keep(WorldBuild(WorldSoupTerrain(3000, 60.0f, {material_}), LeafLimit(400)));
    ASSERT_NE(world, nullptr);
    IntersectionQuery probe;
    probe.type = kIntersectionLine;
    probe.t.line = {{0, 10, 0}, {0, -10, 0}};
    EXPECT_TRUE(TreeHits(world, &probe).empty()) << "no trees, no triangle callback";
    ASSERT_TRUE(WorldBuildCollision(world, kCollisionBuildLeaf));
    EXPECT_EQ(WorldHasCollisionData(world), 1);

    std::mt19937 random(11);
    std::uniform_real_distribution<float> across(-32.0f, 32.0f);
    std::uniform_real_distribution<float> height(-4.0f, 4.0f);
    std::uniform_real_distribution<float> size(0.2f, 6.0f);
    for (int i = 0; i < 300; ++i) {
        IntersectionQuery query;
        const V3d a = {across(random), height(random), across(random)};
        const V3d b = {across(random), height(random), across(random)};
        switch (i % 3) {
        case 0:
            query.type = kIntersectionLine;
            query.t.line = {a, b};
            break;
        case 1: {
            query.type = kIntersectionBox;
            const float s = size(random);
            query.t.box = {{a.x + s, a.y + s, a.z + s}, {a.x - s, a.y - s, a.z - s}};
            break;
        }
        default:
            query.type = kIntersectionSphere;
            query.t.sphere = {a, size(random)};
            break;
        }
        const HitSet tree = TreeHits(world, &query);
        const HitSet brute = BruteHits(world, query);
        if (query.type == kIntersectionSphere) {
            // Triangles wholly inside the inner cube are reported untested.
            EXPECT_TRUE(std::includes(tree.begin(), tree.end(), brute.begin(), brute.end())) << i;
        } else {
            EXPECT_EQ(tree, brute) << i;
        }
    }
}

Atomic* RecordAtomic(IntersectionQuery*, WorldSector*, Atomic* atomic, float distance, void* data)
{
    static_cast<std::vector<std::pair<Atomic*, float>>*>(data)->push_back({atomic, distance});
    return atomic;
}

TEST_F(SceneQuery, AtomicsAreReportedOnceByTheirSpheres)
{
    World* world = Keep(WorldBuild(WorldSoupLane(material_), LeafLimit(2)));
    ASSERT_NE(world, nullptr);
    std::vector<Frame*> frames;
    auto atomicAt = [&](const V3d& position, float radius) {
        Atomic* atomic = AtomicCreate();
        Geometry* geometry = GeometryCreateSpace(radius);
        AtomicSetGeometry(atomic, geometry, 0);
        GeometryRelease(geometry);
        frames.push_back(FrameCreate());
        FrameTranslate(frames.back(), &position, kCombineReplace);
        AtomicSetFrame(atomic, frames.back());
        WorldAddAtomic(world, atomic);
        return atomic;
    };
    Atomic* big = atomicAt({5, 0, 15}, 6);    // tied to three sectors
    Atomic* hidden = atomicAt({5, 0, 25}, 1); // not for intersection tests
    hidden->object.object.flags &= uint8_t(~kAtomicCollisionTest);
    FrameSyncDirty();

    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = {{5, 0, -5}, {5, 0, 45}};
    std::vector<std::pair<Atomic*, float>> hits;
    WorldForAllAtomicIntersections(world, &query, RecordAtomic, &hits);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].first, big);
    EXPECT_NEAR(hits[0].second, 20.0f / 50.0f, 1e-5f);

    // Line against sphere: centre, tangent, miss, start inside pointing away.
    struct LineCase
    {
        const char* what;
        IntersectionLine line;
        bool hit;
        float distance;
    };
    const LineCase lines[] = {
        {"through the centre", {{5, 0, 0}, {5, 0, 30}}, true, 0.5f},
        {"tangent", {{11, 0, 0}, {11, 0, 30}}, true, 0.5f},
        {"missing", {{11.5f, 0, 0}, {11.5f, 0, 30}}, false, 0},
        {"from inside, away", {{5, 0, 16}, {5, 0, 40}}, true, -1.0f / 24.0f},
    };
    for (const LineCase& c : lines) {
        SCOPED_TRACE(c.what);
        hits.clear();
        query.t.line = c.line;
        WorldForAllAtomicIntersections(world, &query, RecordAtomic, &hits);
        EXPECT_EQ(hits.size(), c.hit ? 1u : 0u);
        if (c.hit && !hits.empty()) {
            EXPECT_NEAR(hits[0].second, c.distance, 1e-5f);
        }
    }

    // A sphere touching exactly, and an atomic query never reporting itself.
    query.type = kIntersectionSphere;
    query.t.sphere = {{5, 0, 23}, 2.0f};
    hits.clear();
    WorldForAllAtomicIntersections(world, &query, RecordAtomic, &hits);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_FLOAT_EQ(hits[0].second, 1.0f);
    query.type = kIntersectionAtomic;
    query.t.atomic = big;
    hits.clear();
    WorldForAllAtomicIntersections(world, &query, RecordAtomic, &hits);
    EXPECT_TRUE(hits.empty());

    query.type = kIntersectionLine;
    EXPECT_EQ(WorldFindNearestAtomicOnLine(world, &lines[0].line), big);
    for (Atomic* atomic : {big, hidden}) {
        AtomicDestroy(atomic);
    }
    for (Frame* frame : frames) {
        FrameDestroy(frame);
    }
}

TEST_F(SceneQuery, AnAtomicsTrianglesAreHitInWorldSpace)
{
    Row row;
    Geometry* geometry = GeometryCreate(48, 16, 0);
    for (int v = 0; v < 48; ++v) {
        geometry->morphTargets[0].vertices[v] = row.vertices[size_t(v)];
    }
    for (uint16_t t = 0; t < 16; ++t) {
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(3 * t),
                                         uint16_t(3 * t + 1), uint16_t(3 * t + 2));
    }
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    Frame* frame = FrameCreate();
    const V3d scale = {2, 2, 2};
    const V3d move = {10, 0, 0};
    FrameScale(frame, &scale, kCombineReplace);
    FrameTranslate(frame, &move, kCombinePostConcat);
    AtomicSetFrame(atomic, frame);
    // Triangle 1 covers local x 2..3, world x 14..16; hit from +z at t = 0.25.
    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = {{14.5f, 0.5f, 1}, {14.5f, 0.5f, -3}};
    for (bool tree : {false, true}) {
        SCOPED_TRACE(tree);
        if (tree) {
            ASSERT_TRUE(GeometryBuildCollision(geometry, 4));
        }
        std::vector<std::pair<int32_t, float>> hits;
        AtomicForAllIntersections(
            atomic, &query,
            [](IntersectionQuery*, TriangleHitInfo* hit, float distance, void* data) {
                static_cast<std::vector<std::pair<int32_t, float>>*>(data)->push_back({hit->index, distance});
                return hit;
            },
            &hits);
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].first, 1);
        EXPECT_NEAR(hits[0].second, 0.25f, 1e-5f);
    }
    query.type = kIntersectionBox;
    query.t.box = {{100, 100, 100}, {-100, -100, -100}};
    int calls = 0;
    AtomicForAllIntersections(
        atomic, &query,
        [](IntersectionQuery*, TriangleHitInfo* hit, float, void* data) {
            ++*static_cast<int*>(data);
            return hit;
        },
        &calls);
    EXPECT_EQ(calls, 0) << "boxes are not taken into an atomic's space";
    AtomicDestroy(atomic);
    FrameDestroy(frame);
    GeometryRelease(geometry);
}

TEST_F(SceneQuery, PixelRaysRunThroughTheFrustumCorners)
{
    Camera* camera = CameraCreate();
    Frame* frame = FrameCreate();
    CameraSetFrame(camera, frame);
    FrameSyncDirty();
    IntersectionLine line;
    const V2d centre = {0, 0};
    CameraCalcPixelRay(camera, &line, &centre);
    const V3d* c = camera->frustumCorners;
    EXPECT_FLOAT_EQ(line.start.x, 0.25f * (c[0].x + c[1].x + c[2].x + c[3].x))
        << "no raster: the view centre";
    Raster* raster = RasterCreate(64, 48, 0, kRasterTypeCamera);
    ASSERT_NE(raster, nullptr);
    camera->frameBuffer = raster;
    const V2d pixels[3] = {{0, 0}, {64, 48}, {32, 24}};
    const V3d starts[3] = {
        c[0],
        c[2],
        {0.25f * (c[0].x + c[1].x + c[2].x + c[3].x), 0.25f * (c[0].y + c[1].y + c[2].y + c[3].y), c[0].z}};
    const V3d ends[3] = {
        c[4],
        c[6],
        {0.25f * (c[4].x + c[5].x + c[6].x + c[7].x), 0.25f * (c[4].y + c[5].y + c[6].y + c[7].y), c[4].z}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        CameraCalcPixelRay(camera, &line, &pixels[i]);
        EXPECT_NEAR(line.start.x, starts[i].x, 1e-5f);
        EXPECT_NEAR(line.start.y, starts[i].y, 1e-5f);
        EXPECT_NEAR(line.end.x, ends[i].x, 1e-4f);
        EXPECT_NEAR(line.end.y, ends[i].y, 1e-4f);
        EXPECT_NEAR(line.end.z, ends[i].z, 1e-4f);
    }
    camera->frameBuffer = nullptr;
    RasterDestroy(raster);
    CameraDestroy(camera);
    FrameDestroy(frame);
}

} // namespace

namespace {

class SceneQueryGeometry : public SceneQuery
{
  protected:
    /// The row of 16 triangles as a geometry of one morph target (or two,
    /// the second 2 m higher in z).
    static Geometry* RowGeometry(int targets)
    {
        Row row;
        Geometry* geometry = GeometryCreate(48, 16, 0);
        if (targets > 1) {
            GeometryAddMorphTarget(geometry);
        }
        for (int t = 0; t < targets; ++t) {
            for (int v = 0; v < 48; ++v) {
                const V3d& p = row.vertices[size_t(v)];
                geometry->morphTargets[t].vertices[v] = {p.x, p.y, p.z + 2.0f * float(t)};
            }
            MorphTargetCalcBoundingSphere(&geometry->morphTargets[t],
                                          &geometry->morphTargets[t].boundingSphere);
        }
        for (uint16_t t = 0; t < 16; ++t) {
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(3 * t),
                                             uint16_t(3 * t + 1), uint16_t(3 * t + 2));
        }
        return geometry;
    }
};

using Reported = std::vector<std::pair<int32_t, float>>;

TriangleHitInfo* Record(IntersectionQuery*, TriangleHitInfo* hit, float distance, void* data)
{
    static_cast<Reported*>(data)->push_back({hit->index, distance});
    return hit;
}

// A sphere whose inner cube holds the whole tree reports every triangle in
// position order without testing, with its plane distance over the radius.
TEST_F(SceneQueryGeometry, ASphereAroundTheWholeTreeReportsEveryTriangleUntested)
{
    Geometry* geometry = RowGeometry(1);
    ASSERT_TRUE(GeometryBuildCollision(geometry, 4));
    IntersectionQuery query;
    query.type = kIntersectionSphere;
    query.t.sphere = {{15.5f, 0.5f, 2.0f}, 100.0f};
    Reported hits;
    GeometryForAllTriangleIntersections(geometry, &query, Record, &hits);
    ASSERT_EQ(hits.size(), 16u);
    const CollisionData* data = GeometryGetCollisionData(geometry);
    for (size_t p = 0; p < hits.size(); ++p) {
        EXPECT_EQ(hits[p].first, data->remap[p]);
        EXPECT_FLOAT_EQ(hits[p].second, 2.0f / 100.0f) << "above the +z face";
    }
    // A point query makes no triangle callback.
    query.type = kIntersectionPoint;
    query.t.point = {0.2f, 0.2f, 0};
    hits.clear();
    GeometryForAllTriangleIntersections(geometry, &query, Record, &hits);
    EXPECT_TRUE(hits.empty());
    GeometryRelease(geometry);
}

// A morphing atomic is tested against interpolated vertices: temporaries
// between two targets, the target's own array when both ends are one target.
TEST_F(SceneQueryGeometry, MorphingAtomicsAreHitOnTheirInterpolatedTriangles)
{
    Geometry* geometry = RowGeometry(2);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    Frame* frame = FrameCreate();
    AtomicSetFrame(atomic, frame);
    atomic->interpolator.startMorphTarget = 0;
    atomic->interpolator.endMorphTarget = 1;
    atomic->interpolator.position = 0.5f;
    IntersectionQuery query;
    query.type = kIntersectionLine;
    query.t.line = {{2.25f, 0.25f, 3}, {2.25f, 0.25f, -1}};
    struct Seen
    {
        int32_t index = -1;
        float distance = 0;
        const V3d* vertex = nullptr;
    } seen;
    auto record = [](IntersectionQuery*, TriangleHitInfo* hit, float distance, void* data) {
        auto* s = static_cast<Seen*>(data);
        *s = {hit->index, distance, hit->vertex[0]};
        return hit;
    };
    AtomicForAllIntersections(atomic, &query, record, &seen);
    EXPECT_EQ(seen.index, 1);
    EXPECT_NEAR(seen.distance, 0.5f, 1e-5f) << "halfway between z = 0 and z = 2";
    const V3d* first = geometry->morphTargets[1].vertices;
    EXPECT_FALSE(seen.vertex >= geometry->morphTargets[0].vertices && seen.vertex < first + 48)
        << "interpolated copies";
    atomic->interpolator.startMorphTarget = 1;
    AtomicForAllIntersections(atomic, &query, record, &seen);
    EXPECT_NEAR(seen.distance, 0.25f, 1e-5f);
    EXPECT_EQ(seen.vertex, &first[3]);
    // Targets beyond the geometry fall back to target 0.
    atomic->interpolator.startMorphTarget = 7;
    AtomicForAllIntersections(atomic, &query, record, &seen);
    EXPECT_NEAR(seen.distance, 0.75f, 1e-5f);
    AtomicDestroy(atomic);
    FrameDestroy(frame);
    GeometryRelease(geometry);
}

} // namespace
