// Shared set-up of the escort tests: a runtime over the test host, a world with
// OneMeter 1, and small graphs with hand-made access-ways lists.
#pragma once
#include "ai/navigation/access_ways_data.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/testhost/support/test_world.h"
#include "ai/testhost/testhost.h"
#include <memory>
#include <string>
#include <vector>

namespace Zelk {
class CWorld;
}

namespace Zelk::EscortTest {

CTestHost& Host();
/// A started runtime and a world from configText (WorldText when empty).
CWorld* StartWorld(const std::string& configText = "");
std::string WorldText(const std::string& extra = "");
inline void StopWorld()
{
    TestWorld::Stop();
}

/// A star graph: node 0 at the centre, then one node per access-way position and one
/// arc centre -> position each; node 0's access ways are those arcs.
struct CStar
{
    std::unique_ptr<CSpatialGraph> graph;
    std::unique_ptr<CAccessWaysData> data;
};
CStar MakeStar(const CVec3& centre, const std::vector<CVec3>& ways);
/// Access-way positions on a circle of radius r around centre at the headings given (degrees).
std::vector<CVec3> WaysAtHeadings(const CVec3& centre, float r, const std::vector<float>& headings);

using TestWorld::OutputPath;

} // namespace Zelk::EscortTest
