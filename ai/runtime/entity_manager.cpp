#include "ai/runtime/entity_manager.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/sound_manager.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"

#include <cmath>
#include <cstring>
#include <new>

namespace Zelk {

namespace {

constexpr const char* kCommonInfoTask = "Zelk::CEntityManager::ComputeCommonInfo";
constexpr float kLargestFloat = 3.4028235e38f;

// Values between two entities, shared by every manager of the process. The pair of slots
// (a, b) with a > b has the index a(a-1)/2 + b.
struct SharedPairTables
{
    uint32_t slots = 0; // entity capacity the tables were made for
    uint64_t pairs = 0;
    uint8_t* blocked = nullptr;
    float* distance = nullptr;
    float* nextDistanceTime = nullptr;
    float* nextVisibilityTime = nullptr;
    int32_t liveManagers = 0;

    bool Exist() const { return blocked != nullptr; }
    void Clear()
    {
        std::memset(blocked, 0, pairs);
        std::memset(distance, 0, pairs * sizeof(float));
        std::memset(nextDistanceTime, 0, pairs * sizeof(float));
        std::memset(nextVisibilityTime, 0, pairs * sizeof(float));
    }
    void Free()
    {
        AiFree(blocked);
        AiFree(distance);
        AiFree(nextDistanceTime);
        AiFree(nextVisibilityTime);
        *this = SharedPairTables{0, 0, nullptr, nullptr, nullptr, nullptr, liveManagers};
    }
    bool Create(uint32_t capacity)
    {
        const uint64_t count = static_cast<uint64_t>(capacity) * (capacity - 1) / 2;
        slots = capacity;
        pairs = count;
        blocked = static_cast<uint8_t*>(AiAlloc(count));
        distance = static_cast<float*>(AiAlloc(count * sizeof(float)));
        nextDistanceTime = static_cast<float*>(AiAlloc(count * sizeof(float)));
        nextVisibilityTime = static_cast<float*>(AiAlloc(count * sizeof(float)));
        if (!blocked || !distance || !nextDistanceTime || !nextVisibilityTime) {
            Free();
            return false;
        }
        Clear();
        return true;
    }
    /// Index of the pair, -1 when a slot lies outside the tables or i == j.
    int64_t Index(int32_t i, int32_t j) const
    {
        if (!Exist() || i == j || i < 0 || j < 0 || static_cast<uint32_t>(i) >= slots ||
            static_cast<uint32_t>(j) >= slots) {
            return -1;
        }
        const int64_t a = i > j ? i : j;
        const int64_t b = i > j ? j : i;
        return a * (a - 1) / 2 + b;
    }
};

SharedPairTables& Shared()
{
    static SharedPairTables tables;
    return tables;
}

CService* CreateEntityManager(CBrain* brain)
{
    return new CEntityManager(brain);
}

float Now()
{
    return GetFrameStartTime();
}

CVec3 EyeOf(const CEntity* entity)
{
    const auto* eye = entity->GetAttribute<CEntityEyePosition>();
    return eye ? eye->GetVector() : entity->GetPosition();
}

int32_t SideOf(const CEntity* entity)
{
    const auto* side = entity->GetAttribute<CEntityTeamSide>();
    return side ? side->GetValue() : -1;
}

} // namespace

CServiceClassRecord CEntityManager::s_classRecord("CEntityManager", &CreateEntityManager, nullptr, true,
                                                  true);

CEntityManager::CEntityManager(CBrain* brain) : CService(brain)
{
    ++Shared().liveManagers;
}

CEntityManager::~CEntityManager()
{
    if (m_registered) {
        UnregisterEntityAddedCallback(nullptr, &CEntityManager::OnEntityAdded, this);
        UnregisterEntityRemovedCallback(nullptr, &CEntityManager::OnEntityRemoved, this);
    }
    for (uint32_t i = 0; i < m_recordCount; ++i) {
        m_records[i].~CEntityInfo();
    }
    AiFree(m_records);
    SharedPairTables& shared = Shared();
    if (--shared.liveManagers == 0) {
        shared.Free();
    }
}

bool CEntityManager::ReadParameter(CConfigNode* node)
{
    if (!node || !node->GetKey() || !node->GetValue()) {
        return false;
    }
    if (std::strcmp(node->GetKey(), "ComputeInfoDelay") == 0) {
        m_infoDelay = ConfigToFloat(node->GetValue());
        return true;
    }
    if (std::strcmp(node->GetKey(), "ComputeCommonInfoDelay") == 0) {
        m_commonDelay = ConfigToFloat(node->GetValue());
        return true;
    }
    return false;
}

bool CEntityManager::Init(CConfigNode* node)
{
    if (!CService::Init(node) || m_records) {
        return false;
    }
    // The brain is made before its entity joins a world: the current world sizes the records.
    CWorld* world = GetCurrentWorld();
    if (!world) {
        return false;
    }
    const uint32_t capacity = world->GetMaxEntity();
    if (capacity > 0) {
        m_records = static_cast<CEntityInfo*>(AiAlloc(sizeof(CEntityInfo) * capacity));
        if (!m_records) {
            return false;
        }
        for (uint32_t i = 0; i < capacity; ++i) {
            new (&m_records[i]) CEntityInfo();
        }
    }
    m_recordCount = capacity;
    SharedPairTables& shared = Shared();
    if (!shared.Exist() && capacity >= 2 && !shared.Create(capacity)) {
        return false;
    }
    m_soundManager = static_cast<CSoundManager*>(world->FindGlobalService(&CSoundManager::s_classRecord));
    CTimeManager* timeManager = CTimeManager::Peek();
    m_task = timeManager ? timeManager->FindAperiodicTask(kCommonInfoTask) : -1;
    if (m_task < 0) {
        return false;
    }
    for (bool& rescan : m_rescan) {
        rescan = true;
    }
    RegisterEntityAddedCallback(world, &CEntityManager::OnEntityAdded, this);
    RegisterEntityRemovedCallback(world, &CEntityManager::OnEntityRemoved, this);
    m_registered = true;
    return true;
}

void CEntityManager::Start()
{
    SharedPairTables& shared = Shared();
    if (shared.Exist()) {
        shared.Clear();
    }
    for (uint32_t i = 0; i < m_recordCount; ++i) {
        m_records[i] = CEntityInfo();
    }
    for (bool& rescan : m_rescan) {
        rescan = true;
    }
}

void CEntityManager::ResetRecord(CEntityInfo& info, const CEntity* entity)
{
    info = CEntityInfo();
    info.entity = entity;
}

void CEntityManager::ComputeCommonInfo(int32_t i, int32_t j, bool needVisibility)
{
    SharedPairTables& shared = Shared();
    const int64_t pair = shared.Index(i, j);
    CWorld* world = GetBrain()->GetEntity()->GetWorld();
    if (pair < 0 || !world) {
        return;
    }
    const CEntity* a = world->GetEntityById(i);
    const CEntity* b = world->GetEntityById(j);
    if (!a || !b) {
        return;
    }
    const float now = Now();
    if (shared.nextDistanceTime[pair] < now) {
        shared.distance[pair] = (b->GetPosition() - a->GetPosition()).Length();
        shared.nextDistanceTime[pair] = now + m_commonDelay;
    }
    if (needVisibility && shared.nextVisibilityTime[pair] < now) {
        shared.blocked[pair] = IsVisible(EyeOf(a), EyeOf(b), a, 1) ? 0 : 1;
        shared.nextVisibilityTime[pair] = now + m_commonDelay;
    }
}

bool CEntityManager::Refresh(int32_t slot, const CEntity* other)
{
    const CEntity* owner = GetBrain()->GetEntity();
    if (!other || other == owner || slot < 0 || static_cast<uint32_t>(slot) >= m_recordCount ||
        (other->GetClassMask() & s_classRecord.GetClassBit()) == 0) {
        return false;
    }
    CEntityInfo& info = m_records[slot];
    if (info.entity != other) {
        ResetRecord(info, other); // a new occupant of the slot inherits nothing
    }
    info.outOfPlay = (other->GetFlags() & kEntityFlagOutOfPlay) != 0;
    const float now = Now();
    const bool needVisibility =
        (m_wantVisibilityAll || (info.otherSide && m_wantVisibilityEnemies)) && info.nextVisibilityTime < now;
    const bool needInfo = info.nextInfoTime < now;
    // Only ask for the task when there is something to compute, so that records which are
    // still valid do not use up the task's admissions for this frame.
    CTimeManager* timeManager = CTimeManager::Peek();
    if ((needInfo || needVisibility) && timeManager && timeManager->CanRunAperiodicTask(m_task, owner)) {
        ComputeCommonInfo(owner->GetId(), slot, needVisibility);
        timeManager->EndAperiodicTask(m_task, owner);
    }
    const SharedPairTables& shared = Shared();
    const int64_t pair = shared.Index(owner->GetId(), slot);
    // A pair time of 0 means never computed (or reset when an entity left its slot).
    const bool distanceReady = pair >= 0 && shared.nextDistanceTime[pair] > 0.0f;
    const bool sightReady = pair >= 0 && shared.nextVisibilityTime[pair] > 0.0f;
    if (needInfo) {
        const int32_t ownSide = SideOf(owner);
        const int32_t otherSide = SideOf(other);
        info.otherSide = ownSide != -1 && otherSide != -1 && ownSide != otherSide;
        info.heard = m_soundManager && m_soundManager->IsEntityHeard(owner, other);
        if (distanceReady) {
            info.distance = shared.distance[pair];
            info.hasInfo = true;
            info.nextInfoTime = now + m_infoDelay;
        }
    }
    if (needVisibility && sightReady) {
        info.blocked = shared.blocked[pair] != 0;
        const auto* vision = owner->GetAttribute<CEntityVisualAcuteness>();
        if (!vision) {
            info.visible = !info.blocked;
        } else {
            const auto* head = owner->GetAttribute<CEntityHeadDirection>();
            const CVec3 view = head ? head->GetVector() : owner->GetDirection();
            info.visible = !info.blocked && IsInVisionCone(EyeOf(other), EyeOf(owner), view,
                                                           vision->GetAngle(), vision->GetRange());
        }
        info.hasVisibility = true;
        info.nextVisibilityTime = now + m_infoDelay;
    }
    return (needInfo && distanceReady) || (needVisibility && sightReady);
}

CEntity* CEntityManager::Query(EResult result)
{
    m_wantVisibilityAll = result == kVisible || result == kUnblocked;
    m_wantVisibilityEnemies = result == kVisibleEnemy || result == kUnblockedEnemy;
    m_results[result] = nullptr;
    if (result == kNearest || result == kEnemy) {
        m_rescan[kRescanAll] = true;
    } else if (m_wantVisibilityAll) {
        m_rescan[kRescanVisible] = true;
    } else {
        m_rescan[kRescanEnemies] = true;
    }

    float best[kResultCount];
    for (float& b : best) {
        b = kLargestFloat;
    }
    const CEntity* owner = GetBrain()->GetEntity();
    CWorld* world = owner->GetWorld();
    const uint32_t bit = s_classRecord.GetClassBit();
    auto consider = [&](EResult which, CEntity* entity, float d) {
        if (!m_results[which] || d < best[which]) {
            m_results[which] = entity;
            best[which] = d;
        }
    };
    const bool anyRescan = m_rescan[kRescanAll] || m_rescan[kRescanVisible] || m_rescan[kRescanEnemies];
    for (auto it = world ? world->GetEntities().Begin() : CFixedList<CEntity>::Iterator(); it.IsValid();
         ++it) {
        CEntity* other = it.Item();
        if (other == owner || (other->GetClassMask() & bit) == 0) {
            continue;
        }
        const int32_t slot = other->GetId();
        if (slot < 0 || static_cast<uint32_t>(slot) >= m_recordCount ||
            (!Refresh(slot, other) && !anyRescan)) {
            continue;
        }
        const CEntityInfo& info = m_records[slot];
        if (!info.hasInfo) {
            continue;
        }
        const float d = info.distance;
        if (info.visible) {
            consider(kVisible, other, d);
            if (info.otherSide) {
                consider(kVisibleEnemy, other, d);
            }
        }
        if (info.hasVisibility && !info.blocked) {
            consider(kUnblocked, other, d);
            if (info.otherSide) {
                consider(kUnblockedEnemy, other, d);
            }
        }
        consider(kNearest, other, d);
        if (info.otherSide) {
            consider(kEnemy, other, d);
        }
    }
    m_rescan[kRescanAll] = false;
    if (m_wantVisibilityAll) {
        m_rescan[kRescanVisible] = false;
    }
    if (m_wantVisibilityEnemies) {
        m_rescan[kRescanEnemies] = false;
    }
    return m_results[result];
}

CEntity* CEntityManager::GetNearestVisibleEntity()
{
    return Query(kVisible);
}

CEntity* CEntityManager::GetNearestUnblockedEntity()
{
    return Query(kUnblocked);
}

CEntity* CEntityManager::GetNearestEntity()
{
    return Query(kNearest);
}

CEntity* CEntityManager::GetNearestVisibleEnemy()
{
    return Query(kVisibleEnemy);
}

CEntity* CEntityManager::GetNearestUnblockedEnemy()
{
    return Query(kUnblockedEnemy);
}

CEntity* CEntityManager::GetNearestEnemy()
{
    return Query(kEnemy);
}

CEntity* CEntityManager::FindNearestEntity(uint32_t classBits, bool skipOutOfPlay)
{
    const CEntity* owner = GetBrain()->GetEntity();
    CWorld* world = owner->GetWorld();
    if (!world) {
        return nullptr;
    }
    const uint32_t bit = s_classRecord.GetClassBit();
    CEntity* nearest = nullptr;
    float best = kLargestFloat;
    for (auto it = world->GetEntities().Begin(); it.IsValid(); ++it) {
        CEntity* other = it.Item();
        if (other == owner || (other->GetClassMask() & bit) == 0 ||
            (other->GetClassMask() & classBits) == 0) {
            continue;
        }
        const int32_t slot = other->GetId();
        if (slot < 0 || static_cast<uint32_t>(slot) >= m_recordCount) {
            continue;
        }
        Refresh(slot, other);
        const CEntityInfo& info = m_records[slot];
        if (!info.hasInfo || (skipOutOfPlay && info.outOfPlay)) {
            continue;
        }
        if (!nearest || info.distance < best) {
            nearest = other;
            best = info.distance;
        }
    }
    return nearest;
}

const CEntityInfo* CEntityManager::GetEntityInfo(const CEntity* entity)
{
    m_wantVisibilityAll = true;
    m_wantVisibilityEnemies = true;
    if (!entity) {
        return m_recordCount > 0 ? &m_records[0] : nullptr;
    }
    const int32_t slot = entity->GetId();
    if (slot < 0 || static_cast<uint32_t>(slot) >= m_recordCount ||
        entity->GetWorld() != GetBrain()->GetEntity()->GetWorld()) {
        return nullptr;
    }
    Refresh(slot, entity);
    return &m_records[slot];
}

bool CEntityManager::IsOutOfPlay(const CEntity* entity) const
{
    if (!entity) {
        return true;
    }
    // A removed entity may have been destroyed since: decide from the record, without touching it.
    for (uint32_t i = 0; i < m_recordCount; ++i) {
        if (m_records[i].entity == entity && m_records[i].leftWorld) {
            return true;
        }
    }
    return !entity->GetWorld() || (entity->GetFlags() & kEntityFlagOutOfPlay) != 0;
}

void CEntityManager::OnEntityAdded(CEntity* entity, void* user)
{
    // An entity back in the world is in play again, whichever slot it takes.
    auto* self = static_cast<CEntityManager*>(user);
    for (uint32_t i = 0; i < self->m_recordCount; ++i) {
        if (self->m_records[i].entity == entity) {
            self->ResetRecord(self->m_records[i], nullptr);
        }
    }
}

void CEntityManager::OnEntityRemoved(CEntity* entity, void* user)
{
    auto* self = static_cast<CEntityManager*>(user);
    for (CEntity*& result : self->m_results) {
        if (result == entity) {
            result = nullptr;
            self->m_rescan[kRescanAll] = true;
        }
    }
    const int32_t slot = entity->GetId();
    if (slot < 0 || static_cast<uint32_t>(slot) >= self->m_recordCount) {
        return;
    }
    CEntityInfo& info = self->m_records[slot];
    self->ResetRecord(info, entity);
    info.leftWorld = true;
    // Pair values of the slot are stale for whichever entity takes it next.
    SharedPairTables& shared = Shared();
    for (uint32_t other = 0; other < shared.slots; ++other) {
        const int64_t pair = shared.Index(slot, static_cast<int32_t>(other));
        if (pair >= 0) {
            shared.nextDistanceTime[pair] = 0.0f;
            shared.nextVisibilityTime[pair] = 0.0f;
        }
    }
}

bool CheckEntityAndSoundManagersRegistered()
{
    return CEntityManager::s_classRecord.GetIndex() != -1 && CSoundManager::s_classRecord.GetIndex() != -1;
}

} // namespace Zelk
