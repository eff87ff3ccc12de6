#include "ai/navigation/nav_error.h"
#include "ai/navigation/spatial_graph.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace Zelk {
namespace {

CGraphNodeData At(float x, float y, float z)
{
    CGraphNodeData record;
    record.position = CVec3(x, y, z);
    return record;
}

int32_t Join(CSpatialGraph& graph, int32_t from, int32_t to)
{
    return graph.AddArc(CGraphArcData(), graph.GetNode(from), graph.GetNode(to));
}

// Records every move so that renumbering can be checked against the hooks.
class CTrackingGraph : public CSpatialGraph
{
  public:
    void OnNodeMoved(int32_t oldIndex, int32_t newIndex) override
    {
        nodeMoves.emplace_back(oldIndex, newIndex);
    }
    void OnArcMoved(int32_t oldIndex, int32_t newIndex) override
    {
        arcMoves.emplace_back(oldIndex, newIndex);
    }
    std::vector<std::pair<int32_t, int32_t>> nodeMoves;
    std::vector<std::pair<int32_t, int32_t>> arcMoves;
};

TEST(SpatialGraph, IndicesAndLookups)
{
    CSpatialGraph graph;
    EXPECT_EQ(graph.AddNode(At(0, 0, 0)), 0);
    EXPECT_EQ(graph.AddNode(At(1, 0, 0)), 1);
    EXPECT_EQ(graph.AddNode(At(2, 0, 0), 5), 5);
    EXPECT_EQ(graph.GetNodeCount(), 3);
    EXPECT_EQ(graph.GetHighestNodeIndex(), 5);
    EXPECT_NE(graph.GetNode(5), nullptr);
    EXPECT_EQ(graph.GetNode(6), nullptr);
    EXPECT_EQ(graph.GetNode(-1), nullptr);
    EXPECT_EQ(graph.GetNode(3), nullptr);
    EXPECT_EQ(graph.AddNode(At(0, 0, 0), -7), -1);
}

TEST(SpatialGraph, OneArcPerOrderedPair)
{
    CSpatialGraph graph;
    graph.AddNode(At(0, 0, 0));
    graph.AddNode(At(3, 0, 4));
    const int32_t first = Join(graph, 0, 1);
    EXPECT_EQ(Join(graph, 0, 1), first);
    EXPECT_EQ(graph.GetArcCount(), 1);
    const int32_t back = Join(graph, 1, 0);
    EXPECT_NE(back, first);
    EXPECT_EQ(graph.GetArcCount(), 2);
    EXPECT_EQ(CSpatialGraph::FindOutArcTo(graph.GetNode(0), graph.GetNode(1)), graph.GetArc(first));
    EXPECT_EQ(graph.AddArc(CGraphArcData(), nullptr, graph.GetNode(0)), -1);
}

TEST(SpatialGraph, RemovingANodeRemovesItsArcsFromBothEnds)
{
    CSpatialGraph graph;
    for (int i = 0; i < 4; ++i)
        graph.AddNode(At(float(i), 0, 0));
    Join(graph, 0, 1);
    Join(graph, 1, 2);
    Join(graph, 2, 1);
    Join(graph, 2, 3);
    ASSERT_TRUE(graph.RemoveNode(1));
    EXPECT_EQ(graph.GetNodeCount(), 3);
    EXPECT_EQ(graph.GetArcCount(), 1);
    EXPECT_EQ(graph.GetNode(0)->GetOutArcCount(), 0);
    EXPECT_EQ(graph.GetNode(2)->GetOutArcCount(), 1);
    EXPECT_EQ(graph.GetNode(2)->GetInArcCount(), 0);
    EXPECT_EQ(graph.GetNode(3)->GetIndex(), 3);
    EXPECT_FALSE(graph.RemoveNode(1));
}

TEST(SpatialGraph, PlacingOnAnOccupiedSlotDetachesTheOldObject)
{
    CSpatialGraph graph;
    for (int i = 0; i < 3; ++i)
        graph.AddNode(At(float(i), 0, 0));
    Join(graph, 0, 1);
    Join(graph, 1, 2);
    // Replacing node 1 must take its arcs with it: nodes 0 and 2 keep no
    // pointer to the destroyed node.
    ASSERT_TRUE(graph.SetNodeAt(new CGraphNode(At(9, 9, 9)), 1));
    EXPECT_EQ(graph.GetNodeCount(), 3);
    EXPECT_EQ(graph.GetArcCount(), 0);
    EXPECT_EQ(graph.GetNode(0)->GetOutArcCount(), 0);
    EXPECT_EQ(graph.GetNode(2)->GetInArcCount(), 0);

    const int32_t slot = Join(graph, 0, 1);
    ASSERT_TRUE(graph.SetArcAt(new CGraphArc(CGraphArcData()), graph.GetNode(2), graph.GetNode(0), slot));
    EXPECT_EQ(graph.GetArcCount(), 1);
    EXPECT_EQ(graph.GetNode(0)->GetOutArcCount(), 0);
    EXPECT_EQ(graph.GetNode(1)->GetInArcCount(), 0);
    EXPECT_EQ(graph.GetNode(2)->GetOutArc(0), graph.GetArc(slot));
}

TEST(SpatialGraph, InsertShiftsLaterSlotsAndCallsTheHook)
{
    CTrackingGraph graph;
    for (int i = 0; i < 3; ++i)
        graph.AddNode(At(float(i), 0, 0));
    ASSERT_TRUE(graph.InsertNodeAt(new CGraphNode(At(7, 0, 0)), 1));
    EXPECT_EQ(graph.GetHighestNodeIndex(), 3);
    EXPECT_EQ(graph.GetNode(1)->GetPosition().x, 7.0f);
    EXPECT_EQ(graph.GetNode(2)->GetPosition().x, 1.0f);
    EXPECT_EQ(graph.GetNode(3)->GetIndex(), 3);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{2, 3}, {1, 2}};
    EXPECT_EQ(graph.nodeMoves, expected);
    EXPECT_FALSE(graph.InsertNodeAt(new CGraphNode(At(0, 0, 0)), 9));
}

TEST(SpatialGraph, PackAndRenumberCloseHoles)
{
    CTrackingGraph graph;
    for (int i = 0; i < 5; ++i)
        graph.AddNode(At(float(i), 0, 0));
    Join(graph, 0, 4);
    Join(graph, 4, 3);
    Join(graph, 1, 2);
    graph.RemoveNode(1);
    graph.RemoveNode(2);
    graph.Renumber();
    EXPECT_EQ(graph.GetHighestNodeIndex(), 2);
    EXPECT_EQ(graph.GetHighestArcIndex(), 1);
    EXPECT_EQ(graph.GetNode(1)->GetPosition().x, 3.0f);
    EXPECT_EQ(graph.GetNode(2)->GetPosition().x, 4.0f);
    EXPECT_EQ(graph.GetArc(0)->GetTo(), graph.GetNode(2));
    const std::vector<std::pair<int32_t, int32_t>> expected = {{3, 1}, {4, 2}};
    EXPECT_EQ(graph.nodeMoves, expected);
}

TEST(SpatialGraph, SearchRadiusIgnoresArcsWithPathObjects)
{
    CSpatialGraph graph;
    EXPECT_EQ(graph.GetSearchRadius(), 0.0f);
    graph.AddNode(At(0, 0, 0));
    graph.AddNode(At(3, 0, 4));
    graph.AddNode(At(0, 0, 100));
    Join(graph, 0, 1);
    graph.GetArc(Join(graph, 0, 2))->GetData().linkedObject = reinterpret_cast<CPathObject*>(&graph);
    EXPECT_FLOAT_EQ(graph.GetSearchRadius(), 7.5f);
    graph.GetArc(1)->GetData().linkedObject = nullptr;
    graph.SetSearchRadius(-1.0f);
    EXPECT_FLOAT_EQ(graph.GetSearchRadius(), 150.0f);
}

// The small graph of the golden file: a triangle with one extra node.
void MakeSmallGraph(CSpatialGraph& graph)
{
    graph.AddNode(At(0, 0, 0));
    graph.AddNode(At(4, 0, 0));
    graph.AddNode(At(4, 0, 3));
    graph.AddNode(At(0, 1, 3));
    Join(graph, 0, 1);
    Join(graph, 1, 2);
    Join(graph, 2, 0);
    Join(graph, 2, 3);
}

TEST(SpatialGraphFile, MatchesTheGoldenFile)
{
    CSpatialGraph graph;
    MakeSmallGraph(graph);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(graph.WriteToMemory(bytes));
    // The written bytes go beside the test's output for comparison on failure.
    std::ofstream(NavTest::OutputPath("small.graph"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::ifstream golden(std::string(OLAI_TEST_SOURCE_DIR) + "/data/small.graph", std::ios::binary);
    ASSERT_TRUE(golden.good());
    const std::vector<uint8_t> expected((std::istreambuf_iterator<char>(golden)),
                                        std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, expected);
    ASSERT_EQ(bytes.size(), 37u + 20u * 4u + 8u * 4u);
    EXPECT_EQ(std::memcmp(bytes.data(), "Varnoth Spatial graph", 21), 0);
    EXPECT_EQ(bytes[21], 1);

    CSpatialGraph read;
    ASSERT_TRUE(read.ReadFromMemory(expected.data(), expected.size()));
    std::vector<uint8_t> again;
    ASSERT_TRUE(read.WriteToMemory(again));
    EXPECT_EQ(again, expected);
    ASSERT_EQ(read.GetArcCount(), 4);
    EXPECT_FLOAT_EQ(read.GetArc(1)->GetLength(), 3.0f);
    EXPECT_FLOAT_EQ(read.GetArc(2)->GetData().cost, 5.0f);
}

TEST(SpatialGraphFile, HolesAreRenumberedBeforeWriting)
{
    CSpatialGraph graph;
    MakeSmallGraph(graph);
    graph.AddNode(At(9, 9, 9), 10);
    graph.RemoveNode(0);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(graph.WriteToMemory(bytes));
    CSpatialGraph read;
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(read.GetNodeCount(), 4);
    EXPECT_EQ(read.GetHighestNodeIndex(), 3);
    EXPECT_EQ(read.GetNode(3)->GetPosition().x, 9.0f);
    ASSERT_EQ(read.GetArcCount(), 2);
    EXPECT_EQ(read.GetArc(0)->GetFrom()->GetPosition().x, 4.0f);
    EXPECT_EQ(read.GetArc(1)->GetTo()->GetPosition().y, 1.0f);
}

TEST(SpatialGraphFile, HostFileRoundTrip)
{
    NavTest::StartRuntime();
    CSpatialGraph graph;
    NavTest::MakeRandomGraph(graph, 50, 100.0f, 3, 7);
    const std::string path = NavTest::OutputPath("random.graph");
    ASSERT_TRUE(graph.Write(path.c_str()));
    CSpatialGraph read;
    ASSERT_TRUE(read.ReadFromFile(path.c_str()));
    std::vector<uint8_t> a;
    std::vector<uint8_t> b;
    graph.WriteToMemory(a);
    read.WriteToMemory(b);
    EXPECT_EQ(a, b);
    EXPECT_FALSE(read.ReadFromFile(NavTest::OutputPath("missing.graph").c_str()));
    EXPECT_EQ(NavGetLastError(), ENavError::CannotOpen);
    NavTest::StopRuntime();
}

std::vector<uint8_t> SmallGraphBytes()
{
    CSpatialGraph graph;
    MakeSmallGraph(graph);
    std::vector<uint8_t> bytes;
    graph.WriteToMemory(bytes);
    return bytes;
}

void PutU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
}

// A read graph keeps its nodes and arcs in one block: every later edit still
// works on them, and each object, in the block or added after, is freed once
// (the sanitizers' leak and use-after-free checks watch this test).
TEST(SpatialGraphFile, AReadGraphCanBeEditedLikeABuiltOne)
{
    const std::vector<uint8_t> bytes = SmallGraphBytes();
    CSpatialGraph graph;
    ASSERT_TRUE(graph.ReadFromMemory(bytes.data(), bytes.size()));
    CGraphNode* const node2 = graph.GetNode(2);
    CGraphArc* const arc1 = graph.GetArc(1);

    // Lists grow beyond the room they were read with; an arc and a node go.
    graph.AddArc(CGraphArcData(), graph.GetNode(2), graph.GetNode(1));
    graph.AddArc(CGraphArcData(), graph.GetNode(3), graph.GetNode(0));
    graph.AddArc(CGraphArcData(), graph.GetNode(0), graph.GetNode(3));
    ASSERT_TRUE(graph.RemoveArc(0));
    ASSERT_TRUE(graph.RemoveNode(3));
    EXPECT_EQ(graph.GetNode(2), node2);
    EXPECT_EQ(graph.GetArc(1), arc1);
    EXPECT_EQ(node2->GetOutArcCount(), 2);
    EXPECT_EQ(node2->GetInArcCount(), 1);

    // Placing over a read node, inserting before one, copying one.
    ASSERT_TRUE(graph.SetNodeAt(new CGraphNode(At(5, 0, 0)), 0));
    ASSERT_TRUE(graph.InsertNodeAt(new CGraphNode(At(6, 0, 0)), 1));
    EXPECT_EQ(graph.GetNode(3), node2);
    EXPECT_EQ(node2->GetIndex(), 3);
    CGraphNode copy(*node2);
    EXPECT_EQ(copy.GetOutArcCount(), 1);
    *node2 = copy; // the same lists again: the graph stays whole
    graph.AddArc(CGraphArcData(), graph.GetNode(1), node2);
    EXPECT_EQ(node2->GetInArcCount(), 2);
    graph.Renumber();
    EXPECT_EQ(graph.GetNodeCount(), 4);
    EXPECT_EQ(graph.GetNode(3), node2);

    // Reading again replaces everything; the graph then goes with the test.
    ASSERT_TRUE(graph.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(graph.GetNodeCount(), 4);
    EXPECT_EQ(graph.GetArcCount(), 4);
    graph.AddNode(At(1, 1, 1));
    graph.AddArc(CGraphArcData(), graph.GetNode(4), graph.GetNode(0));
    std::vector<uint8_t> again;
    ASSERT_TRUE(graph.WriteToMemory(again));
    EXPECT_EQ(again.size(), bytes.size() + 20 + 8);
}

// A graph built at once takes its objects from its block while the block
// lasts and from the allocator beyond; each is freed once, whichever way it
// goes (the sanitizers watch this test). Only an empty graph gets a block.
TEST(SpatialGraph, ABlockServesAddedObjectsWhileItLasts)
{
    CSpatialGraph graph;
    graph.AddNode(At(0, 0, 0));
    EXPECT_FALSE(graph.ReserveBlock(2, 1, 2));
    graph.Clear();
    ASSERT_TRUE(graph.ReserveBlock(2, 1, 2));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(graph.AddNode(At(float(i), 0, 0)), i);
    ASSERT_EQ(graph.AddArc(CGraphArcData(), graph.GetNode(0), graph.GetNode(1)), 0);
    ASSERT_EQ(graph.AddArc(CGraphArcData(), graph.GetNode(0), graph.GetNode(2)), 1);
    ASSERT_EQ(graph.AddArc(CGraphArcData(), graph.GetNode(2), graph.GetNode(0)), 2);
    EXPECT_EQ(graph.GetNode(0)->GetOutArcCount(), 2);
    EXPECT_FALSE(graph.ReserveBlock(8, 8, 8));
    ASSERT_TRUE(graph.RemoveNode(2));
    EXPECT_EQ(graph.GetArcCount(), 1);
    ASSERT_TRUE(graph.SetNodeAt(new CGraphNode(At(5, 0, 0)), 1));
    EXPECT_EQ(graph.GetArcCount(), 0);
    ASSERT_TRUE(graph.RemoveNode(0));
    ASSERT_TRUE(graph.RemoveNode(1));
    // Emptied by removals, the graph takes a new block.
    ASSERT_TRUE(graph.ReserveBlock(1, 0, 0));
    graph.AddNode(At(1, 1, 1));
    graph.AddNode(At(2, 2, 2));
    EXPECT_EQ(graph.GetNodeCount(), 2);
}

// The stored arc counts only size the lists' first room: counts that do not
// match the arcs (too few, too many) still read the arcs as they are.
TEST(SpatialGraphFile, StoredArcCountsThatDisagreeOnlyCostRoom)
{
    std::vector<uint8_t> bytes = SmallGraphBytes();
    PutU32(bytes, 33 + 12, 0);      // node 0: no in-arcs stored (it has one)
    PutU32(bytes, 33 + 16, 3);      // node 0: three out-arcs stored (it has one)
    PutU32(bytes, 33 + 20 + 16, 4); // node 1: all the file's arcs
    CSpatialGraph graph;
    ASSERT_TRUE(graph.ReadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(graph.GetNode(0)->GetInArcCount(), 1);
    EXPECT_EQ(graph.GetNode(0)->GetOutArcCount(), 1);
    EXPECT_EQ(graph.GetNode(1)->GetOutArcCount(), 1);
    EXPECT_EQ(graph.GetNode(2)->GetOutArcCount(), 2);
    EXPECT_EQ(graph.GetNode(2)->GetOutArc(1)->GetTo(), graph.GetNode(3));
}

TEST(SpatialGraphFile, RefusesMalformedFiles)
{
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
        ENavError error;
    };
    const size_t arcCountOffset = 33 + 20 * 4;
    const Case cases[] = {
        {"magic", 0, 0x6E726156u ^ 0x20u, ENavError::WrongMagic},
        {"version 2", 21, 2, ENavError::WrongVersion},
        {"version 0", 21, 0, ENavError::WrongVersion},
        {"node count beyond the data", 29, 5, ENavError::BadCount},
        {"huge node count", 29, 0xFFFFFFFFu, ENavError::BadCount},
        {"huge in-arc count", 33 + 12, 0x40000000u, ENavError::BadCount},
        {"arc count beyond the data", arcCountOffset, 5, ENavError::BadCount},
        {"arc from outside the nodes", arcCountOffset + 4, 4, ENavError::BadIndex},
        {"arc to outside the nodes", arcCountOffset + 8, 0xFFFFFFFFu, ENavError::BadIndex},
        {"repeated arc", arcCountOffset + 4 + 8, 0, ENavError::BadIndex},
        {"infinite search radius", 25, 0x7F800000u, ENavError::BadValue},
        {"NaN node position", 33, 0x7FC00000u, ENavError::BadValue},
        {"infinite node height", 33 + 4, 0xFF800000u, ENavError::BadValue},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = SmallGraphBytes();
        if (c.offset == 0)
            bytes[0] ^= 0x20;
        else
            PutU32(bytes, c.offset, c.value);
        if (std::strcmp(c.what, "repeated arc") == 0)
            PutU32(bytes, c.offset + 4, 1); // arc 1 becomes a second 0 -> 1
        CSpatialGraph graph;
        NavClearError();
        EXPECT_FALSE(graph.ReadFromMemory(bytes.data(), bytes.size())) << c.what;
        EXPECT_EQ(NavGetLastError(), c.error) << c.what;
        if (c.error == ENavError::BadValue) {
            // The message says where: the offset of the number.
            EXPECT_NE(std::string(NavGetLastErrorText()).find("at byte " + std::to_string(c.offset)),
                      std::string::npos)
                << NavGetLastErrorText();
        }
    }
}

TEST(SpatialGraphFile, RefusesEveryTruncation)
{
    const std::vector<uint8_t> bytes = SmallGraphBytes();
    for (size_t length = 0; length < bytes.size(); ++length) {
        CSpatialGraph graph;
        NavClearError();
        EXPECT_FALSE(graph.ReadFromMemory(bytes.data(), length)) << length;
        EXPECT_TRUE(NavGetLastError() == ENavError::Truncated || NavGetLastError() == ENavError::BadCount)
            << length;
    }
}

} // namespace
} // namespace Zelk

namespace Zelk {
namespace {

TEST(SpatialGraphDumps, TextAndRawRoundTrips)
{
    CSpatialGraph graph;
    NavTest::MakeRandomGraph(graph, 30, 20.0f, 2, 5);
    const std::string text = graph.WriteTextToString();
    EXPECT_EQ(text.substr(0, 9), "Nodes:30\n");
    CSpatialGraph fromText;
    ASSERT_TRUE(fromText.ReadTextFromMemory(text.data(), text.size()));
    std::vector<uint8_t> raw;
    ASSERT_TRUE(graph.WriteRawToMemory(raw));
    CSpatialGraph fromRaw;
    ASSERT_TRUE(fromRaw.ReadRawFromMemory(raw.data(), raw.size()));
    for (CSpatialGraph* read : {&fromText, &fromRaw}) {
        ASSERT_EQ(read->GetNodeCount(), graph.GetNodeCount());
        ASSERT_EQ(read->GetArcCount(), graph.GetArcCount());
        for (int32_t i = 0; i < graph.GetArcCount(); ++i) {
            EXPECT_EQ(read->GetArc(i)->GetFrom()->GetIndex(), graph.GetArc(i)->GetFrom()->GetIndex());
            EXPECT_EQ(read->GetArc(i)->GetTo()->GetIndex(), graph.GetArc(i)->GetTo()->GetIndex());
        }
    }
}

TEST(SpatialGraphDumps, ReadersStopAtUnmatchedArcsAndRefuseBadCounts)
{
    const char text[] = "Nodes:2\n(0.0;0.0;0.0)\n(1.0;0.0;0.0)\nArcs:3\n(0.0;0.0;0.0)--->(1.0;0.0;0.0)\n"
                        "(0.0;0.0;0.0)--->(5.0;0.0;0.0)\n(1.0;0.0;0.0)--->(0.0;0.0;0.0)\n";
    CSpatialGraph graph;
    ASSERT_TRUE(graph.ReadTextFromMemory(text, sizeof text - 1));
    EXPECT_EQ(graph.GetArcCount(), 1);
    const char tooMany[] = "Nodes:99999999\n(0;0;0)\n";
    EXPECT_FALSE(graph.ReadTextFromMemory(tooMany, sizeof tooMany - 1));
    const char malformed[] = "Nodes:1\n(0;zero;0)\nArcs:0\n";
    EXPECT_FALSE(graph.ReadTextFromMemory(malformed, sizeof malformed - 1));
    const uint8_t raw[] = {0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 0, 0};
    EXPECT_FALSE(graph.ReadRawFromMemory(raw, sizeof raw));
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
}

} // namespace
} // namespace Zelk
