#pragma once
// Shared by the effect draws: drawing one mesh, the stage set-ups they all
// use and the texture-coordinate transform.

#include <cstdint>

#include "graphics/animation/effects/effectsshaders.h"

struct InstancedData;
struct InstancedMesh;
struct Material;
struct Matrix;
struct Texture;

/// Geometry flags with texture coordinates (one set, two sets).
constexpr uint32_t kEffectsFlagsTextured = 0x84;
constexpr uint32_t kEffectsFlagsTwoSets = 0x80;

/// Draws the mesh with the states as they are (no pixel shader, the mesh's
/// vertex shader, queued states flushed).
void EffectsRenderPlain(const InstancedData* data, const InstancedMesh& mesh);
/// Draws the mesh through the effect pixel shader `shader`.
void EffectsRenderShaded(const InstancedData* data, const InstancedMesh& mesh, EffectsPixelShader shader);
/// The shaders' coefficient: pixel-shader constant 0, `k` in all four
/// components.
void EffectsShaderCoefficient(float k);
/// Stage `stage` colour and alpha: `op` of `arg1` and `arg2`.
void EffectsStageOps(uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2);
/// Stage `stage` colour and alpha disabled.
void EffectsStageDisable(uint32_t stage);
/// Stage 0 modulates `texture` by the diffuse colour; without texture
/// coordinates or a texture it passes the diffuse colour alone. True when
/// the texture is bound.
bool EffectsStageBase(const Texture* texture, uint32_t flags);
/// Transforms stage `stage`'s coordinates by `m` (u' = u right.x + v up.x +
/// pos.x, v' likewise with .y); nothing for null or identity. True when set.
bool EffectsTextureTransform(uint32_t stage, const Matrix* m);
/// Switches stage `stage`'s coordinate transform off.
void EffectsTextureTransformOff(uint32_t stage);
/// Alpha testing as the engine's rule has it (on while blending, unless the
/// alpha function is "always"), after a pass that changed it.
void EffectsAlphaTestRestore();

/// The material's texture drawn modulated by the diffuse colour; for type 5
/// its base matrix transforms the coordinates.
void EffectsRenderSingleTexture(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                                const Texture* texture);
/// The second texture over the base by the dual slot's blend: one pass
/// through texture stages when the device can, else a second pass blended
/// into the frame buffer; the base alone without a second raster.
void EffectsRenderDualTexture(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                              const Texture* base, Texture* second);
