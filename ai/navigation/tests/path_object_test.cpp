#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/world.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <fstream>

namespace Zelk {
namespace {

// A path object that doubles the price of the arcs it is linked to.
class CToll : public CSeedPathObject
{
  public:
    CToll() : CSeedPathObject("toll", nullptr) {}
    bool CostThroughArc(void* user, CGraphArc* arc, CConstraint* constraint, float* cost) override
    {
        const bool ok = constraint->ComputeCost(user, arc, cost);
        *cost *= 100.0f;
        return ok;
    }
};

// A path object that closes the arcs it is linked to while it is shut.
class CGate : public CSeedPathObject
{
  public:
    CGate() : CSeedPathObject("gate", nullptr) {}
    bool CostThroughArc(void* user, CGraphArc* arc, CConstraint* constraint, float* cost) override
    {
        return !shut && constraint->ComputeCost(user, arc, cost);
    }
    bool shut = true;
};

class PathObjectTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NavTest::StartRuntime();
        BuildGridGraph(graph, 3, 1, 1.0f, 0, 1);
        arc = CSpatialGraph::FindOutArcTo(graph.GetNode(0), graph.GetNode(1));
    }
    void TearDown() override { NavTest::StopRuntime(); }
    CSpatialGraph graph;
    CGraphArc* arc = nullptr;
};

TEST_F(PathObjectTest, LinkingBuildsAChainNewestFirst)
{
    CSeedPathObject a("a", nullptr);
    CSeedPathObject b("b", nullptr);
    CSeedPathObject c("c", nullptr);
    EXPECT_FALSE(a.Link(nullptr, arc));
    EXPECT_FALSE(a.Link(&graph, nullptr));
    ASSERT_TRUE(a.Link(&graph, arc));
    ASSERT_TRUE(a.Link(&graph, arc));
    EXPECT_EQ(a.GetLinkCount(), 1u);
    ASSERT_TRUE(b.Link(&graph, arc));
    ASSERT_TRUE(c.Link(&graph, arc));
    EXPECT_EQ(arc->GetData().linkedObject, &c);

    // Unlinking the middle object keeps the other two in order.
    ASSERT_TRUE(b.Unlink(&graph, arc));
    EXPECT_FALSE(b.HoldsLink(arc));
    EXPECT_EQ(arc->GetData().linkedObject, &c);
    ASSERT_TRUE(c.Unlink(&graph, arc));
    EXPECT_EQ(arc->GetData().linkedObject, &a);
    EXPECT_FALSE(c.Unlink(&graph, arc));
    // Relinking after an unlink works and chains again.
    ASSERT_TRUE(b.Link(&graph, arc));
    EXPECT_EQ(arc->GetData().linkedObject, &b);
    ASSERT_TRUE(a.Unlink(&graph, arc));
    EXPECT_EQ(arc->GetData().linkedObject, &b);
    ASSERT_TRUE(b.Unlink(&graph, arc));
    EXPECT_EQ(arc->GetData().linkedObject, nullptr);
}

TEST_F(PathObjectTest, TheMaximumNumberOfLinksIsKept)
{
    CSeedPathObject object("limited", nullptr);
    CConfigNode config;
    AddConfigChild(&config, nullptr, "LinkedEdgeMax", "0");
    object.CPathObject::Init(&config);
    EXPECT_EQ(object.GetMaxLinks(), 1u);
    ASSERT_TRUE(object.Link(&graph, arc));
    EXPECT_FALSE(object.Link(&graph, graph.GetArc(arc->GetIndex() + 1)));
}

TEST_F(PathObjectTest, LinkedObjectsPriceTheSearchAndBlockedArcsAreSkipped)
{
    // 0 - 1 - 2 in a row, plus a detour 0 -> 3 -> 2 of length 2 + 2.
    AddNodeAtPosition(graph, CVec3(1.0f, 0.0f, 1.7f));
    for (auto [from, to] : {std::pair{0, 3}, {3, 2}}) {
        CGraphArcData data;
        data.length = 2.0f;
        graph.AddArc(data, graph.GetNode(from), graph.GetNode(to));
    }
    CConstraintShortestPath shortest;
    CHeuristicEuclidianDistance euclid;
    graph.SetConstraint(&shortest);
    graph.SetHeuristic(&euclid);
    ASSERT_TRUE(AstarMemoryInit(4));
    CPathRecord path;
    path.SetCapacity(4);
    const auto via = [&]() {
        EXPECT_TRUE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(2), nullptr));
        return path.count == 3 ? path.nodeIndices[1] : 99u;
    };
    EXPECT_EQ(via(), 1u);
    CToll toll;
    ASSERT_TRUE(toll.Link(&graph, arc));
    EXPECT_EQ(via(), 3u);
    ASSERT_TRUE(toll.Unlink(&graph, arc));
    EXPECT_EQ(via(), 1u);
    EXPECT_EQ(path.pathObjects[0], nullptr);
    // A path through a linked arc carries the object beside the arc.
    CSeedPathObject marker("marker", nullptr);
    ASSERT_TRUE(marker.Link(&graph, arc));
    EXPECT_EQ(via(), 1u);
    EXPECT_EQ(path.pathObjects[0], &marker);
    arc->GetData().blocked = 1;
    EXPECT_EQ(via(), 3u);
    arc->GetData().blocked = 0;
    ASSERT_TRUE(marker.Unlink(&graph, arc));
    // A shut gate on both ways blocks the search; opened, it lets it through.
    CGate gate;
    ASSERT_TRUE(gate.Link(&graph, arc));
    CGraphArc* detour = CSpatialGraph::FindOutArcTo(graph.GetNode(0), graph.GetNode(3));
    ASSERT_TRUE(gate.Link(&graph, detour));
    EXPECT_FALSE(AstarSearch(graph, path, graph.GetNode(0), graph.GetNode(2), nullptr));
    gate.shut = false;
    EXPECT_EQ(via(), 1u);
    ASSERT_TRUE(gate.Unlink(&graph, detour));
    gate.shut = true;
    EXPECT_EQ(via(), 3u);
    AstarMemoryFree();
}

TEST_F(PathObjectTest, DestroyingAnObjectUnlinksIt)
{
    CSeedPathObject a("a", nullptr);
    {
        CSeedPathObject b("b", nullptr);
        ASSERT_TRUE(a.Link(&graph, arc));
        ASSERT_TRUE(b.Link(&graph, arc));
        EXPECT_EQ(CSeedPathObject::GetCurrent(), &b);
    }
    EXPECT_EQ(arc->GetData().linkedObject, &a);
    EXPECT_EQ(CSeedPathObject::GetCurrent(), nullptr);
    a.UnlinkAll();
    EXPECT_EQ(arc->GetData().linkedObject, nullptr);
    EXPECT_EQ(a.GetLinkCount(), 0u);
}

struct Calls
{
    std::vector<std::pair<CPathObject*, void*>> seen;
};

void Record(CPathObject* object, void* user)
{
    static_cast<Calls*>(user)->seen.emplace_back(object, user);
}

class PathObjectManagerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        CSpatialGraph seed;
        BuildGridGraph(seed, 3, 1, 1.0f, 0, 1); // 3 nodes, 4 arcs
        std::vector<uint8_t> bytes;
        seed.WriteToMemory(bytes);
        const std::string file = NavTest::OutputPath("seed.graph");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        NavTest::StartWorld(NavTest::WorldText(
            1.0f, "<GlobalServices><Service>Graphs</Service><Service>Objects</Service></GlobalServices>"
                  "<Services><Service \"Graphs\"><Class>CGraphManager</Class><Graph \"Seed\"><RawData>" +
                      file +
                      "</RawData><UpdateWithPathObjects>1</UpdateWithPathObjects></Graph></Service>"
                      "<Service \"Objects\"><Class>CPathObjectManager</Class></Service></Services>"));
        manager = static_cast<CPathObjectManager*>(
            GetCurrentWorld()->FindGlobalService(&CPathObjectManager::Record()));
        ASSERT_NE(manager, nullptr);
    }
    void TearDown() override
    {
        AstarMemoryFree();
        NavTest::StopWorld();
    }
    CSeedPathObject* MakeSeed(const char* name)
    {
        auto* object = new CSeedPathObject(name, nullptr);
        CConfigNode config;
        AddConfigChild(&config, nullptr, "SEED_GRAPH", "Seed");
        EXPECT_TRUE(object->Init(&config));
        return object;
    }
    CPathObjectManager* manager = nullptr;
};

TEST_F(PathObjectManagerTest, TracksObjectsUpToItsCapacity)
{
    EXPECT_EQ(manager->GetCapacity(), 20u);
    std::vector<CSeedPathObject*> objects;
    for (int i = 0; i < 21; ++i)
        objects.push_back(MakeSeed("seed"));
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(manager->AddPathObject(objects[size_t(i)]));
    EXPECT_FALSE(manager->AddPathObject(objects[20]));
    EXPECT_TRUE(manager->RemovePathObject(objects[3]));
    EXPECT_FALSE(manager->RemovePathObject(objects[3]));
    EXPECT_TRUE(manager->AddPathObject(objects[20]));
    for (CSeedPathObject* object : objects)
        delete object;
}

TEST_F(PathObjectManagerTest, SegmentsOfSeedObjects)
{
    CSeedPathObject* object = MakeSeed("seed");
    EXPECT_EQ(object->GetSegmentCount(), 7);
    const CVec3Pair* segments = object->GetSegments();
    ASSERT_NE(segments, nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(segments[i].first, segments[i].second);
    EXPECT_FALSE(segments[3].first == segments[3].second);
    ASSERT_TRUE(manager->AddPathObject(object));
    const CVec3Pair* all = nullptr;
    EXPECT_EQ(manager->GetSegments(all), 7u);
    manager->RemovePathObject(object);
    delete object;
    CSeedPathObject missing("missing", nullptr);
    CConfigNode config;
    AddConfigChild(&config, nullptr, "SEED_GRAPH", "NoSuchGraph");
    EXPECT_FALSE(missing.Init(&config));
}

TEST_F(PathObjectManagerTest, ListenersAndFilters)
{
    Calls first;
    Calls second;
    int filterA = 0;
    int filterB = 0;
    CPathObjectManager::AddPathObjectListener(&Record, &first, nullptr);
    CPathObjectManager::AddPathObjectListener(&Record, &second, &filterA);
    // The table is sized by the world's entity limit on first use, never 0.
    EXPECT_GE(CPathObjectManager::GetListenerCapacity(), 1u);
    CSeedPathObject* object = MakeSeed("seed");
    object->Notify(&filterB);
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_EQ(second.seen.size(), 0u);
    object->Notify(&filterA);
    EXPECT_EQ(second.seen.size(), 1u);
    object->NotifyAll();
    EXPECT_EQ(first.seen.size(), 3u);
    EXPECT_EQ(second.seen.size(), 2u);
    EXPECT_EQ(second.seen.back().first, object);
    // Removing leaves a hole that the next registration fills.
    CPathObjectManager::RemovePathObjectListener(&Record, &first, nullptr);
    object->NotifyAll();
    EXPECT_EQ(first.seen.size(), 3u);
    Calls third;
    CPathObjectManager::AddPathObjectListener(&Record, &third, nullptr);
    object->NotifyAll();
    EXPECT_EQ(third.seen.size(), 1u);
    // Unlink-all notifies once per graph that updates with path objects.
    ASSERT_TRUE(manager->AddPathObject(object));
    CSpatialGraph* seed = CGraphManager::FindInCurrentWorld()->GetGraph("Seed");
    ASSERT_TRUE(object->Link(seed, seed->GetArc(0)));
    const size_t before = third.seen.size();
    ASSERT_TRUE(manager->RemovePathObject(object));
    EXPECT_EQ(third.seen.size(), before + 1);
    EXPECT_EQ(seed->GetArc(0)->GetData().linkedObject, nullptr);
    delete object;
}

TEST(PathObjectManagerConfig, NeedsAGraphManagerDefinedFirst)
{
    NavTest::StartWorld(NavTest::WorldText(
        1.0f, "<GlobalServices><Service>Objects</Service></GlobalServices>"
              "<Services><Service \"Objects\"><Class>CPathObjectManager</Class></Service></Services>"));
    EXPECT_EQ(GetCurrentWorld()->FindGlobalService(&CPathObjectManager::Record()), nullptr);
    NavTest::StopWorld();
}

} // namespace
} // namespace Zelk
