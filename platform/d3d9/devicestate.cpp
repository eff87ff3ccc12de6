// Device state: bindings of targets, textures, streams, declarations and
// shaders; transforms, viewport, material, lights, render, stage and
// sampler states, palettes and the scissor rectangle.
#include <cstring>

#include "platform/d3d9/device.h"

namespace d3d9sw {

// ---------------------------------------------------------------- bindings

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface)
{
    FlushDraws();
    if (index >= caps_.NumSimultaneousRTs || index >= 4)
        return D3DERR_INVALIDCALL;
    auto* s = static_cast<Surface*>(surface);
    if (index == 0 && !s)
        return D3DERR_INVALIDCALL;
    if (s && !(s->usage & D3DUSAGE_RENDERTARGET))
        return D3DERR_INVALIDCALL;
    HoldSurface(renderTargets_[index], s);
    if (index == 0) {
        // D3D9 resets the viewport and scissor to the new target.
        state_.viewport = {0, 0, s->width, s->height, 0.0f, 1.0f};
        state_.scissor = {0, 0, LONG(s->width), LONG(s->height)};
    }
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface)
{
    if (!surface || index >= 4)
        return D3DERR_INVALIDCALL;
    *surface = renderTargets_[index];
    if (!*surface)
        return D3DERR_NOTFOUND;
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface)
{
    FlushDraws();
    auto* s = static_cast<Surface*>(surface);
    if (s && !s->info.depth)
        return D3DERR_INVALIDCALL;
    HoldSurface(depthStencil_, s);
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** surface)
{
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = depthStencil_;
    if (!depthStencil_)
        return D3DERR_NOTFOUND;
    depthStencil_->AddRef();
    return D3D_OK;
}

HRESULT Device::BeginScene()
{
    if (inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    if (!inScene_)
        return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture)
{
    Record(D3D9Call::SetTexture, stage, texture);
    if (stage >= kMaxStages)
        return stage >= 256 ? D3D_OK : D3DERR_INVALIDCALL; // vertex samplers: ignored
    bool cube = false;
    if (texture && !TextureChain(texture, &cube))
        return D3DERR_INVALIDCALL;
    HoldRef(textures_[stage], texture);
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture)
{
    if (!texture || stage >= kMaxStages)
        return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (*texture)
        (*texture)->AddRef();
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride)
{
    RecordData(D3D9Call::SetStreamSource, &stride, sizeof stride, stream, buffer, offset);
    if (stream >= kMaxStreams)
        return D3DERR_INVALIDCALL;
    if (offset && !(caps_.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET))
        return D3DERR_INVALIDCALL;
    HoldRef(streams_[stream].buffer, static_cast<VertexBuffer*>(buffer));
    streams_[stream].offset = offset;
    streams_[stream].stride = stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride)
{
    if (stream >= kMaxStreams || !buffer || !offset || !stride)
        return D3DERR_INVALIDCALL;
    *buffer = streams_[stream].buffer;
    if (*buffer)
        (*buffer)->AddRef();
    *offset = streams_[stream].offset;
    *stride = streams_[stream].stride;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* buffer)
{
    Record(D3D9Call::SetIndices, buffer);
    HoldRef(indices_, static_cast<IndexBuffer*>(buffer));
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** buffer)
{
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = indices_;
    if (indices_)
        indices_->AddRef();
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    Record(D3D9Call::SetVertexDeclaration, declaration);
    HoldRef(declaration_, static_cast<VertexDeclaration*>(declaration));
    fvf_ = 0;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration)
{
    if (!declaration)
        return D3DERR_INVALIDCALL;
    *declaration = declaration_;
    if (declaration_)
        declaration_->AddRef();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf)
{
    Record(D3D9Call::SetFVF, fvf);
    std::vector<D3DVERTEXELEMENT9> elements;
    if (fvf != 0 && !ElementsFromFvf(fvf, &elements))
        return D3DERR_INVALIDCALL;
    HoldRef(declaration_, static_cast<VertexDeclaration*>(nullptr));
    fvf_ = fvf;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf)
{
    if (!fvf)
        return D3DERR_INVALIDCALL;
    *fvf = declaration_ ? declaration_->fvf : fvf_;
    return D3D_OK;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader)
{
    Record(D3D9Call::SetVertexShader, shader);
    HoldRef(vertexShader_, static_cast<VertexShader*>(shader));
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader)
{
    if (!shader)
        return D3DERR_INVALIDCALL;
    *shader = vertexShader_;
    if (vertexShader_)
        vertexShader_->AddRef();
    return D3D_OK;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader)
{
    Record(D3D9Call::SetPixelShader, shader);
    HoldRef(pixelShader_, static_cast<PixelShader*>(shader));
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader)
{
    if (!shader)
        return D3DERR_INVALIDCALL;
    *shader = pixelShader_;
    if (pixelShader_)
        pixelShader_->AddRef();
    return D3D_OK;
}

namespace {

HRESULT CopyConstants(float (*bank)[4], UINT size, UINT start, const float* data, UINT count, bool set)
{
    if (!data || start > size || count > size - start)
        return D3DERR_INVALIDCALL;
    if (set)
        std::memcpy(bank[start], data, size_t(count) * 16);
    else
        std::memcpy(const_cast<float*>(data), bank[start], size_t(count) * 16);
    return D3D_OK;
}

} // namespace

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* data, UINT count)
{
    return CopyConstants(state_.vsConstants, 256, start, data, count, true);
}
HRESULT Device::GetVertexShaderConstantF(UINT start, float* data, UINT count)
{
    return CopyConstants(state_.vsConstants, 256, start, data, count, false);
}
HRESULT Device::SetPixelShaderConstantF(UINT start, const float* data, UINT count)
{
    return CopyConstants(state_.psConstants, 32, start, data, count, true);
}
HRESULT Device::GetPixelShaderConstantF(UINT start, float* data, UINT count)
{
    return CopyConstants(state_.psConstants, 32, start, data, count, false);
}

// ---------------------------------------------------------------- fixed-function state

namespace {

D3DMATRIX* TransformSlot(DeviceState& s, D3DTRANSFORMSTATETYPE t)
{
    if (t == D3DTS_VIEW)
        return &s.view;
    if (t == D3DTS_PROJECTION)
        return &s.projection;
    if (t == D3DTS_WORLD)
        return &s.world;
    if (t >= D3DTS_TEXTURE0 && t <= D3DTS_TEXTURE7)
        return &s.texture[t - D3DTS_TEXTURE0];
    return nullptr;
}

} // namespace

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m)
{
    RecordData(D3D9Call::SetTransform, m, sizeof(D3DMATRIX), t);
    D3DMATRIX* slot = TransformSlot(state_, t);
    if (!m)
        return D3DERR_INVALIDCALL;
    if (!slot)
        return t >= D3DTS_WORLD1 && t <= 511 ? D3D_OK : D3DERR_INVALIDCALL; // extra blend matrices unused
    *slot = *m;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE t, D3DMATRIX* m)
{
    D3DMATRIX* slot = TransformSlot(state_, t);
    if (!m || !slot)
        return D3DERR_INVALIDCALL;
    *m = *slot;
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m)
{
    D3DMATRIX* slot = TransformSlot(state_, t);
    if (!m || !slot)
        return D3DERR_INVALIDCALL;
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r.m[i][j] += m->m[i][k] * slot->m[k][j];
    *slot = r;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* v)
{
    if (!v || v->Width == 0 || v->Height == 0)
        return D3DERR_INVALIDCALL;
    Surface* rt = renderTargets_[0];
    if (rt && (uint64_t(v->X) + v->Width > rt->width || uint64_t(v->Y) + v->Height > rt->height))
        return D3DERR_INVALIDCALL;
    if (!(v->MinZ >= 0.0f && v->MaxZ <= 1.0f && v->MinZ <= v->MaxZ))
        return D3DERR_INVALIDCALL;
    state_.viewport = *v;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* v)
{
    if (!v)
        return D3DERR_INVALIDCALL;
    *v = state_.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* m)
{
    RecordData(D3D9Call::SetMaterial, m, sizeof(D3DMATERIAL9));
    if (!m)
        return D3DERR_INVALIDCALL;
    state_.material = *m;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* m)
{
    if (!m)
        return D3DERR_INVALIDCALL;
    *m = state_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light)
{
    RecordData(D3D9Call::SetLight, light, sizeof(D3DLIGHT9), index);
    if (!light || index > 4095)
        return D3DERR_INVALIDCALL;
    if (light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL)
        return D3DERR_INVALIDCALL;
    if (light->Type != D3DLIGHT_DIRECTIONAL && light->Range < 0)
        return D3DERR_INVALIDCALL;
    if (state_.lights.size() <= index)
        state_.lights.resize(index + 1);
    if (state_.lightSet.size() <= index)
        state_.lightSet.resize(index + 1, false);
    state_.lights[index].light = *light;
    state_.lightSet[index] = true;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light)
{
    if (!light || index >= state_.lightSet.size() || !state_.lightSet[index])
        return D3DERR_INVALIDCALL;
    *light = state_.lights[index].light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable)
{
    Record(D3D9Call::LightEnable, index, enable);
    if (index > 4095)
        return D3DERR_INVALIDCALL;
    if (index >= state_.lightSet.size() || !state_.lightSet[index]) {
        // Enabling a light that was never set gives it the default light.
        D3DLIGHT9 def{};
        def.Type = D3DLIGHT_DIRECTIONAL;
        def.Diffuse = {1, 1, 1, 0};
        def.Direction = {0, 0, 1};
        SetLight(index, &def);
    }
    state_.lights[index].enabled = enable != 0;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable)
{
    if (!enable || index >= state_.lightSet.size() || !state_.lightSet[index])
        return D3DERR_INVALIDCALL;
    *enable = state_.lights[index].enabled ? 1 : 0;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane)
{
    if (!plane || index >= 6)
        return D3DERR_INVALIDCALL;
    std::memcpy(state_.clipPlanes[index], plane, 16);
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane)
{
    if (!plane || index >= 6)
        return D3DERR_INVALIDCALL;
    std::memcpy(plane, state_.clipPlanes[index], 16);
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    Record(D3D9Call::SetRenderState, state, value);
    if (state >= D3D9_RENDER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    state_.renderStates[state] = value;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    if (!value || state >= D3D9_RENDER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = state_.renderStates[state];
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* passes)
{
    if (!passes)
        return D3DERR_INVALIDCALL;
    *passes = 0;
    // A pixel shader replaces the stage operations; only they are checked.
    if (!pixelShader_) {
        DWORD stages = 0;
        DWORD textures = 0;
        for (int i = 0; i < kMaxStages; ++i) {
            const DWORD cop = state_.stageStates[i][D3DTSS_COLOROP];
            if (cop == D3DTOP_DISABLE)
                break;
            if (!OpSupported(cop))
                return D3DERR_UNSUPPORTEDCOLOROPERATION;
            if (!OpSupported(state_.stageStates[i][D3DTSS_ALPHAOP]))
                return D3DERR_UNSUPPORTEDALPHAOPERATION;
            ++stages;
            textures += textures_[i] != nullptr;
        }
        if (stages > caps_.MaxTextureBlendStages || textures > caps_.MaxSimultaneousTextures)
            return D3DERR_TOOMANYOPERATIONS;
    }
    *passes = 1;
    return D3D_OK;
}

bool Device::OpSupported(DWORD op) const
{
    // D3DTEXOPCAPS_x is bit (D3DTOP_x - 1), from DISABLE up to LERP.
    return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && (caps_.TextureOpCaps >> (op - 1) & 1);
}

HRESULT Device::SetPaletteEntries(UINT palette, const PALETTEENTRY* entries)
{
    FlushDraws();
    if (!entries || palette > 0xFFFF)
        return D3DERR_INVALIDCALL;
    auto& slot = palettes_[palette];
    for (int i = 0; i < 256; ++i)
        slot.first[i] = uint32_t(entries[i].peFlags) << 24 | uint32_t(entries[i].peRed) << 16 |
                        uint32_t(entries[i].peGreen) << 8 | entries[i].peBlue;
    slot.second = ++paletteStamp_;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT palette, PALETTEENTRY* entries)
{
    auto it = palettes_.find(palette);
    if (!entries || it == palettes_.end())
        return D3DERR_INVALIDCALL;
    for (int i = 0; i < 256; ++i) {
        uint32_t c = it->second.first[i];
        entries[i] = {BYTE(c >> 16), BYTE(c >> 8), BYTE(c), BYTE(c >> 24)};
    }
    return D3D_OK;
}

HRESULT Device::SetCurrentTexturePalette(UINT palette)
{
    if (palette > 0xFFFF)
        return D3DERR_INVALIDCALL;
    state_.currentPalette = palette;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* palette)
{
    if (!palette)
        return D3DERR_INVALIDCALL;
    *palette = state_.currentPalette;
    return D3D_OK;
}

const uint32_t* Device::PaletteWords(UINT palette, uint32_t* stamp) const
{
    auto it = palettes_.find(palette);
    if (it == palettes_.end()) {
        *stamp = 0;
        return nullptr;
    }
    *stamp = it->second.second;
    return it->second.first.data();
}

HRESULT Device::SetScissorRect(const RECT* rect)
{
    if (!rect)
        return D3DERR_INVALIDCALL;
    state_.scissor = *rect;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect)
{
    if (!rect)
        return D3DERR_INVALIDCALL;
    *rect = state_.scissor;
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    Record(D3D9Call::SetTextureStageState, stage, type, value);
    if (stage >= kMaxStages || type >= D3D9_STAGE_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    state_.stageStates[stage][type] = value;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value)
{
    if (!value || stage >= kMaxStages || type >= D3D9_STAGE_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = state_.stageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    Record(D3D9Call::SetSamplerState, sampler, type, value);
    if (type >= D3D9_SAMPLER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    if (sampler >= kMaxStages)
        return sampler >= 256 ? D3D_OK : D3DERR_INVALIDCALL;
    state_.samplerStates[sampler][type] = value;
    dirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    if (!value || sampler >= kMaxStages || type >= D3D9_SAMPLER_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    *value = state_.samplerStates[sampler][type];
    return D3D_OK;
}

} // namespace d3d9sw
