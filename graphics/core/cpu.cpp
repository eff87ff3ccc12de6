#include "graphics/core/cpu.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "graphics/core/cpu_config.h"

#ifdef OLAI_CPU_X86
#include <cpuid.h>
#include <xmmintrin.h>
#endif

namespace {

constexpr uint32_t kMxcsrExceptionMasks = 0x1F80;
constexpr uint32_t kMxcsrFlushToZero = 0x8000;

uint32_t gSavedControlState = 0;

struct CpuidResult
{
    bool valid;
    uint32_t eax, ebx, ecx, edx;
};

// __get_cpuid checks that the leaf exists (and, on 32-bit processors, that
// CPUID itself exists by toggling the ID flag).
CpuidResult Cpuid(uint32_t leaf)
{
    CpuidResult r{};
#ifdef OLAI_CPU_X86
    r.valid = __get_cpuid(leaf, &r.eax, &r.ebx, &r.ecx, &r.edx) != 0;
#else
    (void)leaf;
#endif
    return r;
}

uint32_t Leaf1EdxBit(int bit)
{
    CpuidResult r = Cpuid(1);
    return r.valid && ((r.edx >> bit) & 1) ? 1 : 0;
}

struct NameRule
{
    uint32_t family;
    int32_t model; ///< -1: any model
    const char* name;
};

// First match wins; a vendor's last rule is its fallback.
constexpr NameRule kIntelNames[] = {
    {4, -1, "Intel 486"},         {5, 4, "Intel Pentium MMX"}, {5, 8, "Intel Pentium MMX"},
    {5, -1, "Intel Pentium"},     {6, 1, "Intel Pentium Pro"}, {6, 3, "Intel Pentium II"},
    {6, 5, "Intel Pentium II"},   {6, 6, "Intel Celeron"},     {6, 10, "Intel Pentium III Xeon"},
    {6, -1, "Intel Pentium III"}, {0, -1, "Intel Pentium 4"},
};

constexpr NameRule kAmdNames[] = {
    {4, -1, "AMD 486"},    {5, 6, "AMD K6"},        {5, 7, "AMD K6"},    {5, 8, "AMD K6 2"},
    {5, 9, "AMD K6 III"},  {5, -1, "AMD K5"},       {6, 3, "AMD Duron"}, {6, 7, "AMD Duron"},
    {6, -1, "AMD Athlon"}, {0, -1, "AMD ISBETTER"},
};

template <size_t N> const char* MatchName(const NameRule (&rules)[N], uint32_t family, uint32_t model)
{
    for (const NameRule& rule : rules) {
        bool last = &rule == &rules[N - 1];
        if (last || (rule.family == family && (rule.model < 0 || uint32_t(rule.model) == model))) {
            return rule.name;
        }
    }
    return rules[N - 1].name;
}

uint32_t ReadControlState()
{
#ifdef OLAI_CPU_X86
    return _mm_getcsr();
#else
    return 0;
#endif
}

void WriteControlState(uint32_t state)
{
#ifdef OLAI_CPU_X86
    _mm_setcsr(state);
#else
    (void)state;
#endif
}

} // namespace

uint32_t CpuHasMmx()
{
    return Leaf1EdxBit(23);
}

uint32_t CpuHasSse()
{
    return Leaf1EdxBit(25) | Leaf1EdxBit(26);
}

uint32_t CpuHasSse2()
{
    return Leaf1EdxBit(26);
}

uint32_t CpuHas3DNow()
{
    CpuidResult top = Cpuid(0x80000000u);
    if (!top.valid || top.eax <= 0x80000000u) {
        return 0;
    }
    CpuidResult r = Cpuid(0x80000001u);
    return r.valid && (r.edx >> 31) ? 1 : 0;
}

CpuFeatures* CpuDetectFeatures(CpuFeatures* features)
{
    features->mmx = CpuHasMmx();
    features->sse = CpuHasSse();
    features->sse2 = CpuHasSse2();
    features->amd3dnow = CpuHas3DNow();
    return features;
}

const char* CpuNameFromId(const char* vendor, uint32_t family, uint32_t model)
{
    if (std::strncmp(vendor, "GenuineIntel", 12) == 0) {
        return MatchName(kIntelNames, family, model);
    }
    if (std::strncmp(vendor, "AuthenticAMD", 12) == 0) {
        return MatchName(kAmdNames, family, model);
    }
    return "Unknown";
}

const char* CpuGetName()
{
    CpuidResult vendorLeaf = Cpuid(0);
    CpuidResult leaf1 = Cpuid(1);
    if (!vendorLeaf.valid || !leaf1.valid) {
        return "Unknown";
    }
    char vendor[12];
    std::memcpy(vendor, &vendorLeaf.ebx, 4);
    std::memcpy(vendor + 4, &vendorLeaf.edx, 4);
    std::memcpy(vendor + 8, &vendorLeaf.ecx, 4);
    return CpuNameFromId(vendor, (leaf1.eax >> 8) & 0xF, (leaf1.eax >> 4) & 0xF);
}

const char* OsGetVersionString()
{
    static char text[4 * sizeof(utsname::release) + 4];
    utsname name{};
    if (uname(&name) != 0) {
        return "Unknown";
    }
    std::snprintf(text, sizeof text, "%s %s %s %s", name.sysname, name.release, name.version, name.machine);
    return text;
}

void FpuSetSinglePrecision()
{
    gSavedControlState = ReadControlState();
    WriteControlState(gSavedControlState | kMxcsrExceptionMasks);
}

void FpuRestoreControlWord()
{
    WriteControlState(gSavedControlState);
}

void FpuForceSinglePrecision()
{
    WriteControlState(ReadControlState() | kMxcsrExceptionMasks);
}

uint32_t FpuGetControlState()
{
    return ReadControlState();
}

void CpuInstallRoutines(const CpuFeatures* features)
{
    FpuSetSinglePrecision();
    if (features->sse) {
        WriteControlState(ReadControlState() | kMxcsrFlushToZero);
    }
    const CpuRoutineSet* set = CpuChooseRoutines(features);
    MatrixSetMultiplyFunction(set->multiply);
    VectorSetTransformFunctions(set->transformPoint, set->transformPoints, set->transformVector,
                                set->transformVectors);
}

void CpuRestoreControlState()
{
    FpuRestoreControlWord();
}
