// The clocks and the frame clock.
#include <gtest/gtest.h>

#include "platform/win32/timing.h"

namespace {

TEST(Timing, FrameClockMovesOnlyWithFramesAndWraps)
{
    Win32ClockReset(20, 0xFFFFFFF0u);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u) << "no real time is counted";
    Win32FramePresented();
    EXPECT_EQ(timeGetTime(), 4u) << "the 32-bit clock wraps";
    EXPECT_EQ(GetTickCount(), 4u);
    EXPECT_EQ(Win32FrameCount(), 1u);
    LARGE_INTEGER counter{}, frequency{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    EXPECT_EQ(frequency.QuadPart, 1000000);
    EXPECT_EQ(counter.QuadPart, int64_t(0x100000004ull) * 1000) << "the counter does not wrap";
    Win32ClockAdvance(6);
    EXPECT_EQ(timeGetTime(), 10u);
}

TEST(Timing, RealClockIsSteady)
{
    Win32ClockReset(0, 0);
    const uint32_t a = timeGetTime();
    Win32FramePresented();
    const uint32_t b = timeGetTime();
    EXPECT_LT(b - a, 1000u);
}

TEST(Timing, PeriodsAndCaps)
{
    TIMECAPS caps{};
    EXPECT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
    EXPECT_EQ(caps.wPeriodMin, 1u);
    EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
    EXPECT_EQ(timeGetDevCaps(&caps, 3), TIMERR_NOCANDO);
    const int before = Win32TimerPeriodRequests();
    EXPECT_EQ(timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(Win32TimerPeriodRequests(), before + 1);
    EXPECT_EQ(timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(Win32TimerPeriodRequests(), before);
}

} // namespace
