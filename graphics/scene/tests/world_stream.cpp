// Worlds in chunk 0x0B: the round trip of a built tree, the derived cells,
// the older triangle order, plane values without the overlap flag, and the
// refusal of damaged files with nothing left allocated.
#include <cmath>
#include <string>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/tests/worldtesting.h"

namespace {

constexpr size_t kStruct = 24; // the world struct's offset: chunk header, struct header

class SceneWorldStream : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
        material_ = MaterialCreate();
    }

    void TearDown() override
    {
        MaterialRelease(material_);
        SceneFixture::TearDown();
    }

    static World* Read(const Bytes& bytes)
    {
        return ReadBytes<World*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkWorld, nullptr, nullptr) ? WorldStreamRead(stream) : nullptr;
        });
    }

    /// A world of five triangles: two planes, three sectors, read back once.
    Bytes FiveTriangleBytes()
    {
        World* world = WorldBuild(WorldSoupRow(5, {material_}), LeafLimit(2));
        Bytes bytes = world ? WorldBytes(world) : Bytes{};
        if (world) {
            WorldDestroy(world);
        }
        return bytes;
    }

    Material* material_ = nullptr;
};

/// Offsets of every chunk of `type` under the containers of a world.
void FindChunks(const Bytes& bytes, size_t at, size_t end, uint32_t type, std::vector<size_t>* found)
{
    while (at + 12 <= end) {
        const uint32_t chunk = GetU32(bytes, at);
        const size_t size = GetU32(bytes, at + 4);
        if (chunk == type) {
            found->push_back(at);
        }
        if (chunk == kChunkWorld || chunk == kChunkPlaneSector || chunk == kChunkWorldSector) {
            FindChunks(bytes, at + 12, at + 12 + size, type, found);
        }
        at += 12 + size;
    }
}

std::vector<size_t> SectorStructs(const Bytes& bytes)
{
    std::vector<size_t> sectors;
    FindChunks(bytes, 0, bytes.size(), kChunkWorldSector, &sectors);
    for (size_t& at : sectors) {
        at += 12; // the struct chunk comes first
    }
    return sectors;
}

TEST_F(SceneWorldStream, TwoPlanesAndThreeSectorsRoundTrip)
{
    World* built = WorldBuild(WorldSoupRow(5, {material_}), LeafLimit(2));
    ASSERT_NE(built, nullptr);
    const Bytes first = WorldBytes(built);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.size(), WorldStreamGetSize(built) + 12);
    WorldDestroy(built);

    World* world = Read(first);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(WorldBytes(world), first) << "a second write gives the same bytes";
    EXPECT_EQ(GetU32(first, kStruct), 0u) << "the root is a plane sector";
    EXPECT_EQ(GetU32(first, kStruct + 16), 5u);
    EXPECT_EQ(GetU32(first, kStruct + 24), 2u);
    EXPECT_EQ(GetU32(first, kStruct + 28), 3u);
    EXPECT_NE(GetU32(first, kStruct + 36) & kWorldSectorOverlap, 0u);

    // Splits at the median centre: 13/3 over all five, then 19/3 over the last three.
    ASSERT_NE(world->root->type, kSectorAtomic);
    const auto* root = reinterpret_cast<const PlaneSector*>(world->root);
    EXPECT_EQ(root->type, 0);
    EXPECT_FLOAT_EQ(root->value, 13.0f / 3.0f);
    EXPECT_FLOAT_EQ(root->leftValue, 13.0f / 3.0f);
    EXPECT_FLOAT_EQ(root->rightValue, 4.0f);
    const std::vector<WorldSector*> sectors = Sectors(world);
    ASSERT_EQ(sectors.size(), 3u);
    const float cells[3][2] = {{0.0f, 13.0f / 3.0f}, {4.0f, 19.0f / 3.0f}, {6.0f, 9.0f}};
    const int triangles[3] = {2, 1, 2};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(sectors[i]->numTriangles, triangles[i]);
        EXPECT_FLOAT_EQ(sectors[i]->boundingBox.inf.x, cells[i][0]);
        EXPECT_FLOAT_EQ(sectors[i]->boundingBox.sup.x, cells[i][1]);
        EXPECT_FLOAT_EQ(sectors[i]->boundingBox.inf.y, 0.0f);
        EXPECT_FLOAT_EQ(sectors[i]->boundingBox.sup.y, 1.0f);
        EXPECT_NE(sectors[i]->mesh, nullptr);
        EXPECT_EQ(WorldSectorGetWorld(sectors[i]), world) << "found by the address range";
    }
    EXPECT_FLOAT_EQ(sectors[1]->storedBox.inf.x, 4.0f);
    EXPECT_FLOAT_EQ(sectors[1]->storedBox.sup.x, 5.0f);
    WorldDestroy(world);
}

TEST_F(SceneWorldStream, ARootSectorWorldSaysOne)
{
    World* world = WorldBuild(WorldSoupRow(2, {material_}), LeafLimit(4));
    ASSERT_NE(world, nullptr);
    const Bytes bytes = WorldBytes(world);
    EXPECT_EQ(GetU32(bytes, kStruct), 1u);
    EXPECT_EQ(GetU32(bytes, kStruct + 24), 0u);
    WorldDestroy(world);
}

// Files before 0x36002 store each triangle material first.
TEST_F(SceneWorldStream, OlderTriangleOrderIsConverted)
{
    const Bytes original = FiveTriangleBytes();
    ASSERT_FALSE(original.empty());
    for (uint32_t version : {0x36001u, 0x36002u}) {
        SCOPED_TRACE(version);
        Bytes bytes = original;
        for (size_t at : SectorStructs(bytes)) {
            PutU32(bytes, at + 8, ChunkStampEncode(version, 0x16));
            const uint32_t triangles = GetU32(bytes, at + 12 + 4);
            const uint32_t vertices = GetU32(bytes, at + 12 + 8);
            const size_t first = at + 12 + 44 + 12 * vertices;
            for (uint32_t t = 0; version < 0x36002 && t < triangles; ++t) {
                uint16_t words[4];
                std::memcpy(words, bytes.data() + first + 8 * t, 8);
                const uint16_t stored[4] = {words[3], words[0], words[1], words[2]};
                std::memcpy(bytes.data() + first + 8 * t, stored, 8);
            }
        }
        World* world = Read(bytes);
        ASSERT_NE(world, nullptr);
        EXPECT_EQ(WorldBytes(world), original) << "the same triangles, written in today's order";
        WorldDestroy(world);
    }
}

TEST_F(SceneWorldStream, WithoutTheOverlapFlagBothValuesAreThePlaneValue)
{
    Bytes bytes = FiveTriangleBytes();
    ASSERT_FALSE(bytes.empty());
    PutU32(bytes, kStruct + 36, GetU32(bytes, kStruct + 36) & ~kWorldSectorOverlap);
    World* world = Read(bytes);
    ASSERT_NE(world, nullptr);
    const auto* root = reinterpret_cast<const PlaneSector*>(world->root);
    EXPECT_EQ(root->leftValue, root->value);
    EXPECT_EQ(root->rightValue, root->value);
    WorldDestroy(world);
}

struct Damage
{
    const char* what;
    uint32_t code;
    void (*apply)(Bytes& bytes);
};

const Damage kDamage[] = {
    {"triangle total understated", kErrorRead, [](Bytes& b) { PutU32(b, kStruct + 16, 4); }},
    {"vertex total understated", kErrorRead, [](Bytes& b) { PutU32(b, kStruct + 20, 14); }},
    {"one plane sector announced", kErrorRead, [](Bytes& b) { PutU32(b, kStruct + 24, 1); }},
    {"two atomic sectors announced", kErrorRead, [](Bytes& b) { PutU32(b, kStruct + 28, 2); }},
    {"huge totals", kErrorRead,
     [](Bytes& b) {
         PutU32(b, kStruct + 16, 0x7FFFFFFF);
         PutU32(b, kStruct + 20, 0x7FFFFFFF);
     }},
    {"collision sectors", kErrorBadVersion, [](Bytes& b) { PutU32(b, kStruct + 32, 1); }},
    {"nine texture sets", kErrorRead,
     [](Bytes& b) { PutU32(b, kStruct + 36, GetU32(b, kStruct + 36) | 0x90000); }},
    {"70000 vertices in a sector", kErrorRead,
     [](Bytes& b) {
         PutU32(b, kStruct + 20, 70006);
         PutU32(b, SectorStructs(b)[0] + 12 + 8, 70000);
     }},
    {"70000 triangles in a sector", kErrorRead,
     [](Bytes& b) {
         PutU32(b, kStruct + 16, 70003);
         PutU32(b, SectorStructs(b)[0] + 12 + 4, 70000);
     }},
    {"window base past the materials", kErrorRead, [](Bytes& b) { PutU32(b, SectorStructs(b)[1] + 12, 1); }},
    {"vertex index past the vertices", kErrorRead,
     [](Bytes& b) {
         const size_t at = SectorStructs(b)[2];
         PutU32(b, at + 12 + 44 + 12 * 6, 6);
     }},
    {"plane axis 12", kErrorRead,
     [](Bytes& b) {
         std::vector<size_t> planes;
         FindChunks(b, 0, b.size(), kChunkPlaneSector, &planes);
         PutU32(b, planes[1] + 24, 12);
     }},
};

TEST_F(SceneWorldStream, DamagedWorldsAreRefusedLeavingNothing)
{
    const Bytes original = FiveTriangleBytes();
    ASSERT_FALSE(original.empty());
    for (const Damage& damage : kDamage) {
        SCOPED_TRACE(damage.what);
        Bytes bytes = original;
        damage.apply(bytes);
        const int64_t before = CountingMemory::live;
        TakeError();
        EXPECT_EQ(Read(bytes), nullptr);
        EXPECT_EQ(TakeError().code, damage.code);
        EXPECT_EQ(CountingMemory::live, before);
    }
}

// Positions, coordinates, planes and boxes place the world: any number there that
// is not finite refuses it, leaving nothing, and the refusal names its offset.
TEST_F(SceneWorldStream, NumbersThatAreNotFiniteAreRefusedAtTheirOffset)
{
    const Bytes original = FiveTriangleBytes();
    ASSERT_FALSE(original.empty());
    std::vector<size_t> planes;
    FindChunks(original, 0, original.size(), kChunkPlaneSector, &planes);
    ASSERT_FALSE(planes.empty());
    const size_t plane = planes[0] + 24, sector = SectorStructs(original)[0] + 12;
    struct Field
    {
        const char* what;
        size_t offset;
    } fields[] = {
        {"world origin", kStruct + 4}, {"world box", kStruct + 40},
        {"plane value", plane + 4},    {"plane's right value", plane + 20},
        {"sector box", sector + 12},   {"sector box top", sector + 32},
        {"first vertex", sector + 44}, {"last coordinate of a vertex", sector + 44 + 8},
    };
    for (const Field& f : fields) {
        for (uint32_t bits : kNotFiniteBits) {
            SCOPED_TRACE(f.what);
            Bytes bytes = original;
            PutU32(bytes, f.offset, bits);
            const int64_t before = CountingMemory::live;
            TakeError();
            EXPECT_EQ(Read(bytes), nullptr);
            EXPECT_EQ(TakeError().code, kErrorRead);
            EXPECT_EQ(TakeRefusedOffset(), int64_t(f.offset));
            EXPECT_EQ(CountingMemory::live, before);
        }
    }
}

TEST_F(SceneWorldStream, EveryPrefixIsRefused)
{
    const Bytes original = FiveTriangleBytes();
    ASSERT_FALSE(original.empty());
    const int64_t before = CountingMemory::live;
    for (size_t length = 12; length < original.size(); ++length) {
        Bytes bytes(original.begin(), original.begin() + std::ptrdiff_t(length));
        PutU32(bytes, 4, uint32_t(length - 12));
        World* world = Read(bytes);
        EXPECT_EQ(world, nullptr) << length;
        if (world) {
            WorldDestroy(world);
        }
    }
    EXPECT_EQ(CountingMemory::live, before);
}

// A chain of planes, each with an empty sector on its left: 64 planes deep
// is read, 65 is refused.
TEST_F(SceneWorldStream, TreesDeeperThanSixtyFourAreRefused)
{
    for (int depth : {64, 65}) {
        SCOPED_TRACE(depth);
        const size_t sectorSize = size_t(WorldSectorGetPluginRegistry()->objectSize);
        std::vector<std::vector<uint64_t>> blocks;
        auto allocate = [&](size_t bytes) {
            blocks.emplace_back((bytes + 7) / 8, 0);
            return static_cast<void*>(blocks.back().data());
        };
        auto emptySector = [&](float x) {
            auto* sector = static_cast<WorldSector*>(allocate(sectorSize));
            sector->type = kSectorAtomic;
            sector->storedBox = {{x + 1, 1, 1}, {x, 0, 0}};
            return reinterpret_cast<Sector*>(sector);
        };
        auto* world = static_cast<World*>(allocate(size_t(WorldGetPluginRegistry()->objectSize)));
        world->object.type = kObjectTypeWorld;
        world->format = kWorldSectorOverlap;
        world->boundingBox = {{float(depth + 1), 1, 1}, {0, 0, 0}};
        Sector** slot = &world->root;
        for (int d = 0; d < depth; ++d) {
            auto* plane = static_cast<PlaneSector*>(allocate(sizeof(PlaneSector)));
            *plane = {0, float(d + 1), emptySector(float(d)), nullptr, float(d + 1), float(d + 1)};
            *slot = reinterpret_cast<Sector*>(plane);
            slot = &plane->right;
        }
        *slot = emptySector(float(depth));
        const Bytes bytes = WorldBytes(world);
        ASSERT_FALSE(bytes.empty());
        const int64_t before = CountingMemory::live;
        World* read = Read(bytes);
        EXPECT_EQ(read != nullptr, depth == kWorldMaxDepth);
        if (read) {
            EXPECT_EQ(Sectors(read).size(), size_t(depth + 1));
            WorldDestroy(read);
        } else {
            EXPECT_EQ(CountingMemory::live, before);
        }
    }
}

TEST_F(SceneWorldStream, ChunkInfoReadersGiveTheStructs)
{
    const Bytes bytes = FiveTriangleBytes();
    ASSERT_FALSE(bytes.empty());
    ReadBytes<int>(bytes, [](Stream* stream) {
        WorldChunkInfo world{};
        int32_t size = 0;
        EXPECT_TRUE(StreamFindChunk(stream, kChunkWorld, nullptr, nullptr));
        EXPECT_NE(WorldStreamReadChunkInfo(stream, &world, &size), nullptr);
        EXPECT_EQ(size, 64 + 12);
        EXPECT_EQ(world.numPlaneSectors, 2u);
        EXPECT_EQ(world.numWorldSectors, 3u);
        EXPECT_FLOAT_EQ(world.boundingBox.sup.x, 9.0f);
        EXPECT_TRUE(StreamFindChunk(stream, kChunkPlaneSector, nullptr, nullptr));
        PlaneSectorChunkInfo plane{};
        EXPECT_NE(PlaneSectorStreamReadChunkInfo(stream, &plane, &size), nullptr);
        EXPECT_EQ(size, 24 + 12);
        EXPECT_EQ(plane.leftIsWorldSector, 1u);
        EXPECT_EQ(plane.rightIsWorldSector, 0u);
        EXPECT_TRUE(StreamFindChunk(stream, kChunkWorldSector, nullptr, nullptr));
        WorldSectorChunkInfo sector{};
        EXPECT_NE(WorldSectorStreamReadChunkInfo(stream, &sector, &size), nullptr);
        EXPECT_EQ(sector.numTriangles, 2u);
        EXPECT_EQ(sector.numVertices, 6u);
        EXPECT_EQ(size, 44 + 6 * 12 + 2 * 8 + 12);
        return 0;
    });
}

TEST_F(SceneWorldStream, CreatedWorldHasOneEmptySector)
{
    const BBox box = {{10, 5, 10}, {-10, 0, -10}};
    World* world = WorldCreate(&box);
    ASSERT_NE(world, nullptr);
    ASSERT_EQ(world->root->type, kSectorAtomic);
    auto* sector = reinterpret_cast<WorldSector*>(world->root);
    EXPECT_EQ(sector->numTriangles, 0);
    EXPECT_FLOAT_EQ(sector->boundingBox.sup.x, 10.0f);
    EXPECT_EQ(WorldSectorGetWorld(sector), world);
    EXPECT_EQ(world->renderOrder, kWorldRenderBackToFront);
    World* read = Read(WorldBytes(world));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(Sectors(read).size(), 1u);
    WorldDestroy(read);
    WorldDestroy(world);
}

} // namespace
