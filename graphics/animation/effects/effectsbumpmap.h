#pragma once
// The bump-map effect, an emboss: the combined texture (base colour, height
// in alpha) is sampled at the mesh's coordinates and at coordinates shifted
// towards the light, and the two heights are subtracted, through a pixel
// shader or in two blended passes. The shifted coordinates are written per
// frame into bump vertices in the dynamic buffers.

#include <cstdint>

#include "graphics/core/vector.h"

struct InstancedData;
struct InstancedMesh;
struct Texture;

/// FVF of the bump vertices: position, normal, colour, two coordinate sets.
constexpr uint32_t kEffectsBumpVertexFvf = 0x252;

/// One bump vertex, 44 bytes as the FVF lays it out.
struct EffectsBumpVertex
{
    V3d position;
    V3d normal;      ///< zero when the mesh has none
    uint32_t colour; ///< D3DCOLOR; opaque white when the mesh has none
    float u0, v0;    ///< the mesh's coordinates
    float u1, v1;    ///< shifted towards the light
};
static_assert(sizeof(EffectsBumpVertex) == 44, "bump vertices are 44 bytes");

/// True when the instanced vertices carry the positions and first texture
/// coordinates the bump vertices are made from.
bool EffectsBumpMapCanFill(const InstancedData* data);

/// Writes the mesh's numVertices bump vertices into `vertices`: the light is
/// the first one on the bump slot's frame (the camera's frame when the slot
/// has none); directional and spot lights shine along their frame, others
/// (and no light) sit at the frame's position. Coordinates shift by the
/// slot's coefficient / texture width along the tangent (given, or derived
/// from each vertex's first triangle). 1, or 0 when the vertices cannot be
/// read (nothing usable written).
int32_t EffectsBumpMapFillVertices(const InstancedData* data, const InstancedMesh& mesh,
                                   EffectsBumpVertex* vertices);

/// Draws the mesh bump-mapped with `combined` (or `base` when it has alpha;
/// single-textured with neither), then, when `envTexture` is not null, the
/// environment of slot 1 over it. Nothing is drawn when no dynamic buffer
/// space is left.
void EffectsRenderBumpMap(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                          const Texture* base, const Texture* combined, const Texture* envTexture);

/// Frees the scratch memory of the indexed walk (at the plug-in's close).
void EffectsBumpMapRelease();
