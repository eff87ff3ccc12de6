#pragma once
// Helpers of the driver tests: the engine started on the software device in
// a headless SDL window, torn down again whatever a test left behind, with
// a check that no device object outlives the engine.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/driverstate.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/win32/win32.h"

/// An adapter with a description and a desktop mode.
inline D3D9AdapterConfig TestAdapter(const char* description, D3DFORMAT desktopFormat, UINT width = 1024,
                                     UINT height = 768)
{
    D3D9AdapterConfig adapter = D3D9DefaultAdapter();
    std::snprintf(adapter.description, sizeof(adapter.description), "%s", description);
    adapter.desktop = {width, height, 60, desktopFormat};
    return adapter;
}

class EngineFixture : public ::testing::Test
{
  protected:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;

    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) {
            setenv("SDL_VIDEODRIVER", "offscreen", 0);
        }
        window_ = Win32WindowCreate("d3d9 test", kWidth, kHeight);
        ASSERT_NE(window_, nullptr);
        EngineSetDeviceDriver(D3D9DriverGet());
    }

    void TearDown() override
    {
        Shutdown();
        Win32WindowDestroy(window_);
        D3D9ResetAdapters();
        EXPECT_EQ(D3D9LiveObjectCount(), 0) << "device objects outlived the engine";
    }

    bool Init() { return EngineInit(nullptr, 0, 0x400000); }
    bool Open()
    {
        params_.displayId = window_;
        return EngineOpen(&params_);
    }
    bool Start() { return Init() && Open() && EngineStart(); }

    void Shutdown()
    {
        if (EngineGetState() == kEngineStateStarted) {
            EngineStop();
        }
        if (EngineGetState() == kEngineStateOpened) {
            EngineClose();
        }
        if (EngineGetState() == kEngineStateInitialised) {
            EngineTerm();
        }
    }

    IDirect3DDevice9* Device() { return D3D9GetDevice(); }
    DWORD DeviceRenderState(D3DRENDERSTATETYPE state)
    {
        DWORD value = 0;
        Device()->GetRenderState(state, &value);
        return value;
    }
    DWORD DeviceSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type)
    {
        DWORD value = 0;
        Device()->GetSamplerState(sampler, type, &value);
        return value;
    }

    HWND window_ = nullptr;
    EngineOpenParams params_{};
};
