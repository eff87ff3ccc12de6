// The "--scenario" mode of ai-run.
#pragma once

namespace Zelk {

/// ai-run --scenario <output folder> [--frames N] [--step SECONDS]: runs the path-finding
/// scenario, writes trajectory.csv and trajectory.svg and prints the arrival frame.
/// 0 when the walker arrived, 1 otherwise or on bad arguments. With "--out" the
/// arguments are those of RunAgentScenarioCommand instead.
int RunScenarioCommand(int argc, char** argv);

} // namespace Zelk
