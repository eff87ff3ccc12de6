#pragma once
// The graphics engine's lifecycle as the shell runs it.
//
// ShellStartEngine (event 13's default), in order, each failure undoing the
// engine steps taken so far and answering 0:
//   1 event 30 with the memory table        7 event 15; both handlers answer 2:
//   2 EngineInit (table, 0, 4 MiB)             DeviceSelectDialog
//                                             (fails: close, terminate)
//   3 event 3 (answer ignored)              8 EngineStart (fails: close, terminate)
//   4 event 9 (plug-ins; fails: terminate)  9 event 10; both answer 2:
//   5 event 4 (fails: terminate)               ShellRegisterImageReaders
//   6 EngineOpen with the window            10 the debug print buffer
//      (fails: terminate)                      (fails: stop, close, terminate)
//                                           11 the file-system manager (no limit)
//                                           12 ShellRegisterFileSystems
// Steps 11 and 12 undo nothing. Events go to PlatformEventHandler and, when
// it answers 2, to AppEventHandler (not through the shell's defaults).
// ShellStopEngine (event 14's default) closes the print buffer, destroys
// every texture dictionary, closes the file-system manager, then stops,
// closes and terminates the engine.
//
// The engine is reached through a table of its functions, so that tests can
// put a fake engine in its place; the shell starts the Direct3D 9 driver.

#include <cstdint>

#include "graphics/core/device.h"
#include "graphics/core/engine.h"
#include "platform/win32/win32.h"

/// The engine functions the shell calls.
struct ShellEngine
{
    bool (*init)(const MemoryTable* table, uint32_t flags, uint32_t arenaSize); ///< also chooses the driver
    bool (*open)(const EngineOpenParams* params);
    bool (*start)();
    bool (*stop)();
    bool (*close)();
    bool (*term)();
    bool (*printBufferOpen)(); ///< the debug character set's print buffer
    void (*printBufferClose)();
    bool (*fileSystemsOpen)(int32_t maximum); ///< FileSystemManagerOpen
    void (*fileSystemsClose)();
    void (*destroyDictionaries)(); ///< every texture dictionary
    int32_t (*numSubSystems)();
    SubSystemInfo* (*subSystemInfo)(SubSystemInfo* info, int32_t index);
    int32_t (*currentSubSystem)();
    bool (*setSubSystem)(int32_t index);
    int32_t (*numVideoModes)();
    VideoMode* (*videoModeInfo)(VideoMode* mode, int32_t index);
    int32_t (*currentVideoMode)();
    bool (*setVideoMode)(int32_t index);
};

/// The table in use (the real engine unless replaced).
const ShellEngine* ShellGetEngine();
/// Replaces the table; null puts the real engine back.
void ShellSetEngine(const ShellEngine* engine);

/// Resource arena given to EngineInit: 4 MiB.
constexpr uint32_t kShellArenaSize = 0x400000;

/// Event 13's default; 1 when every step succeeded.
bool ShellStartEngine(HWND window);
/// Event 14's default.
void ShellStopEngine();
/// "bmp" with BmpRead, then (only when that worked) "png" with PngRead;
/// true when both were registered.
bool ShellRegisterImageReaders();
/// The "unc" file system with 20 slots rooted at the working directory,
/// registered and made the default (no drive letters here); false on failure.
bool ShellRegisterFileSystems();
