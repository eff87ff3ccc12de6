// ai-run: a headless AI run. Loads an ".AIS" file or a text configuration with
// the test host, creates the world, creates the entities listed under the
// root's "Spawn" children, ticks a number of frames and prints a trace of which
// entity thought and what it decided. The output is the same on every run.
//
//   ai-run <config.txt | config.ais> [--frames N] [--step SECONDS] [--read-cost SECONDS]
//   ai-run --scenario <output folder> [--frames N] [--step SECONDS]   (see scenario_command.h)
//   ai-run --scenario <scenario folder> --out <folder> [--data <folder>] [--seconds S] [--step S]
//          [--seed N]                                                 (see agent_scenario_command.h)
// "ai-run --help" lists the options.
//
// A spawn entry: <Spawn "Name"><Entity>Definition</Entity><Team>TeamDefinition</Team></Spawn>
// (the team is optional; a team is created once per definition, with 16 places).
// --step: clock advance per frame (default 1/30 s); --read-cost: clock advance per
// clock reading inside a frame (default 0.0005 s), so that the frame budget is spent.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/runtime.h"
#include "ai/runtime/team.h"
#include "ai/runtime/text_config.h"
#include "ai/runtime/world.h"
#include "ai/testhost/testclasses.h"
#include "ai/testhost/testhost.h"
#include "graphics/core/stream.h"
#include "tools/ai-run/agent_scenario_command.h"
#include "tools/ai-run/scenario_command.h"
#include "tools/cli/tool_cli.h"
#include "tools/common/toolfiles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Zelk;

constexpr uint32_t kHeapSize = 4 * 1024 * 1024;
constexpr uint32_t kTeamPlaces = 16;

void PrintTrace(const char* line, void*)
{
    std::printf("  %s\n", line);
}

bool EndsWith(const std::string& s, const char* suffix)
{
    std::size_t n = std::strlen(suffix);
    if (s.size() < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) {
            return false;
        }
    }
    return true;
}

struct Options
{
    std::string config;
    std::string scenario;
    std::string out;
    int frames = 100;
    float step = 1.0f / 30.0f;
    float readCost = 0.0005f;
    CAgentScenarioOptions agents;
};

// Creates the entities of the root's "Spawn" children and adds them to the world.
bool Spawn(CWorld* world, const CConfigNode* root)
{
    std::map<std::string, CTeam*> teams;
    for (uint32_t i = 0; i < root->GetChildCount(); ++i) {
        const CConfigNode* spawn = root->GetChild(i);
        if (!spawn->GetKey() || std::strcmp(spawn->GetKey(), "Spawn") != 0) {
            continue;
        }
        const char* definition = spawn->GetChildValue("Entity");
        CConfigNode* config = AiCopyEntityConfig(world, definition);
        CEntity* entity =
            config ? AiCreateEntityFromConfig(spawn->GetName(), config, AiGetClassMask(), nullptr) : nullptr;
        AiDeleteConfigNode(config);
        if (!entity || !AiAddEntity(world, entity)) {
            std::fprintf(stderr, "ai-run: cannot create entity \"%s\" from \"%s\"\n",
                         spawn->GetName() ? spawn->GetName() : "", definition ? definition : "");
            return false;
        }
        if (const char* teamName = spawn->GetChildValue("Team")) {
            CTeam*& team = teams[teamName];
            if (!team) {
                CConfigNode* teamConfig = AiCopyTeamConfig(world, teamName);
                team = teamConfig ? AiCreateTeam(teamConfig, kTeamPlaces, teamName) : nullptr;
                AiDeleteConfigNode(teamConfig);
            }
            if (!team || !AiTeamAddMember(team, entity)) {
                std::fprintf(stderr, "ai-run: cannot put \"%s\" into team \"%s\"\n", entity->GetName(),
                             teamName);
                return false;
            }
        }
        std::printf("spawn %s (%s) id=%d\n", entity->GetName(), definition, entity->GetId());
    }
    return true;
}

int Run(const Options& o, CTestHost& host)
{
    CConfigNode* root = nullptr;
    CTextConfigSource textSource;
    std::vector<uint8_t> aisBytes;
    Stream stream{};
    bool streamOpen = false;
    CWorld* world = nullptr;
    if (EndsWith(o.config, ".ais")) {
        // The engine's stream over the file's bytes; it stays open while the world lives,
        // since services may read their raw data at any time.
        StreamMemory memory{nullptr, 0};
        if (ToolReadFile(o.config, &aisBytes)) {
            memory = StreamMemory{aisBytes.data(), aisBytes.size()};
            streamOpen = StreamInit(&stream, false, kStreamMemory, kStreamRead, &memory) != nullptr;
        }
        if (!streamOpen) {
            std::fprintf(stderr, "ai-run: %s: cannot read\n", o.config.c_str());
            return 1;
        }
        root = AiLoadConfigStream(&stream);
        if (AiGetAisReader()->GetLastError()[0]) {
            std::fprintf(stderr, "ai-run: %s: %s\n", o.config.c_str(), AiGetAisReader()->GetLastError());
        } else {
            world = AiCreateWorld(root, kHeapSize);
        }
    } else if (!textSource.Load(o.config.c_str(), root = AiNewConfigNode())) {
        std::fprintf(stderr, "ai-run: %s:%d: %s\n", o.config.c_str(), textSource.GetLastError().line,
                     textSource.GetLastError().message);
    } else {
        world = AiCreateWorldWithSource(root, &textSource, kHeapSize);
    }
    if (!world) {
        std::fprintf(stderr, "ai-run: %s: the world was refused\n", o.config.c_str());
        AiDeleteConfigNode(root);
        if (streamOpen) {
            StreamClose(&stream, nullptr);
        }
        return 1;
    }
    int status = 0;
    if (const char* leftOut = AiGetWorldLeftOutService(world); *leftOut != '\0') {
        // A service the configuration asks for and cannot have: a run without it tells nothing.
        std::fprintf(stderr, "ai-run: %s: %s\n", o.config.c_str(), leftOut);
        status = 1;
    } else if (Spawn(world, root)) {
        AiStartWorld(world);
        for (int frame = 1; frame <= o.frames; ++frame) {
            host.SetTime(static_cast<float>(frame) * o.step);
            std::printf("frame %d\n", frame);
            AiUpdateWorld(world);
        }
        for (auto it = world->GetEntities().Begin(); it.IsValid(); ++it) {
            const CVec3& p = it.Item()->GetPosition();
            std::printf("end %s at (%.2f, %.2f, %.2f) heading %.2f\n", it.Item()->GetName(), p.x, p.y, p.z,
                        it.Item()->GetAngles().y);
        }
    } else {
        status = 1;
    }
    AiDestroyWorld(world);
    AiDeleteConfigNode(root);
    if (streamOpen) {
        StreamClose(&stream, nullptr);
    }
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    ToolCli::App app(
        "A headless AI run with the test host: loads a configuration, spawns its \"Spawn\" entities, "
        "ticks frames and prints a trace of thoughts and decisions. With --scenario it runs the "
        "path-finding scenario instead.",
        "ai-run");
    app.add_option("config", options.config, "text configuration or \".AIS\" file");
    app.add_option("--scenario", options.scenario,
                   "without --out: run the path-finding scenario, writing trajectory.csv and trajectory.svg "
                   "into this folder; with --out: run the standard agents' scenario of this folder");
    app.add_option("--out", options.out,
                   "the agents' scenario: folder for trajectory.csv and trajectory.svg");
    app.add_option("--data", options.agents.dataDir,
                   "the agents' scenario: folder of the data navtool made (default: the build's "
                   "data/agents/<scenario>)")
        ->check(ToolCli::ExistingDirectory);
    app.add_option("--seconds", options.agents.seconds,
                   "the agents' scenario: simulated time (default: the configuration's \"Seconds\")")
        ->check(ToolCli::FiniteRange(0.0, 3600.0));
    app.add_option("--seed", options.agents.seed, "the agents' scenario: seed of the random generator")
        ->check(ToolCli::Range(uint32_t(0), UINT32_MAX));
    app.add_option("--frames", options.frames, "frames to run (default 100; the scenario: 3000)")
        ->check(ToolCli::Range(0, 10000000));
    app.add_option("--step", options.step, "clock advance per frame (seconds)")
        ->check(ToolCli::FiniteRange(1e-6, 10.0))
        ->capture_default_str();
    app.add_option("--read-cost", options.readCost,
                   "clock advance per clock reading inside a frame (seconds)")
        ->check(ToolCli::FiniteRange(0.0, 10.0))
        ->capture_default_str();
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    const bool agentOnly = app.count("--data") + app.count("--seconds") + app.count("--seed") > 0;
    if (!options.scenario.empty()) {
        if (!options.config.empty()) {
            std::fprintf(stderr, "ai-run: --scenario takes no configuration file\n");
            return 2;
        }
        if (!options.out.empty()) {
            options.agents.scenarioDir = options.scenario;
            options.agents.step = options.step;
            return RunAgentScenarioCommand(options.agents, options.out);
        }
        if (agentOnly) {
            std::fprintf(stderr, "ai-run: --data, --seconds and --seed need --out\n");
            return 2;
        }
        return RunScenarioCommand(options.scenario, app.count("--frames") > 0 ? options.frames : 3000,
                                  options.step);
    }
    if (agentOnly || !options.out.empty()) {
        std::fprintf(stderr, "ai-run: --out, --data, --seconds and --seed belong to --scenario\n");
        return 2;
    }
    if (options.config.empty()) {
        std::fprintf(stderr,
                     "ai-run: a configuration file is needed\nRun with --help for more information.\n");
        return 2;
    }
    CTestHost host;
    AiHostInterface block;
    host.Fill(block);
    host.SetClockStep(options.readCost);
    SetTestFrameStep(options.step);
    SetTestTrace(&PrintTrace, nullptr);
    if (AiEngineInitialize(&block) != 1) {
        std::fprintf(stderr, "ai-run: the AI runtime did not start\n");
        return 1;
    }
    int result = Run(options, host);
    AiEngineTerminate();
    return result;
}
