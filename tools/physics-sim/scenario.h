#pragma once
// physics-sim run <scenario>: a named scene stepped through a whole context.

#include <string>

#include "physics/core/pipeline/scenes/scenes.h"

/// Prints per body the final pose, sleep flag and step it fell asleep, the
/// deepest overlap, the iteration maxima and the state hash; writes the
/// height trace as SVG and CSV when the paths are not empty. 0 on success.
int RunScenarioCommand(const std::string& name, const ScenarioOptions& options, const std::string& svgPath,
                       const std::string& csvPath);
/// Prints and writes a scenario's report as RunScenarioCommand does.
int ReportScenario(const std::string& name, const ScenarioReport& report, const std::string& svgPath,
                   const std::string& csvPath);
