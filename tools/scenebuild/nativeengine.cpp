#include "tools/scenebuild/nativeengine.h"

#include <cstdlib>

#include "graphics/core/engine.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/scenelibrary.h"
#include "platform/win32/win32.h"

bool NativeEngineStart()
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
        D3D9SceneRendererInstall();
        return EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && EngineOpen(&params) &&
               EngineStart();
    }();
    return started;
}
