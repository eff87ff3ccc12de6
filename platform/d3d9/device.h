// The device object: state, resource creation, presentation and draws.
#pragma once

#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/drawqueue.h"
#include "platform/d3d9/pipeline.h"
#include "platform/d3d9/resources.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>
#include <vector>

namespace d3d9sw {

class Direct3D;
class Device;
struct PrimitiveSetup;

// The Direct3D object seen from the device (direct3d.cpp).
void Direct3DAddRef(Direct3D* d3d);
void Direct3DRelease(Direct3D* d3d);
IDirect3D9* Direct3DInterface(Direct3D* d3d);
D3DDISPLAYMODE Direct3DDesktopMode(Direct3D* d3d, UINT adapter);

/// A back buffer with its window. The implicit one belongs to the device and
/// shares its reference count; additional ones are resources of their own.
class SwapChain final : public Object<IDirect3DSwapChain9>
{
  public:
    SwapChain(Device* device, bool implicit, const D3DPRESENT_PARAMETERS& params);
    ~SwapChain() override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Present(const RECT* src, const RECT* dst, HWND window, const void* dirty, DWORD flags) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
    HRESULT GetPresentParameters(D3DPRESENT_PARAMETERS* params) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;

    D3DPRESENT_PARAMETERS params;
    std::unique_ptr<Surface> backBuffer;

  private:
    Device* device_;
    bool implicit_;
    std::unique_ptr<ResourceLink> link_;
};

struct LightSlot
{
    D3DLIGHT9 light;
    bool enabled = false;
};

struct StreamBinding
{
    VertexBuffer* buffer = nullptr;
    UINT offset = 0, stride = 0;
};

/// The state that Reset returns to its defaults.
struct DeviceState
{
    DWORD renderStates[D3D9_RENDER_STATE_COUNT];
    DWORD stageStates[kMaxStages][D3D9_STAGE_STATE_COUNT];
    DWORD samplerStates[kMaxStages][D3D9_SAMPLER_STATE_COUNT];
    D3DMATRIX view, projection, world, texture[kMaxStages];
    D3DVIEWPORT9 viewport;
    D3DMATERIAL9 material;
    std::vector<LightSlot> lights;
    std::vector<bool> lightSet;
    float clipPlanes[6][4];
    RECT scissor;
    UINT currentPalette;
    float vsConstants[256][4];
    float psConstants[32][4];
};

class Device final : public Object<IDirect3DDevice9>
{
  public:
    Device(Direct3D* d3d, UINT adapter, HWND focus, DWORD behavior, const D3DCAPS9& caps, UINT textureMemory);
    /// Second phase of creation: the implicit swap chain and depth buffer.
    HRESULT Initialize(D3DPRESENT_PARAMETERS* params);

    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override { return textureMemory_; }
    HRESULT EvictManagedResources() override { return D3D_OK; }
    HRESULT GetDirect3D(IDirect3D9** d3d) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain9** chain) override;
    HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** chain) override;
    UINT GetNumberOfSwapChains() override { return 1; }
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* src, const RECT* dst, HWND window, const void* dirty) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** surface) override;
    HRESULT SetDialogBoxMode(BOOL) override { return D3D_OK; }

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                               DWORD quality, BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* shared) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                      DWORD quality, BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* shared) override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface, HANDLE* shared) override;

    HRESULT UpdateSurface(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst,
                          const POINT* dstPoint) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* src, IDirect3DBaseTexture9* dst) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dst) override;
    HRESULT StretchRect(IDirect3DSurface9* src, const RECT* srcRect, IDirect3DSurface9* dst,
                        const RECT* dstRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetClipPlane(DWORD index, const float* plane) override;
    HRESULT GetClipPlane(DWORD index, float* plane) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT ValidateDevice(DWORD* passes) override;
    HRESULT SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) override;
    HRESULT GetPaletteEntries(UINT palette, PALETTEENTRY* entries) override;
    HRESULT SetCurrentTexturePalette(UINT palette) override;
    HRESULT GetCurrentTexturePalette(UINT* palette) override;
    HRESULT SetScissorRect(const RECT* rect) override;
    HRESULT GetScissorRect(RECT* rect) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices,
                            UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices,
                                   UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                                   const void* vertices, UINT stride) override;

    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                    IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** declaration) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) override;
    HRESULT SetVertexShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT GetVertexShaderConstantF(UINT start, float* data, UINT count) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                            UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** buffer) override;
    HRESULT CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) override;
    HRESULT SetPixelShaderConstantF(UINT start, const float* data, UINT count) override;
    HRESULT GetPixelShaderConstantF(UINT start, float* data, UINT count) override;

    // Bookkeeping used by the resources.
    void ResourceAdded(bool blocksReset);
    void ResourceRemoved(bool blocksReset);
    /// The A8R8G8B8 words of a palette (256) and its change stamp; null for a
    /// palette that was never set.
    const uint32_t* PaletteWords(UINT palette, uint32_t* stamp) const;
    void ScriptCondition(D3D9Condition condition) { condition_ = condition; }
    void ScriptResetFailures(UINT count, HRESULT result)
    {
        resetFailures_ = count;
        resetFailResult_ = result;
    }
    UINT presentCount() const { return presentCount_; }
    void CallLogStart()
    {
        callLog_.clear();
        recording_ = true;
    }
    void CallLogStop() { recording_ = false; }
    const std::vector<D3D9CallRecord>& callLog() const { return callLog_; }
    const D3DCAPS9& caps() const { return caps_; }
    /// Shows a surface in a window, scaled to its client area (nothing for a
    /// null window), counts the frame and honours the unattended-run variables.
    HRESULT PresentSurface(Surface* surface, HWND window);
    /// Writes the kept frame to OLAI_SCREENSHOT when one is pending.
    void FlushScreenshot();
    /// Draws the queued draws (drawqueue.h). Called before anything reads
    /// or writes a surface, palette or shader that a queued draw may use,
    /// frees one, or changes the render target or depth buffer.
    void FlushDraws()
    {
        if (!queue_.Empty())
            queue_.Flush();
    }

  private:
    ~Device() override;
    template <typename A = uint64_t, typename B = uint64_t, typename C = uint64_t>
    void Record(D3D9Call call, A a = 0, B b = 0, C c = 0)
    {
        if (recording_)
            callLog_.push_back({call, Word(a), Word(b), Word(c), {}});
    }
    /// Records the call with the bytes it passed by pointer (at most the record's data).
    template <typename A = int, typename B = int, typename C = int>
    void RecordData(D3D9Call call, const void* bytes, size_t size, A a = 0, B b = 0, C c = 0)
    {
        if (!recording_)
            return;
        D3D9CallRecord record{call, Word(a), Word(b), Word(c), {}};
        if (bytes)
            std::memcpy(record.data.data(), bytes, std::min(size, sizeof record.data));
        callLog_.push_back(record);
    }
    template <typename T> static uint64_t Word(T value)
    {
        if constexpr (std::is_pointer_v<T>)
            return reinterpret_cast<uintptr_t>(value);
        else
            return uint64_t(value);
    }
    void SetDefaultState();
    void UnbindAll();
    HRESULT CreateImplicitTargets(D3DPRESENT_PARAMETERS* params);
    void DestroyIfUnused();
    void HoldSurface(Surface*& slot, Surface* value);
    // Drawing (draw.cpp).
    HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitiveCount, int baseVertex, UINT minIndex, UINT numVertices,
                 const void* indices, bool index32, const uint8_t* userVertices, UINT userStride);
    /// Each used stream's bytes at vertex `first` and its stride, for
    /// `numVertices` vertices; false when a stream is missing or too short.
    bool FindStreams(int64_t first, UINT numVertices, const uint8_t* userVertices, UINT userStride,
                     const uint8_t** base, UINT* strides) const;
    // Compiling the state for drawing, one state group each (drawcompile.cpp).
    bool CompileDraw();
    bool CompileInputLayout();
    void CompileVertexSide();
    void CompilePixelTests();
    void CompileFog();
    void CompileStages();
    void CompileSampler(int stage, StageConfig* config);
    void CompileClipRect();
    void CompilePixelShader();
    /// True when the caps' TextureOpCaps offer the texture-stage op.
    bool OpSupported(DWORD op) const;

    Direct3D* d3d_;
    UINT adapter_;
    HWND focus_;
    DWORD behavior_;
    D3DCAPS9 caps_;
    UINT textureMemory_;
    // Before the surfaces, which flush it as they go.
    DrawQueue queue_;
    std::unique_ptr<SwapChain> swapChain_;
    std::unique_ptr<Surface> autoDepth_;
    long resources_ = 0;
    long resetBlockers_ = 0;
    bool released_ = false;
    bool inScene_ = false;
    D3D9Condition condition_ = D3D9Condition::Operational;
    UINT resetFailures_ = 0;
    HRESULT resetFailResult_ = D3D_OK;
    UINT presentCount_ = 0;
    // The last presented frame, kept for OLAI_SCREENSHOT.
    std::vector<uint32_t> lastFrame_;
    UINT lastFrameWidth_ = 0, lastFrameHeight_ = 0;
    bool screenshotPending_ = false;
    // The tests' call log (D3D9CallLogStart).
    bool recording_ = false;
    std::vector<D3D9CallRecord> callLog_;

    DeviceState state_;
    Surface* renderTargets_[4] = {};
    Surface* depthStencil_ = nullptr;
    IDirect3DBaseTexture9* textures_[kMaxStages] = {};
    StreamBinding streams_[kMaxStreams];
    IndexBuffer* indices_ = nullptr;
    VertexDeclaration* declaration_ = nullptr;
    DWORD fvf_ = 0;
    VertexShader* vertexShader_ = nullptr;
    PixelShader* pixelShader_ = nullptr;
    std::map<UINT, std::pair<std::array<uint32_t, 256>, uint32_t>> palettes_;
    uint32_t paletteStamp_ = 0;

    // Compiled draw state, rebuilt when `dirty_` is set.
    bool dirty_ = true;
    InputLayout layout_;
    PixelState pixel_;
    VertexConfig vertex_;
    // One thread draws at once, from these.
    std::vector<float> vertexCache_;   ///< processed vertices, packed (VertexStore)
    std::vector<uint8_t> codes_;       ///< clip codes of vertexCache_
    std::vector<ScreenVertex> screen_; ///< screen positions of unclipped vertices
    std::vector<D3DVERTEXELEMENT9> fvfElements_;
    DWORD layoutFvf_ = ~0u;
    const VertexDeclaration* layoutDeclaration_ = nullptr;

    friend class SwapChain;
};

} // namespace d3d9sw
