// The Direct3D object: adapters, display modes, format checks and caps.
#include "platform/d3d9/d3d9control.h"
#include "platform/d3d9/device.h"
#include "platform/d3d9/format.h"
#include "platform/d3d9/object.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace d3d9sw {
namespace {

std::vector<D3D9AdapterConfig>& Adapters()
{
    static std::vector<D3D9AdapterConfig> adapters{D3D9DefaultAdapter()};
    return adapters;
}

// The modes every adapter lists for each of its display formats.
constexpr UINT kModes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}};
constexpr UINT kModeCount = sizeof(kModes) / sizeof(kModes[0]);
constexpr UINT kRefreshRates[] = {60, 75};

bool IsDisplayFormat(D3DFORMAT f)
{
    return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 || f == D3DFMT_A2R10G10B10;
}

bool IsBackBufferFormat(D3DFORMAT f)
{
    return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 ||
           f == D3DFMT_A1R5G5B5 || f == D3DFMT_A2R10G10B10;
}

bool IsDxt(D3DFORMAT f)
{
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}

} // namespace

class Direct3D final : public Object<IDirect3D9>
{
  public:
    explicit Direct3D(std::vector<D3D9AdapterConfig> adapters) : adapters_(std::move(adapters)) {}

    UINT GetAdapterCount() override { return UINT(adapters_.size()); }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) override
    {
        if (adapter >= adapters_.size() || !id)
            return D3DERR_INVALIDCALL;
        std::memset(id, 0, sizeof(*id));
        std::snprintf(id->Driver, sizeof(id->Driver), "olai software device");
        std::snprintf(id->Description, sizeof(id->Description), "%s", adapters_[adapter].description);
        std::snprintf(id->DeviceName, sizeof(id->DeviceName), "\\\\.\\DISPLAY%u", adapter + 1);
        id->VendorId = 0x0000;
        id->DeviceId = adapter + 1;
        return D3D_OK;
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override
    {
        if (adapter >= adapters_.size() || !IsDisplayFormat(format))
            return 0;
        return kModeCount * 2;
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override
    {
        if (!out || mode >= GetAdapterModeCount(adapter, format))
            return D3DERR_INVALIDCALL;
        *out = {kModes[mode / 2][0], kModes[mode / 2][1], kRefreshRates[mode % 2], format};
        return D3D_OK;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) override
    {
        if (adapter >= adapters_.size() || !out)
            return D3DERR_INVALIDCALL;
        *out = adapters_[adapter].desktop;
        return D3D_OK;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                            D3DFORMAT backBufferFormat, BOOL) override
    {
        if (adapter >= adapters_.size() || !adapters_[adapter].hasDevice)
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)
            return D3DERR_NOTAVAILABLE;
        if (!IsDisplayFormat(adapterFormat))
            return D3DERR_NOTAVAILABLE;
        if (backBufferFormat != D3DFMT_UNKNOWN && !IsBackBufferFormat(backBufferFormat))
            return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE rtype, D3DFORMAT format) override
    {
        if (adapter >= adapters_.size() || !adapters_[adapter].hasDevice)
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)
            return D3DERR_NOTAVAILABLE;
        if (!IsDisplayFormat(adapterFormat))
            return D3DERR_NOTAVAILABLE;
        const D3D9AdapterConfig& a = adapters_[adapter];
        FormatInfo info = FormatGetInfo(format);
        if (rtype == D3DRTYPE_VERTEXBUFFER)
            return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (rtype == D3DRTYPE_INDEXBUFFER)
            return (format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32) ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (info.bytesPerPixel == 0)
            return D3DERR_NOTAVAILABLE;
        if (rtype != D3DRTYPE_SURFACE && rtype != D3DRTYPE_TEXTURE && rtype != D3DRTYPE_CUBETEXTURE)
            return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_DEPTHSTENCIL) {
            // Depth textures are not sampled by this device; depth buffers only.
            return (info.depth && rtype == D3DRTYPE_SURFACE) ? D3D_OK : D3DERR_NOTAVAILABLE;
        }
        if (info.depth)
            return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_RENDERTARGET) {
            if (!FormatIsRenderTarget(format))
                return D3DERR_NOTAVAILABLE;
        }
        if (IsDxt(format) && !a.supportsDxt)
            return D3DERR_NOTAVAILABLE;
        if ((format == D3DFMT_P8 || format == D3DFMT_A8P8) && !a.supportsPalettes)
            return D3DERR_NOTAVAILABLE;
        if ((format == D3DFMT_P8 || format == D3DFMT_A8P8 || IsDxt(format)) &&
            (usage & D3DUSAGE_RENDERTARGET))
            return D3DERR_NOTAVAILABLE;
        if (usage & D3DUSAGE_AUTOGENMIPMAP) {
            if (!(a.caps.Caps2 & D3DCAPS2_CANAUTOGENMIPMAP) || rtype == D3DRTYPE_SURFACE)
                return D3DERR_NOTAVAILABLE;
            if (!info.decodable || info.signedBump || format == D3DFMT_P8 || format == D3DFMT_A8P8)
                return D3DOK_NOAUTOGEN;
        }
        return D3D_OK;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE ms,
                                       DWORD* qualityLevels) override
    {
        if (adapter >= adapters_.size())
            return D3DERR_INVALIDCALL;
        if (ms != D3DMULTISAMPLE_NONE)
            return D3DERR_NOTAVAILABLE;
        if (qualityLevels)
            *qualityLevels = 1;
        return D3D_OK;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override
    {
        if (adapter >= adapters_.size())
            return D3DERR_INVALIDCALL;
        if (!IsDisplayFormat(adapterFormat) || !FormatIsRenderTarget(renderTargetFormat) ||
            !FormatGetInfo(depthStencilFormat).depth)
            return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override
    {
        if (adapter >= adapters_.size() || !caps)
            return D3DERR_INVALIDCALL;
        if (!adapters_[adapter].hasDevice)
            return D3DERR_NOTAVAILABLE;
        *caps = adapters_[adapter].caps;
        caps->DeviceType = type;
        caps->AdapterOrdinal = adapter;
        caps->MasterAdapterOrdinal = adapter;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice9** device) override
    {
        if (!device)
            return D3DERR_INVALIDCALL;
        *device = nullptr;
        if (adapter >= adapters_.size() || !params)
            return D3DERR_INVALIDCALL;
        if (!adapters_[adapter].hasDevice || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF))
            return D3DERR_NOTAVAILABLE;
        D3DCAPS9 caps = adapters_[adapter].caps;
        if (behaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING)
            caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
        auto* created =
            new Device(this, adapter, focusWindow, behaviorFlags, caps, adapters_[adapter].textureMemory);
        HRESULT hr = created->Initialize(params);
        if (FAILED(hr)) {
            created->Release();
            return hr;
        }
        *device = created;
        return D3D_OK;
    }

    const D3D9AdapterConfig& adapter(UINT index) const { return adapters_[index]; }

  private:
    std::vector<D3D9AdapterConfig> adapters_;
};

void Direct3DAddRef(Direct3D* d3d)
{
    d3d->AddRef();
}
void Direct3DRelease(Direct3D* d3d)
{
    d3d->Release();
}
IDirect3D9* Direct3DInterface(Direct3D* d3d)
{
    return d3d;
}
D3DDISPLAYMODE Direct3DDesktopMode(Direct3D* d3d, UINT adapter)
{
    return d3d->adapter(adapter).desktop;
}

} // namespace d3d9sw

D3DCAPS9 D3D9DefaultCaps()
{
    D3DCAPS9 c;
    std::memset(&c, 0, sizeof(c));
    c.DeviceType = D3DDEVTYPE_HAL;
    c.Caps2 = D3DCAPS2_CANAUTOGENMIPMAP | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANMANAGERESOURCE;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP |
                D3DDEVCAPS_DRAWPRIMITIVES2 | D3DDEVCAPS_DRAWPRIMITIVES2EX | D3DDEVCAPS_HWTRANSFORMANDLIGHT |
                D3DDEVCAPS_HWRASTERIZATION;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                          D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_TSSARGTEMP |
                          D3DPMISCCAPS_BLENDOP;
    c.RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_FOGTABLE |
                   D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_FOGRANGE | D3DPRASTERCAPS_WFOG |
                   D3DPRASTERCAPS_ZFOG | D3DPRASTERCAPS_COLORPERSPECTIVE | D3DPRASTERCAPS_SCISSORTEST;
    c.ZCmpCaps = D3DPCMPCAPS_ALL;
    c.AlphaCmpCaps = D3DPCMPCAPS_ALL;
    c.SrcBlendCaps = D3DPBLENDCAPS_ALL;
    c.DestBlendCaps = D3DPBLENDCAPS_ALL;
    c.ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                  D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    c.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_ALPHAPALETTE |
                    D3DPTEXTURECAPS_PROJECTED | D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_MIPMAP |
                    D3DPTEXTURECAPS_MIPCUBEMAP;
    c.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                          D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.CubeTextureFilterCaps = c.TextureFilterCaps;
    c.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                           D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV |
                           D3DPTADDRESSCAPS_MIRRORONCE;
    c.LineCaps =
        D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP | D3DLINECAPS_FOG;
    c.MaxTextureWidth = 2048;
    c.MaxTextureHeight = 2048;
    c.MaxTextureRepeat = 8192;
    c.MaxTextureAspectRatio = 2048;
    c.MaxAnisotropy = 1;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = -8192;
    c.GuardBandTop = -8192;
    c.GuardBandRight = 8192;
    c.GuardBandBottom = 8192;
    c.StencilCaps = D3DSTENCILCAPS_ALL;
    c.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    c.TextureOpCaps = D3DTEXOPCAPS_ALL;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_MATERIALSOURCE7 |
                             D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS |
                             D3DVTXPCAPS_LOCALVIEWER;
    c.MaxActiveLights = 8;
    c.MaxUserClipPlanes = 0;
    c.MaxVertexBlendMatrices = 1;
    c.MaxPointSize = 64;
    c.MaxPrimitiveCount = 0xFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = 16;
    c.MaxStreamStride = 255;
    c.VertexShaderVersion = D3DVS_VERSION(2, 0);
    c.MaxVertexShaderConst = 256;
    c.PixelShaderVersion = D3DPS_VERSION(1, 1);
    c.PixelShader1xMaxValue = 8;
    c.DevCaps2 = D3DDEVCAPS2_STREAMOFFSET | D3DDEVCAPS2_CAN_STRETCHRECT_FROM_TEXTURES;
    c.NumberOfAdaptersInGroup = 1;
    c.DeclTypes = D3DDTCAPS_UBYTE4 | D3DDTCAPS_UBYTE4N | D3DDTCAPS_SHORT2N | D3DDTCAPS_SHORT4N |
                  D3DDTCAPS_USHORT2N | D3DDTCAPS_USHORT4N | D3DDTCAPS_UDEC3 | D3DDTCAPS_DEC3N;
    c.NumSimultaneousRTs = 1;
    c.StretchRectFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                              D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    c.VS20Caps.NumTemps = 12;
    c.PS20Caps.NumTemps = 12;
    c.MaxVShaderInstructionsExecuted = 65535;
    return c;
}

D3D9AdapterConfig D3D9DefaultAdapter()
{
    D3D9AdapterConfig a{};
    a.caps = D3D9DefaultCaps();
    std::snprintf(a.description, sizeof(a.description), "olai software rasteriser");
    a.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    a.hasDevice = true;
    a.supportsDxt = true;
    a.supportsPalettes = true;
    a.textureMemory = 256u << 20;
    return a;
}

void D3D9SetAdapters(const D3D9AdapterConfig* adapters, UINT count)
{
    if (count > 4)
        count = 4;
    d3d9sw::Adapters().assign(adapters, adapters + count);
}

void D3D9ResetAdapters()
{
    d3d9sw::Adapters().assign(1, D3D9DefaultAdapter());
}

IDirect3D9* Direct3DCreate9(UINT)
{
    if (d3d9sw::Adapters().empty())
        return nullptr;
    return new d3d9sw::Direct3D(d3d9sw::Adapters());
}
