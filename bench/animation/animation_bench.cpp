// Keyframe playback: 100 characters of the soldier skeleton play the walk
// clip, each a frame (1/60 s) apart from the last; one tick advances every
// player and rebuilds every hierarchy's matrix array in local space. Reports
// nodes per second. SplineEvaluate on a closed 8-point loop with tangents
// reports points per second.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/hierkeys.h"
#include "graphics/animation/spline.h"
#include "graphics/core/engine.h"
#include "graphics/core/tests/devicedouble.h"
#include "tools/anim-tool/clips.h"
#include "tools/anim-tool/skeleton.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr int kCharacters = 100;

bool StartEngine()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    return EngineInit(nullptr, 0, 0x400000) && SplinePluginAttach() && HierarchyPluginAttach() &&
           EngineOpen(&params) && EngineStart();
}

void StopEngine()
{
    ToolEngineShutdown();
}

void BM_WalkPlayback(benchmark::State& state)
{
    Skeleton skeleton;
    std::string error;
    if (!SkeletonRead(OLAI_SKELETON, &skeleton, &error) || !StartEngine()) {
        state.SkipWithError("no skeleton or engine");
        return;
    }
    Motion walk;
    for (const Clip& clip : ClipList()) {
        if (clip.key == "Walk") {
            walk = clip.motion;
        }
    }
    Animation* animation = ClipBuild(skeleton, walk);
    const std::vector<uint32_t> flags = SkeletonNodeFlags(skeleton);
    const int32_t nodes = static_cast<int32_t>(flags.size());
    std::vector<Hierarchy*> characters;
    for (int i = 0; i < kCharacters; ++i) {
        Hierarchy* h =
            HierarchyCreate(nodes, flags.data(), nullptr, kHierarchyLocalSpace, sizeof(HierInterpKey));
        AnimInterpolatorSetCurrentAnim(h->interpolator, animation);
        AnimInterpolatorAddTime(h->interpolator, 0.0137f * static_cast<float>(i));
        characters.push_back(h);
    }
    for (auto _ : state) {
        for (Hierarchy* h : characters) {
            AnimInterpolatorAddTime(h->interpolator, 1.0f / 60.0f);
            HierarchyUpdateMatrices(h);
        }
        benchmark::DoNotOptimize(characters.back()->matrices[nodes - 1].pos.x);
    }
    state.counters["nodes/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kCharacters * nodes, benchmark::Counter::kIsRate);
    for (Hierarchy* h : characters) {
        HierarchyDestroy(h);
    }
    AnimationDestroy(animation);
    StopEngine();
}
BENCHMARK(BM_WalkPlayback)->Unit(benchmark::kMicrosecond);

void BM_SplineEvaluate(benchmark::State& state)
{
    if (!StartEngine()) {
        state.SkipWithError("engine did not start");
        return;
    }
    const V3d points[8] = {{20, 6, 0},  {14, 7, 14},   {0, 8, 20},  {-14, 7, 14},
                           {-20, 6, 0}, {-14, 5, -14}, {0, 4, -20}, {14, 5, -14}};
    Spline* spline = SplineCreate(8, kSplineClosed, points);
    constexpr int kPoints = 1000;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; ++i) {
            V3d point;
            V3d tangent;
            SplineEvaluate(spline, kSplinePathEased, static_cast<float>(i) * (1.0f / kPoints), &point,
                           &tangent);
            benchmark::DoNotOptimize(point);
            benchmark::DoNotOptimize(tangent);
        }
    }
    state.counters["points/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kPoints, benchmark::Counter::kIsRate);
    SplineDestroy(spline);
    StopEngine();
}
BENCHMARK(BM_SplineEvaluate)->Unit(benchmark::kMicrosecond);

} // namespace
