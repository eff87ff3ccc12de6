// Frames of the sample world through the scene renderer, headless: the world
// with 500 copies of the five sample models spread over its floor, textured,
// lit by the viewer's ambient, directional, point and spot lights, drawn by
// WorldRender into a 640 x 480 and a 64 x 48 frame; frames per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "tools/scene-view/sceneview.h"

namespace {

struct Viewer
{
    HWND window = nullptr;
    SceneView view;
    bool ok = false;

    Viewer(int32_t width, int32_t height)
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        window = Win32WindowCreate("scene-render", width, height);
        if (!window || !SceneViewEngineStart(window)) {
            return;
        }
        const std::string data = OLAI_SAMPLE_DATA;
        SceneViewOptions options;
        options.world = data + "/level.bsp";
        for (const char* name : {"button", "crate", "lift", "morph", "soldier"}) {
            options.models.push_back(data + "/" + name + ".dff");
        }
        options.instances = 500;
        options.width = width;
        options.height = height;
        std::string error;
        ok = SceneViewCreate(&view, options, &error);
    }
    ~Viewer()
    {
        if (ok) {
            SceneViewDestroy(&view);
        }
        if (window) {
            SceneViewEngineStop();
            Win32WindowDestroy(window);
        }
    }
};

void WorldFrame(benchmark::State& state)
{
    Viewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    SceneViewRender(&viewer.view); // first instancing outside the timing
    for (auto _ : state) {
        SceneViewRender(&viewer.view);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(WorldFrame)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

} // namespace
