// The far field against a brute force over the grown boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/farfield/farfield.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

/// A far field in its own two blocks.
class Field
{
  public:
    Field(uint32_t objects, uint32_t pairs, float half = 100.0f, float margin = 0.01f)
    {
        listsArea = OlpAlignedAlloc(OlpFarfieldSize(objects, pairs), 16, kOlpMemoryHint);
        gridArea = OlpAlignedAlloc(OlpFarfieldGridSize(objects), 16, kOlpMemoryHint);
        OlpBBox world{};
        world.min = {-half, -half, -half};
        world.max = {half, half, half};
        lists = OlpFarfieldInit(listsArea, objects, pairs);
        table = OlpFarfieldInitGrid(gridArea, lists, objects, &world, margin);
        present.assign(objects, 0);
    }
    ~Field()
    {
        OlpAlignedFree(listsArea);
        OlpAlignedFree(gridArea);
    }
    void Insert(uint32_t id, const OlpBBox& box)
    {
        ASSERT_TRUE(OlpFarfieldInsert(table, id, &box));
        present[id] = 1;
    }
    void Remove(uint32_t id)
    {
        ASSERT_TRUE(OlpFarfieldRemove(table, id));
        present[id] = 0;
    }
    /// Every present object's partners equal the brute-force overlaps.
    void ExpectPairsMatch(const std::vector<std::pair<uint16_t, uint16_t>>& excludedGroups = {})
    {
        std::vector<uint16_t> out(present.size());
        for (uint32_t id = 0; id < present.size(); ++id) {
            if (!present[id]) {
                ASSERT_EQ(OlpFarfieldListPairs(lists, id, out.data(), nullptr, 1), 0u);
                continue;
            }
            uint32_t count = OlpFarfieldListPairs(lists, id, out.data(), nullptr, 1);
            std::vector<uint16_t> listed(out.begin(), out.begin() + count);
            std::vector<uint16_t> expected;
            for (uint32_t other = 0; other < present.size(); ++other) {
                if (other == id || !present[other] ||
                    !OlpBBoxOverlap(&table->boxes[id], &table->boxes[other])) {
                    continue;
                }
                bool excluded = false;
                for (auto [a, b] : excludedGroups) {
                    uint16_t ga = table->groups[id], gb = table->groups[other];
                    excluded |= (ga == a && gb == b) || (ga == b && gb == a);
                }
                if (!excluded) {
                    expected.push_back(static_cast<uint16_t>(other));
                }
            }
            ASSERT_EQ(listed, expected) << "object " << id;
        }
    }
    void* listsArea;
    void* gridArea;
    OlpPairLists* lists;
    OlpFarfield* table;
    std::vector<char> present;
};

OlpBBox RandomBox(std::mt19937& random, float spread, float size)
{
    std::uniform_real_distribution<float> coordinate(-spread, spread);
    std::uniform_real_distribution<float> extent(0.1f * size, size);
    V3d centre = {coordinate(random), coordinate(random), coordinate(random)};
    V3d half = {extent(random), extent(random), extent(random)};
    OlpBBox box{};
    box.min = centre - half;
    box.max = centre + half;
    return box;
}

class Farfield : public StartedEngineTest
{
};

} // namespace

TEST_F(Farfield, RandomInsertsMovesAndRemovesMatchBruteForce)
{
    Field field(300, 4000);
    std::mt19937 random(1);
    for (int step = 0; step < 1000; ++step) {
        uint32_t id = random() % 300;
        if (field.present[id] && random() % 4 == 0) {
            field.Remove(id);
        } else {
            field.Insert(id, RandomBox(random, 40.0f, 4.0f)); // a move when present
        }
        field.ExpectPairsMatch();
        if (HasFatalFailure()) {
            FAIL() << "step " << step;
        }
    }
}

// Walks skip the parts of the tree whose bounds miss the query box; those
// bounds must keep holding every entry while boxes drift away from where
// they were filed and after the bounds are built again (every 120
// removals here).
TEST_F(Farfield, QueriesAndPairsFollowBoxesThatDriftAcrossTheTree)
{
    Field field(120, 4000);
    std::mt19937 random(3);
    std::vector<OlpBBox> boxes;
    for (uint32_t id = 0; id < 120; ++id) {
        boxes.push_back(RandomBox(random, 6.0f, 1.0f));
        field.Insert(id, boxes[id]);
    }
    std::uniform_real_distribution<float> step(-0.2f, 0.6f);
    for (int round = 0; round < 40; ++round) {
        for (uint32_t id = 0; id < 120; ++id) {
            // A drift along +x with some spread: every box leaves its cell.
            V3d move = {step(random), 0.5f * step(random), -0.5f * step(random)};
            boxes[id].min = boxes[id].min + move;
            boxes[id].max = boxes[id].max + move;
            field.Insert(id, boxes[id]);
        }
        field.ExpectPairsMatch();
        OlpBBox query = RandomBox(random, 6.0f, 3.0f);
        query.min.x += 0.2f * static_cast<float>(round);
        query.max.x += 0.2f * static_cast<float>(round);
        std::vector<uint32_t> found, expected;
        OlpFarfieldQuery(
            field.table, &query,
            [](uint32_t id, void* data) { static_cast<std::vector<uint32_t>*>(data)->push_back(id); },
            &found);
        for (uint32_t id = 0; id < 120; ++id) {
            if (OlpBBoxOverlap(&field.table->boxes[id], &query)) {
                expected.push_back(id);
            }
        }
        std::sort(found.begin(), found.end());
        ASSERT_EQ(found, expected) << "round " << round;
        if (HasFatalFailure()) {
            FAIL() << "round " << round;
        }
    }
}

TEST_F(Farfield, TouchingBoxesPairAndBoxesReadBackAsInserted)
{
    Field field(4, 8, 100.0f, 0.0f);
    OlpBBox a{}, b{};
    a.min = {0, 0, 0};
    a.max = {1, 1, 1};
    b.min = {1, 0, 0};
    b.max = {2, 1, 1};
    field.Insert(0, a);
    field.Insert(1, b);
    uint16_t out[4];
    EXPECT_EQ(OlpFarfieldListPairs(field.lists, 0, out, nullptr, 0), 1u);
    EXPECT_EQ(out[0], 1);
    // Re-inserting keeps one pair per partner.
    field.Insert(1, b);
    field.Insert(0, a);
    EXPECT_EQ(OlpFarfieldListPairs(field.lists, 1, out, nullptr, 0), 1u);
    // The excluded set leaves partners out.
    uint32_t excluded[1] = {1u << 1};
    EXPECT_EQ(OlpFarfieldListPairs(field.lists, 0, out, excluded, 0), 0u);

    Field grown(2, 2, 100.0f, 0.25f);
    grown.Insert(0, a);
    OlpBBox back;
    ASSERT_NE(OlpFarfieldGetBox(grown.table, 0, &back), nullptr);
    EXPECT_FLOAT_EQ(back.max.x, 1.0f);
    EXPECT_FLOAT_EQ(back.min.y, 0.0f);
    EXPECT_FLOAT_EQ(grown.table->boxes[0].max.x, 1.25f);
    EXPECT_EQ(OlpFarfieldGetBox(grown.table, 1, &back), nullptr);
    EXPECT_FALSE(OlpFarfieldInsert(grown.table, 2, &a));
    EXPECT_FALSE(OlpFarfieldRemove(grown.table, 1));
}

TEST_F(Farfield, ExcludedGroupsNeverPairInEitherOrder)
{
    OlpBitMatrix* matrix = OlpBitMatrixCreate(4, 4);
    ASSERT_NE(matrix, nullptr);
    OlpBitMatrixSetBit(matrix, 1 + 2 * 4, true); // groups 1 and 2, one orientation only
    for (int order = 0; order < 2; ++order) {
        Field field(3, 8);
        OlpFarfieldSetMode(field.table, matrix);
        OlpFarfieldSetObjectCell(field.table, 0, 1);
        OlpFarfieldSetObjectCell(field.table, 1, 2);
        EXPECT_EQ(OlpFarfieldGetObjectCell(field.table, 1), 2);
        OlpBBox box{};
        box.min = {0, 0, 0};
        box.max = {1, 1, 1};
        field.Insert(order == 0 ? 0 : 1, box);
        field.Insert(order == 0 ? 1 : 0, box);
        field.Insert(2, box);
        field.ExpectPairsMatch({{1, 2}});
        uint16_t out[4];
        EXPECT_EQ(OlpFarfieldListPairs(field.lists, 0, out, nullptr, 0), 1u);
        EXPECT_EQ(out[0], 2);
    }
    OlpBitMatrix* copy = OlpBitMatrixCopy(matrix);
    EXPECT_TRUE(OlpBitMatrixGetBit(copy, 9));
    EXPECT_FALSE(OlpBitMatrixGetBit(copy, 6));
    OlpBitMatrixDestroy(copy);
    OlpBitMatrixDestroy(matrix);
}

TEST_F(Farfield, ClusteredBoxesExhaustTheNodesAndStayRight)
{
    Field field(500, 30000);
    std::mt19937 random(2);
    for (uint32_t id = 0; id < 500; ++id) {
        if (id == 100) {
            // No node left from here on: crowded cells keep their lists.
            EXPECT_NE(field.table->nodeFreeHead, kOlpFarfieldNone);
            field.table->nodeFreeHead = kOlpFarfieldNone;
        }
        field.Insert(id, RandomBox(random, 2.0f, 0.3f));
    }
    field.ExpectPairsMatch();
    for (uint32_t id = 0; id < 500; id += 3) {
        field.Remove(id);
    }
    field.ExpectPairsMatch();
}

TEST_F(Farfield, LargeTablesAndRefusedCapacities)
{
    Field field(3000, 6000, 200.0f);
    std::mt19937 random(4);
    for (uint32_t id = 0; id < 3000; ++id) {
        field.Insert(id, RandomBox(random, 150.0f, 2.0f));
    }
    field.ExpectPairsMatch();
    EXPECT_GT(field.table->nodeCount, 408u);
    EXPECT_EQ(OlpFarfieldSize(65535, 0), 0u);
    EXPECT_EQ(OlpFarfieldSize(1000, 32300), 0u);
    EXPECT_NE(OlpFarfieldSize(1000, 32266), 0u);
}

TEST_F(Farfield, NoFreePairNodeDropsThePairCleanly)
{
    Field field(4, 1); // one pair fits
    OlpBBox box{};
    box.min = {0, 0, 0};
    box.max = {1, 1, 1};
    field.Insert(0, box);
    field.Insert(1, box);
    field.Insert(2, box);
    uint16_t out[4];
    uint32_t total = 0;
    for (uint32_t id = 0; id < 3; ++id) {
        total += OlpFarfieldListPairs(field.lists, id, out, nullptr, 0);
    }
    EXPECT_EQ(total, 4u); // two pairs: one from the capacity, one from the two spare nodes
    field.Remove(0);
    field.Remove(1);
    field.Insert(3, box);
    EXPECT_EQ(OlpFarfieldListPairs(field.lists, 3, out, nullptr, 0), 1u);
}
