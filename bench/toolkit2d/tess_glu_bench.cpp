// The GLU tessellator (odd winding, an edge-flag callback so that only
// triangles come out) on the polygons of bench_tess: polygons and
// triangles per second, to compare with the toolkit's tessellator.

#include <benchmark/benchmark.h>

#include <GL/glu.h>

#include <vector>

#include "bench/toolkit2d/polygons.h"

namespace {

struct Collected
{
    int32_t vertices;
};

void GLAPIENTRY Begin(GLenum, void*)
{
}
void GLAPIENTRY EdgeFlag(GLboolean, void*)
{
}
void GLAPIENTRY Vertex(void*, void* data)
{
    ++static_cast<Collected*>(data)->vertices;
}
void GLAPIENTRY End(void*)
{
}

void Triangulate(benchmark::State& state, const std::vector<BenchPoint>& points)
{
    GLUtesselator* tess = gluNewTess();
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(Begin));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(EdgeFlag));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(Vertex));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<void(GLAPIENTRY*)()>(End));
    gluTessNormal(tess, 0, 0, 1);
    std::vector<GLdouble> coordinates;
    for (const BenchPoint& p : points) {
        coordinates.insert(coordinates.end(), {p.x, p.y, 0.0});
    }
    Collected collected = {0};
    for (auto _ : state) {
        collected.vertices = 0;
        gluTessBeginPolygon(tess, &collected);
        gluTessBeginContour(tess);
        for (size_t i = 0; i < points.size(); ++i) {
            gluTessVertex(tess, &coordinates[3 * i], &coordinates[3 * i]);
        }
        gluTessEndContour(tess);
        gluTessEndPolygon(tess);
        benchmark::DoNotOptimize(collected.vertices);
    }
    const int32_t triangles = collected.vertices / 3;
    if (triangles != int32_t(points.size()) - 2) {
        state.SkipWithError("wrong triangle count");
    }
    state.counters["polygons_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["triangles_per_second"] =
        benchmark::Counter(double(state.iterations()) * triangles, benchmark::Counter::kIsRate);
    gluDeleteTess(tess);
}

void BM_GluStar(benchmark::State& state)
{
    Triangulate(state, BenchStar(int32_t(state.range(0))));
}
BENCHMARK(BM_GluStar)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);

void BM_GluComb(benchmark::State& state)
{
    Triangulate(state, BenchComb(int32_t(state.range(0))));
}
BENCHMARK(BM_GluComb)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(256)->Arg(1024);

} // namespace
