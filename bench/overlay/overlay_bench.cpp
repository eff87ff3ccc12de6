// The shell's overlay, headless at 640 x 480 on the software device: one
// frame of the menu with 40 entries and of a full help page through the
// debug character set (camera begin and end update included), and one start
// and stop of the engine through the shell.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/menuinternal.h"
#include "graphics/shared/skel/win/shellcamera.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/win32/win32.h"

ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace {

struct Engine
{
    Engine()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        ShellInitialize();
        window = Win32WindowCreate("overlay", 640, 480);
        ok = window && ShellStartEngine(window);
        camera = ok ? ShellCameraCreate(640, 480, true) : nullptr;
        ok = camera && MenuOpen(true, nullptr, nullptr);
    }
    ~Engine()
    {
        MenuClose();
        ShellCameraDestroy(camera);
        if (window)
            ShellStopEngine();
        Win32WindowDestroy(window);
        ShellTerminate();
    }
    void Frame()
    {
        CameraBeginUpdate(camera);
        MenuRender(camera);
        CameraEndUpdate(camera);
    }
    HWND window = nullptr;
    Camera* camera = nullptr;
    bool ok = false;
};

void MenuFrame(benchmark::State& state)
{
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("the engine did not start");
        return;
    }
    std::vector<int32_t> values(40, 1);
    std::vector<std::string> labels;
    for (int i = 0; i < 40; ++i)
        labels.push_back("SETTING NUMBER " + std::to_string(i));
    for (int i = 0; i < 40; ++i)
        MenuAddInt(labels[size_t(i)].c_str(), &values[size_t(i)], nullptr, 0, 100, 1, nullptr);
    MenuSetMode(kMenuShown);
    for (auto _ : state)
        engine.Frame();
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(MenuFrame)->Unit(benchmark::kMicrosecond);

void HelpFrame(benchmark::State& state)
{
    Engine engine;
    if (!engine.ok) {
        state.SkipWithError("the engine did not start");
        return;
    }
    MenuGetState().help.assign(60, std::string(77, 'x'));
    MenuSetMode(kMenuHelp);
    for (auto _ : state)
        engine.Frame();
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(HelpFrame)->Unit(benchmark::kMicrosecond);

void StartStop(benchmark::State& state)
{
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    ShellInitialize();
    HWND window = Win32WindowCreate("overlay", 640, 480);
    for (auto _ : state) {
        if (!ShellStartEngine(window)) {
            state.SkipWithError("the engine did not start");
            break;
        }
        ShellStopEngine();
    }
    Win32WindowDestroy(window);
    ShellTerminate();
}
BENCHMARK(StartStop)->Unit(benchmark::kMillisecond);

} // namespace
