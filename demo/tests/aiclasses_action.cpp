// The demo's action class: how the decided actions become the character's
// mode and inputs, aim and fire.
#include <memory>

#include "demo/defaultactionclass.h"
#include "demo/tests/aiclassesfixture.h"

namespace {

using namespace Zelk;

class AiActionClass : public AiClassesTest
{
  protected:
    void SetUp() override
    {
        AiClassesTest::SetUp();
        entity_ = MakeEntity(&c_);
        ASSERT_NE(entity_, nullptr);
        actions_.reset(new CDefaultActionClass);
        ASSERT_NE(actions_, nullptr);
        actions_->Reset(); // the world's per-frame reset: nothing decided
        c_.mode = -1;
        c_.forward = c_.side = c_.turn = 9.0f;
    }

    /// The entity facing `heading` degrees (0 is +z, 90 is +x).
    void Face(float heading)
    {
        entity_->SetAngles(CVec3(0.0f, heading, 0.0f));
        entity_->SetPosition(CVec3(1.0f, 1.0f, 1.0f));
    }

    FakeCharacter c_;
    CDefaultEntityClass* entity_ = nullptr;
    std::unique_ptr<CDefaultActionClass> actions_;
};

TEST_F(AiActionClass, NothingDecidedStandsStill)
{
    Face(30.0f);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeWalk);
    EXPECT_EQ(c_.forward, 0.0f);
    EXPECT_EQ(c_.side, 0.0f);
    EXPECT_EQ(c_.turn, 0.0f);
    EXPECT_FALSE(c_.aimed);
}

TEST_F(AiActionClass, SpeedPicksTheGaitAndTheTurnGain)
{
    struct Case
    {
        float speed;  // of the run speed 3
        float rotate; // target heading, the entity facing 0
        int32_t mode;
        float forward;
        float turn;
    };
    const Case cases[] = {
        {6.0f, 10.0f, kModeRun, 0.5f, 1.0f},      // r = 1: runs, gain 0.1
        {3.0f, 10.0f, kModeRun, 0.5f, 1.0f},      // r = 0.5: still runs
        {0.75f, 10.0f, kModeWalk, 0.75f, 0.5f},   // a quarter of the run speed: walks, gain 0.05
        {0.75f, 180.0f, kModeWalk, 0.75f, 4.0f},  // 180 x 0.05 = 9, clamped
        {0.75f, -170.0f, kModeWalk, 0.75f, -4.0f} // folded: -170
    };
    for (const Case& k : cases) {
        Face(0.0f);
        actions_->Reset();
        actions_->Get<CActionSpeed>()->SetValue(k.speed);
        actions_->Get<CActionRotate>()->SetValue(k.rotate);
        actions_->Apply(entity_);
        EXPECT_EQ(c_.mode, k.mode) << k.speed;
        EXPECT_EQ(c_.forward, k.forward) << k.speed;
        EXPECT_EQ(c_.side, 0.0f) << k.speed;
        EXPECT_NEAR(c_.turn, k.turn, 1e-5f) << k.speed << " " << k.rotate;
    }
}

TEST_F(AiActionClass, StandingShotTurnsInPlaceThenAims)
{
    // The shot 50 degrees to the right of the heading: a turn in place.
    Face(0.0f);
    const CVec3 shot(SinDeg(50.0f), 0.0f, CosDeg(50.0f));
    actions_->Get<CActionShoot>()->SetTarget(shot);
    actions_->Get<CActionShoot>()->SetFire(true);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeAlert);
    EXPECT_NEAR(c_.turn, 50.0f * 0.033333335f, 1e-4f);
    EXPECT_EQ(c_.forward, 0.0f);
    EXPECT_TRUE(actions_->IsTurningInPlace());
    EXPECT_FALSE(c_.fire);
    // Still 10 degrees off: the turn goes on below the 45 degrees that started it.
    Face(40.0f);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeAlert);
    EXPECT_NEAR(c_.turn, 10.0f * 0.033333335f, 1e-4f);
    // Within 5 degrees: the character aims 100 metres out along the shot and fires.
    Face(47.0f);
    actions_->Apply(entity_);
    EXPECT_FALSE(actions_->IsTurningInPlace());
    EXPECT_EQ(c_.mode, kModeStandAim);
    ASSERT_TRUE(c_.aimed);
    EXPECT_NEAR(c_.aimTarget.x, 1.0f + 100.0f * shot.x, 1e-3f);
    EXPECT_NEAR(c_.aimTarget.z, 1.0f + 100.0f * shot.z, 1e-3f);
    EXPECT_TRUE(c_.fire);
    // Crouching asked for: the crouching aim.
    actions_->Get<CActionCrouch>()->SetValue(true);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeCrouchAim);
}

TEST_F(AiActionClass, TorsoRotationStrafesTowardsTheRotation)
{
    // Legs to heading 90 (+x), torso held at 0 (+z, where the frame looks):
    // the walk goes sideways, to the right, at r x 4.
    Face(0.0f);
    actions_->Get<CActionSpeed>()->SetValue(0.75f); // r = 0.125
    actions_->Get<CActionRotate>()->SetValue(90.0f);
    actions_->Get<CActionTorsoRotate>()->SetValue(0.0f);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeWalk);
    EXPECT_NEAR(c_.forward, 0.0f, 1e-5f);
    EXPECT_NEAR(c_.side, 0.5f, 1e-5f);
    EXPECT_NEAR(c_.turn, 0.0f, 1e-5f);
    // A run under a torso rotation walks at r = 0.49; the torso 30 degrees
    // right of the frame turns it at gain 0.1; firing aims in alert mode.
    actions_->Reset();
    actions_->Get<CActionSpeed>()->SetValue(6.0f);
    actions_->Get<CActionRotate>()->SetValue(30.0f);
    actions_->Get<CActionTorsoRotate>()->SetValue(30.0f);
    actions_->Get<CActionShoot>()->SetTarget(CVec3(0.0f, 0.0f, 1.0f));
    actions_->Get<CActionShoot>()->SetFire(true);
    actions_->Apply(entity_);
    EXPECT_EQ(c_.mode, kModeAlert);
    EXPECT_NEAR(c_.forward, 0.49f * 4.0f, 1e-5f);
    EXPECT_NEAR(c_.side, 0.0f, 1e-5f);
    EXPECT_NEAR(c_.turn, 3.0f, 1e-4f);
    EXPECT_TRUE(c_.aimed);
    EXPECT_TRUE(c_.fire);
}

TEST_F(AiActionClass, OtherEntitiesAndProfilesThatCannotRunAreLeftAlone)
{
    // An entity of the demo's class without a character.
    CDefaultEntityClass* bare = MakeEntity(nullptr);
    ASSERT_NE(bare, nullptr);
    actions_->Get<CActionSpeed>()->SetValue(3.0f);
    actions_->Apply(bare);
    actions_->Apply(nullptr);
    // An entity of another class, even with a character as its host object.
    CEntity* other = MakeEntityOf("Other", &c_);
    ASSERT_NE(other, nullptr);
    actions_->Apply(other);
    EXPECT_EQ(c_.mode, -1);
    // A profile without speeds stands (no division by zero).
    FakeCharacter still;
    still.profile = nullptr;
    CDefaultEntityClass* entity = MakeEntity(&still);
    ASSERT_NE(entity, nullptr);
    actions_->Apply(entity);
    EXPECT_EQ(still.mode, kModeWalk);
    EXPECT_EQ(still.forward, 0.0f);
}

} // namespace
