// 200 shapes (50 copies of draw2d's shapes, each a fifth of their size, on a
// grid) drawn by the software device through one container, in shapes per
// second: immediate (flattened, tessellated and stroked at every draw) and
// built into atomics (geometry made once, drawn by the scene renderer).

#include <benchmark/benchmark.h>

#include <cstdlib>

#include "graphics/core/camera.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/object2d.h"
#include "tools/draw2d/draw2dscene.h"
#include "tools/draw2d/draw2dshapes.h"

namespace {

constexpr int32_t kCopies = 50;
constexpr int32_t kShapesPerCopy = 4;

Draw2DScene* Scene()
{
    static Draw2DScene scene;
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        HWND window = Win32WindowCreate("bench_shapes", 320, 240);
        return window && Draw2DShapesEngineStart(window) && Draw2DSceneCreate(&scene, 320, 240);
    }();
    return started ? &scene : nullptr;
}

/// The 50 copies on a 10 x 5 grid, each scaled to a fifth.
Object2D* Grid()
{
    Object2D* root = ContainerCreate();
    for (int32_t i = 0; root && i < kCopies; ++i) {
        Object2D* copy = Draw2DShapesCreate();
        if (!copy || !ContainerAddChild(root, copy)) {
            ContainerDestroy(root);
            return nullptr;
        }
        ObjectTranslate(copy, 0.13f * float(i % 10), 0.2f * float(i / 10));
        ObjectScale(copy, 0.2f, 0.2f);
    }
    return root;
}

void DrawShapes(benchmark::State& state, bool built)
{
    Draw2DScene* scene = Scene();
    Object2D* root = scene ? Grid() : nullptr;
    if (!root || (built && !Draw2DShapesBuild(root))) {
        state.SkipWithError("no engine or no shapes");
        return;
    }
    for (auto _ : state) {
        CameraBeginUpdate(scene->camera);
        benchmark::DoNotOptimize(ContainerRender(root));
        CameraEndUpdate(scene->camera);
    }
    state.counters["shapes_per_second"] = benchmark::Counter(
        double(state.iterations()) * kCopies * kShapesPerCopy, benchmark::Counter::kIsRate);
    ContainerDestroy(root);
}

void BM_ShapesImmediate(benchmark::State& state)
{
    DrawShapes(state, false);
}
BENCHMARK(BM_ShapesImmediate);

void BM_ShapesBuilt(benchmark::State& state)
{
    DrawShapes(state, true);
}
BENCHMARK(BM_ShapesBuilt);

} // namespace
