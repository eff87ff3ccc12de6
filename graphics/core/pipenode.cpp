// Node entries of a pipeline: adding, inserting, removing and connecting
// them while the pipeline is locked, finding them, and letting go of their
// definitions.

#include <cstdarg>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/pipelineinternal.h"

namespace {

/// Checks what adding `count` entries of these definitions needs; raises
/// the error and answers false when they can't be added.
bool CanAdd(const Pipeline* pipeline, PipelineNodeDefinition* const* definitions, uint32_t count)
{
    if (pipeline->nodeCount + count > kPipelineNodeLimit) {
        PipelineRaise(kErrorPipelineTooManyNodes);
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const PipelineNodeDefinition* definition = definitions[i];
        if (definition->outputCount > kPipelineMaxOutputs) {
            PipelineRaise(kErrorPipelineTooManyOutputs);
            return false;
        }
        if (definition->clusterCount > kPipelineMaxClusters) {
            PipelineRaise(kErrorPipelineTooManyClusters);
            return false;
        }
        if (definition->outputCount >= kPipelineNodeLimit) {
            PipelineRaise(kErrorPipelineTooManyNodes);
            return false;
        }
    }
    return true;
}

/// The entry's index in the pipeline, or -1 (0x80000003) when it is not one of its entries.
int32_t IndexOf(const Pipeline* pipeline, const PipelineNode* node)
{
    if (node >= pipeline->nodes && node < pipeline->nodes + pipeline->nodeCount)
        return int32_t(node - pipeline->nodes);
    ErrorRaise(0, kErrorBadArgument);
    return -1;
}

} // namespace

bool PipelineCheckLocked(const Pipeline* pipeline)
{
    if (!pipeline) {
        ErrorRaise(0, kErrorNullArgument);
        return false;
    }
    if (pipeline->state != kPipelineLocked) {
        PipelineRaise(kErrorPipelineNotLocked);
        return false;
    }
    return true;
}

bool PipelineAppendNodes(Pipeline* pipeline, PipelineNodeDefinition* const* definitions, uint32_t count,
                         bool chain)
{
    if (!CanAdd(pipeline, definitions, count))
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t index = pipeline->nodeCount++;
        PipelineNode* node = &pipeline->nodes[index];
        *node = {};
        node->definition = definitions[i];
        node->outputCount = definitions[i]->outputCount;
        PipelineLockedAttach(pipeline->nodeArea, index);
        for (uint32_t o = 0; o < kPipelineMaxOutputs; ++o)
            node->outputs[o] = -1;
        *node->compile = {};
        if (chain && i > 0) {
            PipelineNode* previous = node - 1;
            if (previous->outputCount > 0 && previous->outputs[0] < 0)
                previous->outputs[0] = int32_t(index);
        }
    }
    return true;
}

Pipeline* PipelineAddNodes(Pipeline* pipeline, uint32_t* firstIndex, PipelineNodeDefinition* definition, ...)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    PipelineNodeDefinition* definitions[kPipelineNodeLimit + 1];
    uint32_t count = 0;
    va_list more;
    va_start(more, definition);
    for (PipelineNodeDefinition* next = definition; next; next = va_arg(more, PipelineNodeDefinition*)) {
        if (count > kPipelineNodeLimit)
            break; // already too many for any pipeline; CanAdd reports it
        definitions[count++] = next;
    }
    va_end(more);
    if (count == 0)
        return nullptr;
    uint32_t first = pipeline->nodeCount;
    if (!PipelineAppendNodes(pipeline, definitions, count, true))
        return nullptr;
    if (firstIndex)
        *firstIndex = first;
    return pipeline;
}

Pipeline* PipelineNodeDestroyInstance(PipelineNode* node, Pipeline* pipeline)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    if (!node) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    int32_t removed = IndexOf(pipeline, node);
    if (removed < 0)
        return nullptr;
    // Later entries, with their output blocks and records, move down by one.
    void* area = pipeline->nodeArea;
    for (uint32_t i = uint32_t(removed); i + 1 < pipeline->nodeCount; ++i) {
        pipeline->nodes[i] = pipeline->nodes[i + 1];
        std::memcpy(PipelineLockedOutputs(area, i), PipelineLockedOutputs(area, i + 1),
                    kPipelineMaxOutputs * sizeof(int32_t));
        *PipelineLockedRecord(area, i) = *PipelineLockedRecord(area, i + 1);
        PipelineLockedAttach(area, i);
    }
    --pipeline->nodeCount;
    for (uint32_t i = 0; i < pipeline->nodeCount; ++i) {
        PipelineNode* entry = &pipeline->nodes[i];
        for (uint32_t o = 0; o < entry->outputCount; ++o) {
            if (entry->outputs[o] == removed)
                entry->outputs[o] = -1;
            else if (entry->outputs[o] > removed)
                --entry->outputs[o];
        }
    }
    if (pipeline->entryNode > uint32_t(removed))
        --pipeline->entryNode;
    return pipeline;
}

PipelineNode* PipelineInsertNodeAfter(Pipeline* pipeline, PipelineNode* node,
                                      PipelineNodeDefinition* definition)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    if (!node || !definition) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (IndexOf(pipeline, node) < 0)
        return nullptr;
    int32_t target = node->outputCount > 0 ? node->outputs[0] : -1;
    if (node->outputCount == 0 || (target >= 0 && definition->outputCount == 0)) {
        PipelineRaise(kErrorPipelineTooManyOutputs);
        return nullptr;
    }
    uint32_t index = pipeline->nodeCount;
    if (!PipelineAppendNodes(pipeline, &definition, 1, false))
        return nullptr;
    PipelineNode* added = &pipeline->nodes[index];
    if (added->outputCount > 0)
        added->outputs[0] = target;
    node->outputs[0] = int32_t(index);
    return added;
}

Pipeline* PipelineNodeConnect(Pipeline* pipeline, PipelineNode* node, uint32_t output, PipelineNode* target)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    if (!node || !target) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    int32_t targetIndex = IndexOf(pipeline, target);
    if (IndexOf(pipeline, node) < 0 || targetIndex < 0)
        return nullptr;
    if (output >= node->outputCount) {
        PipelineRaise(kErrorPipelineTooManyOutputs);
        return nullptr;
    }
    if (node->outputs[output] >= 0) {
        ErrorRaise(0, kErrorBadArgument); // already connected: disconnect first
        return nullptr;
    }
    node->outputs[output] = targetIndex;
    return pipeline;
}

Pipeline* PipelineNodeDisconnect(Pipeline* pipeline, PipelineNode* node, uint32_t output)
{
    if (!PipelineCheckLocked(pipeline))
        return nullptr;
    if (!node) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (IndexOf(pipeline, node) < 0)
        return nullptr;
    if (output >= node->outputCount) {
        PipelineRaise(kErrorPipelineTooManyOutputs);
        return nullptr;
    }
    node->outputs[output] = -1;
    return pipeline;
}

void PipelineNodeTerminate(PipelineNode* node)
{
    PipelineNodeDefinition* definition = node->definition;
    if (definition->nodeTerm)
        definition->nodeTerm(node);
    if (--definition->refCount == 0 && definition->definitionTerm)
        definition->definitionTerm(definition);
}

PipelineNode* PipelineFindNodeByName(Pipeline* pipeline, const char* name, const PipelineNode* after,
                                     uint32_t* index)
{
    if (!pipeline || !name)
        return nullptr;
    uint32_t start = 0;
    if (after) {
        int32_t at = IndexOf(pipeline, after);
        if (at < 0)
            return nullptr;
        start = uint32_t(at) + 1;
    }
    for (uint32_t i = start; i < pipeline->nodeCount; ++i) {
        const PipelineNodeDefinition* definition = pipeline->nodes[i].definition;
        if (definition && definition->name && std::strcmp(definition->name, name) == 0) {
            if (index)
                *index = i;
            return &pipeline->nodes[i];
        }
    }
    return nullptr;
}

PipelineNode* PipelineGetNode(Pipeline* pipeline, uint32_t index)
{
    if (!pipeline || index >= pipeline->nodeCount)
        return nullptr;
    return &pipeline->nodes[index];
}
