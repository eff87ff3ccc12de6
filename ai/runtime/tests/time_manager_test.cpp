#include "world_fixture.h"

#include "ai/runtime/entity.h"
#include "ai/runtime/team.h"
#include "ai/runtime/time_manager.h"

#include <cfloat>

namespace Zelk {
namespace {

// A world of four brainless entities; the test drives the time manager itself with a
// clock that it moves by hand.
class TimeManagerTest : public WorldFixture
{
  protected:
    void Build(const char* tpf = "<Tpf>5</Tpf>")
    {
        m_world = MakeWorld(Edited("<Tpf>5</Tpf>", tpf));
        ASSERT_NE(m_world, nullptr);
        for (int i = 0; i < 4; ++i) {
            CEntity* e = MakeEntity(m_world, "Post", ("e" + std::to_string(i)).c_str());
            ASSERT_TRUE(AiAddEntity(m_world, e));
            m_entities.push_back(e);
        }
        m_tm = CTimeManager::Peek();
        m_plan = m_tm->FindAperiodicTask("CTestGotoAgent::Plan");
        ASSERT_EQ(m_plan, 0);
    }

    void BeginFrame(float time)
    {
        m_host.SetTime(time);
        m_tm->BeginFrame();
    }

    std::vector<int32_t> Order()
    {
        std::vector<int32_t> ids;
        for (int32_t id = m_tm->NextEntity(); id >= 0; id = m_tm->NextEntity()) {
            ids.push_back(id);
        }
        return ids;
    }

    CWorld* m_world = nullptr;
    CTimeManager* m_tm = nullptr;
    int32_t m_plan = -1;
    std::vector<CEntity*> m_entities;
};

TEST_F(TimeManagerTest, AdmitsUpToMaxCallsAndWeighsTheRefused)
{
    Build();
    BeginFrame(1.0f);
    // Plan: priority 1, budget 2 ms, at most 2 calls per frame; no time passes.
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[0]));
    m_tm->EndAperiodicTask(m_plan, m_entities[0]);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[1]));
    m_tm->EndAperiodicTask(m_plan, m_entities[1]);
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[2]));
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[3]));
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[3]));

    // Next frame: the most refused first (e3 weight 2, e2 weight 1), then the others.
    BeginFrame(1.1f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(3), 2.0f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(2), 1.0f);
    std::vector<int32_t> order = Order();
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[0], 3);
    EXPECT_EQ(order[1], 2);
    // Admission clears the weight.
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[3]));
    BeginFrame(1.2f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(3), 0.0f);
    EXPECT_EQ(Order()[0], 2);
}

TEST_F(TimeManagerTest, SpentFrameBudgetRefusesWithoutReadingTheClock)
{
    Build();
    BeginFrame(1.0f);
    m_host.SetTime(1.004f);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[0])); // 4 ms of 5 used
    m_host.SetTime(1.006f);
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[1])); // frame exceeded
    unsigned reads = m_host.GetClockReads();
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[2]));
    EXPECT_FALSE(m_tm->CanRunGlobalAperiodicTask(m_plan));
    EXPECT_EQ(m_host.GetClockReads(), reads);
    EXPECT_FLOAT_EQ(m_tm->GetRemainingFrameTime(m_plan), 0.0f);
    BeginFrame(2.0f);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[1]));
}

TEST_F(TimeManagerTest, TaskBudgetIsChargedByEnd)
{
    Build("<Tpf>100</Tpf>");
    BeginFrame(1.0f);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[0]));
    m_host.SetTime(1.003f); // 3 ms spent, over the task's 2 ms
    m_tm->EndAperiodicTask(m_plan, m_entities[0]);
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[1]));
    EXPECT_FLOAT_EQ(m_tm->GetRemainingFrameTime(m_plan), 0.0f);
    BeginFrame(2.0f);
    m_host.SetTime(2.0005f);
    EXPECT_NEAR(m_tm->GetRemainingFrameTime(m_plan), 0.002f, 1e-5); // the task's budget is smaller
}

TEST_F(TimeManagerTest, TaskWithoutMaxCallIsNeverAdmittedUnderABudget)
{
    Build();
    int32_t task = m_tm->FindAperiodicTask("NoMaxCall");
    ASSERT_GE(task, 0);
    BeginFrame(1.0f);
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(task, m_entities[0]));
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(-1, m_entities[0]));
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, nullptr));
}

TEST_F(TimeManagerTest, WithoutFrameBudgetEverythingIsAdmitted)
{
    Build("<Tpf>0</Tpf>");
    int32_t task = m_tm->FindAperiodicTask("NoMaxCall");
    BeginFrame(1.0f);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(m_tm->CanRunAperiodicTask(task, m_entities[i % 4]));
    }
    EXPECT_EQ(m_tm->GetRemainingFrameTime(task), FLT_MAX);
    EXPECT_EQ(m_tm->GetRemainingFrameTime(7), 0.0f);
}

TEST_F(TimeManagerTest, InterruptedEntityIsServedFirst)
{
    Build();
    BeginFrame(1.0f);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[0]));
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[1]));
    EXPECT_FALSE(m_tm->CanRunAperiodicTask(m_plan, m_entities[3])); // e3 weighs 1
    m_tm->SetCurrentEntity(m_entities[2]);                          // e2 was cut short
    BeginFrame(1.1f);
    std::vector<int32_t> order = Order();
    ASSERT_EQ(order.size(), 4u);
    EXPECT_EQ(order[0], 2);
    EXPECT_EQ(order[1], 3);
    // Only once: the frame after, e2 is an ordinary entity again.
    BeginFrame(1.2f);
    EXPECT_EQ(Order()[0], 3);
}

TEST_F(TimeManagerTest, PriorityFactorScalesTheKey)
{
    Build();
    BeginFrame(1.0f);
    m_tm->CanRunAperiodicTask(m_plan, m_entities[0]);
    m_tm->CanRunAperiodicTask(m_plan, m_entities[1]);
    m_tm->CanRunAperiodicTask(m_plan, m_entities[2]); // refused: weight 1
    m_tm->CanRunAperiodicTask(m_plan, m_entities[3]); // refused: weight 1
    m_tm->SetEntityPriority(2, 0.0f);
    m_tm->SetEntityPriority(3, 3.0f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityPriority(3), 3.0f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityPriority(99), 0.0f);
    BeginFrame(1.1f);
    EXPECT_EQ(Order()[0], 3);
}

TEST_F(TimeManagerTest, PeriodicTasksFallDueByFrameStart)
{
    Build();
    int32_t look = m_tm->FindPeriodicTask("Look"); // 100 ms, task 0
    int32_t rare = m_tm->FindPeriodicTask("Rare"); // 1000 ms, task 1: last run starts at -0.01
    BeginFrame(0.05f);
    EXPECT_FALSE(m_tm->IsPeriodicTaskDue(look, m_entities[0]));
    BeginFrame(0.1f);
    EXPECT_FALSE(m_tm->IsPeriodicTaskDue(look, m_entities[0])); // strictly after
    BeginFrame(0.11f);
    EXPECT_TRUE(m_tm->IsPeriodicTaskDue(look, m_entities[0]));
    EXPECT_FALSE(m_tm->IsPeriodicTaskDue(look, m_entities[0])); // ran at this frame start
    BeginFrame(0.995f);
    EXPECT_TRUE(m_tm->IsPeriodicTaskDue(rare, m_entities[1])); // -0.01 + 1 < 0.995
    m_tm->MarkPeriodicTaskRun(look, m_entities[2]);
    BeginFrame(1.05f);
    EXPECT_FALSE(m_tm->IsPeriodicTaskDue(look, m_entities[2]));
    EXPECT_FALSE(m_tm->IsPeriodicTaskDue(-1, m_entities[2]));
}

TEST_F(TimeManagerTest, TeamTasksCoverTheirMembers)
{
    Build();
    CConfigNode* config = CopyTeamConfig(m_world, "Blue");
    CTeam* team = CreateTeam(config, 4, "blue");
    delete config;
    ASSERT_NE(team, nullptr);
    team->AddMember(m_entities[1]);
    team->AddMember(m_entities[2]);
    BeginFrame(1.0f);
    EXPECT_TRUE(m_tm->CanRunTeamAperiodicTask(m_plan, team));
    m_tm->EndTeamAperiodicTask(m_plan, team);
    EXPECT_TRUE(m_tm->CanRunAperiodicTask(m_plan, m_entities[0]));
    EXPECT_FALSE(m_tm->CanRunTeamAperiodicTask(m_plan, team)); // third call of the frame
    BeginFrame(1.1f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(1), 1.0f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(2), 1.0f);
    EXPECT_FLOAT_EQ(m_tm->GetEntityWaitingWeight(0), 0.0f);
    int32_t look = m_tm->FindPeriodicTask("Look");
    BeginFrame(0.2f);
    EXPECT_TRUE(m_tm->IsTeamPeriodicTaskDue(look, team));
    EXPECT_FALSE(m_tm->IsTeamPeriodicTaskDue(look, team));
}

} // namespace
} // namespace Zelk
