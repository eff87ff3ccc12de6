// overlay-demo: the debug character set and the logo on a camera, through
// the Direct3D 9 driver in an SDL window. The text is printed at once near
// the top and through the print buffer below it; the logo is overlaid at the
// end of every camera update at the chosen place. Ends when the window is
// closed or, unattended, after OLAI_EXIT_AFTER_FRAMES frames
// (OLAI_SCREENSHOT=path.png keeps the last one).
//
//   overlay-demo TEXT [--logo N]   N: the logo's place, 1 to 9 (default 8)
#include "tools/cli/tool_cli.h"

#include <cstdio>
#include <string>

#include "graphics/animation/logo.h"
#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/toolkit2d/charset.h"
#include "platform/win32/win32.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr int32_t kWidth = 320;
constexpr int32_t kHeight = 240;

bool EngineUp(HWND window)
{
    static EngineOpenParams params;
    params.displayId = window;
    EngineSetDeviceDriver(D3D9DriverGet());
    return EngineInit(nullptr, 0, 0x100000) && LogoPluginAttach() && EngineOpen(&params) && EngineStart();
}

void EngineDown()
{
    ToolEngineShutdown();
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app{"Draws a text with the debug character set, at once and buffered, and the logo."};
    std::string text;
    int logo = 8;
    app.add_option("text", text, "text to print")->required();
    app.add_option("--logo", logo, "the logo's place: 1 to 9")->check(ToolCli::Range(1, 9));
    int parseStatus = 0;
    if (!ToolCli::Parse(app, argc, argv, &parseStatus)) {
        return parseStatus;
    }

    HWND window = Win32WindowCreate("overlay-demo", kWidth, kHeight);
    if (window == nullptr) {
        std::fprintf(stderr, "overlay-demo: no window\n");
        return 1;
    }
    int status = 1;
    Camera* camera = nullptr;
    Charset* charset = nullptr;
    if (EngineUp(window) && LogoSetPosition(logo) && CharsetBufferOpen() &&
        (camera = CameraCreate()) != nullptr) {
        camera->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        const uint8_t white[4] = {255, 255, 255, 255};
        const uint8_t clear[4] = {0, 0, 0, 0};
        charset = CharsetCreate(white, clear);
        LogoCameraSetEnabled(camera, 1);
        if (camera->frameBuffer != nullptr && camera->zBuffer != nullptr && charset != nullptr) {
            status = 0;
            const uint8_t background[4] = {24, 40, 64, 255};
            int frames = 0;
            while (!Win32PeekQuit()) {
                Win32PumpEvents();
                CameraClear(camera, background, 3);
                if (CameraBeginUpdate(camera)) {
                    CharsetPrint(charset, text.c_str(), 16, 16);
                    CharsetPrintBuffered(charset, text.c_str(), 16, 40, 1);
                    CharsetBufferFlush();
                    CameraEndUpdate(camera);
                }
                RasterShowRaster(camera->frameBuffer, nullptr, 0);
                ++frames;
            }
            std::printf("overlay-demo: %d frames, logo at place %d\n", frames, LogoGetPosition());
        }
    }
    if (status != 0) {
        std::fprintf(stderr, "overlay-demo: the engine, camera or character set could not be made\n");
    }
    if (charset != nullptr) {
        CharsetDestroy(charset);
    }
    if (camera != nullptr) {
        if (camera->frameBuffer != nullptr) {
            RasterDestroy(camera->frameBuffer);
        }
        if (camera->zBuffer != nullptr) {
            RasterDestroy(camera->zBuffer);
        }
        CameraDestroy(camera);
    }
    CharsetBufferClose();
    EngineDown();
    Win32WindowDestroy(window);
    return status;
}
