// The recording render pipeline: one node whose body copies the open
// transform and the render packet.

#include "graphics/toolkit2d/testing/im3drecorder.h"

#include "graphics/core/pipeline.h"

namespace {

Im3DRecorder* gRecorder = nullptr;

PipelineNodeDefinition gRecordNode = {"nodeToolkit2DRecord.csl",
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      0,
                                      0};

} // namespace

Im3DRecorder::Im3DRecorder(bool keep) : keep_(keep)
{
    gRecordNode.body = Body;
    pipeline_ = PipelineCreate();
    if (!pipeline_) {
        return;
    }
    pipeline_->pluginId = 1;
    if (!PipelineLock(pipeline_) || !PipelineAddNodes(pipeline_, nullptr, &gRecordNode, nullptr) ||
        !PipelineUnlock(pipeline_)) {
        PipelineDestroy(pipeline_);
        pipeline_ = nullptr;
        return;
    }
    gRecorder = this;
    Im3DSetRenderPipeline(pipeline_, kIm3DTriList);
    Im3DSetRenderPipeline(pipeline_, kIm3DTriStrip);
}

Im3DRecorder::~Im3DRecorder()
{
    if (pipeline_) {
        Im3DSetRenderPipeline(nullptr, kIm3DTriList);
        Im3DSetRenderPipeline(nullptr, kIm3DTriStrip);
        PipelineDestroy(pipeline_);
    }
    gRecorder = nullptr;
}

void Im3DRecorder::Clear()
{
    batches_.clear();
    calls_ = 0;
    indices_ = 0;
}

int32_t Im3DRecorder::Body(PipelineNode*, const PipelineExecution* execution)
{
    const auto* render = static_cast<const Im3DRenderPacket*>(execution->data);
    const Im3DTransformPacket* open = Im3DGetTransformPacket();
    Im3DRecorder* self = gRecorder;
    if (!self || !render || !open) {
        return 0;
    }
    ++self->calls_;
    self->indices_ += render->indexCount;
    if (self->keep_) {
        Im3DBatch batch;
        batch.type = render->type;
        batch.flags = open->flags;
        batch.matrix = open->matrix ? *open->matrix : Matrix{};
        batch.vertices.assign(open->vertices, open->vertices + open->vertexCount);
        if (render->indices) {
            batch.indices.assign(render->indices, render->indices + render->indexCount);
        }
        self->batches_.push_back(std::move(batch));
    }
    return 1;
}
