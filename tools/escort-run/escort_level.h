// A box-world level for the escort scenario, read from a small text file:
//   # comment
//   size  minX minZ maxX maxZ      the walkable area (metres)
//   box   minX minZ maxX maxZ      a wall from the floor to 3 m
//   route x z                      the VIP's next waypoint (the first is its start)
//   escort x z                     one escort's start
// Numbers in the "C" locale; at most 256 boxes, 64 waypoints and 32 escorts.
#pragma once
#include "ai/runtime/vec3.h"
#include <string>
#include <vector>

namespace Zelk {

struct CEscortLevel
{
    float minX = 0.0f, minZ = 0.0f, maxX = 0.0f, maxZ = 0.0f;
    std::vector<CVec3> boxMin, boxMax;
    std::vector<CVec3> route;
    std::vector<CVec3> escorts;
};

/// Parses the level text; false with a message naming the line on any malformed
/// line, unknown word, count over its limit, empty area or missing route.
bool EscortLevelParse(const char* text, size_t size, CEscortLevel& level, std::string& error);
/// Reads and parses a level file.
bool EscortLevelLoad(const char* fileName, CEscortLevel& level, std::string& error);

} // namespace Zelk
