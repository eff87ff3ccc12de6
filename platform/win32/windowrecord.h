#pragma once
// Private: the record behind a window handle, shared by the window, class,
// message and cursor stand-ins of this folder.

#include <SDL.h>

#include "platform/win32/messagequeue.h"
#include "platform/win32/win32.h"

struct HWND__
{
    SDL_Window* sdl;
    uint32_t id;
    LONG style;
    LONG exStyle;
    bool minimised; ///< kept here too: headless video drivers do not minimise
    HWND__* next;
    WNDPROC proc;      ///< null for windows made by Win32WindowCreate
    bool active;       ///< follows WM_ACTIVATE as sent to the procedure
    bool acceptsFiles; ///< DragAcceptFiles
};

/// Creates the SDL window and its record; hidden unless `visible`.
HWND Win32WindowCreateShown(const char* title, int x, int y, int width, int height, bool visible);
/// The record of a live window, null for anything else.
HWND__* Win32FindWindow(HWND window);
/// The live window whose SDL window id is `id`, or null.
HWND__* Win32FindWindowById(uint32_t id);
/// The window that receives script input: the newest window with a procedure,
/// else the newest window; null when there is none.
HWND__* Win32MainWindow();
/// Turns one SDL event into window messages (sdlmessages.cpp).
void Win32TranslateSdlEvent(const SDL_Event& event);
/// Ends a pump: hands on what Win32TranslateSdlEvent collected across events.
void Win32FinishSdlEvents();
/// Forgets the messages and timers of a window that is going away.
void Win32ForgetWindowMessages(HWND window);
/// Sends WM_ACTIVATE when `active` differs from the window's state.
void Win32SetActive(HWND__* window, bool active);
