#include "world_fixture.h"

#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/testhost/testclasses.h"

namespace Zelk {
namespace {

using ActionTest = WorldFixture;

TEST_F(ActionTest, CreateActionReplacesAFilledSlotWithoutLeaking)
{
    CTestActionClass set; // creates every action once
    EXPECT_EQ(set.GetSlotCount(), CActionRecord::GetCount());
    CAction* first = set.GetAction(&CActionSpeed::s_classRecord);
    ASSERT_NE(first, nullptr);
    long live = m_host.GetLiveBlocks();
    CAction* second = set.CreateAction(&CActionSpeed::s_classRecord);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(set.GetAction(&CActionSpeed::s_classRecord), second);
    EXPECT_EQ(m_host.GetLiveBlocks(), live); // the old action was deleted

    // A record that failed to register (index -1) finds and creates nothing.
    std::string longName(300, 'x');
    CActionRecord refused(longName.c_str(), []() -> CAction* { return new CActionSpeed; });
    ASSERT_EQ(refused.GetIndex(), -1);
    EXPECT_EQ(set.GetAction(&refused), nullptr);
    EXPECT_EQ(set.CreateAction(&refused), nullptr);
    EXPECT_EQ(m_host.GetLiveBlocks(), live);
}

TEST_F(ActionTest, MergeCopiesOnlySetActionsAndResetKeepsValues)
{
    CTestActionClass brain, agent;
    brain.Get<CActionRotate>()->SetValue(45.0f);
    brain.Get<CActionSpeed>()->SetValue(1.0f);
    brain.Reset();
    EXPECT_FALSE(brain.Get<CActionRotate>()->IsSet());
    EXPECT_FLOAT_EQ(brain.Get<CActionRotate>()->GetValue(), 45.0f);

    // Nothing set in the other set: nothing changes, flags included.
    brain.Merge(agent);
    EXPECT_FALSE(brain.Get<CActionSpeed>()->IsSet());

    agent.Get<CActionSpeed>()->SetValue(3.0f);
    CVec3 target(1, 2, 3);
    agent.Get<CActionShoot>()->SetTarget(target);
    agent.Get<CActionTorsoRotate>()->SetValue2(-10.0f);
    brain.Merge(agent);
    EXPECT_TRUE(brain.Get<CActionSpeed>()->IsSet());
    EXPECT_FLOAT_EQ(brain.Get<CActionSpeed>()->GetValue(), 3.0f);
    EXPECT_EQ(brain.Get<CActionShoot>()->GetTarget(), target);
    EXPECT_FLOAT_EQ(brain.Get<CActionTorsoRotate>()->GetValue2(), -10.0f);
    EXPECT_FALSE(brain.Get<CActionRotate>()->IsSet());
    EXPECT_FLOAT_EQ(brain.Get<CActionRotate>()->GetValue(), 45.0f);
}

TEST_F(ActionTest, AssignBetweenDifferentClassesChangesNothing)
{
    CActionSpeed speed;
    CActionRotate rotate;
    rotate.SetValue(9.0f);
    speed.Assign(rotate);
    EXPECT_FALSE(speed.IsSet());
    EXPECT_FLOAT_EQ(speed.GetValue(), 0.0f);
    CActionSpeed other;
    other.SetValue(4.0f);
    other.SetIsSet(false);
    speed.Assign(other); // the source's flag is not consulted
    EXPECT_TRUE(speed.IsSet());
    EXPECT_FLOAT_EQ(speed.GetValue(), 4.0f);
}

TEST_F(ActionTest, AttributesStartScaledByOneMeter)
{
    // Without a world the scaled values are 0.
    CEntityAttribute* width = CEntityWidth::s_classRecord.GetCreator()();
    EXPECT_FLOAT_EQ(static_cast<CEntityWidth*>(width)->GetValue(), 0.0f);
    delete width;

    CWorld* world = MakeWorld(kTestWorldText); // OneMeter 2
    ASSERT_NE(world, nullptr);
    CEntity* e = MakeEntity(world, "Post", "e");
    EXPECT_FLOAT_EQ(e->CreateAttribute<CEntityWidth>()->GetValue(), 1.4f);
    EXPECT_FLOAT_EQ(e->CreateAttribute<CEntityHeight>()->GetValue(), 3.6f);
    EXPECT_FLOAT_EQ(e->CreateAttribute<CEntityMaxSpeed>()->GetValue(), 1.0f);
    auto* vision = e->CreateAttribute<CEntityVisualAcuteness>();
    EXPECT_FLOAT_EQ(vision->GetRange(), 200.0f);
    EXPECT_FLOAT_EQ(vision->GetAngle(), 60.0f);
    EXPECT_EQ(e->CreateAttribute<CEntityTeamSide>()->GetValue(), -1);
    EXPECT_EQ(e->GetAttribute<CEntityWidth>()->GetValue(), 1.4f);
    EXPECT_EQ(e->GetAttribute<CEntityHealth>(), nullptr);
}

TEST_F(ActionTest, AttributeAssignClampsAndChecksTheClass)
{
    CEntityVisualAcuteness a, b;
    b.SetRange(-5.0f);
    b.SetAngle(400.0f);
    EXPECT_FLOAT_EQ(b.GetAngle(), 360.0f);
    a.Assign(b);
    EXPECT_FLOAT_EQ(a.GetRange(), 0.0f);
    EXPECT_FLOAT_EQ(a.GetAngle(), 360.0f);
    b.SetAngle(-10.0f);
    EXPECT_FLOAT_EQ(b.GetAngle(), 0.0f);

    CEntityWidth width;
    width.SetValue(3.0f);
    CEntityHeight height;
    height.Assign(width);
    EXPECT_FLOAT_EQ(height.GetValue(), 0.0f);
    CEntityHearingAcuteness hearing, negative;
    negative.SetValue(-1.0f);
    hearing.Assign(negative);
    EXPECT_FLOAT_EQ(hearing.GetValue(), 0.0f);
}

TEST_F(ActionTest, FieldOfViewUsesEyeHeadAndVision)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CEntity* e = MakeEntity(world, "Post", "e"); // at (2, 0, 0) facing +z
    EXPECT_FALSE(IsPointInFieldOfView(CVec3(0, 0, 0), nullptr));
    // Without eye, head or vision it sees every point.
    EXPECT_TRUE(IsPointInFieldOfView(CVec3(2, 0, -50), e));
    e->CreateAttribute<CEntityVisualAcuteness>()->SetAngle(30.0f);
    EXPECT_FALSE(IsPointInFieldOfView(CVec3(2, 0, -50), e));
    EXPECT_TRUE(IsPointInFieldOfView(CVec3(2, 0, 50), e));
    e->CreateAttribute<CEntityHeadDirection>()->SetVector(CVec3(1, 0, 0));
    EXPECT_TRUE(IsPointInFieldOfView(CVec3(50, 0, 0), e));
    e->CreateAttribute<CEntityEyePosition>()->SetVector(CVec3(100, 0, 0));
    EXPECT_FALSE(IsPointInFieldOfView(CVec3(50, 0, 0), e));
}

TEST_F(ActionTest, DecisionsAreAppliedOnlyWhenTheBrainDecided)
{
    CWorld* world = MakeWorld(kTestWorldText); // the plan task: at most 2 calls per frame
    std::vector<CEntity*> guards;
    for (int i = 0; i < 3; ++i) {
        CEntity* g = MakeEntity(world, "Guard", ("g" + std::to_string(i)).c_str());
        ASSERT_TRUE(AiAddEntity(world, g));
        guards.push_back(g);
    }
    AiStartWorld(world);
    AiUpdateWorld(world);
    int applied = 0;
    for (CEntity* g : guards) {
        applied += static_cast<CTestActionClass*>(g->GetBrain()->GetActionSet())->GetApplyCount();
    }
    EXPECT_EQ(applied, 2); // the third was refused by the time manager and decided nothing
    AiUpdateWorld(world);
    for (CEntity* g : guards) {
        EXPECT_GE(static_cast<CTestActionClass*>(g->GetBrain()->GetActionSet())->GetApplyCount(), 1);
    }
}

} // namespace
} // namespace Zelk
