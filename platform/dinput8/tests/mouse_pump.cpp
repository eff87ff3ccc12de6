// The stand-in's mouse fed by the window layer's SDL event pump: relative
// motion, buttons and a focus loss arrive as a running program gets them.
#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/dinput8/dinput8.h"
#include "platform/win32/messagequeue.h"
#include "platform/win32/timing.h"
#include "platform/win32/windowclass.h"

namespace {

LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(MousePump, SdlEventsReachTheAcquiredMouse)
{
    Win32ResetMessageQueue();
    WNDCLASSA c{};
    c.lpfnWndProc = Proc;
    c.lpszClassName = "MouseClass";
    ASSERT_NE(RegisterClassA(&c), 0);
    HWND window = CreateWindowExA(0, "MouseClass", "m", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 64,
                                  48, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    void* out = nullptr;
    ASSERT_EQ(
        DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A, &out, nullptr),
        DI_OK);
    auto* input = static_cast<IDirectInput8*>(out);
    IDirectInputDevice8* mouse = nullptr;
    ASSERT_EQ(input->CreateDevice(GUID_SysMouse, &mouse, nullptr), DI_OK);
    mouse->SetDataFormat(&c_dfDIMouse);
    mouse->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
    DIPROPDWORD buffer{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 64};
    mouse->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph);
    ASSERT_EQ(mouse->Acquire(), DI_OK);

    const uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(window)));
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.xrel = 6;
    e.motion.yrel = -2;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = id;
    e.button.button = SDL_BUTTON_RIGHT;
    SDL_PushEvent(&e);
    MSG m{};
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);

    DIDEVICEOBJECTDATA items[8];
    DWORD count = 8;
    ASSERT_EQ(mouse->GetDeviceData(sizeof items[0], items, &count, 0), DI_OK);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(items[0].dwOfs, DIMOFS_X);
    EXPECT_EQ(items[0].dwData, 6u);
    EXPECT_EQ(int32_t(items[1].dwData), -2);
    EXPECT_EQ(items[2].dwOfs, DIMOFS_BUTTON1);
    EXPECT_EQ(items[2].dwData, 0x80u);

    e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
    count = 8;
    EXPECT_EQ(mouse->GetDeviceData(sizeof items[0], items, &count, 0), DIERR_INPUTLOST);

    mouse->Release();
    input->Release();
    DestroyWindow(window);
    UnregisterClassA("MouseClass", nullptr);
    Win32ResetMessageQueue();
}

} // namespace
