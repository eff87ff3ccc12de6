#pragma once
// The shell's process-wide state: the settings the application may change
// while it answers event 16, the window information and the loop's flags.

#include <cstdint>

#include "platform/win32/windowclass.h"

/// What the application may set during event 16 (ShellInitialize sets the
/// name to "Ombrelight Application" and clears the rest first).
struct ShellSettings
{
    const char* applicationName; ///< window title; not copied, must outlive the window
    int32_t width;               ///< client size in pixels
    int32_t height;
    int32_t quit; ///< set by event 21; the message loop ends when it is set
};

/// The main window's record; ShellGetWindow answers its first field.
struct ShellWindowInfo
{
    HWND window;
    HINSTANCE instance;
    int32_t fullScreen; ///< set when a full-screen mode was chosen
    float lastX, lastY; ///< last pointer position, valid while pointerKnown
    int32_t pointerKnown;
};

/// The settings (never null).
ShellSettings* ShellGetSettings();
/// The window information (never null).
ShellWindowInfo* ShellGetWindowInfo();

/// Event 16's default: settings, input devices and window information reset,
/// the multimedia timer raised to its finest period. Answers 1.
bool ShellInitialize();
/// Event 17's default: gives back the timer period ShellInitialize raised.
void ShellTerminate();

/// True between a successful event 13 and event 14 (frames may run).
bool ShellEngineStarted();
void ShellSetEngineStarted(bool started);
/// True while the main window is active (starts true; follows WM_ACTIVATE).
bool ShellWindowActive();
void ShellSetWindowActive(bool active);
