// bench_demo_threads [width height [rounds [frames [threads]]]]: the Wardels demo
// headless on the software device (640 x 480 unless given), started as the
// shell starts it in the data root, the start screen dismissed, frames of
// 33 ms. Each round runs `frames` whole frames (input, the demo's update, AI,
// physics, render and present) on 1, 2, 4 and 8 device threads in turn, so
// that the scene's own changes and the machine's load fall on every count
// alike; prints, per count, the median frames per second against one thread.
// A fifth argument runs only that count (for profiles).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/compare_row.h"
#include "demo/wardelapplication.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/d3d9/d3d9control.h"
#include "platform/win32/timing.h"
#include "platform/win32/win32.h"

namespace {

constexpr uint32_t kFrameMs = 33;

CWardelApplication* gApp = nullptr;

bool Start(int width, int height)
{
    if (chdir(OLAI_DATA_DIR) != 0)
        return false;
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    Win32ClockReset(kFrameMs, 0);
    HWND window = Win32WindowCreate("OLAI - Wardels", width, height);
    gApp = new CWardelApplication("config.xml");
    if (!window || gApp->OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
        return false;
    gApp->SetHWND(window);
    // The cameras take the shell's size (640 x 480 unless set).
    ShellGetSettings()->width = width;
    ShellGetSettings()->height = height;
    if (gApp->OnEvent(ShellEventStartEngine, window) != ShellEventHandled || Framework().halt ||
        gApp->GetEscortCount() != 4)
        return false;
    // Space closes the start screen at the next frame.
    ShellKeyRecord space{0, ' '};
    CInputManager::KeyboardHandler(ShellEventKeyDown, &space);
    gApp->OnEvent(ShellEventIdle, nullptr);
    CInputManager::KeyboardHandler(ShellEventKeyUp, &space);
    return !Framework().halt;
}

double FramesPerSecond(int frames)
{
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f)
        gApp->OnEvent(ShellEventIdle, nullptr);
    return frames / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return gApp ? gApp->OnEvent(event, param) : ShellEventNotHandled;
}

int main(int argc, char** argv)
{
    const int width = argc > 2 ? std::atoi(argv[1]) : 640;
    const int height = argc > 2 ? std::atoi(argv[2]) : 480;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const int frames = argc > 4 ? std::max(1, std::atoi(argv[4])) : 60;
    const int only = argc > 5 ? std::max(1, std::atoi(argv[5])) : 0;
    D3D9SetDeviceThreads(1, false);
    if (width < 64 || height < 64 || !Start(width, height)) {
        std::fprintf(stderr, "bench_demo_threads: the demo or its sample data did not start\n");
        return 1;
    }
    // The frame drawn: the back buffer's size.
    D3DSURFACE_DESC drawn{};
    IDirect3DSurface9* back = nullptr;
    if (SUCCEEDED(D3D9GetDevice()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) {
        back->GetDesc(&drawn);
        back->Release();
    }
    std::printf("back buffer %u x %u\n", drawn.Width, drawn.Height);
    const int counts[] = {1, 2, 4, 8};
    if (only > 0) {
        D3D9SetDeviceThreads(only, false);
        std::printf("%d device threads: %.1f frames/s\n", only, FramesPerSecond(frames));
        return 0;
    }
    std::vector<double> rates[4];
    for (int threads : counts) { // warm every pool and cache once
        D3D9SetDeviceThreads(threads, false);
        FramesPerSecond(frames / 4 + 1);
    }
    for (int r = 0; r < rounds; ++r)
        for (int k = 0; k < 4; ++k) {
            D3D9SetDeviceThreads(counts[k], false);
            rates[k].push_back(FramesPerSecond(frames));
        }
    std::printf("the demo's whole frame, %d x %d, %d frames a count, %d interleaved rounds\n", width, height,
                frames, rounds);
    PrintCompareHeader();
    for (int k = 1; k < 4; ++k) {
        const std::string figure = "demo frame, " + std::to_string(width) + " x " + std::to_string(height) +
                                   ", " + std::to_string(counts[k]) + " device threads (frames/s)";
        PrintCompareRow(figure.c_str(), MedianOf(rates[k]), "the same on 1 device thread", MedianOf(rates[0]),
                        rounds);
    }
    return 0;
}
