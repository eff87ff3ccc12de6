// The engine start-up and shut-down every data tool shares.
#include "tools/cli/tool_engine.h"

#include <cstdio>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/core/tests/enginetesting.h"
#include "graphics/core/win32filesystem.h"

bool ToolEngineStart(bool (*attach)())
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    return EngineInit(nullptr, 0, 0x400000) && (attach == nullptr || attach()) && EngineOpen(&params) &&
           EngineStart() && ToolFilesOpen();
}

bool ToolFilesOpen()
{
    if (!FileSystemManagerOpen(0)) {
        return false;
    }
    FileSystem* files = Win32FileSystemCreate(8, "", "files");
    if (files == nullptr || !FileSystemManagerRegister(files)) {
        return false;
    }
    FileSystemManagerSetDefault(files);
    return true;
}

void ToolEngineStop()
{
    FileSystemManagerClose();
    ToolEngineShutdown();
}

// The engine tests' shutdown serves any driver: the device double's refusals
// it clears are unused elsewhere.
void ToolEngineShutdown()
{
    EngineTestShutdown();
}

int ToolEngineFail(const char* tool, const std::string& what)
{
    ErrorRecord error;
    ErrorGet(&error);
    std::fprintf(stderr, "%s: %s (error %u:0x%x)\n", tool, what.c_str(), error.pluginId, error.code);
    return 1;
}
