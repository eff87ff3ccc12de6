// Packets at execution time: opening, following outputs, handing over to
// another pipeline and releasing; the cluster data operations; the record
// sort used for the persistent clusters.

#include "graphics/core/pipepacket.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/pipelineinternal.h"

namespace {

/// Frees a dropped cluster's heap data and clears it; the second data
/// pointer and the attribute word stay.
void DropCluster(PipelineHeap* heap, PipelineCluster* cluster)
{
    if (!(cluster->flags & kPipelineClusterExternal))
        PipelineHeapFree(heap, cluster->data);
    cluster->flags = 0;
    cluster->stride = 0;
    cluster->data = nullptr;
    cluster->capacity = 0;
    cluster->used = 0;
    cluster->type = nullptr;
}

/// Drops every locked cluster of the packet.
void DropAll(PipelinePacket* packet)
{
    PipelineHeap* heap = PipelineGetHeap();
    PipelineCluster* clusters = PipelinePacketGetClusters(packet);
    for (uint32_t s = 0; s < packet->slotCount; ++s) {
        if (clusters[s].type)
            DropCluster(heap, &clusters[s]);
    }
    packet->flags = 0;
}

void PointAt(PipelinePacket* packet, const PipelineNode* node)
{
    packet->clusterIndices = node->clusterIndices;
    packet->passMasks = node->passMasks;
    packet->slotTypes = node->slotTypes;
}

/// Copies data the caller owns into the pipeline heap. False when out of memory.
bool TakeIntoHeap(PipelineCluster* cluster, uint32_t count)
{
    uint32_t bytes = cluster->stride * count;
    void* copy = PipelineHeapAlloc(PipelineGetHeap(), bytes);
    if (!copy)
        return false;
    uint32_t kept = cluster->capacity < count ? cluster->capacity : count;
    if (cluster->data && kept > 0)
        std::memcpy(copy, cluster->data, size_t(cluster->stride) * kept);
    cluster->data = cluster->currentData = copy;
    cluster->flags &= uint16_t(~kPipelineClusterExternal);
    return true;
}

uint64_t KeyOf(const uint8_t* record, uint32_t keyOffset, uint32_t keyBytes)
{
    if (keyBytes == 4) {
        uint32_t key;
        std::memcpy(&key, record + keyOffset, 4);
        return key;
    }
    uint64_t key;
    std::memcpy(&key, record + keyOffset, 8);
    return key;
}

} // namespace

PipelinePacket* PipelinePacketOpen(PipelineNode* node)
{
    PipelineModuleData* module = PipelineModuleGet();
    if (!module || !node)
        return nullptr;
    if (!module->execution) {
        ErrorRaise(0, kErrorBadArgument); // only a running body may open a packet
        return nullptr;
    }
    Pipeline* pipeline = module->execution->pipeline;
    pipeline->packetState = kPipelinePacketOpen;
    PointAt(pipeline->packet, node);
    return pipeline->packet;
}

PipelineNode* PipelineNodeFollowOutput(Pipeline* pipeline, PipelineNode* node, uint32_t output)
{
    if (!pipeline || !node || output >= node->outputCount || node->outputs[output] < 0)
        return nullptr;
    PipelineNode* target = &pipeline->nodes[node->outputs[output]];
    if (pipeline->packetState <= kPipelinePacketReleased)
        return target;
    PipelinePacket* packet = pipeline->packet;
    uint32_t bit = 1u << output;
    if (!(packet->passMasks[0] & bit)) {
        PipelineHeap* heap = PipelineGetHeap();
        PipelineCluster* clusters = PipelinePacketGetClusters(packet);
        for (uint32_t s = packet->slotCount; s-- > 0;) {
            if (!(packet->passMasks[1 + s] & bit) && clusters[s].type)
                DropCluster(heap, &clusters[s]);
        }
    }
    PointAt(packet, target);
    pipeline->packetState = kPipelinePacketPassed;
    return target;
}

void PipelinePacketRelease(PipelinePacket* packet)
{
    if (!packet)
        return;
    packet->pipeline->packetState = kPipelinePacketReleased;
    DropAll(packet);
}

PipelinePacket* PipelinePacketHandOver(Pipeline* source, Pipeline* target)
{
    if (!source || !target) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (source->packetState <= kPipelinePacketReleased || target->state != kPipelineCompiled ||
        target->nodeCount == 0)
        return nullptr;
    PipelinePacket* from = source->packet;
    PipelinePacket* to = target->packet;
    PipelineCluster* fromClusters = PipelinePacketGetClusters(from);
    PipelineCluster* toClusters = PipelinePacketGetClusters(to);
    const PipelineNode* first = &target->nodes[0];
    for (uint32_t p = 0; p < target->persistentCount; ++p) {
        const PipelinePersistentCluster& expected = target->persistent[p];
        for (uint32_t s = 0; s < from->slotCount; ++s) {
            PipelineCluster* cluster = &fromClusters[s];
            if (!cluster->type || cluster->type->cluster != expected.cluster)
                continue;
            if (cluster->data) {
                toClusters[expected.slot] = *cluster;
                toClusters[expected.slot].type = first->slotTypes[expected.slot];
                cluster->data = nullptr; // moved: not freed with the rest
            }
            break;
        }
    }
    source->packetState = kPipelinePacketReleased;
    DropAll(from);
    PointAt(to, first);
    target->packetState = kPipelinePacketPassed;
    return to;
}

PipelineCluster* PipelineClusterLock(PipelinePacket* packet, uint32_t clusterIndex, bool forWriting)
{
    if (!packet || !packet->clusterIndices)
        return nullptr;
    int32_t slot = packet->clusterIndices[clusterIndex];
    if (slot < 0)
        return nullptr;
    PipelineCluster* cluster = &PipelinePacketGetClusters(packet)[slot];
    if (!cluster->type) {
        cluster->type = packet->slotTypes[slot];
        cluster->attributes = cluster->type->attributes;
    }
    cluster->flags |= kPipelineClusterLocked;
    if (forWriting && (cluster->flags & kPipelineClusterExternal) && cluster->data &&
        !TakeIntoHeap(cluster, cluster->capacity))
        return nullptr;
    return cluster;
}

PipelineCluster* PipelineClusterSetExternalData(PipelineCluster* cluster, void* data, uint16_t stride,
                                                uint32_t count)
{
    if (!cluster)
        return nullptr;
    PipelineClusterDestroyData(cluster);
    cluster->flags |= kPipelineClusterValid | kPipelineClusterExternal;
    cluster->stride = stride;
    cluster->data = cluster->currentData = data;
    cluster->capacity = cluster->used = count;
    return cluster;
}

PipelineCluster* PipelineClusterSetData(PipelineCluster* cluster, void* data, uint16_t stride, uint32_t count)
{
    if (!cluster)
        return nullptr;
    PipelineClusterDestroyData(cluster);
    cluster->flags |= kPipelineClusterValid;
    cluster->stride = stride;
    cluster->data = cluster->currentData = data;
    cluster->capacity = cluster->used = count;
    return cluster;
}

void* PipelineClusterInitData(PipelineCluster* cluster, uint16_t stride, uint32_t count)
{
    if (!cluster)
        return nullptr;
    PipelineClusterDestroyData(cluster);
    void* data = PipelineHeapAlloc(PipelineGetHeap(), uint32_t(stride) * count);
    if (!data)
        return nullptr;
    cluster->flags |= kPipelineClusterValid;
    cluster->stride = stride;
    cluster->data = cluster->currentData = data;
    cluster->capacity = count;
    cluster->used = 0;
    return data;
}

PipelineCluster* PipelineClusterResize(PipelineCluster* cluster, uint32_t count)
{
    if (!cluster)
        return nullptr;
    if (cluster->flags & kPipelineClusterExternal) {
        if (!TakeIntoHeap(cluster, count))
            return nullptr;
    } else {
        void* data = PipelineHeapRealloc(PipelineGetHeap(), cluster->data, uint32_t(cluster->stride) * count);
        if (!data)
            return nullptr;
        cluster->data = cluster->currentData = data;
    }
    cluster->flags |= kPipelineClusterValid;
    cluster->capacity = count;
    cluster->used = cluster->used < count ? cluster->used : count;
    return cluster;
}

void PipelineClusterDestroyData(PipelineCluster* cluster)
{
    if (!cluster)
        return;
    if (cluster->data && !(cluster->flags & kPipelineClusterExternal))
        PipelineHeapFree(PipelineGetHeap(), cluster->data);
    cluster->flags &= uint16_t(~(kPipelineClusterValid | kPipelineClusterExternal));
    cluster->data = cluster->currentData = nullptr;
    cluster->capacity = cluster->used = 0;
}

void PipelineSortRecords(void* records, uint32_t count, uint32_t stride, uint32_t keyOffset,
                         uint32_t keyBytes, uint64_t smallest, uint64_t largest)
{
    if (!records || (keyBytes != 4 && keyBytes != 8) || keyOffset + keyBytes > stride || smallest >= largest)
        return;
    auto* base = static_cast<uint8_t*>(records);
    auto record = [&](uint32_t i) { return base + size_t(i) * stride; };
    auto key = [&](uint32_t i) { return KeyOf(record(i), keyOffset, keyBytes); };
    auto swap = [&](uint32_t a, uint32_t b) { std::swap_ranges(record(a), record(a) + stride, record(b)); };

    // Radix exchange on the key bits, highest first, down to ranges of fewer
    // than 6 records, which the insertion pass below finishes.
    constexpr uint32_t kSmallRange = 6;
    if (count >= kSmallRange) {
        struct Range
        {
            uint32_t first, last;
            int32_t bit;
        };
        Range stack[65];
        uint32_t depth = 0;
        stack[depth++] = {0, count - 1, 63 - std::countl_zero(largest)};
        while (depth > 0) {
            Range range = stack[--depth];
            for (;;) {
                uint64_t mask = uint64_t(1) << range.bit;
                uint32_t i = range.first, j = range.last;
                for (;;) {
                    while (i <= j && !(key(i) & mask))
                        ++i;
                    while (j > i && (key(j) & mask))
                        --j;
                    if (i >= j)
                        break;
                    swap(i, j);
                }
                // [first, i) have the bit clear, [i, last] have it set.
                if (range.bit == 0)
                    break;
                if (range.last + 1 - i >= kSmallRange)
                    stack[depth++] = {i, range.last, range.bit - 1};
                if (i - range.first < kSmallRange)
                    break;
                range = {range.first, i - 1, range.bit - 1};
            }
        }
    }
    for (uint32_t i = 1; i < count; ++i) {
        for (uint32_t j = i; j > 0 && key(j - 1) > key(j); --j)
            swap(j - 1, j);
    }
}
