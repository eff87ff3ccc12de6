#pragma once
// The one place that decides whether the x86 processor code (CPUID, SSE
// intrinsics, the SSE control register) is compiled. Other processors use the
// portable routines and have no control state to change.

#if defined(__x86_64__) || defined(__i386__)
#define OLAI_CPU_X86 1
#endif
