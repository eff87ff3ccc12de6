// PresetViewsLoad on arbitrary "./views.txt" content: long lines, missing
// numbers, huge or non-numeric values, no line end. Every view loaded has a
// name inside one line's length, and the list frees cleanly.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/shell_scratch.h"
#include "graphics/shared/skel/win/presetviews.h"
#include "graphics/shared/skel/win/shellevent.h"

// Programs on the shell supply the application's handler; this one answers nothing.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ScratchFileWrite("views.txt", data, size);
    PresetViewsLoad();
    if (PresetViewCount() < 0 || PresetViewCurrent() != -1 || PresetViewCurrentName() != nullptr)
        std::abort();
    PresetViewsFree();
    return 0;
}
