#include "platform/d3d9/bands.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/d3d9/d3d9control.h"

namespace d3d9sw {
namespace {

constexpr int kMaxThreads = 64;

// Workers 1..n-1 wait for a job; each runs the band of its own number.
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
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;

    void Run(int bands, const std::function<void(int)>& job)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            bands_ = bands;
            remaining_ = bands - 1;
            ++generation_;
        }
        wake_.notify_all();
        job(0);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return remaining_ == 0; });
        job_ = nullptr;
    }

  private:
    void Serve(int band)
    {
        unsigned seen = 0;
        for (;;) {
            const std::function<void(int)>* job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_)
                    return;
                seen = generation_;
                if (band >= bands_)
                    continue;
                job = job_;
            }
            (*job)(band);
            std::lock_guard<std::mutex> lock(mutex_);
            if (--remaining_ == 0)
                done_.notify_one();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(int)>* job_ = nullptr;
    int bands_ = 0, remaining_ = 0;
    unsigned generation_ = 0;
    bool stop_ = false;
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
