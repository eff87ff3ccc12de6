#include "ai/runtime/world.h"

#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime_state.h"
#include "ai/runtime/service.h"
#include "ai/runtime/team.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/warning.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace Zelk {

// ---- Entity callbacks ------------------------------------------------------------

namespace {

struct CallbackList
{
    AiEntityCallback* functions = nullptr;
    void** users = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;

    void Add(AiEntityCallback fn, void* user)
    {
        if (count == capacity) {
            uint32_t grown = capacity ? capacity * 2 : 16;
            auto* f = static_cast<AiEntityCallback*>(AiAlloc(sizeof(AiEntityCallback) * grown));
            auto* u = static_cast<void**>(AiAlloc(sizeof(void*) * grown));
            if (!f || !u) {
                AiFree(f);
                AiFree(u);
                return;
            }
            for (uint32_t i = 0; i < count; ++i) {
                f[i] = functions[i];
                u[i] = users[i];
            }
            AiFree(functions);
            AiFree(users);
            functions = f;
            users = u;
            capacity = grown;
        }
        functions[count] = fn;
        users[count] = user;
        ++count;
    }

    void Remove(AiEntityCallback fn, void* user)
    {
        for (uint32_t i = 0; i < count; ++i) {
            if (functions[i] == fn && users[i] == user) {
                for (uint32_t j = i + 1; j < count; ++j) {
                    functions[j - 1] = functions[j];
                    users[j - 1] = users[j];
                }
                --count;
                return;
            }
        }
    }

    void Call(CEntity* entity) const
    {
        for (uint32_t i = 0; i < count; ++i) {
            functions[i](entity, users[i]);
        }
    }

    void Clear()
    {
        AiFree(functions);
        AiFree(users);
        *this = CallbackList{};
    }
};

CallbackList& AddedCallbacks()
{
    static CallbackList list;
    return list;
}

CallbackList& RemovedCallbacks()
{
    static CallbackList list;
    return list;
}

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() && std::strcmp(node->GetKey(), key) == 0;
}

} // namespace

void RegisterEntityAddedCallback(CWorld*, AiEntityCallback fn, void* user)
{
    AddedCallbacks().Add(fn, user);
}

void UnregisterEntityAddedCallback(CWorld*, AiEntityCallback fn, void* user)
{
    AddedCallbacks().Remove(fn, user);
}

void RegisterEntityRemovedCallback(CWorld*, AiEntityCallback fn, void* user)
{
    RemovedCallbacks().Add(fn, user);
}

void UnregisterEntityRemovedCallback(CWorld*, AiEntityCallback fn, void* user)
{
    RemovedCallbacks().Remove(fn, user);
}

// ---- CWorld -----------------------------------------------------------------------

CWorld::CWorld(CDataSource* source) : m_source(source)
{
}

CWorld::~CWorld()
{
    if (m_teams) {
        while (m_teams->GetHead()) {
            CTeam* team = m_teams->GetHead()->item;
            m_teams->Unlink(m_teams->GetHead());
            delete team;
        }
        delete m_teams;
        m_teams = nullptr;
    }
    while (m_entities && m_entities->GetHead()) {
        DestroyEntity(m_entities->GetHead()->item);
    }
    // Entities created but never added die with the world too.
    if (CFixedList<CEntity>* pool = RuntimeState().entityPool) {
        while (pool->GetHead()) {
            DestroyEntity(pool->GetHead()->item);
        }
    }
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        delete m_services[i];
    }
    AiFree(m_services);
    delete m_entities;
    CTimeManager::Destroy();
    AddedCallbacks().Clear();
    RemovedCallbacks().Clear();
}

bool CWorld::ReadConfiguration(CConfigNode* root)
{
    m_config = root;
    if (!root) {
        return false;
    }
    const char* maxEntity = root->GetChildValue("MaxEntity");
    if (!maxEntity) {
        return false;
    }
    m_entityLimit = static_cast<uint32_t>(ConfigToInt(maxEntity));
    if (const char* maxTeam = root->GetChildValue("MaxTeam")) {
        const int32_t teams = ConfigToInt(maxTeam);
        if (teams < 0 || teams > kMaxTeamLimit) {
            AiWarning("world: \"MaxTeam\" %s is outside 0..%d (it would reserve %.0f bytes for team slots)",
                      maxTeam, kMaxTeamLimit, double(teams) * double(sizeof(void*) * 4));
            return false;
        }
        m_teamLimit = static_cast<uint32_t>(teams);
        m_teams = new CFixedList<CTeam>(m_teamLimit);
        if (!m_teams || m_teams->GetCapacity() != m_teamLimit) {
            return false;
        }
    }
    const char* oneMeter = root->GetChildValue("OneMeter");
    if (!oneMeter) {
        return false;
    }
    m_oneMeter = ConfigToFloat(oneMeter);
    if (!(m_oneMeter > 0.0f) || ConfigIsNonFiniteNumber(oneMeter)) {
        AiWarning("world: \"OneMeter\" %s is not a positive finite number of world units", oneMeter);
        return false;
    }
    // Unsigned comparison: a negative configured limit is lowered to the runtime's.
    if (m_entityLimit > AiGetSettings().entityLimit) {
        m_entityLimit = AiGetSettings().entityLimit;
    }
    m_entities = new CFixedList<CEntity>(m_entityLimit);
    if (!m_entities || m_entities->GetCapacity() != m_entityLimit) {
        return false;
    }

    CConfigNode* timeMgt = root->FindChild("TimeMgt");
    int32_t aperiodic = 0, periodic = 0;
    for (uint32_t i = 0; timeMgt && i < timeMgt->GetChildCount(); ++i) {
        aperiodic += IsKey(timeMgt->GetChild(i), "Aperiodic");
        periodic += IsKey(timeMgt->GetChild(i), "Periodic");
    }
    // Each task slot is a record of its own: a count beyond the limit is a
    // request for gigabytes, refused before anything is reserved.
    for (const char* key : {"MaxAperiodicTask", "MaxPeriodicTask"}) {
        const char* text = root->GetChildValue(key);
        const int32_t tasks = ConfigToInt(text, 0);
        if (text && (tasks < 0 || tasks > kMaxTaskLimit)) {
            AiWarning("world: \"%s\" %s is outside 0..%d", key, text, kMaxTaskLimit);
            return false;
        }
    }
    aperiodic = ConfigToInt(root->GetChildValue("MaxAperiodicTask"), aperiodic);
    periodic = ConfigToInt(root->GetChildValue("MaxPeriodicTask"), periodic);
    CTimeManager::SetCapacities(aperiodic, periodic);
    CTimeManager* timeManager = CTimeManager::Get();
    if (!timeManager) {
        return false;
    }
    const char* tpf = root->GetChildValue("Tpf");
    if (!tpf) {
        return false;
    }
    const float budget = ConfigToFloat(tpf, -1.0f);
    if (!(budget >= 0.0f)) {
        AiWarning("world: \"Tpf\" %s is not a finite number of milliseconds of 0 or more", tpf);
        return false;
    }
    timeManager->SetFrameBudget(budget * 0.001f);
    timeManager->ReadTaskTable(timeMgt);
    CreateGlobalServices(root);
    return true;
}

void CWorld::CreateGlobalServices(CConfigNode* root)
{
    CConfigNode* wanted = root->FindChild("GlobalServices");
    CConfigNode* library = root->FindChild("Services");
    if (!wanted || !library) {
        return;
    }
    CheckRawDataOrder(
        root, [](const char* text, void*) { AiWarning("%s", text); }, nullptr);
    for (uint32_t i = 0; i < wanted->GetChildCount(); ++i) {
        CConfigNode* entry = wanted->GetChild(i);
        if (!IsKey(entry, "Service") || !entry->GetValue()) {
            continue;
        }
        const char* name = entry->GetValue();
        CConfigNode* definition = library->FindNamedChild("Service", name);
        if (!definition) {
            LeaveOut("world service \"%s\" has no definition under \"Services\"%s; left out", name, "");
            continue;
        }
        const char* className = definition->GetChildValue("Class");
        CGlobalServiceClassRecord* record = CGlobalServiceClassRecord::Find(className);
        if (!record || !record->GetCreator()) {
            LeaveOut("world service \"%s\": unknown class \"%s\"; left out", name,
                     className ? className : "");
            continue;
        }
        CGlobalService* service = record->GetCreator()();
        if (service && service->Init(definition)) {
            AddGlobalService(service);
        } else {
            LeaveOut("world service \"%s\" (%s) refused its definition; left out", name, className);
            delete service;
        }
    }
}

void CWorld::LeaveOut(const char* format, const char* name, const char* className)
{
    char text[sizeof m_leftOut];
    std::snprintf(text, sizeof text, format, name, className);
    AiWarning("%s", text);
    if (m_leftOut[0] == 0) {
        std::snprintf(m_leftOut, sizeof m_leftOut, "%s", text);
    }
}

void CWorld::Start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    for (auto it = m_entities->Begin(); it.IsValid(); ++it) {
        CEntity* entity = it.Item();
        entity->Start();
        if (entity->GetBrain()) {
            entity->GetBrain()->Start(); // already started through the entity: does nothing
        }
    }
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        m_services[i]->Start();
    }
}

void CWorld::Update()
{
    CTimeManager* timeManager = CTimeManager::Peek();
    if (timeManager) {
        timeManager->BeginFrame();
    }
    for (auto it = m_entities->Begin(); it.IsValid(); ++it) {
        it.Item()->Update();
    }
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        m_services[i]->Update();
    }
    if (!timeManager) {
        return;
    }
    for (int32_t id = timeManager->NextEntity(); id >= 0; id = timeManager->NextEntity()) {
        CEntity* entity = m_entities->ItemAt(static_cast<uint32_t>(id));
        CBrain* brain = entity ? entity->GetBrain() : nullptr;
        if (brain && brain->Think() && brain->GetActionSet()) {
            brain->GetActionSet()->Apply(entity);
        }
    }
    timeManager->EndFrame();
}

bool CWorld::AddEntity(CEntity* entity)
{
    if (!entity || !m_entities || m_entities->IsFull()) {
        return false;
    }
    auto node = m_entities->Insert(entity);
    entity->SetWorldLink(this, node.GetNode());
    AddedCallbacks().Call(entity);
    return true;
}

bool CWorld::RemoveEntity(CEntity* entity)
{
    if (!entity || !entity->GetWorldNode() || entity->GetWorld() != this) {
        return false;
    }
    RemovedCallbacks().Call(entity);
    while (entity->GetTeams() && entity->GetTeams()->GetHead()) {
        CTeam* team = entity->GetTeams()->GetHead()->item;
        team->RemoveMember(entity);
        entity->LeaveTeam(team);
    }
    m_entities->Unlink(entity->GetWorldNode());
    entity->SetWorldLink(nullptr, nullptr);
    return true;
}

CEntity* CWorld::FindEntity(const char* name) const
{
    for (auto it = m_entities->Begin(); name && it.IsValid(); ++it) {
        if (std::strcmp(it.Item()->GetName(), name) == 0) {
            return it.Item();
        }
    }
    return nullptr;
}

CEntity* CWorld::GetEntityById(int32_t id) const
{
    return id >= 0 && m_entities ? m_entities->ItemAt(static_cast<uint32_t>(id)) : nullptr;
}

void CWorld::AddGlobalService(CGlobalService* service)
{
    if (!service) {
        return;
    }
    if (m_serviceCount == m_serviceCapacity) {
        uint32_t grown = m_serviceCapacity ? m_serviceCapacity * 2 : 8;
        auto* services = static_cast<CGlobalService**>(AiAlloc(sizeof(CGlobalService*) * grown));
        if (!services) {
            delete service;
            return;
        }
        for (uint32_t i = 0; i < m_serviceCount; ++i) {
            services[i] = m_services[i];
        }
        AiFree(m_services);
        m_services = services;
        m_serviceCapacity = grown;
    }
    m_services[m_serviceCount++] = service;
}

CGlobalService* CWorld::FindGlobalService(const CClassRecord* record) const
{
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        if (m_services[i]->GetClassRecord()->IsA(record)) {
            return m_services[i];
        }
    }
    return nullptr;
}

CGlobalService* CWorld::FindGlobalServiceExact(const CClassRecord* record) const
{
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        if (m_services[i]->GetClassRecord() == record) {
            return m_services[i];
        }
    }
    return nullptr;
}

// ---- The world table ------------------------------------------------------------------

CWorld* CreateWorldFromConfig(CConfigNode* root, CDataSource* source)
{
    AiRuntimeGlobals& g = RuntimeState();
    if (!g.initialised || !g.worldTable) {
        return nullptr;
    }
    uint32_t slot = 0;
    while (slot < g.settings.worldLimit && g.worldTable[slot]) {
        ++slot;
    }
    if (slot == g.settings.worldLimit) {
        return nullptr; // every slot is taken
    }
    uint32_t usedBefore = g.usedWorldSlots;
    if (slot >= g.usedWorldSlots) {
        g.usedWorldSlots = slot + 1;
    }
    auto* world = new CWorld(source);
    if (world) {
        g.currentWorld = world;
        if (world->ReadConfiguration(root)) {
            world->SetSlot(slot);
            g.worldTable[slot] = world;
            return world;
        }
        delete world;
    }
    g.currentWorld = nullptr;
    g.usedWorldSlots = usedBefore;
    return nullptr;
}

bool DestroyWorld(CWorld* world)
{
    if (!world) {
        return false;
    }
    AiRuntimeGlobals& g = RuntimeState();
    uint32_t slot = world->GetSlot();
    if (g.worldTable && slot < g.settings.worldLimit && g.worldTable[slot] == world) {
        g.worldTable[slot] = nullptr;
    }
    delete world;
    g.currentWorld = nullptr;
    return true;
}

CWorld* GetCurrentWorld()
{
    return RuntimeState().currentWorld;
}

CEntity* GetEntityById(int32_t id)
{
    CWorld* world = GetCurrentWorld();
    return world ? world->GetEntityById(id) : nullptr;
}

float GetOneMeter()
{
    CWorld* world = GetCurrentWorld();
    return world ? world->GetOneMeter() : 0.0f;
}

float GetFrameStartTime()
{
    return CTimeManager::GetFrameStartTime();
}

void UpdateAllWorlds()
{
    AiRuntimeGlobals& g = RuntimeState();
    for (uint32_t i = 0; g.worldTable && i < g.settings.worldLimit; ++i) {
        if (g.worldTable[i]) {
            g.worldTable[i]->Update();
        }
    }
}

void AiDestroyAllWorldsAndEntities()
{
    AiRuntimeGlobals& g = RuntimeState();
    for (uint32_t i = 0; g.worldTable && i < g.settings.worldLimit; ++i) {
        if (g.worldTable[i]) {
            DestroyWorld(g.worldTable[i]);
        }
    }
    while (g.entityPool && g.entityPool->GetHead()) {
        DestroyEntity(g.entityPool->GetHead()->item);
    }
}

} // namespace Zelk
