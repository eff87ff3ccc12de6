// Debugger output and message boxes.
#include "platform/win32/debugout.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/windowrecord.h"

namespace {

bool HeadlessVideo()
{
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    return !driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0;
}

int DefaultSink(HWND owner, const char* text, const char* caption, UINT type)
{
    if (!HeadlessVideo()) {
        Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
        if ((type & 0xF0) == MB_ICONERROR)
            flags = SDL_MESSAGEBOX_ERROR;
        else if ((type & 0xF0) == MB_ICONWARNING)
            flags = SDL_MESSAGEBOX_WARNING;
        HWND__* w = Win32FindWindow(owner);
        if (SDL_ShowSimpleMessageBox(flags, caption ? caption : "", text ? text : "", w ? w->sdl : nullptr) ==
            0)
            return IDOK;
    }
    std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

Win32MessageBoxSink& Sink()
{
    static Win32MessageBoxSink sink = DefaultSink;
    return sink;
}

} // namespace

void OutputDebugStringA(const char* text)
{
    if (text)
        std::fputs(text, stderr);
}

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    return Sink()(owner, text, caption, type);
}

Win32MessageBoxSink Win32SetMessageBoxSink(Win32MessageBoxSink sink)
{
    Win32MessageBoxSink previous = Sink();
    Sink() = sink ? sink : DefaultSink;
    return previous;
}
