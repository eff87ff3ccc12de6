// SDL2 windows behind Win32-style handles.
#include "platform/win32/win32.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/win32/environment.h"
#include "platform/win32/inputscript.h"
#include "platform/win32/windowrecord.h"

namespace {

/// The largest OLAI_EXIT_AFTER_FRAMES: over a year of frames at 30 a second.
constexpr long kMostFrames = 1000000000;

struct Win32State
{
    int initCount = 0;
    bool quit = false;
    HWND__* windows = nullptr;
};

Win32State& State()
{
    static Win32State state;
    return state;
}

HWND__* Find(HWND window)
{
    for (HWND__* w = State().windows; w; w = w->next)
        if (w == window)
            return w;
    return nullptr;
}

} // namespace

bool Win32Initialize()
{
    Win32State& s = State();
    if (s.initCount > 0) {
        ++s.initCount;
        return true;
    }
    // The device hands SDL finished frames: a plain software framebuffer is
    // all a window needs, and it spares loading GL drivers.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // No display: fall back to the offscreen driver, then the dummy one, so a
        // run without a display still has a (never shown) window.
        const char* fallbacks[] = {"offscreen", "dummy"};
        bool ok = false;
        for (const char* driver : fallbacks) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
                ok = true;
                break;
            }
        }
        if (!ok)
            return false;
    }
    s.initCount = 1;
    return true;
}

void Win32Shutdown()
{
    Win32State& s = State();
    if (s.initCount == 0)
        return;
    if (--s.initCount == 0) {
        while (s.windows)
            Win32WindowDestroy(s.windows);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
}

HWND Win32WindowCreate(const char* title, int width, int height)
{
    return Win32WindowCreateShown(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                  true);
}

HWND Win32WindowCreateShown(const char* title, int x, int y, int width, int height, bool visible)
{
    if (width < 1 || height < 1 || !Win32Initialize())
        return nullptr;
    SDL_Window* sdl = SDL_CreateWindow(title ? title : "", x, y, width, height,
                                       SDL_WINDOW_RESIZABLE | (visible ? 0 : SDL_WINDOW_HIDDEN));
    if (!sdl) {
        Win32Shutdown();
        return nullptr;
    }
    LONG style = LONG(WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0));
    auto* w = new HWND__{sdl, SDL_GetWindowID(sdl), style, 0, false, State().windows, nullptr, false, false};
    State().windows = w;
    return w;
}

HWND__* Win32FindWindow(HWND window)
{
    return Find(window);
}

HWND__* Win32FindWindowById(uint32_t id)
{
    for (HWND__* w = State().windows; w; w = w->next)
        if (w->id == id)
            return w;
    return nullptr;
}

HWND__* Win32MainWindow()
{
    for (HWND__* w = State().windows; w; w = w->next)
        if (w->proc)
            return w;
    return State().windows;
}

void Win32WindowDestroy(HWND window)
{
    HWND__* w = Find(window);
    if (!w)
        return;
    HWND__** link = &State().windows;
    while (*link != w)
        link = &(*link)->next;
    *link = w->next;
    Win32ForgetWindowMessages(w);
    SDL_DestroyWindow(w->sdl);
    delete w;
    Win32Shutdown();
}

void* Win32WindowGetSdl(HWND window)
{
    HWND__* w = Find(window);
    return w ? w->sdl : nullptr;
}

void Win32PumpEvents()
{
    if (State().initCount == 0)
        return;
    InputScriptStart();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT)
            State().quit = true;
        if (event.type == SDL_WINDOWEVENT) {
            if (HWND__* w = Win32FindWindowById(event.window.windowID)) {
                if (event.window.event == SDL_WINDOWEVENT_MINIMIZED)
                    w->minimised = true;
                else if (event.window.event == SDL_WINDOWEVENT_RESTORED ||
                         event.window.event == SDL_WINDOWEVENT_MAXIMIZED)
                    w->minimised = false;
            }
        }
        // Windows with a procedure also get the event as window messages.
        Win32TranslateSdlEvent(event);
    }
    Win32FinishSdlEvents();
}

void Win32PostQuit()
{
    State().quit = true;
    if (State().initCount > 0) {
        SDL_Event event{};
        event.type = SDL_QUIT;
        SDL_PushEvent(&event);
    }
}

bool Win32PeekQuit()
{
    return State().quit;
}

void Win32ClearQuit()
{
    State().quit = false;
}

long Win32ExitAfterFrames()
{
    return Win32EnvironmentNumber("OLAI_EXIT_AFTER_FRAMES", 1, kMostFrames, 0);
}

BOOL GetClientRect(HWND window, RECT* rect)
{
    HWND__* w = Find(window);
    if (!w || !rect)
        return 0;
    int width = 0, height = 0;
    SDL_GetWindowSize(w->sdl, &width, &height);
    *rect = {0, 0, width, height};
    return 1;
}

BOOL GetWindowRect(HWND window, RECT* rect)
{
    HWND__* w = Find(window);
    if (!w || !rect)
        return 0;
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &width, &height);
    *rect = {x, y, x + width, y + height};
    return 1;
}

BOOL IsIconic(HWND window)
{
    HWND__* w = Find(window);
    return (w && (w->minimised || (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MINIMIZED))) ? 1 : 0;
}

BOOL ShowWindow(HWND window, int command)
{
    HWND__* w = Find(window);
    if (!w)
        return 0;
    BOOL wasVisible = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) ? 1 : 0;
    switch (command) {
    case SW_HIDE:
        SDL_HideWindow(w->sdl);
        w->style &= ~LONG(WS_VISIBLE);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        SDL_MinimizeWindow(w->sdl);
        w->minimised = true;
        break;
    case SW_MAXIMIZE:
        SDL_MaximizeWindow(w->sdl);
        w->style |= LONG(WS_MAXIMIZE);
        w->minimised = false;
        break;
    case SW_RESTORE:
        SDL_RestoreWindow(w->sdl);
        SDL_ShowWindow(w->sdl);
        w->style = (w->style & ~LONG(WS_MAXIMIZE)) | LONG(WS_VISIBLE);
        w->minimised = false;
        break;
    default:
        SDL_ShowWindow(w->sdl);
        w->style |= LONG(WS_VISIBLE);
        break;
    }
    // Showing a window activates it, as Windows does for a top-level window.
    if (w->proc && command != SW_HIDE && command != SW_MINIMIZE && command != SW_SHOWMINIMIZED)
        Win32SetActive(w, true);
    return wasVisible;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    HWND__* w = Find(window);
    if (!w)
        return 0;
    if (!(flags & SWP_NOZORDER) && (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST)) {
        const bool topmost = insertAfter == HWND_TOPMOST;
        SDL_SetWindowAlwaysOnTop(w->sdl, topmost ? SDL_TRUE : SDL_FALSE);
        w->exStyle = topmost ? (w->exStyle | LONG(WS_EX_TOPMOST)) : (w->exStyle & ~LONG(WS_EX_TOPMOST));
    }
    if (flags & SWP_FRAMECHANGED) {
        // A popup window without a caption is how a program covers the
        // screen: SDL's full-screen desktop mode does that.
        const bool popup = (w->style & LONG(WS_POPUP)) && !(w->style & LONG(WS_CAPTION));
        SDL_SetWindowFullscreen(w->sdl, popup ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    }
    if (!(flags & SWP_NOMOVE))
        SDL_SetWindowPosition(w->sdl, x, y);
    if (!(flags & SWP_NOSIZE) && cx > 0 && cy > 0)
        SDL_SetWindowSize(w->sdl, cx, cy);
    return 1;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD, BOOL, DWORD)
{
    return rect ? 1 : 0;
}

LONG GetWindowLongA(HWND window, int index)
{
    HWND__* w = Find(window);
    if (!w)
        return 0;
    if (index == GWL_STYLE) {
        LONG style = w->style & ~LONG(WS_MAXIMIZE);
        if (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_MAXIMIZED)
            style |= LONG(WS_MAXIMIZE);
        return style;
    }
    return index == GWL_EXSTYLE ? w->exStyle : 0;
}

LONG SetWindowLongA(HWND window, int index, LONG value)
{
    HWND__* w = Find(window);
    if (!w)
        return 0;
    LONG old = GetWindowLongA(window, index);
    if (index == GWL_STYLE) {
        if ((old & LONG(WS_MAXIMIZE)) && !(value & LONG(WS_MAXIMIZE)))
            SDL_RestoreWindow(w->sdl);
        w->style = value;
    } else if (index == GWL_EXSTYLE) {
        w->exStyle = value;
    }
    return old;
}

HMENU GetMenu(HWND)
{
    return nullptr;
}
