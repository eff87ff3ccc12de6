#include "fuzz/skin/skinengine.h"

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skin.h"
#include "graphics/core/engine.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/scene/scenelibrary.h"

bool SkinEngineStart()
{
    static const bool started = [] {
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
        static int window;
        static EngineOpenParams params = {&window};
        return EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && HierarchyPluginAttach() &&
               SkinPluginAttach() && EngineOpen(&params) && EngineStart();
    }();
    return started;
}
