// The "--scenario <folder> --out <folder>" mode of ai-run: the standard agents' scenarios.
#pragma once

namespace Zelk {

/// ai-run --scenario <scenario folder> --out <folder> [--data <folder>] [--seconds S] [--step S]
/// [--seed N]: runs the scenario, prints per second what each entity does and writes
/// trajectory.csv and trajectory.svg into the output folder. The data folder (default: the
/// build's data/agents/<scenario name>) holds what navtool made from the scenario's sources.
/// 0 on success, 1 on bad arguments or a scenario that cannot start.
int RunAgentScenarioCommand(int argc, char** argv);

} // namespace Zelk
