// Step/ragdolls: the ragdoll heap's whole step through this engine.
#include <benchmark/benchmark.h>

#include "bench/physics/ragdolls_scene.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/ragdoll/scenes/ragdollscene.h"

namespace {

void StepRagdolls(benchmark::State& state)
{
    EngineTestStart();
    {
        RagdollScene scene(kRagdollHeapCount, RagdollSceneJoints::kBall);
        for (uint32_t i = 0; i < kRagdollHeapCount; ++i) {
            V3d base{};
            float yaw = 0.0f, tilt = 0.0f;
            RagdollSceneHeapPlace(i, &base, &yaw, &tilt);
            scene.AddRagdoll(base, yaw, tilt);
        }
        state.SetLabel("100 ragdolls of 11 capsules and 10 ball joints in a heap, 60 Hz");
        for (auto _ : state) {
            scene.Step();
        }
        state.SetItemsProcessed(state.iterations());
        state.counters["asleep"] = scene.AsleepCount();
        state.counters["jointGap"] = scene.LargestJointGap();
    }
    EngineTestShutdown();
}

} // namespace

BENCHMARK(StepRagdolls)->Name("Step/ragdolls")->Iterations(600)->Unit(benchmark::kMillisecond);
