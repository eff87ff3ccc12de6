// DXT decoding speed: a 2048 x 2048 level of each block format, reported in
// decoded megapixels per second (the "Mpix/s" counter).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "graphics/d3d9/dxt.h"

namespace {

constexpr uint32_t kSize = 2048;

void DecodeLevel(benchmark::State& state, uint32_t format)
{
    std::vector<uint8_t> blocks(DxtLevelSize(format, kSize, kSize));
    uint32_t seed = 12345;
    for (uint8_t& byte : blocks) {
        seed = seed * 1103515245u + 12345u; // deterministic pseudo-random blocks
        byte = uint8_t(seed >> 16);
    }
    std::vector<uint8_t> pixels(size_t(kSize) * kSize * 4);
    for (auto _ : state) {
        DxtDecodeLevel(format, kSize, kSize, pixels.data(), kSize * 4, blocks.data(), nullptr);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["Mpix/s"] = benchmark::Counter(double(kSize) * kSize * double(state.iterations()) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_DecodeDxt1(benchmark::State& state)
{
    DecodeLevel(state, kFourCCDXT1);
}
void BM_DecodeDxt3(benchmark::State& state)
{
    DecodeLevel(state, kFourCCDXT3);
}
void BM_DecodeDxt5(benchmark::State& state)
{
    DecodeLevel(state, kFourCCDXT5);
}

BENCHMARK(BM_DecodeDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDxt3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDxt5)->Unit(benchmark::kMillisecond);

} // namespace
