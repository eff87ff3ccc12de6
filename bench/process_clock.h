// What a comparison measures besides wall time: the processor time of the
// calling thread (on a loaded machine, time spent waiting for a core does
// not count against whichever side runs then) and the page faults so far.
#pragma once

#include <sys/resource.h>
#include <time.h>

/// Seconds of processor time the calling thread has used.
inline double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

/// Page faults this process has taken so far.
inline long PageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}
