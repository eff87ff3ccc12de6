// Edge data: block sizes, the bits of small meshes with known creases, the
// geometry stream round trip and refusal, and a world prepared whole.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenelibrary.h"
#include "graphics/scene/world.h"
#include "physics/core/volume/trilist.h"
#include "physics/refpair/refpair.h"
#include "tools/worldbuild/worldbuild.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

struct Mesh
{
    std::vector<V3d> vertices;
    std::vector<std::array<uint16_t, 3>> triangles;
};

class RefPair : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table()) && WorldLibraryAttach() &&
                    CollisionPluginAttach());
        EXPECT_FALSE(OlpRefPairRegistered());
        EXPECT_EQ(OlpRefPairRegister(), 1);
        EXPECT_EQ(OlpRefPairRegister(), 0) << "a second registration does nothing";
        EXPECT_EQ(OlpRefPairRegisterGeometry(), 1);
        EXPECT_EQ(OlpRefPairRegisterGeometry(), 0);
        EXPECT_TRUE(OlpRefPairRegistered() && OlpRefPairGeometryRegistered());
        ASSERT_TRUE(EngineTestOpen() && EngineStart());
    }

    void TearDown() override
    {
        for (Geometry* geometry : geometries_) {
            GeometryRelease(geometry);
        }
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0) << "blocks left after shutdown";
    }

    Geometry* Make(const Mesh& mesh)
    {
        Geometry* geometry = GeometryCreate(int32_t(mesh.vertices.size()), int32_t(mesh.triangles.size()), 0);
        EXPECT_NE(geometry, nullptr);
        std::copy(mesh.vertices.begin(), mesh.vertices.end(), geometry->morphTargets[0].vertices);
        for (size_t t = 0; t < mesh.triangles.size(); ++t) {
            const auto& v = mesh.triangles[t];
            GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], v[0], v[1], v[2]);
        }
        MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
        GeometryUnlock(geometry);
        geometries_.push_back(geometry);
        return geometry;
    }

    /// The four bits of each triangle after computing.
    std::vector<uint32_t> Nibbles(const Mesh& mesh)
    {
        Geometry* geometry = Make(mesh);
        EXPECT_EQ(OlpRefPairComputeGeometry(geometry), geometry);
        const OlpRefPair* block = OlpRefPairGetB(geometry);
        std::vector<uint32_t> nibbles;
        for (size_t t = 0; t < mesh.triangles.size(); ++t) {
            nibbles.push_back(block->words[t / 8] >> (t % 8 * 4) & 0xF);
        }
        return nibbles;
    }

    std::vector<Geometry*> geometries_;
};

// Normals (V1 - V0) x (V2 - V0) face out of the solid they bound.
const Mesh kLone = {{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, 1, 2}}};
// A quad in y = 0 facing up: the diagonal 0-2 is shared (edge 2-0 of the
// first, 0-2 of the second).
const Mesh kQuad = {{{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}, {{0, 1, 2}, {0, 2, 3}}};
// The top (y = 0, x < 0, up) and side (x = 0, y < 0, facing +x) of a block
// meeting at the z axis: an outward ridge.
const Mesh kRidge = {{{-1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, -1, 0}}, {{0, 1, 2}, {2, 1, 3}}};
// A floor (x < 0, up) and a wall (x = 0, y > 0, facing -x): a concave fold.
const Mesh kFold = {{{-1, 0, 0}, {0, 0, 1}, {0, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {2, 1, 3}}};
// Two triangles back to back, a hair apart.
const Mesh kBackToBack = {
    {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, -0.001f, 0}, {0, -0.001f, 1}, {1, -0.001f, 0}},
    {{0, 1, 2}, {3, 5, 4}}};

TEST_F(RefPair, BlocksHoldFourBitsPerTriangle)
{
    for (auto [triangles, bytes] :
         {std::pair{7, 12u}, std::pair{8, 16u}, std::pair{1, 12u}, std::pair{17, 20u}}) {
        Mesh mesh;
        mesh.vertices = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}};
        mesh.triangles.assign(size_t(triangles), {0, 1, 2});
        Geometry* geometry = Make(mesh);
        EXPECT_EQ(OlpRefPairGetB(geometry), nullptr) << "no block before it is made";
        const OlpRefPair* block = OlpRefPairCreateGeometry(geometry);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->byteSize, bytes) << triangles << " triangles";
        EXPECT_EQ(block->words, reinterpret_cast<const uint32_t*>(block + 1));
        for (uint32_t w = 0; w < block->wordCount; ++w) {
            EXPECT_EQ(block->words[w], 0xFFFFFFFFu);
        }
    }
}

TEST_F(RefPair, CreasesClearTheirEdgesAndHiddenFaces)
{
    // Bits: face 1, edges 01 2, 12 4, 20 8.
    EXPECT_EQ(Nibbles(kLone), (std::vector<uint32_t>{0xF}));
    EXPECT_EQ(Nibbles(kQuad), (std::vector<uint32_t>{0xF & ~8u, 0xF & ~2u}))
        << "coplanar: shared edge cleared";
    EXPECT_EQ(Nibbles(kRidge), (std::vector<uint32_t>{0xF & ~4u, 0xF & ~2u})) << "outward ridge cleared";
    EXPECT_EQ(Nibbles(kFold), (std::vector<uint32_t>{0xF, 0xF})) << "concave fold kept";
    EXPECT_EQ(Nibbles(kBackToBack), (std::vector<uint32_t>{0xE, 0xE})) << "faces behind each other cleared";
}

TEST_F(RefPair, BitsGoWithTheGeometryStream)
{
    Mesh mesh = kQuad;
    Geometry* geometry = Make(mesh);
    ASSERT_EQ(OlpRefPairComputeGeometry(geometry), geometry);
    Bytes bytes = WriteBytes([&](Stream* s) { return GeometryStreamWrite(geometry, s) != nullptr; });
    ASSERT_FALSE(bytes.empty());
    auto read = [](const Bytes& b) {
        return ReadBytes<Geometry*>(b, [](Stream* s) {
            return StreamFindChunk(s, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(s) : nullptr;
        });
    };
    Geometry* copy = read(bytes);
    ASSERT_NE(copy, nullptr);
    geometries_.push_back(copy);
    const OlpRefPair* block = OlpRefPairGetB(copy);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->words[0], OlpRefPairGetB(geometry)->words[0]);
    EXPECT_EQ(block->byteSize, 12u);

    // The block's sub-chunk: id, size, version, then the placeholder and the size.
    size_t at = 0;
    for (size_t i = 0; i + 20 <= bytes.size(); i += 4) {
        if (GetU32(bytes, i) == kOlpRefPairPluginId && GetU32(bytes, i + 4) == 12 &&
            GetU32(bytes, i + 16) == 12) {
            at = i;
        }
    }
    ASSERT_NE(at, 0u);
    EXPECT_EQ(GetU32(bytes, at + 12), 0u) << "the pointer's place is written as 0";
    for (uint32_t wrong : {8u, 16u, 0xFFFFFFF0u}) {
        Bytes bad = bytes;
        std::memcpy(bad.data() + at + 16, &wrong, 4);
        EXPECT_EQ(read(bad), nullptr) << "size " << wrong;
    }
}

TEST_F(RefPair, AWorldIsPreparedAcrossItsSectors)
{
    // Four floor quads in a row over sectors of two triangles each: every
    // inner edge of the floor is coplanar, within a sector or across two.
    Material* material = MaterialCreate();
    WorldBuildLimits limits;
    limits.leafTriangles = 2;
    limits.collisionLeaf = 2;
    World* world = WorldBuild(WorldSoupLane(material), limits);
    ASSERT_NE(world, nullptr);
    ASSERT_EQ(OlpRefPairPrepareWorld(world), world);
    int counts[2] = {0, 0}; // sectors, cleared edges
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            const OlpRefPair* block = OlpRefPairGetA(sector);
            EXPECT_NE(block, nullptr);
            auto* counts = static_cast<int*>(data);
            ++counts[0];
            for (uint32_t t = 0; t < sector->numTriangles; ++t) {
                uint32_t nibble = block->words[t / 8] >> (t % 8 * 4) & 0xF;
                EXPECT_EQ(nibble & kOlpRefPairFace, 1u);
                counts[1] += 3 - __builtin_popcount(nibble & kOlpRefPairEdges);
            }
            return sector;
        },
        counts);
    EXPECT_EQ(counts[0], 4);
    // 4 diagonals and 3 edges between quads, each cleared on both sides.
    EXPECT_EQ(counts[1], 14);

    // Triangle lists hand the bits on with each triangle.
    OlpVolume list;
    OlpTrilistInit(&list, world, kOlpTrilistWorld);
    OlpTriangleData room[16];
    OlpBBox everything{};
    everything.max = {100, 100, 100};
    everything.min = {-100, -100, -100};
    OlpTrilistQuery query = {room, 0, 16, 0, nullptr};
    OlpTrilistDefaultQuery(&list, nullptr, &everything, 0, &query);
    ASSERT_EQ(query.count, 8u);
    for (uint32_t i = 0; i < query.count; ++i) {
        const OlpRefPair* block = OlpRefPairGetA(static_cast<WorldSector*>(room[i].source));
        EXPECT_EQ(room[i].edgeFlags, OlpTrilistTriangleFlags(block->words, uint32_t(room[i].index)));
        EXPECT_NE(room[i].edgeFlags, 0xFu);
    }
    WorldDestroy(world);
    MaterialRelease(material);
}

} // namespace
