// The message queue, timers, window classes and the SDL translation.
#include <gtest/gtest.h>

#include <SDL.h>

#include <vector>

#include "platform/win32/cursor.h"
#include "platform/win32/debugout.h"
#include "platform/win32/dragdrop.h"
#include "platform/win32/messagequeue.h"
#include "platform/win32/timing.h"
#include "platform/win32/windowclass.h"

namespace {

struct Seen
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Seen>& Log()
{
    static std::vector<Seen> log;
    return log;
}

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Log().push_back({message, wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

class Messages : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        Win32ResetMessageQueue();
        Win32ClockReset(1, 5000);
        Log().clear();
        WNDCLASSA c{};
        c.lpfnWndProc = RecordingProc;
        c.lpszClassName = "TestClass";
        ASSERT_NE(RegisterClassA(&c), 0);
        window = CreateWindowExA(0, "TestClass", "t", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 64,
                                 48, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(window);
        UnregisterClassA("TestClass", nullptr);
        Win32ResetMessageQueue();
    }

    /// Every message now waiting, dispatched; their codes.
    std::vector<UINT> Drain()
    {
        std::vector<UINT> codes;
        MSG m{};
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            codes.push_back(m.message);
            if (m.message == WM_QUIT)
                break;
            DispatchMessageA(&m);
        }
        return codes;
    }

    void PushKey(SDL_Scancode code, bool down, bool repeat = false)
    {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(window)));
        e.key.keysym.scancode = code;
        e.key.repeat = repeat;
        SDL_PushEvent(&e);
    }

    HWND window = nullptr;
};

TEST_F(Messages, CreateSendsCreateAndShowActivates)
{
    ASSERT_FALSE(Log().empty());
    EXPECT_EQ(Log()[0].message, WM_CREATE);
    EXPECT_FALSE(Win32IsActive(window)) << "hidden until shown";
    ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_TRUE(Win32IsActive(window));
    EXPECT_EQ(Log().back().message, WM_ACTIVATE);
    EXPECT_EQ(Log().back().wParam, WA_ACTIVE);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    EXPECT_TRUE(GetWindowPlacement(window, &placement));
    EXPECT_EQ(placement.showCmd, UINT(SW_SHOWNORMAL));
    placement.length = 0;
    EXPECT_FALSE(GetWindowPlacement(window, &placement));
}

TEST_F(Messages, KeyMessagesCarryTheScanCodeAndFlags)
{
    PushKey(SDL_SCANCODE_RCTRL, true);
    PushKey(SDL_SCANCODE_RCTRL, true, true);
    PushKey(SDL_SCANCODE_RCTRL, false);
    PushKey(SDL_SCANCODE_LALT, true);
    PushKey(SDL_SCANCODE_X, true);
    PushKey(SDL_SCANCODE_X, false);
    PushKey(SDL_SCANCODE_LALT, false);
    PushKey(SDL_SCANCODE_F10, true);
    EXPECT_EQ(Drain(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYDOWN,
                                          WM_SYSKEYUP, WM_SYSKEYUP, WM_SYSKEYDOWN}));
    const auto& log = Log();
    const size_t first = log.size() - 8;
    EXPECT_EQ(uint32_t(log[first].lParam), 0x011D0001u) << "extended right Ctrl, repeat count 1";
    EXPECT_EQ(uint32_t(log[first + 1].lParam), 0x411D0001u) << "SDL's repeat sets bit 30";
    EXPECT_EQ(uint32_t(log[first + 2].lParam), 0xC11D0001u) << "key-up: bits 30 and 31";
    EXPECT_EQ(uint32_t(log[first + 4].lParam), 0x202D0001u) << "X with Alt held: bit 29";
    EXPECT_EQ(log[first + 4].wParam, WPARAM('X'));
}

TEST_F(Messages, MouseMessagesAndWheel)
{
    const uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(window)));
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = id;
    e.motion.x = -3;
    e.motion.y = 7;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = id;
    e.button.button = SDL_BUTTON_RIGHT;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = id;
    e.wheel.y = -1;
    SDL_PushEvent(&e);
    EXPECT_EQ(Drain(), (std::vector<UINT>{WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_MOUSEWHEEL}));
    const auto& log = Log();
    const Seen& move = log[log.size() - 3];
    EXPECT_EQ(GET_X_LPARAM(move.lParam), -3);
    EXPECT_EQ(GET_Y_LPARAM(move.lParam), 7);
    EXPECT_EQ(log[log.size() - 2].wParam & MK_RBUTTON, MK_RBUTTON);
    EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(log.back().wParam), -120);
}

TEST_F(Messages, QuitComesAfterQueuedMessagesWithItsCode)
{
    PostQuitMessage(5);
    PostMessageA(window, WM_TIMER + 1, 0, 0);
    MSG m{};
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER + 1);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 5u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(Messages, TimersFireOnTheClockAndWaitJumpsTheFrameClock)
{
    EXPECT_EQ(SetTimer(window, 1, 20, nullptr), 1u);
    MSG m{};
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "not due yet";
    const uint32_t start = timeGetTime();
    EXPECT_TRUE(WaitMessage());
    EXPECT_EQ(timeGetTime() - start, 20u) << "the frame clock jumps to the timer";
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "rescheduled 20 ms on";
    EXPECT_TRUE(KillTimer(window, 1));
    EXPECT_FALSE(KillTimer(window, 1));
    // Across the wrap of the 32-bit clock.
    Win32ClockReset(1, 0xFFFFFFF8u);
    SetTimer(window, 2, 10, nullptr);
    Win32ClockAdvance(9);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    Win32ClockAdvance(1);
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, WM_TIMER);
}

TEST_F(Messages, WindowEventsAreSentAtOnce)
{
    const uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(window)));
    for (auto [event, a, b] :
         {std::tuple{SDL_WINDOWEVENT_SIZE_CHANGED, 100, 50}, std::tuple{SDL_WINDOWEVENT_FOCUS_GAINED, 0, 0},
          std::tuple{SDL_WINDOWEVENT_FOCUS_LOST, 0, 0}, std::tuple{SDL_WINDOWEVENT_CLOSE, 0, 0}}) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = id;
        e.window.event = uint8_t(event);
        e.window.data1 = a;
        e.window.data2 = b;
        SDL_PushEvent(&e);
    }
    Log().clear();
    EXPECT_TRUE(Drain().empty()) << "nothing queued: all sent";
    ASSERT_EQ(Log().size(), 5u);
    EXPECT_EQ(Log()[0].message, WM_SIZE);
    EXPECT_EQ(Log()[0].lParam, MAKELPARAM(100, 50));
    EXPECT_EQ(Log()[1].message, WM_ACTIVATE);
    EXPECT_EQ(Log()[2].wParam, WA_INACTIVE);
    EXPECT_EQ(Log()[3].message, WM_CLOSE);
    EXPECT_EQ(Log()[4].message, WM_DESTROY) << "DefWindowProc destroys on WM_CLOSE";
    window = nullptr;
}

TEST_F(Messages, DropsReachOnlyWindowsThatAcceptFiles)
{
    const uint32_t id = SDL_GetWindowID(static_cast<SDL_Window*>(Win32WindowGetSdl(window)));
    auto drop = [id](const char* name) {
        SDL_Event e{};
        e.type = SDL_DROPFILE;
        e.drop.windowID = id;
        e.drop.file = SDL_strdup(name);
        SDL_PushEvent(&e);
        e = {};
        e.type = SDL_DROPCOMPLETE;
        SDL_PushEvent(&e);
    };
    drop("/a");
    MSG m{};
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DragAcceptFiles(window, 1);
    drop("/tmp/long name.bin");
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    ASSERT_EQ(m.message, WM_DROPFILES);
    auto hdrop = reinterpret_cast<HDROP>(m.wParam);
    EXPECT_EQ(DragQueryFileA(hdrop, 0xFFFFFFFFu, nullptr, 0), 1u);
    EXPECT_EQ(DragQueryFileA(hdrop, 0, nullptr, 0), 18u);
    char small[6];
    EXPECT_EQ(DragQueryFileA(hdrop, 0, small, sizeof small), 5u);
    EXPECT_STREQ(small, "/tmp/");
    EXPECT_EQ(DragQueryFileA(hdrop, 1, small, sizeof small), 0u);
    DragFinish(hdrop);
    EXPECT_EQ(DragQueryFileA(hdrop, 0, nullptr, 0), 0u) << "a finished drop is gone";
    // A drop nobody takes is finished with its window.
    drop("/b");
    Win32PumpEvents();
    EXPECT_EQ(Win32DropsOpen(), 1);
    DestroyWindow(window);
    window = nullptr;
    EXPECT_EQ(Win32DropsOpen(), 0);
}

TEST_F(Messages, CursorCaptureClipAndTopmost)
{
    EXPECT_EQ(ShowCursor(0), -1);
    EXPECT_EQ(ShowCursor(1), 0);
    EXPECT_EQ(SetCapture(window), nullptr);
    EXPECT_EQ(GetCapture(), window);
    ReleaseCapture();
    EXPECT_EQ(GetCapture(), nullptr);
    POINT p{0, 0};
    EXPECT_TRUE(ClientToScreen(window, &p));
    RECT clip{p.x, p.y, p.x + 10, p.y + 10}, got{};
    ClipCursor(&clip);
    EXPECT_TRUE(Win32GetCursorClip(&got));
    EXPECT_EQ(got.right, clip.right);
    ClipCursor(nullptr);
    EXPECT_FALSE(Win32GetCursorClip(&got));
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & LONG(WS_EX_TOPMOST));
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_FALSE(GetWindowLongA(window, GWL_EXSTYLE) & LONG(WS_EX_TOPMOST));
    EXPECT_TRUE(SetWindowTextA(window, "title"));
    EXPECT_STREQ(SDL_GetWindowTitle(static_cast<SDL_Window*>(Win32WindowGetSdl(window))), "title");
}

TEST(MessageBox, SinkReplacesTheBoxAndHeadlessGoesToStandardError)
{
    static std::string seen;
    Win32SetMessageBoxSink([](HWND, const char* text, const char* caption, UINT) {
        seen = std::string(caption) + "|" + text;
        return IDOK;
    });
    EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK), IDOK);
    EXPECT_EQ(seen, "caption|text");
    Win32SetMessageBoxSink(nullptr);
    testing::internal::CaptureStderr();
    MessageBoxA(nullptr, "no display", "Box", MB_ICONERROR);
    OutputDebugStringA("debug\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Box: no display\ndebug\n");
}

TEST(WindowClasses, RegistrationRules)
{
    WNDCLASSA c{};
    c.lpszClassName = "NoProc";
    EXPECT_EQ(RegisterClassA(&c), 0) << "a class needs a procedure";
    c.lpfnWndProc = DefWindowProcA;
    const ATOM atom = RegisterClassA(&c);
    EXPECT_NE(atom, 0);
    EXPECT_EQ(RegisterClassA(&c), 0) << "a name is registered once";
    EXPECT_EQ(CreateWindowExA(0, "Missing", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(UnregisterClassA("NoProc", nullptr));
    EXPECT_FALSE(UnregisterClassA("NoProc", nullptr));
}

} // namespace
