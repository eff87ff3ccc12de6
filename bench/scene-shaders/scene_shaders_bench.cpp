// The shader path against the fixed-function path on the viewer's scene:
// the sample world with 500 copies of its models, lit by one directional and
// four point lights (the viewer's spot light turned into a fourth point
// light), drawn headless at 640 x 480 and 64 x 48. The two paths take turns
// frame by frame in one run; the counters give each one's frames per second
// and their ratio (shaders over fixed function). Beside it, cache lookups
// per second over 64 cached descriptors.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "graphics/core/frame.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/vertexshader.h"
#include "graphics/scene/light.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
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
        window = Win32WindowCreate("scene-shaders", width, height);
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
        options.shaders = true;
        std::string error;
        ok = SceneViewCreate(&view, options, &error) && SpotBecomesPoint();
    }

    bool SpotBecomesPoint()
    {
        for (Light*& light : view.lights) {
            if (LightGetType(light) != kLightSpot) {
                continue;
            }
            Light* point = LightCreate(kLightPoint);
            if (!point) {
                return false;
            }
            Frame* frame = LightGetFrame(light);
            WorldRemoveLight(view.world, light);
            ObjectHasFrameSetFrame(&light->object, nullptr);
            ObjectHasFrameSetFrame(&point->object, frame);
            LightSetColor(point, &light->colour);
            LightSetRadius(point, light->radius);
            LightDestroy(light);
            light = point;
            WorldAddLight(view.world, point);
        }
        return true;
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

double Seconds(void (*frame)(SceneView*), SceneView* view)
{
    const auto start = std::chrono::steady_clock::now();
    frame(view);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Render(SceneView* view)
{
    SceneViewRender(view);
}

void ShadersAgainstFixedFunction(benchmark::State& state)
{
    Viewer viewer(int32_t(state.range(0)), int32_t(state.range(1)));
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    SceneView* view = &viewer.view;
    auto useShaders = [view](bool on) {
        AtomicSetDefaultPipeline(on ? view->shaderPipelines[0] : nullptr);
        WorldSectorSetDefaultPipeline(on ? view->shaderPipelines[1] : nullptr);
    };
    // First instancing and shader writing outside the timing.
    for (bool on : {true, false}) {
        useShaders(on);
        Render(view);
    }
    double shaderTime = 0.0, fixedTime = 0.0;
    for (auto _ : state) {
        useShaders(true);
        shaderTime += Seconds(Render, view);
        useShaders(false);
        fixedTime += Seconds(Render, view);
    }
    useShaders(true);
    const double frames = double(state.iterations());
    state.counters["shader frames/s"] = frames / shaderTime;
    state.counters["fixed frames/s"] = frames / fixedTime;
    state.counters["ratio"] = fixedTime / shaderTime;
}
BENCHMARK(ShadersAgainstFixedFunction)->Args({640, 480})->Args({64, 48})->Unit(benchmark::kMillisecond);

void CacheLookups(benchmark::State& state)
{
    Viewer viewer(64, 48);
    if (!viewer.ok) {
        state.SkipWithError("the sample world could not be loaded");
        return;
    }
    // Directional, point and spot counts mixed with fog and texture sets.
    VertexShaderDescriptor descriptors[64];
    for (uint32_t i = 0; i < 64; ++i) {
        descriptors[i] = VertexShaderDescriptorMake(i % 4, i / 4 % 4, i / 16, 1, 0, i % 3, 0,
                                                    kVertexShaderNormals | kVertexShaderPrelit);
        VertexShaderFind(descriptors[i], nullptr);
    }
    VertexShaderConstantLayout layout;
    uint32_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(VertexShaderFind(descriptors[next], &layout));
        next = (next + 7) & 63;
    }
    state.counters["lookups/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(CacheLookups);

} // namespace
