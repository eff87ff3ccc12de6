#pragma once
// State caches of the Direct3D 9 device. Every state change goes through
// them so that a value the device already holds is never sent again. Render
// and texture-stage states are queued and sent by D3D9RenderStateFlush,
// which every draw call runs first; sampler states, bindings, targets and
// the material are sent at once but skipped when unchanged. Numbers are the
// Direct3D 9 ones (render state < 210, stage < 8, stage type < 33, sampler
// type < 14; asserted).

#include <cstdint>

#include "platform/d3d9/d3d9.h"

struct Raster;

/// Marker of a binding whose device value is not known.
constexpr uintptr_t kD3D9CacheUnset = ~uintptr_t(0);

/// Bindings the renderers compare with before binding themselves; each word
/// holds an interface pointer (or the FVF) or kD3D9CacheUnset.
struct D3D9StreamBinding
{
    uintptr_t buffer;
    uint32_t offset;
    uint32_t stride;
};
struct D3D9BindingCache
{
    uintptr_t fvf;
    uintptr_t declaration;
    uintptr_t vertexShader;
    uintptr_t pixelShader;
    uintptr_t indices;
    D3D9StreamBinding streams[4];
    uintptr_t depthStencil;     ///< a surface, 0 for none, or unset
    uintptr_t renderTargets[4]; ///< the same
};
/// The cache the renderers read and update.
D3D9BindingCache* D3D9GetBindingCache();

/// Queues a render state when it differs from the wanted value.
void D3D9SetRenderState(uint32_t state, uint32_t value);
void D3D9GetRenderState(uint32_t state, uint32_t* value);
void D3D9SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
void D3D9GetTextureStageState(uint32_t stage, uint32_t type, uint32_t* value);
/// Sent at once when it differs from the cache.
void D3D9SetSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
void D3D9GetSamplerState(uint32_t sampler, uint32_t type, uint32_t* value);
/// Stored as wanted and sent, and sent at once.
void D3D9ForceRenderState(uint32_t state, uint32_t value);
void D3D9ForceTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
void D3D9ForceSamplerState(uint32_t sampler, uint32_t type, uint32_t value);
/// Sends the queued render states, then the queued texture-stage states.
void D3D9RenderStateFlush();

/// True when unchanged or the device accepted it.
bool D3D9SetMaterial(const D3DMATERIAL9* material);
bool D3D9SetClipPlane(uint32_t index, const float* plane);
void D3D9SetFVF(uint32_t fvf);
void D3D9SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration);
void D3D9SetVertexShader(IDirect3DVertexShader9* shader);
void D3D9SetPixelShader(IDirect3DPixelShader9* shader);
void D3D9SetIndices(IDirect3DIndexBuffer9* indices);
void D3D9SetStreamSource(uint32_t stream, IDirect3DVertexBuffer9* buffer, uint32_t offset, uint32_t stride);
/// One vertex stream of an instanced-data record.
struct D3D9StreamRecord
{
    IDirect3DVertexBuffer9* buffer;
    uint32_t offset;
    uint32_t stride;
};
/// Streams 0 and 1 from two records; offsets used only when `useOffsets`.
void D3D9SetStreams(const D3D9StreamRecord streams[2], bool useOffsets);
void D3D9SetDepthStencilSurface(IDirect3DSurface9* surface);
/// Index 0..3; true when unchanged or accepted.
bool D3D9SetRenderTarget(uint32_t index, IDirect3DSurface9* surface);
/// The cached surface of a target (null when none or unknown).
IDirect3DSurface9* D3D9GetCurrentRenderTarget(uint32_t index);
/// Level 0 (or the cube face) of the raster's texture as render target; null
/// sets none. False when the raster has no such surface or the device refuses.
bool D3D9SetRenderTargetRaster(uint32_t index, Raster* raster);
/// Forgets bindings, transforms and lights before the caller uses the device
/// directly; the device.
IDirect3DDevice9* D3D9ResetDeviceCache();
/// The initial states at device start; the engine's states again after a reset.
void D3D9RenderStateInit();
void D3D9RenderStateRestore();
