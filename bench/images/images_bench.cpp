// Image processing: area-filter scaling of 32-bit images (down by 1.6 in
// each direction and up by 2) and palette quantisation of a 256 x 256 image
// of smooth gradients to 256 colours (adding, resolving, matching). Reports
// source pixels processed per second.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "graphics/core/image.h"
#include "graphics/core/palquant.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

Image* Gradient(int32_t width, int32_t height)
{
    Image* image = ImageCreate(width, height, 32);
    ImageAllocatePixels(image);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image->pixels + y * image->stride;
        for (int32_t x = 0; x < width; ++x) {
            row[x * 4 + 0] = static_cast<uint8_t>(x * 255 / width);
            row[x * 4 + 1] = static_cast<uint8_t>(y * 255 / height);
            row[x * 4 + 2] = static_cast<uint8_t>((x + y) * 127 / (width + height) + 64);
            row[x * 4 + 3] = static_cast<uint8_t>(x % 3 == 0 ? 255 : 128);
        }
    }
    return image;
}

void Scale(benchmark::State& state, int32_t width, int32_t height, int32_t toWidth, int32_t toHeight)
{
    EngineTestStart();
    Image* source = Gradient(width, height);
    for (auto _ : state) {
        Image* scaled = ImageScale(source, toWidth, toHeight);
        benchmark::DoNotOptimize(scaled->pixels);
        ImageDestroy(scaled);
    }
    state.counters["pixels_per_second"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * width * height, benchmark::Counter::kIsRate);
    ImageDestroy(source);
    EngineTestShutdown();
}

void BM_ScaleDown(benchmark::State& state)
{
    Scale(state, 512, 512, 320, 320);
}
BENCHMARK(BM_ScaleDown);

void BM_ScaleUp(benchmark::State& state)
{
    Scale(state, 128, 128, 256, 256);
}
BENCHMARK(BM_ScaleUp);

void BM_Quantise(benchmark::State& state)
{
    EngineTestStart();
    Image* source = Gradient(256, 256);
    Image* indexed = ImageCreate(256, 256, 8);
    ImageAllocatePixels(indexed);
    for (auto _ : state) {
        PalQuant quantiser;
        PalQuantInit(&quantiser);
        PalQuantAddImage(&quantiser, source, 1.0f);
        PalQuantResolvePalette(indexed->palette, 256, &quantiser);
        PalQuantMatchImage(indexed->pixels, indexed->stride, 8, 0, &quantiser, source);
        PalQuantTerm(&quantiser);
        benchmark::DoNotOptimize(indexed->pixels);
    }
    state.counters["pixels_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 256 * 256, benchmark::Counter::kIsRate);
    ImageDestroy(indexed);
    ImageDestroy(source);
    EngineTestShutdown();
}
BENCHMARK(BM_Quantise);

} // namespace
