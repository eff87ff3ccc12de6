// Characters on the sample level: their commands, dying, motion and weapon.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "ai/runtime/random.h"
#include "framework/animationcommand.h"
#include "framework/character.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/impactparticles.h"
#include "framework/physicsworld.h"
#include "framework/testing/characterconfig.h"
#include "framework/tests/frameworktesting.h"
#include "framework/vectorops.h"
#include "framework/weapon.h"
#include "graphics/core/frame.h"
#include "physics/core/body/body.h"
#include "physics/core/dyn/dyn.h"

namespace {

/// The level (floor at y = 0, 30 x 30, walls 3 high at x, z = +-14 or 15)
/// and the profile "BlueSoldier".
class Characters : public SoftwareFrameworkTest
{
  protected:
    void SetUp() override
    {
        SoftwareFrameworkTest::SetUp();
        ConfigBuilder config;
        config.Open("Config")
            .Open("Input")
            .Element("MouseMode", {{"Value", "1"}})
            .Close()
            .Open("Worlds")
            .Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", "0"}})
            .Close()
            .Open("Camera", {{"nearClip", "0.1"}, {"farClip", "500"}, {"fov", "45"}})
            .Close();
        AddCharacterProfile(config, "BlueSoldier", "models/bluesoldier.dff");
        ASSERT_TRUE(Start(config.Text()));
        ASSERT_NE(Framework().physicsWorld, nullptr);
        ASSERT_NE(FindCharacterProfile("BlueSoldier"), nullptr);
    }
    void TearDown() override
    {
        for (auto& character : characters_)
            character->Unload();
        characters_.clear();
        Zelk::AiSetRandomSource(nullptr, nullptr);
        SoftwareFrameworkTest::TearDown();
    }
    /// A bot of the profile at `position`.
    CCharacter* Bot(const V3d& position)
    {
        characters_.push_back(std::make_unique<CCharacter>());
        CCharacter* character = characters_.back().get();
        character->SetPlayerControlled(false);
        EXPECT_TRUE(character->ApplyProfile("bluesoldier", position));
        return character;
    }
    /// A character without profile: only a model placed at `position`.
    CCharacter* Dummy(const V3d& position)
    {
        characters_.push_back(std::make_unique<CCharacter>());
        CCharacter* character = characters_.back().get();
        character->SetPlayerControlled(false);
        EXPECT_TRUE(character->LoadClump("models/world.dff"));
        character->CSceneObject::SetPosition(position);
        return character;
    }
    static const CAnimationFile* Animation(CharacterAnimation key)
    {
        return FindCharacterProfile("BlueSoldier")->animations[key];
    }
    static OlpDynMotion* Velocity(CCharacter* character)
    {
        OlpBody* body = character->GetMotion().GetBody();
        OlpDyn* dyn = body ? body->base.parts[0].dyn : nullptr;
        return dyn ? &dyn->arrays->velocity[dyn->index] : nullptr;
    }
    static float FrameScale(CCharacter* character)
    {
        const V3d& right = FrameGetMatrix(character->GetFrame())->right;
        return std::sqrt(V3dDot(right, right));
    }
    static void Step(CCharacter* character, float dt)
    {
        character->Update(dt);
        Framework().physicsWorld->Step(dt);
    }

    std::vector<std::unique_ptr<CCharacter>> characters_;
};

TEST_F(Characters, ProfileGivesModelBodyAndWeapon)
{
    CCharacter* bot = Bot({2.0f, 0.5f, 3.0f});
    EXPECT_NE(bot->GetClump(), nullptr);
    EXPECT_GE(bot->GetHierarchy().NodeCount(), CWeapon::kHandBone + 1);
    ASSERT_NE(bot->GetMotion().GetBody(), nullptr);
    bool registered = false;
    const CPhysicsWorld* world = Framework().physicsWorld;
    for (int32_t i = 0; i < world->GetRegisteredCount(); ++i)
        registered = registered || world->GetRegistered(i) == bot->GetMotion().GetBodyProxy();
    EXPECT_TRUE(registered);
    EXPECT_FALSE(bot->GetMotion().GetBodyProxy()->IsInWorld()) << "the proxy is not drawn";
    ASSERT_NE(bot->GetWeapon(), nullptr);
    EXPECT_NE(bot->GetWeapon()->GetFireModel(), nullptr);
    EXPECT_EQ(CCharacter::Get(0), bot);

    CCharacter nobody;
    EXPECT_FALSE(nobody.ApplyProfile("GreenSoldier", {0.0f, 0.0f, 0.0f}));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], "Can not find character profile definition 'GreenSoldier'\nplease check the "
                          "'Characters' section in your XML file");
    EXPECT_EQ(nobody.GetWeapon(), nullptr);
    EXPECT_EQ(nobody.GetClump(), nullptr);
}

TEST_F(Characters, ChangesComeAtMostEveryTenthOfASecond)
{
    CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
    bot->SetInputs(1.0f, 0.0f, 0.0f);
    bot->Update(0.05f); // the first change is at once
    CAnimationCommand* walk = bot->GetCurrentCommand();
    ASSERT_NE(walk, nullptr);
    EXPECT_EQ(walk->entries[0].animation, Animation(kAnimWalk));
    EXPECT_FLOAT_EQ(walk->speed, 2.0f);

    bot->SetInputs(0.0f, 1.0f, 0.0f);
    bot->Update(0.05f);
    EXPECT_EQ(bot->GetCurrentCommand(), walk) << "0.05 s after the last change";
    bot->Update(0.05f);
    EXPECT_EQ(bot->GetCurrentCommand(), walk) << "0.1 s is not past 0.1 s";
    EXPECT_FLOAT_EQ(bot->GetLastChoice().sideSpeed, 2.0f) << "the speeds follow at once";
    bot->Update(0.05f);
    CAnimationCommand* strafe = bot->GetCurrentCommand();
    EXPECT_EQ(strafe->entries[0].animation, Animation(kAnimStrafeRight));
    EXPECT_FLOAT_EQ(strafe->speed, 2.5f);
    // The placeholder went back; walk is the previous command.
    EXPECT_EQ(AnimationCommandsInUse(), 2);
    EXPECT_EQ(bot->GetPlayer().GetPreviousCommand(), walk);
}

TEST_F(Characters, AimingBotsBlendFourPosesAndFallBackBehind)
{
    CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
    bot->SetMode(kModeStandAim);
    bot->Update(0.0f); // places the frame on the body
    const Matrix* m = FrameGetMatrix(bot->GetFrame());
    const V3d eye = {m->pos.x, m->pos.y + 1.0f, m->pos.z};
    bot->SetAimTarget(V3dAdd(eye, V3dScaled(V3dUnit(m->at), 10.0f)));
    bot->Update(0.3f); // past the bots' 0.25 s
    CAnimationCommand* blend = bot->GetCurrentCommand();
    ASSERT_EQ(blend->entryCount, 4);
    EXPECT_EQ(blend->entries[0].animation, Animation(kAnimIdleAimMiddleRight));
    EXPECT_EQ(blend->entries[3].animation, Animation(kAnimIdleAimUpRight));
    EXPECT_NEAR(blend->entries[3].weight, 0.99f * 0.99f, 1e-4f);
    EXPECT_FLOAT_EQ(bot->GetLastChoice().forwardSpeed, 0.0f);

    bot->SetAimTarget(V3dAdd(eye, V3dScaled(V3dUnit(m->at), -10.0f)));
    bot->Update(0.3f);
    EXPECT_EQ(bot->GetCurrentCommand()->entryCount, 1);
    EXPECT_EQ(bot->GetCurrentCommand()->entries[0].animation, Animation(kAnimIdleAimMiddleFront));
}

TEST_F(Characters, ABotAtHealthOneHitOnceShrinksAndDiesPastOneHundred)
{
    CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
    bot->SetHealth(1.0f);
    bot->TakeHit();
    EXPECT_EQ(bot->GetHealth(), 0.0f);
    const float full = FrameScale(bot);
    constexpr float kDt = 1.0f / 128.0f; // 1.5625 death-timer units an update
    bot->Update(kDt);
    EXPECT_NEAR(FrameScale(bot) / full, 0.98f, 1e-5f);
    bot->Update(kDt); // 3.125: two more steps
    EXPECT_NEAR(FrameScale(bot) / full, std::pow(0.98f, 3.0f), 1e-5f);
    for (int i = 2; i < 64; ++i)
        bot->Update(kDt);
    EXPECT_FALSE(bot->IsDead()) << "exactly 100";
    bot->Update(kDt);
    EXPECT_TRUE(bot->IsDead());
    EXPECT_NEAR(FrameScale(bot) / full, std::pow(0.98f, 101.0f), 1e-4f);
    bot->SetInputs(1.0f, 1.0f, 1.0f);
    bot->SetFireRequest(true);
    bot->Update(kDt);
    EXPECT_EQ(bot->GetForwardInput(), 0.0f);
    EXPECT_EQ(bot->GetTurnInput(), 0.0f);

    CCharacter* player = Bot({3.0f, 0.5f, 0.0f});
    player->SetPlayerControlled(true);
    player->TakeHit();
    EXPECT_FLOAT_EQ(player->GetHealth(), 98.5f);
}

TEST_F(Characters, StandingStillZeroesOnlyTheAngularVelocity)
{
    CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
    for (int i = 0; i < 30; ++i)
        Step(bot, 0.02f); // settles on the floor
    EXPECT_TRUE(bot->GetMotion().IsOnGround());
    bot->Update(0.02f); // wakes the body if it went to sleep
    OlpDynMotion* velocity = Velocity(bot);
    ASSERT_NE(velocity, nullptr);
    velocity->linear = {0.25f, -0.5f, 0.125f};
    velocity->angular = {1.0f, 2.0f, 3.0f};
    bot->Update(0.02f);
    EXPECT_EQ(velocity->linear.x, 0.25f);
    EXPECT_EQ(velocity->linear.y, -0.5f);
    EXPECT_EQ(velocity->linear.z, 0.125f);
    EXPECT_EQ(velocity->angular.x, 0.0f);
    EXPECT_EQ(velocity->angular.z, 0.0f);
    // The frame stands on the body, 0.4 below its centre.
    const V3d body = FrameGetMatrix(bot->GetMotion().GetBodyProxy()->GetFrame())->pos;
    EXPECT_NEAR(FrameGetMatrix(bot->GetFrame())->pos.y, body.y - 0.4f, 1e-5f);
}

TEST_F(Characters, JumpsLeaveAtSixUpwardAndAreDroppedInTheAir)
{
    CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
    for (int i = 0; i < 30; ++i)
        Step(bot, 0.02f);
    bot->RequestJump();
    bot->Update(0.04f);
    EXPECT_EQ(bot->GetMotion().GetJumpState(), CCharacterMotion::kTakeOff);
    EXPECT_EQ(Velocity(bot)->linear.y, 6.0f);
    Framework().physicsWorld->Step(0.04f);
    bot->Update(0.04f);
    EXPECT_EQ(Velocity(bot)->linear.y, 6.0f) << "0.08 s of take-off";
    Framework().physicsWorld->Step(0.04f);
    bot->Update(0.04f); // 0.12 s: in the air from now on
    EXPECT_EQ(bot->GetMotion().GetJumpState(), CCharacterMotion::kInAir);
    Framework().physicsWorld->Step(0.04f);
    bot->RequestJump();
    bot->Update(0.04f);
    EXPECT_EQ(bot->GetMotion().GetJumpState(), CCharacterMotion::kInAir) << "the request is dropped";
    EXPECT_NE(Velocity(bot)->linear.y, 6.0f);
    for (int i = 0; i < 100 && bot->GetMotion().GetJumpState() != CCharacterMotion::kOnFoot; ++i)
        Step(bot, 0.02f);
    EXPECT_EQ(bot->GetMotion().GetJumpState(), CCharacterMotion::kOnFoot) << "landed";
}

TEST_F(Characters, InTheAirTheBodyMovesAtItsSpeedAndIsPulledDown)
{
    CCharacter* bot = Bot({0.0f, 2.5f, 0.0f});
    CCharacterMotion& motion = bot->GetMotion();
    motion.SetSpeeds(2.0f, 0.0f, 0.0f);
    motion.Update(0.02f);
    EXPECT_FALSE(motion.IsOnGround());
    const V3d at = V3dUnit(FrameGetMatrix(bot->GetFrame())->at);
    const OlpDynMotion* velocity = Velocity(bot);
    ASSERT_NE(velocity, nullptr);
    EXPECT_NEAR(velocity->linear.x, 2.0f * at.x, 1e-5f);
    EXPECT_NEAR(velocity->linear.z, 2.0f * at.z, 1e-5f);
    EXPECT_FLOAT_EQ(velocity->linear.y,
                    -Framework().physicsWorld->GetSettings().stickInAir * motion.GetScale());
    EXPECT_FLOAT_EQ(motion.GetPreviousSpeed(), std::sqrt(4.0f + velocity->linear.y * velocity->linear.y));
}

TEST_F(Characters, TheNearestCharacterCloseToTheLineIsHit)
{
    CCharacter* shooter = Dummy({0.0f, 0.0f, 0.0f});
    const V3d muzzle = {0.0f, 1.0f, 0.0f}, end = {0.0f, 1.0f, 30.0f};
    float fraction = 0.0f;
    EXPECT_EQ(FindCharacterOnLine(muzzle, end, shooter, &fraction), nullptr) << "the shooter is not hit";
    CCharacter* far = Dummy({0.0f, 0.0f, 12.0f});
    CCharacter* nearer = Dummy({0.3f, 0.0f, 6.0f});
    Dummy({0.85f, 0.0f, 3.0f}); // exactly 0.85 away: missed
    EXPECT_EQ(FindCharacterOnLine(muzzle, end, shooter, &fraction), nearer);
    EXPECT_NEAR(fraction, 0.2f, 1e-6f);
    CCharacter* close = Dummy({0.0f, 0.84f, 4.5f}); // 0.84 above the line: hit
    EXPECT_EQ(FindCharacterOnLine(muzzle, end, shooter, &fraction), close);
    close->SetHealth(0.0f);
    for (int i = 0; i < 60; ++i)
        close->Update(0.01f);
    ASSERT_TRUE(close->IsDead());
    EXPECT_EQ(FindCharacterOnLine(muzzle, end, shooter, &fraction), nearer) << "the dead are passed over";
    EXPECT_EQ(FindCharacterOnLine(end, muzzle, shooter, &fraction), far) << "from the other end";
}

TEST_F(Characters, APlayerAndEightBotsLiveThreeHundredFrames)
{
    // The player in the middle, the bots around it: they walk, run, then aim
    // at it and fire, while the frames step the physics and draw.
    characters_.push_back(std::make_unique<CCharacter>());
    CCharacter* player = characters_.back().get();
    ASSERT_TRUE(player->ApplyProfile("BlueSoldier", {0.0f, 0.5f, 0.0f}));
    Framework().physicsWorld->RegisterObject(player);
    CCharacter* bots[8];
    for (int i = 0; i < 8; ++i) {
        const float angle = float(i) * 0.785398f;
        bots[i] = Bot({4.0f * std::cos(angle), 0.5f, 4.0f * std::sin(angle)});
        Framework().physicsWorld->RegisterObject(bots[i]);
    }
    RunFrame(0);
    for (int frame = 0; frame < 300; ++frame) {
        for (int i = 0; i < 8; ++i) {
            CCharacter* bot = bots[i];
            const int phase = (frame / 50 + i) % 4;
            bot->SetMode(phase == 3 ? kModeStandAim : phase == 2 ? kModeRun : kModeWalk);
            bot->SetInputs(phase == 1 ? -0.5f : 0.6f, phase == 0 ? 0.4f : 0.0f, 0.1f);
            if (phase == 3) {
                const V3d& target = FrameGetMatrix(player->GetFrame())->pos;
                bot->SetAimTarget({target.x, target.y + 1.0f, target.z});
                bot->SetFireRequest(true);
            }
            bot->Update(0.033f);
        }
        player->Update(0.033f);
        RunFrame(33);
    }
    EXPECT_FALSE(Framework().halt) << (Boxes().empty() ? "" : Boxes()[0]);
    EXPECT_LT(player->GetHealth(), CCharacter::kFullHealth) << "the bots hit it";
    EXPECT_EQ(CCharacter::Count(), 9);
    for (CCharacter* bot : bots)
        EXPECT_TRUE(std::isfinite(FrameGetMatrix(bot->GetFrame())->pos.y));
    EXPECT_LE(AnimationCommandsInUse(), 2 * 9) << "two commands a character";
}

class Weapons : public Characters
{
  protected:
    /// A bot whose hand bone has been placed by one update.
    CCharacter* Shooter()
    {
        CCharacter* bot = Bot({0.0f, 0.5f, 0.0f});
        bot->Update(0.0f);
        return bot;
    }
    static int32_t AliveBullets(const CWeapon& weapon)
    {
        int32_t alive = 0;
        for (int32_t i = 0; i < CWeapon::kBullets; ++i)
            alive += weapon.GetBullet(i).IsAlive() ? 1 : 0;
        return alive;
    }
};

TEST_F(Weapons, HeldTriggerFiresOnceEveryFourUpdatesOfFortyMilliseconds)
{
    CWeapon* weapon = Shooter()->GetWeapon();
    weapon->SetFireRequest(true);
    int32_t shots[8] = {};
    for (int32_t& alive : shots) {
        weapon->Update(0.04f);
        alive = AliveBullets(*weapon);
    }
    const int32_t expected[8] = {0, 0, 0, 1, 1, 1, 1, 2};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(shots[i], expected[i]) << "update " << i + 1;
}

TEST_F(Weapons, TheThirtyThirdShotWaitsForAFreeBullet)
{
    CWeapon* weapon = Shooter()->GetWeapon();
    for (int32_t i = 0; i < CWeapon::kBullets; ++i)
        weapon->GetBullet(i).Set({0.0f, 100.0f, 0.0f}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 1e6f);
    weapon->SetFireRequest(true);
    weapon->Update(0.16f);
    for (int32_t i = 0; i < CWeapon::kBullets; ++i)
        EXPECT_GT(weapon->GetBullet(i).GetTravelled(), 6.0f) << "no bullet restarted";
    weapon->GetBullet(5).Set({0.0f, 100.0f, 0.0f}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, 1.0f);
    weapon->Update(0.04f); // bullet 5 dies
    weapon->Update(0.16f);
    EXPECT_NEAR(weapon->GetBullet(5).GetTravelled(), 0.16f * CBullet::kSpeed, 1e-4f) << "fired from bullet 5";
}

TEST_F(Weapons, TheHandHeldGunFiresAtMostTwentyFiveDegreesOff)
{
    CWeapon* weapon = Shooter()->GetWeapon();
    V3d muzzle, up, at, right;
    ASSERT_TRUE(weapon->GetMuzzle(&muzzle, &up, &at, &right));
    for (float degrees : {25.0f, 26.0f}) {
        const float r = degrees * 3.14159265f / 180.0f;
        const V3d target =
            V3dAdd(muzzle, V3dAdd(V3dScaled(right, 10.0f * std::cos(r)), V3dScaled(at, 10.0f * std::sin(r))));
        weapon->SetAimTarget(true, &target);
        weapon->SetFireRequest(true);
        weapon->Update(0.16f);
        EXPECT_EQ(weapon->CanShoot(), degrees < 25.8f) << degrees;
    }
}

TEST_F(Weapons, AMissFliesThirtyUnitsAndAWallHitStopsThereWithGreyDust)
{
    CBullet bullet;
    bullet.Set({0.0f, 0.0f, 0.0f}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, CWeapon::kRange);
    int updates = 0;
    while (bullet.IsAlive() && updates < 100) {
        bullet.Update(0.1f);
        ++updates;
    }
    EXPECT_EQ(updates, 8) << "4 units an update, dead once past 30";
    EXPECT_NEAR(bullet.GetPosition().z, 32.0f, 1e-4f);

    // A gun aimed at the wall at z = 15 from about z = 0: the bullet's range
    // ends there and the grey table's first system bursts at the wall.
    CWeapon* weapon = Shooter()->GetWeapon();
    V3d muzzle;
    ASSERT_TRUE(weapon->GetMuzzle(&muzzle, nullptr, nullptr, nullptr));
    weapon->SetHandHeld(false);
    const V3d target = {0.0f, 1.9f, 20.0f};
    weapon->SetAimTarget(true, &target);
    weapon->SetFireRequest(true);
    weapon->Update(0.16f);
    ASSERT_EQ(AliveBullets(*weapon), 1);
    const CBullet* shot = nullptr;
    for (int32_t i = 0; i < CWeapon::kBullets; ++i)
        shot = weapon->GetBullet(i).IsAlive() ? &weapon->GetBullet(i) : shot;
    EXPECT_LT(shot->GetRange(), 16.0f);
    EXPECT_GT(shot->GetRange(), 13.0f);
    CImpactParticles* dust = GetImpactSystem(kImpactWorld, 0);
    ASSERT_NE(dust, nullptr);
    EXPECT_TRUE(dust->IsBursting());
    EXPECT_NEAR(dust->GetPosition(0).z, 14.0f, 1.1f);
}

TEST_F(Weapons, ImpactTablesLiveUntilTheLastWeaponIsReleased)
{
    CWeapon first, second;
    first.Init(nullptr);
    second.Init(nullptr);
    first.Release();
    ASSERT_NE(GetImpactSystem(kImpactCharacter, 7), nullptr);
    // Bursts use the project's generator: the same values give the same burst.
    Zelk::AiSetRandomSource([](void*) { return int32_t(150); }, nullptr);
    TriggerImpact(kImpactCharacter, {1.0f, 2.0f, 3.0f});
    CImpactParticles* red = GetImpactSystem(kImpactCharacter, 0);
    EXPECT_FLOAT_EQ(red->GetVelocity(3).x, 0.5f * 80.0f * 0.05f) << "bursts sized for metres";
    EXPECT_FLOAT_EQ(red->GetVelocity(3).y, (0.5f * 150.0f + 20.0f) * 0.05f);
    red->Update(0.005f);
    EXPECT_EQ(red->GetActiveCount(), 4) << "960 a second";
    red->Update(0.005f);
    EXPECT_EQ(red->GetActiveCount(), 8);
    second.Release();
    EXPECT_EQ(GetImpactSystem(kImpactCharacter, 0), nullptr);
}

} // namespace
