// Reads arbitrary bytes as a path-way file and, when accepted, writes the path
// way again, reads that back and edits it.
#include "ai/navigation/path_way.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CPathWay way;
    if (!way.ReadFromMemory(data, size))
        return 0;
    std::vector<uint8_t> bytes;
    if (way.WriteToMemory(bytes)) {
        Zelk::CPathWay again;
        if (!again.ReadFromMemory(bytes.data(), bytes.size()) || again.GetPointCount() != way.GetPointCount())
            std::abort();
    }
    if (way.GetPointCount() > 0) {
        way.MovePoint(0, int32_t(way.GetPointCount()) - 1);
        way.FindPointNear(way.GetPoint(0)->position, 1.0f);
        way.RemovePoint(0);
    }
    return 0;
}
