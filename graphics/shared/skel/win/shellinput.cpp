// Input devices and the translation of keyboard and mouse messages.
#include "graphics/shared/skel/win/shellinput.h"

#include "graphics/shared/skel/win/shellstate.h"
#include "platform/win32/cursor.h"
#include "platform/win32/debugout.h"

namespace {

ShellInputDevice gDevices[3] = {
    {ShellDeviceKeyboard, 0, nullptr},
    {ShellDeviceMouse, 0, nullptr},
    {ShellDevicePad, 0, nullptr},
};

ShellEventResult Send(int32_t device, ShellEvent event, void* param)
{
    const ShellInputDevice& d = gDevices[device];
    return (d.enabled && d.handler) ? d.handler(event, param) : ShellEventNotHandled;
}

void Report(const char* prefix, const char* text)
{
    OutputDebugStringA(prefix);
    OutputDebugStringA(text ? text : "");
    OutputDebugStringA("\n");
    // Lets the keyboard handler forget keys held while the message was shown.
    if (gDevices[ShellDeviceKeyboard].enabled) {
        ShellKeyRecord none{0xFF, 0xFF};
        Send(ShellDeviceKeyboard, ShellEventKeyUp, &none);
        Send(ShellDeviceKeyboard, ShellEventKeyDown, &none);
    }
}

} // namespace

int32_t ShellAttachInputDevice(int32_t device, ShellEventFunc handler)
{
    if (device < ShellDeviceKeyboard || device > ShellDevicePad)
        return 0;
    gDevices[device].handler = handler;
    gDevices[device].enabled = 1;
    return 1;
}

ShellEventResult ShellSendKeyboardEvent(ShellEvent event, void* param)
{
    return Send(ShellDeviceKeyboard, event, param);
}

ShellEventResult ShellSendMouseEvent(ShellEvent event, void* param)
{
    return Send(ShellDeviceMouse, event, param);
}

ShellEventResult ShellSendPadEvent(ShellEvent event, void* param)
{
    return Send(ShellDevicePad, event, param);
}

const ShellInputDevice* ShellGetInputDevices()
{
    return gDevices;
}

void ShellResetInputDevices()
{
    for (int32_t i = 0; i < 3; ++i)
        gDevices[i] = {i, 0, nullptr};
}

void ShellReportError(const char* text)
{
    Report("Error: ", text);
}

void ShellReportWarning(const char* text)
{
    Report("Warning: ", text);
}

void ShellKeyboardMessage(UINT message, WPARAM, LPARAM lParam)
{
    ShellKeyRecord key{ShellScanCode(lParam), 0};
    key.key = ShellKeyCode(key.scan);
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        if (uint32_t(lParam) & (1u << 30))
            return; // a held key's repeat
        ShellSendKeyboardEvent(ShellEventKeyDown, &key);
        if (message == WM_KEYDOWN && key.key == kShellKeyEscape)
            ShellEventHandler(ShellEventQuit, nullptr);
    } else if (message == WM_KEYUP || message == WM_SYSKEYUP) {
        ShellSendKeyboardEvent(ShellEventKeyUp, &key);
    }
}

void ShellMouseMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    ShellWindowInfo* info = ShellGetWindowInfo();
    ShellMouseRecord mouse{float(GET_X_LPARAM(lParam)), float(GET_Y_LPARAM(lParam)), 0, 0, 0, 0};
    switch (message) {
    case WM_MOUSEMOVE:
        if (!ShellWindowActive())
            return;
        if (info->pointerKnown) {
            mouse.dx = mouse.x - info->lastX;
            mouse.dy = mouse.y - info->lastY;
            ShellSendMouseEvent(ShellEventMouseMove, &mouse);
        }
        info->pointerKnown = 1;
        info->lastX = mouse.x;
        info->lastY = mouse.y;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        mouse.shift = (wParam & MK_SHIFT) ? 1 : 0;
        mouse.control = (wParam & MK_CONTROL) ? 1 : 0;
        SetCapture(window);
        ShellSendMouseEvent(message == WM_LBUTTONDOWN ? ShellEventLeftButtonDown : ShellEventRightButtonDown,
                            &mouse);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        ReleaseCapture();
        ShellSendMouseEvent(message == WM_LBUTTONUP ? ShellEventLeftButtonUp : ShellEventRightButtonUp,
                            nullptr);
        break;
    case WM_MOUSEWHEEL: {
        int32_t forward = GET_WHEEL_DELTA_WPARAM(wParam) >= 0 ? 1 : 0;
        ShellSendMouseEvent(ShellEventMouseWheel, &forward);
        break;
    }
    default:
        break;
    }
}
