#pragma once
// The engine instance: what every engine module reaches, whatever the
// lifecycle does.
//
// The engine is one global object, the EngineInstance: fixed slots (current
// camera and world, the device block and entry points, the dirty-frame list,
// string and memory functions, state) followed by the private data of every
// engine module. Before EngineOpen and after EngineClose the current instance
// is a static block holding only the fixed slots; between them it is a block
// allocated at the engine registry's object size, and a module reaches its
// data as EngineGetModuleData(offset), with the offset that EngineAttachPlugin
// returned when the module registered.
//
// The lifecycle (engine.h) switches the current block; modules include this
// header alone.

#include <cstdint>

#include "graphics/core/device.h"
#include "graphics/core/linklist.h"
#include "graphics/core/memory.h"
#include "graphics/core/plugin.h"
#include "graphics/core/stringfunctions.h"

struct Camera;

enum EngineState : uint32_t
{
    kEngineStateNone = 0,
    kEngineStateInitialised = 1,
    kEngineStateOpened = 2,
    kEngineStateStarted = 3,
};

/// The library version that EngineGetVersion answers and every chunk stamps.
constexpr uint32_t kEngineVersion = 0x37002;
/// The build number every chunk writer stamps.
constexpr uint32_t kEngineBuild = 0x16;

/// The fixed slots of the engine instance. Module data follows them.
struct EngineInstance
{
    Camera* currentCamera; ///< set by camera begin-update, cleared at end-update
    void* currentWorld;    ///< set by the scene objects
    void* reservedZero[2];
    DeviceBlock device; ///< copied in at EngineOpen
    /// Device entry points by DeviceFunctionIndex; entries 0 and 22 unused.
    DeviceFunction deviceFunctions[kDeviceFunctionCount];
    LinkList dirtyFrames; ///< roots of dirty frame hierarchies (frames module)
    StringFunctions stringFunctions;
    MemoryFunctions memoryFunctions;
    void* reserved;     ///< readable with EngineGetReserved; the engine never sets it
    uint32_t state;     ///< EngineState
    uint32_t arenaSize; ///< resources arena bytes (EngineInit's third argument)
    /// Advanced by the scene objects at every camera begin-update (set to 1
    /// when their world module opens); renderers stamp objects with it.
    uint16_t renderFrame;
    /// Advanced by the lighting code before each walk of local lights; new
    /// lights take their stamp from it.
    uint16_t lightFrame;
};

/// A module's open and close functions: (instance, data offset, data size) ->
/// the instance, or null when the module cannot open.
using EngineModuleFunc = void* (*)(void* instance, int32_t offset, int32_t size);

/// Registers an engine module with `size` bytes of data in the instance;
/// returns its data offset, or -1 (kErrorPluginRefused while open, or for a
/// duplicate id asking more than it first got). Only before the first EngineOpen.
int32_t EngineAttachPlugin(int32_t size, uint32_t pluginId, EngineModuleFunc open, EngineModuleFunc close);
/// The module's data offset, or -1 when the id is not registered.
int32_t EngineGetPluginOffset(uint32_t pluginId);
/// Successful EngineOpen calls not yet closed.
int32_t EngineGetOpenCount();
/// kEngineVersion.
uint32_t EngineGetVersion();
/// The engine registry (engine modules are plug-ins of the instance).
PluginRegistry* EngineGetRegistry();

/// The current instance block (never null).
EngineInstance* EngineGetInstance();
/// The current instance's data of the module at `offset`; valid while started.
void* EngineGetModuleData(int32_t offset);
/// The current instance's lifecycle state.
EngineState EngineGetState();
/// The current instance's reserved slot (never set by the engine).
void* EngineGetReserved();

// For the lifecycle (engine.cpp) only.
/// The static block, current whenever no block is allocated.
EngineInstance* EngineGetStaticInstance();
/// Makes `instance` the current block (the static block or an allocated one).
void EngineSetInstance(EngineInstance* instance);
/// Adds `delta` (+1 at open, -1 at close) to the open count.
void EngineCountOpen(int32_t delta);
