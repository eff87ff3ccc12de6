// The fixed-function render callback of the atomic and sector nodes: binds
// an object's instanced data and draws each mesh with its material's colour,
// texture and vertex alpha, and the clipping decision it makes per object.
// Every state goes through the driver's caches; the texture-stage set-up is
// written only when the mode changes between meshes.
#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/world.h"

namespace {

// Texture-stage mode bits: a texture on stage 0, the material colour
// through the texture factor.
constexpr uint32_t kModeTexture = 0x1;
constexpr uint32_t kModeFactor = 0x2;
constexpr uint32_t kModeNone = 0x80000000;
constexpr uint32_t kFlagsTextured = kGeometryTextured | kGeometryTextured2;
constexpr uint32_t kOpaqueBlack = 0xFF000000;

// Meshes without a material draw white and untextured.
const Material kNoMaterial = {nullptr, {255, 255, 255, 255}, nullptr, {1.0f, 1.0f, 1.0f}, 1};

const Material& MeshMaterial(const InstancedMesh& mesh)
{
    return mesh.material ? *mesh.material : kNoMaterial;
}

uint32_t ColourWord(const RGBA& c)
{
    return uint32_t(c.red) | uint32_t(c.green) << 8 | uint32_t(c.blue) << 16 | uint32_t(c.alpha) << 24;
}

uint32_t ColourArgb(const RGBA& c)
{
    return uint32_t(c.alpha) << 24 | uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue;
}

void StageOps(uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    D3D9SetTextureStageState(stage, D3DTSS_COLOROP, op);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, op);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG2, arg2);
}

void StageDisable(uint32_t stage)
{
    D3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

// The stage set-up of `mode` after `previous`.
void StagesSet(uint32_t mode, uint32_t previous)
{
    if (mode & kModeTexture) {
        if (previous == kModeNone || !(previous & kModeTexture)) {
            StageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        }
    } else if (mode & kModeFactor) {
        StageOps(0, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR);
    } else {
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    }
    if (mode == (kModeTexture | kModeFactor)) {
        StageOps(1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TFACTOR);
    } else if (previous == (kModeTexture | kModeFactor)) {
        StageDisable(1);
    }
}

// Unlit and without pre-lit colours: opaque black, flat, the texture's alpha
// still cutting out where the texture has alpha.
void DrawBlack(InstancedData* data, uint32_t flags)
{
    uint32_t dither = 0, shade = 0;
    D3D9GetRenderState(D3DRS_DITHERENABLE, &dither);
    D3D9GetRenderState(D3DRS_SHADEMODE, &shade);
    D3D9SetVertexAlphaEnable(0);
    D3D9SetRenderState(D3DRS_TEXTUREFACTOR, kOpaqueBlack);
    D3D9SetRenderState(D3DRS_DITHERENABLE, 0);
    D3D9SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    StageOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
    D3D9SetTexture(nullptr, 0);
    bool bound = false;
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        const Texture* texture = MeshMaterial(meshes[i]).texture;
        if ((flags & kFlagsTextured) && texture && D3D9TextureHasAlpha(texture)) {
            D3D9SetTexture(texture, 0);
            if (!bound) {
                D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
                bound = true;
            }
        } else if (bound) {
            D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
            D3D9SetTexture(nullptr, 0);
            bound = false;
        }
        InstancedMeshDraw(data, meshes[i]);
    }
    D3D9SetRenderState(D3DRS_DITHERENABLE, dither);
    D3D9SetRenderState(D3DRS_SHADEMODE, shade);
}

void DrawLitOrPreLit(InstancedData* data, uint32_t flags, bool lighting)
{
    uint32_t vertexAlpha = D3D9GetVertexAlphaEnable();
    uint32_t mode = kModeNone;
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        const Material& material = MeshMaterial(meshes[i]);
        const uint32_t needAlpha = material.colour.alpha != 255 || meshes[i].vertexAlpha != 0;
        if (needAlpha != vertexAlpha) {
            D3D9SetVertexAlphaEnable(needAlpha);
            vertexAlpha = needAlpha;
        }
        uint32_t next = 0;
        if (!lighting) {
            if ((flags & kGeometryModulateMaterialColor) && ColourWord(material.colour) != 0xFFFFFFFF) {
                next |= kModeFactor;
                D3D9SetRenderState(D3DRS_TEXTUREFACTOR, ColourArgb(material.colour));
            }
        } else {
            const D3D9SurfaceProperties surface = {material.surfaceProperties.ambient,
                                                   material.surfaceProperties.specular,
                                                   material.surfaceProperties.diffuse};
            const uint8_t colour[4] = {material.colour.red, material.colour.green, material.colour.blue,
                                       material.colour.alpha};
            D3D9SetSurfaceProperties(&surface, colour, flags);
        }
        if (material.texture && (flags & kFlagsTextured)) {
            next |= kModeTexture;
            D3D9SetTexture(material.texture, 0);
        } else {
            D3D9SetTexture(nullptr, 0);
        }
        if (next != mode) {
            StagesSet(next, mode);
            mode = next;
        }
        InstancedMeshDraw(data, meshes[i]);
    }
    if (mode == (kModeTexture | kModeFactor)) {
        StageDisable(1);
    }
}

} // namespace

void AtomicSetClipping(void* object, int32_t objectType)
{
    const Camera* camera = EngineGetInstance()->currentCamera;
    int32_t inside = 0;
    if (camera && objectType == kInstancedAtomic) {
        const Sphere* sphere = AtomicWorldBoundingSphere(static_cast<Atomic*>(object));
        inside = sphere && CameraFrustumTestSphereInside(camera, sphere);
    } else if (camera) {
        inside = CameraFrustumTestBox(camera, &static_cast<const WorldSector*>(object)->boundingBox);
    }
    D3D9SetRenderState(D3DRS_CLIPPING, inside ? 0 : 1);
}

void InstancedDataBind(const InstancedData* data)
{
    if (data->indexBuffer) {
        D3D9SetIndices(data->indexBuffer);
    }
    const D3D9StreamRecord streams[2] = {
        {data->streams[0].buffer, data->streams[0].offset, data->streams[0].stride},
        {data->streams[1].buffer, data->streams[1].offset, data->streams[1].stride}};
    D3D9SetStreams(streams, data->useOffsets != 0);
    D3D9SetVertexDeclaration(data->declaration);
}

void InstancedMeshDraw(const InstancedData* data, const InstancedMesh& mesh)
{
    D3D9SetVertexShader(mesh.vertexShader);
    D3D9RenderStateFlush();
    const auto type = D3DPRIMITIVETYPE(data->primType);
    if (!data->indexBuffer) {
        D3D9DrawPrimitive(type, mesh.baseVertexIndex, mesh.numPrimitives);
    } else {
        D3D9DrawIndexedPrimitive(type, int32_t(mesh.baseVertexIndex), 0, mesh.numVertices, mesh.startIndex,
                                 mesh.numPrimitives);
    }
}

void DefaultRender(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags)
{
    if (D3D9GetBindingCache()->pixelShader != 0) {
        D3D9SetPixelShader(nullptr);
    }
    AtomicSetClipping(object, objectType);

    InstancedData* data = InstancedDataFromEntry(entry);
    InstancedDataBind(data);

    uint32_t lighting = 0;
    D3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    if (!lighting && !(flags & kGeometryPreLit)) {
        DrawBlack(data, flags);
    } else {
        DrawLitOrPreLit(data, flags, lighting != 0);
    }
}
