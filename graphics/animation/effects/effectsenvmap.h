#pragma once
// The environment-map effect: a reflection texture addressed by the
// camera-space normal (2-D sphere map) or reflection vector (cube map),
// added over the base in one pass through texture stages or a pixel shader,
// else in a second pass blended into the frame buffer.

#include <cstdint>

struct Frame;
struct InstancedData;
struct InstancedMesh;
struct Texture;

/// The environment's strength as a byte: coefficient x 255 rounded, clamped
/// to 0..255 (coefficients outside [0, 1] saturate instead of wrapping).
uint32_t EffectsEnvMapAmount(float coefficient);

/// Binds `texture` on `stage` with coordinates generated from the camera:
/// a cube map by the reflection vector in world orientation, a 2-D map by
/// the camera-space normal, seen from `frame` when not null, scaled into
/// 0..1. Returns 1.
int32_t EffectsEnvMapSetStage(const Texture* texture, uint32_t stage, Frame* frame);

/// Unbinds an environment stage and gives it back its own coordinates.
void EffectsEnvMapStageOff(uint32_t stage);

/// Draws the mesh with the environment of effect slot `slotIndex` of its
/// material over `base`. Slot 0 (effect type 2) draws base and reflection
/// (the base alone when the amount is 0 or there is no environment raster):
/// an opaque surface in one pass through a pixel shader (environment with
/// alpha) or texture stages (without), else in two; slot 1 (after a bump
/// map) draws only the additive reflection pass.
void EffectsRenderEnvMap(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                         uint32_t slotIndex, const Texture* base, const Texture* envTexture);
