#pragma once
// Packets: the data of one pipeline execution, carried as clusters (typed
// arrays) in numbered slots whose layout the pipeline's compilation chose.
// Node bodies find their clusters through the current node's arrays in the
// packet header (cluster reference -> slot -> type), pass the packet along an
// output (dropping the clusters that do not travel on it) or hand it to
// another pipeline. Cluster data is either the caller's (external) or taken
// from the pipeline heap, and heap data is freed when its cluster is dropped.

#include <cstddef>
#include <cstdint>

#include "graphics/core/pipeline.h"

enum PipelineClusterFlag : uint16_t
{
    kPipelineClusterValid = 1,
    kPipelineClusterExternal = 2, ///< the data belongs to the caller
    kPipelineClusterLocked = 8,   ///< a node has locked the slot
};

/// One slot of a packet.
struct PipelineCluster
{
    uint16_t flags;  ///< PipelineClusterFlag
    uint16_t stride; ///< bytes per element
    void* data;
    void* currentData;               ///< set with data; a node may advance it
    uint32_t capacity;               ///< elements the data holds
    uint32_t used;                   ///< elements in use
    const PipelineClusterType* type; ///< set when a node locks the slot
    uint32_t attributes;             ///< the definition's attributes, copied at the first lock
};

/// Packet header; slotCount PipelineCluster records follow it.
struct PipelinePacket
{
    uint16_t flags; ///< cleared when the packet's clusters are released
    uint16_t slotCount;
    Pipeline* pipeline;
    const int32_t* clusterIndices;         ///< of the current node
    const uint32_t* passMasks;             ///< of the current node
    const PipelineClusterType** slotTypes; ///< of the current node
};
static_assert(sizeof(PipelinePacket) % alignof(PipelineCluster) == 0, "slots follow the header");

/// The packet's slot records.
inline PipelineCluster* PipelinePacketGetClusters(PipelinePacket* packet)
{
    return reinterpret_cast<PipelineCluster*>(packet + 1);
}

/// For the body of the node that starts a packet during an execution: marks
/// the pipeline as holding a packet, points the header at `node`'s arrays and
/// returns the packet. Null outside an execution.
PipelinePacket* PipelinePacketOpen(PipelineNode* node);
/// The entry connected to output `output` of `node`, null when unconnected
/// or out of range. With a packet open, the clusters that do not travel on
/// that output are dropped (heap data freed) and the header moves on to the
/// target's arrays.
PipelineNode* PipelineNodeFollowOutput(Pipeline* pipeline, PipelineNode* node, uint32_t output);
/// Drops every cluster of the packet (heap data freed); the pipeline's packet
/// state becomes released. PipelineExecute calls it when a body returns.
void PipelinePacketRelease(PipelinePacket* packet);
/// Moves the clusters `target` expects at its first node from `source`'s open
/// packet into `target`'s packet, drops the rest of `source`'s and returns
/// target's packet; when source holds no packet nothing moves and null is
/// returned (never the source pipeline itself, which a caller would take for
/// a packet).
PipelinePacket* PipelinePacketHandOver(Pipeline* source, Pipeline* target);

/// Locks the node's cluster reference `clusterIndex` in the packet (the
/// header's current arrays): the slot's type and attributes are set at the
/// first lock; for writing, external data is first copied into the pipeline
/// heap. The cluster, or null when the cluster is not live here or out of
/// memory (kErrorOutOfMemory).
PipelineCluster* PipelineClusterLock(PipelinePacket* packet, uint32_t clusterIndex, bool forWriting);
/// Points the cluster at the caller's `count` elements of `stride` bytes
/// (valid, external; freed never). Heap data it held is freed first.
PipelineCluster* PipelineClusterSetExternalData(PipelineCluster* cluster, void* data, uint16_t stride,
                                                uint32_t count);
/// Gives the cluster `count` elements that the caller took from the pipeline
/// heap; the cluster owns them from then on.
PipelineCluster* PipelineClusterSetData(PipelineCluster* cluster, void* data, uint16_t stride,
                                        uint32_t count);
/// Gives the cluster room for `count` elements of `stride` bytes from the
/// pipeline heap (used count 0). The data, or null when out of memory.
void* PipelineClusterInitData(PipelineCluster* cluster, uint16_t stride, uint32_t count);
/// Changes the capacity to `count` elements (external data is copied into the
/// heap); the used count is clipped. The cluster, or null when out of memory.
PipelineCluster* PipelineClusterResize(PipelineCluster* cluster, uint32_t count);
/// Frees heap data (never external data) and marks the cluster invalid.
void PipelineClusterDestroyData(PipelineCluster* cluster);

/// Sorts `count` records of `stride` bytes by the unsigned key of
/// `keyBytes` (4 or 8) bytes at `keyOffset`, ascending; keys lie in
/// [smallest, largest]. Does nothing for a null array, a key beyond the
/// stride or smallest >= largest. Not stable.
void PipelineSortRecords(void* records, uint32_t count, uint32_t stride, uint32_t keyOffset,
                         uint32_t keyBytes, uint64_t smallest, uint64_t largest);
