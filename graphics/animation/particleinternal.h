#pragma once
// Private to the particle files: the module's state, the routine choice and
// the pieces of a batch shared by the built-in and geometry-based routines.

#include <cstdint>

#include "graphics/animation/particle.h"
#include "graphics/d3d9/d3d9buffers.h"

struct Material;

/// The engine module's data (valid while the engine is started).
struct ParticleModule
{
    float maxPointSize;             ///< the device's
    bool vertexPointSize;           ///< vertices may carry a point size
    IDirect3DIndexBuffer9* indices; ///< shared by every emitter drawing quads
    int32_t indexedParticles;       ///< particles the shared indices cover
};

/// The module data, or null when the plug-in is not attached or the engine
/// is not started.
ParticleModule* ParticleModuleGet();

/// Bytes of one property by its array slot (order 1, 8, 16, 4, 2, 64, 32, 128, 256).
uint32_t ParticlePropertyBytes(int32_t slot);
/// The array slot of a property flag, or -1.
int32_t ParticlePropertySlot(uint32_t property);

/// The corner builder, texture-coordinate, colour and normal writers for
/// `flags` (quads; point sprites take positions, colours and normals only).
ParticleRoutines ParticleChooseRoutines(uint32_t flags, bool pointSprites);
/// The quad axes: the current camera's right axis negated and its up axis
/// (identity axes without a camera), turned by the emitter's angle with
/// kParticleEmitterRotation, or the emitter matrix's rows with kParticleEmitterMatrix.
void ParticleQuadAxes(const ParticleEmitter* emitter, V3d* right, V3d* up);
/// A8R8G8B8 of R, G, B, A bytes.
inline uint32_t ParticleArgb(const uint8_t* rgba)
{
    return uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]);
}

/// The material of the emitter's geometry built by the build routines:
/// ambient 0.3, diffuse and specular 1. Null when out of memory.
Material* ParticleMaterialCreate();
/// Live particles clamped to [0, maximum].
int32_t ParticleLiveCount(const ParticleEmitter* emitter);
