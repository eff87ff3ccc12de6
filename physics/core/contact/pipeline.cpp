#include "physics/core/contact/pipeline.h"

#include "physics/core/utils/memory.h"

namespace {

uint8_t* Aligned(uint8_t* p)
{
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}

size_t ContactBytes(const OlpContextParams* params)
{
    return (sizeof(OlpContact) * size_t(params->words[kOlpParamContacts]) + 15) & ~size_t{15};
}

} // namespace

size_t OlpBatchWorkspaceSize(const OlpContextParams* params)
{
    return OlpBatchAreaSize(params);
}

OlpBatchArea* OlpBatchWorkspaceLayout(OlpBatchArea* area, uint8_t** cursor, const OlpContextParams* params)
{
    size_t bytes = OlpBatchAreaSize(params);
    uint8_t* at = Aligned(*cursor);
    if (bytes == 0 || OlpBatchAreaInit(area, at, params) == nullptr) {
        return nullptr;
    }
    *cursor = Aligned(at + bytes);
    return area;
}

OlpPipeline* OlpPipelineCreate(const OlpContextParams* params)
{
    size_t workspace = OlpBatchWorkspaceSize(params);
    if (workspace == 0) {
        return nullptr;
    }
    auto* pipeline = static_cast<OlpPipeline*>(OlpAlignedAlloc(sizeof(OlpPipeline), 16, kOlpMemoryHint));
    size_t bytes = workspace + ContactBytes(params) + 32;
    void* block = pipeline != nullptr ? OlpAlignedAlloc(bytes, 16, kOlpMemoryHint) : nullptr;
    if (block == nullptr) {
        OlpAlignedFree(pipeline);
        return nullptr;
    }
    *pipeline = {};
    pipeline->block = block;
    auto* cursor = static_cast<uint8_t*>(block);
    OlpBatchWorkspaceLayout(&pipeline->batch, &cursor, params);
    pipeline->contacts = reinterpret_cast<OlpContact*>(Aligned(cursor));
    pipeline->contactCapacity = params->words[kOlpParamContacts];
    return pipeline;
}

void OlpPipelineDestroy(OlpPipeline* pipeline)
{
    if (pipeline != nullptr) {
        OlpAlignedFree(pipeline->block);
        OlpAlignedFree(pipeline);
    }
}
