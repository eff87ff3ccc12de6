#pragma once
// The simulation pipeline in its first form: one block holding what the
// narrow phase works in during a step (the batch area with its touch
// records and time-of-impact factors) and the step's contact list. Nothing
// in it is allocated during a step.

#include <cstddef>
#include <cstdint>

#include "physics/core/contact/batch.h"

struct OlpPipeline
{
    OlpBatchArea batch;
    OlpContact* contacts; ///< parameter 8 records, each with its four points
    uint32_t contactCount;
    uint32_t contactCapacity;
    void* block; ///< the one allocation behind every list
};

/// Bytes of the narrow-phase workspace for the context's capacities; 0 when
/// they overflow.
size_t OlpBatchWorkspaceSize(const OlpContextParams* params);
/// Lays the workspace out at `*cursor` (rounded up to 16 before and after)
/// and advances the cursor past it; null when the capacities overflow.
OlpBatchArea* OlpBatchWorkspaceLayout(OlpBatchArea* area, uint8_t** cursor, const OlpContextParams* params);
/// A pipeline for the context's capacities; null when they overflow or the
/// memory refuses.
OlpPipeline* OlpPipelineCreate(const OlpContextParams* params);
/// Frees the pipeline and its block; null is ignored.
void OlpPipelineDestroy(OlpPipeline* pipeline);
