// The atomic and world-sector bodies of the vertex-shader nodes, their node
// definitions and pipelines.
#include "graphics/d3d9/renderer/vshadernode.h"

#include <cstring>

#include "graphics/core/frame.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/renderer/rendererstate.h"
#include "graphics/d3d9/renderer/vshaderdraw.h"
#include "graphics/d3d9/renderer/vshaderlighting.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/world.h"

namespace {

int32_t AtomicBody(PipelineNode* node, const PipelineExecution* execution);
int32_t SectorBody(PipelineNode* node, const PipelineExecution* execution);

int32_t AtomicInit(PipelineNode* node)
{
    *VertexShaderNodeGetData(node) = {AtomicInstance,
                                      VertexShaderDescriptorFromObject,
                                      D3D9VertexShaderLightingCallback,
                                      D3D9VertexShaderFindCallback,
                                      D3D9VertexShaderRenderCallback,
                                      D3D9VertexShaderEndCallback};
    return 1;
}

int32_t SectorInit(PipelineNode* node)
{
    AtomicInit(node);
    VertexShaderNodeGetData(node)->instance = SectorInstance;
    return 1;
}

PipelineNodeDefinition gAtomicNode = {"nodeD3D9VertexShaderAtomicAllInOne.csl",
                                      AtomicBody,
                                      nullptr,
                                      nullptr,
                                      AtomicInit,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      sizeof(VertexShaderNodeData),
                                      0};

PipelineNodeDefinition gSectorNode = {"nodeD3D9VertexShaderWorldSectorAllInOne.csl",
                                      SectorBody,
                                      nullptr,
                                      nullptr,
                                      SectorInit,
                                      nullptr,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      nullptr,
                                      0,
                                      nullptr,
                                      sizeof(VertexShaderNodeData),
                                      0};

// Draws an instanced object whose world matrix is set (D3D9VertexShaderSetWorldMatrix).
void Draw(const VertexShaderNodeData* callbacks, ResourcesEntry* entry, void* object, int32_t objectType)
{
    VertexShaderRegister* constants = D3D9VertexShaderConstantBuffer();
    D3D9SetRenderState(D3DRS_CLIPPING, 1);
    D3DXMATRIX transform;
    D3D9VertexShaderCalcWorldViewProjection(&transform);
    std::memcpy(constants, &transform, sizeof transform);
    VertexShaderDescriptor descriptor = 0;
    if (callbacks->lighting) {
        callbacks->lighting(object, objectType, &descriptor);
    }
    VertexShaderRegister* end = callbacks->constants
                                    ? callbacks->constants(object, objectType, constants + 4, &descriptor)
                                    : constants + 4;

    // Fit the budget, keeping room for what the cost does not count; the
    // dropped lights are the last of the block, so the block just ends earlier.
    const uint32_t budget = VertexShaderBudget();
    const uint32_t limit = budget > kVertexShaderBudgetReserve ? budget - kVertexShaderBudgetReserve : 0;
    bool dropped = false;
    while (VertexShaderCost(descriptor) > limit && VertexShaderDropLight(&descriptor)) {
        dropped = true;
    }
    uint32_t registers = uint32_t(end - constants);
    if (dropped && registers > VertexShaderLightRegisters(descriptor)) {
        registers = VertexShaderLightRegisters(descriptor);
    }
    D3D9SetVertexShaderConstant(0, constants[0], registers);
    InstancedData* data = InstancedDataFromEntry(entry);
    InstancedDataBind(data);

    VertexShaderMeshConstants uploaded;
    VertexShaderMeshConstantsBegin(&uploaded, descriptor);
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        InstancedMesh& mesh = meshes[i];
        VertexShaderMeshVertexAlpha(&mesh);
        VertexShaderConstantLayout layout;
        mesh.vertexShader =
            callbacks->material ? callbacks->material(mesh.material, descriptor, &layout) : nullptr;
        if (!mesh.vertexShader) {
            continue; // no shader for this descriptor: the mesh is not drawn
        }
        VertexShaderMeshConstantsUpload(&uploaded, mesh.material, &layout);
        if (callbacks->render) {
            callbacks->render(data, &mesh, descriptor, &layout);
        }
        mesh.vertexShader = nullptr;
    }
    if (callbacks->end) {
        callbacks->end(object, objectType, descriptor);
    }
}

int32_t AtomicBody(PipelineNode* node, const PipelineExecution* execution)
{
    auto* atomic = static_cast<Atomic*>(execution->data);
    const VertexShaderNodeData* callbacks = VertexShaderNodeGetData(node);
    int32_t ok = 1;
    ResourcesEntry* entry = AtomicInstancedDataGet(atomic, callbacks->instance, AtomicReinstance, &ok);
    if (!entry) {
        return ok;
    }
    Frame* frame = AtomicGetFrame(atomic);
    D3D9VertexShaderSetWorldMatrix(frame ? FrameGetLTM(frame) : nullptr);
    Draw(callbacks, entry, atomic, kInstancedAtomic);
    return 1;
}

int32_t SectorBody(PipelineNode* node, const PipelineExecution* execution)
{
    auto* sector = static_cast<WorldSector*>(execution->data);
    const VertexShaderNodeData* callbacks = VertexShaderNodeGetData(node);
    int32_t ok = 1;
    ResourcesEntry* entry = SectorInstancedDataGet(sector, callbacks->instance, &ok);
    if (!entry) {
        return ok;
    }
    D3D9VertexShaderSetWorldMatrix(nullptr);
    Draw(callbacks, entry, sector, kInstancedWorldSector);
    return 1;
}

Pipeline* ShaderPipelineCreate(PipelineNodeDefinition* definition)
{
    return VertexShaderProfile() != kVertexShaderProfileNone ? RendererPipelineCreate(definition) : nullptr;
}

} // namespace

PipelineNodeDefinition* VertexShaderAtomicNodeGet()
{
    return &gAtomicNode;
}

PipelineNodeDefinition* VertexShaderSectorNodeGet()
{
    return &gSectorNode;
}

VertexShaderNodeData* VertexShaderNodeGetData(PipelineNode* node)
{
    return static_cast<VertexShaderNodeData*>(node->privateData);
}

Pipeline* VertexShaderAtomicPipelineCreate()
{
    return ShaderPipelineCreate(&gAtomicNode);
}

Pipeline* VertexShaderSectorPipelineCreate()
{
    return ShaderPipelineCreate(&gSectorNode);
}
