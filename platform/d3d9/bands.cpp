#include "platform/d3d9/bands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <immintrin.h>
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/d3d9/d3d9control.h"
#include "platform/win32/environment.h"

namespace d3d9sw {
namespace {

constexpr int kMaxThreads = 64;
/// The largest OLAI_DEVICE_THREADS accepted (then clamped to kMaxThreads).
constexpr long kMostRequestedThreads = 4096;
constexpr int kMaxJobBands = 0xFFFF;

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) && std::atomic<uint32_t>::is_always_lock_free,
              "a futex is a plain 32-bit word");

// Sleeps while *word == expected (or until woken); Linux futexes wake a
// waiter without a lock, so the workers of a short band do not queue on one
// mutex before and after it.
void FutexWait(std::atomic<uint32_t>& word, uint32_t expected)
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>& word, int count)
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, count, nullptr, nullptr, 0);
}

// A band is tens of microseconds of work, less than a sleep and wake-up
// cost, so a waiting thread first spins this long before it sleeps.
constexpr auto kSpin = std::chrono::microseconds(50);

// Spins up to kSpin while word == value; the word's last value.
uint32_t SpinWhile(const std::atomic<uint32_t>& word, uint32_t value)
{
    const auto until = std::chrono::steady_clock::now() + kSpin;
    uint32_t now = word.load(std::memory_order_acquire);
    while (now == value && std::chrono::steady_clock::now() < until) {
        for (int i = 0; i < 32 && now == value; ++i) {
            _mm_pause();
            now = word.load(std::memory_order_acquire);
        }
    }
    return now;
}

// Every thread of the pool (the caller is the first) owns a run of
// consecutive bands of a job, the same rows draw after draw, so that the
// rows it draws stay in its core's cache. It takes its own bands one at a
// time, then those left in the runs of the others, so that a thread that is
// slow or descheduled holds up at most the band it is drawing.
// A job is published as a generation number in a futex word. It wakes only
// as many sleeping workers as it has bands for beyond the caller and the
// workers still spinning: a worker that sleeps through jobs (even through
// the 2^32 the word takes to wrap) only leaves their bands to the others,
// who take every band left in any run. Each run is handed out from a 64-bit
// ticket of its own, generation << 32 | end << 16 | next band: a worker that
// arrives after its job is done, or during the next one, finds another
// generation or no band left and takes nothing.
class BandPool
{
  public:
    explicit BandPool(int threads) : runs_(size_t(threads))
    {
        for (int worker = 1; worker < threads; ++worker)
            workers_.emplace_back([this, worker] { Serve(worker); });
    }
    ~BandPool()
    {
        state_.store(kStop, std::memory_order_release);
        FutexWake(state_, INT_MAX);
        for (std::thread& t : workers_)
            t.join();
    }
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    void Run(int bands, const std::function<void(int)>& job)
    {
        job_ = &job;
        remaining_.store(uint32_t(bands), std::memory_order_relaxed);
        generation_ = generation_ + 1 == kStop ? 0 : generation_ + 1;
        const uint64_t threads = runs_.size();
        for (uint64_t k = 0; k < threads; ++k) {
            const uint64_t first = uint64_t(bands) * k / threads, end = uint64_t(bands) * (k + 1) / threads;
            runs_[k].ticket.store(uint64_t(generation_) << 32 | end << 16 | first, std::memory_order_release);
        }
        // Sequentially consistent with the sleepers' count: a worker either
        // is counted here or sees the new generation when it goes to sleep.
        state_.store(generation_);
        const int sleeping = sleepers_.load();
        const int spinning = int(threads) - 1 - sleeping;
        const int wake = std::min(sleeping, bands - 1 - spinning);
        if (wake > 0)
            FutexWake(state_, wake);
        TakeBands(0, generation_);
        uint32_t left = remaining_.load(std::memory_order_acquire);
        while (left != 0) {
            const uint32_t before = left;
            left = SpinWhile(remaining_, before);
            if (left == before) {
                // Sequentially consistent with the last band's count, as for
                // the workers' sleep.
                callerSleeps_.store(true);
                FutexWait(remaining_, before);
                callerSleeps_.store(false);
                left = remaining_.load(std::memory_order_acquire);
            }
        }
    }

  private:
    static constexpr uint32_t kStop = ~uint32_t(0);

    struct alignas(64) BandRun
    {
        std::atomic<uint64_t> ticket{0};
    };

    // Draws the bands of job `generation` left in the runs, the thread's own
    // (`home`) first, until none is left to take.
    void TakeBands(size_t home, uint32_t generation)
    {
        for (size_t k = 0; k < runs_.size(); ++k) {
            std::atomic<uint64_t>& run = runs_[(home + k) % runs_.size()].ticket;
            uint64_t ticket = run.load(std::memory_order_acquire);
            for (;;) {
                const uint32_t band = uint32_t(ticket & 0xFFFF), end = uint32_t(ticket >> 16 & 0xFFFF);
                if (uint32_t(ticket >> 32) != generation || band >= end)
                    break;
                if (!run.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel,
                                               std::memory_order_acquire))
                    continue;
                // The job is not done while one of its bands is unfinished,
                // so job_ still holds it.
                (*job_)(int(band));
                if (remaining_.fetch_sub(1) == 1 && callerSleeps_.load())
                    FutexWake(remaining_, 1);
                ticket = run.load(std::memory_order_acquire);
            }
        }
    }

    void Serve(size_t home)
    {
        uint32_t seen = 0;
        for (;;) {
            uint32_t state;
            while ((state = SpinWhile(state_, seen)) == seen) {
                sleepers_.fetch_add(1);
                FutexWait(state_, seen);
                sleepers_.fetch_sub(1);
            }
            if (state == kStop)
                return;
            seen = state;
            TakeBands(home, seen);
        }
    }

    std::vector<BandRun> runs_; // one per thread, the caller's first
    std::vector<std::thread> workers_;
    const std::function<void(int)>* job_ = nullptr;
    uint32_t generation_ = 0; // the caller's own copy
    alignas(64) std::atomic<uint32_t> state_{0};
    std::atomic<int> sleepers_{0}; // workers in (or about to enter) FutexWait
    alignas(64) std::atomic<uint32_t> remaining_{0};
    std::atomic<bool> callerSleeps_{false};
};

int ThreadsFromEnvironment()
{
    // More threads than the pool holds are clamped to it, as the core count is.
    if (const long n = Win32EnvironmentNumber("OLAI_DEVICE_THREADS", 1, kMostRequestedThreads, 0); n > 0)
        return std::min(int(n), kMaxThreads);
    // The cores this process may run on (taskset, a container's share), not
    // every core the machine has: more threads than cores spin against each
    // other at every band hand-over.
    cpu_set_t allowed;
    const int cores = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                          ? CPU_COUNT(&allowed)
                          : int(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, kMaxThreads);
}

struct Settings
{
    std::mutex mutex; // one draw on the pool at a time; guards the fields
    int threads = ThreadsFromEnvironment();
    bool everyDraw = false;
    std::unique_ptr<BandPool> pool;
};

Settings& TheSettings()
{
    static Settings settings;
    return settings;
}

} // namespace

int DeviceThreads()
{
    Settings& s = TheSettings();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.threads;
}

bool DeviceSplitsEveryDraw()
{
    Settings& s = TheSettings();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.everyDraw;
}

void RunBands(int bands, const std::function<void(int)>& job)
{
    Settings& s = TheSettings();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.threads == 1 || bands <= 1) {
        for (int band = 0; band < bands; ++band)
            job(band);
        return;
    }
    if (!s.pool)
        s.pool = std::make_unique<BandPool>(s.threads);
    // A ticket counts at most kMaxJobBands bands; more run as several jobs.
    for (int first = 0; first < bands; first += kMaxJobBands)
        s.pool->Run(std::min(bands - first, kMaxJobBands), [&](int band) { job(first + band); });
}

} // namespace d3d9sw

void D3D9SetDeviceThreads(int threads, bool everyDraw)
{
    d3d9sw::Settings& s = d3d9sw::TheSettings();
    std::lock_guard<std::mutex> lock(s.mutex);
    const int n = threads >= 1 ? std::min(threads, d3d9sw::kMaxThreads) : d3d9sw::ThreadsFromEnvironment();
    if (n != s.threads)
        s.pool.reset();
    s.threads = n;
    s.everyDraw = everyDraw;
}
