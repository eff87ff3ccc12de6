#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_queries.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/spatial_graph.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace Zelk {
namespace {

bool InBox(const CVec3& p, const CVec3& c, float r, float h)
{
    return p.x >= c.x - r && p.x <= c.x + r && p.y >= c.y - h && p.y <= c.y + h && p.z >= c.z - r &&
           p.z <= c.z + r;
}

TEST(FindNearestData, CandidatesEqualTheBruteForceBox)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        CSpatialGraph graph;
        NavTest::MakeRandomGraph(graph, 300, 100.0f, 2, seed);
        graph.SetSearchRadius(12.0f);
        CFindNearestData data(&graph);
        ASSERT_TRUE(data.Build());
        std::mt19937 random(seed + 100);
        std::uniform_real_distribution<float> coordinate(-20.0f, 120.0f);
        for (int q = 0; q < 200; ++q) {
            const CVec3 point(coordinate(random), coordinate(random), coordinate(random));
            const float h = q % 3 == 0 ? 5.0f : 30.0f;
            const uint32_t* list = nullptr;
            const int32_t count = data.FindCandidates(point, h, list);
            std::set<uint32_t> found(list, list + count);
            EXPECT_EQ(found.size(), size_t(count)) << "a node listed twice";
            std::set<uint32_t> expected;
            for (int32_t i = 0; i < graph.GetNodeCount(); ++i)
                if (InBox(graph.GetNode(i)->GetPosition(), point, 12.0f, h))
                    expected.insert(uint32_t(i));
            EXPECT_EQ(found, expected) << "seed " << seed << " query " << q;
        }
    }
}

TEST(FindNearestData, EqualCoordinatesOnTheBorderAreAllIncluded)
{
    CSpatialGraph graph;
    for (int i = 0; i < 6; ++i) {
        CGraphNodeData record;
        record.position = CVec3(i < 3 ? 10.0f : 11.0f, 0.0f, float(i));
        graph.AddNode(record);
    }
    graph.SetSearchRadius(10.0f);
    CFindNearestData data(&graph);
    ASSERT_TRUE(data.Build());
    const uint32_t* list = nullptr;
    EXPECT_EQ(data.FindCandidates(CVec3(0.0f, 0.0f, 2.0f), 1.0f, list), 3);
    EXPECT_EQ(data.FindCandidates(CVec3(1000.0f, 0.0f, 0.0f), 1.0f, list), 0);
    int32_t first = 0;
    int32_t last = 0;
    EXPECT_EQ(data.AxisRange(CVec3(10.0f, 0.0f, 0.0f), 0.0f, 0, first, last), 3);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 2);
}

TEST(FindNearestData, NearestNodeFromDataMatchesBruteForce)
{
    NavTest::StartRuntime();
    CSpatialGraph graph;
    NavTest::MakeRandomGraph(graph, 200, 50.0f, 2, 9);
    graph.SetSearchRadius(8.0f);
    CFindNearestData data(&graph);
    ASSERT_TRUE(data.Build());
    std::mt19937 random(5);
    std::uniform_real_distribution<float> coordinate(0.0f, 50.0f);
    for (int q = 0; q < 100; ++q) {
        const CVec3 point(coordinate(random), coordinate(random), coordinate(random));
        const CGraphNode* found = FindNearestNodeFromData(point, nullptr, 50.0f, data, false, false);
        const CGraphNode* best = nullptr;
        for (int32_t i = 0; i < graph.GetNodeCount(); ++i) {
            const CGraphNode* node = graph.GetNode(i);
            if (!InBox(node->GetPosition(), point, 8.0f, 50.0f))
                continue;
            if (best == nullptr || CVec3::SquaredDistance(node->GetPosition(), point) <
                                       CVec3::SquaredDistance(best->GetPosition(), point))
                best = node;
        }
        EXPECT_EQ(found, best) << q;
    }
    NavTest::StopRuntime();
}

std::vector<uint8_t> BuiltBytes(CSpatialGraph& graph)
{
    CFindNearestData data(&graph);
    EXPECT_TRUE(data.Build());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(data.WriteToMemory(bytes));
    return bytes;
}

TEST(FindNearestDataFile, RoundTripAndRefusals)
{
    CSpatialGraph graph;
    NavTest::MakeRandomGraph(graph, 20, 10.0f, 1, 4);
    const std::vector<uint8_t> bytes = BuiltBytes(graph);
    ASSERT_EQ(bytes.size(), 28u + 24u * 20u);
    CFindNearestData read(&graph);
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    std::vector<uint8_t> again;
    ASSERT_TRUE(read.WriteToMemory(again));
    EXPECT_EQ(again, bytes);

    struct Case
    {
        const char* what;
        size_t offset;
        uint8_t value;
        ENavError error;
    };
    const Case cases[] = {
        {"magic", 3, 'X', ENavError::WrongMagic},
        {"version", 24, 2, ENavError::WrongVersion},
        {"index not below N", 28, 20, ENavError::BadIndex},
        {"rank not below N", 28 + 12 * 20, 200, ENavError::BadIndex},
        {"index out of order", 28 + 4, 0xFF, ENavError::BadIndex},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = bytes;
        bad[c.offset] = c.value;
        NavClearError();
        EXPECT_FALSE(read.ReadFromMemory(bad.data(), bad.size())) << c.what;
        EXPECT_EQ(NavGetLastError(), c.error) << c.what;
        EXPECT_FALSE(read.IsReady());
    }
    for (size_t length = 0; length < bytes.size(); length += 7) {
        EXPECT_FALSE(read.ReadFromMemory(bytes.data(), length)) << length;
    }
    // Data written for a graph of another size is refused.
    CSpatialGraph other;
    NavTest::MakeRandomGraph(other, 21, 10.0f, 1, 4);
    CFindNearestData wrong(&other);
    EXPECT_FALSE(wrong.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
}

} // namespace
} // namespace Zelk
