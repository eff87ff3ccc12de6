// The entity manager: a brain service that tells its entity about the other
// entities of the world: for each one a small perception record (distance,
// visible, line blocked, heard, on another team side) and the nearest-entity
// queries built on those records.
//
// Distances and line-of-sight results between two entities do not depend on
// who asks, so they are kept once per process in tables indexed by the
// unordered pair of world slots; each manager keeps its own records on top.
// Recomputation is throttled twice over:
//  - a record is refreshed at most once per "ComputeInfoDelay" (seconds,
//    default 0.1), a pair value at most once per "ComputeCommonInfoDelay"
//    (default 0.5);
//  - pair values are computed only while the time manager admits the aperiodic
//    task "Zelk::CEntityManager::ComputeCommonInfo" for the asking entity; the
//    world's "TimeMgt" must list it, else Init fails.
// Only entities whose class mask holds the manager's class bit take part (the
// mask AiGetClassMask() holds it). "Now" is the start time of the current AI
// frame; times compare strictly, so nothing refreshes in a frame at time 0.
//
// A record takes pair values only once they have been computed: an entity whose
// pair the time manager has not yet admitted is left out of the queries rather
// than reported at distance 0 with a clear line.
//
// Out of play: an entity that the host marked with kEntityFlagOutOfPlay in its
// flag word (a dead or parked character), or that has left the world, still
// has a record but behaviours leave it alone (IsOutOfPlay).
#pragma once

#include "ai/runtime/registries.h"
#include "ai/runtime/service.h"

#include <cstdint>

namespace Zelk {

class CEntity;
class CSoundManager;

/// Bits of the entity flag word (CEntity::GetFlags) that the behaviours read.
/// kEntityFlagDangerTest: the entity counts in a shooter's danger-cone test.
inline constexpr uint32_t kEntityFlagDangerTest = 0x1;
/// kEntityFlagOutOfPlay: the host took the entity out of play.
inline constexpr uint32_t kEntityFlagOutOfPlay = 0x2;

/// What one entity manager knows of one other entity.
struct CEntityInfo
{
    const CEntity* entity = nullptr; // the entity the record describes (its slot may be reused)
    float nextVisibilityTime = 0.0f; // seconds
    float nextInfoTime = 0.0f;       // seconds
    float distance = 0.0f;           // world units, between the two positions
    bool visible = false;            // line clear and inside the owner's vision cone
    bool blocked = false;            // the line between the eyes is blocked
    bool heard = false;              // the owner hears a sound the entity made
    bool otherSide = false;          // both have team sides (not -1) and they differ
    bool hasInfo = false;            // distance and heard hold computed values
    bool hasVisibility = false;      // visible and blocked hold computed values
    // Out-of-play marks.
    bool outOfPlay = false; // the host's kEntityFlagOutOfPlay at the last refresh
    bool leftWorld = false; // the entity was removed from the world
};

class CEntityManager : public CService
{
  public:
    static CServiceClassRecord s_classRecord;

    explicit CEntityManager(CBrain* brain);
    /// Frees its records; the last manager alive frees the shared pair tables.
    ~CEntityManager() override;
    CEntityManager(const CEntityManager&) = delete;
    CEntityManager& operator=(const CEntityManager&) = delete;

    /// Reads the delays, sizes the records for the current world's entity capacity, creates the
    /// shared tables when absent, finds the world's sound manager and the task. False when a
    /// parameter is refused, there is no current world, the task is not configured or out of memory.
    bool Init(CConfigNode* node) override;
    /// "ComputeInfoDelay" and "ComputeCommonInfoDelay" (seconds); other keys refused.
    bool ReadParameter(CConfigNode* node) override;
    /// Clears the shared tables and every record.
    void Start() override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }

    // Nearest other entity (by stored distance), null when none. The visibility queries ask
    // for line-of-sight results of every entity, the enemy ones of enemies only.
    CEntity* GetNearestVisibleEntity();
    CEntity* GetNearestUnblockedEntity();
    CEntity* GetNearestEntity();
    CEntity* GetNearestVisibleEnemy();
    CEntity* GetNearestUnblockedEnemy();
    CEntity* GetNearestEnemy();

    /// Nearest other entity (by refreshed distance) whose class mask shares a bit with classBits,
    /// leaving out those out of play when skipOutOfPlay; null when none. Does not change the
    /// results of the six queries above.
    CEntity* FindNearestEntity(uint32_t classBits, bool skipOutOfPlay = true);
    /// The entity's record, refreshed with visibility; the first record for null; null for an
    /// entity without a slot in the world.
    const CEntityInfo* GetEntityInfo(const CEntity* entity);
    /// True for null, for an entity outside a world or that left it, and for one the host
    /// marked with kEntityFlagOutOfPlay.
    bool IsOutOfPlay(const CEntity* entity) const;

    float GetComputeInfoDelay() const { return m_infoDelay; }
    float GetComputeCommonInfoDelay() const { return m_commonDelay; }
    /// The number of entity slots the records cover.
    uint32_t GetRecordCount() const { return m_recordCount; }

  private:
    enum EResult
    {
        kVisible,
        kUnblocked,
        kNearest,
        kVisibleEnemy,
        kUnblockedEnemy,
        kEnemy,
        kResultCount
    };
    enum ERescan
    {
        kRescanAll,
        kRescanVisible,
        kRescanEnemies,
        kRescanCount
    };

    CEntity* Query(EResult result);
    bool Refresh(int32_t slot, const CEntity* other);
    void ComputeCommonInfo(int32_t i, int32_t j, bool needVisibility);
    void ResetRecord(CEntityInfo& info, const CEntity* entity);
    static void OnEntityAdded(CEntity* entity, void* user);
    static void OnEntityRemoved(CEntity* entity, void* user);

    float m_infoDelay = 0.1f;
    float m_commonDelay = 0.5f;
    CEntity* m_results[kResultCount] = {};
    CEntityInfo* m_records = nullptr;
    uint32_t m_recordCount = 0;
    CSoundManager* m_soundManager = nullptr;
    bool m_wantVisibilityAll = false;
    bool m_wantVisibilityEnemies = false;
    int32_t m_task = -1;
    bool m_rescan[kRescanCount] = {};
    bool m_registered = false;
};

/// True when "CEntityManager" and "CSoundManager" both hold a registry slot (the static
/// registrations ran); hosts check it at start-up.
bool CheckEntityAndSoundManagersRegistered();

} // namespace Zelk
