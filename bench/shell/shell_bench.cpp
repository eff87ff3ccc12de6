// The shell's message loop, headless: the loop's own cost per idle frame (SDL
// pump, an empty queue, the idle event through the dispatcher to an
// application that does nothing) and one key from SDL to the keyboard handler.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdlib>

#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/shellwin.h"

ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace {

int gKeys = 0;

ShellEventResult CountKeys(ShellEvent event, void*)
{
    gKeys += event == ShellEventKeyDown;
    return ShellEventHandled;
}

struct Window
{
    Window()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        ShellInitialize();
        ShellGetSettings()->width = 320;
        ShellGetSettings()->height = 240;
        ShellRegisterWindowClass(GetModuleHandleA(nullptr));
        ShellGetWindowInfo()->window = ShellCreateWindow(GetModuleHandleA(nullptr));
        ShowWindow(ShellGetWindow(), SW_SHOWNORMAL);
        ShellSetEngineStarted(true);
        ShellAttachInputDevice(ShellDeviceKeyboard, CountKeys);
    }
    ~Window()
    {
        ShellSetEngineStarted(false);
        DestroyWindow(ShellGetWindow());
        UnregisterClassA(kShellWindowClass, nullptr);
        Win32ResetMessageQueue();
    }
};

// One pass of the loop when nothing is queued, as ShellWinMain runs it.
void IdleFrame(benchmark::State& state)
{
    Window window;
    MSG message{};
    for (auto _ : state) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else {
            ShellEventHandler(ShellEventIdle, nullptr);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(IdleFrame);

// A key pushed as an SDL event, through the queue and the window procedure
// to the keyboard handler (its key-up is pushed too, so no key stays held).
void KeyToHandler(benchmark::State& state)
{
    Window window;
    SDL_Event down{};
    down.type = SDL_KEYDOWN;
    down.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(ShellGetWindow())));
    down.key.keysym.scancode = SDL_SCANCODE_A;
    SDL_Event up = down;
    up.type = SDL_KEYUP;
    MSG message{};
    gKeys = 0;
    for (auto _ : state) {
        SDL_PushEvent(&down);
        SDL_PushEvent(&up);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    if (gKeys != int(state.iterations()))
        state.SkipWithError("a key was lost");
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(KeyToHandler);

} // namespace
