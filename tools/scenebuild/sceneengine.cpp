// The engine for the scene tools, benchmarks and fuzz targets.
#include "tools/scenebuild/sceneengine.h"
#include "tools/cli/tool_engine.h"

#include "graphics/core/engine.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/scenelibrary.h"

bool SceneEngineStart(bool (*attach)())
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    return EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && CollisionPluginAttach() &&
           (attach == nullptr || attach()) && EngineOpen(&params) && EngineStart();
}

void SceneEngineStop()
{
    ToolEngineShutdown();
}
