// Grid volumes: the hash, the build, queries against brute force.
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/volumecopy.h"

#include <algorithm>
#include <random>
#include <vector>

using namespace olp;

namespace {

class VolumeGrid : public VolumeTest
{
};

std::vector<uint32_t> Query(const OlpVolume* grid, const OlpBBox& box, uint32_t capacity = 4096)
{
    std::vector<OlpBatchEntry> entries(capacity);
    OlpBatchList list = {entries.data(), 0, capacity};
    uint32_t count = OlpGridGetQuery(grid)(grid, &box, 0, &list);
    EXPECT_EQ(count, list.count);
    std::vector<uint32_t> cells;
    for (uint32_t i = 0; i < list.count; ++i) {
        cells.push_back(entries[i].featureId);
        EXPECT_EQ(entries[i].volume,
                  entries[i].frame == &entries[i].volume->frame ? entries[i].volume : nullptr);
    }
    std::sort(cells.begin(), cells.end());
    return cells;
}

std::vector<uint32_t> BruteQuery(OlpVolume* grid, const OlpBBox& box)
{
    std::vector<uint32_t> cells;
    for (uint32_t i = 0; i < OlpGridGetCellCount(grid); ++i) {
        OlpBBox cellBox;
        if (OlpVolumeGetBBox(OlpGridGetCell(grid, i), nullptr, 0, &cellBox) != nullptr &&
            OlpBBoxOverlap(&cellBox, &box)) {
            cells.push_back(i);
        }
    }
    return cells;
}

OlpBBox BoxAround(V3d centre, float half)
{
    OlpBBox box{};
    box.min = centre - V3d{half, half, half};
    box.max = centre + V3d{half, half, half};
    return box;
}

} // namespace

TEST(VolumeGridHash, MixesItsThreeWords)
{
    EXPECT_NE(OlpGridHash(0, 0, 0), OlpGridHash(1, 0, 0));
    EXPECT_NE(OlpGridHash(1, 0, 0), OlpGridHash(0, 1, 0));
    EXPECT_EQ(OlpGridHash(-5, 7, 9), OlpGridHash(-5, 7, 9));
}

TEST_F(VolumeGrid, OneCellGivesTheSmallestTable)
{
    OlpVolume* grid = OlpGridCreate(1);
    ASSERT_NE(grid, nullptr);
    OlpSphereInit(OlpGridGetCell(grid, 0), 1.0f);
    EXPECT_GE(OlpGridBuild(grid, 0.0f), 1u);
    const OlpGridHeader* h = OlpGridGetHeader(grid);
    EXPECT_EQ(h->hashMask + 1, 256u);
    EXPECT_EQ(Query(grid, BoxAround({0.5f, 0, 0}, 0.1f)), std::vector<uint32_t>{0});
    EXPECT_TRUE(Query(grid, BoxAround({5, 0, 0}, 0.1f)).empty());
    OlpBBox bounds;
    ASSERT_NE(OlpVolumeGetBBox(grid, nullptr, 1, &bounds), nullptr);
    ExpectNearV3(bounds.max, {1, 1, 1});
    OlpVolumeDestroy(grid);
}

TEST_F(VolumeGrid, QueriesEqualBruteForceWithEachCellOnce)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> coordinate(-20.0f, 20.0f);
    const uint32_t small = 1000;
    OlpVolume* grid = OlpGridCreate(small + 1);
    for (uint32_t i = 0; i < small; ++i) {
        OlpVolume* cell =
            OlpSphereInit(OlpGridGetCell(grid, i), 0.2f + 0.3f * std::fabs(coordinate(random)) / 20.0f);
        Matrix frame = Translation({coordinate(random), coordinate(random), coordinate(random)});
        OlpVolumeSetFrame(cell, &frame);
    }
    V3d huge = {15, 2, 15};
    OlpBoxInit(OlpGridGetCell(grid, small), &huge);
    EXPECT_GT(OlpGridBuild(grid, 0.0f), 0u);
    // The huge box covers too many grid cells: it is tested by every query instead.
    ASSERT_EQ(OlpGridGetHeader(grid)->large.count, 1u);
    EXPECT_EQ(OlpGridGetHeader(grid)->large.cells[0], small);
    int hugeSeen = 0;
    for (int n = 0; n < 200; ++n) {
        OlpBBox box = BoxAround({coordinate(random), coordinate(random), coordinate(random)},
                                0.5f + std::fabs(coordinate(random)) / 5);
        std::vector<uint32_t> found = Query(grid, box);
        std::vector<uint32_t> expected = BruteQuery(grid, box);
        ASSERT_EQ(found, expected) << n;
        hugeSeen += std::count(found.begin(), found.end(), small) > 0;
        // Asked again, the same cells.
        EXPECT_EQ(Query(grid, box), found);
    }
    EXPECT_GT(hugeSeen, 0);
    // A full list stops the listing without overrun.
    EXPECT_EQ(Query(grid, BoxAround({0, 0, 0}, 25.0f), 5).size(), 5u);
    OlpVolumeDestroy(grid);
}

TEST_F(VolumeGrid, CellsStraddlingZeroAndFarFromTheOriginAreFound)
{
    for (float offset : {0.0f, 1000.0f, -50000.0f}) {
        OlpVolume* grid = OlpGridCreate(27);
        uint32_t i = 0;
        for (int x = -1; x <= 1; ++x) {
            for (int y = -1; y <= 1; ++y) {
                for (int z = -1; z <= 1; ++z) {
                    V3d half = {0.0005f, 0.0005f, 0.0005f};
                    OlpVolume* cell = OlpBoxInit(OlpGridGetCell(grid, i++), &half);
                    Matrix frame = Translation({offset + 0.001f * x, 0.001f * y, 0.001f * z});
                    OlpVolumeSetFrame(cell, &frame);
                }
            }
        }
        EXPECT_GT(OlpGridBuild(grid, 0.001f), 0u);
        for (uint32_t c = 0; c < 27; ++c) {
            OlpBBox cellBox;
            OlpVolumeGetBBox(OlpGridGetCell(grid, c), nullptr, 1, &cellBox);
            V3d middle = (cellBox.max + cellBox.min) * 0.5f;
            OlpBBox probe = BoxAround(middle, 0.0001f);
            EXPECT_EQ(Query(grid, probe), BruteQuery(grid, probe)) << offset << " cell " << c;
        }
        OlpVolumeDestroy(grid);
    }
}

TEST_F(VolumeGrid, MassThicknessAndReferences)
{
    OlpVolume* grid = OlpGridCreate(2);
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* cell = OlpSphereInit(OlpGridGetCell(grid, i), 1.0f);
        Matrix frame = Translation({i == 0 ? -1.0f : 1.0f, 0, 0});
        OlpVolumeSetFrame(cell, &frame);
    }
    OlpGridBuild(grid, 0.0f);
    OlpMassProperties properties;
    V3d centre;
    EXPECT_NEAR(OlpVolumeGetMassProperties(grid, &properties, &centre), 2 * 4.1887903f, 1e-5f);
    ExpectNearV3(centre, {0, 0, 0});
    EXPECT_FLOAT_EQ(grid->descriptor->getCoreThickness(grid), 2.0f);
    OlpVolume* clone = OlpVolumeClone(grid);
    EXPECT_EQ(OlpGridGetHeader(grid)->refCount, 2u);
    OlpVolumeDestroy(clone);
    EXPECT_EQ(OlpGridGetHeader(grid)->refCount, 1u);
    OlpVolumeDestroy(grid);
}
