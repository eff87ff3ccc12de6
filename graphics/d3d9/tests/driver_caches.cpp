// State caches: each value reaches the device once, nothing is sent again
// while the device is known to hold it, and after a reset every state is
// sent again whatever the device's defaults are. To see whether the cache
// sent a value, a test changes the device behind the cache's back first.

#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

struct DefaultCase
{
    D3DRENDERSTATETYPE state;
    DWORD value;
};

// Documented Direct3D 9 defaults (ZENABLE: a device with an automatic depth buffer).
constexpr DefaultCase kDefaults[] = {
    {D3DRS_ZENABLE, 1},
    {D3DRS_FILLMODE, 3},
    {D3DRS_SHADEMODE, 2},
    {D3DRS_ZWRITEENABLE, 1},
    {D3DRS_ALPHATESTENABLE, 0},
    {D3DRS_SRCBLEND, 2},
    {D3DRS_DESTBLEND, 1},
    {D3DRS_CULLMODE, 3},
    {D3DRS_ZFUNC, 4},
    {D3DRS_ALPHAREF, 0},
    {D3DRS_ALPHAFUNC, 8},
    {D3DRS_ALPHABLENDENABLE, 0},
    {D3DRS_FOGENABLE, 0},
    {D3DRS_FOGCOLOR, 0},
    {D3DRS_STENCILENABLE, 0},
    {D3DRS_STENCILFAIL, 1},
    {D3DRS_STENCILFUNC, 8},
    {D3DRS_STENCILREF, 0},
    {D3DRS_STENCILMASK, ~0u},
    {D3DRS_STENCILWRITEMASK, ~0u},
    {D3DRS_LIGHTING, 1},
    {D3DRS_AMBIENT, 0},
    {D3DRS_COLORVERTEX, 1},
    {D3DRS_LOCALVIEWER, 1},
    {D3DRS_NORMALIZENORMALS, 0},
    {D3DRS_CLIPPING, 1},
    {D3DRS_DIFFUSEMATERIALSOURCE, 1},
    {D3DRS_SPECULARMATERIALSOURCE, 2},
    {D3DRS_AMBIENTMATERIALSOURCE, 0},
    {D3DRS_COLORWRITEENABLE, 0xF},
};

class StateCache : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
    }
};

} // namespace

TEST_F(EngineFixture, FreshDeviceHoldsTheDocumentedDefaults)
{
    D3D9AdapterConfig adapter = D3D9DefaultAdapter();
    D3D9SetAdapters(&adapter, 1);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = 1;
    p.SwapEffect = D3DSWAPEFFECT_COPY;
    p.EnableAutoDepthStencil = 1;
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    p.BackBufferWidth = p.BackBufferHeight = 8;
    p.BackBufferFormat = D3DFMT_X8R8G8B8;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &device),
              D3D_OK);
    for (const DefaultCase& c : kDefaults) {
        DWORD value = 0xDEADBEEF;
        device->GetRenderState(c.state, &value);
        EXPECT_EQ(value, c.value) << "render state " << c.state;
    }
    DWORD value = 0;
    device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_MODULATE));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD(D3DTOP_DISABLE));
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, DWORD(D3DTEXF_POINT));
    device->Release();
    d3d->Release();
}

TEST_F(StateCache, InitialStatesReachTheDevice)
{
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u);
    EXPECT_EQ(DeviceRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_CW));
    EXPECT_EQ(DeviceRenderState(D3DRS_SRCBLEND), DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGTABLEMODE), DWORD(D3DFOG_LINEAR));
    EXPECT_EQ(DeviceRenderState(D3DRS_AMBIENT), 0xFFFFFFFFu);
    EXPECT_EQ(DeviceRenderState(D3DRS_STENCILMASK), 0xFFFFFFFFu);
    EXPECT_EQ(DeviceSamplerState(3, D3DSAMP_MINFILTER), DWORD(D3DTEXF_LINEAR));
    EXPECT_EQ(DeviceSamplerState(3, D3DSAMP_BORDERCOLOR), 0xFF000000u);
    DWORD op = 0;
    Device()->GetTextureStageState(0, D3DTSS_COLOROP, &op);
    EXPECT_EQ(op, DWORD(D3DTOP_SELECTARG2));
}

TEST_F(StateCache, EachValueIsSentOnceAndOnlyAtTheFlush)
{
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0x00123456);
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 0u) << "render states wait for the flush";
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 0x00123456u);

    Device()->SetRenderState(D3DRS_FOGCOLOR, 7);
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0x00123456);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 7u) << "an unchanged value is not sent again";

    // Changed and changed back before a flush: nothing is sent.
    Device()->SetRenderState(D3DRS_ZENABLE, 5);
    D3D9SetRenderState(D3DRS_ZENABLE, 0);
    D3D9SetRenderState(D3DRS_ZENABLE, 1);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_ZENABLE), 5u);

    // Two changes: the last value wins.
    D3D9SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 1);
    D3D9SetTextureStageState(2, D3DTSS_TEXCOORDINDEX, 3);
    D3D9RenderStateFlush();
    DWORD index = 0;
    Device()->GetTextureStageState(2, D3DTSS_TEXCOORDINDEX, &index);
    EXPECT_EQ(index, 3u);
    uint32_t wanted = 0;
    D3D9GetTextureStageState(2, D3DTSS_TEXCOORDINDEX, &wanted);
    EXPECT_EQ(wanted, 3u);

    D3D9SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_MIRROR)) << "samplers go at once";
    Device()->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    D3D9SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_WRAP));
    D3D9ForceSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    EXPECT_EQ(DeviceSamplerState(1, D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_MIRROR));
}

TEST_F(StateCache, EveryStateIsSentAgainAfterAResetWhateverTheDefault)
{
    // Masks of 0 equal neither the device default nor any marker: they must arrive.
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateStencilMask, reinterpret_cast<void*>(uintptr_t(0))));
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateStencilWriteMask, reinterpret_cast<void*>(uintptr_t(0))));
    ASSERT_TRUE(D3D9RenderStateSet(kRenderStateCullMode, reinterpret_cast<void*>(uintptr_t(D3DCULL_NONE))));
    D3D9SetRenderState(D3DRS_LIGHTING, 1);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_STENCILMASK), 0u);

    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(D3D9RestoreLostDevice());
    EXPECT_EQ(DeviceRenderState(D3DRS_STENCILMASK), 0u);
    EXPECT_EQ(DeviceRenderState(D3DRS_STENCILWRITEMASK), 0u);
    EXPECT_EQ(DeviceRenderState(D3DRS_CULLMODE), DWORD(D3DCULL_NONE)) << "engine states come back";
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u) << "other states take their initial values";
    EXPECT_EQ(DeviceRenderState(D3DRS_AMBIENT), 0xFFFFFFFFu);

    // A wanted value equal to an old marker right after the restore still goes out.
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0);
    Device()->SetRenderState(D3DRS_TEXTUREFACTOR, 0);
    D3D9SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_TEXTUREFACTOR), 0xFFFFFFFFu);
}

TEST_F(StateCache, BindingsSkipUnchangedValues)
{
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_TRUE(D3D9VertexDeclarationCreate(elements, &declaration));
    D3D9SetVertexDeclaration(declaration);
    IDirect3DVertexDeclaration9* bound = nullptr;
    Device()->GetVertexDeclaration(&bound);
    EXPECT_EQ(bound, declaration);
    bound->Release();
    // An FVF forgets the declaration: setting it again reaches the device.
    D3D9SetFVF(D3DFVF_XYZ);
    D3D9SetVertexDeclaration(declaration);
    Device()->GetVertexDeclaration(&bound);
    EXPECT_EQ(bound, declaration);
    bound->Release();
    EXPECT_EQ(D3D9GetBindingCache()->fvf, kD3D9CacheUnset);
    EXPECT_EQ(D3D9GetBindingCache()->declaration, reinterpret_cast<uintptr_t>(declaration));
    D3D9VertexDeclarationRelease(declaration);

    IDirect3DSurface9* target = nullptr;
    Device()->GetRenderTarget(0, &target);
    EXPECT_TRUE(D3D9SetRenderTarget(0, target));
    EXPECT_EQ(D3D9GetCurrentRenderTarget(0), target);
    target->Release();

    D3DMATERIAL9 material{};
    material.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    EXPECT_TRUE(D3D9SetMaterial(&material));
    D3DMATERIAL9 other{};
    Device()->SetMaterial(&other);
    EXPECT_TRUE(D3D9SetMaterial(&material));
    D3DMATERIAL9 held{};
    Device()->GetMaterial(&held);
    EXPECT_EQ(held.Diffuse.r, 0.0f) << "an unchanged material is not sent";
}

TEST_F(StateCache, ForcedStatesGoOutEvenWhenTheCacheAgrees)
{
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0x00ABCDEF);
    D3D9RenderStateFlush();
    Device()->SetRenderState(D3DRS_FOGCOLOR, 7);
    D3D9ForceRenderState(D3DRS_FOGCOLOR, 0x00ABCDEF);
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 0x00ABCDEFu) << "forced states go at once";

    D3D9SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 2);
    D3D9RenderStateFlush();
    Device()->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    D3D9ForceTextureStageState(1, D3DTSS_TEXCOORDINDEX, 2);
    DWORD index = 0;
    Device()->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &index);
    EXPECT_EQ(index, 2u);
    // The forced value is also what the cache wants: a later equal set sends nothing.
    Device()->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    D3D9SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 2);
    D3D9RenderStateFlush();
    Device()->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &index);
    EXPECT_EQ(index, 0u);
}

TEST_F(StateCache, AResetForDirectUseForgetsEveryBinding)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_TRUE(SUCCEEDED(Device()->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &buffer, nullptr)));
    D3D9SetFVF(D3DFVF_XYZ);
    D3D9SetStreamSource(0, buffer, 16, 12);
    // The device changes behind the cache's back: equal sets are skipped ...
    Device()->SetFVF(D3DFVF_XYZRHW);
    Device()->SetStreamSource(0, nullptr, 0, 0);
    D3D9SetFVF(D3DFVF_XYZ);
    D3D9SetStreamSource(0, buffer, 16, 12);
    DWORD fvf = 0;
    Device()->GetFVF(&fvf);
    EXPECT_EQ(fvf, DWORD(D3DFVF_XYZRHW));
    // ... until the cache is reset for direct use: then the next set reaches the device.
    EXPECT_EQ(D3D9ResetDeviceCache(), Device());
    D3D9SetFVF(D3DFVF_XYZ);
    D3D9SetStreamSource(0, buffer, 16, 12);
    Device()->GetFVF(&fvf);
    EXPECT_EQ(fvf, DWORD(D3DFVF_XYZ));
    IDirect3DVertexBuffer9* bound = nullptr;
    UINT offset = 0;
    UINT stride = 0;
    Device()->GetStreamSource(0, &bound, &offset, &stride);
    EXPECT_EQ(bound, buffer);
    EXPECT_EQ(offset, 16u);
    EXPECT_EQ(stride, 12u);
    if (bound) {
        bound->Release();
    }
    D3D9SetStreamSource(0, nullptr, 0, 0);
    buffer->Release();
}

TEST_F(StateCache, StreamPairsBindWithOrWithoutOffsetsAndUnbindEmptyEntries)
{
    IDirect3DVertexBuffer9* buffers[2] = {};
    for (IDirect3DVertexBuffer9*& buffer : buffers) {
        ASSERT_TRUE(SUCCEEDED(Device()->CreateVertexBuffer(256, 0, 0, D3DPOOL_MANAGED, &buffer, nullptr)));
    }
    auto bound = [this](UINT stream, UINT* offset, UINT* stride) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        Device()->GetStreamSource(stream, &buffer, offset, stride);
        if (buffer) {
            buffer->Release();
        }
        return buffer;
    };
    UINT offset = 0;
    UINT stride = 0;
    const D3D9StreamRecord both[2] = {{buffers[0], 32, 12}, {buffers[1], 8, 4}};
    D3D9SetStreams(both, false);
    EXPECT_EQ(bound(0, &offset, &stride), buffers[0]);
    EXPECT_EQ(offset, 0u) << "offsets only with the flag";
    EXPECT_EQ(stride, 12u);
    D3D9SetStreams(both, true);
    EXPECT_EQ(bound(1, &offset, &stride), buffers[1]);
    EXPECT_EQ(offset, 8u);
    EXPECT_EQ(stride, 4u);
    // An entry without a buffer unbinds its stream.
    const D3D9StreamRecord first[2] = {{buffers[0], 32, 12}, {nullptr, 0, 0}};
    D3D9SetStreams(first, true);
    EXPECT_EQ(bound(0, &offset, &stride), buffers[0]);
    EXPECT_EQ(offset, 32u);
    EXPECT_EQ(bound(1, &offset, &stride), nullptr);
    const D3D9StreamRecord none[2] = {};
    D3D9SetStreams(none, true);
    EXPECT_EQ(bound(0, &offset, &stride), nullptr);
    for (IDirect3DVertexBuffer9* buffer : buffers) {
        buffer->Release();
    }
}
