// Brains.
//
// A brain thinks for one entity each time the scheduler hands the entity out.
// It owns the agents (behaviours) and services (such as the path finder) that
// its configuration lists, and an action set of the entity's action class into
// which it writes its decisions; the world applies them when Think answers true.
// Every agent owns an action set of the same class; the brain merges them.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"

#include <cstdint>

namespace Zelk {

class CActionSet;
class CAgent;
class CService;
class CConfigNode;
class CEntity;

class CBrain : public CAiObject
{
  public:
    /// Creates the action-class object with actionClass's creator (none when it has no creator).
    CBrain(CEntity* entity, const CActionClassRecord* actionClass);
    /// Deletes agents, services and the action-class object.
    ~CBrain() override;
    CBrain(const CBrain&) = delete;
    CBrain& operator=(const CBrain&) = delete;

    virtual const CClassRecord* GetClassRecord() const = 0;
    /// Creates the "Service" and "Agent" children by their "Class" (unknown classes and refused
    /// Init are skipped), then passes every other child except "Class" to ReadParameter.
    /// False without an action-class object or when a parameter is refused; null node: true.
    virtual bool LoadFromConfig(CConfigNode* node);
    /// One parameter of the brain (base: refuses).
    virtual bool ReadParameter(CConfigNode* node);
    /// True when the action-class object holds decisions to apply.
    virtual bool Think() = 0;
    /// Starts the brain once (later calls do nothing): OnStart.
    void Start();

    CEntity* GetEntity() const { return m_entity; }
    CActionSet* GetActionSet() const { return m_actions; }
    const CActionClassRecord* GetActionClassRecord() const { return m_actionClass; }
    uint32_t GetAgentCount() const { return m_agentCount; }
    CAgent* GetAgent(uint32_t i) const { return i < m_agentCount ? m_agents[i] : nullptr; }
    uint32_t GetServiceCount() const { return m_serviceCount; }
    CService* GetService(uint32_t i) const { return i < m_serviceCount ? m_services[i] : nullptr; }
    /// The first agent whose record is exactly record.
    CAgent* FindAgent(const CClassRecord* record) const;
    /// The first service whose record is record or derives from it.
    CService* FindService(const CClassRecord* record) const;
    /// The first service whose record is exactly record.
    CService* FindServiceExact(const CClassRecord* record) const;

  protected:
    /// What Start does the first time (base: Start of every service, then of every agent).
    virtual void OnStart();

  private:
    CEntity* m_entity;
    const CActionClassRecord* m_actionClass;
    CActionSet* m_actions = nullptr;
    CAgent** m_agents = nullptr;
    uint32_t m_agentCount = 0;
    uint32_t m_agentCapacity = 0;
    CService** m_services = nullptr;
    uint32_t m_serviceCount = 0;
    uint32_t m_serviceCapacity = 0;
    bool m_started = false;
};

} // namespace Zelk
