// The escort agent and the soldier brain: the speed law and far mode, holding
// near the VIP, watching and aiming, crouching, and the brain with and without
// an escort team.
#include "ai/behaviours/access_ways_generate.h"
#include "ai/behaviours/behaviour_registry.h"
#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/random.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/team.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include "escort_test_host.h"
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <set>
#include <string>

namespace Zelk {
namespace {

struct SpeedCase
{
    float h, g, maxSpeed;
    bool far;
    float speed;
};

TEST(WardelAgentSpeedTest, SpeedLaw)
{
    const SpeedCase cases[] = {
        {10.0f, 0.4f, 3.0f, true, 3.0f}, // far: full speed
        {0.3f, 0.4f, 3.0f, false, 0.0f}, // inside the goal distance: stop
        {0.5f, 0.4f, 3.0f, false, 0.9f}, // just outside: at least 0.3 x max
        {3.6f, 0.4f, 3.0f, false, 3.0f}, // (3.6 - 0.4) x 0.5 / 1.6 = 1.0
        {2.0f, 0.4f, 2.0f, false, 1.0f}, // (1.6 x 0.5 / 1.6) = 0.5
        {3.0f, 2.5f, 3.0f, false, 0.9f}, // goal distance beyond the ramp: slow walk
        {3.0f, 2.0f, 3.0f, false, 0.9f}, // goal distance at the ramp's end
        {1.5f, 1.0f, 2.0f, false, 0.6f}, // 0.5 x 0.5 / 1.0 = 0.25 -> 0.3
    };
    for (const SpeedCase& c : cases) {
        const float speed = CWardelAgent::SpeedLaw(c.h, c.g, c.maxSpeed, c.far);
        EXPECT_TRUE(std::isfinite(speed));
        EXPECT_NEAR(speed, c.speed, 1e-5f) << c.h << " " << c.g;
    }
}

TEST(WardelAgentSpeedTest, FarModeHysteresis)
{
    struct Step
    {
        float h;
        bool far;
        float threshold;
    };
    // Starts with the path finder's goal distance 0.4 as the threshold.
    const Step steps[] = {
        {0.3f, false, 0.4f}, {0.5f, true, 2.0f}, {3.0f, true, 2.0f}, {1.9f, false, 5.0f},
        {4.0f, false, 5.0f}, {5.5f, true, 2.0f}, {2.0f, true, 2.0f}, {1.0f, false, 5.0f},
    };
    uint8_t far = 0;
    float threshold = 0.4f;
    for (const Step& s : steps) {
        CWardelAgent::FarModeStep(s.h, 1.0f, far, threshold);
        EXPECT_EQ(far != 0, s.far) << s.h;
        EXPECT_EQ(threshold, s.threshold) << s.h;
    }
}

// A world with a walkable grid "MoveGraph" and an access-ways graph "Ways": a star
// around (0, 0, 0) with ways 8 m away at headings 0, 90, 180 and 270.
class EscortWorldTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const std::string extra =
            "<GlobalServices><Service>Graphs</Service></GlobalServices>"
            "<Services><Service "
            "\"Graphs\"><Class>CGraphManager</Class><AstarMemory>2000</AstarMemory></Service>"
            "<Service \"Finder\"><Class>CPathFinder</Class><Graph>MoveGraph</Graph></Service></Services>"
            "<Agents><Agent \"Escort\"><Class>CWardelAgent</Class></Agent></Agents>"
            "<Brains><Brain \"Soldier\"><Class>CSoldierBrain</Class><Service>Finder</Service>"
            "<Agent>Escort</Agent></Brain>"
            "<Brain \"Idle\"><Class>CSoldierBrain</Class><Service>Finder</Service></Brain></Brains>"
            "<Entities><Entity \"Player\"><Class>CKinematicEntity</Class></Entity>"
            "<Entity \"Guard\"><Class>CKinematicEntity</Class><ActionClass>CEscortActionClass</ActionClass>"
            "<Brain>Soldier</Brain><MaxSpeed>3</MaxSpeed></Entity>"
            "<Entity \"Idler\"><Class>CKinematicEntity</Class><ActionClass>CEscortActionClass</ActionClass>"
            "<Brain>Idle</Brain></Entity>"
            "<Entity "
            "\"Plain\"><Class>CKinematicEntity</Class><ActionClass>CKinematicActionClass</ActionClass>"
            "<Brain>Soldier</Brain><MaxSpeed>3</MaxSpeed></Entity>"
            "<Entity \"Thin\"><Class>CKinematicEntity</Class><ActionClass>CEscortActionClass</ActionClass>"
            "<Brain>Soldier</Brain><MaxSpeed>3</MaxSpeed><Width>0</Width></Entity></Entities>"
            "<Teams><Team \"Escorts\"><Class>CWardelTeam</Class><AccessWaysGraph>Ways</AccessWaysGraph>"
            "<DistanceToVIP>3</DistanceToVIP></Team>"
            "<Team \"Plain\"><Class>CTeam</Class></Team></Teams>";
        m_world = EscortTest::StartWorld(EscortTest::WorldText(extra));
        ASSERT_NE(m_world, nullptr);
        SetTestFrameStep(kStep);
        CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        ASSERT_NE(manager, nullptr);
        auto* grid = new CSpatialGraph;
        BuildWalkableGridGraph(*grid, CVec3(-12.0f, 0.0f, -12.0f), 25, 25, 1.0f, 0.6f);
        ASSERT_TRUE(manager->AddGraph("MoveGraph", grid, false));
        m_star = EscortTest::MakeStar(CVec3(), EscortTest::WaysAtHeadings(CVec3(), 8.0f, {0, 90, 180, 270}));
        CSpatialGraph* ways = m_star.graph.release();
        ASSERT_TRUE(manager->AddGraph("Ways", ways, false));
        auto* findNearest = new CFindNearestData(ways);
        ASSERT_TRUE(findNearest->Build());
        manager->FindEntry(ways)->AddAdditionalData(findNearest);
        manager->FindEntry(ways)->AddAdditionalData(m_star.data.release());
        m_vip = MakeEntity("Player", CVec3());
    }

    void TearDown() override
    {
        AiSetRandomSource(nullptr, nullptr);
        EscortTest::StopWorld();
    }

    CEntity* MakeEntity(const char* definition, const CVec3& at, float heading = 0.0f)
    {
        CConfigNode* config = CopyEntityConfig(m_world, definition);
        EXPECT_NE(config, nullptr);
        AddConfigChild(config, nullptr, "StartX", std::to_string(at.x).c_str());
        AddConfigChild(config, nullptr, "StartZ", std::to_string(at.z).c_str());
        AddConfigChild(config, nullptr, "StartHeading", std::to_string(heading).c_str());
        CEntity* entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
        delete config;
        EXPECT_NE(entity, nullptr);
        EXPECT_TRUE(m_world->AddEntity(entity));
        return entity;
    }

    CTeam* MakeTeam(const char* definition, uint32_t capacity)
    {
        CConfigNode* config = CopyTeamConfig(m_world, definition);
        CTeam* team = CreateTeam(config, capacity, definition);
        AiDeleteConfigNode(config);
        EXPECT_NE(team, nullptr);
        if (team != nullptr && team->GetClassRecord() == &CWardelTeam::s_classRecord)
            static_cast<CWardelTeam*>(team)->SetVip(m_vip);
        return team;
    }

    static CSoldierBrain* BrainOf(CEntity* entity) { return static_cast<CSoldierBrain*>(entity->GetBrain()); }
    static CWardelAgent* AgentOf(CEntity* entity) { return BrainOf(entity)->GetEscortAgent(); }

    void Frames(int n)
    {
        for (int i = 0; i < n; ++i) {
            EscortTest::Host().Advance(kStep);
            m_world->Update();
        }
    }

    static constexpr float kStep = 1.0f / 30.0f;
    CWorld* m_world = nullptr;
    CEntity* m_vip = nullptr;
    EscortTest::CStar m_star;
};

TEST_F(EscortWorldTest, ClassesAreRegistered)
{
    EXPECT_TRUE(CheckBehaviourClassesRegistered());
    EXPECT_EQ(kStandardAgentTaskCount, 6);
}

TEST_F(EscortWorldTest, AnEscortWithoutSlotHoldsNearTheVip)
{
    // At a leaf of the star the VIP's node has no access ways: no guard point at all.
    m_vip->SetPosition(CVec3(8.0f, 0.0f, 0.0f));
    CTeam* team = MakeTeam("Escorts", 2);
    CEntity* near = MakeEntity("Guard", CVec3(8.0f, 0.0f, 1.0f));
    CEntity* far = MakeEntity("Guard", CVec3(8.0f, 0.0f, -6.0f));
    ASSERT_TRUE(team->AddMember(near));
    ASSERT_TRUE(team->AddMember(far));
    m_world->Start();
    ASSERT_TRUE(BrainOf(near)->Think());
    EXPECT_TRUE(AgentOf(near)->IsHolding());
    const CActionSet* actions = BrainOf(near)->GetActionSet();
    EXPECT_EQ(actions->Get<CActionSpeed>()->GetValue(), 0.0f);
    EXPECT_NEAR(actions->Get<CActionRotate>()->GetValue(), 0.0f, 1e-3f); // facing away: +z
    ASSERT_TRUE(BrainOf(far)->Think());
    EXPECT_FALSE(AgentOf(far)->IsHolding());
    EXPECT_GT(BrainOf(far)->GetActionSet()->Get<CActionSpeed>()->GetValue(), 0.0f);
    // Walking in, the far escort ends up holding within reach of the VIP.
    Frames(200);
    EXPECT_TRUE(AgentOf(far)->IsHolding());
    EXPECT_LE(AgentOf(far)->GetTargetDistance2(), 2.0f * 9.0f * 0.25f);
}

TEST_F(EscortWorldTest, AWallShortensTheGuardPoint)
{
    // A wall 2 m along +z from the VIP, across the guard point's way.
    EscortTest::Host().AddBox(CVec3(-3.0f, 0.0f, 2.0f), CVec3(3.0f, 3.0f, 2.5f));
    CTeam* team = MakeTeam("Escorts", 1);
    CEntity* escort = MakeEntity("Guard", CVec3(0.0f, 0.0f, -2.0f));
    ASSERT_TRUE(team->AddMember(escort));
    m_world->Start();
    ASSERT_TRUE(BrainOf(escort)->Think());
    const CVec3 target = AgentOf(escort)->GetTarget();
    EXPECT_TRUE(AgentOf(escort)->IsReachable());
    // One escort width (0.6 m) short of the wall.
    EXPECT_NEAR(target.z, 2.0f - 0.6f, 1e-3f);
    EXPECT_NEAR(target.x, 0.0f, 0.06f);
}

// One row per mended corner of the agent's tick. The VIP stands at the origin; the
// star's four ways give a single escort the guard point (0, 0, 3) (offset 3 m along +z).
struct AgentCase
{
    const char* name;
    const char* entity;                 // "Guard", "Plain" (rotate and speed only) or "Thin" (width 0)
    CVec3 at;                           // the escort's start
    float heading;                      // and its heading (degrees)
    std::optional<float> wallAnswer;    // the host's answer to the wall ray, in lengths of the ray
    std::vector<CTestBox> boxes;        // walls of the box world
    std::optional<float> ground;        // height of a ground plane
    bool fourOnPoints;                  // four more escorts stand on the four guard points first
    bool reachable;                     // expected: the guard point can be reached
    CVec3 target;                       //           this tick's target
    bool holding;                       //           holds near the VIP
    std::optional<float> rotate, speed; //           own rotate and speed values (set)
    std::optional<float> torso;         //           torso rotate (set), when the entity has one
    std::optional<int32_t> watched;     //           watched cluster once on post
};

TEST_F(EscortWorldTest, TheTickHandlesOddHostAnswersAndMissingPieces)
{
    constexpr std::nullopt_t none = std::nullopt;
    const CTestBox nearWall{CVec3(-3.0f, 0.0f, 1.0f), CVec3(3.0f, 3.0f, 1.5f)};
    const CTestBox wall{CVec3(-3.0f, 0.0f, 2.0f), CVec3(3.0f, 3.0f, 2.5f)};
    const AgentCase cases[] = {
        // A wall hit at the VIP itself: nothing reachable, the target is V, the escort holds.
        {"hit at fraction 0",
         "Guard",
         CVec3(0.0f, 0.0f, -1.0f),
         0.0f,
         0.0f,
         {},
         none,
         false,
         false,
         CVec3(),
         true,
         180.0f,
         0.0f,
         none,
         none},
        // Host answers outside [0, 1) of the ray are no hit.
        {"answer beyond the ray",
         "Guard",
         CVec3(0.0f, 0.0f, 2.8f),
         0.0f,
         1.5f,
         {},
         none,
         false,
         true,
         CVec3(0.0f, 0.0f, 3.0f),
         false,
         none,
         none,
         0.0f,
         none},
        {"negative answer",
         "Guard",
         CVec3(0.0f, 0.0f, 2.8f),
         0.0f,
         -1.0f,
         {},
         none,
         false,
         true,
         CVec3(0.0f, 0.0f, 3.0f),
         false,
         none,
         none,
         0.0f,
         none},
        // Escort and VIP on one spot: no direction away, the escort keeps its heading.
        {"coinciding points",
         "Guard",
         CVec3(),
         30.0f,
         0.0f,
         {},
         none,
         false,
         false,
         CVec3(),
         true,
         30.0f,
         0.0f,
         none,
         none},
        // No torso, shoot or crouch action: those steps are skipped.
        {"missing actions",
         "Plain",
         CVec3(0.0f, 0.0f, 2.8f),
         0.0f,
         none,
         {},
         none,
         false,
         true,
         CVec3(0.0f, 0.0f, 3.0f),
         false,
         none,
         none,
         none,
         none},
        // Width 0: the target goes right up to the wall.
        {"width 0",
         "Thin",
         CVec3(0.0f, 0.0f, 1.0f),
         0.0f,
         none,
         {wall},
         none,
         false,
         true,
         CVec3(0.0f, 0.0f, 2.0f),
         false,
         none,
         none,
         0.0f,
         none},
        // A wall nearer than two widths: unreachable, the target is V and the escort holds; on
        // post it turns to its first watched way the wall does not hide (heading 90, at (8, 0, 0)).
        {"wall within two widths",
         "Guard",
         CVec3(0.0f, 0.0f, -1.0f),
         0.0f,
         none,
         {nearWall},
         none,
         false,
         false,
         CVec3(),
         true,
         82.875f,
         0.0f,
         none,
         none},
        // Ground within 3 m below the target lifts it to 1 m above the ground.
        {"ground lift",
         "Guard",
         CVec3(0.0f, 0.0f, 2.8f),
         0.0f,
         none,
         {},
         -2.0f,
         false,
         true,
         CVec3(0.0f, -1.0f, 3.0f),
         false,
         none,
         none,
         0.0f,
         none},
        {"ground out of reach",
         "Guard",
         CVec3(0.0f, 0.0f, 2.8f),
         0.0f,
         none,
         {},
         -4.0f,
         false,
         true,
         CVec3(0.0f, 0.0f, 3.0f),
         false,
         none,
         none,
         0.0f,
         none},
        // A fifth escort gets no slot and no watched ways: it holds, and after a second it
        // scans every cluster, skipping the one towards the VIP (cluster 0 at heading 0) and
        // taking the next (heading 90).
        {"scan all",
         "Guard",
         CVec3(0.0f, 0.0f, -1.0f),
         0.0f,
         none,
         {},
         none,
         true,
         true,
         CVec3(),
         true,
         180.0f,
         0.0f,
         none,
         1},
    };
    for (const AgentCase& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (const CTestBox& box : c.boxes)
            EscortTest::Host().AddBox(box.min, box.max);
        if (c.ground)
            EscortTest::Host().SetGround(*c.ground);
        if (c.wallAnswer) {
            // Only the horizontal wall ray gets the odd answer; the ground ray sees the world.
            const float scale = *c.wallAnswer;
            EscortTest::Host().SetRayCastOverride(
                [scale](const CVec3& from, const CVec3& to, int, float length, float* answer) {
                    if (from.y != to.y)
                        return false;
                    *answer = scale * length;
                    return true;
                });
        }
        std::vector<CEntity*> others;
        if (c.fourOnPoints)
            for (const CVec3& point : {CVec3(0.0f, 0.0f, 3.0f), CVec3(3.0f, 0.0f, 0.0f),
                                       CVec3(0.0f, 0.0f, -3.0f), CVec3(-3.0f, 0.0f, 0.0f)})
                others.push_back(MakeEntity("Guard", point));
        CTeam* team = MakeTeam("Escorts", uint32_t(others.size() + 1));
        for (CEntity* other : others)
            ASSERT_TRUE(team->AddMember(other));
        CEntity* escort = MakeEntity(c.entity, c.at, c.heading);
        ASSERT_TRUE(team->AddMember(escort));
        m_world->Start();
        for (CEntity* other : others)
            BrainOf(other)->Think();
        ASSERT_TRUE(BrainOf(escort)->Think());

        const CWardelAgent* agent = AgentOf(escort);
        EXPECT_EQ(agent->IsReachable(), c.reachable);
        EXPECT_NEAR(agent->GetTarget().x, c.target.x, 1e-3f);
        EXPECT_NEAR(agent->GetTarget().y, c.target.y, 1e-3f);
        EXPECT_NEAR(agent->GetTarget().z, c.target.z, 1e-3f);
        EXPECT_EQ(agent->IsHolding(), c.holding);
        const CActionSet* actions = agent->GetActionSet();
        if (c.rotate) {
            ASSERT_TRUE(actions->Get<CActionRotate>()->IsSet());
            EXPECT_NEAR(actions->Get<CActionRotate>()->GetValue(), *c.rotate, 1e-3f);
        }
        if (c.speed) {
            ASSERT_TRUE(actions->Get<CActionSpeed>()->IsSet());
            EXPECT_EQ(actions->Get<CActionSpeed>()->GetValue(), *c.speed);
        }
        const CActionTorsoRotate* torso = actions->Get<CActionTorsoRotate>();
        if (c.torso) {
            ASSERT_NE(torso, nullptr);
            ASSERT_TRUE(torso->IsSet());
            EXPECT_NEAR(torso->GetValue(), *c.torso, 1e-3f);
        }
        if (std::strcmp(c.entity, "Plain") == 0) {
            EXPECT_EQ(torso, nullptr);
            EXPECT_EQ(actions->Get<CActionShoot>(), nullptr);
            EXPECT_EQ(actions->Get<CActionCrouch>(), nullptr);
            EXPECT_TRUE(actions->Get<CActionSpeed>()->IsSet());
        }
        if (c.watched) {
            Frames(40);
            EXPECT_EQ(agent->GetWatchedCluster(), *c.watched);
        }
        TearDown();
    }
}

struct WatchCase
{
    int32_t random;
    bool crouch;
};

TEST_F(EscortWorldTest, OnPostTheEscortWatchesItsAccessWaysAndMayCrouch)
{
    for (const WatchCase c : {WatchCase{1, true}, WatchCase{0, false}}) {
        SetUp();
        static int32_t value;
        value = c.random;
        AiSetRandomSource([](void*) { return value; }, nullptr);
        CTeam* team = MakeTeam("Escorts", 1);
        // Standing on its guard point (heading 0, 3 m out), looking outward.
        CEntity* escort = MakeEntity("Guard", CVec3(0.0f, 0.0f, 3.0f));
        ASSERT_TRUE(team->AddMember(escort));
        m_world->Start();
        Frames(60);
        CWardelAgent* agent = AgentOf(escort);
        ASSERT_TRUE(agent->IsWatching()) << c.random;
        const CWardelTeam* escorts = static_cast<CWardelTeam*>(team);
        const uint16_t* watched = escorts->GetWatchedList(0);
        bool listed = false;
        for (int i = 0; i < kMaxAccessWayClusters && watched[i] != kNoCluster; ++i)
            listed = listed || watched[i] == agent->GetWatchedCluster();
        EXPECT_TRUE(listed) << agent->GetWatchedCluster();
        // Once facing the watched way it aims there, crouching when the draw said so.
        const CActionSet* actions = BrainOf(escort)->GetActionSet();
        bool crouched = false;
        bool aimed = false;
        for (int frame = 0; frame < 90; ++frame) {
            Frames(1);
            crouched = crouched ||
                       (actions->Get<CActionCrouch>()->IsSet() && actions->Get<CActionCrouch>()->GetValue());
            aimed = aimed || actions->Get<CActionShoot>()->IsSet();
        }
        EXPECT_TRUE(aimed);
        EXPECT_EQ(crouched, c.crouch) << c.random;
        // The VIP walks off: the escort stops watching, neither crouching nor aiming.
        m_vip->SetSpeed(1.0f);
        ASSERT_TRUE(BrainOf(escort)->Think());
        EXPECT_FALSE(agent->IsWatching());
        EXPECT_FALSE(actions->Get<CActionCrouch>()->IsSet());
        EXPECT_FALSE(actions->Get<CActionShoot>()->IsSet());
        TearDown();
    }
}

TEST_F(EscortWorldTest, TheWatchMovesAcrossTheWatchedWays)
{
    CTeam* team = MakeTeam("Escorts", 1);
    CEntity* escort = MakeEntity("Guard", CVec3(0.0f, 0.0f, 3.0f));
    ASSERT_TRUE(team->AddMember(escort));
    m_world->Start();
    std::set<int32_t> seen;
    for (int second = 0; second < 8; ++second) {
        Frames(30);
        if (AgentOf(escort)->IsWatching())
            seen.insert(AgentOf(escort)->GetWatchedCluster());
    }
    // One guard covers three of the four ways (the one behind the VIP is out of reach).
    EXPECT_GE(seen.size(), 2u);
}

TEST_F(EscortWorldTest, SoldierBrainNeedsAnEscortTeamAndAnAgent)
{
    // No team at all.
    CEntity* loner = MakeEntity("Guard", CVec3(2.0f, 0.0f, 2.0f));
    // First team of another class: refused once and for all.
    CTeam* plain = MakeTeam("Plain", 2);
    CTeam* escorts = MakeTeam("Escorts", 3);
    CEntity* other = MakeEntity("Guard", CVec3(-2.0f, 0.0f, 2.0f));
    ASSERT_TRUE(plain->AddMember(other));
    // A soldier brain without an escort agent.
    CEntity* idler = MakeEntity("Idler", CVec3(2.0f, 0.0f, -2.0f));
    ASSERT_TRUE(escorts->AddMember(idler));
    m_world->Start();
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_FALSE(BrainOf(loner)->Think());
        EXPECT_FALSE(BrainOf(other)->Think());
        EXPECT_FALSE(BrainOf(idler)->Think());
    }
    EXPECT_EQ(BrainOf(other)->GetTeam(), plain);
    EXPECT_EQ(AgentOf(other)->GetTeam(), nullptr);
    EXPECT_FALSE(AgentOf(other)->SetTeam(nullptr));
    ASSERT_TRUE(escorts->AddMember(other));
    EXPECT_FALSE(BrainOf(other)->Think()); // keeps the team it was given first
    // The loner joins the escort team and runs from then on.
    ASSERT_TRUE(escorts->AddMember(loner));
    EXPECT_TRUE(BrainOf(loner)->Think());
    EXPECT_EQ(AgentOf(loner)->GetTeam(), escorts);
}

} // namespace
} // namespace Zelk
