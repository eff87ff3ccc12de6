#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/path_cost_data.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>

namespace Zelk {
namespace {

class AstarDataTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NavTest::StartRuntime();
        NavTest::MakeRandomGraph(graph, 40, 50.0f, 2, 21);
        ASSERT_TRUE(AstarMemoryInit(graph.GetNodeCount()));
    }
    void TearDown() override
    {
        AstarMemoryFree();
        NavTest::StopRuntime();
    }
    CSpatialGraph graph;
};

float Length(CSpatialGraph& graph, const CPathRecord& path)
{
    float total = 0.0f;
    for (int32_t i = 0; i + 1 < path.count; ++i)
        total += graph.GetArc(int32_t(path.arcIndices[size_t(i)]))->GetLength();
    return total;
}

TEST_F(AstarDataTest, LookupsEqualAstarOnAllPairs)
{
    // Whatever constraint the graph holds, the table is built for shortest paths.
    CConstraintPointToFleePath flee;
    flee.AddThreatPoint(CVec3(25, 25, 25));
    graph.SetConstraint(&flee);
    CAstarData data(&graph);
    ASSERT_TRUE(data.Build());
    EXPECT_EQ(graph.GetConstraint(), &flee);
    EXPECT_EQ(graph.GetHeuristic(), nullptr);

    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    graph.SetConstraint(&shortest);
    graph.SetHeuristic(&euclid);
    CPathRecord byTable;
    CPathRecord bySearch;
    byTable.SetCapacity(40);
    bySearch.SetCapacity(40);
    int reachable = 0;
    for (int32_t s = 0; s < 40; ++s)
        for (int32_t t = 0; t < 40; ++t) {
            const bool found = AstarSearch(graph, bySearch, graph.GetNode(s), graph.GetNode(t), nullptr);
            ASSERT_EQ(data.Lookup(s, t, byTable), found) << s << " -> " << t;
            if (!found)
                continue;
            ++reachable;
            EXPECT_EQ(byTable.nodeIndices[0], uint32_t(s));
            EXPECT_EQ(byTable.nodeIndices[size_t(byTable.count - 1)], uint32_t(t));
            EXPECT_EQ(byTable.arcIndices[size_t(byTable.count - 1)], CAstarData::kNoArc);
            EXPECT_NEAR(Length(graph, byTable), Length(graph, bySearch), 1e-3f);
        }
    EXPECT_GT(reachable, 40);
    EXPECT_EQ(data.GetEntry(7, 7), 7u);
}

// What the table must hold, found the slow way: entry [i][j] is the first arc
// of the path AstarSearch writes from i to j under the shortest-path
// constraint and the graph's heuristic (the zero one when it has none).
std::vector<uint32_t> TableBySearchingEachPair(CSpatialGraph& graph)
{
    CConstraint* const constraint = graph.GetConstraint();
    CHeuristic* const heuristic = graph.GetHeuristic();
    CConstraintShortestPath shortest;
    CZeroHeuristic zero;
    graph.SetConstraint(&shortest);
    if (heuristic == nullptr)
        graph.SetHeuristic(&zero);
    const int32_t n = graph.GetNodeCount();
    CPathRecord path;
    path.SetCapacity(n);
    std::vector<uint32_t> table(size_t(n) * size_t(n), CAstarData::kNoArc);
    for (int32_t i = 0; i < n; ++i)
        for (int32_t j = 0; j < n; ++j) {
            uint32_t& entry = table[size_t(i) * size_t(n) + size_t(j)];
            if (i == j)
                entry = uint32_t(i);
            else if (AstarSearch(graph, path, graph.GetNode(i), graph.GetNode(j), nullptr))
                entry = path.arcIndices[0];
        }
    graph.SetConstraint(constraint);
    graph.SetHeuristic(heuristic);
    return table;
}

// Path objects that price the arcs they are linked to: a toll triples the
// length, a shut gate refuses the arc, a discount makes it cost less than
// nothing (so that a closed node can be reached more cheaply and reopen).
class CPricedLink : public CSeedPathObject
{
  public:
    CPricedLink(float scale, float offset, bool refuse)
        : CSeedPathObject("priced", nullptr), m_scale(scale), m_offset(offset), m_refuse(refuse)
    {
    }
    bool CostThroughArc(void* user, CGraphArc* arc, CConstraint* constraint, float* cost) override
    {
        const bool ok = constraint->ComputeCost(user, arc, cost);
        *cost = *cost * m_scale + m_offset;
        return ok && !m_refuse;
    }

  private:
    float m_scale, m_offset;
    bool m_refuse;
};

struct CTableGraph
{
    CSpatialGraph graph;
    CPricedLink toll{3.0f, 0.0f, false};
    CPricedLink gate{1.0f, 0.0f, true};
    CPricedLink discount{1.0f, -2.5f, false};
};

// n nodes on a 6-wide lattice with arcsPerNode random arcs each, of length 1
// or 2 (many equal-cost routes, so the order among ties decides the first
// arc) and now and then 0; some arcs are doubled (two arcs to the same node);
// the last `isolated` nodes have no arcs. forwardOnly: arcs only from lower
// to higher indices (no cycle).
void AddLatticeGraph(CSpatialGraph& graph, int n, int arcsPerNode, int isolated, bool forwardOnly,
                     uint32_t seed)
{
    std::mt19937 random(seed);
    for (int i = 0; i < n; ++i)
        AddNodeAtPosition(graph, CVec3(float(i % 6), 0.0f, float(i / 6)));
    const int linked = n - isolated;
    for (int i = 0; i < linked; ++i)
        for (int k = 0; k < arcsPerNode; ++k) {
            const int low = forwardOnly ? i + 1 : 0;
            if (low >= linked)
                break;
            const int to = std::uniform_int_distribution<int>(low, linked - 1)(random);
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            CGraphArcData arc;
            arc.length = arc.cost = kind == 0 ? 0.0f : kind < 6 ? 1.0f : 2.0f;
            if (to == i)
                continue;
            graph.AddArc(arc, graph.GetNode(i), graph.GetNode(to));
            if (kind == 9)
                graph.AddArc(arc, graph.GetNode(i), graph.GetNode(to));
        }
}

// Links every `every`-th arc, starting at `first`, to the object.
void LinkArcs(CSpatialGraph& graph, CPathObject& object, int first, int every)
{
    CConfigNode config;
    AddConfigChild(&config, nullptr, "LinkedEdgeMax", std::to_string(graph.GetArcCount()).c_str());
    object.CPathObject::Init(&config);
    for (int32_t a = first; a < graph.GetArcCount(); a += every)
        ASSERT_TRUE(object.Link(&graph, graph.GetArc(a)));
}

TEST_F(AstarDataTest, TableEqualsSearchingEachPair)
{
    struct Case
    {
        const char* what;
        std::function<void(CTableGraph&)> make;
        bool euclid; // the graph holds the straight-line heuristic
    };
    const Case cases[] = {
        {"lattice: ties, zero-length and doubled arcs, isolated nodes",
         [](CTableGraph& g) { AddLatticeGraph(g.graph, 48, 3, 4, false, 3); }, false},
        {"lattice, sparse: many nodes out of reach",
         [](CTableGraph& g) { AddLatticeGraph(g.graph, 40, 1, 0, false, 8); }, false},
        {"grid with blocked nodes and arcs",
         [](CTableGraph& g) {
             BuildGridGraph(g.graph, 9, 7, 1.0f, 15, 5);
             for (int32_t a = 0; a < g.graph.GetArcCount(); a += 7)
                 g.graph.GetArc(a)->GetData().blocked = 1;
         },
         false},
        {"random graph, straight-line lengths",
         [](CTableGraph& g) { NavTest::MakeRandomGraph(g.graph, 50, 50.0f, 3, 9); }, false},
        {"arcs priced by linked objects",
         [](CTableGraph& g) {
             AddLatticeGraph(g.graph, 48, 3, 2, false, 4);
             LinkArcs(g.graph, g.toll, 0, 5);
             LinkArcs(g.graph, g.gate, 2, 9);
         },
         false},
        {"negative costs without cycles: closed nodes reopen",
         [](CTableGraph& g) {
             AddLatticeGraph(g.graph, 40, 4, 0, true, 6);
             LinkArcs(g.graph, g.discount, 1, 3);
         },
         false},
        {"the graph's straight-line heuristic is kept",
         [](CTableGraph& g) { AddLatticeGraph(g.graph, 48, 3, 4, false, 3); }, true},
    };
    CHeuristicEuclidianDistance euclid;
    for (const Case& c : cases) {
        CTableGraph g;
        c.make(g);
        if (c.euclid)
            g.graph.SetHeuristic(&euclid);
        const int32_t n = g.graph.GetNodeCount();
        ASSERT_TRUE(AstarMemoryInit(n));
        CAstarData data(&g.graph);
        ASSERT_TRUE(data.Build()) << c.what;
        const std::vector<uint32_t> expected = TableBySearchingEachPair(g.graph);
        int reached = 0, unreached = 0;
        for (int32_t i = 0; i < n; ++i)
            for (int32_t j = 0; j < n; ++j) {
                const uint32_t want = expected[size_t(i) * size_t(n) + size_t(j)];
                ASSERT_EQ(data.GetEntry(i, j), want) << c.what << ": " << i << " -> " << j;
                (want == CAstarData::kNoArc ? unreached : reached) += i != j;
            }
        EXPECT_GT(reached, n) << c.what;
        EXPECT_GT(unreached, 0) << c.what;
        // No search is left marked as running.
        for (int32_t i = 0; i < n; ++i)
            EXPECT_EQ(g.graph.GetNode(i)->GetSearchData().startMarker, 0) << c.what << ": " << i;
        EXPECT_EQ(g.graph.GetHeuristic(), c.euclid ? &euclid : nullptr) << c.what;
    }
}

// One search answers every goal only when the estimate ignores the goal.
TEST_F(AstarDataTest, FirstArcsRefuseAnEstimateThatReadsTheGoal)
{
    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    graph.SetConstraint(&shortest);
    graph.SetHeuristic(&euclid);
    std::vector<uint32_t> row(size_t(graph.GetNodeCount()), 0);
    NavClearError();
    EXPECT_FALSE(AstarFirstArcs(graph, graph.GetNode(0), nullptr, row.data()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadArgument);
    EXPECT_EQ(std::count(row.begin(), row.end(), kAstarNoFirstArc), graph.GetNodeCount());
}

// The table grows with the square of the graph: a graph beyond the stated limit is
// refused before anything is allocated, even with A* memory to spare, built or read.
TEST_F(AstarDataTest, GraphsBeyondTheLimitAreRefused)
{
    CSpatialGraph big;
    BuildGridGraph(big, 65, 64, 1.0f, 0, 1);
    ASSERT_GT(big.GetNodeCount(), CAstarData::kMaxNodes);
    ASSERT_TRUE(AstarMemoryInit(big.GetNodeCount()));
    CAstarData data(&big);
    NavClearError();
    EXPECT_FALSE(data.Build());
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
    // Nor is a table read for it.
    CNavByteWriter header;
    header.WriteHeader(CAstarData::kMagic, CAstarData::kMagicLength);
    NavClearError();
    EXPECT_FALSE(data.ReadFromMemory(header.Bytes().data(), header.Bytes().size()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
}

TEST_F(AstarDataTest, TruncatedLookupKeepsTheRemainingLength)
{
    CSpatialGraph line;
    BuildGridGraph(line, 8, 1, 3.0f, 0, 1);
    CAstarData data(&line);
    ASSERT_TRUE(data.Build());
    CPathRecord path;
    path.SetCapacity(3);
    ASSERT_TRUE(data.Lookup(0, 7, path));
    EXPECT_EQ(path.truncated, 1);
    EXPECT_EQ(path.count, 3);
    EXPECT_EQ(path.nodeIndices[2], 2u);
    EXPECT_NE(path.arcIndices[2], CAstarData::kNoArc);
    EXPECT_FLOAT_EQ(path.remainingLength, 15.0f);
    ASSERT_TRUE(data.Lookup(4, 4, path));
    EXPECT_EQ(path.count, 1);
    EXPECT_FALSE(data.Lookup(0, 8, path));
    EXPECT_FALSE(data.Lookup(-1, 2, path));
}

TEST_F(AstarDataTest, FileRoundTripAndRefusals)
{
    CAstarData data(&graph);
    ASSERT_TRUE(data.Build());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(data.WriteToMemory(bytes));
    ASSERT_EQ(bytes.size(), 22u + 4u * 40u * 40u);
    CAstarData read(&graph);
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    std::vector<uint8_t> again;
    read.WriteToMemory(again);
    EXPECT_EQ(again, bytes);

    const std::string file = NavTest::OutputPath("random.astar");
    ASSERT_TRUE(data.Write(file.c_str()));
    CAstarData fromFile(&graph);
    ASSERT_TRUE(fromFile.ReadFromFile(file.c_str()));

    // An arc that does not leave node 0, for entry [0][1].
    int32_t foreign = 0;
    while (graph.GetArc(foreign)->GetFrom()->GetIndex() == 0)
        ++foreign;
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
        ENavError error;
    };
    const Case cases[] = {
        {"magic", 0, 0x6E726157u, ENavError::WrongMagic},
        {"version", 18, 2, ENavError::WrongVersion},
        {"diagonal", 22, 5, ENavError::BadIndex},
        {"arc that does not exist", 26, 100000, ENavError::BadIndex},
        {"arc leaving another node", 26, uint32_t(foreign), ENavError::BadIndex},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = bytes;
        for (int i = 0; i < 4; ++i)
            bad[c.offset + size_t(i)] = uint8_t(c.value >> (8 * i));
        NavClearError();
        EXPECT_FALSE(read.ReadFromMemory(bad.data(), bad.size())) << c.what;
        EXPECT_EQ(NavGetLastError(), c.error) << c.what;
    }
    for (size_t length : {size_t(0), size_t(10), size_t(21), size_t(25), bytes.size() - 1})
        EXPECT_FALSE(read.ReadFromMemory(bytes.data(), length)) << length;
}

// Each entry must be an out-arc of its row's node, whether the node has a few
// out-arcs (a hub's spokes) or many (the hub), and whatever order the arcs
// were added in (spokes' arcs interleaved with the hub's).
TEST_F(AstarDataTest, EntriesAreCheckedAgainstTheirRowsOutArcs)
{
    CSpatialGraph star;
    CGraphNode* hub = AddNodeAtPosition(star, CVec3(0, 0, 0));
    for (int k = 0; k < 12; ++k) {
        CGraphNode* spoke = AddNodeAtPosition(star, CVec3(std::cos(float(k)), 0, std::sin(float(k))));
        star.AddArc(CGraphArcData(), spoke, hub);
        star.AddArc(CGraphArcData(), hub, spoke);
    }
    ASSERT_GT(hub->GetOutArcCount(), 8);
    ASSERT_TRUE(AstarMemoryInit(star.GetNodeCount()));
    CAstarData data(&star);
    ASSERT_TRUE(data.Build());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(data.WriteToMemory(bytes));
    const size_t n = size_t(star.GetNodeCount());
    const auto arcIndex = [&](int32_t from, int32_t to) {
        return uint32_t(CSpatialGraph::FindOutArcTo(star.GetNode(from), star.GetNode(to))->GetIndex());
    };
    struct Case
    {
        const char* what;
        size_t row;
        size_t column;
        uint32_t value;
        bool accepted;
    };
    const Case cases[] = {
        {"hub: another of its arcs", 0, 3, arcIndex(0, 5), true},
        {"hub: no path", 0, 3, CAstarData::kNoArc, true},
        {"hub: a spoke's arc", 0, 3, arcIndex(4, 0), false},
        {"hub: beyond the arcs", 0, 3, uint32_t(star.GetArcCount()), false},
        {"hub: its own index off the diagonal", 0, 3, 0, false},
        {"hub: the diagonal", 0, 0, arcIndex(0, 1), false},
        {"spoke: no path", 7, 2, CAstarData::kNoArc, true},
        {"spoke: the hub's arc", 7, 2, arcIndex(0, 7), false},
        {"spoke: the next spoke's arc", 7, 2, arcIndex(8, 0), false},
        {"spoke: beyond the arcs", 7, 2, CAstarData::kNoArc - 1, false},
        {"spoke: the last column", 7, n - 1, arcIndex(0, 12), false},
        {"spoke: the diagonal", 7, 7, arcIndex(7, 0), false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> changed = bytes;
        for (size_t k = 0; k < 4; ++k)
            changed[22 + (c.row * n + c.column) * 4 + k] = uint8_t(c.value >> (8 * k));
        CAstarData read(&star);
        NavClearError();
        EXPECT_EQ(read.ReadFromMemory(changed.data(), changed.size()), c.accepted) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(NavGetLastError(), ENavError::BadIndex) << c.what;
        }
    }
}

TEST_F(AstarDataTest, ALoopInTheTableEndsTheLookup)
{
    CSpatialGraph pair;
    BuildGridGraph(pair, 3, 1, 1.0f, 0, 1);
    CAstarData data(&pair);
    ASSERT_TRUE(data.Build());
    std::vector<uint8_t> bytes;
    data.WriteToMemory(bytes);
    // Make 0 -> 2 go to 1 and 1 -> 2 go back to 0: both are real out-arcs.
    const auto put = [&](int i, int j, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            bytes[22 + size_t(i * 3 + j) * 4 + size_t(k)] = uint8_t(v >> (8 * k));
    };
    put(0, 2, uint32_t(CSpatialGraph::FindOutArcTo(pair.GetNode(0), pair.GetNode(1))->GetIndex()));
    put(1, 2, uint32_t(CSpatialGraph::FindOutArcTo(pair.GetNode(1), pair.GetNode(0))->GetIndex()));
    ASSERT_TRUE(data.ReadFromMemory(bytes.data(), bytes.size()));
    CPathRecord path;
    path.SetCapacity(100);
    EXPECT_FALSE(data.Lookup(0, 2, path));
}

TEST(PathCostDataFile, RoundTripAndAFailedReadIsUnusable)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 3, 1, 1.0f, 0, 1);
    CPathCostData data(&graph);
    ASSERT_TRUE(data.SetTable({0, 1, 2, 1, 0, 1, 2, 1, 255}, 4.0f));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(data.WriteToMemory(bytes));
    ASSERT_EQ(bytes.size(), 29u + 9u);
    EXPECT_EQ(std::memcmp(bytes.data(), "Varnoth PathCost Data", 21), 0);
    CPathCostData read(&graph);
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(read.GetCost(0, 2), 2);
    EXPECT_EQ(read.GetScale(), 4.0f);

    std::vector<uint8_t> badVersion = bytes;
    badVersion[21] = 2;
    EXPECT_FALSE(read.ReadFromMemory(badVersion.data(), badVersion.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::WrongVersion);
    EXPECT_FALSE(read.IsUsable());
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_FALSE(read.ReadFromMemory(bytes.data(), bytes.size() - 1));
    EXPECT_FALSE(read.IsUsable());
    std::vector<uint8_t> zeroScale = bytes;
    std::memset(zeroScale.data() + 25, 0, 4);
    EXPECT_FALSE(read.ReadFromMemory(zeroScale.data(), zeroScale.size()));
    std::vector<uint8_t> badMagic = bytes;
    badMagic[20] = 'x';
    EXPECT_FALSE(read.ReadFromMemory(badMagic.data(), badMagic.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::WrongMagic);
}

} // namespace
} // namespace Zelk
