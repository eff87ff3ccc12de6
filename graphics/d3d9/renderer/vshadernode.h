// The vertex-shader nodes: atomics and world sectors drawn through
// generated vertex shaders instead of the fixed-function pipeline. Each node
// keeps six callbacks in its private data; the pipelines built here hold
// the renderer's own, and other renderers (material effects) may set theirs.
//
// Per object the body finds or builds the instanced data as the
// fixed-function nodes do, uploads the transposed world-view-projection as
// c0-c3, asks the lighting callback for the descriptor and the constants
// callback for the light registers from c4, drops lights while the shader
// would need more than the constant budget minus 10, sends the registers in
// one call and binds the buffers; per mesh it sets vertex alpha, gets the
// mesh's shader from the material callback (a null shader skips the mesh),
// uploads the material factors, colour and fog, and calls the render
// callback; the end callback closes the object.
#pragma once

#include <cstdint>

#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vshaderconstants.h"

/// Forms the object's descriptor (light counts aside).
using VertexShaderLightingCallBack = void (*)(void* object, int32_t objectType,
                                              VertexShaderDescriptor* descriptor);
/// Writes the light registers from `constants` (c4) on and their counts into
/// *descriptor; the register behind the last one written.
using VertexShaderConstantsCallBack = VertexShaderRegister* (*)(void* object, int32_t objectType,
                                                                VertexShaderRegister* constants,
                                                                VertexShaderDescriptor* descriptor);
/// The shader of one mesh's material (null: the mesh is not drawn) and its layout.
using VertexShaderMaterialCallBack = IDirect3DVertexShader9* (*)(void* material,
                                                                 VertexShaderDescriptor descriptor,
                                                                 VertexShaderConstantLayout* layout);
/// Draws one mesh with the shader in its record.
using VertexShaderRenderCallBack = void (*)(InstancedData* data, InstancedMesh* mesh,
                                            VertexShaderDescriptor descriptor,
                                            const VertexShaderConstantLayout* layout);
/// After the object's last mesh.
using VertexShaderEndCallBack = void (*)(void* object, int32_t objectType, VertexShaderDescriptor descriptor);

/// The callbacks in a vertex-shader node's private data, in this order.
struct VertexShaderNodeData
{
    InstanceCallBack instance;
    VertexShaderLightingCallBack lighting;
    VertexShaderConstantsCallBack constants;
    VertexShaderMaterialCallBack material;
    VertexShaderRenderCallBack render;
    VertexShaderEndCallBack end;
};

/// Constant registers kept free below the budget for what the body does not count.
inline constexpr uint32_t kVertexShaderBudgetReserve = 10;

/// The node definitions "nodeD3D9VertexShaderAtomicAllInOne.csl" and
/// "nodeD3D9VertexShaderWorldSectorAllInOne.csl".
PipelineNodeDefinition* VertexShaderAtomicNodeGet();
PipelineNodeDefinition* VertexShaderSectorNodeGet();
/// A node's callbacks (to read or replace).
VertexShaderNodeData* VertexShaderNodeGetData(PipelineNode* node);
/// A pipeline of the one atomic (sector) shader node, plug-in id 2; null
/// when the device runs no vertex shaders (the cache has no profile) or on failure.
Pipeline* VertexShaderAtomicPipelineCreate();
Pipeline* VertexShaderSectorPipelineCreate();
