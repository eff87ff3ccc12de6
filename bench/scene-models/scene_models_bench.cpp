// Model reading: a clump of one 100k-triangle geometry (8 materials, two
// texture sets, normals) read from a memory stream, which rebuilds its
// strips on unlock, and GeometryUnlock alone on the same triangles.
// Reports MB/s and triangles per second.

#include <benchmark/benchmark.h>

#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "tools/scenebuild/modelbuild.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

constexpr int32_t kTriangles = 100000;

Geometry* SharedGeometry()
{
    static Geometry* geometry = [] {
        Geometry* built = SceneEngineStart() ? ModelBuildGrid(kTriangles, 8) : nullptr;
        if (built) {
            built->format |= kGeometryTriStrip;
        }
        return built && GeometryUnlock(built) ? built : nullptr;
    }();
    return geometry;
}

const std::vector<uint8_t>& SavedClump()
{
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> saved;
        Geometry* geometry = SharedGeometry();
        Clump* clump = geometry ? ModelBuildClumpOf(geometry) : nullptr;
        if (clump) {
            saved = StreamWrittenBytes([&](Stream* s) { return ClumpStreamWrite(clump, s) != nullptr; });
            ClumpDestroy(clump);
        }
        return saved;
    }();
    return bytes;
}

void BM_ClumpStreamRead(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = SavedClump();
    if (bytes.empty()) {
        state.SkipWithError("no model");
        return;
    }
    for (auto _ : state) {
        StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
        Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
        Clump* clump =
            StreamFindChunk(stream, kChunkClump, nullptr, nullptr) ? ClumpStreamRead(stream) : nullptr;
        StreamClose(stream, nullptr);
        if (!clump) {
            state.SkipWithError("read failed");
            return;
        }
        state.PauseTiming();
        ClumpDestroy(clump);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.SetItemsProcessed(int64_t(state.iterations()) * kTriangles);
}

void BM_GeometryUnlock(benchmark::State& state)
{
    Geometry* geometry = SharedGeometry();
    if (!geometry) {
        state.SkipWithError("no model");
        return;
    }
    for (auto _ : state) {
        GeometryLock(geometry, kGeometryLockTriangles);
        if (!GeometryUnlock(geometry)) {
            state.SkipWithError("unlock failed");
            return;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(geometry->numTriangles));
}

BENCHMARK(BM_ClumpStreamRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeometryUnlock)->Unit(benchmark::kMillisecond);

} // namespace
