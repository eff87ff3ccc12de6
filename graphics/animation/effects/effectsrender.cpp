// The effects pipelines' render callback: binds an object's instanced data
// and draws each mesh by its material's effect type; and the plain and
// single-texture draws the effect draws fall back to.
#include "graphics/animation/effects/effectsrender.h"

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectsbumpmap.h"
#include "graphics/animation/effects/effectsenvmap.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"

namespace {

constexpr uint32_t kOpaqueBlack = 0xFF000000;

void DrawMesh(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags, bool lighting)
{
    const Material* material = mesh.material;
    if (lighting && material) {
        const D3D9SurfaceProperties surface = {material->surfaceProperties.ambient,
                                               material->surfaceProperties.specular,
                                               material->surfaceProperties.diffuse};
        const uint8_t colour[4] = {material->colour.red, material->colour.green, material->colour.blue,
                                   material->colour.alpha};
        D3D9SetSurfaceProperties(&surface, colour, flags);
    }
    const Texture* texture = material ? material->texture : nullptr;
    switch (material ? MaterialEffectsGetType(material) : EffectTypeNull) {
    case EffectTypeDual:
    case EffectTypeDualUvTransform:
        EffectsRenderDualTexture(data, mesh, flags, texture, MaterialEffectsGetDualTexture(material));
        break;
    case EffectTypeBumpMap:
        EffectsRenderBumpMap(data, mesh, flags, texture, MaterialEffectsGetBumpMapTexture(material), nullptr);
        break;
    case EffectTypeEnvMap:
        EffectsRenderEnvMap(data, mesh, flags, 0, texture, MaterialEffectsGetEnvMapTexture(material));
        break;
    case EffectTypeBumpEnvMap:
        EffectsRenderBumpMap(data, mesh, flags, texture, MaterialEffectsGetBumpMapTexture(material),
                             MaterialEffectsGetEnvMapTexture(material));
        break;
    default:
        EffectsRenderSingleTexture(data, mesh, flags, texture);
        break;
    }
}

} // namespace

void EffectsRenderPlain(const InstancedData* data, const InstancedMesh& mesh)
{
    if (D3D9GetBindingCache()->pixelShader != 0) {
        D3D9SetPixelShader(nullptr);
    }
    InstancedMeshDraw(data, mesh);
}

void EffectsRenderShaded(const InstancedData* data, const InstancedMesh& mesh, EffectsPixelShader shader)
{
    D3D9SetPixelShader(EffectsGetPixelShader(shader));
    InstancedMeshDraw(data, mesh);
}

void EffectsShaderCoefficient(float k)
{
    const float constant[4] = {k, k, k, k};
    D3D9SetPixelShaderConstant(0, constant, 1);
}

void EffectsStageOps(uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    D3D9SetTextureStageState(stage, D3DTSS_COLOROP, op);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, op);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG2, arg2);
}

void EffectsStageDisable(uint32_t stage)
{
    D3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

bool EffectsStageBase(const Texture* texture, uint32_t flags)
{
    // Sampling an unbound stage would darken the mesh: without a texture
    // the diffuse colour passes alone, as in the default drawing.
    if (!(flags & kEffectsFlagsTextured) || !texture) {
        D3D9SetTexture(nullptr, 0);
        EffectsStageOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        return false;
    }
    D3D9SetTexture(texture, 0);
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    return true;
}

bool EffectsTextureTransform(uint32_t stage, const Matrix* m)
{
    if (!m || (m->flags & kMatrixFlagIdentity)) {
        return false;
    }
    D3DMATRIX t = {};
    t.m[0][0] = m->right.x;
    t.m[0][1] = m->right.y;
    t.m[1][0] = m->up.x;
    t.m[1][1] = m->up.y;
    t.m[2][0] = m->pos.x;
    t.m[2][1] = m->pos.y;
    t.m[2][2] = 1.0f;
    D3D9SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    D3D9SetTransform(D3DTS_TEXTURE0 + stage, &t);
    return true;
}

void EffectsTextureTransformOff(uint32_t stage)
{
    D3D9SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void EffectsAlphaTestRestore()
{
    // Vertex alpha re-derives alpha testing only when its flag changes, so a
    // pass that cleared it while the flag stayed put must set it back here.
    uint32_t blending = 0;
    uint32_t function = 0;
    D3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
    D3D9RenderStateGet(kRenderStateAlphaFunction, &function);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, blending && function != D3DCMP_ALWAYS ? 1 : 0);
}

void EffectsRenderSingleTexture(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                                const Texture* texture)
{
    bool transformed = false;
    if (EffectsStageBase(texture, flags) && mesh.material &&
        MaterialEffectsGetType(mesh.material) == EffectTypeUvTransform) {
        Matrix* base = nullptr;
        MaterialEffectsGetUvTransformMatrices(mesh.material, &base, nullptr);
        transformed = EffectsTextureTransform(0, base);
    }
    EffectsRenderPlain(data, mesh);
    if (transformed) {
        EffectsTextureTransformOff(0);
    }
}

void EffectsRenderCallback(ResourcesEntry* entry, void* object, int32_t objectType, uint32_t flags)
{
    AtomicSetClipping(object, objectType);
    uint32_t lighting = 0;
    D3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    const bool black = !lighting && !(flags & kGeometryPreLit);
    if (black) {
        D3D9SetTexture(nullptr, 0);
        D3D9SetRenderState(D3DRS_TEXTUREFACTOR, kOpaqueBlack);
        EffectsStageOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    InstancedDataBind(data);
    InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        const InstancedMesh& mesh = meshes[i];
        const bool alpha = mesh.vertexAlpha || (mesh.material && mesh.material->colour.alpha != 255);
        D3D9SetVertexAlphaEnable(alpha ? 1 : 0);
        if (black) {
            EffectsRenderPlain(data, mesh);
        } else {
            DrawMesh(data, mesh, flags, lighting != 0);
        }
    }
}
