// The path finder walking kinematic characters through a box world: arrival
// in the open and around walls, a moving target, a way that closes, a moving
// obstacle, an unreachable goal, and the move's translation into actions.
#include "nav_test_host.h"

#include "ai/navigation/graph_manager.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/path_finder_strategies.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/world.h"
#include "ai/testhost/kinematic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace Zelk {
namespace {

using NavTest::Host;

constexpr float kStep = 1.0f / 30.0f;

struct Walker
{
    CEntity* entity = nullptr;
    CPathFinder* finder = nullptr;
    std::vector<CVec3> trail;
    int arrivedFrame = -1;
};

class PathFinderTest : public ::testing::Test
{
  protected:
    void TearDown() override { NavTest::StopWorld(); }

    // A world with a graph manager holding "Grid", a walkable 25 x 25 grid of one metre
    // around the origin over the given boxes; finderParams go into the path finder.
    CWorld* StartBoxWorld(const std::vector<CTestBox>& boxes, const std::string& finderParams = "",
                          const std::string& worldParams = "")
    {
        const std::string extra =
            worldParams +
            "<GlobalServices><Service>Graphs</Service><Service>Objects</Service></GlobalServices>"
            "<Services><Service "
            "\"Graphs\"><Class>CGraphManager</Class><AstarMemory>2000</AstarMemory></Service>"
            "<Service \"Objects\"><Class>CPathObjectManager</Class></Service>"
            "<Service \"Finder\"><Class>CPathFinder</Class><Graph>Grid</Graph>" +
            finderParams +
            "</Service></Services>"
            "<Brains><Brain \"Walker\"><Class>CTestBrain</Class><Service>Finder</Service></Brain></Brains>"
            "<Entities>"
            "<Entity "
            "\"Walker\"><Class>CKinematicEntity</Class><ActionClass>CKinematicActionClass</ActionClass>"
            "<Brain>Walker</Brain></Entity>"
            "<Entity \"Steerer\"><Class>CKinematicEntity</Class>"
            "<ActionClass>CKinematicSteeringActionClass</ActionClass><Brain>Walker</Brain></Entity>"
            "<Entity "
            "\"AllActions\"><Class>CKinematicEntity</Class><ActionClass>CTestActionClass</ActionClass>"
            "<Brain>Walker</Brain></Entity>"
            "<Entity \"Post\"><Class>CKinematicEntity</Class><ActionClass>CKinematicActionClass</ActionClass>"
            "</Entity>"
            "</Entities>";
        m_world = NavTest::StartWorld(NavTest::WorldText(1.0f, extra));
        if (m_world == nullptr)
            return nullptr;
        SetTestFrameStep(kStep);
        Host().SetClockStep(0.0f);
        for (const CTestBox& box : boxes)
            Host().AddBox(box.min, box.max);
        m_boxes = boxes;
        // The grid is built over the boxes, then handed to the graph manager.
        auto* graph = new CSpatialGraph;
        BuildWalkableGridGraph(*graph, CVec3(-12.0f, 0.0f, -12.0f), 25, 25, 1.0f, 0.6f);
        CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        EXPECT_NE(manager, nullptr);
        if (manager == nullptr || !manager->AddGraph("Grid", graph, false))
            return nullptr;
        m_graph = graph;
        return m_world;
    }

    Walker MakeWalker(const char* definition, float x, float z, float heading = 0.0f)
    {
        Walker walker;
        CConfigNode* config = CopyEntityConfig(m_world, definition);
        EXPECT_NE(config, nullptr);
        if (config == nullptr)
            return walker;
        AddConfigChild(config, nullptr, "StartX", std::to_string(x).c_str());
        AddConfigChild(config, nullptr, "StartZ", std::to_string(z).c_str());
        AddConfigChild(config, nullptr, "StartHeading", std::to_string(heading).c_str());
        walker.entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
        delete config;
        EXPECT_NE(walker.entity, nullptr);
        if (walker.entity == nullptr)
            return walker;
        EXPECT_TRUE(m_world->AddEntity(walker.entity));
        if (walker.entity->GetBrain() != nullptr)
            walker.finder = static_cast<CPathFinder*>(
                walker.entity->GetBrain()->FindService(&IPathFinder::s_classRecord));
        return walker;
    }

    // One frame: the world moves the characters, then each walker thinks towards its
    // goal and its decisions are applied. Every action value written must be finite.
    bool Think(Walker& walker, const CVec3& goal, const IPathTarget* target = nullptr)
    {
        const bool found =
            target != nullptr ? walker.finder->FindNextMove(*target) : walker.finder->FindNextMove(goal);
        CActionSet* actions = walker.finder->GetActionSet();
        for (const CActionRecord* record :
             {&CActionRotate::s_classRecord, &CActionSpeed::s_classRecord, &CActionSteering::s_classRecord,
              &CActionAcceleration::s_classRecord}) {
            if (const auto* action = static_cast<const CActionFloat*>(actions->GetAction(record))) {
                EXPECT_TRUE(std::isfinite(action->GetValue())) << record->GetName();
            }
        }
        EXPECT_TRUE(std::isfinite(walker.finder->GetRemainingDistance()));
        if (found) {
            EXPECT_GE(walker.finder->GetRemainingDistance(), 0.0f);
        }
        actions->Apply(walker.entity);
        return found;
    }

    void BeginFrame()
    {
        Host().Advance(kStep);
        m_world->Update();
    }

    // Walks until arrival or the frame limit; the arrival frame or -1.
    int WalkTo(Walker& walker, const CVec3& goal, int frames)
    {
        for (int frame = 0; frame < frames; ++frame) {
            BeginFrame();
            walker.trail.push_back(walker.entity->GetPosition());
            Think(walker, goal);
            if (walker.finder->HasArrived())
                return walker.arrivedFrame = frame;
        }
        return -1;
    }

    // True when a step of the trail passes through one of the boxes.
    bool TrailCrossesBoxes(const std::vector<CVec3>& trail) const
    {
        for (size_t i = 1; i < trail.size(); ++i) {
            float t;
            CVec3 n;
            if (trail[i - 1] != trail[i] && Host().Intersect(trail[i - 1], trail[i], false, 0.0f, &t, &n))
                return true;
        }
        return false;
    }

    static float TrailLength(const std::vector<CVec3>& trail)
    {
        float length = 0.0f;
        for (size_t i = 1; i < trail.size(); ++i)
            length += (trail[i] - trail[i - 1]).Length();
        return length;
    }

    CWorld* m_world = nullptr;
    CSpatialGraph* m_graph = nullptr;
    std::vector<CTestBox> m_boxes;
};

// A wall across x = 0 from z = -6 to 6, one metre thick and two high.
const CTestBox kWall{CVec3(-0.5f, -1.0f, -6.0f), CVec3(0.5f, 2.0f, 6.0f)};

TEST_F(PathFinderTest, ArrivesStraightInOpenSpace)
{
    ASSERT_NE(StartBoxWorld({}), nullptr);
    Walker walker = MakeWalker("Walker", -6.0f, 0.3f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start();
    const CVec3 goal(6.0f, 0.0f, 0.4f);
    ASSERT_GE(WalkTo(walker, goal, 600), 0);
    const CVec3 end = walker.entity->GetPosition();
    EXPECT_LT(std::sqrt((goal - end).SquaredLengthXZ()), walker.finder->GetDistGoal());
    EXPECT_LT(TrailLength(walker.trail), 1.15f * 12.0f);
    EXPECT_LE(walker.finder->GetRemainingDistance(), walker.finder->GetDistGoal());
    // Arrived: it stands.
    BeginFrame();
    Think(walker, goal);
    EXPECT_EQ(walker.entity->GetSpeed(), 0.0f);
}

struct WallCase
{
    const char* definition;
    const char* params;
};

void PrintTo(const WallCase& c, std::ostream* out)
{
    *out << c.definition << (c.params[0] != '\0' ? " " : "") << c.params;
}

class PathFinderWallTest : public PathFinderTest, public ::testing::WithParamInterface<WallCase>
{
};

TEST_P(PathFinderWallTest, ArrivesAroundAWallAlongTheGraph)
{
    ASSERT_NE(StartBoxWorld({kWall}, GetParam().params), nullptr);
    Walker walker = MakeWalker(GetParam().definition, -5.0f, 0.0f, 90.0f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start();
    const CVec3 goal(5.0f, 0.0f, 0.0f);
    // The path status counts the way round the wall, not the straight 10 m.
    BeginFrame();
    ASSERT_TRUE(Think(walker, goal));
    EXPECT_GT(walker.finder->GetRemainingDistance(), 14.0f);
    ASSERT_GE(WalkTo(walker, goal, 1500), 0);
    EXPECT_FALSE(TrailCrossesBoxes(walker.trail));
    // The way round the wall is at least 2 x sqrt(25 + 36) long.
    EXPECT_GT(TrailLength(walker.trail), 15.0f);
    EXPECT_EQ(static_cast<CKinematicEntity*>(walker.entity)->GetBlockedSteps(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Strategies, PathFinderWallTest,
    ::testing::Values(WallCase{"Walker", ""}, WallCase{"Steerer", ""},
                      WallCase{"Walker", "<FindVertex>NearestVertex</FindVertex>"},
                      WallCase{"Walker", "<NextSubgoal>ComplexCheck</NextSubgoal><CanGo>VisibleGo</CanGo>"
                                         "<NbMaxSubgoal>3</NbMaxSubgoal>"},
                      WallCase{"Walker", "<MoveModeCheck>VisibleGo</MoveModeCheck>"},
                      WallCase{"Walker", "<AvoidCpuPeaks>1</AvoidCpuPeaks>"}));

TEST_F(PathFinderTest, FollowsAMovingTarget)
{
    ASSERT_NE(StartBoxWorld({kWall}), nullptr);
    Walker walker = MakeWalker("Walker", -6.0f, -2.0f);
    Walker target = MakeWalker("Post", 6.0f, -8.0f);
    ASSERT_NE(walker.finder, nullptr);
    ASSERT_NE(target.entity, nullptr);
    m_world->Start();
    // The target walks along +z at a third of the walker's top speed.
    target.entity->SetAngles(CVec3());
    target.entity->SetDirection(CVec3(0.0f, 0.0f, 1.0f));
    target.entity->SetSpeed(0.66f);
    const CEntityTarget follow(target.entity);
    int arrived = -1;
    for (int frame = 0; frame < 1500 && arrived < 0; ++frame) {
        BeginFrame();
        if (target.entity->GetPosition().z > 8.0f)
            target.entity->SetSpeed(0.0f);
        walker.trail.push_back(walker.entity->GetPosition());
        EXPECT_TRUE(Think(walker, CVec3(), &follow));
        if (walker.finder->HasArrived())
            arrived = frame;
    }
    ASSERT_GE(arrived, 0);
    const CVec3 gap = target.entity->GetPosition() - walker.entity->GetPosition();
    EXPECT_LT(std::sqrt(gap.SquaredLengthXZ()), walker.finder->GetDistGoal() + 0.1f);
    EXPECT_GT(walker.finder->GetSearchCount(), 2u); // the goal moved: searched again
    EXPECT_FALSE(TrailCrossesBoxes(walker.trail));
}

TEST_F(PathFinderTest, BlockedWayIsDetectedAndPlannedAgain)
{
    // The check strategies test the way to the sub-goal; a blocked way stops and searches again.
    ASSERT_NE(StartBoxWorld({}, "<MoveModeCheck>VisibleGo</MoveModeCheck>"
                                "<ComplexMove>StopAndRelaunchPath</ComplexMove>"
                                "<NextSubgoal>ComplexCheck</NextSubgoal><CanGo>VisibleGo</CanGo>"),
              nullptr);
    Walker walker = MakeWalker("Walker", -6.0f, 0.0f, 90.0f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start();
    const CVec3 goal(6.0f, 0.0f, 0.0f);
    for (int frame = 0; frame < 20; ++frame) {
        BeginFrame();
        Think(walker, goal);
    }
    ASSERT_FALSE(walker.finder->HasArrived());
    const uint32_t searches = walker.finder->GetSearchCount();
    // A wall appears across the way; the graph learns that its arcs through it are closed.
    Host().AddBox(kWall.min, kWall.max);
    m_boxes.push_back(kWall);
    for (int32_t i = 0; i <= m_graph->GetHighestArcIndex(); ++i)
        if (CGraphArc* arc = m_graph->GetArc(i)) {
            float t;
            CVec3 n;
            if (Host().Intersect(arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition(), false, 0.3f, &t,
                                 &n))
                arc->GetData().blocked = 1;
        }
    ASSERT_GE(WalkTo(walker, goal, 1500), 0);
    EXPECT_GT(walker.finder->GetSearchCount(), searches);
    EXPECT_FALSE(TrailCrossesBoxes(walker.trail));
    EXPECT_EQ(static_cast<CKinematicEntity*>(walker.entity)->GetBlockedSteps(), 0);
}

TEST_F(PathFinderTest, MovingObstacleIsAvoided)
{
    float closest[2] = {};
    bool avoided[2] = {};
    for (int avoid = 0; avoid < 2; ++avoid) {
        ASSERT_NE(StartBoxWorld({}, avoid ? "<SimpleMove>VisibleAvoidDynMove</SimpleMove>" : ""), nullptr);
        Walker a = MakeWalker("Walker", -6.0f, 0.0f, 90.0f);
        Walker b = MakeWalker("Walker", 6.0f, 0.0f, -90.0f);
        ASSERT_NE(a.finder, nullptr);
        ASSERT_NE(b.finder, nullptr);
        m_world->Start();
        const CVec3 goalA(6.0f, 0.0f, 0.0f), goalB(-6.0f, 0.0f, 0.0f);
        closest[avoid] = 100.0f;
        for (int frame = 0; frame < 600 && !(a.finder->HasArrived() && b.finder->HasArrived()); ++frame) {
            BeginFrame();
            Think(a, goalA);
            Think(b, goalB);
            avoided[avoid] = avoided[avoid] || a.finder->IsAvoiding() || b.finder->IsAvoiding();
            closest[avoid] =
                std::fmin(closest[avoid], (a.entity->GetPosition() - b.entity->GetPosition()).Length());
        }
        EXPECT_TRUE(a.finder->HasArrived());
        EXPECT_TRUE(b.finder->HasArrived());
        NavTest::StopWorld();
    }
    EXPECT_FALSE(avoided[0]);
    EXPECT_TRUE(avoided[1]);
    EXPECT_LT(closest[0], 0.3f); // head on without avoidance
    EXPECT_GT(closest[1], 0.6f); // they pass at more than a width apart
}

TEST_F(PathFinderTest, UnreachableGoalIsReportedWithoutHang)
{
    // A closed room around (8, 8): its grid points have no way out.
    const std::vector<CTestBox> room = {
        {CVec3(5.5f, -1.0f, 5.5f), CVec3(11.5f, 2.0f, 6.2f)},
        {CVec3(5.5f, -1.0f, 10.8f), CVec3(11.5f, 2.0f, 11.5f)},
        {CVec3(5.5f, -1.0f, 5.5f), CVec3(6.2f, 2.0f, 11.5f)},
        {CVec3(10.8f, -1.0f, 5.5f), CVec3(11.5f, 2.0f, 11.5f)},
    };
    ASSERT_NE(StartBoxWorld(room), nullptr);
    Walker walker = MakeWalker("Walker", -6.0f, 0.0f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start();
    const CVec3 goal(8.0f, 0.0f, 8.0f);
    for (int frame = 0; frame < 60; ++frame) {
        BeginFrame();
        EXPECT_FALSE(Think(walker, goal));
        EXPECT_FALSE(walker.finder->HasArrived());
        EXPECT_EQ(walker.finder->GetRemainingDistance(), -1.0f);
    }
    EXPECT_EQ(walker.entity->GetSpeed(), 0.0f);
    // The same goal is not searched again every think.
    EXPECT_LE(walker.finder->GetSearchCount(), 2u);
}

TEST_F(PathFinderTest, SearchWaitsForTheTimeManager)
{
    // One search per frame: the second walker waits a frame for its first path.
    ASSERT_NE(StartBoxWorld({}, "",
                            "<TimeMgt><Aperiodic \"CPathFinder::FindNextMove::ASTAR\"><Priority>1</Priority>"
                            "<Tpf>5</Tpf><MaxCall>1</MaxCall></Aperiodic></TimeMgt>"),
              nullptr);
    Walker a = MakeWalker("Walker", -6.0f, 0.0f);
    Walker b = MakeWalker("Walker", -6.0f, 2.0f);
    ASSERT_NE(a.finder, nullptr);
    ASSERT_NE(b.finder, nullptr);
    m_world->Start();
    const CVec3 goal(6.0f, 0.0f, 1.0f);
    BeginFrame();
    EXPECT_TRUE(Think(a, goal));
    EXPECT_FALSE(Think(b, goal)); // no path yet
    EXPECT_FALSE(b.finder->HasArrived());
    EXPECT_GE(b.finder->GetRemainingDistance(), 0.0f); // waiting, not unreachable
    EXPECT_EQ(b.entity->GetSpeed(), 0.0f);
    BeginFrame();
    EXPECT_TRUE(Think(a, goal));
    EXPECT_TRUE(Think(b, goal));
    EXPECT_TRUE(b.finder->IsPathValid());
}

TEST_F(PathFinderTest, PathObjectNoticeSearchesAgain)
{
    ASSERT_NE(StartBoxWorld({}), nullptr);
    Walker walker = MakeWalker("Walker", -6.0f, 0.0f);
    Walker other = MakeWalker("Walker", -6.0f, 3.0f);
    ASSERT_NE(walker.finder, nullptr);
    ASSERT_NE(other.finder, nullptr);
    m_world->Start();
    const CVec3 goal(6.0f, 0.0f, 0.0f);
    for (int frame = 0; frame < 10; ++frame) {
        BeginFrame();
        Think(walker, goal);
        Think(other, goal);
    }
    const uint32_t searches = walker.finder->GetSearchCount();
    const uint32_t otherSearches = other.finder->GetSearchCount();
    // A path object tells this walker (only) that its way changed.
    CPathObjectManager::NotifyPathObjectListeners(nullptr, walker.entity);
    BeginFrame();
    Think(walker, goal);
    Think(other, goal);
    EXPECT_EQ(walker.finder->GetSearchCount(), searches + 1);
    EXPECT_EQ(other.finder->GetSearchCount(), otherSearches);
    // The path finders leave the listener table with their world.
    NavTest::StopWorld();
    ASSERT_NE(StartBoxWorld({}), nullptr);
    CPathObjectManager::NotifyPathObjectListeners(nullptr, nullptr);
}

TEST_F(PathFinderTest, EntityMustHaveExactlyOneHeadingAndPaceAction)
{
    ASSERT_NE(StartBoxWorld({}), nullptr);
    Walker all = MakeWalker("AllActions", 0.0f, 0.0f);
    ASSERT_NE(all.entity, nullptr);
    EXPECT_EQ(all.finder, nullptr); // Rotate and Steering both bound: the brain gets no path finder
    Walker steerer = MakeWalker("Steerer", 0.0f, 0.0f);
    EXPECT_NE(steerer.finder, nullptr);
    EXPECT_TRUE(steerer.finder->CheckHeadingAction());
    EXPECT_TRUE(steerer.finder->CheckPaceAction());
}

struct TurnCase
{
    const char* maxDeltaAngle;
    CVec3 direction;
    float expectedYaw;
    float expectedSpeed;
};

void PrintTo(const TurnCase& c, std::ostream* out)
{
    *out << "limit " << c.maxDeltaAngle << " towards (" << c.direction.x << ", " << c.direction.z << ")";
}

class PathFinderTurnTest : public PathFinderTest, public ::testing::WithParamInterface<TurnCase>
{
};

TEST_P(PathFinderTurnTest, ApplyMoveLimitsTheTurn)
{
    const TurnCase& c = GetParam();
    ASSERT_NE(StartBoxWorld({}, std::string("<MaxDeltaAngle>") + c.maxDeltaAngle + "</MaxDeltaAngle>"),
              nullptr);
    Walker walker = MakeWalker("Walker", 0.0f, 0.0f, 0.0f); // facing +z
    ASSERT_NE(walker.finder, nullptr);
    CPathMove move;
    move.direction = c.direction;
    move.speed = 2.0f;
    ASSERT_TRUE(walker.finder->ApplyMove(move));
    EXPECT_NEAR(walker.finder->GetRotateAction()->GetValue(), c.expectedYaw, 1e-3f);
    EXPECT_NEAR(walker.finder->GetSpeedAction()->GetValue(), c.expectedSpeed, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P(
    Turns, PathFinderTurnTest,
    ::testing::Values(TurnCase{"45", CVec3(1.0f, 0.0f, 0.0f), 45.0f, 1.0f},   // 90 right: half speed, 45
                      TurnCase{"45", CVec3(-1.0f, 0.0f, 0.0f), -45.0f, 1.0f}, // 90 left
                      TurnCase{"45", CVec3(0.0f, 0.0f, 1.0f), 0.0f, 2.0f},    // straight on
                      TurnCase{"400", CVec3(1.0f, 0.0f, 0.0f), 40.0f, 2.0f * 40.0f / 90.0f},
                      TurnCase{"-30", CVec3(1.0f, 0.0f, 0.0f), 90.0f, 2.0f}, // limit 330
                      TurnCase{"0", CVec3(0.0f, 0.0f, 1.0f), 0.0f, 2.0f},    // no turn, no limit
                      TurnCase{"0", CVec3(1.0f, 0.0f, 0.0f), 0.0f, 0.0f},    // cannot turn: stands
                      TurnCase{"45", CVec3(0.0f, 0.0f, 0.0f), 0.0f, 2.0f})); // no direction: keeps heading

TEST_F(PathFinderTest, ConfigurationRefusesUnknownNames)
{
    for (const char* params : {"<SimpleMove>Teleport</SimpleMove>", "<Graph>Nowhere</Graph>",
                               "<Colour>red</Colour>", "<FindVertex>NearestVertexOpt</FindVertex>"}) {
        ASSERT_NE(StartBoxWorld({}, params), nullptr) << params;
        Walker walker = MakeWalker("Walker", 0.0f, 0.0f);
        EXPECT_NE(walker.entity, nullptr) << params;
        EXPECT_EQ(walker.finder, nullptr) << params;
        NavTest::StopWorld();
    }
}

TEST_F(PathFinderTest, ArrivalNeedsTheGoalWithinReachInHeightToo)
{
    ASSERT_NE(StartBoxWorld({}), nullptr);
    Walker walker = MakeWalker("Walker", 0.0f, 0.0f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start();
    BeginFrame();
    Think(walker, CVec3(0.3f, 3.0f, 0.0f)); // within DistGoal across, 3 m above
    EXPECT_FALSE(walker.finder->HasArrived());
    Think(walker, CVec3(0.3f, 0.5f, 0.0f));
    EXPECT_TRUE(walker.finder->HasArrived());
    EXPECT_NEAR(walker.finder->GetRemainingDistance(), std::sqrt(0.34f), 1e-4f);
}

TEST_F(PathFinderTest, VisibleMoveSlowsDownNearThePointAndStandsOnIt)
{
    ASSERT_NE(StartBoxWorld({}, "<DistSlowDown>1</DistSlowDown>"), nullptr);
    Walker walker = MakeWalker("Walker", 0.0f, 0.0f, 30.0f);
    ASSERT_NE(walker.finder, nullptr);
    m_world->Start(); // the path finder takes the entity's position
    struct Case
    {
        CVec3 point;
        float speed;
    };
    for (const Case& c : {Case{CVec3(0.5f, 0.0f, 0.0f), 1.0f}, Case{CVec3(0.0f, 0.0f, 1.0f), 1.0f},
                          Case{CVec3(0.0f, 0.0f, 1.5f), 2.0f}, Case{CVec3(0.0f, 0.0f, 0.0f), 0.0f}}) {
        CPathMove move;
        ASSERT_TRUE(CPathFinderStrategies::VisibleMove(*walker.finder, move, c.point));
        EXPECT_FLOAT_EQ(move.speed, c.speed) << c.point.x << " " << c.point.z;
        EXPECT_EQ(move.direction.y, 0.0f);
        EXPECT_TRUE(std::isfinite(move.direction.x) && std::isfinite(move.direction.z));
    }
    // On the point: the heading is kept.
    CPathMove move;
    CPathFinderStrategies::VisibleMove(*walker.finder, move, CVec3());
    EXPECT_NEAR(move.direction.x, 0.5f, 1e-5f);
}

struct ProbeCase
{
    const char* name;
    std::vector<CTestBox> boxes;
    float expectedSide; // sign of the chosen direction's x
};

TEST_F(PathFinderTest, InvisibleMoveTakesTheFreerSide)
{
    const std::vector<ProbeCase> cases = {
        {"both blocked alike: right", {{CVec3(-10.0f, -1.0f, 3.0f), CVec3(10.0f, 2.0f, 4.0f)}}, 1.0f},
        {"left blocked: right", {{CVec3(-10.0f, -1.0f, 3.0f), CVec3(-0.5f, 2.0f, 4.0f)}}, 1.0f},
        {"left free", {{CVec3(0.5f, -1.0f, 3.0f), CVec3(10.0f, 2.0f, 4.0f)}}, -1.0f},
        {"left blocked later",
         {{CVec3(0.2f, -1.0f, 2.0f), CVec3(10.0f, 2.0f, 2.5f)},
          {CVec3(-10.0f, -1.0f, 4.0f), CVec3(-0.2f, 2.0f, 4.5f)}},
         -1.0f},
    };
    for (const ProbeCase& c : cases) {
        ASSERT_NE(StartBoxWorld(c.boxes), nullptr);
        Walker walker = MakeWalker("Walker", 0.0f, 0.0f);
        ASSERT_NE(walker.finder, nullptr);
        m_world->Start();
        CPathMove move;
        ASSERT_TRUE(CPathFinderStrategies::InvisibleMove(*walker.finder, move, CVec3(0.0f, 0.0f, 10.0f)));
        EXPECT_EQ(move.direction.x > 0.0f ? 1.0f : -1.0f, c.expectedSide) << c.name;
        EXPECT_FLOAT_EQ(move.speed, 2.0f) << c.name;
        NavTest::StopWorld();
    }
}

TEST_F(PathFinderTest, HoleTestProbesBothEdgesForFloor)
{
    // Floor slabs under the way from z = -5 to 20, with or without a gap from z = 4 to 7.
    const CTestBox near{CVec3(-10.0f, -0.9f, -5.0f), CVec3(10.0f, -0.4f, 4.0f)};
    const CTestBox gap{CVec3(-10.0f, -0.9f, 4.0f), CVec3(10.0f, -0.4f, 7.0f)};
    const CTestBox far{CVec3(-10.0f, -0.9f, 7.0f), CVec3(10.0f, -0.4f, 20.0f)};
    struct Case
    {
        std::vector<CTestBox> floor;
        CVec3 point;
        bool hole;
    };
    const std::vector<Case> cases = {
        {{near, gap, far}, CVec3(0.0f, 0.0f, 10.0f), false},
        {{near, far},
         CVec3(0.0f, 0.0f, 10.0f),
         true}, // the probe half-way between 2 m and the end (6 m) finds the gap
        {{}, CVec3(0.0f, 0.0f, 10.0f), true}, // no floor at all
        {{}, CVec3(0.0f, 0.0f, 0.0f), false}, // no way, no test
    };
    for (const Case& c : cases) {
        ASSERT_NE(StartBoxWorld(c.floor), nullptr);
        Walker walker = MakeWalker("Walker", 0.0f, 0.0f);
        ASSERT_NE(walker.finder, nullptr);
        m_world->Start();
        EXPECT_EQ(CPathFinderStrategies::HasHole(*walker.finder, c.point), c.hole) << c.floor.size();
        EXPECT_EQ(CPathFinderStrategies::VisibleWithoutHoleGo(*walker.finder, c.point), !c.hole)
            << c.floor.size();
        NavTest::StopWorld();
    }
}

bool CheckA(CPathFinder&)
{
    return true;
}

bool CheckB(CPathFinder&)
{
    return false;
}

TEST(PathStrategyRegistryTest, ReplacesByNameAndOverflowsAtSixteen)
{
    CPathCheckRegistry registry;
    TPathStrategyRecord<PathCheckFn> first(registry, "Same", &CheckA);
    TPathStrategyRecord<PathCheckFn> second(registry, "Same", &CheckB);
    EXPECT_EQ(second.GetIndex(), first.GetIndex());
    EXPECT_EQ(registry.Find("Same"), &CheckB);
    std::vector<std::unique_ptr<TPathStrategyRecord<PathCheckFn>>> records;
    for (int i = 1; i < 16; ++i)
        records.push_back(std::make_unique<TPathStrategyRecord<PathCheckFn>>(
            registry, ("Check" + std::to_string(i)).c_str(), &CheckA));
    EXPECT_EQ(records.back()->GetIndex(), 15);
    EXPECT_FALSE(registry.HasOverflowed());
    TPathStrategyRecord<PathCheckFn> extra(registry, "Seventeenth", &CheckA);
    EXPECT_EQ(extra.GetIndex(), -1);
    EXPECT_TRUE(registry.HasOverflowed());
    EXPECT_EQ(registry.Find("Seventeenth"), nullptr);
}

TEST(PathStrategyRegistryTest, BuiltInStrategiesAreRegistered)
{
    for (const char* name : {"SimpleStopCondition", "SimpleCheck", "ComplexCheck"})
        EXPECT_NE(CPathFinder::CheckRegistry().Find(name), nullptr) << name;
    for (const char* name : {"NearestVertex", "LocallyVisibleVertex", "NearestVertexOpt"})
        EXPECT_NE(CPathFinder::VertexRegistry().Find(name), nullptr) << name;
    for (const char* name :
         {"VisibleGo", "AlwaysGo", "VisibleWithoutHoleGo", "VisibilityCheck", "HoleCheck", "NoCheck"})
        EXPECT_NE(CPathFinder::GoRegistry().Find(name), nullptr) << name;
    for (const char* name : {"VisibleMove", "InvisibleMove", "VisibleAvoidDynMove", "StopAndRelaunchPath"})
        EXPECT_NE(CPathFinder::MoveRegistry().Find(name), nullptr) << name;
    EXPECT_TRUE(CheckPathFinderRegistered());
}

} // namespace
} // namespace Zelk
