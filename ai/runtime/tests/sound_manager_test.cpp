#include "perception_fixture.h"

namespace Zelk {
namespace {

class SoundManagerTest : public PerceptionFixture
{
  protected:
    void SetUp() override
    {
        PerceptionFixture::SetUp();
        ASSERT_NE(MakePerceptionWorld(), nullptr);
        m_listener = Place("Body", "listener", CVec3(0.0f, 0.0f, 0.0f));
        m_emitter = Place("Body", "emitter", CVec3(5.0f, 0.0f, 0.0f));
        ASSERT_EQ(AiStartWorld(m_world), 1);
        m_sounds = Sounds();
        ASSERT_NE(m_sounds, nullptr);
        Frame();
    }

    /// Sound slots of the active list, head first.
    std::vector<int32_t> Active() const
    {
        std::vector<int32_t> slots;
        for (int32_t i = m_sounds->GetFirstActiveSound(); i != -1 && slots.size() < 100;
             i = m_sounds->GetSound(i)->next) {
            slots.push_back(i);
        }
        return slots;
    }

    CEntity* m_listener = nullptr;
    CEntity* m_emitter = nullptr;
    CSoundManager* m_sounds = nullptr;
};

TEST_F(SoundManagerTest, ReservationsKeepSlotsForEveryKind)
{
    EXPECT_EQ(CSoundManager::GetInstance(), m_sounds);
    EXPECT_EQ(m_sounds->GetMaxSounds(), 64);
    int accepted = 0;
    while (accepted < 100 && m_sounds->AddSound(kSoundCombat, CVec3(), 1, 10.0f, nullptr)) {
        ++accepted;
    }
    EXPECT_EQ(accepted, 58); // the six other reservations keep 6 slots
    EXPECT_EQ(m_sounds->GetSoundCount(2), 58);
    EXPECT_EQ(m_sounds->GetSoundCount(1), 6);
    EXPECT_EQ(m_sounds->GetSoundCount(7), 0);
    const uint32_t others[] = {kSoundWorld,   kSoundPlayer, kSoundDanger,
                               kSoundCarcass, kSoundMeat,   kSoundGarbage};
    for (uint32_t kind : others) {
        EXPECT_TRUE(m_sounds->AddSound(kind, CVec3(), 1, 10.0f, nullptr)) << kind;
    }
    EXPECT_FALSE(m_sounds->AddSound(kSoundWorld, CVec3(), 1, 10.0f, nullptr)); // table full
    EXPECT_EQ(m_sounds->AllocSound(3), -1);                                    // not one kind
    EXPECT_EQ(m_sounds->AllocSound(128), -1);
}

TEST_F(SoundManagerTest, ConfigurationIsChecked)
{
    struct Case
    {
        const char* key;
        const char* value;
        bool accepted;
    };
    const Case cases[] = {
        {"MaxWorldSounds", "7", true},
        {"MaxWorldSounds", "6", false}, // seven reservations of 1
        {"NbReservedSoundsMeat", "58", true},
        {"NbReservedSoundsMeat", "59", false},
        {"MaxWorldSounds", "0", false},
        {"NbReservedSounds", "1", false},
        {"NbReservedSoundsGarbage", nullptr, false},
    };
    {
        CSoundManager refused;
        EXPECT_FALSE(refused.Init(nullptr));
        EXPECT_EQ(CSoundManager::GetInstance(), m_sounds); // a refused manager does not replace the world's
    }
    for (const Case& c : cases) {
        CConfigNode node;
        AddConfigChild(&node, nullptr, "Class", "CSoundManager");
        AddConfigChild(&node, nullptr, c.key, c.value);
        CSoundManager manager;
        EXPECT_EQ(manager.Init(&node), c.accepted) << c.key << " " << (c.value ? c.value : "(none)");
    }
}

TEST_F(SoundManagerTest, HeardWithinIntensityTimesHearing)
{
    m_listener->CreateAttribute<CEntityHearingAcuteness>()->SetValue(2.0f);
    struct Case
    {
        float distance;
        int32_t intensity;
        bool heard;
    };
    const Case cases[] = {
        {9.9f, 5, true},
        {10.1f, 5, false},
        {0.0f, 1, true},
        {0.0f, 0, false},
        {3.0f, 0, false},
        // Intensities whose square does not fit in 32 bits.
        {99000.0f, 50000, true},
        {101000.0f, 50000, false},
    };
    for (const Case& c : cases) {
        CWorldSound sound;
        sound.position = CVec3(0.0f, 0.0f, c.distance);
        sound.intensity = c.intensity;
        sound.kind = kSoundWorld;
        sound.expiry = GetFrameStartTime() + 1.0f;
        EXPECT_EQ(m_sounds->CanHear(m_listener, sound), c.heard) << c.distance << " " << c.intensity;
    }
    // Without the attribute every sound of positive loudness is heard.
    CWorldSound far;
    far.position = CVec3(1e6f, 0.0f, 0.0f);
    far.intensity = 1;
    far.expiry = GetFrameStartTime() + 1.0f;
    EXPECT_TRUE(m_sounds->CanHear(m_emitter, far));
    // A deaf listener (hearing 0) hears nothing, however close.
    m_emitter->CreateAttribute<CEntityHearingAcuteness>()->SetValue(0.0f);
    CWorldSound close = far;
    close.position = m_emitter->GetPosition() + CVec3(0.1f, 0.0f, 0.0f);
    close.intensity = 1000;
    EXPECT_FALSE(m_sounds->CanHear(m_emitter, close));
}

TEST_F(SoundManagerTest, SoundsExpireButLastingOnesStay)
{
    ASSERT_TRUE(m_sounds->AddSound(kSoundCombat, CVec3(1.0f, 0.0f, 0.0f), 5, 0.0f, m_emitter));
    ASSERT_TRUE(m_sounds->AddSound(kSoundWorld, CVec3(1.0f, 0.0f, 0.0f), 5, 0.0f, m_emitter));
    const int32_t lasting = m_sounds->GetFirstActiveSound();
    m_sounds->GetSound(lasting)->expiry = kSoundNeverExpires;
    // A sound of duration 0 is never heard, even in its own frame.
    EXPECT_FALSE(m_sounds->CanHear(m_listener, *m_sounds->GetSound(Active()[1])));
    EXPECT_EQ(m_sounds->GetSoundCount(2), 2);
    Frame();
    EXPECT_EQ(Active(), std::vector<int32_t>{lasting});
    EXPECT_TRUE(m_sounds->CanHear(m_listener, *m_sounds->GetSound(lasting)));
    EXPECT_TRUE(m_sounds->IsEntityHeard(m_listener, m_emitter));
    Frame(100.0f);
    EXPECT_EQ(m_sounds->GetSoundCount(2), 1);

    // Emitted through the static entry with the emitter found by name.
    EXPECT_TRUE(CSoundManager::EmitWorldSound(2.0f, 0.0f, 0.0f, kSoundDanger, 3, 1.0f, "emitter"));
    EXPECT_EQ(m_sounds->GetSound(m_sounds->GetFirstActiveSound())->emitter, m_emitter);
    EXPECT_TRUE(CSoundManager::EmitWorldSound(2.0f, 0.0f, 0.0f, kSoundDanger, 3, 1.0f, "nobody"));
    EXPECT_EQ(m_sounds->GetSound(m_sounds->GetFirstActiveSound())->emitter, nullptr);
    Frame(0.5f);
    EXPECT_EQ(m_sounds->GetSoundCount(2), 3);
    Frame(0.6f);
    EXPECT_EQ(m_sounds->GetSoundCount(2), 1);
}

TEST_F(SoundManagerTest, RemoveSoundChecksThePredecessor)
{
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(m_sounds->AddSound(kSoundWorld, CVec3(), 1, 10.0f, nullptr));
    }
    const std::vector<int32_t> before = Active(); // 2, 1, 0
    ASSERT_EQ(before.size(), 3u);
    EXPECT_FALSE(m_sounds->RemoveSound(before[1], -1));        // not the head
    EXPECT_FALSE(m_sounds->RemoveSound(before[2], before[0])); // not its predecessor
    EXPECT_FALSE(m_sounds->RemoveSound(before[0], before[0]));
    EXPECT_FALSE(m_sounds->RemoveSound(10, -1)); // a free slot
    EXPECT_FALSE(m_sounds->RemoveSound(64, -1));
    EXPECT_FALSE(m_sounds->RemoveSound(-1, -1));
    EXPECT_EQ(Active(), before);
    EXPECT_TRUE(m_sounds->RemoveSound(before[1], before[0]));
    EXPECT_EQ(Active(), (std::vector<int32_t>{before[0], before[2]}));
    EXPECT_EQ(m_sounds->GetFirstFreeSound(), before[1]);
    EXPECT_TRUE(m_sounds->RemoveSound(before[0], -1));
    EXPECT_EQ(m_sounds->GetSoundCount(2), 1);
}

TEST_F(SoundManagerTest, LoudestEmittersAndSounds)
{
    CEntity* enemy = Place("Body", "enemy", CVec3(0.0f, 0.0f, 8.0f));
    SetSide(m_listener, 1);
    SetSide(m_emitter, 1);
    SetSide(enemy, 2);
    m_listener->CreateAttribute<CEntityHearingAcuteness>()->SetValue(1.0f);
    // Loudness i^2 / d^2: the friend's 6 at 5 (1.44) beats the enemy's 9 at 8 (1.27); the
    // listener's own sound does not count.
    ASSERT_TRUE(m_sounds->AddSound(kSoundCombat, m_emitter->GetPosition(), 6, 5.0f, m_emitter));
    ASSERT_TRUE(m_sounds->AddSound(kSoundCombat, enemy->GetPosition(), 9, 5.0f, enemy));
    ASSERT_TRUE(m_sounds->AddSound(kSoundWorld, m_listener->GetPosition(), 50, 5.0f, m_listener));
    EXPECT_EQ(m_sounds->FindLoudestEmitter(m_listener), m_emitter);
    EXPECT_EQ(m_sounds->FindLoudestEnemyEmitter(m_listener), enemy);
    EXPECT_EQ(m_sounds->FindLoudestEnemyEmitter(m_emitter), enemy);
    EXPECT_EQ(m_sounds->FindLoudestEnemyEmitter(m_world->FindEntity("Nobody")), nullptr);
    // Out of hearing range: the loudest is not heard, so none is.
    m_listener->GetAttribute<CEntityHearingAcuteness>()->SetValue(0.5f);
    EXPECT_EQ(m_sounds->FindLoudestEmitter(m_listener), nullptr);

    // At a point, a sound exactly there wins over any louder one elsewhere.
    const CWorldSound* at = m_sounds->FindLoudestSoundAt(CVec3(0.0f, 0.0f, 0.0f));
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->intensity, 50);
    at = m_sounds->FindLoudestSoundAt(CVec3(0.0f, 0.0f, 7.0f));
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->emitter, enemy);

    // Collected by kind.
    m_listener->GetAttribute<CEntityHearingAcuteness>()->SetValue(1.0f);
    const CWorldSound* out[4] = {};
    EXPECT_EQ(m_sounds->CollectAudibleSounds(m_listener, out, 4, kSoundCombat), 2);
    EXPECT_EQ(m_sounds->CollectAudibleSounds(m_listener, out, 4, kSoundWorld), 1);
    EXPECT_EQ(out[0]->intensity, 50);
    EXPECT_EQ(m_sounds->CollectAudibleSounds(m_listener, out, 1, kSoundCombat | kSoundWorld), 1);
    EXPECT_EQ(m_sounds->CollectAudibleSounds(m_listener, out, 0, kSoundCombat), 0);
    EXPECT_EQ(m_sounds->CollectAudibleSounds(m_listener, nullptr, 4, kSoundCombat), 0);
}

TEST_F(SoundManagerTest, DrawsPresentSounds)
{
    ASSERT_TRUE(m_sounds->AddSound(kSoundPlayer, CVec3(1.0f, 2.0f, 3.0f), 1, 5.0f, nullptr));
    m_host.ClearDrawing();
    m_sounds->DrawSounds();
    ASSERT_EQ(m_host.GetPoints().size(), 1u);
    EXPECT_EQ(m_host.GetPoints()[0].p, CVec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(m_host.GetPoints()[0].red, 255);
    EXPECT_EQ(m_host.GetPoints()[0].green, 255);
    EXPECT_EQ(m_host.GetPoints()[0].blue, 0);
}

} // namespace
} // namespace Zelk
