// The AI clock and the check of the processor's time-stamp counter.
#include <gtest/gtest.h>

#include <cstring>

#include "demo/aiclock.h"
#include "platform/win32/timing.h"

namespace {

ProcessorSnapshot Processor(const char* vendor, uint32_t brandIndex, uint32_t signature)
{
    ProcessorSnapshot p;
    p.processorCount = 1;
    p.identificationAvailable = true;
    p.highestLeaf = 2;
    std::memcpy(p.vendor, vendor, 12);
    p.signature = signature;
    p.brandIndex = brandIndex;
    p.features = 1u << 4;
    return p;
}

TEST(AiClock, TimeStampCounterCheckReadsTheSnapshot)
{
    struct Case
    {
        const char* what;
        ProcessorSnapshot processor;
        bool usable;
    };
    std::vector<Case> cases;
    cases.push_back({"a plain Intel part", Processor("GenuineIntel", 3, 0x6F2), true});
    cases.push_back({"a listed model", Processor("GenuineIntel", 2, 0x695), false});
    cases.push_back({"a listed range edge", Processor("GenuineIntel", 0, 0x58F), false});
    cases.push_back({"the brand index decides", Processor("GenuineIntel", 1, 0x695), true});
    cases.push_back({"family bits above the signature", Processor("GenuineIntel", 0, 0x1570), false});
    ProcessorSnapshot mobile = Processor("GenuineIntel", 3, 0x6F2);
    mobile.highestExtendedLeaf = 0x80000004u;
    std::strcpy(mobile.brand, "Intel(R) Core(TM) Duo CPU T2400 MOBILE");
    cases.push_back({"a mobile brand", mobile, false});
    mobile.highestExtendedLeaf = 0x80000003u;
    cases.push_back({"a brand string not reported", mobile, true});
    ProcessorSnapshot amd = Processor("AuthenticAMD", 0, 0xF48);
    amd.highestExtendedLeaf = 0x80000007u;
    cases.push_back({"AMD without frequency control", amd, true});
    amd.powerManagement = 1u << 1;
    cases.push_back({"AMD with frequency control", amd, false});
    amd.highestExtendedLeaf = 0x80000006u;
    cases.push_back({"AMD control bit beyond the leaves", amd, true});
    ProcessorSnapshot two = Processor("GenuineIntel", 3, 0x6F2);
    two.processorCount = 2;
    cases.push_back({"two processors", two, false});
    cases.push_back({"another vendor", Processor("CentaurHauls", 2, 0x695), true});
    ProcessorSnapshot noCounter = Processor("CentaurHauls", 0, 0);
    noCounter.features = 0;
    cases.push_back({"no counter", noCounter, false});
    ProcessorSnapshot noLeaf1 = Processor("GenuineIntel", 3, 0x6F2);
    noLeaf1.highestLeaf = 0;
    cases.push_back({"no leaf 1", noLeaf1, false});
    cases.push_back({"no identification", ProcessorSnapshot{}, false});
    for (const Case& c : cases)
        EXPECT_EQ(TimeStampCounterUsable(c.processor), c.usable) << c.what;
}

TEST(AiClock, CountsSecondsOfTheFrameClockSinceCalibration)
{
    Win32ClockReset(20, 5000);
    TimerCalibrate();
    EXPECT_EQ(AiTimeNow(nullptr), 0.0f);
    Win32ClockAdvance(1500);
    EXPECT_NEAR(AiTimeNow(nullptr), 1.5f, 1e-6f);
    Win32FramePresented();
    EXPECT_NEAR(AiTimeNow(nullptr), 1.52f, 1e-6f);
    // This machine's answer is recorded; with more than one processor it is no.
    if (TakeProcessorSnapshot().processorCount > 1) {
        EXPECT_FALSE(AiClockTimeStampCounterUsable());
    }
    Win32ClockReset(0, 0);
}

} // namespace
