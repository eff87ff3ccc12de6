// The dual-texture effect: the second texture combined with the base through
// texture stages in one pass when the device can do the slot's blend, else
// drawn in a second pass blended into the frame buffer.
#include "graphics/animation/effects/effects.h"
#include "graphics/animation/effects/effectspipelines.h"
#include "graphics/animation/effects/effectsrender.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/nativeraster.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/scene/material.h"

namespace {

/// What the slot asks of the frame-buffer blend.
struct Blend
{
    uint32_t source;
    uint32_t destination;

    bool Is(uint32_t s, uint32_t d) const { return source == s && destination == d; }
    bool Multiply() const
    {
        return Is(D3DBLEND_DESTCOLOR, D3DBLEND_ZERO) || Is(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR);
    }
};

void ColourOps(uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    D3D9SetTextureStageState(stage, D3DTSS_COLOROP, op);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_COLORARG2, arg2);
}

void AlphaOps(uint32_t stage, uint32_t op, uint32_t arg1, uint32_t arg2)
{
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, op);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG1, arg1);
    D3D9SetTextureStageState(stage, D3DTSS_ALPHAARG2, arg2);
}

/// With exactly three blend stages, stage 0 selects the base texture and
/// stage 2 applies the diffuse colour after stage 1's combination; else
/// stage 0 keeps base x diffuse.
void Layout(bool threeStages)
{
    if (threeStages) {
        EffectsStageOps(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        EffectsStageOps(2, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
    }
}

/// Sets up one pass with the base on stage 0; false when the blend needs two.
bool OnePassOverBase(const Blend& blend, const Texture* second, const EffectsDeviceCaps& caps)
{
    const bool three = caps.blendStages == 3;
    if (blend.Multiply() || blend.Is(D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR) ||
        blend.Is(D3DBLEND_ZERO, D3DBLEND_SRCALPHA)) {
        uint32_t op = D3DTOP_MODULATE;
        uint32_t arg = D3DTA_TEXTURE;
        if (blend.Is(D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR)) {
            if (!caps.modulate2x) {
                return false;
            }
            op = D3DTOP_MODULATE2X;
        } else if (blend.Is(D3DBLEND_ZERO, D3DBLEND_SRCALPHA)) {
            arg |= D3DTA_ALPHAREPLICATE;
        }
        D3D9SetTexture(second, 1);
        ColourOps(1, op, arg, D3DTA_CURRENT);
        AlphaOps(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        Layout(three);
        return true;
    }
    if (blend.Is(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA)) {
        if (caps.blendStages < 3) {
            return false;
        }
        D3D9SetTexture(second, 1);
        EffectsStageOps(1, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_CURRENT);
        Layout(true);
        return true;
    }
    if (blend.Is(D3DBLEND_ONE, D3DBLEND_ONE)) {
        if (!caps.multiplyAdd) {
            return false;
        }
        D3D9SetTexture(second, 1);
        D3D9SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MULTIPLYADD);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG0, D3DTA_CURRENT);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        D3D9SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        AlphaOps(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    }
    return false;
}

/// Sets up one pass with the second texture alone on stage 0 (the material
/// has no texture); false when the blend needs two.
bool OnePassWithoutBase(const Blend& blend, const Texture* second, const EffectsDeviceCaps& caps)
{
    D3D9SetTexture(second, 0);
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    if (blend.Multiply()) {
        return true;
    }
    if (blend.Is(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA)) {
        D3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
        ColourOps(0, D3DTOP_BLENDTEXTUREALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR);
        AlphaOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_TFACTOR);
        EffectsStageOps(1, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_CURRENT);
        return true;
    }
    if (blend.Is(D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR)) {
        if (!caps.modulate2x) {
            return false;
        }
        ColourOps(0, D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        AlphaOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        return true;
    }
    if (blend.Is(D3DBLEND_ONE, D3DBLEND_ONE)) {
        AlphaOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        ColourOps(1, D3DTOP_ADD, D3DTA_DIFFUSE, D3DTA_CURRENT);
        AlphaOps(1, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT);
        return true;
    }
    if (blend.Is(D3DBLEND_ZERO, D3DBLEND_SRCALPHA)) {
        ColourOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE);
        AlphaOps(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
        return true;
    }
    return false;
}

/// Stage 0 back to texture x diffuse, stages 1 and 2 off and unbound.
void StagesReset()
{
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    EffectsStageDisable(1);
    EffectsStageDisable(2);
    D3D9SetTexture(nullptr, 1);
}

/// The one-time check that the device takes the modulate-2x set-up in one
/// pass; a failure turns modulate-2x off for good.
bool Modulate2xValidates(EffectsDeviceCaps& caps)
{
    caps.modulate2xCheck = 0;
    D3D9RenderStateFlush();
    DWORD passes = 0;
    IDirect3DDevice9* device = D3D9GetDevice();
    if (device && device->ValidateDevice(&passes) == D3D_OK && passes == 1) {
        return true;
    }
    caps.modulate2x = 0;
    return false;
}

void SecondPass(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags, const Blend& blend,
                const Texture* second, const Matrix* secondMatrix)
{
    D3D9SetTexture(second, 0);
    EffectsStageOps(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    EffectsTextureTransform(0, secondMatrix);
    const uint32_t vertexAlpha = D3D9GetVertexAlphaEnable();
    if (!vertexAlpha) {
        D3D9SetVertexAlphaEnable(1);
    }
    // Blending with the frame buffer must not discard texels by their alpha.
    if (blend.Multiply() || blend.Is(D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR)) {
        D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    }
    uint32_t source = 0, destination = 0;
    D3D9RenderStateGet(kRenderStateSrcBlend, &source);
    D3D9RenderStateGet(kRenderStateDestBlend, &destination);
    D3D9SetSrcBlend(blend.source);
    D3D9SetDestBlend(blend.destination);
    uint32_t zWrite = 0, fog = 0, fogColour = 0;
    D3D9GetRenderState(D3DRS_ZWRITEENABLE, &zWrite);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 0);
    D3D9GetRenderState(D3DRS_FOGENABLE, &fog);
    if (fog) {
        D3D9GetRenderState(D3DRS_FOGCOLOR, &fogColour);
        if (blend.destination == D3DBLEND_ONE) {
            D3D9SetRenderState(D3DRS_FOGCOLOR, 0);
        } else if (blend.source == D3DBLEND_DESTCOLOR || blend.destination == D3DBLEND_SRCCOLOR) {
            D3D9SetRenderState(D3DRS_FOGCOLOR, 0xFFFFFFFF);
        }
    }
    const bool twoSets = flags & kEffectsFlagsTwoSets;
    if (twoSets) {
        D3D9SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
    }
    EffectsRenderPlain(data, mesh);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, zWrite);
    if (fog) {
        D3D9SetRenderState(D3DRS_FOGCOLOR, fogColour);
    }
    if (twoSets) {
        D3D9SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    }
    D3D9SetVertexAlphaEnable(vertexAlpha);
    EffectsAlphaTestRestore();
    D3D9SetSrcBlend(source);
    D3D9SetDestBlend(destination);
}

} // namespace

void EffectsRenderDualTexture(const InstancedData* data, const InstancedMesh& mesh, uint32_t flags,
                              const Texture* base, Texture* second)
{
    // Without a second raster, or coordinates to address it, the base alone.
    if (!second || !second->raster || !(flags & kEffectsFlagsTextured)) {
        EffectsRenderSingleTexture(data, mesh, flags, base);
        return;
    }
    const bool uvTransform = MaterialEffectsGetType(mesh.material) == EffectTypeDualUvTransform;
    Matrix* baseMatrix = nullptr;
    Matrix* secondMatrix = nullptr;
    if (uvTransform) {
        MaterialEffectsGetUvTransformMatrices(mesh.material, &baseMatrix, &secondMatrix);
    }
    Blend blend = {};
    MaterialEffectsGetDualBlendModes(mesh.material, &blend.source, &blend.destination);

    const bool hasBase = EffectsStageBase(base, flags);
    if (hasBase) {
        EffectsTextureTransform(0, baseMatrix);
        if (base->raster && (base->raster->format << 8 & kRasterFormatPal8) &&
            (second->raster->format << 8 & kRasterFormatPal8) && base != second) {
            // Two palettes cannot be sampled at once.
            D3D9RasterConvertViaImage(second->raster);
        }
    }
    EffectsDeviceCaps& caps = *EffectsGetDeviceCaps();
    bool onePass = false;
    if (caps.twoTextures) {
        onePass = hasBase ? OnePassOverBase(blend, second, caps) : OnePassWithoutBase(blend, second, caps);
        if (onePass && blend.Is(D3DBLEND_DESTCOLOR, D3DBLEND_SRCCOLOR) && caps.modulate2xCheck &&
            !Modulate2xValidates(caps)) {
            onePass = false;
        }
        if (!onePass) {
            StagesReset();
            EffectsStageBase(base, flags);
        }
    }
    if (onePass) {
        const bool oneSet = !(flags & kEffectsFlagsTwoSets);
        if (oneSet) {
            D3D9SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        }
        EffectsTextureTransform(hasBase ? 1 : 0, secondMatrix);
        EffectsRenderPlain(data, mesh);
        StagesReset();
        if (oneSet) {
            D3D9SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1);
        }
    } else {
        EffectsRenderPlain(data, mesh);
        SecondPass(data, mesh, flags, blend, second, secondMatrix);
    }
    if (uvTransform) {
        EffectsTextureTransformOff(0);
        EffectsTextureTransformOff(1);
    }
}
