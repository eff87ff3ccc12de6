#include "ai/runtime/time_manager.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/team.h"
#include "ai/runtime/world.h"

#include <algorithm>
#include <cfloat>
#include <cstring>

namespace Zelk {

namespace {

struct TimeGlobals
{
    CTimeManager* instance = nullptr;
    int32_t aperiodicCapacity = 0;
    int32_t periodicCapacity = 0;
    float frameStart = 0.0f;
};

TimeGlobals& Globals()
{
    static TimeGlobals globals;
    return globals;
}

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() && std::strcmp(node->GetKey(), key) == 0;
}

} // namespace

CTimeManager* CTimeManager::Get()
{
    TimeGlobals& g = Globals();
    if (!g.instance) {
        CWorld* world = GetCurrentWorld();
        auto* tm = new CTimeManager(g.aperiodicCapacity, g.periodicCapacity,
                                    world ? world->GetMaxEntity() : 0, world ? world->GetMaxTeam() : 0);
        if (tm && !tm->Allocate()) {
            delete tm;
            tm = nullptr;
        }
        g.instance = tm;
    }
    return g.instance;
}

CTimeManager* CTimeManager::Peek()
{
    return Globals().instance;
}

void CTimeManager::Destroy()
{
    TimeGlobals& g = Globals();
    delete g.instance;
    g = TimeGlobals{};
}

void CTimeManager::SetCapacities(int32_t aperiodic, int32_t periodic)
{
    Globals().aperiodicCapacity = aperiodic > 0 ? aperiodic : 0;
    Globals().periodicCapacity = periodic > 0 ? periodic : 0;
}

float CTimeManager::GetFrameStartTime()
{
    return Globals().frameStart;
}

CTimeManager::CTimeManager(int32_t aperiodicCapacity, int32_t periodicCapacity, uint32_t entityLimit,
                           uint32_t teamLimit)
    : m_aperiodicCapacity(aperiodicCapacity), m_periodicCapacity(periodicCapacity),
      m_entityLimit(entityLimit), m_teamLimit(teamLimit)
{
}

bool CTimeManager::Allocate()
{
    const std::size_t a = m_aperiodicCapacity, p = m_periodicCapacity;
    if (a) {
        m_aperiodic = static_cast<AperiodicTask*>(AiAlloc(sizeof(AperiodicTask) * a));
        if (!m_aperiodic) {
            return false;
        }
    }
    if (p) {
        m_periodic = static_cast<PeriodicTask*>(AiAlloc(sizeof(PeriodicTask) * p));
        if (!m_periodic) {
            return false;
        }
    }
    for (std::size_t i = 0; i < a; ++i) {
        m_aperiodic[i] = AperiodicTask{nullptr, 60.0f, 10, 0.0f, 0.0f, 0};
    }
    for (std::size_t i = 0; i < p; ++i) {
        m_periodic[i] = PeriodicTask{nullptr, 0.1f};
    }
    // Every per-record float array lives in one arena, allocated once.
    std::size_t floats = m_entityLimit * (2 * a + p) + m_teamLimit * (a + p);
    if (floats) {
        m_arena = static_cast<float*>(AiAlloc(sizeof(float) * floats));
        if (!m_arena) {
            return false;
        }
    }
    float* next = m_arena;
    auto take = [&next](std::size_t n) {
        float* block = next;
        next += n;
        return block;
    };
    if (m_entityLimit) {
        m_entities = static_cast<EntityRecord*>(AiAlloc(sizeof(EntityRecord) * m_entityLimit));
        m_order = static_cast<int32_t*>(AiAlloc(sizeof(int32_t) * m_entityLimit));
        if (!m_entities || !m_order) {
            return false;
        }
        for (uint32_t e = 0; e < m_entityLimit; ++e) {
            EntityRecord& r = m_entities[e];
            r.waiting = take(a);
            r.start = take(a);
            r.lastRun = take(p);
            r.totalWaiting = 0.0f;
            r.priority = 1.0f;
            for (std::size_t i = 0; i < a; ++i) {
                r.waiting[i] = 0.0f;
                r.start[i] = 0.0f;
            }
            // The first runs of an entity's periodic tasks fall 10 ms apart.
            for (std::size_t i = 0; i < p; ++i) {
                r.lastRun[i] = -0.01f * static_cast<float>(i);
            }
            m_order[e] = static_cast<int32_t>(e);
        }
    }
    if (m_teamLimit) {
        m_teams = static_cast<TeamRecord*>(AiAlloc(sizeof(TeamRecord) * m_teamLimit));
        if (!m_teams) {
            return false;
        }
        for (uint32_t t = 0; t < m_teamLimit; ++t) {
            m_teams[t].start = take(a);
            m_teams[t].lastRun = take(p);
            for (std::size_t i = 0; i < a; ++i) {
                m_teams[t].start[i] = 0.0f;
            }
            for (std::size_t i = 0; i < p; ++i) {
                m_teams[t].lastRun[i] = -0.01f * static_cast<float>(i);
            }
        }
    }
    return true;
}

CTimeManager::~CTimeManager()
{
    for (int32_t i = 0; i < m_aperiodicCount; ++i) {
        AiFree(m_aperiodic[i].name);
    }
    for (int32_t i = 0; i < m_periodicCount; ++i) {
        AiFree(m_periodic[i].name);
    }
    AiFree(m_aperiodic);
    AiFree(m_periodic);
    AiFree(m_entities);
    AiFree(m_teams);
    AiFree(m_order);
    AiFree(m_arena);
}

int32_t CTimeManager::AddAperiodicTask(const char* name)
{
    if (!name || m_aperiodicCount >= m_aperiodicCapacity) {
        return -1;
    }
    char* copy = AiStrDup(name);
    if (!copy) {
        return -1;
    }
    m_aperiodic[m_aperiodicCount].name = copy;
    return m_aperiodicCount++;
}

int32_t CTimeManager::AddPeriodicTask(const char* name)
{
    if (!name || m_periodicCount >= m_periodicCapacity) {
        return -1;
    }
    char* copy = AiStrDup(name);
    if (!copy) {
        return -1;
    }
    m_periodic[m_periodicCount].name = copy;
    return m_periodicCount++;
}

void CTimeManager::ReadTaskTable(const CConfigNode* timeMgt)
{
    for (uint32_t i = 0; timeMgt && i < timeMgt->GetChildCount(); ++i) {
        const CConfigNode* child = timeMgt->GetChild(i);
        if (!child->GetName()) {
            continue;
        }
        if (IsKey(child, "Aperiodic")) {
            int32_t task = AddAperiodicTask(child->GetName());
            if (task >= 0) {
                SetAperiodicPriority(task, ConfigToFloat(child->GetChildValue("Priority"), 0.0f));
                SetAperiodicBudget(task, ConfigToFloat(child->GetChildValue("Tpf"), 0.0f) * 0.001f);
                SetAperiodicMaxCall(task, ConfigToInt(child->GetChildValue("MaxCall"), 0));
            }
        } else if (IsKey(child, "Periodic")) {
            int32_t task = AddPeriodicTask(child->GetName());
            const char* period = child->GetChildValue("Period");
            if (task >= 0) {
                SetPeriodicPeriod(task, period ? ConfigToFloat(period) * 0.001f : 1000000.0f);
            }
        }
    }
}

void CTimeManager::SetAperiodicPriority(int32_t task, float priority)
{
    if (ValidAperiodic(task)) {
        m_aperiodic[task].priority = priority;
    }
}

void CTimeManager::SetAperiodicBudget(int32_t task, float seconds)
{
    if (ValidAperiodic(task)) {
        m_aperiodic[task].budget = seconds;
    }
}

void CTimeManager::SetAperiodicMaxCall(int32_t task, int32_t maxCall)
{
    if (ValidAperiodic(task)) {
        m_aperiodic[task].maxCall = maxCall;
    }
}

void CTimeManager::SetPeriodicPeriod(int32_t task, float seconds)
{
    if (ValidPeriodic(task)) {
        m_periodic[task].period = seconds;
    }
}

int32_t CTimeManager::FindAperiodicTask(const char* name) const
{
    for (int32_t i = 0; name && i < m_aperiodicCount; ++i) {
        if (std::strcmp(m_aperiodic[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

int32_t CTimeManager::FindPeriodicTask(const char* name) const
{
    for (int32_t i = 0; name && i < m_periodicCount; ++i) {
        if (std::strcmp(m_periodic[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

int32_t CTimeManager::EntityIndex(const CEntity* entity) const
{
    int32_t id = entity ? entity->GetId() : -1;
    return id >= 0 && static_cast<uint32_t>(id) < m_entityLimit ? id : -1;
}

int32_t CTimeManager::TeamIndex(const CTeam* team) const
{
    int32_t id = team ? team->GetId() : -1;
    return id >= 0 && static_cast<uint32_t>(id) < m_teamLimit ? id : -1;
}

bool CTimeManager::FrameExceeded(float* now)
{
    if (m_frameExceeded) {
        return true; // no clock reading once the frame is found exceeded
    }
    *now = AiClockNow();
    m_frameExceeded = (*now - Globals().frameStart) > m_frameBudget;
    return m_frameExceeded;
}

bool CTimeManager::TaskHasRoom(int32_t task) const
{
    const AperiodicTask& t = m_aperiodic[task];
    return t.calls < t.maxCall && t.spent <= t.budget;
}

bool CTimeManager::CanRunAperiodicTask(int32_t task, const CEntity* entity)
{
    if (m_frameBudget <= 0.0f) {
        return true;
    }
    int32_t id = EntityIndex(entity);
    if (!ValidAperiodic(task) || id < 0) {
        return false;
    }
    EntityRecord& r = m_entities[id];
    float now = 0.0f;
    if (FrameExceeded(&now) || !TaskHasRoom(task)) {
        r.waiting[task] += m_aperiodic[task].priority;
        return false;
    }
    ++m_aperiodic[task].calls;
    r.waiting[task] = 0.0f;
    r.start[task] = now;
    return true;
}

void CTimeManager::EndAperiodicTask(int32_t task, const CEntity* entity)
{
    int32_t id = EntityIndex(entity);
    if (m_frameBudget > 0.0f && ValidAperiodic(task) && id >= 0) {
        m_aperiodic[task].spent += AiClockNow() - m_entities[id].start[task];
    }
}

bool CTimeManager::IsPeriodicTaskDue(int32_t task, const CEntity* entity)
{
    int32_t id = EntityIndex(entity);
    if (!ValidPeriodic(task) || id < 0) {
        return false;
    }
    float& lastRun = m_entities[id].lastRun[task];
    if (lastRun + m_periodic[task].period < Globals().frameStart) {
        lastRun = Globals().frameStart;
        return true;
    }
    return false;
}

void CTimeManager::MarkPeriodicTaskRun(int32_t task, const CEntity* entity)
{
    int32_t id = EntityIndex(entity);
    if (ValidPeriodic(task) && id >= 0) {
        m_entities[id].lastRun[task] = Globals().frameStart;
    }
}

float CTimeManager::GetRemainingFrameTime(int32_t task) const
{
    if (!ValidAperiodic(task)) {
        return 0.0f;
    }
    if (m_frameBudget <= 0.0f) {
        return FLT_MAX;
    }
    float frameLeft = m_frameBudget - (AiClockNow() - Globals().frameStart);
    float taskLeft = m_aperiodic[task].budget - m_aperiodic[task].spent;
    if (frameLeft >= 0.0f && taskLeft >= 0.0f) {
        return frameLeft < taskLeft ? frameLeft : taskLeft;
    }
    return 0.0f;
}

void CTimeManager::SetCurrentEntity(const CEntity* entity)
{
    m_currentEntity = EntityIndex(entity);
}

void CTimeManager::SetEntityPriority(int32_t id, float factor)
{
    if (id >= 0 && static_cast<uint32_t>(id) < m_entityLimit) {
        m_entities[id].priority = factor;
    }
}

float CTimeManager::GetEntityPriority(int32_t id) const
{
    return id >= 0 && static_cast<uint32_t>(id) < m_entityLimit ? m_entities[id].priority : 0.0f;
}

float CTimeManager::GetEntityWaitingWeight(int32_t id) const
{
    return id >= 0 && static_cast<uint32_t>(id) < m_entityLimit ? m_entities[id].totalWaiting : 0.0f;
}

bool CTimeManager::CanRunTeamAperiodicTask(int32_t task, const CTeam* team)
{
    if (m_frameBudget <= 0.0f) {
        return true;
    }
    int32_t id = TeamIndex(team);
    if (!ValidAperiodic(task) || id < 0) {
        return false;
    }
    float now = 0.0f;
    bool admitted = !FrameExceeded(&now) && TaskHasRoom(task);
    if (admitted) {
        ++m_aperiodic[task].calls;
        m_teams[id].start[task] = now;
    }
    for (auto it = team->GetMembers().Begin(); it.IsValid(); ++it) {
        int32_t member = EntityIndex(it.Item());
        if (member < 0) {
            continue;
        }
        if (admitted) {
            m_entities[member].waiting[task] = 0.0f;
            m_entities[member].start[task] = now;
        } else {
            m_entities[member].waiting[task] += m_aperiodic[task].priority;
        }
    }
    return admitted;
}

void CTimeManager::EndTeamAperiodicTask(int32_t task, const CTeam* team)
{
    int32_t id = TeamIndex(team);
    if (m_frameBudget > 0.0f && ValidAperiodic(task) && id >= 0) {
        m_aperiodic[task].spent += AiClockNow() - m_teams[id].start[task];
    }
}

bool CTimeManager::IsTeamPeriodicTaskDue(int32_t task, const CTeam* team)
{
    int32_t id = TeamIndex(team);
    if (!ValidPeriodic(task) || id < 0) {
        return false;
    }
    float& lastRun = m_teams[id].lastRun[task];
    if (lastRun + m_periodic[task].period < Globals().frameStart) {
        lastRun = Globals().frameStart;
        return true;
    }
    return false;
}

void CTimeManager::MarkTeamPeriodicTaskRun(int32_t task, const CTeam* team)
{
    int32_t id = TeamIndex(team);
    if (ValidPeriodic(task) && id >= 0) {
        m_teams[id].lastRun[task] = Globals().frameStart;
    }
}

bool CTimeManager::CanRunGlobalAperiodicTask(int32_t task)
{
    if (m_frameBudget <= 0.0f) {
        return true;
    }
    if (!ValidAperiodic(task)) {
        return false;
    }
    float now = 0.0f;
    if (FrameExceeded(&now) || !TaskHasRoom(task)) {
        return false;
    }
    ++m_aperiodic[task].calls;
    return true;
}

int CTimeManager::Compare(int32_t a, int32_t b) const
{
    if (a == b) {
        return 0;
    }
    if (a == m_currentEntity) {
        return -1;
    }
    if (b == m_currentEntity) {
        return 1;
    }
    float ka = m_entities[a].priority * m_entities[a].totalWaiting;
    float kb = m_entities[b].priority * m_entities[b].totalWaiting;
    return ka > kb ? -1 : (ka < kb ? 1 : 0);
}

void CTimeManager::BeginFrame()
{
    Globals().frameStart = AiClockNow();
    for (int32_t i = 0; i < m_aperiodicCount; ++i) {
        m_aperiodic[i].spent = 0.0f;
        m_aperiodic[i].calls = 0;
    }
    for (uint32_t e = 0; e < m_entityLimit; ++e) {
        float total = 0.0f;
        for (int32_t i = 0; i < m_aperiodicCount; ++i) {
            total += m_entities[e].waiting[i];
        }
        m_entities[e].totalWaiting = total;
    }
    if (m_entityLimit) {
        std::sort(m_order, m_order + m_entityLimit,
                  [this](int32_t a, int32_t b) { return Compare(a, b) < 0; });
    }
    m_currentEntity = -1;
    m_cursor = 0;
    m_frameExceeded = false;
}

bool CTimeManager::IsEntityInUse(int32_t id) const
{
    CWorld* world = GetCurrentWorld();
    return world && world->GetEntities().ItemAt(static_cast<uint32_t>(id)) != nullptr;
}

int32_t CTimeManager::NextEntity()
{
    while (m_cursor < m_entityLimit) {
        int32_t id = m_order[m_cursor++];
        if (IsEntityInUse(id)) {
            return id;
        }
    }
    return -1;
}

} // namespace Zelk
