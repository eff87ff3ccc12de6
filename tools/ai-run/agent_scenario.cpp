#include "tools/ai-run/agent_scenario.h"

#include "ai/behaviours/attack_nn_agent.h"
#include "ai/behaviours/flee_agent.h"
#include "ai/behaviours/follower_agent.h"
#include "ai/behaviours/goto_agent.h"
#include "ai/behaviours/hide_agent.h"
#include "ai/behaviours/path_way_agent.h"
#include "ai/behaviours/shooter_agent.h"
#include "ai/behaviours/wander_agent.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/random.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include "tools/navtool/navtool_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace Zelk {

namespace {

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() != nullptr && std::strcmp(node->GetKey(), key) == 0;
}

// "x y z" in metres, "C" locale.
bool ReadPoint(const char* text, CVec3& point)
{
    if (text == nullptr)
        return false;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    return bool(in >> point.x >> point.y >> point.z);
}

// Every "RawData" value becomes a path in the data folder.
void PlaceRawData(CConfigNode* node, const std::string& dataDir)
{
    if (IsKey(node, "RawData") && node->GetValue() != nullptr)
        node->SetValue((dataDir + "/" + node->GetValue()).c_str());
    for (uint32_t i = 0; i < node->GetChildCount(); ++i)
        PlaceRawData(node->GetChild(i), dataDir);
}

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

template <class T> T* AgentAs(CAgent* agent)
{
    return agent != nullptr && agent->GetClassRecord() == &T::s_classRecord ? static_cast<T*>(agent)
                                                                            : nullptr;
}

// Hands the host's keys of a spawn entry to the entity's agent; a "Danger" names an
// entity that then watches the agent (drawn as a sight line).
bool ApplyHostKey(const CConfigNode* key, CEntity* entity, CWorld* world, CAgentScenarioResult* result,
                  std::vector<std::pair<CEntity*, CEntity*>>& watchers, std::string& error)
{
    CAgent* agent = entity->GetBrain() != nullptr ? entity->GetBrain()->GetAgent(0) : nullptr;
    const std::string owner = entity->GetName();
    CVec3 point;
    if (IsKey(key, "Destination")) {
        auto* go = AgentAs<CGotoAgent>(agent);
        if (go == nullptr || !ReadPoint(key->GetValue(), point)) {
            error = "\"Destination\" of " + owner + " needs a go-to agent and x y z";
            return false;
        }
        go->SetDestination(point * GetOneMeter());
        return true;
    }
    if (IsKey(key, "Danger")) {
        CEntity* danger = key->GetValue() != nullptr ? world->FindEntity(key->GetValue()) : nullptr;
        auto* hide = AgentAs<CHideAgent>(agent);
        auto* flee = AgentAs<CFleeAgent>(agent);
        const bool added = danger != nullptr && ((hide != nullptr && hide->AddDangerousEntity(danger)) ||
                                                 (flee != nullptr && flee->AddDangerEntity(danger)));
        if (!added) {
            error =
                "\"Danger\" of " + owner + " needs a hide or flee agent, room in its list and a known entity";
            return false;
        }
        watchers.push_back({danger, entity});
        return true;
    }
    if (IsKey(key, "DangerPoint")) {
        auto* flee = AgentAs<CFleeAgent>(agent);
        if (flee == nullptr || !ReadPoint(key->GetValue(), point) ||
            !flee->AddDangerPoint(point * GetOneMeter())) {
            error = "\"DangerPoint\" of " + owner + " needs a flee agent with room and x y z";
            return false;
        }
        result->dangerPoints.push_back(point * GetOneMeter());
        return true;
    }
    error = "unknown host key \"" + std::string(key->GetKey()) + "\" of " + owner;
    return false;
}

bool IsHostKey(const CConfigNode* node)
{
    return IsKey(node, "Destination") || IsKey(node, "Danger") || IsKey(node, "DangerPoint");
}

bool Spawn(CWorld* world, const CConfigNode* root, CAgentScenarioResult* result,
           std::vector<CEntity*>& entities, std::vector<std::pair<CEntity*, CEntity*>>& watchers,
           std::string& error)
{
    for (uint32_t i = 0; i < root->GetChildCount(); ++i) {
        const CConfigNode* spawn = root->GetChild(i);
        if (!IsKey(spawn, "Spawn"))
            continue;
        const char* definition = spawn->GetChildValue("Entity");
        CConfigNode* config = AiCopyEntityConfig(world, definition);
        if (config == nullptr) {
            error = std::string("no entity definition \"") + (definition ? definition : "") + "\"";
            return false;
        }
        for (uint32_t k = 0; k < spawn->GetChildCount(); ++k) {
            const CConfigNode* child = spawn->GetChild(k);
            if (!IsKey(child, "Entity") && !IsHostKey(child))
                AddConfigChild(config, nullptr, child->GetKey(), child->GetValue());
        }
        CEntity* entity = AiCreateEntityFromConfig(spawn->GetName(), config, AiGetClassMask(), nullptr);
        AiDeleteConfigNode(config);
        if (entity == nullptr || !AiAddEntity(world, entity)) {
            error =
                std::string("cannot create entity \"") + (spawn->GetName() ? spawn->GetName() : "") + "\"";
            return false;
        }
        entities.push_back(entity);
        CAgent* agent = entity->GetBrain() != nullptr ? entity->GetBrain()->GetAgent(0) : nullptr;
        result->names.push_back(entity->GetName());
        result->agents.push_back(agent != nullptr ? agent->GetClassRecord()->GetName() : "");
        result->flags.push_back(entity->GetFlags());
    }
    // Host keys after every entity exists, so that they may name later ones.
    for (uint32_t i = 0, e = 0; i < root->GetChildCount(); ++i) {
        const CConfigNode* spawn = root->GetChild(i);
        if (!IsKey(spawn, "Spawn"))
            continue;
        for (uint32_t k = 0; k < spawn->GetChildCount(); ++k)
            if (IsHostKey(spawn->GetChild(k)) &&
                !ApplyHostKey(spawn->GetChild(k), entities[e], world, result, watchers, error))
                return false;
        ++e;
    }
    return true;
}

CAgentSample Sample(const CEntity* entity)
{
    CAgentSample s;
    s.position = entity->GetPosition();
    s.heading = entity->GetAngles().y;
    s.speed = entity->GetSpeed();
    s.goal = s.position;
    const CBrain* brain = entity->GetBrain();
    CAgent* agent = brain != nullptr ? brain->GetAgent(0) : nullptr;
    if (auto* wander = AgentAs<CWanderAgent>(agent)) {
        s.goal = wander->GetTarget();
        s.state = wander->GetTargetNode();
    } else if (auto* go = AgentAs<CGotoAgent>(agent)) {
        s.goal = go->GetDestination();
        s.state = go->HasArrived() ? 1 : 0;
    } else if (auto* follower = AgentAs<CFollowerAgent>(agent)) {
        s.goal = follower->GetTarget();
        s.state = follower->HasArrived() ? 1 : 0;
    } else if (auto* shooter = AgentAs<CShooterAgent>(agent)) {
        s.goal = shooter->GetWalkGoal();
        s.state = shooter->IsFiring() ? 1 : 0;
    } else if (auto* way = AgentAs<CPathWayAgent>(agent)) {
        s.goal = way->GetCurrentPoint();
        s.state = way->GetStepIndex();
    } else if (auto* hide = AgentAs<CHideAgent>(agent)) {
        s.goal = hide->GetDestination();
        s.state = hide->IsSeen(s.position) ? 1 : 0;
    } else if (auto* flee = AgentAs<CFleeAgent>(agent)) {
        s.goal = flee->GetDestination();
        s.state = flee->IsVisibleToDanger() ? 1 : 0;
    } else if (auto* attack = AgentAs<CAttackNNAgent>(agent)) {
        s.goal = attack->GetGoal();
        s.state = 10 * attack->GetSideState() + attack->GetBandState();
    }
    if (brain != nullptr)
        if (const auto* shoot = brain->GetActionSet()->Get<CActionShoot>();
            shoot != nullptr && shoot->IsSet()) {
            s.fire = shoot->GetFire();
            s.aim = shoot->GetTarget();
        }
    return s;
}

std::string Describe(const std::string& name, const std::string& agent, const CAgentSample& s)
{
    char line[256];
    int n = std::snprintf(line, sizeof line, "  %-10s at (%6.2f, %6.2f) speed %4.2f", name.c_str(),
                          double(s.position.x), double(s.position.z), double(s.speed));
    const auto add = [&](const char* format, auto... values) {
        if (n >= 0 && size_t(n) < sizeof line)
            n += std::snprintf(line + n, sizeof line - size_t(n), format, values...);
    };
    const double gx = double(s.goal.x), gz = double(s.goal.z);
    if (agent == "CWanderAgent")
        add(" wanders to node %d (%.1f, %.1f)", s.state, gx, gz);
    else if (agent == "CGotoAgent")
        add(" %s (%.1f, %.1f)", s.state ? "arrived at" : "goes to", gx, gz);
    else if (agent == "CFollowerAgent")
        add(" follows to (%.2f, %.2f)%s", gx, gz, s.state ? ", there" : "");
    else if (agent == "CShooterAgent")
        add(" %s", s.fire ? "fires" : s.state ? "aims" : "walks to the target");
    else if (agent == "CPathWayAgent")
        add(" step %d at (%.1f, %.1f)", s.state, gx, gz);
    else if (agent == "CHideAgent")
        add(" %s, hides at (%.1f, %.1f)", s.state ? "SEEN" : "unseen", gx, gz);
    else if (agent == "CFleeAgent")
        add(" flees to (%.1f, %.1f)%s", gx, gz, s.state ? ", danger in sight" : "");
    else if (agent == "CAttackNNAgent")
        add(" side %d band %d, goal (%.1f, %.1f)%s", s.state / 10, s.state % 10, gx, gz,
            s.fire ? ", fires" : "");
    return std::string(line) + "\n";
}

} // namespace

bool RunAgentScenario(CTestHost& host, const CAgentScenarioOptions& options, CAgentScenarioResult* result,
                      std::string& error)
{
    *result = CAgentScenarioResult();
    result->step = options.step;
    CBoxWorld level;
    const std::string levelFile = options.scenarioDir + "/level.boxes";
    const std::string aiFile = options.scenarioDir + "/ai.txt";
    if (!ReadBoxWorld(levelFile.c_str(), level)) {
        error = "cannot read " + levelFile;
        return false;
    }
    AiHostInterface block{};
    host.Fill(block);
    host.SetClockStep(0.0f);
    host.SetTime(0.0f);
    host.ClearBoxes();
    host.ClearGround();
    for (size_t i = 0; i < level.boxMin.size(); ++i) {
        host.AddBox(level.boxMin[i], level.boxMax[i]);
        result->walls.push_back({level.boxMin[i], level.boxMax[i]});
    }
    SetTestFrameStep(options.step);
    if (AiEngineInitialize(&block) != 1) {
        error = "the AI runtime did not start";
        return false;
    }
    AiSeedRandom(options.seed);
    RuntimeScope scope;
    scope.root = AiNewConfigNode();
    if (!scope.source.Load(aiFile.c_str(), scope.root)) {
        error = aiFile + ":" + std::to_string(scope.source.GetLastError().line) + ": " +
                scope.source.GetLastError().message;
        return false;
    }
    PlaceRawData(scope.root, options.dataDir);
    scope.world = AiCreateWorldWithSource(scope.root, &scope.source, 0);
    if (scope.world == nullptr) {
        error = aiFile + ": the world was refused (are the data files in " + options.dataDir + "?)";
        return false;
    }
    if (const CGraphManager* manager = CGraphManager::FindInCurrentWorld())
        for (uint32_t g = 0; g < manager->GetEntryCount(); ++g) {
            const CSpatialGraph* graph = manager->GetEntry(g)->GetGraph();
            for (int32_t i = 0; i <= graph->GetHighestArcIndex(); ++i)
                if (const CGraphArc* arc = graph->GetArc(i);
                    arc != nullptr && arc->GetFrom()->GetIndex() < arc->GetTo()->GetIndex())
                    result->arcs.push_back({arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition()});
        }
    std::vector<CEntity*> entities;
    std::vector<std::pair<CEntity*, CEntity*>> watchers;
    if (!Spawn(scope.world, scope.root, result, entities, watchers, error))
        return false;
    const float seconds = options.seconds >= 0.0f
                              ? options.seconds
                              : ConfigToFloat(scope.root->GetChildValue("Seconds"), 30.0f);
    const int frames = int(std::lround(seconds / options.step));
    const int perSecond = std::max(1, int(std::lround(1.0f / options.step)));
    AiStartWorld(scope.world);
    for (int frame = 1; frame <= frames; ++frame) {
        host.SetTime(float(frame) * options.step);
        AiUpdateWorld(scope.world);
        std::vector<CAgentSample> samples;
        for (const CEntity* entity : entities)
            samples.push_back(Sample(entity));
        if (frame % perSecond == 0) {
            result->report += "t=" + std::to_string(frame / perSecond) + "s\n";
            for (size_t e = 0; e < entities.size(); ++e)
                result->report += Describe(result->names[e], result->agents[e], samples[e]);
        }
        result->frames.push_back(std::move(samples));
    }
    for (const auto& [danger, watched] : watchers)
        result->sights.push_back({danger->GetPosition(), watched->GetPosition()});
    return true;
}

std::string AgentScenarioCsv(const CAgentScenarioResult& result)
{
    std::string csv = "frame,time,entity,x,z,heading,speed,goal_x,goal_z,state,fire,aim_x,aim_z,flags\n";
    char line[320];
    for (size_t f = 0; f < result.frames.size(); ++f)
        for (size_t e = 0; e < result.frames[f].size(); ++e) {
            const CAgentSample& s = result.frames[f][e];
            std::snprintf(line, sizeof line, "%zu,%.4f,%s,%.4f,%.4f,%.3f,%.4f,%.4f,%.4f,%d,%d,%.4f,%.4f,%u\n",
                          f + 1, double(float(f + 1) * result.step), result.names[e].c_str(),
                          double(s.position.x), double(s.position.z), double(s.heading), double(s.speed),
                          double(s.goal.x), double(s.goal.z), s.state, s.fire ? 1 : 0, double(s.aim.x),
                          double(s.aim.z), result.flags[e]);
            csv += line;
        }
    return csv;
}

std::string AgentScenarioSvg(const CAgentScenarioResult& result)
{
    // The extent of walls and trails, seen from above: x to the right, z upwards.
    float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
    const auto grow = [&](const CVec3& p) {
        lo[0] = std::min(lo[0], p.x), lo[1] = std::min(lo[1], p.z);
        hi[0] = std::max(hi[0], p.x), hi[1] = std::max(hi[1], p.z);
    };
    for (const CTestBox& wall : result.walls)
        grow(wall.min), grow(wall.max);
    for (const auto& samples : result.frames)
        for (const CAgentSample& s : samples)
            grow(s.position);
    if (lo[0] > hi[0])
        lo[0] = lo[1] = 0.0f, hi[0] = hi[1] = 1.0f;
    constexpr float kScale = 20.0f, kMargin = 1.0f;
    const auto X = [&](float x) { return double((x - lo[0] + kMargin) * kScale); };
    const auto Y = [&](float z) { return double((hi[1] - z + kMargin) * kScale); };
    std::string svg;
    char line[400];
    const auto put = [&](const char* format, auto... values) {
        std::snprintf(line, sizeof line, format, values...);
        svg += line;
    };
    put("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\">\n",
        double((hi[0] - lo[0] + 2 * kMargin) * kScale), double((hi[1] - lo[1] + 2 * kMargin) * kScale));
    put("<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n");
    for (const auto& arc : result.arcs)
        put("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#c8d8ee\" stroke-width=\"1\"/>\n",
            X(arc.first.x), Y(arc.first.z), X(arc.second.x), Y(arc.second.z));
    for (const CTestBox& wall : result.walls)
        put("<rect class=\"wall\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#555\"/>\n",
            X(wall.min.x), Y(wall.max.z), double((wall.max.x - wall.min.x) * kScale),
            double((wall.max.z - wall.min.z) * kScale));
    for (const auto& sight : result.sights)
        put("<line class=\"sight\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#e0a000\" "
            "stroke-dasharray=\"4 3\"/>\n",
            X(sight.first.x), Y(sight.first.z), X(sight.second.x), Y(sight.second.z));
    for (const CVec3& p : result.dangerPoints)
        put("<circle class=\"danger\" cx=\"%.1f\" cy=\"%.1f\" r=\"6\" fill=\"none\" stroke=\"#e00000\" "
            "stroke-width=\"2\"/>\n",
            X(p.x), Y(p.z));
    static const char* const kColours[] = {"#d03020", "#2060d0", "#20a040", "#a020a0", "#e08000", "#008080"};
    for (size_t e = 0; e < result.names.size(); ++e) {
        const char* colour = kColours[e % (sizeof kColours / sizeof kColours[0])];
        svg += std::string("<polyline class=\"trail\" fill=\"none\" stroke=\"") + colour +
               "\" stroke-width=\"2\" points=\"";
        for (const auto& samples : result.frames)
            put("%.1f,%.1f ", X(samples[e].position.x), Y(samples[e].position.z));
        svg += "\"/>\n";
        for (size_t f = 0; f < result.frames.size(); f += 10)
            if (const CAgentSample& s = result.frames[f][e]; s.fire) {
                const CVec3 end = s.position + s.aim * 2.0f;
                put("<line class=\"shot\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" "
                    "stroke=\"#ff0000\"/>\n",
                    X(s.position.x), Y(s.position.z), X(end.x), Y(end.z));
            }
        if (!result.frames.empty()) {
            const CVec3& p = result.frames.back()[e].position;
            put("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"5\" fill=\"%s\"/>\n", X(p.x), Y(p.z), colour);
            put("<text x=\"%.1f\" y=\"%.1f\" font-size=\"12\">%s</text>\n", X(p.x) + 6.0, Y(p.z) - 6.0,
                result.names[e].c_str());
        }
    }
    svg += "</svg>\n";
    return svg;
}

} // namespace Zelk
