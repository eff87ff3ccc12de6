// The demo's five AI classes are registered before main and are created by
// their names alone: this program names none of them.
#include <gtest/gtest.h>

#include "ai/runtime/action.h"
#include "ai/runtime/agent.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/team.h"
#include "ai/runtime/vec3.h"
#include "ai/testhost/support/test_world.h"
#include "demo/aihostcallbacks.h"
#include "demo/registrations.h"

namespace {

using namespace Zelk;

TEST(DemoRegistrations, EveryClassIsCreatedByItsName)
{
    CTestHost host;
    ASSERT_NE(
        TestWorld::Start(
            host,
            "<World "
            "\"w\"><MaxEntity>4</MaxEntity><MaxTeam>2</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf></World>",
            4),
        nullptr);

    const CActionClassRecord* actionClass = CActionClassRecord::Find("CDefaultActionClass");
    ASSERT_NE(actionClass, nullptr);
    CActionSet* actions = actionClass->GetCreator()();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->GetClassRecord(), actionClass);
    delete actions;

    const CEntityClassRecord* entityClass = CEntityClassRecord::Find("CDefaultEntityClass");
    ASSERT_NE(entityClass, nullptr);
    CEntity* entity = entityClass->GetCreator()("e", nullptr);
    ASSERT_NE(entity, nullptr);
    EXPECT_EQ(entity->GetClassRecord(), entityClass);

    // The soldier brain over the demo's action class, and the escort agent in it.
    const CBrainClassRecord* brainClass = CBrainClassRecord::Find("CSoldierBrain");
    ASSERT_NE(brainClass, nullptr);
    CBrain* brain = brainClass->GetCreator()(entity, actionClass);
    ASSERT_NE(brain, nullptr);
    EXPECT_EQ(brain->GetClassRecord(), brainClass);
    ASSERT_NE(brain->GetActionSet(), nullptr);
    EXPECT_EQ(brain->GetActionSet()->GetClassRecord(), actionClass);
    const CAgentClassRecord* agentClass = CAgentClassRecord::Find("CWardelAgent");
    ASSERT_NE(agentClass, nullptr);
    CAgent* agent = agentClass->GetCreator()(brain);
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(agent->GetClassRecord(), agentClass);
    delete agent;
    delete brain;
    delete entity;

    const CTeamClassRecord* teamClass = CTeamClassRecord::Find("CWardelTeam");
    ASSERT_NE(teamClass, nullptr);
    CTeam* team = teamClass->GetCreator()(4, "escorts");
    ASSERT_NE(team, nullptr);
    EXPECT_EQ(team->GetClassRecord(), teamClass);
    delete team;

    TestWorld::Stop();
}

TEST(DemoRegistrations, ModuleCheckSeesEveryModule)
{
    EXPECT_TRUE(CheckDemoClassesRegistered());
    EXPECT_TRUE(CheckDataManagerClassesRegistered());
    EXPECT_TRUE(AiRegisterModules());
}

// The escort code's two angle constants are the products it was tuned with,
// bit for bit: 3.1415927 x 0.0055555557 lies one step above pi / 180 as a float.
TEST(DemoRegistrations, AngleConstantsOfTheEscortCode)
{
    volatile float pi = 3.1415927f, half = 0.5f, perDegree = 0.0055555557f;
    EXPECT_EQ(kHalfPi, pi * half);
    EXPECT_EQ(kDegToRad, pi * perDegree);
    EXPECT_NE(kDegToRad, float(3.14159265358979323846 / 180.0));
}

} // namespace
