// Camera update, present and device reset: window resizes, lost and
// needs-reset devices, failed resets and failed re-creation.

#include <string>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

std::vector<std::string>& Calls()
{
    static std::vector<std::string> calls;
    return calls;
}

IDirect3DVertexBuffer9* gOwned;

/// At release: the default pool must be empty already.
void OnRelease()
{
    Calls().push_back(gOwned ? "release:buffers alive" : "release");
}

/// At restore: the device was reset and the states are back.
void OnRestore()
{
    DWORD lighting = 1;
    D3D9GetDevice()->GetRenderState(D3DRS_LIGHTING, &lighting);
    Calls().push_back(std::string("restore") + (gOwned ? "" : ":no buffer") +
                      (lighting ? ":states lost" : ""));
}

class Frames : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        Calls().clear();
        ASSERT_TRUE(Start());
        camera_ = CameraCreate();
        frame_ = FrameCreate();
        ASSERT_NE(camera_, nullptr);
        ASSERT_NE(frame_, nullptr);
        CameraSetFrame(camera_, frame_);
        camera_->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera_->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        ASSERT_NE(camera_->frameBuffer, nullptr);
        ASSERT_NE(camera_->zBuffer, nullptr);
    }

    void TearDown() override
    {
        if (camera_) {
            RasterDestroy(camera_->frameBuffer);
            RasterDestroy(camera_->zBuffer);
            CameraDestroy(camera_);
        }
        if (frame_) {
            FrameDestroy(frame_);
        }
        D3D9SetDeviceReleaseCallback(nullptr);
        D3D9SetDeviceEventCallback(nullptr);
        gOwned = nullptr;
        EngineFixture::TearDown();
    }

    /// One frame: clear, begin, end, present. False when begin update refused.
    bool Frame()
    {
        const uint8_t colour[4] = {10, 20, 30, 255};
        CameraClear(camera_, colour, 3);
        const bool began = CameraBeginUpdate(camera_) != nullptr;
        if (began) {
            CameraEndUpdate(camera_);
        }
        RasterShowRaster(camera_->frameBuffer, nullptr, 0);
        return began;
    }

    UINT BackBufferWidth()
    {
        IDirect3DSurface9* surface = nullptr;
        D3DSURFACE_DESC desc{};
        Device()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
        surface->GetDesc(&desc);
        surface->Release();
        return desc.Width;
    }

    Camera* camera_ = nullptr;
    ::Frame* frame_ = nullptr;
};

} // namespace

TEST_F(Frames, BeginUpdateSetsViewProjectionAndOpensTheScene)
{
    const V3d back = {0, 0, -3};
    FrameTranslate(frame_, &back, kCombineReplace);
    ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
    EXPECT_EQ(D3D9GetCurrentCamera(), camera_);
    EXPECT_EQ(D3D9State().inScene, 1u);
    D3DMATRIX view{}, projection{};
    D3D9GetTransform(D3DTS_VIEW, &view);
    D3D9GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_FLOAT_EQ(view.m[3][2], 3.0f) << "the inverse of the camera's position";
    EXPECT_FLOAT_EQ(view.m[0][0], -1.0f) << "right-handed frames, left-handed view";
    EXPECT_FLOAT_EQ(projection.m[2][3], 1.0f);
    EXPECT_FLOAT_EQ(projection.m[2][2], 10.0f / (10.0f - 0.05f));
    EXPECT_FLOAT_EQ(projection.m[3][2], -(10.0f / (10.0f - 0.05f)) * 0.05f);
    CameraEndUpdate(camera_);
    EXPECT_EQ(D3D9GetCurrentCamera(), nullptr);
    EXPECT_TRUE(RasterShowRaster(camera_->frameBuffer, nullptr, 0));
    EXPECT_EQ(D3D9State().inScene, 0u);
    EXPECT_EQ(D3D9PresentCount(Device()), 1u);
}

TEST_F(Frames, ResizingTheWindowResetsTheDeviceToTheNewSize)
{
    ASSERT_TRUE(Frame());
    SetWindowPos(window_, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
    Win32PumpEvents();
    D3D9SetDeviceReleaseCallback(OnRelease);
    D3D9SetDeviceEventCallback(OnRestore);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(BackBufferWidth(), 200u);
    EXPECT_EQ(D3D9State().mode.width, 200u);
    EXPECT_EQ(D3D9State().mode.height, 150u);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"release", "restore:no buffer"}));
}

TEST_F(Frames, AResizeThatCannotBeResetReturnsToTheOldSize)
{
    ASSERT_TRUE(Frame());
    SetWindowPos(window_, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER);
    Win32PumpEvents();
    D3D9ScriptResetFailures(Device(), 1, D3DERR_INVALIDCALL);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(BackBufferWidth(), UINT(kWidth));
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, kWidth) << "the window is sized back to the device";
    EXPECT_EQ(client.bottom, kHeight);
    EXPECT_EQ(D3D9State().mode.width, uint32_t(kWidth));
}

TEST_F(Frames, MinimisedOrEmptyWindowsDrawNothing)
{
    ShowWindow(window_, SW_MINIMIZE);
    Win32PumpEvents();
    ASSERT_TRUE(IsIconic(window_));
    EXPECT_FALSE(Frame());
    const uint8_t colour[4] = {1, 2, 3, 4};
    EXPECT_EQ(CameraClear(camera_, colour, 1), nullptr);
    ShowWindow(window_, SW_RESTORE);
    Win32PumpEvents();
    EXPECT_TRUE(Frame());
}

TEST_F(Frames, ALostDeviceRecoversInOrder)
{
    ASSERT_TRUE(D3D9DynamicVertexBufferCreate(0x800, &gOwned));
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    light.Diffuse = {1, 1, 1, 1};
    ASSERT_TRUE(D3D9SetLightCached(0, &light));
    ASSERT_TRUE(D3D9EnableLightCached(0, 1));
    D3D9SetDeviceReleaseCallback(OnRelease);
    D3D9SetDeviceEventCallback(OnRestore);

    D3D9ScriptCondition(Device(), D3D9Condition::Lost);
    EXPECT_FALSE(Frame()) << "a lost device draws nothing";
    EXPECT_EQ(D3D9State().inScene, 0u);
    EXPECT_EQ(D3D9GetCurrentCamera(), nullptr) << "a refused begin leaves no current camera";
    EXPECT_FALSE(D3D9TestDeviceAndBeginScene());
    EXPECT_TRUE(Calls().empty()) << "nothing is released while the device cannot be reset";

    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(Calls(), (std::vector<std::string>{"release", "restore"}));
    ASSERT_NE(gOwned, nullptr) << "the dynamic buffer was made again";
    BOOL enabled = 0;
    Device()->GetLightEnable(0, &enabled);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u);
    D3D9DynamicVertexBufferDestroy(gOwned);
}

TEST_F(Frames, AFailedResetLeavesTheSceneClosedUntilItSucceeds)
{
    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    D3D9ScriptResetFailures(Device(), 2, D3DERR_INVALIDCALL);
    EXPECT_FALSE(D3D9RestoreLostDevice()) << "the windowed retry fails too";
    EXPECT_TRUE(D3D9RestoreLostDevice());
    EXPECT_TRUE(Frame());
}

TEST_F(Frames, AFailedRecreationStillRunsTheRestoreCallback)
{
    // A light the device refuses at an index it cannot hold makes the resend fail.
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, 0, 1};
    EXPECT_FALSE(D3D9SetLightCached(5000, &light));
    D3D9SetDeviceEventCallback(OnRestore);
    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(D3D9RestoreLostDevice()) << "the reset itself succeeded";
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("re-creating"), std::string::npos) << "the failure is logged";
    EXPECT_EQ(Calls(), (std::vector<std::string>{"restore:no buffer"}));
    D3D9ResetDeviceCache();
}

TEST_F(Frames, TogglingVerticalSyncResetsTheDevice)
{
    D3D9SetDeviceEventCallback(OnRestore);
    EXPECT_TRUE(RasterShowRaster(camera_->frameBuffer, nullptr, 1));
    EXPECT_EQ(D3D9GetPresentParameters()->PresentationInterval, D3DPRESENT_INTERVAL_ONE);
    EXPECT_TRUE(RasterShowRaster(camera_->frameBuffer, nullptr, 0));
    EXPECT_EQ(D3D9GetPresentParameters()->PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(Calls().size(), 2u);
}

TEST_F(Frames, ClearingUsesTheColourAndTheStencilOfTheDepthFormat)
{
    const uint8_t colour[4] = {0x11, 0x22, 0x33, 0x44};
    D3D9SetStencilClear(7);
    ASSERT_NE(CameraClear(camera_, colour, 1), nullptr);
    IDirect3DSurface9* surface = nullptr;
    Device()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[0], 0x44112233u);
    surface->UnlockRect();
    surface->Release();
    EXPECT_EQ(D3D9GetStencilClear(), 7u);
}

TEST_F(Frames, SwapChainCamerasPresentIntoTheirOwnWindow)
{
    HWND second = Win32WindowCreate("second", 64, 48);
    ASSERT_NE(second, nullptr);
    ASSERT_TRUE(D3D9CameraAttachWindow(camera_, second));
    EXPECT_EQ(camera_->frameBuffer->width, 64);
    EXPECT_FALSE(D3D9CameraAttachWindow(camera_, window_)) << "the output window has the device's own chain";
    ASSERT_TRUE(Frame());
    ShowWindow(second, SW_MINIMIZE);
    Win32PumpEvents();
    ASSERT_TRUE(IsIconic(second));
    EXPECT_FALSE(Frame()) << "a minimised swap-chain window is refused like the output window";
    ShowWindow(second, SW_RESTORE);
    Win32PumpEvents();
    EXPECT_TRUE(Frame());
    RasterDestroy(camera_->frameBuffer);
    RasterDestroy(camera_->zBuffer);
    camera_->frameBuffer = camera_->zBuffer = nullptr;
    CameraDestroy(camera_);
    camera_ = nullptr;
    Win32WindowDestroy(second);
}

TEST_F(Frames, VideoModeChangesAtRunTimeAndBack)
{
    const D3D9VideoModeEntry* modes = nullptr;
    int32_t count = 0;
    modes = D3D9GetVideoModes(&count);
    ASSERT_GT(count, 1);
    ASSERT_EQ(modes[1].flags, 1u);
    EXPECT_TRUE(D3D9ChangeVideoMode(count)) << "outside the table: nothing to do";
    ASSERT_TRUE(D3D9ChangeVideoMode(1));
    EXPECT_EQ(D3D9GetPresentParameters()->Windowed, 0);
    EXPECT_EQ(BackBufferWidth(), modes[1].width);
    EXPECT_EQ(D3D9State().currentModeIndex, 1);
    ASSERT_TRUE(D3D9ChangeVideoMode(0));
    EXPECT_EQ(D3D9GetPresentParameters()->Windowed, 1);
    EXPECT_EQ(D3D9State().currentModeIndex, 0);
    EXPECT_TRUE(Frame());
}

TEST_F(Frames, ClearingTheDepthAlsoClearsStencilOnAStencilFormat)
{
    ASSERT_EQ(D3D9GetPresentParameters()->AutoDepthStencilFormat, D3DFMT_D24S8);
    Device()->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 9);
    D3D9SetStencilClear(3);
    const uint8_t colour[4] = {0, 0, 0, 0};
    ASSERT_NE(CameraClear(camera_, colour, 2), nullptr);
    // Stencil 3 passes an EQUAL test against 3, so a draw writes; 9 would not.
    ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
    Device()->SetRenderState(D3DRS_STENCILENABLE, 1);
    Device()->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    Device()->SetRenderState(D3DRS_STENCILREF, 3);
    Device()->SetRenderState(D3DRS_ZENABLE, 0);
    Device()->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    Device()->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    struct Vertex
    {
        float x, y, z, rhw;
        D3DCOLOR colour;
    } quad[4] = {{0, 0, 0, 1, 0xFFFFFFFF},
                 {20, 0, 0, 1, 0xFFFFFFFF},
                 {0, 20, 0, 1, 0xFFFFFFFF},
                 {20, 20, 0, 1, 0xFFFFFFFF}};
    Device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    D3D9ResetDeviceCache();
    CameraEndUpdate(camera_);
    IDirect3DSurface9* surface = nullptr;
    Device()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &surface);
    D3DLOCKED_RECT locked{};
    surface->LockRect(&locked, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(static_cast<const uint32_t*>(locked.pBits)[5 * locked.Pitch / 4 + 5] & 0xFFFFFF, 0xFFFFFFu);
    surface->UnlockRect();
    surface->Release();
}
