// The standard agents' scenarios of ai-run: a box-world level and an AI
// configuration in a folder (data/agents/<name>/), run headless on the test host.
//
// Folder: "level.boxes" (a navtool box world: the walls) and "ai.txt" (the AI
// configuration). Its "RawData" values name files of the data folder, which
// navtool writes from the scenario's sources ("navtool grid level.boxes
// grid.graph 1", "navtool pathway ...", "navtool neuralnet ..."). The root's
// "Seconds" gives the simulated time (default 30) and each "Spawn" child one
// entity: <Spawn "Name"><Entity>Definition</Entity> ...</Spawn>, where every
// further child goes to the entity's configuration (StartX, StartZ, ...) except
// the host's own keys:
//   <Destination>x y z</Destination>   a go-to agent's destination (metres)
//   <Danger>Name</Danger>              an entity the hide or flee agent hides from or flees
//   <DangerPoint>x y z</DangerPoint>   a point the flee agent flees (metres)
// Entities are created in Spawn order, so a name is known to later ones.
#pragma once
#include "ai/runtime/vec3.h"
#include "ai/testhost/testhost.h"
#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

struct CAgentScenarioOptions
{
    std::string scenarioDir;   // level.boxes and ai.txt
    std::string dataDir;       // the files that "RawData" values name
    float step = 1.0f / 30.0f; // seconds per frame
    float seconds = -1.0f;     // simulated time; negative: the configuration's "Seconds"
    uint32_t seed = 1;         // the project's random generator
};

/// One entity on one frame.
struct CAgentSample
{
    CVec3 position;
    float heading = 0.0f;
    float speed = 0.0f;
    CVec3 goal;         // where its agent walks to (its own position without agent)
    int32_t state = -1; // per agent: target node, step, arrived, firing, seen or in-sight flag,
                        // or 10 x side + band
    bool fire = false;  // a shot decided this frame
    CVec3 aim;          // the shot's direction
};

struct CAgentScenarioResult
{
    std::vector<CTestBox> walls;
    std::vector<std::pair<CVec3, CVec3>> arcs;     // the graphs' arcs, each direction once
    std::vector<std::pair<CVec3, CVec3>> sights;   // from each danger to what it watches, at the end
    std::vector<CVec3> dangerPoints;               // the flee agents' danger points
    std::vector<std::string> names;                // entities in spawn order
    std::vector<std::string> agents;               // their first agent's class ("" without)
    std::vector<uint32_t> flags;                   // their host flags
    std::vector<std::vector<CAgentSample>> frames; // per frame, per entity
    float step = 1.0f / 30.0f;
    std::string report; // per second: what each entity does
};

/// Runs the scenario on the host (made active; the runtime is started and ended inside).
/// False with a message when a file is missing or refused or an entity cannot be made.
bool RunAgentScenario(CTestHost& host, const CAgentScenarioOptions& options, CAgentScenarioResult* result,
                      std::string& error);
/// "frame,time,entity,x,z,heading,speed,goal_x,goal_z,state,fire,aim_x,aim_z,flags" lines after that header.
std::string AgentScenarioCsv(const CAgentScenarioResult& result);
/// The level, graph, trails, goals and shots seen from above.
std::string AgentScenarioSvg(const CAgentScenarioResult& result);

} // namespace Zelk
