// Lost device, reset, present and the unattended-run variables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/win32/win32.h"
#include "testdevice.h"

using namespace d3d9test;

TEST(DeviceLoss, LostThenNotResetThenReset)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    D3D9ScriptCondition(d, D3D9Condition::Lost);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(d->Reset(&t.params), D3DERR_DEVICELOST) << "cannot reset while lost";
    D3D9ScriptCondition(d, D3D9Condition::NotReset);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->Reset(&t.params), D3D_OK);
    EXPECT_EQ(d->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST(DeviceLoss, DefaultPoolBlocksResetManagedDoesNot)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    IDirect3DTexture9 *managed = nullptr, *target = nullptr;
    ASSERT_EQ(d->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed, nullptr), D3D_OK);
    ASSERT_EQ(
        d->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
        D3D_OK);
    EXPECT_EQ(d->Reset(&t.params), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    target->Release();
    EXPECT_EQ(d->Reset(&t.params), D3D_OK);
    managed->Release();
}

TEST(DeviceLoss, ScriptedResetFailureAndResize)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    D3D9ScriptResetFailures(d, 1, D3DERR_INVALIDCALL);
    D3DPRESENT_PARAMETERS p = t.params;
    p.BackBufferWidth = 20;
    p.BackBufferHeight = 10;
    EXPECT_EQ(d->Reset(&p), D3DERR_INVALIDCALL);
    EXPECT_EQ(d->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(d->Reset(&p), D3D_OK);
    IDirect3DSurface9* bb = nullptr;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DSURFACE_DESC desc;
    bb->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 20u);
    EXPECT_EQ(desc.Height, 10u);
    bb->Release();
    D3DVIEWPORT9 vp;
    d->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 20u) << "reset sets the viewport to the new back buffer";
}

TEST(Present, WindowResizeFrameLimitAndScreenshot)
{
    HWND window = Win32WindowCreate("present", 32, 24);
    ASSERT_NE(window, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS p{};
    p.Windowed = 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.hDeviceWindow = window;
    IDirect3DDevice9* d = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, 0, &p, &d), D3D_OK);
    EXPECT_EQ(p.BackBufferWidth, 32u) << "the back buffer takes the client size";
    EXPECT_EQ(p.BackBufferHeight, 24u);
    const std::string shot = d3d9test::TestOutputDir() + "/present_shot.png";
    std::filesystem::create_directories(d3d9test::TestOutputDir());
    std::remove(shot.c_str());
    setenv("OLAI_EXIT_AFTER_FRAMES", "2", 1);
    setenv("OLAI_SCREENSHOT", shot.c_str(), 1);
    Win32ClearQuit();
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_FALSE(Win32PeekQuit());
    // A resized window keeps showing the (scaled) back buffer.
    SetWindowPos(window, HWND_TOP, 0, 0, 50, 40, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(d->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_TRUE(Win32PeekQuit()) << "quit posted after the second frame";
    EXPECT_EQ(D3D9PresentCount(d), 2u);
    FILE* f = std::fopen(shot.c_str(), "rb");
    EXPECT_NE(f, nullptr) << "screenshot written";
    if (f)
        std::fclose(f);
    unsetenv("OLAI_EXIT_AFTER_FRAMES");
    unsetenv("OLAI_SCREENSHOT");
    Win32ClearQuit();
    d->Release();
    d3d->Release();
    Win32WindowDestroy(window);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

TEST(Adapters, ConfiguredCapsAndMissingDevice)
{
    D3D9AdapterConfig adapters[2] = {D3D9DefaultAdapter(), D3D9DefaultAdapter()};
    adapters[0].hasDevice = false;
    adapters[1].caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    adapters[1].supportsDxt = false;
    D3D9SetAdapters(adapters, 2);
    IDirect3D9* d3d = Direct3DCreate9(31);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 2u);
    D3DCAPS9 caps;
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE);
    ASSERT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_FALSE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(d3d->CheckDeviceFormat(1, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1),
              D3DERR_NOTAVAILABLE);
    d3d->Release();
    D3D9ResetAdapters();
    d3d = Direct3DCreate9(31);
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(caps.VertexShaderVersion, D3DVS_VERSION(2, 0));
    EXPECT_EQ(caps.PixelShaderVersion, D3DPS_VERSION(1, 1));
    EXPECT_TRUE(caps.DevCaps2 & D3DDEVCAPS2_STREAMOFFSET);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL,
                                     D3DRTYPE_SURFACE, D3DFMT_D24S8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D24S8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 1, D3DMULTISAMPLE_TYPE(2),
                                              nullptr),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8), 12u);
    D3DDISPLAYMODE mode;
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_R5G6B5, 0, &mode), D3D_OK);
    EXPECT_EQ(mode.Format, D3DFMT_R5G6B5);
    d3d->Release();
    D3D9SetAdapters(nullptr, 0);
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    D3D9ResetAdapters();
}

TEST(CallLog, RecordsCallsInOrderOnlyWhileStarted)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    d->SetRenderState(D3DRS_LIGHTING, 1);
    D3D9CallLogStart(d);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetRenderState(D3DRS_ZENABLE, 0);
    d->SetPixelShader(nullptr);
    D3D9CallLogStop(d);
    d->SetRenderState(D3DRS_LIGHTING, 1);

    const std::vector<D3D9CallRecord> log = D3D9CallLog(d);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].call, D3D9Call::SetRenderState);
    EXPECT_EQ(log[0].a, uint64_t(D3DRS_LIGHTING));
    EXPECT_EQ(log[0].b, 0u);
    EXPECT_EQ(log[1].call, D3D9Call::SetTextureStageState);
    EXPECT_EQ(log[1].a, 1u);
    EXPECT_EQ(log[1].b, uint64_t(D3DTSS_COLOROP));
    EXPECT_EQ(log[1].c, uint64_t(D3DTOP_DISABLE));
    EXPECT_EQ(log[3].call, D3D9Call::SetPixelShader);
    EXPECT_EQ(D3D9CallCount(d, D3D9Call::SetRenderState), 2u);
    EXPECT_EQ(D3D9CallCount(d, D3D9Call::DrawPrimitive), 0u);

    D3D9CallLogStart(d);
    EXPECT_TRUE(D3D9CallLog(d).empty()) << "a start clears the log";
    D3D9CallLogStop(d);
}

// A recorded frame replayed on the device draws the same picture: the log
// keeps the matrix, material, light, stride and index range the calls passed.
TEST(CallLog, ReplayDrawsTheSamePicture)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    struct Vertex
    {
        float x, y, z, nx, ny, nz;
    };
    const Vertex vertices[] = {
        {-1, -1, 0.5f, 0, 0, -1}, {-1, 1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}};
    const uint16_t indices[] = {0, 1, 2, 2, 1, 3};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          D3DDECL_END()};
    ASSERT_EQ(d->CreateVertexBuffer(sizeof vertices, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
    ASSERT_EQ(d->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    ASSERT_EQ(d->CreateVertexDeclaration(elements, &declaration), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, sizeof vertices);
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof indices);
    ib->Unlock();

    D3DMATRIX half = {{{0.5f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    const D3DMATRIX identity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    D3DMATERIAL9 material{};
    material.Diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    D3D9CallLogStart(d);
    d->SetTransform(D3DTS_VIEW, &identity);
    d->SetTransform(D3DTS_PROJECTION, &identity);
    d->SetTransform(D3DTS_WORLD, &half);
    d->SetMaterial(&material);
    d->SetLight(0, &light);
    d->LightEnable(0, 1);
    d->SetRenderState(D3DRS_LIGHTING, 1);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetVertexDeclaration(declaration);
    d->SetStreamSource(0, vb, 0, sizeof(Vertex));
    d->SetIndices(ib);
    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
    D3D9CallLogStop(d);
    d->EndScene();
    const std::vector<uint32_t> expected = t.Pixels();
    EXPECT_GT(Red(t.Pixel(8, 8)), 240) << "lit by the light: the material's colour";
    EXPECT_NEAR(Green(t.Pixel(8, 8)), 128, 2);
    EXPECT_EQ(t.Pixel(1, 1) & 0xFFFFFF, 0u) << "half the screen";

    // Everything the frame set is set otherwise, then the log puts it back.
    const D3DMATRIX zero{};
    d->SetTransform(D3DTS_WORLD, &zero);
    const D3DMATERIAL9 black{};
    d->SetMaterial(&black);
    D3DLIGHT9 dim = light;
    dim.Diffuse = {0.1f, 0.1f, 0.1f, 1};
    d->SetLight(0, &dim);
    d->SetStreamSource(0, vb, 0, 4);
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    const std::vector<D3D9CallRecord> log = D3D9CallLog(d);
    ASSERT_EQ(log.size(), 12u);
    for (const D3D9CallRecord& record : log)
        EXPECT_EQ(D3D9CallReplay(d, record), D3D_OK) << int(record.call);
    d->EndScene();
    EXPECT_EQ(t.Pixels(), expected);
    const D3D9CallRecord userPointer{D3D9Call::DrawPrimitiveUP, D3DPT_TRIANGLELIST, 1, 0, {}};
    EXPECT_EQ(D3D9CallReplay(d, userPointer), D3DERR_INVALIDCALL) << "its vertices are not kept";
    declaration->Release();
    ib->Release();
    vb->Release();
}
