#include "physics/core/solver/cpu.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/core/cpu.h"
#include "graphics/core/cpu_config.h"

#if defined(OLAI_CPU_X86)
#include <cpuid.h>
#if defined(__i386__)
#include <sys/auxv.h>
#endif
#endif

uint32_t OlpCpuSseUsable = 0;

namespace {

const OlpCpuId kOwn = {OlpCpuVendor, OlpCpuHasSse, OlpCpuProbeSse};
const OlpCpuId* gId = &kOwn;

} // namespace

int32_t OlpCpuVendor(char out[13])
{
#if defined(OLAI_CPU_X86)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) {
        return 0;
    }
    std::memcpy(out, &ebx, 4);
    std::memcpy(out + 4, &edx, 4);
    std::memcpy(out + 8, &ecx, 4);
    out[12] = '\0';
    return 1;
#else
    out[0] = '\0';
    return 0;
#endif
}

uint32_t OlpCpuHasMmx()
{
    return CpuHasMmx();
}

uint32_t OlpCpuHasSse()
{
    return CpuHasSse();
}

int32_t OlpCpuProbeSse()
{
#if defined(__x86_64__)
    // The SSE state belongs to the x86-64 ABI: the system always saves it.
    return 1;
#elif defined(__i386__)
    // The kernel reports SSE in the hardware capabilities only when it
    // saves the SSE state (leaf 1 EDX as the system sees it).
    return (getauxval(AT_HWCAP) & 0x2000000u) != 0 ? 1 : 0;
#else
    return 0;
#endif
}

void OlpCpuSetId(const OlpCpuId* id)
{
    gId = id != nullptr ? id : &kOwn;
}

void OlpCpuDetect()
{
    char vendor[13];
    if (gId->vendor(vendor) == 0) {
        OlpCpuSseUsable = 0;
        return;
    }
    bool usable =
        std::memcmp(vendor, "GenuineIntel", 12) == 0 || std::memcmp(vendor, "AuthenticAMD", 12) == 0;
    usable = usable && (gId->hasSse() & 1) != 0;
    OlpCpuSseUsable = gId->probe() != 0 && usable ? 1 : 0;
    const char* force = std::getenv("OLAI_PHYSICS_KERNELS");
    if (force == nullptr || *force == '\0')
        return;
    if (std::strcmp(force, "scalar") == 0) {
        OlpCpuSseUsable = 0;
    } else if (std::strcmp(force, "sse") == 0) {
        OlpCpuSseUsable = 1;
    } else {
        // As every OLAI_* variable: a value that is set but wrong ends the run.
        std::fprintf(stderr, "OLAI_PHYSICS_KERNELS=%s: not \"scalar\" or \"sse\"\n", force);
        std::exit(2);
    }
}

uint32_t OlpCpuGetMode()
{
    return OlpCpuSseUsable;
}
