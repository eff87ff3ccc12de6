// The searching agents' decisions: a full hide search over a 40 x 40 node grid
// with 4 dangers (visibility through the test host's box world), flee decisions
// at path lengths 2, 3 and 4 on an 8-connected grid, and evaluations of the
// attack agent's 7-7 net. Frame budgets are off, so every task is admitted and
// each iteration is one whole decision.
#include "ai/behaviours/flee_agent.h"
#include "ai/behaviours/hide_agent.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/neural_net.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include "ai/testhost/testhost.h"
#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace Zelk;

const char kWorld[] = R"(<World "search"><MaxEntity>16</MaxEntity><OneMeter>1</OneMeter><Tpf>0</Tpf>
<TimeMgt>
  <Aperiodic "CHideAgent::ComputeDestination"><MaxCall>1000000</MaxCall></Aperiodic>
  <Aperiodic "CHideAgent::CheckPositionVisible"><MaxCall>1000000</MaxCall></Aperiodic>
  <Aperiodic "CFleeAgent::ComputeDestination"><MaxCall>1000000</MaxCall></Aperiodic>
  <Aperiodic "CFleeAgent::CheckDangerVisible"><MaxCall>1000000</MaxCall></Aperiodic>
  <Aperiodic "Zelk::CEntityManager::ComputeCommonInfo"><MaxCall>1000000</MaxCall></Aperiodic>
</TimeMgt>
<GlobalServices><Service>Graphs</Service></GlobalServices>
<Services><Service "Graphs"><Class>CGraphManager</Class><AstarMemory>2000</AstarMemory></Service>
  <Service "Finder"><Class>CPathFinder</Class><Graph>Grid</Graph></Service>
  <Service "Perception"><Class>CEntityManager</Class></Service></Services>
<Brains><Brain "Bare"><Class>CTestBrain</Class><Service>Finder</Service><Service>Perception</Service></Brain></Brains>
<Entities><Entity "Bare"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass</ActionClass>
  <Brain>Bare</Brain></Entity><Entity "Plain"><Class>CKinematicEntity</Class></Entity></Entities>
</World>)";

// A 40 x 40 m room (grid nodes 1 m apart) with eight pillars to hide behind.
struct SearchWorld
{
    CTestHost host;
    CConfigNode* root = nullptr;
    CTextConfigSource source;
    CWorld* world = nullptr;
    CEntity* self = nullptr;
    std::vector<CEntity*> dangers;
    bool ok = false;

    SearchWorld()
    {
        AiHostInterface block{};
        host.Fill(block, 16);
        for (int i = 0; i < 8; ++i) {
            const float x = 5.0f + 9.0f * float(i % 4), z = i < 4 ? 12.0f : 27.0f;
            host.AddBox(CVec3(x, -1.0f, z), CVec3(x + 2.5f, 3.0f, z + 2.5f));
        }
        SetTestFrameStep(1.0f / 30.0f);
        if (AiEngineInitialize(&block) != 1)
            return;
        root = AiNewConfigNode();
        if (!ParseConfigText(kWorld, sizeof kWorld - 1, root) ||
            (world = AiCreateWorldWithSource(root, &source, 0)) == nullptr)
            return;
        auto* graph = new CSpatialGraph;
        BuildWalkableGridGraph(*graph, CVec3(0.5f, 0.0f, 0.5f), 40, 40, 1.0f, 0.6f);
        if (!CGraphManager::FindInCurrentWorld()->AddGraph("Grid", graph, false))
            return;
        self = Make("Bare", 20.5f, 20.5f);
        for (const CVec3& at :
             {CVec3(2.5f, 0, 2.5f), CVec3(37.5f, 0, 2.5f), CVec3(2.5f, 0, 37.5f), CVec3(37.5f, 0, 37.5f)})
            dangers.push_back(Make("Plain", at.x, at.z));
        world->Start();
        host.SetTime(0.1f);
        world->Update();
        ok = self != nullptr;
    }
    CEntity* Make(const char* definition, float x, float z)
    {
        CConfigNode* config = CopyEntityConfig(world, definition);
        AddConfigChild(config, nullptr, "StartX", std::to_string(x).c_str());
        AddConfigChild(config, nullptr, "StartZ", std::to_string(z).c_str());
        CEntity* entity = CreateEntityFromConfig(nullptr, config, AiGetClassMask(), nullptr);
        AiDeleteConfigNode(config);
        return entity != nullptr && world->AddEntity(entity) ? entity : nullptr;
    }
    template <class T>
    std::unique_ptr<T> MakeAgent(const std::vector<std::pair<const char*, const char*>>& keys)
    {
        std::unique_ptr<T> agent(static_cast<T*>(T::s_classRecord.GetCreator()(self->GetBrain())));
        CConfigNode config;
        for (const auto& [key, value] : keys)
            AddConfigChild(&config, nullptr, key, value);
        return agent->Init(&config) ? std::move(agent) : nullptr;
    }
    ~SearchWorld()
    {
        if (world != nullptr)
            AiDestroyWorld(world);
        AiDeleteConfigNode(root);
        if (AiIsInitialized())
            AiEngineTerminate();
    }
};

void BM_HideSearch(benchmark::State& state)
{
    SearchWorld w;
    auto hide =
        w.ok ? w.MakeAgent<CHideAgent>({{"Graph", "Grid"}, {"ResearchType", "FAR_FROM_ENEMY"}}) : nullptr;
    if (hide == nullptr) {
        state.SkipWithError("the hide agent could not be made");
        return;
    }
    for (CEntity* danger : w.dangers)
        hide->AddDangerousEntity(danger);
    for (auto _ : state) {
        hide->Start();
        hide->ComputeDestination();
        benchmark::DoNotOptimize(hide->GetDestinationIndex());
    }
    if (!hide->IsSearchComplete() || !hide->HasFound())
        state.SkipWithError("the search did not complete with a hiding place");
    state.counters["searches_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HideSearch)->Unit(benchmark::kMillisecond);

void BM_FleeDecision(benchmark::State& state)
{
    SearchWorld w;
    const std::string length = std::to_string(state.range(0));
    auto flee = w.ok ? w.MakeAgent<CFleeAgent>({{"Graph", "Grid"}, {"PathLength", length.c_str()}}) : nullptr;
    if (flee == nullptr) {
        state.SkipWithError("the flee agent could not be made");
        return;
    }
    flee->AddDangerPoint(CVec3(15.0f, 0.0f, 18.0f));
    flee->AddDangerEntity(w.dangers[0]);
    for (auto _ : state)
        benchmark::DoNotOptimize(flee->ComputeDestination());
    state.counters["decisions_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FleeDecision)->Arg(2)->Arg(3)->Arg(4)->Unit(benchmark::kMicrosecond);

void BM_AttackNetEvaluate(benchmark::State& state)
{
    const int32_t sizes[2] = {7, 7};
    CNeuralNet net(2, sizes);
    std::vector<float> weights(7 * 8);
    for (size_t i = 0; i < weights.size(); ++i)
        weights[i] = float(i % 5) * 0.25f - 0.5f;
    net.SetWeights(weights.data());
    float* inputs = net.GetInputValues();
    int32_t k = 0;
    for (auto _ : state) {
        for (int32_t i = 0; i < 7; ++i)
            inputs[i] = 0.0f;
        inputs[k % 3] = 1.0f;
        inputs[3 + k % 4] = 1.0f;
        ++k;
        net.Evaluate();
        benchmark::DoNotOptimize(net.GetOutputValues()[0]);
    }
    state.counters["evaluations_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AttackNetEvaluate);

} // namespace
