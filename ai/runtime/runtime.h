// The AI middleware's flat interface: what a host calls, in this order:
//   AiEngineInitialize(host block)
//   AiLoadConfigStream / a text configuration -> configuration root
//   AiCreateWorld(root, heap size)
//   teams and entities (AiCopyEntityConfig, AiCreateEntityFromConfig, AiAddEntity, ...)
//   AiStartWorld, then AiUpdateWorld once per frame
//   AiDestroyWorld, AiEngineTerminate
// Operations given a null world, entity or team return 0, false or null and touch nothing.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/host.h"

#include <cstddef>
#include <cstdint>

struct Stream; // the engine's chunked stream

namespace Zelk {

class CAisReader;
class CConfigNode;
class CDataSource;
class CEntity;
class CTeam;
class CWorld;

/// Largest entity limit a host block may ask for.
inline constexpr uint32_t kAiMaxEntityLimit = 4096;

// ---- Start and stop ------------------------------------------------------------

/// Copies the host block and starts the runtime. Returns 1 on success; 0 when the block is
/// null, lacks allocate, free or clock, asks for more than kAiMaxEntityLimit entities, or
/// the runtime is already started.
int AiEngineInitialize(const AiHostInterface* host);
/// Destroys every world and every entity left, resets the default allocator; returns 1.
int AiEngineTerminate();
/// Starts the runtime on a settings block (AiEngineInitialize builds one); true on success.
bool AiRuntimeInitialize(const AiRuntimeSettings& settings);
/// Destroys every world and every entity left; clears the initialised flag.
void AiRuntimeTerminate();
/// True between a successful start and the termination.
bool AiIsInitialized();

// ---- Graph generator hooks -------------------------------------------------------

using AiPositionHook = void (*)(const CVec3* point, void* generator);
using AiSegmentHook = void (*)(const CVec3* p, const CVec3* q, void* generator);
using AiPointFilterHook = int (*)(const CVec3* point); // non-zero keeps the point

void AiSetPositionHook(AiPositionHook hook);
void AiSetSegmentHook(AiSegmentHook hook);
void AiSetPointFilterHook(AiPointFilterHook hook);
AiPositionHook AiGetPositionHook();
AiSegmentHook AiGetSegmentHook();
AiPointFilterHook AiGetPointFilterHook();
void AiCallPositionHook(const CVec3* point, void* generator);
void AiCallSegmentHook(const CVec3* p, const CVec3* q, void* generator);
/// Without a filter every point is kept (1).
int AiCallPointFilterHook(const CVec3* point);

// ---- Allocators ------------------------------------------------------------------

/// When size > 0: a CBlockAllocator of size bytes (maxChildren children) over the current
/// allocator becomes current (the heap). Returns it, null for size 0 or on failure.
CBlockAllocator* AiInstallHeapAllocator(uint32_t size, uint32_t maxChildren);
/// Deletes the heap; the default allocator becomes current again when the heap was.
void AiRemoveHeapAllocator();
CBlockAllocator* AiGetHeapAllocator();
/// Heap size and used bytes; 0 without a heap.
uint32_t AiGetHeapSize();
uint32_t AiGetHeapUsed();
/// A pool of count blocks of blockSize bytes over the current allocator; null on failure.
CPoolAllocator* AiCreatePoolAllocator(uint32_t blockSize, uint32_t count);
/// Deletes an allocator (null is ignored).
void AiDeleteAllocator(CAllocator* allocator);
/// Takes a block from a pool; null for a null or exhausted pool.
CPoolBlock* AiPoolAllocatorTakeBlock(CPoolAllocator* pool);

// ---- Configuration nodes ---------------------------------------------------------

CConfigNode* AiNewConfigNode();
/// Deletes a node and its children (null is ignored).
void AiDeleteConfigNode(CConfigNode* node);
/// A new node with one child "Class" = className.
CConfigNode* AiNewEntityConfig(const char* className);
CConfigNode* AiNewTeamConfig(const char* className);
/// Appends a child with that key and name; returns it.
CConfigNode* AiAddConfigChild(CConfigNode* node, const char* key, const char* name);
/// Appends a leaf with that key and value; returns it.
CConfigNode* AiAddConfigLeaf(CConfigNode* node, const char* key, const char* value);
/// Appends a child "Brain", "Agent" or "Service" named name, holding "Class" = className.
CConfigNode* AiAddBrainConfig(CConfigNode* node, const char* className, const char* name);
CConfigNode* AiAddAgentConfig(CConfigNode* node, const char* className, const char* name);
CConfigNode* AiAddServiceConfig(CConfigNode* node, const char* className, const char* name);
/// Appends a "RawData" leaf with that value carrying the in-memory block (data, size);
/// data must outlive the node. Null when the raw-data handles are used up.
CConfigNode* AiAddRawDataConfig(CConfigNode* node, const char* value, const void* data, uint32_t size);
/// Removes and deletes child; nothing when it is not among node's children.
void AiRemoveConfigChild(CConfigNode* node, CConfigNode* child);
void AiSetConfigKey(CConfigNode* node, const char* key);
void AiSetConfigValue(CConfigNode* node, const char* value);
const char* AiGetConfigName(const CConfigNode* node);
const char* AiGetConfigKey(const CConfigNode* node);
const char* AiGetConfigValue(const CConfigNode* node);
/// A deep copy; null for null.
CConfigNode* AiCopyConfig(const CConfigNode* node);
CConfigNode* AiFindConfigChild(const CConfigNode* node, const char* key);
CConfigNode* AiFindConfigChildByName(const CConfigNode* node, const char* name);

// ---- Worlds -------------------------------------------------------------------------

/// Reads an ".AIS" stream into a new tree, always a node (empty when nothing could be read);
/// the caller owns it. The stream must stay open until AiCreateWorld returns: the world's
/// services read their raw data from it.
CConfigNode* AiLoadConfigStream(Stream* stream);
/// Installs a heap of heapSize bytes when none exists and heapSize > 0, then creates the
/// world from root with the ".AIS" reader as its data source. Null when refused.
CWorld* AiCreateWorld(CConfigNode* root, uint32_t heapSize);
/// The ".AIS" reader singleton (created on first use; deleted by AiDestroyWorld).
CAisReader* AiGetAisReader();
/// As AiCreateWorld with another data source (a text configuration); the source must
/// outlive the world.
CWorld* AiCreateWorldWithSource(CConfigNode* root, CDataSource* source, uint32_t heapSize);
float AiGetWorldOneMeter(const CWorld* world);
uint32_t AiGetWorldMaxEntity(const CWorld* world);
uint32_t AiGetWorldMaxTeam(const CWorld* world);
/// Why the first wanted global service of the world was left out ("" when none was; a
/// service that refused its definition, for example because its raw data is damaged).
const char* AiGetWorldLeftOutService(const CWorld* world);
/// Starts every entity, brain and world service; returns 1 (0 for null).
int AiStartWorld(CWorld* world);
/// One AI frame.
void AiUpdateWorld(CWorld* world);
/// Destroys the world, deletes the ".AIS" reader and removes the heap; returns 1 (0 for null).
int AiDestroyWorld(CWorld* world);
/// fn(current world, user).
int AiCallWithCurrentWorld(int (*fn)(CWorld* world, void* user), void* user);

// ---- Entities and teams -------------------------------------------------------------

CConfigNode* AiCopyEntityConfig(const CWorld* world, const char* definitionName);
/// See CreateEntityFromConfig (entity.h); pass AiGetClassMask() as classMask to be seen by
/// the entity managers and path finders.
CEntity* AiCreateEntityFromConfig(const char* name, CConfigNode* config, uint32_t classMask,
                                  void* hostObject);
/// False when the entity already belongs to a world or the world is full.
bool AiAddEntity(CWorld* world, CEntity* entity);
bool AiRemoveEntity(CWorld* world, CEntity* entity);
bool AiDestroyEntity(CEntity* entity);
CConfigNode* AiCopyTeamConfig(const CWorld* world, const char* teamName);
CTeam* AiCreateTeam(CConfigNode* config, uint32_t memberCapacity, const char* name);
void AiDestroyTeam(CTeam* team);
/// False when the entity is in no world; else the team's AddMember.
bool AiTeamAddMember(CTeam* team, CEntity* entity);
void AiTeamRemoveMember(CTeam* team, CEntity* entity);
void AiTeamSetFlag(CTeam* team, uint8_t value);

using AiEntityVisitor = int (*)(CEntity* entity, void* user);
using AiTeamVisitor = int (*)(CTeam* team, void* user);
/// fn(entity, user) for every entity of the runtime's pool in list order until fn answers
/// 0; returns the last answer, 0 when there is none.
int AiForEachEntity(AiEntityVisitor fn, void* user);
int AiForEachWorldEntity(const CWorld* world, AiEntityVisitor fn, void* user);
int AiForEachTeamMember(const CTeam* team, AiEntityVisitor fn, void* user);
int AiForEachEntityTeam(const CEntity* entity, AiTeamVisitor fn, void* user);

CWorld* AiGetEntityWorld(const CEntity* entity);
const char* AiGetEntityName(const CEntity* entity);
uint32_t AiGetEntityClassMask(const CEntity* entity);
void* AiGetEntityUserData(const CEntity* entity);
void AiSetEntityUserData(CEntity* entity, void* data);
void AiGetEntityPosition(const CEntity* entity, CVec3* out);
void AiGetEntityAngles(const CEntity* entity, CVec3* out);
void AiGetEntityDirection(const CEntity* entity, CVec3* out);
float AiGetEntitySpeed(const CEntity* entity);

} // namespace Zelk
