// The searching standard agents: hide and flee, on small hand-made graphs.
#include "agents_world.h"
#include "ai/behaviours/flee_agent.h"
#include "ai/behaviours/hide_agent.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Zelk {
namespace {

using namespace AgentsTest;
using Parameters = std::vector<std::pair<const char*, const char*>>;

const char kClasses[] = R"(
<Brains><Brain "Bare"><Class>CTestBrain</Class><Service>Finder</Service><Service>Perception</Service></Brain></Brains>
<Entities>
  <Entity "Bare"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Bare</Brain></Entity>
  <Entity "Plain"><Class>CKinematicEntity</Class></Entity>
</Entities>)";

// A graph of nodes in a row joined both ways.
CSpatialGraph* Line(const std::vector<CVec3>& points)
{
    auto* graph = new CSpatialGraph;
    CGraphNode* previous = nullptr;
    for (const CVec3& p : points) {
        CGraphNode* node = AddNodeAtPosition(*graph, p);
        if (previous != nullptr) {
            CGraphArcData arc;
            arc.length = arc.cost = std::sqrt(CVec3::SquaredDistance(previous->GetPosition(), p));
            graph->AddArc(arc, previous, node);
            graph->AddArc(arc, node, previous);
        }
        previous = node;
    }
    return graph;
}

class SearchingAgentsTest : public ::testing::Test
{
  protected:
    void Start(CSpatialGraph* graph, const std::string& refusedTask = "", bool pointMapper = false,
               const std::string& visibleLimit = "")
    {
        std::string text = WorldText(StandardServices("Line") + kClasses, refusedTask);
        if (!visibleLimit.empty()) {
            // The visibility task admitted a few times per frame only.
            const std::string from = "<Aperiodic \"CHideAgent::CheckPositionVisible\"><Priority>1</Priority>"
                                     "<Tpf>5</Tpf><MaxCall>100</MaxCall>";
            const size_t at = text.find(from);
            ASSERT_NE(at, std::string::npos);
            text.replace(at, from.size(),
                         "<Aperiodic \"CHideAgent::CheckPositionVisible\"><Priority>1</Priority><Tpf>5</Tpf>"
                         "<MaxCall>" +
                             visibleLimit + "</MaxCall>");
        }
        m_world = StartWorld(text);
        ASSERT_NE(m_world, nullptr);
        ASSERT_TRUE(AddGraph("Line", graph, pointMapper));
    }

    void TearDown() override
    {
        m_agents.clear();
        StopWorld();
    }

    // An agent of that class on a bare entity's brain, initialised from the parameters;
    // null when Init refused them.
    template <class T> T* Make(CEntity* entity, const Parameters& parameters)
    {
        CAgent* agent = T::s_classRecord.GetCreator()(entity->GetBrain());
        CConfigNode config;
        AddConfigChild(&config, nullptr, "Class", T::s_classRecord.GetName());
        for (const auto& [key, value] : parameters)
            AddConfigChild(&config, nullptr, key, value);
        m_agents.emplace_back(agent);
        return agent->Init(&config) ? static_cast<T*>(agent) : nullptr;
    }

    CWorld* m_world = nullptr;
    std::vector<std::unique_ptr<CAgent>> m_agents;
};

// ---- Hide --------------------------------------------------------------------------------

// Five nodes 2 m apart along x; the danger stands 2 m south of node 0 (within the
// graph's search radius, so that it has a nearest node) and a wall hides nodes 3 and 4
// from it.
class HideTest : public SearchingAgentsTest
{
  protected:
    void SetUp() override
    {
        Start(Line({CVec3(0, 0, 0), CVec3(2, 0, 0), CVec3(4, 0, 0), CVec3(6, 0, 0), CVec3(8, 0, 0)}), "",
              false, m_visibleLimit);
        Host().AddBox(CVec3(3.1f, -1.0f, -1.0f), CVec3(9.0f, 3.0f, -0.5f));
        m_danger = MakeEntity("Plain", CVec3(0.0f, 0.0f, -2.0f), 0.0f, "Danger");
        m_hider = MakeEntity("Bare", CVec3(2.0f, 0.0f, 0.0f), 0.0f, "Hider");
        m_world->Start();
        Frames(m_world, 1);
    }

    CHideAgent* MakeHider(const char* researchType)
    {
        CHideAgent* hide = Make<CHideAgent>(m_hider, {{"Graph", "Line"}, {"ResearchType", researchType}});
        EXPECT_NE(hide, nullptr);
        if (hide != nullptr) {
            EXPECT_TRUE(hide->AddDangerousEntity(m_danger));
        }
        return hide;
    }

    // Admitted searches, one per frame, until the search is complete (at most n).
    void Search(CHideAgent* hide, int n = 20)
    {
        for (int i = 0; i < n; ++i) {
            hide->ComputeDestination();
            if (hide->IsSearchComplete())
                return;
            Frames(m_world, 1);
        }
    }

    std::string m_visibleLimit;
    CEntity* m_danger = nullptr;
    CEntity* m_hider = nullptr;
};

TEST_F(HideTest, ResearchTypesChooseTheirHiddenNode)
{
    struct Case
    {
        const char* type;
        int32_t node;
    };
    // Nodes 0 to 2 are seen. The nearest hidden node to the hider (node 1) is 3; the
    // farthest from the danger is 4.
    for (const Case& c : {Case{"CLOSE_TO_ME", 3}, Case{"FAR_FROM_ENEMY", 4}}) {
        CHideAgent* hide = MakeHider(c.type);
        ASSERT_NE(hide, nullptr);
        EXPECT_EQ(hide->GetDestination(), m_hider->GetPosition()); // nothing yet
        Search(hide);
        ASSERT_TRUE(hide->IsSearchComplete());
        EXPECT_TRUE(hide->HasFound());
        EXPECT_EQ(hide->GetDestinationIndex(), c.node) << c.type;
        EXPECT_EQ(hide->GetDestination(), CVec3(2.0f * float(c.node), 0.0f, 0.0f));
        EXPECT_FALSE(hide->IsSeen(hide->GetDestination()));
        EXPECT_TRUE(hide->IsSeen(CVec3(4.0f, 0.0f, 0.0f)));
    }
}

TEST_F(HideTest, WithoutDangersNothingIsFound)
{
    CHideAgent* hide = Make<CHideAgent>(m_hider, {{"Graph", "Line"}, {"ResearchType", "FAR_FROM_ENEMY"}});
    ASSERT_NE(hide, nullptr);
    Search(hide);
    EXPECT_TRUE(hide->IsSearchComplete());
    EXPECT_FALSE(hide->HasFound());
    EXPECT_EQ(hide->GetDestinationIndex(), -1);
}

class HideInterruptedTest : public HideTest
{
  protected:
    HideInterruptedTest() { m_visibleLimit = "1"; }
};

TEST_F(HideInterruptedTest, ARefusedVisibilityTestResumesAtTheSameNode)
{
    // One visibility test per frame: every search call stops at the second candidate.
    for (const char* type : {"CLOSE_TO_ME", "FAR_FROM_ENEMY"}) {
        CHideAgent* hide = MakeHider(type);
        ASSERT_NE(hide, nullptr);
        // The cursor after each admitted search: ascending, then -1 once complete.
        std::vector<int32_t> cursors;
        do {
            hide->ComputeDestination();
            cursors.push_back(hide->GetCursor());
            Frames(m_world, 1);
        } while (!hide->IsSearchComplete() && cursors.size() < 20);
        ASSERT_TRUE(hide->IsSearchComplete()) << type;
        EXPECT_GE(cursors.size(), 3u) << type; // the scan was spread over several frames
        for (size_t i = 1; i + 1 < cursors.size(); ++i)
            EXPECT_GT(cursors[i], cursors[i - 1]) << type;
        EXPECT_EQ(cursors.back(), -1);
        // The same choice as the uninterrupted scan.
        EXPECT_EQ(hide->GetDestinationIndex(), std::string(type) == "CLOSE_TO_ME" ? 3 : 4) << type;
    }
}

TEST_F(HideTest, ADestinationThatBecomesVisibleIsLeft)
{
    CHideAgent* hide = MakeHider("CLOSE_TO_ME");
    ASSERT_NE(hide, nullptr);
    Search(hide);
    ASSERT_EQ(hide->GetDestinationIndex(), 3);
    EXPECT_TRUE(hide->ComputeDestination()); // still hidden: kept
    EXPECT_EQ(hide->GetDestinationIndex(), 3);
    // The wall goes and a second one hides node 2 only: the search starts again.
    Host().ClearBoxes();
    Host().AddBox(CVec3(1.8f, -1.0f, -1.0f), CVec3(2.9f, 3.0f, -0.5f));
    Frames(m_world, 1);
    hide->ComputeDestination();
    EXPECT_NE(hide->GetDestinationIndex(), 3);
    Search(hide);
    ASSERT_TRUE(hide->IsSearchComplete());
    EXPECT_EQ(hide->GetDestinationIndex(), 2);
}

TEST_F(HideTest, TheDangerListHoldsItsCapacity)
{
    CHideAgent* two = Make<CHideAgent>(m_hider, {{"Graph", "Line"}, {"MaxDangerousEntities", "2"}});
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->GetDangerousCapacity(), 2u);
    EXPECT_TRUE(two->AddDangerousEntity(m_danger));
    EXPECT_TRUE(two->AddDangerousEntity(m_hider));
    EXPECT_FALSE(two->AddDangerousEntity(m_danger));
    EXPECT_FALSE(two->AddDangerousEntity(nullptr));
    EXPECT_EQ(two->GetDangerousCount(), 2u);
    for (const char* refused : {"0", "-3", "many", ""})
        EXPECT_EQ(Make<CHideAgent>(m_hider, {{"MaxDangerousEntities", refused}}), nullptr) << refused;
    EXPECT_EQ(Make<CHideAgent>(m_hider, {{"ResearchType", "FAR"}}), nullptr);
    EXPECT_EQ(Make<CHideAgent>(m_hider, {{"Graph", "Nowhere"}}), nullptr);
}

TEST_F(HideTest, TheHiderWalksToItsHidingPlaceAndStaysUnseen)
{
    CHideAgent* hide = MakeHider("CLOSE_TO_ME");
    ASSERT_NE(hide, nullptr);
    for (int i = 0; i < 400; ++i) {
        Frames(m_world, 1);
        if (hide->CanRun() && hide->Think())
            m_hider->GetBrain()->GetActionSet()->Merge(*hide->GetActionSet())->Apply(m_hider);
    }
    EXPECT_LT(std::sqrt((m_hider->GetPosition() - CVec3(6.0f, 0.0f, 0.0f)).SquaredLengthXZ()), 1.0f);
    EXPECT_FALSE(hide->IsSeen(m_hider->GetPosition()));
}

// ---- Flee --------------------------------------------------------------------------------

TEST(FleePassesNearTest, Table)
{
    struct Case
    {
        CVec3 a, b, p;
        bool near;
    };
    const Case cases[] = {
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(5, 0, 1.9f), true},
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(5, 0, 2.1f), false},
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(5, 0, 0), true},       // on the segment
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(-1, 0, 0.5f), false},  // before its start
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(11, 0, 0.5f), false},  // past its end
        {CVec3(0, 0, 0), CVec3(10, 0, 0), CVec3(10, 0, 1), true},      // at its end
        {CVec3(0, 0, 0), CVec3(0, 0, 4), CVec3(1.5f, 1.0f, 2), true},  // 1.8 m away in 3-D
        {CVec3(0, 0, 0), CVec3(0, 0, 4), CVec3(1.5f, 1.5f, 2), false}, // 2.12 m away
        {CVec3(3, 0, 3), CVec3(3, 0, 3), CVec3(4, 0, 3), true},        // a point-like segment
        {CVec3(3, 0, 3), CVec3(3, 0, 3), CVec3(6, 0, 3), false},
    };
    CTestHost host;
    AiHostInterface block{};
    host.Fill(block);
    // Without a world OneMeter is 0: give the runtime one of 1.
    CWorld* world = StartWorld(WorldText(""));
    ASSERT_NE(world, nullptr);
    for (const Case& c : cases)
        EXPECT_EQ(CFleeAgent::PassesNear(c.a, c.b, c.p), c.near) << c.p.x << " " << c.p.y << " " << c.p.z;
    StopWorld();
}

TEST(FleeScoreTest, CrossingsDivideTheScoreByElevenAndTwentyOne)
{
    EXPECT_FLOAT_EQ(CFleeAgent::ScorePath(66.0f, 0, 0), 66.0f);
    EXPECT_FLOAT_EQ(CFleeAgent::ScorePath(66.0f, 1, 0), 33.0f);
    EXPECT_FLOAT_EQ(CFleeAgent::ScorePath(66.0f, 0, 1), 6.0f);
    EXPECT_FLOAT_EQ(CFleeAgent::ScorePath(63.0f, 2, 2), 1.0f);
}

class FleeTest : public SearchingAgentsTest
{
  protected:
    // A square of four nodes: 0 (0, 0), 1 (4, 0), 2 (4, 4), 3 (0, 4), joined round the
    // square both ways; the fleer stands on node 0 and one danger point at (-2, 0, -1).
    void SetUp() override
    {
        auto* graph = Line({CVec3(0, 0, 0), CVec3(4, 0, 0), CVec3(4, 0, 4), CVec3(0, 0, 4)});
        CGraphArcData arc;
        arc.length = arc.cost = 4.0f;
        graph->AddArc(arc, graph->GetNode(3), graph->GetNode(0));
        graph->AddArc(arc, graph->GetNode(0), graph->GetNode(3));
        m_graph = graph;
        Start(graph);
        m_fleer = MakeEntity("Bare", CVec3(0.0f, 0.0f, 0.0f), 0.0f, "Fleer");
        m_world->Start();
        Frames(m_world, 1);
    }

    CFleeAgent* MakeFleer(const char* pathLength)
    {
        CFleeAgent* flee = Make<CFleeAgent>(m_fleer, {{"Graph", "Line"}, {"PathLength", pathLength}});
        EXPECT_NE(flee, nullptr);
        return flee;
    }

    CEntity* m_fleer = nullptr;
    CSpatialGraph* m_graph = nullptr;
};

TEST_F(FleeTest, AHandComputedSearch)
{
    // Danger point D = (-2, 0, -1); distances from D: node 0 2.2361, node 1 6.0828,
    // node 2 7.8102, node 3 5.3852. With two arcs the paths score their summed distances
    // over 3 (no arc passes within 2 m of D): 0-1-2 (2.2361 + 6.0828 + 7.8102) / 3 =
    // 5.3764 beats 0-3-2 (5.1438), the one-arc paths (0-1 4.1594, 0-3 3.8106) and the
    // ways back to node 0. The destination is node 2.
    CFleeAgent* flee = MakeFleer("2");
    ASSERT_NE(flee, nullptr);
    ASSERT_TRUE(flee->AddDangerPoint(CVec3(-2.0f, 0.0f, -1.0f)));
    ASSERT_TRUE(flee->ComputeDestination());
    ASSERT_NE(flee->GetDestinationNode(), nullptr);
    EXPECT_EQ(flee->GetDestinationNode()->GetIndex(), 2);
    float score = 0.0f;
    const CGraphNode* best = flee->SearchNode(m_graph->GetNode(0), 0, 2, 0, 2.2360680f, &score);
    EXPECT_EQ(best->GetIndex(), 2);
    EXPECT_NEAR(score, 5.3763601f, 1e-4f);
    // A second danger at (5.5, 0, 3), 1.5 m from the arc 1-2: every way through that arc
    // crosses it (its score divided by 11). Summed distances now: node 0 8.5011, node 1
    // 9.4369, node 2 9.6130, node 3 10.9753; 0-3 scores (8.5011 + 10.9753) / 2 = 9.7382,
    // above 0-3-2 (29.0894 / 3 = 9.6965), and node 3 is the destination.
    ASSERT_TRUE(flee->AddDangerPoint(CVec3(5.5f, 0.0f, 3.0f)));
    ASSERT_TRUE(flee->ComputeDestination());
    EXPECT_EQ(flee->GetDestinationNode()->GetIndex(), 3);
    // Path length 0: the own nearest node.
    CFleeAgent* still = MakeFleer("0");
    ASSERT_NE(still, nullptr);
    ASSERT_TRUE(still->AddDangerPoint(CVec3(-2.0f, 0.0f, -1.0f)));
    ASSERT_TRUE(still->ComputeDestination());
    EXPECT_EQ(still->GetDestinationNode()->GetIndex(), 0);
}

TEST_F(FleeTest, Parameters)
{
    struct Case
    {
        const char* key;
        const char* value;
        bool ok;
        int32_t pathLength;
        bool stopWhenHidden;
    };
    const Case cases[] = {
        {"StopWhenHidden", "No", true, 2, false},     {"StopWhenHidden", "no", true, 2, true},
        {"StopWhenHidden", "Yes", true, 2, true},     {"PathLength", "0", true, 0, false},
        {"PathLength", "-1", false, 2, false},        {"PathLength", "-100", false, 2, false},
        {"PathLength", "8", true, 8, false},          {"PathLength", "9", true, 8, false},
        {"PathLength", "1000000", true, 8, false},    {"MaxPointsToFlee", "0", false, 2, false},
        {"MaxEntitiesToFlee", "-2", false, 2, false}, {"MaxPointsToFlee", "1", true, 2, false},
    };
    for (const Case& c : cases) {
        CFleeAgent* flee = Make<CFleeAgent>(m_fleer, {{"Graph", "Line"}, {c.key, c.value}});
        EXPECT_EQ(flee != nullptr, c.ok) << c.key << " " << c.value;
        if (flee != nullptr) {
            EXPECT_EQ(flee->GetPathLength(), c.pathLength) << c.key << " " << c.value;
            EXPECT_EQ(flee->StopsWhenHidden(), c.stopWhenHidden) << c.key << " " << c.value;
        }
    }
    // Without a graph the agent cannot initialise; one point of capacity holds one point.
    EXPECT_EQ(Make<CFleeAgent>(m_fleer, {}), nullptr);
    CFleeAgent* one = Make<CFleeAgent>(m_fleer, {{"Graph", "Line"}, {"MaxPointsToFlee", "1"}});
    ASSERT_NE(one, nullptr);
    EXPECT_FALSE(one->CanRun());
    EXPECT_TRUE(one->AddDangerPoint(CVec3()));
    EXPECT_FALSE(one->AddDangerPoint(CVec3()));
    EXPECT_TRUE(one->CanRun());
    one->ClearDangerPoints();
    EXPECT_FALSE(one->CanRun());
}

TEST_F(FleeTest, HiddenDangersKeepTheEntityStill)
{
    CFleeAgent* flee = Make<CFleeAgent>(m_fleer, {{"Graph", "Line"}, {"StopWhenHidden", "Yes"}});
    ASSERT_NE(flee, nullptr);
    ASSERT_TRUE(flee->AddDangerPoint(CVec3(-2.0f, 0.0f, -1.0f)));
    // A wall between the fleer and the danger point.
    Host().AddBox(CVec3(-1.5f, -1.0f, -3.0f), CVec3(-0.5f, 3.0f, 3.0f));
    m_fleer->SetSpeed(1.0f);
    Frames(m_world, 1);
    EXPECT_TRUE(flee->Think());
    EXPECT_FALSE(flee->IsVisibleToDanger());
    EXPECT_EQ(flee->GetDestination(), m_fleer->GetPosition());
    ASSERT_TRUE(flee->GetActionSet()->Get<CActionSpeed>()->IsSet());
    EXPECT_EQ(flee->GetActionSet()->Get<CActionSpeed>()->GetValue(), 0.0f);
    // In sight it flees.
    Host().ClearBoxes();
    Frames(m_world, 1);
    EXPECT_TRUE(flee->Think());
    EXPECT_TRUE(flee->IsVisibleToDanger());
    EXPECT_NE(flee->GetDestination(), m_fleer->GetPosition());
}

} // namespace
} // namespace Zelk
