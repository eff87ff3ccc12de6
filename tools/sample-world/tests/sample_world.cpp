// The sample data set: two runs write the same bytes; every model and the
// world read back; the world's sectors keep the limits and hold their
// triangles inside their cells.
#include <gtest/gtest.h>

#include <filesystem>

#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "tools/common/toolfiles.h"
#include "tools/escort-run/escort_level.h"
#include "tools/sample-world/sampledata.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

class SampleWorld : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(SceneEngineStart()); }
    void TearDown() override { SceneEngineStop(); }

    static std::filesystem::path Folder(const char* name)
    {
        const std::filesystem::path folder = std::filesystem::path(OLAI_TEST_OUTPUT_DIR) / name;
        std::filesystem::remove_all(folder);
        return folder;
    }

    template <typename T>
    static T* Read(const std::vector<uint8_t>& bytes, uint32_t chunk, T* (*read)(Stream*))
    {
        StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        T* object = stream && StreamFindChunk(stream, chunk, nullptr, nullptr) ? read(stream) : nullptr;
        if (stream) {
            StreamClose(stream, nullptr);
        }
        return object;
    }
};

TEST_F(SampleWorld, TwoRunsWriteTheSameFiles)
{
    const std::filesystem::path first = Folder("first");
    const std::filesystem::path second = Folder("second");
    std::string error;
    ASSERT_TRUE(SampleDataWrite(OLAI_SAMPLE_LEVEL, first.string(), true, &error)) << error;
    ASSERT_TRUE(SampleDataWrite(OLAI_SAMPLE_LEVEL, second.string(), true, &error)) << error;
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(first)) {
        std::vector<uint8_t> a;
        std::vector<uint8_t> b;
        ASSERT_TRUE(ToolReadFile(entry.path().string(), &a));
        ASSERT_TRUE(ToolReadFile((second / entry.path().filename()).string(), &b)) << entry.path();
        EXPECT_EQ(a, b) << entry.path().filename();
        ++files;
    }
    EXPECT_EQ(files, 3 + 2 + SampleModelNames().size());
}

TEST_F(SampleWorld, EveryFileReadsBackAndTheSectorsHoldTheirTriangles)
{
    const std::filesystem::path folder = Folder("read");
    std::string error;
    ASSERT_TRUE(SampleDataWrite(OLAI_SAMPLE_LEVEL, folder.string(), false, &error)) << error;
    for (const std::string& name : SampleModelNames()) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(ToolReadFile((folder / (name + ".dff")).string(), &bytes));
        Clump* clump = Read<Clump>(bytes, kChunkClump, ClumpStreamRead);
        ASSERT_NE(clump, nullptr) << name;
        EXPECT_EQ(ClumpCountAtomics(clump), 1) << name;
        ClumpDestroy(clump);
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ToolReadFile((folder / "level.bsp").string(), &bytes));
    World* world = Read<World>(bytes, kChunkWorld, WorldStreamRead);
    ASSERT_NE(world, nullptr);
    EXPECT_NE(world->root->type, kSectorAtomic);
    EXPECT_EQ(world->numTexCoordSets, 1);
    struct Tally
    {
        int sectors = 0;
        int triangles = 0;
        int outside = 0;
    } tally;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            auto* tally = static_cast<Tally*>(data);
            ++tally->sectors;
            tally->triangles += sector->numTriangles;
            EXPECT_LE(sector->numTriangles, kSampleLeafTriangles);
            EXPECT_NE(sector->normals, nullptr);
            EXPECT_NE(sector->preLitColours, nullptr);
            EXPECT_NE(sector->mesh, nullptr);
            EXPECT_TRUE(WorldSectorHasCollisionData(sector));
            const BBox& cell = sector->boundingBox;
            for (int t = 0; t < sector->numTriangles; ++t) {
                for (uint16_t v : sector->triangles[t].vertex) {
                    const V3d& p = sector->vertices[v];
                    tally->outside += p.x < cell.inf.x || p.x > cell.sup.x || p.y < cell.inf.y ||
                                      p.y > cell.sup.y || p.z < cell.inf.z || p.z > cell.sup.z;
                }
            }
            return sector;
        },
        &tally);
    EXPECT_GT(tally.sectors, 4);
    EXPECT_EQ(tally.outside, 0);
    // Floor tiles of a metre, two triangles each; five faces of two a box.
    Zelk::CEscortLevel level;
    ASSERT_TRUE(Zelk::EscortLevelLoad(OLAI_SAMPLE_LEVEL, level, error));
    const int tiles = int((level.maxX - level.minX) * (level.maxZ - level.minZ));
    EXPECT_EQ(tally.triangles, 2 * tiles + 10 * int(level.boxMin.size()));
    WorldDestroy(world);
}

} // namespace
