// The application object: its answers to the shell's events, the error box
// and halt flag, start-up and teardown on the real engine (device double),
// and the frame driver with the test's clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "framework/directinputmouse.h"
#include "framework/font.h"
#include "framework/framework.h"
#include "framework/inputmanager.h"
#include "framework/light.h"
#include "framework/testing/configbuilder.h"
#include "framework/tests/frameworktesting.h"
#include "graphics/core/engine.h"
#include "graphics/scene/light.h"
#include "graphics/shared/skel/win/shellengine.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/dinput8/dinput8.h"
#include "platform/win32/debugout.h"
#include "platform/win32/messagequeue.h"

namespace {

// Allocations counted while `gCounting` is set (the frame driver must make none).
std::atomic<bool> gCounting{false};
std::atomic<int> gAllocations{0};

} // namespace

// The replacements pair malloc with free by construction; GCC cannot see
// through the inlined calls to tell.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size)
{
    if (gCounting)
        ++gAllocations;
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    if (gCounting)
        ++gAllocations;
    return std::malloc(size ? size : 1);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}

namespace {

using Calls = std::vector<std::string>;

class AppEvents : public FrameworkTest
{
  protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        Current() = &app_;
    }
    void TearDown() override
    {
        if (EngineGetState() != 0)
            ShellStopEngine();
        FrameworkTest::TearDown();
    }

    /// Events 16, 13 as the shell sends them, on the device double.
    void Start(const std::string& config)
    {
        path_ = WriteFile("config.xml", config);
        app_.~RecordingApplication();
        new (&app_) RecordingApplication(path_.c_str());
        FrameworkUseDoubleEngine(nullptr);
        ASSERT_EQ(app_.OnEvent(ShellEventInitialise, nullptr), ShellEventHandled);
        ASSERT_EQ(app_.OnEvent(ShellEventStartEngine, nullptr), ShellEventHandled);
    }

    std::string path_;
    RecordingApplication app_{"config.xml"};
};

TEST_F(AppEvents, Answers)
{
    const struct
    {
        ShellEvent event;
        ShellEventResult answer;
    } cases[] = {
        {ShellEventPluginsAttached, ShellEventHandled},
        {ShellEventArgument, ShellEventNotHandled},
        {ShellEventLoadFile, ShellEventNotHandled},
        {ShellEventEarlyArgument, ShellEventNotHandled},
        {ShellEventMemoryFunctions, ShellEventNotHandled},
        {ShellEventResize, ShellEventHandled},
        {ShellEventQuit, ShellEventNotHandled},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app_.OnEvent(c.event, nullptr), c.answer) << ShellEventName(c.event);

    EXPECT_EQ(app_.OnEvent(ShellEventActivate, reinterpret_cast<void*>(intptr_t(1))), ShellEventHandled);
    EXPECT_TRUE(Framework().active);
    app_.OnEvent(ShellEventActivate, nullptr);
    EXPECT_FALSE(Framework().active);
}

TEST_F(AppEvents, OpenEngineSetsTheWindowDefaults)
{
    ASSERT_EQ(app_.OnEvent(ShellEventInitialise, nullptr), ShellEventHandled);
    EXPECT_EQ(ShellGetSettings()->width, 640);
    EXPECT_EQ(ShellGetSettings()->height, 480);
    EXPECT_STREQ(ShellGetSettings()->applicationName, "Recording");
    ShellTerminate();
}

TEST_F(AppEvents, PluginAttachesRunInOrderUntilOneFails)
{
    static std::vector<std::string> attached;
    attached.clear();
    static const FrameworkPluginAttach failing[] = {
        {"first",
         [] {
             attached.emplace_back("first");
             return true;
         }},
        {"second",
         [] {
             attached.emplace_back("second");
             return false;
         }},
        {"third",
         [] {
             attached.emplace_back("third");
             return true;
         }},
    };
    FrameworkSetPluginAttaches(failing, 3);
    EXPECT_EQ(app_.OnEvent(ShellEventAttachPlugins, nullptr), ShellEventFailed);
    EXPECT_EQ(attached, (Calls{"first", "second"}));
    FrameworkSetPluginAttaches(failing, 1);
    EXPECT_EQ(app_.OnEvent(ShellEventAttachPlugins, nullptr), ShellEventHandled);
}

TEST_F(AppEvents, ErrorBoxHaltsTheFrames)
{
    app_.OnEvent(ShellEventIdle, nullptr);
    ASSERT_EQ(app_.calls, (Calls{"OnUpdate", "OnRender"}));
    CStandardApplication::ReportEngineError("broken");
    EXPECT_EQ(Boxes(), Calls{"broken"});
    app_.calls.clear();
    // A halted idle sleeps until a message comes: one is waiting.
    PostMessageA(nullptr, WM_NULL, 0, 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(app_.OnEvent(ShellEventIdle, nullptr), ShellEventHandled);
    EXPECT_TRUE(app_.calls.empty());
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, WM_NULL) << "the waiting message stays for the loop";
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        EXPECT_NE(message.message, WM_QUIT) << "with a user the window stays until closed";
}

TEST_F(AppEvents, ErrorBoxEndsAnUnattendedRunFailing)
{
    // Nobody can close the window, and no frame would count towards the limit.
    setenv("OLAI_EXIT_AFTER_FRAMES", "5", 1);
    CStandardApplication::ReportEngineError("broken");
    app_.OnEvent(ShellEventIdle, nullptr);
    unsetenv("OLAI_EXIT_AFTER_FRAMES");
    EXPECT_TRUE(app_.calls.empty());
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) && message.message != WM_QUIT) {
    }
    ASSERT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, WPARAM(1)) << "an error is not a success";
}

TEST_F(AppEvents, ErrorBoxCaptionAndIcon)
{
    static std::string caption;
    static UINT type = 0;
    Win32SetMessageBoxSink([](HWND owner, const char*, const char* boxCaption, UINT boxType) {
        EXPECT_EQ(owner, nullptr);
        caption = boxCaption;
        type = boxType;
        return IDOK;
    });
    CStandardApplication::ReportEngineError("text");
    EXPECT_EQ(caption, "Ombrelight AI Game Engine error handler");
    EXPECT_EQ(type, 0x10u);
}

// An engine that did not start is a failure: the program ends with 1.
TEST_F(AppEvents, FailedEngineStartExitsFailing)
{
    static int exitCode = -1;
    FrameworkSetExit([](int code) { exitCode = code; });
    FrameworkUseDoubleEngine(nullptr);
    static const FrameworkPluginAttach refusing[] = {{"refusing", [] { return false; }}};
    FrameworkSetPluginAttaches(refusing, 1);
    app_.OnEvent(ShellEventStartEngine, nullptr);
    EXPECT_EQ(exitCode, 1);
    EXPECT_TRUE(app_.calls.empty()) << "the game is not initialised";
    EXPECT_EQ(EngineGetState(), 0);
}

TEST_F(AppEvents, StartUpMakesDefaultLightsAndTeardownStopsTheEngineLast)
{
    ConfigBuilder config;
    config.Open("Config").Open("Worlds").Element("World", {{"file", "level.bsp"}}).Close();
    config.Open("Input").Element("MouseMode", {{"Value", "1"}}); // the window's mouse: no pointer texture
    Start(config.Text());
    EXPECT_EQ(app_.calls, Calls{"OnInitialize"});
    EXPECT_TRUE(Boxes().empty());
    ASSERT_NE(app_.GetCharset(), nullptr);
    ASSERT_NE(app_.GetDefaultLight(0), nullptr);
    ASSERT_NE(app_.GetDefaultLight(1), nullptr);
    EXPECT_EQ(LightGetType(app_.GetDefaultLight(0)->GetLight()), kLightAmbient);
    EXPECT_EQ(LightGetType(app_.GetDefaultLight(1)->GetLight()), kLightDirectional);
    EXPECT_EQ(app_.GetDefaultLight(0)->GetLight()->colour.red, 0.45f);
    EXPECT_EQ(app_.GetDefaultLight(1)->GetLight()->colour.alpha, 1.0f);
    ASSERT_NE(Framework().font, nullptr);

    // Everything of the framework is gone before the engine stops.
    static RecordingApplication* app;
    app = &app_;
    static bool checked;
    checked = false;
    FrameworkUseDoubleEngine([] {
        checked = true;
        EXPECT_EQ(app->GetDefaultLight(0), nullptr);
        EXPECT_EQ(app->GetDefaultLight(1), nullptr);
        EXPECT_EQ(app->GetCharset(), nullptr);
        EXPECT_EQ(Framework().font, nullptr);
        EXPECT_EQ(app->calls.back(), "OnTerminate");
    });
    EXPECT_EQ(app_.OnEvent(ShellEventStopEngine, nullptr), ShellEventHandled);
    EXPECT_TRUE(checked);
    EXPECT_EQ(EngineGetState(), 0);
}

TEST_F(AppEvents, SecondWorldsIsRefused)
{
    ConfigBuilder config;
    config.Open("Config").Open("Worlds").Close().Open("Worlds").Element("Scale", {{"value", "2"}});
    Start(config.Text());
    ASSERT_FALSE(Boxes().empty());
    EXPECT_EQ(Boxes()[0], "Only one 'Worlds' section is allowed.\nPlease update your XML file");
    EXPECT_EQ(app_.GetScale(), 1.0f) << "the refused section is passed over whole";
    app_.OnEvent(ShellEventStopEngine, nullptr);
}

TEST_F(AppEvents, FrameSteps)
{
    const struct
    {
        uint32_t now;
        float step;
        float elapsed;
    } frames[] = {
        {5000, 0.0f, 0.0f},                 // the first frame measures from itself
        {5016, 0.016f, 0.016f},             //
        {5516, 0.0333f, 0.5f},              // a stall: capped for the game, whole for the counter
        {5549, 0.033f, 0.033f},             //
        {0xFFFFFFF0u, 0.0333f, 4294962.0f}, // the clock jumps far ahead...
        {0x10, 0.032f, 0.032f},             // ...and wraps: 32 ms
    };
    for (const auto& f : frames) {
        Now() = f.now;
        app_.OnEvent(ShellEventIdle, nullptr);
        EXPECT_FLOAT_EQ(app_.GetLastStep(), f.step) << f.now;
        EXPECT_FLOAT_EQ(app_.steps.back(), f.step) << f.now;
        EXPECT_NEAR(app_.GetLastElapsed(), f.elapsed, f.elapsed * 1e-6f) << f.now;
    }

    app_.SetFixedStep(true, 0.02f);
    Now() += 900;
    app_.Update();
    EXPECT_EQ(app_.steps.back(), 0.02f);
    EXPECT_FLOAT_EQ(app_.GetLastElapsed(), 0.9f);
}

TEST_F(AppEvents, PausedFramesSkipTheGamesUpdate)
{
    Framework().paused = true;
    app_.OnEvent(ShellEventIdle, nullptr);
    app_.OnEvent(ShellEventIdle, nullptr);
    EXPECT_EQ(app_.calls, (Calls{"OnRender", "OnRender"}));
    Framework().paused = false;
    app_.OnEvent(ShellEventIdle, nullptr);
    EXPECT_EQ(app_.calls.back(), "OnRender");
    EXPECT_EQ(app_.calls[2], "OnUpdate");
}

TEST_F(AppEvents, FramesAllocateNothing)
{
    app_.OnEvent(ShellEventIdle, nullptr); // the recorder's lists grow here
    app_.calls.reserve(256);
    app_.steps.reserve(256);
    gAllocations = 0;
    gCounting = true;
    for (int i = 0; i < 50; ++i) {
        Now() += 16;
        app_.Update();
    }
    gCounting = false;
    EXPECT_EQ(gAllocations, 0);
}

TEST_F(AppEvents, DirectInputMouseMovesTheClampedPointer)
{
    Start("<Config/>");
    EXPECT_EQ(Boxes(), Calls{"Texture not found : 'POINTER.BMP'"});
    CInputManager* input = CInputManager::Instance();
    ASSERT_NE(input->GetDirectInputMouse(), nullptr);
    ASSERT_TRUE(input->GetDirectInputMouse()->HasDevice());
    input->SetCameraState(true, CInputManager::kCameraFree, 640, 480);
    float x = 0, y = 0;
    const struct
    {
        int32_t dx, dy;
        float x, y;
    } moves[] = {
        {10, 20, 20, 40}, {1000, -1000, 640, 0}, {-5000, 5000, 0, 480}, {INT32_MAX, INT32_MIN, 640, 0}};
    for (const auto& m : moves) {
        DInput8FeedMotion(m.dx, m.dy);
        input->Update(0.02f);
        input->GetPointerPosition(&x, &y);
        EXPECT_EQ(x, m.x) << m.dx;
        EXPECT_EQ(y, m.y) << m.dy;
    }

    DInput8FeedButton(0, true);
    DInput8FeedMotion(-3, 0);
    input->Update(0.02f);
    EXPECT_TRUE(input->IsLeftButtonHeld());
    float dx = 1, dy = 1;
    input->TakeMouseDelta(&dx, &dy);
    EXPECT_EQ(dx, 0.0f) << "the press clears the frame's motion";

    // Lost input: the update reacquires and the next one reads again.
    DInput8FeedFocusLost();
    DInput8FeedMotion(-100, 0);
    input->Update(0.02f);
    input->GetPointerPosition(&x, &y);
    EXPECT_EQ(x, 640.0f) << "nothing read while lost";
    DInput8FeedMotion(-100, 0);
    input->Update(0.02f);
    input->GetPointerPosition(&x, &y);
    EXPECT_EQ(x, 440.0f);

    input->SetCameraState(true, CInputManager::kCameraFps, 640, 480);
    input->Update(0.02f);
    input->GetPointerPosition(&x, &y);
    EXPECT_EQ(x, 320.0f);
    EXPECT_EQ(y, 240.0f);

    input->SetDirectInputActive(false);
    EXPECT_FALSE(input->GetDirectInputMouse()->HasDevice());
    input->SetDirectInputActive(true);
    EXPECT_TRUE(input->GetDirectInputMouse()->HasDevice());
    app_.OnEvent(ShellEventStopEngine, nullptr);
}

} // namespace
