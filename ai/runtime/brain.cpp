#include "ai/runtime/brain.h"

#include "ai/runtime/action.h"
#include "ai/runtime/agent.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/service.h"

#include <cstring>

namespace Zelk {

namespace {

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() && std::strcmp(node->GetKey(), key) == 0;
}

// Every child except "Class" goes to read; the first refusal fails.
template <class F> bool ReadNonClassChildren(CConfigNode* node, F read)
{
    for (uint32_t i = 0; node && i < node->GetChildCount(); ++i) {
        CConfigNode* child = node->GetChild(i);
        if (!IsKey(child, "Class") && !read(child)) {
            return false;
        }
    }
    return true;
}

CActionSet* NewActionSet(const CActionClassRecord* record)
{
    return record && record->GetCreator() ? record->GetCreator()() : nullptr;
}

template <class T> T** NewSlots(uint32_t count)
{
    if (count == 0) {
        return nullptr;
    }
    auto** slots = static_cast<T**>(AiAlloc(sizeof(T*) * count));
    return slots;
}

} // namespace

// ---- CBrain ------------------------------------------------------------------------

CBrain::CBrain(CEntity* entity, const CActionClassRecord* actionClass)
    : m_entity(entity), m_actionClass(actionClass), m_actions(NewActionSet(actionClass))
{
    int32_t agents = CAgentClassRecord::GetCount();
    int32_t services = CServiceClassRecord::GetCount();
    m_agents = NewSlots<CAgent>(agents > 0 ? agents : 0);
    m_agentCapacity = m_agents ? agents : 0;
    m_services = NewSlots<CService>(services > 0 ? services : 0);
    m_serviceCapacity = m_services ? services : 0;
}

CBrain::~CBrain()
{
    for (uint32_t i = 0; i < m_agentCount; ++i) {
        delete m_agents[i];
    }
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        delete m_services[i];
    }
    AiFree(m_agents);
    AiFree(m_services);
    delete m_actions;
}

bool CBrain::LoadFromConfig(CConfigNode* node)
{
    if (!m_actions) {
        return false;
    }
    if (!node) {
        return true;
    }
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        CConfigNode* child = node->GetChild(i);
        const char* className = child->GetChildValue("Class");
        if (IsKey(child, "Service")) {
            CServiceClassRecord* record = CServiceClassRecord::Find(className);
            if (!record || !record->GetCreator() || m_serviceCount == m_serviceCapacity) {
                continue;
            }
            CService* service = record->GetCreator()(this);
            if (service && service->Init(child)) {
                m_services[m_serviceCount++] = service;
            } else {
                delete service;
            }
        } else if (IsKey(child, "Agent")) {
            CAgentClassRecord* record = CAgentClassRecord::Find(className);
            if (!record || !record->GetCreator() || m_agentCount == m_agentCapacity) {
                continue;
            }
            CAgent* agent = record->GetCreator()(this);
            if (agent && agent->Init(child)) {
                m_agents[m_agentCount++] = agent;
            } else {
                delete agent;
            }
        }
    }
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        CConfigNode* child = node->GetChild(i);
        if (!IsKey(child, "Class") && !IsKey(child, "Service") && !IsKey(child, "Agent") &&
            !ReadParameter(child)) {
            return false;
        }
    }
    return true;
}

bool CBrain::ReadParameter(CConfigNode*)
{
    return false;
}

void CBrain::Start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    OnStart();
}

void CBrain::OnStart()
{
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        m_services[i]->Start();
    }
    for (uint32_t i = 0; i < m_agentCount; ++i) {
        m_agents[i]->Start();
    }
}

CAgent* CBrain::FindAgent(const CClassRecord* record) const
{
    for (uint32_t i = 0; i < m_agentCount; ++i) {
        if (m_agents[i]->GetClassRecord() == record) {
            return m_agents[i];
        }
    }
    return nullptr;
}

CService* CBrain::FindService(const CClassRecord* record) const
{
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        if (m_services[i]->GetClassRecord()->IsA(record)) {
            return m_services[i];
        }
    }
    return nullptr;
}

CService* CBrain::FindServiceExact(const CClassRecord* record) const
{
    for (uint32_t i = 0; i < m_serviceCount; ++i) {
        if (m_services[i]->GetClassRecord() == record) {
            return m_services[i];
        }
    }
    return nullptr;
}

// ---- CAgent ------------------------------------------------------------------------

CAgent::CAgent(CBrain* brain)
    : m_actions(NewActionSet(brain ? brain->GetActionClassRecord() : nullptr)), m_brain(brain)
{
}

CAgent::~CAgent()
{
    delete m_actions;
}

bool CAgent::Init(CConfigNode* node)
{
    return ReadNonClassChildren(node, [this](CConfigNode* child) { return ReadParameter(child); });
}

bool CAgent::ReadParameter(CConfigNode*)
{
    return false;
}

// ---- CService and CGlobalService -----------------------------------------------------

bool CService::Init(CConfigNode* node)
{
    return ReadNonClassChildren(node, [this](CConfigNode* child) { return ReadParameter(child); });
}

bool CService::ReadParameter(CConfigNode*)
{
    return false;
}

bool CGlobalService::Init(CConfigNode* node)
{
    return ReadNonClassChildren(node, [this](CConfigNode* child) { return ReadParameter(child); });
}

bool CGlobalService::ReadParameter(CConfigNode*)
{
    return false;
}

} // namespace Zelk
