// The path-way agent's command reader on arbitrary 64-byte command fields: the
// field is read as two words whether or not it holds a terminator, and the
// first word never runs past the field.
#include "ai/behaviours/path_way_agent.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using Zelk::CPathWayAgent;
    char field[CPathWayAgent::kCommandSize] = {};
    std::memcpy(field, data, size < sizeof field ? size : sizeof field);
    char word[CPathWayAgent::kCommandSize + 1];
    float value = 0.0f;
    if (CPathWayAgent::ParseCommand(field, word, &value)) {
        const size_t length = std::strlen(word);
        if (length == 0 || length > CPathWayAgent::kCommandSize ||
            std::memchr(field, word[0], sizeof field) == nullptr)
            std::abort();
    }
    return 0;
}
