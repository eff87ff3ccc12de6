// The input-script reader on arbitrary bytes: a refused script keeps no
// event; an accepted one is written and read back to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/win32/inputscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<InputScriptEvent> events;
    std::string error;
    if (!InputScriptParse(reinterpret_cast<const char*>(data), size, &events, &error)) {
        if (!events.empty() || error.rfind("line ", 0) != 0)
            std::abort();
        return 0;
    }
    const std::string written = InputScriptWrite(events);
    std::vector<InputScriptEvent> again;
    if (!InputScriptParse(written.data(), written.size(), &again, &error) || again.size() != events.size() ||
        InputScriptWrite(again) != written)
        std::abort();
    return 0;
}
