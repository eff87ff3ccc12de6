// The frame measure both agent benchmarks report: 30 frames to settle the first
// searches, then the timed frames as AI milliseconds per frame and agent ticks per
// second, so that ours and the peer's figures line up.
#pragma once
#include "agents_level.h"
#include <benchmark/benchmark.h>
#include <chrono>

namespace AgentsBench {

/// Runs scene.Frame() for the benchmark's iterations and sets the two counters.
template <typename Scene> void MeasureFrames(benchmark::State& state, Scene& scene)
{
    for (int i = 0; i < 30; ++i)
        scene.Frame();
    const auto begin = std::chrono::steady_clock::now();
    for (auto _ : state)
        scene.Frame();
    const auto end = std::chrono::steady_clock::now();
    const double agents = kWanderers + kFollowers + kShooters;
    state.counters["ai_ms_per_frame"] =
        1e3 * std::chrono::duration<double>(end - begin).count() / double(state.iterations());
    state.counters["agent_ticks_per_s"] =
        benchmark::Counter(double(state.iterations()) * agents, benchmark::Counter::kIsRate);
}

} // namespace AgentsBench
