// The graph generator exploring a box world: a floor with boxes standing on
// it, fenced by the generator's bounding box. The graphs it writes must keep
// their nodes on the floor and out of the boxes, their arcs clear of the
// boxes; runs must repeat exactly, resume from their saved graphs, and refuse
// bad configurations and damaged saved graphs.
#include "nav_test_host.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_gen_data.h"
#include "ai/navigation/graph_generator.h"
#include "ai/navigation/grid_graph.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/path_record.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/kinematic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace Zelk {
namespace {

using NavTest::Host;

constexpr float kStep = 1.0f / 30.0f;
constexpr float kHalfHeight = 0.9f; // the kinematic entity is 1.8 m tall

// Two boxes on the floor inside the 12 m x 12 m exploration box.
const std::vector<CTestBox> kBoxes = {
    {CVec3(-3.0f, 0.0f, -1.0f), CVec3(-1.0f, 2.5f, 3.0f)},
    {CVec3(2.0f, 0.0f, -4.0f), CVec3(3.5f, 2.5f, -1.5f)},
};

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Files
{
    std::string dense;
    std::string edges;
    std::string final;
    std::string nearest;
};

class GraphGeneratorTest : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        NavTest::StopWorld();
        GraphGenReset();
    }

    static Files MakeFiles(const char* tag)
    {
        const std::string base = std::string(tag) + ".";
        return {NavTest::OutputPath((base + "dense.gph").c_str()),
                NavTest::OutputPath((base + "edges.gph").c_str()),
                NavTest::OutputPath((base + "final.gph").c_str()),
                NavTest::OutputPath((base + "nearest.dat").c_str())};
    }

    static std::string AgentText(const Files& files, const std::string& extra)
    {
        return "<Agents><Agent \"Gen\"><Class>CGraphGeneratorAgent</Class>"
               "<RADIUS_AVERAGE>2</RADIUS_AVERAGE><NB_SECTORS>8</NB_SECTORS>"
               "<STARTING_POINT><x>0</x><y>1</y><z>-4.5</z></STARTING_POINT>"
               "<BB_MIN><x>-6</x><y>-1</y><z>-6</z></BB_MIN><BB_MAX><x>6</x><y>3</y><z>6</z></BB_MAX>"
               "<DenseGraph>" +
               files.dense + "</DenseGraph><DenseGraphWithEdges>" + files.edges +
               "</DenseGraphWithEdges><FinalGraph>" + files.final +
               "</FinalGraph><AdditionalData><Class>CFindNearestData</Class><OutputFile>" + files.nearest +
               "</OutputFile></AdditionalData>" + extra + "</Agent></Agents>";
    }

    // A world with one generator entity; false when the world or the entity is refused.
    bool StartGenerator(const Files& files, const std::string& extra = "")
    {
        const std::string text = NavTest::WorldText(
            1.0f,
            AgentText(files, extra) +
                "<Brains><Brain \"GenBrain\"><Class>CGraphGeneratorBrain</Class><Agent>Gen</Agent></Brain>"
                "</Brains><Entities><Entity \"Gen\"><Class>CKinematicEntity</Class>"
                "<ActionClass>CKinematicActionClass</ActionClass><Brain>GenBrain</Brain></Entity></"
                "Entities>");
        m_world = NavTest::StartWorld(text);
        if (m_world == nullptr)
            return false;
        SetTestFrameStep(kStep);
        Host().SetGround(0.0f);
        for (const CTestBox& box : kBoxes)
            Host().AddBox(box.min, box.max);
        CConfigNode* config = CopyEntityConfig(m_world, "Gen");
        if (config == nullptr)
            return false;
        m_entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
        DeleteConfigNode(config);
        return m_entity != nullptr && m_world->AddEntity(m_entity);
    }

    // Frames until the run finishes or stops; the step reached.
    uint8_t Run(int maxFrames = 200000)
    {
        m_world->Start();
        for (int frame = 0; frame < maxFrames; ++frame) {
            Host().Advance(kStep);
            m_world->Update();
            Host().ClearDrawing();
            if (GraphGenGetStep() == kGraphGenFinished || GraphGenHasFailed())
                break;
        }
        return GraphGenGetStep();
    }

    static bool InsideBox(const CVec3& p, const CTestBox& box)
    {
        return p.x > box.min.x && p.x < box.max.x && p.y > box.min.y && p.y < box.max.y && p.z > box.min.z &&
               p.z < box.max.z;
    }

    // Nodes on the floor, out of every box; arcs clear of every box.
    static void ExpectWalkable(const CSpatialGraph& graph)
    {
        for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
            const CGraphNode* node = graph.GetNode(i);
            ASSERT_NE(node, nullptr);
            const CVec3& p = node->GetPosition();
            EXPECT_NEAR(p.y, kHalfHeight, 1e-3f) << "node " << i;
            EXPECT_LE(std::fabs(p.x), 6.0f + 1e-3f);
            EXPECT_LE(std::fabs(p.z), 6.0f + 1e-3f);
            for (const CTestBox& box : kBoxes)
                EXPECT_FALSE(InsideBox(p, box)) << "node " << i << " at " << p.x << ", " << p.z;
        }
        for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i) {
            const CGraphArc* arc = graph.GetArc(i);
            ASSERT_NE(arc, nullptr);
            float fraction;
            CVec3 normal;
            EXPECT_FALSE(Host().Intersect(arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition(), false,
                                          0.0f, &fraction, &normal))
                << "arc " << i;
        }
    }

    CWorld* m_world = nullptr;
    CEntity* m_entity = nullptr;
};

TEST_F(GraphGeneratorTest, ClassesAreRegistered)
{
    EXPECT_TRUE(CGraphGeneratorAgent::CheckManagerClasses());
    EXPECT_NE(CGraphDataClassRecord::Find("CGraphGenData"), nullptr);
    EXPECT_NE(CAgentClassRecord::Find("CGraphGeneratorAgent"), nullptr);
    EXPECT_NE(CBrainClassRecord::Find("CGraphGeneratorBrain"), nullptr);
}

TEST_F(GraphGeneratorTest, BuildsWalkableGraphAroundBoxes)
{
    const Files files = MakeFiles("walkable");
    ASSERT_TRUE(StartGenerator(files));
    ASSERT_EQ(Run(), kGraphGenFinished);
    EXPECT_FALSE(GraphGenHasFailed());

    // Every saved stage is a readable graph that keeps to the floor.
    for (const std::string* path : {&files.dense, &files.edges, &files.final}) {
        SCOPED_TRACE(*path);
        CSpatialGraph graph;
        ASSERT_TRUE(graph.ReadFromFile(path->c_str()));
        ExpectWalkable(graph);
    }
    CSpatialGraph dense;
    ASSERT_TRUE(dense.ReadFromFile(files.dense.c_str()));
    EXPECT_EQ(dense.GetArcCount(), 0);
    // Roughly one node per spacing square of the free floor.
    EXPECT_GE(dense.GetNodeCount(), 15);

    CSpatialGraph final;
    ASSERT_TRUE(final.ReadFromFile(files.final.c_str()));
    EXPECT_GE(final.GetNodeCount(), 8);
    EXPECT_GE(final.GetArcCount(), final.GetNodeCount());
    // The generated graph covers both sides of the boxes: some node lies behind each.
    bool north = false;
    bool south = false;
    for (int32_t i = 0; i < final.GetNodeCount(); ++i) {
        north = north || final.GetNode(i)->GetPosition().z > 3.5f;
        south = south || final.GetNode(i)->GetPosition().z < -4.0f;
    }
    EXPECT_TRUE(north && south);

    // The additional data was built over the final graph.
    CFindNearestData nearest(&final);
    EXPECT_TRUE(nearest.ReadFromFile(files.nearest.c_str()));
}

// Building the outputs needs A* memory for the final graph; a run must leave the
// process-wide memory as large as it found it, so searches elsewhere go on working.
TEST_F(GraphGeneratorTest, SearchesStillWorkAfterARun)
{
    for (const int32_t before : {0, 4, 400}) {
        SCOPED_TRACE(before);
        ASSERT_TRUE(AstarMemoryInit(before));
        const Files files = MakeFiles("astar");
        ASSERT_TRUE(StartGenerator(files));
        ASSERT_EQ(Run(), kGraphGenFinished);
        EXPECT_FALSE(GraphGenHasFailed());
        EXPECT_EQ(AstarMemoryCapacity(), before);
        NavTest::StopWorld();
        GraphGenReset();

        CSpatialGraph grid;
        BuildGridGraph(grid, 2, 2, 1.0f, 0, 1);
        CConstraintShortestPath shortest;
        CHeuristicEuclidianDistance euclid;
        grid.SetConstraint(&shortest);
        grid.SetHeuristic(&euclid);
        CPathRecord path;
        path.SetCapacity(grid.GetNodeCount());
        NavTest::StartRuntime();
        EXPECT_EQ(AstarSearch(grid, path, grid.GetNode(0), grid.GetNode(3), nullptr), before >= 4);
        NavTest::StopRuntime();
    }
    AstarMemoryFree();
}

TEST_F(GraphGeneratorTest, SameWorldGivesSameGraph)
{
    const Files first = MakeFiles("first");
    ASSERT_TRUE(StartGenerator(first));
    ASSERT_EQ(Run(), kGraphGenFinished);
    // Destroying the world ends the run: the next world runs again from the start.
    NavTest::StopWorld();
    EXPECT_EQ(GraphGenGetStep(), kGraphGenNoStep);

    const Files second = MakeFiles("second");
    ASSERT_TRUE(StartGenerator(second));
    ASSERT_EQ(Run(), kGraphGenFinished);
    for (auto field : {&Files::dense, &Files::edges, &Files::final}) {
        const std::vector<uint8_t> a = ReadBytes(first.*field);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, ReadBytes(second.*field)) << first.*field;
    }
}

TEST_F(GraphGeneratorTest, ResumesFromSavedGraphs)
{
    const Files whole = MakeFiles("whole");
    ASSERT_TRUE(StartGenerator(whole));
    ASSERT_EQ(Run(), kGraphGenFinished);
    NavTest::StopWorld();
    GraphGenReset();

    // From the dense graph with edges: simplification, arcs and data again.
    Files resumed = MakeFiles("resumed");
    WriteBytes(resumed.edges, ReadBytes(whole.edges));
    ASSERT_TRUE(StartGenerator(resumed, "<FIRST_STEP>SIMPLIFY_EDGES</FIRST_STEP>"));
    ASSERT_EQ(Run(), kGraphGenFinished);
    EXPECT_EQ(ReadBytes(resumed.final), ReadBytes(whole.final));
    EXPECT_EQ(ReadBytes(resumed.nearest), ReadBytes(whole.nearest));
    NavTest::StopWorld();
    GraphGenReset();

    // From the final graph: only the additional data.
    Files dataOnly = MakeFiles("dataonly");
    WriteBytes(dataOnly.final, ReadBytes(whole.final));
    ASSERT_TRUE(StartGenerator(dataOnly, "<FIRST_STEP>ADDITIONAL_DATA</FIRST_STEP>"));
    ASSERT_EQ(Run(10), kGraphGenFinished);
    EXPECT_EQ(ReadBytes(dataOnly.nearest), ReadBytes(whole.nearest));
}

TEST_F(GraphGeneratorTest, DamagedSavedGraphStopsTheRun)
{
    const Files whole = MakeFiles("source");
    ASSERT_TRUE(StartGenerator(whole));
    ASSERT_EQ(Run(), kGraphGenFinished);
    const std::vector<uint8_t> good = ReadBytes(whole.edges);
    ASSERT_GT(good.size(), 40u);
    NavTest::StopWorld();
    GraphGenReset();

    struct Damage
    {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> flipped = good;
    flipped[0] ^= 0xFF;
    std::vector<uint8_t> bigCount = good;
    // The node count follows the magic, the version and the search radius.
    bigCount[CSpatialGraph::kMagicLength + 8] = 0xFF;
    bigCount[CSpatialGraph::kMagicLength + 11] = 0x7F;
    const std::vector<Damage> cases = {
        {"empty", {}},
        {"truncated", std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2))},
        {"wrong magic", flipped},
        {"huge count", bigCount},
    };
    for (const Damage& damage : cases) {
        SCOPED_TRACE(damage.name);
        Files files = MakeFiles("damaged");
        WriteBytes(files.edges, damage.bytes);
        std::remove(files.final.c_str());
        ASSERT_TRUE(StartGenerator(files, "<FIRST_STEP>SIMPLIFY_EDGES</FIRST_STEP>"));
        Run(50);
        EXPECT_TRUE(GraphGenHasFailed());
        EXPECT_NE(GraphGenGetStep(), kGraphGenFinished);
        EXPECT_EQ(GraphGenGetGraph()->GetNodeCount(), 0);
        EXPECT_TRUE(ReadBytes(files.final).empty());
        NavTest::StopWorld();
        GraphGenReset();
    }
    // A missing file fails the same way.
    Files missing = MakeFiles("missing");
    std::remove(missing.edges.c_str());
    ASSERT_TRUE(StartGenerator(missing, "<FIRST_STEP>SIMPLIFY_EDGES</FIRST_STEP>"));
    Run(50);
    EXPECT_TRUE(GraphGenHasFailed());
}

TEST_F(GraphGeneratorTest, TwoExplorersShareOneGraph)
{
    const Files files = MakeFiles("two");
    const std::string second =
        "<Agent \"Gen2\"><Class>CGraphGeneratorAgent</Class><RADIUS_AVERAGE>2</RADIUS_AVERAGE>"
        "<NB_SECTORS>8</NB_SECTORS><STARTING_POINT><x>0</x><y>1</y><z>4.5</z></STARTING_POINT>"
        "<BB_MIN><x>-6</x><y>-1</y><z>-6</z></BB_MIN><BB_MAX><x>6</x><y>3</y><z>6</z></BB_MAX>"
        "<DenseGraph>" +
        files.dense + "</DenseGraph><FinalGraph>" + files.final + "</FinalGraph></Agent>";
    std::string agents = AgentText(files, "");
    agents.insert(agents.find("</Agents>"), second);
    const std::string text = NavTest::WorldText(
        1.0f,
        agents +
            "<Brains><Brain \"GenBrain\"><Class>CGraphGeneratorBrain</Class><Agent>Gen</Agent></Brain>"
            "<Brain \"GenBrain2\"><Class>CGraphGeneratorBrain</Class><Agent>Gen2</Agent></Brain></Brains>"
            "<Entities><Entity \"Gen\"><Class>CKinematicEntity</Class>"
            "<ActionClass>CKinematicActionClass</ActionClass><Brain>GenBrain</Brain></Entity>"
            "<Entity \"Gen2\"><Class>CKinematicEntity</Class>"
            "<ActionClass>CKinematicActionClass</ActionClass><Brain>GenBrain2</Brain></Entity></Entities>");
    m_world = NavTest::StartWorld(text);
    ASSERT_NE(m_world, nullptr);
    SetTestFrameStep(kStep);
    Host().SetGround(0.0f);
    for (const CTestBox& box : kBoxes)
        Host().AddBox(box.min, box.max);
    for (const char* name : {"Gen", "Gen2"}) {
        CConfigNode* config = CopyEntityConfig(m_world, name);
        ASSERT_NE(config, nullptr);
        CEntity* entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
        DeleteConfigNode(config);
        ASSERT_NE(entity, nullptr);
        ASSERT_TRUE(m_world->AddEntity(entity));
    }
    ASSERT_EQ(Run(), kGraphGenFinished);
    CSpatialGraph dense;
    ASSERT_TRUE(dense.ReadFromFile(files.dense.c_str()));
    ExpectWalkable(dense);
    CSpatialGraph final;
    ASSERT_TRUE(final.ReadFromFile(files.final.c_str()));
    ExpectWalkable(final);
    EXPECT_GT(final.GetArcCount(), 0);
}

TEST_F(GraphGeneratorTest, ArcsThatCannotBeWalkedAreRemoved)
{
    // A saved graph with one pair of arcs through a box and one pair in the open,
    // written through the running host before the run reads it.
    Files files = MakeFiles("walked");
    ASSERT_TRUE(StartGenerator(files, "<FIRST_STEP>SIMPLIFY_EDGES</FIRST_STEP>"));
    {
        CSpatialGraph graph;
        const CVec3 points[4] = {CVec3(-4.0f, kHalfHeight, 1.0f), CVec3(0.0f, kHalfHeight, 1.0f),
                                 CVec3(-4.0f, kHalfHeight, -3.0f), CVec3(-1.0f, kHalfHeight, -3.0f)};
        CGraphNode* nodes[4];
        for (int i = 0; i < 4; ++i)
            nodes[i] = AddNodeAtPosition(graph, points[i]);
        for (int pair = 0; pair < 2; ++pair) {
            CGraphArcData arc;
            arc.length = arc.cost = (points[2 * pair + 1] - points[2 * pair]).Length();
            ASSERT_GE(graph.AddArc(arc, nodes[2 * pair], nodes[2 * pair + 1]), 0);
            ASSERT_GE(graph.AddArc(arc, nodes[2 * pair + 1], nodes[2 * pair]), 0);
        }
        ASSERT_TRUE(graph.Write(files.edges.c_str()));
    }
    ASSERT_EQ(Run(), kGraphGenFinished);
    CSpatialGraph final;
    ASSERT_TRUE(final.ReadFromFile(files.final.c_str()));
    ASSERT_EQ(final.GetNodeCount(), 4);
    ASSERT_EQ(final.GetArcCount(), 2);
    for (int32_t i = 0; i < 2; ++i)
        EXPECT_EQ(final.GetArc(i)->GetFrom()->GetPosition().z, -3.0f);
}

// A seed graph whose two arcs pass through the first box, as a door would:
// the generator keeps them although no entity could walk them. The seed path
// object is made by the test, or by the generator from its "SEED_GRAPH" key.
class GraphGeneratorSeedTest : public GraphGeneratorTest
{
  protected:
    void RunSeeded(bool byKey);
};

void GraphGeneratorSeedTest::RunSeeded(bool byKey)
{
    const CVec3 ends[2] = {CVec3(-4.0f, kHalfHeight, 1.0f), CVec3(0.0f, kHalfHeight, 1.0f)};
    Files files = MakeFiles("seeded");
    const std::string seedFile = NavTest::OutputPath("seed.gph");
    const std::string services =
        "<GlobalServices><Service>Graphs</Service><Service>Objects</Service></GlobalServices>"
        "<Services><Service \"Graphs\"><Class>CGraphManager</Class><Graph \"Seed\"><RawData>" +
        seedFile +
        "</RawData></Graph></Service><Service "
        "\"Objects\"><Class>CPathObjectManager</Class></Service></Services>";
    {
        // The seed file is written through a runtime of its own before the world reads it.
        NavTest::StartRuntime();
        CSpatialGraph seed;
        CGraphNode* a = AddNodeAtPosition(seed, ends[0]);
        CGraphNode* b = AddNodeAtPosition(seed, ends[1]);
        CGraphArcData arc;
        arc.length = arc.cost = 4.0f;
        seed.AddArc(arc, a, b);
        seed.AddArc(arc, b, a);
        ASSERT_TRUE(seed.Write(seedFile.c_str()));
        NavTest::StopRuntime();
    }
    const std::string text = NavTest::WorldText(
        1.0f,
        services + AgentText(files, byKey ? "<SEED_GRAPH>Seed</SEED_GRAPH>" : "") +
            "<Brains><Brain \"GenBrain\"><Class>CGraphGeneratorBrain</Class><Agent>Gen</Agent></Brain>"
            "</Brains><Entities><Entity \"Gen\"><Class>CKinematicEntity</Class>"
            "<ActionClass>CKinematicActionClass</ActionClass><Brain>GenBrain</Brain></Entity></Entities>");
    m_world = NavTest::StartWorld(text);
    ASSERT_NE(m_world, nullptr);
    SetTestFrameStep(kStep);
    Host().SetGround(0.0f);
    for (const CTestBox& box : kBoxes)
        Host().AddBox(box.min, box.max);
    auto* objects =
        static_cast<CPathObjectManager*>(m_world->FindGlobalService(&CPathObjectManager::Record()));
    ASSERT_NE(objects, nullptr);
    std::unique_ptr<CSeedPathObject> seedObject;
    if (!byKey) {
        seedObject = std::make_unique<CSeedPathObject>("door", nullptr);
        CConfigNode seedConfig;
        AddConfigChild(&seedConfig, nullptr, "SEED_GRAPH", "Seed");
        ASSERT_TRUE(seedObject->Init(&seedConfig));
        ASSERT_TRUE(objects->AddPathObject(seedObject.get()));
    }
    CConfigNode* config = CopyEntityConfig(m_world, "Gen");
    ASSERT_NE(config, nullptr);
    m_entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
    DeleteConfigNode(config);
    ASSERT_NE(m_entity, nullptr);
    ASSERT_TRUE(m_world->AddEntity(m_entity));

    ASSERT_EQ(Run(), kGraphGenFinished);
    if (byKey)
        EXPECT_NE(m_world->FindEntity("SeedGraph"), nullptr);
    else
        objects->RemovePathObject(seedObject.get());
    CSpatialGraph final;
    ASSERT_TRUE(final.ReadFromFile(files.final.c_str()));
    // Both door ends are nodes of the final graph, joined both ways.
    CGraphNode* found[2] = {nullptr, nullptr};
    for (int32_t i = 0; i < final.GetNodeCount(); ++i)
        for (int e = 0; e < 2; ++e)
            if (final.GetNode(i)->GetPosition() == ends[e])
                found[e] = final.GetNode(i);
    ASSERT_NE(found[0], nullptr);
    ASSERT_NE(found[1], nullptr);
    EXPECT_NE(CSpatialGraph::FindOutArcTo(found[0], found[1]), nullptr);
    EXPECT_NE(CSpatialGraph::FindOutArcTo(found[1], found[0]), nullptr);
}

TEST_F(GraphGeneratorSeedTest, PathObjectSegmentsAreKeptAsTheyAre)
{
    RunSeeded(false);
}

TEST_F(GraphGeneratorSeedTest, SeedGraphKeyBringsItsSegments)
{
    RunSeeded(true);
}

// Refuses every sector point: exploration ends at the starting node.
bool RefuseEveryPoint(const CVec3&, CEntity*)
{
    return false;
}

TEST_F(GraphGeneratorTest, RefusedPointsLeaveOnlyTheStart)
{
    CGraphGeneratorHooks hooks;
    hooks.pointFilter = &RefuseEveryPoint;
    SetGraphGeneratorHooks(hooks);
    const Files files = MakeFiles("refusing");
    ASSERT_TRUE(StartGenerator(files));
    const uint8_t step = Run(1000);
    SetGraphGeneratorHooks(CGraphGeneratorHooks{});
    ASSERT_EQ(step, kGraphGenFinished);
    CSpatialGraph dense;
    ASSERT_TRUE(dense.ReadFromFile(files.dense.c_str()));
    ASSERT_EQ(dense.GetNodeCount(), 1);
    EXPECT_NEAR(dense.GetNode(0)->GetPosition().z, -4.5f, 1e-4f);
    EXPECT_NEAR(dense.GetNode(0)->GetPosition().y, kHalfHeight, 1e-4f);
    // A lone node has no arc: simplification drops it.
    CSpatialGraph final;
    ASSERT_TRUE(final.ReadFromFile(files.final.c_str()));
    EXPECT_EQ(final.GetNodeCount(), 0);
}

TEST_F(GraphGeneratorTest, UnwritableFinalGraphStopsTheRun)
{
    Files files = MakeFiles("unwritable");
    files.final = NavTest::OutputPath("no-such-folder/final.gph");
    ASSERT_TRUE(StartGenerator(files));
    Run();
    EXPECT_TRUE(GraphGenHasFailed());
    EXPECT_EQ(GraphGenGetStep(), kGraphGenCreateArcs);
    EXPECT_EQ(GraphGenGetGraph()->GetNodeCount(), 0);
    EXPECT_TRUE(ReadBytes(files.nearest).empty());
}

struct ConfigCase
{
    const char* name;
    const char* body;
    bool accepted;
};

const ConfigCase kConfigCases[] = {
    {"minimal", "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph>", true},
    {"no dense graph", "<FinalGraph>f</FinalGraph>", false},
    {"no final graph", "<DenseGraph>d</DenseGraph>", false},
    {"empty file name", "<DenseGraph></DenseGraph><FinalGraph>f</FinalGraph>", false},
    {"unknown key", "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><RADIUS>3</RADIUS>", false},
    {"malformed number", "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><RADIUS_MAX>4m</RADIUS_MAX>",
     false},
    {"zero spacing", "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><RADIUS_AVERAGE>0</RADIUS_AVERAGE>",
     false},
    {"negative look-ahead", "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><RADIUS_MAX>-1</RADIUS_MAX>",
     false},
    {"point without z",
     "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><STARTING_POINT><x>1</x><y>2</y></STARTING_POINT>",
     false},
    {"box corner malformed",
     "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><BB_MIN><x>1</x><y>a</y><z>0</z></BB_MIN>", false},
    {"data without file",
     "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><AdditionalData><Class>CFindNearestData</Class>"
     "</AdditionalData>",
     false},
    {"unknown data class ignored",
     "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><AdditionalData><Class>CNoSuchData</Class>"
     "<OutputFile>o</OutputFile></AdditionalData>",
     true},
    {"too many checkpoints",
     "<DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph><HOLE_NB_CHECKPOINTS>2000000000</"
     "HOLE_NB_CHECKPOINTS>",
     false},
};

TEST(GraphGeneratorConfig, RefusesBadConfigurations)
{
    for (const ConfigCase& c : kConfigCases) {
        SCOPED_TRACE(c.name);
        // The parser fills the root with the agent's keys.
        const std::string text = std::string("<Agent \"Gen\">") + c.body + "</Agent>";
        CConfigNode root;
        ASSERT_TRUE(ParseConfigText(text.c_str(), text.size(), &root));
        CGraphGenConfig config;
        std::string error;
        EXPECT_EQ(GraphGenReadConfig(&root, 1.0f, config, &error), c.accepted) << error;
        if (!c.accepted) {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(GraphGeneratorConfig, ReadsValuesInWorldUnits)
{
    const std::string text = "<Agent \"Gen\"><DenseGraph>d</DenseGraph><FinalGraph>f</FinalGraph>"
                             "<RADIUS_AVERAGE>3</RADIUS_AVERAGE><NB_SECTORS>40</NB_SECTORS>"
                             "<DistStop>1.5</DistStop><RATIO_BODY_WIDTH>0.5</RATIO_BODY_WIDTH>"
                             "<FIRST_STEP>SIMPLIFY_EDGES</FIRST_STEP></Agent>";
    CConfigNode root;
    ASSERT_TRUE(ParseConfigText(text.c_str(), text.size(), &root));
    CGraphGenConfig config;
    ASSERT_TRUE(GraphGenReadConfig(&root, 10.0f, config, nullptr));
    EXPECT_FLOAT_EQ(config.radiusAverage, 30.0f);
    EXPECT_FLOAT_EQ(config.radiusMax, 60.0f);          // follows the spacing
    EXPECT_FLOAT_EQ(config.maxLengthValidEdge, 90.0f); // follows the spacing
    EXPECT_EQ(config.sectorCount, 36);                 // 40 is out of range: default kept
    EXPECT_FLOAT_EQ(config.distStop, 15.0f);
    EXPECT_FLOAT_EQ(config.ratioBodyWidth, 0.5f); // a ratio: not scaled
    EXPECT_FLOAT_EQ(config.fullSpeedDist, 20.0f); // default, scaled
    EXPECT_FALSE(config.doDenseGraph);
    EXPECT_TRUE(config.doSimplifyEdges);
}

TEST_F(GraphGeneratorTest, EntityWithoutGeneratorNeedsRefused)
{
    // A plain test entity has no width, height or speed: the agent refuses it,
    // and the brain without its agent refuses the entity.
    const Files files = MakeFiles("refused");
    const std::string text = NavTest::WorldText(
        1.0f,
        AgentText(files, "") +
            "<Brains><Brain \"GenBrain\"><Class>CGraphGeneratorBrain</Class><Agent>Gen</Agent></Brain>"
            "</Brains><Entities><Entity \"Plain\"><Class>CTestEntity</Class>"
            "<ActionClass>CKinematicActionClass</ActionClass><Brain>GenBrain</Brain></Entity></Entities>");
    m_world = NavTest::StartWorld(text);
    ASSERT_NE(m_world, nullptr);
    CConfigNode* config = CopyEntityConfig(m_world, "Plain");
    ASSERT_NE(config, nullptr);
    CEntity* entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
    DeleteConfigNode(config);
    EXPECT_TRUE(entity == nullptr || entity->GetBrain() == nullptr);
}

TEST(GraphGenData, RecordsGrowAndFollowRenumbering)
{
    CGenGraph graph;
    CGraphGenData data(&graph);
    graph.SetGenData(&data);
    ASSERT_TRUE(data.Init(nullptr));
    EXPECT_EQ(data.GetNodeRecord(-1), nullptr);
    CGraphGenNodeRecord* far = data.GetNodeRecord(25000);
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->claimant, -1);
    EXPECT_EQ(far->sectors[35].open, 1);

    for (int i = 0; i < 3; ++i)
        AddNodeAtPosition(graph, CVec3(float(i), 0.0f, 0.0f));
    data.GetNodeRecord(2)->explorationDone = 1;
    ASSERT_TRUE(graph.RemoveNode(1));
    graph.Renumber();
    // The node that was at 2 is now at 1 and kept its record.
    EXPECT_EQ(graph.GetNode(1)->GetPosition().x, 2.0f);
    EXPECT_EQ(data.GetNodeRecord(1)->explorationDone, 1);
    EXPECT_EQ(data.GetNodeRecord(2)->explorationDone, 0);
}

} // namespace
} // namespace Zelk
