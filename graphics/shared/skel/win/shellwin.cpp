// The entry point, the main window and the message loop.
#include "graphics/shared/skel/win/shellwin.h"

#include <cstdlib>

#include "graphics/shared/skel/win/devicechooser.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/splitcommandline.h"
#include "platform/win32/commandline.h"
#include "platform/win32/cursor.h"
#include "platform/win32/dragdrop.h"

namespace {

void RaiseForArguments(ShellEvent event, char** argv, int32_t argc)
{
    for (int32_t i = 1; i < argc; ++i)
        ShellEventHandler(event, argv[i]);
}

void Resize(HWND window, int32_t width, int32_t height)
{
    ShellRect rect{0, 0, width, height};
    ShellEventHandler(ShellEventResize, &rect);
    if (rect.width != width && rect.height != height) {
        // The application asked for another size: let go of the mouse, and
        // tell a maximised window that its place changed.
        ReleaseCapture();
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMAXIMIZED)
            SendMessageA(window, WM_WINDOWPOSCHANGED, 0, 0);
    }
}

int RunLoop()
{
    ShellSettings* settings = ShellGetSettings();
    MSG message{};
    while (!settings->quit) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
            if (message.message == WM_QUIT)
                return int(message.wParam);
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else if (!ShellWindowActive()) {
            WaitMessage();
        } else if (ShellEngineStarted()) {
            ShellEventHandler(ShellEventIdle, nullptr);
        }
    }
    return 0;
}

} // namespace

int ShellWinMain(HINSTANCE instance, HINSTANCE, const char*, int showCommand)
{
    // A start that fails is a failure unless this run asks to end; what an
    // earlier run in the same process chose says nothing about this one.
    ShellClearStartExitCode();
    if (ShellEventHandler(ShellEventInitialise, nullptr) == ShellEventFailed)
        return 1;
    if (!ShellRegisterWindowClass(instance))
        return 1;
    int32_t argc = 0;
    char** argv = SplitCommandLine(GetCommandLineA(), &argc);
    if (!argv) {
        UnregisterClassA(kShellWindowClass, instance);
        return 1;
    }
    RaiseForArguments(ShellEventEarlyArgument, argv, argc);
    ShellWindowInfo* info = ShellGetWindowInfo();
    info->window = ShellCreateWindow(instance);
    info->instance = instance;
    int exitCode = 0;
    if (!info->window) {
        std::free(argv);
        UnregisterClassA(kShellWindowClass, instance);
        return 1;
    }
    if (ShellEventHandler(ShellEventStartEngine, info->window) == ShellEventFailed) {
        DestroyWindow(info->window);
        info->window = nullptr;
        ShellEventHandler(ShellEventTerminate, nullptr);
        std::free(argv);
        UnregisterClassA(kShellWindowClass, instance);
        return ShellStartExitCode(); // an engine that did not start is a failure, unless asked for
    }
    ShellSetEngineStarted(true);
    RaiseForArguments(ShellEventArgument, argv, argc);
    const ShellSettings* settings = ShellGetSettings();
    ShellRect rect{0, 0, settings->width, settings->height};
    ShellEventHandler(ShellEventResize, &rect);
    ShowWindow(info->window, showCommand);
    UpdateWindow(info->window);
    const float centre[2] = {float(settings->width) * 0.5f, float(settings->height) * 0.5f};
    ShellSetCursorPosition(centre);
    exitCode = RunLoop();
    ShellSetEngineStarted(false);
    ShellEventHandler(ShellEventStopEngine, nullptr);
    DestroyWindow(info->window);
    info->window = nullptr;
    ShellEventHandler(ShellEventTerminate, nullptr);
    std::free(argv);
    UnregisterClassA(kShellWindowClass, instance);
    return exitCode;
}

ATOM ShellRegisterWindowClass(HINSTANCE instance)
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kShellWindowClass;
    return RegisterClassA(&windowClass);
}

HWND ShellCreateWindow(HINSTANCE instance)
{
    const ShellSettings* settings = ShellGetSettings();
    RECT rect{0, 0, settings->width, settings->height};
    AdjustWindowRectEx(&rect, WS_OVERLAPPEDWINDOW, 0, 0);
    return CreateWindowExA(0, kShellWindowClass, settings->applicationName, WS_OVERLAPPEDWINDOW,
                           CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top,
                           nullptr, nullptr, instance, nullptr);
}

LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        DragAcceptFiles(window, 1);
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
        ClipCursor(nullptr);
        PostQuitMessage(0);
        return 0;
    case WM_SIZE: {
        const int32_t width = LOWORD(uintptr_t(lParam)), height = HIWORD(uintptr_t(lParam));
        if (ShellEngineStarted() && width > 0 && height > 0)
            Resize(window, width, height);
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != 0) {
            KillTimer(window, 1);
            ShellSetWindowActive(true);
            ShellEventHandler(ShellEventActivate, reinterpret_cast<void*>(intptr_t(1)));
        } else {
            SetTimer(window, 1, 20, nullptr);
            ShellSetWindowActive(false);
            ShellEventHandler(ShellEventActivate, reinterpret_cast<void*>(intptr_t(0)));
        }
        return 0;
    case WM_TIMER:
        if (ShellEngineStarted())
            ShellEventHandler(ShellEventIdle, nullptr);
        return 0;
    case WM_SIZING: {
        if (ShellEngineStarted())
            ShellEventHandler(ShellEventIdle, nullptr);
        const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
        if (proposed)
            SetWindowPos(window, nullptr, 0, 0, proposed->right - proposed->left,
                         proposed->bottom - proposed->top, SWP_NOMOVE);
        return 0;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        ShellKeyboardMessage(message, wParam, lParam);
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
        ShellMouseMessage(window, message, wParam, lParam);
        return 0;
    case WM_DROPFILES:
        ShellDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND ShellGetWindow()
{
    return ShellGetWindowInfo()->window;
}

HINSTANCE ShellGetInstance()
{
    return ShellGetWindowInfo()->instance;
}

void ShellSetWindowTitle(const char* text)
{
    SetWindowTextA(ShellGetWindow(), text);
}

void ShellSetTopmost(bool topmost)
{
    HWND window = ShellGetWindow();
    RECT rect{};
    if (!GetWindowRect(window, &rect))
        return;
    SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, 0);
}

void ShellShowCursor(bool show)
{
    ShowCursor(show ? 1 : 0);
}

void ShellSetCursorPosition(const float point[2])
{
    if (!ShellWindowActive())
        return;
    ShellWindowInfo* info = ShellGetWindowInfo();
    info->pointerKnown = 0;
    POINT screen{LONG(point[0]), LONG(point[1])};
    if (ClientToScreen(info->window, &screen))
        SetCursorPos(screen.x, screen.y);
}
