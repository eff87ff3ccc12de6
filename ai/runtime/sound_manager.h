// The sound manager: a world-level service that keeps the sounds present in the
// world (short events with a position, a kind, an intensity, an emitter and an
// expiry time) and tells whether an entity hears them.
//
// The table has a fixed number of slots ("MaxWorldSounds", default 64); every
// kind keeps a number of reserved slots ("NbReservedSounds<Kind>", default 1)
// so that a burst of one kind cannot crowd out the others. A sound of intensity
// i is heard up to i x h world units by a listener whose hearing acuteness is h,
// and at any distance by a listener without that attribute. "Now" is the start
// time of the current AI frame.
#pragma once

#include "ai/runtime/registries.h"
#include "ai/runtime/service.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CEntity;

// Sound kinds (one bit each) with their reservation keys, in reservation order.
#define ZELK_SOUND_KINDS(X)                                                                                  \
    X(Combat, 1, "NbReservedSoundsCombat")                                                                   \
    X(World, 2, "NbReservedSoundsWorld")                                                                     \
    X(Player, 4, "NbReservedSoundsPlayer")                                                                   \
    X(Danger, 32, "NbReservedSoundsDanger")                                                                  \
    X(Carcass, 8, "NbReservedSoundsCarcass")                                                                 \
    X(Meat, 16, "NbReservedSoundsMeat")                                                                      \
    X(Garbage, 64, "NbReservedSoundsGarbage")

enum ESoundKind : uint32_t
{
#define ZELK_SOUND_KIND_VALUE(name, value, key) kSound##name = value,
    ZELK_SOUND_KINDS(ZELK_SOUND_KIND_VALUE)
#undef ZELK_SOUND_KIND_VALUE
};

inline constexpr int kSoundKindCount = 7;

/// One slot of the sound table.
struct CWorldSound
{
    CVec3 position;
    CEntity* emitter = nullptr; // may be null
    uint32_t kind = 0;
    int32_t intensity = 0;
    float expiry = 0.0f; // frame time in seconds; kSoundNeverExpires keeps it for ever
    int32_t next = -1;   // next slot of its list, -1 at the end

    /// Combat, World, Player or Danger.
    bool IsNoise() const { return (kind & (kSoundCombat | kSoundWorld | kSoundPlayer | kSoundDanger)) != 0; }
    /// Carcass, Meat or Garbage.
    bool IsRemains() const { return (kind & (kSoundCarcass | kSoundMeat | kSoundGarbage)) != 0; }
};

inline constexpr float kSoundNeverExpires = -1.0f;

class CSoundManager : public CGlobalService
{
  public:
    static CGlobalServiceClassRecord s_classRecord;

    CSoundManager() = default;
    /// Frees the table; forgets itself as the process-wide manager.
    ~CSoundManager() override;
    CSoundManager(const CSoundManager&) = delete;
    CSoundManager& operator=(const CSoundManager&) = delete;

    /// Reads the keys above; false for a null node, a refused key, a configuration where the
    /// reservations exceed the maximum or the maximum is below 1, or when out of memory.
    /// On success the manager becomes the process-wide one (Get).
    bool Init(CConfigNode* node) override;
    /// "MaxWorldSounds" and the seven reservation keys (decimal integers); other keys refused.
    bool ReadParameter(CConfigNode* node) override;
    /// Empties the table.
    void Start() override;
    /// Removes the sounds that expired (at most once per frame).
    void Update() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// True when the maximum is at least 1 and the reservations fit in it.
    bool IsConfigValid() const;

    /// The manager that last completed Init, null when none exists.
    static CSoundManager* GetInstance();

    /// Frees every slot and zeroes the counts.
    void Reset();
    /// Takes a slot for a sound of that kind (one ESoundKind value); -1 when the table is full,
    /// the kind is unknown, or the kind used its reservation while the others' fill the rest.
    int32_t AllocSound(uint32_t kind);
    /// Adds a sound that lasts duration seconds from now; false when no slot was given. A slot's
    /// expiry may be set to kSoundNeverExpires afterwards (GetSound) for a lasting sound.
    bool AddSound(uint32_t kind, const CVec3& position, int32_t intensity, float duration, CEntity* emitter);
    /// AddSound on the process-wide manager with the current world's entity of that name
    /// (none when null or unknown) as emitter; false without a manager.
    static bool EmitWorldSound(float x, float y, float z, uint32_t kind, int32_t intensity, float duration,
                               const char* emitterName);
    /// Frees the active slot index whose predecessor in the active list is previous (-1 when
    /// index is the head). False, changing nothing, when the pair does not describe the list.
    bool RemoveSound(int32_t index, int32_t previous);

    /// Mode 1: free slots; mode 2: sounds present; other modes 0.
    int32_t GetSoundCount(int mode);
    int32_t GetFirstActiveSound() const { return m_activeHead; }
    int32_t GetFirstFreeSound() const { return m_freeHead; }
    int32_t GetMaxSounds() const { return m_maxSounds; }
    /// The slot, null outside [0, maximum).
    CWorldSound* GetSound(int32_t index) const;

    /// Whether listener hears the sound now (an expired sound is not heard).
    bool CanHear(const CEntity* listener, const CWorldSound& sound) const;
    /// Whether listener hears some present sound that emitter made.
    bool IsEntityHeard(const CEntity* listener, const CEntity* emitter);
    /// The emitter (other than listener) of the loudest sound listener hears; null when none.
    CEntity* FindLoudestEmitter(const CEntity* listener);
    /// As FindLoudestEmitter among emitters of another team side; null for a listener without side.
    CEntity* FindLoudestEnemyEmitter(const CEntity* listener);
    /// The loudest sound at point (a sound exactly there beats every other); null when none.
    const CWorldSound* FindLoudestSoundAt(const CVec3& point);
    /// Writes up to capacity audible sounds whose kind meets kindMask, in active-list order;
    /// returns the count written.
    int32_t CollectAudibleSounds(const CEntity* listener, const CWorldSound** out, int32_t capacity,
                                 uint32_t kindMask);
    /// Draws every present sound as a yellow point through the host's debug drawing.
    void DrawSounds() const;

  private:
    float Loudness(const CEntity* listener, const CWorldSound& sound) const;
    bool IsAudible(const CEntity* listener, const CWorldSound& sound) const;
    CEntity* FindLoudest(const CEntity* listener, int32_t enemyOfSide);
    void FreeTable();

    CWorldSound* m_sounds = nullptr;
    int32_t m_maxSounds = 64;
    int32_t m_reserved[kSoundKindCount] = {1, 1, 1, 1, 1, 1, 1};
    int32_t m_current[kSoundKindCount] = {};
    int32_t m_freeHead = -1;
    int32_t m_activeHead = -1;
    float m_lastUpdate = 0.0f;
};

} // namespace Zelk
