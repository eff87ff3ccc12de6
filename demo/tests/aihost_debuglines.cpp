// The AI's debug lines: what the buffer gathers, how it is handed out in
// batches, and what a failed growth does.
#include <gtest/gtest.h>

#include <vector>

#include "demo/aidebuglines.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/d3d9/im3d.h"

namespace {

class AiDebugLines : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        ASSERT_TRUE(EngineTestInit(CountingMemory::Table()));
        ASSERT_EQ(DebugLinesInit(0.5f), 1);
    }

    void TearDown() override
    {
        DebugLinesTerm();
        EngineTestShutdown();
        EXPECT_EQ(CountingMemory::live, 0);
    }

    static std::vector<int32_t> Batches()
    {
        std::vector<int32_t> sizes;
        DebugLinesForEachBatch([](Im3DVertex*, int32_t count,
                                  void* data) { static_cast<std::vector<int32_t>*>(data)->push_back(count); },
                               &sizes);
        return sizes;
    }
};

TEST_F(AiDebugLines, LinesAndCrossesGatherTheirVertices)
{
    const float p[3] = {1.0f, 2.0f, 3.0f}, q[3] = {4.0f, 5.0f, 6.0f};
    EXPECT_EQ(DebugDrawLine(p, q, 0x10, 0x20, 0x30), 1);
    EXPECT_EQ(DebugDrawLine(q, p, 255, 0, 255), 1);
    EXPECT_EQ(DebugDrawCross(p, 0, 255, 0), 1);
    ASSERT_EQ(DebugLinesCount(), 10);
    const Im3DVertex* v = DebugLinesVertices();
    EXPECT_EQ(v[0].colour, 0xFF102030u);
    EXPECT_EQ(v[1].x, 4.0f);
    EXPECT_EQ(v[3].colour, 0xFFFF00FFu);
    // The cross: three segments of half-size 0.5 through p.
    const float expected[6][3] = {{0.5f, 2.0f, 3.0f}, {1.5f, 2.0f, 3.0f}, {1.0f, 1.5f, 3.0f},
                                  {1.0f, 2.5f, 3.0f}, {1.0f, 2.0f, 2.5f}, {1.0f, 2.0f, 3.5f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[4 + i].x, expected[i][0]) << i;
        EXPECT_EQ(v[4 + i].y, expected[i][1]) << i;
        EXPECT_EQ(v[4 + i].z, expected[i][2]) << i;
        EXPECT_EQ(v[4 + i].colour, 0xFF00FF00u);
    }
    EXPECT_EQ(Batches(), (std::vector<int32_t>{10}));
    DebugLinesReset();
    EXPECT_EQ(DebugLinesCount(), 0);
    EXPECT_TRUE(Batches().empty());
}

TEST_F(AiDebugLines, ManyLinesAreHandedOutInFullBatchesThenTheRest)
{
    const float p[3] = {}, q[3] = {1.0f, 0.0f, 0.0f};
    for (int i = 0; i < 65003; ++i)
        ASSERT_EQ(DebugDrawLine(p, q, 1, 2, 3), 1);
    EXPECT_EQ(DebugLinesCount(), 130006);
    EXPECT_EQ(Batches(), (std::vector<int32_t>{kDebugLinesBatch, kDebugLinesBatch, 6}));
    DebugLinesReset();
    for (int i = 0; i < 65000; ++i)
        ASSERT_EQ(DebugDrawLine(p, q, 1, 2, 3), 1);
    EXPECT_EQ(Batches(), (std::vector<int32_t>{kDebugLinesBatch, kDebugLinesBatch}));
}

TEST_F(AiDebugLines, ALineThatFindsNoMemoryIsDropped)
{
    const float p[3] = {}, q[3] = {1.0f, 1.0f, 1.0f};
    CountingMemory::failAfter = 0;
    EXPECT_EQ(DebugDrawLine(p, q, 1, 2, 3), 0);
    EXPECT_EQ(DebugDrawCross(p, 1, 2, 3), 0);
    EXPECT_EQ(DebugLinesCount(), 0);
    DebugLinesFlush(); // nothing gathered: nothing drawn
    CountingMemory::failAfter = -1;
    EXPECT_EQ(DebugDrawLine(p, q, 1, 2, 3), 1);
    EXPECT_EQ(DebugLinesCount(), 2);
}

} // namespace
