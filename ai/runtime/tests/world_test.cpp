#include "world_fixture.h"

#include "ai/runtime/brain.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/service.h"
#include "ai/runtime/team.h"
#include "ai/runtime/time_manager.h"
#include "ai/testhost/testclasses.h"

namespace Zelk {
namespace {

using WorldTest = WorldFixture;

TEST_F(WorldTest, ReadsLimitsTasksAndServices)
{
    CWorld* world = MakeWorld(kTestWorldText);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(GetCurrentWorld(), world);
    EXPECT_FLOAT_EQ(world->GetOneMeter(), 2.0f);
    EXPECT_FLOAT_EQ(GetOneMeter(), 2.0f);
    EXPECT_EQ(world->GetMaxEntity(), 8u);
    EXPECT_EQ(world->GetMaxTeam(), 2u);
    CTimeManager* tm = CTimeManager::Peek();
    ASSERT_NE(tm, nullptr);
    EXPECT_FLOAT_EQ(tm->GetFrameBudget(), 0.005f);
    EXPECT_EQ(tm->FindAperiodicTask("CTestGotoAgent::Plan"), 0);
    EXPECT_EQ(tm->FindPeriodicTask("Rare"), 1);
    EXPECT_EQ(tm->FindAperiodicTask("Unknown"), -1);

    // "Broken" refuses its definition and "Missing" has none: both left out with a warning.
    ASSERT_EQ(world->GetGlobalServiceCount(), 2u);
    EXPECT_EQ(world->FindGlobalService(&CTestGlobalService::s_classRecord), world->GetGlobalService(0));
    EXPECT_EQ(world->FindGlobalServiceExact(&CTestGlobalService::s_classRecord), world->GetGlobalService(0));
    ASSERT_EQ(m_warnings.size(), 2u);
    EXPECT_NE(m_warnings[0].find("Broken"), std::string::npos);
    EXPECT_NE(m_warnings[1].find("Missing"), std::string::npos);
}

TEST_F(WorldTest, RefusesRootsWithoutRequiredKeys)
{
    const char* required[] = {"<MaxEntity>8</MaxEntity>", "<OneMeter>2</OneMeter>", "<Tpf>5</Tpf>"};
    for (const char* line : required) {
        EXPECT_EQ(MakeWorld(Edited(line, "")), nullptr) << line;
        EXPECT_EQ(GetCurrentWorld(), nullptr) << line;
    }
    // After the refusals a world is created normally.
    EXPECT_NE(MakeWorld(kTestWorldText), nullptr);
}

// Values the world cannot serve are refused with a warning naming the key, before
// anything is allocated for them.
TEST_F(WorldTest, RefusesLimitsAndUnitsItCannotServe)
{
    const struct
    {
        const char* line;
        const char* with;
        const char* key;
    } cases[] = {
        {"<MaxTeam>2</MaxTeam>", "<MaxTeam>2000000000</MaxTeam>", "MaxTeam"},
        {"<MaxTeam>2</MaxTeam>", "<MaxTeam>-1</MaxTeam>", "MaxTeam"},
        {"<OneMeter>2</OneMeter>", "<OneMeter>0</OneMeter>", "OneMeter"},
        {"<OneMeter>2</OneMeter>", "<OneMeter>-2</OneMeter>", "OneMeter"},
        {"<Tpf>5</Tpf>", "<Tpf>-5</Tpf>", "Tpf"},
        // A task slot each: two thousand million of them would ask for tens of gigabytes.
        {"<Tpf>5</Tpf>", "<Tpf>5</Tpf><MaxAperiodicTask>2000000000</MaxAperiodicTask>", "MaxAperiodicTask"},
        {"<Tpf>5</Tpf>", "<Tpf>5</Tpf><MaxPeriodicTask>-1</MaxPeriodicTask>", "MaxPeriodicTask"},
    };
    for (const auto& c : cases) {
        m_warnings.clear();
        EXPECT_EQ(MakeWorld(Edited(c.line, c.with)), nullptr) << c.with;
        EXPECT_EQ(GetCurrentWorld(), nullptr) << c.with;
        bool named = false;
        for (const std::string& w : m_warnings)
            named = named || w.find(c.key) != std::string::npos;
        EXPECT_TRUE(named) << c.with;
    }
    // A tree built in code may carry a value the text reader refuses: it is not a number.
    CConfigNode root;
    ASSERT_TRUE(ParseConfigText(kTestWorldText, std::strlen(kTestWorldText), &root));
    root.FindChild("OneMeter")->SetValue("nan");
    EXPECT_EQ(CreateWorldFromConfig(&root, &m_source), nullptr);
    EXPECT_NE(MakeWorld(kTestWorldText), nullptr);
}

TEST_F(WorldTest, OnlyOneWorldAtATime)
{
    CWorld* first = MakeWorld(kTestWorldText);
    ASSERT_NE(first, nullptr);
    CConfigNode second;
    ASSERT_TRUE(ParseConfigText(kTestWorldText, std::strlen(kTestWorldText), &second));
    EXPECT_EQ(CreateWorldFromConfig(&second, &m_source), nullptr);
    EXPECT_EQ(GetCurrentWorld(), first);
    ASSERT_TRUE(DestroyWorld(first));
    EXPECT_FALSE(DestroyWorld(nullptr));
    CWorld* again = CreateWorldFromConfig(&second, &m_source);
    ASSERT_NE(again, nullptr);
    DestroyWorld(again);
}

TEST_F(WorldTest, EntityLimitIsClampedToTheRuntimes)
{
    Stop();
    Start(3);
    CWorld* world = MakeWorld(kTestWorldText);
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->GetMaxEntity(), 3u);
    CEntity* entities[3];
    for (CEntity*& e : entities) {
        e = MakeEntity(world, "Post", nullptr);
        ASSERT_NE(e, nullptr);
    }
    // The runtime's pool is full too.
    EXPECT_EQ(MakeEntity(world, "Post", nullptr), nullptr);
    for (CEntity* e : entities) {
        EXPECT_TRUE(AiAddEntity(world, e));
    }
    EXPECT_FALSE(AiAddEntity(world, entities[0])); // already in a world
}

TEST_F(WorldTest, MaxEntityZeroTakesNoEntity)
{
    CWorld* world = MakeWorld(Edited("<MaxEntity>8</MaxEntity>", "<MaxEntity>0</MaxEntity>"));
    ASSERT_NE(world, nullptr);
    CEntity* e = MakeEntity(world, "Post", "p");
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(world->AddEntity(e));
}

TEST_F(WorldTest, EntityCopyResolvesBrainAgentsAndServices)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CConfigNode* copy = CopyEntityConfig(world, "Guard");
    ASSERT_NE(copy, nullptr);
    CConfigNode* brain = copy->FindChild("Brain");
    ASSERT_NE(brain, nullptr);
    EXPECT_STREQ(brain->GetChildValue("Class"), "CTestBrain");
    CConfigNode* agent = brain->FindChild("Agent");
    ASSERT_NE(agent, nullptr);
    EXPECT_STREQ(agent->GetValue(), "Goto");
    EXPECT_STREQ(agent->GetChildValue("Class"), "CTestGotoAgent");
    EXPECT_STREQ(agent->GetChildValue("TargetX"), "10");
    EXPECT_STREQ(brain->FindChild("Service")->GetChildValue("Class"), "CTestCounterService");
    delete copy;

    EXPECT_EQ(CopyEntityConfig(world, "Nobody"), nullptr);
    EXPECT_EQ(CopyEntityConfig(world, "LostBrain"), nullptr); // its agent has no definition
    EXPECT_EQ(CopyEntityConfig(nullptr, "Guard"), nullptr);
}

TEST_F(WorldTest, CreatesEntitiesWithAndWithoutBrains)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CEntity* guard = MakeEntity(world, "Guard", "guard");
    ASSERT_NE(guard, nullptr);
    ASSERT_NE(guard->GetBrain(), nullptr);
    EXPECT_EQ(guard->GetBrain()->GetAgentCount(), 1u);
    EXPECT_EQ(guard->GetBrain()->GetServiceCount(), 1u);
    EXPECT_NE(guard->GetBrain()->FindAgent(&CTestGotoAgent::s_classRecord), nullptr);
    EXPECT_NE(guard->GetBrain()->FindService(&CTestCounterService::s_classRecord), nullptr);
    EXPECT_EQ(guard->GetClassMask(), AiGetClassMask());
    EXPECT_EQ(guard->GetConfig(), nullptr);
    EXPECT_EQ(guard->GetWorld(), nullptr);
    EXPECT_EQ(guard->GetId(), -1);

    CEntity* post = MakeEntity(world, "Post", nullptr);
    ASSERT_NE(post, nullptr);
    EXPECT_EQ(post->GetBrain(), nullptr);
    EXPECT_STREQ(post->GetName(), "_0");
    EXPECT_FLOAT_EQ(post->GetPosition().x, 2.0f); // StartX 1 m at OneMeter 2
    CEntity* post2 = MakeEntity(world, "Post", nullptr);
    EXPECT_STREQ(post2->GetName(), "_1");

    // "Brain" names a known brain but "ActionClass" is missing: no entity.
    EXPECT_EQ(MakeEntity(world, "NoActions", "x"), nullptr);
    std::string longName(1024, 'n');
    EXPECT_EQ(MakeEntity(world, "Post", longName.c_str()), nullptr);

    EXPECT_TRUE(AiAddEntity(world, guard));
    EXPECT_TRUE(AiAddEntity(world, post));
    EXPECT_EQ(guard->GetId(), 0);
    EXPECT_EQ(post->GetId(), 1);
    EXPECT_EQ(world->FindEntity("guard"), guard);
    EXPECT_EQ(world->FindEntity("Guard"), nullptr);
    EXPECT_EQ(world->GetEntityById(1), post);
    EXPECT_EQ(GetEntityById(1), post);
    EXPECT_EQ(world->GetEntityById(7), nullptr);
    EXPECT_EQ(world->GetEntityById(8), nullptr);

    // Removing frees the identifier for the next entity.
    EXPECT_TRUE(AiRemoveEntity(world, guard));
    EXPECT_FALSE(AiRemoveEntity(world, guard));
    EXPECT_EQ(guard->GetId(), -1);
    EXPECT_TRUE(AiAddEntity(world, post2));
    EXPECT_EQ(post2->GetId(), 0);
    EXPECT_TRUE(AiDestroyEntity(guard));
    // post and post2 die with the world.
}

TEST_F(WorldTest, BrainSkipsAServiceThatRefusesItsDefinition)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CEntity* mixed = MakeEntity(world, "Mixed", "mixed");
    ASSERT_NE(mixed, nullptr);
    ASSERT_NE(mixed->GetBrain(), nullptr);
    EXPECT_EQ(mixed->GetBrain()->GetServiceCount(), 1u);
    EXPECT_EQ(mixed->GetBrain()->GetAgentCount(), 1u);
}

TEST_F(WorldTest, EveryStartRunsOnce)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CEntity* guard = MakeEntity(world, "Guard", "guard");
    ASSERT_TRUE(AiAddEntity(world, guard));
    EXPECT_EQ(AiStartWorld(world), 1);
    EXPECT_EQ(AiStartWorld(world), 1);
    guard->Start();
    guard->GetBrain()->Start();
    auto* brain = static_cast<CTestBrain*>(guard->GetBrain());
    EXPECT_EQ(brain->GetStartCount(), 1);
    EXPECT_EQ(static_cast<CTestGotoAgent*>(brain->GetAgent(0))->GetStartCount(), 1);
    EXPECT_EQ(static_cast<CTestCounterService*>(brain->GetService(0))->GetStartCount(), 1);
    EXPECT_EQ(static_cast<CTestGlobalService*>(world->GetGlobalService(0))->GetStartCount(), 1);
    EXPECT_EQ(AiStartWorld(nullptr), 0);
}

TEST_F(WorldTest, UpdateThinksForBrainsAndMovesEntities)
{
    CWorld* world = MakeWorld(Edited("<Tpf>5</Tpf>", "<Tpf>0</Tpf>"));
    CEntity* guard = MakeEntity(world, "Guard", "guard");
    CEntity* post = MakeEntity(world, "Post", "post");
    ASSERT_TRUE(AiAddEntity(world, guard) && AiAddEntity(world, post));
    AiStartWorld(world);
    for (int frame = 0; frame < 30; ++frame) {
        AiUpdateWorld(world);
    }
    auto* brain = static_cast<CTestBrain*>(guard->GetBrain());
    EXPECT_EQ(brain->GetThinkCount(), 30);
    EXPECT_EQ(static_cast<CTestEntity*>(post)->GetUpdateCount(), 30);
    EXPECT_EQ(static_cast<CTestGlobalService*>(world->GetGlobalService(0))->GetUpdateCount(), 30);
    EXPECT_EQ(static_cast<CTestActionClass*>(brain->GetActionSet())->GetApplyCount(), 30);
    // Heading 90 (towards +x), 1 m/s = 2 units/s for 29 frames of 1/30 s.
    EXPECT_NEAR(guard->GetAngles().y, 90.0f, 1e-3);
    EXPECT_NEAR(guard->GetPosition().x, 2.0f * 29.0f / 30.0f, 1e-3);
    EXPECT_FLOAT_EQ(post->GetPosition().x, 2.0f);
}

TEST_F(WorldTest, TeamsJoinLeaveAndRefuse)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CConfigNode* config = CopyTeamConfig(world, "Blue");
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(CopyTeamConfig(world, "Red"), nullptr);
    CTeam* team = CreateTeam(config, 1, "blue");
    ASSERT_NE(team, nullptr);
    EXPECT_EQ(team->GetId(), 0);
    CEntity* a = MakeEntity(world, "Post", "a");
    CEntity* b = MakeEntity(world, "Post", "b");
    EXPECT_FALSE(AiTeamAddMember(team, a)); // in no world yet
    ASSERT_TRUE(AiAddEntity(world, a) && AiAddEntity(world, b));
    EXPECT_TRUE(AiTeamAddMember(team, a));
    EXPECT_FALSE(AiTeamAddMember(team, b)); // at capacity
    EXPECT_EQ(a->GetTeams()->GetCount(), 1u);

    // A fifth team keeps the four earlier ones.
    CTeam* second = CreateTeam(config, 4, "second");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CreateTeam(config, 4, "third"), nullptr); // MaxTeam 2
    CTeam extra[3] = {CTeam(1, "x"), CTeam(1, "y"), CTeam(1, "z")};
    EXPECT_TRUE(second->AddMember(a));
    for (CTeam& t : extra) {
        EXPECT_TRUE(t.AddMember(a));
    }
    EXPECT_EQ(a->GetTeams()->GetCount(), 5u);
    EXPECT_EQ(a->GetTeams()->Begin().Item(), team);
    for (CTeam& t : extra) {
        t.RemoveMember(a);
    }

    // Removing the entity from the world drops it from its teams.
    EXPECT_TRUE(AiRemoveEntity(world, a));
    EXPECT_EQ(team->GetMembers().GetCount(), 0u);
    EXPECT_EQ(a->GetTeams()->GetCount(), 0u);
    ASSERT_TRUE(AiAddEntity(world, a));
    EXPECT_TRUE(AiTeamAddMember(team, a));
    AiDestroyTeam(team);
    EXPECT_EQ(a->GetTeams()->GetCount(), 0u);
    delete config;
}

TEST_F(WorldTest, WithoutMaxTeamNoTeamIsCreated)
{
    CWorld* world = MakeWorld(Edited("<MaxTeam>2</MaxTeam>", ""));
    ASSERT_NE(world, nullptr);
    EXPECT_EQ(world->GetTeams(), nullptr);
    CConfigNode* config = CopyTeamConfig(world, "Blue");
    EXPECT_EQ(CreateTeam(config, 4, "blue"), nullptr);
    delete config;
}

struct CallbackLog
{
    std::vector<std::string> lines;
};

void Added(CEntity* e, void* user)
{
    static_cast<CallbackLog*>(user)->lines.push_back(std::string("+") + e->GetName());
}

void Removed(CEntity* e, void* user)
{
    static_cast<CallbackLog*>(user)->lines.push_back(std::string("-") + e->GetName());
}

TEST_F(WorldTest, EntityCallbacksRunInRegistrationOrder)
{
    CWorld* world = MakeWorld(kTestWorldText);
    CallbackLog log;
    RegisterEntityAddedCallback(world, &Added, &log);
    RegisterEntityAddedCallback(world, &Added, &log);
    RegisterEntityRemovedCallback(world, &Removed, &log);
    CEntity* e = MakeEntity(world, "Post", "e");
    ASSERT_TRUE(AiAddEntity(world, e));
    UnregisterEntityAddedCallback(world, &Added, &log);
    UnregisterEntityAddedCallback(world, &Removed, &log); // unknown pair: nothing
    AiRemoveEntity(world, e);
    AiAddEntity(world, e);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"+e", "+e", "-e", "+e"}));
    UnregisterEntityRemovedCallback(world, &Removed, &log); // the log dies before the world
    UnregisterEntityAddedCallback(world, &Added, &log);
}

TEST_F(WorldTest, ManyWorldsInOneProcess)
{
    for (int round = 0; round < 3; ++round) {
        CWorld* world =
            MakeWorld(round == 1 ? Edited("<MaxTeam>2</MaxTeam>", "") : std::string(kTestWorldText));
        ASSERT_NE(world, nullptr);
        CEntity* guard = MakeEntity(world, "Guard", "guard");
        ASSERT_TRUE(AiAddEntity(world, guard));
        MakeEntity(world, "Post", "never added");
        AiStartWorld(world);
        AiUpdateWorld(world);
        EXPECT_NE(CTimeManager::Peek(), nullptr);
        EXPECT_TRUE(DestroyWorld(world));
        EXPECT_EQ(CTimeManager::Peek(), nullptr);
        EXPECT_EQ(GetCurrentWorld(), nullptr);
        EXPECT_EQ(AiForEachEntity([](CEntity*, void*) { return 1; }, nullptr), 0); // pool emptied
    }
}

} // namespace
} // namespace Zelk
