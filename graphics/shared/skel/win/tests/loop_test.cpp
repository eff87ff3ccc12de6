// The entry point and the message loop, driven by scripted SDL input.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "graphics/shared/skel/win/shellwin.h"
#include "graphics/shared/skel/win/tests/shelltesting.h"
#include "platform/win32/commandline.h"
#include "platform/win32/cursor.h"
#include "platform/win32/debugout.h"
#include "platform/win32/dragdrop.h"
#include "platform/win32/inputscript.h"
#include "platform/win32/timing.h"

namespace {

using Codes = std::vector<ShellEvent>;

InputScriptEvent Key(uint64_t frame, InputScriptKind kind, SDL_Scancode key)
{
    return {frame, kind, key, 0, 0, 0, 0};
}

class Loop : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ShellTestReset({"prog", "a", "b c"});
        // Each frame "presents", so the frame clock and the script move on.
        Recorder().onIdle = [this](int idle) {
            Win32FramePresented();
            if (hook)
                hook(idle);
        };
    }

    /// Runs the program with the input script.
    int Run(std::vector<InputScriptEvent> script)
    {
        InputScriptPlay(std::move(script));
        return ShellWinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
    }

    /// The recorded events from the first of `event` on.
    std::vector<RecordedEvent> From(ShellEvent event) const
    {
        const auto& all = Recorder().events;
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].event == event)
                return {all.begin() + long(i), all.end()};
        return {};
    }

    std::vector<RecordedEvent> Only(std::initializer_list<ShellEvent> events) const
    {
        std::vector<RecordedEvent> out;
        for (const RecordedEvent& e : Recorder().events)
            for (ShellEvent wanted : events)
                if (e.event == wanted)
                    out.push_back(e);
        return out;
    }

    std::function<void(int)> hook;
};

TEST_F(Loop, StartUpOrderThenEscapeEndsBeforeTheNextFrame)
{
    const int code = Run({Key(3, InputScriptKind::KeyDown, SDL_SCANCODE_ESCAPE),
                          Key(3, InputScriptKind::KeyUp, SDL_SCANCODE_ESCAPE)});
    EXPECT_EQ(code, 0) << "a quit by Escape ends with 0, not the key's code";
    const Codes expectedStart = {ShellEventInitialise,  ShellEventEarlyArgument, ShellEventEarlyArgument,
                                 ShellEventStartEngine, ShellEventArgument,      ShellEventLoadFile,
                                 ShellEventArgument,    ShellEventLoadFile,      ShellEventResize};
    const Codes codes = Recorder().CodesWithoutFrames();
    ASSERT_GE(codes.size(), expectedStart.size());
    EXPECT_EQ(Codes(codes.begin(), codes.begin() + long(expectedStart.size())), expectedStart);
    const auto& events = Recorder().events;
    EXPECT_EQ(events[1].text, "a");
    EXPECT_EQ(events[2].text, "b c");
    // The end: Escape down goes to the keyboard, then 21; no frame after it.
    const auto tail = From(ShellEventQuit);
    ASSERT_EQ(tail.size(), 3u);
    EXPECT_EQ(tail[1].event, ShellEventStopEngine);
    EXPECT_EQ(tail[2].event, ShellEventTerminate);
    const auto keys = Only({ShellEventKeyDown, ShellEventKeyUp});
    ASSERT_EQ(keys.size(), 1u) << "the key-up stays in the queue: the loop ended first";
    EXPECT_EQ(keys[0].key.scan, 0x01);
    EXPECT_EQ(keys[0].key.key, kShellKeyEscape);
    EXPECT_EQ(Recorder().Count(ShellEventIdle), 3);
    EXPECT_EQ(ShellGetWindow(), nullptr);
}

TEST_F(Loop, QuitMessageCodeIsTheExitCode)
{
    hook = [](int idle) {
        if (idle == 1)
            PostQuitMessage(7);
    };
    EXPECT_EQ(Run({}), 7);
    const auto tail = From(ShellEventStopEngine);
    ASSERT_EQ(tail.size(), 2u);
    EXPECT_EQ(tail[1].event, ShellEventTerminate);
}

TEST_F(Loop, OnlyTheProgramPathRaisesNoArgumentEvents)
{
    ShellTestReset({"prog"});
    Recorder().onIdle = [](int) { PostQuitMessage(0); };
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Recorder().Count(ShellEventEarlyArgument), 0);
    EXPECT_EQ(Recorder().Count(ShellEventArgument), 0);
}

TEST_F(Loop, FailedEngineStartDestroysTheWindowAndTerminates)
{
    Recorder().answer = [](ShellEvent e, void*) {
        return e == ShellEventStartEngine ? ShellEventFailed : ShellEventNotHandled;
    };
    // An engine that did not start is a failure of the program.
    EXPECT_EQ(Run({}), 1);
    EXPECT_EQ(Recorder().CodesWithoutFrames(),
              (Codes{ShellEventInitialise, ShellEventEarlyArgument, ShellEventEarlyArgument,
                     ShellEventStartEngine, ShellEventTerminate}));
    EXPECT_EQ(ShellGetWindow(), nullptr);
    // The argument block was freed: the leak checker of the sanitiser build would say otherwise.
}

TEST_F(Loop, FailedInitialiseEndsAtOnce)
{
    Recorder().answer = [](ShellEvent e, void*) {
        return e == ShellEventInitialise ? ShellEventFailed : ShellEventNotHandled;
    };
    EXPECT_EQ(Run({}), 1) << "a program that could not start ends failing";
    EXPECT_EQ(Recorder().Codes(), Codes{ShellEventInitialise});
}

TEST_F(Loop, HeldKeyGivesOneDownAndOneUp)
{
    const int code = Run({
        Key(1, InputScriptKind::KeyDown, SDL_SCANCODE_A),
        Key(2, InputScriptKind::KeyRepeat, SDL_SCANCODE_A),
        Key(3, InputScriptKind::KeyRepeat, SDL_SCANCODE_A),
        Key(4, InputScriptKind::KeyUp, SDL_SCANCODE_A),
        Key(5, InputScriptKind::KeyDown, SDL_SCANCODE_RCTRL),
        Key(5, InputScriptKind::KeyUp, SDL_SCANCODE_RCTRL),
        Key(6, InputScriptKind::KeyDown, SDL_SCANCODE_LALT),
        Key(6, InputScriptKind::KeyDown, SDL_SCANCODE_ESCAPE), // Alt+Escape is a system key: no quit
        Key(7, InputScriptKind::KeyUp, SDL_SCANCODE_ESCAPE),
        Key(7, InputScriptKind::KeyUp, SDL_SCANCODE_LALT),
        Key(9, InputScriptKind::KeyDown, SDL_SCANCODE_ESCAPE),
    });
    EXPECT_EQ(code, 0);
    const auto keys = Only({ShellEventKeyDown, ShellEventKeyUp});
    const struct
    {
        ShellEvent event;
        int32_t scan, key;
    } expected[] = {
        {ShellEventKeyDown, 0x1E, 'a'}, {ShellEventKeyUp, 0x1E, 'a'},    {ShellEventKeyDown, 0x9D, 0xAF},
        {ShellEventKeyUp, 0x9D, 0xAF},  {ShellEventKeyDown, 0x38, 0xB0}, {ShellEventKeyDown, 0x01, 0x80},
        {ShellEventKeyUp, 0x01, 0x80},  {ShellEventKeyUp, 0x38, 0xB0},   {ShellEventKeyDown, 0x01, 0x80},
    };
    ASSERT_EQ(keys.size(), std::size(expected));
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].event, expected[i].event) << i;
        EXPECT_EQ(keys[i].key.scan, expected[i].scan) << i;
        EXPECT_EQ(keys[i].key.key, expected[i].key) << i;
    }
    EXPECT_EQ(Recorder().Count(ShellEventQuit), 1) << "only the plain Escape quits";
}

TEST_F(Loop, MouseMovesButtonsAndWheel)
{
    InputScriptEvent move1{2, InputScriptKind::MouseMove, SDL_SCANCODE_UNKNOWN, 10, 20, 0, 0};
    InputScriptEvent move2{3, InputScriptKind::MouseMove, SDL_SCANCODE_UNKNOWN, 15, 12, 0, 0};
    InputScriptEvent down{4, InputScriptKind::ButtonDown, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_LEFT, 0};
    InputScriptEvent up{4, InputScriptKind::ButtonUp, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_LEFT, 0};
    InputScriptEvent rdown{5, InputScriptKind::ButtonDown, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_RIGHT, 0};
    InputScriptEvent rup{5, InputScriptKind::ButtonUp, SDL_SCANCODE_UNKNOWN, 0, 0, SDL_BUTTON_RIGHT, 0};
    InputScriptEvent back{6, InputScriptKind::Wheel, SDL_SCANCODE_UNKNOWN, 0, 0, 0, -1};
    InputScriptEvent forward{6, InputScriptKind::Wheel, SDL_SCANCODE_UNKNOWN, 0, 0, 0, 2};
    InputScriptEvent shift{4, InputScriptKind::KeyDown, SDL_SCANCODE_LSHIFT, 0, 0, 0, 0};
    hook = [](int idle) {
        if (idle == 0) {
            EXPECT_EQ(GetCapture(), nullptr);
        }
        if (idle == 8)
            PostQuitMessage(0);
    };
    // The cursor starts at the client centre (a silent move); the first
    // scripted move therefore already carries movement from there.
    Run({move1, move2, shift, down, up, rdown, rup, back, forward});
    const auto mouse = Only({ShellEventMouseMove, ShellEventLeftButtonDown, ShellEventLeftButtonUp,
                             ShellEventRightButtonDown, ShellEventRightButtonUp, ShellEventMouseWheel});
    ASSERT_EQ(mouse.size(), 8u);
    const ShellSettings* settings = ShellGetSettings();
    EXPECT_EQ(mouse[0].event, ShellEventMouseMove);
    EXPECT_EQ(mouse[0].mouse.x, 10.0f);
    EXPECT_EQ(mouse[0].mouse.dx, 10.0f - float(settings->width / 2));
    EXPECT_EQ(mouse[1].mouse.dx, 5.0f);
    EXPECT_EQ(mouse[1].mouse.dy, -8.0f);
    EXPECT_EQ(mouse[2].event, ShellEventLeftButtonDown);
    EXPECT_EQ(mouse[2].mouse.x, 15.0f);
    EXPECT_EQ(mouse[2].mouse.shift, 1) << "Shift held";
    EXPECT_EQ(mouse[2].mouse.control, 0);
    EXPECT_EQ(mouse[3].event, ShellEventLeftButtonUp);
    EXPECT_EQ(mouse[4].event, ShellEventRightButtonDown);
    EXPECT_EQ(mouse[5].event, ShellEventRightButtonUp);
    EXPECT_EQ(mouse[6].event, ShellEventMouseWheel);
    EXPECT_EQ(mouse[6].value, 0) << "wheel -120";
    EXPECT_EQ(mouse[7].value, 1) << "wheel +240";
}

TEST_F(Loop, FirstMoveIsSilentWithoutAStartPosition)
{
    // Moves before the window is active are ignored; after ShellSetCursorPosition
    // the pointer position is forgotten, so the next move sends nothing.
    InputScriptEvent move{2, InputScriptKind::MouseMove, SDL_SCANCODE_UNKNOWN, 30, 40, 0, 0};
    InputScriptEvent move2{3, InputScriptKind::MouseMove, SDL_SCANCODE_UNKNOWN, 31, 42, 0, 0};
    hook = [](int idle) {
        if (idle == 1) {
            ShellWindowInfo* info = ShellGetWindowInfo();
            info->pointerKnown = 0; // as after ShellSetCursorPosition, without the warp's own move
        }
        if (idle == 5)
            PostQuitMessage(0);
    };
    Run({move, move2});
    const auto moves = Only({ShellEventMouseMove});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].mouse.dx, 1.0f);
    EXPECT_EQ(moves[0].mouse.dy, 2.0f);
}

TEST_F(Loop, InactiveWindowRunsOneFramePerTimerTick)
{
    std::vector<uint32_t> inactiveFrames;
    bool inactive = false;
    hook = [&](int idle) {
        if (idle == 2) {
            PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
            inactive = true;
        } else if (inactive && idle > 2) {
            inactiveFrames.push_back(timeGetTime());
            if (inactiveFrames.size() == 5) {
                PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
                inactive = false;
            }
        } else if (idle == 12) {
            PostQuitMessage(0);
        }
    };
    Run({});
    ASSERT_EQ(inactiveFrames.size(), 5u);
    for (size_t i = 1; i < inactiveFrames.size(); ++i)
        EXPECT_EQ(inactiveFrames[i] - inactiveFrames[i - 1], 20u) << "one frame per 20 ms tick";
    const auto activations = Only({ShellEventActivate});
    ASSERT_EQ(activations.size(), 3u);
    EXPECT_EQ(activations[0].value, 1);
    EXPECT_EQ(activations[1].value, 0);
    EXPECT_EQ(activations[2].value, 1);
    // Active again: frames back to back, 1 ms apart on this clock.
    const auto frames = Only({ShellEventIdle});
    EXPECT_EQ(frames.back().time - frames[frames.size() - 2].time, 1u);
}

TEST_F(Loop, ResizeRaisesEventZeroOnlyForARealSize)
{
    hook = [](int idle) {
        if (idle == 1)
            PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 0, 300);
        if (idle == 2)
            PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
        if (idle == 3)
            PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 320, 200);
        if (idle == 5)
            PostQuitMessage(0);
    };
    Run({});
    const auto resizes = Only({ShellEventResize});
    ASSERT_EQ(resizes.size(), 2u) << "the start-up one and the 320 x 200 one";
    EXPECT_EQ(resizes[1].rect.width, 320);
    EXPECT_EQ(resizes[1].rect.height, 200);
    EXPECT_EQ(resizes[1].rect.x, 0);
}

TEST_F(Loop, SizingRunsAFrameAndResizesTheWindow)
{
    hook = [](int idle) {
        if (idle == 1)
            PushWindowEvent(SDL_WINDOWEVENT_RESIZED, 200, 150);
        if (idle == 3)
            PostQuitMessage(0);
    };
    Run({});
    const auto resizes = Only({ShellEventResize});
    ASSERT_GE(resizes.size(), 2u);
    EXPECT_EQ(resizes.back().rect.width, 200);
    EXPECT_EQ(resizes.back().rect.height, 150);
}

TEST_F(Loop, DroppedAbsolutePathsLoadThroughUncdAndTheDefaultComesBack)
{
    ASSERT_TRUE(FileSystemManagerOpen(-1));
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd - 1), nullptr);
    std::strcat(cwd, "/");
    FileSystem* unc = Win32FileSystemCreate(20, cwd, "unc");
    ASSERT_TRUE(unc && FileSystemManagerRegister(unc));
    FileSystemManagerSetDefault(unc);
    auto drop = [](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            SDL_Event e{};
            e.type = SDL_DROPFILE;
            e.drop.file = SDL_strdup(name);
            e.drop.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(ShellGetWindow())));
            SDL_PushEvent(&e);
        }
        SDL_Event done{};
        done.type = SDL_DROPCOMPLETE;
        SDL_PushEvent(&done);
    };
    hook = [&](int idle) {
        if (idle == 1)
            drop({"/tmp/first.dff", "relative/skipped.dff", "/tmp/second.dff"});
        if (idle == 2)
            drop({"/tmp/third.dff"}); // a second drop reuses "uncd"
        if (idle == 4)
            PostQuitMessage(0);
    };
    Run({});
    const auto loads = Only({ShellEventLoadFile});
    // Events 2 for the arguments come first.
    ASSERT_EQ(loads.size(), 5u);
    EXPECT_EQ(loads[2].text, "/tmp/second.dff") << "last file first";
    EXPECT_EQ(loads[3].text, "/tmp/first.dff");
    EXPECT_EQ(loads[4].text, "/tmp/third.dff");
    for (size_t i = 2; i < loads.size(); ++i)
        EXPECT_EQ(loads[i].value, 1) << "loaded with \"uncd\" as the default";
    EXPECT_EQ(FileSystemManagerGetDefault(), unc);
    EXPECT_TRUE(FileSystemManagerIsRegistered("uncd"));
    EXPECT_EQ(Win32DropsOpen(), 0) << "every drop finished";
    FileSystemManagerClose();
}

TEST_F(Loop, EscapeWithoutAKeyboardHandlerStillQuits)
{
    Recorder().attachHandlers = false;
    Run({Key(2, InputScriptKind::KeyDown, SDL_SCANCODE_ESCAPE)});
    EXPECT_EQ(Recorder().Count(ShellEventQuit), 1);
    EXPECT_EQ(Recorder().Count(ShellEventKeyDown), 0);
    EXPECT_LT(Recorder().Count(ShellEventIdle), 10);
}

TEST(InputDevices, WithoutHandlersEveryInputEventAnswersNotHandled)
{
    ShellResetInputDevices();
    ShellKeyRecord key{0x1E, 'a'};
    ShellMouseRecord mouse{};
    EXPECT_EQ(ShellSendKeyboardEvent(ShellEventKeyDown, &key), ShellEventNotHandled);
    EXPECT_EQ(ShellSendMouseEvent(ShellEventMouseMove, &mouse), ShellEventNotHandled);
    EXPECT_EQ(ShellSendPadEvent(ShellEventPadButtonDown, nullptr), ShellEventNotHandled);
    EXPECT_EQ(ShellAttachInputDevice(3, nullptr), 0);
    EXPECT_EQ(ShellAttachInputDevice(-1, nullptr), 0);
    EXPECT_EQ(ShellAttachInputDevice(ShellDevicePad, [](ShellEvent, void*) { return ShellEventHandled; }), 1);
    EXPECT_EQ(ShellSendPadEvent(ShellEventPadButtonDown, nullptr), ShellEventHandled);
    EXPECT_EQ(ShellGetInputDevices()[ShellDevicePad].enabled, 1);
    ShellResetInputDevices();
    EXPECT_EQ(ShellGetInputDevices()[ShellDeviceMouse].type, ShellDeviceMouse);
}

TEST(InputDevices, ReportErrorReleasesKeysThroughTheKeyboard)
{
    ShellResetInputDevices();
    Recorder().Clear();
    ShellReportError("quiet"); // no keyboard: only the text
    EXPECT_TRUE(Recorder().events.empty());
    ShellAttachInputDevice(ShellDeviceKeyboard, [](ShellEvent e, void* p) {
        RecordedEvent r{e, {}};
        r.key = *static_cast<ShellKeyRecord*>(p);
        Recorder().events.push_back(r);
        return ShellEventHandled;
    });
    testing::internal::CaptureStderr();
    ShellReportWarning("careful");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: careful\n");
    ASSERT_EQ(Recorder().Codes(), (std::vector<ShellEvent>{ShellEventKeyUp, ShellEventKeyDown}));
    EXPECT_EQ(Recorder().events[0].key.scan, 0xFF);
    EXPECT_EQ(Recorder().events[1].key.key, 0xFF);
    ShellResetInputDevices();
}

} // namespace

namespace {

TEST_F(Loop, TheShellStartsAndStopsTheEngine)
{
    Recorder().startEngine = true;
    int32_t stateDuringFrames = -1;
    hook = [&](int idle) {
        stateDuringFrames = int32_t(EngineGetState());
        if (idle == 2)
            PostQuitMessage(0);
    };
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(stateDuringFrames, int32_t(kEngineStateStarted));
    EXPECT_EQ(EngineGetState(), kEngineStateNone) << "stopped, closed and terminated";
    EXPECT_EQ(
        Recorder().CodesWithoutFrames(),
        (Codes{ShellEventInitialise, ShellEventEarlyArgument, ShellEventEarlyArgument, ShellEventStartEngine,
               ShellEventMemoryFunctions, ShellEventEngineInitialised, ShellEventAttachPlugins,
               ShellEventPluginsAttached, ShellEventSelectDevice, ShellEventRegisterImageReaders,
               ShellEventArgument, ShellEventLoadFile, ShellEventArgument, ShellEventLoadFile,
               ShellEventResize, ShellEventStopEngine, ShellEventTerminate}));
}

TEST_F(Loop, ExitInTheDeviceChoiceEndsBeforeTheWindowShows)
{
    Recorder().startEngine = true;
    ShellTestReset({"prog", "-device", "exit"});
    Recorder().startEngine = true;
    Recorder().onIdle = [](int) { PostQuitMessage(0); };
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(Recorder().Count(ShellEventActivate), 0) << "never shown, so never activated";
    EXPECT_EQ(Recorder().Count(ShellEventIdle), 0);
    EXPECT_EQ(Recorder().Count(ShellEventStopEngine), 0);
    EXPECT_EQ(Recorder().events.back().event, ShellEventTerminate);
    EXPECT_EQ(EngineGetState(), kEngineStateNone) << "closed and terminated";
}

// An engine that did not start is a failure, unless the user asked to end.
TEST_F(Loop, AnEngineThatDoesNotStartEndsFailing)
{
    Win32SetMessageBoxSink([](HWND, const char*, const char*, UINT) { return IDOK; });
    for (const char* device : {"ten", "7"}) {
        ShellTestReset({"prog", "-device", device});
        Recorder().startEngine = true;
        EXPECT_EQ(Run({}), 2) << device;
        EXPECT_EQ(Recorder().Count(ShellEventIdle), 0) << device;
    }
    Win32SetMessageBoxSink(nullptr);
}

} // namespace
