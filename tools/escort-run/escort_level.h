// A box-world level for the escort scenario, read from a small text file:
//   # comment
//   size  minX minZ maxX maxZ      the walkable area (metres)
//   box   minX minZ maxX maxZ      a wall from the floor to 3 m
//   route x z                      the VIP's next waypoint (the first is its start)
//   escort x z                     one escort's start
// Numbers in the "C" locale; at most 256 boxes, 64 waypoints and 32 escorts.
// A level must make sense before it runs: one size line; the VIP's and every
// escort's start on free floor (inside the area, clear of every box by a body's
// half-width); no two escorts starting on one spot; every stretch of the route
// inside the area and clear of the boxes, so that the VIP can walk it.
#pragma once
#include "ai/runtime/vec3.h"
#include <string>
#include <vector>

namespace Zelk {

/// Half the width of a body (VIP or escort) that a start or the route must keep from walls (metres).
inline constexpr float kEscortBodyRadius = 0.3f;

struct CEscortLevel
{
    float minX = 0.0f, minZ = 0.0f, maxX = 0.0f, maxZ = 0.0f;
    std::vector<CVec3> boxMin, boxMax;
    std::vector<CVec3> route;
    std::vector<CVec3> escorts;
    // The text line of each item, for messages (0 for items made in code).
    std::vector<int> boxLine, routeLine, escortLine;
};

/// Parses the level text; false with a message naming the line on any malformed
/// line, unknown word, count over its limit, empty area, missing route, or a level
/// that EscortLevelValidate refuses.
bool EscortLevelParse(const char* text, size_t size, CEscortLevel& level, std::string& error);
/// Checks that the level can run (see above); false with a message naming the line.
bool EscortLevelValidate(const CEscortLevel& level, std::string& error);
/// True when a body of the given radius stands at p inside the area and clear of every box.
bool EscortLevelIsFree(const CEscortLevel& level, const CVec3& p, float radius);
/// Reads and parses a level file.
bool EscortLevelLoad(const char* fileName, CEscortLevel& level, std::string& error);

} // namespace Zelk
