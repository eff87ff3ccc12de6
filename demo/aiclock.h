#pragma once
// The AI's clock: seconds since calibration, from the platform's monotonic
// performance counter (which OLAI_FRAME_MS turns into a frame clock for
// reproducible runs).
//
// TimerCalibrate also records whether the processor's time-stamp counter
// could serve as a clock (TimeStampCounterUsable): it cannot on machines with
// more than one processor, on processors whose counter rate follows the
// clock frequency (the listed Intel models, mobile parts, AMD parts with
// frequency-ID control) or without the counter. The monotonic clock stays the
// source either way; the answer is kept for diagnostics.
#include <cstdint>

/// What processor identification (CPUID) reports, as far as the counter check reads it.
struct ProcessorSnapshot
{
    uint32_t processorCount = 1;
    bool identificationAvailable = false; ///< the identification instruction exists
    uint32_t highestLeaf = 0;             ///< leaf 0: eax
    char vendor[13] = {};                 ///< leaf 0: ebx, edx, ecx ("GenuineIntel")
    uint32_t signature = 0;               ///< leaf 1: eax (stepping, model, family from bit 0)
    uint32_t brandIndex = 0;              ///< leaf 1: ebx bits 0-7
    uint32_t features = 0;                ///< leaf 1: edx (bit 4: time-stamp counter)
    uint32_t highestExtendedLeaf = 0;     ///< leaf 0x80000000: eax
    char brand[49] = {};                  ///< leaves 0x80000002 to 0x80000004
    uint32_t powerManagement = 0;         ///< leaf 0x80000007: edx (bit 1: frequency-ID control)
};

/// This machine's snapshot (no identification off x86).
ProcessorSnapshot TakeProcessorSnapshot();
/// True when the time-stamp counter of the processor described would be a reliable clock.
bool TimeStampCounterUsable(const ProcessorSnapshot& processor);

/// Starts the clock at 0 and records the counter check; later calls restart it.
void TimerCalibrate();
/// Seconds since calibration (calibrates on first use); the user word is not read.
float AiTimeNow(void* user);
/// The counter check's answer at the last calibration.
bool AiClockTimeStampCounterUsable();
