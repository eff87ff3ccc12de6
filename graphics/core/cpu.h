#pragma once
// Processor detection and the processor-specific point, vector and matrix
// routines that the device installs at engine start. Every routine gives
// bit-identical results to the portable ones (V3dTransform*Default,
// MatrixMultiplyDefault). On x86-64 the floating-point control state is the
// SSE control register (MXCSR); elsewhere the control functions do nothing.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

/// Instruction-set extensions, 1 or 0 each.
struct CpuFeatures
{
    uint32_t mmx;
    uint32_t sse;
    uint32_t sse2;
    uint32_t amd3dnow;
};

/// 1 when the processor reports the extension (CPUID leaf 1 EDX bit 23 /
/// bit 25 or 26 / bit 26; 3DNow!: extended leaf 0x80000001 EDX bit 31);
/// 0 without CPUID (every processor that is not x86).
uint32_t CpuHasMmx();
uint32_t CpuHasSse();
uint32_t CpuHasSse2();
uint32_t CpuHas3DNow();
/// Fills all four flags.
CpuFeatures* CpuDetectFeatures(CpuFeatures* features);

/// Processor name from the CPUID vendor, family and model ("Intel Pentium 4",
/// "AMD Athlon", ...); "Unknown" without CPUID. Static text.
const char* CpuGetName();
/// The same naming for a given vendor text (12 characters) and family/model.
const char* CpuNameFromId(const char* vendor, uint32_t family, uint32_t model);
/// Operating-system name, release, version and machine (uname). Static text.
const char* OsGetVersionString();

/// Saves the floating-point control state, then masks every exception.
void FpuSetSinglePrecision();
/// Loads the control state saved by FpuSetSinglePrecision.
void FpuRestoreControlWord();
/// Masks every exception again without saving (called every frame, since a
/// device may change the control state).
void FpuForceSinglePrecision();
/// The raw control state (MXCSR on x86-64, 0 elsewhere), for diagnostics.
uint32_t FpuGetControlState();

/// One member per role of a routine family.
struct CpuRoutineSet
{
    V3dTransformOneFunc transformPoint;
    V3dTransformManyFunc transformPoints;
    V3dTransformOneFunc transformVector;
    V3dTransformManyFunc transformVectors;
    MatrixMultiplyFunc multiply;
};

/// The routine families: scalar (the portable code), SSE set A (x and y
/// stored together, z alone) and SSE set B (three single stores). The SSE
/// sets are the scalar ones on processors without SSE.
const CpuRoutineSet* CpuRoutinesScalar();
const CpuRoutineSet* CpuRoutinesSseA();
const CpuRoutineSet* CpuRoutinesSseB();
/// The family for the given features: no SSE the scalar set; SSE and SSE2
/// without 3DNow! set B; other SSE processors set A.
const CpuRoutineSet* CpuChooseRoutines(const CpuFeatures* features);

/// Engine start (device after-start request): saves and sets the control
/// state, turns on flush-to-zero with SSE, installs the chosen routines.
/// Needs the engine started.
void CpuInstallRoutines(const CpuFeatures* features);
/// Engine stop: restores the control state saved by CpuInstallRoutines.
void CpuRestoreControlState();
