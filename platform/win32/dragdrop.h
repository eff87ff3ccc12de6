#pragma once
// Files dropped on a window: SDL's drop events become one WM_DROPFILES per
// drop (wParam: the HDROP) for a window that accepts files.

#include <cstdint>

#include "platform/win32/win32.h"

struct HDROP__;
using HDROP = HDROP__*;

/// Lets the window receive WM_DROPFILES (TRUE) or not (FALSE).
void DragAcceptFiles(HWND window, BOOL accept);
/// index 0xFFFFFFFF: the number of files. Otherwise the length of file
/// `index`'s name without its terminator; with a buffer of `size` bytes the
/// name is copied (cut to size - 1, terminated) and the bytes copied are
/// answered. 0 for a bad handle or index.
UINT DragQueryFileA(HDROP drop, UINT index, char* buffer, UINT size);
/// Frees the drop's file list; a null or unknown handle is ignored.
void DragFinish(HDROP drop);

/// A drop holding `count` names (for tests and the SDL translation); null
/// when out of memory.
HDROP Win32DropCreate(const char* const* names, int count);
/// Drops not yet finished (for tests).
int Win32DropsOpen();
