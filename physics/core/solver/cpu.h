#pragma once
// The processor test of the solver: may the four-wide SSE kernels run?
// Only processors whose vendor string is "GenuineIntel" or "AuthenticAMD",
// that report SSE and whose operating system has the SSE state enabled run
// them; other architectures run the scalar kernels.
//
// The environment variable OLAI_PHYSICS_KERNELS overrides the answer:
// "scalar" forces 0, "sse" forces 1 (processors without SSE still run the
// portable kernels, which the SSE entry points fall back to elsewhere).

#include <cstdint>

/// 1 when the SSE kernels may run; 0 until OlpCpuDetect has run.
extern uint32_t OlpCpuSseUsable;

/// Runs the test and stores OlpCpuSseUsable.
void OlpCpuDetect();
/// The stored flag.
uint32_t OlpCpuGetMode();
/// The 12-character vendor string of identification leaf 0 (EBX, EDX, ECX)
/// into `out` (13 bytes with the terminator); 0 when it cannot be read.
int32_t OlpCpuVendor(char out[13]);
/// Leaf 1 EDX bit 23 (MMX) and bit 25 (SSE); 0 without the instruction.
uint32_t OlpCpuHasMmx();
uint32_t OlpCpuHasSse();
/// 1 when the operating system has the SSE state enabled.
int32_t OlpCpuProbeSse();

/// The routines OlpCpuDetect asks, replaceable by tests.
struct OlpCpuId
{
    int32_t (*vendor)(char out[13]);
    uint32_t (*hasSse)();
    int32_t (*probe)();
};
/// Replaces the routines (null: the processor's own).
void OlpCpuSetId(const OlpCpuId* id);
