// Device creation, lifetime, reset and state setters.
#include "platform/d3d9/device.h"

#include <algorithm>
#include <cstring>

namespace d3d9sw {
namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

DWORD FloatBits(float f)
{
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

} // namespace

// ---------------------------------------------------------------- swap chains

SwapChain::SwapChain(Device* device, bool implicit, const D3DPRESENT_PARAMETERS& p)
    : params(p), device_(device), implicit_(implicit)
{
    if (!implicit)
        link_ = std::make_unique<ResourceLink>(device, true);
    backBuffer = std::make_unique<Surface>(device, implicit ? static_cast<IUnknown*>(device) : this,
                                           p.BackBufferFormat, p.BackBufferWidth, p.BackBufferHeight,
                                           D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
}

SwapChain::~SwapChain()
{
    device_->FlushDraws(); // a queued draw may draw into the back buffer
}

ULONG SwapChain::AddRef()
{
    return implicit_ ? device_->AddRef() : Object::AddRef();
}

ULONG SwapChain::Release()
{
    return implicit_ ? device_->Release() : Object::Release();
}

HRESULT SwapChain::Present(const RECT*, const RECT*, HWND window, const void*, DWORD)
{
    return device_->PresentSurface(backBuffer.get(), window ? window : params.hDeviceWindow);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** surface)
{
    if (!surface || index != 0)
        return D3DERR_INVALIDCALL;
    *surface = backBuffer.get();
    backBuffer->AddRef();
    return D3D_OK;
}

HRESULT SwapChain::GetPresentParameters(D3DPRESENT_PARAMETERS* out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = params;
    return D3D_OK;
}

HRESULT SwapChain::GetDevice(IDirect3DDevice9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    device_->AddRef();
    *out = device_;
    return D3D_OK;
}

// ---------------------------------------------------------------- lifetime

Device::Device(Direct3D* d3d, UINT adapter, HWND focus, DWORD behavior, const D3DCAPS9& caps,
               UINT textureMemory)
    : d3d_(d3d), adapter_(adapter), focus_(focus), behavior_(behavior), caps_(caps),
      textureMemory_(textureMemory)
{
    Direct3DAddRef(d3d_);
    SetDefaultState();
}

Device::~Device()
{
    FlushDraws();
    swapChain_.reset();
    autoDepth_.reset();
    Direct3DRelease(d3d_);
}

ULONG Device::Release()
{
    // The device lives on while resources made from it exist: they point at it.
    ULONG left = Object::RefCount() - 1;
    if (left > 0)
        return Object::Release();
    if (!released_) {
        FlushDraws();
        FlushScreenshot();
        UnbindAll();
        // Only now: unbinding may release the last resources, which must not
        // destroy the device while it is still unbinding.
        released_ = true;
    }
    if (resources_ == 0)
        return Object::Release();
    return 0;
}

void Device::ResourceAdded(bool blocksReset)
{
    ++resources_;
    if (blocksReset)
        ++resetBlockers_;
}

void Device::ResourceRemoved(bool blocksReset)
{
    --resources_;
    if (blocksReset)
        --resetBlockers_;
    if (released_ && resources_ == 0)
        Object::Release();
}

void Device::HoldSurface(Surface*& slot, Surface* value)
{
    // Surfaces of the device itself share its count: holding them would keep
    // the device alive forever.
    auto isOwn = [this](Surface* s) { return s && s->owner == static_cast<IUnknown*>(this); };
    if (value && !isOwn(value))
        value->AddRef();
    if (slot && !isOwn(slot))
        slot->Release();
    slot = value;
}

void Device::UnbindAll()
{
    for (auto& rt : renderTargets_)
        HoldSurface(rt, nullptr);
    HoldSurface(depthStencil_, nullptr);
    for (auto& t : textures_)
        HoldRef(t, static_cast<IDirect3DBaseTexture9*>(nullptr));
    for (auto& s : streams_) {
        HoldRef(s.buffer, static_cast<VertexBuffer*>(nullptr));
        s = {};
    }
    HoldRef(indices_, static_cast<IndexBuffer*>(nullptr));
    HoldRef(declaration_, static_cast<VertexDeclaration*>(nullptr));
    HoldRef(vertexShader_, static_cast<VertexShader*>(nullptr));
    HoldRef(pixelShader_, static_cast<PixelShader*>(nullptr));
    fvf_ = 0;
    dirty_ = true;
}

void Device::SetDefaultState()
{
    DeviceState& s = state_;
    std::memset(s.renderStates, 0, sizeof(s.renderStates));
    DWORD* rs = s.renderStates;
    rs[D3DRS_ZENABLE] = D3DZB_FALSE; // set to TRUE below when there is an automatic depth buffer
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_LASTPIXEL] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = FloatBits(0.0f);
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = 1;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORVERTEX] = 1;
    rs[D3DRS_LOCALVIEWER] = 1;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_POINTSIZE] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatBits(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = FloatBits(64.0f);
    rs[D3DRS_POINTSCALE_A] = FloatBits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = 1;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_CCW_STENCILFAIL] = rs[D3DRS_CCW_STENCILZFAIL] = rs[D3DRS_CCW_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_CCW_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (int i = 0; i < kMaxStages; ++i) {
        DWORD* t = s.stageStates[i];
        std::memset(t, 0, sizeof(s.stageStates[i]));
        t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = DWORD(i);
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        DWORD* sm = s.samplerStates[i];
        std::memset(sm, 0, sizeof(s.samplerStates[i]));
        sm[D3DSAMP_ADDRESSU] = sm[D3DSAMP_ADDRESSV] = sm[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        sm[D3DSAMP_MAGFILTER] = sm[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sm[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        sm[D3DSAMP_MAXANISOTROPY] = 1;
        s.texture[i] = kIdentity;
    }
    s.view = s.projection = s.world = kIdentity;
    D3DMATERIAL9 m{};
    s.material = m;
    s.lights.clear();
    std::memset(s.clipPlanes, 0, sizeof(s.clipPlanes));
    s.scissor = {0, 0, 0, 0};
    s.currentPalette = 0xFFFF;
    std::memset(s.vsConstants, 0, sizeof(s.vsConstants));
    std::memset(s.psConstants, 0, sizeof(s.psConstants));
    s.viewport = {0, 0, 0, 0, 0.0f, 1.0f};
    dirty_ = true;
}

HRESULT Device::CreateImplicitTargets(D3DPRESENT_PARAMETERS* p)
{
    if (p->BackBufferCount > 1 || p->MultiSampleType != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    HWND window = p->hDeviceWindow ? p->hDeviceWindow : focus_;
    if (p->BackBufferWidth == 0 || p->BackBufferHeight == 0) {
        RECT client{0, 0, 64, 64};
        if (window)
            GetClientRect(window, &client);
        if (p->BackBufferWidth == 0)
            p->BackBufferWidth = UINT(std::max<LONG>(1, client.right - client.left));
        if (p->BackBufferHeight == 0)
            p->BackBufferHeight = UINT(std::max<LONG>(1, client.bottom - client.top));
    }
    if (p->BackBufferWidth > 16384 || p->BackBufferHeight > 16384)
        return D3DERR_INVALIDCALL;
    if (p->BackBufferFormat == D3DFMT_UNKNOWN) {
        if (!p->Windowed)
            return D3DERR_INVALIDCALL;
        p->BackBufferFormat = Direct3DDesktopMode(d3d_, adapter_).Format;
    }
    if (!FormatIsRenderTarget(p->BackBufferFormat))
        return D3DERR_INVALIDCALL;
    if (p->EnableAutoDepthStencil && !FormatGetInfo(p->AutoDepthStencilFormat).depth)
        return D3DERR_INVALIDCALL;
    if (p->BackBufferCount == 0)
        p->BackBufferCount = 1;
    D3DPRESENT_PARAMETERS chainParams = *p;
    chainParams.hDeviceWindow = window;
    swapChain_ = std::make_unique<SwapChain>(this, true, chainParams);
    if (p->EnableAutoDepthStencil)
        autoDepth_ = std::make_unique<Surface>(this, this, p->AutoDepthStencilFormat, p->BackBufferWidth,
                                               p->BackBufferHeight, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
    else
        autoDepth_.reset();
    SetDefaultState();
    state_.renderStates[D3DRS_ZENABLE] = autoDepth_ ? D3DZB_TRUE : D3DZB_FALSE;
    state_.viewport = {0, 0, p->BackBufferWidth, p->BackBufferHeight, 0.0f, 1.0f};
    state_.scissor = {0, 0, LONG(p->BackBufferWidth), LONG(p->BackBufferHeight)};
    HoldSurface(renderTargets_[0], swapChain_->backBuffer.get());
    HoldSurface(depthStencil_, autoDepth_.get());
    return D3D_OK;
}

HRESULT Device::Initialize(D3DPRESENT_PARAMETERS* params)
{
    return CreateImplicitTargets(params);
}

HRESULT Device::TestCooperativeLevel()
{
    switch (condition_) {
    case D3D9Condition::Lost:
        return D3DERR_DEVICELOST;
    case D3D9Condition::NotReset:
        return D3DERR_DEVICENOTRESET;
    default:
        return D3D_OK;
    }
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* params)
{
    if (!params)
        return D3DERR_INVALIDCALL;
    FlushDraws();
    if (condition_ == D3D9Condition::Lost)
        return D3DERR_DEVICELOST;
    UnbindAll();
    inScene_ = false;
    if (resetFailures_ > 0) {
        --resetFailures_;
        condition_ = D3D9Condition::NotReset;
        return resetFailResult_;
    }
    if (resetBlockers_ > 0) {
        // Default-pool resources survive nothing: the caller must release them.
        condition_ = D3D9Condition::NotReset;
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS copy = *params;
    HRESULT hr = CreateImplicitTargets(&copy);
    if (FAILED(hr)) {
        condition_ = D3D9Condition::NotReset;
        return hr;
    }
    *params = copy;
    condition_ = D3D9Condition::Operational;
    return D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    Direct3DAddRef(d3d_);
    *out = Direct3DInterface(d3d_);
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = caps_;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT chain, D3DDISPLAYMODE* mode)
{
    if (!mode || chain != 0)
        return D3DERR_INVALIDCALL;
    *mode = Direct3DDesktopMode(d3d_, adapter_);
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = {adapter_, D3DDEVTYPE_HAL, focus_, behavior_};
    return D3D_OK;
}

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain9** chain)
{
    if (!params || !chain)
        return D3DERR_INVALIDCALL;
    *chain = nullptr;
    D3DPRESENT_PARAMETERS p = *params;
    HWND window = p.hDeviceWindow ? p.hDeviceWindow : focus_;
    if (p.BackBufferWidth == 0 || p.BackBufferHeight == 0) {
        RECT client{0, 0, 64, 64};
        if (window)
            GetClientRect(window, &client);
        if (p.BackBufferWidth == 0)
            p.BackBufferWidth = UINT(std::max<LONG>(1, client.right));
        if (p.BackBufferHeight == 0)
            p.BackBufferHeight = UINT(std::max<LONG>(1, client.bottom));
    }
    if (p.BackBufferFormat == D3DFMT_UNKNOWN)
        p.BackBufferFormat = swapChain_->params.BackBufferFormat;
    if (!FormatIsRenderTarget(p.BackBufferFormat) || p.BackBufferWidth > 16384 || p.BackBufferHeight > 16384)
        return D3DERR_INVALIDCALL;
    p.hDeviceWindow = window;
    *chain = new SwapChain(this, false, p);
    *params = p;
    return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** chain)
{
    if (!chain || index != 0)
        return D3DERR_INVALIDCALL;
    *chain = swapChain_.get();
    swapChain_->AddRef();
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND window, const void*)
{
    FlushDraws();
    if (condition_ == D3D9Condition::Lost)
        return D3DERR_DEVICELOST;
    if (condition_ == D3D9Condition::NotReset)
        return D3DERR_DEVICELOST;
    return PresentSurface(swapChain_->backBuffer.get(), window ? window : swapChain_->params.hDeviceWindow);
}

HRESULT Device::GetBackBuffer(UINT chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface)
{
    if (chain != 0)
        return D3DERR_INVALIDCALL;
    return swapChain_->GetBackBuffer(index, type, surface);
}

// ---------------------------------------------------------------- creation

namespace {

bool ValidPool(D3DPOOL pool)
{
    return pool <= D3DPOOL_SCRATCH;
}

} // namespace

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared)
{
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (shared || width == 0 || height == 0 || !ValidPool(pool))
        return D3DERR_INVALIDCALL;
    if (width > caps_.MaxTextureWidth || height > caps_.MaxTextureHeight)
        return D3DERR_INVALIDCALL;
    D3DFORMAT mode = Direct3DDesktopMode(d3d_, adapter_).Format;
    HRESULT check = Direct3DInterface(d3d_)->CheckDeviceFormat(
        adapter_, D3DDEVTYPE_HAL, mode, usage & ~D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, format);
    if (FAILED(check))
        return D3DERR_INVALIDCALL;
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) && pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_AUTOGENMIPMAP) && levels > 1)
        return D3DERR_INVALIDCALL;
    *texture = new Texture(this, width, height, levels, usage, format, pool);
    return check;
}

HRESULT Device::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DCubeTexture9** texture, HANDLE* shared)
{
    if (!texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (shared || edge == 0 || !ValidPool(pool) || edge > caps_.MaxTextureWidth)
        return D3DERR_INVALIDCALL;
    if (!(caps_.TextureCaps & D3DPTEXTURECAPS_CUBEMAP))
        return D3DERR_INVALIDCALL;
    D3DFORMAT mode = Direct3DDesktopMode(d3d_, adapter_).Format;
    HRESULT check = Direct3DInterface(d3d_)->CheckDeviceFormat(
        adapter_, D3DDEVTYPE_HAL, mode, usage & ~D3DUSAGE_DYNAMIC, D3DRTYPE_CUBETEXTURE, format);
    if (FAILED(check))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    *texture = new CubeTexture(this, edge, levels, usage, format, pool);
    return check;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** buffer, HANDLE* shared)
{
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || !ValidPool(pool))
        return D3DERR_INVALIDCALL;
    *buffer = new VertexBuffer(this, length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** buffer, HANDLE* shared)
{
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (shared || length == 0 || !ValidPool(pool))
        return D3DERR_INVALIDCALL;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    *buffer = new IndexBuffer(this, length, usage, format, pool);
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms, DWORD,
                                   BOOL, IDirect3DSurface9** surface, HANDLE* shared)
{
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0 || width > 16384 || height > 16384)
        return D3DERR_INVALIDCALL;
    if (!FormatIsRenderTarget(format) || ms != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(this, nullptr, format, width, height, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT);
    return D3D_OK;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                          DWORD, BOOL, IDirect3DSurface9** surface, HANDLE* shared)
{
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0 || width > 16384 || height > 16384)
        return D3DERR_INVALIDCALL;
    if (!FormatGetInfo(format).depth || ms != D3DMULTISAMPLE_NONE)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(this, nullptr, format, width, height, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT);
    return D3D_OK;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface, HANDLE* shared)
{
    if (!surface)
        return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared || width == 0 || height == 0 || width > 16384 || height > 16384)
        return D3DERR_INVALIDCALL;
    if (pool == D3DPOOL_MANAGED || !ValidPool(pool))
        return D3DERR_INVALIDCALL;
    FormatInfo info = FormatGetInfo(format);
    if (info.bytesPerPixel == 0 || info.depth)
        return D3DERR_INVALIDCALL;
    *surface = new Surface(this, nullptr, format, width, height, 0, pool);
    return D3D_OK;
}

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!elements)
        return D3DERR_INVALIDCALL;
    size_t count = 0;
    while (elements[count].Stream != 0xFF) {
        const D3DVERTEXELEMENT9& e = elements[count];
        if (e.Stream >= kMaxStreams || DeclTypeSize(e.Type) == 0 || e.Usage > D3DDECLUSAGE_SAMPLE)
            return D3DERR_INVALIDCALL;
        if (++count > 64)
            return D3DERR_INVALIDCALL;
    }
    *out = new VertexDeclaration(this, elements, UINT(count + 1), 0);
    return D3D_OK;
}

namespace {

// Decodes a token stream of the wanted kind; null when it is malformed,
// unsupported or of the other kind.
ShaderProgram* DecodeShader(const DWORD* tokens, bool pixel)
{
    if (!tokens)
        return nullptr;
    size_t count = ShaderTokensLength(tokens, 1u << 16);
    ShaderProgram* program = count ? ShaderProgramCreate(tokens, count, nullptr) : nullptr;
    if (program && ShaderProgramIsPixel(program) != pixel) {
        ShaderProgramDestroy(program);
        program = nullptr;
    }
    return program;
}

} // namespace

HRESULT Device::CreateVertexShader(const DWORD* tokens, IDirect3DVertexShader9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    ShaderProgram* program = DecodeShader(tokens, false);
    if (!program)
        return D3DERR_INVALIDCALL;
    *out = new VertexShader(this, program);
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* tokens, IDirect3DPixelShader9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = nullptr;
    ShaderProgram* program = DecodeShader(tokens, true);
    if (!program)
        return D3DERR_INVALIDCALL;
    *out = new PixelShader(this, program);
    return D3D_OK;
}

} // namespace d3d9sw

// ---------------------------------------------------------------- controls

void D3D9ScriptCondition(IDirect3DDevice9* device, D3D9Condition condition)
{
    if (device)
        static_cast<d3d9sw::Device*>(device)->ScriptCondition(condition);
}

void D3D9ScriptResetFailures(IDirect3DDevice9* device, UINT count, HRESULT result)
{
    if (device)
        static_cast<d3d9sw::Device*>(device)->ScriptResetFailures(count, result);
}

UINT D3D9PresentCount(IDirect3DDevice9* device)
{
    return device ? static_cast<d3d9sw::Device*>(device)->presentCount() : 0;
}

void D3D9CallLogStart(IDirect3DDevice9* device)
{
    if (device)
        static_cast<d3d9sw::Device*>(device)->CallLogStart();
}

void D3D9CallLogStop(IDirect3DDevice9* device)
{
    if (device)
        static_cast<d3d9sw::Device*>(device)->CallLogStop();
}

std::vector<D3D9CallRecord> D3D9CallLog(IDirect3DDevice9* device)
{
    return device ? static_cast<d3d9sw::Device*>(device)->callLog() : std::vector<D3D9CallRecord>{};
}

UINT D3D9CallCount(IDirect3DDevice9* device, D3D9Call call)
{
    UINT count = 0;
    for (const D3D9CallRecord& record : D3D9CallLog(device))
        count += record.call == call;
    return count;
}

HRESULT D3D9CallReplay(IDirect3DDevice9* device, const D3D9CallRecord& r)
{
    if (!device)
        return D3DERR_INVALIDCALL;
    const auto* data = r.data.data();
    const auto word = [](uint64_t value) { return DWORD(value); };
    switch (r.call) {
    case D3D9Call::SetRenderState:
        return device->SetRenderState(D3DRENDERSTATETYPE(r.a), word(r.b));
    case D3D9Call::SetTextureStageState:
        return device->SetTextureStageState(word(r.a), D3DTEXTURESTAGESTATETYPE(r.b), word(r.c));
    case D3D9Call::SetSamplerState:
        return device->SetSamplerState(word(r.a), D3DSAMPLERSTATETYPE(r.b), word(r.c));
    case D3D9Call::SetTexture:
        return device->SetTexture(word(r.a), reinterpret_cast<IDirect3DBaseTexture9*>(r.b));
    case D3D9Call::SetLight:
        return device->SetLight(word(r.a), reinterpret_cast<const D3DLIGHT9*>(data));
    case D3D9Call::LightEnable:
        return device->LightEnable(word(r.a), BOOL(r.b));
    case D3D9Call::SetMaterial:
        return device->SetMaterial(reinterpret_cast<const D3DMATERIAL9*>(data));
    case D3D9Call::SetTransform:
        return device->SetTransform(D3DTRANSFORMSTATETYPE(r.a), reinterpret_cast<const D3DMATRIX*>(data));
    case D3D9Call::SetIndices:
        return device->SetIndices(reinterpret_cast<IDirect3DIndexBuffer9*>(r.a));
    case D3D9Call::SetStreamSource:
        return device->SetStreamSource(word(r.a), reinterpret_cast<IDirect3DVertexBuffer9*>(r.b), word(r.c),
                                       data[0]);
    case D3D9Call::SetVertexDeclaration:
        return device->SetVertexDeclaration(reinterpret_cast<IDirect3DVertexDeclaration9*>(r.a));
    case D3D9Call::SetFVF:
        return device->SetFVF(word(r.a));
    case D3D9Call::SetVertexShader:
        return device->SetVertexShader(reinterpret_cast<IDirect3DVertexShader9*>(r.a));
    case D3D9Call::SetPixelShader:
        return device->SetPixelShader(reinterpret_cast<IDirect3DPixelShader9*>(r.a));
    case D3D9Call::DrawPrimitive:
        return device->DrawPrimitive(D3DPRIMITIVETYPE(r.a), word(r.b), word(r.c));
    case D3D9Call::DrawIndexedPrimitive:
        return device->DrawIndexedPrimitive(D3DPRIMITIVETYPE(r.a), INT(int64_t(r.b)), data[0], data[1],
                                            data[2], word(r.c));
    case D3D9Call::DrawPrimitiveUP:
    case D3D9Call::DrawIndexedPrimitiveUP:
        break;
    }
    return D3DERR_INVALIDCALL;
}
