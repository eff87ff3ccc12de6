// The window stand-in the software Direct3D 9 device presents into: one SDL2
// window behind a Win32-style handle, with the few window functions the
// graphics engine calls to size, restore and query it. Headless runs use
// SDL's "offscreen" or "dummy" video driver (SDL_VIDEODRIVER), which behave
// like a real window that nobody sees.
//
// Unattended runs: when the environment variable OLAI_EXIT_AFTER_FRAMES=N is
// set, the device posts a quit request after the N-th presented frame
// (Win32PostQuit); a message loop sees it through Win32PeekQuit() or as an
// SDL_QUIT event and ends normally. OLAI_SCREENSHOT=path.png makes the device
// write the last presented frame to that PNG (see platform/d3d9/d3d9.h).
#pragma once

#include <cstdint>

struct HWND__;
using HWND = HWND__*;
using HMENU = void*;
using BOOL = int;
using LONG = int32_t;
using DWORD = uint32_t;
using UINT = uint32_t;

struct RECT
{
    LONG left, top, right, bottom;
};
struct POINT
{
    LONG x, y;
};

// Window styles and flags used by the engine (the real numeric values).
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;
constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;
constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_RESTORE = 9;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))

/// Starts SDL's video subsystem (once; later calls only count). False when no
/// video driver at all can be opened; SDL_GetError() tells why.
bool Win32Initialize();
/// Ends what Win32Initialize started once every call has been matched.
void Win32Shutdown();

/// Creates a visible, resizable window whose client area is width x height
/// pixels (>= 1). Null on failure. Calls Win32Initialize itself. (Windows
/// with a window procedure come from CreateWindowExA, messagequeue.h.)
HWND Win32WindowCreate(const char* title, int width, int height);
/// Destroys a window made by Win32WindowCreate; null is ignored.
void Win32WindowDestroy(HWND window);
/// The SDL_Window behind a handle (an SDL_Window*), null for an unknown handle.
void* Win32WindowGetSdl(HWND window);
/// Handles every pending SDL event: window size and minimised state follow
/// the events, SDL_QUIT sets the quit flag, and windows with a window
/// procedure get them as messages (PeekMessageA pumps too). Call once per
/// frame in a loop without PeekMessageA.
void Win32PumpEvents();

/// Asks the program to end: sets the quit flag and queues an SDL_QUIT event.
void Win32PostQuit();
/// True once a quit was posted or the user closed the window.
bool Win32PeekQuit();
/// Clears the quit flag (for tests and programs that run several loops).
void Win32ClearQuit();

/// Unattended-run frame limit: the value of OLAI_EXIT_AFTER_FRAMES (1 to
/// 1000000000), 0 when unset or empty; any other value ends the program
/// with exit code 2 (Win32EnvironmentNumber).
long Win32ExitAfterFrames();

// Win32-style window functions; each answers FALSE (0) for an unknown handle.
/// Client rectangle: {0, 0, width, height} in pixels.
BOOL GetClientRect(HWND window, RECT* rect);
/// Outer rectangle in screen pixels (position plus client size: our windows
/// have no frame of their own that we can measure).
BOOL GetWindowRect(HWND window, RECT* rect);
/// TRUE while the window is minimised.
BOOL IsIconic(HWND window);
/// SW_HIDE, SW_SHOW*, SW_MINIMIZE, SW_MAXIMIZE, SW_RESTORE; answers whether the
/// window was visible before.
BOOL ShowWindow(HWND window, int command);
/// Moves and/or sizes the window (client size = cx x cy since frames are 0);
/// honours SWP_NOMOVE and SWP_NOSIZE. HWND_TOPMOST / HWND_NOTOPMOST (without
/// SWP_NOZORDER) keep the window above others or not (WS_EX_TOPMOST follows);
/// SWP_FRAMECHANGED applies the style: WS_POPUP without WS_CAPTION covers the
/// screen (SDL full-screen desktop), any other style is a normal window.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
/// Our windows have no decorations that change the client size, so the
/// rectangle is left as it is; answers TRUE.
BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
/// GWL_STYLE / GWL_EXSTYLE as last set (WS_MAXIMIZE follows the window).
LONG GetWindowLongA(HWND window, int index);
/// Stores a style word; WS_MAXIMIZE removed restores a maximised window.
/// Answers the previous value.
LONG SetWindowLongA(HWND window, int index, LONG value);
/// Our windows have no menus: always null.
HMENU GetMenu(HWND window);
