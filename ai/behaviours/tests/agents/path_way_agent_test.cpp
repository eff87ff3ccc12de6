// The path-way agent: walking the steps, the commands at each step, the pace
// laws and the end of a path way.
#include "agents_world.h"
#include "ai/behaviours/path_way_agent.h"
#include "ai/navigation/path_way.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace Zelk {
namespace {

using namespace AgentsTest;

const char kAgents[] = R"(
<Agents><Agent "Walk"><Class>CPathWayAgent</Class><PathWayName>Route</PathWayName></Agent></Agents>
<Brains><Brain "Walker"><Class>CTestBrain</Class><Service>Finder</Service><Agent>Walk</Agent></Brain></Brains>
<Entities>
  <Entity "Walker"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
    <Brain>Walker</Brain></Entity>
  <Entity "Steerer"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedSteeringActionClass</ActionClass>
    <Brain>Walker</Brain></Entity>
</Entities>)";

struct Step
{
    CVec3 at;
    const char* command;
    const char* mode = "run";
};

class PathWayAgentTest : public ::testing::Test
{
  protected:
    // Starts a world whose path way "Route" has the given steps, and one walker at the origin.
    void Start(const std::vector<Step>& steps, bool looped = false, const char* definition = "Walker")
    {
        m_world = StartWorld(WorldText(StandardServices() + kAgents));
        ASSERT_NE(m_world, nullptr);
        auto* graph = new CSpatialGraph;
        BuildWalkableGridGraph(*graph, CVec3(-6.0f, 0.0f, -6.0f), 13, 13, 1.0f, 0.6f);
        ASSERT_TRUE(AddGraph("Grid", graph));
        auto* way = new CPathWay;
        for (const Step& s : steps)
            ASSERT_TRUE(way->InsertPoint(CWayPoint(s.at, s.mode, s.command), CPathWay::kAppend));
        way->SetLooped(looped);
        m_way = way;
        auto* manager =
            static_cast<CPathWayManager*>(m_world->FindGlobalService(&CPathWayManager::s_classRecord));
        ASSERT_TRUE(manager->Add("Route", way));
        m_walker = MakeEntity(definition, CVec3());
        ASSERT_NE(m_walker, nullptr);
        m_agent = static_cast<CPathWayAgent*>(FirstAgent(m_walker));
        ASSERT_NE(m_agent, nullptr);
        m_world->Start();
    }

    void TearDown() override { StopWorld(); }

    // Frames until the predicate holds (at most n); true when it did.
    template <class F> bool RunUntil(int n, F done)
    {
        for (int i = 0; i < n; ++i) {
            if (done())
                return true;
            Frames(m_world, 1);
        }
        return done();
    }

    float Heading() const { return m_walker->GetAngles().y; }

    CWorld* m_world = nullptr;
    CPathWay* m_way = nullptr;
    CEntity* m_walker = nullptr;
    CPathWayAgent* m_agent = nullptr;
};

TEST_F(PathWayAgentTest, APauseHoldsTheEntityAtItsStep)
{
    Start({{CVec3(2.0f, 0.0f, 0.0f), "pause 2"}, {CVec3(2.0f, 0.0f, 3.0f), nullptr}});
    ASSERT_TRUE(RunUntil(300, [&] { return m_agent->IsAtPoint(); }));
    const float arrival = Host().GetTime();
    const CVec3 at = m_walker->GetPosition();
    ASSERT_TRUE(RunUntil(300, [&] { return m_agent->GetStepIndex() == 1; }));
    EXPECT_NEAR(Host().GetTime() - arrival, 2.0f, 3.0f * kStep);
    EXPECT_LT(std::sqrt((m_walker->GetPosition() - at).SquaredLengthXZ()), 0.05f);
}

TEST_F(PathWayAgentTest, TurnCommands)
{
    struct Case
    {
        const char* command;
        const char* definition;
        bool relative;
        float angle; // relative turn, or the absolute heading
    };
    const Case cases[] = {
        {"rotate 90", "Walker", true, 90.0f},       {"rotate 90", "Steerer", true, 90.0f},
        {"rotate 720", "Steerer", true, 0.0f},      {"orient -170", "Walker", false, -170.0f},
        {"orient -170", "Steerer", false, -170.0f}, {"orient 720", "Steerer", false, 0.0f},
        {"orient   45  ", "Steerer", false, 45.0f},
    };
    for (const Case& c : cases) {
        Start({{CVec3(0.0f, 0.0f, 3.0f), c.command}, {CVec3(0.0f, 0.0f, -3.0f), nullptr}}, false,
              c.definition);
        ASSERT_TRUE(RunUntil(400, [&] { return m_agent->IsAtPoint(); })) << c.command;
        const float arrival = Heading();
        ASSERT_TRUE(RunUntil(400, [&] { return m_agent->GetStepIndex() == 1; })) << c.command;
        const float wanted = c.relative ? arrival + c.angle : c.angle;
        EXPECT_LE(std::fabs(std::remainder(Heading() - wanted, 360.0f)), 3.0f + 1e-3f)
            << c.command << " " << c.definition << " heading " << Heading();
        StopWorld();
    }
}

TEST_F(PathWayAgentTest, CommandsWithoutTwoWordsAreSkipped)
{
    for (const char* command : std::vector<const char*>{"wait", "", "   ", nullptr}) {
        Start({{CVec3(1.0f, 0.0f, 0.0f), command}, {CVec3(1.0f, 0.0f, 2.0f), nullptr}});
        ASSERT_TRUE(RunUntil(300, [&] { return m_agent->IsAtPoint(); }));
        EXPECT_TRUE(m_agent->ExecuteCommand(0));
        Frames(m_world, 1);
        EXPECT_EQ(m_agent->GetStepIndex(), 1) << (command ? command : "(none)");
        StopWorld();
    }
}

TEST(PathWayCommandTest, ParseCommandReadsTheWholeFieldAndNoFurther)
{
    struct Case
    {
        std::string field; // up to 64 bytes; the rest of the field holds 'x' when fill is set
        bool fill;
        bool ok;
        const char* word;
        float value;
    };
    const std::string longWord(64, 'a');
    const std::string padded = "rotate" + std::string(57, ' ') + "9";
    const Case cases[] = {
        {"pause 2", false, true, "pause", 2.0f}, {"rotate -45.5 degrees", false, true, "rotate", -45.5f},
        {"orient", false, false, "", 0.0f},      {"", false, false, "", 0.0f},
        {longWord, false, false, "", 0.0f},     // one 64-byte word without terminator
        {padded, false, true, "rotate", 9.0f},  // the number in the last byte
        {"pause 1", true, true, "pause", 1.0f}, // bytes after the terminator are not read
        {"pause x", false, true, "pause", 0.0f},
    };
    for (const Case& c : cases) {
        char field[CPathWayAgent::kCommandSize];
        std::memset(field, c.fill ? 'x' : 0, sizeof field);
        std::memcpy(field, c.field.data(), c.field.size() < sizeof field ? c.field.size() : sizeof field);
        if (c.fill && c.field.size() < sizeof field)
            field[c.field.size()] = '\0';
        char word[CPathWayAgent::kCommandSize + 1];
        float value = -1.0f;
        EXPECT_EQ(CPathWayAgent::ParseCommand(field, word, &value), c.ok) << c.field;
        if (c.ok) {
            EXPECT_STREQ(word, c.word);
            EXPECT_EQ(value, c.value) << c.field;
        }
    }
}

TEST_F(PathWayAgentTest, StandingStillBrakesOnlyAMovingEntity)
{
    struct Case
    {
        float speed, acceleration;
    };
    // Above 0.05 m/s: brake; at or below it nothing, so a standing entity does not creep.
    const Case cases[] = {{0.0f, 0.0f}, {0.05f, 0.0f}, {0.04f, 0.0f}, {0.5f, -1.0f}};
    Start({{CVec3(0.0f, 0.0f, 0.0f), "pause 100"}}, false, "Steerer");
    for (const Case& c : cases) {
        m_walker->SetSpeed(c.speed);
        m_agent->GetActionSet()->Reset();
        EXPECT_FALSE(m_agent->ExecuteCommand(0));
        const auto* acceleration = m_agent->GetActionSet()->Get<CActionAcceleration>();
        ASSERT_TRUE(acceleration->IsSet());
        EXPECT_EQ(acceleration->GetValue(), c.acceleration) << c.speed;
    }
}

TEST_F(PathWayAgentTest, WalkIsAQuarterOfTheMaximumSpeed)
{
    Start({{CVec3(0.0f, 0.0f, 5.0f), nullptr, "walk"}, {CVec3(0.0f, 0.0f, -5.0f), nullptr, "run"}});
    Frames(m_world, 30);
    EXPECT_NEAR(m_walker->GetSpeed(), 0.25f * 2.0f, 1e-4f); // MaxSpeed 2 m/s
    ASSERT_TRUE(RunUntil(600, [&] { return m_agent->GetStepIndex() == 1; }));
    Frames(m_world, 30);
    EXPECT_GT(m_walker->GetSpeed(), 0.75f);
}

TEST_F(PathWayAgentTest, ANonLoopingWayFinishesAndALoopingOneStartsAgain)
{
    const std::vector<Step> steps = {{CVec3(2.0f, 0.0f, 0.0f), nullptr}, {CVec3(2.0f, 0.0f, 2.0f), nullptr}};
    Start(steps, false);
    ASSERT_TRUE(RunUntil(600, [&] { return m_agent->IsFinished(); }));
    EXPECT_EQ(m_agent->GetStepIndex(), 2);
    EXPECT_EQ(m_agent->GetCurrentPoint(), m_walker->GetPosition());
    EXPECT_TRUE(m_agent->Think());
    EXPECT_FALSE(m_agent->GetActionSet()->Get<CActionSpeed>()->IsSet());
    EXPECT_FALSE(m_agent->GetActionSet()->Get<CActionRotate>()->IsSet());
    StopWorld();

    Start(steps, true);
    std::vector<int32_t> visited;
    for (int i = 0; i < 1200 && visited.size() < 5; ++i) {
        const int32_t before = m_agent->GetStepIndex();
        Frames(m_world, 1);
        if (m_agent->GetStepIndex() != before)
            visited.push_back(before);
    }
    EXPECT_EQ(visited, (std::vector<int32_t>{0, 1, 0, 1, 0}));
    EXPECT_FALSE(m_agent->IsFinished());
    // Setting the same path way keeps the place; Start restarts it.
    m_agent->SetPathWay(m_way);
    EXPECT_EQ(m_agent->GetStepIndex(), 1);
    m_agent->Start();
    EXPECT_EQ(m_agent->GetStepIndex(), 0);
}

} // namespace
} // namespace Zelk
