#pragma once
// For fuzz targets of the Direct3D 9 driver's readers: starts the engine
// once on the driver and the software device, in a headless window.

#include <cstdlib>

#include "graphics/core/engine.h"
#include "graphics/d3d9/d3d9device.h"
#include "platform/win32/win32.h"

/// True once the engine is started on the driver (started on the first call).
inline bool FuzzDriverStart()
{
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        static HWND window = Win32WindowCreate("fuzz", 64, 64);
        if (!window) {
            return false;
        }
        EngineSetDeviceDriver(D3D9DriverGet());
        static EngineOpenParams params{};
        params.displayId = window;
        return EngineInit(nullptr, 0, 0x400000) && EngineOpen(&params) && EngineStart();
    }();
    return started;
}
