// Clear, colour fill, stretch-rect, update-surface and get-render-target-data.
#include <gtest/gtest.h>

#include "platform/d3d9/d3d9control.h"
#include "testdevice.h"

using namespace d3d9test;

TEST(Clear, WholeTargetRectanglesAndViewport)
{
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    ASSERT_EQ(
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF102030, 1.0f, 0),
        D3D_OK);
    EXPECT_EQ(t.Pixel(0, 0), 0xFF102030u);
    EXPECT_EQ(t.Pixel(15, 15), 0xFF102030u);
    D3DRECT rects[2] = {{2, 2, 4, 4}, {10, 12, 30, 30}}; // the second is clipped to the target
    ASSERT_EQ(d->Clear(2, rects, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    EXPECT_EQ(t.Pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(t.Pixel(3, 3), 0xFFFF0000u);
    EXPECT_EQ(t.Pixel(4, 4), 0xFF102030u);
    EXPECT_EQ(t.Pixel(15, 15), 0xFFFF0000u);
    D3DVIEWPORT9 vp{8, 0, 8, 8, 0, 1};
    ASSERT_EQ(d->SetViewport(&vp), D3D_OK);
    ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    EXPECT_EQ(t.Pixel(7, 0), 0xFF102030u);
    EXPECT_EQ(t.Pixel(8, 0), 0xFF00FF00u);
    EXPECT_EQ(t.Pixel(8, 8), 0xFF102030u);
    EXPECT_EQ(d->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 2.0f, 0), D3DERR_INVALIDCALL) << "z outside [0, 1]";
    EXPECT_EQ(d->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST(Clear, LargeClearsCoverEveryRowOnAnyThreadCount)
{
    // Large enough to be cut into bands of rows for the device threads.
    constexpr int kWidth = 300, kHeight = 250;
    for (int threads : {1, 3, 8}) {
        D3D9SetDeviceThreads(threads, false);
        TestDevice t(kWidth, kHeight);
        IDirect3DDevice9* d = t.device;
        ASSERT_EQ(d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 0.25f, 0), D3D_OK);
        const D3DRECT inner{5, 7, 290, 243};
        ASSERT_EQ(d->Clear(1, &inner, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
        // Behind the cleared depth everywhere: draws nothing.
        d->BeginScene();
        DrawRect(d, 0, 0, kWidth, kHeight, 0.3f, 0xFF00FF00);
        d->EndScene();
        const std::vector<uint32_t> pixels = t.Pixels();
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const bool in = x >= inner.x1 && x < inner.x2 && y >= inner.y1 && y < inner.y2;
                wrong += pixels[size_t(y) * kWidth + size_t(x)] != (in ? 0xFFFF0000u : 0xFF102030u);
            }
        EXPECT_EQ(wrong, 0) << threads << " threads";
    }
    D3D9SetDeviceThreads(0, false);
}

TEST(Clear, SixteenBitTargetRoundsToItsLevels)
{
    TestDevice t(4, 4, D3DFMT_R5G6B5);
    ASSERT_NE(t.device, nullptr);
    ASSERT_EQ(t.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFF8000, 1.0f, 0), D3D_OK);
    uint32_t c = t.Pixel(1, 1);
    EXPECT_EQ(Red(c), 255);
    EXPECT_NEAR(Green(c), 128, 3);
    EXPECT_EQ(Blue(c), 0);
}

TEST(Clear, ColorFillStretchRectAndCopies)
{
    TestDevice t(8, 8);
    IDirect3DDevice9* d = t.device;
    IDirect3DSurface9 *src = nullptr, *bb = nullptr, *sys = nullptr;
    ASSERT_EQ(d->CreateRenderTarget(2, 2, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, 0, &src, nullptr), D3D_OK);
    RECT left{0, 0, 1, 2}, right{1, 0, 2, 2};
    ASSERT_EQ(d->ColorFill(src, &left, 0xFF000000), D3D_OK);
    ASSERT_EQ(d->ColorFill(src, &right, 0xFFFFFFFF), D3D_OK);
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    ASSERT_EQ(d->StretchRect(src, nullptr, bb, nullptr, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(t.Pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(t.Pixel(3, 5), 0xFF000000u);
    EXPECT_EQ(t.Pixel(4, 5), 0xFFFFFFFFu);
    ASSERT_EQ(d->StretchRect(src, nullptr, bb, nullptr, D3DTEXF_LINEAR), D3D_OK);
    // Linear: dark at the left edge, bright at the right, a ramp between.
    EXPECT_EQ(Red(t.Pixel(0, 0)), 0);
    EXPECT_EQ(Red(t.Pixel(7, 0)), 255);
    EXPECT_NEAR(Red(t.Pixel(4, 0)), 128 + 32, 2);
    EXPECT_EQ(d->StretchRect(src, nullptr, src, nullptr, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    // Update a default-pool surface from system memory, read it back.
    ASSERT_EQ(d->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    sys->LockRect(&lr, nullptr, 0);
    static_cast<uint32_t*>(lr.pBits)[3] = 0xFF123456;
    sys->UnlockRect();
    POINT at{0, 0};
    ASSERT_EQ(d->UpdateSurface(sys, nullptr, src, &at), D3D_OK);
    IDirect3DSurface9* readBack = nullptr;
    d->CreateOffscreenPlainSurface(2, 2, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &readBack, nullptr);
    ASSERT_EQ(d->GetRenderTargetData(src, readBack), D3D_OK);
    readBack->LockRect(&lr, nullptr, D3DLOCK_READONLY);
    EXPECT_EQ(static_cast<uint32_t*>(lr.pBits)[3], 0xFF123456u);
    readBack->UnlockRect();
    IDirect3DSurface9* other = nullptr;
    d->CreateOffscreenPlainSurface(2, 2, D3DFMT_R5G6B5, D3DPOOL_SYSTEMMEM, &other, nullptr);
    EXPECT_EQ(d->UpdateSurface(other, nullptr, src, nullptr), D3DERR_INVALIDCALL) << "formats differ";
    RECT tooBig{0, 0, 3, 2};
    EXPECT_EQ(d->UpdateSurface(sys, &tooBig, src, nullptr), D3DERR_INVALIDCALL);
    other->Release();
    for (IDirect3DSurface9* s : {src, bb, sys, readBack})
        s->Release();
}
