// The "--scenario <folder> --out <folder>" mode of ai-run: the standard agents' scenarios.
#pragma once

#include "tools/ai-run/agent_scenario.h"

#include <string>

namespace Zelk {

/// ai-run --scenario <scenario folder> --out <folder> [--data <folder>] [--seconds S] [--step S]
/// [--seed N]: runs the scenario, prints per second what each entity does and writes
/// trajectory.csv and trajectory.svg into the output folder. The data folder (default, when
/// options.dataDir is empty: the build's data/agents/<scenario name>) holds what navtool made
/// from the scenario's sources. 0 on success, 1 on a scenario that cannot start.
int RunAgentScenarioCommand(CAgentScenarioOptions options, const std::string& out);

} // namespace Zelk
