// The demo's entity class: the attributes it makes from the character and
// what Update reads back each frame.
#include <cmath>

#include "demo/tests/aiclassesfixture.h"

namespace {

using namespace Zelk;

TEST_F(AiClassesTest, EntityMakesItsAttributesFromTheCharacter)
{
    FakeCharacter c;
    c.health = 37.9f;
    CDefaultEntityClass* entity = MakeEntity(&c);
    ASSERT_NE(entity, nullptr);
    EXPECT_EQ(entity->GetClassRecord(), &CDefaultEntityClass::s_classRecord);
    EXPECT_EQ(entity->GetCharacter(), &c);
    EXPECT_EQ(entity->GetAttribute<CEntityMaxSpeed>()->GetValue(), 6.0f) << "twice the run speed";
    EXPECT_EQ(c.mode, kModeRun);
    EXPECT_EQ(entity->GetAttribute<CEntityWidth>()->GetValue(), 0.6f);
    EXPECT_EQ(entity->GetAttribute<CEntityHeight>()->GetValue(), 2.0f);
    const auto* vision = entity->GetAttribute<CEntityVisualAcuteness>();
    EXPECT_EQ(vision->GetAngle(), 90.0f);
    EXPECT_EQ(vision->GetRange(), 60.0f);
    EXPECT_EQ(entity->GetAttribute<CEntityHealth>()->GetValue(), 37);
    EXPECT_EQ(entity->GetAttribute<CEntityHealth>()->GetInitialValue(), 37);
    EXPECT_NE(entity->GetAttribute<CEntityGunPosition>(), nullptr);
    EXPECT_NE(entity->GetAttribute<CEntityEyePosition>(), nullptr);
    EXPECT_NE(entity->GetAttribute<CEntityHeadDirection>(), nullptr);
}

TEST_F(AiClassesTest, EntityWithoutCharacterHasNoAttributesAndIgnoresUpdates)
{
    CDefaultEntityClass* entity = MakeEntity(nullptr);
    ASSERT_NE(entity, nullptr);
    EXPECT_EQ(entity->GetCharacter(), nullptr);
    EXPECT_EQ(entity->GetAttribute<CEntityMaxSpeed>(), nullptr);
    entity->SetPosition(CVec3(1.0f, 2.0f, 3.0f));
    entity->Update();
    EXPECT_EQ(entity->GetPosition().y, 2.0f);
}

TEST_F(AiClassesTest, StandingCharacterFacesWhereItsFrameLooks)
{
    FakeCharacter c;
    c.matrix.pos = {3.0f, 0.0f, 4.0f};
    // Turned to face +x: at (1, 0, 0), right (0, 0, -1).
    c.matrix.at = {1.0f, 0.0f, 0.0f};
    c.matrix.right = {0.0f, 0.0f, -1.0f};
    CDefaultEntityClass* entity = MakeEntity(&c);
    ASSERT_NE(entity, nullptr);
    entity->Update();
    EXPECT_EQ(entity->GetSpeed(), 0.0f);
    EXPECT_NEAR(entity->GetDirection().x, 1.0f, 1e-6f);
    EXPECT_NEAR(entity->GetDirection().z, 0.0f, 1e-6f);
    EXPECT_NEAR(entity->GetAngles().y, 90.0f, 1e-4f);
    // Height 2 at y = 0: the entity at half height, the eyes on top.
    EXPECT_EQ(entity->GetPosition().x, 3.0f);
    EXPECT_EQ(entity->GetPosition().y, 1.0f);
    EXPECT_EQ(entity->GetAttribute<CEntityEyePosition>()->GetVector().y, 2.0f);
    // Without a weapon the gun is at the eyes.
    EXPECT_EQ(entity->GetAttribute<CEntityGunPosition>()->GetVector().y, 2.0f);
}

TEST_F(AiClassesTest, MovingCharacterGivesSpeedAndDirectionOfItsInputs)
{
    FakeCharacter c;
    CDefaultEntityClass* entity = MakeEntity(&c); // leaves the character running
    ASSERT_NE(entity, nullptr);
    c.forward = 1.0f;
    c.side = 1.0f;
    entity->Update();
    EXPECT_NEAR(entity->GetSpeed(), std::sqrt(2.0f) * 3.0f, 1e-5f);
    // Halfway between forward (+z) and right (+x).
    EXPECT_NEAR(entity->GetDirection().x, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(entity->GetDirection().z, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(entity->GetAngles().y, 45.0f, 1e-4f);
}

TEST_F(AiClassesTest, UpdateReadsHealthMuzzleAndHead)
{
    FakeCharacter c;
    CDefaultEntityClass* entity = MakeEntity(&c);
    ASSERT_NE(entity, nullptr);
    c.health = 12.7f;
    c.armed = true;
    c.muzzle = {0.5f, 1.4f, 0.25f};
    c.hasHead = true;
    c.headUp = {0.0f, 0.0f, 2.0f};
    entity->Update();
    EXPECT_EQ(entity->GetAttribute<CEntityHealth>()->GetValue(), 12);
    EXPECT_EQ(entity->GetAttribute<CEntityGunPosition>()->GetVector().x, 0.5f);
    EXPECT_EQ(entity->GetAttribute<CEntityHeadDirection>()->GetVector().z, 1.0f) << "normalised";
    // A skeleton without a head bone keeps the last head direction.
    c.hasHead = false;
    c.headUp = {1.0f, 0.0f, 0.0f};
    entity->Update();
    EXPECT_EQ(entity->GetAttribute<CEntityHeadDirection>()->GetVector().z, 1.0f);
}

} // namespace
