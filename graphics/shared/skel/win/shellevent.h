#pragma once
// Shell events and their dispatcher.
//
// Everything the shell tells the application travels as a numbered event
// with one pointer-sized parameter, answered by a ShellEventResult. The
// dispatcher asks, in order, the platform handler, the application's handler
// (AppEventHandler, which every program built on the shell defines) and the
// shell's own defaults. Input events (5-8, 11, 12, 19, 20, 22-24, 26) do not
// come here: they go straight to the handler installed for their device
// (shellinput.h). No window message raises the pad events; a pad driver or a
// test sends them with ShellSendPadEvent.
//
// Parameters: 0 ShellRect*; 1, 2, 28 const char*; 5, 7, 11 ShellMouseRecord*;
// 8 int32_t* (1: wheel forward); 13, 15 the main window (HWND); 19, 20
// ShellKeyRecord*; 22, 23 PadButtonRecord*; 24 PadTurnRecord*; 26
// PadStickRecord*; 29 the value 1 (activated) or 0 itself, as intptr_t;
// 30 MemoryTable* (graphics/core/memory.h); every other event null.

#include <cstdint>

// One list gives the codes, the names and the count.
#define OLAI_SHELL_EVENTS(X)                                                                                 \
    X(0, Resize)                                                                                             \
    X(1, Argument)                                                                                           \
    X(2, LoadFile)                                                                                           \
    X(3, EngineInitialised)                                                                                  \
    X(4, PluginsAttached)                                                                                    \
    X(5, LeftButtonDown)                                                                                     \
    X(6, LeftButtonUp)                                                                                       \
    X(7, MouseMove)                                                                                          \
    X(8, MouseWheel)                                                                                         \
    X(9, AttachPlugins)                                                                                      \
    X(10, RegisterImageReaders)                                                                              \
    X(11, RightButtonDown)                                                                                   \
    X(12, RightButtonUp)                                                                                     \
    X(13, StartEngine)                                                                                       \
    X(14, StopEngine)                                                                                        \
    X(15, SelectDevice)                                                                                      \
    X(16, Initialise)                                                                                        \
    X(17, Terminate)                                                                                         \
    X(18, Idle)                                                                                              \
    X(19, KeyDown)                                                                                           \
    X(20, KeyUp)                                                                                             \
    X(21, Quit)                                                                                              \
    X(22, PadButtonDown)                                                                                     \
    X(23, PadButtonUp)                                                                                       \
    X(24, PadAnalogue)                                                                                       \
    X(25, Reserved25)                                                                                        \
    X(26, Reserved26)                                                                                        \
    X(27, Reserved27)                                                                                        \
    X(28, EarlyArgument)                                                                                     \
    X(29, Activate)                                                                                          \
    X(30, MemoryFunctions)

enum ShellEvent : uint32_t
{
#define OLAI_SHELL_EVENT_ENUM(code, name) ShellEvent##name = code,
    OLAI_SHELL_EVENTS(OLAI_SHELL_EVENT_ENUM)
#undef OLAI_SHELL_EVENT_ENUM
};

#define OLAI_SHELL_EVENT_ONE(code, name) +1
/// Number of event codes (0 to 30).
constexpr uint32_t kShellEventCount = 0 OLAI_SHELL_EVENTS(OLAI_SHELL_EVENT_ONE);
#undef OLAI_SHELL_EVENT_ONE
static_assert(kShellEventCount == 31 && ShellEventMemoryFunctions == kShellEventCount - 1,
              "event codes run from 0 without gaps");

enum ShellEventResult : uint32_t
{
    ShellEventFailed = 0,
    ShellEventHandled = 1,
    ShellEventNotHandled = 2,
};

using ShellEventFunc = ShellEventResult (*)(ShellEvent event, void* param);

/// Parameter of event 0: x and y are 0.
struct ShellRect
{
    int32_t x, y, width, height;
};

/// Parameter of events 5, 7 and 11, client coordinates. dx, dy are filled
/// for event 7 only; shift and control (1 or 0) for events 5 and 11 only.
struct ShellMouseRecord
{
    float x, y;
    float dx, dy;
    int32_t shift;
    int32_t control;
};

/// Parameter of events 19 and 20 (shellinput.h: scan codes and key codes).
struct ShellKeyRecord
{
    int32_t scan;
    int32_t key;
};

/// Parameter of pad events 22 (pressed) and 23 (released): the button bits
/// are its third word.
struct PadButtonRecord
{
    int32_t reserved[2];
    uint32_t buttons;
};
/// Pad buttons: the four directions, the second pair of up and down
/// (shoulder buttons), the help (F1), select (Space), aim (left Shift) and
/// camera-switch buttons.
constexpr uint32_t kPadRight = 0x1;
constexpr uint32_t kPadLeft = 0x2;
constexpr uint32_t kPadUp = 0x4;
constexpr uint32_t kPadDown = 0x8;
constexpr uint32_t kPadShoulderUp = 0x40;
constexpr uint32_t kPadShoulderDown = 0x80;
constexpr uint32_t kPadHelp = 0x1000;
constexpr uint32_t kPadCamera = 0x400;
constexpr uint32_t kPadAim = 0x800;
constexpr uint32_t kPadSelect = 0x2000;
/// Parameter of pad event 24 (analogue turn), each in [-1, 1]: turn (+1 as
/// the "z" key, towards the left) and pitch (+1 downwards).
struct PadTurnRecord
{
    float turn, pitch;
};
/// Parameter of pad event 26 (analogue stick): x and y in [-1, 1].
struct PadStickRecord
{
    float x, y;
};

/// The dispatcher: platform handler, application handler, shell defaults.
/// Event 21 sets the quit flag whatever the application answers.
ShellEventResult ShellEventHandler(ShellEvent event, void* param);
/// The platform step: fills the MemoryTable of event 30 with the C library's
/// functions; answers 2 for every event, 30 included.
ShellEventResult PlatformEventHandler(ShellEvent event, void* param);
/// The application step: defined by every program built on the shell (the
/// library's weak stand-in, for programs that only link it, fails every event).
ShellEventResult AppEventHandler(ShellEvent event, void* param);

/// The event's name without the prefix ("Resize"), "?" outside 0 to 30.
const char* ShellEventName(uint32_t event);
