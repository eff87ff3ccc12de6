#pragma once
// Particles (engine plug-in and atomic extension 0x12F): a particle system
// drawn as one atomic. The emitter, kept in the atomic's extension, owns one
// array per particle property; the caller locks an array, writes it and
// unlocks. At render time the emitter's callbacks turn the live particles
// into camera-facing quads (or point sprites where the device draws them)
// in the device's dynamic vertex buffers and draw them, or, with the
// geometry-based routines, into the atomic's own geometry.
//
// Property flags: the low nine bits name per-particle arrays; a flag
// shifted left by 12 names one value for the whole emitter (kept in the
// emitter header below).

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"
#include "graphics/scene/atomic.h"

constexpr uint32_t kPluginIdParticles = 0x12F;

/// Per-particle properties, in bytes per particle: 12, 4, 8, 64, 12, 4, 16, 16, 32.
constexpr uint32_t kParticlePosition = 1;       ///< x, y, z
constexpr uint32_t kParticleColour = 2;         ///< R, G, B, A bytes
constexpr uint32_t kParticleSize = 4;           ///< width, height
constexpr uint32_t kParticleMatrix = 8;         ///< a Matrix; replaces 1, 4 and 32
constexpr uint32_t kParticleNormal = 16;        ///< x, y, z
constexpr uint32_t kParticleRotation = 32;      ///< angle, radians
constexpr uint32_t kParticleCornerColours = 64; ///< four RGBA
constexpr uint32_t kParticleTexRect = 128;      ///< u0, v0, u1, v1
constexpr uint32_t kParticleCornerUVs = 256;    ///< four u, v pairs
/// Emitter-wide values.
constexpr uint32_t kParticleEmitterMatrix = 0x8000; ///< its right and up rows span the quads
constexpr uint32_t kParticleEmitterRotation = 0x20000;
constexpr uint32_t kParticleEmitterCornerColours = 0x40000;
constexpr uint32_t kParticleEmitterTexRect = 0x80000;
constexpr uint32_t kParticleEmitterCornerUVs = 0x100000;
/// Selects the second variant of each corner builder (the same as the first).
constexpr uint32_t kParticleSecondVariant = 0x1000000;
/// Layouts: one array per property (the default), or one record per particle.
constexpr uint32_t kParticleSeparate = 0x10000000;
constexpr uint32_t kParticleInterleaved = 0x20000000;
/// ParticleEmitterLock mode bit: the array will be written (marked dirty).
constexpr uint32_t kParticleLockWrite = 0x40000000;
/// Bit 0 of the caller's value: draw point sprites where the device can.
constexpr uint32_t kParticleValuePointSprites = 1;

/// Number of per-particle properties, and the largest particle count the
/// shared 16-bit index buffer covers in one draw.
constexpr int32_t kParticlePropertyCount = 9;
constexpr int32_t kParticleIndexedMaximum = 16383;

struct ParticleEmitter;

/// One property array: its first particle's bytes and the bytes between particles.
struct ParticleArray
{
    void* data;
    int32_t stride;
};

/// Where a batch of vertices goes: one pointer and stride per vertex
/// element (null when absent). Colours are A8R8G8B8 words, or R, G, B, A
/// bytes with `rgbaColours`.
struct ParticleVertexStreams
{
    uint8_t* positions;
    uint32_t positionStride;
    uint8_t* normals;
    uint32_t normalStride;
    uint8_t* colours;
    uint32_t colourStride;
    bool rgbaColours;
    uint8_t* texCoords;
    uint32_t texCoordStride;
    uint8_t* sizes; ///< point sprites: one float per vertex
    uint32_t sizeStride;
};

/// A run of particles written as vertices: `corners` vertices per particle
/// (4 for quads, 1 for point sprites), the quad axes already turned by the
/// emitter's angle or taken from its matrix.
struct ParticleBatch
{
    const ParticleEmitter* emitter;
    int32_t first;
    int32_t count;
    int32_t corners;
    V3d right;
    V3d up;
    ParticleVertexStreams out;
};

/// A routine writing one vertex element of a batch.
using ParticleWriter = void (*)(const ParticleBatch* batch);

/// Allocates the emitter's data block of `bytes`; null when out of memory.
/// Blocks from a caller's allocator are not freed by the emitter.
using ParticleAllocateCallBack = void* (*)(ParticleEmitter* emitter, uint32_t bytes);
/// Makes the atomic's geometry and material and chooses the routines; 1 on success.
using ParticleBuildCallBack = int32_t (*)(Atomic* atomic, ParticleEmitter* emitter);
/// Writes the vertices of the live particles before each render; `changed`
/// holds the bits of the properties written since the last update.
using ParticleUpdateCallBack = int32_t (*)(Atomic* atomic, const ParticleArray* arrays, int32_t live,
                                           uint32_t changed);
/// Draws; 1 asks the hook to run the atomic's own render callback afterwards.
using ParticlePrepareCallBack = int32_t (*)(Atomic* atomic, const ParticleArray* arrays, int32_t live);

struct ParticleCallBacks
{
    ParticleAllocateCallBack allocate; ///< null: the engine's memory
    ParticleBuildCallBack build;
    ParticleUpdateCallBack update;   ///< null: no update
    ParticlePrepareCallBack prepare; ///< null: the atomic's render callback draws
};

/// The routines chosen for the emitter's flags at build (null where none).
struct ParticleRoutines
{
    ParticleWriter vertexWriter; ///< the batch writer that runs the four below
    ParticleWriter cornerBuilder;
    ParticleWriter texCoordWriter; ///< quads without texture properties span the whole texture
    ParticleWriter colourWriter;
    ParticleWriter normalWriter;
    ParticleWriter finisher; ///< after the batch: point sizes, or dead particles moved away
};

/// The emitter, as the caller may read and write it.
struct ParticleEmitter
{
    int32_t maxParticles;
    int32_t liveParticles;            ///< set by the caller; clamped to [0, maximum] when drawn
    uint8_t* data;                    ///< the property arrays, 16-byte aligned
    AtomicRenderCallBack savedRender; ///< the atomic's callback before the hook
    ParticleCallBacks callBacks;
    ParticleRoutines routines;
    uint32_t dirty;   ///< properties locked for writing since the last unlock
    uint32_t changed; ///< properties handed to the next update; -1 at creation
    uint32_t value;   ///< the caller's value (bit 0: point sprites)
    /// By property, in the order of flags 1, 8, 16, 4, 2, 64, 32, 128, 256.
    ParticleArray arrays[kParticlePropertyCount];
    int32_t propertyCount;
    int32_t strideOverride; ///< the interleaved record's stride; 0 for separate arrays
    uint32_t flags;
    /// Engine render states 10, 11 and 12 (source and destination blend,
    /// vertex alpha) as they were at creation; applied around the draw
    /// while `vertexAlpha` is set.
    uint32_t srcBlend;
    uint32_t destBlend;
    uint32_t vertexAlpha;
    Matrix matrix;         ///< kParticleEmitterMatrix; identity
    uint8_t colours[4][4]; ///< R, G, B, A per corner; the first is the emitter colour (0, 0, 0, 255)
    float size[2];         ///< width, height (1, 1)
    float scale[2];        ///< factors of the size (1, 1)
    float rotation;        ///< kParticleEmitterRotation, radians (0)
    float texRect[4];      ///< kParticleEmitterTexRect: u0, v0, u1, v1 (0, 0, 1, 1)
    float cornerUVs[4][2]; ///< kParticleEmitterCornerUVs ((0, 1), (1, 1), (1, 0), (0, 0))
    /// Drawing state of the built-in routines, written by the update.
    bool pointSprites;
    uint32_t vertexStride;
    uint32_t vertexFormat; ///< D3DFVF bits
    void* batchBuffer;     ///< the vertex buffer of the batch written last
    uint32_t batchFirstVertex;
    int32_t batchFirst; ///< its first particle
    int32_t batchCount; ///< its particles; 0 when nothing waits to be drawn
    void* allocation;   ///< the block holding `data`
};

/// Registers the engine plug-in and the atomic extension; before the first
/// EngineOpen. True when both registrations succeeded.
bool ParticlePluginAttach();
/// A particle atomic of at most `maxParticles` (>= 1) with the flags
/// normalised and the built-in callbacks; null on failure.
Atomic* ParticleEmitterCreate(int32_t maxParticles, uint32_t flags, uint32_t value);
/// A particle atomic with the caller's callbacks (flags as given); the build
/// callback must answer 1. Null on failure (the atomic destroyed).
Atomic* ParticleAtomicCreate(int32_t maxParticles, uint32_t flags, uint32_t value,
                             const ParticleCallBacks* callBacks);
/// AtomicDestroy; 1.
int32_t ParticleAtomicDestroy(Atomic* atomic);
bool ParticleAtomicHasEmitter(const Atomic* atomic);
/// The atomic's emitter, or null.
ParticleEmitter* ParticleAtomicGetEmitter(const Atomic* atomic);
/// The flags as ParticleEmitterCreate normalises them.
uint32_t ParticleNormaliseFlags(uint32_t flags);

/// The array of `property` (one flag) into `out`: 1, or 0 with a zeroed
/// pair when the emitter lacks it. With mode kParticleLockWrite the
/// property and the mode are marked dirty.
int32_t ParticleEmitterLock(Atomic* atomic, ParticleArray* out, uint32_t property, uint32_t mode);
/// Hands the dirty properties to the next update: changed |= dirty; dirty = 0.
int32_t ParticleEmitterUnlock(Atomic* atomic);

/// The built-in callbacks (dynamic vertex buffers), and the geometry-based
/// set (vertices in the atomic's geometry, drawn by its render callback).
ParticleCallBacks ParticleBuiltInCallBacks();
ParticleCallBacks ParticleGeometryCallBacks();

/// The device's largest point size and whether vertices may carry one, as
/// read when the engine started.
float ParticleDeviceMaxPointSize();
bool ParticleDeviceVertexPointSize();
