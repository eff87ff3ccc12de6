// The software Direct3D-9-class device: reference-counted objects with the
// Direct3D 9 method names and argument shapes, answering the real HRESULT
// codes. Everything is drawn on the processor, single-threaded; Present shows
// the back buffer in the SDL2 window of platform/win32 (scaled to its client
// area) or nowhere when the device has no window.
//
// Conventions: row vectors (p' = p x M), clip space 0 <= z <= w, pixel
// centres on integer coordinates, top-left fill rule, D3DCOLOR = 0xAARRGGBB.
// Every lockable resource has a tight pitch (width x bytes per pixel; a row of
// 4x4 blocks for DXT formats).
//
// Unattended runs: OLAI_EXIT_AFTER_FRAMES=N -- after the N-th Present the
// device posts a quit (Win32PostQuit; Present itself returns D3D_OK), which a
// message loop honours by ending. OLAI_SCREENSHOT=path.png -- the last
// presented frame is written to that PNG when the N-th frame is presented and
// when the device is destroyed.
#pragma once

#include "platform/d3d9/d3d9types.h"

class IDirect3DDevice9;
class IDirect3DBaseTexture9;
class IDirect3DSurface9;

/// Reference counting shared by every object: AddRef answers the new count,
/// Release the remaining one (the object is destroyed at 0).
class IUnknown
{
  public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    virtual ~IUnknown() = default;
};

class IDirect3D9 : public IUnknown
{
  public:
    virtual UINT GetAdapterCount() = 0;
    virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER9* id) = 0;
    /// Modes of one adapter format (D3DFMT_X8R8G8B8, R5G6B5, A2R10G10B10 ...).
    virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) = 0;
    virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) = 0;
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) = 0;
    virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                    D3DFORMAT backBufferFormat, BOOL windowed) = 0;
    /// D3D_OK when `format` can be a resource of that type with that usage;
    /// D3DERR_NOTAVAILABLE otherwise.
    virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                      D3DRESOURCETYPE rtype, D3DFORMAT format) = 0;
    /// Only D3DMULTISAMPLE_NONE is supported (quality levels 1).
    virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL windowed,
                                               D3DMULTISAMPLE_TYPE ms, DWORD* qualityLevels) = 0;
    virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                           D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) = 0;
    /// Creates the device; the back buffer takes the window's client size when
    /// BackBufferWidth/Height are 0 (64 x 64 without a window).
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) = 0;
};

class IDirect3DResource9 : public IUnknown
{
  public:
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual D3DRESOURCETYPE GetType() = 0;
    virtual void PreLoad() = 0;
};

class IDirect3DSurface9 : public IDirect3DResource9
{
  public:
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
    /// rect null = the whole surface. D3DERR_INVALIDCALL when already locked,
    /// for a rectangle outside the surface, and for depth formats other than
    /// D16_LOCKABLE and D32F_LOCKABLE.
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;
};

class IDirect3DBaseTexture9 : public IDirect3DResource9
{
  public:
    virtual DWORD GetLevelCount() = 0;
    virtual DWORD SetLOD(DWORD lod) = 0;
    virtual DWORD GetLOD() = 0;
    virtual HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) = 0;
    virtual D3DTEXTUREFILTERTYPE GetAutoGenFilterType() = 0;
    /// Rebuilds levels 1.. from level 0 with a box filter.
    virtual void GenerateMipSubLevels() = 0;
};

class IDirect3DTexture9 : public IDirect3DBaseTexture9
{
  public:
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    /// The level's surface; it shares the texture's reference count.
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;
    virtual HRESULT AddDirtyRect(const RECT* rect) = 0;
};

class IDirect3DCubeTexture9 : public IDirect3DBaseTexture9
{
  public:
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                             DWORD flags) = 0;
    virtual HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) = 0;
    virtual HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* rect) = 0;
};

class IDirect3DVertexBuffer9 : public IDirect3DResource9
{
  public:
    /// size 0 = to the end; a range outside the buffer is D3DERR_INVALIDCALL.
    /// Locks nest (one Unlock each). Every draw is finished before its call
    /// returns, so DISCARD and NOOVERWRITE both hand out the buffer's own
    /// storage at once (the contents stay as they were).
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) = 0;
};

class IDirect3DIndexBuffer9 : public IDirect3DResource9
{
  public:
    virtual HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) = 0;
    virtual HRESULT Unlock() = 0;
    virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) = 0;
};

class IDirect3DSwapChain9 : public IUnknown
{
  public:
    virtual HRESULT Present(const RECT* src, const RECT* dst, HWND window, const void* dirty,
                            DWORD flags) = 0;
    virtual HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) = 0;
    virtual HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* params) = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

class IDirect3DVertexDeclaration9 : public IUnknown
{
  public:
    /// Copies the elements (with the end marker) when `elements` is not null;
    /// always answers their count.
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

class IDirect3DVertexShader9 : public IUnknown
{
  public:
    /// The token stream in bytes (size only when data is null).
    virtual HRESULT GetFunction(void* data, UINT* size) = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

class IDirect3DPixelShader9 : public IUnknown
{
  public:
    virtual HRESULT GetFunction(void* data, UINT* size) = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

class IDirect3DDevice9 : public IUnknown
{
  public:
    // Device state and presentation.
    virtual HRESULT TestCooperativeLevel() = 0;
    virtual UINT GetAvailableTextureMem() = 0;
    virtual HRESULT EvictManagedResources() = 0;
    virtual HRESULT GetDirect3D(IDirect3D9** d3d) = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) = 0;
    virtual HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) = 0;
    virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) = 0;
    virtual HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain9** chain) = 0;
    virtual HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** chain) = 0;
    virtual UINT GetNumberOfSwapChains() = 0;
    /// Fails with D3DERR_INVALIDCALL while default-pool resources or
    /// additional swap chains are alive; on success every state is back to its
    /// default and the device is operational.
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* params) = 0;
    virtual HRESULT Present(const RECT* src, const RECT* dst, HWND window, const void* dirty) = 0;
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** surface) = 0;
    virtual HRESULT SetDialogBoxMode(BOOL enable) = 0;

    // Resource creation. `shared` must be null.
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) = 0;
    virtual HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DCubeTexture9** texture, HANDLE* shared) = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** buffer, HANDLE* shared) = 0;
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** buffer, HANDLE* shared) = 0;
    virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                       DWORD quality, BOOL lockable, IDirect3DSurface9** surface,
                                       HANDLE* shared) = 0;
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE ms, DWORD quality, BOOL discard,
                                              IDirect3DSurface9** surface, HANDLE* shared) = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                IDirect3DSurface9** surface, HANDLE* shared) = 0;

    // Surface operations.
    /// Copies a system-memory surface into a default-pool one of the same format.
    virtual HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst,
                                  const POINT* dstPoint) = 0;
    virtual HRESULT UpdateTexture(IDirect3DBaseTexture9* src, IDirect3DBaseTexture9* dst) = 0;
    /// Copies a render target into a system-memory surface of equal size/format.
    virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dst) = 0;
    /// Scaled copy with D3DTEXF_NONE/POINT (nearest) or LINEAR filtering.
    virtual HRESULT StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst,
                                const RECT* dstRect, D3DTEXTUREFILTERTYPE filter) = 0;
    virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) = 0;
    virtual HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) = 0;
    virtual HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) = 0;
    virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) = 0;
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) = 0;

    // Scenes and clearing.
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    /// Clears the viewport (or each rectangle, clipped to it) to colour, z in
    /// [0, 1] and stencil, by D3DCLEAR_* flags.
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;

    // Fixed-function state.
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
    virtual HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL9* material) = 0;
    virtual HRESULT GetMaterial(D3DMATERIAL9* material) = 0;
    virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) = 0;
    virtual HRESULT GetLight(DWORD index, D3DLIGHT9* light) = 0;
    virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
    virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) = 0;
    virtual HRESULT SetClipPlane(DWORD index, const float* plane) = 0;
    virtual HRESULT GetClipPlane(DWORD index, float* plane) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    /// D3D_OK with one pass when the current stage setup can be drawn:
    /// D3DERR_UNSUPPORTEDCOLOROPERATION / ALPHAOPERATION for an op outside
    /// the caps' TextureOpCaps, D3DERR_TOOMANYOPERATIONS for more stages than
    /// MaxTextureBlendStages or more textures than MaxSimultaneousTextures.
    virtual HRESULT ValidateDevice(DWORD* passes) = 0;
    virtual HRESULT SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) = 0;
    virtual HRESULT GetPaletteEntries(UINT palette, PALETTEENTRY* entries) = 0;
    virtual HRESULT SetCurrentTexturePalette(UINT palette) = 0;
    virtual HRESULT GetCurrentTexturePalette(UINT* palette) = 0;
    virtual HRESULT SetScissorRect(const RECT* rect) = 0;
    virtual HRESULT GetScissorRect(RECT* rect) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;

    // Drawing.
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                                         UINT numVertices, UINT startIndex, UINT primitiveCount) = 0;
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                                    UINT stride) = 0;
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                           UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                           const void* vertices, UINT stride) = 0;

    // Vertex input and shaders.
    virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                            IDirect3DVertexDeclaration9** declaration) = 0;
    virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) = 0;
    virtual HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) = 0;
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT GetFVF(DWORD* fvf) = 0;
    virtual HRESULT CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader) = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) = 0;
    virtual HRESULT GetVertexShader(IDirect3DVertexShader9** shader) = 0;
    virtual HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) = 0;
    virtual HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count) = 0;
    virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset,
                                    UINT stride) = 0;
    virtual HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                    UINT* stride) = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) = 0;
    virtual HRESULT GetIndices(IDirect3DIndexBuffer9** buffer) = 0;
    virtual HRESULT CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader) = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) = 0;
    virtual HRESULT GetPixelShader(IDirect3DPixelShader9** shader) = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) = 0;
    virtual HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) = 0;
};

/// Creates the Direct3D object (any SDK version is accepted); null when the
/// configured adapter list is empty.
IDirect3D9* Direct3DCreate9(UINT sdkVersion);
