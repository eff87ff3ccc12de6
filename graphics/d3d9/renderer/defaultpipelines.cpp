// The atomic and world-sector pipeline nodes, the accessors of the callbacks
// in their private data, and the default pipelines built from them.
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/renderer/lights.h"
#include "graphics/d3d9/renderer/rendererstate.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexshader.h"

namespace {

PipelineNodeDefinition gAtomicNode = {"nodeD3D9AtomicAllInOne.csl",
                                      AtomicNodeBody,
                                      nullptr,
                                      nullptr,
                                      AtomicNodeInit,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      sizeof(AllInOneNodeData),
                                      0};

PipelineNodeDefinition gSectorNode = {"nodeD3D9WorldSectorAllInOne.csl",
                                      SectorNodeBody,
                                      nullptr,
                                      nullptr,
                                      SectorNodeInit,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      sizeof(AllInOneNodeData),
                                      0};

AllInOneNodeData* NodeData(PipelineNode* node)
{
    return static_cast<AllInOneNodeData*>(node->privateData);
}

Pipeline* SetCurrent(PipelineObjectKind kind, Pipeline* pipeline)
{
    PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
    if (!slots) {
        return nullptr;
    }
    slots->current[kind] = pipeline ? pipeline : slots->defaults[kind];
    return slots->current[kind];
}

void CloseKind(PipelineObjectKind kind)
{
    PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
    if (!slots) {
        return;
    }
    slots->current[kind] = slots->defaults[kind];
    PipelineDestroy(slots->defaults[kind]);
    slots->defaults[kind] = nullptr;
    slots->current[kind] = nullptr;
}

} // namespace

Pipeline* RendererPipelineCreate(PipelineNodeDefinition* definition)
{
    Pipeline* pipeline = PipelineCreate();
    if (!pipeline) {
        return nullptr;
    }
    pipeline->pluginId = kPipelinePluginSceneRenderer;
    if (!PipelineLock(pipeline) || !PipelineAddNodes(pipeline, nullptr, definition, nullptr) ||
        !PipelineUnlock(pipeline)) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    return pipeline;
}

PipelineNodeDefinition* AtomicNodeGet()
{
    return &gAtomicNode;
}
PipelineNodeDefinition* SectorNodeGet()
{
    return &gSectorNode;
}

int32_t AtomicNodeInit(PipelineNode* node)
{
    *NodeData(node) = {AtomicInstance, AtomicReinstance, ObjectLighting, DefaultRender};
    return 1;
}

int32_t SectorNodeInit(PipelineNode* node)
{
    *NodeData(node) = {SectorInstance, nullptr, SectorLightingCallBack, DefaultRender};
    return 1;
}

PipelineNode* AllInOneNodeSetInstanceCallBack(PipelineNode* node, InstanceCallBack callBack)
{
    NodeData(node)->instance = callBack;
    return node;
}
InstanceCallBack AllInOneNodeGetInstanceCallBack(PipelineNode* node)
{
    return NodeData(node)->instance;
}
PipelineNode* AllInOneNodeSetReinstanceCallBack(PipelineNode* node, ReinstanceCallBack callBack)
{
    NodeData(node)->reinstance = callBack;
    return node;
}
ReinstanceCallBack AllInOneNodeGetReinstanceCallBack(PipelineNode* node)
{
    return NodeData(node)->reinstance;
}
PipelineNode* AllInOneNodeSetLightingCallBack(PipelineNode* node, LightingCallBack callBack)
{
    NodeData(node)->lighting = callBack;
    return node;
}
LightingCallBack AllInOneNodeGetLightingCallBack(PipelineNode* node)
{
    return NodeData(node)->lighting;
}
PipelineNode* AllInOneNodeSetRenderCallBack(PipelineNode* node, RenderCallBack callBack)
{
    NodeData(node)->render = callBack;
    return node;
}
RenderCallBack AllInOneNodeGetRenderCallBack(PipelineNode* node)
{
    return NodeData(node)->render;
}

Pipeline* DefaultAtomicPipelineCreate()
{
    LightsReset();
    VertexShaderCacheReset();
    Pipeline* pipeline = RendererPipelineCreate(&gAtomicNode);
    if (pipeline) {
        PipelineGetDefaultSlots()->defaults[kPipelineKindAtomic] = pipeline;
        AtomicSetDefaultPipeline(nullptr);
    }
    return pipeline;
}

Pipeline* DefaultSectorPipelineCreate()
{
    Pipeline* pipeline = RendererPipelineCreate(&gSectorNode);
    if (pipeline) {
        PipelineGetDefaultSlots()->defaults[kPipelineKindWorldSector] = pipeline;
        WorldSectorSetDefaultPipeline(nullptr);
    }
    return pipeline;
}

int32_t D3D9DefaultPipelinesOpen()
{
    PipelineDefaultSlots* slots = PipelineGetDefaultSlots();
    if (!slots) {
        return 0;
    }
    *slots = {};
    if (!DefaultAtomicPipelineCreate() || !DefaultSectorPipelineCreate()) {
        D3D9DefaultPipelinesClose();
        return 0;
    }
    return 1;
}

void D3D9DefaultPipelinesClose()
{
    CloseKind(kPipelineKindWorldSector);
    RendererRestoreListClose();
    LightsClose();
    VertexShaderCacheFlush();
    CloseKind(kPipelineKindAtomic);
}

void AtomicSetDefaultPipeline(Pipeline* pipeline)
{
    SetCurrent(kPipelineKindAtomic, pipeline);
}
void WorldSectorSetDefaultPipeline(Pipeline* pipeline)
{
    SetCurrent(kPipelineKindWorldSector, pipeline);
}
Pipeline* ThirdKindSetDefaultPipeline(Pipeline* pipeline)
{
    return SetCurrent(kPipelineKindThird, pipeline);
}
