// Frames of the sample world through the scene renderer, headless: the world
// with 500 copies of the five sample models spread over its floor, textured,
// lit by the viewer's ambient, directional, point and spot lights, drawn by
// WorldRender into a 640 x 480 and a 64 x 48 frame; frames per second.
// Beside it, the plain loop: one engine frame's device calls (buffers,
// declarations, textures, matrices, lights, material, render and
// texture-stage states), recorded once from the device's call log and sent
// straight to the device. The ratio of the two is the engine's overhead.
#include <benchmark/benchmark.h>

#include "bench/scene-render/sceneviewer.h"

namespace {

void WorldFrame(benchmark::State& state)
{
    scenebench::SceneViewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    viewer.Render(); // first instancing outside the timing
    for (auto _ : state)
        viewer.Render();
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(WorldFrame)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

void PlainLoop(benchmark::State& state)
{
    scenebench::SceneViewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    // The second frame's calls: those the engine sends every frame once instanced.
    viewer.Render();
    const scenebench::RecordedFrame frame = viewer.Record();
    for (auto _ : state)
        viewer.Replay(frame);
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["calls"] = double(frame.calls.size());
}
BENCHMARK(PlainLoop)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

} // namespace
