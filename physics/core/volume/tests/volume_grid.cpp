// Grid volumes: the hash, the build, queries against brute force.
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/griddata.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/volumecopy.h"

#include <algorithm>
#include <cstring>
#include <limits>
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

/// Cells 0..small-1 become small spheres scattered over [-20, 20]^3 and
/// cell `small` a huge flat box over them all.
void SetScatteredCells(OlpVolume* grid, uint32_t small, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-20.0f, 20.0f);
    for (uint32_t i = 0; i < small; ++i) {
        OlpVolume* cell =
            OlpSphereInit(OlpGridGetCell(grid, i), 0.2f + 0.3f * std::fabs(coordinate(random)) / 20.0f);
        Matrix frame = Translation({coordinate(random), coordinate(random), coordinate(random)});
        OlpVolumeSetFrame(cell, &frame);
    }
    V3d huge = {15, 2, 15};
    OlpBoxInit(OlpGridGetCell(grid, small), &huge);
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
    SetScatteredCells(grid, small, 3);
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

// The packed data block: a grid rebuilt from it, with the same cells set
// again, answers every query as the original does.
TEST_F(VolumeGrid, PackedDataRebuildsTheSameGrid)
{
    const uint32_t small = 1000;
    OlpVolume* grid = OlpGridCreate(small + 1);
    SetScatteredCells(grid, small, 5);
    ASSERT_GT(OlpGridBuild(grid, 0.0f), 0u);
    OlpGridData data;
    ASSERT_NE(OlpGridGetData(grid, &data), nullptr);
    EXPECT_EQ(data.cellCount, small + 1);
    EXPECT_EQ(data.header, OlpGridGetHeader(grid));

    // Measuring, packing and streaming agree on the bytes.
    size_t bytes = OlpGridDataSize(grid);
    ASSERT_GT(bytes, 0u);
    EXPECT_EQ(OlpGridStreamWriteData(grid, nullptr), bytes);
    std::vector<uint8_t> block(bytes);
    ASSERT_EQ(OlpGridPackData(grid, block.data(), bytes), bytes);
    EXPECT_EQ(OlpGridPackData(grid, block.data(), bytes - 1), 0u);
    EXPECT_EQ(block[0] | block[1] << 8 | block[2] << 16 | block[3] << 24, int(kOlpGridDataMagic));
    Stream stream;
    StreamMemory memory = {nullptr, 0};
    ASSERT_NE(StreamInit(&stream, false, kStreamMemory, kStreamWrite, &memory), nullptr);
    EXPECT_EQ(OlpGridStreamWriteData(grid, &stream), bytes);
    StreamMemory written = {nullptr, 0};
    ASSERT_TRUE(StreamClose(&stream, &written));
    ASSERT_EQ(written.length, bytes);
    EXPECT_EQ(std::vector<uint8_t>(written.block, written.block + written.length), block);
    MemoryFree(written.block);

    OlpVolume* copy = OlpVolumeAllocate();
    ASSERT_NE(OlpGridInitFromData(copy, block.data(), block.size()), nullptr);
    ASSERT_EQ(OlpGridGetCellCount(copy), small + 1);
    SetScatteredCells(copy, small, 5);
    const OlpGridHeader* a = OlpGridGetHeader(grid);
    const OlpGridHeader* b = OlpGridGetHeader(copy);
    EXPECT_EQ(b->entryCount, a->entryCount);
    EXPECT_EQ(b->hashMask, a->hashMask);
    EXPECT_EQ(b->cellLimit, a->cellLimit);
    ASSERT_EQ(b->large.count, 1u);
    EXPECT_EQ(b->large.cells[0], small);
    ExpectNearV3(b->origin, a->origin, 0.0f);
    OlpBBox bounds;
    ASSERT_NE(OlpVolumeGetBBox(copy, nullptr, 1, &bounds), nullptr);
    ExpectNearV3(bounds.max, a->box.max, 0.0f);
    std::mt19937 random(8);
    std::uniform_real_distribution<float> coordinate(-20.0f, 20.0f);
    for (int n = 0; n < 100; ++n) {
        OlpBBox box = BoxAround({coordinate(random), coordinate(random), coordinate(random)},
                                0.5f + std::fabs(coordinate(random)) / 5);
        ASSERT_EQ(Query(copy, box), Query(grid, box)) << n;
    }
    // Written again, the rebuilt grid gives the same block.
    std::vector<uint8_t> again(bytes);
    EXPECT_EQ(OlpGridPackData(copy, again.data(), bytes), bytes);
    EXPECT_EQ(again, block);
    OlpVolumeDestroy(copy);
    OlpVolumeDestroy(grid);
}

TEST_F(VolumeGrid, MalformedDataBlocksAreRefused)
{
    OlpVolume* grid = OlpGridCreate(3);
    for (uint32_t i = 0; i < 3; ++i) {
        OlpVolume* cell = OlpSphereInit(OlpGridGetCell(grid, i), 0.5f);
        Matrix frame = Translation({2.0f * i, 0, 0});
        OlpVolumeSetFrame(cell, &frame);
    }
    // Not built yet: nothing to store.
    EXPECT_EQ(OlpGridDataSize(grid), 0u);
    EXPECT_EQ(OlpGridStreamWriteData(grid, nullptr), 0u);
    ASSERT_GT(OlpGridBuild(grid, 0.0f), 0u);
    std::vector<uint8_t> good(OlpGridDataSize(grid));
    ASSERT_EQ(OlpGridPackData(grid, good.data(), good.size()), good.size());
    const size_t fixed = 96;
    const size_t lists = fixed + 4 * 256 + 10 * OlpGridGetHeader(grid)->entryCount;
    auto put = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            b[at + k] = uint8_t(v >> (8 * k));
        }
    };
    struct Case
    {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    uint32_t nanBits;
    std::memcpy(&nanBits, &nan, 4);
    const Case cases[] = {
        {"magic", 0, 0x10000002},
        {"block bytes", 4, uint32_t(good.size() + 4)},
        {"cell count over the limit", 8, kOlpGridDataMaxCells + 1},
        {"hash mask not a power of two less one", 12, 300},
        {"hash mask too small", 12, 127},
        {"hash mask wrapping", 12, 0xFFFFFFFF},
        {"entry count", 16, 0xFFFFFFF0},
        {"list length", 20, 7},
        {"inverse cell size", 32, nanBits},
        {"negative radius", 68, 0xBF800000},
        {"box too wide for its cells", 84, 0x4E6E6B28},
        {"slot counts off", fixed, 0x7FFFFFFF},
        {"entry moved to another cell", fixed + 4 * 256, 0x7F7F7F7F},
        {"cell index out of range", lists, 3},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        put(bad, c.at, c.value);
        OlpVolume volume;
        EXPECT_EQ(OlpGridInitFromData(&volume, bad.data(), bad.size()), nullptr) << c.what;
        EXPECT_EQ(volume.descriptor->typeId, uint32_t(kOlpTypeNull)) << c.what;
    }
    OlpVolume volume;
    for (size_t cut : {size_t(0), size_t(4), fixed - 1, good.size() - 1}) {
        EXPECT_EQ(OlpGridInitFromData(&volume, good.data(), cut), nullptr) << cut;
    }
    ASSERT_NE(OlpGridInitFromData(&volume, good.data(), good.size()), nullptr);
    OlpVolumeDestroyContents(&volume);
    OlpVolumeDestroy(grid);
}

TEST_F(VolumeGrid, AGridOfCellsWithoutBoxesStoresAsAnEmptyGrid)
{
    OlpVolume* grid = OlpGridCreate(4);
    EXPECT_EQ(OlpGridBuild(grid, 0.0f), 0u);
    std::vector<uint8_t> block(OlpGridDataSize(grid));
    ASSERT_EQ(OlpGridPackData(grid, block.data(), block.size()), block.size());
    OlpVolume copy;
    ASSERT_NE(OlpGridInitFromData(&copy, block.data(), block.size()), nullptr);
    EXPECT_EQ(OlpGridGetCellCount(&copy), 4u);
    EXPECT_TRUE(Query(&copy, BoxAround({0, 0, 0}, 10.0f)).empty());
    OlpVolumeDestroyContents(&copy);
    OlpVolumeDestroy(grid);
}
