// Characters on the sample level, headless, through the framework started as
// the shell starts it (the sample "config.xml" with its two soldiers).
//   BM_CharacterUpdate/<mode>: 32 bots, each one Update of 1/30 s: walking
//     about in mode 0 (changing direction every 0.3 s, so that cross-fades
//     run), aiming and firing in mode 4 (the four-way blend); the time per
//     character (s/character). The target is 32 characters under 2 ms on
//     one core.
//   BM_FrameWithPhysics: the same 32 walking bots and the physics step that
//     moves their bodies; the time per character.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "framework/character.h"
#include "framework/characterprofile.h"
#include "framework/framework.h"
#include "framework/physicsworld.h"
#include "framework/standardapplication.h"
#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "platform/win32/win32.h"

namespace {

constexpr int32_t kBots = 32;
constexpr float kStep = 1.0f / 30.0f;

class BenchApp : public CStandardApplication
{
  public:
    BenchApp() : CStandardApplication("config.xml") {}
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "characters bench"; }
};

BenchApp* gApp = nullptr;
CCharacter* gBots[kBots] = {};

/// The framework started once on the sample configuration, with 32 bots on
/// a grid in the hall; they live until the process ends.
bool Started()
{
    static const bool started = [] {
        if (chdir(OLAI_DATA_DIR) != 0)
            return false;
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        HWND window = Win32WindowCreate("characters bench", 640, 480);
        gApp = new BenchApp();
        if (!window || gApp->OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
            return false;
        gApp->SetHWND(window);
        if (gApp->OnEvent(ShellEventStartEngine, window) != ShellEventHandled || Framework().halt ||
            !Framework().physicsWorld || CharacterProfileCount() == 0)
            return false;
        for (int32_t i = 0; i < kBots; ++i) {
            gBots[i] = new CCharacter();
            gBots[i]->SetPlayerControlled(false);
            const V3d position = {-3.5f + float(i % 8), 0.5f, -2.0f + float(i / 8)};
            if (!gBots[i]->ApplyProfile(GetCharacterProfile(i % CharacterProfileCount())->name, position))
                return false;
        }
        return true;
    }();
    return started;
}

/// Inputs of frame `frame` for bot `i`: a new direction every 9 frames.
void Steer(CCharacter* bot, int32_t i, int64_t frame, int32_t mode)
{
    const float angle = float((frame / 9 + i) % 8) * 0.785398f;
    bot->SetMode(mode);
    bot->SetInputs(0.6f * std::sin(angle), 0.6f * std::cos(angle), 0.0f);
    if (mode == kModeStandAim) {
        const V3d& p = FrameGetMatrix(bot->GetFrame())->pos;
        const V3d& at = FrameGetMatrix(bot->GetFrame())->at;
        const V3d target = V3dAdd(p, V3dAdd(V3dScaled(V3dUnit(at), 8.0f), {std::sin(angle), 1.5f, 0.0f}));
        bot->SetAimTarget(target);
        bot->SetFireRequest(true);
    }
}

void BM_CharacterUpdate(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework or the sample data did not start");
        return;
    }
    const int32_t mode = int32_t(state.range(0));
    int64_t frame = 0;
    for (auto _ : state) {
        for (int32_t i = 0; i < kBots; ++i) {
            Steer(gBots[i], i, frame, mode);
            gBots[i]->Update(kStep);
        }
        ++frame;
    }
    state.counters["s/character"] = benchmark::Counter(
        double(state.iterations() * kBots), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CharacterUpdate)->Arg(kModeWalk)->Arg(kModeStandAim)->Unit(benchmark::kMillisecond);

void BM_FrameWithPhysics(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework or the sample data did not start");
        return;
    }
    int64_t frame = 0;
    for (auto _ : state) {
        for (int32_t i = 0; i < kBots; ++i) {
            Steer(gBots[i], i, frame, kModeWalk);
            gBots[i]->Update(kStep);
        }
        Framework().physicsWorld->Step(kStep);
        ++frame;
    }
    state.counters["s/character"] = benchmark::Counter(
        double(state.iterations() * kBots), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FrameWithPhysics)->Unit(benchmark::kMillisecond);

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return gApp ? gApp->OnEvent(event, param) : ShellEventNotHandled;
}
