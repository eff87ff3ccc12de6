#pragma once
// Clocks and timer periods: the multimedia clock (timeGetTime), the tick
// count and the performance counter, all read from one millisecond clock.
//
// The clock is a steady clock cut to 32 bits, so timeGetTime wraps after
// about 49.7 days as on Windows. For reproducible unattended runs,
// OLAI_FRAME_MS=n replaces it with a frame clock: it starts at 0 and moves
// by exactly n ms each time a frame is presented (Win32FramePresented), and
// by the time a message loop sleeps in WaitMessage until its next timer, so
// that timers still fire although no real time is counted.

#include <cstdint>

using MMRESULT = uint32_t;

struct TIMECAPS
{
    uint32_t wPeriodMin;
    uint32_t wPeriodMax;
};

constexpr MMRESULT TIMERR_NOERROR = 0;
constexpr MMRESULT TIMERR_NOCANDO = 97;

union LARGE_INTEGER {
    int64_t QuadPart;
};

/// Milliseconds of the clock, modulo 2^32.
uint32_t timeGetTime();
/// Fills {1, 1000000} ms; TIMERR_NOCANDO for a null pointer or a size other
/// than sizeof(TIMECAPS).
MMRESULT timeGetDevCaps(TIMECAPS* caps, uint32_t size);
/// Counts a request for a timer period (1 to 1000000 ms); TIMERR_NOCANDO outside.
MMRESULT timeBeginPeriod(uint32_t period);
/// Ends a request made with the same period; TIMERR_NOCANDO when none is open.
MMRESULT timeEndPeriod(uint32_t period);
/// Milliseconds of the clock, modulo 2^32 (same clock as timeGetTime).
uint32_t GetTickCount();
/// Counter in microseconds of the same clock; always TRUE.
int QueryPerformanceCounter(LARGE_INTEGER* count);
/// 1000000 counts per second; always TRUE.
int QueryPerformanceFrequency(LARGE_INTEGER* frequency);

/// Called by whatever presents a frame (the Direct3D 9 device; a program that
/// draws without it calls it once per drawn frame): counts the frame,
/// advances the frame clock and plays the input script's events due now.
void Win32FramePresented();
/// Frames presented since the start (or the last Win32ClockReset).
uint64_t Win32FrameCount();

/// Milliseconds per presented frame of the frame clock; 0 for the real clock.
/// Read from OLAI_FRAME_MS at first use unless set here.
uint32_t Win32ClockFrameStep();
/// Selects the frame clock with `ms` per frame (0: the real clock) and sets
/// it to `start` ms; resets the frame count. For tests and tools.
void Win32ClockReset(uint32_t ms, uint32_t start);
/// Moves the frame clock forward by `ms` (ignored with the real clock).
void Win32ClockAdvance(uint32_t ms);
/// Open timeBeginPeriod requests (for tests).
int Win32TimerPeriodRequests();
