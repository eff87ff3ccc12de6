// Triangle-list volumes: bounds per source kind, the default queries over a
// world, its sectors' collision trees and a geometry, capacity limits and
// the replaceable callback.
#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/trilist.h"
#include "physics/core/volume/typetable.h"
#include "tools/scenebuild/sceneengine.h"
#include "tools/worldbuild/worldbuild.h"
#include "tools/worldbuild/worldshapes.h"

using namespace olp;

namespace {

class Trilist : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(SceneEngineStart());
        material_ = MaterialCreate();
        WorldBuildLimits limits;
        limits.leafTriangles = 64;
        limits.collisionLeaf = 4;
        world_ = WorldBuild(WorldSoupTerrain(400, 40.0f, {material_}), limits);
        ASSERT_NE(world_, nullptr);
        WorldForAllSectors(
            world_,
            [](WorldSector* sector, void* data) {
                static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
                return sector;
            },
            &sectors_);
        ASSERT_GT(sectors_.size(), 1u);
    }

    void TearDown() override
    {
        WorldDestroy(world_);
        MaterialRelease(material_);
        SceneEngineStop();
    }

    /// The (source, index) pairs a list's default query gives for `box`.
    std::set<std::pair<void*, uint64_t>> List(OlpVolume* list, const OlpBBox& box, uint32_t* flags = nullptr)
    {
        std::vector<OlpTriangleData> room(4096);
        OlpTrilistQuery query = {room.data(), 77, uint32_t(room.size()), 0xFF, nullptr};
        OlpTrilistGetCallback(list)(list, nullptr, &box, 0, &query);
        EXPECT_LT(query.count, query.capacity);
        if (flags != nullptr) {
            *flags = query.flags;
        }
        std::set<std::pair<void*, uint64_t>> found;
        for (uint32_t i = 0; i < query.count; ++i) {
            found.insert({room[i].source, room[i].index});
            EXPECT_EQ(room[i].edgeFlags, 0xFu) << "a source without bits gives every face and edge";
        }
        return found;
    }

    static OlpBBox Box(V3d min, V3d max)
    {
        OlpBBox box{};
        box.min = min;
        box.max = max;
        return box;
    }

    Material* material_ = nullptr;
    World* world_ = nullptr;
    std::vector<WorldSector*> sectors_;
};

TEST_F(Trilist, BoundsFollowTheSourceKind)
{
    OlpVolume list;
    OlpTrilistInit(&list, nullptr, kOlpTrilistUnbounded);
    OlpBBox box;
    OlpSphere sphere;
    ASSERT_NE(OlpVolumeGetBBox(&list, nullptr, 0, &box), nullptr);
    ExpectNearV3(box.max, {10000, 10000, 10000});
    ExpectNearV3(box.min, {-10000, -10000, -10000});
    ASSERT_NE(list.descriptor->getBoundingSphere(&list, &sphere), nullptr);
    EXPECT_EQ(sphere.radius, kOlpFloatMax);

    OlpTrilistSetSource(&list, world_, kOlpTrilistWorld);
    OlpVolumeSetMargin(&list, 0.5f);
    ASSERT_NE(OlpVolumeGetBBox(&list, nullptr, 0, &box), nullptr);
    ExpectNearV3(box.max, world_->boundingBox.sup + V3d{0.5f, 0.5f, 0.5f});
    ExpectNearV3(box.min, world_->boundingBox.inf - V3d{0.5f, 0.5f, 0.5f});
    Matrix moved = Translation({100, 0, 0});
    ASSERT_NE(OlpVolumeGetBBox(&list, &moved, 0, &box), nullptr);
    EXPECT_NEAR(box.max.x, world_->boundingBox.sup.x + 100.5f, 1e-3f);

    OlpTrilistSetSource(&list, sectors_[0], 7);
    EXPECT_EQ(OlpVolumeGetBBox(&list, nullptr, 0, &box), nullptr);
    EXPECT_EQ(list.descriptor->getBoundingSphere(&list, &sphere), nullptr);
    EXPECT_EQ(OlpVolumeGetBuiltinDescriptor(kOlpTypeTrilist), &kOlpTrilistDescriptor);
    EXPECT_EQ(kOlpTrilistDescriptor.flags, kOlpVolumeCompound | kOlpVolumeWorldQuery);
}

TEST_F(Trilist, WorldAndSectorListsGiveTheSameTriangles)
{
    OlpVolume worldList;
    OlpTrilistInit(&worldList, world_, kOlpTrilistWorld);
    const OlpBBox boxes[] = {Box({-5, -50, -5}, {5, 50, 5}), Box({-20, -50, 3}, {-1, 50, 19}),
                             Box({8, -50, -30}, {9, 50, 30})};
    for (const OlpBBox& box : boxes) {
        uint32_t flags = 0;
        auto fromWorld = List(&worldList, box, &flags);
        EXPECT_EQ(flags, 0u);
        EXPECT_FALSE(fromWorld.empty());
        std::set<std::pair<void*, uint64_t>> fromSectors;
        for (WorldSector* sector : sectors_) {
            OlpVolume sectorList;
            OlpTrilistInit(&sectorList, sector, kOlpTrilistSector);
            auto part = List(&sectorList, box, &flags);
            EXPECT_EQ(flags, kOlpTrilistFromTree);
            fromSectors.insert(part.begin(), part.end());
        }
        EXPECT_EQ(fromWorld, fromSectors);
    }
}

TEST_F(Trilist, WorldTrianglesCarryTheirVerticesAndNormals)
{
    OlpVolume list;
    OlpTrilistInit(&list, world_, kOlpTrilistWorld);
    OlpTriangleData room[64];
    OlpBBox box = Box({-3, -50, -3}, {3, 50, 3});
    OlpTrilistQuery query = {room, 0, 64, 0, nullptr};
    OlpTrilistDefaultQuery(&list, nullptr, &box, 0, &query);
    ASSERT_GT(query.count, 0u);
    for (uint32_t i = 0; i < query.count; ++i) {
        auto* sector = static_cast<WorldSector*>(room[i].source);
        ASSERT_LT(room[i].index, sector->numTriangles);
        const WorldSectorTriangle& t = sector->triangles[room[i].index];
        ExpectNearV3(room[i].a, sector->vertices[t.vertex[0]]);
        ExpectNearV3(room[i].c, sector->vertices[t.vertex[2]]);
        EXPECT_NEAR(Length(room[i].normal), 1.0f, 1e-3f);
        EXPECT_GT(room[i].normal.y, 0.0f) << "terrain faces up";
    }
}

TEST_F(Trilist, CapacityBoundsTheListing)
{
    OlpVolume list;
    OlpBBox everything = Box({-100, -100, -100}, {100, 100, 100});
    OlpTriangleData room[3];
    for (uint32_t kind : {kOlpTrilistWorld, kOlpTrilistSector}) {
        OlpTrilistInit(&list, kind == kOlpTrilistWorld ? static_cast<void*>(world_) : sectors_[0], kind);
        for (uint32_t capacity : {0u, 1u, 3u}) {
            OlpTrilistQuery query = {room, 99, capacity, 0, nullptr};
            OlpTrilistDefaultQuery(&list, nullptr, &everything, 0, &query);
            EXPECT_EQ(query.count, capacity) << "kind " << kind;
        }
    }
}

TEST_F(Trilist, GeometryListsTakeTheBoxIntoTheirFrame)
{
    Geometry* geometry = GeometryCreate(3, 1, 0);
    ASSERT_NE(geometry, nullptr);
    V3d* v = geometry->morphTargets[0].vertices;
    v[0] = {0, 0, 0};
    v[1] = {0, 0, 1};
    v[2] = {1, 0, 0};
    GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
    GeometryUnlock(geometry);
    OlpVolume list;
    OlpTrilistInit(&list, geometry, kOlpTrilistGeometry);
    OlpTriangleData room[4];
    Matrix placed = Translation({50, 0, 0});
    OlpBBox nearPlaced = Box({49.9f, -0.1f, 0.1f}, {50.3f, 0.1f, 0.3f});
    OlpTrilistQuery query = {room, 0, 4, 0, nullptr};
    OlpTrilistDefaultQuery(&list, &placed, &nearPlaced, 0, &query);
    EXPECT_EQ(query.count, 1u);
    EXPECT_EQ(query.flags, kOlpTrilistFromObject);
    // Without a matrix the box is taken as it is: nothing near x = 50.
    OlpTrilistDefaultQuery(&list, nullptr, &nearPlaced, 0, &query);
    EXPECT_EQ(query.count, 0u);
    OlpSphere sphere;
    ASSERT_NE(list.descriptor->getBoundingSphere(&list, &sphere), nullptr);
    EXPECT_NEAR(sphere.radius, geometry->morphTargets[0].boundingSphere.radius, 1e-6f);
    GeometryRelease(geometry);
}

TEST_F(Trilist, TheCallbackCanBeReplacedAndRestored)
{
    static int calls = 0;
    OlpTrilistCallback own = [](const OlpVolume*, const Matrix*, const OlpBBox*, uintptr_t word,
                                OlpTrilistQuery* query) {
        calls += int(word);
        query->count = 0;
        return query;
    };
    OlpVolume list;
    OlpTrilistInit(&list, world_, kOlpTrilistWorld);
    EXPECT_EQ(OlpTrilistGetCallback(&list), &OlpTrilistDefaultQuery);
    OlpTrilistSetCallback(&list, own);
    OlpTriangleData room[1];
    OlpTrilistQuery query = {room, 0, 1, 0, nullptr};
    OlpBBox box = Box({-1, -1, -1}, {1, 1, 1});
    OlpTrilistGetCallback (&list)(&list, nullptr, &box, 5, &query);
    EXPECT_EQ(calls, 5);
    OlpTrilistSetCallback(&list, nullptr);
    EXPECT_EQ(OlpTrilistGetCallback(&list), &OlpTrilistDefaultQuery);
    uint32_t kind = 99;
    EXPECT_EQ(OlpTrilistGetSource(&list, &kind), world_);
    EXPECT_EQ(kind, uint32_t(kOlpTrilistWorld));
    EXPECT_EQ(list.descriptor->destroy(&list), 1);
    EXPECT_EQ(OlpTrilistGetSource(&list, nullptr), nullptr);
}

} // namespace
