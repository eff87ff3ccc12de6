#pragma once
// The entry point, the main window and the message loop.
//
// ShellWinMain raises, in order: event 16 (initialise), 28 per argument,
// creates the window, 13 (start the engine) with the window, 1 per argument,
// 0 with the client size, then runs the loop: one event 18 (a frame) each
// time the queue is empty while the window is active; while it is inactive
// the loop sleeps and a 20 ms timer brings one frame per tick. Escape (event
// 21) or a quit message ends the loop; then events 14 and 17 follow.
// Programs get main() from the shell_main library, which calls ShellWinMain.

#include <cstdint>

#include "platform/win32/dragdrop.h"
#include "platform/win32/windowclass.h"

/// The name of the main window's class.
constexpr const char* kShellWindowClass = "OlAppClass";

/// The program: answers the process exit code (0 when event 16 or 13 fail or
/// the window cannot be made; otherwise the code of the quit message the loop
/// took, 0 when it ended on event 21). The command line is GetCommandLineA's.
int ShellWinMain(HINSTANCE instance, HINSTANCE previous, const char* commandLine, int showCommand);
/// Registers kShellWindowClass with MainWindowProc; the atom, 0 on failure.
ATOM ShellRegisterWindowClass(HINSTANCE instance);
/// The main window at the settings' client size and title; null on failure.
HWND ShellCreateWindow(HINSTANCE instance);
/// The main window's procedure.
LRESULT MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HWND ShellGetWindow();
HINSTANCE ShellGetInstance();
/// Sets the main window's title.
void ShellSetWindowTitle(const char* text);
/// Keeps the main window above every other (true) or not, at its place.
void ShellSetTopmost(bool topmost);
/// ShowCursor(show).
void ShellShowCursor(bool show);
/// Moves the pointer to a client position (x, y truncated towards zero) while
/// the window is active; the next mouse move then carries no movement.
void ShellSetCursorPosition(const float point[2]);
/// Files dropped on the window: event 2 per absolute path, last first, each
/// with the "uncd" file system as the default; the default is restored after.
void ShellDropFiles(HDROP drop);
