#include "demo/aiclock.h"

#include <cctype>
#include <cstring>
#include <thread>

#include "graphics/core/cpu_config.h"
#include "platform/win32/timing.h"

#ifdef OLAI_CPU_X86
#include <cpuid.h>
#endif

namespace {

struct ClockState
{
    bool calibrated = false;
    bool timeStampCounterUsable = false;
    double secondsPerCount = 0.0;
    int64_t startCount = 0;
};

ClockState& Clock()
{
    static ClockState clock;
    return clock;
}

/// Processors whose time-stamp counter follows the clock frequency: brand
/// index and the lowest and highest signature (family, model, stepping).
struct CounterRow
{
    uint32_t brandIndex;
    uint32_t lowest;
    uint32_t highest;
};

constexpr CounterRow kVariableRateProcessors[] = {
    {0, 0x570, 0x58F}, {0, 0x66A, 0x66A}, {0, 0x66D, 0x66D}, {2, 0x681, 0x681},  {2, 0x68A, 0x68A},
    {2, 0x690, 0x69F}, {6, 0x000, 0xFFF}, {7, 0x000, 0xFFF}, {14, 0xF13, 0xFFF}, {15, 0x000, 0xFFF},
};

constexpr uint32_t kFeatureTimeStampCounter = 1u << 4;
constexpr uint32_t kFrequencyIdControl = 1u << 1;

bool IsListed(uint32_t brandIndex, uint32_t signature)
{
    for (const CounterRow& row : kVariableRateProcessors)
        if (row.brandIndex == brandIndex && signature >= row.lowest && signature <= row.highest)
            return true;
    return false;
}

bool BrandSaysMobile(const char* brand)
{
    char lower[sizeof(ProcessorSnapshot::brand)] = {};
    for (size_t i = 0; i + 1 < sizeof lower && brand[i] != '\0'; ++i)
        lower[i] = char(std::tolower(static_cast<unsigned char>(brand[i])));
    return std::strstr(lower, "mobile") != nullptr;
}

} // namespace

ProcessorSnapshot TakeProcessorSnapshot()
{
    ProcessorSnapshot p;
    p.processorCount = std::thread::hardware_concurrency();
#ifdef OLAI_CPU_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(0, &a, &b, &c, &d) == 0)
        return p;
    p.identificationAvailable = true;
    p.highestLeaf = a;
    std::memcpy(p.vendor, &b, 4);
    std::memcpy(p.vendor + 4, &d, 4);
    std::memcpy(p.vendor + 8, &c, 4);
    if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
        p.signature = a;
        p.brandIndex = b & 0xFF;
        p.features = d;
    }
    p.highestExtendedLeaf = __get_cpuid_max(0x80000000u, nullptr);
    if (p.highestExtendedLeaf >= 0x80000004u)
        for (unsigned leaf = 0; leaf < 3; ++leaf) {
            __get_cpuid(0x80000002u + leaf, &a, &b, &c, &d);
            const unsigned words[4] = {a, b, c, d};
            std::memcpy(p.brand + 16 * leaf, words, 16);
        }
    if (p.highestExtendedLeaf >= 0x80000007u && __get_cpuid(0x80000007u, &a, &b, &c, &d) != 0)
        p.powerManagement = d;
#endif
    return p;
}

bool TimeStampCounterUsable(const ProcessorSnapshot& p)
{
    if (p.processorCount > 1 || !p.identificationAvailable || p.highestLeaf < 1 ||
        (p.features & kFeatureTimeStampCounter) == 0)
        return false;
    if (std::strncmp(p.vendor, "GenuineIntel", 12) == 0)
        return !IsListed(p.brandIndex, p.signature & 0xFFF) &&
               !(p.highestExtendedLeaf >= 0x80000004u && BrandSaysMobile(p.brand));
    if (std::strncmp(p.vendor, "AuthenticAMD", 12) == 0)
        return !(p.highestExtendedLeaf >= 0x80000007u && (p.powerManagement & kFrequencyIdControl) != 0);
    return true;
}

void TimerCalibrate()
{
    ClockState& clock = Clock();
    LARGE_INTEGER frequency{};
    LARGE_INTEGER now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    clock.secondsPerCount = frequency.QuadPart > 0 ? 1.0 / double(frequency.QuadPart) : 0.0;
    clock.startCount = now.QuadPart;
    clock.timeStampCounterUsable = TimeStampCounterUsable(TakeProcessorSnapshot());
    clock.calibrated = true;
}

float AiTimeNow(void*)
{
    ClockState& clock = Clock();
    if (!clock.calibrated)
        TimerCalibrate();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return float(double(now.QuadPart - clock.startCount) * clock.secondsPerCount);
}

bool AiClockTimeStampCounterUsable()
{
    return Clock().timeStampCounterUsable;
}
