// Cursor visibility, position, capture and clipping.
#include "platform/win32/cursor.h"

#include <SDL.h>

#include "platform/win32/windowrecord.h"

namespace {

struct CursorState
{
    int showCount = 0;
    HWND capture = nullptr;
    bool clipped = false;
    RECT clip{};
};

CursorState& Cursor()
{
    static CursorState state;
    return state;
}

} // namespace

int ShowCursor(BOOL show)
{
    CursorState& c = Cursor();
    c.showCount += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(c.showCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return c.showCount;
}

BOOL SetCursorPos(int x, int y)
{
    HWND__* w = Win32MainWindow();
    if (!w)
        return 0;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(w->sdl, &wx, &wy);
    SDL_WarpMouseInWindow(w->sdl, x - wx, y - wy);
    return 1;
}

BOOL ClientToScreen(HWND window, POINT* point)
{
    HWND__* w = Win32FindWindow(window);
    if (!w || !point)
        return 0;
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(w->sdl, &wx, &wy);
    point->x += wx;
    point->y += wy;
    return 1;
}

HWND SetCapture(HWND window)
{
    HWND previous = Cursor().capture;
    if (!Win32FindWindow(window))
        return previous;
    Cursor().capture = window;
    SDL_CaptureMouse(SDL_TRUE); // unsupported by some drivers: the capture is then ours alone
    return previous;
}

BOOL ReleaseCapture()
{
    if (Cursor().capture && SDL_WasInit(SDL_INIT_VIDEO))
        SDL_CaptureMouse(SDL_FALSE);
    Cursor().capture = nullptr;
    return 1;
}

HWND GetCapture()
{
    CursorState& c = Cursor();
    if (c.capture && !Win32FindWindow(c.capture))
        c.capture = nullptr;
    return c.capture;
}

BOOL ClipCursor(const RECT* rect)
{
    CursorState& c = Cursor();
    HWND__* w = Win32MainWindow();
    c.clipped = rect != nullptr;
    if (rect)
        c.clip = *rect;
    if (!w)
        return 1;
    if (!rect) {
        SDL_SetWindowMouseRect(w->sdl, nullptr);
        return 1;
    }
    int wx = 0, wy = 0;
    SDL_GetWindowPosition(w->sdl, &wx, &wy);
    SDL_Rect area{rect->left - wx, rect->top - wy, rect->right - rect->left, rect->bottom - rect->top};
    SDL_SetWindowMouseRect(w->sdl, &area);
    return 1;
}

bool Win32GetCursorClip(RECT* rect)
{
    if (rect && Cursor().clipped)
        *rect = Cursor().clip;
    return Cursor().clipped;
}
