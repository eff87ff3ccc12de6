// The render-state, texture-stage-state and sampler-state caches with their
// queue and flush, and the binding caches (format, declaration, shaders,
// indices, streams, targets, material).

#include <cassert>
#include <cstring>

#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/rasterext.h"

namespace {

uint32_t StageIndex(uint32_t stage, uint32_t type)
{
    assert(stage < kD3D9Stages && type < kD3D9StageTypes);
    return stage * kD3D9StageTypes + type;
}

uint32_t SamplerIndex(uint32_t sampler, uint32_t type)
{
    assert(sampler < kD3D9Stages && type < kD3D9SamplerTypes);
    return sampler * kD3D9SamplerTypes + type;
}

/// Stores a wanted value; true when the entry must join its queue.
bool Want(D3D9DeferredState& entry, uint32_t value)
{
    if (value == entry.wanted && entry.known) {
        return false;
    }
    entry.wanted = value;
    if (entry.queued) {
        return false;
    }
    entry.queued = 1;
    return true;
}

/// Clears the flag and says whether the device must hear the wanted value.
bool TakeFromQueue(D3D9DeferredState& entry)
{
    entry.queued = 0;
    if (entry.known && entry.sent == entry.wanted) {
        return false;
    }
    entry.sent = entry.wanted;
    entry.known = 1;
    return true;
}

} // namespace

void D3D9StateCachesForget()
{
    D3D9DriverState& s = D3D9State();
    for (D3D9DeferredState& entry : s.renderStates) {
        entry = {};
    }
    for (D3D9DeferredState& entry : s.stageStates) {
        entry = {};
    }
    for (D3D9SamplerEntry& entry : s.samplerStates) {
        entry = {};
    }
    s.renderQueueCount = 0;
    s.stageQueueCount = 0;
    D3D9MaterialForget();
}

void D3D9SetRenderState(uint32_t state, uint32_t value)
{
    assert(state < kD3D9RenderStates);
    D3D9DriverState& s = D3D9State();
    if (Want(s.renderStates[state], value)) {
        s.renderQueue[s.renderQueueCount++] = state;
    }
}

void D3D9GetRenderState(uint32_t state, uint32_t* value)
{
    assert(state < kD3D9RenderStates);
    *value = D3D9State().renderStates[state].wanted;
}

void D3D9SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    D3D9DriverState& s = D3D9State();
    if (Want(s.stageStates[StageIndex(stage, type)], value)) {
        s.stageQueue[s.stageQueueCount++] = {uint16_t(stage), uint16_t(type)};
    }
}

void D3D9GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value)
{
    *value = D3D9State().stageStates[StageIndex(stage, type)].wanted;
}

void D3D9SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
    D3D9SamplerEntry& entry = D3D9State().samplerStates[SamplerIndex(sampler, type)];
    if (entry.known && entry.value == value) {
        return;
    }
    entry = {value, 1};
    D3D9State().device->SetSamplerState(sampler, D3DSAMPLERSTATETYPE(type), value);
}

void D3D9GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value)
{
    *value = D3D9State().samplerStates[SamplerIndex(sampler, type)].value;
}

void D3D9ForceRenderState(uint32_t state, uint32_t value)
{
    assert(state < kD3D9RenderStates);
    D3D9DeferredState& entry = D3D9State().renderStates[state];
    entry.wanted = entry.sent = value;
    entry.known = 1;
    D3D9State().device->SetRenderState(D3DRENDERSTATETYPE(state), value);
}

void D3D9ForceTextureStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    D3D9DeferredState& entry = D3D9State().stageStates[StageIndex(stage, type)];
    entry.wanted = entry.sent = value;
    entry.known = 1;
    D3D9State().device->SetTextureStageState(stage, D3DTEXTURESTAGESTATETYPE(type), value);
}

void D3D9ForceSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
    D3D9State().samplerStates[SamplerIndex(sampler, type)] = {value, 1};
    D3D9State().device->SetSamplerState(sampler, D3DSAMPLERSTATETYPE(type), value);
}

void D3D9RenderStateFlush()
{
    D3D9DriverState& s = D3D9State();
    for (uint32_t i = 0; i < s.renderQueueCount; ++i) {
        const uint32_t state = s.renderQueue[i];
        if (TakeFromQueue(s.renderStates[state])) {
            s.device->SetRenderState(D3DRENDERSTATETYPE(state), s.renderStates[state].wanted);
        }
    }
    s.renderQueueCount = 0;
    for (uint32_t i = 0; i < s.stageQueueCount; ++i) {
        const D3D9StageQueueEntry queued = s.stageQueue[i];
        D3D9DeferredState& entry = s.stageStates[StageIndex(queued.stage, queued.type)];
        if (TakeFromQueue(entry)) {
            s.device->SetTextureStageState(queued.stage, D3DTEXTURESTAGESTATETYPE(queued.type), entry.wanted);
        }
    }
    s.stageQueueCount = 0;
}

bool D3D9SetMaterial(const D3DMATERIAL9* material)
{
    D3D9DriverState& s = D3D9State();
    if (s.materialKnown && std::memcmp(&s.material, material, sizeof(D3DMATERIAL9)) == 0) {
        return true;
    }
    s.material = *material;
    s.materialKnown = 1;
    s.materialKeyKnown = 0;
    if (FAILED(s.device->SetMaterial(material))) {
        s.materialKnown = 0;
        return false;
    }
    return true;
}

bool D3D9SetClipPlane(uint32_t index, const float* plane)
{
    return SUCCEEDED(D3D9State().device->SetClipPlane(index, plane));
}

D3D9BindingCache* D3D9GetBindingCache()
{
    return &D3D9State().bindings;
}

void D3D9BindingsForget()
{
    D3D9BindingCache& b = D3D9State().bindings;
    b.fvf = b.declaration = b.vertexShader = b.pixelShader = b.indices = kD3D9CacheUnset;
    for (D3D9StreamBinding& stream : b.streams) {
        stream = {kD3D9CacheUnset, 0, 0};
    }
}

void D3D9TargetsForget()
{
    D3D9BindingCache& b = D3D9State().bindings;
    b.depthStencil = kD3D9CacheUnset;
    for (uintptr_t& target : b.renderTargets) {
        target = kD3D9CacheUnset;
    }
}

void D3D9SetFVF(uint32_t fvf)
{
    D3D9DriverState& s = D3D9State();
    if (s.bindings.fvf == fvf) {
        return;
    }
    s.bindings.fvf = SUCCEEDED(s.device->SetFVF(fvf)) ? fvf : kD3D9CacheUnset;
    s.bindings.declaration = kD3D9CacheUnset;
}

void D3D9SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration)
{
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(declaration);
    if (s.bindings.declaration == word) {
        return;
    }
    s.bindings.declaration = SUCCEEDED(s.device->SetVertexDeclaration(declaration)) ? word : kD3D9CacheUnset;
    s.bindings.fvf = kD3D9CacheUnset;
}

void D3D9SetVertexShader(IDirect3DVertexShader9* shader)
{
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(shader);
    if (s.bindings.vertexShader != word) {
        s.bindings.vertexShader = SUCCEEDED(s.device->SetVertexShader(shader)) ? word : kD3D9CacheUnset;
    }
}

void D3D9SetPixelShader(IDirect3DPixelShader9* shader)
{
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(shader);
    if (s.bindings.pixelShader != word) {
        s.bindings.pixelShader = SUCCEEDED(s.device->SetPixelShader(shader)) ? word : kD3D9CacheUnset;
    }
}

void D3D9SetIndices(IDirect3DIndexBuffer9* indices)
{
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(indices);
    if (s.bindings.indices != word) {
        s.bindings.indices = word;
        s.device->SetIndices(indices);
    }
}

void D3D9SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer, uint32_t offset, uint32_t stride)
{
    assert(stream < 4);
    D3D9StreamBinding& cached = D3D9State().bindings.streams[stream];
    const auto word = reinterpret_cast<uintptr_t>(buffer);
    if (cached.buffer == word && cached.offset == offset && cached.stride == stride) {
        return;
    }
    cached = {word, offset, stride};
    D3D9State().device->SetStreamSource(stream, buffer, offset, stride);
}

void D3D9SetStreams(const D3D9StreamRecord streams[2], bool useOffsets)
{
    D3D9BindingCache& b = D3D9State().bindings;
    for (uint32_t i = 0; i < 2; ++i) {
        if (streams[i].buffer) {
            D3D9SetStreamSource(i, streams[i].buffer, useOffsets ? streams[i].offset : 0, streams[i].stride);
        } else if (b.streams[i].buffer != 0) {
            D3D9SetStreamSource(i, nullptr, 0, 0);
        }
    }
}

void D3D9SetDepthStencilSurface(IDirect3DSurface9* surface)
{
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(surface);
    if (s.bindings.depthStencil != word) {
        s.bindings.depthStencil = word;
        s.device->SetDepthStencilSurface(surface);
    }
}

bool D3D9SetRenderTarget(uint32_t index, IDirect3DSurface9* surface)
{
    assert(index < 4);
    D3D9DriverState& s = D3D9State();
    const auto word = reinterpret_cast<uintptr_t>(surface);
    if (s.bindings.renderTargets[index] == word) {
        return true;
    }
    if (FAILED(s.device->SetRenderTarget(index, surface))) {
        s.bindings.renderTargets[index] = kD3D9CacheUnset;
        return false;
    }
    s.bindings.renderTargets[index] = word;
    return true;
}

IDirect3DSurface9* D3D9GetCurrentRenderTarget(uint32_t index)
{
    assert(index < 4);
    const uintptr_t word = D3D9State().bindings.renderTargets[index];
    return word == kD3D9CacheUnset ? nullptr : reinterpret_cast<IDirect3DSurface9*>(word);
}

bool D3D9SetRenderTargetRaster(uint32_t index, Raster* raster)
{
    if (!raster) {
        return D3D9SetRenderTarget(index, nullptr);
    }
    IDirect3DSurface9* surface = D3D9RasterGetSurface(raster);
    if (!surface) {
        return false;
    }
    const bool result = D3D9SetRenderTarget(index, surface);
    surface->Release();
    return result;
}
