// Shared set-up of the standard agents' tests: the test host, a world with
// OneMeter 1 whose time manager lists every standard agent's task, a graph
// manager, point mapper, path-way and neural-net managers, and entities made
// from definitions of the world's configuration.
#pragma once
#include "ai/runtime/vec3.h"
#include "ai/testhost/support/test_world.h"
#include "ai/testhost/testhost.h"
#include <string>

namespace Zelk {
class CAgent;
class CBrain;
class CEntity;
class CSpatialGraph;
class CWorld;
} // namespace Zelk

namespace Zelk::AgentsTest {

constexpr float kStep = 1.0f / 30.0f;

CTestHost& Host();

/// A world configuration listing every agent task (refusedTask, when named, is never
/// admitted), plus extra: the services, agents, brains and entities.
std::string WorldText(const std::string& extra, const std::string& refusedTask = "");
/// Starts the runtime and the world; null (and a test failure) when refused.
CWorld* StartWorld(const std::string& text);
inline void StopWorld()
{
    TestWorld::Stop();
}

/// Adds graph to the world's graph manager under name (taking ownership); with
/// pointMapper the world's point mapper is rebuilt over that graph.
bool AddGraph(const char* name, CSpatialGraph* graph, bool pointMapper = false);
/// An entity of the world's definition at position and heading (degrees), added to the world.
CEntity* MakeEntity(const char* definition, const CVec3& at, float heading = 0.0f,
                    const char* name = nullptr);
/// The agent of the entity's brain (the first one).
CAgent* FirstAgent(const CEntity* entity);
/// n AI frames of kStep seconds.
void Frames(CWorld* world, int n);

/// A world configuration's services part: the graph manager "Graphs", a path finder
/// "Finder" on graphName, an entity manager "Perception", path ways "Ways", nets "Nets"
/// and the point mapper "Points".
std::string StandardServices(const char* graphName = "Grid");

} // namespace Zelk::AgentsTest
