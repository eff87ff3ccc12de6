// SplitCommandLine on arbitrary text: every argument starts and ends inside
// the block, after the vector, and the count matches the vector.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/shared/skel/win/splitcommandline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size); // stops at the first NUL, as a C text
    int32_t count = 0;
    char** argv = SplitCommandLine(text.c_str(), &count);
    if (!argv)
        return 0;
    const size_t length = std::strlen(text.c_str());
    const char* first = reinterpret_cast<const char*>(argv + count + 1);
    const char* end = first + length + 1;
    if (argv[count] != nullptr)
        std::abort();
    for (int32_t i = 0; i < count; ++i) {
        if (argv[i] < first || argv[i] >= end || argv[i] + std::strlen(argv[i]) >= end)
            std::abort();
    }
    std::free(argv);
    return 0;
}
