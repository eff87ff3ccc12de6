// The immediate-mode 3-D module: its packets, its current and default
// pipelines, and the calls that open, render and close a transform.

#include "graphics/d3d9/im3d.h"

#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/pipeline.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr int32_t kRenderTypes = 6;

struct Im3DModule
{
    Pipeline* transform;
    Pipeline* render[kRenderTypes]; ///< by type - 1
    Pipeline* defaultTransform;
    Pipeline* defaultRender[kRenderTypes];
    Im3DTransformPacket packet;
    bool open;
};

int32_t gOffset = -1;

Im3DModule* Module()
{
    return gOffset >= 0 && EngineGetState() == kEngineStateStarted
               ? static_cast<Im3DModule*>(EngineGetModuleData(gOffset))
               : nullptr;
}

Pipeline* BuildPipeline(PipelineNodeDefinition* definition)
{
    Pipeline* pipeline = PipelineCreate();
    if (!pipeline) {
        return nullptr;
    }
    pipeline->pluginId = 1;
    if (!PipelineLock(pipeline) || !PipelineAddNodes(pipeline, nullptr, definition, nullptr) ||
        !PipelineUnlock(pipeline)) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

void DestroyPipelines(Im3DModule* module)
{
    PipelineDestroy(module->defaultTransform);
    // Types 1 to 5 share one default render pipeline.
    PipelineDestroy(module->defaultRender[0]);
    std::memset(module, 0, sizeof(*module));
}

void* ModuleOpen(void* instance, int32_t offset, int32_t)
{
    gOffset = offset;
    auto* module = static_cast<Im3DModule*>(EngineGetModuleData(offset));
    std::memset(module, 0, sizeof(*module));
    module->defaultTransform = BuildPipeline(Im3DInstanceNodeDefinition());
    Pipeline* submit = module->defaultTransform ? BuildPipeline(Im3DSubmitNodeDefinition()) : nullptr;
    if (!submit || !Im3DD3D9CreateBuffers()) {
        PipelineDestroy(submit);
        DestroyPipelines(module);
        Im3DD3D9ReleaseBuffers();
        return nullptr;
    }
    module->transform = module->defaultTransform;
    for (int32_t type = 0; type < kRenderTypes - 1; ++type) {
        module->defaultRender[type] = module->render[type] = submit;
    }
    return instance;
}

void* ModuleClose(void* instance, int32_t offset, int32_t)
{
    auto* module = static_cast<Im3DModule*>(EngineGetModuleData(offset));
    Im3DD3D9ReleaseBuffers();
    DestroyPipelines(module);
    return instance;
}

bool CheckType(int32_t type)
{
    if (type < 1 || type > kRenderTypes) {
        ErrorRaise(kPluginIdCore, kErrorIm3DBadType);
        return false;
    }
    return true;
}

int32_t Render(int32_t type, const uint16_t* indices, uint32_t count)
{
    Im3DModule* module = Module();
    if (!module || !module->open) {
        ErrorRaise(kPluginIdCore, kErrorIm3DNotOpen);
        return 0;
    }
    switch (type) {
    case kIm3DLineList:
        count &= ~1u;
        break;
    case kIm3DTriList:
        count -= count % 3;
        break;
    case kIm3DPolyLine:
    case kIm3DTriStrip:
    case kIm3DTriFan:
        break;
    default:
        ErrorRaise(kPluginIdCore, kErrorIm3DBadType);
        return 0;
    }
    if (indices) {
        for (uint32_t i = 0; i < count; ++i) {
            if (indices[i] >= module->packet.vertexCount) {
                ErrorRaise(0, kErrorBadArgument);
                return 0;
            }
        }
    }
    Im3DRenderPacket packet = {module->render[type - 1], type, indices, count};
    return packet.pipeline && PipelineExecute(packet.pipeline, &packet, false) ? 1 : 0;
}

} // namespace

int32_t Im3DModuleAttach()
{
    gOffset = EngineAttachPlugin(sizeof(Im3DModule), kPluginIdImmediate3D, ModuleOpen, ModuleClose);
    return gOffset;
}

Im3DTransformPacket* Im3DGetTransformPacket()
{
    Im3DModule* module = Module();
    return module ? &module->packet : nullptr;
}

Im3DVertex* Im3DTransform(Im3DVertex* vertices, uint32_t count, const Matrix* matrix, uint32_t flags)
{
    if (count > kIm3DMaxVertices) {
        ErrorRaise(kPluginIdCore, kErrorIm3DTooManyVertices);
        return nullptr;
    }
    Im3DModule* module = Module();
    if (!module) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    module->packet = {count, vertices, sizeof(Im3DVertex), flags | 0x18, matrix};
    module->open = true;
    if (!PipelineExecute(module->transform, &module->packet, true)) {
        module->open = false;
        return nullptr;
    }
    return vertices;
}

int32_t Im3DRenderIndexedPrimitive(int32_t type, const uint16_t* indices, uint32_t count)
{
    return Render(type, indices, count);
}

int32_t Im3DRenderPrimitive(int32_t type)
{
    Im3DModule* module = Module();
    return Render(type, nullptr, module ? module->packet.vertexCount : 0);
}

int32_t Im3DRenderLine(uint32_t a, uint32_t b)
{
    PipelineHeap* heap = PipelineGetHeap();
    auto* pair = heap ? static_cast<uint16_t*>(PipelineHeapAlloc(heap, 4)) : nullptr;
    if (!pair) {
        return 0;
    }
    if (a > 0xFFFF || b > 0xFFFF) {
        PipelineHeapFree(heap, pair);
        ErrorRaise(0, kErrorBadArgument);
        return 0;
    }
    pair[0] = uint16_t(a);
    pair[1] = uint16_t(b);
    const int32_t result = Render(kIm3DLineList, pair, 2);
    PipelineHeapFree(heap, pair);
    return result;
}

int32_t Im3DEnd()
{
    Im3DModule* module = Module();
    if (!module || !module->open) {
        return 0;
    }
    module->packet = {};
    module->open = false;
    return 1;
}

Pipeline* Im3DSetTransformPipeline(Pipeline* pipeline)
{
    Im3DModule* module = Module();
    if (!module) {
        return nullptr;
    }
    module->transform = pipeline ? pipeline : module->defaultTransform;
    return module->transform;
}

Pipeline* Im3DSetRenderPipeline(Pipeline* pipeline, int32_t type)
{
    Im3DModule* module = Module();
    if (!module || !CheckType(type)) {
        return nullptr;
    }
    module->render[type - 1] = pipeline ? pipeline : module->defaultRender[type - 1];
    return module->render[type - 1];
}

Pipeline* Im3DGetTransformPipeline()
{
    Im3DModule* module = Module();
    return module ? module->transform : nullptr;
}

Pipeline* Im3DGetRenderPipeline(int32_t type)
{
    Im3DModule* module = Module();
    if (!module || !CheckType(type)) {
        return nullptr;
    }
    return module->render[type - 1];
}
