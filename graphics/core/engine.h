#pragma once
// The engine instance and its lifecycle.
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
// Lifecycle, driven from outside in this order:
//   EngineSetDeviceDriver, EngineInit, EngineAttachPlugin..., EngineOpen, EngineStart,
//   ... EngineStop, EngineClose, EngineTerm.
// States: 0 none, 1 initialised, 2 opened, 3 started. Module open functions
// run at EngineStart in registration order (core modules first) and close in
// reverse order at EngineStop; module data is valid only while started.
//
// Core modules register at EngineInit from the table in coremodules.cpp: a
// new core module adds its attach function there, in its place in the order.

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

/// EngineInit flag: free lists hand every entry to the allocator (no pools,
/// no preallocation).
constexpr uint32_t kEngineInitUnpooled = 1;

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

/// What EngineOpen hands the device, unread: the output window first.
struct EngineOpenParams
{
    void* displayId;
};

/// A module's open and close functions: (instance, data offset, data size) ->
/// the instance, or null when the module cannot open.
using EngineModuleFunc = void* (*)(void* instance, int32_t offset, int32_t size);

/// Chooses the device driver; call before EngineInit (EngineInit calls its
/// attach, EngineOpen its getDevice). Null: no driver (EngineOpen fails).
void EngineSetDeviceDriver(const DeviceDriver* driver);

/// State 0 -> 1: installs the memory functions (`table` or the C library's;
/// flags kEngineInitUnpooled), the string functions, opens the plug-in
/// registries, registers the core modules and attaches the device driver.
/// False (state unchanged, everything released) when not in state 0 or on failure.
bool EngineInit(const MemoryTable* table, uint32_t flags, uint32_t arenaSize);
/// State 1 -> 2: allocates the instance block at the engine registry's size
/// and opens the device with `params`. False outside state 1
/// (kErrorWrongState), with null params (kErrorNullArgument), without a
/// device, out of memory (kErrorOutOfMemory) or when the device refuses.
bool EngineOpen(const EngineOpenParams* params);
/// State 2 -> 3: starts the device and opens every module in registration
/// order. A failing module closes those opened before it in reverse order,
/// the device is stopped and the state stays 2. False outside state 2.
bool EngineStart();
/// State 3 -> 2: closes every module (last registered first) and stops the
/// device. A device failing to stop answers false but the state is still 2
/// (the modules are closed). False outside state 3.
bool EngineStop();
/// State 2 -> 1: closes the device and frees the instance block; the static
/// block is current again. False outside state 2 or when the device refuses.
bool EngineClose();
/// State 1 -> 0: releases every plug-in registration and every free list.
/// False while open or not initialised.
bool EngineTerm();

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
EngineState EngineGetState();
void* EngineGetReserved();

/// Device queries through the current device block; each fails as noted when
/// the device does not answer.
int32_t EngineGetNumSubSystems();                                          ///< 1 when unanswered
SubSystemInfo* EngineGetSubSystemInfo(SubSystemInfo* info, int32_t index); ///< null on failure
int32_t EngineGetCurrentSubSystem();                                       ///< -1 on failure
bool EngineSetSubSystem(int32_t index);
int32_t EngineGetNumVideoModes();                                  ///< -1 on failure
VideoMode* EngineGetVideoModeInfo(VideoMode* mode, int32_t index); ///< null on failure
int32_t EngineGetCurrentVideoMode();                               ///< -1 on failure
bool EngineSetVideoMode(int32_t index);
int32_t EngineGetTextureMemorySize(); ///< bytes; -1 on failure
int32_t EngineGetMaxTextureSize();    ///< pixels; -1 on failure
bool EngineFocus(bool restored);
