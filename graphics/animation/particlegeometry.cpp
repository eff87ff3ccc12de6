// Particles: the geometry-based build, update and prepare, for callers that
// pass their own callbacks. The quads live in the atomic's own geometry
// (4 vertices and 2 triangles a particle) and are drawn by the atomic's
// render callback; quads of particles beyond the live count are moved out of
// sight.

#include <algorithm>
#include <iterator>

#include "graphics/animation/particleinternal.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/renderstatesave.h"

namespace {

constexpr float kAway = -666.0f;
constexpr int32_t kBlendStates[] = {12, 10, 11};

void MoveAway(const ParticleBatch* batch)
{
    const V3d away = {kAway, kAway, kAway};
    for (int32_t v = 0; v < batch->count * 4; ++v) {
        *reinterpret_cast<V3d*>(batch->out.positions + size_t(v) * batch->out.positionStride) = away;
    }
}

ParticleVertexStreams GeometryStreams(Geometry* geometry, int32_t firstParticle)
{
    const size_t v = size_t(firstParticle) * 4;
    MorphTarget& target = geometry->morphTargets[0];
    ParticleVertexStreams out = {};
    out.positions = reinterpret_cast<uint8_t*>(target.vertices + v);
    out.positionStride = sizeof(V3d);
    if (target.normals) {
        out.normals = reinterpret_cast<uint8_t*>(target.normals + v);
        out.normalStride = sizeof(V3d);
    }
    out.colours = reinterpret_cast<uint8_t*>(geometry->preLitColours + v);
    out.colourStride = sizeof(RGBA);
    out.rgbaColours = true;
    out.texCoords = reinterpret_cast<uint8_t*>(geometry->texCoords[0] + v);
    out.texCoordStride = sizeof(TexCoords);
    return out;
}

int32_t Build(Atomic* atomic, ParticleEmitter* emitter)
{
    const int32_t quads = emitter->maxParticles;
    if (quads > kParticleIndexedMaximum) {
        return 0;
    }
    emitter->pointSprites = false;
    emitter->routines = ParticleChooseRoutines(emitter->flags, false);
    const uint32_t normals = (emitter->flags & kParticleNormal) ? kGeometryNormals | kGeometryLight : 0;
    Geometry* geometry = GeometryCreate(quads * 4, quads * 2,
                                        kGeometryPositions | kGeometryTextured | kGeometryPreLit | normals);
    Material* material = ParticleMaterialCreate();
    bool ok = geometry && material;
    for (int32_t i = 0; ok && i < quads; ++i) {
        const auto v = uint16_t(4 * i);
        GeometryTriangle* triangles = geometry->triangles + 2 * i;
        GeometryTriangleSetVertexIndices(geometry, triangles, uint16_t(v + 2), uint16_t(v + 1), v);
        GeometryTriangleSetVertexIndices(geometry, triangles + 1, uint16_t(v + 3), uint16_t(v + 2), v);
        ok = GeometryTriangleSetMaterial(geometry, triangles, material) &&
             GeometryTriangleSetMaterial(geometry, triangles + 1, material);
        const TexCoords corners[4] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
        std::copy(std::begin(corners), std::end(corners), geometry->texCoords[0] + v);
        for (int32_t c = 0; c < 4; ++c) {
            geometry->preLitColours[v + c] = {0, 0, 0, 255};
        }
    }
    ok = ok && GeometryUnlock(geometry);
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
    const ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    Geometry* geometry = atomic->geometry;
    GeometryLock(geometry, kGeometryLockVertices | kGeometryLockNormals);
    ParticleBatch batch = {emitter, 0, live, 4, {}, {}, GeometryStreams(geometry, 0)};
    ParticleQuadAxes(emitter, &batch.right, &batch.up);
    emitter->routines.vertexWriter(&batch);
    if (live < emitter->maxParticles) {
        ParticleBatch dead = {emitter, live, emitter->maxParticles - live,   4,
                              {},      {},   GeometryStreams(geometry, live)};
        MoveAway(&dead);
    }
    MorphTargetCalcBoundingSphere(&geometry->morphTargets[0], &geometry->morphTargets[0].boundingSphere);
    GeometryUnlock(geometry);
    return 1;
}

/// The emitter's blend states around the atomic's own drawing.
int32_t Prepare(Atomic* atomic, const ParticleArray*, int32_t)
{
    const ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    SavedRenderStates saved;
    RenderStatesSave(&saved, kBlendStates, int32_t(std::size(kBlendStates)));
    RenderStateSetValue(12, emitter->vertexAlpha);
    RenderStateSetValue(10, emitter->srcBlend);
    RenderStateSetValue(11, emitter->destBlend);
    if (emitter->savedRender) {
        emitter->savedRender(atomic);
    }
    RenderStatesRestore(&saved);
    return 0;
}

} // namespace

ParticleCallBacks ParticleGeometryCallBacks()
{
    return {nullptr, Build, Update, Prepare};
}
