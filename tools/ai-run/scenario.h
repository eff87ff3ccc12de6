// The path-finding scenario of ai-run: one walker crosses a box world with
// walls from one corner to the other along a walkable grid graph, driven by
// its path finder; the run records where it was on every frame.
#pragma once

#include "ai/runtime/fixed_list.h"
#include "ai/runtime/vec3.h"
#include "ai/testhost/testhost.h"

#include <string>
#include <vector>

namespace Zelk {

struct ScenarioResult
{
    std::vector<CTestBox> walls;
    std::vector<CVec3Pair> arcs;   // the graph's arcs (each direction once)
    std::vector<CVec3> trajectory; // the walker's position at the start of every frame
    CVec3 start;
    CVec3 goal;
    float endHeading = 0.0f; // the walker's heading (degrees) after the last frame
    int arrivedFrame = -1;   // first frame (from 1) on which the walker had arrived; -1 when never
};

/// A hash of the run: every trajectory point, the final heading and the arrival frame.
uint64_t HashScenarioResult(const ScenarioResult& result);

/// Runs the scenario on the given host (which it fills and makes active) for at most
/// frames frames of step seconds; false when the runtime or the world could not start.
/// The runtime is started and terminated inside.
bool RunPathScenario(CTestHost& host, int frames, float step, ScenarioResult* result);

/// Writes "frame,x,y,z" lines (after a header line); false when the file cannot be written.
bool WriteScenarioCsv(const ScenarioResult& result, const std::string& path);
/// Writes a picture of the walls, the graph and the trajectory seen from above.
bool WriteScenarioSvg(const ScenarioResult& result, const std::string& path);

} // namespace Zelk
