// Fuzz target for the framework's "config.xml" reader: the input is written
// to a file of this process's own and read through the real dispatch with a
// recording game, error boxes going to a transcript (cfgcheck's runner).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/cfgcheck/configcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/olai-config-xml-" + std::to_string(getpid()) + ".xml";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    std::string transcript;
    ConfigCheck(path.c_str(), &transcript);
    std::remove(path.c_str());
    return 0;
}
