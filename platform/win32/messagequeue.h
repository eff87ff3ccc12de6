#pragma once
// The thread's message queue, as a Windows program drives it: messages
// posted to windows, the quit message, and timers, fed by SDL's events.
//
// PeekMessageA and WaitMessage pump SDL: each SDL event becomes the window
// messages Windows would give the window with a procedure (CreateWindowExA,
// windowclass.h). Keyboard, mouse, drop and posted messages wait in the queue;
// WM_SIZE, WM_SIZING, WM_ACTIVATE and WM_CLOSE are sent to the procedure at
// once, from inside the pump, as Windows sends them. The quit message comes
// when nothing else is queued, timers (WM_TIMER) after it when due. SDL_QUIT
// (also what Win32PostQuit pushes) posts a quit with code 0.
//
// Key messages: wParam is the virtual key; lParam holds the repeat count 1
// (bits 0-15), the PC set-1 scan code (16-23), the extended-key flag (24),
// the Alt state (29), the previous key state (30: set for SDL's key repeat
// and for every key-up) and the transition state (31: set for key-up). While
// Alt is held keys arrive as WM_SYSKEYDOWN / WM_SYSKEYUP, as does F10.
// Mouse messages carry client coordinates (signed 16-bit words of lParam)
// and MK_* flags; WM_MOUSEWHEEL carries 120 per notch, signed, in wParam's
// high word and screen coordinates in lParam. TranslateMessage makes no
// WM_CHAR: nothing of ours reads characters from messages.

#include <cstdint>

#include "platform/win32/win32.h"

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WORD = uint16_t;
using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND window, UINT message, uintptr_t id, DWORD time);

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time; ///< timeGetTime when queued
    POINT pt;
};

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_SIZING = 0x0214;
constexpr UINT WM_DROPFILES = 0x0233;

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
constexpr UINT PM_NOYIELD = 2;

constexpr WPARAM MK_LBUTTON = 0x01;
constexpr WPARAM MK_RBUTTON = 0x02;
constexpr WPARAM MK_SHIFT = 0x04;
constexpr WPARAM MK_CONTROL = 0x08;
constexpr WPARAM MK_MBUTTON = 0x10;

constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr int WHEEL_DELTA = 120;

inline WORD LOWORD(uintptr_t value)
{
    return WORD(value & 0xFFFF);
}
inline WORD HIWORD(uintptr_t value)
{
    return WORD((value >> 16) & 0xFFFF);
}
/// Packs two 16-bit words as Windows does (low word first).
inline LPARAM MAKELPARAM(int low, int high)
{
    return LPARAM(uint32_t(uint16_t(low)) | (uint32_t(uint16_t(high)) << 16));
}
/// The signed x and y of a mouse message's lParam.
inline int GET_X_LPARAM(LPARAM value)
{
    return int16_t(value & 0xFFFF);
}
inline int GET_Y_LPARAM(LPARAM value)
{
    return int16_t((value >> 16) & 0xFFFF);
}
/// The signed wheel delta of WM_MOUSEWHEEL's wParam.
inline int GET_WHEEL_DELTA_WPARAM(WPARAM value)
{
    return int16_t((value >> 16) & 0xFFFF);
}

/// Pumps SDL, then looks for a message for `window` (null: any) between
/// `first` and `last` (both 0: any). TRUE with *message filled when one was
/// found; PM_REMOVE takes it from the queue.
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT flags);
/// Returns when a message is ready: pumps SDL and sleeps until an event
/// comes or the next timer is due (the frame clock, timing.h, jumps to it).
/// Sleeps for good when there is neither a timer nor any more input.
BOOL WaitMessage();
/// TRUE for key messages (no WM_CHAR is made), FALSE otherwise.
BOOL TranslateMessage(const MSG* message);
/// Calls the procedure of the message's window (or the timer procedure);
/// answers its result, 0 for a window without a procedure.
LRESULT DispatchMessageA(const MSG* message);
/// Asks the loop to end: a WM_QUIT with wParam `code` once the queue is empty.
void PostQuitMessage(int code);
/// Queues a message for a window (null: the thread); FALSE for an unknown window.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Calls the window's procedure now; 0 without one.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/// Starts or restarts timer `id` of the window: a WM_TIMER every `ms`
/// milliseconds (at least 10) of timeGetTime. Answers `id` (a new id when
/// the window is null), 0 for an unknown window.
uintptr_t SetTimer(HWND window, uintptr_t id, UINT ms, TIMERPROC callback);
/// Stops a timer; FALSE when there is no such timer.
BOOL KillTimer(HWND window, uintptr_t id);

/// Empties the queue, the quit request and every timer (for tests and
/// programs that run several message loops).
void Win32ResetMessageQueue();
/// Messages waiting in the queue (quit and timers not counted).
int Win32QueuedMessageCount();

union SDL_Event;
/// Sees every SDL event the message pump takes, before it becomes window
/// messages (the DirectInput stand-in reads the mouse this way).
using Win32SdlEventObserver = void (*)(const SDL_Event& event);
/// Replaces the observer (null: none); answers the previous one.
Win32SdlEventObserver Win32SetSdlEventObserver(Win32SdlEventObserver observer);
