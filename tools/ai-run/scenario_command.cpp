// ai-run --scenario: runs the path-finding scenario and writes its trajectory
// (CSV) and a picture (SVG) into a folder.
#include "tools/ai-run/scenario_command.h"

#include "tools/ai-run/agent_scenario_command.h"
#include "tools/ai-run/scenario.h"

#include "ai/runtime/config_node.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace Zelk {

int RunScenarioCommand(int argc, char** argv)
{
    // With an output folder the argument names a standard agents' scenario.
    for (int i = 2; i < argc; ++i)
        if (std::string(argv[i]) == "--out")
            return RunAgentScenarioCommand(argc, argv);
    std::string folder;
    int frames = 3000;
    float step = 1.0f / 30.0f;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else if (a == "--step" && i + 1 < argc) {
            step = ConfigToFloat(argv[++i]);
        } else if (folder.empty() && a.compare(0, 2, "--") != 0) {
            folder = a;
        } else {
            folder.clear();
            break;
        }
    }
    if (folder.empty() || frames < 0 || !(step > 0.0f)) {
        std::fprintf(stderr, "usage: ai-run --scenario <output folder> [--frames N] [--step SECONDS]\n");
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    CTestHost host;
    ScenarioResult result;
    if (!RunPathScenario(host, frames, step, &result)) {
        std::fprintf(stderr, "ai-run: the scenario could not start\n");
        return 1;
    }
    const std::string csv = folder + "/trajectory.csv";
    const std::string svg = folder + "/trajectory.svg";
    if (!WriteScenarioCsv(result, csv) || !WriteScenarioSvg(result, svg)) {
        std::fprintf(stderr, "ai-run: cannot write into %s\n", folder.c_str());
        return 1;
    }
    if (result.arrivedFrame < 0) {
        std::printf("not arrived after %d frames\n", frames);
        return 1;
    }
    std::printf("arrived on frame %d\n", result.arrivedFrame);
    return 0;
}

} // namespace Zelk
