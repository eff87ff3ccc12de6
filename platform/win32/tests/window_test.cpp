#include "platform/win32/environment.h"
#include "platform/win32/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Window, ClientSizeResizeAndStyle)
{
    HWND w = Win32WindowCreate("test", 64, 48);
    ASSERT_NE(w, nullptr);
    RECT r{};
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right - r.left, 64);
    EXPECT_EQ(r.bottom - r.top, 48);
    EXPECT_TRUE(SetWindowPos(w, HWND_TOP, 0, 0, 80, 60, SWP_NOMOVE | SWP_NOZORDER));
    Win32PumpEvents();
    ASSERT_TRUE(GetClientRect(w, &r));
    EXPECT_EQ(r.right, 80);
    EXPECT_EQ(r.bottom, 60);
    EXPECT_TRUE(GetWindowLongA(w, GWL_STYLE) & LONG(WS_VISIBLE));
    RECT adjusted{0, 0, 10, 20};
    EXPECT_TRUE(AdjustWindowRectEx(&adjusted, WS_OVERLAPPEDWINDOW, 0, 0));
    EXPECT_EQ(GetMenu(w), nullptr);
    EXPECT_FALSE(IsIconic(w));
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(w)) << "minimised on every video driver, headless ones too";
    ShowWindow(w, SW_RESTORE);
    EXPECT_FALSE(IsIconic(w));
    Win32WindowDestroy(w);
}

TEST(Window, UnknownHandleFailsCleanly)
{
    RECT r{};
    HWND bogus = reinterpret_cast<HWND>(&r);
    EXPECT_FALSE(GetClientRect(bogus, &r));
    EXPECT_FALSE(IsIconic(bogus));
    EXPECT_FALSE(SetWindowPos(bogus, HWND_TOP, 0, 0, 1, 1, 0));
    EXPECT_EQ(Win32WindowGetSdl(nullptr), nullptr);
}

TEST(Window, QuitFlagAndFrameLimit)
{
    Win32ClearQuit();
    EXPECT_FALSE(Win32PeekQuit());
    Win32PostQuit();
    EXPECT_TRUE(Win32PeekQuit());
    Win32ClearQuit();
    setenv("OLAI_EXIT_AFTER_FRAMES", "12", 1);
    EXPECT_EQ(Win32ExitAfterFrames(), 12);
    setenv("OLAI_EXIT_AFTER_FRAMES", "", 1);
    EXPECT_EQ(Win32ExitAfterFrames(), 0);
    unsetenv("OLAI_EXIT_AFTER_FRAMES");
    EXPECT_EQ(Win32ExitAfterFrames(), 0);
}

// An unattended run whose limit is not understood would never end: every
// value that is set but is no whole number in range ends the program with
// exit code 2 and names the variable.
TEST(WindowDeathTest, BadEnvironmentValuesEndTheProgramWithTheirName)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const char* value :
         {"ten", "30x", "-5", "1e3", "0", " 3", "+3", "1000000001", "99999999999999999999"}) {
        setenv("OLAI_EXIT_AFTER_FRAMES", value, 1);
        EXPECT_EXIT(Win32ExitAfterFrames(), ::testing::ExitedWithCode(2),
                    "OLAI_EXIT_AFTER_FRAMES=.*: not a whole number from 1 to 1000000000")
            << value;
    }
    unsetenv("OLAI_EXIT_AFTER_FRAMES");
    setenv("OLAI_TEST_NUMBER", "7", 1);
    EXPECT_EQ(Win32EnvironmentNumber("OLAI_TEST_NUMBER", 1, 9, 4), 7);
    unsetenv("OLAI_TEST_NUMBER");
    EXPECT_EQ(Win32EnvironmentNumber("OLAI_TEST_NUMBER", 1, 9, 4), 4);
    setenv("OLAI_TEST_NUMBER", "10", 1);
    EXPECT_EXIT(Win32EnvironmentNumber("OLAI_TEST_NUMBER", 1, 9, 4), ::testing::ExitedWithCode(2),
                "OLAI_TEST_NUMBER=10: not a whole number from 1 to 9");
    unsetenv("OLAI_TEST_NUMBER");
}
