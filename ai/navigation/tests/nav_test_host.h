// Test support: starts the AI runtime on the test host and builds graphs
// from seeded random numbers.
#pragma once

#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/vec3.h"
#include "ai/testhost/support/test_world.h"
#include "ai/testhost/testhost.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace Zelk {
class CWorld;
}

namespace Zelk::NavTest {

// The test host of the running runtime (box world, clock, drawing recorder).
CTestHost& Host();
// Starts the runtime on a fresh test host (stops a running one first).
void StartRuntime();
using TestWorld::StopRuntime;
// Starts the runtime and creates a world from configuration text whose
// root element holds the world's keys; the world's "RawData" values are file
// names. Null (test failure recorded) when the world is refused.
CWorld* StartWorld(const std::string& configText);
// Configuration text of a world with one metre of the given world units and
// the given extra elements (services and their definitions).
std::string WorldText(float oneMeter, const std::string& extra = "");
// Destroys the world and stops the runtime.
inline void StopWorld()
{
    TestWorld::Stop();
}
using TestWorld::OutputPath;

// n random nodes in a cube of the given size and about arcsPerNode random
// out-arcs per node (seeded).
void MakeRandomGraph(CSpatialGraph& graph, int n, float size, int arcsPerNode, uint32_t seed);

} // namespace Zelk::NavTest
