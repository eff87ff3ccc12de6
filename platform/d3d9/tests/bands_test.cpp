// The device's band pool: every band of a job runs exactly once, whatever
// the counts of bands and threads, with several callers at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/d3d9/bands.h"
#include "platform/d3d9/d3d9control.h"

namespace {

// Runs `bands` bands and answers how many ran other than exactly once.
int BandsNotRunOnce(int bands)
{
    std::vector<std::atomic<int>> runs(size_t(std::max(bands, 0)));
    d3d9sw::RunBands(bands, [&](int band) { runs[size_t(band)].fetch_add(1, std::memory_order_relaxed); });
    int wrong = 0;
    for (const std::atomic<int>& r : runs)
        wrong += r.load() != 1;
    return wrong;
}

TEST(Bands, EveryBandRunsOnceForAnyCountOfBandsAndThreads)
{
    struct Case
    {
        int threads, bands, jobs;
    };
    // Fewer, as many and more bands than threads, one thread, and more bands
    // than one job's ticket counts.
    const Case cases[] = {{4, 0, 3},    {4, 1, 50},   {4, 3, 2000}, {4, 4, 2000},
                          {4, 37, 500}, {8, 64, 300}, {1, 9, 10},   {3, 70000, 1}};
    for (const Case& c : cases) {
        D3D9SetDeviceThreads(c.threads, false);
        for (int job = 0; job < c.jobs; ++job)
            ASSERT_EQ(BandsNotRunOnce(c.bands), 0) << c.threads << " threads, " << c.bands << " bands";
    }
    D3D9SetDeviceThreads(0, false);
}

// Workers that fell asleep between jobs are woken only as far as a job has
// bands for them, and the caller sleeps while the last band runs elsewhere:
// every job still runs each band once and returns.
TEST(Bands, JobsAfterTheWorkersSleep)
{
    using namespace std::chrono_literals;
    D3D9SetDeviceThreads(4, false);
    for (int bands : {2, 3, 4, 9}) {
        for (int job = 0; job < 40; ++job) {
            std::this_thread::sleep_for(300us); // longer than a worker spins
            std::vector<std::atomic<int>> runs(static_cast<size_t>(bands));
            d3d9sw::RunBands(bands, [&](int band) {
                std::this_thread::sleep_for(band % 2 ? 200us : 20us);
                runs[size_t(band)].fetch_add(1, std::memory_order_relaxed);
            });
            for (int band = 0; band < bands; ++band)
                ASSERT_EQ(runs[size_t(band)].load(), 1)
                    << bands << " bands, job " << job << ", band " << band;
        }
    }
    D3D9SetDeviceThreads(0, false);
}

TEST(Bands, CallersOnSeveralThreadsTakeTurns)
{
    D3D9SetDeviceThreads(4, false);
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int caller = 0; caller < 3; ++caller)
        callers.emplace_back([&, caller] {
            for (int job = 0; job < 300; ++job)
                wrong += BandsNotRunOnce(5 + (job + caller) % 20);
        });
    for (std::thread& t : callers)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
    D3D9SetDeviceThreads(0, false);
}

} // namespace
