// The flat interface's worlds, entities and teams: forwards to the classes.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/runtime_state.h"
#include "ai/runtime/team.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

constexpr uint32_t kHeapMaxChildren = 100;

CAisReader* ReaderSingleton()
{
    AiRuntimeGlobals& g = RuntimeState();
    if (!g.aisReader) {
        g.aisReader = new CAisReader;
    }
    return g.aisReader;
}

} // namespace

CAisReader* AiGetAisReader()
{
    return ReaderSingleton();
}

CWorld* AiCreateWorldWithSource(CConfigNode* root, CDataSource* source, uint32_t heapSize)
{
    if (!AiGetHeapAllocator() && heapSize > 0) {
        AiInstallHeapAllocator(heapSize, kHeapMaxChildren);
    }
    return CreateWorldFromConfig(root, source);
}

CWorld* AiCreateWorld(CConfigNode* root, uint32_t heapSize)
{
    if (!AiGetHeapAllocator() && heapSize > 0) {
        AiInstallHeapAllocator(heapSize, kHeapMaxChildren);
    }
    CAisReader* reader = ReaderSingleton();
    return reader ? CreateWorldFromConfig(root, reader) : nullptr;
}

float AiGetWorldOneMeter(const CWorld* world)
{
    return world ? world->GetOneMeter() : 0.0f;
}

uint32_t AiGetWorldMaxEntity(const CWorld* world)
{
    return world ? world->GetMaxEntity() : 0;
}

uint32_t AiGetWorldMaxTeam(const CWorld* world)
{
    return world ? world->GetMaxTeam() : 0;
}

const char* AiGetWorldLeftOutService(const CWorld* world)
{
    return world ? world->GetLeftOutService() : "";
}

int AiStartWorld(CWorld* world)
{
    if (!world) {
        return 0;
    }
    world->Start();
    return 1;
}

void AiUpdateWorld(CWorld* world)
{
    if (world) {
        world->Update();
    }
}

int AiDestroyWorld(CWorld* world)
{
    if (!world) {
        return 0;
    }
    DestroyWorld(world);
    AiRuntimeGlobals& g = RuntimeState();
    delete g.aisReader;
    g.aisReader = nullptr;
    AiRemoveHeapAllocator();
    return 1;
}

int AiCallWithCurrentWorld(int (*fn)(CWorld* world, void* user), void* user)
{
    return fn ? fn(GetCurrentWorld(), user) : 0;
}

CConfigNode* AiCopyEntityConfig(const CWorld* world, const char* definitionName)
{
    return CopyEntityConfig(world, definitionName);
}

CEntity* AiCreateEntityFromConfig(const char* name, CConfigNode* config, uint32_t classMask, void* hostObject)
{
    return CreateEntityFromConfig(name, config, classMask, hostObject);
}

bool AiAddEntity(CWorld* world, CEntity* entity)
{
    if (!world || !entity || entity->GetWorld()) {
        return false;
    }
    return world->AddEntity(entity);
}

bool AiRemoveEntity(CWorld* world, CEntity* entity)
{
    return world && world->RemoveEntity(entity);
}

bool AiDestroyEntity(CEntity* entity)
{
    return DestroyEntity(entity);
}

CConfigNode* AiCopyTeamConfig(const CWorld* world, const char* teamName)
{
    return CopyTeamConfig(world, teamName);
}

CTeam* AiCreateTeam(CConfigNode* config, uint32_t memberCapacity, const char* name)
{
    return CreateTeam(config, memberCapacity, name);
}

void AiDestroyTeam(CTeam* team)
{
    DestroyTeam(team);
}

bool AiTeamAddMember(CTeam* team, CEntity* entity)
{
    if (!team || !entity || !entity->GetWorld()) {
        return false;
    }
    return team->AddMember(entity);
}

void AiTeamRemoveMember(CTeam* team, CEntity* entity)
{
    if (team) {
        team->RemoveMember(entity);
    }
}

void AiTeamSetFlag(CTeam* team, uint8_t value)
{
    if (team) {
        team->SetFlag(value);
    }
}

namespace {

template <class T, class F> int VisitList(const CFixedList<T>* list, F fn, void* user)
{
    int last = 0;
    for (auto it = list ? list->Begin() : typename CFixedList<T>::Iterator(); it.IsValid();) {
        T* item = it.Item();
        ++it; // the visitor may remove the item
        last = fn(item, user);
        if (last == 0) {
            break;
        }
    }
    return last;
}

} // namespace

int AiForEachEntity(AiEntityVisitor fn, void* user)
{
    return fn ? VisitList(RuntimeState().entityPool, fn, user) : 0;
}

int AiForEachWorldEntity(const CWorld* world, AiEntityVisitor fn, void* user)
{
    return world && fn ? VisitList(&world->GetEntities(), fn, user) : 0;
}

int AiForEachTeamMember(const CTeam* team, AiEntityVisitor fn, void* user)
{
    return team && fn ? VisitList(&team->GetMembers(), fn, user) : 0;
}

int AiForEachEntityTeam(const CEntity* entity, AiTeamVisitor fn, void* user)
{
    return entity && fn ? VisitList(entity->GetTeams(), fn, user) : 0;
}

CWorld* AiGetEntityWorld(const CEntity* entity)
{
    return entity ? entity->GetWorld() : nullptr;
}

const char* AiGetEntityName(const CEntity* entity)
{
    return entity ? entity->GetName() : nullptr;
}

uint32_t AiGetEntityClassMask(const CEntity* entity)
{
    return entity ? entity->GetClassMask() : 0;
}

void* AiGetEntityUserData(const CEntity* entity)
{
    return entity ? entity->GetUserData() : nullptr;
}

void AiSetEntityUserData(CEntity* entity, void* data)
{
    if (entity) {
        entity->SetUserData(data);
    }
}

void AiGetEntityPosition(const CEntity* entity, CVec3* out)
{
    if (entity && out) {
        *out = entity->GetPosition();
    }
}

void AiGetEntityAngles(const CEntity* entity, CVec3* out)
{
    if (entity && out) {
        *out = entity->GetAngles();
    }
}

void AiGetEntityDirection(const CEntity* entity, CVec3* out)
{
    if (entity && out) {
        *out = entity->GetDirection();
    }
}

float AiGetEntitySpeed(const CEntity* entity)
{
    return entity ? entity->GetSpeed() : 0.0f;
}

} // namespace Zelk
