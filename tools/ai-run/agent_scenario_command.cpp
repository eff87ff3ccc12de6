#include "tools/ai-run/agent_scenario_command.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace Zelk {

namespace {

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    return bool(out.flush());
}

} // namespace

int RunAgentScenarioCommand(CAgentScenarioOptions options, const std::string& out)
{
    if (options.dataDir.empty())
        options.dataDir = std::string(OLAI_AGENT_DATA_DIR) + "/" +
                          std::filesystem::path(options.scenarioDir).lexically_normal().filename().string();
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
    if (!WriteText(out + "/trajectory.csv", AgentScenarioCsv(result)) ||
        !WriteText(out + "/trajectory.svg", AgentScenarioSvg(result))) {
        std::fprintf(stderr, "ai-run: cannot write into %s\n", out.c_str());
        return 1;
    }
    std::printf("wrote %s/trajectory.csv and trajectory.svg\n", out.c_str());
    return 0;
}

} // namespace Zelk
