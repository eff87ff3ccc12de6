#include "tools/viewershell/viewershell.h"

#include "graphics/core/camera.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr float kNearClip = 0.1f;

Camera* gCamera = nullptr;
const ViewerProgram* gProgram = nullptr;

ShellEventResult Keyboard(ShellEvent event, void* param)
{
    if (MenuKeyboardHandler(event, param) != ShellEventNotHandled)
        return ShellEventHandled;
    return gProgram->keyboard != nullptr ? gProgram->keyboard(event, param) : ShellEventNotHandled;
}

ShellEventResult Mouse(ShellEvent event, void* param)
{
    if (MenuMouseHandler(event, param) != ShellEventNotHandled)
        return ShellEventHandled;
    return gProgram->mouse != nullptr ? gProgram->mouse(event, param) : ShellEventNotHandled;
}

bool Start(const ViewerProgram& program, HWND window)
{
    if (!ShellStartEngine(window))
        return false;
    const ShellSettings* settings = ShellGetSettings();
    gCamera = ShellCameraCreate(settings->width, settings->height, true);
    if (gCamera == nullptr)
        return false;
    CameraSetNearClipPlane(gCamera, kNearClip);
    CameraSetFarClipPlane(gCamera, program.farClip);
    if (!MenuOpen(true, nullptr, nullptr))
        return false;
    MenuSetMode(kMenuHidden);
    if (!program.start(gCamera))
        return false;
    gProgram = &program;
    ShellAttachInputDevice(ShellDeviceKeyboard, Keyboard);
    ShellAttachInputDevice(ShellDeviceMouse, Mouse);
    return true;
}

void Stop(const ViewerProgram& program)
{
    program.stop();
    MenuClose();
    ShellCameraDestroy(gCamera);
    gCamera = nullptr;
    ShellStopEngine();
}

void RenderFrame(const ViewerProgram& program)
{
    if (gCamera == nullptr)
        return;
    program.update();
    CameraClear(gCamera, program.background, 3);
    if (!CameraBeginUpdate(gCamera))
        return;
    program.draw(gCamera);
    MenuRender(gCamera);
    CameraEndUpdate(gCamera);
    ShellCameraShowRaster(gCamera);
}

} // namespace

Camera* ViewerCamera()
{
    return gCamera;
}

ShellEventResult ViewerHandleEvent(const ViewerProgram& program, ShellEvent event, void* param)
{
    switch (event) {
    case ShellEventInitialise: {
        if (!ShellInitialize())
            return ShellEventFailed;
        ShellSettings* settings = ShellGetSettings();
        settings->width = kWidth;
        settings->height = kHeight;
        settings->applicationName = program.name;
        return ShellEventHandled;
    }
    case ShellEventAttachPlugins:
        return program.attachPlugins == nullptr || program.attachPlugins() ? ShellEventHandled
                                                                           : ShellEventFailed;
    case ShellEventStartEngine:
        return Start(program, static_cast<HWND>(param)) ? ShellEventHandled : ShellEventFailed;
    case ShellEventStopEngine:
        Stop(program);
        return ShellEventHandled;
    case ShellEventResize:
        if (gCamera != nullptr) {
            const auto* r = static_cast<const ShellRect*>(param);
            const ShellCameraRect rect{r->x, r->y, r->width, r->height};
            ShellCameraSize(gCamera, &rect, 0.5f, 4.0f / 3.0f);
        }
        return ShellEventHandled;
    case ShellEventIdle:
        RenderFrame(program);
        return ShellEventHandled;
    default:
        return ShellEventNotHandled;
    }
}
