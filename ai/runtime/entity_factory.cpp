// Entities and teams made from the world's definition libraries.
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime_state.h"
#include "ai/runtime/team.h"
#include "ai/runtime/world.h"

#include <cstdio>
#include <cstring>

namespace Zelk {

namespace {

constexpr std::size_t kMaxEntityName = 1024;

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() && std::strcmp(node->GetKey(), key) == 0;
}

// Resolves one "Agent" or "Service" child of a brain definition through the root's
// library of that kind: a deep copy of the definition, keyed kind and valued its name.
bool AddResolvedDefinition(CConfigNode* brain, const CConfigNode* root, const char* kind,
                           const char* libraryKey, const CConfigNode* reference)
{
    const CConfigNode* library = root->FindChild(libraryKey);
    const CConfigNode* definition =
        library && reference->GetValue() ? library->FindNamedChild(kind, reference->GetValue()) : nullptr;
    if (!definition) {
        return false;
    }
    CConfigNode* copy = brain->AddChildCopy(*definition);
    return copy && copy->SetKey(kind) && copy->SetValue(definition->GetName());
}

uint32_t CountWorlds()
{
    AiRuntimeGlobals& g = RuntimeState();
    uint32_t n = 0;
    for (uint32_t i = 0; g.worldTable && i < g.settings.worldLimit; ++i) {
        n += g.worldTable[i] != nullptr;
    }
    return n;
}

} // namespace

CConfigNode* CopyEntityConfig(const CWorld* world, const char* definitionName)
{
    const CConfigNode* root = world ? world->GetConfig() : nullptr;
    const CConfigNode* entities = root ? root->FindChild("Entities") : nullptr;
    const CConfigNode* definition = entities ? entities->FindNamedChild("Entity", definitionName) : nullptr;
    if (!definition) {
        return nullptr;
    }
    auto* copy = new CConfigNode;
    if (!copy) {
        return nullptr;
    }
    bool ok = true;
    for (uint32_t i = 0; ok && i < definition->GetChildCount(); ++i) {
        const CConfigNode* child = definition->GetChild(i);
        if (!IsKey(child, "Brain")) {
            ok = copy->AddChildCopy(*child) != nullptr;
        }
    }
    const CConfigNode* brainRef = definition->FindChild("Brain");
    if (ok && brainRef) {
        const CConfigNode* brains = root->FindChild("Brains");
        const CConfigNode* brainDef =
            brains && brainRef->GetValue() ? brains->FindNamedChild("Brain", brainRef->GetValue()) : nullptr;
        CConfigNode* brain = brainDef ? copy->AddChild() : nullptr;
        ok = brain && brain->SetKey("Brain");
        for (uint32_t i = 0; ok && i < brainDef->GetChildCount(); ++i) {
            const CConfigNode* child = brainDef->GetChild(i);
            if (child->GetKey() && IsKey(child, "Agent")) {
                ok = AddResolvedDefinition(brain, root, "Agent", "Agents", child);
            } else if (child->GetKey() && IsKey(child, "Service")) {
                ok = AddResolvedDefinition(brain, root, "Service", "Services", child);
            } else {
                ok = brain->AddChildCopy(*child) != nullptr;
            }
        }
    }
    if (!ok) {
        delete copy;
        return nullptr;
    }
    return copy;
}

CEntity* CreateEntityFromConfig(const char* name, CConfigNode* config, uint32_t classMask, void* hostObject)
{
    AiRuntimeGlobals& g = RuntimeState();
    if (!g.initialised || !g.currentWorld || !config || !g.entityPool || g.entityPool->IsFull()) {
        return nullptr;
    }
    char generated[32];
    if (!name) {
        std::snprintf(generated, sizeof generated, "_%u", g.anonymousEntityCounter++);
        name = generated;
    } else if (std::strlen(name) >= kMaxEntityName) {
        return nullptr;
    }
    CEntityClassRecord* entityClass = CEntityClassRecord::Find(config->GetChildValue("Class"));
    if (!entityClass || !entityClass->GetCreator()) {
        return nullptr;
    }
    CEntity* entity = entityClass->GetCreator()(name, hostObject);
    if (!entity) {
        return nullptr;
    }
    if (CountWorlds() != 1) {
        delete entity;
        return nullptr;
    }
    entity->SetWorldLink(nullptr, nullptr);
    entity->SetConfig(config);
    if (!entity->Init(config)) {
        delete entity;
        return nullptr;
    }
    CConfigNode* brainConfig = config->FindChild("Brain");
    CBrainClassRecord* brainClass =
        brainConfig ? CBrainClassRecord::Find(brainConfig->GetChildValue("Class")) : nullptr;
    if (brainClass && brainClass->GetCreator()) {
        const char* actionClassName = config->GetChildValue("ActionClass");
        if (!actionClassName) {
            delete entity;
            return nullptr;
        }
        // An unknown action class leaves the entity without a brain.
        if (CActionClassRecord* actionClass = CActionClassRecord::Find(actionClassName)) {
            CBrain* brain = brainClass->GetCreator()(entity, actionClass);
            if (!brain || !brain->LoadFromConfig(brainConfig)) {
                delete brain;
                delete entity;
                return nullptr;
            }
            entity->SetBrain(brain);
        }
    }
    entity->SetPoolNode(g.entityPool->Insert(entity).GetNode());
    entity->SetClassMask(classMask);
    entity->SetConfig(nullptr);
    return entity;
}

bool DestroyEntity(CEntity* entity)
{
    if (!entity) {
        return false;
    }
    if (entity->GetWorld()) {
        entity->GetWorld()->RemoveEntity(entity);
    }
    AiRuntimeGlobals& g = RuntimeState();
    if (g.entityPool && entity->GetPoolNode()) {
        g.entityPool->Unlink(entity->GetPoolNode());
    }
    delete entity;
    return true;
}

CConfigNode* CopyTeamConfig(const CWorld* world, const char* teamName)
{
    const CConfigNode* root = world ? world->GetConfig() : nullptr;
    const CConfigNode* teams = root ? root->FindChild("Teams") : nullptr;
    const CConfigNode* definition = teams ? teams->FindNamedChild("Team", teamName) : nullptr;
    return definition ? new CConfigNode(*definition) : nullptr;
}

CTeam* CreateTeam(CConfigNode* config, uint32_t memberCapacity, const char* name)
{
    AiRuntimeGlobals& g = RuntimeState();
    CWorld* world = g.currentWorld;
    if (!g.initialised || !world || !world->GetTeams() || world->GetTeams()->IsFull() || !config) {
        return nullptr;
    }
    CTeamClassRecord* record = CTeamClassRecord::Find(config->GetChildValue("Class"));
    if (!record || !record->GetCreator()) {
        return nullptr;
    }
    CTeam* team = record->GetCreator()(memberCapacity, name);
    if (!team) {
        return nullptr;
    }
    if (!team->Init(config)) {
        delete team;
        return nullptr;
    }
    team->SetWorldNode(world->GetTeams()->Insert(team).GetNode());
    return team;
}

void DestroyTeam(CTeam* team)
{
    if (!team) {
        return;
    }
    while (team->GetMembers().GetHead()) {
        team->RemoveMember(team->GetMembers().GetHead()->item);
    }
    CWorld* world = GetCurrentWorld();
    if (world && world->GetTeams() && team->GetWorldNode()) {
        world->GetTeams()->Unlink(team->GetWorldNode());
    }
    delete team;
}

} // namespace Zelk
