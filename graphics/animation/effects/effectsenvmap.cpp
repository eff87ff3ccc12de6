// The environment-map effect: stage set-up with generated coordinates, the
// choice between one pass and two, and the additive reflection pass.
#include "graphics/animation/effects/effectsenvmap.h"

#include <cmath>

#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/animation/effects/effectsrender.h"
#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/rasterext.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/scene/material.h"

namespace {

constexpr uint32_t kFullAmount = 255;

/// Maps a camera-space normal's (x, y) to (0.5x + 0.5, -0.5y + 0.5).
Matrix SphereScaleBias()
{
    Matrix m = {};
    m.right = {0.5f, 0.0f, 0.0f};
    m.up = {0.0f, -0.5f, 0.0f};
    m.at = {0.0f, 0.0f, 1.0f};
    m.pos = {0.5f, 0.5f, 0.0f};
    return m;
}

/// The engine matrix as a 4x4 row-vector transform.
D3DMATRIX TransformOf(const Matrix& m)
{
    D3DMATRIX t = {};
    const V3d* rows[4] = {&m.right, &m.up, &m.at, &m.pos};
    for (int r = 0; r < 4; ++r) {
        t.m[r][0] = rows[r]->x;
        t.m[r][1] = rows[r]->y;
        t.m[r][2] = rows[r]->z;
    }
    t.m[3][3] = 1.0f;
    return t;
}

/// The current camera's world matrix, or null without a camera or frame.
Matrix* CameraMatrix()
{
    Camera* camera = D3D9GetCurrentCamera();
    Frame* frame = camera ? CameraGetFrame(camera) : nullptr;
    return frame ? FrameGetLTM(frame) : nullptr;
}

bool Palettised(const Texture* texture)
{
    return texture->raster && (uint32_t(texture->raster->format) << 8 & kRasterFormatPal8);
}

/// The additive reflection pass: the environment on stage 0, blended
/// (source alpha, one) over what is drawn, unlit, without z-writes and with
/// black fog so that fogged pixels get nothing added.
void ReflectionPass(const InstancedData* data, const InstancedMesh& mesh, const Texture* envTexture,
                    Frame* frame, uint32_t amount)
{
    EffectsEnvMapSetStage(envTexture, 0, frame);
    uint32_t alphaTest = 0;
    D3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);
    const uint32_t vertexAlpha = D3D9GetVertexAlphaEnable();
    D3D9SetVertexAlphaEnable(1);
    uint32_t source = 0;
    uint32_t destination = 0;
    D3D9RenderStateGet(kRenderStateSrcBlend, &source);
    D3D9RenderStateGet(kRenderStateDestBlend, &destination);
    D3D9SetSrcBlend(D3DBLEND_SRCALPHA);
    D3D9SetDestBlend(D3DBLEND_ONE);
    if (amount < kFullAmount) {
        D3D9SetRenderState(D3DRS_TEXTUREFACTOR, amount * 0x01010101u);
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        D3D9SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    } else {
        EffectsStageOps(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    }
    uint32_t lighting = 0;
    uint32_t zWrite = 0;
    uint32_t fog = 0;
    uint32_t fogColour = 0;
    D3D9GetRenderState(D3DRS_LIGHTING, &lighting);
    D3D9GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);
    D3D9GetRenderState(D3DRS_FOGENABLE, &fog);
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 0);
    if (fog) {
        D3D9GetRenderState(D3DRS_FOGCOLOR, &fogColour);
        D3D9SetRenderState(D3DRS_FOGCOLOR, 0);
    }
    EffectsRenderPlain(data, mesh);
    if (fog) {
        D3D9SetRenderState(D3DRS_FOGCOLOR, fogColour);
    }
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    D3D9SetRenderState(D3DRS_LIGHTING, lighting);
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    D3D9SetVertexAlphaEnable(vertexAlpha);
    // Alpha testing as the engine had it, whatever blending re-derived.
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
    D3D9SetSrcBlend(source);
    D3D9SetDestBlend(destination);
    EffectsTextureTransformOff(0);
    D3D9SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
}

/// The one-time check that the device adds the environment on stage 1 in
/// one pass.
void ValidateAdd(EffectsDeviceCaps& caps)
{
    caps.addCheck = 0;
    D3D9RenderStateFlush();
    DWORD passes = 0;
    IDirect3DDevice9* device = D3D9GetDevice();
    caps.addValidated = device && device->ValidateDevice(&passes) == D3D_OK && passes == 1;
}

/// One pass through texture stages: the environment added to the base (by
/// the amount through multiply-add, or whole), or to the diffuse colour.
void SinglePass(const InstancedData* data, const InstancedMesh& mesh, const Texture* envTexture, Frame* frame,
                uint32_t amount, bool hasBase, EffectsDeviceCaps& caps)
{
    if (amount == kFullAmount && !hasBase) {
        EffectsEnvMapSetStage(envTexture, 0, frame);
        D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
        EffectsRenderPlain(data, mesh);
        EffectsEnvMapStageOff(0);
        EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        return;
    }
    EffectsEnvMapSetStage(envTexture, 1, frame);
    if (amount < kFullAmount) {
        D3D9SetRenderState(D3DRS_TEXTUREFACTOR, amount * 0x01010101u);
        D3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG0, D3DTA_CURRENT);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
    } else {
        D3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    }
    // The reflection adds colour only: the alpha is the base's.
    D3D9SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    D3D9SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    D3D9SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    if (amount == kFullAmount && caps.addCheck) {
        ValidateAdd(caps);
    }
    EffectsRenderPlain(data, mesh);
    EffectsEnvMapStageOff(1);
    EffectsStageDisable(1);
}

/// One pass through a pixel shader: the environment, weighted by its own
/// alpha and the coefficient, added to the base or to the diffuse colour.
void ShaderPass(const InstancedData* data, const InstancedMesh& mesh, const Texture* envTexture, Frame* frame,
                float coefficient, bool hasBase)
{
    EffectsShaderCoefficient(coefficient);
    const uint32_t stage = hasBase ? 1 : 0;
    EffectsEnvMapSetStage(envTexture, stage, frame);
    EffectsRenderShaded(data, mesh, hasBase ? kEffectsShaderBaseEnv : kEffectsShaderEnv);
    EffectsEnvMapStageOff(stage);
}

} // namespace

void EffectsEnvMapStageOff(uint32_t stage)
{
    D3D9SetTexture(nullptr, stage);
    EffectsTextureTransformOff(stage);
    D3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, stage);
}

uint32_t EffectsEnvMapAmount(float coefficient)
{
    // Only the low byte is used: a coefficient above 1 must not wrap to a
    // weak reflection, nor a negative one to a strong one (NaN gives 0).
    if (!(coefficient > 0.0f)) {
        return 0;
    }
    if (coefficient >= 1.0f) {
        return kFullAmount;
    }
    return uint32_t(std::lround(coefficient * float(kFullAmount)));
}

int32_t EffectsEnvMapSetStage(const Texture* texture, uint32_t stage, Frame* frame)
{
    D3D9SetTexture(texture, stage);
    const Matrix* camera = CameraMatrix();
    D3DMATRIX transform = {};
    if (texture && texture->raster && D3D9RasterIsCubeTexture(texture->raster)) {
        // Camera-space reflection vectors turned back into world directions;
        // the negated right axis turns the engine's handedness into the
        // device's.
        D3D9SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
        D3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
        Matrix rotation = {};
        if (camera) {
            rotation.right = {-camera->right.x, -camera->right.y, -camera->right.z};
            rotation.up = camera->up;
            rotation.at = camera->at;
        } else {
            rotation.right.x = rotation.up.y = rotation.at.z = 1.0f;
        }
        transform = TransformOf(rotation);
    } else {
        D3D9SetTextureStageState(stage, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        D3D9SetTextureStageState(stage, D3DTSS_TEXCOORDINDEX, D3DTSS_TCI_CAMERASPACENORMAL);
        const Matrix scaleBias = SphereScaleBias();
        Matrix m = scaleBias;
        if (frame && camera) {
            // Normals as seen from the frame: the reflection follows it.
            Matrix inverse;
            Matrix view;
            MatrixInvert(&inverse, FrameGetLTM(frame));
            MatrixMultiply(&view, camera, &inverse);
            view.right = {-view.right.x, -view.right.y, -view.right.z};
            view.pos = {0.0f, 0.0f, 0.0f};
            view.flags = 0;
            MatrixMultiply(&m, &view, &scaleBias);
        }
        transform = TransformOf(m);
    }
    D3D9SetTransform(D3DTS_TEXTURE0 + stage, &transform);
    return 1;
}

void EffectsRenderEnvMap(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                         uint32_t slotIndex, const Texture* base, const Texture* envTexture)
{
    const MaterialEffects* effects = MaterialEffectsGet(mesh.material);
    const EffectSlot* slot = effects ? &effects->slots[slotIndex] : nullptr;
    const uint32_t amount =
        slot && slot->kind == kEffectSlotEnvMap ? EffectsEnvMapAmount(slot->envMap.coefficient) : 0;
    if (amount == 0 || !envTexture || !envTexture->raster) {
        if (slotIndex == 0) {
            EffectsRenderSingleTexture(data, mesh, flags, base);
        }
        return;
    }
    const EffectEnvMap& env = slot->envMap;
    if (slotIndex != 0) {
        ReflectionPass(data, mesh, envTexture, env.frame, amount);
        return;
    }

    const bool hasBase = EffectsStageBase(base, flags);
    if (hasBase && Palettised(base) && Palettised(envTexture) && base != envTexture) {
        // Two palettes cannot be sampled at once.
        D3D9RasterConvertViaImage(envTexture->raster);
    }
    const bool opaque = env.frameBufferAlpha || (!mesh.vertexAlpha && mesh.material->colour.alpha == 255 &&
                                                 !(hasBase && D3D9TextureHasAlpha(base)));
    EffectsDeviceCaps& caps = *EffectsGetDeviceCaps();
    if (opaque && caps.pixelShaders && D3D9TextureHasAlpha(envTexture)) {
        ShaderPass(data, mesh, envTexture, env.frame, env.coefficient, hasBase);
        return;
    }
    bool onePass = false;
    if (opaque && !D3D9TextureHasAlpha(envTexture)) {
        onePass =
            caps.multiplyAdd || (amount == kFullAmount && (!hasBase || caps.addValidated || caps.addCheck));
    }
    if (onePass) {
        SinglePass(data, mesh, envTexture, env.frame, amount, hasBase, caps);
        return;
    }
    EffectsRenderPlain(data, mesh);
    ReflectionPass(data, mesh, envTexture, env.frame, amount);
}
