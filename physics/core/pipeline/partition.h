#pragma once
// The island partition: the step's listed objects, joints and contacts
// split into independent islands by union-find over object ids (union by
// rank, path compression). A joint or contact between an active and an
// inactive object belongs to the active object's island; inactive objects
// never join an island.

#include <cstddef>
#include <cstdint>

#include "physics/core/solver/stages.h"

struct OlpContact;
struct OlpJoint;
struct OlpObj;

/// The pipeline's islands: the island array and the runs of object and
/// joint pointers the islands point into.
struct OlpIslandList
{
    uint32_t capacity; ///< islands (and object pointers)
    uint32_t count;
    OlpObj** objects;
    OlpJoint** joints;
    OlpIsland* islands;
    uint32_t jointCapacity;
};

/// One set under construction (40 bytes of words).
struct OlpPartitionSet
{
    uint32_t rank;
    uint32_t objectCount;
    uint32_t firstObject; ///< node (object id)
    uint32_t lastObject;
    uint32_t jointCount;
    uint32_t firstJoint; ///< index in the joint list
    uint32_t lastJoint;
    uint32_t contactCount;
    OlpContact* firstContact;
    OlpContact* lastContact;
};

/// One node per object id.
struct OlpPartitionNode
{
    uint32_t parent; ///< kOlpPartitionNone: in no set yet
    uint32_t set;    ///< the owning set, on a root only
    uint32_t next;   ///< next node of the same set
    OlpObj* object;
};

constexpr uint32_t kOlpPartitionNone = 0xFFFFFFFFu;

/// The scratch of one partition.
struct OlpPartition
{
    uint32_t nodeCapacity;
    uint32_t setCount;
    OlpPartitionSet* sets; ///< one per active object
    OlpPartitionNode* nodes;
    uint32_t* jointNext; ///< per listed joint: the next joint of its set
};

/// Bytes of the scratch for `activeObjects` sets, `objects` nodes and
/// `joints` joint links, each buffer rounded up to 16.
size_t OlpPartitionSize(uint32_t activeObjects, uint32_t objects, uint32_t joints);
/// Lays the scratch out at `*cursor` (rounded up to 16) and advances it.
OlpPartition* OlpPartitionLayout(OlpPartition* partition, uint8_t** cursor, uint32_t activeObjects,
                                 uint32_t objects, uint32_t joints);

/// Builds the islands of the listed objects, joints and contacts (contacts
/// without points ignored) into `out`; contacts are chained per island
/// through their list link. Returns the island count.
uint32_t OlpPartitionIslands(OlpIslandList* out, OlpPartition* partition, OlpObj* const* objects,
                             uint32_t objectCount, OlpJoint* const* joints, uint32_t jointCount,
                             OlpContact* contacts, uint32_t contactCount);
/// The union-find pass: every joint and contact into the sets.
void OlpPartitionBuildSets(OlpPartition* partition, OlpJoint* const* joints, uint32_t jointCount,
                           OlpContact* contacts, uint32_t contactCount);
/// A new set of node `a` (and `b` when it differs) holding one joint (index,
/// or kOlpPartitionNone) or contact (may be null); the set's index.
uint32_t OlpPartitionNewSet(OlpPartition* partition, uint32_t a, uint32_t b, uint32_t joint,
                            OlpContact* contact);
/// Appends node `node` (kOlpPartitionNone: none) and the joint or contact to set `set`.
void OlpPartitionAddToSet(OlpPartition* partition, uint32_t set, uint32_t node, uint32_t joint,
                          OlpContact* contact);
/// Unites the sets of roots `a` and `b` (by rank) and appends the joint or
/// contact; the winning root.
uint32_t OlpPartitionUnion(OlpPartition* partition, uint32_t a, uint32_t b, uint32_t joint,
                           OlpContact* contact);
/// The root node of `node`, every node on the way pointed straight at it.
uint32_t OlpPartitionFindRoot(OlpPartition* partition, uint32_t node);

/// True when end (object, part) is present and its object active.
bool OlpPartitionActiveEnd(const void* object, uint32_t part);
/// Prints the island's objects and contacts to the standard output.
void OlpIslandPrint(const OlpIsland* island);
