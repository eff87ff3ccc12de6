#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/allocator.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <queue>
#include <random>
#include <tuple>
#include <vector>

namespace Zelk {
namespace {

// Reference costs from one node to all others (Dijkstra over arc lengths).
std::vector<float> Dijkstra(CSpatialGraph& graph, int32_t start)
{
    std::vector<float> cost(size_t(graph.GetNodeArraySize()), std::numeric_limits<float>::infinity());
    using Item = std::pair<float, int32_t>;
    std::priority_queue<Item, std::vector<Item>, std::greater<>> queue;
    cost[size_t(start)] = 0.0f;
    queue.push({0.0f, start});
    while (!queue.empty()) {
        const auto [c, n] = queue.top();
        queue.pop();
        if (c > cost[size_t(n)])
            continue;
        const CGraphNode* node = graph.GetNode(n);
        for (int32_t i = 0; i < node->GetOutArcCount(); ++i) {
            const CGraphArc* arc = node->GetOutArc(i);
            if (arc->GetData().blocked == 1)
                continue;
            const int32_t m = arc->GetTo()->GetIndex();
            if (c + arc->GetLength() < cost[size_t(m)]) {
                cost[size_t(m)] = c + arc->GetLength();
                queue.push({cost[size_t(m)], m});
            }
        }
    }
    return cost;
}

// Sum of the arc lengths along a path, checking that each arc joins its entries.
float PathLength(CSpatialGraph& graph, const CPathRecord& path)
{
    float total = 0.0f;
    for (int32_t i = 0; i + 1 < path.count; ++i) {
        const CGraphArc* arc = graph.GetArc(int32_t(path.arcIndices[size_t(i)]));
        EXPECT_NE(arc, nullptr);
        if (arc == nullptr)
            return -1.0f;
        EXPECT_EQ(uint32_t(arc->GetFrom()->GetIndex()), path.nodeIndices[size_t(i)]);
        EXPECT_EQ(uint32_t(arc->GetTo()->GetIndex()), path.nodeIndices[size_t(i + 1)]);
        total += arc->GetLength();
    }
    return total;
}

class AstarTest : public ::testing::Test
{
  protected:
    void SetUp() override { NavTest::StartRuntime(); }
    void TearDown() override
    {
        AstarMemoryFree();
        NavTest::StopRuntime();
    }
    void Prepare(CSpatialGraph& graph)
    {
        graph.SetConstraint(&shortest);
        graph.SetHeuristic(&euclid);
        ASSERT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
        path.SetCapacity(graph.GetNodeCount());
    }
    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    CPathRecord path;
};

TEST_F(AstarTest, CostsEqualDijkstraOnRandomGraphs)
{
    for (uint32_t seed : {11u, 12u, 13u, 14u}) {
        CSpatialGraph graph;
        NavTest::MakeRandomGraph(graph, 120, 100.0f, 3, seed);
        Prepare(graph);
        std::mt19937 random(seed);
        std::uniform_int_distribution<int32_t> pick(0, graph.GetNodeCount() - 1);
        for (int q = 0; q < 40; ++q) {
            const int32_t s = pick(random);
            const int32_t t = pick(random);
            const float expected = Dijkstra(graph, s)[size_t(t)];
            const bool found = AstarSearch(graph, path, graph.GetNode(s), graph.GetNode(t), nullptr);
            ASSERT_EQ(found, std::isfinite(expected)) << s << " -> " << t;
            if (!found)
                continue;
            EXPECT_EQ(path.nodeIndices[0], uint32_t(s));
            EXPECT_EQ(path.nodeIndices[size_t(path.count - 1)], uint32_t(t));
            EXPECT_EQ(path.arcIndices[size_t(path.count - 1)], uint32_t(-1));
            EXPECT_NEAR(PathLength(graph, path), expected, 1e-3f * (1.0f + expected));
            EXPECT_EQ(graph.GetNode(s)->GetData().startMarker, 0);
            // The path's nodes carry their search fields: the cost so far and
            // the step back along the path.
            EXPECT_NEAR(graph.GetNode(t)->GetData().g, expected, 1e-3f * (1.0f + expected));
            for (int32_t i = 1; i < path.count; ++i) {
                const CGraphNodeData& data = graph.GetNode(int32_t(path.nodeIndices[size_t(i)]))->GetData();
                ASSERT_NE(data.parent, nullptr);
                EXPECT_EQ(uint32_t(data.parent->GetIndex()), path.nodeIndices[size_t(i - 1)]);
                EXPECT_EQ(uint32_t(data.arrivalArc->GetIndex()), path.arcIndices[size_t(i - 1)]);
                EXPECT_FLOAT_EQ(data.f, data.g + data.h);
            }
        }
    }
}

TEST_F(AstarTest, SlicedSearchEqualsWholeSearch)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 30, 30, 1.0f, 20, 3);
    Prepare(graph);
    // Every clock reading advances by a millisecond, so a small budget
    // suspends the search many times.
    NavTest::Host().SetClockStep(0.001f);
    CPathRecord whole;
    whole.SetCapacity(graph.GetNodeCount());
    int suspended = 0;
    for (int32_t s : {0, 31, 200}) {
        const int32_t t = graph.GetNodeCount() - 1 - s;
        const bool found = AstarSearch(graph, whole, graph.GetNode(s), graph.GetNode(t), nullptr);
        AstarSliceStats stats;
        EAstarResult result = kAstarSuspended;
        for (int call = 0; call < 10000 && result == kAstarSuspended; ++call) {
            result = AstarSearchSliced(graph, path, graph.GetNode(s), graph.GetNode(t), nullptr, stats, 1.0f,
                                       0.005f, false);
            suspended += result == kAstarSuspended;
        }
        ASSERT_EQ(result == kAstarFound, found);
        if (!found)
            continue;
        ASSERT_EQ(path.count, whole.count);
        for (int32_t i = 0; i < path.count; ++i)
            EXPECT_EQ(path.nodeIndices[size_t(i)], whole.nodeIndices[size_t(i)]);
        EXPECT_GT(stats.nodeCount, 0u);
    }
    EXPECT_GT(suspended, 0);
}

TEST_F(AstarTest, SlicedSearchRestartsOnAnotherQuery)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 20, 20, 1.0f, 0, 1);
    Prepare(graph);
    NavTest::Host().SetClockStep(0.001f);
    AstarSliceStats stats;
    ASSERT_EQ(AstarSearchSliced(graph, path, graph.GetNode(0), graph.GetNode(399), nullptr, stats, 1.0f, 0.0f,
                                false),
              kAstarSuspended);
    // A whole search in between abandons the suspended one; the sliced search
    // then starts afresh and still finds the right path.
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(5), graph.GetNode(6), nullptr));
    EAstarResult result = kAstarSuspended;
    for (int call = 0; call < 10000 && result == kAstarSuspended; ++call)
        result = AstarSearchSliced(graph, path, graph.GetNode(0), graph.GetNode(399), nullptr, stats, 1.0f,
                                   0.01f, false);
    ASSERT_EQ(result, kAstarFound);
    EXPECT_EQ(path.count, 20);
    EXPECT_EQ(path.nodeIndices[19], 399u);
}

TEST_F(AstarTest, SearchesInARowMatchSearchesOnFreshMemory)
{
    // Node state left by one search must never leak into the next: each
    // query gives the path and expansion count it gives on fresh memory.
    CSpatialGraph graph;
    BuildGridGraph(graph, 24, 24, 1.0f, 25, 7);
    Prepare(graph);
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> pick(0, graph.GetNodeCount() - 1);
    std::vector<std::pair<int32_t, int32_t>> queries;
    for (int q = 0; q < 30; ++q)
        queries.emplace_back(pick(random), pick(random));
    struct Answer
    {
        bool found;
        uint32_t expansions;
        std::vector<uint32_t> nodes;
    };
    auto ask = [&](int32_t s, int32_t t) {
        Answer a{AstarSearch(graph, path, graph.GetNode(s), graph.GetNode(t), nullptr),
                 AstarLastExpansionCount(),
                 {}};
        if (a.found)
            a.nodes.assign(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count);
        return a;
    };
    std::vector<Answer> inARow;
    for (const auto& [s, t] : queries)
        inARow.push_back(ask(s, t));
    for (size_t q = 0; q < queries.size(); ++q) {
        ASSERT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
        const Answer fresh = ask(queries[q].first, queries[q].second);
        EXPECT_EQ(inARow[q].found, fresh.found) << q;
        EXPECT_EQ(inARow[q].expansions, fresh.expansions) << q;
        EXPECT_EQ(inARow[q].nodes, fresh.nodes) << q;
    }
}

// Derived from the common constraint and heuristic, so that only their own
// overrides know what they do.
class CRefusingShortestPath : public CConstraintShortestPath
{
  public:
    bool ComputeCost(void*, CGraphArc*, float*) override { return false; }
};
class CDoubledDistance : public CHeuristicEuclidianDistance
{
  public:
    bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) override
    {
        ++calls;
        CHeuristicEuclidianDistance::Estimate(user, from, to, estimate);
        *estimate *= 2.0f;
        return true;
    }
    int calls = 0;
};

// Estimates below the distance by a constant: f runs below zero near the
// start, and the open set must still order it as the floats do.
class CShiftedDistance : public CHeuristicEuclidianDistance
{
  public:
    bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) override
    {
        CHeuristicEuclidianDistance::Estimate(user, from, to, estimate);
        *estimate -= 40.0f;
        return true;
    }
};
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

struct SearchAnswer
{
    bool found = false;
    uint32_t expansions = 0;
    std::vector<uint32_t> nodes;
    float cost = 0.0f;

    bool operator==(const SearchAnswer&) const = default;
};

// A plain A* to hold the search against, with the graph's constraint and
// heuristic: the open set is a list scanned for the least (f, arrival
// number); a node reached for a lower f, open or closed, takes the new route
// and a new arrival number; the expanded node leaves the list after its arcs
// are walked.
SearchAnswer PlainSearch(CSpatialGraph& graph, int32_t s, int32_t t)
{
    struct Entry
    {
        float f;
        uint32_t arrival;
        int32_t node;
    };
    const size_t n = size_t(graph.GetNodeArraySize());
    std::vector<float> g(n), f(n);
    std::vector<int32_t> parent(n, -1);
    std::vector<uint8_t> reached(n, 0);
    std::vector<Entry> open;
    uint32_t arrivals = 0;
    CGraphNode* goal = graph.GetNode(t);
    float h = 0.0f;
    graph.GetHeuristic()->Estimate(nullptr, graph.GetNode(s), goal, &h);
    g[size_t(s)] = 0.0f;
    f[size_t(s)] = h + 0.0f;
    reached[size_t(s)] = 1;
    open.push_back({f[size_t(s)], arrivals++, s});
    const auto byNode = [&](int32_t node) {
        return std::find_if(open.begin(), open.end(), [node](const Entry& e) { return e.node == node; });
    };
    SearchAnswer answer;
    while (!open.empty()) {
        const int32_t node = std::min_element(open.begin(), open.end(), [](const Entry& a, const Entry& b) {
                                 return a.f < b.f || (a.f == b.f && a.arrival < b.arrival);
                             })->node;
        if (node == t) {
            answer.found = true;
            answer.cost = g[size_t(t)];
            for (int32_t k = t; k != s; k = parent[size_t(k)])
                answer.nodes.insert(answer.nodes.begin(), uint32_t(k));
            answer.nodes.insert(answer.nodes.begin(), uint32_t(s));
            return answer;
        }
        const CGraphNode* from = graph.GetNode(node);
        for (int32_t a = 0; a < from->GetOutArcCount(); ++a) {
            CGraphArc* arc = from->GetOutArc(a);
            float cost = 0.0f;
            if (arc->GetData().blocked == 1 || !graph.GetConstraint()->ComputeCost(nullptr, arc, &cost))
                continue;
            const size_t m = size_t(arc->GetTo()->GetIndex());
            graph.GetHeuristic()->Estimate(nullptr, arc->GetTo(), goal, &h);
            const float newG = g[size_t(node)] + cost;
            const float newF = newG + h;
            if (reached[m] == 1 && !(newF < f[m]))
                continue;
            g[m] = newG;
            f[m] = newF;
            parent[m] = node;
            reached[m] = 1;
            if (auto entry = byNode(int32_t(m)); entry != open.end())
                *entry = Entry{newF, arrivals++, int32_t(m)};
            else
                open.push_back({newF, arrivals++, int32_t(m)});
        }
        open.erase(byNode(node));
        ++answer.expansions;
    }
    return answer;
}

TEST_F(AstarTest, ExpansionsAndPathsMatchAPlainSearchUnderEveryPricing)
{
    CDoubledLength doubledLength;
    CZeroHeuristic zero;
    CShiftedDistance shifted;
    CDoubledDistance overestimate; // reopens closed nodes
    struct Pricing
    {
        const char* name;
        CConstraint* constraint;
        CHeuristic* heuristic;
    };
    const Pricing pricings[] = {
        {"shortest, straight line", &shortest, &euclid},
        {"shortest, none (ties)", &shortest, &zero},
        {"shortest, below zero", &shortest, &shifted},
        {"shortest, overestimate", &shortest, &overestimate},
        {"doubled, straight line", &doubledLength, &euclid},
    };
    CSpatialGraph graphs[3];
    NavTest::MakeRandomGraph(graphs[0], 120, 100.0f, 3, 21);
    BuildGridGraph(graphs[1], 16, 16, 1.0f, 20, 4);
    BuildGridGraph(graphs[2], 16, 16, 3.0f, 0, 1);
    for (CSpatialGraph& graph : graphs) {
        Prepare(graph);
        std::mt19937 random(9);
        std::uniform_int_distribution<int32_t> pick(0, graph.GetNodeArraySize() - 1);
        for (int q = 0; q < 12; ++q) {
            const int32_t s = pick(random);
            const int32_t t = pick(random);
            for (const Pricing& pricing : pricings) {
                graph.SetConstraint(pricing.constraint);
                graph.SetHeuristic(pricing.heuristic);
                SearchAnswer ours;
                ours.found = AstarSearch(graph, path, graph.GetNode(s), graph.GetNode(t), nullptr);
                ours.expansions = AstarLastExpansionCount();
                if (ours.found) {
                    ours.nodes.assign(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count);
                    ours.cost = graph.GetNode(t)->GetData().g;
                }
                EXPECT_EQ(ours, PlainSearch(graph, s, t)) << pricing.name << ": " << s << " -> " << t;
            }
        }
    }
}

TEST_F(AstarTest, DerivedConstraintsAndHeuristicsAreAskedThemselves)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 8, 8, 1.0f, 0, 1);
    Prepare(graph);
    CRefusingShortestPath refusing;
    graph.SetConstraint(&refusing);
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(63), nullptr));
    graph.SetConstraint(&shortest);
    CDoubledDistance doubled;
    graph.SetHeuristic(&doubled);
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(63), nullptr));
    EXPECT_GT(doubled.calls, 1);
    EXPECT_EQ(path.nodeIndices[size_t(path.count - 1)], 63u);
}

TEST_F(AstarTest, ImmediateGoal)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 3, 3, 1.0f, 0, 1);
    Prepare(graph);
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(4), graph.GetNode(4), nullptr));
    EXPECT_EQ(path.count, 1);
    EXPECT_EQ(path.nodeIndices[0], 4u);
    EXPECT_EQ(path.arcIndices[0], uint32_t(-1));
    // The sliced search reaches the goal before expanding anything: its
    // statistics must stay finite.
    AstarSliceStats stats;
    EXPECT_EQ(
        AstarSearchSliced(graph, path, graph.GetNode(4), graph.GetNode(4), nullptr, stats, 1.0f, 1.0f, true),
        kAstarFound);
    EXPECT_EQ(stats.nodeCount, 0u);
    EXPECT_TRUE(std::isfinite(stats.meanTime));
    EXPECT_TRUE(std::isfinite(stats.deviation));
}

TEST_F(AstarTest, UnreachableGoalAndBlockedArcs)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 4, 1, 1.0f, 0, 1);
    Prepare(graph);
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(3), nullptr));
    CSpatialGraph::FindOutArcTo(graph.GetNode(1), graph.GetNode(2))->GetData().blocked = 1;
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(3), nullptr));
    EXPECT_EQ(graph.GetNode(0)->GetData().startMarker, 0);
    EXPECT_TRUE(AstarSearch(graph, path, graph.GetNode(3), graph.GetNode(0), nullptr));
    graph.SetHeuristic(nullptr);
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(3), graph.GetNode(0), nullptr));
}

TEST_F(AstarTest, CapacityExhaustionFailsCleanly)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 10, 10, 1.0f, 0, 1);
    graph.SetConstraint(&shortest);
    graph.SetHeuristic(&euclid);
    path.SetCapacity(100);
    ASSERT_TRUE(AstarMemoryInit(50));
    NavClearError();
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(99), nullptr));
    EXPECT_EQ(NavGetLastError(), ENavError::BadIndex);
    AstarSliceStats stats;
    EXPECT_EQ(
        AstarSearchSliced(graph, path, graph.GetNode(0), graph.GetNode(9), nullptr, stats, 1.0f, 1.0f, false),
        kAstarNoPath);
    AstarMemoryFree();
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(1), nullptr));
    // Beyond what the packed graph can index: refused before allocating.
    EXPECT_FALSE(AstarMemoryInit(kPackedMaxNodes + 1));
    EXPECT_EQ(AstarMemoryCapacity(), 0);
    ASSERT_TRUE(AstarMemoryInit(100));
    EXPECT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(99), nullptr));
}

TEST_F(AstarTest, LongPathIsTruncatedWithTheRemainingLength)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 10, 1, 2.0f, 0, 1);
    Prepare(graph);
    path.SetCapacity(4);
    path.remainingLength = 0.0f;
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(9), nullptr));
    EXPECT_EQ(path.truncated, 1);
    EXPECT_EQ(path.count, 4);
    EXPECT_EQ(path.nodeIndices[3], 3u);
    EXPECT_NE(path.arcIndices[3], uint32_t(-1));
    // From node 4 (just beyond the last entry) to node 9.
    EXPECT_FLOAT_EQ(path.remainingLength, 10.0f);
}

TEST_F(AstarTest, EqualTotalsExpandInArrivalOrderAndCheaperRoutesReopen)
{
    // 0 -> 1 -> 3 costs 2 + 2; 0 -> 2 -> 3 costs 1 + 1: the search must
    // give the cheaper one even though node 3 was first reached through 1.
    CSpatialGraph graph;
    const CVec3 positions[] = {CVec3(0, 0, 0), CVec3(1, 0, 0), CVec3(0, 0, 1), CVec3(1, 0, 1)};
    for (const CVec3& p : positions) {
        CGraphNodeData record;
        record.position = p;
        graph.AddNode(record);
    }
    const auto join = [&](int a, int b, float length) {
        CGraphArcData arc;
        arc.length = length;
        graph.AddArc(arc, graph.GetNode(a), graph.GetNode(b));
    };
    join(0, 1, 2.0f);
    join(0, 2, 1.0f);
    join(1, 3, 2.0f);
    join(2, 3, 1.0f);
    CZeroHeuristic zero;
    Prepare(graph);
    graph.SetHeuristic(&zero);
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(3), nullptr));
    ASSERT_EQ(path.count, 3);
    EXPECT_EQ(path.nodeIndices[1], 2u);
}

// A negative arc lets the search reach its start again more cheaply: the
// start is open once more when the goal comes up (0 -> 1 -> 2, priced -4,
// arrives before 1 -> 0 does). The memory holds exactly the three nodes, so
// the steps back from the goal outnumber the nodes that are closed.
TEST_F(AstarTest, StartReopenedByANegativeArcStillEndsThePath)
{
    CSpatialGraph graph;
    for (int i = 0; i < 3; ++i)
        graph.AddNode(CGraphNodeData{}); // all at one place: every estimate is 0
    const auto join = [&](int a, int b, float length) {
        CGraphArcData arc;
        arc.length = arc.cost = length;
        graph.AddArc(arc, graph.GetNode(a), graph.GetNode(b));
    };
    join(0, 1, -5.0f);
    join(1, 2, 1.0f);
    join(1, 0, 1.0f);
    Prepare(graph);
    ASSERT_EQ(AstarMemoryCapacity(), 3);
    ASSERT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(2), nullptr));
    ASSERT_EQ(path.count, 3);
    EXPECT_EQ(path.nodeIndices, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(path.arcIndices, (std::vector<uint32_t>{0, 1, uint32_t(-1)}));
    EXPECT_FLOAT_EQ(graph.GetNode(2)->GetData().g, -4.0f);
}

// An allocator that counts the requests it gets and serves the first
// `allow` of them through the default allocator.
class CCountingAllocator : public CChainedAllocator
{
  public:
    explicit CCountingAllocator(int allow) : CChainedAllocator(0, nullptr), m_allow(allow) {}
    CAllocator* Free(void* /*p*/) override { return nullptr; }
    void* RawAlloc(std::size_t size) override
    {
        return ++requests <= m_allow ? AiGetDefaultAllocator()->RawAlloc(size) : nullptr;
    }
    void RawFree(void* /*p*/) override {}
    int requests = 0;

  private:
    int m_allow;
};

// Makes an allocator the current one for a scope.
class CCurrentAllocator
{
  public:
    explicit CCurrentAllocator(CChainedAllocator* allocator) : m_previous(AiGetCurrentAllocator())
    {
        AiSetCurrentAllocator(allocator);
    }
    ~CCurrentAllocator() { AiSetCurrentAllocator(m_previous); }
    CCurrentAllocator(const CCurrentAllocator&) = delete;
    CCurrentAllocator& operator=(const CCurrentAllocator&) = delete;

  private:
    CChainedAllocator* m_previous;
};

// A hub joined to `leaves` leaves on a circle, one of which (`exit`) leads
// on to a far goal; node i of the compact layout sits at index at(i).
struct HubAndLeaves
{
    static constexpr int kLeaves = 600;
    static constexpr int kExit = 417;
    int32_t goal = 0;

    void Build(CSpatialGraph& graph, int32_t (*at)(int32_t))
    {
        CGraphNodeData record;
        record.position = CVec3{0.0f, 0.0f, 0.0f};
        graph.AddNode(record, at(0));
        for (int32_t i = 1; i <= kLeaves; ++i) {
            const float angle = 6.2831853f * float(i) / float(kLeaves);
            record.position = CVec3{10.0f * std::cos(angle), 10.0f * std::sin(angle), 0.0f};
            graph.AddNode(record, at(i));
        }
        goal = at(kLeaves + 1);
        record.position = CVec3{-60.0f, 25.0f, 0.0f};
        graph.AddNode(record, goal);
        for (int32_t i = 1; i <= kLeaves; ++i)
            Join(graph, at(0), at(i));
        Join(graph, at(kExit), goal);
    }
    static void Join(CSpatialGraph& graph, int32_t from, int32_t to)
    {
        CGraphArcData arc;
        arc.length = arc.cost = std::sqrt(
            CVec3::SquaredDistance(graph.GetNode(from)->GetPosition(), graph.GetNode(to)->GetPosition()));
        graph.AddArc(arc, graph.GetNode(from), graph.GetNode(to));
    }
};

// Node indices far apart, an open set that holds most of the graph at once
// and estimates kept for another heuristic give exactly the search of a
// compact graph.
TEST_F(AstarTest, FarApartIndicesSearchLikeACompactGraph)
{
    CSpatialGraph compact, sparse;
    HubAndLeaves compactShape, sparseShape;
    compactShape.Build(compact, [](int32_t i) { return i; });
    sparseShape.Build(sparse, [](int32_t i) { return i * 1000 + 37; });
    CDoubledDistance derived; // a heuristic whose estimates the search keeps
    for (CHeuristic* heuristic : {static_cast<CHeuristic*>(&euclid), static_cast<CHeuristic*>(&derived)}) {
        uint32_t expansions[2] = {0, 0};
        std::vector<uint32_t> nodes[2];
        int side = 0;
        for (auto [graph, shape, at] :
             {std::tuple{&compact, &compactShape, +[](int32_t i) { return i; }},
              std::tuple{&sparse, &sparseShape, +[](int32_t i) { return i * 1000 + 37; }}}) {
            Prepare(*graph);
            graph->SetHeuristic(heuristic);
            ASSERT_TRUE(
                AstarSearch(*graph, path, graph->GetNode(at(0)), graph->GetNode(shape->goal), nullptr));
            expansions[side] = AstarLastExpansionCount();
            for (int32_t e = 0; e < path.count; ++e)
                nodes[side].push_back(path.nodeIndices[size_t(e)]);
            ++side;
        }
        EXPECT_EQ(expansions[0], expansions[1]);
        EXPECT_GT(expansions[0], 300u); // most leaves were open at once
        EXPECT_EQ(nodes[0], (std::vector<uint32_t>{0, HubAndLeaves::kExit, HubAndLeaves::kLeaves + 1}));
        EXPECT_EQ(nodes[1], (std::vector<uint32_t>{37, HubAndLeaves::kExit * 1000 + 37,
                                                   (HubAndLeaves::kLeaves + 1) * 1000 + 37}));
    }
}

// A refused allocation leaves no working memory: init says so, and searches
// fail as on a memory never made until an init succeeds.
TEST_F(AstarTest, RefusedInitLeavesNoMemory)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, 20, 20, 1.0f, 10, 3);
    Prepare(graph);
    CGraphNode* start = graph.GetNode(0);
    CGraphNode* goal = graph.GetNode(399);
    ASSERT_TRUE(AstarSearch(graph, path, start, goal, nullptr));
    const std::vector<uint32_t> found(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count);
    {
        CCountingAllocator refusing(0);
        CCurrentAllocator current(&refusing);
        NavClearError();
        EXPECT_FALSE(AstarMemoryInit(graph.GetNodeArraySize()));
        EXPECT_EQ(refusing.requests, 1);
    }
    EXPECT_EQ(NavGetLastError(), ENavError::NoMemory);
    EXPECT_EQ(AstarMemoryCapacity(), 0);
    NavClearError();
    EXPECT_FALSE(AstarSearch(graph, path, start, goal, nullptr));
    EXPECT_EQ(NavGetLastError(), ENavError::BadIndex);
    AstarSliceStats stats;
    EXPECT_EQ(AstarSearchSliced(graph, path, start, goal, nullptr, stats, 1.0f, 1.0f, false), kAstarNoPath);
    EXPECT_EQ(start->GetData().startMarker, 0);
    ASSERT_TRUE(AstarMemoryInit(graph.GetNodeArraySize()));
    ASSERT_TRUE(AstarSearch(graph, path, start, goal, nullptr));
    EXPECT_EQ(std::vector<uint32_t>(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count), found);
}

// The working memory comes whole from the AI allocator at init; no search
// asks for more, from the first after init on, however far it reaches,
// whatever the pricing, whole or sliced.
TEST_F(AstarTest, SearchesNeverAllocate)
{
    CSpatialGraph grid, hub;
    BuildGridGraph(grid, 40, 40, 1.0f, 20, 9);
    HubAndLeaves hubShape;
    hubShape.Build(hub, [](int32_t i) { return i * 1000 + 37; });
    CDoubledDistance derived; // its estimates are kept
    CDoubledLength doubled;   // priced through its object, writing the arcs' cost fields
    NavTest::Host().SetClockStep(0.001f);
    auto open = [&grid](int32_t i) { // the first open grid node from i on
        while (grid.GetNode(i)->GetOutArcCount() == 0)
            ++i;
        return i;
    };
    struct Query
    {
        CSpatialGraph* graph;
        int32_t start, goal;
    };
    const Query queries[] = {{&grid, open(0), open(1560)},
                             {&grid, open(1520), open(39)},
                             {&grid, open(820), open(3)},
                             {&hub, 37, hubShape.goal}};
    for (const Query& q : queries)
        for (CHeuristic* heuristic :
             {static_cast<CHeuristic*>(&euclid), static_cast<CHeuristic*>(&derived)}) {
            CSpatialGraph& graph = *q.graph;
            CGraphNode* start = graph.GetNode(q.start);
            CGraphNode* goal = graph.GetNode(q.goal);
            auto search = [&] {
                graph.SetHeuristic(heuristic);
                graph.SetConstraint(heuristic == &euclid ? static_cast<CConstraint*>(&shortest) : &doubled);
                return AstarSearch(graph, path, start, goal, nullptr);
            };
            // The answer on fresh memory from the default allocator.
            Prepare(graph);
            ASSERT_TRUE(search()) << q.start << " -> " << q.goal;
            const std::vector<uint32_t> nodes(path.nodeIndices.begin(),
                                              path.nodeIndices.begin() + path.count);
            const uint32_t expansions = AstarLastExpansionCount();
            // Fresh memory again, then every later request refused.
            CCountingAllocator counting(1);
            CCountingAllocator refusing(0);
            {
                CCurrentAllocator current(&counting);
                Prepare(graph);
            }
            EXPECT_EQ(counting.requests, 1);
            CCurrentAllocator current(&refusing);
            for (int repeat = 0; repeat < 2; ++repeat) {
                ASSERT_TRUE(search());
                EXPECT_EQ(AstarLastExpansionCount(), expansions);
                EXPECT_EQ(
                    std::vector<uint32_t>(path.nodeIndices.begin(), path.nodeIndices.begin() + path.count),
                    nodes);
            }
            AstarSliceStats stats;
            EAstarResult result = kAstarSuspended;
            int calls = 0;
            for (; calls < 100000 && result == kAstarSuspended; ++calls)
                result = AstarSearchSliced(graph, path, start, goal, nullptr, stats, 1.0f, 0.003f, false);
            EXPECT_EQ(result, kAstarFound);
            EXPECT_GT(calls, 1);
            EXPECT_EQ(AstarLastExpansionCount(), expansions);
            EXPECT_EQ(refusing.requests, 0);
        }
}

} // namespace
} // namespace Zelk
