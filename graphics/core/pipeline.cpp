// Pipelines: creation and destruction, locking for editing, unlocking
// (ordering, compiling, initialising the nodes) and execution.

#include "graphics/core/pipeline.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipelineinternal.h"
#include "graphics/core/pipepacket.h"

namespace {

constexpr uint32_t kHintPipeline = 0x30409;

void RaiseOutOfMemory(size_t size)
{
    ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
}

/// Forgets everything a compiled layout held.
void ClearCompiled(Pipeline* pipeline)
{
    pipeline->slotCount = 0;
    pipeline->packetState = kPipelinePacketNone;
    pipeline->packet = nullptr;
    pipeline->persistentCount = 0;
    pipeline->persistent = nullptr;
}

// ---- ordering ------------------------------------------------------------------

/// Swaps entries a and b of a locked area (with their output blocks and
/// records) and renumbers every output that named either.
void SwapNodes(Pipeline* pipeline, uint32_t a, uint32_t b)
{
    if (a == b)
        return;
    void* area = pipeline->nodeArea;
    std::swap(pipeline->nodes[a], pipeline->nodes[b]);
    std::swap_ranges(PipelineLockedOutputs(area, a), PipelineLockedOutputs(area, a) + kPipelineMaxOutputs,
                     PipelineLockedOutputs(area, b));
    std::swap(*PipelineLockedRecord(area, a), *PipelineLockedRecord(area, b));
    PipelineLockedAttach(area, a);
    PipelineLockedAttach(area, b);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        PipelineNode* node = &pipeline->nodes[i];
        for (uint32_t o = 0; o < node->outputCount; ++o) {
            if (node->outputs[o] == int32_t(a))
                node->outputs[o] = int32_t(b);
            else if (node->outputs[o] == int32_t(b))
                node->outputs[o] = int32_t(a);
        }
    }
}

/// Places node `index` at the next free position, then follows its outputs,
/// placing each target once all of its inputs have been seen. The positions
/// before `placed` never move again, so a placed node's outputs stay readable.
void PlaceNode(Pipeline* pipeline, uint32_t index, uint32_t* placed)
{
    uint32_t at = (*placed)++;
    SwapNodes(pipeline, index, at);
    PipelineNode* node = &pipeline->nodes[at];
    for (uint32_t o = 0; o < node->outputCount; ++o) {
        int32_t target = node->outputs[o];
        if (target < 0)
            continue;
        PipelineCompileRecord* record = pipeline->nodes[target].compile;
        if (++record->inputsSeen == record->inputCount)
            PlaceNode(pipeline, uint32_t(target), placed);
    }
}

/// Orders the entries of a locked pipeline so that each follows the nodes
/// that feed it, the entry node first. False after recording 36, 34 or 28.
bool OrderNodes(Pipeline* pipeline)
{
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i)
        *pipeline->nodes[i].compile = {};
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNode* node = &pipeline->nodes[i];
        for (uint32_t o = 0; o < node->outputCount; ++o) {
            if (node->outputs[o] >= int32_t(pipeline->nodeCount)) {
                ErrorRaise(0, kErrorBadArgument); // an output written by hand past the last node
                return false;
            }
            if (node->outputs[o] >= 0)
                ++pipeline->nodes[node->outputs[o]].compile->inputCount;
        }
    }
    uint32_t entry = pipeline->entryNode;
    if (entry >= pipeline->nodeCount || !pipeline->nodes[entry].definition ||
        pipeline->nodes[entry].compile->inputCount != 0) {
        PipelineRaise(kErrorPipelineBadEntryNode);
        return false;
    }
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        if (i != entry && pipeline->nodes[i].compile->inputCount == 0) {
            PipelineRaise(kErrorPipelineNoInput);
            return false;
        }
    }
    uint32_t placed = 0;
    PlaceNode(pipeline, entry, &placed);
    pipeline->entryNode = 0;
    if (placed != pipeline->nodeCount) {
        PipelineRaise(kErrorPipelineUnorderable);
        return false;
    }
    return true;
}

// ---- compiled area ---------------------------------------------------------------

template <typename T> void Rebase(T*& pointer, uintptr_t from, size_t size, uint8_t* to)
{
    auto at = reinterpret_cast<uintptr_t>(pointer);
    if (pointer && at >= from && at < from + size)
        pointer = reinterpret_cast<T*>(to + (at - from));
}

/// Points every pointer into a compiled area that moved from `from` to `to`.
void RebaseCompiled(Pipeline* pipeline, uintptr_t from, size_t size, uint8_t* to)
{
    Rebase(pipeline->nodes, from, size, to);
    Rebase(pipeline->packet, from, size, to);
    Rebase(pipeline->persistent, from, size, to);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        PipelineNode* node = &pipeline->nodes[i];
        Rebase(node->outputs, from, size, to);
        Rebase(node->slotTypes, from, size, to);
        Rebase(node->passMasks, from, size, to);
        Rebase(node->privateData, from, size, to);
        Rebase(node->clusterIndices, from, size, to);
        for (uint32_t s = 0; node->slotTypes && s < pipeline->slotCount; ++s)
            Rebase(node->slotTypes[s], from, size, to);
    }
}

/// Builds the compiled area of an ordered locked pipeline: the entries, their
/// packed output lists and what compiling lays out, shrunk to fit. On
/// success the pipeline's nodes live in it; the locked area is left as it was.
bool BuildCompiled(Pipeline* pipeline)
{
    size_t outputs = 0;
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i)
        outputs += pipeline->nodes[i].outputCount;
    size_t packed =
        pipeline->nodeCount * sizeof(PipelineNode) + ((outputs * sizeof(int32_t) + 7) & ~size_t(7));
    size_t size = packed + PipelineCompileScratchSize(pipeline);
    auto* area = static_cast<uint8_t*>(MemoryAllocate(size, kPipelineHintNodeArea));
    if (!area) {
        RaiseOutOfMemory(size);
        return false;
    }
    auto* nodes = reinterpret_cast<PipelineNode*>(area);
    auto* cursor = reinterpret_cast<int32_t*>(nodes + pipeline->nodeCount);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNode& locked = pipeline->nodes[i];
        nodes[i] = {locked.definition, locked.outputCount, nullptr, nullptr, nullptr, nullptr,
                    nullptr,           locked.compile};
        if (locked.outputCount > 0) {
            std::memcpy(cursor, locked.outputs, locked.outputCount * sizeof(int32_t));
            nodes[i].outputs = cursor;
            cursor += locked.outputCount;
        }
    }
    void* lockedArea = pipeline->nodeArea;
    PipelineNode* lockedNodes = pipeline->nodes;
    pipeline->nodes = nodes;
    PipelineScratch scratch = {area + packed, area + size};
    if (PipelineCompile(pipeline, &scratch) != 0) {
        MemoryFree(area);
        pipeline->nodes = lockedNodes;
        pipeline->nodeArea = lockedArea;
        ClearCompiled(pipeline);
        return false;
    }
    // Keep only the bottom end; the temporaries at the top go. A shrink that
    // fails leaves the larger area, which is just as good.
    size_t used = size_t(scratch.bottom - area);
    auto* shrunk = static_cast<uint8_t*>(MemoryReallocate(area, used, kPipelineHintNodeArea));
    if (shrunk) {
        if (shrunk != area)
            RebaseCompiled(pipeline, reinterpret_cast<uintptr_t>(area), used, shrunk);
        area = shrunk;
        size = used;
    }
    pipeline->nodeArea = area;
    pipeline->nodeAreaSize = size;
    return true;
}

/// Goes back from a compiled area that failed its callbacks to the locked one.
void RestoreLocked(Pipeline* pipeline, void* lockedArea)
{
    MemoryFree(pipeline->nodeArea);
    pipeline->nodeArea = lockedArea;
    pipeline->nodeAreaSize = PipelineLockedAreaSize();
    pipeline->nodes = static_cast<PipelineNode*>(lockedArea);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i)
        *pipeline->nodes[i].compile = {};
    ClearCompiled(pipeline);
}

/// Undoes the initialisation of entries [from, nodeCount).
void TerminateFrom(Pipeline* pipeline, uint32_t from)
{
    for (uint32_t i = from; i < pipeline->nodeCount; ++i)
        PipelineNodeTerminate(&pipeline->nodes[i]);
}

/// Runs the definition-init and node-init callbacks, then the set-up
/// callbacks, each from the last entry to the first. On a failure everything
/// initialised is undone and false is returned.
bool InitialiseNodes(Pipeline* pipeline)
{
    for (uint32_t i = pipeline->nodeCount; i-- > 0;) {
        PipelineNode* node = &pipeline->nodes[i];
        PipelineNodeDefinition* definition = node->definition;
        if (definition->refCount++ == 0 && definition->definitionInit &&
            !definition->definitionInit(definition)) {
            --definition->refCount;
            TerminateFrom(pipeline, i + 1);
            return false;
        }
        if (definition->nodeInit && !definition->nodeInit(node)) {
            if (--definition->refCount == 0 && definition->definitionTerm)
                definition->definitionTerm(definition);
            TerminateFrom(pipeline, i + 1);
            return false;
        }
    }
    for (uint32_t i = pipeline->nodeCount; i-- > 0;) {
        PipelineNode* node = &pipeline->nodes[i];
        if (node->definition->nodeSetup && !node->definition->nodeSetup(node, pipeline)) {
            TerminateFrom(pipeline, 0);
            return false;
        }
    }
    return true;
}

} // namespace

Pipeline* PipelineCreate()
{
    PipelineModuleData* module = PipelineModuleGet();
    if (!module)
        return nullptr;
    auto* pipeline = static_cast<Pipeline*>(MemoryFreeListAlloc(module->pipelines, kHintPipeline));
    if (!pipeline) {
        RaiseOutOfMemory(sizeof(Pipeline));
        return nullptr;
    }
    *pipeline = {};
    return pipeline;
}

void PipelineDestroy(Pipeline* pipeline)
{
    if (!pipeline)
        return;
    if (pipeline->state == kPipelineCompiled)
        TerminateFrom(pipeline, 0);
    MemoryFree(pipeline->nodeArea);
    if (PipelineModuleData* module = PipelineModuleGet())
        MemoryFreeListFree(module->pipelines, pipeline);
}

Pipeline* PipelineLock(Pipeline* pipeline)
{
    if (!pipeline) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (pipeline->state == kPipelineLocked)
        return pipeline;
    size_t size = PipelineLockedAreaSize();
    void* area = MemoryAllocate(size, kPipelineHintNodeArea);
    if (!area) {
        RaiseOutOfMemory(size);
        return nullptr;
    }
    TerminateFrom(pipeline, 0);
    auto* nodes = static_cast<PipelineNode*>(area);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        const PipelineNode& compiled = pipeline->nodes[i];
        nodes[i] = {};
        nodes[i].definition = compiled.definition;
        nodes[i].outputCount = compiled.outputCount;
        PipelineLockedAttach(area, i);
        for (uint32_t o = 0; o < kPipelineMaxOutputs; ++o)
            nodes[i].outputs[o] = o < compiled.outputCount ? compiled.outputs[o] : -1;
        *nodes[i].compile = {};
    }
    MemoryFree(pipeline->nodeArea);
    pipeline->nodeArea = area;
    pipeline->nodeAreaSize = size;
    pipeline->nodes = nodes;
    ClearCompiled(pipeline);
    pipeline->state = kPipelineLocked;
    return pipeline;
}

Pipeline* PipelineUnlock(Pipeline* pipeline)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    if (pipeline->nodeCount == 0) {
        MemoryFree(pipeline->nodeArea);
        pipeline->nodeArea = nullptr;
        pipeline->nodeAreaSize = 0;
        pipeline->nodes = nullptr;
        pipeline->entryNode = 0;
        pipeline->state = kPipelineCompiled;
        return pipeline;
    }
    if (!OrderNodes(pipeline))
        return nullptr;
    void* lockedArea = pipeline->nodeArea;
    if (!BuildCompiled(pipeline))
        return nullptr;
    if (!InitialiseNodes(pipeline)) {
        RestoreLocked(pipeline, lockedArea);
        return nullptr;
    }
    MemoryFree(lockedArea);
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i)
        pipeline->nodes[i].compile = nullptr;
    pipeline->state = kPipelineCompiled;
    return pipeline;
}

Pipeline* PipelineExecute(Pipeline* pipeline, void* data, bool resetHeap)
{
    if (!pipeline) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (pipeline->state != kPipelineCompiled) {
        ErrorRaise(0, kErrorBadArgument); // only compiled pipelines run
        return nullptr;
    }
    PipelineModuleData* module = PipelineModuleGet();
    if (!module)
        return nullptr;
    if (pipeline->nodeCount == 0)
        return pipeline;
    if (resetHeap && module->heap->dirty)
        PipelineHeapReset(module->heap);
    // A body may execute another pipeline: the outer execution is restored after it.
    PipelineExecution execution = {data, pipeline, module->heap};
    const PipelineExecution* outer = module->execution;
    module->execution = &execution;
    pipeline->packetState = kPipelinePacketNone;
    PipelineNode* first = &pipeline->nodes[0];
    bool succeeded = first->definition->body && first->definition->body(first, &execution) != 0;
    if (pipeline->packetState > kPipelinePacketReleased) {
        pipeline->packetState = kPipelinePacketOpen;
        PipelinePacketRelease(pipeline->packet);
    }
    module->execution = outer;
    return succeeded ? pipeline : nullptr;
}

Pipeline* PipelineDuplicate(const Pipeline* source)
{
    if (!source) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (source->state != kPipelineCompiled) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    Pipeline* pipeline = PipelineCreate();
    if (!pipeline)
        return nullptr;
    pipeline->pluginId = source->pluginId;
    pipeline->pluginData = source->pluginData;
    PipelineNodeDefinition* definitions[kPipelineNodeLimit];
    for (uint32_t i = 0; i < source->nodeCount; ++i)
        definitions[i] = source->nodes[i].definition;
    if (!PipelineLock(pipeline) || !PipelineAppendNodes(pipeline, definitions, source->nodeCount, false)) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    for (uint32_t i = 0; i < source->nodeCount; ++i) {
        for (uint32_t o = 0; o < source->nodes[i].outputCount; ++o)
            pipeline->nodes[i].outputs[o] = source->nodes[i].outputs[o];
    }
    pipeline->entryNode = source->entryNode;
    if (!PipelineUnlock(pipeline)) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    return pipeline;
}
