// Fuzz target for the text configuration reader: arbitrary text is parsed, and
// whatever tree it gives is written back as text.
#include "ai/runtime/ais_writer.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/text_config.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CConfigNode root;
    Zelk::CConfigError error;
    if (Zelk::ParseConfigText(reinterpret_cast<const char*>(data), size, &root, &error)) {
        std::string text;
        std::string why;
        Zelk::WriteConfigText(root, &text, &why);
    }
    return 0;
}
