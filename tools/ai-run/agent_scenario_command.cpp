#include "tools/ai-run/agent_scenario_command.h"

#include "tools/ai-run/agent_scenario.h"
#include "tools/common/toolfiles.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

namespace Zelk {

int RunAgentScenarioCommand(int argc, char** argv)
{
    CAgentScenarioOptions options;
    std::string out;
    CLI::App app{"Runs a standard agents' scenario headless and writes its trajectory"};
    app.add_option("--scenario", options.scenarioDir, "the scenario folder (level.boxes, ai.txt)")
        ->required()
        ->check(CLI::ExistingDirectory);
    app.add_option("--out", out, "the folder for trajectory.csv and trajectory.svg")->required();
    app.add_option("--data", options.dataDir, "the folder of the scenario's navtool data")
        ->check(CLI::ExistingDirectory);
    app.add_option("--seconds", options.seconds, "simulated time (default: the configuration's \"Seconds\")")
        ->check(CLI::Range(0.0f, 86400.0f));
    app.add_option("--step", options.step, "seconds per frame")->check(CLI::Range(0.001f, 1.0f));
    app.add_option("--seed", options.seed, "seed of the project's random generator");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? 0 : 1;
    }
    if (options.dataDir.empty()) {
        // The build's data of that scenario: data/agents/<its folder's name>.
        std::filesystem::path folder = std::filesystem::path(options.scenarioDir).lexically_normal();
        if (folder.filename().empty())
            folder = folder.parent_path();
        options.dataDir = std::string(OLAI_AGENT_DATA_DIR) + "/" + folder.filename().string();
    }
    std::error_code ignored;
    std::filesystem::create_directories(out, ignored);
    CTestHost host;
    CAgentScenarioResult result;
    std::string error;
    if (!RunAgentScenario(host, options, &result, error)) {
        std::fprintf(stderr, "ai-run: %s\n", error.c_str());
        return 1;
    }
    std::fputs(result.report.c_str(), stdout);
    const std::string csv = AgentScenarioCsv(result);
    const std::string svg = AgentScenarioSvg(result);
    if (!ToolWriteFile(out + "/trajectory.csv", csv.data(), csv.size()) ||
        !ToolWriteFile(out + "/trajectory.svg", svg.data(), svg.size())) {
        std::fprintf(stderr, "ai-run: cannot write into %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s/trajectory.csv and trajectory.svg\n", out.c_str());
    return 0;
}

} // namespace Zelk
