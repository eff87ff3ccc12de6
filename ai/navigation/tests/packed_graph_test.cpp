// The search walks a packed copy of the graph: every kind of edit made after
// a search must be seen by the next one, which must answer exactly as a
// search on a graph built afresh with the edited content.
#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace Zelk {
namespace {

// The same nodes at the same indices and the same arcs (records, indices and
// out-arc order), built from nothing.
void CopyGraph(CSpatialGraph& from, CSpatialGraph& to)
{
    for (int32_t i = 0; i <= from.GetHighestNodeIndex(); ++i)
        if (const CGraphNode* node = from.GetNode(i))
            to.AddNode(node->GetData(), i);
    for (int32_t i = 0; i <= from.GetHighestNodeIndex(); ++i) {
        const CGraphNode* node = from.GetNode(i);
        for (int32_t a = 0; node != nullptr && a < node->GetOutArcCount(); ++a) {
            const CGraphArc* arc = node->GetOutArc(a);
            to.AddArc(arc->GetData(), to.GetNode(i), to.GetNode(arc->GetTo()->GetIndex()), arc->GetIndex());
        }
    }
}

struct Answer
{
    bool found = false;
    uint32_t expansions = 0;
    std::vector<uint32_t> nodes;
    std::vector<uint32_t> arcs;
    float goalCost = 0.0f;

    bool operator==(const Answer&) const = default;
};

Answer Ask(CSpatialGraph& graph, int32_t s, int32_t t)
{
    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    graph.SetConstraint(&shortest);
    graph.SetHeuristic(&euclid);
    CPathRecord path;
    path.SetCapacity(graph.GetNodeArraySize());
    EXPECT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
    Answer a;
    a.found = AstarSearch(graph, path, graph.GetNode(s), graph.GetNode(t), nullptr);
    a.expansions = AstarLastExpansionCount();
    if (a.found) {
        a.nodes.assign(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count);
        a.arcs.assign(path.arcIndices.begin(), path.arcIndices.begin() + path.count);
        a.goalCost = graph.GetNode(t)->GetData().g;
    }
    graph.SetConstraint(nullptr);
    graph.SetHeuristic(nullptr);
    return a;
}

CGraphArc* ArcBetween(CSpatialGraph& graph, int32_t from, int32_t to)
{
    return CSpatialGraph::FindOutArcTo(graph.GetNode(from), graph.GetNode(to));
}

void Join(CSpatialGraph& graph, int32_t from, int32_t to, float length)
{
    CGraphArcData record;
    record.length = record.cost = length;
    graph.AddArc(record, graph.GetNode(from), graph.GetNode(to));
}

class PackedGraphTest : public ::testing::Test
{
  protected:
    void SetUp() override { NavTest::StartRuntime(); }
    void TearDown() override
    {
        AstarMemoryFree();
        NavTest::StopRuntime();
    }
};

// 12 x 12 open grid (spacing 1): node (x, y) has index 12 y + x.
constexpr int kSide = 12;
constexpr int32_t At(int x, int y)
{
    return y * kSide + x;
}

TEST_F(PackedGraphTest, EditsAfterASearchAreSeenByTheNext)
{
    struct Edit
    {
        const char* what;
        std::function<void(CSpatialGraph&)> apply;
    };
    const std::vector<Edit> edits = {
        {"arc blocked", [](CSpatialGraph& g) { ArcBetween(g, At(1, 1), At(2, 2))->GetData().blocked = 1; }},
        {"arc lengthened",
         [](CSpatialGraph& g) { ArcBetween(g, At(5, 5), At(6, 6))->GetData().length = 40.0f; }},
        {"arc cost field changed",
         [](CSpatialGraph& g) { ArcBetween(g, At(6, 6), At(7, 7))->GetData().cost = 0.5f; }},
        {"arc unblocked", [](CSpatialGraph& g) { ArcBetween(g, At(1, 1), At(2, 2))->GetData().blocked = 0; }},
        {"node moved",
         [](CSpatialGraph& g) { g.GetNode(At(10, 10))->GetData().position = CVec3(60.0f, 0.0f, 60.0f); }},
        {"shortcut added", [](CSpatialGraph& g) { Join(g, At(0, 0), At(9, 9), 2.0f); }},
        {"shortcut removed",
         [](CSpatialGraph& g) { g.RemoveArc(ArcBetween(g, At(0, 0), At(9, 9))->GetIndex()); }},
        {"node removed", [](CSpatialGraph& g) { g.RemoveNode(At(4, 4)); }},
        {"node added with arcs",
         [](CSpatialGraph& g) {
             CGraphNode* node = AddNodeAtPosition(g, CVec3(-3.0f, 0.0f, 5.0f));
             Join(g, At(0, 0), node->GetIndex(), 1.0f);
             Join(g, node->GetIndex(), At(11, 11), 1.0f);
         }},
        {"node inserted (indices shift)",
         [](CSpatialGraph& g) { g.InsertNodeAt(new CGraphNode(CGraphNodeData()), At(3, 0)); }},
        {"slots packed", [](CSpatialGraph& g) { g.Renumber(); }},
        {"arc replaced in its slot",
         [](CSpatialGraph& g) {
             CGraphArcData record;
             record.length = record.cost = 0.25f;
             g.SetArcAt(new CGraphArc(record), g.GetNode(At(0, 1)), g.GetNode(At(8, 1)), 0);
         }},
        {"node blocked (all its arcs)",
         [](CSpatialGraph& g) {
             CGraphNode* node = g.GetNode(At(6, 5));
             for (int32_t a = 0; a < node->GetInArcCount(); ++a)
                 node->GetInArc(a)->GetData().blocked = 1;
         }},
    };
    const std::pair<int, int> queries[] = {
        {At(0, 0), At(11, 11)}, {At(11, 0), At(0, 11)}, {At(2, 9), At(10, 3)}, {At(5, 6), At(7, 4)}};
    CSpatialGraph graph;
    BuildGridGraph(graph, kSide, kSide, 1.0f, 0, 1);
    for (const auto& [s, t] : queries)
        Ask(graph, s, t);
    for (const Edit& edit : edits) {
        edit.apply(graph);
        CSpatialGraph fresh;
        CopyGraph(graph, fresh);
        for (const auto& [s, t] : queries) {
            if (graph.GetNode(s) == nullptr || graph.GetNode(t) == nullptr)
                continue;
            EXPECT_EQ(Ask(graph, s, t), Ask(fresh, s, t)) << edit.what << ": " << s << " -> " << t;
            EXPECT_EQ(Ask(graph, t, s), Ask(fresh, t, s)) << edit.what << ": " << t << " -> " << s;
        }
    }
}

// Prices every arc at twice its length.
class CDoubledLength : public CConstraintShortestPath
{
  public:
    bool ComputeCost(void*, CGraphArc* arc, float* cost) override
    {
        *cost = 2.0f * arc->GetLength();
        return true;
    }
};

TEST_F(PackedGraphTest, CostFieldsHoldTheLastPrice)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, kSide, kSide, 1.0f, 0, 1);
    ASSERT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
    CPathRecord path;
    path.SetCapacity(graph.GetNodeArraySize());
    CConstraintShortestPath shortest;
    CDoubledLength doubled;
    CHeuristicEuclidianDistance euclid;
    graph.SetHeuristic(&euclid);
    CGraphNode* start = graph.GetNode(At(5, 5));
    const auto startArcCosts = [&] {
        std::vector<float> costs;
        for (int32_t a = 0; a < start->GetOutArcCount(); ++a)
            costs.push_back(start->GetOutArc(a)->GetData().cost / start->GetOutArc(a)->GetLength());
        return costs;
    };
    const std::vector<float> once(size_t(start->GetOutArcCount()), 1.0f);
    const std::vector<float> twice(size_t(start->GetOutArcCount()), 2.0f);
    for (CConstraint* constraint : {static_cast<CConstraint*>(&shortest), static_cast<CConstraint*>(&doubled),
                                    static_cast<CConstraint*>(&shortest)}) {
        graph.SetConstraint(constraint);
        for (int32_t a = 0; a < start->GetOutArcCount(); ++a)
            start->GetOutArc(a)->GetData().cost = 9.0f;
        ASSERT_TRUE(AstarSearch(graph, path, start, graph.GetNode(At(0, 11)), nullptr));
        EXPECT_EQ(startArcCosts(), constraint == &doubled ? twice : once);
    }
}

TEST_F(PackedGraphTest, SuspendedSearchSeesEditsMadeBetweenSlices)
{
    NavTest::Host().SetClockStep(0.001f);
    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    const auto slice = [&](CSpatialGraph& graph, CPathRecord& path, AstarSliceStats& stats) {
        graph.SetConstraint(&shortest);
        graph.SetHeuristic(&euclid);
        return AstarSearchSliced(graph, path, graph.GetNode(At(0, 0)), graph.GetNode(At(11, 11)), nullptr,
                                 stats, 1.0f, 0.0f, false);
    };
    // One edit of a record, one of the layout: both between two slices.
    const std::function<void(CSpatialGraph&)> edits[] = {
        [](CSpatialGraph& g) { ArcBetween(g, At(10, 10), At(11, 11))->GetData().blocked = 1; },
        [](CSpatialGraph& g) { g.RemoveNode(At(10, 10)); },
    };
    for (const auto& edit : edits) {
        CSpatialGraph graph;
        BuildGridGraph(graph, kSide, kSide, 1.0f, 0, 1);
        ASSERT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
        CPathRecord path;
        path.SetCapacity(graph.GetNodeArraySize());
        AstarSliceStats stats;
        ASSERT_EQ(slice(graph, path, stats), kAstarSuspended);
        edit(graph);
        EAstarResult result = kAstarSuspended;
        for (int call = 0; call < 1000 && result == kAstarSuspended; ++call)
            result = slice(graph, path, stats);
        ASSERT_EQ(result, kAstarFound);
        // The path never takes the edited arc: it runs from (10, 10) to
        // (11, 11) no more.
        for (int32_t i = 0; i + 1 < path.count; ++i)
            EXPECT_FALSE(path.nodeIndices[size_t(i)] == uint32_t(At(10, 10)) &&
                         path.nodeIndices[size_t(i + 1)] == uint32_t(At(11, 11)));
        CSpatialGraph fresh;
        CopyGraph(graph, fresh);
        const Answer whole = Ask(fresh, At(0, 0), At(11, 11));
        EXPECT_EQ(std::vector<uint32_t>(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count),
                  whole.nodes);
    }
}

} // namespace
} // namespace Zelk
