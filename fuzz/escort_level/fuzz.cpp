// The escort scenario's level reader on arbitrary text.
#include "tools/escort-run/escort_level.h"
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Zelk::CEscortLevel level;
    std::string error;
    Zelk::EscortLevelParse(reinterpret_cast<const char*>(data), size, level, error);
    return 0;
}
