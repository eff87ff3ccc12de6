// Fuzz target for the ".AIS" reader: the tree through the engine's stream, then
// every raw-data block in file order, and a re-open of a passed block.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/ais_writer.h"
#include "ai/runtime/config_node.h"
#include "graphics/core/stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace Zelk;
    StreamMemory memory{const_cast<uint8_t*>(data), size};
    Stream stream{};
    if (!StreamInit(&stream, false, kStreamMemory, kStreamRead, &memory)) {
        return 0;
    }
    {
        CAisReader reader;
        CConfigNode root;
        reader.Load(&stream, &root); // a failed load keeps a partial tree: read what it has
        std::vector<const CConfigNode*> raw;
        CollectRawDataNodes(root, &raw);
        uint8_t buffer[512];
        for (const CConfigNode* node : raw) {
            auto* n = const_cast<CConfigNode*>(node);
            if (reader.OpenRawData(n)) {
                reader.ReadRawData(n, buffer, sizeof buffer);
                reader.CloseRawData(n);
            }
        }
        if (!raw.empty()) {
            reader.OpenRawData(const_cast<CConfigNode*>(raw.front()));
        }
    }
    StreamClose(&stream, nullptr);
    return 0;
}
