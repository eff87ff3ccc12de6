// Reads arbitrary bytes as point-mapping data and, when accepted, maps every
// point of every container to every other container.
#include "ai/navigation/point_mapper.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CPointMapper mapper;
    if (mapper.ReadFromMemory(data, size))
        for (uint16_t from = 0; from < mapper.GetContainerCount(); ++from)
            for (uint16_t to = 0; to < mapper.GetContainerCount() && mapper.GetPointCount(from) > 0; ++to)
                for (uint16_t p = 0; p < mapper.GetPointCount(from); ++p) {
                    uint16_t out = 0;
                    (void)mapper.MapPoint(from, p, to, out);
                }
    return 0;
}
