// The AI world: limits, unit of length, the time manager's task table and the
// world-level services, read from the root of a configuration tree; the entities
// and teams that the host adds; one AI frame per Update.
//
// The runtime holds one world at a time, the current world (GetCurrentWorld).
// Configuration keys of the root: "MaxEntity" (required), "MaxTeam", "OneMeter"
// (required, world units per metre), "Tpf" (required, frame budget in ms),
// "MaxAperiodicTask", "MaxPeriodicTask", "TimeMgt", "GlobalServices" (children
// "Service" whose value names a definition), and the definition libraries
// "Services", "Entities", "Brains", "Agents", "Teams".
//
// Authoring rule for ".AIS" files: raw-data blocks can only be read forwards, so
// services with raw data must be listed under "GlobalServices" in the order of
// their definitions under "Services"; the loader warns otherwise.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/fixed_list.h"

#include <cstdint>

namespace Zelk {

/// Most teams a world may hold: a larger "MaxTeam" is refused with a warning.
inline constexpr int32_t kMaxTeamLimit = 65535;
/// The most aperiodic or periodic tasks a world may reserve ("MaxAperiodicTask", "MaxPeriodicTask").
inline constexpr int32_t kMaxTaskLimit = 65535;

class CConfigNode;
class CDataSource;
class CEntity;
class CGlobalService;
class CTeam;
class CClassRecord;

using AiEntityCallback = void (*)(CEntity* entity, void* user);

class CWorld : public CAiObject
{
  public:
    explicit CWorld(CDataSource* source);
    /// Deletes every team, destroys every entity of the runtime (added or not), deletes the
    /// services, destroys the time manager and empties the entity callback lists.
    ~CWorld() override;
    CWorld(const CWorld&) = delete;
    CWorld& operator=(const CWorld&) = delete;

    /// Reads the configuration (see the keys above); false when a required key is missing.
    bool ReadConfiguration(CConfigNode* root);
    /// Starts every entity (and its brain) and every world service, once.
    void Start();
    /// One AI frame: time manager frame start, every entity's Update, every service's
    /// Update, then each entity handed out by the time manager thinks and, when its brain
    /// answers true, its action class applies the decisions.
    void Update();

    /// False when the entity list is full; else appends it and calls the added callbacks.
    bool AddEntity(CEntity* entity);
    /// False when the entity is in no world; else callbacks, teams drop it, it leaves.
    bool RemoveEntity(CEntity* entity);
    /// First entity in list order with that name (case-sensitive), or null.
    CEntity* FindEntity(const char* name) const;
    /// The entity whose node has that index when in use, else null.
    CEntity* GetEntityById(int32_t id) const;
    const CFixedList<CEntity>& GetEntities() const { return *m_entities; }
    CFixedList<CTeam>* GetTeams() const { return m_teams; }

    void AddGlobalService(CGlobalService* service);
    /// First service (creation order) whose record is record or derives from it.
    CGlobalService* FindGlobalService(const CClassRecord* record) const;
    /// First service whose record is exactly record.
    CGlobalService* FindGlobalServiceExact(const CClassRecord* record) const;
    uint32_t GetGlobalServiceCount() const { return m_serviceCount; }
    CGlobalService* GetGlobalService(uint32_t i) const
    {
        return i < m_serviceCount ? m_services[i] : nullptr;
    }

    CDataSource* GetDataSource() const { return m_source; }
    CConfigNode* GetConfig() const { return m_config; }
    float GetOneMeter() const { return m_oneMeter; }
    uint32_t GetMaxEntity() const { return m_entityLimit; }
    uint32_t GetMaxTeam() const { return m_teamLimit; }
    /// Why the first wanted global service was left out (no definition, an
    /// unknown class, a refused definition); "" when every one was made.
    const char* GetLeftOutService() const { return m_leftOut; }
    uint32_t GetSlot() const { return m_slot; }
    void SetSlot(uint32_t slot) { m_slot = slot; }

  private:
    void CreateGlobalServices(CConfigNode* root);
    /// Warns that a service was left out and keeps the first such text.
    void LeaveOut(const char* format, const char* name, const char* className);

    CDataSource* m_source;
    CConfigNode* m_config = nullptr;
    float m_oneMeter = 1.0f;
    uint32_t m_entityLimit = 0;
    CFixedList<CEntity>* m_entities = nullptr;
    uint32_t m_teamLimit = 0;
    CFixedList<CTeam>* m_teams = nullptr;
    CGlobalService** m_services = nullptr;
    uint32_t m_serviceCount = 0;
    uint32_t m_serviceCapacity = 0;
    uint32_t m_slot = 0;
    bool m_started = false;
    char m_leftOut[192] = {};
};

/// Creates the world from root with source as its data source; it becomes the current
/// world. Null when the runtime is not started, every world slot is taken or the
/// configuration is refused. root and source must outlive the world.
CWorld* CreateWorldFromConfig(CConfigNode* root, CDataSource* source);
/// Destroys the world and frees its slot; false for null.
bool DestroyWorld(CWorld* world);
/// The current world or null.
CWorld* GetCurrentWorld();
/// The current world's entity with that identifier; null when unused, out of range or no world.
CEntity* GetEntityById(int32_t id);
/// The current world's OneMeter; 0 without a world.
float GetOneMeter();
/// The time manager's last frame start time (seconds).
float GetFrameStartTime();
/// Update of every world of the runtime.
void UpdateAllWorlds();

/// Reports (one text per problem) the world services listed under "GlobalServices" whose
/// raw-data blocks come before a block that an earlier listed service reads: the forward-only
/// ".AIS" reader has passed them by the time they are opened. Returns the number of problems.
int CheckRawDataOrder(const CConfigNode* root, void (*report)(const char* text, void* user), void* user);

/// Entity added / removed notices, shared by all worlds (the world argument is not used).
/// Called in registration order; unregistering removes the first matching pair.
void RegisterEntityAddedCallback(CWorld* world, AiEntityCallback fn, void* user);
void UnregisterEntityAddedCallback(CWorld* world, AiEntityCallback fn, void* user);
void RegisterEntityRemovedCallback(CWorld* world, AiEntityCallback fn, void* user);
void UnregisterEntityRemovedCallback(CWorld* world, AiEntityCallback fn, void* user);

} // namespace Zelk
