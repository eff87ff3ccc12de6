// ai-run --scenario: runs the path-finding scenario and writes its trajectory
// (CSV) and a picture (SVG) into a folder.
#include "tools/ai-run/scenario_command.h"

#include "tools/ai-run/scenario.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace Zelk {

int RunScenarioCommand(const std::string& folder, int frames, float step)
{
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
