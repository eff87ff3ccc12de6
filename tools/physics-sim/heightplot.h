#pragma once
// physics-sim run --svg: the bodies' heights over time as an SVG line plot
// with a time axis in seconds, a height axis in metres, the ground line and a
// legend naming each body.

#include <string>
#include <vector>

#include "physics/core/pipeline/scenes/scenes.h"

/// Steps per second of the scenarios' fixed step.
inline constexpr double kPlotStepsPerSecond = 60.0;

/// Tick values for an axis over [low, high]: multiples of a step of 1, 2 or 5
/// times a power of ten, about `wanted` of them, all inside the range
/// (empty when the range is empty or not finite).
std::vector<double> PlotTicks(double low, double high, int wanted);

/// The plot of `report` titled `name` as SVG text.
std::string HeightPlotSvg(const ScenarioReport& report, const std::string& name);

/// Writes HeightPlotSvg to `path`; false when the file cannot be written.
bool WriteHeightPlot(const ScenarioReport& report, const std::string& name, const std::string& path);
