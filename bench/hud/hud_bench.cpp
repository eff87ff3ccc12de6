// The framework's screen work on the Direct3D 9 driver's software device,
// headless at 640 x 480, through the framework started as the shell starts it.
//   BM_StartScreen: clear, the start screen's 14 quads, end; frames/s.
//   BM_InGameOverlays: clear, the pointer, the frame-rate text and its graph
//     of 632 lines, the fixed camera's name and the first-person sprite,
//     end; frames/s.
//   BM_ClearOnly: clear, begin and end, which both of the above include.
//   BM_OverlayPart/<part>: each overlay alone, without the clear.
//   BM_CameraUpdate/<mode>: one step of the camera manager in Free (turning),
//     Follow, FPS, Path and Fixed mode; steps/s.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "framework/cameramanager.h"
#include "framework/cameratarget.h"
#include "framework/fpscounter.h"
#include "framework/framework.h"
#include "framework/hud.h"
#include "framework/inputmanager.h"
#include "framework/standardapplication.h"
#include "graphics/core/frame.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/win32/win32.h"

namespace {

constexpr const char* kConfig = "/tmp/olai-hud-bench.xml";

class BenchApp : public CStandardApplication
{
  public:
    BenchApp() : CStandardApplication(kConfig) {}
    bool OnInitialize() override { return true; }
    bool OnUpdate(float) override { return true; }
    void OnRender() override {}
    bool OnTerminate() override { return true; }
    const char* GetTitle() override { return "hud bench"; }
};

BenchApp* gApp = nullptr;

/// A character stand-in for the follow and first-person cameras.
class Target : public CCameraTarget
{
  public:
    Frame* GetCameraFrame() override { return frame; }
    bool IsInWorld() const override { return true; }
    void SetInWorld(bool) override {}
    Frame* frame = nullptr;
};

/// The framework started once on a configuration with a start screen, the
/// frame counter's graph (debug level 2), the DirectInput mouse and two
/// fixed cameras; its objects then live until the process ends.
bool Started()
{
    static const bool started = [] {
        if (chdir(OLAI_DATA_DIR) != 0)
            return false;
        std::FILE* file = std::fopen(kConfig, "w");
        if (!file)
            return false;
        std::fputs("<Config><Debug level=\"2\"/><Worlds/><Hud/>"
                   "<Camera nearClip=\"0.1\" farClip=\"500\" fov=\"45\">"
                   "<Fixed><Name value=\"North gate\"/><Position x=\"0\" y=\"20\" z=\"40\"/>"
                   "<Target x=\"0\" y=\"0\" z=\"0\"/></Fixed>"
                   "<Fixed><Position x=\"45\" y=\"30\" z=\"0\"/><Target x=\"0\" y=\"0\" z=\"0\"/></Fixed>"
                   "</Camera></Config>",
                   file);
        std::fclose(file);
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        HWND window = Win32WindowCreate("hud bench", 640, 480);
        gApp = new BenchApp();
        if (!window || gApp->OnEvent(ShellEventInitialise, nullptr) != ShellEventHandled)
            return false;
        gApp->SetHWND(window);
        return gApp->OnEvent(ShellEventStartEngine, window) == ShellEventHandled && !Framework().halt &&
               Framework().cameraManager && Framework().hud;
    }();
    return started;
}

/// The frame's own cost, included in the two below: clear colour and depth,
/// begin and end the camera update.
void BM_ClearOnly(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework did not start");
        return;
    }
    CCameraManager* cameras = Framework().cameraManager;
    for (auto _ : state) {
        cameras->Clear();
        cameras->BeginUpdate();
        cameras->EndUpdate();
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ClearOnly)->Unit(benchmark::kMillisecond);

/// One part of the in-game overlays, by argument: 0 the pointer, 1 the
/// frame-rate text, 2 the text and the graph, 3 the fixed camera's name,
/// 4 the first-person sprite.
void BM_OverlayPart(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework did not start");
        return;
    }
    SetPause(false);
    CCameraManager* cameras = Framework().cameraManager;
    CFpsCounter* counter = CFpsCounter::Instance();
    while (counter->GetHistoryCount() < CFpsCounter::kHistory)
        counter->Update(0.010f);
    CFont* font = Framework().font;
    const int64_t part = state.range(0);
    const int32_t level = Framework().debugLevel;
    Framework().debugLevel = part == 1 ? 1 : 2;
    cameras->SetMode(part == 3   ? CCameraManager::kFixed
                     : part == 4 ? CCameraManager::kFps
                                 : CCameraManager::kFree);
    cameras->Clear();
    for (auto _ : state) {
        cameras->BeginUpdate();
        if (part == 0)
            CInputManager::Instance()->RenderPointer();
        else if (part <= 2)
            counter->Draw(font);
        else
            cameras->DrawOverlays(font);
        cameras->EndUpdate();
    }
    Framework().debugLevel = level;
    cameras->SetMode(CCameraManager::kFree);
}
BENCHMARK(BM_OverlayPart)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

void BM_StartScreen(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework did not start");
        return;
    }
    CCameraManager* cameras = Framework().cameraManager;
    CHud* hud = Framework().hud;
    if (hud->GetState() == CHud::kNotShown)
        hud->Update(0.0f);
    for (auto _ : state) {
        cameras->Clear();
        cameras->BeginUpdate();
        hud->Render();
        cameras->EndUpdate();
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StartScreen)->Unit(benchmark::kMillisecond);

void BM_InGameOverlays(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework did not start");
        return;
    }
    SetPause(false);
    CCameraManager* cameras = Framework().cameraManager;
    CInputManager* input = CInputManager::Instance();
    CFpsCounter* counter = CFpsCounter::Instance();
    for (int i = 0; i < CFpsCounter::kHistory; ++i)
        counter->Update(0.010f + 0.0001f * float(i % 100));
    CFont* font = Framework().font;
    for (auto _ : state) {
        cameras->Clear();
        cameras->BeginUpdate();
        cameras->SetMode(CCameraManager::kFree);
        input->RenderPointer();
        counter->Draw(font);
        cameras->SetMode(CCameraManager::kFixed);
        cameras->DrawOverlays(font);
        cameras->SetMode(CCameraManager::kFps);
        cameras->DrawOverlays(font);
        cameras->EndUpdate();
    }
    cameras->SetMode(CCameraManager::kFree);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_InGameOverlays)->Unit(benchmark::kMillisecond);

void BM_CameraUpdate(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the framework did not start");
        return;
    }
    CCameraManager* cameras = Framework().cameraManager;
    Target target;
    target.frame = FrameCreate();
    cameras->SetTarget(&target);
    const int32_t mode = int32_t(state.range(0));
    ShellMouseRecord press{};
    CInputManager::MouseHandler(ShellEventLeftButtonDown, &press);
    for (auto _ : state) {
        cameras->SetMode(mode);
        // Turning in Free mode; the path at its start (a step of 0 s keeps it there).
        ShellMouseRecord move{320.0f, 240.0f, 1.0f, 0.0f, 0, 0};
        CInputManager::MouseHandler(ShellEventMouseMove, &move);
        cameras->Update(0.0f);
    }
    CInputManager::MouseHandler(ShellEventLeftButtonUp, &press);
    cameras->SetTarget(nullptr);
    cameras->SetMode(CCameraManager::kFree);
    FrameDestroy(target.frame);
    state.counters["steps/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CameraUpdate)->DenseRange(CCameraManager::kFree, CCameraManager::kFixed);

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    return gApp ? gApp->OnEvent(event, param) : ShellEventNotHandled;
}
