#include "ai/navigation/graph_queries.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

namespace Zelk {
namespace {

class GraphQueriesTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NavTest::StartWorld(NavTest::WorldText(1.0f));
        // A row of nodes 0..4 at x = 0, 2, 4, 6, 8; node 4 has no arcs at all.
        for (int i = 0; i < 5; ++i)
            AddNodeAtPosition(graph, CVec3(float(i) * 2.0f, 0.0f, 0.0f));
        for (int i = 0; i + 1 < 4; ++i) {
            CGraphArcData arc;
            arc.length = 2.0f;
            graph.AddArc(arc, graph.GetNode(i), graph.GetNode(i + 1));
        }
    }
    void TearDown() override { NavTest::StopWorld(); }
    CSpatialGraph graph;
};

TEST_F(GraphQueriesTest, NearestNodeWithFilters)
{
    EXPECT_EQ(FindNearestNode(graph, CVec3(7.9f, 0, 0), false, false), graph.GetNode(4));
    // Node 4 is isolated, node 3 has no out-arc, node 0 no in-arc.
    EXPECT_EQ(FindNearestNode(graph, CVec3(7.9f, 0, 0), true, false), graph.GetNode(2));
    EXPECT_EQ(FindNearestNode(graph, CVec3(7.9f, 0, 0), false, true), graph.GetNode(3));
    EXPECT_EQ(FindNearestNode(graph, CVec3(-3.0f, 0, 0), false, true), graph.GetNode(1));
    CSpatialGraph empty;
    EXPECT_EQ(FindNearestNode(empty, CVec3(0, 0, 0), false, false), nullptr);
}

TEST_F(GraphQueriesTest, NearestNodeForEntityPrefersReachableNodes)
{
    // Search radius 1.5 x 2 = 3.
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(2.5f, 0, 0), nullptr, 1.0f, false, false),
              graph.GetNode(1));
    // A wall between the point and node 1: node 2 is farther but reachable.
    NavTest::Host().AddBox(CVec3(2.2f, -1, -1), CVec3(2.3f, 1, 1));
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(2.5f, 0, 0), nullptr, 1.0f, false, false),
              graph.GetNode(2));
    // Walls on both sides: the nearest one is taken anyway.
    NavTest::Host().AddBox(CVec3(3.0f, -1, -1), CVec3(3.1f, 1, 1));
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(2.5f, 0, 0), nullptr, 1.0f, false, false),
              graph.GetNode(1));
    // Beyond the radius nothing is found.
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(20.0f, 0, 0), nullptr, 1.0f, false, false), nullptr);
}

TEST_F(GraphQueriesTest, HeightWindowOfTheEntityQuery)
{
    // The point 2.5 above node 2: outside the window for h = 1 (1.5 h above is
    // the limit for nodes above the point, 2 h for nodes below it).
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(4.0f, 2.5f, 0), nullptr, 1.0f, false, false), nullptr);
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(4.0f, 1.9f, 0), nullptr, 1.0f, false, false),
              graph.GetNode(2));
    EXPECT_EQ(FindNearestNodeForEntity(graph, CVec3(4.0f, 2.5f, 0), nullptr, -1.0f, false, false),
              graph.GetNode(2));
}

TEST_F(GraphQueriesTest, NearestArcAndVisibleNode)
{
    EXPECT_EQ(FindNearestArc(graph, CVec3(5.0f, 0, 1), 1.0f),
              CSpatialGraph::FindOutArcTo(graph.GetNode(2), graph.GetNode(3)));
    EXPECT_EQ(FindNearestArc(graph, CVec3(5.0f, 9.0f, 1), 1.0f), nullptr);
    NavTest::Host().AddBox(CVec3(6.5f, -1, -1), CVec3(6.6f, 1, 1));
    EXPECT_EQ(FindNearestVisibleNode(graph, CVec3(7.0f, 0, 0), nullptr, false, false), graph.GetNode(4));
    // The first filtered node is taken untested; a nearer unreachable one does not replace it.
    EXPECT_EQ(FindNearestVisibleNode(graph, CVec3(7.0f, 0, 0), nullptr, true, false), graph.GetNode(0));
}

TEST_F(GraphQueriesTest, DrawingCoversGraphsWithHoles)
{
    graph.RemoveNode(1);
    DrawGraph(graph, 1, 2, 3);
    // Node 4 sits above the node count (4) and is drawn too.
    EXPECT_EQ(NavTest::Host().GetPoints().size(), 4u);
    EXPECT_EQ(NavTest::Host().GetLines().size(), 1u);
    EXPECT_EQ(NavTest::Host().GetPoints().back().p.x, 8.0f);
    NavTest::Host().ClearDrawing();
    CPathRecord path;
    path.SetCapacity(3);
    path.count = 3;
    path.positions = {CVec3(0, 0, 0), CVec3(1, 0, 0), CVec3(2, 0, 0)};
    DrawPath(path);
    ASSERT_EQ(NavTest::Host().GetPoints().size(), 3u);
    EXPECT_EQ(NavTest::Host().GetPoints()[2].green, 255);
    EXPECT_EQ(NavTest::Host().GetPoints()[2].blue, 0);
    EXPECT_EQ(NavTest::Host().GetLines().size(), 2u);
}

} // namespace
} // namespace Zelk
