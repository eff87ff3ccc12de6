// navtool's inputs and outputs: whole files, the graph description, the box
// world and the grid laid over it.
#pragma once

#include "ai/runtime/host.h"
#include "ai/runtime/vec3.h"

#include <cstdint>
#include <vector>

namespace Zelk {

class CPathWay;
class CSpatialGraph;
class CTestHost;

struct CBoxWorld
{
    float minX = 0.0f, minZ = 0.0f, maxX = 0.0f, maxZ = 0.0f, floorY = 0.0f;
    float oneMeter = 1.0f;
    std::vector<CVec3> boxMin;
    std::vector<CVec3> boxMax;
};

// Reads "node", "arc" and "radius" lines into the graph; false (message
// printed) on a malformed line or an arc end that names no node.
bool ReadGraphDescription(const char* path, CSpatialGraph& graph);
// Reads "area", "box" and "onemeter" lines; false on a malformed line.
bool ReadBoxWorld(const char* path, CBoxWorld& world);
// Starts the AI runtime on the test host with the world's boxes.
void StartRuntime(CTestHost& host, const CBoxWorld& world);
// Nodes on the grid points of the area that lie in no box; arcs both ways
// between 8-neighbours that a body can walk between (host can-go test).
void LayGrid(const CBoxWorld& world, float spacing, CSpatialGraph& graph);
// Reads a path-way description: "name <text>", "loop", and one line per point
// "point <x> <y> <z> [<mode> [<command>]]" (mode walk, run, jump or crouch,
// default run; the command is the rest of the line, at most 63 characters).
// False (message printed) on a malformed line or an empty path way.
bool ReadPathWayDescription(const char* path, CPathWay& way);
// Reads a neural-net description: "layers <n> <n> ...", "linear 0|1" and
// "weights <w> ..." lines (weights append in order). False (message printed)
// on a malformed line, fewer than two layers or a weight count other than the
// layers need.
struct CNeuralNetDescription
{
    std::vector<int32_t> layers;
    bool linear = false;
    std::vector<float> weights;
};
bool ReadNeuralNetDescription(const char* path, CNeuralNetDescription& net);
// Writes a seed corpus for every navigation fuzz target under the folder.
bool WriteFuzzCorpora(const char* fuzzFolder);

} // namespace Zelk
