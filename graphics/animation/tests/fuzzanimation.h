#pragma once
// For the animation fuzz targets and their seed writer: starts the engine
// once on the device double with the spline and hierarchical-animation
// plug-ins (and so the keyframe toolkit with scheme type 1) attached.

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/spline.h"
#include "graphics/core/chunk.h"
#include "graphics/core/tests/fuzzengine.h"

/// True once the engine is started with the animation plug-ins.
inline bool FuzzAnimationEngineStart()
{
    static const bool started = [] {
        DeviceDoubleReset();
        EngineSetDeviceDriver(DeviceDoubleDriver());
        static int window;
        static EngineOpenParams params = {&window};
        return EngineInit(nullptr, 0, 0x400000) && SplinePluginAttach() && HierarchyPluginAttach() &&
               EngineOpen(&params) && EngineStart();
    }();
    return started;
}
