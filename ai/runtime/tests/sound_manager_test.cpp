#include "world_fixture.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/sound_manager.h"

namespace Zelk {
namespace {

const char* kSoundWorldText = R"(<World "Sounds">
  <MaxEntity>8</MaxEntity><OneMeter>1</OneMeter><Tpf>5</Tpf>
  <GlobalServices><Service>Sounds</Service></GlobalServices>
  <Services>
    <Service "Sounds"><Class>CSoundManager</Class>MAX</Service>
  </Services>
  <Entities><Entity "Post"><Class>CTestEntity</Class></Entity></Entities>
</World>)";

class SoundManagerTest : public WorldFixture
{
  protected:
    CSoundManager* Make(const char* parameters = "")
    {
        std::string text = kSoundWorldText;
        text.replace(text.find("MAX"), 3, parameters);
        m_world = MakeWorld(text);
        if (!m_world) {
            return nullptr;
        }
        return static_cast<CSoundManager*>(m_world->FindGlobalService(&CSoundManager::s_classRecord));
    }

    CEntity* Listener(const char* name, const CVec3& at, float hearing = -1.0f, int32_t side = -1)
    {
        CEntity* e = MakeEntity(m_world, "Post", name);
        e->SetPosition(at);
        if (hearing >= 0.0f) {
            e->CreateAttribute<CEntityHearingAcuteness>()->SetValue(hearing);
        }
        if (side != -1) {
            e->CreateAttribute<CEntityTeamSide>()->SetValue(side);
        }
        EXPECT_TRUE(AiAddEntity(m_world, e));
        return e;
    }

    CWorld* m_world = nullptr;
};

TEST_F(SoundManagerTest, ReservationsKeepPlacesForTheOtherKinds)
{
    CSoundManager* sounds = Make();
    ASSERT_NE(sounds, nullptr);
    EXPECT_EQ(CSoundManager::GetInstance(), sounds);
    int accepted = 0;
    while (sounds->AddSound(kSoundCombat, CVec3(0, 0, 0), 5, 10.0f, nullptr)) {
        ++accepted;
    }
    EXPECT_EQ(accepted, 58); // the six other kinds keep one place each
    EXPECT_EQ(sounds->GetSoundCount(1), 6);
    EXPECT_EQ(sounds->GetSoundCount(2), 58);
    for (uint32_t kind :
         {kSoundWorld, kSoundPlayer, kSoundCarcass, kSoundMeat, kSoundDanger, kSoundGarbage}) {
        EXPECT_TRUE(sounds->AddSound(kind, CVec3(0, 0, 0), 5, 10.0f, nullptr)) << kind;
    }
    EXPECT_FALSE(sounds->AddSound(kSoundWorld, CVec3(0, 0, 0), 5, 10.0f, nullptr));
    EXPECT_EQ(sounds->AllocSound(3), -1); // not a kind
}

TEST_F(SoundManagerTest, RefusesReservationsAboveTheMaximum)
{
    EXPECT_EQ(Make("<MaxWorldSounds>6</MaxWorldSounds>"), nullptr); // 7 reserved places
    ASSERT_NE(m_world, nullptr);
    ASSERT_EQ(m_warnings.size(), 1u);
    EXPECT_EQ(CSoundManager::GetInstance(), nullptr);
}

TEST_F(SoundManagerTest, ExpiryAndHearingRange)
{
    m_host.SetTime(0.0f);
    CSoundManager* sounds = Make("<MaxWorldSounds>10</MaxWorldSounds>");
    ASSERT_NE(sounds, nullptr);
    CEntity* near = Listener("near", CVec3(5.9f, 0, 0), 3.0f);
    CEntity* far = Listener("far", CVec3(6.1f, 0, 0), 3.0f);
    CEntity* deaf = Listener("deaf", CVec3(1, 0, 0), 0.0f);
    CEntity* plain = Listener("plain", CVec3(1000, 0, 0));
    CEntity* source = Listener("source", CVec3(0, 0, 0));
    ASSERT_TRUE(sounds->AddSound(kSoundCombat, CVec3(0, 0, 0), 2, 1.0f, source)); // heard up to 2 x 3
    EXPECT_TRUE(sounds->IsEntityHeard(near, source));
    EXPECT_FALSE(sounds->IsEntityHeard(far, source));
    EXPECT_FALSE(sounds->IsEntityHeard(deaf, source));
    EXPECT_TRUE(sounds->IsEntityHeard(plain, source)); // no hearing attribute: any distance
    EXPECT_EQ(sounds->FindLoudestEmitter(near), source);
    EXPECT_EQ(sounds->FindLoudestEmitter(far), nullptr);
    EXPECT_EQ(sounds->FindLoudestEmitter(source), nullptr); // its own sound

    // Silent at the listener's own place is not heard; a sound that never expires is never heard.
    ASSERT_TRUE(sounds->AddSound(kSoundWorld, CVec3(1, 0, 0), 0, 1.0f, nullptr));
    ASSERT_TRUE(sounds->AddSound(kSoundPlayer, CVec3(1000, 0, 0), 9, -1.0f, nullptr)); // expiry -1
    const CWorldSound* out[8];
    EXPECT_EQ(sounds->CollectAudibleSounds(deaf, out, 8, kSoundWorld), 0);
    EXPECT_FALSE(sounds->CanHear(plain, *sounds->GetSound(sounds->GetFirstActiveSound())));

    // Time passes: the sounds of duration 1 go, the endless one stays.
    m_host.SetTime(1.0f);
    EXPECT_EQ(sounds->GetSoundCount(2), 1);
    EXPECT_FALSE(sounds->IsEntityHeard(plain, source));
    m_host.SetTime(50.0f);
    EXPECT_EQ(sounds->GetSoundCount(2), 1);
}

TEST_F(SoundManagerTest, LoudestEnemyAndLoudestAtAPoint)
{
    CSoundManager* sounds = Make();
    ASSERT_NE(sounds, nullptr);
    CEntity* me = Listener("me", CVec3(0, 0, 0), -1.0f, 1);
    CEntity* friendly = Listener("friend", CVec3(1, 0, 0), -1.0f, 1);
    CEntity* enemy = Listener("enemy", CVec3(10, 0, 0), -1.0f, 2);
    CEntity* neutral = Listener("neutral", CVec3(2, 0, 0));
    sounds->AddSound(kSoundCombat, friendly->GetPosition(), 10, 5.0f, friendly);
    sounds->AddSound(kSoundCombat, enemy->GetPosition(), 10, 5.0f, enemy);
    sounds->AddSound(kSoundCombat, neutral->GetPosition(), 10, 5.0f, neutral);
    EXPECT_EQ(sounds->FindLoudestEmitter(me), friendly);
    EXPECT_EQ(sounds->FindLoudestEnemyEmitter(me), enemy);
    EXPECT_EQ(sounds->FindLoudestEnemyEmitter(neutral), nullptr); // no side

    const CWorldSound* at = sounds->FindLoudestSoundAt(CVec3(10, 0, 0));
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->emitter, enemy);
    EXPECT_EQ(sounds->FindLoudestSoundAt(CVec3(1.4f, 0, 0))->emitter, friendly);

    // The static entry finds the emitter by name.
    EXPECT_TRUE(CSoundManager::EmitWorldSound(3, 0, 0, kSoundDanger, 4, 1.0f, "enemy"));
    EXPECT_EQ(sounds->GetSound(sounds->GetFirstActiveSound())->emitter, enemy);
    EXPECT_TRUE(sounds->GetSound(sounds->GetFirstActiveSound())->IsNoise());
    sounds->DrawSounds();
    EXPECT_EQ(m_host.GetPoints().size(), 4u);
}

} // namespace
} // namespace Zelk
