// The "--scenario" mode of ai-run.
#pragma once

#include <string>

namespace Zelk {

/// ai-run --scenario <output folder> [--frames N] [--step SECONDS]: runs the path-finding
/// scenario for at most frames frames of step seconds, writes trajectory.csv and
/// trajectory.svg into the folder and prints the arrival frame. 0 when the walker
/// arrived, 1 otherwise.
int RunScenarioCommand(const std::string& folder, int frames, float step);

} // namespace Zelk
