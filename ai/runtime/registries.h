// The class registries of the AI middleware, one per kind of object.
// Each kind names the creator signature of its records; a record is declared as
//   static CAgentClassRecord s_record("CWanderAgent", &Create, nullptr, false, false);
// in the class's source file, and creation by name looks it up with
// CAgentClassRecord::Find(node->GetChildValue("Class")).
// Further kinds (graph data, heuristics) are declared the same way beside their classes.
#pragma once

#include "ai/runtime/class_record.h"

#include <cstdint>

namespace Zelk {

class CAgent;
class CBrain;
class CTeam;
class CEntity;
class CActionSet;
class CAction;
class CEntityAttribute;
class CService;
class CGlobalService;
class CConstraint;
class CGraphWrapper;

/// Agents: creator(brain) -> agent.
struct AgentKind
{
    using Creator = CAgent* (*)(CBrain* brain);
};
/// Teams: creator(member capacity, name) -> team.
struct TeamKind
{
    using Creator = CTeam* (*)(uint32_t memberCapacity, const char* name);
};
/// Entity classes: creator(name, host object) -> entity.
struct EntityClassKind
{
    using Creator = CEntity* (*)(const char* name, void* hostObject);
};
/// Action classes: creator() -> action set.
struct ActionClassKind
{
    using Creator = CActionSet* (*)();
};
/// Brains: creator(entity, action-class record) -> brain.
struct BrainKind
{
    using Creator = CBrain* (*)(CEntity* entity, const TClassRecord<ActionClassKind>* actionClass);
};
/// Entity attributes: creator() -> attribute.
struct EntityAttributeKind
{
    using Creator = CEntityAttribute* (*)();
};
/// Actions: creator() -> action.
struct ActionKind
{
    using Creator = CAction* (*)();
};
/// Brain services: creator(brain) -> service.
struct ServiceKind
{
    using Creator = CService* (*)(CBrain* brain);
};
/// World-level services: creator() -> service.
struct GlobalServiceKind
{
    using Creator = CGlobalService* (*)();
};
/// Path constraints: creator() -> constraint.
struct ConstraintKind
{
    using Creator = CConstraint* (*)();
};
/// Graph wrappers: creator() -> wrapper.
struct GraphWrapperKind
{
    using Creator = CGraphWrapper* (*)();
};

using CAgentClassRecord = TClassRecord<AgentKind>;
using CTeamClassRecord = TClassRecord<TeamKind>;
using CEntityClassRecord = TClassRecord<EntityClassKind>;
using CActionClassRecord = TClassRecord<ActionClassKind>;
using CBrainClassRecord = TClassRecord<BrainKind>;
using CEntityAttributeRecord = TClassRecord<EntityAttributeKind>;
using CActionRecord = TClassRecord<ActionKind>;
using CServiceClassRecord = TClassRecord<ServiceKind>;
using CGlobalServiceClassRecord = TClassRecord<GlobalServiceKind>;
using CConstraintClassRecord = TClassRecord<ConstraintKind>;
using CGraphWrapperClassRecord = TClassRecord<GraphWrapperKind>;

/// The process-wide class mask (1 plus every bit added by a record that asked for it).
uint32_t AiGetClassMask();

} // namespace Zelk
