// Shapes/*: support features, support points and line tests per second for
// each primitive volume type over fixed tables of directions and segments.
// Distance/*: GJK distance queries over 2000 random hull pairs and
// separating-axis queries over 2000 box pairs, per second.
// Contacts/*: contact records made per second by the contact pass over
// the touching pairs of two snapshots (box stacks, hulls on a terrain).
// Broadphase/*: far-field steps per second for 1000 and 3000 boxes with 5 %
// of them moving each step, pairs kept current; Broadphase/ActivationStage:
// the same boxes as bodies, the moved ones awake, through the manager's
// far-field stage (bounds updated, activation spread, pairs listed).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include "bench/physics/broadphase_scene.h"
#include "bench/physics/contacts_scene.h"
#include "bench/physics/distance_scene.h"
#include "bench/physics/shapes_scene.h"
#include "bench/physics/step_scene.h"
#include "graphics/core/tests/enginetesting.h"
#include "physics/core/body/body.h"
#include "physics/core/manager/activation.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/solver/harness/harness.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/sat.h"

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

/// Runs `query` over the scene's pairs of one kind.
template <typename Query> void ForPairs(benchmark::State& state, bool hulls, Query query)
{
    EngineTestStart();
    DistanceScene scene = MakeDistanceScene();
    const std::vector<DistancePair>& pairs = hulls ? scene.hullPairs : scene.boxPairs;
    const std::vector<OlpVolume*>& volumes = hulls ? scene.hulls : scene.boxes;
    int64_t items = 0;
    for (auto _ : state) {
        for (const DistancePair& p : pairs) {
            OlpPartPair pair = {{volumes[p.a.shape], &p.a.frame}, {volumes[p.b.shape], &p.b.frame}};
            benchmark::DoNotOptimize(query(pair));
        }
        items += static_cast<int64_t>(pairs.size());
    }
    state.SetItemsProcessed(items);
    DestroyDistanceScene(scene);
    EngineTestShutdown();
}

void GjkHulls(benchmark::State& state)
{
    ForPairs(state, true, [](const OlpPartPair& pair) {
        OlpGjkSimplex simplex;
        OlpDistance out;
        return OlpGjkDistance(&pair, nullptr, 100.0f, &simplex, &out, 1.0f);
    });
}

void PenetrationHulls(benchmark::State& state)
{
    ForPairs(state, true, [](const OlpPartPair& pair) {
        OlpDistance out;
        return OlpGjkPenetration(&pair, 100.0f, &out, 1.0f);
    });
}

void SatBoxes(benchmark::State& state)
{
    ForPairs(state, false, [](const OlpPartPair& pair) {
        OlpDistance out;
        return OlpSatQuery(&pair, 100.0f, 1.0f, &out);
    });
}

void FarfieldSteps(benchmark::State& state)
{
    EngineTestStart();
    BroadphaseScene scene = MakeBroadphaseScene(static_cast<uint32_t>(state.range(0)), 200);
    {
        FarfieldRun run(scene);
        size_t step = 0;
        for (auto _ : state) {
            run.Step(scene, step);
            step = (step + 1) % scene.steps.size();
        }
        state.SetItemsProcessed(state.iterations());
        state.counters["pairs"] = run.PairCount();
    }
    EngineTestShutdown();
}

void ContactPass(benchmark::State& state)
{
    EngineTestStart();
    std::unique_ptr<ContactScene> scene = state.range(0) == 0 ? MakeStackScene() : MakeTerrainScene();
    state.SetLabel(state.range(0) == 0 ? "1000 boxes in stacks" : "1764 hulls on 20000 triangles");
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    params.words[kOlpParamContacts] = 8192;
    OlpPipeline* pipeline = OlpPipelineCreate(nullptr, &params, 1.0f);
    pipeline->batch.contactDistance = 0.05f;
    int64_t records = 0;
    uint32_t made = 0;
    for (auto _ : state) {
        made = OlpBatchContactPass(&pipeline->batch, scene->pairs.data(),
                                   static_cast<uint32_t>(scene->pairs.size()), ContactSceneBox, nullptr,
                                   pipeline->contacts, pipeline->contactCapacity);
        records += made;
    }
    uint32_t points = 0;
    for (uint32_t i = 0; i < made; ++i) {
        points += pipeline->contacts[i].count;
    }
    state.SetItemsProcessed(records);
    state.counters["records"] = made;
    state.counters["points"] = points;
    OlpPipelineDestroy(pipeline);
    DestroyContactScene(*scene);
    EngineTestShutdown();
}

void ActivationStage(benchmark::State& state)
{
    EngineTestStart();
    const auto count = static_cast<uint32_t>(state.range(0));
    BroadphaseScene scene = MakeBroadphaseScene(count, 200);
    OlpContextParams params;
    OlpContextParamsDefault(&params);
    OlpBodyParamsReserve(&params, count, count);
    params.words[kOlpParamPairs] = 4 * count;
    const float world[6] = {scene.half, scene.half, scene.half, -scene.half, -scene.half, -scene.half};
    OlpContext* context = OlpContextCreate(&params, 1.0f, world);
    OlpMgr* mgr = OlpContextGetMgr(context);
    OlpMgrSetFarfieldMargin(mgr, 0.0f);
    std::vector<OlpBody*> bodies(count);
    std::vector<Matrix> poses(count);
    for (uint32_t i = 0; i < count; ++i) {
        const OlpBBox& box = scene.boxes[i];
        const V3d half = {0.5f * (box.max.x - box.min.x), 0.5f * (box.max.y - box.min.y),
                          0.5f * (box.max.z - box.min.z)};
        OlpBodyDef* def = OlpBodyDefCreate();
        OlpBoxInit(def->volume, &half);
        bodies[i] = OlpBodyCreate(def);
        OlpBodyDefRelease(def);
        poses[i] = {{1, 0, 0},
                    0,
                    {0, 1, 0},
                    0,
                    {0, 0, 1},
                    0,
                    {box.min.x + half.x, box.min.y + half.y, box.min.z + half.z},
                    0};
        bodies[i]->base.parts[0].sourceMatrix = &poses[i];
        OlpMgrAddObject(mgr, &bodies[i]->base, kOlpMgrAnyId, kOlpMgrAddDynamic);
    }
    std::vector<OlpObj*> objects(count);
    std::vector<OlpPair> pairs(params.words[kOlpParamPairs]);
    OlpMgrStepLists lists = {};
    size_t step = 0;
    for (auto _ : state) {
        for (const auto& [id, box] : scene.steps[step]) {
            poses[id].pos = {0.5f * (box.max.x + box.min.x), 0.5f * (box.max.y + box.min.y),
                             0.5f * (box.max.z + box.min.z)};
            OlpBodyUpdateBounds(bodies[id]);
            OlpMgrSetObjectAwake(mgr, &bodies[id]->base, 1);
        }
        lists = {objects.data(), count, 0, pairs.data(), static_cast<uint32_t>(pairs.size()), 0,
                 nullptr,        0,     0};
        OlpMgrUpdateFarfield(mgr, &lists);
        for (const auto& [id, box] : scene.steps[step]) {
            OlpMgrSetObjectAwake(mgr, &bodies[id]->base, 0);
        }
        step = (step + 1) % scene.steps.size();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["active"] = lists.objectCount;
    state.counters["pairs"] = lists.pairCount;
    for (OlpBody* body : bodies) {
        OlpBodyDestroy(body);
    }
    OlpContextDestroy(context);
    gOlpBodyType.maxActive = kOlpObjTypeUnlimited;
    EngineTestShutdown();
}

} // namespace

/// The solve stage of one step on a named island, scalar (mode 1) or SSE
/// (mode 2); the dynamics rows are restored before every solve so that each
/// one sees the same system.
void SolveStage(benchmark::State& state, const char* island)
{
    EngineTestStart();
    {
        SolverHarness h(64);
        BuildSolverIsland(&h, island, 2);
        auto mode = static_cast<int32_t>(state.range(0));
        h.settings.mode = mode;
        h.kernels = OlpSolverKernelsForMode(mode);
        uint32_t rows = h.arrays.capacity;
        std::vector<Matrix> pose(h.arrays.pose, h.arrays.pose + rows);
        std::vector<Quaternion> orientation(h.arrays.orientation, h.arrays.orientation + rows);
        std::vector<OlpDynMotion> velocity(h.arrays.velocity, h.arrays.velocity + rows);
        int64_t pivots = 0;
        for (auto _ : state) {
            std::copy(pose.begin(), pose.end(), h.arrays.pose);
            std::copy(orientation.begin(), orientation.end(), h.arrays.orientation);
            std::copy(velocity.begin(), velocity.end(), h.arrays.velocity);
            // A cold start every time: the kernels' work, not a converged island's.
            h.ClearWarmStart();
            h.Solve();
            pivots += h.work->blockIterations[0][0] + h.work->blockIterations[1][0];
        }
        state.SetLabel(mode == 2 ? "sse" : "scalar");
        state.counters["steps/s"] =
            benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
        state.counters["pivots/s"] =
            benchmark::Counter(static_cast<double>(pivots), benchmark::Counter::kIsRate);
        state.counters["rows"] = static_cast<double>(h.work->groupCount * 4);
    }
    EngineTestShutdown();
}

void SolvePyramid(benchmark::State& state)
{
    SolveStage(state, "pyramid");
}

void SolveChain(benchmark::State& state)
{
    SolveStage(state, "chain");
}

/// Steps `scene` once per iteration; counts the resting share and islands at the end.
void RunStepScene(benchmark::State& state, PipelineScene& scene, const char* label)
{
    state.SetLabel(label);
    for (auto _ : state) {
        scene.Step();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["resting"] = StepRestShare(scene);
    state.counters["islands"] = scene.pipeline->islands.count;
}

void StepBoxes(benchmark::State& state)
{
    EngineTestStart();
    RunStepScene(state, *MakeStepBoxes(), "3000 boxes dropped on a plane, 60 Hz");
    EngineTestShutdown();
}

BENCHMARK(SolvePyramid)->Name("Solver/Pyramid55")->Arg(1)->Arg(2);
BENCHMARK(SolveChain)->Name("Solver/Chain20")->Arg(1)->Arg(2);
BENCHMARK(ContactPass)->Name("Contacts/Pass")->Arg(0)->Arg(1);
BENCHMARK(FarfieldSteps)->Name("Broadphase/Steps")->Arg(1000)->Arg(3000);
BENCHMARK(ActivationStage)->Name("Broadphase/ActivationStage")->Arg(1000)->Arg(3000);
BENCHMARK(GjkHulls)->Name("Distance/GjkHullPairs");
BENCHMARK(PenetrationHulls)->Name("Distance/PenetrationHullPairs");
BENCHMARK(SatBoxes)->Name("Distance/SatBoxPairs");
BENCHMARK(SupportFeature)->Name("Shapes/SupportFeature")->DenseRange(0, 3);
BENCHMARK(SupportPoint)->Name("Shapes/SupportPoint")->DenseRange(0, 3);
BENCHMARK(LineTest)->Name("Shapes/LineTest")->DenseRange(0, 3);
BENCHMARK(StepBoxes)->Name("Step/boxes3000")->Iterations(1200)->Unit(benchmark::kMillisecond);

void StepHulls(benchmark::State& state)
{
    EngineTestStart();
    {
        std::unique_ptr<StepHullWorld> world = MakeStepHullWorld();
        RunStepScene(state, *MakeStepHulls(*world), "1764 hulls dropped on 20,000 triangles, 60 Hz");
    }
    EngineTestShutdown();
}
BENCHMARK(StepHulls)->Name("Step/convex1764")->Iterations(1200)->Unit(benchmark::kMillisecond);
