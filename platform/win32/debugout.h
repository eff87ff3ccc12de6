#pragma once
// Debugger output and message boxes. OutputDebugStringA writes to standard
// error. MessageBoxA goes through a sink that a program or a test may
// replace; the default shows SDL's message box when a real display is in use
// and writes "caption: text" to standard error otherwise (SDL's offscreen and
// dummy drivers, or no video at all), so it never blocks an unattended run.

#include "platform/win32/win32.h"

constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONWARNING = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr int IDOK = 1;

/// Writes the text, as it is, to standard error; null is ignored.
void OutputDebugStringA(const char* text);
/// Shows a message through the current sink; answers what the sink answers (IDOK).
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

using Win32MessageBoxSink = int (*)(HWND owner, const char* text, const char* caption, UINT type);
/// Replaces the sink (null: the default one); answers the previous sink.
Win32MessageBoxSink Win32SetMessageBoxSink(Win32MessageBoxSink sink);
