#pragma once
// The system cursor and the mouse capture, over SDL's mouse.

#include "platform/win32/win32.h"

/// Counts shows and hides as Windows does: the cursor is visible while the
/// count is 0 or more. Answers the new count.
int ShowCursor(BOOL show);
/// Moves the pointer to screen coordinates, inside the main window (the
/// pointer cannot leave SDL's windows); FALSE without a window.
BOOL SetCursorPos(int x, int y);
/// Client to screen coordinates (adds the window's position); FALSE for an
/// unknown window.
BOOL ClientToScreen(HWND window, POINT* point);
/// Routes the mouse to the window while a button is held; answers the window
/// that had the capture before (null when none).
HWND SetCapture(HWND window);
/// Ends the capture; TRUE.
BOOL ReleaseCapture();
/// The window holding the capture, or null.
HWND GetCapture();
/// Keeps the pointer inside a screen rectangle (within the main window);
/// null frees it. TRUE.
BOOL ClipCursor(const RECT* rect);
/// The clip rectangle set last (false when the pointer is free); for tests.
bool Win32GetCursorClip(RECT* rect);
