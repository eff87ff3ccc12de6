#include "fuzz/physics_refpair/refpairengine.h"

#include "graphics/core/engine.h"
#include "graphics/core/tests/devicedouble.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/scenelibrary.h"
#include "physics/refpair/refpair.h"

bool RefPairEngineStart()
{
    DeviceDoubleReset();
    EngineSetDeviceDriver(DeviceDoubleDriver());
    static int window;
    static EngineOpenParams params = {&window};
    return EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && CollisionPluginAttach() &&
           OlpRefPairRegister() == 1 && OlpRefPairRegisterGeometry() == 1 && EngineOpen(&params) &&
           EngineStart();
}
