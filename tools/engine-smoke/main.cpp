// engine-smoke: the engine started on the Direct3D 9 driver in an SDL
// window, showing the smoke scene until Escape or the window is closed.
// Unattended: OLAI_EXIT_AFTER_FRAMES=N ends after N presented frames and
// OLAI_SCREENSHOT=path.png keeps the last one.

#include <SDL.h>

#include <cstdio>

#include "tools/cli/tool_cli.h"
#include "tools/engine-smoke/smokescene.h"

int main(int argc, char** argv)
{
    ToolCli::App app(
        "The engine started on the Direct3D 9 driver in an SDL window, showing the smoke scene until Escape "
        "or the window is closed. Unattended: OLAI_EXIT_AFTER_FRAMES=N, OLAI_SCREENSHOT=path.png.",
        "engine-smoke");
    int exitCode = 0;
    if (!ToolCli::Parse(app, argc, argv, &exitCode))
        return exitCode;
    constexpr int kWidth = 320;
    constexpr int kHeight = 240;
    HWND window = Win32WindowCreate("engine-smoke", kWidth, kHeight);
    if (!window) {
        std::fprintf(stderr, "engine-smoke: no window: %s\n", SDL_GetError());
        return 1;
    }
    if (!SmokeEngineStart(window)) {
        std::fprintf(stderr, "engine-smoke: the engine did not start\n");
        Win32WindowDestroy(window);
        return 1;
    }
    SmokeScene scene;
    int status = 0;
    if (!SmokeSceneCreate(&scene, kWidth, kHeight)) {
        std::fprintf(stderr, "engine-smoke: the scene could not be made\n");
        status = 1;
    } else {
        while (!Win32PeekQuit()) {
            Win32PumpEvents();
            const Uint8* keys = SDL_GetKeyboardState(nullptr);
            if (keys && keys[SDL_SCANCODE_ESCAPE]) {
                break;
            }
            SmokeSceneRender(&scene);
        }
        std::printf("engine-smoke: %u frames\n", scene.frames);
        SmokeSceneDestroy(&scene);
    }
    SmokeEngineStop();
    Win32WindowDestroy(window);
    return status;
}
