#pragma once
// Private to the pipeline module: its data in the engine instance, the node
// area layouts, the compile scratch area and the steps shared between the
// module's files.
//
// Node area while locked, for the node limit N: N node entries, then N blocks
// of 32 output words (entry i's outputs live in block i), then N compile
// records. Compiled: the entries, their output lists packed one after the
// other, then what compiling laid out (packet template, type records,
// per-node arrays and private data, persistent clusters).

#include <cstddef>
#include <cstdint>

#include "graphics/core/pipeline.h"

struct FreeList;
struct PipelineUsageTable;

/// What unlocking counts for each node; lives only while unlocking.
struct PipelineCompileRecord
{
    uint32_t inputCount; ///< connections into the node
    uint32_t inputsSeen; ///< inputs the ordering has followed
    PipelineUsageTable* usage;
};

/// Two-ended scratch area for compiling: temporary records from the top,
/// lasting results from the bottom.
struct PipelineScratch
{
    uint8_t* bottom;
    uint8_t* top;
};

struct PipelineModuleData
{
    PipelineRenderStates defaultRenderStates;
    FreeList* pipelines;
    PipelineHeap* heap;
    PipelineDefaultSlots defaultSlots;
    const PipelineExecution* execution; ///< the current execution, null between executions
    PipelineScratch scratch;
};

/// The module's data while the engine is started; otherwise null after
/// recording kErrorNotStarted.
PipelineModuleData* PipelineModuleGet();

/// Records a plain error of the engine core.
void PipelineRaise(uint32_t code);

// ---- node area -----------------------------------------------------------------

constexpr uint32_t kPipelineHintNodeArea = 0x1030409;

inline size_t PipelineLockedAreaSize()
{
    return kPipelineNodeLimit *
           (sizeof(PipelineNode) + kPipelineMaxOutputs * sizeof(int32_t) + sizeof(PipelineCompileRecord));
}
inline int32_t* PipelineLockedOutputs(void* area, uint32_t index)
{
    auto* blocks = reinterpret_cast<int32_t*>(static_cast<PipelineNode*>(area) + kPipelineNodeLimit);
    return blocks + size_t(index) * kPipelineMaxOutputs;
}
inline PipelineCompileRecord* PipelineLockedRecord(void* area, uint32_t index)
{
    auto* records = reinterpret_cast<PipelineCompileRecord*>(PipelineLockedOutputs(area, kPipelineNodeLimit));
    return records + index;
}
/// Points entry `index` of a locked area at its own output block and record.
inline void PipelineLockedAttach(void* area, uint32_t index)
{
    PipelineNode* node = static_cast<PipelineNode*>(area) + index;
    node->outputs = PipelineLockedOutputs(area, index);
    node->compile = PipelineLockedRecord(area, index);
}

/// Runs the node-term callback of a compiled entry and lets go of its
/// definition (definition-term at its last use).
void PipelineNodeTerminate(PipelineNode* node);
/// Null pipeline: kErrorNullArgument; not locked: 52. True when editable.
bool PipelineCheckLocked(const Pipeline* pipeline);
/// Appends entries for `count` definitions to a locked pipeline, chaining
/// each to the one before when `chain` is set. False (nothing added) on error.
bool PipelineAppendNodes(Pipeline* pipeline, PipelineNodeDefinition* const* definitions, uint32_t count,
                         bool chain);

// ---- compiling -------------------------------------------------------------------

void* PipelineScratchAllocTop(PipelineScratch* scratch, size_t n);
void* PipelineScratchAllocBottom(PipelineScratch* scratch, size_t n);
/// Bytes of scratch space that compiling `pipeline` can need at most.
size_t PipelineCompileScratchSize(const Pipeline* pipeline);
/// Maps the clusters of an ordered pipeline (entry node first, compile
/// records counted) onto packet slots, laying the results out from the
/// bottom of `scratch`. 0, or the plain error code it recorded.
uint32_t PipelineCompile(Pipeline* pipeline, PipelineScratch* scratch);
