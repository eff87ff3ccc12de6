#pragma once
// Private to the engine core: calling one of the device entry points that
// the device copied into the engine instance at EngineOpen.

#include <cstdint>

#include "graphics/core/engine.h"

/// The entry point's result (non-zero for success, negative included); a
/// missing entry point fails.
inline int32_t DeviceCall(DeviceFunctionIndex index, void* out, void* inOut, int32_t number)
{
    const DeviceFunction function = EngineGetInstance()->deviceFunctions[index];
    return function ? function(out, inOut, number) : 0;
}
