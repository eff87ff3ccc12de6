// shell-smoke: a program built on the application shell whose handler prints
// every event it receives with its parameter, one line each. Each frame (event
// 18) counts as a presented frame, so OLAI_INPUT_SCRIPT and OLAI_FRAME_MS run
// it unattended; Escape (or the script's Escape) ends it.
#include <cinttypes>
#include <cstdio>

#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellinput.h"
#include "graphics/shared/skel/win/shellstate.h"
#include "platform/win32/timing.h"
#include "tools/cli/tool_shell.h"

namespace {

void Print(ShellEvent event, void* param)
{
    std::printf("%2u %-20s", unsigned(event), ShellEventName(event));
    switch (event) {
    case ShellEventResize:
        if (param) {
            const auto* r = static_cast<const ShellRect*>(param);
            std::printf(" %d %d %d %d", r->x, r->y, r->width, r->height);
        }
        break;
    case ShellEventArgument:
    case ShellEventLoadFile:
    case ShellEventEarlyArgument:
        std::printf(" \"%s\"", param ? static_cast<const char*>(param) : "");
        break;
    case ShellEventKeyDown:
    case ShellEventKeyUp:
        if (param) {
            const auto* k = static_cast<const ShellKeyRecord*>(param);
            std::printf(" scan 0x%02X key 0x%02X", unsigned(k->scan), unsigned(k->key));
        }
        break;
    case ShellEventMouseMove:
    case ShellEventLeftButtonDown:
    case ShellEventRightButtonDown:
        if (param) {
            const auto* m = static_cast<const ShellMouseRecord*>(param);
            if (event == ShellEventMouseMove)
                std::printf(" %.0f %.0f move %.0f %.0f", double(m->x), double(m->y), double(m->dx),
                            double(m->dy));
            else
                std::printf(" %.0f %.0f shift %d control %d", double(m->x), double(m->y), m->shift,
                            m->control);
        }
        break;
    case ShellEventMouseWheel:
        if (param)
            std::printf(" forward %d", *static_cast<const int32_t*>(param));
        break;
    case ShellEventActivate:
        std::printf(" %" PRIdPTR, reinterpret_cast<intptr_t>(param));
        break;
    case ShellEventIdle:
        std::printf(" frame %" PRIu64 " at %u ms", Win32FrameCount() + 1, timeGetTime());
        break;
    default:
        if (param)
            std::printf(" %p", param);
        break;
    }
    std::printf("\n");
    std::fflush(stdout);
}

ShellEventResult InputHandler(ShellEvent event, void* param)
{
    Print(event, param);
    return ShellEventHandled;
}

} // namespace

ShellEventResult AppEventHandler(ShellEvent event, void* param)
{
    // The memory table's functions differ from run to run: print no pointer.
    Print(event, event == ShellEventMemoryFunctions || event == ShellEventStartEngine ? nullptr : param);
    switch (event) {
    case ShellEventInitialise:
        if (!ShellInitialize())
            return ShellEventFailed;
        ShellGetSettings()->width = 320;
        ShellGetSettings()->height = 240;
        ShellGetSettings()->applicationName = "shell-smoke";
        return ShellEventHandled;
    case ShellEventStartEngine:
        // No engine here: only the events are shown.
        ShellAttachInputDevice(ShellDeviceKeyboard, InputHandler);
        ShellAttachInputDevice(ShellDeviceMouse, InputHandler);
        return ShellEventHandled;
    case ShellEventStopEngine:
        return ShellEventHandled;
    case ShellEventIdle:
        Win32FramePresented(); // no device presents here: count the frame ourselves
        return ShellEventHandled;
    default:
        return ShellEventNotHandled;
    }
}

int main(int argc, char** argv)
{
    ToolCli::App app(
        "Prints every shell event with its parameter; the arguments come back as argument events.",
        "shell-smoke");
    std::vector<std::string> arguments;
    app.add_option("arguments", arguments, "any words, passed to the shell as arguments");
    return ToolCli::ShellMain(app, argc, argv);
}
