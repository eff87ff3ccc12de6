// The bump-map effect: bump vertices with coordinates shifted towards the
// light, drawn through the pixel shaders or in two blended passes, and the
// environment over them for bump maps with an environment.
#include "graphics/animation/effects/effectsbumpmap.h"

#include <cstring>

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectsenvmap.h"
#include "graphics/animation/effects/effectsinternal.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/animation/effects/effectsrender.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/light.h"

namespace {

constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;
constexpr uint32_t kMemoryHint = 0x30120;
// Stand-ins for vectors that cannot be normalised (a vertex at the light, a
// triangle without area): a bounded shift instead of NaN coordinates.
constexpr V3d kFixedLight = {0.0f, 0.0f, 1.0f};
constexpr V3d kFixedTangent = {1.0f, 0.0f, 0.0f};

// Marks of the vertices the indexed walk has written, grown as needed.
uint8_t* gMarks = nullptr;
uint32_t gMarksSize = 0;

V3d Sub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

V3d Scale(const V3d& a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}

float Dot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// `v` scaled to unit length, or `fallback` when it has none (or is not finite).
V3d UnitOr(const V3d& v, const V3d& fallback)
{
    const float squared = Dot(v, v);
    if (!(squared > 0.0f) || !(squared < 3.0e38f)) {
        return fallback;
    }
    return Scale(v, VectorInvSqrt(squared));
}

/// Where one vertex element lies: its stream (-1 when absent), offset and type.
struct Element
{
    int32_t stream = -1;
    uint32_t offset = 0;
    uint32_t type = 0;
};

struct Layout
{
    Element position;
    Element normal;
    Element colour;
    Element texCoord;
    Element tangent;
};

/// The elements of usage index 0 that the bump vertices read; false when
/// the declaration cannot be had or lacks positions or texture coordinates.
bool LayoutOf(const InstancedData* data, Layout* layout)
{
    D3DVERTEXELEMENT9 elements[65];
    UINT count = 65;
    if (!data->declaration || FAILED(data->declaration->GetDeclaration(elements, &count))) {
        return false;
    }
    for (UINT i = 0; i < count && elements[i].Stream != 0xFF; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.UsageIndex != 0 || e.Stream > 1 ||
            e.Offset + VertexElementTypeSize(e.Type) > data->streams[e.Stream].stride) {
            continue;
        }
        Element* slot = nullptr;
        switch (e.Usage) {
        case D3DDECLUSAGE_POSITION:
            slot = &layout->position;
            break;
        case D3DDECLUSAGE_NORMAL:
            slot = &layout->normal;
            break;
        case D3DDECLUSAGE_COLOR:
            slot = &layout->colour;
            break;
        case D3DDECLUSAGE_TEXCOORD:
            slot = &layout->texCoord;
            break;
        case D3DDECLUSAGE_TANGENT:
            slot = &layout->tangent;
            break;
        default:
            continue;
        }
        *slot = {e.Stream, e.Offset, e.Type};
    }
    return layout->position.stream >= 0 && layout->texCoord.stream >= 0;
}

/// The mesh's source vertices, locked stream by stream.
class SourceVertices
{
  public:
    SourceVertices(const InstancedData* data, const InstancedMesh& mesh, const Layout& layout)
        : data_(data), layout_(layout)
    {
        const Element* used[] = {&layout.position, &layout.normal, &layout.colour, &layout.texCoord,
                                 &layout.tangent};
        bool wanted[2] = {false, false};
        for (const Element* e : used) {
            if (e->stream >= 0) {
                wanted[e->stream] = true;
            }
        }
        ok_ = true;
        for (int s = 0; s < 2; ++s) {
            const InstancedStream& stream = data->streams[s];
            if (!wanted[s]) {
                continue;
            }
            const uint32_t first =
                (data->useOffsets ? stream.offset : 0) + mesh.baseVertexIndex * stream.stride;
            void* bytes = nullptr;
            if (!stream.buffer || FAILED(stream.buffer->Lock(first, mesh.numVertices * stream.stride, &bytes,
                                                             D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY))) {
                ok_ = false;
                continue;
            }
            bytes_[s] = static_cast<const uint8_t*>(bytes);
        }
    }

    ~SourceVertices()
    {
        for (int s = 0; s < 2; ++s) {
            if (bytes_[s]) {
                data_->streams[s].buffer->Unlock();
            }
        }
    }

    SourceVertices(const SourceVertices&) = delete;
    SourceVertices& operator=(const SourceVertices&) = delete;

    bool Ok() const { return ok_; }

    V3d Position(uint32_t i) const { return Read3(layout_.position, i); }
    V3d Normal(uint32_t i) const { return layout_.normal.stream >= 0 ? Read3(layout_.normal, i) : V3d{}; }
    V3d Tangent(uint32_t i) const { return Read3(layout_.tangent, i); }
    bool HasTangents() const { return layout_.tangent.stream >= 0; }

    uint32_t Colour(uint32_t i) const
    {
        if (layout_.colour.stream < 0 || layout_.colour.type != D3DDECLTYPE_D3DCOLOR) {
            return kOpaqueWhite;
        }
        uint32_t colour = 0;
        std::memcpy(&colour, At(layout_.colour, i), sizeof(colour));
        return colour;
    }

    void TexCoord(uint32_t i, float* uv) const
    {
        if (layout_.texCoord.type == D3DDECLTYPE_FLOAT2) {
            std::memcpy(uv, At(layout_.texCoord, i), 2 * sizeof(float));
        } else {
            VertexConvertBack(layout_.texCoord.type, uv, At(layout_.texCoord, i));
        }
    }

  private:
    const uint8_t* At(const Element& e, uint32_t i) const
    {
        return bytes_[e.stream] + size_t(i) * data_->streams[e.stream].stride + e.offset;
    }

    V3d Read3(const Element& e, uint32_t i) const
    {
        float v[3];
        if (e.type == D3DDECLTYPE_FLOAT3) {
            std::memcpy(v, At(e, i), sizeof(v));
        } else {
            VertexConvertBack3(e.type, v, At(e, i));
        }
        return {v[0], v[1], v[2]};
    }

    const InstancedData* data_;
    const Layout& layout_;
    const uint8_t* bytes_[2] = {nullptr, nullptr};
    bool ok_ = false;
};

/// Where the light is, in the object's space.
struct LightVector
{
    V3d vector;
    bool direction; ///< a direction towards the light, else the light's position
};

void* FirstLight(void* object, void* data)
{
    if (static_cast<const ObjectHeader*>(object)->type != kObjectTypeLight) {
        return object;
    }
    *static_cast<Light**>(data) = static_cast<Light*>(object);
    return nullptr;
}

LightVector LightVectorOf(Frame* frame)
{
    D3DMATRIX d3dWorld = {};
    D3D9GetTransform(D3DTS_WORLD, &d3dWorld);
    Matrix world = {};
    world.right = {d3dWorld.m[0][0], d3dWorld.m[0][1], d3dWorld.m[0][2]};
    world.up = {d3dWorld.m[1][0], d3dWorld.m[1][1], d3dWorld.m[1][2]};
    world.at = {d3dWorld.m[2][0], d3dWorld.m[2][1], d3dWorld.m[2][2]};
    world.pos = {d3dWorld.m[3][0], d3dWorld.m[3][1], d3dWorld.m[3][2]};
    Matrix inverse;
    MatrixInvert(&inverse, &world);

    LightVector out = {{0.0f, 0.0f, 0.0f}, false};
    if (!frame) {
        V3dTransformPoint(&out.vector, &out.vector, &inverse);
        return out;
    }
    Light* light = nullptr;
    FrameForAllObjects(frame, FirstLight, &light);
    const Matrix* ltm = FrameGetLTM(frame);
    const uint8_t type = light ? LightGetType(light) : 0;
    if (type == kLightDirectional || type == kLightSpot || type == kLightSpotSoft) {
        const V3d towards = Scale(ltm->at, -1.0f);
        V3dTransformVector(&out.vector, &towards, &inverse);
        out.direction = true;
    } else {
        V3dTransformPoint(&out.vector, &ltm->pos, &inverse);
    }
    return out;
}

/// Writes the bump vertices of one mesh from its source vertices.
class BumpWriter
{
  public:
    BumpWriter(const SourceVertices& source, const LightVector& light, float scale, EffectsBumpVertex* out,
               uint32_t count)
        : source_(source), light_(light), scale_(scale), out_(out), count_(count)
    {
        if (light.direction) {
            light_.vector = UnitOr(light.vector, kFixedLight);
        }
    }

    /// Vertex `a`, with `b` and `c` the other corners of its triangle (no
    /// triangle when either is out of range).
    void Write(uint32_t a, uint32_t b, uint32_t c)
    {
        EffectsBumpVertex& v = out_[a];
        v.position = source_.Position(a);
        v.normal = source_.Normal(a);
        v.colour = source_.Colour(a);
        float uv[2];
        source_.TexCoord(a, uv);
        v.u0 = uv[0];
        v.v0 = uv[1];
        const V3d l = light_.direction ? light_.vector : UnitOr(Sub(light_.vector, v.position), kFixedLight);
        if (source_.HasTangents()) {
            const V3d t = source_.Tangent(a);
            v.u1 = v.u0 + scale_ * Dot(t, l);
            v.v1 = v.v0 + scale_ * Dot(Cross(t, v.normal), l);
            return;
        }
        V3d t = kFixedTangent;
        if (b < count_ && c < count_) {
            float uvB[2];
            float uvC[2];
            source_.TexCoord(b, uvB);
            source_.TexCoord(c, uvC);
            const V3d ab = Sub(source_.Position(b), v.position);
            const V3d ac = Sub(source_.Position(c), v.position);
            t = UnitOr(Sub(Scale(ab, uvC[1] - v.v0), Scale(ac, uvB[1] - v.v0)), kFixedTangent);
        }
        v.u1 = v.u0 - scale_ * Dot(t, l);
        v.v1 = v.v0 - scale_ * Dot(Cross(t, v.normal), l);
    }

  private:
    const SourceVertices& source_;
    LightVector light_;
    float scale_;
    EffectsBumpVertex* out_;
    uint32_t count_;
};

/// The other two corners of the triangle through position `i` of a list
/// or strip of `count` positions, in the order the tangent needs; false
/// when no triangle uses it.
bool Corners(uint32_t primType, uint32_t i, uint32_t count, uint32_t* b, uint32_t* c)
{
    if (primType == D3DPT_TRIANGLESTRIP) {
        const bool even = i % 2 == 0;
        if (i < 2) {
            *b = even ? i + 1 : i + 2;
            *c = even ? i + 2 : i + 1;
            return i + 2 < count;
        }
        *b = even ? i - 2 : i - 1;
        *c = even ? i - 1 : i - 2;
        return true;
    }
    const uint32_t group = i - i % 3;
    if (group + 2 >= count) {
        return false;
    }
    // Rotation order: a of (a, b, c) takes (b, c), b takes (c, a), c takes (a, b).
    *b = group + (i % 3 + 1) % 3;
    *c = group + (i % 3 + 2) % 3;
    return true;
}

/// Walks the mesh's indices, writing each vertex once from the first
/// triangle that uses it, then the vertices no triangle uses; false when
/// the indices or the marks cannot be had.
bool WriteIndexed(const InstancedData* data, const InstancedMesh& mesh, BumpWriter& writer)
{
    if (gMarksSize < mesh.numVertices) {
        auto* marks = static_cast<uint8_t*>(MemoryReallocate(gMarks, mesh.numVertices, kMemoryHint));
        if (!marks) {
            return false;
        }
        gMarks = marks;
        gMarksSize = mesh.numVertices;
    }
    void* locked = nullptr;
    if (FAILED(data->indexBuffer->Lock(mesh.startIndex * sizeof(uint16_t), mesh.numIndices * sizeof(uint16_t),
                                       &locked, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY))) {
        return false;
    }
    const auto* indices = static_cast<const uint16_t*>(locked);
    std::memset(gMarks, 0, mesh.numVertices);
    const uint32_t none = mesh.numVertices;
    for (uint32_t p = 0; p < mesh.numIndices; ++p) {
        const uint32_t a = indices[p];
        if (a >= mesh.numVertices || gMarks[a]) {
            continue;
        }
        uint32_t pb = 0;
        uint32_t pc = 0;
        const bool triangle = Corners(data->primType, p, mesh.numIndices, &pb, &pc);
        writer.Write(a, triangle ? indices[pb] : none, triangle ? indices[pc] : none);
        gMarks[a] = 1;
    }
    data->indexBuffer->Unlock();
    for (uint32_t a = 0; a < mesh.numVertices; ++a) {
        if (!gMarks[a]) {
            writer.Write(a, none, none);
        }
    }
    return true;
}

/// The emboss in two blended passes over the bump vertices; alpha testing,
/// blending, vertex alpha and z-writes are put back as the engine had them.
void TwoPasses(const InstancedData* data, const InstancedMesh& mesh)
{
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    uint32_t alphaTest = 0;
    D3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
    const uint32_t vertexAlpha = D3D9GetVertexAlphaEnable();
    D3D9SetVertexAlphaEnable(1);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    uint32_t source = 0;
    uint32_t destination = 0;
    D3D9RenderStateGet(kRenderStateSrcBlend, &source);
    D3D9RenderStateGet(kRenderStateDestBlend, &destination);
    // Base colour less its height at the mesh's coordinates...
    D3D9SetSrcBlend(D3DBLEND_INVSRCALPHA);
    D3D9SetDestBlend(D3DBLEND_ZERO);
    EffectsRenderPlain(data, mesh);
    // ...plus the height at the coordinates shifted towards the light.
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    D3D9SetSrcBlend(D3DBLEND_SRCALPHA);
    D3D9SetDestBlend(D3DBLEND_ONE);
    uint32_t zWrite = 0;
    D3D9GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 0);
    D3D9SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    EffectsRenderPlain(data, mesh);
    D3D9SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    D3D9SetVertexAlphaEnable(vertexAlpha);
    D3D9SetSrcBlend(source);
    D3D9SetDestBlend(destination);
    // Alpha testing as the engine had it, whatever blending re-derived.
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
}

/// The emboss in one pass through a pixel shader, the texture sampled on
/// stages 0 and 1 at both coordinate sets; with an environment of slot 1 at
/// a non-zero amount it is added on stage 2 in the same pass.
void ShaderPass(const InstancedData* data, const InstancedMesh& mesh, const Texture* texture,
                const Texture* envTexture)
{
    const uint32_t vertexAlpha = D3D9GetVertexAlphaEnable();
    D3D9SetVertexAlphaEnable(0);
    D3D9SetTexture(texture, 1);
    uint32_t blending = 0;
    uint32_t alphaTest = 0;
    D3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
    D3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
    D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    const MaterialEffects* effects = MaterialEffectsGet(mesh.material);
    const EffectSlot& slot = effects->slots[1];
    if (envTexture && envTexture->raster && slot.kind == kEffectSlotEnvMap &&
        EffectsEnvMapAmount(slot.envMap.coefficient) != 0) {
        EffectsShaderCoefficient(slot.envMap.coefficient);
        EffectsEnvMapSetStage(envTexture, 2, slot.envMap.frame);
        const EffectsPixelShader shader = !slot.envMap.frameBufferAlpha     ? kEffectsShaderBumpEnv
                                          : D3D9TextureHasAlpha(envTexture) ? kEffectsShaderBumpEnvAlpha
                                                                            : kEffectsShaderBumpEnvOpaque;
        EffectsRenderShaded(data, mesh, shader);
        EffectsEnvMapStageOff(2);
    } else {
        EffectsRenderShaded(data, mesh, kEffectsShaderBump);
    }
    D3D9SetTexture(nullptr, 1);
    // The engine's vertex alpha back, then its blending and alpha testing
    // as they were, whatever the flag's change re-derived.
    D3D9SetVertexAlphaEnable(vertexAlpha);
    D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, blending);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
}

} // namespace

bool EffectsBumpMapCanFill(const InstancedData* data)
{
    Layout layout;
    return LayoutOf(data, &layout);
}

int32_t EffectsBumpMapFillVertices(const InstancedData* data, const InstancedMesh& mesh,
                                   EffectsBumpVertex* vertices)
{
    const EffectSlot* slot = EffectsFindSlot(mesh.material, kEffectSlotBumpMap);
    Layout layout;
    if (!slot || !LayoutOf(data, &layout)) {
        return 0;
    }
    const SourceVertices source(data, mesh, layout);
    if (!source.Ok()) {
        return 0;
    }
    Frame* frame = slot->bumpMap.frame;
    if (!frame && D3D9GetCurrentCamera()) {
        frame = CameraGetFrame(D3D9GetCurrentCamera());
    }
    const float scale = slot->bumpMap.invWidth * slot->bumpMap.coefficient;
    BumpWriter writer(source, LightVectorOf(frame), scale, vertices, mesh.numVertices);
    if (data->indexBuffer && mesh.numIndices) {
        return WriteIndexed(data, mesh, writer) ? 1 : 0;
    }
    for (uint32_t a = 0; a < mesh.numVertices; ++a) {
        uint32_t b = mesh.numVertices;
        uint32_t c = mesh.numVertices;
        Corners(data->primType, a, mesh.numVertices, &b, &c);
        writer.Write(a, b, c);
    }
    return 1;
}

void EffectsRenderBumpMap(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                          const Texture* base, const Texture* combined, const Texture* envTexture)
{
    const Texture* texture = combined ? combined : base && D3D9TextureHasAlpha(base) ? base : nullptr;
    // Without a height to emboss, or vertices to shift, the plain texture.
    if (!texture || !EffectsBumpMapCanFill(data)) {
        EffectsRenderSingleTexture(data, mesh, flags, base);
        return;
    }
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* memory = nullptr;
    uint32_t first = 0;
    if (!D3D9DynamicVertexBufferLock(sizeof(EffectsBumpVertex), mesh.numVertices, &buffer, &memory, &first)) {
        return;
    }
    const int32_t filled = EffectsBumpMapFillVertices(data, mesh, static_cast<EffectsBumpVertex*>(memory));
    D3D9BufferUnlock(buffer);
    if (!filled) {
        return;
    }

    D3D9SetTexture(texture, 0);
    D3D9SetFVF(kEffectsBumpVertexFvf);
    D3D9SetStreamSource(0, buffer, 0, sizeof(EffectsBumpVertex));
    InstancedMesh bumpMesh = mesh;
    bumpMesh.baseVertexIndex = first;
    const bool shaders = EffectsGetDeviceCaps()->pixelShaders != 0;
    if (shaders) {
        ShaderPass(data, bumpMesh, texture, envTexture);
    } else {
        TwoPasses(data, bumpMesh);
    }

    // Back to the instance's own vertices.
    InstancedDataBind(data);
    if (envTexture && !shaders) {
        EffectsRenderEnvMap(data, mesh, flags, 1, base, envTexture);
    }
}

void EffectsBumpMapRelease()
{
    MemoryFree(gMarks);
    gMarks = nullptr;
    gMarksSize = 0;
}
