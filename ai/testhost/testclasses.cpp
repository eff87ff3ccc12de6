#include "ai/testhost/testclasses.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/data_source.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

TestTraceSink g_trace = nullptr;
void* g_traceUser = nullptr;
float g_frameStep = 1.0f / 30.0f;

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Trace(const char* format, ...)
{
    if (!g_trace) {
        return;
    }
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    g_trace(line, g_traceUser);
}

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() && std::strcmp(node->GetKey(), key) == 0;
}

CEntity* CreateTestEntity(const char* name, void* hostObject)
{
    return new CTestEntity(name, hostObject);
}

CActionSet* CreateTestActionClass()
{
    return new CTestActionClass;
}

CBrain* CreateTestBrain(CEntity* entity, const CActionClassRecord* actionClass)
{
    return new CTestBrain(entity, actionClass);
}

CAgent* CreateTestGotoAgent(CBrain* brain)
{
    return new CTestGotoAgent(brain);
}

CService* CreateTestCounterService(CBrain* brain)
{
    return new CTestCounterService(brain);
}

CGlobalService* CreateTestGlobalService()
{
    return new CTestGlobalService;
}

} // namespace

CEntityClassRecord CTestEntity::s_classRecord("CTestEntity", &CreateTestEntity);
CActionClassRecord CTestActionClass::s_classRecord("CTestActionClass", &CreateTestActionClass);
CBrainClassRecord CTestBrain::s_classRecord("CTestBrain", &CreateTestBrain);
CAgentClassRecord CTestGotoAgent::s_classRecord("CTestGotoAgent", &CreateTestGotoAgent);
CServiceClassRecord CTestCounterService::s_classRecord("CTestCounterService", &CreateTestCounterService);
CGlobalServiceClassRecord CTestGlobalService::s_classRecord("CTestGlobalService", &CreateTestGlobalService);

void SetTestTrace(TestTraceSink sink, void* user)
{
    g_trace = sink;
    g_traceUser = user;
}

void SetTestFrameStep(float seconds)
{
    g_frameStep = seconds;
}

float GetTestFrameStep()
{
    return g_frameStep;
}

// ---- CTestEntity ------------------------------------------------------------------------

bool CTestEntity::Init(CConfigNode* config)
{
    float k = GetOneMeter();
    SetPosition(CVec3(ConfigToFloat(config->GetChildValue("StartX")) * k,
                      ConfigToFloat(config->GetChildValue("StartY")) * k,
                      ConfigToFloat(config->GetChildValue("StartZ")) * k));
    CVec3 angles(0.0f, ConfigToFloat(config->GetChildValue("StartHeading")), 0.0f);
    SetAngles(angles);
    SetDirection(AnglesToDirection(angles));
    return true;
}

void CTestEntity::Update()
{
    ++m_updates;
    SetPosition(GetPosition() + GetDirection() * (GetSpeed() * g_frameStep));
}

// ---- CTestActionClass -----------------------------------------------------------------

CTestActionClass::CTestActionClass()
{
    for (int32_t i = 0; i < CActionRecord::GetCount(); ++i) {
        CreateAction(CActionRecord::GetRecord(i));
    }
}

void CTestActionClass::Apply(CEntity* entity)
{
    ++m_applies;
    char decided[160] = "";
    std::size_t n = 0;
    if (auto* rotate = Get<CActionRotate>(); rotate && rotate->IsSet()) {
        CVec3 angles = entity->GetAngles();
        angles.y = NormalizeAngle180(rotate->GetValue());
        entity->SetAngles(angles);
        entity->SetDirection(AnglesToDirection(angles));
        n += std::snprintf(decided + n, sizeof decided - n, " rotate=%.2f", rotate->GetValue());
    }
    if (auto* speed = Get<CActionSpeed>(); speed && speed->IsSet() && n < sizeof decided) {
        entity->SetSpeed(speed->GetValue());
        n += std::snprintf(decided + n, sizeof decided - n, " speed=%.2f", speed->GetValue());
    }
    const CVec3& p = entity->GetPosition();
    Trace("apply %s%s at (%.2f, %.2f, %.2f)", entity->GetName(), decided, p.x, p.y, p.z);
}

// ---- CTestBrain ------------------------------------------------------------------------

void CTestBrain::OnStart()
{
    ++m_starts;
    CBrain::OnStart();
}

bool CTestBrain::Think()
{
    ++m_thinks;
    CActionSet* mine = GetActionSet();
    mine->Reset();
    bool decided = false;
    for (uint32_t i = 0; i < GetAgentCount(); ++i) {
        CAgent* agent = GetAgent(i);
        if (!agent->CanRun()) {
            continue;
        }
        agent->GetActionSet()->Reset();
        if (agent->Think()) {
            mine->Merge(*agent->GetActionSet());
            decided = true;
        }
    }
    Trace("think %s id=%d decided=%d", GetEntity()->GetName(), GetEntity()->GetId(), decided ? 1 : 0);
    return decided;
}

// ---- CTestGotoAgent -------------------------------------------------------------------

bool CTestGotoAgent::ReadParameter(CConfigNode* node)
{
    const char* value = node->GetValue();
    if (!value) {
        return false;
    }
    float k = GetOneMeter();
    if (IsKey(node, "TargetX")) {
        m_target.x = ConfigToFloat(value) * k;
    } else if (IsKey(node, "TargetY")) {
        m_target.y = ConfigToFloat(value) * k;
    } else if (IsKey(node, "TargetZ")) {
        m_target.z = ConfigToFloat(value) * k;
    } else if (IsKey(node, "Speed")) {
        m_speed = ConfigToFloat(value) * k;
    } else if (IsKey(node, "ArriveDistance")) {
        m_arrive = ConfigToFloat(value) * k;
    } else {
        return false;
    }
    return true;
}

void CTestGotoAgent::Start()
{
    ++m_starts;
    if (CTimeManager* tm = CTimeManager::Peek()) {
        m_planTask = tm->FindAperiodicTask("CTestGotoAgent::Plan");
    }
}

bool CTestGotoAgent::Think()
{
    CTimeManager* tm = CTimeManager::Peek();
    CEntity* entity = GetBrain()->GetEntity();
    bool gated = tm && m_planTask >= 0;
    if (gated && !tm->CanRunAperiodicTask(m_planTask, entity)) {
        return false;
    }
    CVec3 to = m_target - entity->GetPosition();
    to.y = 0.0f;
    auto* rotate = GetActionSet()->Get<CActionRotate>();
    auto* speed = GetActionSet()->Get<CActionSpeed>();
    if (to.SquaredLengthXZ() <= m_arrive * m_arrive) {
        if (speed) {
            speed->SetValue(0.0f);
        }
    } else {
        if (rotate) {
            rotate->SetValue(DirectionToAngles(to).y);
        }
        if (speed) {
            speed->SetValue(m_speed);
        }
    }
    if (gated) {
        tm->EndAperiodicTask(m_planTask, entity);
    }
    return true;
}

// ---- CTestCounterService --------------------------------------------------------------

bool CTestCounterService::Init(CConfigNode* node)
{
    return CService::Init(node) && !m_fail;
}

bool CTestCounterService::ReadParameter(CConfigNode* node)
{
    if (IsKey(node, "Fail")) {
        m_fail = ConfigToInt(node->GetValue()) == 1;
    }
    return true;
}

// ---- CTestGlobalService ---------------------------------------------------------------

bool CTestGlobalService::Init(CConfigNode* node)
{
    if (!CGlobalService::Init(node) || m_fail) {
        return false;
    }
    CConfigNode* raw = node->FindChild("RawData");
    CWorld* world = GetCurrentWorld();
    CDataSource* source = world ? world->GetDataSource() : nullptr;
    if (raw && source) {
        if (!source->OpenRawData(raw)) {
            return false;
        }
        m_rawSize = source->GetRawDataSize(raw);
        uint8_t buffer[256];
        for (uint32_t n; (n = source->ReadRawData(raw, buffer, sizeof buffer)) > 0;) {
            for (uint32_t i = 0; i < n; ++i) {
                m_rawSum += buffer[i];
            }
        }
        source->CloseRawData(raw);
        m_rawRead = true;
    }
    return true;
}

bool CTestGlobalService::ReadParameter(CConfigNode* node)
{
    if (IsKey(node, "Fail")) {
        m_fail = ConfigToInt(node->GetValue()) == 1;
        return true;
    }
    return IsKey(node, "RawData") || IsKey(node, "Param");
}

} // namespace Zelk
