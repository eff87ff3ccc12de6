#pragma once
// Window classes and windows with a window procedure, over the SDL windows
// of win32.h. A window is created hidden unless its style has WS_VISIBLE;
// ShowWindow shows and activates it (WM_ACTIVATE). Without a real display
// SDL's offscreen or dummy video driver serves, as for every window.

#include <cstdint>

#include "platform/win32/messagequeue.h"

using ATOM = uint16_t;
using HINSTANCE = void*;
using HICON = void*;
using HCURSOR = void*;
using HBRUSH = void*;

struct WNDCLASSA
{
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

struct CREATESTRUCTA
{
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy, cx, y, x;
    LONG style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};

struct WINDOWPLACEMENT
{
    UINT length;
    UINT flags;
    UINT showCmd;
    POINT ptMinPosition;
    POINT ptMaxPosition;
    RECT rcNormalPosition;
};

constexpr UINT CS_BYTEALIGNWINDOW = 0x2000;
constexpr int CW_USEDEFAULT = int(0x80000000u);
constexpr UINT SW_SHOWMAXIMIZED = 3;
/// The arrow cursor's resource number (MAKEINTRESOURCE(32512)).
#define IDC_ARROW (reinterpret_cast<const char*>(uintptr_t(32512)))

/// The program's instance handle (a fixed token; the name is ignored).
HINSTANCE GetModuleHandleA(const char* name);
/// A cursor handle for IDC_ARROW (a token), null for any other.
HCURSOR LoadCursorA(HINSTANCE instance, const char* name);
/// Registers a class by name; 0 when the name is taken, missing or has no procedure.
ATOM RegisterClassA(const WNDCLASSA* windowClass);
/// Forgets a class; FALSE when unknown.
BOOL UnregisterClassA(const char* name, HINSTANCE instance);
/// Creates a window of a registered class whose client area is the given
/// size (CW_USEDEFAULT: 640 x 480; position CW_USEDEFAULT: SDL's choice) and
/// sends it WM_CREATE with a CREATESTRUCTA; a procedure answering -1 to it
/// destroys it again. Null on failure.
HWND CreateWindowExA(DWORD exStyle, const char* className, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
/// Sends WM_DESTROY, drops the window's messages and timers, destroys it.
BOOL DestroyWindow(HWND window);
/// Default processing: WM_CLOSE destroys the window; everything else answers 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Nothing to paint ahead of time; TRUE for a live window.
BOOL UpdateWindow(HWND window);
/// Sets the title; FALSE for an unknown window.
BOOL SetWindowTextA(HWND window, const char* text);
/// showCmd: SW_SHOWMINIMIZED, SW_SHOWMAXIMIZED or SW_SHOWNORMAL, and the
/// window rectangle; FALSE for an unknown window or a wrong length field.
BOOL GetWindowPlacement(HWND window, WINDOWPLACEMENT* placement);
/// TRUE while the window is the active one (WM_ACTIVATE last said so).
BOOL Win32IsActive(HWND window);
