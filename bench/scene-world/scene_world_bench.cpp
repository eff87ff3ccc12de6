// Worlds: reading the sample world and a generated 200k-triangle terrain
// (MB/s), the camera's visible-sector walk per camera move, re-tying 500
// moving atomics per frame, and both together as one frame (target: within
// 1% of a 60 Hz frame, 167 us).

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"
#include "tools/escort-run/escort_level.h"
#include "tools/sample-world/sampledata.h"
#include "tools/scenebuild/sceneengine.h"
#include "tools/worldbuild/worldshapes.h"

namespace {

constexpr int32_t kTerrainTriangles = 200000;
constexpr float kTerrainSize = 400.0f;
constexpr int kMovingAtomics = 500;

bool Started()
{
    static const bool started = SceneEngineStart();
    return started;
}

std::vector<uint8_t> Write(World* world)
{
    if (world == nullptr) {
        return {};
    }
    return StreamWrittenBytes([&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; });
}

const std::vector<uint8_t>& SampleBytes()
{
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> saved;
        Zelk::CEscortLevel level;
        std::string error;
        if (!Started() || !Zelk::EscortLevelLoad(OLAI_SAMPLE_LEVEL, level, error)) {
            return saved;
        }
        SampleMaterials materials;
        WorldBuildLimits limits;
        limits.leafTriangles = kSampleLeafTriangles;
        World* world = WorldBuild(SampleLevelSoup(level, materials), limits);
        saved = Write(world);
        if (world) {
            WorldDestroy(world);
        }
        return saved;
    }();
    return bytes;
}

const std::vector<uint8_t>& TerrainBytes()
{
    static const std::vector<uint8_t> bytes = [] {
        std::vector<uint8_t> saved;
        if (!Started()) {
            return saved;
        }
        std::vector<Material*> materials;
        for (int m = 0; m < 4; ++m) {
            materials.push_back(MaterialCreate());
            materials.back()->colour = {uint8_t(60 * m), 120, 200, 255};
        }
        World* world =
            WorldBuild(WorldSoupTerrain(kTerrainTriangles, kTerrainSize, materials), WorldBuildLimits{});
        saved = Write(world);
        if (world) {
            WorldDestroy(world);
        }
        for (Material* material : materials) {
            MaterialRelease(material);
        }
        return saved;
    }();
    return bytes;
}

World* Read(const std::vector<uint8_t>& bytes)
{
    StreamMemory memory = {const_cast<uint8_t*>(bytes.data()), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    World* world = StreamFindChunk(stream, kChunkWorld, nullptr, nullptr) ? WorldStreamRead(stream) : nullptr;
    StreamClose(stream, nullptr);
    return world;
}

void ReadWorld(benchmark::State& state, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty()) {
        state.SkipWithError("no world");
        return;
    }
    for (auto _ : state) {
        World* world = Read(bytes);
        if (!world) {
            state.SkipWithError("read failed");
            return;
        }
        state.PauseTiming();
        WorldDestroy(world);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_ReadSampleWorld(benchmark::State& state)
{
    ReadWorld(state, SampleBytes());
}

void BM_ReadTerrain200k(benchmark::State& state)
{
    ReadWorld(state, TerrainBytes());
}

// The terrain with a camera over it (far plane 150 m, looking down the
// slope) and 500 atomics of radius 1 to 3 m in it.
struct Scene
{
    World* world = nullptr;
    Camera* camera = nullptr;
    Frame* cameraFrame = nullptr;
    std::vector<Atomic*> atomics;
    std::vector<Frame*> frames;
    Geometry* geometry = nullptr;
    int step = 0;

    bool Make(int atomics)
    {
        world = Read(TerrainBytes());
        camera = world ? CameraCreate() : nullptr;
        if (!camera) {
            return false;
        }
        cameraFrame = FrameCreate();
        CameraSetFrame(camera, cameraFrame);
        CameraSetFarClipPlane(camera, 150.0f);
        const V3d axis = {1, 0, 0};
        FrameRotate(cameraFrame, &axis, 30.0f, kCombineReplace);
        WorldAddCamera(world, camera);
        geometry = GeometryCreateSpace(1.0f);
        for (int i = 0; i < atomics; ++i) {
            Atomic* atomic = AtomicCreate();
            AtomicSetGeometry(atomic, geometry, 0);
            atomic->boundingSphere.radius = 1.0f + float(i % 3);
            Frame* frame = FrameCreate();
            AtomicSetFrame(atomic, frame);
            WorldAddAtomic(world, atomic);
            this->atomics.push_back(atomic);
            frames.push_back(frame);
        }
        Move(true, true);
        return true;
    }

    // One frame of motion: the camera walks a circle, the atomics orbit.
    void Move(bool moveCamera, bool moveAtomics)
    {
        ++step;
        const float t = 0.01f * float(step);
        if (moveCamera) {
            const V3d position = {120.0f * std::cos(t), 20.0f, 120.0f * std::sin(t)};
            const V3d up = {0, 1, 0};
            FrameRotate(cameraFrame, &up, 0.6f, kCombinePostConcat);
            FrameGetMatrix(cameraFrame)->pos = position;
            FrameUpdateObjects(cameraFrame);
        }
        for (size_t i = 0; moveAtomics && i < frames.size(); ++i) {
            const float a = t + 0.0126f * float(i);
            const float r = 20.0f + 0.3f * float(i);
            const V3d position = {r * std::cos(a), 2.0f, r * std::sin(a)};
            FrameTranslate(frames[i], &position, kCombineReplace);
        }
        FrameSyncDirty();
    }

    ~Scene()
    {
        for (Atomic* atomic : atomics) {
            AtomicDestroy(atomic);
        }
        for (Frame* frame : frames) {
            FrameDestroy(frame);
        }
        if (geometry) {
            GeometryRelease(geometry);
        }
        if (camera) {
            CameraDestroy(camera);
            FrameDestroy(cameraFrame);
        }
        if (world) {
            WorldDestroy(world);
        }
    }
};

void Frames(benchmark::State& state, int atomics, bool moveCamera, bool moveAtomics)
{
    Scene scene;
    if (!scene.Make(atomics)) {
        state.SkipWithError("no world");
        return;
    }
    int64_t visible = 0;
    for (auto _ : state) {
        scene.Move(moveCamera, moveAtomics);
    }
    CameraForAllSectorsInFrustum(
        scene.camera,
        [](WorldSector* sector, void* data) {
            ++*static_cast<int64_t*>(data);
            return sector;
        },
        &visible);
    state.counters["visible_sectors"] = double(visible);
    state.SetItemsProcessed(int64_t(state.iterations()));
}

void BM_VisibleSectorWalk(benchmark::State& state)
{
    Frames(state, 0, true, false);
}

void BM_Retie500Atomics(benchmark::State& state)
{
    Frames(state, kMovingAtomics, false, true);
}

void BM_WalkAndRetie500(benchmark::State& state)
{
    Frames(state, kMovingAtomics, true, true);
}

BENCHMARK(BM_ReadSampleWorld)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTerrain200k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisibleSectorWalk)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Retie500Atomics)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WalkAndRetie500)->Unit(benchmark::kMicrosecond);

} // namespace
