#pragma once
// The engine's lifecycle. The instance it opens and closes, and what every
// module reaches of it, are in instance.h (included here).
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
#include "graphics/core/instance.h"
#include "graphics/core/memory.h"

/// EngineInit flag: free lists hand every entry to the allocator (no pools,
/// no preallocation).
constexpr uint32_t kEngineInitUnpooled = 1;

/// What EngineOpen hands the device, unread: the output window first.
struct EngineOpenParams
{
    void* displayId;
};

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
