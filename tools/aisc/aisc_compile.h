// Compiling a text configuration into ".AIS" bytes: the text is parsed, the
// order in which the world will read its raw data is checked, and the tree is
// written with each "RawData" block from the caller's provider.
#pragma once
#include "ai/runtime/ais_writer.h"
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

struct CAiscResult
{
    std::vector<uint8_t> file;         // the ".AIS" bytes
    std::vector<std::string> warnings; // raw data out of reading order, what the format cannot keep
    int line = 0;                      // line of the text a parse error stands on (0: none)
    std::string error;                 // why the compilation failed
};

/// Compiles text (size bytes); false with result.error (and result.line for a malformed
/// line) when the text is refused or a raw-data block cannot be had. Warnings do not fail it.
bool AiscCompile(const char* text, std::size_t size, AisRawDataProvider provider, void* user,
                 CAiscResult& result);

} // namespace Zelk
