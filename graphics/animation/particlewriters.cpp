// Particles: the routines that turn a batch of particles into vertices
// (corner builders, texture-coordinate, colour and normal writers), their
// choice by the emitter's flags, and the quad axes.
//
// The second variants of the corner builders (kParticleSecondVariant) are
// the same routines as the first.

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "graphics/animation/particleinternal.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/instance.h"

namespace {

constexpr int32_t kSlotPosition = 0;
constexpr int32_t kSlotMatrix = 1;
constexpr int32_t kSlotNormal = 2;
constexpr int32_t kSlotSize = 3;
constexpr int32_t kSlotColour = 4;
constexpr int32_t kSlotCornerColours = 5;
constexpr int32_t kSlotRotation = 6;
constexpr int32_t kSlotTexRect = 7;
constexpr int32_t kSlotCornerUVs = 8;

const uint8_t* Property(const ParticleBatch* batch, int32_t slot, int32_t particle)
{
    const ParticleArray& array = batch->emitter->arrays[slot];
    return static_cast<const uint8_t*>(array.data) + size_t(particle) * size_t(array.stride);
}

V3d Load(const uint8_t* bytes)
{
    V3d v;
    std::memcpy(&v, bytes, sizeof(v));
    return v;
}

V3d Add(V3d a, V3d b, float s)
{
    return {a.x + b.x * s, a.y + b.y * s, a.z + b.z * s};
}

void StoreCorner(const ParticleBatch* batch, int32_t vertex, const V3d& v)
{
    std::memcpy(batch->out.positions + size_t(vertex) * batch->out.positionStride, &v, sizeof(v));
}

/// The four corners of a quad at p spanned by R (width w) and U (height h).
void StoreQuad(const ParticleBatch* batch, int32_t quad, const V3d& p, const V3d& r, const V3d& u, float w,
               float h)
{
    const int32_t v = quad * 4;
    const V3d left = Add(p, r, -0.5f * w), right = Add(p, r, 0.5f * w);
    StoreCorner(batch, v, Add(left, u, -0.5f * h));
    StoreCorner(batch, v + 1, Add(right, u, -0.5f * h));
    StoreCorner(batch, v + 2, Add(right, u, 0.5f * h));
    StoreCorner(batch, v + 3, Add(left, u, 0.5f * h));
}

void EmitterSize(const ParticleEmitter* emitter, float* w, float* h)
{
    *w = emitter->size[0] * emitter->scale[0];
    *h = emitter->size[1] * emitter->scale[1];
}

void ParticleSize(const ParticleBatch* batch, int32_t particle, float* w, float* h)
{
    float size[2];
    std::memcpy(size, Property(batch, kSlotSize, particle), sizeof(size));
    *w = size[0] * batch->emitter->scale[0];
    *h = size[1] * batch->emitter->scale[1];
}

void Turn(V3d r, V3d u, float angle, V3d* turnedR, V3d* turnedU)
{
    const float c = std::cos(angle), s = std::sin(angle);
    *turnedR = {r.x * c - u.x * s, r.y * c - u.y * s, r.z * c - u.z * s};
    *turnedU = {u.x * c + r.x * s, u.y * c + r.y * s, u.z * c + r.z * s};
}

void CornersPlain(const ParticleBatch* batch)
{
    float w, h;
    EmitterSize(batch->emitter, &w, &h);
    for (int32_t i = 0; i < batch->count; ++i) {
        const V3d p = Load(Property(batch, kSlotPosition, batch->first + i));
        StoreQuad(batch, i, p, batch->right, batch->up, w, h);
    }
}

void CornersSized(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        float w, h;
        ParticleSize(batch, batch->first + i, &w, &h);
        const V3d p = Load(Property(batch, kSlotPosition, batch->first + i));
        StoreQuad(batch, i, p, batch->right, batch->up, w, h);
    }
}

void CornersRotated(const ParticleBatch* batch, bool sized)
{
    float w, h;
    EmitterSize(batch->emitter, &w, &h);
    for (int32_t i = 0; i < batch->count; ++i) {
        const int32_t particle = batch->first + i;
        if (sized) {
            ParticleSize(batch, particle, &w, &h);
        }
        float angle;
        std::memcpy(&angle, Property(batch, kSlotRotation, particle), sizeof(angle));
        V3d r, u;
        Turn(batch->right, batch->up, angle, &r, &u);
        StoreQuad(batch, i, Load(Property(batch, kSlotPosition, particle)), r, u, w, h);
    }
}

void CornersRotatedPlain(const ParticleBatch* batch)
{
    CornersRotated(batch, false);
}

void CornersRotatedSized(const ParticleBatch* batch)
{
    CornersRotated(batch, true);
}

/// The matrix's right and up rows span the quad, their lengths its size.
void CornersMatrix(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        Matrix m;
        std::memcpy(&m, Property(batch, kSlotMatrix, batch->first + i), sizeof(m));
        const V3d half = {0.5f * (m.right.x - m.up.x), 0.5f * (m.right.y - m.up.y),
                          0.5f * (m.right.z - m.up.z)};
        const V3d sum = {0.5f * (m.right.x + m.up.x), 0.5f * (m.right.y + m.up.y),
                         0.5f * (m.right.z + m.up.z)};
        const int32_t v = i * 4;
        StoreCorner(batch, v, Add(m.pos, half, 1.0f));
        StoreCorner(batch, v + 1, Add(m.pos, sum, -1.0f));
        StoreCorner(batch, v + 2, Add(m.pos, half, -1.0f));
        StoreCorner(batch, v + 3, Add(m.pos, sum, 1.0f));
    }
}

void SpritePositions(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        StoreCorner(batch, i, Load(Property(batch, kSlotPosition, batch->first + i)));
    }
}

void StoreUVs(const ParticleBatch* batch, int32_t quad, const float (*uv)[2])
{
    for (int32_t c = 0; c < 4; ++c) {
        std::memcpy(batch->out.texCoords + size_t(quad * 4 + c) * batch->out.texCoordStride, uv[c], 8);
    }
}

void StoreRectUVs(const ParticleBatch* batch, int32_t quad, const float* rect)
{
    const float uv[4][2] = {{rect[0], rect[3]}, {rect[2], rect[3]}, {rect[2], rect[1]}, {rect[0], rect[1]}};
    StoreUVs(batch, quad, uv);
}

void TexRects(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        float rect[4];
        std::memcpy(rect, Property(batch, kSlotTexRect, batch->first + i), sizeof(rect));
        StoreRectUVs(batch, i, rect);
    }
}

void CornerUVs(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        float uv[4][2];
        std::memcpy(uv, Property(batch, kSlotCornerUVs, batch->first + i), sizeof(uv));
        StoreUVs(batch, i, uv);
    }
}

void EmitterTexRect(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        StoreRectUVs(batch, i, batch->emitter->texRect);
    }
}

/// Quads without texture coordinates of their own take the whole texture,
/// as a point sprite does.
void UnitTexCoords(const ParticleBatch* batch)
{
    static const float kUnit[4] = {0, 0, 1, 1};
    for (int32_t i = 0; i < batch->count; ++i) {
        StoreRectUVs(batch, i, kUnit);
    }
}

void EmitterCornerUVs(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        StoreUVs(batch, i, batch->emitter->cornerUVs);
    }
}

void StoreColour(const ParticleBatch* batch, int32_t vertex, const uint8_t* rgba)
{
    uint8_t* at = batch->out.colours + size_t(vertex) * batch->out.colourStride;
    if (batch->out.rgbaColours) {
        std::memcpy(at, rgba, 4);
    } else {
        const uint32_t argb = ParticleArgb(rgba);
        std::memcpy(at, &argb, 4);
    }
}

void Colours(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        const uint8_t* rgba = Property(batch, kSlotColour, batch->first + i);
        for (int32_t c = 0; c < batch->corners; ++c) {
            StoreColour(batch, i * batch->corners + c, rgba);
        }
    }
}

void CornerColours(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        const uint8_t* rgba = Property(batch, kSlotCornerColours, batch->first + i);
        for (int32_t c = 0; c < 4; ++c) {
            StoreColour(batch, i * 4 + c, rgba + 4 * c);
        }
    }
}

void EmitterCornerColours(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        for (int32_t c = 0; c < 4; ++c) {
            StoreColour(batch, i * 4 + c, batch->emitter->colours[c]);
        }
    }
}

void Normals(const ParticleBatch* batch)
{
    for (int32_t i = 0; i < batch->count; ++i) {
        const uint8_t* normal = Property(batch, kSlotNormal, batch->first + i);
        for (int32_t c = 0; c < batch->corners; ++c) {
            std::memcpy(batch->out.normals + size_t(i * batch->corners + c) * batch->out.normalStride, normal,
                        12);
        }
    }
}

/// Point sizes: each particle's width with flag 4, else the emitter's.
void SpriteSizes(const ParticleBatch* batch)
{
    if (!batch->out.sizes) {
        return;
    }
    const bool sized = batch->emitter->arrays[kSlotSize].data != nullptr;
    for (int32_t i = 0; i < batch->count; ++i) {
        float w = 0, h = 0;
        if (sized) {
            ParticleSize(batch, batch->first + i, &w, &h);
        } else {
            EmitterSize(batch->emitter, &w, &h);
        }
        std::memcpy(batch->out.sizes + size_t(i) * batch->out.sizeStride, &w, 4);
    }
}

/// Runs the chosen routines over the batch, one vertex element after another.
void WriteBatchByElement(const ParticleBatch* batch)
{
    const ParticleRoutines& r = batch->emitter->routines;
    for (ParticleWriter writer :
         {r.cornerBuilder, r.texCoordWriter, r.colourWriter, r.normalWriter, r.finisher}) {
        if (writer) {
            writer(batch);
        }
    }
}

/// Four floats (or their bits) that the compiler keeps in one vector register.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

/// Writes the interleaved quads of WritePlainQuads, a vertex in two stores:
/// with colours x, y, z, colour then u, v; without, x, y, z, u then v.
template <bool Coloured>
void WriteQuadVertices(const ParticleBatch* batch, const float (&corner)[4][3], const float (&uv)[4][2])
{
    constexpr size_t kStride = Coloured ? 24 : 20;
    Float4 offset[4];
    for (int32_t c = 0; c < 4; ++c) {
        // Without colours the fourth lane carries u (added to the position's 0).
        offset[c] = Float4{corner[c][0], corner[c][1], corner[c][2], Coloured ? 0.0f : uv[c][0]};
    }
    const Int4 keepXyz = {-1, -1, -1, 0};
    // Locals: the vertex stores could alias the emitter, whose fields would
    // otherwise be read again for every particle.
    const ParticleArray& positionArray = batch->emitter->arrays[kSlotPosition];
    const ParticleArray& colourArray = batch->emitter->arrays[kSlotColour];
    const size_t positionStride = size_t(positionArray.stride), colourStride = size_t(colourArray.stride);
    const uint8_t* position =
        static_cast<const uint8_t*>(positionArray.data) + size_t(batch->first) * positionStride;
    const uint8_t* rgba =
        Coloured ? static_cast<const uint8_t*>(colourArray.data) + size_t(batch->first) * colourStride
                 : nullptr;
    uint8_t* vertex = batch->out.positions;
    const int32_t count = batch->count;
    for (int32_t i = 0; i < count; ++i, position += positionStride) {
        float xyz[3];
        std::memcpy(xyz, position, sizeof(xyz));
        const Float4 p = {xyz[0], xyz[1], xyz[2], 0.0f};
        Int4 colour = {0, 0, 0, 0};
        if constexpr (Coloured) {
            colour[3] = int32_t(ParticleArgb(rgba));
            rgba += colourStride;
        }
        for (int32_t c = 0; c < 4; ++c, vertex += kStride) {
            const Float4 sum = p + offset[c];
            if constexpr (Coloured) {
                // The colour's bits go in by mask: added as a float they could change.
                const Int4 bits = ((Int4)sum & keepXyz) | colour;
                std::memcpy(vertex, &bits, 16);
                std::memcpy(vertex + 16, uv[c], 8);
            } else {
                std::memcpy(vertex, &sum, 16);
                std::memcpy(vertex + 16, &uv[c][1], 4);
            }
        }
    }
}

/// The common quad: plain corners, a colour per particle or none, one
/// texture rectangle for all, written vertex by vertex in one pass when the
/// elements are interleaved as the dynamic buffers hold them (position,
/// colour, texture coordinates); otherwise element by element.
void WritePlainQuads(const ParticleBatch* batch)
{
    const ParticleVertexStreams& out = batch->out;
    const uint32_t stride = out.positionStride;
    const bool coloured = out.colours != nullptr;
    const uint32_t uvOffset = coloured ? 16 : 12;
    const bool interleaved =
        out.texCoords == out.positions + uvOffset && out.texCoordStride == stride &&
        (!coloured || (out.colours == out.positions + 12 && out.colourStride == stride && !out.rgbaColours));
    if (!interleaved || stride != uvOffset + 8) {
        WriteBatchByElement(batch);
        return;
    }
    const ParticleEmitter* emitter = batch->emitter;
    static const float kUnit[4] = {0, 0, 1, 1};
    const float* rect = emitter->routines.texCoordWriter == UnitTexCoords ? kUnit : emitter->texRect;
    const float uv[4][2] = {{rect[0], rect[3]}, {rect[2], rect[3]}, {rect[2], rect[1]}, {rect[0], rect[1]}};
    float w, h;
    EmitterSize(emitter, &w, &h);
    // The corners' offsets from the particle: -R w/2 -+ U h/2 and +R w/2 -+ U h/2.
    const V3d r = {batch->right.x * 0.5f * w, batch->right.y * 0.5f * w, batch->right.z * 0.5f * w};
    const V3d u = {batch->up.x * 0.5f * h, batch->up.y * 0.5f * h, batch->up.z * 0.5f * h};
    const float corner[4][3] = {{-r.x - u.x, -r.y - u.y, -r.z - u.z},
                                {r.x - u.x, r.y - u.y, r.z - u.z},
                                {r.x + u.x, r.y + u.y, r.z + u.z},
                                {-r.x + u.x, -r.y + u.y, -r.z + u.z}};
    if (coloured) {
        WriteQuadVertices<true>(batch, corner, uv);
    } else {
        WriteQuadVertices<false>(batch, corner, uv);
    }
}

} // namespace

ParticleRoutines ParticleChooseRoutines(uint32_t flags, bool pointSprites)
{
    ParticleRoutines r = {};
    r.vertexWriter = WriteBatchByElement;
    if (flags & kParticleNormal) {
        r.normalWriter = Normals;
    }
    if (pointSprites) {
        r.cornerBuilder = SpritePositions;
        r.colourWriter = (flags & kParticleColour) ? Colours : nullptr;
        r.finisher = SpriteSizes;
        return r;
    }
    if (flags & kParticleMatrix) {
        r.cornerBuilder = CornersMatrix;
    } else if (!(flags & kParticleEmitterMatrix) && (flags & kParticleRotation)) {
        r.cornerBuilder = (flags & kParticleSize) ? CornersRotatedSized : CornersRotatedPlain;
    } else if (flags & kParticleSize) {
        r.cornerBuilder = CornersSized;
    } else {
        r.cornerBuilder = CornersPlain;
    }
    if (flags & kParticleTexRect) {
        r.texCoordWriter = TexRects;
    } else if (flags & kParticleCornerUVs) {
        r.texCoordWriter = CornerUVs;
    } else if (flags & kParticleEmitterTexRect) {
        r.texCoordWriter = EmitterTexRect;
    } else if (flags & kParticleEmitterCornerUVs) {
        r.texCoordWriter = EmitterCornerUVs;
    } else {
        r.texCoordWriter = UnitTexCoords;
    }
    if (flags & kParticleColour) {
        r.colourWriter = Colours;
    } else if (flags & kParticleCornerColours) {
        r.colourWriter = CornerColours;
    } else if (flags & kParticleEmitterCornerColours) {
        r.colourWriter = EmitterCornerColours;
    }
    if (r.cornerBuilder == CornersPlain && !r.normalWriter &&
        (!r.colourWriter || r.colourWriter == Colours) &&
        (r.texCoordWriter == EmitterTexRect || r.texCoordWriter == UnitTexCoords)) {
        r.vertexWriter = WritePlainQuads;
    }
    return r;
}

void ParticleQuadAxes(const ParticleEmitter* emitter, V3d* right, V3d* up)
{
    if (emitter->flags & kParticleEmitterMatrix) {
        *right = emitter->matrix.right;
        *up = emitter->matrix.up;
        return;
    }
    *right = {-1.0f, 0.0f, 0.0f};
    *up = {0.0f, 1.0f, 0.0f};
    Camera* camera = EngineGetInstance()->currentCamera;
    if (Frame* frame = camera ? CameraGetFrame(camera) : nullptr) {
        const Matrix* ltm = FrameGetLTM(frame);
        *right = {-ltm->right.x, -ltm->right.y, -ltm->right.z};
        *up = ltm->up;
    }
    if (emitter->flags & kParticleEmitterRotation) {
        Turn(*right, *up, emitter->rotation, right, up);
    }
}
