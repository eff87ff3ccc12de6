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
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/d3d9/d3d9control.h"

namespace d3d9sw {
namespace {

constexpr int kMaxThreads = 64;

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

// Workers 1..n-1 wait for a job; each runs the band of its own number.
// A job is published as one word, generation << 7 | bands, so a worker sees
// the band count of the very job whose generation it saw. Every job wakes
// every sleeping worker, so none can miss the 2^25 jobs the word takes to
// wrap.
class BandPool
{
  public:
    explicit BandPool(int threads)
    {
        for (int band = 1; band < threads; ++band)
            workers_.emplace_back([this, band] { Serve(band); });
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
        remaining_.store(uint32_t(bands - 1), std::memory_order_relaxed);
        generation_ = (generation_ + kGenerationStep) % kStop; // never the stop word
        state_.store(generation_ | uint32_t(bands), std::memory_order_release);
        FutexWake(state_, INT_MAX);
        job(0);
        uint32_t left = remaining_.load(std::memory_order_acquire);
        while (left != 0) {
            const uint32_t before = left;
            left = SpinWhile(remaining_, before);
            if (left == before) {
                FutexWait(remaining_, before);
                left = remaining_.load(std::memory_order_acquire);
            }
        }
    }

  private:
    static constexpr uint32_t kGenerationStep = 1u << 7;
    static constexpr uint32_t kBandsMask = kGenerationStep - 1;
    static constexpr uint32_t kStop = ~uint32_t(0) & ~kBandsMask;

    void Serve(int band)
    {
        uint32_t seen = 0;
        for (;;) {
            uint32_t state;
            while ((state = SpinWhile(state_, seen)) == seen)
                FutexWait(state_, seen);
            if (state == kStop)
                return;
            seen = state;
            // Run waits for every band it handed out, so job_ stays valid.
            if (uint32_t(band) >= (seen & kBandsMask))
                continue;
            (*job_)(band);
            if (remaining_.fetch_sub(1, std::memory_order_acq_rel) == 1)
                FutexWake(remaining_, 1);
        }
    }

    std::vector<std::thread> workers_;
    const std::function<void(int)>* job_ = nullptr;
    uint32_t generation_ = 0; // the caller's own copy
    std::atomic<uint32_t> state_{0};
    std::atomic<uint32_t> remaining_{0};
};

int ThreadsFromEnvironment()
{
    if (const char* text = std::getenv("OLAI_DEVICE_THREADS")) {
        const int n = std::atoi(text);
        if (n >= 1)
            return std::min(n, kMaxThreads);
    }
    return std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxThreads);
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
    bands = std::clamp(bands, 1, s.threads);
    if (bands == 1) {
        job(0);
        return;
    }
    if (!s.pool)
        s.pool = std::make_unique<BandPool>(s.threads);
    s.pool->Run(bands, job);
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
