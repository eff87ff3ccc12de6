// The worlds' edge data: a level loaded by the physics world keeps the edge
// bits its file carries, sector by sector, for its triangle list to read.
#include <gtest/gtest.h>

#include <vector>

#include "framework/tests/physicstesting.h"
#include "graphics/core/stream.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"
#include "physics/core/body/scenes/testworld.h"
#include "physics/refpair/refpair.h"

namespace {

using SectorBits = std::vector<std::vector<uint32_t>>;

/// The edge words of every sector with triangles, in the world's order (an
/// empty list for a sector without its block).
SectorBits EdgeBits(World* world)
{
    SectorBits bits;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) {
            if (sector->numTriangles == 0)
                return sector;
            const OlpRefPair* block = OlpRefPairGetA(sector);
            static_cast<SectorBits*>(data)->emplace_back(
                block ? std::vector<uint32_t>(block->words, block->words + block->wordCount)
                      : std::vector<uint32_t>());
            return sector;
        },
        &bits);
    return bits;
}

class WorldEdges : public PhysicsWorld
{
  protected:
    /// The physics test world (2 m floor tiles, a step, a box) written to
    /// "edges.bsp" with its edge data; the bits it was written with.
    SectorBits WriteTestWorld()
    {
        Material* material = MaterialCreate();
        World* world = TestWorldBuild(material);
        MaterialRelease(material);
        EXPECT_NE(world, nullptr);
        if (!world)
            return {};
        path_ = (folder_ / "edges.bsp").string();
        Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, path_.c_str());
        EXPECT_TRUE(stream && WorldStreamWrite(world, stream));
        if (stream)
            StreamClose(stream, nullptr);
        SectorBits bits = EdgeBits(world);
        WorldDestroy(world);
        return bits;
    }

    std::string path_;
};

TEST_F(WorldEdges, LoadedSectorsCarryTheEdgeDataOfTheirFile)
{
    StartWith([](ConfigBuilder&) {});
    const SectorBits written = WriteTestWorld();
    ASSERT_GE(written.size(), 2u) << "two sectors or more";
    size_t cleared = 0;
    for (const std::vector<uint32_t>& words : written) {
        ASSERT_FALSE(words.empty());
        for (uint32_t word : words)
            cleared += size_t(32 - __builtin_popcount(word));
    }
    ASSERT_GT(cleared, 0u) << "the floor's shared edges are cleared";

    ASSERT_TRUE(Worlds()->LoadWorld(path_.c_str(), 0));
    EXPECT_EQ(EdgeBits(Worlds()->GetWorld(0)), written);
}

} // namespace
