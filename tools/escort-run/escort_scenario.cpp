#include "tools/escort-run/escort_scenario.h"
#include "ai/behaviours/access_ways_generate.h"
#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/navigation/walkable_grid.h"
#include "ai/runtime/action.h"
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/random.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/team.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/state_hash.h"
#include "ai/testhost/testclasses.h"
#include "ai/testhost/testhost.h"
#include "graphics/core/stream.h"
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace Zelk {

namespace {

constexpr float kVipSpeed = 1.5f;           // metres per second
constexpr float kEscortWidth = 0.6f;        // metres, for the walkable grids
constexpr int kTrailEvery = 5;              // frames between trail points
constexpr float kSettleSlack = 0.05f;       // metres beyond the goal distance that still count as arrived
constexpr float kStartSpacing = 0.9f;       // metres between the starts given to extra escorts
constexpr uint32_t kMaxAccessArcs = 0xFFFF; // arc indices of access-ways data are 16 bits
constexpr float kOnWallMargin = 0.01f;      // metres: a grid point closer to a wall stands on or in it

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0, double d = 0.0)
{
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

// Copies the grid's nodes that stand on the level's free floor, and the arcs between
// them, into out (in index order). The host's can-go test also joins grid points that
// lie inside one wall or on its face (a ray that starts inside a box is not stopped by
// it); such islands would be found as the nearest node of a body beside the wall.
void KeepFreeFloor(CSpatialGraph& grid, const CEscortLevel& level, CSpatialGraph& out)
{
    std::vector<CGraphNode*> kept(size_t(grid.GetHighestNodeIndex() + 1), nullptr);
    for (int32_t i = 0; i <= grid.GetHighestNodeIndex(); ++i)
        if (const CGraphNode* node = grid.GetNode(i);
            node != nullptr && EscortLevelIsFree(level, node->GetPosition(), kOnWallMargin))
            kept[size_t(i)] = AddNodeAtPosition(out, node->GetPosition());
    for (int32_t i = 0; i <= grid.GetHighestArcIndex(); ++i) {
        const CGraphArc* arc = grid.GetArc(i);
        if (arc == nullptr)
            continue;
        CGraphNode* from = kept[size_t(arc->GetFrom()->GetIndex())];
        CGraphNode* to = kept[size_t(arc->GetTo()->GetIndex())];
        if (from != nullptr && to != nullptr)
            out.AddArc(arc->GetData(), from, to);
    }
}

// The level's floor point (x, z) where a body standing on it has its position.
CVec3 AtBodyMiddle(const CVec3& floor)
{
    return CVec3(floor.x, kEscortBodyMiddle, floor.z);
}

// A walkable grid over the level's free floor, its nodes at the bodies' middle, with
// find-nearest data, handed to the graph manager.
CSpatialGraph* AddGridGraph(CGraphManager& manager, const char* name, const CEscortLevel& level,
                            float spacing)
{
    CSpatialGraph grid;
    const int w = int((level.maxX - level.minX) / spacing);
    const int h = int((level.maxZ - level.minZ) / spacing);
    const CVec3 origin(level.minX + spacing * 0.5f, kEscortBodyMiddle, level.minZ + spacing * 0.5f);
    BuildWalkableGridGraph(grid, origin, w, h, spacing, kEscortWidth);
    auto* graph = new CSpatialGraph;
    KeepFreeFloor(grid, level, *graph);
    if (graph->GetNodeCount() == 0 || !manager.AddGraph(name, graph, false)) {
        delete graph;
        return nullptr;
    }
    auto* findNearest = new CFindNearestData(graph);
    if (!findNearest->Build() || !manager.FindEntry(graph)->AddAdditionalData(findNearest)) {
        delete findNearest;
        return nullptr;
    }
    return graph;
}

bool HasEscortAgent(const CEntity* entity)
{
    const auto* brain = entity->GetBrain();
    return brain != nullptr && brain->GetClassRecord() == &CSoldierBrain::s_classRecord &&
           static_cast<const CSoldierBrain*>(brain)->GetEscortAgent() != nullptr;
}

// The demo's entity and action classes stand for framework characters, which a
// headless run has not; the scenario's kinematic classes stand in for them.
void StandInForDemoClasses(CConfigNode* config)
{
    const struct
    {
        const char* key;
        const char* demo;
        const char* standIn;
    } standIns[] = {{"Class", "CDefaultEntityClass", "CKinematicEntity"},
                    {"ActionClass", "CDefaultActionClass", "CEscortActionClass"}};
    for (const auto& s : standIns) {
        CConfigNode* child = AiFindConfigChild(config, s.key);
        const char* value = child != nullptr ? AiGetConfigValue(child) : nullptr;
        if (value != nullptr && std::strcmp(value, s.demo) == 0)
            AiSetConfigValue(child, s.standIn);
    }
}

CEntity* MakeEntity(CWorld* world, const char* definition, const char* name, const CVec3& start,
                    bool hasBrain)
{
    CConfigNode* config = CopyEntityConfig(world, definition);
    if (config == nullptr)
        return nullptr;
    StandInForDemoClasses(config);
    AddConfigChild(config, nullptr, "StartX", Format("%.3f", start.x).c_str());
    AddConfigChild(config, nullptr, "StartY", Format("%.3f", start.y).c_str());
    AddConfigChild(config, nullptr, "StartZ", Format("%.3f", start.z).c_str());
    CEntity* entity = CreateEntityFromConfig(name, config, AiGetClassMask(), nullptr);
    delete config;
    if (entity != nullptr && ((hasBrain && !HasEscortAgent(entity)) || !world->AddEntity(entity))) {
        DestroyEntity(entity);
        return nullptr;
    }
    return entity;
}

// The level's escort starts, then, for escorts beyond them, the walkable grid's points
// on free floor nearest to the first start (the VIP's when the level lists none), each
// at least kStartSpacing from the VIP and from every start taken; all at the bodies' middle.
std::vector<CVec3> EscortStarts(const CEscortLevel& level, const CSpatialGraph& grid, int count)
{
    std::vector<CVec3> starts;
    for (size_t i = 0; i < level.escorts.size() && starts.size() < size_t(count); ++i)
        starts.push_back(AtBodyMiddle(level.escorts[i]));
    if (starts.size() >= size_t(count))
        return starts;
    const CVec3 from = level.escorts.empty() ? level.route[0] : level.escorts[0];
    std::vector<CVec3> free;
    for (int32_t i = 0; i <= grid.GetHighestNodeIndex(); ++i)
        if (const CGraphNode* node = grid.GetNode(i))
            free.push_back(AtBodyMiddle(node->GetPosition()));
    // Stable, so equal distances keep the grid's order and runs repeat exactly.
    std::stable_sort(free.begin(), free.end(), [&from](const CVec3& a, const CVec3& b) {
        return (a - from).SquaredLengthXZ() < (b - from).SquaredLengthXZ();
    });
    const CVec3 vip = level.route[0];
    for (const CVec3& p : free) {
        if (starts.size() >= size_t(count))
            break;
        bool clear = EscortLevelIsFree(level, p, kEscortBodyRadius) &&
                     (p - vip).SquaredLengthXZ() >= kStartSpacing * kStartSpacing;
        for (const CVec3& taken : starts)
            clear = clear && (p - taken).SquaredLengthXZ() >= kStartSpacing * kStartSpacing;
        if (clear)
            starts.push_back(p);
    }
    return starts;
}

// The picture's legend at x: one line per kind of mark, and a bar of 5 m
// (`scale` pixels a metre).
std::string Legend(float x, float scale)
{
    const struct
    {
        const char* mark;
        const char* text;
    } entries[] = {
        {"<rect x=\"0\" y=\"-6\" width=\"16\" height=\"12\" fill=\"#555\"/>", "walls and crates"},
        {"<circle cx=\"8\" cy=\"0\" r=\"7\" fill=\"#000\"/>", "VIP (black line: its way)"},
        {"<line x1=\"0\" y1=\"0\" x2=\"16\" y2=\"0\" stroke=\"#c33\" stroke-width=\"2\"/>",
         "escorts' ways (one colour each)"},
        {"<rect x=\"3\" y=\"-5\" width=\"10\" height=\"10\" fill=\"none\" stroke=\"#c33\" "
         "stroke-width=\"2\"/>",
         "guard points, escort's colour"},
        {"<line x1=\"0\" y1=\"0\" x2=\"16\" y2=\"0\" stroke=\"#2a2\" stroke-width=\"3\"/>",
         "access ways to the VIP"},
        {"<circle cx=\"8\" cy=\"0\" r=\"6\" fill=\"none\" stroke=\"#2a2\" stroke-width=\"2\"/>",
         "access-way clusters"},
    };
    std::string svg;
    float y = 20.0f;
    for (const auto& e : entries) {
        svg += Format("<g transform=\"translate(%.0f %.0f)\">", x, y) + e.mark +
               Format("<text x=\"24\" y=\"4\" font-family=\"sans-serif\" font-size=\"11\">", 0.0) + e.text +
               "</text></g>\n";
        y += 24.0f;
    }
    svg +=
        Format("<line x1=\"%.0f\" y1=\"%.0f\" x2=\"%.0f\" y2=\"%.0f\" stroke=\"#000\" stroke-width=\"2\"/>",
               x, y, x + 5.0f * scale, y) +
        Format("<text x=\"%.0f\" y=\"%.0f\" font-family=\"sans-serif\" font-size=\"11\">5 m</text>\n",
               x + 5.0f * scale + 6.0f, y + 4.0f);
    return svg;
}

} // namespace

struct CEscortScenario::State
{
    CConfigNode* root = nullptr;
    CTextConfigSource source;
    CGraphManager* manager = nullptr;
    StreamMemory memory{};
    Stream stream{};
    bool streamOpen = false;
};

namespace {

constexpr const char* kGraphNames[] = {"DenseGraph", "MoveGraph", "AccessWaysGraph"};

} // namespace

CEscortScenario::CEscortScenario() = default;

CEscortScenario::~CEscortScenario()
{
    Stop();
}

bool CEscortScenario::Start(const CEscortLevel& level, const std::string& aiConfig,
                            const CEscortRunOptions& options, std::string& error)
{
    if (!StartRuntime(level, options, error))
        return false;
    m_state->root = AiNewConfigNode();
    CConfigError parseError;
    if (!ParseConfigText(aiConfig.data(), aiConfig.size(), m_state->root, &parseError)) {
        error = "AI configuration line " + std::to_string(parseError.line) + ": " + parseError.message;
        return false;
    }
    m_world = AiCreateWorldWithSource(m_state->root, &m_state->source, 0);
    return StartWorld(level, options, error);
}

bool CEscortScenario::StartFromAis(const CEscortLevel& level, const std::vector<uint8_t>& ais,
                                   const CEscortRunOptions& options, std::string& error)
{
    if (!StartRuntime(level, options, error))
        return false;
    // The world's services read their raw data through the stream while it is created,
    // so the stream lives as long as the scenario, over the caller's bytes (a read
    // stream never writes to its block).
    m_state->memory = StreamMemory{const_cast<uint8_t*>(ais.data()), ais.size()};
    if (StreamInit(&m_state->stream, false, kStreamMemory, kStreamRead, &m_state->memory) == nullptr) {
        error = "the \".AIS\" data cannot be opened as a stream";
        return false;
    }
    m_state->streamOpen = true;
    m_state->root = AiLoadConfigStream(&m_state->stream);
    if (AiGetAisReader()->GetLastError()[0] != 0) {
        error = std::string("\".AIS\" data refused: ") + AiGetAisReader()->GetLastError();
        return false;
    }
    m_world = AiCreateWorld(m_state->root, 0);
    if (const char* leftOut = AiGetWorldLeftOutService(m_world); *leftOut != 0) {
        error = std::string("\".AIS\" data refused: ") + leftOut;
        return false;
    }
    return StartWorld(level, options, error);
}

bool CEscortScenario::StartRuntime(const CEscortLevel& level, const CEscortRunOptions& options,
                                   std::string& error)
{
    Stop();
    m_level = level;
    m_options = options;
    if (options.escorts < 1 || options.escorts > kMaxEscortCount || !(options.step > 0.0f) ||
        !std::isfinite(options.seconds) || options.seconds < 0.0f) {
        error = "the run needs 1 to " + std::to_string(kMaxEscortCount) +
                " escorts, a positive step and a duration of 0 s or more";
        return false;
    }
    m_host = new CTestHost;
    AiHostInterface host{};
    m_host->Fill(host, 64);
    m_host->SetClockStep(0.0f);
    for (size_t i = 0; i < level.boxMin.size(); ++i)
        m_host->AddBox(level.boxMin[i], level.boxMax[i]);
    if (AiEngineInitialize(&host) == 0) {
        error = "the AI runtime did not start";
        return false;
    }
    AiSeedRandom(options.seed);
    SetTestFrameStep(options.step);
    m_state = new State;
    return true;
}

bool CEscortScenario::AddGraphs(const CEscortLevel& level, std::string& error)
{
    CGraphManager* manager = m_state->manager;
    const float spacings[] = {1.0f, 1.0f, 2.0f};
    for (size_t i = 0; i < std::size(kGraphNames); ++i) {
        if (manager->GetGraph(kGraphNames[i]) != nullptr)
            continue;
        if (AddGridGraph(*manager, kGraphNames[i], level, spacings[i]) == nullptr) {
            error = "the level gives no walkable graph";
            return false;
        }
        ++m_builtGraphs;
    }
    CSpatialGraph* accessGraph = manager->GetGraph("AccessWaysGraph");
    if (manager->GetAdditionalData(accessGraph, CGraphDataClassRecord::Find("CAccessWaysData")) != nullptr)
        return true;
    if (accessGraph->GetHighestArcIndex() >= int32_t(kMaxAccessArcs)) {
        error = "no access ways could be computed: the level's 2 m access-ways grid has " +
                std::to_string(accessGraph->GetHighestArcIndex() + 1) +
                " arcs, and access-ways data indexes " +
                "at most 65,535; make the walkable area smaller (about 180 m by 180 m at most) or wall "
                "part of it off";
        return false;
    }
    CAccessWaysGenerator generator;
    generator.graph = accessGraph;
    auto* accessWays = new CAccessWaysData(accessGraph);
    if (!AccessWaysDataFromLists(*accessWays, AccessWaysCompute(generator)) ||
        !manager->FindEntry(accessGraph)->AddAdditionalData(accessWays)) {
        delete accessWays;
        error = "no access ways could be computed";
        return false;
    }
    m_accessWaysBuilt = true;
    return true;
}

bool CEscortScenario::StartWorld(const CEscortLevel& level, const CEscortRunOptions& options,
                                 std::string& error)
{
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    if (m_world == nullptr || manager == nullptr) {
        error = "the AI configuration gives no world with a graph manager";
        return false;
    }
    m_state->manager = manager;
    if (!AddGraphs(level, error))
        return false;
    CSpatialGraph* moveGraph = manager->GetGraph("MoveGraph");

    m_vip = MakeEntity(m_world, "Player", "Player", AtBodyMiddle(level.route[0]), false);
    CConfigNode* teamConfig = CopyTeamConfig(m_world, "WardelsTeam");
    CTeam* team =
        teamConfig != nullptr ? CreateTeam(teamConfig, uint32_t(options.escorts), "WardelsTeam") : nullptr;
    AiDeleteConfigNode(teamConfig);
    if (m_vip == nullptr || team == nullptr || team->GetClassRecord() != &CWardelTeam::s_classRecord) {
        error = "the AI configuration lacks the entity \"Player\" or the team \"WardelsTeam\"";
        return false;
    }
    m_team = static_cast<CWardelTeam*>(team);
    m_team->SetVip(m_vip);
    const std::vector<CVec3> starts = EscortStarts(level, *moveGraph, options.escorts);
    if (starts.size() < size_t(options.escorts)) {
        error = "the level has no free floor for " + std::to_string(options.escorts) + " escorts";
        return false;
    }
    for (int i = 0; i < options.escorts; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Soldier%d", i);
        CEntity* escort = MakeEntity(m_world, "Guard", name, starts[size_t(i)], true);
        if (escort == nullptr || !m_team->AddMember(escort)) {
            error = "the escort \"Guard\" could not be created with a soldier brain and an escort agent";
            return false;
        }
        m_escorts.push_back(escort);
    }
    m_trails.assign(m_escorts.size() + 1, {});
    m_world->Start();
    return true;
}

bool CEscortScenario::WriteData(const std::string& dir, std::string& error) const
{
    if (m_state == nullptr || m_state->manager == nullptr) {
        error = "the scenario has not started";
        return false;
    }
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const CClassRecord* nearestRecord = CGraphDataClassRecord::Find("CFindNearestData");
    for (const char* name : kGraphNames) {
        CSpatialGraph* graph = m_state->manager->GetGraph(name);
        CGraphAdditionalData* nearest = m_state->manager->GetAdditionalData(graph, nearestRecord);
        const std::string base = dir + "/" + name;
        if (graph == nullptr || nearest == nullptr || !graph->Write((base + ".graph").c_str()) ||
            !nearest->Write((base + ".nearest").c_str())) {
            error = "cannot write " + base + ".graph or its find-nearest data";
            return false;
        }
    }
    CAccessWaysGenerator generator;
    generator.graph = m_state->manager->GetGraph("AccessWaysGraph");
    const std::string accessWays = dir + "/" + kAccessWaysFileName;
    if (!AccessWaysGenerateTo(generator, accessWays.c_str())) {
        error = "cannot write " + accessWays;
        return false;
    }
    return true;
}

void CEscortScenario::Stop()
{
    if (m_world != nullptr)
        AiDestroyWorld(m_world);
    m_world = nullptr;
    m_vip = nullptr;
    m_team = nullptr;
    m_escorts.clear();
    m_builtGraphs = 0;
    m_accessWaysBuilt = false;
    if (m_state != nullptr) {
        AiDeleteConfigNode(m_state->root);
        if (m_state->streamOpen)
            StreamClose(&m_state->stream, nullptr);
        delete m_state;
        m_state = nullptr;
    }
    if (AiIsInitialized())
        AiEngineTerminate();
    delete m_host;
    m_host = nullptr;
}

void CEscortScenario::StepVip()
{
    if (m_waypoint >= m_level.route.size()) {
        m_vip->SetSpeed(0.0f);
        return;
    }
    const CVec3 goal = AtBodyMiddle(m_level.route[m_waypoint]);
    const CVec3 to = goal - m_vip->GetPosition();
    const float stride = kVipSpeed * m_options.step;
    if (to.Length() <= stride) {
        m_vip->SetPosition(goal);
        m_vip->SetSpeed(0.0f);
        if (++m_waypoint >= m_level.route.size())
            m_vipStopTime = GetTime();
        return;
    }
    const CVec3 direction = to.GetNormalized();
    m_vip->SetDirection(direction);
    m_vip->SetAngles(DirectionToAngles(direction));
    m_vip->SetSpeed(kVipSpeed);
}

void CEscortScenario::Frame()
{
    if (m_world == nullptr)
        return;
    m_host->Advance(m_options.step);
    StepVip();
    m_world->Update();
    ++m_frame;
    Record();
}

CEscortSample CEscortScenario::Sample(int escort) const
{
    CEscortSample sample{};
    CEntity* entity = m_escorts[size_t(escort)];
    const auto* brain = static_cast<const CSoldierBrain*>(entity->GetBrain());
    const CWardelAgent* agent = brain->GetEscortAgent();
    sample.position = entity->GetPosition();
    sample.target = agent->GetTarget();
    sample.guardDistance = std::sqrt((sample.target - sample.position).SquaredLengthXZ());
    sample.slot = m_team->GetMemberSlot(escort);
    sample.watched = agent->IsWatching() ? agent->GetWatchedCluster() : -1;
    sample.holding = agent->IsHolding();
    const CActionCrouch* crouch = brain->GetActionSet()->Get<CActionCrouch>();
    sample.crouching = crouch != nullptr && crouch->IsSet() && crouch->GetValue();
    return sample;
}

float CEscortScenario::GetGoalDistance(int escort) const
{
    const CBrain* brain = m_escorts[size_t(escort)]->GetBrain();
    const auto* finder = static_cast<const IPathFinder*>(brain->FindService(&IPathFinder::s_classRecord));
    return finder != nullptr ? finder->GetDistGoal() : 0.0f;
}

int CEscortScenario::GetClusterCount() const
{
    const CGuardNodeRecord* record = m_team != nullptr ? m_team->GetCurrentRecord() : nullptr;
    int count = 0;
    for (int e = 0; record != nullptr && e < kMaxAccessWayClusters; ++e)
        count += record->clusters[e].InUse() ? 1 : 0;
    return count;
}

bool CEscortScenario::IsClusterAssigned(int cluster) const
{
    const int32_t slot = m_team->GetSlotOfCluster(cluster);
    if (slot == kNoCluster)
        return false;
    for (int i = 0; i < GetEscortCount(); ++i)
        if (m_team->GetMemberSlot(i) == slot)
            return true;
    return false;
}

bool CEscortScenario::IsSettled(int escort) const
{
    const CEscortSample s = Sample(escort);
    return s.slot < 0 ? s.holding : s.guardDistance <= GetGoalDistance(escort) + kSettleSlack;
}

bool CEscortScenario::IsClusterWatched(int cluster) const
{
    const int32_t slot = m_team->GetSlotOfCluster(cluster);
    if (slot == kNoCluster)
        return false;
    for (int i = 0; i < GetEscortCount(); ++i) {
        if (m_team->GetMemberSlot(i) != slot || !IsSettled(i))
            continue;
        const uint16_t* watched = m_team->GetWatchedList(i);
        for (int k = 0; k < kMaxAccessWayClusters && watched[k] != kNoCluster; ++k)
            if (watched[k] == cluster)
                return true;
    }
    return false;
}

int CEscortScenario::CountAssignedClusters() const
{
    const CGuardNodeRecord* record = m_team != nullptr ? m_team->GetCurrentRecord() : nullptr;
    int count = 0;
    for (int e = 0; record != nullptr && e < kMaxAccessWayClusters; ++e)
        count += record->clusters[e].InUse() && IsClusterAssigned(e) ? 1 : 0;
    return count;
}

int CEscortScenario::CountWatchedClusters() const
{
    const CGuardNodeRecord* record = m_team != nullptr ? m_team->GetCurrentRecord() : nullptr;
    int count = 0;
    for (int e = 0; record != nullptr && e < kMaxAccessWayClusters; ++e)
        count += record->clusters[e].InUse() && IsClusterWatched(e) ? 1 : 0;
    return count;
}

uint64_t CEscortScenario::HashState() const
{
    CStateHash hash;
    std::vector<const CEntity*> entities(m_escorts.begin(), m_escorts.end());
    if (m_vip != nullptr)
        entities.push_back(m_vip);
    for (const CEntity* entity : entities) {
        hash.AddVec(entity->GetPosition());
        hash.AddFloat(entity->GetAngles().y);
    }
    for (int i = 0; i < GetEscortCount(); ++i)
        hash.AddWord(uint32_t(m_team->GetMemberSlot(i)));
    return hash.Get();
}

const char* CEscortScenario::GetTraceHeader()
{
    return "frame,name,x,z,target_x,target_z,guard_distance,slot,watched,holding,clusters,assigned,"
           "watched_clusters\n";
}

void CEscortScenario::Record()
{
    const int clusters = GetClusterCount();
    const int assigned = CountAssignedClusters();
    const int watchedClusters = CountWatchedClusters();
    for (int i = 0; i < GetEscortCount(); ++i) {
        const CEscortSample s = Sample(i);
        m_trace += std::to_string(m_frame) + "," + m_escorts[size_t(i)]->GetName() +
                   Format(",%.4f,%.4f,%.4f,%.4f", s.position.x, s.position.z, s.target.x, s.target.z) +
                   Format(",%.4f,%.0f,%.0f,%.0f", s.guardDistance, s.slot, s.watched, s.holding ? 1 : 0) +
                   Format(",%.0f,%.0f,%.0f", clusters, assigned, watchedClusters) + "\n";
        if (m_frame % kTrailEvery == 0)
            m_trails[size_t(i)].push_back(s.position);
    }
    if (m_frame % kTrailEvery == 0)
        m_trails.back().push_back(m_vip->GetPosition());
}

std::string CEscortScenario::ReportLine() const
{
    const CVec3 v = m_vip->GetPosition();
    std::string line = Format("t=%4.1fs VIP (%.1f, %.1f)", GetTime(), v.x, v.z) +
                       (m_vip->GetSpeed() == 0.0f ? " standing" : " walking");
    for (int i = 0; i < GetEscortCount(); ++i) {
        const CEscortSample s = Sample(i);
        line += " | " + std::string(m_escorts[size_t(i)]->GetName()) + Format(" %.2f m", s.guardDistance);
        line += s.slot >= 0 ? " slot " + std::to_string(s.slot) : std::string(" no slot");
        if (s.watched >= 0)
            line += " watches " + std::to_string(s.watched);
    }
    const int clusters = GetClusterCount();
    std::string which;
    for (int e = 0; e < kMaxAccessWayClusters && m_team->GetCurrentRecord() != nullptr; ++e)
        if (m_team->GetCurrentRecord()->clusters[e].InUse()) {
            if (!which.empty())
                which += ',';
            which += std::to_string(e);
            which += IsClusterWatched(e) ? '+' : IsClusterAssigned(e) ? '~' : '-';
        }
    const std::string of = "/" + std::to_string(clusters);
    return line + " | access ways assigned " + std::to_string(CountAssignedClusters()) + of + " watched " +
           std::to_string(CountWatchedClusters()) + of + " [" + which + "]";
}

void CEscortScenario::Run(std::string* report)
{
    const int frames = int(std::lround(m_options.seconds / m_options.step));
    const int perSecond = int(std::lround(1.0f / m_options.step));
    for (int f = 0; f < frames && m_world != nullptr; ++f) {
        Frame();
        if (report != nullptr && perSecond > 0 && m_frame % perSecond == 0)
            *report += ReportLine() + "\n";
    }
}

std::string CEscortScenario::Summary() const
{
    if (m_team == nullptr)
        return "escort-run: the scenario did not run";
    if (GetTime() <= 0.0f)
        return "escort-run: no time simulated; the level, its graphs and access ways are ready";
    const std::string ways = "of the " + std::to_string(GetClusterCount()) +
                             " access-way clusters around the VIP, " +
                             std::to_string(CountAssignedClusters()) + " have an escort assigned and " +
                             std::to_string(CountWatchedClusters()) + " are watched";
    if (m_vipStopTime < 0.0f)
        return Format("escort-run: after %.1f s the VIP is still on its route; ", GetTime()) + ways;
    return Format("escort-run: the VIP reached the end of its route at %.1f s; at %.1f s, ", m_vipStopTime,
                  GetTime()) +
           ways;
}

std::string CEscortScenario::MakeSvg() const
{
    const float scale = 20.0f;
    const float width = (m_level.maxX - m_level.minX) * scale;
    const float height = (m_level.maxZ - m_level.minZ) * scale;
    // x to the right, z up the picture.
    auto px = [&](float x) { return (x - m_level.minX) * scale; };
    auto pz = [&](float z) { return (m_level.maxZ - z) * scale; };
    // The legend stands in a panel right of the level.
    const float panel = 210.0f;
    std::string svg = Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n",
                             width + panel, std::max(height, 200.0f)) +
                      Format("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#f4f1ea\"/>\n", width, height);
    for (size_t i = 0; i < m_level.boxMin.size(); ++i)
        svg +=
            Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" ", px(m_level.boxMin[i].x),
                   pz(m_level.boxMax[i].z), (m_level.boxMax[i].x - m_level.boxMin[i].x) * scale) +
            Format("height=\"%.1f\" fill=\"#555\"/>\n", (m_level.boxMax[i].z - m_level.boxMin[i].z) * scale);
    // Access ways of the VIP's node: arcs drawn in green, their clusters' nearest points ringed.
    if (m_team != nullptr && m_team->GetCurrentRecord() != nullptr) {
        const uint16_t* arcs = nullptr;
        const int32_t count = m_team->GetAccessWays()->GetAccessWays(m_team->GetCurrentNode(), arcs);
        for (int32_t i = 0; i < count; ++i)
            if (const CGraphArc* arc = m_team->GetGraph()->GetArc(arcs[i]); arc != nullptr) {
                const CVec3 a = arc->GetFrom()->GetPosition();
                const CVec3 b = arc->GetTo()->GetPosition();
                svg += Format("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#2a2\" "
                              "stroke-width=\"3\"/>\n",
                              px(a.x), pz(a.z), px(b.x), pz(b.z));
            }
        const CGuardNodeRecord* record = m_team->GetCurrentRecord();
        for (int e = 0; e < kMaxAccessWayClusters; ++e)
            if (record->clusters[e].InUse())
                svg += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"6\" fill=\"none\" stroke=\"#2a2\" "
                              "stroke-width=\"2\"/>\n",
                              px(record->clusters[e].nearest.x), pz(record->clusters[e].nearest.z));
    }
    const char* colours[] = {"#c33", "#36c", "#c93", "#939", "#3a9", "#963", "#669", "#c6c"};
    for (size_t t = 0; t < m_trails.size(); ++t) {
        const bool vip = t + 1 == m_trails.size();
        std::string points;
        for (const CVec3& p : m_trails[t])
            points += Format("%.1f,%.1f ", px(p.x), pz(p.z));
        svg += "<polyline fill=\"none\" stroke-width=\"2\" stroke=\"" +
               std::string(vip ? "#000" : colours[t % 8]) + "\" points=\"" + points + "\"/>\n";
    }
    if (m_vip != nullptr && m_team != nullptr) {
        const CVec3 v = m_vip->GetPosition();
        for (int i = 0; i < GetEscortCount(); ++i) {
            if (m_team->GetMemberSlot(i) < 0)
                continue;
            const CVec3 g = v + m_team->GetMemberOffset(i);
            svg += Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"10\" height=\"10\" fill=\"none\" "
                          "stroke-width=\"2\" ",
                          px(g.x) - 5.0f, pz(g.z) - 5.0f) +
                   "stroke=\"" + colours[i % 8] + "\"/>\n";
        }
        svg += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"7\" fill=\"#000\"/>\n", px(v.x), pz(v.z));
    }
    return svg + Legend(width + 10.0f, scale) + "</svg>\n";
}

} // namespace Zelk
