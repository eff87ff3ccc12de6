// The Wardels demo's frame, headless at 640 x 480 on the software device,
// started as the shell starts it in the data root (the sample "config.xml":
// the VIP and four escorts), the start screen dismissed, frames of 33 ms.
//   BM_DemoFrame: 600 whole frames (the idle event: input, the demo's update
//     with the AI world and the characters, the physics step, cameras and
//     the render with its present); frames per second (target 60 on one core).
//   BM_DemoAi, BM_DemoPhysics, BM_DemoRender: the AI world's update (with the
//     entity and action classes), the physics step and the render alone on
//     the same scene; "share" is the part of BM_DemoFrame's mean frame they
//     take (targets: AI under 10 %, physics under 15 %).
// Those run on the settled scene: nobody moves, the bodies sleep. The moving
// case plays a walk-and-fire script instead, 120 frames a round: the VIP
// walks ahead (Up) for 80 frames, turning right (x) in frames 50 to 64, then
// aims (left Shift) and fires (Space) for 40; the escorts follow and regroup.
//   BM_DemoMovingFrame: 600 whole frames of the script; frames per second.
//   BM_DemoMovingAi, BM_DemoMovingPhysics: each iteration plays one whole
//     frame of the script untimed, then times one more AI update (the clock
//     one frame on) or physics step on the scene it left; "share" as above,
//     of BM_DemoMovingFrame's mean frame.
// OLAI_DEVICE_THREADS=n gives the device n threads (default here: 1).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "ai/runtime/runtime.h"
#include "demo/wardelapplication.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/physicsworld.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "platform/win32/timing.h"
#include "platform/win32/win32.h"

namespace {

constexpr uint32_t kFrameMs = 33;
constexpr float kStep = 0.033f;

CWardelApplication* gApp = nullptr;
/// Mean seconds of a whole frame, from BM_DemoFrame (0 before it ran).
double gFrameSeconds = 0.0;
/// The same for the moving case, from BM_DemoMovingFrame.
double gMovingFrameSeconds = 0.0;

/// The walk-and-fire script: a key going down or up at a frame of the round.
struct ScriptKey
{
    uint32_t frame;
    int32_t key;
    bool down;
};
constexpr uint32_t kRoundFrames = 120;
constexpr ScriptKey kWalkAndFire[] = {
    {0, kShellKeyUp, true},
    {50, 'x', true},
    {65, 'x', false},
    {80, kShellKeyUp, false},
    {80, kShellKeyLeftShift, true},
    {80, ' ', true},
    {119, kShellKeyLeftShift, false},
    {119, ' ', false},
};
/// Frames of the script played so far, over every moving benchmark.
uint32_t gScriptFrame = 0;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// The demo started once; it lives until the process ends.
bool Started()
{
    static const bool started = [] {
        if (chdir(OLAI_DATA_DIR) != 0)
            return false;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("OLAI_DEVICE_THREADS", "1", 0);
        Win32ClockReset(kFrameMs, 0);
        HWND window = Win32WindowCreate("OLAI - Wardels", 640, 480);
        gApp = new CWardelApplication("config.xml");
        if (!window || gApp->OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
            return false;
        gApp->SetHWND(window);
        if (gApp->OnEvent(ShellEventStartEngine, window) != ShellEventHandled || Framework().halt ||
            gApp->GetAiWorld() == nullptr || gApp->GetEscortCount() != 4)
            return false;
        // Space closes the start screen at the next frame.
        ShellKeyRecord space{0, ' '};
        CInputManager::KeyboardHandler(ShellEventKeyDown, &space);
        gApp->OnEvent(ShellEventIdle, nullptr);
        CInputManager::KeyboardHandler(ShellEventKeyUp, &space);
        return !Framework().halt;
    }();
    return started;
}

/// The part of a whole frame (`frameSeconds`) that `seconds` over the
/// state's iterations take.
void Share(benchmark::State& state, double seconds, double frameSeconds)
{
    if (frameSeconds > 0.0 && state.iterations() > 0)
        state.counters["share"] = seconds / double(state.iterations()) / frameSeconds;
}

/// One whole frame of the walk-and-fire script: its keys, then the idle event.
void ScriptedFrame()
{
    const uint32_t frame = gScriptFrame++ % kRoundFrames;
    for (const ScriptKey& k : kWalkAndFire) {
        if (k.frame != frame)
            continue;
        ShellKeyRecord record{0, k.key};
        CInputManager::KeyboardHandler(k.down ? ShellEventKeyDown : ShellEventKeyUp, &record);
    }
    gApp->OnEvent(ShellEventIdle, nullptr);
}

void BM_DemoFrame(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state)
        gApp->OnEvent(ShellEventIdle, nullptr);
    gFrameSeconds = SecondsSince(start) / double(state.iterations());
    state.counters["frames/s"] = 1.0 / gFrameSeconds;
}

void BM_DemoAi(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        Win32ClockAdvance(kFrameMs);
        Zelk::AiUpdateWorld(gApp->GetAiWorld());
    }
    Share(state, SecondsSince(start), gFrameSeconds);
}

void BM_DemoPhysics(benchmark::State& state)
{
    if (!Started() || Framework().physicsWorld == nullptr) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state)
        Framework().physicsWorld->Step(kStep);
    Share(state, SecondsSince(start), gFrameSeconds);
}

void BM_DemoRender(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state)
        gApp->Render();
    Share(state, SecondsSince(start), gFrameSeconds);
}

void BM_DemoMovingFrame(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    const Clock::time_point start = Clock::now();
    for (auto _ : state)
        ScriptedFrame();
    gMovingFrameSeconds = SecondsSince(start) / double(state.iterations());
    state.counters["frames/s"] = 1.0 / gMovingFrameSeconds;
}

void BM_DemoMovingAi(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    double seconds = 0.0;
    for (auto _ : state) {
        ScriptedFrame();
        Win32ClockAdvance(kFrameMs);
        const Clock::time_point start = Clock::now();
        Zelk::AiUpdateWorld(gApp->GetAiWorld());
        seconds += SecondsSince(start);
    }
    Share(state, seconds, gMovingFrameSeconds);
}

void BM_DemoMovingPhysics(benchmark::State& state)
{
    if (!Started() || Framework().physicsWorld == nullptr) {
        state.SkipWithError("the demo or its sample data did not start");
        return;
    }
    double seconds = 0.0;
    for (auto _ : state) {
        ScriptedFrame();
        const Clock::time_point start = Clock::now();
        Framework().physicsWorld->Step(kStep);
        seconds += SecondsSince(start);
    }
    Share(state, seconds, gMovingFrameSeconds);
}

BENCHMARK(BM_DemoFrame)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoAi)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoPhysics)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoRender)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoMovingFrame)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoMovingAi)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DemoMovingPhysics)->Iterations(600)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return gApp ? gApp->OnEvent(event, param) : ShellEventNotHandled;
}
