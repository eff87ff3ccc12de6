// Particles: quads with positions and colours (and the whole texture), for
// 1,000 to 16,000 particles.
//   BM_ParticleWrite   the update's vertex writers into memory
//   BM_ParticleRender  update and prepare through the emitter's hook on the
//                      software device, the particles behind the camera so
//                      that the device transforms and clips but draws nothing
//   BM_Memset          memset of the vertex bytes the writers produce: the
//                      write-bandwidth bound
// Each reports particles and vertex bytes per second.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/animation/particle.h"
#include "graphics/animation/particleinternal.h"
#include "graphics/core/camera.h"
#include "tools/particles-demo/particlescene.h"

namespace {

constexpr uint32_t kFlags = kParticleColour | kParticleEmitterTexRect;
/// Position, colour, texture coordinates.
constexpr uint32_t kStride = 24;

ParticleScene* Scene()
{
    static ParticleScene scene;
    static const bool started = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        HWND window = Win32WindowCreate("bench_particles", 320, 240);
        return window && ParticleEngineStart(window, "full") && ParticleSceneCreate(&scene, 320, 240);
    }();
    return started ? &scene : nullptr;
}

/// An emitter of `count` particles spread along x at depth `z`, coloured.
Atomic* Emitter(int32_t count, float z)
{
    Atomic* atomic = ParticleEmitterCreate(count, kFlags, 0);
    if (!atomic) {
        return nullptr;
    }
    ParticleArray positions, colours;
    ParticleEmitterLock(atomic, &positions, kParticlePosition, kParticleLockWrite);
    ParticleEmitterLock(atomic, &colours, kParticleColour, kParticleLockWrite);
    for (int32_t i = 0; i < count; ++i) {
        const float p[3] = {float(i % 100) * 0.01f, float(i / 100) * 0.01f, z};
        std::memcpy(static_cast<uint8_t*>(positions.data) + i * positions.stride, p, sizeof(p));
        const uint8_t rgba[4] = {uint8_t(i), uint8_t(i >> 8), 200, 255};
        std::memcpy(static_cast<uint8_t*>(colours.data) + i * colours.stride, rgba, 4);
    }
    ParticleEmitterUnlock(atomic);
    ParticleAtomicGetEmitter(atomic)->liveParticles = count;
    return atomic;
}

void Report(benchmark::State& state, int64_t particles)
{
    state.counters["particles_per_second"] =
        benchmark::Counter(double(state.iterations() * particles), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(state.iterations() * particles * 4 * kStride);
}

void BM_ParticleWrite(benchmark::State& state)
{
    if (!Scene()) {
        state.SkipWithError("the engine did not start");
        return;
    }
    const auto count = int32_t(state.range(0));
    Atomic* atomic = Emitter(count, 8.0f);
    const ParticleEmitter* emitter = atomic ? ParticleAtomicGetEmitter(atomic) : nullptr;
    if (!emitter || emitter->vertexStride != kStride) {
        state.SkipWithError("unexpected emitter");
        return;
    }
    std::vector<uint8_t> vertices(size_t(count) * 4 * kStride);
    ParticleBatch batch = {emitter, 0, count, 4, {}, {}, {}};
    batch.out = {vertices.data(),      kStride, nullptr, 0, vertices.data() + 12, kStride, false,
                 vertices.data() + 16, kStride, nullptr, 0};
    ParticleQuadAxes(emitter, &batch.right, &batch.up);
    for (auto _ : state) {
        emitter->routines.vertexWriter(&batch);
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
    }
    Report(state, count);
    ParticleAtomicDestroy(atomic);
}
BENCHMARK(BM_ParticleWrite)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Arg(16000);

void BM_ParticleRender(benchmark::State& state)
{
    ParticleScene* scene = Scene();
    if (!scene) {
        state.SkipWithError("the engine did not start");
        return;
    }
    const auto count = int32_t(state.range(0));
    Atomic* atomic = Emitter(count, -8.0f);
    if (!atomic || !CameraBeginUpdate(scene->camera)) {
        state.SkipWithError("no emitter or camera");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(atomic->renderCallBack(atomic));
    }
    CameraEndUpdate(scene->camera);
    Report(state, count);
    ParticleAtomicDestroy(atomic);
}
BENCHMARK(BM_ParticleRender)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Arg(16000);

void BM_Memset(benchmark::State& state)
{
    const auto count = int32_t(state.range(0));
    std::vector<uint8_t> vertices(size_t(count) * 4 * kStride);
    int value = 0;
    for (auto _ : state) {
        std::memset(vertices.data(), ++value, vertices.size());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::ClobberMemory();
    }
    Report(state, count);
}
BENCHMARK(BM_Memset)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(8000)->Arg(16000);

} // namespace
