// Fuzz target for the framework's "config.xml" reader: the input is written
// to a file of this process's own and read through the real dispatch with a
// recording game, error boxes going to a transcript (cfgcheck's runner).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/input_file.h"
#include "tools/cfgcheck/configcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = InputFileWrite("config-xml", ".xml", data, size);
    if (path.empty())
        return 0;
    std::string transcript;
    ConfigCheck(path.c_str(), &transcript);
    std::remove(path.c_str());
    return 0;
}
