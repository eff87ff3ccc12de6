#pragma once
// The material-effects render pipelines: copies of the scene renderer's
// atomic and world-sector nodes whose instance callback asks for tangents on
// bump-mapped geometry and whose render callback draws each mesh by its
// material's effect type; and the device capabilities the draws consult.

#include <cstdint>

struct Atomic;
struct InstancedData;
struct Pipeline;
struct ResourcesEntry;
struct WorldSector;

/// Kinds given to EffectsGetPipeline.
constexpr int32_t kEffectsPipelineAtomic = 1;
constexpr int32_t kEffectsPipelineWorldSector = 2;

/// What the device offers the effect draws, read when the pipelines are made.
struct EffectsDeviceCaps
{
    uint32_t blendStages; ///< MaxTextureBlendStages
    uint32_t twoTextures; ///< 2+ blend stages and 2+ simultaneous textures
    uint32_t multiplyAdd; ///< D3DTEXOPCAPS_MULTIPLYADD, with 2+ blend stages
    uint32_t modulate2x; ///< D3DTEXOPCAPS_MODULATE2X, with 2+ blend stages; cleared when it fails to validate
    uint32_t addValidated;    ///< the one-pass additive environment map validated
    uint32_t modulate2xCheck; ///< the modulate-2x set-up still has to be validated
    uint32_t addCheck;        ///< the additive set-up still has to be validated
    uint32_t pixelShaders;    ///< the effects' pixel shaders exist
};

/// Builds both pipelines and reads the capabilities; 1, or 0 when a pipeline
/// cannot be built (nothing is left behind).
int32_t EffectsPipelinesCreate();
/// Destroys both pipelines; 1.
int32_t EffectsPipelinesDestroy();
/// kEffectsPipelineAtomic or kEffectsPipelineWorldSector; null for other kinds.
Pipeline* EffectsGetPipeline(int32_t kind);
/// The object with its pipeline set to the effects pipeline of its type.
Atomic* AtomicSetEffectsPipeline(Atomic* atomic);
WorldSector* WorldSectorSetEffectsPipeline(WorldSector* sector);
/// The capabilities read by the last EffectsPipelinesCreate (validation
/// outcomes are written back here).
EffectsDeviceCaps* EffectsGetDeviceCaps();

/// Instance callbacks of the two pipelines: on first instancing, when pixel
/// shaders exist and a mesh is bump-mapped, ask for a tangent element; then
/// the node's own instance callback.
int32_t EffectsAtomicInstanceCallback(void* atomic, InstancedData* data, int32_t reinstance);
int32_t EffectsSectorInstanceCallback(void* sector, InstancedData* data, int32_t reinstance);
/// The render callback of both pipelines.
void EffectsRenderCallback(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags);
