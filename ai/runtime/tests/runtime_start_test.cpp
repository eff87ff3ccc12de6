#include "ai/runtime/config_node.h"
#include "ai/runtime/runtime.h"
#include "ai/testhost/testhost.h"

#include <gtest/gtest.h>

namespace Zelk {
namespace {

TEST(RuntimeStartTest, StartsCopiesTheBlockAndTerminates)
{
    CTestHost host;
    AiHostInterface block;
    host.Fill(block, 50);
    ASSERT_EQ(AiEngineInitialize(&block), 1);
    EXPECT_TRUE(AiIsInitialized());
    const AiHostInterface* copy = AiGetHostInterface();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, &block);
    block.maxEntities = 7; // later changes to the host's block have no effect
    EXPECT_EQ(copy->maxEntities, 50u);
    EXPECT_EQ(AiGetSettings().entityLimit, 50u);
    EXPECT_EQ(AiGetSettings().worldLimit, 1u);
    EXPECT_EQ(AiGetSettings().rayCast, &HostRayCast);
    host.SetTime(12.5f);
    EXPECT_FLOAT_EQ(AiClockNow(), 12.5f);

    // A second start is refused while running.
    EXPECT_EQ(AiEngineInitialize(&block), 0);

    EXPECT_EQ(AiEngineTerminate(), 1);
    EXPECT_FALSE(AiIsInitialized());
    EXPECT_EQ(AiGetHostInterface(), nullptr);
    EXPECT_EQ(AiGetSettings().entityLimit, 100u); // back to the defaults
    EXPECT_EQ(host.GetLiveBlocks(), 0);

    // And it starts again.
    host.Fill(block, 50);
    EXPECT_EQ(AiEngineInitialize(&block), 1);
    EXPECT_EQ(AiEngineTerminate(), 1);
}

TEST(RuntimeStartTest, RefusesIncompleteBlocksAndOverlargeEntityLimits)
{
    CTestHost host;
    struct Case
    {
        const char* what;
        void (*spoil)(AiHostInterface&);
    };
    const Case cases[] = {
        {"no allocate", [](AiHostInterface& b) { b.allocate = nullptr; }},
        {"no free", [](AiHostInterface& b) { b.free = nullptr; }},
        {"no clock", [](AiHostInterface& b) { b.clock = nullptr; }},
        {"entity limit above the maximum", [](AiHostInterface& b) { b.maxEntities = kAiMaxEntityLimit + 1; }},
    };
    for (const Case& c : cases) {
        AiHostInterface block;
        host.Fill(block);
        c.spoil(block);
        EXPECT_EQ(AiEngineInitialize(&block), 0) << c.what;
        EXPECT_FALSE(AiIsInitialized()) << c.what;
        EXPECT_EQ(AiGetHostInterface(), nullptr) << c.what;
    }
    EXPECT_EQ(AiEngineInitialize(nullptr), 0);

    AiHostInterface block;
    host.Fill(block, kAiMaxEntityLimit);
    EXPECT_EQ(AiEngineInitialize(&block), 1);
    AiEngineTerminate();
}

TEST(RuntimeStartTest, EntityLimitZeroStartsWithoutPool)
{
    CTestHost host;
    AiHostInterface block;
    host.Fill(block, 0);
    EXPECT_EQ(AiEngineInitialize(&block), 1);
    EXPECT_EQ(AiGetSettings().entityLimit, 0u);
    AiEngineTerminate();
}

TEST(RuntimeStartTest, AllocationNoticesFollowEveryBlock)
{
    static int allocations = 0, releases = 0;
    allocations = releases = 0;
    CTestHost host;
    AiHostInterface block;
    host.Fill(block);
    block.allocateNotice = [](void*, std::size_t, void*) { ++allocations; };
    block.releaseNotice = [](void*, void*) { ++releases; };
    ASSERT_EQ(AiEngineInitialize(&block), 1);
    int before = allocations;
    CConfigNode* node = AiNewEntityConfig("CThing");
    EXPECT_GT(allocations, before);
    AiDeleteConfigNode(node);
    EXPECT_EQ(allocations - before, releases);
    AiEngineTerminate();
}

TEST(RuntimeStartTest, FlatConfigurationHelpersBuildTrees)
{
    CTestHost host;
    AiHostInterface block;
    host.Fill(block);
    ASSERT_EQ(AiEngineInitialize(&block), 1);
    CConfigNode* entity = AiNewEntityConfig("CDefaultEntityClass");
    CConfigNode* brain = AiAddBrainConfig(entity, "CSoldierBrain", "Soldier");
    AiAddAgentConfig(brain, "CWanderAgent", "Wander");
    static const unsigned char bytes[5] = {1, 2, 3, 4, 5};
    CConfigNode* raw = AiAddRawDataConfig(entity, "blob", bytes, 5);
    ASSERT_NE(raw, nullptr);
    EXPECT_STREQ(AiGetConfigKey(raw), "RawData");
    EXPECT_EQ(raw->GetRawDataSize(), 5u);

    EXPECT_STREQ(AiGetConfigValue(AiFindConfigChild(entity, "Class")), "CDefaultEntityClass");
    CConfigNode* foundBrain = AiFindConfigChildByName(entity, "Soldier");
    ASSERT_EQ(foundBrain, brain);
    EXPECT_STREQ(AiGetConfigKey(brain), "Brain");
    EXPECT_STREQ(brain->FindChild("Agent")->GetChildValue("Class"), "CWanderAgent");

    CConfigNode* copy = AiCopyConfig(entity);
    AiRemoveConfigChild(copy, AiFindConfigChild(copy, "Brain"));
    EXPECT_EQ(AiFindConfigChild(copy, "Brain"), nullptr);
    EXPECT_NE(AiFindConfigChild(entity, "Brain"), nullptr);
    AiDeleteConfigNode(copy);
    AiDeleteConfigNode(entity);
    EXPECT_EQ(AiGetConfigKey(nullptr), nullptr);
    AiEngineTerminate();
    EXPECT_EQ(host.GetLiveBlocks(), 0);
}

} // namespace
} // namespace Zelk
