// Particles: the built-in build, update and prepare. Quads (four vertices a
// particle, drawn as indexed triangle lists through the index buffer shared
// by every emitter) or point sprites (one vertex a particle), written into
// the device's dynamic vertex buffers and drawn with fixed-function states
// that are restored afterwards.
//
// The shared indices cover at most 16,383 particles, so that no 16-bit
// index wraps; larger emitters draw in batches, each from its own base
// vertex. A batch also never asks the dynamic buffers for more than one of
// them holds. The update writes the first batch; the prepare draws it, then
// writes and draws each further batch in turn, so that no lock reuses the
// space of a batch not yet drawn.

#include <algorithm>
#include <cstring>
#include <iterator>

#include "graphics/animation/particleinternal.h"
#include "graphics/core/frame.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"

namespace {

/// Flags a point-sprite emitter may have (4 too when vertices carry a size).
constexpr uint32_t kSpriteFlags = kParticlePosition | kParticleColour | kParticleNormal |
                                  kParticleEmitterTexRect | kParticleSecondVariant | kParticleSeparate |
                                  kParticleInterleaved;
constexpr int32_t kMaxPointsPerDraw = 65535;

/// Render and texture-stage states changed by the draw, restored after it.
constexpr D3DRENDERSTATETYPE kSavedStates[] = {
    D3DRS_LIGHTING,     D3DRS_SHADEMODE,     D3DRS_ALPHABLENDENABLE,  D3DRS_SRCBLEND,
    D3DRS_DESTBLEND,    D3DRS_TEXTUREFACTOR, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE,
    D3DRS_POINTSIZE,    D3DRS_POINTSIZE_MIN, D3DRS_POINTSIZE_MAX,     D3DRS_POINTSCALE_A,
    D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C,
};
constexpr D3DTEXTURESTAGESTATETYPE kSavedStageStates[] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                          D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

/// Grows the shared index buffer to cover `particles` (at most 16,383).
bool ReserveIndices(ParticleModule* module, int32_t particles)
{
    particles = std::min(particles, kParticleIndexedMaximum);
    if (module->indices && module->indexedParticles >= particles) {
        return true;
    }
    IDirect3DIndexBuffer9* buffer = nullptr;
    if (!D3D9IndexBufferCreate(uint32_t(particles) * 6, &buffer)) {
        return false;
    }
    void* data = nullptr;
    if (FAILED(buffer->Lock(0, 0, &data, 0))) {
        D3D9ReleaseObject(buffer);
        return false;
    }
    auto* indices = static_cast<uint16_t*>(data);
    for (int32_t i = 0; i < particles; ++i) {
        const auto v = uint16_t(4 * i);
        const uint16_t quad[6] = {v, uint16_t(v + 1), uint16_t(v + 2), v, uint16_t(v + 2), uint16_t(v + 3)};
        std::memcpy(indices + 6 * i, quad, sizeof(quad));
    }
    D3D9BufferUnlock(buffer);
    if (module->indices) {
        D3D9ReleaseObject(module->indices);
    }
    module->indices = buffer;
    module->indexedParticles = particles;
    return true;
}

bool UsePointSprites(const ParticleEmitter* emitter, const ParticleModule* module)
{
    const uint32_t allowed = kSpriteFlags | (module->vertexPointSize ? kParticleSize : 0);
    return (emitter->value & kParticleValuePointSprites) && module->maxPointSize > 1.0f &&
           (emitter->flags & ~allowed) == 0;
}

/// The vertex format, in the fixed-function order: position, normal,
/// point size, colour, texture coordinates.
void ChooseVertexFormat(ParticleEmitter* emitter)
{
    const ParticleRoutines& r = emitter->routines;
    uint32_t fvf = D3DFVF_XYZ;
    uint32_t stride = 12;
    if (r.normalWriter) {
        fvf |= D3DFVF_NORMAL;
        stride += 12;
    }
    if (emitter->pointSprites && (emitter->flags & kParticleSize)) {
        fvf |= D3DFVF_PSIZE;
        stride += 4;
    }
    if (r.colourWriter) {
        fvf |= D3DFVF_DIFFUSE;
        stride += 4;
    }
    if (r.texCoordWriter) {
        fvf |= D3DFVF_TEX1;
        stride += 8;
    }
    emitter->vertexFormat = fvf;
    emitter->vertexStride = stride;
}

/// The vertex elements inside a locked range at `vertices`.
ParticleVertexStreams Streams(const ParticleEmitter* emitter, uint8_t* vertices)
{
    const uint32_t stride = emitter->vertexStride;
    ParticleVertexStreams out = {};
    uint32_t offset = 12;
    out.positions = vertices;
    out.positionStride = stride;
    if (emitter->vertexFormat & D3DFVF_NORMAL) {
        out.normals = vertices + offset;
        out.normalStride = stride;
        offset += 12;
    }
    if (emitter->vertexFormat & D3DFVF_PSIZE) {
        out.sizes = vertices + offset;
        out.sizeStride = stride;
        offset += 4;
    }
    if (emitter->vertexFormat & D3DFVF_DIFFUSE) {
        out.colours = vertices + offset;
        out.colourStride = stride;
        offset += 4;
    }
    if (emitter->vertexFormat & D3DFVF_TEX1) {
        out.texCoords = vertices + offset;
        out.texCoordStride = stride;
    }
    return out;
}

int32_t Corners(const ParticleEmitter* emitter)
{
    return emitter->pointSprites ? 1 : 4;
}

/// Particles in one batch: within one dynamic buffer and the shared indices
/// (quads) or the largest point list (sprites).
int32_t BatchParticles(const ParticleEmitter* emitter)
{
    const uint32_t bytes = uint32_t(Corners(emitter)) * emitter->vertexStride;
    const int32_t limit = emitter->pointSprites ? kMaxPointsPerDraw : kParticleIndexedMaximum;
    return std::max(1, std::min(limit, int32_t(kD3D9DynamicSlotSize / bytes)));
}

/// Writes particles [first, first + count) into the dynamic buffers and
/// remembers where; false when no room could be locked.
bool WriteBatch(ParticleEmitter* emitter, int32_t first, int32_t count)
{
    const int32_t corners = Corners(emitter);
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* data = nullptr;
    uint32_t firstVertex = 0;
    if (!D3D9DynamicVertexBufferLock(emitter->vertexStride, uint32_t(count * corners), &buffer, &data,
                                     &firstVertex)) {
        emitter->batchCount = 0;
        return false;
    }
    ParticleBatch batch = {
        emitter, first, count, corners, {}, {}, Streams(emitter, static_cast<uint8_t*>(data))};
    ParticleQuadAxes(emitter, &batch.right, &batch.up);
    emitter->routines.vertexWriter(&batch);
    D3D9BufferUnlock(buffer);
    emitter->batchBuffer = buffer;
    emitter->batchFirstVertex = firstVertex;
    emitter->batchFirst = first;
    emitter->batchCount = count;
    return true;
}

void DrawBatch(const ParticleEmitter* emitter, const ParticleModule* module)
{
    auto* buffer = static_cast<IDirect3DVertexBuffer9*>(emitter->batchBuffer);
    const auto count = uint32_t(emitter->batchCount);
    D3D9SetStreamSource(0, buffer, 0, emitter->vertexStride);
    if (emitter->pointSprites) {
        D3D9DrawPrimitive(D3DPT_POINTLIST, emitter->batchFirstVertex, count);
        return;
    }
    D3D9SetIndices(module->indices);
    D3D9DrawIndexedPrimitive(D3DPT_TRIANGLELIST, int32_t(emitter->batchFirstVertex), 0, count * 4, 0,
                             count * 2);
}

void SetDrawStates(const Atomic* atomic, const ParticleEmitter* emitter, const ParticleModule* module)
{
    const Geometry* geometry = atomic->geometry;
    const Material* material = MaterialListGetMaterial(&geometry->materials, 0);
    const Texture* texture = material ? material->texture : nullptr;
    D3D9SetVertexShader(nullptr);
    D3D9SetPixelShader(nullptr);
    D3D9SetFVF(emitter->vertexFormat);
    Frame* frame = AtomicGetFrame(atomic);
    D3D9SetWorldMatrix(frame ? FrameGetLTM(frame) : nullptr);
    D3D9SetRenderState(D3DRS_LIGHTING, (geometry->format & kGeometryLight) ? 1u : 0u);
    D3D9SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    D3D9SetTexture(texture, 0);
    // The texture modulated by the vertex colours, or by the emitter's
    // colour through the texture factor when the particles carry none.
    const uint32_t colour = emitter->routines.colourWriter ? D3DTA_DIFFUSE : D3DTA_TFACTOR;
    D3D9SetRenderState(D3DRS_TEXTUREFACTOR, ParticleArgb(emitter->colours[0]));
    const uint32_t op = texture ? D3DTOP_MODULATE : D3DTOP_SELECTARG2;
    D3D9SetTextureStageState(0, D3DTSS_COLOROP, op);
    D3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    D3D9SetTextureStageState(0, D3DTSS_COLORARG2, colour);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, op);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, colour);
    if (emitter->vertexAlpha) {
        D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
        D3D9SetRenderState(D3DRS_SRCBLEND, emitter->srcBlend);
        D3D9SetRenderState(D3DRS_DESTBLEND, emitter->destBlend);
    }
    if (emitter->pointSprites) {
        D3D9SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
        D3D9SetRenderState(D3DRS_POINTSCALEENABLE, 1);
        D3D9SetRenderState(D3DRS_POINTSIZE, FloatBits(emitter->size[0] * emitter->scale[0]));
        D3D9SetRenderState(D3DRS_POINTSIZE_MIN, FloatBits(0.0f));
        D3D9SetRenderState(D3DRS_POINTSIZE_MAX, FloatBits(module->maxPointSize));
        D3D9SetRenderState(D3DRS_POINTSCALE_A, FloatBits(0.0f));
        D3D9SetRenderState(D3DRS_POINTSCALE_B, FloatBits(0.0f));
        D3D9SetRenderState(D3DRS_POINTSCALE_C, FloatBits(0.5f));
    }
}

int32_t Build(Atomic* atomic, ParticleEmitter* emitter)
{
    ParticleModule* module = ParticleModuleGet();
    if (!module) {
        return 0;
    }
    emitter->pointSprites = UsePointSprites(emitter, module);
    emitter->routines = ParticleChooseRoutines(emitter->flags, emitter->pointSprites);
    ChooseVertexFormat(emitter);
    if (!emitter->pointSprites && !ReserveIndices(module, emitter->maxParticles)) {
        return 0;
    }
    const uint32_t normals = (emitter->flags & kParticleNormal) ? kGeometryNormals | kGeometryLight : 0;
    Geometry* geometry =
        GeometryCreate(0, 0, kGeometryPositions | kGeometryTextured | kGeometryPreLit | normals);
    Material* material = ParticleMaterialCreate();
    const bool ok = geometry && material && MaterialListAppendMaterial(&geometry->materials, material) >= 0;
    if (material) {
        MaterialRelease(material);
    }
    if (ok) {
        AtomicSetGeometry(atomic, geometry, 0);
    }
    if (geometry) {
        GeometryRelease(geometry);
    }
    return ok ? 1 : 0;
}

int32_t Update(Atomic* atomic, const ParticleArray*, int32_t live, uint32_t)
{
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    WriteBatch(emitter, 0, std::min(live, BatchParticles(emitter)));
    return 1;
}

int32_t Prepare(Atomic* atomic, const ParticleArray*, int32_t live)
{
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    const ParticleModule* module = ParticleModuleGet();
    if (!module || emitter->batchCount < 1 || emitter->batchFirst != 0) {
        return 0;
    }
    uint32_t states[std::size(kSavedStates)];
    uint32_t stageStates[std::size(kSavedStageStates)];
    for (size_t i = 0; i < std::size(kSavedStates); ++i) {
        D3D9GetRenderState(kSavedStates[i], &states[i]);
    }
    for (size_t i = 0; i < std::size(kSavedStageStates); ++i) {
        D3D9GetTextureStageState(0, kSavedStageStates[i], &stageStates[i]);
    }
    SetDrawStates(atomic, emitter, module);
    const int32_t perBatch = BatchParticles(emitter);
    DrawBatch(emitter, module);
    for (int32_t first = emitter->batchCount; first < live; first += perBatch) {
        if (!WriteBatch(emitter, first, std::min(perBatch, live - first))) {
            break;
        }
        DrawBatch(emitter, module);
    }
    // The next render starts again from the update's batch.
    emitter->batchCount = 0;
    for (size_t i = 0; i < std::size(kSavedStates); ++i) {
        D3D9SetRenderState(kSavedStates[i], states[i]);
    }
    for (size_t i = 0; i < std::size(kSavedStageStates); ++i) {
        D3D9SetTextureStageState(0, kSavedStageStates[i], stageStates[i]);
    }
    return 0;
}

} // namespace

ParticleCallBacks ParticleBuiltInCallBacks()
{
    return {nullptr, Build, Update, Prepare};
}
