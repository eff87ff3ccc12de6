// The states the driver sets when the device starts, the engine's states
// sent again after a device reset, and forgetting the caches before the
// framework uses the device directly.

#include <cstring>

#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/renderstatetables.h"

namespace {

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

/// The states that end both the initial set and the restore: stage 0
/// passes the diffuse colour, the material is the colour source, no
/// specular, the device's dithering.
void SetCommonTail()
{
    const D3DCAPS9& caps = D3D9State().caps;
    D3D9SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    D3D9SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    D3D9SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    D3D9SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    D3D9SetRenderState(D3DRS_DITHERENABLE, caps.RasterCaps & D3DPRASTERCAPS_DITHER);
    D3D9SetRenderState(D3DRS_SPECULARENABLE, 0);
    D3D9SetRenderState(D3DRS_LOCALVIEWER, 0);
    D3D9SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, 0);
}

void SetStencilStates(const D3D9EngineStates& e)
{
    D3D9SetRenderState(D3DRS_STENCILENABLE, e.stencilEnable);
    D3D9SetRenderState(D3DRS_STENCILFAIL, e.stencilFail);
    D3D9SetRenderState(D3DRS_STENCILZFAIL, e.stencilZFail);
    D3D9SetRenderState(D3DRS_STENCILPASS, e.stencilPass);
    D3D9SetRenderState(D3DRS_STENCILFUNC, e.stencilFunction);
    D3D9SetRenderState(D3DRS_STENCILREF, e.stencilRef);
    D3D9SetRenderState(D3DRS_STENCILMASK, e.stencilMask);
    D3D9SetRenderState(D3DRS_STENCILWRITEMASK, e.stencilWriteMask);
}

} // namespace

void D3D9RenderStateInit()
{
    D3D9DriverState& s = D3D9State();
    D3D9StateCachesForget();
    D3D9EngineStatesDefault();
    const D3D9EngineStates& e = s.engine;

    D3D9SetRenderState(D3DRS_FOGENABLE, 0);
    D3D9SendFogMode(e.fogType);
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0);
    D3D9SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    D3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, 1);
    D3D9SetRenderState(D3DRS_ZENABLE, 1);
    SetStencilStates(e);

    for (uint32_t stage = 0; stage < kD3D9Stages; ++stage) {
        s.device->SetTexture(stage, nullptr);
        D3D9SendStageFilter(stage, e.stages[stage].filterMode);
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        D3D9SetSamplerState(stage, D3DSAMP_BORDERCOLOR, 0xFF000000);
        D3D9SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, 1);
        if (stage > 0) {
            D3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
            D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
    }

    D3D9SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    D3D9SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    D3D9SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    D3D9SetRenderState(D3DRS_ALPHAREF, 0);
    D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    D3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    SetCommonTail();
    D3D9RenderStateFlush();
}

void D3D9RenderStateRestore()
{
    D3D9DriverState& s = D3D9State();
    uint32_t fogStart, fogEnd, alphaRef;
    D3D9GetRenderState(D3DRS_FOGSTART, &fogStart);
    D3D9GetRenderState(D3DRS_FOGEND, &fogEnd);
    D3D9GetRenderState(D3DRS_ALPHAREF, &alphaRef);
    D3D9StateCachesForget();
    D3D9EngineStates& e = s.engine;

    D3D9SetRenderState(D3DRS_FOGDENSITY, FloatBits(e.fogDensity));
    D3D9SetRenderState(D3DRS_FOGENABLE, e.fogEnable);
    D3D9SendFogMode(e.fogType);
    D3D9SetRenderState(D3DRS_FOGSTART, fogStart);
    D3D9SetRenderState(D3DRS_FOGEND, fogEnd);
    D3D9SetRenderState(D3DRS_FOGCOLOR, e.fogColour);
    D3D9SetRenderState(D3DRS_SHADEMODE, e.shadeMode);
    D3D9SetRenderState(D3DRS_ZWRITEENABLE, e.zWrite);
    if (e.zTest) {
        D3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
        D3D9SetRenderState(D3DRS_ZENABLE, 1);
    } else {
        D3D9SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        D3D9SetRenderState(D3DRS_ZENABLE, e.zWrite);
    }
    SetStencilStates(e);

    for (uint32_t stage = 0; stage < kD3D9Stages; ++stage) {
        D3D9StageRecord& record = e.stages[stage];
        s.device->SetTexture(stage, nullptr);
        record.raster = nullptr;
        D3D9SendStageFilter(stage, record.filterMode);
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSU, record.addressU);
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSV, record.addressV);
        D3D9SetSamplerState(stage, D3DSAMP_BORDERCOLOR, record.borderColour);
        D3D9SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, record.maxAnisotropy);
        if (stage > 0) {
            D3D9SetTextureStageState(stage, D3DTSS_COLOROP, D3DTOP_DISABLE);
            D3D9SetTextureStageState(stage, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        }
    }

    D3D9SetRenderState(D3DRS_SRCBLEND, e.srcBlend);
    D3D9SetRenderState(D3DRS_DESTBLEND, e.destBlend);
    D3D9SetRenderState(D3DRS_ALPHAFUNC, e.alphaFunction);
    D3D9SetRenderState(D3DRS_ALPHAREF, alphaRef);
    D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, e.vertexAlpha ? 1 : 0);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, e.vertexAlpha ? e.alphaTest : 0);
    e.textureAlpha = 0;
    D3D9SetRenderState(D3DRS_LIGHTING, 0);
    D3D9SetRenderState(D3DRS_CULLMODE, e.cullMode);
    SetCommonTail();
    D3D9RenderStateFlush();
}

IDirect3DDevice9* D3D9ResetDeviceCache()
{
    D3D9TargetsForget();
    D3D9BindingsForget();
    D3D9TransformCacheReset();
    D3D9LightCacheFree();
    return D3D9State().device;
}
