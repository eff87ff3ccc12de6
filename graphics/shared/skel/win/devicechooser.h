#pragma once
// Choosing the device subsystem and the video mode ("Device Selection").
//
// A chooser sees up to 16 subsystems and answers the subsystem and mode to
// use, or EXIT (0), which ends the program before its window is shown. The
// default chooser takes them from the command line or the environment, and
// otherwise keeps the engine's current ones:
//   -device n | exit     (environment: OLAI_DEVICE)      subsystem n
//   -mode m              (environment: OLAI_VIDEO_MODE)  video mode m of it
//   -list-devices        print every subsystem with its modes, then EXIT
// A bad value (not a whole number, out of range) is shown in a message box
// ("Device Selection") and answers EXIT; the program then ends with exit
// code 2 (ShellStartExitCode), where a requested EXIT ends it with 0. Modes print as
// "%lu x %lu x %lu %s" (width, height, depth, "(Fullscreen)" or nothing).

#include <cstdint>
#include <string>

#include "graphics/core/device.h"

/// At most this many subsystems are offered.
constexpr int32_t kShellMaxSubSystems = 16;

struct ShellDeviceChoices
{
    int32_t count; ///< subsystems offered, 1 to 16
    SubSystemInfo subSystems[kShellMaxSubSystems];
    int32_t currentSubSystem;
};

/// Answers 1 with the chosen subsystem and mode, or 0 for EXIT.
using ShellDeviceChooser = int32_t (*)(const ShellDeviceChoices* choices, int32_t* subSystem, int32_t* mode);

/// Installs a chooser (null: the default one).
void ShellSetDeviceChooser(ShellDeviceChooser chooser);
/// The default chooser (command line, environment, current values).
int32_t ShellDefaultDeviceChooser(const ShellDeviceChoices* choices, int32_t* subSystem, int32_t* mode);

/// Event 15's fallback: offers the subsystems, sets the chosen subsystem and
/// mode; a full-screen mode gives the client size of the mode, sets the
/// full-screen flag and makes the window a popup covering the screen; a
/// windowed one keeps the window's client size. False for EXIT, no
/// subsystem, or a choice the engine refuses.
bool DeviceSelectDialog();

/// The exit code of a program whose engine did not start: 0 when the last
/// device choice ended it on request (-list-devices, -device exit), 2 when
/// the default chooser refused a value, 1 for any other failure.
int ShellStartExitCode();
/// Sets that code back to 1; each engine start (ShellStartEngine) begins so.
void ShellClearStartExitCode();

/// What the command line and the environment ask of the chooser.
struct ShellDeviceRequest
{
    bool list = false;
    bool exit = false;
    int32_t subSystem = -1; ///< -1: keep the current one
    int32_t mode = -1;      ///< -1: the subsystem's current one
    std::string error;      ///< set when a value is refused
};

/// Reads -device, -mode and -list-devices from `commandLine` (the whole
/// line) and, where the line says nothing, from the two environment values
/// (null: unset). False with `error` set for a value that is not a whole
/// number from 0 to 999999, or "exit" for the device, or a missing value.
bool ShellParseDeviceRequest(const char* commandLine, const char* envDevice, const char* envMode,
                             ShellDeviceRequest* request);
/// The text of a video mode: "%lu x %lu x %lu %s".
std::string ShellVideoModeText(const VideoMode& mode);
