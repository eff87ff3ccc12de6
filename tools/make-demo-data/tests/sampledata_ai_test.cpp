// The demo's AI data: "data/wardels.ais" compiles from its text without a
// warning and always to the same bytes, gives a world whose three graphs and
// their data come from the file (nothing rebuilt), runs the escort scenario as
// its text with the data files does and to the same end as the run that builds
// its graphs over the level, and its graphs
// fit the level (no arc through a wall of the world file, few access-way
// directions, every start on free floor near a node) and lie at the height where
// the demo's entities have their positions.
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "graphics/core/chunk.h"
#include "graphics/core/stream.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/intersection.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "tools/aisc/aisc_compile.h"
#include "tools/common/toolfiles.h"
#include "tools/escort-run/escort_scenario.h"
#include "tools/scenebuild/sceneengine.h"
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>

namespace Zelk {
namespace {

constexpr const char* kGraphNames[] = {"DenseGraph", "MoveGraph", "AccessWaysGraph"};
constexpr int kMaxAccessDirections = 60; // the escort team's clusters per node

std::vector<uint8_t> ReadBytes(const std::string& name)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ToolReadFile(name, &bytes)) << name;
    return bytes;
}

bool RawFromGraphsDir(const CConfigNode* node, std::vector<uint8_t>* bytes, void*)
{
    return node->GetValue() != nullptr &&
           ToolReadFile(std::string(OLAI_DEMO_GRAPHS_DIR) + "/" + node->GetValue(), bytes);
}

class SampleDataAi : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(EscortLevelLoad(OLAI_ESCORT_DATA_DIR "/level.txt", level, error)) << error;
        ais = ReadBytes(OLAI_DEMO_DATA_DIR "/data/wardels.ais");
        ASSERT_FALSE(ais.empty());
    }

    // Runs the escort scenario to its end from the ".AIS" file, or from a text
    // configuration (whose "RawData" files lie in the working directory).
    void Run(CEscortScenario& scenario, const char* textFile = nullptr)
    {
        std::string error;
        CEscortRunOptions options;
        std::string text;
        if (textFile != nullptr) {
            ASSERT_TRUE(ToolReadText(textFile, &text)) << textFile;
        }
        ASSERT_TRUE(textFile == nullptr ? scenario.StartFromAis(level, ais, options, error)
                                        : scenario.Start(level, text, options, error))
            << error;
        scenario.Run(nullptr);
    }

    CEscortLevel level;
    std::vector<uint8_t> ais;
};

TEST_F(SampleDataAi, CompilesWithoutWarningToTheSameBytes)
{
    std::string text;
    ASSERT_TRUE(ToolReadText(OLAI_WARDELS_DIR "/wardels_ai.txt", &text));
    CAiscResult result;
    ASSERT_TRUE(AiscCompile(text.data(), text.size(), &RawFromGraphsDir, nullptr, result)) << result.error;
    EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
    EXPECT_EQ(result.file, ais);
}

TEST_F(SampleDataAi, WorldTakesTheGraphsFromRawDataAndRunsTheEscortsAsBefore)
{
    CEscortScenario fromData;
    Run(fromData);
    EXPECT_EQ(fromData.GetBuiltGraphCount(), 0);
    EXPECT_FALSE(fromData.AccessWaysBuilt());
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->GetEntryCount(), 3u);
    const struct
    {
        const char* graph;
        const char* data;
    } expected[] = {{"DenseGraph", "CFindNearestData"},
                    {"MoveGraph", "CFindNearestData"},
                    {"MoveGraph", "CAstarData"},
                    {"AccessWaysGraph", "CFindNearestData"},
                    {"AccessWaysGraph", "CAccessWaysData"}};
    for (const auto& e : expected) {
        const CSpatialGraph* graph = manager->GetGraph(e.graph);
        ASSERT_NE(graph, nullptr) << e.graph;
        EXPECT_GT(graph->GetNodeCount(), 100) << e.graph;
        EXPECT_NE(manager->GetAdditionalData(graph, CGraphDataClassRecord::Find(e.data)), nullptr)
            << e.graph << " " << e.data;
    }
    const uint64_t hash = fromData.HashState();
    const std::string summary = fromData.Summary();
    fromData.Stop();

    // The same configuration read as text with its data files: the very same run.
    CEscortScenario fromFiles;
    Run(fromFiles, OLAI_WARDELS_DIR "/wardels_ai.txt");
    EXPECT_EQ(fromFiles.GetBuiltGraphCount(), 0);
    EXPECT_EQ(fromFiles.HashState(), hash);
    fromFiles.Stop();

    // The escort configuration, whose graphs are built over the level at start: the same
    // outcome (the A* data's paths may differ from a search's among paths of equal cost).
    CEscortScenario built;
    Run(built, OLAI_ESCORT_DATA_DIR "/escort_ai.txt");
    EXPECT_EQ(built.GetBuiltGraphCount(), 3);
    EXPECT_TRUE(built.AccessWaysBuilt());
    EXPECT_EQ(built.Summary(), summary);
}

// The demo's entity class puts an entity half its character's height above the
// character's feet, and the path finder measures its distances to sub-goals and goals
// from there: every node of the three graphs lies at that height for every character
// of the demo's configuration.
TEST_F(SampleDataAi, GraphsLieAtTheMiddleOfTheDemosBodies)
{
    std::string config;
    ASSERT_TRUE(ToolReadText(OLAI_WARDELS_DIR "/config.xml", &config));
    std::vector<float> middles;
    const std::string key = "heigth=\"";
    for (size_t at = config.find(key); at != std::string::npos; at = config.find(key, at + 1))
        middles.push_back(0.5f * std::strtof(config.c_str() + at + key.size(), nullptr));
    ASSERT_EQ(middles.size(), 2u) << "the VIP's and the escorts' characters";

    CEscortScenario scenario;
    std::string error;
    ASSERT_TRUE(scenario.StartFromAis(level, ais, CEscortRunOptions(), error)) << error;
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    for (const char* name : kGraphNames) {
        const CSpatialGraph* graph = manager->GetGraph(name);
        ASSERT_NE(graph, nullptr);
        for (const float middle : middles) {
            int elsewhere = 0;
            for (int32_t i = 0; i <= graph->GetHighestNodeIndex(); ++i)
                if (const CGraphNode* node = graph->GetNode(i))
                    elsewhere += std::fabs(node->GetPosition().y - middle) > 1e-4f ? 1 : 0;
            EXPECT_EQ(elsewhere, 0) << name << ": nodes not " << middle << " m above the floor";
        }
    }
}

// navtool builds the move graph's A* data with one search per start: rows of
// starts spread over the graph hold what a search per pair finds, as navtool
// searches (shortest path, zero heuristic).
TEST_F(SampleDataAi, MoveGraphsAstarDataEqualsASearchPerPair)
{
    CEscortScenario scenario;
    std::string error;
    ASSERT_TRUE(scenario.StartFromAis(level, ais, CEscortRunOptions(), error)) << error;
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    CSpatialGraph* move = manager->GetGraph("MoveGraph");
    ASSERT_NE(move, nullptr);
    const auto* table = static_cast<const CAstarData*>(
        manager->GetAdditionalData(move, CGraphDataClassRecord::Find("CAstarData")));
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(table->IsReady());
    CConstraint* const constraint = move->GetConstraint();
    CHeuristic* const heuristic = move->GetHeuristic();
    CConstraintShortestPath shortest;
    CZeroHeuristic zero;
    move->SetConstraint(&shortest);
    move->SetHeuristic(&zero);
    const int32_t n = move->GetNodeCount();
    CPathRecord path;
    path.SetCapacity(n);
    for (const int32_t i : {0, n / 3, 2 * n / 3, n - 1})
        for (int32_t j = 0; j < n; ++j) {
            if (j == i)
                continue;
            const bool found = AstarSearch(*move, path, move->GetNode(i), move->GetNode(j), nullptr);
            ASSERT_EQ(table->GetEntry(i, j), found ? path.arcIndices[0] : CAstarData::kNoArc)
                << i << " -> " << j;
        }
    move->SetConstraint(constraint);
    move->SetHeuristic(heuristic);
}

// The world file's sectors, read with their collision trees.
World* ReadWorldFile()
{
    std::vector<uint8_t> bytes;
    if (!ToolReadFile(OLAI_DEMO_DATA_DIR "/models/wardels.bsp", &bytes))
        return nullptr;
    StreamMemory memory{bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    World* world = stream != nullptr && StreamFindChunk(stream, kChunkWorld, nullptr, nullptr)
                       ? WorldStreamRead(stream)
                       : nullptr;
    if (stream != nullptr)
        StreamClose(stream, nullptr);
    return world;
}

// Triangles of the world that the segment a-b meets.
int WallHits(World* world, const CVec3& a, const CVec3& b)
{
    IntersectionQuery query{};
    query.type = kIntersectionLine;
    query.t.line = {{a.x, a.y, a.z}, {b.x, b.y, b.z}};
    int hits = 0;
    WorldForAllTriangleIntersections(
        world, &query,
        [](IntersectionQuery*, WorldSector* sector, TriangleHitInfo*, float, void* data) {
            ++*static_cast<int*>(data);
            return sector;
        },
        &hits);
    return hits;
}

TEST_F(SampleDataAi, GraphsFitTheLevel)
{
    CEscortScenario scenario;
    std::string error;
    ASSERT_TRUE(scenario.StartFromAis(level, ais, CEscortRunOptions(), error)) << error;
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    ASSERT_NE(manager, nullptr);
    // No arc passes through a wall of the world file (segment queries on its collision trees,
    // at the arcs' own height: the middle of the bodies).
    ASSERT_TRUE(SceneEngineStart());
    World* world = ReadWorldFile();
    ASSERT_NE(world, nullptr);
    EXPECT_TRUE(WorldHasCollisionData(world));
    for (const char* name : kGraphNames) {
        const CSpatialGraph* graph = manager->GetGraph(name);
        ASSERT_NE(graph, nullptr);
        for (int32_t i = 0; i <= graph->GetHighestArcIndex(); ++i) {
            if (const CGraphArc* arc = graph->GetArc(i)) {
                EXPECT_EQ(WallHits(world, arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition()), 0)
                    << name << " arc " << i;
            }
        }
    }
    // The check sees walls: a segment across the hall's south wall meets it.
    EXPECT_GT(WallHits(world, CVec3(0.0f, kEscortBodyMiddle, -8.0f), CVec3(0.0f, kEscortBodyMiddle, -3.0f)),
              0);
    WorldDestroy(world);
    SceneEngineStop();

    const CSpatialGraph* access = manager->GetGraph("AccessWaysGraph");
    const auto* ways = static_cast<const CAccessWaysData*>(
        manager->GetAdditionalData(access, CGraphDataClassRecord::Find("CAccessWaysData")));
    ASSERT_NE(ways, nullptr);
    ASSERT_EQ(ways->GetNodeCount(), access->GetNodeCount());
    int withWays = 0;
    for (int32_t i = 0; i < ways->GetNodeCount(); ++i) {
        const uint16_t* list = nullptr;
        const int32_t count = ways->GetAccessWays(i, list);
        EXPECT_LE(count, kMaxAccessDirections) << "node " << i;
        withWays += count > 0;
    }
    EXPECT_GT(withWays, 0);

    // The VIP's and the escorts' starts: free floor, within a grid step of a node of the move graph.
    const CSpatialGraph* move = manager->GetGraph("MoveGraph");
    std::vector<CVec3> starts = level.escorts;
    starts.push_back(level.route[0]);
    for (const CVec3& start : starts) {
        EXPECT_TRUE(EscortLevelIsFree(level, start, kEscortBodyRadius));
        float nearest = 1e30f;
        for (int32_t i = 0; i <= move->GetHighestNodeIndex(); ++i)
            if (const CGraphNode* node = move->GetNode(i))
                nearest = std::min(nearest, (node->GetPosition() - start).SquaredLengthXZ());
        EXPECT_LE(std::sqrt(nearest), 1.0f) << start.x << " " << start.z;
    }
}

} // namespace
} // namespace Zelk
