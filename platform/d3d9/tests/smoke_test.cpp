#include <gtest/gtest.h>

#include "testdevice.h"

using namespace d3d9test;

TEST(Smoke, GouraudTriangle)
{
    TestDevice t(64, 64);
    ASSERT_NE(t.device, nullptr);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202020, 1.0f, 0);
    d->BeginScene();
    TVertex v[3] = {{32, 4, 0.5f, 1, 0xFFFF0000, 0, 0},
                    {60, 60, 0.5f, 1, 0xFF00FF00, 0, 0},
                    {4, 60, 0.5f, 1, 0xFF0000FF, 0, 0}};
    d->SetFVF(kTVertexFvf);
    EXPECT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(TVertex)), D3D_OK);
    d->EndScene();
    auto px = t.Pixels();
    IDirect3DSurface9* bb;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3D9SurfaceWritePng(bb, "/tmp/smoke.png");
    bb->Release();
    EXPECT_NE(px[40 * 64 + 32], 0xFF202020u);
}
