// The effects pipelines: built from the scene renderer's atomic and sector
// nodes with the instance and render callbacks replaced, and the device
// capabilities read alongside them.
#include "graphics/animation/effects/effectspipelines.h"

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectsshaders.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/world.h"

namespace {

Pipeline* gAtomicPipeline = nullptr;
Pipeline* gSectorPipeline = nullptr;
InstanceCallBack gAtomicInstance = nullptr;
InstanceCallBack gSectorInstance = nullptr;
EffectsDeviceCaps gCaps = {};
// The one-time validations are made once per run: re-creating the
// pipelines (a new device) keeps their outcome.
uint32_t gModulate2xCheck = 1;
uint32_t gAddCheck = 1;

/// A pipeline of `definition` owned by the effects plug-in, with its node's
/// callbacks replaced; the previous instance callback goes to *previous.
Pipeline* PipelineOf(PipelineNodeDefinition* definition, InstanceCallBack instance,
                     InstanceCallBack* previous)
{
    Pipeline* pipeline = PipelineCreate();
    if (!pipeline) {
        return nullptr;
    }
    pipeline->pluginId = kPluginIdMaterialEffects;
    PipelineNode* node = nullptr;
    if (!PipelineLock(pipeline) || !PipelineAddNodes(pipeline, nullptr, definition, nullptr) ||
        !PipelineUnlock(pipeline) ||
        !(node = PipelineFindNodeByName(pipeline, definition->name, nullptr, nullptr))) {
        PipelineDestroy(pipeline);
        return nullptr;
    }
    *previous = AllInOneNodeGetInstanceCallBack(node);
    AllInOneNodeSetInstanceCallBack(node, instance);
    AllInOneNodeSetRenderCallBack(node, EffectsRenderCallback);
    return pipeline;
}

/// True when a mesh of the instanced data has a bump-mapped material.
bool AnyBumpMapped(InstancedData* data)
{
    const InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        if (meshes[i].material && MaterialEffectsIsBumpMapped(meshes[i].material)) {
            return true;
        }
    }
    return false;
}

void CapsRead()
{
    gCaps = {};
    const D3DCAPS9* caps = D3D9GetCaps();
    if (caps) {
        gCaps.blendStages = caps->MaxTextureBlendStages;
    }
    if (gCaps.blendStages >= 2) {
        gCaps.twoTextures = caps->MaxSimultaneousTextures >= 2;
        gCaps.multiplyAdd = caps->TextureOpCaps & D3DTEXOPCAPS_MULTIPLYADD;
        gCaps.modulate2x = caps->TextureOpCaps & D3DTEXOPCAPS_MODULATE2X;
    } else {
        gModulate2xCheck = 0;
        gAddCheck = 0;
    }
    gCaps.modulate2xCheck = gModulate2xCheck;
    gCaps.addCheck = gAddCheck;
    // Version tokens keep major.minor in the low 16 bits.
    gCaps.pixelShaders = caps && (caps->PixelShaderVersion & 0xFFFF) >= 0x101 && EffectsPixelShadersCreate();
}

} // namespace

int32_t EffectsAtomicInstanceCallback(void* object, InstancedData* data, int32_t reinstance)
{
    Geometry* geometry = static_cast<Atomic*>(object)->geometry;
    if (!reinstance && gCaps.pixelShaders && AnyBumpMapped(data)) {
        D3D9GeometrySetExtension(geometry, D3D9GeometryGetExtension(geometry) | kD3D9ExtensionTangents);
    }
    return gAtomicInstance(object, data, reinstance);
}

int32_t EffectsSectorInstanceCallback(void* object, InstancedData* data, int32_t reinstance)
{
    auto* sector = static_cast<WorldSector*>(object);
    if (!reinstance && gCaps.pixelShaders && AnyBumpMapped(data)) {
        D3D9WorldSectorSetExtension(sector, D3D9WorldSectorGetExtension(sector) | kD3D9ExtensionTangents);
    }
    return gSectorInstance(object, data, reinstance);
}

int32_t EffectsPipelinesCreate()
{
    gAtomicPipeline = PipelineOf(AtomicNodeGet(), EffectsAtomicInstanceCallback, &gAtomicInstance);
    gSectorPipeline = PipelineOf(SectorNodeGet(), EffectsSectorInstanceCallback, &gSectorInstance);
    if (!gAtomicPipeline || !gSectorPipeline) {
        EffectsPipelinesDestroy();
        return 0;
    }
    CapsRead();
    return 1;
}

int32_t EffectsPipelinesDestroy()
{
    // Validation outcomes outlive the pipelines.
    gModulate2xCheck = gCaps.modulate2xCheck;
    gAddCheck = gCaps.addCheck;
    EffectsPixelShadersDestroy();
    gCaps.pixelShaders = 0;
    PipelineDestroy(gAtomicPipeline);
    PipelineDestroy(gSectorPipeline);
    gAtomicPipeline = nullptr;
    gSectorPipeline = nullptr;
    return 1;
}

Pipeline* EffectsGetPipeline(int32_t kind)
{
    switch (kind) {
    case kEffectsPipelineAtomic:
        return gAtomicPipeline;
    case kEffectsPipelineWorldSector:
        return gSectorPipeline;
    default:
        return nullptr;
    }
}

Atomic* AtomicSetEffectsPipeline(Atomic* atomic)
{
    atomic->pipeline = gAtomicPipeline;
    return atomic;
}

WorldSector* WorldSectorSetEffectsPipeline(WorldSector* sector)
{
    sector->pipeline = gSectorPipeline;
    return sector;
}

EffectsDeviceCaps* EffectsGetDeviceCaps()
{
    return &gCaps;
}
