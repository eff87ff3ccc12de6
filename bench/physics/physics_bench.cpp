// Shapes/*: support features, support points and line tests per second for
// each primitive volume type over fixed tables of directions and segments.
#include <benchmark/benchmark.h>

#include "bench/physics/shapes_scene.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/volume/dispatch.h"

namespace {

/// Runs `body` for each shape case in an started engine.
template <typename Body> void ForShape(benchmark::State& state, Body body)
{
    EngineTestStart();
    std::vector<ShapeCase> cases = MakeShapeCases();
    const ShapeCase& shape = cases[static_cast<size_t>(state.range(0))];
    state.SetLabel(shape.name);
    int64_t items = 0;
    for (auto _ : state) {
        items += body(shape.volume);
    }
    state.SetItemsProcessed(items);
    DestroyShapeCases(cases);
    EngineTestShutdown();
}

void SupportFeature(benchmark::State& state)
{
    ForShape(state, [](const OlpVolume* volume) {
        OlpSupportFeature feature;
        for (const V3d& d : ShapeDirections()) {
            volume->descriptor->getSupportFeature(volume, 1, &d, &feature);
            benchmark::DoNotOptimize(feature.count);
        }
        return static_cast<int64_t>(ShapeDirections().size());
    });
}

void SupportPoint(benchmark::State& state)
{
    ForShape(state, [](const OlpVolume* volume) {
        V3d point;
        for (const V3d& d : ShapeDirections()) {
            volume->descriptor->getSupportPoint(volume, &d, &point);
            benchmark::DoNotOptimize(point);
        }
        return static_cast<int64_t>(ShapeDirections().size());
    });
}

void LineTest(benchmark::State& state)
{
    ForShape(state, [](const OlpVolume* volume) {
        OlpLineResult result;
        int hits = 0;
        for (const ShapeSegment& s : ShapeSegments()) {
            hits += OlpVolumeLineIntersect(volume, nullptr, &s.start, &s.end, &result);
        }
        benchmark::DoNotOptimize(hits);
        return static_cast<int64_t>(ShapeSegments().size());
    });
}

} // namespace

BENCHMARK(SupportFeature)->Name("Shapes/SupportFeature")->DenseRange(0, 3);
BENCHMARK(SupportPoint)->Name("Shapes/SupportPoint")->DenseRange(0, 3);
BENCHMARK(LineTest)->Name("Shapes/LineTest")->DenseRange(0, 3);
