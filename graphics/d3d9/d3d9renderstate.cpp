// The engine's numbered render states on the Direct3D 9 device, and the
// texture stages: their rasters, filters, addressing and the coupling of
// alpha blending to vertex alpha and to the stage-0 raster's alpha.

#include <cstring>

#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/rasterext.h"
#include "graphics/d3d9/renderstatetables.h"

namespace {

D3D9EngineStates& Engine()
{
    return D3D9State().engine;
}

bool CapsHave(uint32_t caps, uint32_t bits)
{
    return (caps & bits) == bits;
}

uint32_t ValueOf(void* value)
{
    return uint32_t(reinterpret_cast<uintptr_t>(value));
}

/// Numbered states read back as 32-bit values; only the raster (state 1) is a pointer.
void StoreValue(void* out, uint32_t value)
{
    *static_cast<uint32_t*>(out) = value;
}

void SetZEnable()
{
    D3D9SetRenderState(D3DRS_ZENABLE, (Engine().zTest || Engine().zWrite) ? 1 : 0);
}

/// Sends MIN/MAG/MIP filters of a filter-table index (0..13) for a stage.
void SendFilter(uint32_t stage, uint32_t index)
{
    const D3D9FilterEntry& entry = kD3D9FilterTable[index < kD3D9FilterEntries ? index : 0];
    if (entry.minMag == D3DTEXF_ANISOTROPIC) {
        D3D9SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
        D3D9SetSamplerState(stage, D3DSAMP_MAGFILTER,
                            (D3D9State().caps.TextureFilterCaps & D3DPTFILTERCAPS_MAGFANISOTROPIC)
                                ? D3DTEXF_ANISOTROPIC
                                : D3DTEXF_LINEAR);
    } else {
        D3D9SetSamplerState(stage, D3DSAMP_MINFILTER, entry.minMag);
        D3D9SetSamplerState(stage, D3DSAMP_MAGFILTER, entry.minMag);
    }
    D3D9SetSamplerState(stage, D3DSAMP_MIPFILTER, entry.mip);
}

void SetBlending(bool on)
{
    D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, on ? 1 : 0);
    D3D9SetRenderState(D3DRS_ALPHATESTENABLE, on ? Engine().alphaTest : 0);
}

// Sends a device render state only when it differs from the engine's record of it.
int32_t SetStateIfChanged(uint32_t& variable, uint32_t state, uint32_t value)
{
    if (variable != value) {
        variable = value;
        D3D9SetRenderState(state, value);
    }
    return 1;
}

// The same for a sampler state of stage 0.
int32_t SetSamplerIfChanged(uint32_t& variable, uint32_t state, uint32_t value)
{
    if (variable != value) {
        variable = value;
        D3D9SetSamplerState(0, state, value);
    }
    return 1;
}

} // namespace

void D3D9SendFogMode(uint32_t fogType)
{
    const uint32_t mode = fogType < 4 ? kD3D9FogModes[fogType] : D3DFOG_NONE;
    if (CapsHave(D3D9State().caps.RasterCaps, D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG)) {
        D3D9SetRenderState(D3DRS_FOGTABLEMODE, mode);
        D3D9SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_NONE);
    } else {
        D3D9SetRenderState(D3DRS_FOGTABLEMODE, D3DFOG_NONE);
        D3D9SetRenderState(D3DRS_FOGVERTEXMODE, mode);
    }
}

void D3D9SendStageFilter(uint32_t stage, uint32_t index)
{
    SendFilter(stage, index);
}

void D3D9EngineStatesDefault()
{
    D3D9EngineStates& e = Engine();
    std::memset(&e, 0, sizeof(e));
    e.zTest = e.zWrite = 1;
    e.stencilFail = e.stencilZFail = e.stencilPass = D3DSTENCILOP_KEEP;
    e.stencilFunction = D3DCMP_ALWAYS;
    e.stencilMask = e.stencilWriteMask = 0xFFFFFFFF;
    e.cullMode = D3DCULL_CW;
    e.fogType = 1;
    e.fogDensity = 1.0f;
    e.shadeMode = D3DSHADE_GOURAUD;
    e.srcBlend = D3DBLEND_SRCALPHA;
    e.destBlend = D3DBLEND_INVSRCALPHA;
    e.alphaFunction = D3DCMP_GREATER;
    e.alphaTest = 1;
    const uint32_t filter = (D3D9State().caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFLINEAR) ? 2 : 1;
    for (D3D9StageRecord& stage : e.stages) {
        stage = {nullptr, D3DTADDRESS_WRAP, D3DTADDRESS_WRAP, filter, 0xFF000000, 1};
    }
}

int32_t D3D9RenderStateSet(int32_t state, void* value)
{
    D3D9EngineStates& e = Engine();
    const uint32_t v = ValueOf(value);
    switch (state) {
    case kRenderStateTextureRaster:
        return D3D9SetStageRaster(static_cast<Raster*>(value), 0);
    case kRenderStateTextureAddress:
        D3D9SetAddressU(v);
        D3D9SetAddressV(v);
        return 1;
    case kRenderStateTextureAddressU:
        return D3D9SetAddressU(v);
    case kRenderStateTextureAddressV:
        return D3D9SetAddressV(v);
    case kRenderStateTexturePerspective:
        return v != 0;
    case kRenderStateZTestEnable:
        if (e.zTest != (v != 0)) {
            e.zTest = v != 0;
            D3D9SetRenderState(D3DRS_ZFUNC, e.zTest ? D3DCMP_LESSEQUAL : D3DCMP_ALWAYS);
            SetZEnable();
        }
        return 1;
    case kRenderStateShadeMode:
        return SetStateIfChanged(e.shadeMode, D3DRS_SHADEMODE, v);
    case kRenderStateZWriteEnable:
        if (e.zWrite != (v != 0)) {
            e.zWrite = v != 0;
            D3D9SetRenderState(D3DRS_ZWRITEENABLE, e.zWrite);
            SetZEnable();
        }
        return 1;
    case kRenderStateTextureFilter:
        return D3D9SetTextureFilter(v);
    case kRenderStateSrcBlend:
        return D3D9SetSrcBlend(v);
    case kRenderStateDestBlend:
        return D3D9SetDestBlend(v);
    case kRenderStateVertexAlphaEnable:
        return D3D9SetVertexAlphaEnable(v);
    case kRenderStateBorderColour:
        return SetSamplerIfChanged(e.stages[0].borderColour, D3DSAMP_BORDERCOLOR, v);
    case kRenderStateFogEnable:
        if (v == 0) {
            e.fogEnable = 0;
            D3D9SetRenderState(D3DRS_FOGENABLE, 0);
        } else if (D3D9State().caps.RasterCaps & (D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE)) {
            e.fogEnable = 1;
            D3D9SetRenderState(D3DRS_FOGENABLE, 1);
        }
        return 1;
    case kRenderStateFogColour:
        return SetStateIfChanged(e.fogColour, D3DRS_FOGCOLOR, v);
    case kRenderStateFogType:
        if (e.fogType != v) {
            e.fogType = v;
            D3D9SendFogMode(v);
        }
        return 1;
    case kRenderStateFogDensity: {
        const float density = *static_cast<const float*>(value);
        if (std::memcmp(&density, &e.fogDensity, sizeof(float)) != 0) {
            e.fogDensity = density;
            uint32_t bits;
            std::memcpy(&bits, &density, sizeof(bits));
            D3D9SetRenderState(D3DRS_FOGDENSITY, bits);
        }
        return 1;
    }
    case kRenderStateCullMode:
        return SetStateIfChanged(e.cullMode, D3DRS_CULLMODE, v);
    case kRenderStateStencilEnable:
        return SetStateIfChanged(e.stencilEnable, D3DRS_STENCILENABLE, v);
    case kRenderStateStencilFail:
        return SetStateIfChanged(e.stencilFail, D3DRS_STENCILFAIL, v);
    case kRenderStateStencilZFail:
        return SetStateIfChanged(e.stencilZFail, D3DRS_STENCILZFAIL, v);
    case kRenderStateStencilPass:
        return SetStateIfChanged(e.stencilPass, D3DRS_STENCILPASS, v);
    case kRenderStateStencilFunction:
        return SetStateIfChanged(e.stencilFunction, D3DRS_STENCILFUNC, v);
    case kRenderStateStencilRef:
        return SetStateIfChanged(e.stencilRef, D3DRS_STENCILREF, v);
    case kRenderStateStencilMask:
        return SetStateIfChanged(e.stencilMask, D3DRS_STENCILMASK, v);
    case kRenderStateStencilWriteMask:
        return SetStateIfChanged(e.stencilWriteMask, D3DRS_STENCILWRITEMASK, v);
    case kRenderStateAlphaFunction:
        if (e.alphaFunction != v) {
            e.alphaFunction = v;
            e.alphaTest = v != D3DCMP_ALWAYS;
            D3D9SetRenderState(D3DRS_ALPHAFUNC, v);
            uint32_t blending = 0;
            D3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
            if (blending) {
                D3D9SetRenderState(D3DRS_ALPHATESTENABLE, e.alphaTest);
            }
        }
        return 1;
    case kRenderStateAlphaRef:
        D3D9SetRenderState(D3DRS_ALPHAREF, v);
        return 1;
    default:
        return 0;
    }
}

int32_t D3D9RenderStateGet(int32_t state, void* value)
{
    const D3D9EngineStates& e = Engine();
    switch (state) {
    case kRenderStateTextureRaster:
        *static_cast<Raster**>(value) = e.stages[0].raster;
        return 1;
    case kRenderStateTextureAddress:
        if (e.stages[0].addressU != e.stages[0].addressV) {
            StoreValue(value, 0);
            return 0;
        }
        StoreValue(value, e.stages[0].addressU);
        return 1;
    case kRenderStateTextureAddressU:
        StoreValue(value, e.stages[0].addressU);
        return 1;
    case kRenderStateTextureAddressV:
        StoreValue(value, e.stages[0].addressV);
        return 1;
    case kRenderStateZTestEnable:
        StoreValue(value, e.zTest);
        return 1;
    case kRenderStateShadeMode:
        StoreValue(value, e.shadeMode);
        return 1;
    case kRenderStateZWriteEnable:
        StoreValue(value, e.zWrite);
        return 1;
    case kRenderStateTextureFilter:
        StoreValue(value, e.stages[0].filterMode);
        return 1;
    case kRenderStateSrcBlend:
        StoreValue(value, e.srcBlend);
        return 1;
    case kRenderStateDestBlend:
        StoreValue(value, e.destBlend);
        return 1;
    case kRenderStateVertexAlphaEnable:
        StoreValue(value, e.vertexAlpha);
        return 1;
    case kRenderStateBorderColour:
        StoreValue(value, e.stages[0].borderColour);
        return 1;
    case kRenderStateFogEnable:
        StoreValue(value, e.fogEnable);
        return 1;
    case kRenderStateFogColour:
        StoreValue(value, e.fogColour);
        return 1;
    case kRenderStateFogType:
        StoreValue(value, e.fogType);
        return 1;
    case kRenderStateFogDensity:
        *static_cast<float*>(value) = e.fogDensity;
        return 1;
    case kRenderStateCullMode:
        StoreValue(value, e.cullMode);
        return 1;
    case kRenderStateStencilEnable:
        StoreValue(value, e.stencilEnable);
        return 1;
    case kRenderStateStencilFail:
        StoreValue(value, e.stencilFail);
        return 1;
    case kRenderStateStencilZFail:
        StoreValue(value, e.stencilZFail);
        return 1;
    case kRenderStateStencilPass:
        StoreValue(value, e.stencilPass);
        return 1;
    case kRenderStateStencilFunction:
        StoreValue(value, e.stencilFunction);
        return 1;
    case kRenderStateStencilRef:
        StoreValue(value, e.stencilRef);
        return 1;
    case kRenderStateStencilMask:
        StoreValue(value, e.stencilMask);
        return 1;
    case kRenderStateStencilWriteMask:
        StoreValue(value, e.stencilWriteMask);
        return 1;
    case kRenderStateAlphaFunction:
        StoreValue(value, e.alphaFunction);
        return 1;
    case kRenderStateAlphaRef: {
        uint32_t ref = 0;
        D3D9GetRenderState(D3DRS_ALPHAREF, &ref);
        StoreValue(value, ref);
        return 1;
    }
    default:
        return 0;
    }
}

int32_t D3D9SetTextureRaster(Raster* raster, uint32_t filterAddressing, uint32_t anisotropy, uint32_t stage)
{
    D3D9EngineStates& e = Engine();
    D3D9StageRecord& record = e.stages[stage];
    if (!raster) {
        if (stage == 0 && e.textureAlpha) {
            e.textureAlpha = 0;
            if (!e.vertexAlpha) {
                SetBlending(false);
            }
        }
        if (record.raster) {
            record.raster = nullptr;
            D3D9State().device->SetTexture(stage, nullptr);
        }
        return 1;
    }
    const uint32_t addressU = (filterAddressing >> 8) & 0xF;
    const uint32_t addressV = (filterAddressing >> 12) & 0xF;
    uint32_t filter = filterAddressing & 0xFF;
    if (addressU != record.addressU) {
        record.addressU = addressU;
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSU, addressU);
    }
    if (addressV != record.addressV) {
        record.addressV = addressV;
        D3D9SetSamplerState(stage, D3DSAMP_ADDRESSV, addressV);
    }
    if (anisotropy != 0) {
        if (anisotropy != record.maxAnisotropy) {
            record.maxAnisotropy = anisotropy;
            D3D9SetSamplerState(stage, D3DSAMP_MAXANISOTROPY, anisotropy);
        }
        if (anisotropy > 1) {
            filter += 7;
        }
    }
    if (filter != record.filterMode) {
        record.filterMode = filter;
        SendFilter(stage, filter);
    }
    return D3D9SetStageRaster(raster, stage);
}

int32_t D3D9SetTexture(const Texture* texture, uint32_t stage)
{
    if (!texture) {
        return D3D9SetTextureRaster(nullptr, 0, 0, stage);
    }
    const int32_t offset = D3D9State().anisotropyOffset;
    const uint32_t anisotropy = offset > 0 ? reinterpret_cast<const uint8_t*>(texture)[offset] : 0;
    if (!texture->raster) {
        return D3D9SetTextureRaster(nullptr, 0, 0, stage);
    }
    return D3D9SetTextureRaster(texture->raster, texture->filterAddressing, anisotropy, stage);
}

void D3D9SetTextureAnisotropyOffset(int32_t offset)
{
    D3D9State().anisotropyOffset = offset;
}

int32_t D3D9TextureHasAlpha(const Texture* texture)
{
    return texture && texture->raster ? D3D9RasterHasAlpha(D3D9RasterGetTop(texture->raster)) : 0;
}

Raster* D3D9GetTexture(uint32_t stage)
{
    return Engine().stages[stage].raster;
}

int32_t D3D9RasterHasAlpha(const Raster* raster)
{
    return raster ? D3D9RasterGetExtension(raster)->hasAlpha : 0;
}

int32_t D3D9SetStageRaster(Raster* raster, uint32_t stage)
{
    D3D9EngineStates& e = Engine();
    if (stage == 0) {
        if (D3D9RasterHasAlpha(raster)) {
            if (!e.textureAlpha) {
                e.textureAlpha = 1;
                if (!e.vertexAlpha) {
                    SetBlending(true);
                }
            }
        } else if (e.textureAlpha) {
            e.textureAlpha = 0;
            if (!e.vertexAlpha) {
                SetBlending(false);
            }
        }
    }
    D3D9StageRecord& record = e.stages[stage];
    if (raster == record.raster) {
        return 1;
    }
    record.raster = raster;
    IDirect3DDevice9* device = D3D9State().device;
    if (!raster) {
        device->SetTexture(stage, nullptr);
        return 1;
    }
    const D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    device->SetTexture(stage, dynamic_cast<IDirect3DBaseTexture9*>(body->object));
    if (body->palette) {
        uint32_t number;
        std::memcpy(&number, static_cast<const uint8_t*>(body->palette) + 1024, sizeof(number));
        device->SetCurrentTexturePalette(number);
    }
    return 1;
}

int32_t D3D9SetTextureFilter(uint32_t mode)
{
    D3D9StageRecord& record = Engine().stages[0];
    if (record.maxAnisotropy > 1) {
        record.maxAnisotropy = 1;
        D3D9SetSamplerState(0, D3DSAMP_MAXANISOTROPY, 1);
    }
    if (mode != record.filterMode) {
        record.filterMode = mode;
        SendFilter(0, mode);
    }
    return 1;
}

int32_t D3D9SetAddressU(uint32_t mode)
{
    return SetSamplerIfChanged(Engine().stages[0].addressU, D3DSAMP_ADDRESSU, mode);
}

int32_t D3D9SetAddressV(uint32_t mode)
{
    return SetSamplerIfChanged(Engine().stages[0].addressV, D3DSAMP_ADDRESSV, mode);
}

int32_t D3D9SetSrcBlend(uint32_t mode)
{
    return SetStateIfChanged(Engine().srcBlend, D3DRS_SRCBLEND, mode);
}

int32_t D3D9SetDestBlend(uint32_t mode)
{
    return SetStateIfChanged(Engine().destBlend, D3DRS_DESTBLEND, mode);
}

int32_t D3D9SetVertexAlphaEnable(uint32_t flag)
{
    D3D9EngineStates& e = Engine();
    const uint32_t on = flag != 0;
    if (e.vertexAlpha == on) {
        return 1;
    }
    e.vertexAlpha = on;
    if (!e.textureAlpha) {
        SetBlending(on != 0);
    }
    return 1;
}

uint32_t D3D9GetVertexAlphaEnable()
{
    return Engine().vertexAlpha;
}
