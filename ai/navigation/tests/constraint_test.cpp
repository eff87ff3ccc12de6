#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_cost_data.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <cmath>

namespace Zelk {
namespace {

// Two ways from S (0) to G (3): north through N (1) and south through P (2).
// The northern way is a little shorter.
class TwoWays : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NavTest::StartWorld(NavTest::WorldText(1.0f));
        const CVec3 positions[] = {CVec3(0, 0, 0), CVec3(5, 0, 4), CVec3(5, 0, -5), CVec3(10, 0, 0)};
        for (const CVec3& p : positions) {
            CGraphNodeData record;
            record.position = p;
            graph.AddNode(record);
        }
        for (auto [a, b] : {std::pair{0, 1}, {1, 3}, {0, 2}, {2, 3}}) {
            CGraphArcData arc;
            arc.length = std::sqrt(
                CVec3::SquaredDistance(graph.GetNode(a)->GetPosition(), graph.GetNode(b)->GetPosition()));
            graph.AddArc(arc, graph.GetNode(a), graph.GetNode(b));
        }
        ASSERT_TRUE(AstarMemoryInit(4));
        path.SetCapacity(4);
        graph.SetHeuristic(&euclid);
    }
    void TearDown() override
    {
        AstarMemoryFree();
        NavTest::StopWorld();
    }
    // The middle node of the path found with the constraint.
    uint32_t Via(CConstraint& constraint)
    {
        graph.SetConstraint(&constraint);
        EXPECT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(3), nullptr));
        return path.count == 3 ? path.nodeIndices[1] : 99u;
    }
    CSpatialGraph graph;
    CHeuristicEuclidianDistance euclid;
    CPathRecord path;
};

TEST_F(TwoWays, ShortestPathTakesTheShorterWay)
{
    CConstraintShortestPath shortest;
    EXPECT_EQ(Via(shortest), 1u);
}

TEST_F(TwoWays, StealthPathAvoidsAThreatThatSeesTheWay)
{
    CConstraintStealthPath stealth;
    EXPECT_TRUE(stealth.AddThreatPoint(CVec3(5, 0, 20)));
    EXPECT_EQ(Via(stealth), 2u);
    // A wall between the threat and the northern node hides it again.
    NavTest::Host().AddBox(CVec3(-100, -1, 10), CVec3(100, 1, 11));
    EXPECT_EQ(Via(stealth), 1u);
}

TEST_F(TwoWays, FleePathAvoidsTheThreat)
{
    CConstraintPointToFleePath flee;
    EXPECT_TRUE(flee.AddThreatPoint(CVec3(5, 0, 6)));
    EXPECT_EQ(Via(flee), 2u);
}

// An entity standing somewhere and looking somewhere, for the threat lists.
class CWatcher : public CEntity
{
  public:
    CWatcher(const CVec3& position, const CVec3& direction) : CEntity("watcher", nullptr)
    {
        SetPosition(position);
        SetDirection(direction);
    }
    const CClassRecord* GetClassRecord() const override { return &s_record; }
    void Update() override {}
    static CEntityClassRecord s_record;
};
CEntityClassRecord CWatcher::s_record("TestOnlyWatcher", nullptr);

TEST_F(TwoWays, ConeVisionStealthPathAvoidsWhatAWatcherLooksAt)
{
    CWatcher watcher(CVec3(5, 0, 20), CVec3(0, 0, -1));
    CEntityVisualAcuteness* vision = watcher.CreateAttribute<CEntityVisualAcuteness>();
    ASSERT_NE(vision, nullptr);
    vision->SetAngle(30.0f);
    CConstraintConeVisionStealthPath cone;
    ASSERT_TRUE(cone.AddThreatEntity(&watcher));
    EXPECT_EQ(Via(cone), 2u);
    // Looking the other way it sees nothing of the northern way.
    watcher.SetDirection(CVec3(0, 0, 1));
    EXPECT_EQ(Via(cone), 1u);
}

TEST_F(TwoWays, StealthPathCountsThreatEntities)
{
    CWatcher watcher(CVec3(5, 0, 20), CVec3(0, 0, 1));
    CConstraintStealthPath stealth;
    ASSERT_TRUE(stealth.AddThreatEntity(&watcher));
    EXPECT_EQ(Via(stealth), 2u);
    watcher.SetPosition(CVec3(5, 0, -21));
    EXPECT_EQ(Via(stealth), 1u);
}

TEST_F(TwoWays, AnOverestimatingHeuristicChangesTheAnswer)
{
    CConstraintShortestPath shortest;
    CPathCostData data(&graph);
    // Costs of 1 everywhere, but 200 (scale 1) from the northern node to the goal.
    std::vector<uint8_t> table(16, 1);
    table[1 * 4 + 3] = 200;
    ASSERT_TRUE(data.SetTable(table, 1.0f));
    CPathCostHeuristic heuristic;
    heuristic.SetData(&data);
    graph.SetHeuristic(&heuristic);
    EXPECT_EQ(Via(shortest), 2u);
    // 255 refuses the pair: the northern node is never entered.
    table[1 * 4 + 3] = 255;
    ASSERT_TRUE(data.SetTable(table, 1.0f));
    EXPECT_EQ(Via(shortest), 2u);
    CZeroHeuristic zero;
    graph.SetHeuristic(&zero);
    EXPECT_EQ(Via(shortest), 1u);
}

TEST(PathCostHeuristic, RefusesWithoutUsableData)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 2, 1, 1.0f, 0, 1);
    CPathCostHeuristic heuristic;
    float estimate = -1.0f;
    EXPECT_FALSE(heuristic.Estimate(nullptr, graph.GetNode(0), graph.GetNode(1), &estimate));
    CPathCostData data(&graph);
    heuristic.SetData(&data);
    EXPECT_FALSE(heuristic.Estimate(nullptr, graph.GetNode(0), graph.GetNode(1), &estimate));
    ASSERT_TRUE(data.SetTable({0, 4, 8, 0}, 2.0f));
    ASSERT_TRUE(heuristic.Estimate(nullptr, graph.GetNode(0), graph.GetNode(1), &estimate));
    EXPECT_FLOAT_EQ(estimate, 2.0f);
    EXPECT_FALSE(data.SetTable({0, 4, 8, 0}, 0.0f));
    // A node added after the data was made has no row: refused, not read past the table.
    CGraphNodeData record;
    graph.AddNode(record);
    EXPECT_FALSE(heuristic.Estimate(nullptr, graph.GetNode(0), graph.GetNode(2), &estimate));
}

float FleeCost(const CVec3& from, const CVec3& to, const CVec3& threat)
{
    CSpatialGraph graph;
    for (const CVec3& p : {from, to}) {
        CGraphNodeData record;
        record.position = p;
        graph.AddNode(record);
    }
    CGraphArcData arc;
    arc.length = 1.0f;
    graph.AddArc(arc, graph.GetNode(0), graph.GetNode(1));
    CConstraintPointToFleePath flee;
    flee.AddThreatPoint(threat);
    float cost = 0.0f;
    EXPECT_TRUE(flee.ComputeCost(nullptr, graph.GetArc(0), &cost));
    return cost;
}

TEST(FleeConstraint, FactorFollowsTheDistanceToTheArc)
{
    NavTest::StartWorld(NavTest::WorldText(1.0f)); // radius 20, penalty 20
    EXPECT_FLOAT_EQ(FleeCost(CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(5, 0, 20)), 1.0f);
    EXPECT_FLOAT_EQ(FleeCost(CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(5, 0, 0)), 21.0f);
    // Beyond the end: measured to the end point (distance 10: share 1/2).
    EXPECT_FLOAT_EQ(FleeCost(CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(20, 0, 0)), 1.0f + 20.0f * 0.125f);
    // An arc of length 0 measures from its from-point instead of dividing by 0.
    const float zero = FleeCost(CVec3(0, 0, 0), CVec3(0, 0, 0), CVec3(10, 0, 0));
    EXPECT_FLOAT_EQ(zero, 1.0f + 20.0f * 0.125f);
    NavTest::StopWorld();
}

TEST(StealthConstraint, TwentyFirstThreatIsRefused)
{
    CConstraintStealthPath stealth;
    CConstraintPointToFleePath flee;
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(stealth.AddThreatPoint(CVec3(float(i), 0, 0)));
        EXPECT_TRUE(flee.AddThreatEntity(nullptr));
    }
    EXPECT_FALSE(stealth.AddThreatPoint(CVec3(0, 0, 0)));
    EXPECT_FALSE(flee.AddThreatEntity(nullptr));
}

TEST(SearchClassRecords, ConstraintsAndHeuristicsAreFoundByName)
{
    for (const char* name : {"CConstraintShortestPath", "CConstraintStealthPath",
                             "CConstraintConeVisionStealthPath", "CConstraintPointToFleePath"}) {
        const CConstraintClassRecord* record = CConstraintClassRecord::Find(name);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_TRUE(record->IsA(&CConstraint::BaseRecord())) << name;
        CConstraint* constraint = record->GetCreator()();
        ASSERT_NE(constraint, nullptr);
        EXPECT_EQ(constraint->GetClassRecord(), record);
        delete constraint;
    }
    EXPECT_EQ(CConstraint::BaseRecord().GetCreator(), nullptr);
    for (const char* name : {"CHeuristicEuclidianDistance", "CZeroHeuristic", "CPathCostHeuristic"}) {
        const CHeuristicClassRecord* record = CHeuristicClassRecord::Find(name);
        ASSERT_NE(record, nullptr) << name;
        CHeuristic* heuristic = record->GetCreator()();
        EXPECT_EQ(heuristic->GetClassRecord(), record);
        delete heuristic;
    }
}

TEST(SearchClassRecords, AReplacingHeuristicRecordKeepsTheSlot)
{
    // Records live as long as the program; these two are the test's own.
    static CHeuristicClassRecord first("TestOnlyHeuristic", nullptr);
    const int count = CHeuristicClassRecord::GetCount();
    static CHeuristicClassRecord replacement("TestOnlyHeuristic", nullptr);
    EXPECT_EQ(replacement.GetIndex(), first.GetIndex());
    EXPECT_EQ(CHeuristicClassRecord::GetCount(), count);
    EXPECT_EQ(CHeuristicClassRecord::Find("TestOnlyHeuristic"), &replacement);
}

} // namespace
} // namespace Zelk
