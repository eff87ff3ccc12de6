// The 2-D toolkit's tessellator on counter-clockwise stars and concave combs
// of 8 to 1,024 vertices (polygons and triangles per second), and stroking
// through PathRender into a recording immediate mode (vertices per second).
// bench_tess_glu cuts the same polygons with the GLU tessellator.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "bench/toolkit2d/polygons.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tess.h"
#include "graphics/toolkit2d/testing/im3drecorder.h"
#include "tools/draw2d/draw2dscene.h"
#include "tools/engine-smoke/smokescene.h"

namespace {

/// The engine and the toolkit, started once for the whole run.
bool Started()
{
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        static Draw2DScene scene;
        HWND window = Win32WindowCreate("bench_tess", 320, 240);
        return window && SmokeEngineStart(window) && Draw2DSceneCreate(&scene, 320, 240);
    }();
    return started;
}

Path* Outline(const std::vector<BenchPoint>& points)
{
    Path* path = PathCreate();
    PathMoveTo(path, points[0].x, points[0].y);
    for (size_t i = 1; i < points.size(); ++i) {
        PathLineTo(path, points[i].x, points[i].y);
    }
    PathClose(path);
    return path;
}

void Triangulate(benchmark::State& state, const std::vector<BenchPoint>& points)
{
    if (!Started()) {
        state.SkipWithError("the engine did not start");
        return;
    }
    Path* path = Outline(points);
    std::vector<uint32_t> indices(3 * points.size());
    int32_t triangles = 0;
    for (auto _ : state) {
        TessTriangulateSubPath(path, &triangles, indices.data());
        benchmark::DoNotOptimize(indices.data());
    }
    if (triangles != int32_t(points.size()) - 2) {
        state.SkipWithError("wrong triangle count");
    }
    state.counters["polygons_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["triangles_per_second"] =
        benchmark::Counter(double(state.iterations()) * triangles, benchmark::Counter::kIsRate);
    PathDestroy(path);
}

void BM_TessStar(benchmark::State& state)
{
    Triangulate(state, BenchStar(int32_t(state.range(0))));
}
BENCHMARK(BM_TessStar)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);

void BM_TessComb(benchmark::State& state)
{
    Triangulate(state, BenchComb(int32_t(state.range(0))));
}
BENCHMARK(BM_TessComb)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);

/// A 1,000-node polyline with turns, stroked with a gradient brush.
void BM_Stroke(benchmark::State& state)
{
    if (!Started()) {
        state.SkipWithError("the engine did not start");
        return;
    }
    Path* path = PathCreate();
    PathMoveTo(path, 0, 0);
    for (int32_t i = 1; i < 1000; ++i) {
        PathLineTo(path, float(i) * 0.001f, (i % 2) ? 0.05f : 0.0f);
    }
    Brush* brush = BrushCreate();
    const uint8_t red[4] = {255, 0, 0, 255}, blue[4] = {0, 0, 255, 255};
    BrushSetColours(brush, red, blue, blue, red);
    Im3DRecorder recorder(false);
    for (auto _ : state) {
        PathRender(path, brush);
    }
    state.counters["vertices_per_second"] =
        benchmark::Counter(double(state.iterations()) * 2000.0, benchmark::Counter::kIsRate);
    BrushDestroy(brush);
    PathDestroy(path);
}
BENCHMARK(BM_Stroke);

} // namespace
