// Access-way generation: arcs from hidden places into the area a node sees,
// one per direction, written as access-ways data.
#include "ai/behaviours/access_ways_generate.h"
#include "ai/navigation/walkable_grid.h"
#include "escort_test_host.h"
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

namespace Zelk {
namespace {

class AccessWaysGenerateTest : public ::testing::Test
{
  protected:
    void SetUp() override { EscortTest::StartWorld(); }
    void TearDown() override { EscortTest::StopWorld(); }
};

// Node i's access ways as (from, to) node pairs, checked against the generator's rules.
void CheckLists(CSpatialGraph& graph, const std::vector<std::vector<uint16_t>>& lists)
{
    for (size_t i = 0; i < lists.size(); ++i) {
        const CVec3 p = graph.GetNode(int32_t(i))->GetPosition();
        std::vector<CVec3> directions;
        for (uint16_t a : lists[i]) {
            const CGraphArc* arc = graph.GetArc(a);
            ASSERT_NE(arc, nullptr);
            EXPECT_NE(arc->GetFrom()->GetIndex(), int32_t(i));
            EXPECT_NE(arc->GetTo()->GetIndex(), int32_t(i));
            const CVec3 d = arc->GetTo()->GetPosition() - p;
            const CVec3 h = CVec3(d.x, 0.0f, d.z).GetNormalized();
            for (const CVec3& other : directions)
                EXPECT_LT(h.Dot(other), 0.9848f) << "node " << i;
            directions.push_back(h);
        }
        EXPECT_LE(lists[i].size(), 36u);
    }
}

TEST_F(AccessWaysGenerateTest, OpenGroundHasNoAccessWays)
{
    CSpatialGraph graph;
    BuildWalkableGridGraph(graph, CVec3(), 5, 5, 1.0f, 0.5f);
    CAccessWaysGenerator generator;
    generator.graph = &graph;
    const auto lists = AccessWaysCompute(generator);
    ASSERT_EQ(lists.size(), 25u);
    for (const auto& list : lists)
        EXPECT_TRUE(list.empty());
}

TEST_F(AccessWaysGenerateTest, AWallMakesWaysAroundItsEnds)
{
    // A wall across the middle of a 9 x 9 field, open at both ends.
    EscortTest::Host().AddBox(CVec3(1.5f, 0.0f, 3.8f), CVec3(6.5f, 3.0f, 4.2f));
    CSpatialGraph graph;
    BuildWalkableGridGraph(graph, CVec3(), 9, 9, 1.0f, 0.5f);
    CAccessWaysGenerator generator;
    generator.graph = &graph;
    const auto lists = AccessWaysCompute(generator);
    ASSERT_EQ(lists.size(), size_t(graph.GetNodeCount()));
    CheckLists(graph, lists);
    size_t total = 0;
    for (const auto& list : lists)
        total += list.size();
    EXPECT_GT(total, 0u);
    // A node right behind the middle of the wall sees the ways in around both ends.
    int32_t behind = -1;
    for (int32_t i = 0; i < graph.GetNodeCount(); ++i)
        if (graph.GetNode(i)->GetPosition() == CVec3(4.0f, 0.0f, 2.0f))
            behind = i;
    ASSERT_GE(behind, 0);
    bool left = false, right = false;
    for (uint16_t a : lists[size_t(behind)]) {
        const CVec3 to = graph.GetArc(a)->GetTo()->GetPosition();
        left = left || to.x < 4.0f;
        right = right || to.x > 4.0f;
    }
    EXPECT_TRUE(left && right);
}

TEST_F(AccessWaysGenerateTest, NodesAboveEachOtherNeedNoSidewaysTargets)
{
    CSpatialGraph graph;
    CGraphNode* a = AddNodeAtPosition(graph, CVec3(0.0f, 0.0f, 0.0f));
    CGraphNode* b = AddNodeAtPosition(graph, CVec3(0.0f, 5.0f, 0.0f));
    CGraphNode* c = AddNodeAtPosition(graph, CVec3(3.0f, 0.0f, 0.0f));
    CGraphArcData arc;
    graph.AddArc(arc, a, b);
    graph.AddArc(arc, b, c);
    // A floor between the levels hides b from a and c.
    EscortTest::Host().AddBox(CVec3(-10.0f, 2.5f, -10.0f), CVec3(10.0f, 2.6f, 10.0f));
    CAccessWaysGenerator generator;
    generator.graph = &graph;
    const auto lists = AccessWaysCompute(generator);
    ASSERT_EQ(lists.size(), 3u);
    CheckLists(graph, lists);
}

TEST_F(AccessWaysGenerateTest, WritesTheDataFileAndReportsFailures)
{
    EscortTest::Host().AddBox(CVec3(1.5f, 0.0f, 2.8f), CVec3(4.5f, 3.0f, 3.2f));
    CSpatialGraph graph;
    BuildWalkableGridGraph(graph, CVec3(), 7, 7, 1.0f, 0.5f);
    CAccessWaysGenerator generator;
    generator.graph = &graph;
    const std::string name = EscortTest::OutputPath("generation/aw.awl");
    ASSERT_TRUE(AccessWaysGenerateTo(generator, name.c_str()));
    CAccessWaysData data(&graph);
    ASSERT_TRUE(data.ReadFromFile(name.c_str()));
    const auto lists = AccessWaysCompute(generator);
    for (int32_t i = 0; i < graph.GetNodeCount(); ++i) {
        const uint16_t* list = nullptr;
        const int32_t count = data.GetAccessWays(i, list);
        ASSERT_EQ(count, int32_t(lists[size_t(i)].size()));
        for (int32_t k = 0; k < count; ++k)
            EXPECT_EQ(list[k], lists[size_t(i)][size_t(k)]);
    }
    // A file that cannot be written is a failure, and so is a graph without nodes.
    const std::string blocker = EscortTest::OutputPath("not-a-directory");
    std::ofstream(blocker) << "x";
    EXPECT_FALSE(AccessWaysGenerateTo(generator, (blocker + "/aw.awl").c_str()));
    CSpatialGraph empty;
    generator.graph = &empty;
    EXPECT_FALSE(AccessWaysGenerateTo(generator, name.c_str()));
    generator.graph = nullptr;
    EXPECT_FALSE(AccessWaysGenerate(generator));
}

} // namespace
} // namespace Zelk
