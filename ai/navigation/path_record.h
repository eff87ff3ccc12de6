// A path as the A* search and the A* data write it: entry i holds the i-th
// node from the start and the arc that leaves it toward entry i + 1; the
// goal's entry (the last unless the path was truncated) has arc index -1.
#pragma once

#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CPathObject;
class CSpatialGraph;

class CPathRecord
{
  public:
    CPathRecord() = default;
    virtual ~CPathRecord() = default;

    // Room for n entries (n >= 0); the count becomes 0.
    void SetCapacity(int32_t n);
    // The first entry whose position equals the point exactly; -1 when none.
    int32_t FindExactPoint(const CVec3& point) const;

    CSpatialGraph* graph = nullptr;        // not owned
    std::vector<uint32_t> nodeIndices;     // capacity entries
    std::vector<uint32_t> arcIndices;      // entry i: arc to entry i + 1 (-1 on the goal)
    std::vector<CVec3> positions;          // node positions
    std::vector<CPathObject*> pathObjects; // the arc's linked path object or null
    float remainingLength = 0.0f;          // length beyond the last entry when truncated
    int32_t capacity = 0;                  // entries allocated
    int32_t count = 0;                     // entries in use
    uint8_t truncated = 0;
};

} // namespace Zelk
