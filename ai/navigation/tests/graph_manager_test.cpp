#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_wrapper.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/warning.h"
#include "ai/runtime/world.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace Zelk {
namespace {

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Writes a grid graph and its find-nearest data (before any runtime starts);
// returns the graph file's path.
std::string WriteGridFiles(const char* name, int w, int h, float spacing, float y = 0.0f)
{
    CSpatialGraph graph;
    BuildGridGraph(graph, w, h, spacing, 0, 1);
    for (int32_t i = 0; i < graph.GetNodeCount(); ++i)
        graph.GetNode(i)->GetData().position.y = y;
    const std::string path = NavTest::OutputPath((std::string(name) + ".graph").c_str());
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(graph.WriteToMemory(bytes));
    WriteFile(path, bytes);
    CFindNearestData nearest(&graph);
    EXPECT_TRUE(nearest.Build());
    EXPECT_TRUE(nearest.WriteToMemory(bytes));
    WriteFile(path + ".fn", bytes);
    return path;
}

std::string Services(const std::string& definitions)
{
    std::string names;
    for (const char* service : {"Graphs", "Objects", "Points"})
        if (definitions.find(std::string("\"") + service + "\"") != std::string::npos)
            names += std::string("<Service>") + service + "</Service>";
    return "<GlobalServices>" + names + "</GlobalServices><Services>" + definitions + "</Services>";
}

std::string GraphElement(const char* name, const std::string& file, const std::string& extra = "")
{
    return std::string("<Graph \"") + name + "\"><RawData>" + file + "</RawData>" + extra + "</Graph>";
}

std::string FindNearestElement(const std::string& file)
{
    return "<AdditionalData><Class>CFindNearestData</Class><RawData>" + file +
           ".fn</RawData></AdditionalData>";
}

std::string Manager(const std::string& content)
{
    return "<Service \"Graphs\"><Class>CGraphManager</Class>" + content + "</Service>";
}

class GraphManagerTest : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        NavTest::StopWorld();
        AstarMemoryFree();
    }
    CGraphManager* Start(const std::string& services, float oneMeter = 2.0f)
    {
        NavTest::StartWorld(NavTest::WorldText(oneMeter, Services(services)));
        return CGraphManager::FindInCurrentWorld();
    }
};

TEST_F(GraphManagerTest, LoadsGraphsWithTheirData)
{
    const std::string dense = WriteGridFiles("dense", 6, 5, 1.0f);
    const std::string coarse = WriteGridFiles("coarse", 3, 3, 2.0f);
    CGraphManager* manager = Start(
        Manager(GraphElement(
                    "DenseGraph", dense,
                    "<UpdateWithPathObjects>1</UpdateWithPathObjects><CoverageDistance>3</CoverageDistance>" +
                        FindNearestElement(dense)) +
                GraphElement("MoveGraph", coarse)));
    ASSERT_NE(manager, nullptr);
    CSpatialGraph* graph = manager->GetGraph("DenseGraph");
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->GetNodeCount(), 30);
    EXPECT_EQ(manager->GetGraph("densegraph"), nullptr);
    EXPECT_EQ(manager->GetGraph("MoveGraph")->GetNodeCount(), 9);
    EXPECT_FLOAT_EQ(graph->GetSearchRadius(), 6.0f); // 3 m of 2 units
    EXPECT_TRUE(manager->FindEntry(graph)->UpdatesWithPathObjects());
    const CClassRecord* record = CGraphDataClassRecord::Find("CFindNearestData");
    auto* nearest = static_cast<CFindNearestData*>(manager->GetAdditionalData(graph, record));
    ASSERT_NE(nearest, nullptr);
    EXPECT_TRUE(nearest->IsReady());
    EXPECT_EQ(FindGraphData(graph, record), nearest);
    EXPECT_EQ(manager->GetAdditionalData(manager->GetGraph("MoveGraph"), record), nullptr);
    // Without "AstarMemory" the memory fits the largest graph.
    EXPECT_EQ(AstarMemoryCapacity(), 30);
    EXPECT_FLOAT_EQ(NavGetPositionTolerance(), 0.2f);
    EXPECT_TRUE(CheckGraphDataClassesRegistered());
}

TEST_F(GraphManagerTest, RefusedConfigurationsLeaveTheWorldWithoutAManager)
{
    const std::string file = WriteGridFiles("small", 2, 2, 1.0f);
    const std::string cases[] = {
        GraphElement("A", file) + GraphElement("A", file),                       // repeated name
        GraphElement("A", NavTest::OutputPath("missing.graph")),                 // unreadable graph
        "<Graph \"A\"><UpdateWithPathObjects>1</UpdateWithPathObjects></Graph>", // no RawData
        "<Graph \"A\">" + FindNearestElement(file) + "<RawData>" + file + "</RawData></Graph>", // data first
        GraphElement("A", file) + "<Unknown>1</Unknown>",                                       // unknown key
    };
    for (const std::string& content : cases) {
        EXPECT_EQ(Start(Manager(content)), nullptr) << content;
        NavTest::StopWorld();
    }
}

TEST_F(GraphManagerTest, RefusedDataIsLeftOutAndExtrasBeyondThirtyTwoDropped)
{
    const std::string file = WriteGridFiles("data", 3, 3, 1.0f);
    const std::string other = WriteGridFiles("other", 2, 2, 1.0f);
    std::string data = FindNearestElement(other); // for another node count: refused
    for (int i = 0; i < 40; ++i)
        data += FindNearestElement(file);
    CGraphManager* manager =
        Start(Manager(GraphElement("G", file, "<CoverageDistance>-1</CoverageDistance>" + data) +
                      "<AstarMemory>100</AstarMemory>"));
    ASSERT_NE(manager, nullptr);
    const CGraphEntry* entry = manager->GetEntry(0);
    EXPECT_EQ(entry->GetAdditionalDataCount(), CGraphEntry::kMaxAdditionalData);
    EXPECT_EQ(AstarMemoryCapacity(), 100);
    // A negative coverage stores 0: the radius comes from the arcs (1.5 x the diagonal).
    EXPECT_FLOAT_EQ(entry->GetGraph()->GetSearchRadius(), 1.5f * std::sqrt(2.0f));
}

// Less A* memory than a graph has nodes leaves every search on it failing
// (the escorts stand still): the manager says so, naming the graph.
TEST_F(GraphManagerTest, AstarMemoryBelowAGraphIsReported)
{
    static std::vector<std::string> warnings;
    warnings.clear();
    AiSetWarningSink([](const char* text, void*) { warnings.emplace_back(text); }, nullptr);
    const std::string file = WriteGridFiles("tight", 3, 3, 1.0f);
    ASSERT_NE(Start(Manager(GraphElement("Tight", file) + "<AstarMemory>1</AstarMemory>")), nullptr);
    AiSetWarningSink(nullptr, nullptr);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              "graph manager: \"AstarMemory\" 1 is below the 9 nodes of graph \"Tight\": no path can "
              "be searched on it");
}

TEST_F(GraphManagerTest, AstarDataIsReadWholeFromItsBlockOrLeftOut)
{
    const std::string file = WriteGridFiles("astar", 4, 3, 1.0f);
    CSpatialGraph grid;
    BuildGridGraph(grid, 4, 3, 1.0f, 0, 1);
    NavTest::StartRuntime();
    ASSERT_TRUE(AstarMemoryInit(grid.GetNodeCount()));
    CAstarData built(&grid);
    ASSERT_TRUE(built.Build());
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(built.WriteToMemory(bytes));
    AstarMemoryFree();
    NavTest::StopRuntime();
    // The table whole, one byte short and one byte beyond it.
    const std::string whole = NavTest::OutputPath("astar.whole"),
                      shorter = NavTest::OutputPath("astar.short"),
                      longer = NavTest::OutputPath("astar.long");
    WriteFile(whole, bytes);
    WriteFile(shorter, std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
    std::vector<uint8_t> extra = bytes;
    extra.push_back(0);
    WriteFile(longer, extra);
    const auto astar = [](const std::string& data) {
        return "<AdditionalData><Class>CAstarData</Class><RawData>" + data + "</RawData></AdditionalData>";
    };
    CGraphManager* manager = Start(Manager(GraphElement("Whole", file, astar(whole)) +
                                           GraphElement("Short", file, astar(shorter)) +
                                           GraphElement("Long", file, astar(longer))));
    ASSERT_NE(manager, nullptr);
    const CClassRecord* record = CGraphDataClassRecord::Find("CAstarData");
    const auto* read =
        static_cast<const CAstarData*>(manager->GetAdditionalData(manager->GetGraph("Whole"), record));
    ASSERT_NE(read, nullptr);
    ASSERT_TRUE(read->IsReady());
    for (int32_t i = 0; i < grid.GetNodeCount(); ++i)
        for (int32_t j = 0; j < grid.GetNodeCount(); ++j)
            ASSERT_EQ(read->GetEntry(i, j), built.GetEntry(i, j)) << i << " " << j;
    for (const char* name : {"Short", "Long"})
        EXPECT_EQ(manager->GetAdditionalData(manager->GetGraph(name), record), nullptr) << name;
}

TEST_F(GraphManagerTest, AddAndRemoveGraphs)
{
    CGraphManager* manager = Start(Manager(""));
    ASSERT_NE(manager, nullptr);
    auto* graph = new CSpatialGraph();
    EXPECT_TRUE(manager->AddGraph("Made", graph, false));
    CSpatialGraph local;
    EXPECT_FALSE(manager->AddGraph("Made", &local, false));
    EXPECT_FALSE(manager->AddGraph(nullptr, &local, false));
    EXPECT_TRUE(manager->HasGraph(graph));
    EXPECT_TRUE(manager->RemoveGraph("Made"));
    EXPECT_FALSE(manager->RemoveGraph("Made"));
    EXPECT_EQ(manager->GetGraph("Made"), nullptr);
}

TEST_F(GraphManagerTest, ReadsInMemoryBlocksThroughTheWorldsReader)
{
    // A host-built configuration whose raw data lies in memory, read through
    // the ".AIS" reader that AiCreateWorld installs.
    CSpatialGraph source;
    BuildGridGraph(source, 4, 3, 1.0f, 0, 1);
    std::vector<uint8_t> graphBytes;
    ASSERT_TRUE(source.WriteToMemory(graphBytes));
    CFindNearestData sourceNearest(&source);
    ASSERT_TRUE(sourceNearest.Build());
    std::vector<uint8_t> nearestBytes;
    ASSERT_TRUE(sourceNearest.WriteToMemory(nearestBytes));

    NavTest::StartRuntime();
    CConfigNode* root = AiNewConfigNode();
    root->SetKey("World");
    AiAddConfigLeaf(root, "MaxEntity", "4");
    AiAddConfigLeaf(root, "OneMeter", "1");
    AiAddConfigLeaf(root, "Tpf", "20");
    AiAddConfigLeaf(AiAddConfigChild(root, "GlobalServices", nullptr), "Service", "Graphs");
    CConfigNode* definition =
        AiAddConfigChild(AiAddConfigChild(root, "Services", nullptr), "Service", "Graphs");
    AiAddConfigLeaf(definition, "Class", "CGraphManager");
    CConfigNode* graph = AiAddConfigChild(definition, "Graph", "Memory");
    ASSERT_NE(AiAddRawDataConfig(graph, "graph", graphBytes.data(), uint32_t(graphBytes.size())), nullptr);
    CConfigNode* data = AiAddConfigChild(graph, "AdditionalData", nullptr);
    AiAddConfigLeaf(data, "Class", "CFindNearestData");
    ASSERT_NE(AiAddRawDataConfig(data, "fn", nearestBytes.data(), uint32_t(nearestBytes.size())), nullptr);
    CWorld* world = AiCreateWorld(root, 0);
    ASSERT_NE(world, nullptr);
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    CSpatialGraph* loaded = manager->GetGraph("Memory");
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetNodeCount(), 12);
    EXPECT_NE(manager->GetAdditionalData(loaded, CGraphDataClassRecord::Find("CFindNearestData")), nullptr);
    AiDestroyWorld(world);
    AiDeleteConfigNode(root);
}

std::string PointMapper(const std::string& content)
{
    return "<Service \"Points\"><Class>CPointMapper</Class>" + content + "</Service>";
}

std::string Containers()
{
    return "<Container \"DenseGraph\"><Class>CGraphWrapper</Class></Container>"
           "<Container \"MoveGraph\"><Class>CGraphWrapper</Class></Container>";
}

TEST_F(GraphManagerTest, PointMapperBuildsWritesAndReadsItsTables)
{
    const std::string dense = WriteGridFiles("pm_dense", 5, 5, 1.0f);
    const std::string coarse = WriteGridFiles("pm_coarse", 3, 3, 2.0f, 0.0f);
    const std::string map = NavTest::OutputPath("points.map");
    const std::string graphs = Manager(GraphElement("DenseGraph", dense) + GraphElement("MoveGraph", coarse));
    ASSERT_NE(Start(graphs + PointMapper("<OutputFile>" + map + "</OutputFile>" + Containers())), nullptr);
    auto* mapper = static_cast<CPointMapper*>(
        GetCurrentWorld()->FindGlobalService(CGlobalServiceClassRecord::Find("CPointMapper")));
    ASSERT_NE(mapper, nullptr);
    uint16_t dense16 = 0;
    uint16_t move16 = 0;
    // Containers are known by their graphs' names.
    ASSERT_TRUE(mapper->GetContainerIndex("DenseGraph", dense16));
    ASSERT_TRUE(mapper->GetContainerIndex("MoveGraph", move16));
    EXPECT_FALSE(mapper->GetContainerIndex("CGraphWrapper", move16));
    uint16_t byGraph = 0;
    ASSERT_TRUE(mapper->GetGraphIndex(CGraphManager::FindInCurrentWorld()->GetGraph("MoveGraph"), byGraph));
    EXPECT_EQ(byGraph, move16);
    uint16_t out = 0;
    // Dense node (2, 2) at (2, 0, 2) lies on coarse node (1, 1) = index 4.
    ASSERT_TRUE(mapper->MapPoint(dense16, 12, move16, out));
    EXPECT_EQ(out, 4);
    // Coarse node 8 at (4, 0, 4) is dense node 24.
    ASSERT_TRUE(mapper->MapPoint(move16, 8, dense16, out));
    EXPECT_EQ(out, 24);
    // Dense node (1, 0) at (1, 0, 0): coarse (0, 0) and (2, 0, 0) are equally near; the lower index wins.
    ASSERT_TRUE(mapper->MapPoint(dense16, 1, move16, out));
    EXPECT_EQ(out, 0);
    EXPECT_TRUE(mapper->MapPoint(dense16, 7, dense16, out));
    EXPECT_EQ(out, 7);
    EXPECT_FALSE(mapper->MapPoint(dense16, 25, move16, out));
    std::vector<uint8_t> written;
    ASSERT_TRUE(mapper->WriteToMemory(written));
    NavTest::StopWorld();

    // A second world reads the stored tables (its containers name no graph of
    // its own); "Yes" with a capital does not force a rebuild.
    ASSERT_NE(Start(graphs + PointMapper("<ForceRebuild>Yes</ForceRebuild><RawData>" + map + "</RawData>")),
              nullptr);
    mapper = static_cast<CPointMapper*>(
        GetCurrentWorld()->FindGlobalService(CGlobalServiceClassRecord::Find("CPointMapper")));
    ASSERT_NE(mapper, nullptr);
    std::vector<uint8_t> read;
    ASSERT_TRUE(mapper->WriteToMemory(read));
    EXPECT_EQ(read, written);
    NavTest::StopWorld();

    // "yes" rebuilds: without containers the tables are empty.
    ASSERT_NE(Start(graphs + PointMapper("<ForceRebuild>yes</ForceRebuild><RawData>" + map + "</RawData>")),
              nullptr);
    mapper = static_cast<CPointMapper*>(
        GetCurrentWorld()->FindGlobalService(CGlobalServiceClassRecord::Find("CPointMapper")));
    ASSERT_NE(mapper, nullptr);
    EXPECT_EQ(mapper->GetContainerCount(), 0);
}

TEST_F(GraphManagerTest, PointMapperHeightLimit)
{
    const std::string low = WriteGridFiles("pm_low", 2, 2, 1.0f, 0.0f);
    const std::string high = WriteGridFiles("pm_high", 2, 2, 1.0f, 5.0f);
    ASSERT_NE(Start(Manager(GraphElement("DenseGraph", low) + GraphElement("MoveGraph", high)) +
                        PointMapper("<MaxDeltaUp>-3</MaxDeltaUp>" + Containers()),
                    2.0f),
              nullptr);
    auto* mapper = static_cast<CPointMapper*>(
        GetCurrentWorld()->FindGlobalService(CGlobalServiceClassRecord::Find("CPointMapper")));
    ASSERT_NE(mapper, nullptr);
    // A negative limit keeps 1.5 m = 3 units: 5 units up is too far.
    EXPECT_FLOAT_EQ(mapper->GetMaxDeltaUp(), 3.0f);
    uint16_t out = 0;
    EXPECT_FALSE(mapper->MapPoint(0, 0, 1, out));
    EXPECT_EQ(out, CPointMapper::kNoPoint);
}

TEST(PointMapperFile, RefusesMalformedData)
{
    CSpatialGraph a;
    CSpatialGraph b;
    BuildGridGraph(a, 3, 2, 1.0f, 0, 1);
    BuildGridGraph(b, 2, 2, 1.0f, 0, 1);
    CGraphWrapper wa;
    CGraphWrapper wb;
    wa.SetGraph(&a);
    wb.SetGraph(&b);
    CPointMapper mapper;
    mapper.SetMaxDeltaUp(1.0f);
    ASSERT_TRUE(mapper.BuildFrom({&wa, &wb}, {"A", "B"}));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(mapper.WriteToMemory(bytes));
    // magic, version, N, counts (6, 4), "A\0B\0", then 6 + 4 entries.
    ASSERT_EQ(bytes.size(), 26u + 4u + 2u + 4u + 4u + 20u);
    CPointMapper read;
    ASSERT_TRUE(read.ReadFromMemory(bytes.data(), bytes.size()));
    for (size_t length = 0; length < bytes.size(); ++length)
        EXPECT_FALSE(read.ReadFromMemory(bytes.data(), length)) << length;
    std::vector<uint8_t> bad = bytes;
    bad[26] = 9;
    EXPECT_FALSE(read.ReadFromMemory(bad.data(), bad.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::WrongVersion);
    bad = bytes;
    bad[bytes.size() - 2] = 6; // B's last point mapped beyond A's 6 points
    bad[bytes.size() - 1] = 0;
    EXPECT_FALSE(read.ReadFromMemory(bad.data(), bad.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadIndex);
    // A name longer than 1023 characters is refused, not overrun.
    std::vector<uint8_t> longName(bytes.begin(), bytes.begin() + 36);
    longName.insert(longName.end(), 2000, 'x');
    longName.push_back(0);
    EXPECT_FALSE(read.ReadFromMemory(longName.data(), longName.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);
}

} // namespace
} // namespace Zelk
