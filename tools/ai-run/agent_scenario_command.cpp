#include "tools/ai-run/agent_scenario_command.h"

#include "tools/ai-run/agent_scenario.h"

#include "ai/runtime/config_node.h"

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

int RunAgentScenarioCommand(int argc, char** argv)
{
    CAgentScenarioOptions options;
    std::string out;
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        ok = value != nullptr;
        if (!ok)
            break;
        if (a == "--scenario")
            options.scenarioDir = value;
        else if (a == "--out")
            out = value;
        else if (a == "--data")
            options.dataDir = value;
        else if (a == "--seconds")
            options.seconds = ConfigToFloat(value, -1.0f);
        else if (a == "--step")
            options.step = ConfigToFloat(value);
        else if (a == "--seed")
            options.seed = uint32_t(ConfigToInt(value, 1));
        else
            ok = false;
        ++i;
    }
    if (!ok || options.scenarioDir.empty() || out.empty() || !(options.step > 0.0f)) {
        std::fprintf(stderr, "usage: ai-run --scenario <scenario folder> --out <folder> [--data <folder>] "
                             "[--seconds S] [--step S] [--seed N]\n");
        return 1;
    }
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
