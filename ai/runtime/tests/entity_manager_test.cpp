#include "perception_fixture.h"

#include "ai/runtime/time_manager.h"

#include <cmath>

namespace Zelk {
namespace {

// The watcher stands at the origin looking along +z with a 60-degree half-angle. A wall
// (x -2..2, z 4..5) hides what lies straight ahead; "ahead" stands behind it.
class EntityManagerTest : public PerceptionFixture
{
  protected:
    void MakeScene(int maxCall = 100)
    {
        ASSERT_NE(MakePerceptionWorld(maxCall), nullptr);
        m_host.AddBox(CVec3(-2.0f, -1.0f, 4.0f), CVec3(2.0f, 3.0f, 5.0f));
        m_watcher = Place("Watcher", "watcher", CVec3(0.0f, 0.0f, 0.0f));
        ASSERT_NE(m_watcher, nullptr);
        m_watcher->CreateAttribute<CEntityVisualAcuteness>()->SetRange(100.0f);
        m_ahead = Place("Body", "ahead", CVec3(0.0f, 0.0f, 6.0f));     // 6, behind the wall
        m_aside = Place("Body", "aside", CVec3(6.0f, 0.0f, 8.0f));     // 10, in sight
        m_behind = Place("Body", "behind", CVec3(-3.0f, 0.0f, -3.0f)); // 4.24, clear but out of the cone
        m_far = Place("Body", "far", CVec3(12.0f, 0.0f, 16.0f));       // 20, in sight
        m_manager = ManagerOf(m_watcher);
        ASSERT_NE(m_manager, nullptr);
        ASSERT_EQ(AiStartWorld(m_world), 1);
    }

    CEntity* m_watcher = nullptr;
    CEntity* m_ahead = nullptr;
    CEntity* m_aside = nullptr;
    CEntity* m_behind = nullptr;
    CEntity* m_far = nullptr;
    CEntityManager* m_manager = nullptr;
};

TEST_F(EntityManagerTest, ReadsDelaysAndNeedsItsTask)
{
    MakeScene();
    EXPECT_FLOAT_EQ(m_manager->GetComputeInfoDelay(), 0.1f);
    EXPECT_FLOAT_EQ(m_manager->GetComputeCommonInfoDelay(), 0.5f);
    EXPECT_EQ(m_manager->GetRecordCount(), 8u);
    EXPECT_TRUE(CheckEntityAndSoundManagersRegistered());
    EXPECT_NE(CEntityManager::s_classRecord.GetClassBit(), 0u);
    EXPECT_NE(AiGetClassMask() & CEntityManager::s_classRecord.GetClassBit(), 0u);

    // Without the task in the time table the brain is made without its entity manager.
    DestroyWorld(m_world);
    std::string text = kPerceptionWorldText;
    text.replace(text.find("Zelk::CEntityManager::ComputeCommonInfo"), 39, "SomethingElse");
    text.replace(text.find("@MAXCALL@"), 9, "1");
    m_world = MakeWorld(text);
    ASSERT_NE(m_world, nullptr);
    CEntity* blind = MakeEntity(m_world, "Watcher", "blind");
    ASSERT_NE(blind, nullptr);
    EXPECT_EQ(ManagerOf(blind), nullptr);

    // Unknown keys are refused.
    CEntityManager probe(nullptr);
    CConfigNode node;
    node.SetKey("ComputeDelay");
    node.SetValue("1");
    EXPECT_FALSE(probe.ReadParameter(&node));
    node.SetKey("ComputeInfoDelay");
    node.SetValue(nullptr);
    EXPECT_FALSE(probe.ReadParameter(&node));
}

TEST_F(EntityManagerTest, WallHidesAndConeLimitsSight)
{
    MakeScene();
    Frame();
    EXPECT_EQ(m_manager->GetNearestEntity(), m_behind);
    EXPECT_EQ(m_manager->GetNearestUnblockedEntity(), m_behind);
    EXPECT_EQ(m_manager->GetNearestVisibleEntity(), m_aside);

    const CEntityInfo* ahead = m_manager->GetEntityInfo(m_ahead);
    ASSERT_NE(ahead, nullptr);
    EXPECT_TRUE(ahead->blocked);
    EXPECT_FALSE(ahead->visible);
    EXPECT_FLOAT_EQ(ahead->distance, 6.0f);
    const CEntityInfo* behind = m_manager->GetEntityInfo(m_behind);
    EXPECT_FALSE(behind->blocked);
    EXPECT_FALSE(behind->visible); // outside the vision cone
    EXPECT_NEAR(behind->distance, std::sqrt(18.0f), 1e-5f);
    const CEntityInfo* aside = m_manager->GetEntityInfo(m_aside);
    EXPECT_TRUE(aside->visible);
    EXPECT_FLOAT_EQ(aside->distance, 10.0f);

    // Once the wall is gone and the values have aged, the entity ahead is the nearest seen.
    m_host.ClearBoxes();
    Frame(0.6f);
    EXPECT_EQ(m_manager->GetNearestVisibleEntity(), m_ahead);
}

TEST_F(EntityManagerTest, EyePositionsAndHeadDirectionCount)
{
    MakeScene();
    // Raised above the wall, the watcher's eyes see the entity ahead (whose eyes are raised too).
    m_watcher->CreateAttribute<CEntityEyePosition>()->SetVector(CVec3(0.0f, 4.0f, 0.0f));
    m_ahead->CreateAttribute<CEntityEyePosition>()->SetVector(CVec3(0.0f, 4.0f, 6.0f));
    m_behind->CreateAttribute<CEntityEyePosition>()->SetVector(CVec3(-3.0f, 4.0f, -3.0f));
    // Turned towards -x, the head sees only what lies that way.
    m_watcher->CreateAttribute<CEntityHeadDirection>()->SetVector(CVec3(-1.0f, 0.0f, 0.0f));
    Frame();
    EXPECT_FALSE(m_manager->GetEntityInfo(m_ahead)->blocked);
    EXPECT_EQ(m_manager->GetNearestVisibleEntity(), m_behind);
    m_watcher->GetAttribute<CEntityHeadDirection>()->SetVector(CVec3(0.0f, 0.0f, 1.0f));
    Frame();
    EXPECT_EQ(m_manager->GetNearestVisibleEntity(), m_ahead);
}

TEST_F(EntityManagerTest, EnemiesAreEntitiesOfAnotherSide)
{
    MakeScene();
    SetSide(m_watcher, 0);
    SetSide(m_ahead, 1);
    SetSide(m_aside, 0);
    SetSide(m_far, 2);
    // m_behind has no side: never an enemy.
    Frame();
    EXPECT_EQ(m_manager->GetNearestEnemy(), m_ahead);
    EXPECT_EQ(m_manager->GetNearestUnblockedEnemy(), m_far);
    EXPECT_EQ(m_manager->GetNearestVisibleEnemy(), m_far);
    EXPECT_TRUE(m_manager->GetEntityInfo(m_far)->otherSide);
    EXPECT_FALSE(m_manager->GetEntityInfo(m_aside)->otherSide);
    EXPECT_FALSE(m_manager->GetEntityInfo(m_behind)->otherSide);

    // Removing the current nearest enemy clears it before the next query.
    ASSERT_TRUE(m_world->RemoveEntity(m_ahead));
    EXPECT_TRUE(m_manager->IsOutOfPlay(m_ahead));
    Frame();
    EXPECT_EQ(m_manager->GetNearestEnemy(), m_far);
    // Back in the world, it is in play again and found anew.
    ASSERT_TRUE(m_world->AddEntity(m_ahead));
    EXPECT_FALSE(m_manager->IsOutOfPlay(m_ahead));
    Frame();
    EXPECT_EQ(m_manager->GetNearestEnemy(), m_ahead);
}

TEST_F(EntityManagerTest, OnlyEntitiesWithTheClassBitTakePart)
{
    MakeScene();
    CConfigNode* config = CopyEntityConfig(m_world, "Body");
    CEntity* hidden = CreateEntityFromConfig("hidden", config, 1u, nullptr);
    delete config;
    ASSERT_NE(hidden, nullptr);
    hidden->SetPosition(CVec3(0.5f, 0.0f, 0.5f));
    ASSERT_TRUE(m_world->AddEntity(hidden));
    Frame();
    EXPECT_EQ(m_manager->GetNearestEntity(), m_behind);
    EXPECT_EQ(m_manager->FindNearestEntity(AiGetClassMask()), m_behind);

    // Equal distances: the entity met first in the world's list wins.
    m_aside->SetPosition(CVec3(0.0f, 0.0f, -1.0f));
    m_far->SetPosition(CVec3(1.0f, 0.0f, 0.0f));
    Frame(0.6f);
    EXPECT_EQ(m_manager->GetNearestEntity(), m_aside);
}

TEST_F(EntityManagerTest, OutOfPlayMarksAndFindNearestEntity)
{
    MakeScene();
    Frame();
    EXPECT_EQ(m_manager->FindNearestEntity(AiGetClassMask()), m_behind);
    m_behind->SetFlags(kEntityFlagOutOfPlay | kEntityFlagDangerTest);
    EXPECT_TRUE(m_manager->IsOutOfPlay(m_behind));
    EXPECT_FALSE(m_manager->IsOutOfPlay(m_ahead));
    EXPECT_TRUE(m_manager->IsOutOfPlay(nullptr));
    EXPECT_EQ(m_manager->FindNearestEntity(AiGetClassMask()), m_ahead);
    EXPECT_TRUE(m_manager->GetEntityInfo(m_behind)->outOfPlay);
    EXPECT_EQ(m_manager->FindNearestEntity(AiGetClassMask(), false), m_behind);
    EXPECT_EQ(m_manager->FindNearestEntity(0u), nullptr);
    // A null entity gives the first record; an entity of no world gives none.
    EXPECT_NE(m_manager->GetEntityInfo(nullptr), nullptr);
    CEntity* loose = MakeEntity(m_world, "Body", "loose");
    EXPECT_EQ(m_manager->GetEntityInfo(loose), nullptr);
    EXPECT_TRUE(m_manager->IsOutOfPlay(loose));
    DestroyEntity(loose);
}

TEST_F(EntityManagerTest, SightTestsAreThrottled)
{
    MakeScene();
    Frame();
    s_segmentTests = 0;
    ASSERT_EQ(m_manager->GetNearestVisibleEntity(), m_aside);
    EXPECT_EQ(s_segmentTests, 4); // one per other entity
    // In the same frame, and while the pair values are fresh, nobody looks again.
    m_manager->GetNearestVisibleEntity();
    Frame(0.2f);
    m_manager->GetNearestVisibleEntity();
    EXPECT_EQ(s_segmentTests, 4);
    // The plain queries never look.
    Frame(0.6f);
    m_manager->GetNearestEntity();
    EXPECT_EQ(s_segmentTests, 4);
    // Once the pair values are older than their delay, they are computed again.
    m_manager->GetNearestUnblockedEntity();
    EXPECT_EQ(s_segmentTests, 8);
    // A second manager shares the pair values: after it looked, the watcher needs only the
    // pairs that do not include it.
    CEntity* second = Place("Watcher", "second", CVec3(0.0f, 0.0f, 1.0f));
    ASSERT_NE(second, nullptr);
    Frame(0.6f);
    s_segmentTests = 0;
    ManagerOf(second)->GetNearestVisibleEntity();
    EXPECT_EQ(s_segmentTests, 5);
    m_manager->GetNearestVisibleEntity();
    EXPECT_EQ(s_segmentTests, 9);
}

TEST_F(EntityManagerTest, TheTimeManagerAdmitsOnePairPerCall)
{
    MakeScene(1);
    Frame();
    s_segmentTests = 0;
    m_manager->GetNearestVisibleEntity();
    EXPECT_EQ(s_segmentTests, 1);
    m_manager->GetNearestVisibleEntity();
    EXPECT_EQ(s_segmentTests, 1); // the task's one admission of the frame is used
    int frames = 0;
    while (m_manager->GetNearestVisibleEntity() != m_aside && frames < 20) {
        Frame(0.05f);
        ++frames;
    }
    EXPECT_EQ(m_manager->GetNearestVisibleEntity(), m_aside);
    EXPECT_GT(frames, 0);
}

TEST_F(EntityManagerTest, HeardThroughTheSoundManager)
{
    MakeScene();
    m_watcher->CreateAttribute<CEntityHearingAcuteness>()->SetValue(2.0f);
    Frame();
    EXPECT_FALSE(m_manager->GetEntityInfo(m_far)->heard);
    ASSERT_TRUE(Sounds()->AddSound(kSoundCombat, m_far->GetPosition(), 11, 5.0f, m_far));    // heard to 22
    ASSERT_TRUE(Sounds()->AddSound(kSoundCombat, m_ahead->GetPosition(), 2, 5.0f, m_ahead)); // heard to 4
    Frame();
    EXPECT_TRUE(m_manager->GetEntityInfo(m_far)->heard);
    EXPECT_FALSE(m_manager->GetEntityInfo(m_ahead)->heard);
}

TEST_F(EntityManagerTest, NothingRefreshesInAFrameAtTimeZero)
{
    MakeScene();
    AiUpdateWorld(m_world); // the clock still reads 0
    EXPECT_EQ(m_manager->GetEntityInfo(m_aside)->distance, 0.0f);
    Frame();
    EXPECT_FLOAT_EQ(m_manager->GetEntityInfo(m_aside)->distance, 10.0f);
}

TEST_F(EntityManagerTest, NoPairsWithOneSlotAndNoCandidatesWithoutTheBit)
{
    // A world of one entity slot has no pair to share: the queries simply find nothing.
    std::string text = kPerceptionWorldText;
    text.replace(text.find("<MaxEntity>8</MaxEntity>"), 24, "<MaxEntity>1</MaxEntity>");
    text.replace(text.find("@MAXCALL@"), 9, "10");
    m_world = MakeWorld(text);
    ASSERT_NE(m_world, nullptr);
    CEntity* alone = Place("Watcher", "alone", CVec3());
    ASSERT_NE(alone, nullptr);
    ASSERT_EQ(AiStartWorld(m_world), 1);
    Frame();
    EXPECT_EQ(ManagerOf(alone)->GetRecordCount(), 1u);
    EXPECT_EQ(ManagerOf(alone)->GetNearestEntity(), nullptr);
    EXPECT_EQ(ManagerOf(alone)->GetNearestVisibleEnemy(), nullptr);
}

TEST_F(EntityManagerTest, EntitiesWithoutTheBitAreNeverCandidates)
{
    ASSERT_NE(MakePerceptionWorld(), nullptr);
    CEntity* watcher = Place("Watcher", "watcher", CVec3());
    ASSERT_NE(watcher, nullptr);
    for (int i = 0; i < 3; ++i) {
        CConfigNode* config = CopyEntityConfig(m_world, "Body");
        CEntity* other = CreateEntityFromConfig(nullptr, config, 1u, nullptr);
        delete config;
        ASSERT_NE(other, nullptr);
        other->SetPosition(CVec3(float(i + 1), 0.0f, 0.0f));
        SetSide(other, 5);
        ASSERT_TRUE(m_world->AddEntity(other));
    }
    SetSide(watcher, 1);
    ASSERT_EQ(AiStartWorld(m_world), 1);
    Frame();
    CEntityManager* manager = ManagerOf(watcher);
    EXPECT_EQ(manager->GetNearestVisibleEntity(), nullptr);
    EXPECT_EQ(manager->GetNearestUnblockedEntity(), nullptr);
    EXPECT_EQ(manager->GetNearestEntity(), nullptr);
    EXPECT_EQ(manager->GetNearestVisibleEnemy(), nullptr);
    EXPECT_EQ(manager->GetNearestUnblockedEnemy(), nullptr);
    EXPECT_EQ(manager->GetNearestEnemy(), nullptr);
    EXPECT_EQ(manager->FindNearestEntity(~0u), nullptr);
}

} // namespace
} // namespace Zelk
