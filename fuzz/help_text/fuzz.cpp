// HelpLoad on arbitrary bytes as "./readme.txt": every line is at most 77
// characters of 0x20 to 0x7F.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/shell_scratch.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellevent.h"

// Programs on the shell supply the application's handler; this one answers nothing.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ScratchFileWrite("readme.txt", data, size);
    if (HelpLoad() != 1)
        std::abort();
    for (int32_t i = 0; i < HelpLineCount(); ++i) {
        const char* line = HelpLine(i);
        const size_t n = std::strlen(line);
        if (n > 77)
            std::abort();
        for (size_t k = 0; k < n; ++k)
            if (static_cast<unsigned char>(line[k]) < 0x20 || static_cast<unsigned char>(line[k]) > 0x7F)
                std::abort();
    }
    HelpClear();
    return 0;
}
