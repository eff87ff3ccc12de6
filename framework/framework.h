#pragma once
// The game framework's process-wide state and the hooks through which tests
// and tools replace what the framework does to the process: the clock that
// measures frames, the exit taken when the engine cannot start, and the list
// of plug-ins attached before the engine opens.
//
// Message boxes go through MessageBoxA (platform/win32/debugout.h), whose
// sink a program or test may replace; without a display the text goes to
// standard error.
#include <cstddef>
#include <cstdint>

#include "platform/win32/win32.h"
#include "platform/win32/windowclass.h"

class CCameraManager;
class CFont;
class CHud;
class CPhysicsWorld;

/// Framework globals: created, reached and destroyed by the application
/// object (standardapplication.h); null or zero when absent.
struct FrameworkGlobals
{
    HWND window = nullptr; ///< the main window (SetHWND)
    HINSTANCE instance = nullptr;
    CFont* font = nullptr;                   ///< the one on-screen text font
    CCameraManager* cameraManager = nullptr; ///< made by the "Camera" section
    CHud* hud = nullptr;                     ///< the start screen, made by the "Hud" section
    CPhysicsWorld* physicsWorld = nullptr;   ///< the worlds, made by the "Worlds" section
    int32_t debugLevel = 0;                  ///< 1: frame counter, 2: also statistics
    bool halt = false;                       ///< set by an error box; no frame runs afterwards
    bool active = false;                     ///< the main window is active (event 29)
    bool paused = false;                     ///< the game is paused (the start screen sets it)
};

/// The globals (never null).
FrameworkGlobals& Framework();

/// Milliseconds, modulo 2^32, as timeGetTime.
using FrameworkClock = uint32_t (*)();
/// Replaces the frame clock (null: timeGetTime); answers the previous one.
FrameworkClock FrameworkSetClock(FrameworkClock clock);
/// The frame clock in use.
FrameworkClock FrameworkGetClock();

/// Ends the process with a code; the default is std::exit.
using FrameworkExit = void (*)(int code);
/// Replaces the exit (null: std::exit); answers the previous one.
FrameworkExit FrameworkSetExit(FrameworkExit exit);
/// Calls the exit in use.
void FrameworkExitProcess(int code);

/// One plug-in attach, called between engine init and engine open.
struct FrameworkPluginAttach
{
    const char* name;
    bool (*attach)();
};
/// Replaces the attach list (null: the framework's own); the list is not
/// copied and must outlive its use.
void FrameworkSetPluginAttaches(const FrameworkPluginAttach* attaches, size_t count);
/// The attach list in use, in attach order; `count` receives its length.
const FrameworkPluginAttach* FrameworkGetPluginAttaches(size_t* count);

/// "Ombrelight AI Game Engine error handler": caption of every framework error box.
constexpr const char* kFrameworkErrorCaption = "Ombrelight AI Game Engine error handler";
