// The standard agents register before main: this program names no agent class,
// so only the static registrations can make them known and creatable.
#include "ai/behaviours/standard_agents.h"
#include "ai/runtime/agent.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testclasses.h"
#include "ai/testhost/testhost.h"
#include <gtest/gtest.h>

namespace Zelk {
namespace {

TEST(AgentRegistrationTest, EveryStandardAgentIsCreatedByName)
{
    EXPECT_TRUE(CheckAgentClassesRegistered());
    CTestHost host;
    AiHostInterface block{};
    host.Fill(block);
    ASSERT_EQ(AiEngineInitialize(&block), 1);
    {
        CTestBrain brain(nullptr, CActionClassRecord::Find("CTestActionClass"));
        for (const char* name : {"CWanderAgent", "CShooterAgent", "CPathWayAgent", "CHideAgent", "CGotoAgent",
                                 "CFollowerAgent", "CFleeAgent", "CAttackNNAgent"}) {
            const CAgentClassRecord* record = CAgentClassRecord::Find(name);
            ASSERT_NE(record, nullptr) << name;
            EXPECT_GE(record->GetIndex(), 0) << name;
            EXPECT_EQ(record->GetParent(), nullptr) << name;
            EXPECT_EQ(record->GetClassBit(), 0u) << name;
            ASSERT_NE(record->GetCreator(), nullptr) << name;
            CAgent* agent = record->GetCreator()(&brain);
            ASSERT_NE(agent, nullptr) << name;
            EXPECT_EQ(agent->GetClassRecord(), record) << name;
            EXPECT_EQ(agent->GetBrain(), &brain) << name;
            delete agent;
        }
    }
    AiEngineTerminate();
}

} // namespace
} // namespace Zelk
