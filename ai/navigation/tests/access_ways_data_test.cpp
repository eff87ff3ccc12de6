#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/spatial_graph.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <set>

namespace Zelk {
namespace {

// A corridor of 6 nodes along x, joined both ways, with a tall wall between
// nodes 2 and 3 that has a door high up -- except that the wall is solid: the
// nodes 0..2 see each other, and so do 3..5.
class AccessWaysTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NavTest::StartWorld(NavTest::WorldText(1.0f));
        for (int i = 0; i < 6; ++i)
            AddNodeAtPosition(graph, CVec3(float(i) * 2.0f, 0.0f, 0.0f));
        for (int i = 0; i + 1 < 6; ++i) {
            CGraphArcData arc;
            arc.length = 2.0f;
            graph.AddArc(arc, graph.GetNode(i), graph.GetNode(i + 1));
            graph.AddArc(arc, graph.GetNode(i + 1), graph.GetNode(i));
        }
    }
    void TearDown() override { NavTest::StopWorld(); }

    std::set<int32_t> WaysOf(const CAccessWaysData& data, int32_t node)
    {
        const uint16_t* list = nullptr;
        const int32_t count = data.GetAccessWays(node, list);
        return std::set<int32_t>(list, list + count);
    }
    int32_t ArcIndex(int32_t from, int32_t to)
    {
        return CSpatialGraph::FindOutArcTo(graph.GetNode(from), graph.GetNode(to))->GetIndex();
    }

    CSpatialGraph graph;
};

TEST_F(AccessWaysTest, OpenFloorHasNoWays)
{
    CAccessWaysData data(&graph);
    ASSERT_TRUE(data.Build());
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_TRUE(WaysOf(data, i).empty()) << i;
}

TEST_F(AccessWaysTest, AWallMakesTheArcThroughTheDoorTheWay)
{
    // The wall stands between x = 4 and x = 6, from the floor up to 3 m: no
    // offset segment (the highest is 0.9 m up) passes above it.
    NavTest::Host().AddBox(CVec3(4.9f, -1.0f, -5.0f), CVec3(5.1f, 3.0f, 5.0f));
    CAccessWaysData data(&graph);
    ASSERT_TRUE(data.Build());
    // From the left room the way in is the arc 3 -> 2; from the right room 2 -> 3.
    for (int32_t i : {0, 1, 2})
        EXPECT_EQ(WaysOf(data, i), std::set<int32_t>{ArcIndex(3, 2)}) << i;
    for (int32_t i : {3, 4, 5})
        EXPECT_EQ(WaysOf(data, i), std::set<int32_t>{ArcIndex(2, 3)}) << i;
    const uint16_t* list = nullptr;
    EXPECT_EQ(data.GetAccessWays(6, list), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(data.GetAccessWays(-1, list), 0);
}

TEST_F(AccessWaysTest, ALowWallIsSeenOver)
{
    // A wall lower than the 0.7 m segment hides nothing.
    NavTest::Host().AddBox(CVec3(4.9f, -1.0f, -5.0f), CVec3(5.1f, 0.5f, 5.0f));
    CAccessWaysData data(&graph);
    ASSERT_TRUE(data.Build());
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_TRUE(WaysOf(data, i).empty()) << i;
}

TEST_F(AccessWaysTest, FileRoundTripAndRefusals)
{
    NavTest::Host().AddBox(CVec3(4.9f, -1.0f, -5.0f), CVec3(5.1f, 3.0f, 5.0f));
    CAccessWaysData data(&graph);
    ASSERT_TRUE(data.Build());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(data.WriteToMemory(bytes));
    ASSERT_EQ(bytes.size(), 29u + 2u * 6u + 2u * 6u);
    const std::string file = NavTest::OutputPath("corridor.aw");
    ASSERT_TRUE(data.Write(file.c_str()));
    CAccessWaysData read(&graph);
    ASSERT_TRUE(read.ReadFromFile(file.c_str()));
    EXPECT_EQ(WaysOf(read, 4), WaysOf(data, 4));

    const auto refused = [&](std::vector<uint8_t> bad, ENavError error) {
        NavClearError();
        EXPECT_FALSE(read.ReadFromMemory(bad.data(), bad.size()));
        EXPECT_EQ(NavGetLastError(), error);
    };
    std::vector<uint8_t> bad = bytes;
    bad[0] = 'v';
    refused(bad, ENavError::WrongMagic);
    bad = bytes;
    bad[23] = 2;
    refused(bad, ENavError::WrongVersion);
    bad = bytes;
    bad[27] = 7; // node count of another graph
    refused(bad, ENavError::BadCount);
    bad = bytes;
    bad[29] = 200; // node 0's list longer than the data
    refused(bad, ENavError::Truncated);
    bad = bytes;
    bad[bytes.size() - 1] = 0x7F; // an arc index the graph does not have
    refused(bad, ENavError::BadIndex);
    for (size_t length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(read.ReadFromMemory(bytes.data(), length)) << length;
}

TEST_F(AccessWaysTest, BuildRefusesWhatTheFileCannotHold)
{
    CSpatialGraph empty;
    CAccessWaysData none(&empty);
    EXPECT_FALSE(none.Build());
    CGraphArcData arc;
    graph.AddArc(arc, graph.GetNode(0), graph.GetNode(5), 70000);
    CAccessWaysData data(&graph);
    EXPECT_FALSE(data.Build());
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
}

} // namespace
} // namespace Zelk
