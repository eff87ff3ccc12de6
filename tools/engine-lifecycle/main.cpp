// Takes the graphics engine through init, plug-in attachment, open, start,
// stop, close and term on the recording device double, printing every step
// with its result and the device requests it sent. Exits non-zero when a
// step fails.

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/tests/devicedouble.h"
#include "tools/cli/tool_cli.h"

namespace {

struct CounterModule
{
    int32_t opens;
};

int32_t gCounterOffset = -1;

void* CounterOpen(void* instance, int32_t offset, int32_t)
{
    static_cast<CounterModule*>(EngineGetModuleData(offset))->opens = 1;
    return instance;
}

void* CounterClose(void* instance, int32_t, int32_t)
{
    return instance;
}

const char* RequestName(int32_t request)
{
    switch (request) {
    case kDeviceRequestOpen:
        return "open";
    case kDeviceRequestClose:
        return "close";
    case kDeviceRequestStart:
        return "start";
    case kDeviceRequestStop:
        return "stop";
    case kDeviceRequestRegister:
        return "register";
    case kDeviceRequestEntryPoints:
        return "entry points";
    case kDeviceRequestAfterStart:
        return "after start";
    case kDeviceRequestBeforeStop:
        return "before stop";
    case kDeviceRequestNumSubSystems:
        return "number of subsystems";
    case kDeviceRequestSubSystemInfo:
        return "subsystem info";
    case kDeviceRequestNumVideoModes:
        return "number of video modes";
    case kDeviceRequestVideoModeInfo:
        return "video mode info";
    default:
        return "other";
    }
}

// Prints a step's result and the device requests it sent; false on failure.
bool Report(const char* step, bool ok)
{
    std::printf("%-28s %s", step, ok ? "ok" : "FAILED");
    std::vector<int32_t>& requests = DeviceDoubleGet().requests;
    if (!requests.empty()) {
        std::printf("   device requests:");
        for (int32_t request : requests) {
            std::printf(" %d (%s)", request, RequestName(request));
        }
    }
    std::printf("\n");
    requests.clear();
    return ok;
}

bool Run()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    std::printf("engine version 0x%X\n", EngineGetVersion());
    if (!Report("EngineInit", EngineInit(nullptr, 0, 0x400000))) {
        return false;
    }
    gCounterOffset = EngineAttachPlugin(sizeof(CounterModule), 0xFF01, CounterOpen, CounterClose);
    std::printf("%-28s offset %d\n", "EngineAttachPlugin 0xFF01", gCounterOffset);
    int32_t second = EngineAttachPlugin(0, 0xFF02, nullptr, nullptr);
    std::printf("%-28s offset %d\n", "EngineAttachPlugin 0xFF02", second);
    if (gCounterOffset < 0 || second < 0) {
        EngineTerm();
        return false;
    }
    int window = 0;
    EngineOpenParams params = {&window};
    if (!Report("EngineOpen", EngineOpen(&params))) {
        EngineTerm();
        return false;
    }
    SubSystemInfo info;
    std::printf("%-28s %d, first \"%s\"\n", "subsystems", EngineGetNumSubSystems(),
                EngineGetSubSystemInfo(&info, 0) ? info.name : "?");
    std::printf("%-28s %d\n", "video modes", EngineGetNumVideoModes());
    DeviceDoubleGet().requests.clear();
    if (!Report("EngineStart", EngineStart())) {
        EngineClose();
        EngineTerm();
        return false;
    }
    bool moduleOpened = static_cast<CounterModule*>(EngineGetModuleData(gCounterOffset))->opens == 1;
    std::printf("%-28s %s\n", "plug-in module data", moduleOpened ? "opened" : "NOT opened");
    ErrorRecord error;
    ErrorGet(&error);
    std::printf("%-28s {%u, 0x%X}\n", "pending error", error.pluginId, error.code);
    bool ok = moduleOpened;
    ok = Report("EngineStop", EngineStop()) && ok;
    ok = Report("EngineClose", EngineClose()) && ok;
    ok = Report("EngineTerm", EngineTerm()) && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    ToolCli::App app(
        "Takes the engine through its whole lifecycle (init, open, start, stop, close, term) on the "
        "recording device double, printing every step with its result and the device requests it sent.",
        "engine-lifecycle");
    int status = 0;
    if (!ToolCli::Parse(app, argc, argv, &status))
        return status;
    bool ok = Run();
    std::printf("engine lifecycle %s\n", ok ? "completed" : "FAILED");
    return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
