// Frame synchronisation: hierarchies of 100 frames (a root, 9 children, 9
// grandchildren under each child), 10% of all frames moved per tick, then
// FrameSyncDirty. Reports frames synchronised per second: every frame of a
// dirty hierarchy counts, since the pass visits each of them.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/frame.h"
#include "graphics/core/tests/devicedouble.h"
#include "tools/cli/tool_engine.h"

namespace {

constexpr int kFramesPerHierarchy = 100;

bool StartEngine()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    FrameSetFreeListCreateParams(1024, 1);
    return EngineInit(nullptr, 0, 0x400000) && EngineOpen(&params) && EngineStart();
}

void StopEngine()
{
    ToolEngineShutdown();
}

int DirtyRoots()
{
    int count = 0;
    LinkList* head = &EngineGetInstance()->dirtyFrames;
    for (LinkList* link = head->next; link != head; link = link->next) {
        ++count;
    }
    return count;
}

void BM_FrameSyncDirty(benchmark::State& state)
{
    const int frameCount = int(state.range(0));
    if (!StartEngine()) {
        state.SkipWithError("engine did not start");
        return;
    }
    std::vector<Frame*> frames;
    std::vector<Frame*> roots;
    const V3d step = {0.01f, 0.0f, 0.02f};
    const V3d axis = {0.0f, 1.0f, 0.0f};
    for (int h = 0; h < frameCount / kFramesPerHierarchy; ++h) {
        Frame* root = FrameCreate();
        roots.push_back(root);
        frames.push_back(root);
        for (int c = 0; c < 9; ++c) {
            Frame* child = FrameCreate();
            FrameAddChild(root, child);
            FrameRotate(child, &axis, float(c * 40), kCombineReplace);
            FrameTranslate(child, &step, kCombinePostConcat);
            frames.push_back(child);
            for (int g = 0; g < 10; ++g) {
                Frame* grandchild = FrameCreate();
                FrameAddChild(child, grandchild);
                FrameTranslate(grandchild, &step, kCombineReplace);
                frames.push_back(grandchild);
            }
        }
    }
    FrameSyncDirty();
    std::mt19937 random(42);
    std::uniform_int_distribution<size_t> pick(0, frames.size() - 1);
    const size_t moved = frames.size() / 10;
    int64_t synchronised = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < moved; ++i) {
            FrameTranslate(frames[pick(random)], &step, kCombinePostConcat);
        }
        synchronised += int64_t(DirtyRoots()) * kFramesPerHierarchy;
        FrameSyncDirty();
    }
    state.counters["frames_synchronised_per_s"] =
        benchmark::Counter(double(synchronised), benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames.size());
    for (Frame* root : roots) {
        FrameDestroyHierarchy(root);
    }
    StopEngine();
}

BENCHMARK(BM_FrameSyncDirty)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMicrosecond);

} // namespace
