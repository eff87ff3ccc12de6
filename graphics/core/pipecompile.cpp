// Pipeline compilation: maps the clusters that the nodes of an ordered
// pipeline declare onto the slots of one packet layout.
//
// Phases: liveness (from the last node back to the first, which clusters
// each node may receive and from where), output masks (on which outputs each
// live cluster leaves a node), grouping (usages that a cluster flows through
// share a group), slot assignment (each root group gets the lowest slot free
// at every node it touches) and layout of the lasting results. Everything
// comes from the two-ended scratch area: temporaries from the top, results
// from the bottom.

#include <bit>
#include <cstddef>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/pipelineinternal.h"
#include "graphics/core/pipepacket.h"

struct PipelineUsageGroup;

namespace {

/// One cluster live at a node.
struct UsageEntry
{
    const PipelineClusterDefinition* cluster;
    uint32_t usage;      ///< PipelineClusterUsage; 0: produced here, not needed
    uint32_t inputCount; ///< the node's inputs that may still deliver it
    PipelineUsageGroup* group;
    UsageEntry* nextMember; ///< next usage of the same group
    PipelineUsageTable* table;
    uint32_t outputMask; ///< bit o: leaves the node on output o
    int32_t slot;
    const PipelineNode* anchor; ///< the node that requires or produces it
};

constexpr size_t kScratchAlignment = 8;
constexpr size_t Aligned(size_t n)
{
    return (n + kScratchAlignment - 1) & ~(kScratchAlignment - 1);
}

} // namespace

/// The clusters live at one node.
struct PipelineUsageTable
{
    uint32_t count;
    uint32_t capacity; ///< distinct clusters of the pipeline
    uint32_t slotMask; ///< slots taken at this node
    UsageEntry* entries;
    const PipelineNode* node;
};

/// Usages that share a slot. Groups merged into a root follow it on the
/// nextMerged chain; roots are on the group list.
struct PipelineUsageGroup
{
    UsageEntry* first;
    PipelineUsageGroup* nextMerged;
    PipelineUsageGroup* nextRoot;
    PipelineUsageGroup* parent;
};

void* PipelineScratchAllocTop(PipelineScratch* scratch, size_t n)
{
    n = Aligned(n);
    if (size_t(scratch->top - scratch->bottom) < n) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, n));
        return nullptr;
    }
    scratch->top -= n;
    return scratch->top;
}

void* PipelineScratchAllocBottom(PipelineScratch* scratch, size_t n)
{
    n = Aligned(n);
    if (size_t(scratch->top - scratch->bottom) < n) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, n));
        return nullptr;
    }
    void* at = scratch->bottom;
    scratch->bottom += n;
    return at;
}

namespace {

/// Distinct cluster definitions over all references of all nodes.
uint32_t CountClusters(const Pipeline* pipeline)
{
    uint32_t count = 0;
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNodeDefinition* definition = pipeline->nodes[i].definition;
        for (uint32_t r = 0; r < definition->clusterCount; ++r) {
            const PipelineClusterDefinition* cluster = definition->clusters[r].cluster;
            bool seen = cluster == nullptr;
            for (uint32_t j = 0; j <= i && !seen; ++j) {
                const PipelineNodeDefinition* earlier = pipeline->nodes[j].definition;
                uint32_t end = j == i ? r : earlier->clusterCount;
                for (uint32_t k = 0; k < end && !seen; ++k)
                    seen = earlier->clusters[k].cluster == cluster;
            }
            count += !seen;
        }
    }
    return count;
}

struct Compiler
{
    Pipeline* pipeline;
    PipelineScratch* scratch;
    uint32_t clusterCount; ///< distinct cluster definitions
    PipelineUsageGroup* groups = nullptr;

    PipelineNode& Node(uint32_t i) { return pipeline->nodes[i]; }
    PipelineUsageTable* Table(uint32_t i) { return Node(i).compile->usage; }

    static int32_t ReferenceOf(const PipelineNodeDefinition* definition,
                               const PipelineClusterDefinition* cluster)
    {
        for (uint32_t r = 0; r < definition->clusterCount; ++r) {
            if (definition->clusters[r].cluster == cluster)
                return int32_t(r);
        }
        return -1;
    }

    /// What output o of node i does to the cluster.
    uint32_t Treatment(uint32_t i, uint32_t o, const PipelineClusterDefinition* cluster)
    {
        const PipelineNodeDefinition* definition = Node(i).definition;
        if (!definition->outputs)
            return kPipelineClusterPassed; // a node without descriptors passes everything on
        const PipelineOutputDescriptor& output = definition->outputs[o];
        int32_t r = ReferenceOf(definition, cluster);
        return r >= 0 && output.treatments ? output.treatments[r] : output.otherTreatment;
    }

    static UsageEntry* Find(PipelineUsageTable* table, const PipelineClusterDefinition* cluster)
    {
        for (uint32_t e = 0; e < table->count; ++e) {
            if (table->entries[e].cluster == cluster)
                return &table->entries[e];
        }
        return nullptr;
    }

    /// Adds a live cluster; one already there changes only when it becomes required.
    static UsageEntry* Add(PipelineUsageTable* table, const PipelineClusterDefinition* cluster,
                           uint32_t usage, uint32_t inputCount, const PipelineNode* anchor)
    {
        if (UsageEntry* entry = Find(table, cluster)) {
            if (usage == kPipelineClusterRequired) {
                entry->usage = usage;
                entry->anchor = anchor;
            }
            return entry;
        }
        UsageEntry* entry = &table->entries[table->count++]; // capacity: every distinct cluster
        *entry = {cluster, usage, inputCount, nullptr, nullptr, table, 0, -1, anchor};
        return entry;
    }

    /// One input of node n no longer delivers the cluster; when none does,
    /// it dies here and at every target that took it unchanged from here.
    void Release(const PipelineClusterDefinition* cluster, uint32_t n)
    {
        PipelineUsageTable* table = Table(n);
        UsageEntry* entry = Find(table, cluster);
        if (!entry || --entry->inputCount > 0)
            return;
        *entry = table->entries[--table->count];
        const PipelineNode& node = Node(n);
        for (uint32_t o = 0; o < node.outputCount; ++o) {
            if (node.outputs[o] >= 0 && Treatment(n, o, cluster) == kPipelineClusterPassed)
                Release(cluster, uint32_t(node.outputs[o]));
        }
    }

    uint32_t CheckReferences(uint32_t i)
    {
        const PipelineNodeDefinition* definition = Node(i).definition;
        for (uint32_t r = 0; r < definition->clusterCount; ++r) {
            const PipelineClusterDefinition* cluster = definition->clusters[r].cluster;
            if (!cluster)
                return Fail(kErrorPipelineNullCluster);
            for (uint32_t later = r + 1; later < definition->clusterCount; ++later) {
                if (definition->clusters[later].cluster == cluster)
                    return Fail(kErrorPipelineClusterTwice);
            }
        }
        return 0;
    }

    static uint32_t Fail(uint32_t code)
    {
        PipelineRaise(code);
        return code;
    }

    uint32_t Liveness()
    {
        for (uint32_t i = pipeline->nodeCount; i-- > 0;) {
            if (uint32_t code = CheckReferences(i))
                return code;
            auto* table = static_cast<PipelineUsageTable*>(
                PipelineScratchAllocTop(scratch, sizeof(PipelineUsageTable)));
            auto* entries =
                static_cast<UsageEntry*>(PipelineScratchAllocTop(scratch, clusterCount * sizeof(UsageEntry)));
            if (!table || !entries)
                return Fail(kErrorPipelineScratchFull);
            PipelineNode& node = Node(i);
            *table = {0, clusterCount, 0, entries, &node};
            node.compile->usage = table;
            uint32_t inputs = node.compile->inputCount;
            for (uint32_t o = 0; o < node.outputCount; ++o) {
                if (node.outputs[o] < 0)
                    continue;
                uint32_t target = uint32_t(node.outputs[o]);
                PipelineUsageTable* next = Table(target);
                for (uint32_t e = 0; e < next->count;) {
                    const UsageEntry u = next->entries[e];
                    uint32_t treatment = Treatment(i, o, u.cluster);
                    if (treatment == kPipelineClusterPassed) {
                        Add(table, u.cluster, u.usage, inputs, u.anchor);
                    } else if (u.usage == kPipelineClusterRequired) {
                        if (treatment != kPipelineClusterMadeValid)
                            return Fail(kErrorPipelineClusterConflict);
                    } else if (treatment == kPipelineClusterMadeInvalid) {
                        uint32_t before = next->count;
                        Release(u.cluster, target);
                        if (next->count < before)
                            continue; // the last entry moved into place e
                    }
                    ++e;
                }
            }
            const PipelineNodeDefinition* definition = node.definition;
            for (uint32_t r = 0; r < definition->clusterCount; ++r) {
                uint32_t requirement = definition->inputRequirements ? definition->inputRequirements[r] : 0;
                if (requirement != kPipelineClusterNotNeeded)
                    Add(table, definition->clusters[r].cluster, requirement, inputs, &node);
            }
        }
        return 0;
    }

    uint32_t OutputMasks()
    {
        for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
            PipelineNode& node = Node(i);
            PipelineUsageTable* table = Table(i);
            const PipelineNodeDefinition* definition = node.definition;
            for (uint32_t r = 0; r < definition->clusterCount; ++r) {
                if (definition->clusters[r].keepSlot)
                    Add(table, definition->clusters[r].cluster, kPipelineClusterNotNeeded, 1, &node);
            }
            for (uint32_t o = 0; o < node.outputCount; ++o) {
                if (node.outputs[o] < 0)
                    continue;
                PipelineUsageTable* next = Table(uint32_t(node.outputs[o]));
                for (uint32_t e = 0; e < next->count; ++e) {
                    const PipelineClusterDefinition* cluster = next->entries[e].cluster;
                    uint32_t treatment = Treatment(i, o, cluster);
                    UsageEntry* own = Find(table, cluster);
                    if (treatment == kPipelineClusterMadeValid && !own)
                        own = Add(table, cluster, kPipelineClusterNotNeeded, 1, &node);
                    if (treatment != kPipelineClusterMadeInvalid && own)
                        own->outputMask |= 1u << o;
                }
            }
            // A packet's slot masks are 32 bits: no node may hold more clusters.
            if (table->count > kPipelineMaxClusters)
                return Fail(kErrorPipelineTooManyClusters);
        }
        return 0;
    }

    static PipelineUsageGroup* Root(PipelineUsageGroup* group)
    {
        while (group->parent)
            group = group->parent;
        return group;
    }

    void RemoveRoot(PipelineUsageGroup* root)
    {
        for (PipelineUsageGroup** at = &groups; *at; at = &(*at)->nextRoot) {
            if (*at == root) {
                *at = root->nextRoot;
                return;
            }
        }
    }

    uint32_t Grouping()
    {
        for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
            PipelineUsageTable* table = Table(i);
            for (uint32_t e = 0; e < table->count; ++e) {
                UsageEntry* entry = &table->entries[e];
                if (entry->group)
                    continue;
                auto* group = static_cast<PipelineUsageGroup*>(
                    PipelineScratchAllocTop(scratch, sizeof(PipelineUsageGroup)));
                if (!group)
                    return Fail(kErrorPipelineScratchFull);
                *group = {entry, nullptr, groups, nullptr};
                groups = group;
                entry->group = group;
            }
            const PipelineNode& node = Node(i);
            for (uint32_t o = 0; o < node.outputCount; ++o) {
                if (node.outputs[o] < 0)
                    continue;
                PipelineUsageTable* next = Table(uint32_t(node.outputs[o]));
                for (uint32_t f = 0; f < next->count; ++f) {
                    UsageEntry* follower = &next->entries[f];
                    UsageEntry* own = Find(table, follower->cluster);
                    if (follower->usage == kPipelineClusterNotNeeded || !own ||
                        !(own->outputMask & (1u << o)))
                        continue;
                    if (!follower->group) {
                        follower->group = own->group;
                        follower->nextMember = own->group->first;
                        own->group->first = follower;
                        continue;
                    }
                    PipelineUsageGroup* keep = Root(follower->group);
                    PipelineUsageGroup* merged = Root(own->group);
                    if (keep == merged)
                        continue;
                    PipelineUsageGroup* last = keep;
                    while (last->nextMerged)
                        last = last->nextMerged;
                    last->nextMerged = merged;
                    merged->parent = keep;
                    RemoveRoot(merged);
                }
            }
        }
        return 0;
    }

    uint32_t AssignSlots()
    {
        int32_t highest = -1;
        for (PipelineUsageGroup* root = groups; root; root = root->nextRoot) {
            uint32_t taken = 0;
            for (PipelineUsageGroup* group = root; group; group = group->nextMerged) {
                for (UsageEntry* member = group->first; member; member = member->nextMember)
                    taken |= member->table->slotMask;
            }
            if (taken == 0xFFFFFFFFu)
                return Fail(kErrorPipelineTooManyClusters);
            int32_t slot = std::countr_one(taken);
            for (PipelineUsageGroup* group = root; group; group = group->nextMerged) {
                for (UsageEntry* member = group->first; member; member = member->nextMember) {
                    member->slot = slot;
                    member->table->slotMask |= 1u << slot;
                }
            }
            highest = slot > highest ? slot : highest;
        }
        pipeline->slotCount = uint32_t(highest + 1);
        return 0;
    }

    /// The first root group on the group list whose cluster is `cluster`.
    PipelineUsageGroup* FirstRootOf(const PipelineClusterDefinition* cluster)
    {
        PipelineUsageGroup* root = groups;
        while (root->first->cluster != cluster)
            root = root->nextRoot;
        return root;
    }

    template <typename T> T* Bottom(size_t count)
    {
        return static_cast<T*>(PipelineScratchAllocBottom(scratch, count * sizeof(T)));
    }

    uint32_t Layout()
    {
        std::memset(scratch->bottom, 0, size_t(scratch->top - scratch->bottom));
        uint32_t slots = pipeline->slotCount;
        auto* packet = static_cast<PipelinePacket*>(
            PipelineScratchAllocBottom(scratch, sizeof(PipelinePacket) + slots * sizeof(PipelineCluster)));
        if (!packet)
            return Fail(kErrorPipelineScratchFull);
        packet->slotCount = uint16_t(slots);
        packet->pipeline = pipeline;
        pipeline->packet = packet;
        pipeline->packetState = kPipelinePacketNone;

        // One type record per distinct cluster over the root groups, in group-list order.
        uint32_t typeCount = 0;
        for (PipelineUsageGroup* root = groups; root; root = root->nextRoot)
            typeCount += FirstRootOf(root->first->cluster) == root;
        PipelineClusterType* types = Bottom<PipelineClusterType>(typeCount);
        if (typeCount > 0 && !types)
            return Fail(kErrorPipelineScratchFull);
        uint32_t typed = 0;
        for (PipelineUsageGroup* root = groups; root; root = root->nextRoot) {
            const PipelineClusterDefinition* cluster = root->first->cluster;
            if (FirstRootOf(cluster) == root)
                types[typed++] = {cluster, cluster->attributes};
        }

        for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
            PipelineNode& node = Node(i);
            const PipelineNodeDefinition* definition = node.definition;
            if (slots > 0 && !(node.slotTypes = Bottom<const PipelineClusterType*>(slots)))
                return Fail(kErrorPipelineScratchFull);
            if (!(node.passMasks = Bottom<uint32_t>(slots + 1)))
                return Fail(kErrorPipelineScratchFull);
            if (definition->clusterCount > 0 &&
                !(node.clusterIndices = Bottom<int32_t>(definition->clusterCount)))
                return Fail(kErrorPipelineScratchFull);
            if (definition->privateDataSize > 0 &&
                !(node.privateData = Bottom<uint8_t>(definition->privateDataSize)))
                return Fail(kErrorPipelineScratchFull);
            PipelineUsageTable* table = Table(i);
            node.passMasks[0] = 0xFFFFFFFFu;
            for (uint32_t e = 0; e < table->count; ++e) {
                const UsageEntry& entry = table->entries[e];
                for (uint32_t t = 0; t < typeCount; ++t) {
                    if (types[t].cluster == entry.cluster)
                        node.slotTypes[entry.slot] = &types[t];
                }
                node.passMasks[1 + entry.slot] = entry.outputMask;
                node.passMasks[0] &= entry.outputMask;
            }
            for (uint32_t r = 0; r < definition->clusterCount; ++r) {
                node.clusterIndices[r] = -1;
                for (uint32_t s = 0; s < slots; ++s) {
                    if (node.slotTypes[s] && node.slotTypes[s]->cluster == definition->clusters[r].cluster) {
                        node.clusterIndices[r] = int32_t(s);
                        break;
                    }
                }
            }
        }
        return LayoutPersistent();
    }

    /// The clusters the first node needs: what a packet handed to this pipeline must bring.
    uint32_t LayoutPersistent()
    {
        PipelineUsageTable* table = Table(0);
        uint32_t count = 0;
        for (uint32_t e = 0; e < table->count; ++e)
            count += table->entries[e].usage != kPipelineClusterNotNeeded;
        pipeline->persistentCount = count;
        pipeline->persistent = nullptr;
        if (count == 0)
            return 0;
        PipelinePersistentCluster* persistent = Bottom<PipelinePersistentCluster>(count);
        if (!persistent)
            return Fail(kErrorPipelineScratchFull);
        uint64_t smallest = UINT64_MAX, largest = 0;
        uint32_t n = 0;
        for (uint32_t e = 0; e < table->count; ++e) {
            const UsageEntry& entry = table->entries[e];
            if (entry.usage == kPipelineClusterNotNeeded)
                continue;
            persistent[n++] = {entry.cluster, entry.usage, entry.slot};
            auto key = uint64_t(reinterpret_cast<uintptr_t>(entry.cluster));
            smallest = key < smallest ? key : smallest;
            largest = key > largest ? key : largest;
        }
        PipelineSortRecords(persistent, count, sizeof(PipelinePersistentCluster),
                            offsetof(PipelinePersistentCluster, cluster), sizeof(uintptr_t), smallest,
                            largest);
        pipeline->persistent = persistent;
        return 0;
    }
};

} // namespace

size_t PipelineCompileScratchSize(const Pipeline* pipeline)
{
    size_t nodes = pipeline->nodeCount;
    size_t clusters = CountClusters(pipeline);
    size_t slots = nodes * clusters < kPipelineMaxClusters ? nodes * clusters : kPipelineMaxClusters;
    // Top end: a usage table per node, a group per usage.
    size_t size = nodes * (Aligned(sizeof(PipelineUsageTable)) + Aligned(clusters * sizeof(UsageEntry)));
    size += nodes * clusters * Aligned(sizeof(PipelineUsageGroup));
    // Bottom end: packet, type records, per-node arrays and private data, persistent clusters.
    size += Aligned(sizeof(PipelinePacket) + slots * sizeof(PipelineCluster));
    size += clusters * Aligned(sizeof(PipelineClusterType));
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNodeDefinition* definition = pipeline->nodes[i].definition;
        size += Aligned(slots * sizeof(void*)) + Aligned((slots + 1) * sizeof(uint32_t));
        size += Aligned(definition->clusterCount * sizeof(int32_t)) + Aligned(definition->privateDataSize);
    }
    size += Aligned(clusters * sizeof(PipelinePersistentCluster));
    return size;
}

uint32_t PipelineCompile(Pipeline* pipeline, PipelineScratch* scratch)
{
    Compiler compiler{pipeline, scratch, CountClusters(pipeline)};
    uint32_t code = compiler.Liveness();
    if (!code)
        code = compiler.OutputMasks();
    if (!code)
        code = compiler.Grouping();
    if (!code)
        code = compiler.AssignSlots();
    if (!code)
        code = compiler.Layout();
    return code;
}
