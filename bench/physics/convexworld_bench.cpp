// Step/convex1764-world: the convex-on-world scene's whole step through
// this engine.
#include <benchmark/benchmark.h>

#include "bench/physics/convexworld_scene.h"
#include "graphics/core/tests/enginetesting.h"

namespace {

void StepConvexWorld(benchmark::State& state)
{
    if (!ConvexWorldEngineStart()) {
        state.SkipWithError("the engine did not start");
        EngineTestShutdown();
        return;
    }
    {
        ConvexWorldScene scene;
        if (!scene.ready) {
            state.SkipWithError("the convex world could not be built");
        } else {
            state.SetLabel("1764 hulls dropped on a 20,000-triangle world, 60 Hz");
            for (auto _ : state) {
                scene.Step();
            }
            state.SetItemsProcessed(state.iterations());
        }
    }
    EngineTestShutdown();
}

} // namespace

BENCHMARK(StepConvexWorld)->Name("Step/convex1764-world")->Iterations(300)->Unit(benchmark::kMillisecond);
