// Fill and transform rates of the software device, headless at 640 x 480 on
// one thread: full-screen quads (Gouraud, bilinear-textured, mostly
// depth-rejected) in Mpix/s and a lit sphere in Mtri/s. The scenes are those
// of bench_device_compare (bench/device/device_scenes.h).
#include <benchmark/benchmark.h>

#include "bench/device/device_draw.h"
#include "platform/d3d9/d3d9control.h"

namespace {

using namespace devbench;

void RunFill(benchmark::State& state, bool textured, bool frontToBack)
{
    D3D9SetDeviceThreads(1, false);
    DeviceScene scene;
    if (!scene.Ok()) {
        state.SkipWithError("no device");
        return;
    }
    scene.SetupFill(textured);
    for (auto _ : state)
        scene.DrawFillFrame(frontToBack);
    const double pixels = double(kWidth) * kHeight * kQuads * double(state.iterations());
    state.counters["Mpix/s"] = benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsRate);
}

void BM_FlatGouraudBackToFront(benchmark::State& state)
{
    RunFill(state, false, false);
}
void BM_BilinearBackToFront(benchmark::State& state)
{
    RunFill(state, true, false);
}
void BM_FlatGouraudFrontToBack(benchmark::State& state)
{
    RunFill(state, false, true);
}

void BM_LitSphere(benchmark::State& state)
{
    D3D9SetDeviceThreads(1, false);
    DeviceScene scene;
    if (!scene.Ok()) {
        state.SkipWithError("no device");
        return;
    }
    const uint32_t triangles = scene.SetupSphere(int(state.range(0)));
    for (auto _ : state)
        scene.DrawSphereFrame();
    state.counters["Mtri/s"] =
        benchmark::Counter(double(triangles) * double(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.counters["triangles"] = triangles;
}

} // namespace

BENCHMARK(BM_FlatGouraudBackToFront)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BilinearBackToFront)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlatGouraudFrontToBack)->Unit(benchmark::kMillisecond);
// 142 x 71 x 2 = 20,164 and 448 x 224 x 2 = 200,704 triangles.
BENCHMARK(BM_LitSphere)->Arg(142)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LitSphere)->Arg(448)->Unit(benchmark::kMillisecond);
