// Fuzz target for aisc's text reader: the text is compiled as aisc compiles it,
// with a small fixed block for every "RawData" value, and a compiled file must
// read back through the ".AIS" reader with every block in place.
#include "ai/runtime/ais_reader.h"
#include "ai/runtime/ais_writer.h"
#include "ai/runtime/config_node.h"
#include "tools/aisc/aisc_compile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool FixedBlock(const Zelk::CConfigNode*, std::vector<uint8_t>* bytes, void*)
{
    *bytes = {1, 2, 3, 4, 5};
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CAiscResult result;
    if (!Zelk::AiscCompile(reinterpret_cast<const char*>(data), size, &FixedBlock, nullptr, result))
        return 0;
    Zelk::CMemoryAisInput input(result.file.data(), result.file.size());
    Zelk::CAisReader reader;
    Zelk::CConfigNode root;
    // What aisc writes, the reader takes back (within the handle pool): a refusal is a
    // fault of one of them.
    if (!reader.Load(&input, &root)) {
        if (std::strcmp(reader.GetLastError(), "more raw-data nodes than raw-data handles") != 0)
            std::abort();
        return 0;
    }
    std::vector<const Zelk::CConfigNode*> raw;
    Zelk::CollectRawDataNodes(root, &raw);
    for (const Zelk::CConfigNode* node : raw) {
        auto* open = const_cast<Zelk::CConfigNode*>(node);
        if (!reader.OpenRawData(open) || reader.GetRawDataSize(open) != 5)
            std::abort();
        reader.CloseRawData(open);
    }
    return 0;
}
