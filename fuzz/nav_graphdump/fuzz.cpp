// Reads arbitrary bytes as the text and as the raw dump of a graph.
#include "ai/navigation/spatial_graph.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CSpatialGraph graph;
    (void)graph.ReadTextFromMemory(reinterpret_cast<const char*>(data), size);
    (void)graph.ReadRawFromMemory(data, size);
    return 0;
}
