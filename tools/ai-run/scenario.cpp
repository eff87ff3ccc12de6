#include "tools/ai-run/scenario.h"

#include "ai/navigation/graph_manager.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/kinematic.h"
#include "ai/testhost/state_hash.h"
#include "ai/testhost/testclasses.h"

#include <algorithm>
#include <cstdio>

namespace Zelk {

namespace {

// One metre per world unit; the path finder's searches, sub-goal advances, moves and
// accident watch are paced by the time manager.
const char kWorldText[] = R"(<World "scenario">
  <MaxEntity>4</MaxEntity>
  <OneMeter>1</OneMeter>
  <Tpf>20</Tpf>
  <TimeMgt>
    <Aperiodic "CPathFinder::FindNextMove::ASTAR"><Priority>1</Priority><Tpf>5</Tpf><MaxCall>2</MaxCall></Aperiodic>
    <Periodic "CPathFinder::FindNextMove::CheckAccident"><Period>1000</Period></Periodic>
    <Periodic "CPathFinder::FindNextMove::NewSubGoal"><Period>100</Period></Periodic>
    <Periodic "CPathFinder::FindNextMove::Goto"><Period>50</Period></Periodic>
  </TimeMgt>
  <GlobalServices><Service>Graphs</Service></GlobalServices>
  <Services>
    <Service "Graphs"><Class>CGraphManager</Class><AstarMemory>1000</AstarMemory></Service>
    <Service "Finder"><Class>CPathFinder</Class><Graph>Grid</Graph>
      <NextSubgoal>ComplexCheck</NextSubgoal><CanGo>VisibleGo</CanGo><NbMaxSubgoal>3</NbMaxSubgoal>
    </Service>
  </Services>
  <Brains><Brain "Walker"><Class>CTestBrain</Class><Service>Finder</Service></Brain></Brains>
  <Entities>
    <Entity "Walker"><Class>CKinematicEntity</Class><ActionClass>CKinematicActionClass</ActionClass>
      <Brain>Walker</Brain><StartX>-10</StartX><StartZ>-10</StartZ><MaxSpeed>2</MaxSpeed><Width>0.6</Width>
    </Entity>
  </Entities>
</World>)";

// Three walls with gaps at alternate ends: the way zigzags.
const CTestBox kWalls[] = {
    {CVec3(-6.0f, -1.0f, -12.5f), CVec3(-5.0f, 2.0f, 6.0f)},
    {CVec3(0.0f, -1.0f, -6.0f), CVec3(1.0f, 2.0f, 12.5f)},
    {CVec3(5.0f, -1.0f, -12.5f), CVec3(6.0f, 2.0f, 6.0f)},
};

constexpr int kGridSize = 25;
constexpr float kGridOrigin = -12.0f;

struct RuntimeScope
{
    ~RuntimeScope()
    {
        if (world != nullptr)
            AiDestroyWorld(world);
        AiDeleteConfigNode(root);
        if (AiIsInitialized())
            AiEngineTerminate();
    }
    CConfigNode* root = nullptr;
    CTextConfigSource source;
    CWorld* world = nullptr;
};

} // namespace

bool RunPathScenario(CTestHost& host, int frames, float step, ScenarioResult* result)
{
    *result = ScenarioResult();
    AiHostInterface block{};
    host.Fill(block);
    host.SetClockStep(0.0f);
    host.SetTime(0.0f);
    host.ClearBoxes();
    SetTestFrameStep(step);
    if (AiEngineInitialize(&block) != 1)
        return false;
    RuntimeScope scope;
    scope.root = AiNewConfigNode();
    if (!ParseConfigText(kWorldText, sizeof kWorldText - 1, scope.root))
        return false;
    scope.world = AiCreateWorldWithSource(scope.root, &scope.source, 0);
    if (scope.world == nullptr)
        return false;
    for (const CTestBox& wall : kWalls) {
        host.AddBox(wall.min, wall.max);
        result->walls.push_back(wall);
    }
    auto* graph = new CSpatialGraph;
    BuildWalkableGridGraph(*graph, CVec3(kGridOrigin, 0.0f, kGridOrigin), kGridSize, kGridSize, 1.0f, 0.6f);
    for (int32_t i = 0; i <= graph->GetHighestArcIndex(); ++i)
        if (const CGraphArc* arc = graph->GetArc(i);
            arc != nullptr && arc->GetFrom()->GetIndex() < arc->GetTo()->GetIndex())
            result->arcs.push_back({arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition()});
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    if (manager == nullptr || !manager->AddGraph("Grid", graph, false)) {
        delete graph;
        return false;
    }
    CConfigNode* config = AiCopyEntityConfig(scope.world, "Walker");
    CEntity* walker =
        config != nullptr ? AiCreateEntityFromConfig("Walker", config, AiGetClassMask(), nullptr) : nullptr;
    AiDeleteConfigNode(config);
    if (walker == nullptr || !AiAddEntity(scope.world, walker))
        return false;
    auto* finder = static_cast<CPathFinder*>(walker->GetBrain()->FindService(&IPathFinder::s_classRecord));
    if (finder == nullptr)
        return false;
    AiStartWorld(scope.world);
    result->start = walker->GetPosition();
    result->goal = CVec3(10.0f, 0.0f, -10.0f);
    for (int frame = 1; frame <= frames; ++frame) {
        host.SetTime(float(frame) * step);
        AiUpdateWorld(scope.world);
        result->trajectory.push_back(walker->GetPosition());
        finder->FindNextMove(result->goal);
        finder->GetActionSet()->Apply(walker);
        if (finder->HasArrived()) {
            result->arrivedFrame = frame;
            break;
        }
    }
    result->endHeading = walker->GetAngles().y;
    return true;
}

uint64_t HashScenarioResult(const ScenarioResult& result)
{
    CStateHash hash;
    for (const CVec3& p : result.trajectory)
        hash.AddVec(p);
    hash.AddFloat(result.endHeading);
    hash.AddWord(uint32_t(result.arrivedFrame));
    return hash.Get();
}

bool WriteScenarioCsv(const ScenarioResult& result, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    std::fprintf(f, "frame,x,y,z\n");
    for (size_t i = 0; i < result.trajectory.size(); ++i) {
        const CVec3& p = result.trajectory[i];
        std::fprintf(f, "%zu,%.4f,%.4f,%.4f\n", i + 1, double(p.x), double(p.y), double(p.z));
    }
    return std::fclose(f) == 0;
}

bool WriteScenarioSvg(const ScenarioResult& result, const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr)
        return false;
    // Seen from above: x to the right, z upwards; 20 pixels per metre.
    constexpr float kScale = 20.0f;
    const float lo = kGridOrigin - 1.0f, hi = kGridOrigin + float(kGridSize);
    const auto X = [&](float x) { return double((x - lo) * kScale); };
    const auto Y = [&](float z) { return double((hi - z) * kScale); };
    const double size = double((hi - lo) * kScale);
    std::fprintf(f, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n", size,
                 size);
    std::fprintf(f, "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    for (const CVec3Pair& arc : result.arcs)
        std::fprintf(
            f,
            "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#b0c8e8\" stroke-width=\"1\"/>\n",
            X(arc.first.x), Y(arc.first.z), X(arc.second.x), Y(arc.second.z));
    for (const CTestBox& wall : result.walls)
        std::fprintf(
            f, "<rect class=\"wall\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#555\"/>\n",
            X(wall.min.x), Y(wall.max.z), double((wall.max.x - wall.min.x) * kScale),
            double((wall.max.z - wall.min.z) * kScale));
    std::fprintf(
        f, "<polyline class=\"trajectory\" fill=\"none\" stroke=\"#d03020\" stroke-width=\"2\" points=\"");
    for (const CVec3& p : result.trajectory)
        std::fprintf(f, "%.1f,%.1f ", X(p.x), Y(p.z));
    std::fprintf(f, "\"/>\n");
    std::fprintf(f, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"#2080d0\"/>\n", X(result.start.x),
                 Y(result.start.z));
    std::fprintf(f, "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"#20a040\"/>\n", X(result.goal.x),
                 Y(result.goal.z));
    std::fprintf(f, "</svg>\n");
    return std::fclose(f) == 0;
}

} // namespace Zelk
