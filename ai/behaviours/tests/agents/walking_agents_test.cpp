// The walking standard agents: wander, go-to, follower and shooter, each run by
// a test brain over a walkable grid of the box world.
#include "agents_world.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/behaviours/follower_agent.h"
#include "ai/behaviours/goto_agent.h"
#include "ai/behaviours/shooter_agent.h"
#include "ai/behaviours/wander_agent.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/entity_manager.h"
#include "ai/runtime/random.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace Zelk {
namespace {

using namespace AgentsTest;

const char kAgents[] = R"(
<Agents>
  <Agent "Wander"><Class>CWanderAgent</Class><Graph>Grid</Graph></Agent>
  <Agent "Goto"><Class>CGotoAgent</Class></Agent>
  <Agent "Follow"><Class>CFollowerAgent</Class><EntityToFollow>Leader</EntityToFollow></Agent>
  <Agent "FollowNobody"><Class>CFollowerAgent</Class><EntityToFollow>Nobody</EntityToFollow></Agent>
  <Agent "Shoot"><Class>CShooterAgent</Class><TargetBot>Target</TargetBot><GunRange>10</GunRange>
    <DangerousConeAngle>10</DangerousConeAngle><AimAtTargetInterval>0</AimAtTargetInterval></Agent>
</Agents>
<Brains>
  <Brain "Wanderer"><Class>CTestBrain</Class><Service>Finder</Service><Agent>Wander</Agent></Brain>
  <Brain "Goer"><Class>CTestBrain</Class><Service>Finder</Service><Agent>Goto</Agent></Brain>
  <Brain "Follower"><Class>CTestBrain</Class><Service>Finder</Service><Agent>Follow</Agent></Brain>
  <Brain "Orphan"><Class>CTestBrain</Class><Service>Finder</Service><Agent>FollowNobody</Agent></Brain>
  <Brain "Shooter"><Class>CTestBrain</Class><Service>Finder</Service><Service>Perception</Service>
    <Agent>Shoot</Agent></Brain>
  <Brain "Bare"><Class>CTestBrain</Class><Service>Finder</Service><Service>Perception</Service></Brain>
</Brains>
<Entities>
  <Entity "Wanderer"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Wanderer</Brain></Entity>
  <Entity "Goer"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Goer</Brain></Entity>
  <Entity "Follower"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Follower</Brain></Entity>
  <Entity "Orphan"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Orphan</Brain></Entity>
  <Entity "Shooter"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Shooter</Brain><TeamSide>1</TeamSide></Entity>
  <Entity "SteeringShooter"><Class>CKinematicEntity</Class>
    <ActionClass>CKinematicArmedSteeringActionClass</ActionClass><Brain>Shooter</Brain><TeamSide>1</TeamSide></Entity>
  <Entity "Bare"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Bare</Brain></Entity>
  <Entity "Plain"><Class>CKinematicEntity</Class></Entity>
</Entities>)";

// A world with a 13 x 13 walkable grid of 1 m around the origin ("Grid").
class WalkingAgentsTest : public ::testing::Test
{
  protected:
    void Start(const std::string& refusedTask = "", bool pointMapper = false, CSpatialGraph* graph = nullptr)
    {
        m_world = StartWorld(WorldText(StandardServices() + kAgents, refusedTask));
        ASSERT_NE(m_world, nullptr);
        if (graph == nullptr) {
            graph = new CSpatialGraph;
            BuildWalkableGridGraph(*graph, CVec3(-6.0f, 0.0f, -6.0f), 13, 13, 1.0f, 0.6f);
        }
        ASSERT_TRUE(AddGraph("Grid", graph, pointMapper));
    }

    void TearDown() override
    {
        AiSetRandomSource(nullptr, nullptr);
        StopWorld();
    }

    template <class T> static T* AgentOf(const CEntity* entity)
    {
        CAgent* agent = FirstAgent(entity);
        EXPECT_NE(agent, nullptr);
        EXPECT_EQ(agent != nullptr ? agent->GetClassRecord() : nullptr, &T::s_classRecord);
        return static_cast<T*>(agent);
    }

    static float DistanceXZ(const CVec3& a, const CVec3& b) { return std::sqrt((a - b).SquaredLengthXZ()); }

    CWorld* m_world = nullptr;
};

// A scripted random source: the values in order, then the last one again.
struct ScriptedRandom
{
    std::vector<int32_t> values;
    size_t next = 0;
    static int32_t Draw(void* user)
    {
        auto* self = static_cast<ScriptedRandom*>(user);
        const int32_t v =
            self->values[self->next < self->values.size() ? self->next : self->values.size() - 1];
        ++self->next;
        return v;
    }
};

TEST_F(WalkingAgentsTest, EveryAgentRefusesAnUnknownKey)
{
    Start();
    CEntity* bare = MakeEntity("Bare", CVec3());
    ASSERT_NE(bare, nullptr);
    for (const char* name : {"CWanderAgent", "CShooterAgent", "CPathWayAgent", "CHideAgent", "CGotoAgent",
                             "CFollowerAgent", "CFleeAgent", "CAttackNNAgent"}) {
        CAgent* agent = CAgentClassRecord::Find(name)->GetCreator()(bare->GetBrain());
        CConfigNode config;
        AddConfigChild(&config, nullptr, "Class", name);
        AddConfigChild(&config, nullptr, "Colour", "blue");
        EXPECT_FALSE(agent->Init(&config)) << name;
        EXPECT_FALSE(agent->ReadParameter(nullptr)) << name;
        delete agent;
    }
}

TEST_F(WalkingAgentsTest, ARefusedValueOrAMissingTaskFailsInit)
{
    Start("CFollowerAgent::ComputeRealDistance");
    CEntity* bare = MakeEntity("Bare", CVec3());
    struct Case
    {
        const char* agent;
        const char* key;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"CWanderAgent", "Graph", "Grid", true},
        {"CWanderAgent", "Graph", "NoSuchGraph", false},
        {"CWanderAgent", "Graph", nullptr, false},
        {"CGotoAgent", "Graph", "Grid", false},
        {"CShooterAgent", "TargetBot", "Nobody", false},
        {"CShooterAgent", "GunRange", nullptr, false},
        {"CFollowerAgent", "EntityToFollow", "Nobody", true},
    };
    for (const Case& c : cases) {
        CAgent* agent = CAgentClassRecord::Find(c.agent)->GetCreator()(bare->GetBrain());
        CConfigNode config;
        AddConfigChild(&config, nullptr, c.key, c.value);
        EXPECT_EQ(agent->Init(&config), c.ok) << c.agent << " " << c.key;
        delete agent;
    }
    // The follower's task is listed with no admission at all, yet it exists: Init passes.
    CAgent* follower = CAgentClassRecord::Find("CFollowerAgent")->GetCreator()(bare->GetBrain());
    CConfigNode empty;
    EXPECT_TRUE(follower->Init(&empty));
    delete follower;
}

TEST_F(WalkingAgentsTest, AnUnlistedTaskFailsTheAgentsThatNeedIt)
{
    // A world whose time manager lists no agent task at all.
    m_world =
        StartWorld("<World \"bare\"><MaxEntity>8</MaxEntity><OneMeter>1</OneMeter><Tpf>20</Tpf>"
                   "<TimeMgt><Aperiodic \"Zelk::CEntityManager::ComputeCommonInfo\"><MaxCall>9</MaxCall>"
                   "</Aperiodic></TimeMgt>" +
                   StandardServices() + kAgents + "</World>");
    ASSERT_NE(m_world, nullptr);
    auto* graph = new CSpatialGraph;
    BuildWalkableGridGraph(*graph, CVec3(-2.0f, 0.0f, -2.0f), 5, 5, 1.0f, 0.6f);
    ASSERT_TRUE(AddGraph("Grid", graph));
    CEntity* bare = MakeEntity("Bare", CVec3());
    MakeEntity("Plain", CVec3(1.0f, 0.0f, 0.0f), 0.0f, "Target");
    for (const char* name : {"CFollowerAgent", "CShooterAgent", "CHideAgent", "CFleeAgent"}) {
        CAgent* agent = CAgentClassRecord::Find(name)->GetCreator()(bare->GetBrain());
        CConfigNode config;
        if (std::string(name) == "CShooterAgent")
            AddConfigChild(&config, nullptr, "TargetBot", "Target");
        if (std::string(name) == "CFleeAgent")
            AddConfigChild(&config, nullptr, "Graph", "Grid"); // so that only the tasks are missing
        EXPECT_FALSE(agent->Init(&config)) << name;
        delete agent;
    }
}

// ---- Wander ------------------------------------------------------------------------------

TEST_F(WalkingAgentsTest, WanderOnAOneNodeGraphKeepsThatNode)
{
    auto* graph = new CSpatialGraph;
    AddNodeAtPosition(*graph, CVec3(2.0f, 0.0f, 0.0f));
    Start("", false, graph);
    CEntity* walker = MakeEntity("Wanderer", CVec3(2.0f, 0.0f, 0.2f));
    auto* wander = AgentOf<CWanderAgent>(walker);
    m_world->Start();
    ASSERT_TRUE(wander->CanRun());
    EXPECT_EQ(wander->GetTargetNode(), 0);
    for (const int32_t r : {0, 1, 777, 32767}) {
        ScriptedRandom random{{r}};
        AiSetRandomSource(&ScriptedRandom::Draw, &random);
        ASSERT_TRUE(wander->PickRandomTarget());
        EXPECT_EQ(wander->GetTargetNode(), 0);
    }
    AiSetRandomSource(nullptr, nullptr);
    bool arrived = false;
    for (int i = 0; i < 120 && !arrived; ++i) {
        Frames(m_world, 1);
        arrived = wander->HasArrived();
    }
    EXPECT_TRUE(arrived);
    EXPECT_EQ(wander->GetTargetNode(), 0);
    EXPECT_LT(DistanceXZ(walker->GetPosition(), CVec3(2.0f, 0.0f, 0.0f)), 0.5f);
}

TEST_F(WalkingAgentsTest, WanderWithoutNodesNeverRuns)
{
    Start("", false, new CSpatialGraph);
    auto* wander = AgentOf<CWanderAgent>(MakeEntity("Wanderer", CVec3()));
    EXPECT_NE(wander->GetGraph(), nullptr);
    EXPECT_FALSE(wander->CanRun());
    EXPECT_FALSE(wander->PickRandomTarget());
    EXPECT_EQ(wander->GetTargetNode(), -1);
}

TEST_F(WalkingAgentsTest, WanderDrawsOnlyRealNodesOfASparseGraph)
{
    // Six slots, nodes 1 and 2 removed: four nodes at 0, 3, 4, 5.
    auto* graph = new CSpatialGraph;
    for (int i = 0; i < 6; ++i)
        AddNodeAtPosition(*graph, CVec3(float(i), 0.0f, 0.0f));
    graph->RemoveNode(1);
    graph->RemoveNode(2);
    Start("", false, graph);
    auto* wander = AgentOf<CWanderAgent>(MakeEntity("Wanderer", CVec3()));
    struct Draw
    {
        int32_t random;
        int32_t node;
    };
    // The draw is random mod 4; an empty slot passes to the next used one.
    const Draw draws[] = {{0, 0}, {1, 3}, {2, 3}, {3, 3}, {4, 0}, {32767, 3}};
    for (const Draw& d : draws) {
        ScriptedRandom random{{d.random}};
        AiSetRandomSource(&ScriptedRandom::Draw, &random);
        ASSERT_TRUE(wander->PickRandomTarget());
        EXPECT_EQ(wander->GetTargetNode(), d.node) << d.random;
        EXPECT_EQ(wander->GetTarget(), graph->GetNode(d.node)->GetPosition());
    }
}

TEST_F(WalkingAgentsTest, WanderRedrawsAnUnreachableTarget)
{
    // The grid, plus a node far away that no arc reaches.
    auto* graph = new CSpatialGraph;
    BuildWalkableGridGraph(*graph, CVec3(-2.0f, 0.0f, -2.0f), 5, 5, 1.0f, 0.6f);
    const int32_t island = AddNodeAtPosition(*graph, CVec3(40.0f, 0.0f, 40.0f))->GetIndex();
    Start("", false, graph);
    // First the island, then node 0 of the grid.
    ScriptedRandom random{{island, 0}};
    AiSetRandomSource(&ScriptedRandom::Draw, &random);
    auto* wander = AgentOf<CWanderAgent>(MakeEntity("Wanderer", CVec3()));
    m_world->Start();
    ASSERT_TRUE(wander->CanRun());
    EXPECT_EQ(wander->GetTargetNode(), island);
    for (int i = 0; i < 30 && wander->GetTargetNode() == island; ++i)
        Frames(m_world, 1);
    EXPECT_EQ(wander->GetTargetNode(), 0);
    EXPECT_FALSE(wander->HasArrived());
}

TEST_F(WalkingAgentsTest, WanderUsesNodeTargetsWhenThePointMapperKnowsTheGraph)
{
    for (const bool mapped : {false, true}) {
        Start("", mapped);
        CEntity* walker = MakeEntity("Wanderer", CVec3(0.0f, 0.0f, 0.0f));
        auto* wander = AgentOf<CWanderAgent>(walker);
        EXPECT_EQ(wander->GetPointMappingIndex(), mapped ? 0 : 0xFFFF);
        m_world->Start();
        // Several targets are reached in turn.
        std::vector<int32_t> reached;
        for (int i = 0; i < 1500 && reached.size() < 3; ++i) {
            const int32_t target = wander->GetTargetNode();
            Frames(m_world, 1);
            if (wander->HasArrived())
                reached.push_back(target);
        }
        EXPECT_GE(reached.size(), 3u) << mapped;
        StopWorld();
    }
}

// ---- Go-to -------------------------------------------------------------------------------

TEST_F(WalkingAgentsTest, GotoWalksToTheOriginBeforeAnyDestination)
{
    Start();
    CEntity* walker = MakeEntity("Goer", CVec3(4.0f, 0.0f, 3.0f));
    auto* go = AgentOf<CGotoAgent>(walker);
    m_world->Start();
    EXPECT_EQ(go->GetDestination(), CVec3());
    for (int i = 0; i < 300 && !go->HasArrived(); ++i)
        Frames(m_world, 1);
    ASSERT_TRUE(go->HasArrived());
    EXPECT_LT(DistanceXZ(walker->GetPosition(), CVec3()), 1.0f);
    EXPECT_GE(go->GetPathStatus(), 0.0f);

    // The same point keeps the arrival; a change of 1e-6 clears it.
    go->SetDestination(CVec3());
    EXPECT_TRUE(go->HasArrived());
    go->SetDestination(CVec3(1e-6f, 0.0f, 0.0f));
    EXPECT_FALSE(go->HasArrived());
}

TEST_F(WalkingAgentsTest, GotoAnswersFalseWhenNoWayLeadsThere)
{
    auto* graph = new CSpatialGraph;
    BuildWalkableGridGraph(*graph, CVec3(-2.0f, 0.0f, -2.0f), 5, 5, 1.0f, 0.6f);
    AddNodeAtPosition(*graph, CVec3(40.0f, 0.0f, 40.0f));
    Start("", false, graph);
    CEntity* walker = MakeEntity("Goer", CVec3());
    auto* go = AgentOf<CGotoAgent>(walker);
    m_world->Start();
    go->SetDestination(CVec3(40.0f, 0.0f, 40.0f));
    bool refused = false;
    for (int i = 0; i < 30 && !refused; ++i) {
        Frames(m_world, 1);
        refused = !go->Think();
    }
    EXPECT_TRUE(refused);
    EXPECT_FALSE(go->HasArrived());
    EXPECT_EQ(go->GetPathStatus(), -1.0f);
}

// ---- Follower ----------------------------------------------------------------------------

TEST_F(WalkingAgentsTest, FollowerAtDistanceZeroWalksOntoTheLeader)
{
    Start();
    CEntity* leader = MakeEntity("Plain", CVec3(2.0f, 0.0f, 1.0f), 0.0f, "Leader");
    auto* follow = AgentOf<CFollowerAgent>(MakeEntity("Follower", CVec3(-3.0f, 0.0f, -3.0f)));
    follow->SetDistFromEntity(0.0f);
    EXPECT_EQ(follow->GetDistFromEntity(), 0.0f);
    ASSERT_TRUE(follow->CanRun());
    follow->ComputeTarget();
    EXPECT_EQ(follow->GetTarget(), leader->GetPosition());
}

TEST_F(WalkingAgentsTest, FollowerStopsHalfAWidthShortOfAWall)
{
    struct Case
    {
        const char* refusedTask;
        float distance; // the real distance kept
    };
    // A wall 0.5 m behind the leader; the follower is 0.6 m wide: 0.5 - 0.3 = 0.2 m.
    // With the wall test never admitted, the default 1 m stays.
    const Case cases[] = {{"", 0.2f}, {"CFollowerAgent::ComputeRealDistance", 1.0f}};
    for (const Case& c : cases) {
        Start(c.refusedTask);
        Host().AddBox(CVec3(-3.0f, -1.0f, -1.5f), CVec3(3.0f, 3.0f, -0.5f));
        CEntity* leader = MakeEntity("Plain", CVec3(), 0.0f, "Leader");
        auto* follow = AgentOf<CFollowerAgent>(MakeEntity("Follower", CVec3(2.0f, 0.0f, 2.0f)));
        m_world->Start();
        Frames(m_world, 1);
        EXPECT_NEAR(follow->GetRealDistance(), c.distance, 1e-4f) << c.refusedTask;
        const CVec3 expected = leader->GetPosition() + CVec3(0.0f, 0.0f, -c.distance);
        EXPECT_NEAR(follow->GetTarget().x, expected.x, 1e-4f);
        EXPECT_NEAR(follow->GetTarget().z, expected.z, 1e-4f);
        StopWorld();
    }
}

TEST_F(WalkingAgentsTest, FollowerRepeatsNoWallTestWhileTheLeaderStandsStill)
{
    Start();
    CEntity* leader = MakeEntity("Plain", CVec3(), 0.0f, "Leader");
    auto* follow = AgentOf<CFollowerAgent>(MakeEntity("Follower", CVec3(2.0f, 0.0f, 2.0f)));
    m_world->Start();
    Frames(m_world, 1);
    EXPECT_NEAR(follow->GetRealDistance(), 1.0f, 1e-4f);
    // A wall appears behind the standing leader: no new test sees it.
    Host().AddBox(CVec3(-3.0f, -1.0f, -1.5f), CVec3(3.0f, 3.0f, -0.5f));
    Frames(m_world, 20);
    EXPECT_NEAR(follow->GetRealDistance(), 1.0f, 1e-4f);
    // Once the leader moves, the test runs again and finds the wall.
    leader->SetPosition(CVec3(0.0f, 0.0f, 0.01f));
    Frames(m_world, 1);
    EXPECT_NEAR(follow->GetRealDistance(), 0.21f, 1e-4f);
    // A changed setting also asks for a new test.
    follow->SetAngleFromEntity(90.0f);
    Frames(m_world, 4);
    EXPECT_NEAR(follow->GetRealDistance(), 1.0f, 1e-4f);
    EXPECT_NEAR(follow->GetTarget().x, 1.0f, 1e-4f);
}

TEST_F(WalkingAgentsTest, FollowerOfAnUnknownLeaderNeverRuns)
{
    Start();
    CEntity* orphan = MakeEntity("Orphan", CVec3());
    auto* follow = AgentOf<CFollowerAgent>(orphan);
    // A leader of that name added later is not found: the name was resolved at Init.
    MakeEntity("Plain", CVec3(1.0f, 0.0f, 0.0f), 0.0f, "Nobody");
    EXPECT_EQ(follow->GetLeader(), nullptr);
    EXPECT_FALSE(follow->CanRun());
    EXPECT_FALSE(follow->Think());
    m_world->Start();
    Frames(m_world, 10);
    EXPECT_EQ(orphan->GetPosition(), CVec3());
}

TEST_F(WalkingAgentsTest, FollowerKeepsBehindAWalkingLeader)
{
    Start();
    CEntity* leader = MakeEntity("Plain", CVec3(-4.0f, 0.0f, 0.0f), 90.0f, "Leader");
    CEntity* follower = MakeEntity("Follower", CVec3(-5.0f, 0.0f, 3.0f));
    m_world->Start();
    leader->SetSpeed(0.5f); // along +x
    Frames(m_world, 300);
    leader->SetSpeed(0.0f);
    Frames(m_world, 90);
    // One metre behind the leader, which faces +x.
    const CVec3 followPoint = leader->GetPosition() - CVec3(1.0f, 0.0f, 0.0f);
    EXPECT_LT(DistanceXZ(follower->GetPosition(), followPoint), 1.0f);
}

// ---- Shooter -----------------------------------------------------------------------------

TEST_F(WalkingAgentsTest, ShooterOutOfRangeWalksAndHoldsFire)
{
    Start();
    CEntity* target = MakeEntity("Plain", CVec3(5.5f, 0.0f, 5.5f), 0.0f, "Target");
    CEntity* shooter = MakeEntity("Shooter", CVec3(-5.5f, 0.0f, -5.5f));
    auto* agent = AgentOf<CShooterAgent>(shooter);
    agent->SetGunRange(5.0f);
    EXPECT_NEAR(agent->GetGunRange(), 5.0f, 1e-6f);
    m_world->Start();
    bool fired = false;
    for (int i = 0; i < 20; ++i) {
        Frames(m_world, 1);
        fired = fired || shooter->GetBrain()->GetActionSet()->Get<CActionShoot>()->GetFire();
    }
    EXPECT_FALSE(fired);
    EXPECT_EQ(agent->GetWalkGoal(), target->GetPosition());
    EXPECT_GT(shooter->GetSpeed(), 0.0f);
    EXPECT_LT(DistanceXZ(shooter->GetPosition(), target->GetPosition()),
              DistanceXZ(CVec3(-5.5f, 0, -5.5f), target->GetPosition()));
}

TEST_F(WalkingAgentsTest, ShooterWithoutInaccuracyAimsExactly)
{
    Start();
    CEntity* target = MakeEntity("Plain", CVec3(3.0f, 0.0f, 4.0f), 0.0f, "Target");
    CEntity* shooter = MakeEntity("Shooter", CVec3());
    auto* agent = AgentOf<CShooterAgent>(shooter);
    m_world->Start();
    Frames(m_world, 3);
    ASSERT_TRUE(agent->IsFiring());
    const CVec3 aim = agent->GetAimDirection();
    EXPECT_NEAR(aim.x, 0.6f, 1e-5f);
    EXPECT_NEAR(aim.y, 0.0f, 1e-5f);
    EXPECT_NEAR(aim.z, 0.8f, 1e-5f);
    const CActionSet* decided = shooter->GetBrain()->GetActionSet();
    EXPECT_TRUE(decided->Get<CActionShoot>()->GetFire());
    EXPECT_NEAR(decided->Get<CActionRotate>()->GetValue(), DirectionToAngles(target->GetPosition()).y, 1e-4f);
    EXPECT_EQ(agent->GetWalkGoal(), shooter->GetPosition());
    // Firing, it stands.
    ASSERT_TRUE(decided->Get<CActionSpeed>()->IsSet());
    EXPECT_EQ(decided->Get<CActionSpeed>()->GetValue(), 0.0f);
}

TEST_F(WalkingAgentsTest, ShooterDangerCone)
{
    struct Case
    {
        const char* what;
        CVec3 friendAt;
        uint32_t flags;
        bool clear;
    };
    // The shooter at the origin aims along +x at the target 8 m away; the cone is 10 degrees.
    const Case cases[] = {
        {"flagged on the line", CVec3(4.0f, 0.0f, 0.0f), kEntityFlagDangerTest, false},
        {"flagged 9 degrees off", CVec3(4.0f, 0.0f, 4.0f * std::tan(9.0f * kDegToRad)), kEntityFlagDangerTest,
         false},
        {"flagged 12 degrees off", CVec3(4.0f, 0.0f, 4.0f * std::tan(12.0f * kDegToRad)),
         kEntityFlagDangerTest, true},
        {"flagged behind", CVec3(-4.0f, 0.0f, 0.0f), kEntityFlagDangerTest, true},
        {"flagged beyond the range", CVec3(10.5f, 0.0f, 0.0f), kEntityFlagDangerTest, true},
        {"not flagged on the line", CVec3(4.0f, 0.0f, 0.0f), 0, true},
        {"out of play on the line", CVec3(4.0f, 0.0f, 0.0f), kEntityFlagDangerTest | kEntityFlagOutOfPlay,
         true},
    };
    for (const Case& c : cases) {
        Start();
        MakeEntity("Plain", CVec3(8.0f, 0.0f, 0.0f), 0.0f, "Target");
        CEntity* other = MakeEntity("Plain", c.friendAt, 0.0f, "Friend");
        other->SetFlags(c.flags);
        CEntity* shooter = MakeEntity("Shooter", CVec3());
        auto* agent = AgentOf<CShooterAgent>(shooter);
        m_world->Start();
        Frames(m_world, 3);
        ASSERT_TRUE(agent->CanRun()) << c.what;
        EXPECT_EQ(agent->IsLineOfFireClear(CVec3(1.0f, 0.0f, 0.0f)), c.clear) << c.what;
        EXPECT_EQ(agent->IsFiring(), c.clear) << c.what;
        StopWorld();
    }
}

TEST_F(WalkingAgentsTest, ShooterWithoutConeOrSideAlwaysFires)
{
    Start();
    MakeEntity("Plain", CVec3(8.0f, 0.0f, 0.0f), 0.0f, "Target");
    MakeEntity("Plain", CVec3(4.0f, 0.0f, 0.0f), 0.0f, "Friend")->SetFlags(kEntityFlagDangerTest);
    CEntity* shooter = MakeEntity("Shooter", CVec3());
    CEntity* sideless = MakeEntity("Bare", CVec3(0.0f, 0.0f, 1.0f));
    // A shooter on an entity without team side, made from the same configuration.
    CAgent* loose = CAgentClassRecord::Find("CShooterAgent")->GetCreator()(sideless->GetBrain());
    CConfigNode config;
    AddConfigChild(&config, nullptr, "TargetBot", "Target");
    AddConfigChild(&config, nullptr, "DangerousConeAngle", "10");
    ASSERT_TRUE(loose->Init(&config));
    m_world->Start();
    Frames(m_world, 3);
    auto* agent = AgentOf<CShooterAgent>(shooter);
    ASSERT_TRUE(agent->CanRun());
    EXPECT_FALSE(agent->IsLineOfFireClear(CVec3(1.0f, 0.0f, 0.0f)));
    ASSERT_TRUE(loose->CanRun());
    EXPECT_TRUE(static_cast<CShooterAgent*>(loose)->IsLineOfFireClear(CVec3(1.0f, 0.0f, 0.0f)));
    delete loose;
}

TEST(ShooterSteeringTest, TheHeadingErrorIsFoldedBeforeTheThreeDegreeRule)
{
    struct Case
    {
        float body, heading, steering;
    };
    const Case cases[] = {
        {-170.0f, 190.0f, 0.0f}, // the same direction: -360 folds to 0
        {10.0f, 0.0f, 1.0f},      {0.0f, 10.0f, -1.0f},    {3.0f, 0.0f, 0.0f},
        {-3.0f, 0.0f, 0.0f},      {3.5f, 0.0f, 1.0f},      {-170.0f, 175.0f, 1.0f}, // +15 the short way
        {170.0f, -175.0f, -1.0f}, {180.0f, -90.0f, -1.0f}, {-90.0f, 265.0f, 1.0f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SteeringFor(FoldAngle180(c.body - c.heading)), c.steering) << c.body << " " << c.heading;
    for (const float a : {-720.0f, -360.0f, -181.0f, 0.0f, 181.0f, 540.0f, 725.0f}) {
        const float folded = FoldAngle180(a);
        EXPECT_GE(folded, -180.0f);
        EXPECT_LE(folded, 180.0f);
        EXPECT_NEAR(std::remainder(folded - a, 360.0f), 0.0f, 1e-3f) << a;
    }
}

TEST_F(WalkingAgentsTest, ASteeringShooterFacingItsTargetDoesNotTurn)
{
    // The target at heading -170 from the shooter, whose own heading reads 190.
    Start();
    MakeEntity("Plain", AnglesToDirection(CVec3(0.0f, -170.0f, 0.0f)) * 5.0f, 0.0f, "Target");
    CEntity* shooter = MakeEntity("SteeringShooter", CVec3());
    auto* agent = AgentOf<CShooterAgent>(shooter);
    m_world->Start();
    for (int i = 0; i < 5; ++i) {
        CVec3 angles = shooter->GetAngles();
        angles.y = 190.0f;
        shooter->SetAngles(angles);
        Frames(m_world, 1);
    }
    ASSERT_TRUE(agent->IsFiring());
    EXPECT_NEAR(agent->GetBodyHeading(), -170.0f, 1e-3f);
    EXPECT_EQ(shooter->GetBrain()->GetActionSet()->Get<CActionSteering>()->GetValue(), 0.0f);
}

} // namespace
} // namespace Zelk
