#include "ai/navigation/path_record.h"

namespace Zelk {

void CPathRecord::SetCapacity(int32_t n)
{
    capacity = n > 0 ? n : 0;
    count = 0;
    nodeIndices.assign(size_t(capacity), 0);
    arcIndices.assign(size_t(capacity), 0);
    positions.assign(size_t(capacity), CVec3(0.0f, 0.0f, 0.0f));
    pathObjects.assign(size_t(capacity), nullptr);
}

int32_t CPathRecord::FindExactPoint(const CVec3& point) const
{
    for (int32_t i = 0; i < count; ++i)
        if (positions[size_t(i)] == point)
            return i;
    return -1;
}

} // namespace Zelk
