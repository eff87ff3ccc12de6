// The standard agents under load: 64 wanderers, 16 followers and 8 shooters on
// the 64 x 64 m level of rooms, each a test-host character with a brain that
// runs its agent through the real path finder, entity manager and time
// manager. One iteration is one AI frame; the figures are AI milliseconds per
// frame and agent ticks per second.
#include "agents_level.h"
#include "ai/behaviours/standard_agents.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/random.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include "ai/testhost/testhost.h"
#include "frame_measure.h"
#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

using namespace Zelk;
using namespace AgentsBench;

std::string WorldText()
{
    std::string agents, brains, entities;
    for (int i = 0; i < kFollowers; ++i) {
        const std::string n = std::to_string(i);
        agents += "<Agent \"Follow" + n + "\"><Class>CFollowerAgent</Class><EntityToFollow>W" + n +
                  "</EntityToFollow></Agent>";
        brains += "<Brain \"Follower" + n +
                  "\"><Class>CTestBrain</Class><Service>Finder</Service><Agent>Follow" + n +
                  "</Agent></Brain>";
        entities += "<Entity \"F" + n +
                    "\"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass"
                    "</ActionClass><Brain>Follower" +
                    n + "</Brain><MaxSpeed>2.5</MaxSpeed></Entity>";
    }
    for (int i = 0; i < kShooters; ++i) {
        const std::string n = std::to_string(i), target = "W" + std::to_string(kFollowers + i);
        agents += "<Agent \"Shoot" + n + "\"><Class>CShooterAgent</Class><TargetBot>" + target +
                  "</TargetBot><GunRange>10</GunRange><DangerousConeAngle>10</DangerousConeAngle>"
                  "<MaxInaccuracy>2</MaxInaccuracy></Agent>";
        brains += "<Brain \"Shooter" + n +
                  "\"><Class>CTestBrain</Class><Service>Finder</Service>"
                  "<Service>Perception</Service><Agent>Shoot" +
                  n + "</Agent></Brain>";
        entities += "<Entity \"S" + n +
                    "\"><Class>CKinematicEntity</Class><ActionClass>CKinematicArmedActionClass"
                    "</ActionClass><Brain>Shooter" +
                    n + "</Brain><TeamSide>1</TeamSide></Entity>";
    }
    return "<World "
           "\"bench\"><MaxEntity>100</MaxEntity><MaxTeam>1</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf>"
           "<TimeMgt>"
           "<Aperiodic "
           "\"CPathFinder::FindNextMove::ASTAR\"><Priority>1</Priority><Tpf>10</Tpf><MaxCall>8</MaxCall>"
           "</Aperiodic>"
           "<Aperiodic "
           "\"CFollowerAgent::ComputeRealDistance\"><Priority>1</Priority><Tpf>2</Tpf><MaxCall>16</MaxCall>"
           "</Aperiodic>"
           "<Aperiodic "
           "\"CShooterAgent::BotShootAtEnemy\"><Priority>1</Priority><Tpf>2</Tpf><MaxCall>8</MaxCall>"
           "</Aperiodic>"
           "<Aperiodic \"Zelk::CEntityManager::ComputeCommonInfo\"><Priority>1</Priority><Tpf>4</Tpf>"
           "<MaxCall>100</MaxCall></Aperiodic>"
           "</TimeMgt>"
           "<GlobalServices><Service>Graphs</Service></GlobalServices>"
           "<Services><Service "
           "\"Graphs\"><Class>CGraphManager</Class><AstarMemory>5000</AstarMemory></Service>"
           "<Service \"Finder\"><Class>CPathFinder</Class><Graph>Grid</Graph></Service>"
           "<Service \"Perception\"><Class>CEntityManager</Class></Service></Services>"
           "<Agents><Agent \"Wander\"><Class>CWanderAgent</Class><Graph>Grid</Graph></Agent>" +
           agents +
           "</Agents><Brains><Brain \"Wanderer\"><Class>CTestBrain</Class><Service>Finder</Service>"
           "<Agent>Wander</Agent></Brain>" +
           brains +
           "</Brains><Entities><Entity \"W\"><Class>CKinematicEntity</Class><ActionClass>"
           "CKinematicArmedActionClass</ActionClass><Brain>Wanderer</Brain><MaxSpeed>2</MaxSpeed></Entity>" +
           entities + "</Entities></World>";
}

// The level, the world and its 88 characters, made once.
struct Scene
{
    CTestHost host;
    CConfigNode* root = nullptr;
    CTextConfigSource source;
    CWorld* world = nullptr;
    int frame = 0;
    bool ok = false;

    Scene()
    {
        AiHostInterface block{};
        host.Fill(block, 100);
        for (const Box& b : LevelBoxes())
            host.AddBox(CVec3(b.min[0], b.min[1], b.min[2]), CVec3(b.max[0], b.max[1], b.max[2]));
        SetTestFrameStep(kStep);
        if (AiEngineInitialize(&block) != 1 || !CheckAgentClassesRegistered())
            return;
        AiSeedRandom(7);
        const std::string text = WorldText();
        root = AiNewConfigNode();
        if (!ParseConfigText(text.c_str(), text.size(), root) ||
            (world = AiCreateWorldWithSource(root, &source, 0)) == nullptr)
            return;
        auto* graph = new CSpatialGraph;
        BuildWalkableGridGraph(*graph, CVec3(0.5f, 0.0f, 0.5f), int(kSize), int(kSize), 1.0f, 0.6f);
        if (!CGraphManager::FindInCurrentWorld()->AddGraph("Grid", graph, false))
            return;
        const std::vector<float> points = WalkablePoints();
        const size_t count = points.size() / 2;
        int made = 0;
        const auto make = [&](const char* definition, const std::string& name, size_t spot) {
            CConfigNode* config = CopyEntityConfig(world, definition);
            AddConfigChild(config, nullptr, "StartX", std::to_string(points[2 * spot]).c_str());
            AddConfigChild(config, nullptr, "StartZ", std::to_string(points[2 * spot + 1]).c_str());
            CEntity* entity = CreateEntityFromConfig(name.c_str(), config, AiGetClassMask(), nullptr);
            AiDeleteConfigNode(config);
            if (entity != nullptr && world->AddEntity(entity))
                ++made;
        };
        for (int i = 0; i < kWanderers; ++i)
            make("W", "W" + std::to_string(i), size_t(i) * 37 % count);
        for (int i = 0; i < kFollowers; ++i)
            make(("F" + std::to_string(i)).c_str(), "F" + std::to_string(i), (size_t(i) * 37 + 5) % count);
        for (int i = 0; i < kShooters; ++i)
            make(("S" + std::to_string(i)).c_str(), "S" + std::to_string(i), (size_t(i) * 53 + 11) % count);
        world->Start();
        ok = made == kWanderers + kFollowers + kShooters;
    }
    ~Scene()
    {
        if (world != nullptr)
            AiDestroyWorld(world);
        AiDeleteConfigNode(root);
        if (AiIsInitialized())
            AiEngineTerminate();
    }
    void Frame()
    {
        host.SetTime(float(++frame) * kStep);
        world->Update();
    }
};

void BM_AgentsFrame(benchmark::State& state)
{
    Scene scene;
    if (!scene.ok) {
        state.SkipWithError("the agents' world could not be made");
        return;
    }
    MeasureFrames(state, scene);
}
BENCHMARK(BM_AgentsFrame)->Unit(benchmark::kMillisecond)->Iterations(900);

} // namespace
