// Registered window classes and windows with a procedure.
#include "platform/win32/windowclass.h"

#include <SDL.h>

#include <string>
#include <vector>

#include "platform/win32/windowrecord.h"

namespace {

struct ClassEntry
{
    std::string name;
    WNDPROC proc;
    ATOM atom;
};

struct ClassState
{
    std::vector<ClassEntry> classes;
    ATOM nextAtom = 0xC000; // registered class atoms start here on Windows
};

ClassState& Classes()
{
    static ClassState state;
    return state;
}

const ClassEntry* FindClass(const char* name)
{
    if (!name)
        return nullptr;
    for (const ClassEntry& c : Classes().classes)
        if (c.name == name)
            return &c;
    return nullptr;
}

char gInstanceToken;
char gArrowToken;

} // namespace

HINSTANCE GetModuleHandleA(const char*)
{
    return &gInstanceToken;
}

HCURSOR LoadCursorA(HINSTANCE, const char* name)
{
    return name == IDC_ARROW ? &gArrowToken : nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* windowClass)
{
    if (!windowClass || !windowClass->lpfnWndProc || !windowClass->lpszClassName ||
        !*windowClass->lpszClassName || FindClass(windowClass->lpszClassName))
        return 0;
    ClassState& s = Classes();
    s.classes.push_back({windowClass->lpszClassName, windowClass->lpfnWndProc, s.nextAtom++});
    return s.classes.back().atom;
}

BOOL UnregisterClassA(const char* name, HINSTANCE)
{
    auto& classes = Classes().classes;
    for (auto it = classes.begin(); it != classes.end(); ++it) {
        if (name && it->name == name) {
            classes.erase(it);
            return 1;
        }
    }
    return 0;
}

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param)
{
    const ClassEntry* c = FindClass(className);
    if (!c)
        return nullptr;
    if (width == CW_USEDEFAULT || height == CW_USEDEFAULT) {
        width = 640;
        height = 480;
    }
    // Windows allows an empty client area; SDL windows need a pixel.
    width = width < 1 ? 1 : width;
    height = height < 1 ? 1 : height;
    const int sdlX = x == CW_USEDEFAULT ? int(SDL_WINDOWPOS_UNDEFINED) : x;
    const int sdlY = x == CW_USEDEFAULT ? int(SDL_WINDOWPOS_UNDEFINED) : y;
    HWND window = Win32WindowCreateShown(title, sdlX, sdlY, width, height, (style & WS_VISIBLE) != 0);
    HWND__* w = Win32FindWindow(window);
    if (!w)
        return nullptr;
    w->proc = c->proc;
    w->style = LONG(style);
    w->exStyle = LONG(exStyle);
    CREATESTRUCTA create{param, instance, menu,        parent, height,    width,
                         y,     x,        LONG(style), title,  className, exStyle};
    if (w->proc(window, WM_CREATE, 0, LPARAM(reinterpret_cast<intptr_t>(&create))) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (style & WS_VISIBLE)
        Win32SetActive(w, true);
    return window;
}

BOOL DestroyWindow(HWND window)
{
    HWND__* w = Win32FindWindow(window);
    if (!w)
        return 0;
    if (w->proc)
        w->proc(window, WM_DESTROY, 0, 0);
    Win32WindowDestroy(window);
    return 1;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLOSE)
        DestroyWindow(window);
    return 0;
}

BOOL UpdateWindow(HWND window)
{
    return Win32FindWindow(window) ? 1 : 0;
}

BOOL SetWindowTextA(HWND window, const char* text)
{
    HWND__* w = Win32FindWindow(window);
    if (!w)
        return 0;
    SDL_SetWindowTitle(w->sdl, text ? text : "");
    return 1;
}

BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement)
{
    HWND__* w = Win32FindWindow(window);
    if (!w || !placement || placement->length != sizeof(WINDOWPLACEMENT))
        return 0;
    const Uint32 flags = SDL_GetWindowFlags(w->sdl);
    placement->flags = 0;
    if (IsIconic(window))
        placement->showCmd = SW_SHOWMINIMIZED;
    else if (flags & SDL_WINDOW_MAXIMIZED)
        placement->showCmd = SW_SHOWMAXIMIZED;
    else
        placement->showCmd = SW_SHOWNORMAL;
    placement->ptMinPosition = {-1, -1};
    placement->ptMaxPosition = {-1, -1};
    GetWindowRect(window, &placement->rcNormalPosition);
    return 1;
}

BOOL Win32IsActive(HWND window)
{
    HWND__* w = Win32FindWindow(window);
    return (w && w->active) ? 1 : 0;
}
