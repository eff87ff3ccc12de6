// One millisecond clock behind every clock of the platform layer.
#include "platform/win32/timing.h"

#include "platform/win32/environment.h"
#include "platform/win32/inputscript.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

struct ClockState
{
    bool configured = false;
    uint32_t frameStep = 0; ///< 0: real clock
    uint64_t frameClockUs = 0;
    uint64_t frames = 0;
    int periodRequests = 0;
    std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
};

ClockState& Clock()
{
    static ClockState state;
    if (!state.configured) {
        state.configured = true;
        state.frameStep = uint32_t(Win32EnvironmentNumber("OLAI_FRAME_MS", 1, 1000000, 0));
    }
    return state;
}

uint64_t NowMicroseconds()
{
    ClockState& c = Clock();
    if (c.frameStep)
        return c.frameClockUs;
    // A steady clock counted from a point far in the past, so the 32-bit
    // millisecond value is not small right after start-up.
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

} // namespace

uint32_t timeGetTime()
{
    return uint32_t(NowMicroseconds() / 1000);
}

uint32_t GetTickCount()
{
    return timeGetTime();
}

int QueryPerformanceCounter(LARGE_INTEGER* count)
{
    if (count)
        count->QuadPart = int64_t(NowMicroseconds());
    return 1;
}

int QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (frequency)
        frequency->QuadPart = 1000000;
    return 1;
}

MMRESULT timeGetDevCaps(TIMECAPS* caps, uint32_t size)
{
    if (!caps || size != sizeof(TIMECAPS))
        return TIMERR_NOCANDO;
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(uint32_t period)
{
    if (period < 1 || period > 1000000)
        return TIMERR_NOCANDO;
    ++Clock().periodRequests;
    return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(uint32_t period)
{
    if (period < 1 || period > 1000000 || Clock().periodRequests == 0)
        return TIMERR_NOCANDO;
    --Clock().periodRequests;
    return TIMERR_NOERROR;
}

int Win32TimerPeriodRequests()
{
    return Clock().periodRequests;
}

void Win32FramePresented()
{
    ClockState& c = Clock();
    ++c.frames;
    c.frameClockUs += uint64_t(c.frameStep) * 1000;
    InputScriptFramePresented(c.frames);
}

uint64_t Win32FrameCount()
{
    return Clock().frames;
}

uint32_t Win32ClockFrameStep()
{
    return Clock().frameStep;
}

void Win32ClockReset(uint32_t ms, uint32_t start)
{
    ClockState& c = Clock();
    c.frameStep = ms;
    c.frameClockUs = uint64_t(start) * 1000;
    c.frames = 0;
}

void Win32ClockAdvance(uint32_t ms)
{
    ClockState& c = Clock();
    if (c.frameStep)
        c.frameClockUs += uint64_t(ms) * 1000;
}
