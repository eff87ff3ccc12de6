#pragma once
// The engine's 30 numbered render states mapped onto the Direct3D 9 device,
// and the binding of engine textures and rasters to the eight texture
// stages. Alpha blending is on exactly when vertex alpha is on or the
// stage-0 raster has alpha; alpha testing only while blending is on and the
// alpha function is not "always".

#include <cstdint>

struct Raster;
struct Texture;

/// Engine render-state numbers.
enum D3D9EngineRenderState : int32_t
{
    kRenderStateTextureRaster = 1,
    kRenderStateTextureAddress = 2,
    kRenderStateTextureAddressU = 3,
    kRenderStateTextureAddressV = 4,
    kRenderStateTexturePerspective = 5,
    kRenderStateZTestEnable = 6,
    kRenderStateShadeMode = 7,
    kRenderStateZWriteEnable = 8,
    kRenderStateTextureFilter = 9,
    kRenderStateSrcBlend = 10,
    kRenderStateDestBlend = 11,
    kRenderStateVertexAlphaEnable = 12,
    kRenderStateBorderColour = 13,
    kRenderStateFogEnable = 14,
    kRenderStateFogColour = 15,
    kRenderStateFogType = 16,
    kRenderStateFogDensity = 17,
    kRenderStateCullMode = 20,
    kRenderStateStencilEnable = 21,
    kRenderStateStencilFail = 22,
    kRenderStateStencilZFail = 23,
    kRenderStateStencilPass = 24,
    kRenderStateStencilFunction = 25,
    kRenderStateStencilRef = 26,
    kRenderStateStencilMask = 27,
    kRenderStateStencilWriteMask = 28,
    kRenderStateAlphaFunction = 29,
    kRenderStateAlphaRef = 30,
};

/// The device record's set: `value` is the value itself, held in a pointer
/// (a raster for state 1, a float's address for state 17). 1, 0 for an
/// unhandled state.
int32_t D3D9RenderStateSet(int32_t state, void* value);
/// The device record's get: writes a uint32_t, a Raster* for state 1 and a
/// float for state 17. 1/0.
int32_t D3D9RenderStateGet(int32_t state, void* value);

/// Binds an engine texture's raster (or none for null) to a stage (< 8)
/// with the texture's filter, addressing and anisotropy; 1.
int32_t D3D9SetTexture(const Texture* texture, uint32_t stage);
/// Where a per-texture anisotropy byte lives inside Texture (0: none); set
/// by the plug-in that adds it.
void D3D9SetTextureAnisotropyOffset(int32_t offset);
/// The alpha flag of the texture's raster; 0 for a texture without raster.
int32_t D3D9TextureHasAlpha(const Texture* texture);
/// Binds a texture's raster to a stage (< 8) with the texture's
/// filter-and-addressing word (bits 0-7 filter mode, 8-11 address U, 12-15
/// address V) and anisotropy (0 or 1: none); a null raster unbinds. 1.
int32_t D3D9SetTextureRaster(Raster* raster, uint32_t filterAddressing, uint32_t anisotropy, uint32_t stage);
/// The raster bound to a stage.
Raster* D3D9GetTexture(uint32_t stage);
/// Binds a raster (or none) to a stage; 1.
int32_t D3D9SetStageRaster(Raster* raster, uint32_t stage);
/// Stage 0's filter mode (engine filter 0..6).
int32_t D3D9SetTextureFilter(uint32_t mode);
int32_t D3D9SetAddressU(uint32_t mode);
int32_t D3D9SetAddressV(uint32_t mode);
int32_t D3D9SetSrcBlend(uint32_t mode);
int32_t D3D9SetDestBlend(uint32_t mode);
int32_t D3D9SetVertexAlphaEnable(uint32_t flag);
uint32_t D3D9GetVertexAlphaEnable();
/// The alpha flag of a raster's device body; 0 for null.
int32_t D3D9RasterHasAlpha(const Raster* raster);
