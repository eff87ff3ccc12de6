#include "agents_world.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_wrapper.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include <gtest/gtest.h>

namespace Zelk::AgentsTest {

namespace {

const char* const kTasks[] = {
    "CShooterAgent::BotShootAtEnemy",          "CHideAgent::ComputeDestination",
    "CHideAgent::CheckPositionVisible",        "CFollowerAgent::ComputeRealDistance",
    "CFleeAgent::ComputeDestination",          "CFleeAgent::CheckDangerVisible",
    "Zelk::CEntityManager::ComputeCommonInfo",
};

} // namespace

CTestHost& Host()
{
    static CTestHost host;
    return host;
}

std::string WorldText(const std::string& extra, const std::string& refusedTask)
{
    std::string tasks;
    for (const char* task : kTasks)
        tasks += std::string("<Aperiodic \"") + task + "\"><Priority>1</Priority><Tpf>5</Tpf><MaxCall>" +
                 (refusedTask == task ? "0" : "100") + "</MaxCall></Aperiodic>";
    return "<World "
           "\"agents\"><MaxEntity>32</MaxEntity><MaxTeam>4</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf>"
           "<TimeMgt>" +
           tasks + "</TimeMgt>" + extra + "</World>";
}

std::string StandardServices(const char* graphName)
{
    return std::string(
               "<GlobalServices><Service>Graphs</Service><Service>Ways</Service><Service>Nets</Service>"
               "<Service>Points</Service></GlobalServices>"
               "<Services><Service \"Graphs\"><Class>CGraphManager</Class><AstarMemory>4000</AstarMemory>"
               "</Service>"
               "<Service \"Ways\"><Class>CPathWayManager</Class></Service>"
               "<Service \"Nets\"><Class>CNeuralNetManager</Class></Service>"
               "<Service \"Points\"><Class>CPointMapper</Class></Service>"
               "<Service \"Perception\"><Class>CEntityManager</Class></Service>"
               "<Service \"Finder\"><Class>CPathFinder</Class><Graph>") +
           graphName + "</Graph></Service></Services>";
}

CWorld* StartWorld(const std::string& text)
{
    SetTestFrameStep(kStep);
    return TestWorld::Start(Host(), text, 32);
}

bool AddGraph(const char* name, CSpatialGraph* graph, bool pointMapper)
{
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    if (manager == nullptr || !manager->AddGraph(name, graph, false)) {
        delete graph;
        return false;
    }
    if (!pointMapper)
        return true;
    auto* mapper = static_cast<CPointMapper*>(
        GetCurrentWorld()->FindGlobalService(CGlobalServiceClassRecord::Find("CPointMapper")));
    if (mapper == nullptr)
        return false;
    CGraphWrapper wrapper;
    wrapper.SetGraph(graph);
    return mapper->BuildFrom({&wrapper}, {name});
}

CEntity* MakeEntity(const char* definition, const CVec3& at, float heading, const char* name)
{
    CWorld* world = TestWorld::Current();
    CConfigNode* config = CopyEntityConfig(world, definition);
    EXPECT_NE(config, nullptr) << definition;
    if (config == nullptr)
        return nullptr;
    AddConfigChild(config, nullptr, "StartX", std::to_string(at.x).c_str());
    AddConfigChild(config, nullptr, "StartY", std::to_string(at.y).c_str());
    AddConfigChild(config, nullptr, "StartZ", std::to_string(at.z).c_str());
    AddConfigChild(config, nullptr, "StartHeading", std::to_string(heading).c_str());
    CEntity* entity = CreateEntityFromConfig(name, config, AiGetClassMask(), nullptr);
    AiDeleteConfigNode(config);
    if (entity != nullptr && !world->AddEntity(entity)) {
        DestroyEntity(entity);
        entity = nullptr;
    }
    return entity;
}

CAgent* FirstAgent(const CEntity* entity)
{
    return entity != nullptr && entity->GetBrain() != nullptr ? entity->GetBrain()->GetAgent(0) : nullptr;
}

void Frames(CWorld* world, int n)
{
    for (int i = 0; i < n; ++i) {
        Host().Advance(kStep);
        world->Update();
    }
}

} // namespace Zelk::AgentsTest
