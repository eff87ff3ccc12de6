// The sound manager: a world service that keeps the sounds present in the world
// (short-lived events with a position, a kind, an intensity, an emitter and an
// expiry time) in a fixed table with slots reserved per kind, and tells who
// hears what. A sound of intensity i is heard up to i x h away by a listener
// whose CEntityHearingAcuteness is h (any distance without the attribute).
//
// Configuration (its definition under "Services", class "CSoundManager"):
// "MaxWorldSounds" (default 64) and the reservations "NbReservedSoundsCombat",
// "...World", "...Player", "...Danger", "...Carcass", "...Meat", "...Garbage"
// (default 1 each; their sum must not exceed the maximum). Times are host clock
// seconds.
#pragma once

#include "ai/runtime/registries.h"
#include "ai/runtime/service.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CEntity;

/// Sound kinds (bit values).
enum ESoundKind : uint32_t
{
    kSoundCombat = 1,
    kSoundWorld = 2,
    kSoundPlayer = 4,
    kSoundCarcass = 8,
    kSoundMeat = 16,
    kSoundDanger = 32,
    kSoundGarbage = 64,
};

/// One slot of the sound table.
struct CWorldSound
{
    CVec3 position;
    CEntity* emitter;
    uint32_t kind;
    int32_t intensity;
    float expiry; // -1: never removed by Update, never heard
    int32_t next; // next slot of its list, -1 at the end

    /// Combat, World, Player or Danger.
    bool IsNoise() const { return (kind & (kSoundCombat | kSoundWorld | kSoundPlayer | kSoundDanger)) != 0; }
    /// Carcass, Meat or Garbage.
    bool IsRemains() const { return (kind & (kSoundCarcass | kSoundMeat | kSoundGarbage)) != 0; }
};

class CSoundManager : public CGlobalService
{
  public:
    static CGlobalServiceClassRecord s_classRecord;
    static constexpr int kKindCount = 7;

    CSoundManager() = default;
    /// Frees the table; forgets the process-wide manager when it is this one.
    ~CSoundManager() override;

    /// Defaults, then the parameters; false when one is refused, the configuration is not
    /// valid or the table cannot be allocated. Becomes the process-wide manager.
    bool Init(CConfigNode* node) override;
    /// "MaxWorldSounds" and the seven reservations (decimal integers); false otherwise.
    bool ReadParameter(CConfigNode* node) override;
    /// Empties the table.
    void Start() override;
    /// Removes the sounds that expired (not those whose expiry is -1); once per clock value.
    void Update() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    /// Maximum at least 1 and the reservations adding up to no more than it.
    bool IsConfigValid() const;

    /// Every slot free, every count 0.
    void Reset();
    /// A free slot for a sound of that kind, moved to the front of the active list; -1 when
    /// the table is full, the kind unknown, or the kind used its reservation while the other
    /// kinds' reservations fill the rest.
    int32_t AllocSound(uint32_t kind);
    /// Adds a sound lasting duration seconds; false when no slot can be had.
    bool AddSound(uint32_t kind, const CVec3& position, int32_t intensity, float duration, CEntity* emitter);
    /// AddSound on the process-wide manager, the emitter being the current world's entity of
    /// that name (or none); false without a manager.
    static bool EmitWorldSound(float x, float y, float z, uint32_t kind, int32_t intensity, float duration,
                               const char* emitterName);
    /// The manager that last completed Init (null when none lives).
    static CSoundManager* GetInstance();
    /// Unlinks slot index from the active list (previous: the slot before it, -1 for the head).
    void RemoveSound(int32_t index, int32_t previous);
    /// Mode 1: free places; mode 2: sounds present; otherwise 0.
    int32_t GetSoundCount(int mode);
    int32_t GetFirstActiveSound() const { return m_activeHead; }
    int32_t GetFirstFreeSound() const { return m_freeHead; }
    /// The slot, null outside the table.
    const CWorldSound* GetSound(int32_t index) const;

    /// True when listener hears the sound (not expired; close enough for its intensity).
    bool CanHear(const CEntity* listener, const CWorldSound& sound) const;
    /// True when some present sound of emitter is heard by listener.
    bool IsEntityHeard(const CEntity* listener, const CEntity* emitter);
    /// The emitter of the loudest sound for listener (not its own), null when none is heard.
    CEntity* FindLoudestEmitter(const CEntity* listener);
    /// The same among emitters of another team side (both sides set, not -1).
    CEntity* FindLoudestEnemyEmitter(const CEntity* listener);
    /// The loudest sound at a point (sounds exactly there first); null when none.
    const CWorldSound* FindLoudestSoundAt(const CVec3& point);
    /// Writes up to capacity audible sounds whose kind meets kindMask; the count written.
    int32_t CollectAudibleSounds(const CEntity* listener, const CWorldSound** out, int32_t capacity,
                                 uint32_t kindMask);
    /// Draws every present sound as a yellow point through the host.
    void DrawSounds() const;

  private:
    static int KindIndex(uint32_t kind);
    CEntity* FindLoudest(const CEntity* listener, bool enemiesOnly);
    void FreeSlots();

    CWorldSound* m_slots = nullptr;
    int32_t m_slotCount = 0;
    int32_t m_max = 64;
    int32_t m_reserved[kKindCount] = {1, 1, 1, 1, 1, 1, 1};
    int32_t m_current[kKindCount] = {};
    int32_t m_freeHead = -1;
    int32_t m_activeHead = -1;
    float m_lastUpdate = 0.0f;
};

} // namespace Zelk
